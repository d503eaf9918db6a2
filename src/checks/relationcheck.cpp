#include "checks/relationcheck.h"
#include "foundation/fspath.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>
#include <functional>
#include <filesystem>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

#include "checks/xmldoc.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

namespace qm {

namespace {

const char* const kCaption = "ファイル関連チェック";
const char* const kNoFileName = "チェックを行うファイルを指定してください。";
const char* const kNoFile = "チェックを行うファイルが見つかりません。";
const char* const kFolderMissing = "記述されている成果フォルダが存在しません";
const char* const kFileMissing = "記述されている成果ファイルが存在しません";
const char* const kNotInSurvey = "成果フォルダ名が測量情報管理ファイル(SURVEY.XML)に記述されていません";

// Key of several texts joined; NUL never occurs in XML text or in names.
std::string joinKey(std::initializer_list<std::string_view> parts) {
    std::string key;
    bool first = true;
    for (auto p : parts) {
        if (!first) key.push_back('\0');
        key.append(p);
        first = false;
    }
    return key;
}

// The first child of node named elementName: (found, its first child's text when that
// child is a text node, else "").
std::pair<bool, std::string> getElementText(const std::string& elementName, const XmlNode& node) {
    for (XmlNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (!child.hasName(elementName)) continue;
        const XmlNode inner = child.firstChild();
        if (!inner.isNull() && inner.nodeType() == kXmlText) return {true, inner.nodeValue()};
        return {true, std::string()};
    }
    return {false, std::string()};
}

// Upper-cased texts of all nodes at an absolute element path (a node's text is its
// first child's value, empty without children), for membership tests.
std::unordered_set<std::string> nodeTexts(const XmlDocument& doc, const std::string& elementPath) {
    std::unordered_set<std::string> texts;
    for (const XmlNode& n : doc.selectNodes(elementPath)) texts.insert(upperAscii(n.firstChildText()));
    return texts;
}

std::string slashToBackslash(std::string s) {
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

// Folder of a first-medium management file's medium, when the file lies where the
// delivery layout puts it (levels folders named as given, ignoring ASCII case).
std::string derivedTop(const std::string& file, std::initializer_list<const char*> folders) {
    namespace fs = std::filesystem;
    fs::path p = fsPath(file).parent_path();
    for (const char* name : folders) {
        if (upperAscii(p.filename().string()) != name) return std::string();
        p = p.parent_path();
    }
    return p.empty() ? std::string() : withTrailingSeparator(p.string());
}

bool loadDocument(XmlDocument& doc, const std::string& path, const std::string& top) {
    if (!top.empty()) doc.setAllowedRoot(top);
    return doc.load(path);
}

// A medium-relative folder, when it exists on the medium (of the kind asked).
std::optional<std::string> onMedium(const std::string& top, const std::string& rel, EntryKind kind) {
    return resolveRel(top, rel, kind);
}

int failureNumber(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e)) return 7;
    if (auto* se = dynamic_cast<const std::system_error*>(&e)) return se->code().value();
    return 5;
}

}  // namespace

CRelationCheck::CRelationCheck() { InitData(); }

void CRelationCheck::setResultType(int16_t intResultType) { resultType_ = intResultType; }

void CRelationCheck::InitData() {
    clearLists();
    resultType_ = 1;
    unreadableMedium_.clear();
    unreadableHere_.clear();
    unreadableAny_.clear();
}

void CRelationCheck::setUnreadablePlaces(const std::string& strCheckPath,
                                         const std::unordered_set<std::string>& places) {
    unreadableMedium_ = withTrailingSeparator(strCheckPath);
    unreadableHere_ = places;
    unreadableAny_.insert(places.begin(), places.end());
}

void CRelationCheck::recordUnreadable(CErrorLog& log, const std::string& top, const std::string& place,
                                      const std::string& reason, int16_t& result) {
    if (top != unreadableMedium_) {
        unreadableMedium_ = top;
        unreadableHere_.clear();
    }
    const std::string key = upperAscii(place);
    unreadableAny_.insert(key);
    if (!unreadableHere_.insert(key).second) return;
    log.writeErrorLog(kUnreadableCode, reason, place, kUnreadableMessage);
    result = 1;
}

bool CRelationCheck::unknownPlace(const std::string& path) const {
    if (unreadableAny_.empty()) return false;
    if (unreadableAny_.count(std::string())) return true;
    for (size_t i = path.find('\\'); i != std::string::npos; i = path.find('\\', i + 1))
        if (unreadableAny_.count(path.substr(0, i))) return true;
    return unreadableAny_.count(path) != 0;
}

