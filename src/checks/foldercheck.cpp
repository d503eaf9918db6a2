#include "checks/foldercheck.h"
#include "foundation/fspath.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "foundation/csvread.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

namespace qm {

namespace {

// Messages of the records written by this checker.
constexpr const char* kMsgEmptyFolder = "フォルダ内にファイルが存在しません";
constexpr const char* kMsgFolderName = "フォルダ名が半角英大文字又は数字8文字で命名されていません";
constexpr const char* kMsgFileName = "ファイル名が半角英大文字又は数字8+4文字以内で命名されていません";
constexpr const char* kMsgFolderDate = "フォルダ更新日が指定範囲外です";
constexpr const char* kMsgFileDate = "ファイル更新日が指定範囲外です";
constexpr const char* kMsgMissing = "が存在しません";
constexpr const char* kMsgUnneededWork = "不要な工程のサブフォルダが存在します（測量記録）";
constexpr const char* kMsgUnneededData = "不要な工程のサブフォルダが存在します（測量成果）";
constexpr const char* kMsgSymbolProcess = "成果ファイル名の設定記号 工程（1,2文字目）が不正です";
constexpr const char* kMsgSymbolDivision = "成果ファイル名の設定記号 細区分（3文字目）が不正です";
constexpr const char* kMsgNoProcessFolder = "工程の測量記録・成果フォルダが存在しません";
constexpr const char* kMsgNotSequential = "成果ファイル名の番号が連番になっていません";
constexpr const char* kMsgNotFrom001 = "成果ファイル名の番号が、001からの連番になっていません";
constexpr const char* kMsgPdfFirst = "PDF成果ファイル名の番号が、他の成果ファイル名の番号より前になっていません";
constexpr const char* kMsgPdfLast = "PDF以外の成果ファイル名の番号が、PDF成果ファイル名の番号より前になっていません";
constexpr const char* kMsgBadName = "規定以外の名称のファイルが存在します";
constexpr const char* kMsgUnknownFile = "規定以外の成果ファイルが存在します";
// The longest place a finding names (bytes): the longest path Windows can name, so no
// reader of a delivery reaches a deeper level. Bounding it bounds what a chain of nested
// folders can make the logs hold; a deeper level is recorded as a path too long.
constexpr size_t kLongestPlace = 32767;

const LikePattern& resultNamePattern() {
    static const LikePattern p("[A-Z][A-Z][A-Z1-9][A-Z]####.*");
    return p;
}
const LikePattern& otherNamePattern() {
    static const LikePattern p("?????###.*");
    return p;
}

// The order of the process selection flags handed in by the run.
const char* const kSelectionOrder[14] = {"C", "D", "E", "F1", "F2", "G", "PA", "PB",
                                         "PC", "PD", "PE", "PF", "FR", "H"};

struct ProcessDef {
    const char* code;
    const char* symbol;
    uint8_t allowed;
};
// Cadastral survey.
const ProcessDef kProcessesType1[] = {
    {"C", "TC", 3},  {"D", "TD", 3},  {"E", "TE", 3},  {"F1", "TF", 3}, {"F2", "TF", 3},
    {"PA", "PA", 1}, {"PB", "PB", 1}, {"PC", "PC", 3}, {"PD", "PD", 3}, {"PE", "PE", 3},
    {"PF", "PF", 3}, {"G", "TG", 3},  {"H", "TH", 2},  {"FR", "TR", 3},
};
// Preliminary boundary survey.
const ProcessDef kProcessesType2[] = {
    {"C", "TC", 3}, {"D", "TD", 3}, {"E", "TE", 3}, {"F1", "TF", 3},
    {"F2", "TF", 3}, {"G", "TG", 3}, {"H", "TH", 2}, {"FR", "TR", 3},
};

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string withoutTrailingBackslash(const std::string& rel) {
    return endsWith(rel, "\\") ? rel.substr(0, rel.size() - 1) : rel;
}

// The key of a place in the set of places that could not be read.
std::string placeKey(const std::string& place) { return upperAscii(withoutTrailingBackslash(place)); }

std::string lastCharacter(const std::string& s) {
    int n = countChars(s);
    return n > 0 ? substrChars(s, n - 1, 1) : std::string();
}

// Whether a folder holds an ordinary file (not hidden, not a link, not a folder) whose
// name matches the pattern, letter case ignored.
bool hasPlainFile(const std::string& folder, const std::string& pattern) {
    const std::string dir = withTrailingSeparator(folder);
    for (const DirEntry& e : findEntries(dir, pattern, EntryKind::File)) {
        if (e.isDir || e.isLink || e.isHidden) continue;
        if (isPlainFile(dir + e.raw)) return true;
    }
    return false;
}

// Implicit treap: a sequence with insertion at any position in O(log n).
class SequenceTree {
public:
    void insert(int pos, size_t value) {
        const int node = static_cast<int>(val_.size());
        val_.push_back(value);
        left_.push_back(-1);
        right_.push_back(-1);
        size_.push_back(1);
        seed_ ^= seed_ << 13;
        seed_ ^= seed_ >> 17;
        seed_ ^= seed_ << 5;
        prio_.push_back(seed_);
        int a = -1, b = -1;
        split(root_, pos, a, b);
        root_ = merge(merge(a, node), b);
    }
    int size() const { return sizeOf(root_); }
    std::vector<size_t> values() const {
        std::vector<size_t> out;
        out.reserve(val_.size());
        std::vector<int> st;
        int t = root_;
        while (t >= 0 || !st.empty()) {
            while (t >= 0) {
                st.push_back(t);
                t = left_[t];
            }
            t = st.back();
            st.pop_back();
            out.push_back(val_[t]);
            t = right_[t];
        }
        return out;
    }

private:
    int sizeOf(int t) const { return t < 0 ? 0 : size_[t]; }
    void update(int t) { size_[t] = 1 + sizeOf(left_[t]) + sizeOf(right_[t]); }
    // a: the first k elements of t, b: the rest.
    void split(int t, int k, int& a, int& b) {
        if (t < 0) {
            a = b = -1;
            return;
        }
        if (sizeOf(left_[t]) < k) {
            int r = -1;
            split(right_[t], k - sizeOf(left_[t]) - 1, r, b);
            right_[t] = r;
            a = t;
        } else {
            int l = -1;
            split(left_[t], k, a, l);
            left_[t] = l;
            b = t;
        }
        update(t);
    }
    int merge(int a, int b) {
        if (a < 0) return b;
        if (b < 0) return a;
        if (prio_[a] > prio_[b]) {
            right_[a] = merge(right_[a], b);
            update(a);
            return a;
        }
        left_[b] = merge(a, left_[b]);
        update(b);
        return b;
    }

