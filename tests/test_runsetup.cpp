// What the check run window and the main window decide before a run: the start
// validation in field order, presets, the judgements shown, the inspection of medium 1,
// and a stop that ends the walk of a large medium.
#include "checks/checkrun.h"
#include "models/runsetup.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "run_fixture.h"

#include <gtest/gtest.h>

using namespace qmtest;

namespace {

qm::RunForm validForm() {
    qm::RunForm f;
    f.resultTypeData = 1;
    f.mediaText = "1";
    f.dates = {"2017", "4", "1", "2018", "3", "31"};
    return f;
}

// The message of the first refusal, or "" when the form is accepted.
std::string refusal(const qm::RunForm& f, std::string* caption = nullptr) {
    qm::CheckRunInput in;
    auto m = qm::validateStart(f, in);
    if (!m) return {};
    EXPECT_EQ(m->icon, qm::MsgIcon::Exclamation);
    if (caption) *caption = m->caption;
    return m->text;
}

class RecordingSinkScope {
public:
    RecordingSinkScope() { previous_ = qm::setMessageSink(&sink); }
    ~RecordingSinkScope() { qm::setMessageSink(previous_); }
    qm::RecordingMessageSink sink;
private:
    qm::MessageSink* previous_;
};

}  // namespace

TEST(RunSetup, StartIsRefusedAtTheFirstWrongFieldInOrder) {
    std::string caption;
    qm::RunForm f = validForm();
    f.resultTypeData = 0;   // 不明
    f.mediaText = "";       // wrong as well, but later
    EXPECT_EQ(refusal(f, &caption), "成果内容を指定してください。");
    EXPECT_EQ(caption, "成果内容");
    f.resultTypeData = -1;  // nothing selected
    EXPECT_EQ(refusal(f), "成果内容を指定してください。");

    f = validForm();
    f.mediaText = "";
    EXPECT_EQ(refusal(f, &caption), "成果メディア枚数を指定してください。");
    EXPECT_EQ(caption, "成果メディア枚数");
    f.mediaText = " 1";
    EXPECT_EQ(refusal(f), "成果メディア枚数は数字で入力してください。");
    for (const char* outOfRange : {"0", "000", "0000000001000"}) {
        f.mediaText = outOfRange;
        EXPECT_EQ(refusal(f), "成果メディア枚数は1～999の範囲で入力してください。") << outOfRange;
    }

    // Dates are judged only when the date check is ticked, and the first field wins.
    f = validForm();
    f.dates = {"2017", "", "x", "", "", ""};
    EXPECT_EQ(refusal(f), "");
    f.checkDate = true;
    EXPECT_EQ(refusal(f, &caption), "開始月を入力してください。");
    EXPECT_EQ(caption, "ファイル更新日");
    f.dates = {"2017", "4", "1", "2018", "3", "3１"};
    EXPECT_EQ(refusal(f), "終了日は数字で入力してください。");
    f.dates = {"2017", "13", "1", "2018", "3", ""};
    EXPECT_EQ(refusal(f), "終了日を入力してください。");
}

TEST(RunSetup, AcceptedFormGivesTheRunInputOfTheShownFrame) {
    qm::RunForm f = validForm();
    f.mediaText = "01";
    f.checkDate = true;
    f.dates = {"2017", "13", "01", "2018", "3", "31"};  // no calendar check
    for (int k = 0; k < qm::ProcessFlags::kCount; ++k) f.boxes.flag[k] = 1;
    qm::CheckRunInput in;
    ASSERT_FALSE(qm::validateStart(f, in));
    EXPECT_EQ(in.mediaNum, 1);
    EXPECT_EQ(in.dateS[0], 2017);
    EXPECT_EQ(in.dateS[1], 13);
    EXPECT_EQ(in.dateS[2], 1);
    EXPECT_EQ(in.dateE[2], 31);
    // The run never selects L, R or F.
    EXPECT_EQ(in.flags.codes(), "C,D,E,F1,F2,G,PA,PB,PC,PD,PE,PF,FR,H");

    f.resultTypeData = 2;
    f.checkDate = false;
    ASSERT_FALSE(qm::validateStart(f, in));
    EXPECT_EQ(in.flags.codes(), "C,D,E,F1,F2,G,FR,H");
    EXPECT_EQ(in.dateS[0], 0);
    EXPECT_EQ(in.dateE[0], 0);
}

TEST(RunSetup, PresetsLeaveFR) {
    qm::ProcessFlags b;
    b.flag[qm::ProcessFlags::indexOf("FR")] = 1;
    qm::applyPreset(qm::ProcessPreset::Land, b);
    EXPECT_EQ(b.codes(), "C,D,E,F1,F2,G,FR,H");
    qm::applyPreset(qm::ProcessPreset::Air, b);
    EXPECT_EQ(b.codes(), "E,G,PA,PB,PC,PD,PF,FR,H");
    qm::applyPreset(qm::ProcessPreset::Mix, b);
    EXPECT_EQ(b.codes(), "E,F1,F2,G,PA,PB,PC,PE,FR,H");

}