// Sub-folders of a medium folder (hidden ones included), in listing order.
std::vector<CRelationCheck::SubFolder> CRelationCheck::subFoldersOf(const std::string& top, const std::string& rel,
                                                                    CErrorLog& log, int16_t& result) {
    std::vector<SubFolder> out;
    auto folder = onMedium(top, rel, EntryKind::Folder);
    if (!folder) return out;
    Listing l = listFolderNames(*folder);
    if (!l.ok) {
        recordUnreadable(log, top, rel, l.error, result);
        return out;
    }
    const std::string base = withTrailingSeparator(*folder);
    for (const DirEntry& e : l.entries)
        if (e.isDir) out.push_back({e.name, base + e.raw});
    return out;
}

// Names of the files of a folder (normal and hidden; links are listed as files and
// never followed), in listing order.
std::vector<std::string> CRelationCheck::filesOf(const std::string& top, const std::string& nativeFolder,
                                                 const std::string& rel, CErrorLog& log, int16_t& result) {
    std::vector<std::string> out;
    Listing l = listFolderNames(nativeFolder);
    if (!l.ok) {
        recordUnreadable(log, top, rel, l.error, result);
        return out;
    }
    for (const DirEntry& e : l.entries)
        if (!e.isDir) out.push_back(e.name);
    return out;
}

void CRelationCheck::clearLists() {
    surveyFolders_.clear();
    classFolders_.clear();
    subFolders_.clear();
    resultFiles_.clear();
    surveyIndex_.clear();
    classIndex_.clear();
    subIndex_.clear();
    fileIndex_.clear();
}

std::string CRelationCheck::word() const { return GetResultTypeWord(resultType_); }

void CRelationCheck::addFolder(std::vector<FolderItem>& list, PathIndex& index, FolderItem item) {
    index[item.folderPath].push_back(list.size());
    list.push_back(std::move(item));
}

void CRelationCheck::markAll(std::vector<FolderItem>& list, const PathIndex& index, const std::string& path) {
    auto it = index.find(path);
    if (it == index.end()) return;
    for (size_t i : it->second) list[i].found = true;
}

void CRelationCheck::markFirst(std::vector<FolderItem>& list, const PathIndex& index, const std::string& path) {
    auto it = index.find(path);
    if (it == index.end() || it->second.empty()) return;
    list[it->second.front()].found = true;
}

