#include "checks/inspection.h"

#include "checks/xmldoc.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

#include <exception>

namespace qm {

int ProcessFlags::indexOf(std::string_view code) {
    for (int i = 0; i < kCount; ++i)
        if (kCodes[i] == code) return i;
    return -1;
}

bool ProcessFlags::any() const {
    for (auto f : flag)
        if (f) return true;
    return false;
}

std::string ProcessFlags::codes() const {
    std::string out;
    for (int i = 0; i < kCount; ++i) {
        if (!flag[i]) continue;
        if (!out.empty()) out += ",";
        out += kCodes[i];
    }
    return out;
}

std::string managementFile(const std::string& top, const std::string& relBackslash) {
    if (auto found = resolveRel(top, relBackslash, EntryKind::File)) return *found;
    return joinRel(top, relBackslash);
}

namespace {

// The value of an element: the text of its first child when that child is a text node.
bool firstTextValue(const XmlNode& element, std::string& value) {
    auto children = element.childNodes();
    if (children.empty() || children.front().nodeType() != kXmlText) return false;
    value = children.front().nodeValue();
    return true;
}

std::string valueAt(const XmlDocument& doc, const std::string& path) {
    auto nodes = doc.document().selectNodes(path);
    std::string v;
    if (!nodes.empty()) firstTextValue(nodes.front(), v);
    return v;
}

// Patterns that name a process folder, tested in this order.
struct ProcessPattern { const char* pattern; const char* code; };
constexpr ProcessPattern kProcessPatterns[] = {
    {"CPROC_*", "C"},   {"DPROC_*", "D"},   {"EPROC_*", "E"},   {"F1PROC_*", "F1"}, {"F2PROC_*", "F2"},
    {"GPROC_*", "G"},   {"PAPROC_*", "PA"}, {"PBPROC_*", "PB"}, {"PCPROC_*", "PC"}, {"PDPROC_*", "PD"},
    {"PEPROC_*", "PE"}, {"PFPROC_*", "PF"}, {"FRPROC_*", "FR"}, {"LPROC_*", "L"},   {"RPROC_*", "R"},
    {"HPROC_*", "H"},   {"FPROC_*", "F"}};

void markProcess(const std::string& name, std::array<uint8_t, ProcessFlags::kCount>& work) {
    for (const auto& p : kProcessPatterns) {
        if (LikeMatch(name, p.pattern)) {
            work[ProcessFlags::indexOf(p.code)] = 1;
            return;
        }
    }
}

}  // namespace

bool JudgeMediaNum(const std::string& strIndexFile, int16_t& intMediaNum, int16_t& intMediaNo) {
    try {
        if (!isPlainFile(strIndexFile) || !CheckXmlParser()) return false;
        XmlDocument doc;
        if (!doc.load(strIndexFile)) return false;
        auto clamp16 = [](int32_t v) -> int16_t { return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v); };
        intMediaNum = clamp16(toNumber(valueAt(doc, "gyomudata/基礎情報/メディア総枚数")));
        intMediaNo = clamp16(toNumber(valueAt(doc, "gyomudata/基礎情報/メディア番号")));
        return true;
    } catch (const std::exception& e) {
        showFailure("JudgeMediaNum", 5, e.what());
        return false;
    }
}

int16_t JudgeResultType(const std::string& strSurveyFile) {
    try {
        if (!isPlainFile(strSurveyFile) || !CheckXmlParser()) return 0;
        XmlDocument doc;
        if (!doc.load(strSurveyFile)) return 0;
        std::string v = trimBlanks(valueAt(doc, "SURVEY/基礎情報/適用要領基準"));
        if (v.empty()) return 0;
        std::string head = substrChars(v, 0, 2);
        if (head == "地籍") return 1;
        if (head == "先行") return 2;
        return 0;
    } catch (const std::exception& e) {
        showFailure("JudgeResultType", 5, e.what());
        return 0;
    }
}

namespace {

void markProcessFolders(const std::string& strFolder, std::array<uint8_t, ProcessFlags::kCount>& work) {
    if (auto data = resolveRel(strFolder, "SURVEY\\TISEKI\\DATA", EntryKind::Folder)) {
        Listing l = listFolderNames(*data);
        for (const auto& e : l.entries)
            if (!e.isHidden) markProcess(e.name, work);
    }
}

}  // namespace

void JudgeProcessFromFolders(const std::string& strFolder, ProcessFlags& flags) {
    std::array<uint8_t, ProcessFlags::kCount> work{};
    markProcessFolders(strFolder, work);
    flags.flag = work;
}

bool JudgeProcess(int16_t intResultType, const std::string& strFolder, ProcessFlags& flags) {
    try {
        std::array<uint8_t, ProcessFlags::kCount> work{};
        markProcessFolders(strFolder, work);
        std::string tsk = managementFile(strFolder, "SURVEY\\TISEKI\\SURV_TSK.XML");
        if (isPlainFile(tsk) && CheckXmlParser()) {
            XmlDocument doc;
            doc.setAllowedRoot(strFolder);
            if (!doc.load(tsk)) return false;
            const char* path = intResultType == 2 ? "SURV_DATA/先行調査成果情報/先行調査細区分フォルダ名"
                                                  : "SURV_DATA/地籍調査成果情報/地籍調査細区分フォルダ名";
            for (const auto& node : doc.document().selectNodes(path)) {
                std::string v;
                if (firstTextValue(node, v)) markProcess(v, work);
            }
        }
        flags.flag = work;
        return true;
    } catch (const std::exception& e) {
        showFailure("JudgeProcess", 5, e.what());
        return false;
    }
}

}  // namespace qm
