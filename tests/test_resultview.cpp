// The result view's decisions: marks and rows read back from logs, and where a medium is
// looked for again after the run.
#include "models/resultview.h"

#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "run_fixture.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

namespace {

using qmtest::TempDir;

class ScriptedAsker : public qm::LocationAsker {
public:
    std::deque<std::optional<std::string>> answers;
    int asked = 0;
    std::string lastDefault;
    std::optional<std::string> askLocation(int, const std::string& defaultPath) override {
        ++asked;
        lastDefault = defaultPath;
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

class ResultViewTest : public ::testing::Test {
protected:
    TempDir logs{"rv-logs"};
    TempDir media{"rv-media"};
    qm::RecordingMessageSink sink;
    qm::MessageSink* previous = nullptr;
    void SetUp() override { previous = qm::setMessageSink(&sink); }
    void TearDown() override { qm::setMessageSink(previous); }

    uint32_t serialOf(const std::string& path) {
        qm::VolumeInfo info;
        EXPECT_TRUE(qm::GetVolumeInfo(path, info));
        return info.serial;
    }
};

TEST_F(ResultViewTest, OnlyMediumTwoFoundSomethingAndTheRowsSayWhat) {
    {
        qm::CErrorLog log;
        log.setFileName(logs.str() + "FolderCheck_002.log");
        log.setComment(";チェックパス /m/2/");
        log.writeErrorLog(10601, "", "SURVEY\\TISEKI\\WORK\\CPROC_A\\TDAC0001.PDF",
                          "成果ファイル名の設定記号 工程（1,2文字目）が不正です");
    }
    {
        qm::CErrorLog log;
        log.setFileName(logs.str() + "JobFileCheck_SUV_002.log");
        log.writeErrorLogXml(20301, "/SURVEY/測量情報/測量区域No", 1, "半角数字のみで記述されていません", "1,2");
        log.writeErrorLogXml(20301, "/SURVEY/測量情報/測量区域No", 2, "半角数字のみで記述されていません", "");
        log.writeErrorLogXml(-1, "XML構文エラー(3行)", 0, "a, b", "");
    }

    EXPECT_EQ(qm::runVerdict(qm::anyRunLog(logs.str())).colour, qm::kFoundColour);
    EXPECT_EQ(qm::runVerdict(false).text, "チェックの結果、エラーは検出されませんでした。");
    const auto rows = qm::mediaRows(logs.str(), 3);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].label, "成果1枚目");
    EXPECT_EQ(rows[0].mark, "○");
    EXPECT_EQ(rows[1].mark, "×");
    EXPECT_EQ(rows[2].mark, "○");
    EXPECT_EQ(rows[3].label, "成果全体");
    EXPECT_EQ(rows[3].number, 0);
    EXPECT_EQ(rows[3].mark, "○");
    EXPECT_TRUE(qm::mediaRows(logs.str(), 0).empty());

    // Medium 2: the comma-holding message and place reach the rows whole; the second
    // occurrence is numbered; a parser failure keeps its negative code.
    const qm::MediumResult two = qm::readMediumResult(logs.str(), 2);
    auto folder = qm::findingRows(two, 0);
    ASSERT_EQ(folder.size(), 1u);
    EXPECT_EQ(folder[0].code, 10601);
    EXPECT_EQ(folder[0].place, "SURVEY\\TISEKI\\WORK\\CPROC_A\\TDAC0001.PDF");
    EXPECT_EQ(folder[0].content, "成果ファイル名の設定記号 工程（1,2文字目）が不正です");
    auto survey = qm::findingRows(two, 2);
    ASSERT_EQ(survey.size(), 3u);
    EXPECT_EQ(survey[0].place, "/SURVEY/測量情報/測量区域No");
    EXPECT_EQ(survey[1].place, "/SURVEY/測量情報/測量区域No(2番目)");
    EXPECT_EQ(survey[2].code, -1);
    EXPECT_EQ(survey[2].content, "a, b");
    EXPECT_TRUE(two.types[1].ok());
    EXPECT_FALSE(two.types[2].ok());