bool CRelationCheck::getDocFilenameFromJobFile(const std::string& /*strIndexFile*/, const std::string& strSurveyFile,
                                               const std::string& strSurvTskFile) {
    try {
        clearLists();
        const std::string T = word();

        XmlDocument survey;
        if (isPlainFile(strSurveyFile) &&
            loadDocument(survey, strSurveyFile,
                         mediumTop_.empty() ? derivedTop(strSurveyFile, {"SURVEY"}) : mediumTop_)) {
            std::vector<XmlNode> basics = survey.selectNodes("/SURVEY/基礎情報");
            if (!basics.empty()) {
                const std::pair<std::string, std::string> names[] = {
                    {T + "成果格納用フォルダ名", "/SURVEY/基礎情報/" + T + "成果格納用フォルダ名"},
                    {"ドキュメント格納用フォルダ名", "/SURVEY/基礎情報/ドキュメント格納用フォルダ名"}};
                for (const auto& [name, path] : names) {
                    auto [found, text] = getElementText(name, basics.front());
                    if (!text.empty())
                        addFolder(surveyFolders_, surveyIndex_, {text, "SURVEY\\" + upperAscii(text), path, 1, false});
                }
            }
            const std::string names[] = {T + "記録フォルダパス名", T + "成果フォルダパス名", "その他データフォルダパス名"};
            int32_t counters[3] = {0, 0, 0};
            for (const XmlNode& node : survey.selectNodes("/SURVEY/測量情報")) {
                for (int k = 0; k < 3; ++k) {
                    auto [found, text] = getElementText(names[k], node);
                    if (found) ++counters[k];
                    if (!text.empty())
                        addFolder(surveyFolders_, surveyIndex_,
                                  {text, slashToBackslash(upperAscii(text)), "/SURVEY/測量情報/" + names[k], counters[k], false});
                }
            }
        }

        XmlDocument tsk;
        if (isPlainFile(strSurvTskFile) &&
            loadDocument(tsk, strSurvTskFile,
                         mediumTop_.empty() ? derivedTop(strSurvTskFile, {"TISEKI", "SURVEY"}) : mediumTop_)) {
            const std::string info = "/SURV_DATA/" + T + "成果情報/";
            const std::string fileElement = T + "成果ファイル名";
            int32_t classCount = 0, subCount = 0, fileCount = 0;
            for (const XmlNode& node : tsk.selectNodes("/SURV_DATA/" + T + "成果情報")) {
                const std::string a = getElementText(T + "区分フォルダ名", node).second;
                const auto [bFound, b] = getElementText(T + "成果区分フォルダ名", node);
                const auto [cFound, c] = getElementText(T + "細区分フォルダ名", node);
                if (bFound) ++classCount;
                if (!b.empty())
                    addFolder(classFolders_, classIndex_,
                              {b, upperAscii("SURVEY\\" + a + "\\" + b), info + T + "成果区分フォルダ名", classCount, false});
                if (cFound) ++subCount;
                if (!c.empty())
                    addFolder(subFolders_, subIndex_,
                              {c, upperAscii("SURVEY\\" + a + "\\" + b + "\\" + c), info + T + "細区分フォルダ名", subCount,
                               false});
                std::string folder = "SURVEY\\" + a + "\\" + b + "\\";
                if (!c.empty()) folder += c + "\\";
                folder = upperAscii(folder);
                for (const XmlNode& fileInfo : node.selectNodes("成果ファイル情報")) {
                    auto [fFound, f] = getElementText(fileElement, fileInfo);
                    if (fFound) ++fileCount;
                    if (f.empty()) continue;
                    std::string upperName = upperAscii(f);
                    std::string fullPath = folder + upperName;
                    resultFiles_.push_back({fileCount, std::move(upperName), std::move(fullPath), false});
                }
            }
        }
        indexResultFiles();
        return true;
    } catch (const std::exception& e) {
        indexResultFiles();
        showFailure("getDocFilenameFromJobFile", failureNumber(e), e.what());
        return false;
    }
}

void CRelationCheck::indexResultFiles() {
    fileIndex_.clear();
    const size_t n = resultFiles_.size();
    if (n == 0 || n >= UINT32_MAX / 4) return;
    size_t slots = 16;
    while (slots < 2 * n) slots *= 2;
    try {
        fileIndex_.assign(slots, 0);
    } catch (const std::bad_alloc&) {
        fileIndex_.clear();
        return;
    }
    const std::hash<std::string_view> hash;
    for (size_t i = 0; i < n; ++i) {
        const std::string_view key = resultFiles_[i].fullPath;
        for (size_t at = hash(key) & (slots - 1);; at = (at + 1) & (slots - 1)) {
            if (fileIndex_[at] == 0) {
                fileIndex_[at] = static_cast<uint32_t>(i + 1);
                break;
            }
            if (resultFiles_[fileIndex_[at] - 1].fullPath == key) break;  // keeps the first
        }
    }
}

size_t CRelationCheck::findResultFile(std::string_view fullPath) const {
    if (fileIndex_.empty()) return resultFiles_.size();
    const size_t mask = fileIndex_.size() - 1;
    for (size_t at = std::hash<std::string_view>()(fullPath) & mask; fileIndex_[at] != 0; at = (at + 1) & mask)
        if (resultFiles_[fileIndex_[at] - 1].fullPath == fullPath) return fileIndex_[at] - 1;
    return resultFiles_.size();
}

int16_t CRelationCheck::checkRelation_Index(const std::string& strXMLFile, const std::string& strCheckPath,
                                            const std::string& strLogFile1, const std::string& /*strLogFile2*/,
                                            int16_t intMediaNo, int16_t intMediaNum) {
    return runRelation(RelKind::Index, strXMLFile, strCheckPath, strLogFile1, intMediaNo, intMediaNum);
}

int16_t CRelationCheck::checkRelation_Survey(const std::string& strXMLFile, const std::string& strCheckPath,
                                             const std::string& /*strLogFile1*/, const std::string& strLogFile2) {
    return runRelation(RelKind::Survey, strXMLFile, strCheckPath, strLogFile2, 0, 0);
}

int16_t CRelationCheck::checkRelation_Tiseki(const std::string& strXMLFile, const std::string& strCheckPath,
                                             const std::string& /*strLogFile1*/, const std::string& strLogFile2) {
    return runRelation(RelKind::Tiseki, strXMLFile, strCheckPath, strLogFile2, 0, 0);
}

