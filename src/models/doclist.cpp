#include "models/doclist.h"

#include "checks/xmldoc.h"
#include "foundation/csvread.h"
#include "foundation/messages.h"
#include "foundation/platform.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace qm {

namespace {

// Processes per result type: label and code. Type 1 takes its flags from the 14 process
// flags in the order C, D, E, F1, F2, PA, PB, PC, PD, PE, PF, G, H, FR; type 2 from C, D,
// E, F1, F2, G, H, FR.
struct ProcessDef {
    const char* label;
    const char* code;
    int flag;  // index in ProcessFlags
};
constexpr ProcessDef kCadastral[] = {
    {"C", "C", 0},    {"D", "D", 1},    {"E", "E", 2},    {"FⅠ", "F1", 3},  {"FⅡ", "F2", 4},
    {"PA", "PA", 6},  {"PB", "PB", 7},  {"PC", "PC", 8},  {"PD", "PD", 9},  {"PE", "PE", 10},
    {"PF", "PF", 11}, {"G", "G", 5},    {"H", "H", 13},   {"FR", "FR", 12},
};
constexpr ProcessDef kPreliminary[] = {
    {"C", "C", 0},     {"D", "D", 1},     {"E'", "E", 2},  {"F'Ⅰ", "F1", 3},
    {"F'Ⅱ", "F2", 4}, {"G'", "G", 5},    {"H'", "H", 13}, {"FR", "FR", 12},
};

int areaIndex(char c) {
    const size_t at = DeliverablesList::kAreaAlphabet.find(c);
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

bool isAreaChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '1' && c <= '9'); }

// Text of a child element of node, when that element has content.
std::string childText(const XmlNode& element) {
    return element.hasChildNodes() ? element.firstChildText() : std::string();
}

}  // namespace

void DeliverablesList::clear() {
    resultType_ = 0;
    processes_.clear();
    documents_.clear();
    tot_.clear();
    doc_.clear();
    present_.fill(0);
    for (auto& a : processArea_) a.fill(0);
    areaPresent_.fill(0);
    areas_.clear();
    found_.clear();
    othrsPresent_ = docPresent_ = false;
    gridBuilt_ = false;
    rows_.clear();
    areaLines_.clear();
    selectedArea = -1;
    selectedTab.clear();
}

const std::vector<DeliverablesList::Document>* DeliverablesList::documentsOf(const std::string& code) const {
    if (code == "TOT") return &tot_;
    if (code == "DOC") return &doc_;
    for (size_t i = 0; i < processes_.size(); ++i)
        if (processes_[i].code == code) return &documents_[i];
    return nullptr;
}

bool DeliverablesList::setDocInfo(int16_t resultType, const std::string& tableFile, const ProcessFlags& flags) {
    clear();
    resultType_ = resultType;
    const ProcessDef* defs = nullptr;
    size_t count = 0;
    if (resultType == 1) {
        defs = kCadastral;
        count = std::size(kCadastral);
    } else if (resultType == 2) {
        defs = kPreliminary;
        count = std::size(kPreliminary);
    } else {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        processes_.push_back({defs[i].label, defs[i].code});
        present_[i] = flags.flag[static_cast<size_t>(defs[i].flag)] ? 1 : 0;
    }
    documents_.assign(processes_.size(), {});

    CCsvRead csv;
    if (!csv.OpenFile(tableFile)) return false;
    std::string refused;  // the first line refused for a full list
    try {
        while (!csv.IsEof()) {
            csv.ReadFile(true);
            const std::string code = csv.ItemValue(0);
            if (code.empty() || code[0] == ';') continue;
            std::vector<Document>* list = nullptr;
            if (code == "TOT") list = &tot_;
            else if (code == "DOC") list = &doc_;
            else
                for (size_t i = 0; i < processes_.size() && !list; ++i)
                    if (processes_[i].code == code) list = &documents_[i];
            if (!list) continue;
            if (list->size() >= kMaxDocuments) {
                if (refused.empty())
                    refused = tableFile + " の " + std::to_string(csv.RecordNum()) + " 行目（工程 " + code + "）";
                continue;
            }
            Document d;
            d.folderKind = csv.ItemValue(1);
            d.pattern = csv.ItemValue(2);
            d.name = csv.ItemValue(3);
            d.compiled = LikePattern(d.pattern);
            list->push_back(std::move(d));
        }
    } catch (const CsvError& e) {
        showFailure("setDocInfo", e.number(), e.what());
        return true;
    }
    // One process holds at most 40 documents: the lines beyond are not used.
    if (!refused.empty())
        showMessage("setDocInfo", "成果一覧の設定は1つの工程につき" + std::to_string(kMaxDocuments) +
                                      "行までです。" + refused + "以降の超過した行は使用しません。",
                    MsgIcon::Critical);
    return true;
}

