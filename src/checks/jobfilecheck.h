// Management file element checker: checks INDEX_D.XML, SURVEY.XML or SURV_TSK.XML
// against an element table (required elements, value forms, lengths, allowed values,
// unknown elements, the declared encoding and the two survey information rules), and
// lists the delivered documents named by SURV_TSK.XML.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "checks/xmldoc.h"

namespace qm {

class CErrorLog;

// Most items one element table line may hold.
inline constexpr std::size_t kMaxElementTableItems = 100;

// Splits one element table line at every comma; the last item runs to the end of the
// line. Quotation marks are ordinary characters and items keep their blanks. Answers
// nullopt for a line of more than kMaxElementTableItems items.
std::optional<std::vector<std::string>> splitElementTableLine(std::string_view line);

// One rule of an element table.
struct ElementRule {
    std::string path;             // "/ROOT/CHILD/..." as the element names are written
    int16_t valueType = 0;        // <= 0 known only; 1..12 value rules; other: length/values only
    uint8_t lengthMode = 0;       // 1 at most `length` bytes; 2 exactly `length` bytes when not empty
    int16_t length = 0;           // CP932 bytes
    uint8_t required = 0;         // not 0: must occur and hold data
    int16_t allowedCount = 0;     // <= 0: any value
    std::vector<std::string> allowedValues;  // allowedCount entries when allowedCount > 0
};

class CJobFileCheck {
public:
    CJobFileCheck() = default;

    // Checks one management file against one element table; findings go to strLogFile.
    // -1: the check could not be made; 0: nothing found; 1: findings were logged.
    int16_t checkJobFile(const std::string& strJobFile, const std::string& strSettingFile,
                         const std::string& strLogFile);
    // The survey information rules (advice/approval number, record/result folder paths).
    int16_t checkSurveyFile(const XmlDocument& xmlDomDoc, CErrorLog& clsErrorLog);
    // Fills two parallel lists (medium-relative file path, subtitle) from a SURV_TSK.XML;
    // answers their length, 0 when the file is missing or does not load, -1 on a failure.
    int32_t getDocFileInfo(const std::string& strJobFile, std::vector<std::string>& strFilePath,
                           std::vector<std::string>& strFileInfo);
    // Reads an element table, replacing the rules held. False when missing or unreadable.
    bool loadSetting(const std::string& strFile);
    void setResultType(int16_t intResultType) { resultType_ = intResultType; }
    // DTDs are read only from inside this folder (the medium's top); empty: the folder of
    // the document loaded.
    void setAllowedRoot(const std::string& folder) { allowedRoot_ = folder; }

    int16_t resultType() const { return resultType_; }
    const std::vector<ElementRule>& rules() const { return rules_; }

private:
    int16_t checkEncoding(const XmlDocument& doc, CErrorLog& log);
    int16_t checkElements(const XmlDocument& doc, CErrorLog& log);
    // Elements of the document last indexed whose path the table does not name.
    int16_t checkUndefinedElement(CErrorLog& log);
    static std::string getElementText(const XmlNode& element, const std::string& name);
    // Elements of the document by absolute path, in document order.
    void indexElements(const XmlNode& node);
    void prepareDocument(XmlDocument& doc) const;

    int16_t resultType_ = 1;
    std::string allowedRoot_;
    std::vector<ElementRule> rules_;
    std::unordered_set<std::string> rulePaths_;                        // every path of the table
    std::unordered_map<std::string, std::vector<XmlNode>> elementsByPath_;  // one loaded document
    // The same walk: its distinct paths by number, and the path number of every element
    // in document order.
    std::vector<std::string> walkPaths_;
    std::vector<uint32_t> walkOrder_;
};

}  // namespace qm
