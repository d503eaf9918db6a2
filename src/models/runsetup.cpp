#include "models/runsetup.h"

#include "foundation/appstate.h"
#include "foundation/platform.h"
#include "foundation/text.h"

namespace qm {

const std::array<ResultTypeItem, 3> kResultTypeItems = {{
    {"不明", 0},
    {"地籍調査成果", 1},
    {"官民境界等先行調査成果", 2},
}};

std::string resultTypeNotice(int16_t data) {
    const char* guideline = data == 1 ? kGuidelineCadastral : data == 2 ? kGuidelinePreliminary : nullptr;
    if (!guideline) return {};
    return std::string("「") + guideline + "」　" + kGuidelineEdition + "　を基に検査します。";
}

const std::array<ProcessBox, 14> kCadastralBoxes = {{
    {0, "chkProcC", "C　 地籍図根三角測量"},
    {1, "chkProcD", "D　 地籍図根多角測量"},
    {2, "chkProcE", "E　 一筆地調査"},
    {3, "chkProcF1", "FⅠ 細部図根測量"},
    {4, "chkProcF2", "FⅡ 一筆地測量"},
    {5, "chkProcG", "G　 地積測定"},
    {6, "chkProcPA", "PA 対空標識の設置"},
    {7, "chkProcPB", "PB 空中写真撮影"},
    {8, "chkProcPC", "PC 標定点測量"},
    {9, "chkProcPD", "PD 空中三角測量（航測法）"},
    {10, "chkProcPE", "PE 空中三角測量（併用法）"},
    {11, "chkProcPF", "PF 図化"},
    {12, "chkProcFR", "FR  現況測量・復元測量"},
    {13, "chkProcH", "H　 地籍図及び地籍簿の作成"},
}};

const std::array<ProcessBox, 8> kPreliminaryBoxes = {{
    {0, "chkProcCS", "C 　 地籍図根三角測量"},
    {1, "chkProcDS", "D 　 地籍図根多角測量"},
    {2, "chkProcES", "E'　 先行筆界点調査"},
    {3, "chkProcF1S", "F'Ⅰ 細部図根測量"},
    {4, "chkProcF2S", "F'Ⅱ 先行筆界点測量及び街区調査図原図作成"},
    {5, "chkProcGS", "G'　 街区面積計算"},
    {12, "chkProcFRS", "FR　 現況測量・復元測量"},
    {13, "chkProcHS", "H'　 街区調査図及び街区整理簿の作成"},
}};

namespace {

enum : int { C = 0, D, E, F1, F2, G, PA, PB, PC, PD, PE, PF, FR, H };

}  // namespace

void applyPreset(ProcessPreset preset, ProcessFlags& boxes) {
    //                                  C  D  E  F1 F2 G  H  PA PB PC PD PE PF
    static constexpr uint8_t kLand[13] = {1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0};
    static constexpr uint8_t kAir[13] = {0, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 1};
    static constexpr uint8_t kMix[13] = {0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 0};
    static constexpr int kFlags[13] = {C, D, E, F1, F2, G, H, PA, PB, PC, PD, PE, PF};
    const uint8_t* row = preset == ProcessPreset::Land ? kLand : preset == ProcessPreset::Air ? kAir : kMix;
    for (int k = 0; k < 13; ++k) boxes.flag[kFlags[k]] = row[k];
}

std::string mediaCountUp(const std::string& text) {
    const int32_t n = toNumber(text);
    if (n >= 0 && n < 999) return std::to_string(n + 1);
    return text;
}

std::string mediaCountDown(const std::string& text) {
    const int32_t n = toNumber(text);
    if (n >= 2 && n <= 999) return std::to_string(n - 1);
    return "1";
}

RunPreset presetFromJudgement(int16_t resultType, int16_t mediaCount, const ProcessFlags& judged) {
    RunPreset p;
    p.mediaText = std::to_string(mediaCount);
    int found = -1;
    for (size_t i = 0; i < kResultTypeItems.size(); ++i)
        if (kResultTypeItems[i].data == resultType) found = static_cast<int>(i);
    if (found < 0) {
        // No item for it: the window stays as it was, the count included.
        p.mediaText.clear();
        return p;
    }
    p.itemIndex = found;
    if (resultType == 1) {
        for (const auto& b : kCadastralBoxes) p.boxes.flag[b.flag] = judged.flag[b.flag];
    } else if (resultType == 2) {
        for (const auto& b : kPreliminaryBoxes) p.boxes.flag[b.flag] = judged.flag[b.flag];
    } else {
        p.itemIndex = 0;
    }
    return p;
}

std::optional<Message> validateStart(const RunForm& form, CheckRunInput& input) {
    auto refuse = [](const char* caption, const char* text) {
        return Message{caption, text, MsgIcon::Exclamation, MsgButtons::Ok};
    };
    if (form.resultTypeData != 1 && form.resultTypeData != 2) return refuse("成果内容", "成果内容を指定してください。");

    const std::string& m = form.mediaText;
    if (m.empty()) return refuse("成果メディア枚数", "成果メディア枚数を指定してください。");
    if (!IsDigits(m)) return refuse("成果メディア枚数", "成果メディア枚数は数字で入力してください。");
    // Digits only: leading zeros are read away; a long run of digits is out of range.
    size_t first = m.find_first_not_of('0');
    const std::string digits = first == std::string::npos ? "0" : m.substr(first);
    const int32_t count = digits.size() > 3 ? 1000 : toNumber(digits);
    if (count < 1 || count > 999) return refuse("成果メディア枚数", "成果メディア枚数は1～999の範囲で入力してください。");

    CheckRunInput in;
    in.resultType = form.resultTypeData;
    in.mediaNum = static_cast<int16_t>(count);
    if (in.resultType == 1) {
        for (const auto& b : kCadastralBoxes) in.flags.flag[b.flag] = form.boxes.flag[b.flag] ? 1 : 0;
    } else {
        for (const auto& b : kPreliminaryBoxes) in.flags.flag[b.flag] = form.boxes.flag[b.flag] ? 1 : 0;
    }

    if (form.checkDate) {
        static const char* kEmpty[6] = {"開始年を入力してください。", "開始月を入力してください。", "開始日を入力してください。",
                                        "終了年を入力してください。", "終了月を入力してください。", "終了日を入力してください。"};
        static const char* kDigits[6] = {"開始年は数字で入力してください。", "開始月は数字で入力してください。",
                                         "開始日は数字で入力してください。", "終了年は数字で入力してください。",
                                         "終了月は数字で入力してください。", "終了日は数字で入力してください。"};
        for (int k = 0; k < 6; ++k) {
            if (form.dates[k].empty()) return refuse("ファイル更新日", kEmpty[k]);
            if (!IsDigits(form.dates[k])) return refuse("ファイル更新日", kDigits[k]);
        }
        for (int k = 0; k < 3; ++k) {
            in.dateS[k] = static_cast<int16_t>(toNumber(form.dates[k]));
            in.dateE[k] = static_cast<int16_t>(toNumber(form.dates[k + 3]));
        }
    }
    input = in;
    return std::nullopt;
}

DatePanel rememberedDates(const AppState& app) {
    DatePanel p;
    p.checkDate = app.checkDate != 0;
    for (int k = 0; k < 3; ++k) {
        p.dates[k] = app.dateS[k];
        p.dates[k + 3] = app.dateE[k];
    }
    return p;
}

void rememberDates(AppState& app, const DatePanel& panel) {
    app.checkDate = panel.checkDate ? 1 : 0;
    for (int k = 0; k < 3; ++k) {
        app.dateS[k] = panel.dates[k];
        app.dateE[k] = panel.dates[k + 3];
    }
}

bool inspectForCheck(const std::string& folder, DeliveryInspection& out) {
    DeliveryInspection d;
    const std::string indexFile = managementFile(folder, "INDEX_D.XML");
    if (isPlainFile(indexFile) && !JudgeMediaNum(indexFile, d.mediaCount, d.mediumNo))
        showMessage("成果チェック", "業務管理ファイル(INDEX_D.XML)の読み込みに失敗しました。");
    if (d.mediaCount < 1 || d.mediaCount > 999) d.mediaCount = 1;
    if (d.mediaCount >= 2 && d.mediumNo != 1) {
        if (showMessage("成果チェック", "指定した成果は、１枚目ではありませんが、よろしいですか？", MsgIcon::Question,
                        MsgButtons::YesNo) != MsgAnswer::Yes)
            return false;
    }
    const std::string surveyFile = managementFile(folder, "SURVEY\\SURVEY.XML");
    d.resultType = isPlainFile(surveyFile) ? JudgeResultType(surveyFile) : 0;
    JudgeProcess(d.resultType, folder, d.flags);
    out = d;
    return true;
}

}  // namespace qm