void DeliverablesList::addAreaInfo(const std::string& ch, const std::string& name, int precision) {
    for (Area& a : areas_) {
        if (a.ch != ch) continue;
        if (precision >= 1 && precision <= 6) a.precision[static_cast<size_t>(precision - 1)] = 1;
        return;
    }
    Area a;
    a.ch = ch;
    a.name = name;
    if (precision >= 1 && precision <= 6) a.precision[static_cast<size_t>(precision - 1)] = 1;
    areas_.push_back(std::move(a));
}

std::string DeliverablesList::getPrecisionText(const std::array<uint8_t, 6>& flags) {
    static const char* const kNames[6] = {"甲1", "甲2", "甲3", "乙1", "乙2", "乙3"};
    std::string out;
    for (size_t i = 0; i < 6; ++i) {
        if (!flags[i]) continue;
        if (!out.empty()) out += ",";
        out += kNames[i];
    }
    return out;
}

bool DeliverablesList::getAreaInfo(const std::string& surveyFile) {
    if (!isPlainFile(surveyFile)) return false;
    XmlDocument doc;
    if (!doc.load(surveyFile)) return false;
    std::vector<std::pair<int32_t, std::string>> names;
    for (const XmlNode& place : doc.selectNodes("/SURVEY/場所情報")) {
        int32_t number = 0;
        std::string name;
        for (XmlNode c = place.firstChild(); !c.isNull(); c = c.nextSibling()) {
            if (c.nodeType() != kXmlElement) continue;
            if (c.hasName("測量区域番号")) number = toNumber(childText(c));
            else if (c.hasName("測量区域名")) name = childText(c);
        }
        names.emplace_back(number, name);
    }
    for (const XmlNode& info : doc.selectNodes("/SURVEY/測量情報")) {
        std::string record, result;
        int32_t number = 0, precision = 0;
        for (XmlNode c = info.firstChild(); !c.isNull(); c = c.nextSibling()) {
            if (c.nodeType() != kXmlElement || !c.hasChildNodes()) continue;
            if (c.hasName("地籍調査記録フォルダパス名") || c.hasName("先行調査記録フォルダパス名") ||
                c.hasName("地籍基本調査記録フォルダパス名"))
                record = c.firstChildText();
            else if (c.hasName("地籍調査成果フォルダパス名") || c.hasName("先行調査成果フォルダパス名") ||
                     c.hasName("地籍基本調査成果フォルダパス名"))
                result = c.firstChildText();
            else if (c.hasName("測量区域No"))
                number = toNumber(c.firstChildText());
            else if (c.hasName("精度"))
                precision = toNumber(c.firstChildText());
        }
        std::string name;
        for (const auto& [n, text] : names)
            if (n == number) {
                name = text;
                break;
            }
        for (const std::string& folder : {record, result}) {
            const std::string upper = upperAscii(folder);
            const size_t at = upper.find("PROC_");
            if (at == std::string::npos || at + 5 >= upper.size()) continue;
            // The area character: one character after "PROC_", whole even when it is not ASCII.
            addAreaInfo(substrChars(upper.substr(at + 5), 0, 1), name, precision);
        }
    }
    return true;
}

