// The folder tree of one medium as the folder structure view shows it: every folder and
// file in tree order with its time, a description from the FileInfo table and from
// SURV_TSK.XML, and the findings of the medium's folder check log.
#pragma once

#include "models/outline.h"
#include "models/printdoc.h"
#include "models/rgb.h"
#include "models/stoppoint.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm {

struct FolderRow {
    enum Colour : uint8_t { Normal, Folder, Hidden, System };
    std::string name;         // the medium row: the medium path
    std::string time;         // "yyyy/mm/dd hh:nn"
    std::string description;
    std::string messages;     // findings, joined by CR LF
    std::string relPath;      // "\"-separated, from the medium top; the medium row: the medium path
    std::string raw;          // the name as the file system holds it (the medium row: empty)
    uint32_t parent = kNoParent;
    uint16_t level = 0;
    int16_t kind = 16;        // 16 folder (and the medium row), 128 file
    Colour colour = Normal;
    bool red = false;         // at least one finding
    bool unreadable = false;  // a folder that could not be listed (its contents are unknown)

    bool isFolder() const { return kind == 16; }
};

// Text colours by kind, as red, green, blue.
Rgb folderRowColour(const FolderRow& row);

class FolderTree {
public:
    // Help contexts of the view: with a folder check log, and without one.
    static constexpr int kHelpWithLog = 13320;
    static constexpr int kHelpWithoutLog = 13100;

    // Called now and then during the walk (the desktop lets pending events run).
    void setYield(std::function<void()> yield) { stopPoint_.setYield(std::move(yield)); }
    void setStopFlag(const std::atomic<bool>* stop) { stopPoint_.setStopFlag(stop); }

    // Fills the tree for the medium at mediumPath (ending in a separator). fileInfo: the
    // FileInfo table ("" for none); logFile: the medium's folder check log ("" for none).
    // False when the walk was stopped or failed (after its box; the rows so far stay).
    bool SetTree(int16_t resultType, const std::string& mediumPath, const std::string& fileInfo,
                 const std::string& logFile);

    // Steps of SetTree, for callers that build in parts.
    bool readFileInfo(const std::string& fileInfo);
    bool setJobFileInfo(const std::string& jobFile);
    bool readErrorLog(const std::string& logFile);

    const std::vector<FolderRow>& rows() const { return rows_; }
    const OutlineIndex& outline() const { return outline_; }
    const std::string& mediumPath() const { return mediumPath_; }
    int16_t resultType() const { return resultType_; }
    bool hiddenSeen() const { return hiddenSeen_; }
    bool systemSeen() const { return systemSeen_; }
    bool hasLog() const { return hasLog_; }
    int helpContext() const { return hasLog_ ? kHelpWithLog : kHelpWithoutLog; }
    // lblResult: the result type's long name followed by "成果".
    std::string resultLabel() const;

    // The native path of a row, and the row whose relative path (column 4) is relPath.
    std::string nativePath(uint32_t row) const;
    int64_t findRow(const std::string& relPath) const;

    // The file list for printing: one record per row, folders below the medium in brackets.
    print::PrintDocument printDocument() const;

private:
    bool searchNode(const std::string& relPath, const std::string& nativeFolder, uint16_t level, uint32_t parent);
    bool stopped() { return stopPoint_.stopped(); }

    std::vector<FolderRow> rows_;
    OutlineIndex outline_;
    std::string mediumPath_;
    int16_t resultType_ = 0;
    bool hiddenSeen_ = false;
    bool systemSeen_ = false;
    bool hasLog_ = false;
    StopPoint stopPoint_;
};

}  // namespace qm
