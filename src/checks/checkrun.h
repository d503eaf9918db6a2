// The check run over all media of a delivery: clears the log folder, runs the folder
// structure, management file and relation checks of every medium in turn, then the
// totals over the whole delivery. The desktop window and the command-line program both
// drive this one routine.
#pragma once

#include "checks/inspection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct AppState;

// Where the run finds medium n (1-based). The desktop asks the user; the command line
// hands out the folders it was given.
class MediumLocator {
public:
    virtual ~MediumLocator() = default;
    // The top folder of medium n, or nullopt when the user cancelled. defaultPath is the
    // last location chosen.
    virtual std::optional<std::string> askMedium(int n, const std::string& defaultPath) = 0;
};

// Hooks for the window system; every one is optional.
class CheckRunObserver {
public:
    virtual ~CheckRunObserver() = default;
    virtual void yield() {}                                                   // let pending events run
    virtual void mediumStarted(int /*n*/, int /*count*/, const std::string& /*path*/) {}
    virtual void entriesWalked(int64_t /*entries*/) {}                        // during the folder walk
    virtual void mediumFinished(int /*n*/, const std::string& /*path*/) {}    // documents of the medium
};

struct CheckRunInput {
    int16_t resultType = 0;      // 1 or 2
    int16_t mediaNum = 1;        // 1 to 999
    ProcessFlags flags;
    int16_t dateS[3] = {0, 0, 0};  // year, month, day; all 0 = no date check
    int16_t dateE[3] = {0, 0, 0};
    std::string handedPath;      // location of medium 1 already known, or empty
    uint32_t handedSerial = 0;   // its volume serial number
};

struct MediumRecord {
    std::string path;        // top folder, ends in a separator
    int32_t driveType = 0;
    uint32_t volumeNo = 0;
};

// Result codes of a run.
constexpr int16_t kRunCancelledFirst = -2;  // the location of medium 1 was not given
constexpr int16_t kRunStopped = -3;         // stopped, or a later medium was not given

// Log names of the run.
std::string mediumNumberText(int n);  // "001"
std::string folderLogName(int n);     // FolderCheck_nnn.log
std::string indexLogName(int n);      // JobFileCheck_IND_nnn.log
std::string surveyLogName(int n);     // JobFileCheck_SUV_nnn.log
std::string survTskLogName(int n);    // JobFileCheck_TSK_nnn.log
std::string totalLogName();           // FolderCheck_000.Log

// The setting tables a run of a result type reads: file name in the setting folder and
// the key of the check it serves ("Folder", "Index", "Survey", "Surv_Tsk").
struct SettingTable {
    std::string name;
    std::string checkKey;
};
std::vector<SettingTable> runSettingTables(int16_t resultType);

// A table of the run that is missing from the setting folder or cannot be read. A run
// without it still writes its logs, but the findings of its check are no verdict.
struct SettingTableProblem {
    SettingTable table;
    std::string message;  // "設定テーブルが見つかりません: <path>", or why it cannot be read
};
std::vector<SettingTableProblem> missingSettingTables(const std::string& settingPath, int16_t resultType);

// The run. media receives one record per medium examined. Answers a non-negative value
// when the run went through all media, or one of the negative codes above.
//
// The caller holds a LogFolderLock on app.logPath for the run and while the logs are
// read back. A medium whose folder holds the log folder or lies inside it is refused
// (medium 1 ends the run; a later one is asked for again). Logs that could not be
// written are named by logFailures() afterwards (cleared when the run starts); such a
// run has no verdict.
int16_t runCheckAll(AppState& app, const CheckRunInput& input, MediumLocator& locator,
                    std::vector<MediumRecord>& media, CheckRunObserver* observer = nullptr);

}  // namespace qm