bool DeliverablesList::SearchFiles(const std::string& topFolder) {
    areaPresent_.fill(0);
    const std::string tiseki = joinRel(topFolder, "SURVEY\\TISEKI");
    if (!isFolder(tiseki)) return false;
    try {
        getAreaInfo(joinRel(topFolder, "SURVEY\\SURVEY.XML"));
        const std::string sides[2] = {"WORK", "DATA"};
        std::vector<DirEntry> sideFolders[2];
        for (int s = 0; s < 2; ++s) {
            Listing l = listFolderNames(joinRel(topFolder, "SURVEY\\TISEKI\\" + sides[s]));
            for (DirEntry& e : l.entries)
                if (e.isDir) sideFolders[s].push_back(std::move(e));
        }
        for (size_t p = 0; p < processes_.size(); ++p) {
            const std::string& code = processes_[p].code;
            const std::string folderPattern = code + "PROC_?";
            // Area characters in the order met, each with the folder of each side.
            std::vector<std::pair<char, std::array<std::string, 2>>> found;
            for (int s = 0; s < 2; ++s) {
                for (const DirEntry& e : sideFolders[s]) {
                    if (!LikeMatchNoCase(e.name, folderPattern)) continue;
                    const char x = upperAscii(e.name.substr(e.name.size() - 1))[0];
                    if (!isAreaChar(x)) continue;
                    auto it = std::find_if(found.begin(), found.end(), [x](const auto& f) { return f.first == x; });
                    if (it == found.end()) it = found.insert(found.end(), {x, {}});
                    if (it->second[static_cast<size_t>(s)].empty()) it->second[static_cast<size_t>(s)] = e.raw;
                }
            }
            for (const auto& [x, folders] : found) {
                const int i = areaIndex(x);
                processArea_[p][static_cast<size_t>(i)] = 1;
                areaPresent_[static_cast<size_t>(i)] = 1;
            }
            const std::vector<Document>& docs = documents_[p];
            for (const auto& [x, folders] : found) {
                const std::string area(1, x);
                for (int s = 0; s < 2; ++s) {
                    if (folders[static_cast<size_t>(s)].empty()) continue;
                    const std::string dir = withTrailingSeparator(joinRel(topFolder, "SURVEY\\TISEKI\\" + sides[s])) +
                                            folders[static_cast<size_t>(s)];
                    const Listing files = listFolderNames(dir);
                    for (const DirEntry& f : files.entries) {
                        if (f.isDir || f.isHidden) continue;
                        for (size_t k = 0; k < docs.size(); ++k) {
                            if (docs[k].folderKind != sides[s] || !docs[k].compiled.matches(f.name)) continue;
                            found_.insert({code, area, static_cast<int>(k)});
                            break;
                        }
                    }
                }
            }
        }
        auto plainFolder = [&](const char* rel, const char* code, const std::vector<Document>& docs, bool& flag) {
            const std::string dir = joinRel(topFolder, rel);
            if (!isFolder(dir)) return;
            flag = true;
            const Listing files = listFolderNames(dir);
            for (size_t k = 0; k < docs.size(); ++k) {
                for (const DirEntry& f : files.entries) {
                    if (f.isDir || f.isHidden || !LikeMatchNoCase(f.name, docs[k].pattern)) continue;
                    found_.insert({code, "", static_cast<int>(k)});
                    break;
                }
            }
        };
        plainFolder("SURVEY\\TISEKI\\OTHRS", "TOT", tot_, othrsPresent_);
        plainFolder("SURVEY\\DOC", "DOC", doc_, docPresent_);
    } catch (const std::exception& e) {
        showFailure("SearchFiles", errno, e.what());
    }
    return true;
}

