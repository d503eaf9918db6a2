// Check log writer.
#include "foundation/errorlog.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

#ifdef _WIN32
#include "foundation/posix_win.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "foundation/messages.h"
#include "foundation/text.h"

namespace qm {

namespace {

std::mutex& failureMutex() {
    static std::mutex m;
    return m;
}
std::vector<std::string>& failedLogs() {
    static std::vector<std::string> logs;
    return logs;
}

// Records that a log failed; answers whether it is the first failure of that log.
bool recordFailure(const std::string& file) {
    std::lock_guard<std::mutex> lock(failureMutex());
    auto& logs = failedLogs();
    if (std::find(logs.begin(), logs.end(), file) != logs.end()) return false;
    logs.push_back(file);
    return true;
}

// A log that cannot be opened or written is told once (a full disk would otherwise give
// a box per finding), with its path and the reason in words.
void reportFailure(const char* caption, const std::string& file, int err) {
    if (recordFailure(file))
        showFailure(caption, err, systemErrorMessage("ログファイルを書き込めません", file, err));
}

std::string withoutLineBreaks(const std::string& s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}
}  // namespace

std::vector<std::string> logFailures() {
    std::lock_guard<std::mutex> lock(failureMutex());
    return failedLogs();
}

void clearLogFailures() {
    std::lock_guard<std::mutex> lock(failureMutex());
    failedLogs().clear();
}

std::string logField(const std::string& field) {
    std::string out = withoutLineBreaks(field);
    if (out.find(',') == std::string::npos && (out.empty() || out[0] != '"')) return out;
    // The reader takes a quoted item up to the next quotation mark and knows no escape,
    // so a field that must be quoted cannot carry a quotation mark of its own: those
    // become the full-width mark U+FF02. This happens only to fields that hold a comma
    // or begin with a quotation mark; every other field is written as it is.
    std::string quoted = "\"";
    for (char c : out) {
        if (c == '"') quoted += "\xEF\xBC\x82";  // U+FF02
        else quoted += c;
    }
    quoted += '"';
    return quoted;
}

CErrorLog::~CErrorLog() {
    CloseFile();
    fileName_.clear();
    comment_.clear();
}

bool CErrorLog::CloseFile() {
    if (!file_) return false;
    std::fclose(file_);
    file_ = nullptr;
    return true;
}

void CErrorLog::setComment(const std::string& strComment) { comment_ = strComment; }
void CErrorLog::setFileName(const std::string& strFileName) { fileName_ = strFileName; }

bool CErrorLog::writeLine(const std::string& utf8Line, const char* caption) {
    if (!file_) {
        if (fileName_.empty()) return false;
        // Appended to, created when missing; a symbolic link in its place is not followed.
        const int fd = ::open(fileName_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            reportFailure(caption, fileName_, errno);
            return false;
        }
        file_ = ::fdopen(fd, "ab");
        if (!file_) {
            const int err = errno;
            ::close(fd);
            reportFailure(caption, fileName_, err);
            return false;
        }
    }
    std::string bytes;
    if (!comment_.empty()) {
        bytes += toCp932Held(withoutLineBreaks(comment_));
        bytes += "\r\n";
        comment_.clear();
    }
    bytes += toCp932Held(utf8Line);
    bytes += "\r\n";
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() || std::fflush(file_) != 0) {
        const int err = errno ? errno : EIO;
        std::clearerr(file_);
        reportFailure(caption, fileName_, err);
        return false;
    }
    return true;
}

bool CErrorLog::writeErrorLog(int32_t lngErrorNo, const std::string& strItem, const std::string& strPath,
                              const std::string& strErrorMsg) {
    return writeLine(std::to_string(lngErrorNo) + "," + logField(strPath) + "," + logField(strErrorMsg) + "," +
                         logField(strItem),
                     "CErrorLog - writeErrorLog");
}

bool CErrorLog::writeErrorLogXml(int32_t lngErrorNo, const std::string& strElement, int32_t intNo,
                                 const std::string& strErrorMsg, const std::string& strXmlContent) {
    return writeLine(std::to_string(lngErrorNo) + "," + logField(strElement) + "," + std::to_string(intNo) + "," +
                         logField(strErrorMsg) + "," + logField(strXmlContent),
                     "CErrorLog - writeErrorLogXml");
}

bool CErrorLog::writeErrorLogDigit(int32_t /*lngErrorNo*/, int32_t lngLineNo, const std::string& strErrorMsg) {
    return writeLine((lngLineNo > 0 ? std::to_string(lngLineNo) : std::string()) + "," + logField(strErrorMsg),
                     "CErrorLog - writeErrorLogDigit");
}

}  // namespace qm