    // The whole delivery: one check type, and a clean structure row.
    const qm::MediumResult whole = qm::readMediumResult(logs.str(), 0);
    ASSERT_EQ(whole.types.size(), 1u);
    EXPECT_TRUE(qm::findingRows(whole, 0).at(0).clean);
    qmtest::writeBytes(logs.path() / "FolderCheck_000.Log", "10701,SURVEY\\TISEKI\\DATA\\CPROC_A,x,\r\n");
    qmtest::writeBytes(logs.path() / "jobfilecheck_tsk_003.LOG", "20601,/X,1,y,\r\n");
    const auto again = qm::mediaRows(logs.str(), 3);
    EXPECT_EQ(again[2].mark, "×");  // letter case is ignored
    EXPECT_EQ(again[3].mark, "×");
    EXPECT_EQ(qm::findingRows(qm::readMediumResult(logs.str(), 0), 0).at(0).code, 10701);
}

// A log that could not be written is no "○" and no "エラーはありません。": the medium and
// the check are marked, the check's row says why, and the run has no verdict.
TEST_F(ResultViewTest, ALogThatCouldNotBeWrittenIsNoCleanResult) {
    qm::clearLogFailures();
    std::filesystem::create_directories(logs.path() / "JobFileCheck_IND_001.log");  // a folder in its place
    {
        qm::CErrorLog log;
        log.setFileName(logs.str() + "JobFileCheck_IND_001.log");
        log.writeErrorLogXml(20101, "/INDEX_D/基礎情報", 1, "x", "");
    }
    ASSERT_EQ(qm::logFailures().size(), 1u);
    EXPECT_FALSE(qm::anyRunLog(logs.str()));
    EXPECT_EQ(qm::mediaRows(logs.str(), 1).at(0).mark, "×");
    const auto rows = qm::findingRows(qm::readMediumResult(logs.str(), 1), 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].failed);
    EXPECT_FALSE(rows[0].clean);
    EXPECT_NE(rows[0].content.find("JobFileCheck_IND_001.log"), std::string::npos);
    const qm::Verdict v = qm::runVerdict(false, true);
    EXPECT_EQ(v.text, qm::kNoVerdictText);
    EXPECT_EQ(v.colour, qm::kFoundColour);
    qm::clearLogFailures();

    // So is a check whose setting table is missing: it could not judge anything.
    const std::vector<qm::SettingTableProblem> missing{{{"SURVEY_CHK_C.txt", "Survey"}, "設定テーブルが見つかりません: x"}};
    const auto marked = qm::mediaRows(logs.str(), 1, missing);
    EXPECT_EQ(marked.at(0).mark, "×");
    EXPECT_EQ(marked.at(1).mark, "○");  // the whole delivery has no SURVEY.XML check
    qm::MediumResult one = qm::readMediumResult(logs.str(), 1);
    qm::markMissingTables(one, missing);
    EXPECT_TRUE(one.types[1].ok());
    EXPECT_EQ(qm::findingRows(one, 2).at(0).content, "設定テーブルが見つかりません: x");
}

TEST_F(ResultViewTest, StoredLocationIsKeptWhileItStillHoldsTheMedium) {
    const std::string here = media.str();
    const uint32_t serial = serialOf(here);
    ScriptedAsker asker;

    // A fixed disk: the folder's existence is enough, whatever the serial.
    EXPECT_EQ(qm::GetCheckPath({here, qm::kDriveFixed, serial + 1}, 1, asker), here);
    // A removable medium with the same serial.
    EXPECT_EQ(qm::GetCheckPath({here, qm::kDriveCdRom, serial}, 1, asker), here);
    EXPECT_EQ(asker.asked, 0);
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(ResultViewTest, AnotherMediumIsAskedForAndAcceptedOnlyAfterYes) {
    const std::string here = media.str();
    const std::string other = (media.path() / "other").string();
    std::filesystem::create_directories(other);
    const uint32_t serial = serialOf(here);

    // The stored folder is gone from a fixed disk: the user names one on the same volume.
    ScriptedAsker same;
    same.answers = {other};
    EXPECT_EQ(qm::GetCheckPath({here + "gone/", qm::kDriveFixed, serial}, 2, same), qm::withTrailingSeparator(other));
    EXPECT_EQ(same.asked, 1);
    EXPECT_EQ(same.lastDefault, here + "gone/");
    EXPECT_TRUE(sink.shown.empty());

    // A removable medium whose serial differs: No asks again, cancelling gives up.
    ScriptedAsker differs;
    differs.answers = {other};
    sink.answer = qm::MsgAnswer::No;
    EXPECT_EQ(qm::GetCheckPath({here, qm::kDriveRemovable, serial + 1}, 2, differs), "");
    EXPECT_EQ(differs.asked, 2);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].caption, "成果ファイル場所");
    EXPECT_EQ(sink.shown[0].text, "指定した場所は、チェックを行ったメディアとは異なりますが、よろしいですか？");
    EXPECT_EQ(sink.shown[0].buttons, qm::MsgButtons::YesNo);
    EXPECT_EQ(sink.shown[0].icon, qm::MsgIcon::Exclamation);

    // Yes accepts it. A stored serial of 0 never vouches for a volume.
    ScriptedAsker yes;
    yes.answers = {other};
    sink.answer = qm::MsgAnswer::Yes;
    EXPECT_EQ(qm::GetCheckPath({here, qm::kDriveRemovable, serial + 1}, 2, yes), qm::withTrailingSeparator(other));
    ScriptedAsker zero;
    zero.answers = {other};
    sink.shown.clear();
    EXPECT_EQ(qm::GetCheckPath({here + "gone/", qm::kDriveRemovable, 0}, 2, zero), qm::withTrailingSeparator(other));
    EXPECT_EQ(sink.shown.size(), 1u);
}

}  // namespace
