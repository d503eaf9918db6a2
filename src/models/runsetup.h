// What the check run window decides without drawing: its item and box tables, the
// presets, the media count steps, the validation of the start command and the run input
// built from it, the remembered update-date period, and the inspection of medium 1 that
// the main window makes before opening it.
#pragma once

#include "checks/checkrun.h"
#include "checks/inspection.h"
#include "foundation/messages.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace qm {

struct AppState;

// The guideline names and their edition.
inline constexpr const char* kGuidelineCadastral = "地籍調査成果電子納品要領";
inline constexpr const char* kGuidelinePreliminary = "官民境界等先行調査成果電子納品要領";
inline constexpr const char* kGuidelineEdition = "平成２９年４月版";

// The items of the result type box, in order, with their item data.
struct ResultTypeItem { const char* text; int16_t data; };
extern const std::array<ResultTypeItem, 3> kResultTypeItems;
// The notice under the result type box for an item's data ("" for 不明).
std::string resultTypeNotice(int16_t data);

// One process check box: the flag it stands for, its control name and caption.
struct ProcessBox { int flag; const char* name; const char* caption; };
extern const std::array<ProcessBox, 14> kCadastralBoxes;    // fraProcess
extern const std::array<ProcessBox, 8> kPreliminaryBoxes;   // fraProcessS

// Presets of the cadastral frame. They set C, D, E, F1, F2, G, H, PA..PF and leave FR.
enum class ProcessPreset { Land, Air, Mix };  // 地上法, 航測法, 併用法
void applyPreset(ProcessPreset preset, ProcessFlags& boxes);

// The media count steps: the new text of the box.
std::string mediaCountUp(const std::string& text);
std::string mediaCountDown(const std::string& text);

// What the window shows for the judgements of the main window (SetJudgeResult): the
// item of the result type box (index into kResultTypeItems), the ticks of the boxes
// (by flag; only the boxes of the shown frame are meaningful) and the media count text.
struct RunPreset {
    int itemIndex = -1;  // -1: nothing selected (a result type without an item)
    ProcessFlags boxes;
    std::string mediaText;
};
RunPreset presetFromJudgement(int16_t resultType, int16_t mediaCount, const ProcessFlags& judged);

// The editable fields of the window as they stand when 開始 is pressed.
struct RunForm {
    int16_t resultTypeData = -1;  // item data of the selected item, -1 when none
    std::string mediaText;
    ProcessFlags boxes;           // ticks by flag, of both frames
    bool checkDate = false;
    std::array<std::string, 6> dates;  // start year, month, day, end year, month, day
};

// Validates the form in field order. On the first refusal answers the message to show
// (warning, OK button, caption of its field group); otherwise fills input (result type,
// media count, the flags of the shown frame, the date triples) and answers nullopt.
std::optional<Message> validateStart(const RunForm& form, CheckRunInput& input);

// The update-date part of the window remembered between windows of one program run.
struct DatePanel {
    bool checkDate = false;
    std::array<std::string, 6> dates;
};
DatePanel rememberedDates(const AppState& app);
void rememberDates(AppState& app, const DatePanel& panel);

// What the main window learns about a delivery before a check.
struct DeliveryInspection {
    int16_t mediaCount = 1;
    int16_t mediumNo = 1;
    int16_t resultType = 0;
    ProcessFlags flags;
};
// Inspects the top folder of medium 1 (ending in a separator): the media count and
// medium number from INDEX_D.XML (a file that does not load is told, and the check goes
// on with one medium), the question when the folder is not medium 1 of several, the
// result type and the processes. Answers false when the user declined to go on.
bool inspectForCheck(const std::string& folder, DeliveryInspection& out);

}  // namespace qm
