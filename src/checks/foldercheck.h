// Folder structure checker: walks one medium, judges every folder and file name and
// date, tests the required folders, management files and DTDs, and scans the process
// sub-folders, OTHRS and DOC for result file names and numbering. One object serves a
// whole check run; the per-process "found" flags accumulate over the media until the
// total is taken.
//
// Nothing on the medium is ever opened for reading or writing: only listings and entry
// dates are used, and symbolic links are listed as files and never followed.
#pragma once

#include <cstdint>
#include <atomic>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/text.h"

namespace qm {

class CErrorLog;
class FolderAnchor;
struct DirEntry;

class CFolderCheck {
public:
    // One row of the process table.
    struct ProcessEntry {
        std::string code;     // process code, e.g. "C", "F1", "PA"
        std::string symbol;   // two-character file-name symbol, e.g. "TC"
        uint8_t allowed = 0;  // bit 1: sub-folders allowed in WORK, bit 2: in DATA
        uint8_t selected = 0; // chosen for this run
        uint8_t found = 0;    // a sub-folder of the process was seen on some medium
    };
    // One row of the PDF order table.
    struct PdfOrderRow {
        std::string processCode;  // upper-cased; empty for OTHRS and DOC rows
        std::string folderType;   // "WORK", "DATA", "OTHS" or "DOC"
        std::string kind;         // characters 4 and 5 of the names of a numbering group
        int32_t orderRule = 0;    // 1 PDF first, 2 PDF last, other: no rule
    };
    static constexpr int kMaxPdfOrderRows = 30;

    // settingPath: the folder of the setting tables, ending in a separator.
    explicit CFolderCheck(std::string settingPath);

    // processSelection: 14 flags in the order C, D, E, F1, F2, G, PA, PB, PC, PD, PE, PF, FR, H.
    void setCheckCondition(int16_t intResultType, const uint8_t processSelection[14], int16_t startYear,
                           int16_t startMonth, int16_t startDay, int16_t endYear, int16_t endMonth, int16_t endDay);
    // Loads the PDF order table (CP932). True also when the file does not exist.
    bool loadSetting(const std::string& strPdfOrderFile);
    // Checks one medium. strPath: its top folder (native); intMediaNum: media of the
    // whole delivery; strLogFile: the log to append to, empty for none.
    // -1 for an empty path (after a warning box), 1 when something was found, else 0.
    int16_t checkFolder(const std::string& strPath, int16_t intMediaNum, const std::string& strLogFile);
    // Required folders and files below strBasePath (native, ending in a separator).
    int16_t checkNeedFile(const std::string& strBasePath, CErrorLog& clsErrorLog);
    // Selected processes without a sub-folder on any medium. 1 when there is one. Not
    // judged while a WORK or DATA folder of some medium could not be read: its processes
    // are unknown, not absent.
    int16_t checkProcessTotal(const std::string& strLogFile);

    // The places (medium-relative, upper-cased ASCII letters, no trailing "\"; "" for the
    // top) that the last checkFolder could not read and recorded as 10001.
    const std::unordered_set<std::string>& unreadablePlaces() const { return unreadable_; }
    // Whether the place (medium-relative, "\" separators, any letter case) or a folder
    // above it could not be read by the last checkFolder: what lies there is unknown.
    bool underUnreadable(const std::string& place) const;

    // Called now and then during the walk with the number of entries walked so far.
    void setProgress(std::function<void(int64_t)> cb) { progress_ = std::move(cb); }
    // A stop request that ends the walk of checkFolder early (its later checks are then
    // left out); null for none. The flag must outlive the checker.
    void setStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

    // Numbering check of one folder's result files (names as listed). processCode is
    // empty for OTHRS and DOC; folderType is "WORK", "DATA", "OTHS" or "DOC";
    // folderPath is medium-relative with "\" separators and ends in "\".
    // True when nothing was recorded.
    bool checkFileNumber(const std::string& processCode, const std::string& folderType,
                         const std::string& folderPath, const std::vector<std::string>& fileNames,
                         int16_t intMediaNum, CErrorLog& clsErrorLog);

    // The order in which the pairwise exchange sort (for i, for each later j, swap when
    // key i > key j, by character code) leaves the given keys: answers the original
    // indices in their final order. Runs in O(n log n).
    static std::vector<size_t> exchangeSortOrder(const std::vector<std::string>& keys);

    // State, for callers and tests.
    int16_t resultType() const { return resultType_; }
    const std::string& checkPath() const { return checkPath_; }
    bool dateCheck() const { return dateCheck_; }
    int32_t startDate() const { return startDate_; }
    int32_t endDate() const { return endDate_; }
    const std::vector<ProcessEntry>& processTable() const { return processes_; }
    const std::vector<PdfOrderRow>& pdfOrderTable() const { return pdfOrder_; }

private:
    // A FileInfo pattern with its literal head (the text before the first wildcard) and
    // literal tail (the text after the last), which a path must begin and end with.
    struct Pattern {
        std::string text;
        std::string head;
        std::string tail;
        LikePattern afterHead;  // the pattern past an ASCII head (else the whole pattern)
    };
    // A pattern list grouped by head (table order kept within a group), so that a path
    // is matched only against the patterns whose head and tail it has.
    struct PatternSet {
        std::vector<Pattern> patterns;
        std::vector<std::pair<std::string, std::vector<size_t>>> byHead;
        void add(Pattern p);
        bool matchesAny(const std::string& path) const;
    };
    struct PatternLists {
        PatternSet work, data, othrs, doc;
    };

    int16_t searchFolder(const std::string& relativePath, CErrorLog& clsErrorLog);
    int16_t checkResultFile(const std::string& strBasePath, int16_t intMediaNum, CErrorLog& clsErrorLog);

    bool readFileInfo(PatternLists& lists) const;
    bool judgeLevel(const FolderAnchor* base, const std::string& nativePath, const std::string& relativePath,
                    CErrorLog& log, std::vector<DirEntry>& folders, bool& recorded);
    bool judgeEntryDate(const DirEntry& e, bool isFolder) const;
    // Records once per place that a folder or an entry could not be read (10001).
    void recordUnreadable(CErrorLog& log, const std::string& place, const std::string& reason);
    std::string detailFailure(const DirEntry& e) const;
    bool scanUnneededFolders(const std::string& strBasePath, const char* area, uint8_t bit, int32_t code,
                             CErrorLog& log);
    bool scanProcessFolders(const std::string& strBasePath, const ProcessEntry& entry, const char* area,
                            const PatternSet& patterns, int16_t intMediaNum, CErrorLog& log, bool& anyFolder);
    bool scanPlainFolder(const std::string& strBasePath, const char* area, const char* folderType,
                         const PatternSet& patterns, int16_t intMediaNum, CErrorLog& log);

    std::string settingPath_;
    int16_t resultType_ = 1;
    std::string checkPath_;
    bool dateCheck_ = false;
    int32_t startDate_ = 0;
    int32_t endDate_ = 0;
    std::vector<ProcessEntry> processes_;
    std::vector<PdfOrderRow> pdfOrder_;
    std::function<void(int64_t)> progress_;
    const std::atomic<bool>* stop_ = nullptr;
    int64_t walked_ = 0;
    int64_t lastReported_ = 0;
    std::unordered_set<std::string> unreadable_;
    bool processAreasUnknown_ = false;  // a WORK or DATA folder of some medium was not read
};

}  // namespace qm