    std::vector<size_t> val_;
    std::vector<int> left_, right_, size_;
    std::vector<uint32_t> prio_;
    int root_ = -1;
    uint32_t seed_ = 2463534242u;
};

class Fenwick {
public:
    explicit Fenwick(size_t n) : tree_(n + 1, 0) {}
    void add(size_t pos) {
        for (size_t i = pos + 1; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
    }
    // Count of marked positions below pos.
    int64_t below(size_t pos) const {
        int64_t s = 0;
        for (size_t i = pos; i > 0; i -= i & (~i + 1)) s += tree_[i];
        return s;
    }
    // Count of marked positions in [from, to).
    int64_t range(size_t from, size_t to) const { return to > from ? below(to) - below(from) : 0; }

private:
    std::vector<int64_t> tree_;
};

}  // namespace

CFolderCheck::CFolderCheck(std::string settingPath) : settingPath_(std::move(settingPath)) {
    // Until a run sets its condition: every code, the first six selected, nothing allowed.
    const char* const codes[15] = {"C", "D", "E", "F1", "F2", "PA", "PB", "PC", "PD", "PE", "PF", "G", "H", "FR", "F"};
    for (int i = 0; i < 15; ++i) {
        ProcessEntry e;
        e.code = codes[i];
        e.selected = i < 6 ? 1 : 0;
        processes_.push_back(e);
    }
}

void CFolderCheck::setCheckCondition(int16_t intResultType, const uint8_t processSelection[14], int16_t startYear,
                                     int16_t startMonth, int16_t startDay, int16_t endYear, int16_t endMonth,
                                     int16_t endDay) {
    resultType_ = intResultType;
    if (intResultType == 1 || intResultType == 2) {
        const ProcessDef* defs = intResultType == 1 ? kProcessesType1 : kProcessesType2;
        const size_t count = intResultType == 1 ? std::size(kProcessesType1) : std::size(kProcessesType2);
        processes_.clear();
        for (size_t i = 0; i < count; ++i) {
            ProcessEntry e;
            e.code = defs[i].code;
            e.symbol = defs[i].symbol;
            e.allowed = defs[i].allowed;
            for (int k = 0; k < 14; ++k) {
                if (e.code == kSelectionOrder[k]) e.selected = (processSelection && processSelection[k] != 0) ? 1 : 0;
            }
            processes_.push_back(e);
        }
    }
    for (ProcessEntry& e : processes_) e.found = 0;
    processAreasUnknown_ = false;

    if (startYear != 0 || endYear != 0) {
        dateCheck_ = true;
        startDate_ = int32_t(startYear) * 10000 + int32_t(startMonth) * 100 + startDay;
        endDate_ = int32_t(endYear) * 10000 + int32_t(endMonth) * 100 + endDay;
    } else {
        dateCheck_ = false;
    }
}

bool CFolderCheck::loadSetting(const std::string& strPdfOrderFile) {
    pdfOrder_.clear();
    std::error_code ec;
    if (strPdfOrderFile.empty() || !std::filesystem::is_regular_file(fsPath(strPdfOrderFile), ec)) return true;

    std::ifstream in(strPdfOrderFile, std::ios::binary);
    if (!in) {
        const int err = errno;
        showFailure("loadSetting", err, systemErrorMessage("設定テーブルを読み込めません", strPdfOrderFile, err));
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        const int err = errno;
        showFailure("loadSetting", err, systemErrorMessage("設定テーブルを読み込めません", strPdfOrderFile, err));
        return false;
    }

    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        std::string raw = bytes.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (end == std::string::npos) {
            pos = bytes.size();
        } else {
            pos = end + 1;
            if (bytes[end] == '\r' && pos < bytes.size() && bytes[pos] == '\n') ++pos;
        }

        const std::string line = trimBlanks(fromCp932(raw));
        if (line.empty() || line[0] == ';') continue;

        std::string fields[4];
        size_t start = 0;
        for (int f = 0; f < 4; ++f) {
            const size_t comma = line.find(',', start);
            if (comma == std::string::npos) {
                fields[f] = line.substr(start);
                break;
            }
            fields[f] = line.substr(start, comma - start);
            start = comma + 1;
        }
        for (std::string& f : fields) f = upperAscii(trimBlanks(f));

        if (pdfOrder_.size() >= static_cast<size_t>(kMaxPdfOrderRows)) {
            showFailure("loadSetting", 9, "インデックスが有効範囲にありません。");
            return false;
        }
        PdfOrderRow row;
        row.processCode = fields[0];
        row.folderType = fields[1];
        row.kind = fields[2];
        row.orderRule = toNumber(fields[3]);
        pdfOrder_.push_back(std::move(row));
    }
    return true;
}

int16_t CFolderCheck::checkFolder(const std::string& strPath, int16_t intMediaNum, const std::string& strLogFile) {
    if (strPath.empty()) {
        showMessage("フォルダチェック", "チェックを行う場所を指定してください。", MsgIcon::Exclamation);
        return -1;
    }
    checkPath_ = withTrailingSeparator(strPath);

    CErrorLog log;
    if (!strLogFile.empty()) {
        log.setFileName(strLogFile);
        log.setComment(";チェックパス " + checkPath_);
    }
    walked_ = 0;
    lastReported_ = 0;
    unreadable_.clear();

    const int16_t a = searchFolder("", log);
    if (progress_) progress_(walked_);
    if (stop_ && stop_->load()) {
        log.CloseFile();
        return a;
    }
    const int16_t b = checkNeedFile(checkPath_, log);
    const int16_t c = checkResultFile(checkPath_, intMediaNum, log);
    log.CloseFile();

    if (c >= 1) return c;
    if (b >= 1) return b;
    return a;
}

void CFolderCheck::recordUnreadable(CErrorLog& log, const std::string& place, const std::string& reason) {
    if (!unreadable_.insert(placeKey(place)).second) return;
    log.writeErrorLog(kUnreadableCode, reason, withoutTrailingBackslash(place), kUnreadableMessage);
}

bool CFolderCheck::underUnreadable(const std::string& place) const {
    if (unreadable_.empty()) return false;
    const std::string key = placeKey(place);
    if (unreadable_.count(std::string())) return true;
    for (size_t i = key.find('\\'); i != std::string::npos; i = key.find('\\', i + 1))
        if (unreadable_.count(key.substr(0, i))) return true;
    return unreadable_.count(key) != 0;
}

// Judges one folder level: the listing is taken whole first; files are judged here,
// sub-folders are handed back for the walk. False when the folder could not be listed
// (recorded as 10001: what it holds is unknown, so it is neither judged nor empty).
bool CFolderCheck::judgeLevel(const FolderAnchor* base, const std::string& nativePath,
                              const std::string& relativePath, CErrorLog& log, std::vector<DirEntry>& folders,
                              bool& recorded) {
    // Dates are read only when they are judged.
    Listing listing = listFolderAt(base, nativePath, dateCheck_);
    walked_ += static_cast<int64_t>(listing.entries.size());
    if (progress_ && walked_ - lastReported_ >= 500) {
        lastReported_ = walked_;
        progress_(walked_);
    }
    if (!listing.ok) {
        recordUnreadable(log, relativePath, listing.error);
        recorded = true;
        return false;
    }

    std::vector<DirEntry> files;
    for (DirEntry& e : listing.entries) {
        if (e.isDir)
            folders.push_back(std::move(e));
        else
            files.push_back(std::move(e));
    }

    if (files.empty() && folders.empty()) {
        if (!relativePath.empty()) log.writeErrorLog(10101, "", withoutTrailingBackslash(relativePath), kMsgEmptyFolder);
        recorded = true;
        return true;
    }

    for (const DirEntry& f : files) {
        if (!IsFileName84(f.name)) {
            log.writeErrorLog(10203, "", relativePath + f.name, kMsgFileName);
            recorded = true;
        }
        if (f.detailError != 0) {
            recordUnreadable(log, relativePath + f.name, detailFailure(f));
            recorded = true;
        } else if (judgeEntryDate(f, false)) {
            log.writeErrorLog(10302, "", relativePath + f.name, kMsgFileDate);
            recorded = true;
        }
    }
    return true;
}

// The reason of an entry whose details could not be read: its date when dates are
// judged, else its kind.
std::string CFolderCheck::detailFailure(const DirEntry& e) const {
    return std::string(dateCheck_ ? "更新日時を読み取れません（" : "種類を読み取れません（") +
           readFailureReason(e.detailError) + "）";
}

// True when the entry's date is to be recorded as out of the range.
bool CFolderCheck::judgeEntryDate(const DirEntry& e, bool isFolder) const {
    if (!dateCheck_) return false;
    const int32_t ymd = e.modified.ymd();
    if (ymd > endDate_) return true;
    if (ymd < startDate_) {
        if (isFolder) return true;
        // Document type definitions and style sheets keep the date they were issued with.
        const std::string upper = upperAscii(e.name);
        return !LikeMatch(upper, "*.DTD") && !LikeMatch(upper, "*.XSL");
    }
    return false;
}

// Depth-first walk below the check path. The pending sub-folders of every open level
// are kept on an explicit stack, so the depth of the tree does not bound the walk; the
// order of the records is that of a recursive walk that finishes each sub-folder's whole
// subtree before judging the next sub-folder of the same level. The native path and the
// place of the current level are kept in one buffer each, cut back as levels close. When
// a level's path would be longer than the system accepts, its parent is kept open and the
// levels below are listed relative to it.
int16_t CFolderCheck::searchFolder(const std::string& relativePath, CErrorLog& clsErrorLog) {
    struct Level {
        size_t nativeLen = 0;  // the level's path in `native`, with its separator
        size_t relLen = 0;     // its place in `rel`, with its "\"
        std::vector<DirEntry> folders;
        size_t next = 0;
        bool result = false;
    };
    struct Anchor {
        FolderAnchor folder;
        size_t at = 0;  // where the paths taken relative to it begin in `native`
    };
    std::vector<Level> stack;
    std::vector<Anchor> anchors;
    std::string native =
        relativePath.empty() ? checkPath_ : withTrailingSeparator(joinRel(checkPath_, relativePath));
    std::string rel = relativePath;
    const size_t longest = longestPath();
    const char sep = nativeSeparator();

    // Judges the level that `native` and `rel` name; a level with sub-folders is pushed,
    // otherwise its result is answered.
    auto enter = [&]() -> bool {
        const Anchor* base = anchors.empty() ? nullptr : &anchors.back();
        Level level;
        bool recorded = false;
        if (!judgeLevel(base ? &base->folder : nullptr, base ? native.substr(base->at) : native, rel, clsErrorLog,
                        level.folders, recorded))
            return recorded;
        if (level.folders.empty()) return recorded;
        level.nativeLen = native.size();
        level.relLen = rel.size();
        level.result = recorded;
        stack.push_back(std::move(level));
        return false;
    };

    bool overall = enter();
    while (!stack.empty()) {
        if (stop_ && stop_->load(std::memory_order_relaxed)) break;
        const size_t top = stack.size() - 1;
        if (stack[top].next < stack[top].folders.size()) {
            const DirEntry folder = std::move(stack[top].folders[stack[top].next++]);
            const size_t nativeLen = stack[top].nativeLen;
            rel.resize(stack[top].relLen);
            if (!IsFolderName8(folder.name)) {
                clsErrorLog.writeErrorLog(10201, "", rel + folder.name, kMsgFolderName);
                stack[top].result = true;
            }
            if (folder.detailError != 0) {
                recordUnreadable(clsErrorLog, rel + folder.name, detailFailure(folder));
                stack[top].result = true;
            } else if (judgeEntryDate(folder, true)) {
                clsErrorLog.writeErrorLog(10301, "", rel + folder.name, kMsgFolderDate);
                stack[top].result = true;
            }
            if (rel.size() + folder.name.size() + 1 > kLongestPlace) {
                recordUnreadable(clsErrorLog, rel + folder.name, readFailureReason(ENAMETOOLONG));
                stack[top].result = true;
                continue;
            }
            native.resize(nativeLen);
            const size_t from = anchors.empty() ? 0 : anchors.back().at;
            if (from != nativeLen && nativeLen - from + folder.raw.size() + 1 > longest) {
                Anchor anchor;
                anchor.at = nativeLen;
                int error = 0;
                if (!anchor.folder.open(anchors.empty() ? nullptr : &anchors.back().folder,
                                        native.substr(from), error)) {
                    recordUnreadable(clsErrorLog, rel + folder.name, readFailureReason(error));
                    stack[top].result = true;
                    continue;
                }
                anchors.push_back(std::move(anchor));
            }
            native += folder.raw;
            native += sep;
            rel += folder.name;
            rel += '\\';
            if (enter()) stack[top].result = true;
        } else {
            const bool result = stack[top].result;
            const size_t nativeLen = stack[top].nativeLen;
            stack.pop_back();
            while (!anchors.empty() && anchors.back().at >= nativeLen) anchors.pop_back();
            if (stack.empty())
                overall = overall || result;
            else if (result)
                stack.back().result = true;
        }
    }
    return overall ? 1 : 0;
}

int16_t CFolderCheck::checkNeedFile(const std::string& strBasePath, CErrorLog& clsErrorLog) {
    const std::string word = GetResultTypeWord(resultType_);
    bool recorded = false;
    auto missing = [&](int32_t code, const std::string& path, const std::string& name) {
        if (underUnreadable(path)) return;  // below a folder that could not be read: unknown
        clsErrorLog.writeErrorLog(code, "", path, name + kMsgMissing);
        recorded = true;
    };
    auto folder = [&](const std::string& rel) { return resolveRel(strBasePath, rel, EntryKind::Folder); };
    auto file = [&](const std::string& folderRel, const std::string& pattern) {
        if (folderRel.empty()) return hasPlainFile(strBasePath, pattern);
        auto dir = folder(folderRel);
        return dir && hasPlainFile(*dir, pattern);
    };

    if (!folder("SURVEY")) missing(10401, "SURVEY", "測量フォルダ");
    if (!folder("SURVEY\\TISEKI")) missing(10401, "SURVEY\\TISEKI", word + "サブフォルダ");
    if (!folder("SURVEY\\TISEKI\\WORK") && !folder("SURVEY\\TISEKI\\DATA")) {
        missing(10401, "SURVEY\\TISEKI\\WORK", "測量記録サブフォルダ");
        missing(10401, "SURVEY\\TISEKI\\DATA", "測量成果サブフォルダ");
    }
    if (!file("", "INDEX_D.XML")) missing(10402, "INDEX_D.XML", "業務管理ファイル");
    if (!file("", "TIND_D??.DTD")) missing(10402, "TIND_Dnn.DTD", "業務管理ファイル用DTD");
    if (!file("SURVEY", "SURVEY.XML")) missing(10402, "SURVEY\\SURVEY.XML", "測量情報管理ファイル");
    if (!file("SURVEY", "TSUR_D??.DTD")) missing(10402, "SURVEY\\TSUR_Dnn.DTD", "測量情報管理ファイル用DTD");
    if (!file("SURVEY\\TISEKI", "SURV_TSK.XML"))
        missing(10402, "SURVEY\\TISEKI\\SURV_TSK.XML", word + "管理ファイル");
    if (!file("SURVEY\\TISEKI", "TISK_D??.DTD"))
        missing(10402, "SURVEY\\TISEKI\\TISK_Dnn.DTD", word + "管理ファイル用DTD");
    return recorded ? 1 : 0;
}

// Reads column 0 of the structure table into the four pattern lists, in file order.
bool CFolderCheck::readFileInfo(PatternLists& lists) const {
    const std::string file = settingPath_ + (resultType_ == 1 ? "FileInfo_C.txt" : "FileInfo_S.txt");
    CCsvRead csv;
    if (!csv.OpenFile(file)) return false;
    try {
        while (!csv.IsEof()) {
            csv.ReadFile(true);
            const std::string text = csv.ItemValue(0);
            Pattern p;
            p.text = text;
            p.head = text.substr(0, text.find_first_of("?*#["));
            const size_t lastWild = text.find_last_of("?*#[]");
            p.tail = lastWild == std::string::npos ? text : text.substr(lastWild + 1);
            if (LikeMatch(text, "SURVEY\\TISEKI\\WORK\\*"))
                lists.work.add(std::move(p));
            else if (LikeMatch(text, "SURVEY\\TISEKI\\DATA\\*"))
                lists.data.add(std::move(p));
            else if (LikeMatch(text, "SURVEY\\TISEKI\\OTHRS\\*"))
                lists.othrs.add(std::move(p));
            else if (LikeMatch(text, "SURVEY\\DOC\\*"))
                lists.doc.add(std::move(p));
        }
    } catch (const CsvError& e) {
        // A malformed row ends the table; the rows before it are used.
        showFailure("checkResultFile", e.number(), e.what());
        return false;
    }
    return true;
}

void CFolderCheck::PatternSet::add(Pattern p) {
    const bool asciiHead = std::all_of(p.head.begin(), p.head.end(), [](char c) { return (c & 0x80) == 0; });
    p.afterHead = LikePattern(std::string_view(p.text).substr(asciiHead ? p.head.size() : 0));
    auto group = std::find_if(byHead.begin(), byHead.end(), [&](const auto& g) { return g.first == p.head; });
    if (group == byHead.end()) group = byHead.insert(byHead.end(), {p.head, {}});
    group->second.push_back(patterns.size());
    patterns.push_back(std::move(p));
}

// A pattern whose literal head the path does not begin with, or whose literal tail it
// does not end with, cannot match and is passed over.
bool CFolderCheck::PatternSet::matchesAny(const std::string& path) const {
    for (const auto& [head, members] : byHead) {
        if (path.compare(0, head.size(), head) != 0) continue;
        // An ASCII head is one character per byte in path and pattern alike: matching
        // may start after it.
        const bool asciiHead = std::all_of(head.begin(), head.end(), [](char c) { return (c & 0x80) == 0; });
        const size_t skip = asciiHead ? head.size() : 0;
        const std::string_view rest = std::string_view(path).substr(skip);
        for (size_t i : members) {
            const Pattern& p = patterns[i];
            if (path.size() < p.tail.size() || path.compare(path.size() - p.tail.size(), p.tail.size(), p.tail) != 0)
                continue;
            if (p.afterHead.matches(rest)) return true;
        }
    }
    return false;
}

int16_t CFolderCheck::checkResultFile(const std::string& strBasePath, int16_t intMediaNum, CErrorLog& clsErrorLog) {
    if (resultType_ != 1 && resultType_ != 2) return 0;
    PatternLists lists;
    readFileInfo(lists);

    bool recorded = false;
    if (scanUnneededFolders(strBasePath, "WORK", 1, 10501, clsErrorLog)) recorded = true;
    if (scanUnneededFolders(strBasePath, "DATA", 2, 10502, clsErrorLog)) recorded = true;

    for (ProcessEntry& entry : processes_) {
        if (!entry.selected) continue;
        bool anyFolder = false;
        if (scanProcessFolders(strBasePath, entry, "WORK", lists.work, intMediaNum, clsErrorLog, anyFolder))
            recorded = true;
        if (scanProcessFolders(strBasePath, entry, "DATA", lists.data, intMediaNum, clsErrorLog, anyFolder))
            recorded = true;
        if (anyFolder) entry.found = 1;
    }

    if (scanPlainFolder(strBasePath, "SURVEY\\TISEKI\\OTHRS", "OTHS", lists.othrs, intMediaNum, clsErrorLog))
        recorded = true;
    if (scanPlainFolder(strBasePath, "SURVEY\\DOC", "DOC", lists.doc, intMediaNum, clsErrorLog)) recorded = true;
    return recorded ? 1 : 0;
}

// Sub-folders of WORK or DATA that belong to no process, to a process that may not
// have sub-folders there, or to a process not selected for this run.
bool CFolderCheck::scanUnneededFolders(const std::string& strBasePath, const char* area, uint8_t bit, int32_t code,
                                       CErrorLog& log) {
    const std::string areaRel = std::string("SURVEY\\TISEKI\\") + area;
    const auto dir = resolveRel(strBasePath, areaRel, EntryKind::Folder);
    if (!dir) {
        if (underUnreadable(areaRel)) processAreasUnknown_ = true;
        return false;
    }
    const Listing listing = listFolderNames(withTrailingSeparator(*dir));
    if (!listing.ok) {
        recordUnreadable(log, areaRel, listing.error);
        processAreasUnknown_ = true;
        return true;
    }

    const char* message = bit == 1 ? kMsgUnneededWork : kMsgUnneededData;
    bool recorded = false;
    for (const DirEntry& e : listing.entries) {
        if (!e.isDir) continue;
        const std::string upper = upperAscii(e.name);
        const std::string path = areaRel + "\\" + upper;
        bool known = false;
        for (const ProcessEntry& p : processes_) {
            if (!LikeMatch(upper, p.code + "PROC_?")) continue;
            known = true;
            if ((p.allowed & bit) == 0 || !p.selected) {
                log.writeErrorLog(code, "", path, message);
                recorded = true;
            }
        }
        if (!known) {
            log.writeErrorLog(code, "", path, message);
            recorded = true;
        }
    }
    return recorded;
}

// The result files of one selected process's sub-folders in WORK or DATA.
bool CFolderCheck::scanProcessFolders(const std::string& strBasePath, const ProcessEntry& entry, const char* area,
                                      const PatternSet& patterns, int16_t intMediaNum, CErrorLog& log,
                                      bool& anyFolder) {
    const std::string areaRel = std::string("SURVEY\\TISEKI\\") + area;
    const auto dir = resolveRel(strBasePath, areaRel, EntryKind::Folder);
    if (!dir) return false;
    const std::string areaNative = withTrailingSeparator(*dir);
    const Listing areaListing = listFolderNames(areaNative);
    if (!areaListing.ok) {
        recordUnreadable(log, areaRel, areaListing.error);
        processAreasUnknown_ = true;
        return true;
    }

    bool recorded = false;
    const std::string pattern = entry.code + "PROC_?";
    for (const DirEntry& sub : areaListing.entries) {
        if (!sub.isDir || !LikeMatchNoCase(sub.name, pattern)) continue;
        anyFolder = true;
        const std::string division = upperAscii(lastCharacter(sub.name));
        const std::string folderRel = areaRel + "\\" + sub.name + "\\";
        const std::string folderUpper = areaRel + "\\" + upperAscii(sub.name) + "\\";

        std::vector<std::string> names;
        const Listing listing = listFolderNames(areaNative + sub.raw);
        if (!listing.ok) {
            // Its files are unknown: neither judged nor numbered.
            recordUnreadable(log, folderRel, listing.error);
            recorded = true;
            continue;
        }
        for (const DirEntry& f : listing.entries) {
            if (f.isDir) continue;
            const std::string upper = upperAscii(f.name);
            if (!resultNamePattern().matches(upper)) {
                log.writeErrorLog(10901, "", folderRel + f.name, kMsgBadName);
                recorded = true;
                continue;
            }
            if (!patterns.matchesAny(folderUpper + upper)) {
                log.writeErrorLog(10902, "", folderRel + f.name, kMsgUnknownFile);
                recorded = true;
                continue;
            }
            if (upper.compare(0, 2, entry.symbol) != 0) {
                log.writeErrorLog(10601, "", folderRel + f.name, kMsgSymbolProcess);
                recorded = true;
            } else if (upper.substr(2, 1) != division) {
                log.writeErrorLog(10602, "", folderRel + f.name, kMsgSymbolDivision);
                recorded = true;
            }
            names.push_back(f.name);
        }
        if (!checkFileNumber(entry.code, area, folderRel, names, intMediaNum, log)) recorded = true;
    }
    return recorded;
}

// The result files of SURVEY\TISEKI\OTHRS or SURVEY\DOC.
bool CFolderCheck::scanPlainFolder(const std::string& strBasePath, const char* area, const char* folderType,
                                   const PatternSet& patterns, int16_t intMediaNum, CErrorLog& log) {
    const std::string areaRel = area;
    const auto dir = resolveRel(strBasePath, areaRel, EntryKind::Folder);
    if (!dir) return false;
    const Listing listing = listFolderNames(withTrailingSeparator(*dir));
    if (!listing.ok) {
        recordUnreadable(log, areaRel, listing.error);
        return true;
    }

    bool recorded = false;
    std::vector<std::string> names;
    for (const DirEntry& f : listing.entries) {
        if (f.isDir) continue;
        const std::string upper = upperAscii(f.name);
        if (!otherNamePattern().matches(upper)) {
            log.writeErrorLog(10901, "", areaRel + "\\" + f.name, kMsgBadName);
            recorded = true;
        } else if (!patterns.matchesAny(areaRel + "\\" + upper)) {
            log.writeErrorLog(10902, "", areaRel + "\\" + f.name, kMsgUnknownFile);
            recorded = true;
        } else {
            names.push_back(f.name);
        }
    }
    if (!checkFileNumber("", folderType, areaRel + "\\", names, intMediaNum, log)) recorded = true;
    return recorded;
}

// The exchange sort leaves equal keys in an order of its own. Restricted to the keys not
// above some value v, each step of it acts exactly as on the whole sequence, so the
// final order of the keys equal to v depends only on which of those keys are equal to v
// and which are smaller. In that restricted view the equal keys form a queue: scanning
// the original order, a key equal to v joins the back, and every smaller key met after
// the first of them sends the front of the queue to the back. The queue at the end of
// the scan is their final order. The smaller keys between two equal ones are counted
// with a Fenwick tree, and the rotations applied by moving the front of a circular
// sequence held in a treap.
std::vector<size_t> CFolderCheck::exchangeSortOrder(const std::vector<std::string>& keys) {
    const size_t n = keys.size();
    std::vector<size_t> byKey(n);
    for (size_t i = 0; i < n; ++i) byKey[i] = i;
    std::stable_sort(byKey.begin(), byKey.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });

    std::vector<size_t> out;
    out.reserve(n);
    Fenwick smaller(n);
    size_t i = 0;
    while (i < n) {
        size_t j = i + 1;
        while (j < n && keys[byKey[j]] == keys[byKey[i]]) ++j;
        if (j - i == 1) {
            out.push_back(byKey[i]);
        } else {
            SequenceTree circle;
            int front = 0;  // physical index of the queue's front
            auto rotate = [&](int64_t r) {
                const int q = circle.size();
                front = static_cast<int>((front + r % q) % q);
            };
            for (size_t k = i; k < j; ++k) {
                const size_t pos = byKey[k];
                if (k > i) rotate(smaller.range(byKey[k - 1] + 1, pos));
                if (circle.size() == 0) {
                    circle.insert(0, pos);
                    front = 0;
                } else {
                    circle.insert(front, pos);  // just before the front: the back of the queue
                    ++front;
                }
            }
            rotate(smaller.range(byKey[j - 1] + 1, n));
            const std::vector<size_t> physical = circle.values();
            const size_t q = physical.size();
            for (size_t k = 0; k < q; ++k) out.push_back(physical[(front + k) % q]);
        }
        for (size_t k = i; k < j; ++k) smaller.add(byKey[k]);
        i = j;
    }
    return out;
}