int16_t CRelationCheck::runRelation(RelKind kind, const std::string& strXMLFile, const std::string& strCheckPath,
                                    const std::string& strLogFile, int16_t intMediaNo, int16_t intMediaNum) {
    if (strXMLFile.empty()) {
        showMessage(kCaption, kNoFileName, MsgIcon::Exclamation);
        return -1;
    }
    if (!isPlainFile(strXMLFile)) {
        showMessage(kCaption, kNoFile, MsgIcon::Exclamation);
        return -1;
    }
    const std::string top = strCheckPath.empty() ? std::string() : withTrailingSeparator(strCheckPath);
    XmlDocument doc;
    const bool loaded = loadDocument(doc, strXMLFile, top);
    // A document that does not load has been reported by its element check; what the
    // medium holds is still marked in the lists, or the totals would report it missing.
    if (!loaded && kind == RelKind::Index) return 1;

    CErrorLog log;
    if (!strLogFile.empty()) {
        log.setFileName(strLogFile);
        log.setComment(";チェックファイル " + strXMLFile);
    }
    const XmlDocument* document = loaded ? &doc : nullptr;
    int16_t result = 0;
    switch (kind) {
        case RelKind::Index:
            if (intMediaNo != 0 || intMediaNum != 0) result = checkMediaNo(doc, intMediaNo, intMediaNum, log);
            break;
        case RelKind::Survey:
            result = checkSurveyFolder(top, document, log);
            break;
        case RelKind::Tiseki:
            result = checkTisekiFolder(top, document, log);
            break;
    }
    log.CloseFile();
    return loaded ? result : 1;
}

int16_t CRelationCheck::markHoldings_Survey(const std::string& strCheckPath, const std::string& strLogFile2) {
    return markHoldings(RelKind::Survey, strCheckPath, strLogFile2);
}

int16_t CRelationCheck::markHoldings_Tiseki(const std::string& strCheckPath, const std::string& strLogFile2) {
    return markHoldings(RelKind::Tiseki, strCheckPath, strLogFile2);
}

int16_t CRelationCheck::markHoldings(RelKind kind, const std::string& strCheckPath, const std::string& strLogFile) {
    if (strCheckPath.empty()) return 0;
    const std::string top = withTrailingSeparator(strCheckPath);
    CErrorLog log;
    if (!strLogFile.empty()) {
        log.setFileName(strLogFile);
        log.setComment(";チェックパス " + top);
    }
    const int16_t result =
        kind == RelKind::Tiseki ? checkTisekiFolder(top, nullptr, log) : checkSurveyFolder(top, nullptr, log);
    log.CloseFile();
    return result;
}

int16_t CRelationCheck::checkMediaNo(const XmlDocument& xmlDomDoc, int16_t intMediaNo, int16_t intMediaNum,
                                     CErrorLog& clsErrorLog) {
    int16_t result = 0;
    std::vector<XmlNode> basics = xmlDomDoc.selectNodes("/gyomudata/基礎情報");
    if (basics.empty()) return 0;
    const XmlNode& node = basics.front();
    auto [noFound, no] = getElementText("メディア番号", node);
    if (noFound && IsDigits(no) && toNumber(no) != intMediaNo) {
        clsErrorLog.writeErrorLogXml(30701, "/gyomudata/基礎情報/メディア番号", 1, "メディア番号が不正です", no);
        result = 1;
    }
    auto [numFound, num] = getElementText("メディア総枚数", node);
    if (numFound && IsDigits(num) && toNumber(num) != intMediaNum) {
        clsErrorLog.writeErrorLogXml(30702, "/gyomudata/基礎情報/メディア総枚数", 1, "メディア総枚数が不正です", num);
        result = 1;
    }
    return result;
}

