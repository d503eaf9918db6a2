#include "checks/jobfilecheck.h"
#include "foundation/fspath.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include "foundation/csvread.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

namespace qm {

namespace {

// Finding codes and messages of the element check.
constexpr int32_t kNoJobFile = 20101;
constexpr int32_t kNotShiftJis = 20103;
constexpr int32_t kMissingElement = 20201;
constexpr int32_t kMissingData = 20202;
constexpr int32_t kTooLong = 20204;
constexpr int32_t kWrongLength = 20205;
constexpr int32_t kNotAllowed = 20206;
constexpr int32_t kNoFolderPath = 20402;
constexpr int32_t kNoAdviceNumber = 20403;
constexpr int32_t kUndefined = 20601;

const char* const kMsgNoJobFile = "管理ファイルが見つかりません";
const char* const kMsgNotShiftJis = "Shift_JISで記述されていません";
const char* const kMsgMissingElement = "必要な要素がありません";
const char* const kMsgMissingData = "必要なデータが記述されていません";
const char* const kMsgTooLong = "規定の文字数を超えています";
const char* const kMsgWrongLength = "規定の文字数で記述されていません";
const char* const kMsgNotAllowed = "規定の内容で記述されていません";
const char* const kMsgNoAdviceNumber = "助言番号または承認番号を入力してください";
const char* const kMsgUndefined = "規定以外の要素が存在します";
const char* const kEncodingElement = "業務管理ファイル";

// Failure numbers and descriptions shown in the failure boxes.
constexpr int kErrOverflow = 6;
const char* const kDescOverflow = "オーバーフローしました。";
constexpr int kErrOutOfMemory = 7;
const char* const kDescOutOfMemory = "メモリが不足しています。";
constexpr int kErrSubscript = 9;
const char* const kDescSubscript = "インデックスが有効範囲にありません。";
constexpr int kErrFileAccess = 75;
const char* const kDescFileAccess = "パス名が無効です。";
constexpr int kErrGeneral = 5;

struct ValueRule {
    bool (*test)(std::string_view);
    int32_t code;
    const char* message;
};

bool isDateWithHyphen(std::string_view s) { return IsDateYMD(s, "-"); }

const char* const kMsgUnusable = "使用不可の文字で記述されています（特殊記号、外字、半角カナ、全角英数字等）";

// Value types 1 to 12.
const ValueRule kValueRules[12] = {
    {IsDigits, 20301, "半角数字のみで記述されていません"},
    {IsInteger, 20302, "整数値で記述されていません"},
    {IsPositiveReal, 20303, "正の実数値で記述されていません"},
    {IsReal, 20304, "実数値で記述されていません"},
    {IsAlnum, 20305, "半角英数字のみで記述されていません"},
    {IsUpperAlnum, 20306, "半角英数大文字のみで記述されていません"},
    {IsFullWidth, 20307, "全角文字のみで記述されていません"},
    {IsUsableText, 20308, kMsgUnusable},
    {isDateWithHyphen, 20309, "日付の形式(YYYY-MM-DD)で記述されていません"},
    {IsUpperPath, 20310, "半角英数大文字のファイルパス形式で記述されていません"},
    {IsUpperFileName, 20311, "半角英数大文字のファイル名の形式で記述されていません"},
    {IsUsableMultiLineText, 20308, kMsgUnusable},
};

// A failure of a routine, with the number and description its box shows.
class RoutineFailure : public std::runtime_error {
public:
    RoutineFailure(int number, const std::string& what) : std::runtime_error(what), number_(number) {}
    int number() const { return number_; }
private:
    int number_;
};

// Shows the failure box of routine for the exception in flight.
void reportFailure(const std::string& routine) {
    try {
        throw;
    } catch (const RoutineFailure& e) {
        showFailure(routine, e.number(), e.what());
    } catch (const CsvError& e) {
        showFailure(routine, e.number(), e.what());
    } catch (const std::bad_alloc&) {
        showFailure(routine, kErrOutOfMemory, kDescOutOfMemory);
    } catch (const std::exception& e) {
        showFailure(routine, kErrGeneral, e.what());
    } catch (...) {
        showFailure(routine, kErrGeneral, "");
    }
}

// The name part of a path (after the last "/" or "\").
std::string fileNamePart(const std::string& path) {
    const auto pos = path.find_last_of("/\\");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// A management file's place as the folder log names places: medium-relative with "\"
// separators (its name alone when it lies outside the medium's top folder).
std::string placeOnMedium(const std::string& file, const std::string& top) {
    const std::string base = top.empty() ? std::string() : withTrailingSeparator(top);
    std::string rel = !base.empty() && file.compare(0, base.size(), base) == 0 ? file.substr(base.size())
                                                                              : fileNamePart(file);
    for (char& c : rel)
        if (c == nativeSeparator()) c = '\\';
    return displayName(rel);
}

// Every CR LF, and any lone CR or LF, becomes one blank.
std::string lineBreaksToBlanks(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
            out += ' ';
        } else if (s[i] == '\n') {
            out += ' ';
        } else {
            out += s[i];
        }
    }
    return out;
}

// A numeric text as toNumber reads it: optional blanks, sign, digits with an optional
// decimal point. Its value truncated toward zero, as a wide number so that texts beyond
// 32 bits are still recognised as too large.
std::optional<long double> wideNumber(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    std::string_view t = s.substr(b, e - b);
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t digits = 0, dots = 0;
    for (std::size_t j = i; j < t.size(); ++j) {
        if (t[j] >= '0' && t[j] <= '9') ++digits;
        else if (t[j] == '.' && dots == 0) ++dots;
        else return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    const std::string text(t);
    return std::trunc(std::strtold(text.c_str(), nullptr));
}

// Reads a numeric column; a number outside [lo, hi] makes the load fail.
int32_t readColumn(const std::vector<std::string>& items, std::size_t index, int32_t lo, int32_t hi,
                   const char* column, int32_t lineNo) {
    if (index >= items.size()) return 0;
    const std::string& text = items[index];
    long double value = toNumber(text);
    if (auto wide = wideNumber(text)) value = *wide;
    if (value < lo || value > hi) {
        throw RoutineFailure(kErrOverflow, std::string(kDescOverflow) + " (" + std::to_string(lineNo) +
                                              "行目 " + column + ": " + text + ")");
    }
    return static_cast<int32_t>(value);
}

// A path as the document walk writes it: "/" followed by names, no empty name.
bool isWalkPath(const std::string& path) {
    if (path.size() < 2 || path[0] != '/' || path.back() == '/') return false;
    return path.find("//") == std::string::npos;
}

// The distinct element paths of one document as a tree, so that a walk looks each
// element up by its name among its parent's children instead of by its whole path.
class PathTree {
public:
    struct Entry {
        std::string path;              // "/ROOT/CHILD/..." as written
        std::vector<XmlNode> elements; // in document order
    };

    PathTree() : entries_(1), links_(1) {}

    // The entry of `element`, a child of an element of entry `parent`.
    size_t below(size_t parent, const XmlNode& element) {
        name_.clear();
        element.appendName(name_);
        {
            const Links& l = links_[parent];
            if (l.index.empty()) {
                for (const auto& [name, at] : l.list)
                    if (name == name_) return at;
            } else if (auto it = l.index.find(name_); it != l.index.end()) {
                return it->second;
            }
        }
        const size_t at = entries_.size();
        Entry e;
        e.path.reserve(entries_[parent].path.size() + 1 + name_.size());
        e.path.append(entries_[parent].path).append(1, '/').append(name_);
        entries_.push_back(std::move(e));
        links_.emplace_back();
        Links& l = links_[parent];
        if (l.index.empty() && l.list.size() < kListed) {
            l.list.emplace_back(name_, at);
        } else {
            // Many different names below one element: look them up by hash.
            for (auto& [name, i] : l.list) l.index.emplace(std::move(name), i);
            l.list.clear();
            l.index.emplace(name_, at);
        }
        return at;
    }
    Entry& operator[](size_t at) { return entries_[at]; }
    std::vector<Entry>& entries() { return entries_; }

private:
    static constexpr size_t kListed = 8;
    struct Links {
        std::vector<std::pair<std::string, size_t>> list;
        std::unordered_map<std::string, size_t> index;
    };
    std::vector<Entry> entries_;  // [0]: the document
    std::vector<Links> links_;
    std::string name_;
};

// Calls visit(element, entry) for every element below node, in document order.
template <class Visit>
void walkElements(const XmlNode& node, size_t at, PathTree& tree, Visit& visit) {
    for (XmlNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (child.nodeType() != kXmlElement) continue;
        const size_t entry = tree.below(at, child);
        visit(child, tree[entry]);
        if (child.hasChildNodes()) walkElements(child, entry, tree, visit);
    }
}

}  // namespace

std::optional<std::vector<std::string>> splitElementTableLine(std::string_view line) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        if (items.size() == kMaxElementTableItems) return std::nullopt;
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            items.emplace_back(line.substr(start));
            return items;
        }
        items.emplace_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