bool CFolderCheck::checkFileNumber(const std::string& processCode, const std::string& folderType,
                                   const std::string& folderPath, const std::vector<std::string>& fileNames,
                                   int16_t intMediaNum, CErrorLog& clsErrorLog) {
    if (fileNames.empty()) return true;

    std::vector<std::string> upper, bare;
    upper.reserve(fileNames.size());
    bare.reserve(fileNames.size());
    for (const std::string& name : fileNames) {
        upper.push_back(upperAscii(name));
        const size_t dot = upper.back().rfind('.');
        bare.push_back(dot == std::string::npos ? upper.back() : upper.back().substr(0, dot));
    }
    std::vector<std::string> sorted;
    sorted.reserve(upper.size());
    for (size_t k : exchangeSortOrder(bare)) sorted.push_back(upper[k]);

    bool recorded = false;
    auto record = [&](int32_t code, const std::string& name, const char* message) {
        clsErrorLog.writeErrorLog(code, "", folderPath + name, message);
        recorded = true;
    };
    // The group key (characters 1 to 5) and the number (characters 6 to 8) of each name.
    const size_t n = sorted.size();
    std::vector<std::string> keys;
    std::vector<int32_t> numbers;
    keys.reserve(n);
    numbers.reserve(n);
    for (const std::string& name : sorted) {
        keys.push_back(substrChars(name, 0, 5));
        numbers.push_back(toNumber(substrChars(name, 5, 3)));
    }

    size_t i = 0;
    while (i < n) {
        const std::string& key = keys[i];
        size_t j = i + 1;
        while (j < n && keys[j] == key) ++j;

        if (intMediaNum == 1 && numbers[i] != 1) record(10803, sorted[i], kMsgNotFrom001);
        if (j - i >= 2) {
            for (size_t k = i + 1; k < j; ++k) {
                if (numbers[k] != numbers[k - 1] + 1) record(10802, sorted[k], kMsgNotSequential);
            }
            const std::string kind = substrChars(key, 3, 2);
            const PdfOrderRow* row = nullptr;
            for (const PdfOrderRow& r : pdfOrder_) {
                if (r.processCode == processCode && r.folderType == folderType && r.kind == kind) {
                    row = &r;
                    break;
                }
            }
            if (row && (row->orderRule == 1 || row->orderRule == 2)) {
                bool passedOther = false;
                for (size_t k = i; k < j; ++k) {
                    const bool pdf = endsWith(sorted[k], ".PDF");
                    if (row->orderRule == 1) {
                        if (pdf && passedOther) record(10804, sorted[k], kMsgPdfFirst);
                        if (!pdf) passedOther = true;
                    } else {
                        if (!pdf && passedOther) record(10805, sorted[k], kMsgPdfLast);
                        if (pdf) passedOther = true;
                    }
                }
            }
        }
        i = j;
    }
    return !recorded;
}

int16_t CFolderCheck::checkProcessTotal(const std::string& strLogFile) {
    CErrorLog log;
    if (!strLogFile.empty()) log.setFileName(strLogFile);
    int16_t result = 0;
    for (const ProcessEntry& e : processes_) {
        if (!e.selected || e.found || processAreasUnknown_) continue;
        result = 1;
        if (!strLogFile.empty())
            log.writeErrorLog(10701, "", "SURVEY\\TISEKI\\DATA\\" + e.code + "PROC_A", e.code + kMsgNoProcessFolder);
    }
    log.CloseFile();
    return result;
}

}  // namespace qm
