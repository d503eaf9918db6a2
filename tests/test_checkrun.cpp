// The check run over several media and the headless command, end to end.
#include "checks/checkrun.h"
#include "checks/inspection.h"
#include "checks/resultlog.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"
#include "run_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <sys/wait.h>

using namespace qmtest;

namespace {

class CheckRunTest : public ::testing::Test {
protected:
    TempDir tmp{"run"};
    fs::path setting = tmp.path() / "setting";
    fs::path logs = tmp.path() / "logs";
    void SetUp() override { buildSettingTables(setting); }
    std::string medium(int n, DeliveryOptions o = {}) {
        fs::path top = tmp.path() / ("disc" + std::to_string(n));
        buildCadastralMedium(top, o);
        return top.string() + "/";
    }
    std::string common() const {
        return "--setting-dir " + shellQuote(setting.string()) + " --log-dir " + shellQuote(logs.string()) + " ";
    }
    std::string log(const std::string& name) const { return readBytes(logs / name); }
    std::vector<std::string> logNames() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(logs)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

std::string cp(const std::string& utf8) { return qm::toCp932(toCrlf(utf8)); }

}  // namespace

TEST_F(CheckRunTest, CleanMediumWritesNoLogAndExitsZero) {
    std::string top = medium(1);
    writeBytes(logs / "FOLDERCHECK_001.LOG", "left from an earlier run");
    writeBytes(logs / "keep.txt", "not a log");
    writeBytes(logs / "mine.log", "the user's own log, not one of ours");
    CliResult r = runCli(common() + shellQuote(top), tmp.path());
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(logNames(), (std::vector<std::string>{"keep.txt", "mine.log"}));
    EXPECT_NE(r.out.find("チェックの結果、エラーは検出されませんでした。"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("成果1枚目 ○"), std::string::npos) << r.out;

    CliResult j = runCli("--json " + common() + shellQuote(top), tmp.path());
    EXPECT_EQ(j.exitCode, 0);
    EXPECT_NE(j.out.find("\"anyFinding\": false"), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"processes\": \"C\""), std::string::npos) << j.out;
}

TEST_F(CheckRunTest, TwoMediaWriteTheMediaCountNoticeToTheTotalLog) {
    std::string a = medium(1, {1, 2});
    std::string b = medium(2, {2, 2});
    CliResult r = runCli(common() + shellQuote(a) + " " + shellQuote(b), tmp.path());
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_EQ(logNames(), std::vector<std::string>{"FolderCheck_000.Log"});
    EXPECT_EQ(log("FolderCheck_000.Log"), cp("30702,,電子媒体は、１枚が標準です,成果枚数\n"));
    EXPECT_NE(r.out.find("成果全体 ×"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("電子媒体は、１枚が標準です"), std::string::npos) << r.out;
}

TEST_F(CheckRunTest, ThreeMediaReportAWrongMediumNumberInItsOwnLog) {
    std::string a = medium(1, {1, 3});
    std::string b = medium(2, {2, 3});
    std::string c = medium(3, {5, 3});
    CliResult r = runCli(common() + shellQuote(a) + " " + shellQuote(b) + " " + shellQuote(c), tmp.path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(logNames(), (std::vector<std::string>{"FolderCheck_000.Log", "JobFileCheck_IND_003.log"}));
    EXPECT_EQ(log("JobFileCheck_IND_003.log"),
              cp(";チェックファイル " + c + "INDEX_D.XML\n30701,/gyomudata/基礎情報/メディア番号,1,メディア番号が不正です,5\n"));
    EXPECT_NE(r.out.find("成果3枚目 ×"), std::string::npos);
    EXPECT_NE(r.out.find("成果2枚目 ○"), std::string::npos);
}

TEST_F(CheckRunTest, SelectedProcessWithoutFoldersGoesToTheTotal) {
    std::string top = medium(1);
    CliResult r = runCli(common() + "--processes C,D " + shellQuote(top), tmp.path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(log("FolderCheck_000.Log"),
              cp("10701,SURVEY\\TISEKI\\DATA\\DPROC_A,D工程の測量記録・成果フォルダが存在しません,\n"));

    // The empty selection checks no process: nothing is missing in the total, but the
    // process folders on the medium are now unneeded ones.
    r = runCli(common() + "--processes '' " + shellQuote(top), tmp.path());
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_FALSE(fs::exists(logs / "FolderCheck_000.Log"));
    EXPECT_EQ(log("FolderCheck_001.log"),
              cp(";チェックパス " + top + "\n"
                 "10501,SURVEY\\TISEKI\\WORK\\CPROC_1,不要な工程のサブフォルダが存在します（測量記録）,\n"
                 "10502,SURVEY\\TISEKI\\DATA\\CPROC_1,不要な工程のサブフォルダが存在します（測量成果）,\n"));
}

TEST_F(CheckRunTest, CommandRefusesWhatItCannotRun) {
    std::string top = medium(1);
    EXPECT_EQ(runCli(common() + shellQuote(top) + " " + shellQuote(top), tmp.path()).exitCode, 2);
    CliResult dup = runCli(common() + shellQuote(top) + " " + shellQuote(top + "../disc1"), tmp.path());
    EXPECT_EQ(dup.exitCode, 2);
    EXPECT_NE(dup.err.find("指定した成果は、既にチェックしています。"), std::string::npos) << dup.err;
    EXPECT_EQ(runCli(common() + shellQuote((tmp.path() / "nowhere").string()), tmp.path()).exitCode, 2);
    EXPECT_EQ(runCli(common() + "--processes C,X " + shellQuote(top), tmp.path()).exitCode, 2);
    EXPECT_EQ(runCli(common() + "--type 2 --processes PA " + shellQuote(top), tmp.path()).exitCode, 2);
    EXPECT_EQ(runCli(common() + "--from 2017-04-01 " + shellQuote(top), tmp.path()).exitCode, 2);
    CliResult month = runCli(common() + "--from 2017--01 --to 2018-03-31 " + shellQuote(top), tmp.path());
    EXPECT_EQ(month.exitCode, 2);
    EXPECT_NE(month.err.find("開始月を入力してください。"), std::string::npos) << month.err;

    std::string unknown = medium(2, {1, 1, "測量201704"});
    CliResult type = runCli(common() + shellQuote(unknown), tmp.path());
    EXPECT_EQ(type.exitCode, 2);
    EXPECT_NE(type.err.find("成果内容を指定してください。"), std::string::npos) << type.err;
    EXPECT_EQ(runCli(common() + "--type 1 " + shellQuote(unknown), tmp.path()).exitCode, 0);
}

TEST_F(CheckRunTest, DateRangeOutsideTheFilesIsReported) {
    std::string top = medium(1);
    CliResult r = runCli(common() + "--from 1990-01-01 --to 1990-12-31 " + shellQuote(top), tmp.path());
    EXPECT_EQ(r.exitCode, 1);
    std::string folderLog = log("FolderCheck_001.log");
    EXPECT_NE(folderLog.find(cp("10302,INDEX_D.XML,ファイル更新日が指定範囲外です,\n")), std::string::npos);
    EXPECT_NE(folderLog.find(cp("10301,SURVEY,フォルダ更新日が指定範囲外です,\n")), std::string::npos);
}

namespace {

class ScriptedLocator : public qm::MediumLocator {
public:
    std::deque<std::optional<std::string>> answers;
    std::vector<int> asked;
    std::optional<std::string> askMedium(int n, const std::string&) override {
        asked.push_back(n);
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

class StopAfterFirstYield : public qm::CheckRunObserver {
public:
    explicit StopAfterFirstYield(qm::AppState& app) : app_(app) {}
    void yield() override { app_.stop = true; }
private:
    qm::AppState& app_;
};

}  // namespace

class RunCoreTest : public CheckRunTest {
protected:
    qm::AppState app;
    qm::RecordingMessageSink sink;
    qm::MessageSink* previous = nullptr;
    void SetUp() override {
        CheckRunTest::SetUp();
        previous = qm::setMessageSink(&sink);
        app.settingPath = setting.string() + "/";
        ASSERT_TRUE(app.useLogFolder(logs.string()));
    }
    void TearDown() override { qm::setMessageSink(previous); }
    qm::CheckRunInput input(int media) {
        qm::CheckRunInput in;
        in.resultType = 1;
        in.mediaNum = static_cast<int16_t>(media);
        in.flags.flag[0] = 1;
        return in;
    }
};

TEST_F(RunCoreTest, AskedAgainForAMediumAlreadyChecked) {
    std::string a = medium(1, {1, 2});
    std::string b = medium(2, {2, 2});
    ScriptedLocator loc;
    loc.answers = {a, a, b};
    std::vector<qm::MediumRecord> media;
    int16_t r = qm::runCheckAll(app, input(2), loc, media, nullptr);
    EXPECT_GE(r, 1);
    EXPECT_EQ(loc.asked, (std::vector<int>{1, 2, 2}));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].caption, "成果メディア");
    EXPECT_EQ(sink.shown[0].text, "指定した成果は、既にチェックしています。");
    ASSERT_EQ(media.size(), 2u);
    EXPECT_EQ(media[0].path, a);
    EXPECT_EQ(media[1].path, b);
    EXPECT_NE(media[0].volumeNo, 0u);
    EXPECT_EQ(media[0].driveType, qm::kDriveFixed);
}

TEST_F(RunCoreTest, HandedOverFirstMediumIsNotAskedFor) {
    std::string a = medium(1);
    qm::VolumeInfo info;
    ASSERT_TRUE(qm::GetVolumeInfo(a, info));
    ScriptedLocator loc;
    auto in = input(1);
    in.handedPath = a;
    in.handedSerial = info.serial;
    std::vector<qm::MediumRecord> media;
    EXPECT_EQ(qm::runCheckAll(app, in, loc, media, nullptr), 0);
    EXPECT_TRUE(loc.asked.empty());
}

TEST_F(RunCoreTest, CancelAndStopEndTheRunWithoutTotals) {
    std::string a = medium(1, {1, 2});
    ScriptedLocator none;
    std::vector<qm::MediumRecord> media;
    EXPECT_EQ(qm::runCheckAll(app, input(2), none, media, nullptr), qm::kRunCancelledFirst);

    ScriptedLocator onlyFirst;
    onlyFirst.answers = {a};
    EXPECT_EQ(qm::runCheckAll(app, input(2), onlyFirst, media, nullptr), qm::kRunStopped);
    EXPECT_FALSE(fs::exists(logs / "FolderCheck_000.Log"));

    ScriptedLocator both;
    both.answers = {a, medium(2, {2, 2})};
    StopAfterFirstYield stopper(app);
    EXPECT_EQ(qm::runCheckAll(app, input(2), both, media, &stopper), qm::kRunStopped);
    EXPECT_FALSE(fs::exists(logs / "FolderCheck_000.Log"));
}

TEST_F(RunCoreTest, SummaryReadsTheLogsBackAsTheResultViewLists) {
    writeBytes(logs / "FolderCheck_001.log", cp(";チェックパス /x/\n10101,SURVEY\\DOC,フォルダ内にファイルが存在しません,\n"));
    writeBytes(logs / "JobFileCheck_SUV_001.log",
               cp("20601,/SURVEY/X,1,規定以外の要素が存在します,\n20601,/SURVEY/X,2,規定以外の要素が存在します,\n"));
    writeBytes(logs / "FolderCheck_000.LOG", cp("30702,,電子媒体は、１枚が標準です,成果枚数\n"));
    qm::RunSummary s = qm::readRunSummary(app.logPath, 1, 1);
    EXPECT_TRUE(s.anyFinding);
    ASSERT_EQ(s.media.size(), 2u);
    const auto& m1 = s.media[0];
    EXPECT_EQ(m1.label, "成果1枚目");
    ASSERT_EQ(m1.types.size(), 4u);
    EXPECT_FALSE(m1.types[0].ok());
    EXPECT_TRUE(m1.types[1].ok());
    ASSERT_EQ(m1.types[2].findings.size(), 2u);
    EXPECT_EQ(m1.types[2].findings[0].location(), "/SURVEY/X");
    EXPECT_EQ(m1.types[2].findings[1].location(), "/SURVEY/X(2番目)");
    EXPECT_EQ(m1.types[0].findings[0].location(), "SURVEY\\DOC");
    const auto& whole = s.media[1];
    EXPECT_EQ(whole.label, "成果全体");
    ASSERT_EQ(whole.types.size(), 1u);
    EXPECT_TRUE(whole.anyLog);
    EXPECT_EQ(whole.types[0].findings[0].message, "電子媒体は、１枚が標準です");
}

TEST(InspectionTest, JudgesMediaTypeAndProcessesFromTheDelivery) {
    TempDir tmp("judge");
    buildCadastralMedium(tmp.path(), {2, 3, "  先行調査成果電子納品要領"});
    int16_t count = 0, no = 0;
    EXPECT_TRUE(qm::JudgeMediaNum(tmp.str() + "INDEX_D.XML", count, no));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(no, 2);
    EXPECT_EQ(qm::JudgeResultType(tmp.str() + "SURVEY/SURVEY.XML"), 2);
    EXPECT_EQ(qm::JudgeResultType(tmp.str() + "SURVEY/NONE.XML"), 0);

    fs::create_directories(tmp.path() / "SURVEY/TISEKI/DATA/F1PROC_2");
    fs::create_directories(tmp.path() / "SURVEY/TISEKI/DATA/cproc_9");
    writeBytes(tmp.path() / "SURVEY/TISEKI/DATA/PDPROC_X.TXT", "");
    writeBytes(tmp.path() / "SURVEY/TISEKI/DATA/.HPROC_1", "");
    qm::ProcessFlags flags;
    EXPECT_TRUE(qm::JudgeProcess(1, tmp.str(), flags));
    EXPECT_EQ(flags.codes(), "C,F1,PD");

    // A broken SURV_TSK.XML drops everything, the folder findings included.
    writeBytes(tmp.path() / "SURVEY/TISEKI/SURV_TSK.XML", "<SURV_DATA>");
    qm::ProcessFlags untouched;
    untouched.flag[16] = 1;
    EXPECT_FALSE(qm::JudgeProcess(1, tmp.str(), untouched));
    EXPECT_EQ(untouched.codes(), "F");
}