bool CJobFileCheck::loadSetting(const std::string& strFile) {
    rules_.clear();
    rulePaths_.clear();
    std::error_code ec;
    if (strFile.empty() || !std::filesystem::is_regular_file(fsPath(strFile), ec)) return false;
    try {
        std::string bytes;
        {
            std::ifstream in(strFile, std::ios::binary);
            if (!in) {
                throw RoutineFailure(kErrFileAccess, std::string(kDescFileAccess) + " " + strFile);
            }
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (in.bad()) {
                throw RoutineFailure(kErrFileAccess, std::string(kDescFileAccess) + " " + strFile);
            }
        }  // the table file is closed here, also when a line below fails
        const std::string text = fromCp932(bytes);
        std::vector<ElementRule> rules;
        std::size_t pos = 0;
        int32_t lineNo = 0;
        while (pos < text.size()) {
            // A line ends at CR LF, a lone CR or a lone LF.
            std::size_t end = text.find_first_of("\r\n", pos);
            std::string_view raw = std::string_view(text).substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            if (end == std::string::npos) {
                pos = text.size();
            } else {
                pos = end + 1;
                if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
            }
            ++lineNo;
            const std::string line = trimBlanks(raw);
            if (line.empty() || line[0] == ';') continue;
            auto items = splitElementTableLine(line);
            if (!items) {
                throw RoutineFailure(kErrSubscript, std::string(kDescSubscript) + " (" + std::to_string(lineNo) +
                                                        "行目: 項目が" + std::to_string(kMaxElementTableItems) +
                                                        "を超えています)");
            }
            ElementRule rule;
            rule.path = (*items)[0];
            rule.valueType = static_cast<int16_t>(readColumn(*items, 1, INT16_MIN, INT16_MAX, "値の種類", lineNo));
            rule.lengthMode = static_cast<uint8_t>(readColumn(*items, 2, 0, 255, "文字数の種類", lineNo));
            rule.length = static_cast<int16_t>(readColumn(*items, 3, INT16_MIN, INT16_MAX, "文字数", lineNo));
            rule.required = static_cast<uint8_t>(readColumn(*items, 4, 0, 255, "必須", lineNo));
            rule.allowedCount = static_cast<int16_t>(readColumn(*items, 5, INT16_MIN, INT16_MAX, "規定値の数", lineNo));
            for (int32_t i = 0; i < rule.allowedCount; ++i) {
                const std::size_t index = 6 + static_cast<std::size_t>(i);
                rule.allowedValues.push_back(index < items->size() ? (*items)[index] : std::string());
            }
            rules.push_back(std::move(rule));
        }
        rules_ = std::move(rules);
        for (const auto& rule : rules_) rulePaths_.insert(rule.path);
        return true;
    } catch (...) {
        rules_.clear();
        rulePaths_.clear();
        reportFailure("ReadList");
        return false;
    }
}

