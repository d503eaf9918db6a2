// What the check result view decides without drawing: the verdict, the media list with
// its marks, the rows of the findings grid, the management file behind a check type, and
// where a medium is now (GetCheckPath). The window only shows these.
#pragma once

#include "checks/checkrun.h"
#include "checks/resultlog.h"
#include "models/rgb.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm {

inline constexpr Rgb kFoundColour{192, 0, 0};  // findings
inline constexpr Rgb kCleanColour{0, 176, 0};  // nothing found

inline constexpr const char* kNoFindingsText = "エラーはありません。";

struct Verdict {
    std::string text;
    Rgb colour;
};
inline constexpr const char* kNoVerdictText = "チェックを正しく行えなかったため、結果は成果の判定になりません。";

// The overall verdict: whether any log of the run exists. A run with a log that could not
// be written (logFailures()) has no verdict, which is told in the colour of findings.
Verdict runVerdict(bool anyLog, bool anyLogFailure = false);

// One row of the media list: "成果n枚目" or "成果全体", its mark, its medium number (0 = whole).
struct MediaRow {
    std::string label;
    std::string mark;
    int number = 0;
};
// Media 1..mediaNum and the whole delivery, marked by the existence of their logs (a log
// that could not be written counts as there, and so does a check whose setting table is
// missing). Empty when mediaNum is 0 or less.
std::vector<MediaRow> mediaRows(const std::string& logPath, int mediaNum,
                                const std::vector<SettingTableProblem>& missingTables = {});
// Gives the checks of a medium whose setting tables are missing their failure (they have
// no verdict), as the headless program does.
void markMissingTables(MediumResult& medium, const std::vector<SettingTableProblem>& missingTables);

// One row of the findings grid. clean: the single "エラーはありません。" row (no place, no code);
// failed: why the check has no verdict (its log could not be written).
struct FindingRow {
    std::string place;
    std::string content;
    int32_t code = 0;
    bool clean = false;
    bool failed = false;
};
// The rows of one check type (index into kCheckTypes) of a medium, in file order. A check
// type without a verdict begins with its failed row. A check type without findings and
// without failure gives the clean row, except the management-file types of the whole
// delivery, which give no row at all.
std::vector<FindingRow> findingRows(const MediumResult& medium, size_t typeIndex);

// The management file examined by a check type 1..3.
struct ManagementFileTarget {
    int which = 0;            // 0 INDEX_D.XML, 1 SURVEY.XML, 2 SURV_TSK.XML
    std::string relPath;      // below the medium's top, "\" separators
    std::string logName;      // its element check log in the log folder
    std::string caption;      // the XML view's caption
};
std::optional<ManagementFileTarget> managementFileTarget(size_t typeIndex, int medium);

// The structure setting table of a result type: "FileInfo_C.txt" or "FileInfo_S.txt".
std::string structureSettingFile(const std::string& settingPath, int resultType);

// Asks the user where a medium is now. Answers the chosen folder, or nullopt when the
// user gave up.
class LocationAsker {
public:
    virtual ~LocationAsker() = default;
    virtual std::optional<std::string> askLocation(int medium, const std::string& defaultPath) = 0;
    // The questions about one medium are over (GetCheckPath has its answer or was given up):
    // the next question starts afresh.
    virtual void endQuestions() {}
};

// Whether the folder that held the medium during the run still holds it: a fixed or
// network drive whose folder exists, or a volume with the same serial number.
bool storedLocationHolds(const MediumRecord& stored);
// Whether path is on a readable volume whose serial number is storedSerial (not 0) and
// exists as a folder.
bool onSameVolume(const std::string& path, uint32_t storedSerial);

// The folder of medium n now: the stored one when it still holds the medium, otherwise
// what the user gives; a folder on another volume is accepted only after the question
// "指定した場所は、チェックを行ったメディアとは異なりますが、よろしいですか？" is answered Yes.
// "" when the user gave up. The answer ends in a separator.
std::string GetCheckPath(const MediumRecord& stored, int medium, LocationAsker& asker);

}  // namespace qm
