#include "models/foldertree.h"

#include "checks/foldercheck.h"
#include "checks/jobfilecheck.h"
#include "checks/resultlog.h"
#include "foundation/csvread.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unordered_map>

namespace qm {

namespace {

std::string timeText(const LocalDate& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d", d.year, d.month, d.day, d.hour, d.minute);
    return buf;
}

void upperInPlace(std::string& s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

// Where the yields fall: pending events are let through at most this often, the stop
// flag is tested after every entry.

// One FileInfo pattern with the literal text it must begin and end with, so that most
// rows are turned away without matching.
struct InfoPattern {
    std::string head, tail;
    LikePattern pattern;
    std::string description;
};

// The row each finding of a folder log is about (kNoParent when it names none). A log
// writes every character that CP932 does not hold as '?', so each row's path is written
// the same way (cp932HeldText) before it is compared: a finding stays on its entry whatever
// characters the name holds. Entries whose paths the log writes alike (A−B.PDF and A😀B.PDF
// both as A?B.PDF) share the findings of that place: the first finding of a kind (code
// and message) goes to the first of them in tree order, the second to the second, and so on.
std::vector<uint32_t> rowsOfLoggedPlaces(const std::vector<FolderRow>& rows, const std::vector<LoggedFinding>& findings) {
    std::unordered_map<std::string, uint32_t> byPlace;            // the first row of each place
    std::unordered_map<std::string, std::vector<uint32_t>> shared;  // every row of a place that several have
    byPlace.reserve(rows.size());
    for (uint32_t r = 0; r < rows.size(); ++r) {
        const std::string& path = rows[r].relPath;
        bool plain = true;  // ASCII only: the log holds it as it is
        for (char c : path)
            if (static_cast<unsigned char>(c) >= 0x80) { plain = false; break; }
        std::string key = plain ? path : cp932HeldText(path);
        const auto [it, first] = byPlace.emplace(key, r);
        if (first) continue;
        std::vector<uint32_t>& all = shared[std::move(key)];
        if (all.empty()) all.push_back(it->second);
        all.push_back(r);
    }
    std::unordered_map<std::string, size_t> taken;  // shared place, code and message: findings so far
    std::vector<uint32_t> out;
    out.reserve(findings.size());
    for (const LoggedFinding& f : findings) {
        auto it = byPlace.find(f.place);
        if (it == byPlace.end()) {
            out.push_back(kNoParent);
            continue;
        }
        auto several = shared.find(f.place);
        if (several == shared.end()) {
            out.push_back(it->second);
            continue;
        }
        const std::vector<uint32_t>& candidates = several->second;
        const size_t k = taken[f.place + '\0' + std::to_string(f.number) + '\0' + f.message]++;
        out.push_back(candidates[std::min(k, candidates.size() - 1)]);
    }
    return out;
}

}  // namespace

Rgb folderRowColour(const FolderRow& row) {
    if (row.red) return {255, 0, 0};
    switch (row.colour) {
        case FolderRow::Folder: return {0, 0, 255};
        case FolderRow::Hidden: return {0, 153, 153};
        case FolderRow::System: return {255, 0, 255};
        case FolderRow::Normal: break;
    }
    return {0, 0, 0};
}

std::string FolderTree::resultLabel() const { return GetResultTypeName(resultType_) + "成果"; }

bool FolderTree::SetTree(int16_t resultType, const std::string& mediumPath, const std::string& fileInfo,
                         const std::string& logFile) {
    rows_.clear();
    hiddenSeen_ = systemSeen_ = false;
    mediumPath_ = mediumPath;
    resultType_ = resultType;
    hasLog_ = false;
    stopPoint_.restart();

    FolderRow top;
    top.name = mediumPath;
    top.relPath = mediumPath;
    top.kind = 16;
    top.colour = FolderRow::Folder;
    rows_.push_back(std::move(top));

    const bool walked = searchNode("", mediumPath, 1, 0);
    std::vector<uint32_t> parents;
    parents.reserve(rows_.size());
    for (const FolderRow& r : rows_) parents.push_back(r.parent);
    outline_.build(parents);
    if (!walked) {
        showMessage("成果メディア参照", "中断しました", MsgIcon::Exclamation);
        return false;
    }
    if (!fileInfo.empty()) readFileInfo(fileInfo);
    setJobFileInfo(joinRel(mediumPath, "SURVEY\\TISEKI\\SURV_TSK.XML"));
    if (!logFile.empty()) {
        readErrorLog(logFile);
        hasLog_ = true;
    }
    return true;
}

bool FolderTree::searchNode(const std::string& relPath, const std::string& nativeFolder, uint16_t level,
                            uint32_t parent) {
    if (stopPoint_.stopRequested()) return false;
    Listing listing = listFolder(nativeFolder);
    if (!listing.ok) {
        if (relPath.empty()) {  // the medium itself
            showFailure("searchNode", listing.errorNumber, listing.error);
            return false;
        }
        // A folder that cannot be read is shown as such, and the rest of the medium still is.
        FolderRow& folder = rows_[parent];
        folder.unreadable = true;
        folder.red = true;
        folder.messages = std::string(kUnreadableMessage) + "（" + listing.error + "）";
        return true;
    }
    std::vector<const DirEntry*> files, folders;
    for (const DirEntry& e : listing.entries) {
        (e.isDir ? folders : files).push_back(&e);
        if (stopped()) return false;
    }
    // Files by the exchange sort on their names, folders ascending by character code.
    std::vector<std::string> keys;
    keys.reserve(files.size());
    for (const DirEntry* e : files) keys.push_back(e->name);
    const std::vector<size_t> order = CFolderCheck::exchangeSortOrder(keys);
    std::sort(folders.begin(), folders.end(),
              [](const DirEntry* a, const DirEntry* b) { return compareText(a->name, b->name, 0) < 0; });

    for (size_t i : order) {
        const DirEntry& e = *files[i];
        FolderRow r;
        r.name = e.name;
        r.raw = e.raw;
        r.time = timeText(e.modified);
        r.relPath = relPath + e.name;
        r.kind = 128;
        r.level = level;
        r.parent = parent;
        // A link, pipe, socket or device is what the check calls a system file; a hidden one
        // is still system.
        if (e.isLink || !e.isRegular) {
            r.colour = FolderRow::System;
            systemSeen_ = true;
        } else if (e.isHidden) {
            r.colour = FolderRow::Hidden;
            hiddenSeen_ = true;
        }
        rows_.push_back(std::move(r));
    }
    for (const DirEntry* e : folders) {
        FolderRow r;
        r.name = e->name;
        r.raw = e->raw;
        r.time = timeText(e->modified);
        r.relPath = relPath + e->name;
        r.kind = 16;
        r.level = level;
        r.parent = parent;
        r.colour = FolderRow::Folder;
        const uint32_t row = static_cast<uint32_t>(rows_.size());
        const std::string childRel = rows_.emplace_back(std::move(r)).relPath + "\\";
        if (!searchNode(childRel, withTrailingSeparator(nativeFolder + e->raw), static_cast<uint16_t>(level + 1), row))
            return false;
        if (stopped()) return false;
    }
    return true;
}

bool FolderTree::readFileInfo(const std::string& fileInfo) {
    std::vector<InfoPattern> patterns;
    CCsvRead csv;
    if (!csv.OpenFile(fileInfo)) return false;
    try {
        while (!csv.IsEof()) {
            csv.ReadFile(true);
            const std::string text = csv.ItemValue(0);
            if (text.empty() || text[0] == ';') continue;
            InfoPattern p;
            p.head = text.substr(0, text.find_first_of("?*#["));
            const size_t lastWild = text.find_last_of("?*#[]");
            p.tail = lastWild == std::string::npos ? text : text.substr(lastWild + 1);
            p.pattern = LikePattern(text);
            p.description = csv.ItemValue(1);
            patterns.push_back(std::move(p));
        }
    } catch (const CsvError& e) {
        showFailure("readErrorLog", e.number(), e.what());
        return false;
    }
    // Patterns grouped by their head, table order kept; a row tries only the groups whose
    // head it begins with, and takes the pattern that comes first in the table.
    std::vector<std::pair<std::string, std::vector<size_t>>> groups;
    for (size_t i = 0; i < patterns.size(); ++i) {
        auto g = std::find_if(groups.begin(), groups.end(), [&](const auto& x) { return x.first == patterns[i].head; });
        if (g == groups.end()) g = groups.insert(groups.end(), {patterns[i].head, {}});
        g->second.push_back(i);
    }
    std::string path;
    for (size_t r = 1; r < rows_.size(); ++r) {
        path.assign(rows_[r].relPath);
        upperInPlace(path);
        size_t best = patterns.size();
        for (const auto& [head, members] : groups) {
            if (path.compare(0, head.size(), head) != 0) continue;
            for (size_t i : members) {
                if (i >= best) break;
                const InfoPattern& p = patterns[i];
                if (path.size() < p.tail.size() || path.compare(path.size() - p.tail.size(), p.tail.size(), p.tail) != 0)
                    continue;
                if (p.pattern.matches(path)) {
                    best = i;
                    break;
                }
            }
        }
        if (best < patterns.size()) rows_[r].description = patterns[best].description;
    }
    return true;
}

bool FolderTree::setJobFileInfo(const std::string& jobFile) {
    std::vector<std::string> paths, infos;
    CJobFileCheck check;
    check.setResultType(resultType_);
    check.setAllowedRoot(mediumPath_);
    if (check.getDocFileInfo(jobFile, paths, infos) <= 0) return false;
    std::unordered_map<std::string, size_t> byPath;
    byPath.reserve(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        upperInPlace(paths[i]);
        byPath.emplace(std::move(paths[i]), i);
    }
    std::string key;
    for (size_t r = 1; r < rows_.size(); ++r) {
        key.assign(rows_[r].relPath);
        upperInPlace(key);
        auto it = byPath.find(key);
        if (it == byPath.end()) continue;
        const std::string& info = infos[it->second];
        std::string& d = rows_[r].description;
        if (d.empty())
            d = "未定義（" + info + "）";
        else if (d == "その他成果")
            d = "その他成果（" + info + "）";
        else if (d.rfind("その他", 0) == 0)
            d += "（" + info + "）";
    }
    return true;
}

bool FolderTree::readErrorLog(const std::string& logFile) {
    const std::vector<LoggedFinding> findings = readLogFindings(logFile, true, "readErrorLog", LogFields::Exact);
    const std::vector<uint32_t> rowOf = rowsOfLoggedPlaces(rows_, findings);
    for (size_t i = 0; i < findings.size(); ++i) {
        const LoggedFinding& f = findings[i];
        if (rowOf[i] == kNoParent) continue;
        FolderRow& row = rows_[rowOf[i]];
        if (f.number == kUnreadableCode && row.unreadable) continue;  // shown by the walk already
        if (!row.messages.empty()) row.messages += "\r\n";
        row.messages += f.message;
        row.red = true;
    }
    return true;
}

std::string FolderTree::nativePath(uint32_t row) const {
    if (row == 0 || row >= rows_.size()) return mediumPath_;
    std::vector<uint32_t> chain;
    for (uint32_t r = row; r != 0 && r != kNoParent; r = rows_[r].parent) chain.push_back(r);
    std::string path = mediumPath_;
    for (size_t i = chain.size(); i-- > 0;) {
        path = withTrailingSeparator(path);
        path += rows_[chain[i]].raw;
    }
    return path;
}

int64_t FolderTree::findRow(const std::string& relPath) const {
    for (size_t r = 0; r < rows_.size(); ++r)
        if (rows_[r].relPath == relPath) return static_cast<int64_t>(r);
    return -1;
}

print::PrintDocument FolderTree::printDocument() const {
    print::PrintDocument doc;
    doc.kind = print::DocKind::File;
    doc.title = GetResultTypeName(resultType_) + "成果\u3000ファイル一覧";
    doc.caption = mediumPath_;
    doc.records.reserve(rows_.size());
    for (size_t r = 0; r < rows_.size(); ++r) {
        const FolderRow& row = rows_[r];
        print::PrintRecord p;
        p.level = static_cast<int16_t>(row.level);
        p.name = r > 0 && row.isFolder() ? "[" + row.name + "]" : row.name;
        p.time = row.time;
        p.content = row.description;
        p.note = row.messages;
        p.extra = std::to_string(row.kind);
        doc.records.push_back(std::move(p));
    }
    return doc;
}

}  // namespace qm