void CJobFileCheck::prepareDocument(XmlDocument& doc) const {
    if (!allowedRoot_.empty()) doc.setAllowedRoot(allowedRoot_);
}

int16_t CJobFileCheck::checkJobFile(const std::string& strJobFile, const std::string& strSettingFile,
                                    const std::string& strLogFile) {
    if (strJobFile.empty()) {
        showMessage("XML", "ファイルを指定してください。", MsgIcon::Exclamation);
        return -1;
    }
    if (strSettingFile.empty()) {
        showMessage("XML", "設定ファイルを指定してください。", MsgIcon::Exclamation);
        return -1;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fsPath(strSettingFile), ec)) {
        showMessage("XML", "設定ファイルが見つかりません。\r\n" + strSettingFile, MsgIcon::Exclamation);
        return -1;
    }
    if (!loadSetting(strSettingFile)) return -1;

    CErrorLog log;
    log.setFileName(strLogFile);
    int16_t answer = 0;
    try {
        if (!isPlainFile(strJobFile)) {
            log.writeErrorLogXml(kNoJobFile, "", 0, kMsgNoJobFile, "");
            log.CloseFile();
            return -1;
        }
        XmlDocument doc;
        prepareDocument(doc);
        if (!doc.load(strJobFile)) {
            answer = 1;
            const XmlParseError& err = doc.parseError();
            if (err.readError != 0) {
                // There, but not readable: what it holds is unknown, as for a folder the walk
                // cannot list.
                log.writeErrorLogXml(kUnreadableCode, placeOnMedium(strJobFile, allowedRoot_), 0, kUnreadableMessage,
                                     readFailureReason(err.readError));
            } else if (err.errorCode != 0) {
                log.writeErrorLogXml(err.errorCode, "XML構文エラー(" + std::to_string(err.line) + "行)", 0,
                                     lineBreaksToBlanks(err.reason), "");
            }
        } else {
            answer |= checkEncoding(doc, log);
            answer |= checkElements(doc, log);
            answer |= checkUndefinedElement(log);
            if (upperAscii(fileNamePart(strJobFile)) == "SURVEY.XML") answer |= checkSurveyFile(doc, log);
        }
        elementsByPath_.clear();
        walkPaths_.clear();
        walkOrder_.clear();
    } catch (...) {
        elementsByPath_.clear();
        walkPaths_.clear();
        walkOrder_.clear();
        log.CloseFile();
        reportFailure("checkJobFile");
        return -1;
    }
    log.CloseFile();
    return answer;
}

