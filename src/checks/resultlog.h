// Reading a run's check logs back: per medium and per check type whether anything was
// found, and the findings as the result view lists them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct LoggedFinding {
    int32_t number = 0;
    std::string place;      // structure log: the place; management-file logs: the element path
    int32_t occurrence = 0; // management-file logs only
    std::string message;
    std::string item;       // structure log: the item (4th field); management-file logs: the content (5th)
    // "エラー箇所" as listed: the place, or the element followed by "(n番目)" from occurrence 2.
    std::string location() const;
};

struct CheckTypeResult {
    std::string key;    // "Folder", "Index", "Survey", "Surv_Tsk"
    std::string label;  // the label of the check type
    bool hasLog = false;
    // Why this check gives no verdict (its log could not be written, a table it needs is
    // missing), else empty. Such a check is never ○.
    std::string failure;
    std::vector<LoggedFinding> findings;
    bool ok() const { return findings.empty() && failure.empty(); }
};

struct MediumResult {
    int number = 0;       // 1..N; 0 is the delivery as a whole
    std::string label;    // "成果1枚目" or "成果全体"
    bool anyLog = false;  // the ○/× of the media list
    std::vector<CheckTypeResult> types;  // four for a medium, only "Folder" for the whole
};

struct RunSummary {
    int resultType = 0;
    bool anyFinding = false;  // any log of the run exists
    bool anyLogFailure = false;  // a log of the run could not be written: no verdict
    std::vector<MediumResult> media;  // media 1..N, then the whole delivery
};

// The four check types in their order: key, label, log name prefix.
struct CheckTypeInfo { const char* key; const char* label; const char* prefix; const char* printTitle; };
extern const std::array<CheckTypeInfo, 4> kCheckTypes;

// Finds a log file in the log folder ignoring letter case; "" when absent.
std::string findLogFile(const std::string& logPath, const std::string& name);
// How a log's fields are read: Trimmed loses the blanks at both ends of each field (as
// the result view reads), Exact keeps every field as the log holds it.
enum class LogFields { Trimmed, Exact };
// Reads one log: structure layout (isStructure) or management-file layout. A failure is
// shown in a box captioned with routine.
std::vector<LoggedFinding> readLogFindings(const std::string& file, bool isStructure,
                                           const char* routine = "ReadLogFile",
                                           LogFields fields = LogFields::Trimmed);
// One medium's four logs (number 0: the whole delivery's structure log only), read afresh.
MediumResult readMediumResult(const std::string& logPath, int number, LogFields fields = LogFields::Trimmed);
// Whether any check log of the run is in the log folder (the overall verdict).
bool anyRunLog(const std::string& logPath);
// The ○/× of the media list without reading the logs: whether any of the medium's four
// logs exists; for 0, whether any log of the whole delivery ("*000.log") exists.
bool mediumHasLog(const std::string& logPath, int number);
// The logs of a run, every field exactly as logged; a check whose log is named by
// logFailures() is marked as failed (never ○), whether or not anything of it reached the file.
RunSummary readRunSummary(const std::string& logPath, int resultType, int mediaNum);
// The entry of a medium that a place of its folder log names. A log holds a name as
// cp932HeldText writes it (a character CP932 does not hold becomes '?'), so the place is
// matched component by component against the entries' names written the same way.
// name: the entry's path as displayed; raw: as the file system holds it ("\"-separated,
// medium-relative). nullopt when the place names no entry, or more than one at some level.
struct EntryPlace {
    std::string name;
    std::string raw;
};
std::optional<EntryPlace> entryOfLoggedPlace(const std::string& mediumTop, const std::string& place);

// A management file that is not on its medium and lies in a folder that the medium's
// folder check could not read (10001) was not checked: it is unknown, not missing. Its
// check is marked as failed with the folder named, so that it is never ○.
// mediumPaths[i] is the top folder of medium i + 1.
void markUnreadManagementFiles(RunSummary& summary, const std::vector<std::string>& mediumPaths);

}  // namespace qm
