// Check log writer: one finding per CP932 line with CR LF, appended to a log file that
// comes into existence with its first finding. Every character that CP932 does not hold
// is written as '?' (toCp932Held), so that a logged name never names another file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qm {

// A folder or file that could not be read: the place, this message, the reason as item.
inline constexpr int32_t kUnreadableCode = 10001;
inline constexpr const char* kUnreadableMessage = "フォルダ又はファイルを読み取れません";

// Logs that could not be created or written since the last clearLogFailures(), each
// named once, in the order they failed. A check whose log is named here has no
// trustworthy verdict: its findings may be incomplete. Shared by every writer of the
// process; the check run clears it when it starts.
std::vector<std::string> logFailures();
void clearLogFailures();

// A field as written to a log line: CR and LF become blanks; a field holding a comma
// (or beginning with a double quotation mark) is enclosed in double quotation marks so
// that the log reader returns it whole. Other fields are written as they are.
std::string logField(const std::string& field);

class CErrorLog {
public:
    CErrorLog() = default;
    ~CErrorLog();
    CErrorLog(const CErrorLog&) = delete;
    CErrorLog& operator=(const CErrorLog&) = delete;

    bool CloseFile();
    void setComment(const std::string& strComment);
    void setFileName(const std::string& strFileName);
    const std::string& fileName() const { return fileName_; }

    // Note the parameter order: code, item, path, message; the line is code,path,message,item.
    bool writeErrorLog(int32_t lngErrorNo, const std::string& strItem, const std::string& strPath,
                       const std::string& strErrorMsg);
    bool writeErrorLogXml(int32_t lngErrorNo, const std::string& strElement, int32_t intNo,
                          const std::string& strErrorMsg, const std::string& strXmlContent);
    bool writeErrorLogDigit(int32_t lngErrorNo, int32_t lngLineNo, const std::string& strErrorMsg);

private:
    bool writeLine(const std::string& utf8Line, const char* caption);
    std::FILE* file_ = nullptr;
    std::string fileName_;
    std::string comment_;
};

}  // namespace qm