int16_t CRelationCheck::checkSurveyFolder(const std::string& checkPath, const XmlDocument* doc, CErrorLog& log) {
    const std::string T = word();
    int16_t result = 0;
    // Whether the medium's own SURVEY.XML names the folder; true without a document.
    auto named = [&](const std::string& element, const std::string& value) {
        return doc == nullptr || nodeTexts(*doc, element).count(value) != 0;
    };

    if (onMedium(checkPath, "SURVEY\\TISEKI", EntryKind::Any)) {
        const std::string element = "/SURVEY/基礎情報/" + T + "成果格納用フォルダ名";
        if (!named(element, "TISEKI")) {
            log.writeErrorLog(30401, element, "SURVEY\\TISEKI", kNotInSurvey);
            result = 1;
        }
        markFirst(surveyFolders_, surveyIndex_, "SURVEY\\TISEKI");
    }
    if (onMedium(checkPath, "SURVEY\\DOC", EntryKind::Any)) {
        const std::string element = "/SURVEY/基礎情報/ドキュメント格納用フォルダ名";
        if (!named(element, "DOC")) {
            log.writeErrorLog(30401, element, "SURVEY\\DOC", kNotInSurvey);
            result = 1;
        }
        markAll(surveyFolders_, surveyIndex_, "SURVEY\\DOC");
    }

    const std::pair<const char*, std::string> areas[] = {{"WORK", T + "記録フォルダパス名"},
                                                         {"DATA", T + "成果フォルダパス名"}};
    for (const auto& [area, name] : areas) {
        const std::string element = "/SURVEY/測量情報/" + name;
        std::unordered_set<std::string> texts;
        if (doc != nullptr) texts = nodeTexts(*doc, element);
        const std::string rel = std::string("SURVEY\\TISEKI\\") + area;
        for (const SubFolder& sub : subFoldersOf(checkPath, rel, log, result)) {
            const std::string s = upperAscii(sub.name);
            if (doc != nullptr && !texts.count(std::string("SURVEY/TISEKI/") + area + "/" + s)) {
                log.writeErrorLog(30401, element, rel + "\\" + s, kNotInSurvey);
                result = 1;
            }
            markAll(surveyFolders_, surveyIndex_, rel + "\\" + s);
        }
    }

    if (onMedium(checkPath, "SURVEY\\TISEKI\\OTHRS", EntryKind::Folder)) {
        const std::string element = "/SURVEY/測量情報/その他データフォルダパス名";
        if (!named(element, "SURVEY/TISEKI/OTHRS")) {
            log.writeErrorLog(30401, element, "SURVEY\\TISEKI\\OTHRS", kNotInSurvey);
            result = 1;
        }
        markAll(surveyFolders_, surveyIndex_, "SURVEY\\TISEKI\\OTHRS");
    }
    return result;
}

CRelationCheck::TisekiIndex CRelationCheck::indexTiseki(const XmlDocument& doc) const {
    const std::string T = word();
    const std::string areaElement = T + "区分フォルダ名", classElement = T + "成果区分フォルダ名",
                      subElement = T + "細区分フォルダ名", fileElement = T + "成果ファイル名";
    TisekiIndex index;
    for (const XmlNode& node : doc.selectNodes("/SURV_DATA/" + T + "成果情報")) {
        const std::string a = upperAscii(getElementText(areaElement, node).second);
        const std::string b = upperAscii(getElementText(classElement, node).second);
        const std::string c = upperAscii(getElementText(subElement, node).second);
        std::vector<std::string>& files = index.folders[joinKey({a, b, c})];
        for (const XmlNode& fileInfo : node.selectNodes("成果ファイル情報"))
            files.push_back(upperAscii(getElementText(fileElement, fileInfo).second));
    }
    for (auto& [folder, files] : index.folders) std::sort(files.begin(), files.end());
    return index;
}