TEST(RunSetup, JudgementsShownInTheWindow) {
    qm::ProcessFlags judged;
    for (const char* code : {"E", "PE", "FR", "L"}) judged.flag[qm::ProcessFlags::indexOf(code)] = 1;
    auto p = qm::presetFromJudgement(1, 3, judged);
    EXPECT_EQ(p.itemIndex, 1);
    EXPECT_EQ(p.mediaText, "3");
    EXPECT_EQ(p.boxes.codes(), "E,PE,FR");  // PE ticked, PD left clear

    judged.flag[qm::ProcessFlags::indexOf("PA")] = 1;
    p = qm::presetFromJudgement(2, 1, judged);
    EXPECT_EQ(p.itemIndex, 2);
    EXPECT_EQ(p.boxes.codes(), "E,FR");  // the preliminary frame has no aerial processes

    p = qm::presetFromJudgement(0, 1, judged);
    EXPECT_EQ(p.itemIndex, 0);
    EXPECT_FALSE(p.boxes.any());
    EXPECT_EQ(qm::presetFromJudgement(7, 1, judged).itemIndex, -1);
    EXPECT_EQ(qm::resultTypeNotice(0), "");
    EXPECT_EQ(qm::resultTypeNotice(2), "「官民境界等先行調査成果電子納品要領」　平成２９年４月版　を基に検査します。");
}

TEST(RunSetup, InspectionOfMediumOne) {
    TempDir tmp{"inspect"};
    RecordingSinkScope s;
    qm::DeliveryInspection d;

    // Medium 2 of 3: asked; No ends the command, Yes goes on.
    buildCadastralMedium(tmp.path() / "a", {2, 3});
    const std::string a = tmp.str() + "a/";
    EXPECT_FALSE(qm::inspectForCheck(a, d));
    ASSERT_EQ(s.sink.shown.size(), 1u);
    EXPECT_EQ(s.sink.shown[0].text, "指定した成果は、１枚目ではありませんが、よろしいですか？");
    EXPECT_EQ(s.sink.shown[0].buttons, qm::MsgButtons::YesNo);
    s.sink.answer = qm::MsgAnswer::Yes;
    ASSERT_TRUE(qm::inspectForCheck(a, d));
    EXPECT_EQ(d.mediaCount, 3);
    EXPECT_EQ(d.mediumNo, 2);
    EXPECT_EQ(d.resultType, 1);
    EXPECT_EQ(d.flags.codes(), "C");

    // A count out of range becomes one medium, without a question.
    s.sink.shown.clear();
    buildCadastralMedium(tmp.path() / "b", {4, 1500});
    ASSERT_TRUE(qm::inspectForCheck(tmp.str() + "b/", d));
    EXPECT_EQ(d.mediaCount, 1);
    EXPECT_TRUE(s.sink.shown.empty());

    // An INDEX_D.XML that does not load is told; the check goes on with medium 1 of 1.
    buildCadastralMedium(tmp.path() / "c", {2, 3});
    writeBytes(tmp.path() / "c" / "INDEX_D.XML", "<gyomudata><broken>");
    ASSERT_TRUE(qm::inspectForCheck(tmp.str() + "c/", d));
    ASSERT_EQ(s.sink.shown.size(), 1u);
    EXPECT_EQ(s.sink.shown[0].caption, "成果チェック");
    EXPECT_EQ(s.sink.shown[0].text, "業務管理ファイル(INDEX_D.XML)の読み込みに失敗しました。");
    EXPECT_EQ(d.mediaCount, 1);
    EXPECT_EQ(d.mediumNo, 1);
}

namespace {

class StopOnFirstReport : public qm::CheckRunObserver {
public:
    explicit StopOnFirstReport(qm::AppState& app) : app_(app) {}
    void entriesWalked(int64_t entries) override {
        app_.stop = true;
        last = entries;
    }
    int64_t last = 0;
private:
    qm::AppState& app_;
};

class OneMedium : public qm::MediumLocator {
public:
    explicit OneMedium(std::string p) : p_(std::move(p)) {}
    std::optional<std::string> askMedium(int, const std::string&) override { return p_; }
private:
    std::string p_;
};

}  // namespace

TEST(RunSetup, StopDuringTheWalkEndsItAtOnce) {
    TempDir tmp{"stopwalk"};
    RecordingSinkScope s;
    buildSettingTables(tmp.path() / "setting");
    buildCadastralMedium(tmp.path() / "m");
    // Three crowded folders; the walk reports after the first of them.
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 510; ++i)
            writeBytes(tmp.path() / "m" / "SURVEY" / "TISEKI" / "OTHRS" / ("D" + std::to_string(k)) /
                           ("F" + std::to_string(i) + ".TXT"),
                       "x");
    qm::AppState app;
    app.settingPath = tmp.str() + "setting/";
    ASSERT_TRUE(app.useLogFolder(tmp.str() + "logs"));
    qm::CheckRunInput in;
    in.resultType = 1;
    in.flags.flag[0] = 1;
    OneMedium loc(tmp.str() + "m/");
    StopOnFirstReport stopper(app);
    std::vector<qm::MediumRecord> media;
    EXPECT_EQ(qm::runCheckAll(app, in, loc, media, &stopper), qm::kRunStopped);
    EXPECT_GE(stopper.last, 500);
    EXPECT_LT(stopper.last, 1000);  // the later crowded folders were not read
    EXPECT_FALSE(fs::exists(tmp.path() / "logs" / "FolderCheck_000.Log"));
}