int16_t CJobFileCheck::checkEncoding(const XmlDocument& doc, CErrorLog& log) {
    if (doc.hasXmlDeclaration() && lowerAscii(doc.declaredEncoding()) == "shift_jis") return 0;
    log.writeErrorLogXml(kNotShiftJis, kEncodingElement, 0, kMsgNotShiftJis, "");
    return 1;
}

void CJobFileCheck::indexElements(const XmlNode& node) {
    walkPaths_.clear();
    walkOrder_.clear();
    PathTree tree;
    auto keep = [&](const XmlNode& element, PathTree::Entry& entry) {
        entry.elements.push_back(element);
        walkOrder_.push_back(static_cast<uint32_t>(&entry - tree.entries().data()));
    };
    walkElements(node, 0, tree, keep);
    walkPaths_.reserve(tree.entries().size());
    for (PathTree::Entry& e : tree.entries()) {
        if (!e.elements.empty()) elementsByPath_.emplace(e.path, std::move(e.elements));
        walkPaths_.push_back(std::move(e.path));
    }
}

int16_t CJobFileCheck::checkElements(const XmlDocument& doc, CErrorLog& log) {
    elementsByPath_.clear();
    indexElements(doc.document());
    int16_t answer = 0;
    const std::vector<XmlNode> none;
    for (const ElementRule& rule : rules_) {
        if (rule.valueType <= 0) continue;
        // Paths as the walk writes them come from the index; any other form is left to
        // the document's own selection.
        std::vector<XmlNode> selectedOther;
        const std::vector<XmlNode>* selected = &none;
        if (isWalkPath(rule.path)) {
            auto it = elementsByPath_.find(rule.path);
            if (it != elementsByPath_.end()) selected = &it->second;
        } else if (!rule.path.empty()) {
            selectedOther = doc.selectNodes(rule.path);
            selected = &selectedOther;
        }
        if (selected->empty()) {
            if (rule.required != 0) {
                log.writeErrorLogXml(kMissingElement, rule.path, 0, kMsgMissingElement, "");
                answer = 1;
            }
            continue;
        }
        int32_t k = 0;
        for (const XmlNode& element : *selected) {
            ++k;
            if (!element.hasChildNodes()) {
                if (rule.required != 0) {
                    log.writeErrorLogXml(kMissingData, rule.path, k, kMsgMissingData, "");
                    answer = 1;
                }
                continue;
            }
            // A container, a comment or a CDATA section first: no rule applies.
            const XmlNode first = element.firstChild();
            if (first.isNull() || first.nodeType() != kXmlText) continue;
            const std::string v = first.text();
            if (rule.valueType >= 1 && rule.valueType <= 12) {
                const ValueRule& vr = kValueRules[rule.valueType - 1];
                if (!vr.test(v)) {
                    log.writeErrorLogXml(vr.code, rule.path, k, vr.message, "");
                    answer = 1;
                    continue;
                }
            }
            const int32_t n = GetByteLength(v);
            bool lengthFinding = false;
            if (rule.lengthMode == 1 && n > rule.length) {
                log.writeErrorLogXml(kTooLong, rule.path, k,
                                     std::string(kMsgTooLong) + "(半角" + std::to_string(rule.length) + "文字)", "");
                lengthFinding = true;
            } else if (rule.lengthMode == 2 && n != rule.length && n > 0) {
                log.writeErrorLogXml(kWrongLength, rule.path, k,
                                     std::string(kMsgWrongLength) + "(半角" + std::to_string(rule.length) + "文字)", "");
                lengthFinding = true;
            }
            if (lengthFinding) {
                answer = 1;
                continue;
            }
            if (rule.allowedCount > 0) {
                bool found = false;
                for (const std::string& allowed : rule.allowedValues) {
                    if (allowed == v) {
                        found = true;
                        break;
                    }
                }
                if (!found) {
                    log.writeErrorLogXml(kNotAllowed, rule.path, k, kMsgNotAllowed, "");
                    answer = 1;
                }
            }
        }
    }
    return answer;
}