int16_t CRelationCheck::checkTisekiFolder(const std::string& checkPath, const XmlDocument* doc, CErrorLog& log) {
    const std::string T = word();
    const bool preliminary = resultType_ == 2;
    const std::string item30601 = "/SURV_DATA/" + T + "成果情報/" + T + "細区分フォルダ名";
    const std::string item30602 = "/SURV_DATA/" + T + "成果情報/成果ファイル情報/" + T + "成果ファイル名";
    const std::string msg30601 = preliminary
                                     ? "成果フォルダ名が先行調査成果管理ファイル(SURV_TSK.XML)に記述されていません"
                                     : "成果フォルダ名が地籍調査成果管理ファイル(SURV_TSK.XML)に記述されていません";
    const std::string msg30602 = preliminary
                                     ? "成果ファイル名が先行調査成果管理ファイル(SURV_TSK.XML)に記述されていません"
                                     : "成果ファイル名が地籍調査成果管理ファイル(SURV_TSK.XML)に記述されていません";
    // Without the medium's own document its folders and files are only marked.
    const TisekiIndex described = doc != nullptr ? indexTiseki(*doc) : TisekiIndex{};
    int16_t result = 0;
    // Files seen on the medium are marked among the files that medium 1 describes.
    std::string seen;
    auto markSeen = [&](const std::string& folder, const std::string& name) {
        seen.assign(folder).append(name);
        for (char& ch : seen)
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
        const size_t at = findResultFile(seen);
        if (at < resultFiles_.size()) resultFiles_[at].found = true;
    };

    for (const char* area : {"WORK", "DATA", "OTHRS"}) {
        const std::string rel = std::string("SURVEY\\TISEKI\\") + area;
        if (onMedium(checkPath, rel, EntryKind::Any)) markAll(classFolders_, classIndex_, rel);
    }

    for (const char* area : {"WORK", "DATA"}) {
        const std::string rel = std::string("SURVEY\\TISEKI\\") + area;
        const std::vector<SubFolder> subs = subFoldersOf(checkPath, rel, log, result);
        for (const SubFolder& sub : subs) {
            const std::vector<std::string> files = filesOf(checkPath, sub.native, rel + "\\" + sub.name, log, result);
            const std::string s = upperAscii(sub.name);
            auto folder = described.folders.find(joinKey({"TISEKI", area, s}));
            if (doc != nullptr && folder != described.folders.end()) {
                for (const std::string& f : files) {
                    const std::string uf = upperAscii(f);
                    if (!std::binary_search(folder->second.begin(), folder->second.end(), uf)) {
                        log.writeErrorLog(30602, item30602, rel + "\\" + sub.name + "\\" + uf, msg30602);
                        result = 1;
                    }
                }
            } else if (doc != nullptr) {
                log.writeErrorLog(30601, item30601, rel + "\\" + sub.name, msg30601);
                result = 1;
            }
            const std::string path = rel + "\\" + sub.name + "\\";
            for (const std::string& f : files) markSeen(path, f);
        }
        for (const SubFolder& sub : subs) markAll(subFolders_, subIndex_, upperAscii(rel + "\\" + sub.name));
    }

    if (auto othrs = onMedium(checkPath, "SURVEY\\TISEKI\\OTHRS", EntryKind::Folder)) {
        const std::vector<std::string> files = filesOf(checkPath, *othrs, "SURVEY\\TISEKI\\OTHRS", log, result);
        auto folder = described.folders.find(joinKey({"TISEKI", "OTHRS", ""}));
        if (doc != nullptr && folder != described.folders.end()) {
            for (const std::string& f : files) {
                const std::string uf = upperAscii(f);
                if (!std::binary_search(folder->second.begin(), folder->second.end(), uf)) {
                    log.writeErrorLog(30602, item30602, "SURVEY\\TISEKI\\OTHRS\\" + uf, msg30602);
                    result = 1;
                }
            }
        } else if (doc != nullptr) {
            log.writeErrorLog(30601, item30601, "SURVEY\\TISEKI\\OTHRS", msg30601);
            result = 1;
        }
        for (const std::string& f : files) markSeen("SURVEY\\TISEKI\\OTHRS\\", f);
    }
    return result;
}

int16_t CRelationCheck::checkXmlToVol_Total(const std::string& /*strLogIndex*/, const std::string& strLogSurvey,
                                            const std::string& strLogSurvTsk) {
    int16_t result = 0;
    {
        CErrorLog log;
        log.setFileName(strLogSurvey);
        for (const FolderItem& f : surveyFolders_) {
            if (f.found || unknownPlace(f.folderPath)) continue;
            log.writeErrorLogXml(30301, f.elementPath, f.occurrence, kFolderMissing, f.value);
            result = 1;
        }
        log.CloseFile();
    }
    {
        CErrorLog log;
        log.setFileName(strLogSurvTsk);
        for (const auto* list : {&classFolders_, &subFolders_}) {
            for (const FolderItem& f : *list) {
                if (f.found || unknownPlace(f.folderPath)) continue;
                log.writeErrorLogXml(30501, f.elementPath, f.occurrence, kFolderMissing, f.value);
                result = 1;
            }
        }
        const std::string element = "/SURV_DATA/" + word() + "成果情報/成果ファイル情報/" + word() + "成果ファイル名";
        for (const FileItem& f : resultFiles_) {
            if (f.found || unknownPlace(f.fullPath)) continue;
            log.writeErrorLogXml(30502, element, f.occurrence, kFileMissing, f.fileName);
            result = 1;
        }
        log.CloseFile();
    }
    return result;
}

}  // namespace qm