void DeliverablesList::setGrid() {
    rows_.clear();
    areaLines_.clear();
    for (int i = 1; i <= kAreas; ++i) {
        if (!areaPresent_[static_cast<size_t>(i)]) continue;
        const std::string x(1, kAreaAlphabet[static_cast<size_t>(i - 1)]);
        AreaLine line;
        line.index = i;
        line.ch = x;
        line.label = x;
        for (const Area& a : areas_) {
            if (a.ch != x) continue;
            if (!a.name.empty()) line.label += " " + a.name;
            const std::string precision = getPrecisionText(a.precision);
            if (!precision.empty()) line.label += " (" + precision + ")";
            break;
        }
        areaLines_.push_back(std::move(line));
        for (size_t p = 0; p < processes_.size(); ++p) {
            const std::string& code = processes_[p].code;
            for (size_t k = 0; k < documents_[p].size(); ++k) {
                const Document& d = documents_[p][k];
                rows_.push_back({found(code, x, static_cast<int>(k)) ? "○" : "×", d.name, d.pattern, x, code});
            }
        }
    }
    for (const char* code : {"TOT", "DOC"}) {
        const std::vector<Document>& docs = *documentsOf(code);
        for (size_t k = 0; k < docs.size(); ++k)
            rows_.push_back({found(code, "", static_cast<int>(k)) ? "○" : "×", docs[k].name, docs[k].pattern, "", code});
    }
    gridBuilt_ = true;
    selectedArea = areaLines_.empty() ? -1 : 0;
    const std::vector<Tab> tabs = tabsFor(selectedArea);
    selectedTab = tabs.empty() ? std::string() : tabs.front().key;
}

std::vector<DeliverablesList::Tab> DeliverablesList::tabsFor(int areaLine) const {
    std::vector<Tab> tabs;
    if (areaLine < 0 || static_cast<size_t>(areaLine) >= areaLines_.size()) return tabs;
    const std::string& x = areaLines_[static_cast<size_t>(areaLine)].ch;
    const int i = areaLines_[static_cast<size_t>(areaLine)].index;
    for (size_t p = 0; p < processes_.size(); ++p) {
        // Present in the run, or found for this area (a found record implies its folder).
        if (present_[p] || processArea_[p][static_cast<size_t>(i)] ||
            found_.lower_bound({processes_[p].code, x, 0}) != found_.upper_bound({processes_[p].code, x, INT32_MAX}))
            tabs.push_back({processes_[p].code, processes_[p].label + "工程"});
    }
    if (othrsPresent_) tabs.push_back({"TOT", "その他データ"});
    if (docPresent_) tabs.push_back({"DOC", "ドキュメント"});
    return tabs;
}

bool DeliverablesList::rowVisible(size_t row, int areaLine, const std::string& tabKey) const {
    if (row >= rows_.size()) return false;
    if (areaLine < 0 || static_cast<size_t>(areaLine) >= areaLines_.size()) return true;  // no area: nothing chosen
    const GridRow& r = rows_[row];
    if (tabKey == "TOT" || tabKey == "DOC") return r.code == tabKey;
    return r.code == tabKey && r.area == areaLines_[static_cast<size_t>(areaLine)].ch;
}

std::vector<DeliverablesList::PrintLine> DeliverablesList::printLines() const {
    std::vector<PrintLine> lines;
    for (const AreaLine& a : areaLines_) {
        lines.push_back({0, "地区" + a.label, "", a.ch, ""});
        for (size_t p = 0; p < processes_.size(); ++p) {
            const bool here = processArea_[p][static_cast<size_t>(a.index)] != 0;
            if (!present_[p] && !here) continue;
            const std::string& code = processes_[p].code;
            lines.push_back({1, processes_[p].label + " 工程", "", a.ch, code});
            if (!here) continue;
            for (size_t k = 0; k < documents_[p].size(); ++k)
                lines.push_back({2, documents_[p][k].name, found(code, a.ch, static_cast<int>(k)) ? "○" : "×", a.ch, code});
        }
    }
    auto plain = [&](bool present, const char* heading, const char* code, const std::vector<Document>& docs) {
        if (!present) return;
        lines.push_back({1, heading, "", "", code});
        for (size_t k = 0; k < docs.size(); ++k)
            lines.push_back({2, docs[k].name, found(code, "", static_cast<int>(k)) ? "○" : "×", "", code});
    };
    plain(othrsPresent_, "その他データ", "TOT", tot_);
    plain(docPresent_, "ドキュメント", "DOC", doc_);
    return lines;
}

print::PrintDocument DeliverablesList::printDocument() const {
    print::PrintDocument doc;
    doc.kind = print::DocKind::Doc;
    doc.title = "成果一覧";
    for (const PrintLine& l : printLines()) {
        print::PrintRecord r;
        r.level = l.kind;
        r.name = l.text;
        r.mark = l.mark;
        doc.records.push_back(std::move(r));
    }
    return doc;
}

}  // namespace qm