// Elements whose path the element table does not name, each with its occurrence, in
// document order (from the walk of indexElements).
int16_t CJobFileCheck::checkUndefinedElement(CErrorLog& log) {
    int16_t answer = 0;
    std::vector<int32_t> count(walkPaths_.size(), 0);
    std::vector<int8_t> known(walkPaths_.size(), -1);
    for (uint32_t at : walkOrder_) {
        const int32_t occurrence = ++count[at];
        if (known[at] < 0) known[at] = rulePaths_.count(walkPaths_[at]) != 0 ? 1 : 0;
        if (known[at] == 0) {
            log.writeErrorLogXml(kUndefined, walkPaths_[at], occurrence, kMsgUndefined, "");
            answer = 1;
        }
    }
    return answer;
}

std::string CJobFileCheck::getElementText(const XmlNode& element, const std::string& name) {
    if (element.isNull()) return "";
    for (XmlNode child = element.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (child.nodeType() != kXmlElement || !child.hasName(name)) continue;
        const XmlNode grand = child.firstChild();
        if (!grand.isNull() && grand.nodeType() == kXmlText) return grand.nodeValue();
        return "";
    }
    return "";
}

int16_t CJobFileCheck::checkSurveyFile(const XmlDocument& xmlDomDoc, CErrorLog& clsErrorLog) {
    const std::string word = GetResultTypeWord(resultType_);
    int16_t answer = 0;

    std::string advice, approval;
    const std::vector<XmlNode> basics = xmlDomDoc.selectNodes("/SURVEY/基礎情報");
    if (!basics.empty()) {
        advice = getElementText(basics.front(), "助言番号");
        approval = getElementText(basics.front(), "承認番号");
    }
    if (advice.empty() && approval.empty()) {
        clsErrorLog.writeErrorLogXml(kNoAdviceNumber, "/SURVEY/基礎情報", 1, kMsgNoAdviceNumber, "");
        answer = 1;
    }

    const std::string folderMsg = resultType_ == 2
                                      ? "先行調査記録または先行調査成果フォルダパス名を入力してください"
                                      : "地籍調査記録または地籍調査成果フォルダパス名を入力してください";
    int32_t k = 0;
    for (const XmlNode& survey : xmlDomDoc.selectNodes("/SURVEY/測量情報")) {
        ++k;
        const std::string record = getElementText(survey, word + "記録フォルダパス名");
        const std::string result = getElementText(survey, word + "成果フォルダパス名");
        if (record.empty() && result.empty()) {
            clsErrorLog.writeErrorLogXml(kNoFolderPath, "/SURVEY/測量情報", k, folderMsg, "");
            answer = 1;
        }
    }
    return answer;
}

int32_t CJobFileCheck::getDocFileInfo(const std::string& strJobFile, std::vector<std::string>& strFilePath,
                                      std::vector<std::string>& strFileInfo) {
    strFilePath.clear();
    strFileInfo.clear();
    try {
        const std::string word = GetResultTypeWord(resultType_);
        if (strJobFile.empty() || !isPlainFile(strJobFile)) return 0;
        XmlDocument doc;
        prepareDocument(doc);
        if (!doc.load(strJobFile)) return 0;
        int32_t count = 0;
        for (const XmlNode& info : doc.selectNodes("SURV_DATA/" + word + "成果情報")) {
            const std::string area = getElementText(info, word + "区分フォルダ名");
            const std::string result = getElementText(info, word + "成果区分フォルダ名");
            const std::string sub = getElementText(info, word + "細区分フォルダ名");
            if (area.empty() || result.empty()) continue;
            std::string folder = "SURVEY\\" + area + "\\" + result + "\\";
            if (!sub.empty()) folder += sub + "\\";
            for (const XmlNode& file : info.selectNodes("成果ファイル情報")) {
                const std::string name = getElementText(file, word + "成果ファイル名");
                const std::string subtitle = getElementText(file, word + "成果ファイル名副題");
                if (name.empty() || subtitle.empty()) continue;
                strFilePath.push_back(folder + name);
                strFileInfo.push_back(subtitle);
                ++count;
            }
        }
        return count;
    } catch (...) {
        strFilePath.clear();
        strFileInfo.clear();
        reportFailure("getDocFileInfo");
        return -1;
    }
}

}  // namespace qm
