// The log folder of a run: what is cleared, where it may lie, its lock, and logs that
// cannot be written.
#include "checks/checkrun.h"
#include "checks/resultlog.h"
#include "foundation/appstate.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "run_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

using namespace qmtest;

namespace {

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class NoMedia : public qm::MediumLocator {
public:
    std::optional<std::string> askMedium(int, const std::string&) override { return std::nullopt; }
};

class LogFolderTest : public ::testing::Test {
protected:
    TempDir tmp{"logfolder"};
    qm::RecordingMessageSink sink;
    qm::MessageSink* previous = nullptr;
    void SetUp() override { previous = qm::setMessageSink(&sink); }
    void TearDown() override { qm::setMessageSink(previous); }
};

}  // namespace

TEST_F(LogFolderTest, UsersFolderLosesOnlyTheRunsLogsOwnFolderEveryLog) {
    const fs::path user = tmp.path() / "mine";
    for (const char* n : {"FolderCheck_001.log", "FolderCheck_000.Log", "jobfilecheck_tsk_012.LOG",
                          "JobFileCheck_IND_999.log", "notes.log", "FolderCheck_1.log", "FolderCheck_0001.log",
                          "JobFileCheck_XYZ_001.log", "FolderCheck_001.log.txt"})
        writeBytes(user / n, "x");
    ::chmod(user.c_str(), 0775);
    qm::AppState app;
    ASSERT_TRUE(app.useLogFolder(user.string()));
    app.deleteLogs();
    struct stat st {};
    ASSERT_EQ(::stat(user.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0775u);  // the user's folder keeps its mode
    EXPECT_EQ(namesIn(user), (std::vector<std::string>{"FolderCheck_0001.log", "FolderCheck_001.log.txt",
                                                       "FolderCheck_1.log", "JobFileCheck_XYZ_001.log", "notes.log"}));

    // The program's own folder keeps the old rule: every *.log goes.
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string keepTmp = oldTmp ? oldTmp : "";
    const char* oldRt = std::getenv("XDG_RUNTIME_DIR");
    const std::string keepRt = oldRt ? oldRt : "";
    ::setenv("TMPDIR", tmp.str().c_str(), 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    qm::AppState own;
    const bool established = own.establishLogFolder();
    if (oldTmp) ::setenv("TMPDIR", keepTmp.c_str(), 1); else ::unsetenv("TMPDIR");
    if (oldRt) ::setenv("XDG_RUNTIME_DIR", keepRt.c_str(), 1);
    ASSERT_TRUE(established) << own.logFolderProblem;
    EXPECT_TRUE(own.logFolderIsOwn);
    writeBytes(fs::path(own.logPath) / "notes.log", "x");
    writeBytes(fs::path(own.logPath) / "keep.txt", "x");
    own.deleteLogs();
    EXPECT_EQ(namesIn(own.logPath), std::vector<std::string>{"keep.txt"});
}

TEST_F(LogFolderTest, OverlapWithAMediumIsFoundThroughAliases) {
    const fs::path disc = tmp.path() / "disc1";
    fs::create_directories(disc / "SURVEY");
    fs::create_directories(tmp.path() / "disc10");
    fs::create_directory_symlink(disc, tmp.path() / "alias");
    const std::string medium = disc.string() + "/";

    EXPECT_NE(qm::logFolderOverlap(disc.string(), medium), "");
    EXPECT_NE(qm::logFolderOverlap((disc / "SURVEY").string(), medium), "");
    EXPECT_NE(qm::logFolderOverlap((disc / "not" / "yet").string(), medium), "");  // not created yet
    EXPECT_NE(qm::logFolderOverlap((tmp.path() / "alias" / "logs").string(), medium), "");
    EXPECT_NE(qm::logFolderOverlap(tmp.path().string(), medium), "");  // holds the medium
    const std::string inside = qm::logFolderOverlap((disc / "logs").string(), medium);
    EXPECT_NE(inside.find((disc / "logs").string()), std::string::npos) << inside;

    EXPECT_EQ(qm::logFolderOverlap((tmp.path() / "disc10").string(), medium), "");  // a name prefix only
    EXPECT_EQ(qm::logFolderOverlap((tmp.path() / "logs").string(), medium), "");
}

// The identity test itself, as the report path uses it: a file path, spelled through "..",
// through a link to the medium, or as a link (dangling too) that leads into it.
TEST_F(LogFolderTest, PathLiesWithinFollowsEverySpellingOfAPlace) {
    const fs::path disc = tmp.path() / "disc1";
    fs::create_directories(disc / "SURVEY");
    fs::create_directories(tmp.path() / "out");
    fs::create_directory_symlink(disc / "SURVEY", tmp.path() / "survey-link");
    fs::create_symlink(disc / "new.pdf", tmp.path() / "out" / "dangling.pdf");
    writeBytes(disc / "SURVEY" / "SURVEY.XML", "<x/>");
    fs::create_symlink(disc / "SURVEY" / "SURVEY.XML", tmp.path() / "out" / "xml.pdf");
    const std::string m = disc.string();

    EXPECT_TRUE(qm::pathLiesWithin(m, m));
    EXPECT_TRUE(qm::pathLiesWithin(m + "/", m + "/."));
    EXPECT_TRUE(qm::pathLiesWithin((disc / "SURVEY" / "SURVEY.XML").string(), m));  // an existing file
    EXPECT_TRUE(qm::pathLiesWithin((tmp.path() / "out" / ".." / "disc1" / "a" / "b.pdf").string(), m));
    EXPECT_TRUE(qm::pathLiesWithin((tmp.path() / "survey-link" / "r.pdf").string(), m));
    EXPECT_TRUE(qm::pathLiesWithin((tmp.path() / "out" / "dangling.pdf").string(), m));
    EXPECT_TRUE(qm::pathLiesWithin((tmp.path() / "out" / "xml.pdf").string(), m));
    EXPECT_TRUE(qm::pathLiesWithin(m, tmp.path().string()));

    EXPECT_FALSE(qm::pathLiesWithin(tmp.path().string(), m));
    EXPECT_FALSE(qm::pathLiesWithin((disc / ".." / "out" / "r.pdf").string(), m));
    EXPECT_FALSE(qm::pathLiesWithin((tmp.path() / "disc10" / "r.pdf").string(), m));  // a name prefix only
    EXPECT_FALSE(qm::pathLiesWithin((tmp.path() / "out" / "r.pdf").string(), (tmp.path() / "nowhere").string()));
}

TEST_F(LogFolderTest, LockIsExclusiveWritesNothingAndIsReleased) {
    const fs::path dir = tmp.path() / "logs";
    fs::create_directories(dir);
    {
        qm::LogFolderLock first;
        ASSERT_TRUE(first.acquire(dir.string() + "/"));
        EXPECT_TRUE(first.held());

        qm::LogFolderLock second;
        EXPECT_FALSE(second.acquire(dir.string()));
        EXPECT_TRUE(second.takenByAnother());
        EXPECT_NE(second.problem().find("使用中"), std::string::npos) << second.problem();
        EXPECT_NE(second.problem().find(dir.string()), std::string::npos);

        // Another process is held off as well.
        const pid_t child = ::fork();
        if (child == 0) {
            qm::LogFolderLock other;
            ::_exit(other.acquire(dir.string()) ? 0 : (other.takenByAnother() ? 3 : 4));
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 3);

        first.release();
        EXPECT_TRUE(second.acquire(dir.string()));
    }
    EXPECT_TRUE(namesIn(dir).empty());

    qm::LogFolderLock missing;
    EXPECT_FALSE(missing.acquire((tmp.path() / "none").string()));
    EXPECT_FALSE(missing.takenByAnother());
    EXPECT_NE(missing.problem().find("見つかりません"), std::string::npos) << missing.problem();
}

TEST_F(LogFolderTest, LogThatCannotBeWrittenIsToldOnceAndNeverShowsOk) {
    TempDir settings("logfail-setting");
    buildSettingTables(settings.path());
    const fs::path top = tmp.path() / "disc1";
    buildCadastralMedium(top);
    const fs::path logs = tmp.path() / "logs";
    fs::create_directories(logs / "FolderCheck_001.log");  // a folder where the log should go

    qm::AppState app;
    app.settingPath = settings.str();
    ASSERT_TRUE(app.useLogFolder(logs.string()));
    qm::CheckRunInput in;
    in.resultType = 1;
    in.flags.flag[0] = 1;
    in.dateS[0] = 1990, in.dateS[1] = 1, in.dateS[2] = 1;  // every file is out of the period
    in.dateE[0] = 1990, in.dateE[1] = 1, in.dateE[2] = 2;
    in.handedPath = top.string() + "/";
    qm::VolumeInfo info;
    ASSERT_TRUE(qm::GetVolumeInfo(in.handedPath, info));
    in.handedSerial = info.serial;
    NoMedia none;
    std::vector<qm::MediumRecord> media;
    EXPECT_GE(qm::runCheckAll(app, in, none, media), 0);

    const std::string failed = app.logPath + "FolderCheck_001.log";
    EXPECT_EQ(qm::logFailures(), std::vector<std::string>{failed});
    ASSERT_EQ(sink.shown.size(), 1u);  // one box, not one per finding
    EXPECT_EQ(sink.shown[0].caption, "CErrorLog - writeErrorLog");
    EXPECT_NE(sink.shown[0].text.find(failed), std::string::npos) << sink.shown[0].text;
    EXPECT_NE(sink.shown[0].text.find("フォルダです"), std::string::npos) << sink.shown[0].text;

    qm::RunSummary s = qm::readRunSummary(app.logPath, 1, 1);
    EXPECT_TRUE(s.anyLogFailure);
    EXPECT_FALSE(s.media[0].types[0].ok());
    EXPECT_TRUE(s.media[0].anyLog);
    EXPECT_NE(s.media[0].types[0].failure.find(failed), std::string::npos);

    // The next run starts with a clean slate.
    fs::remove(logs / "FolderCheck_001.log");
    EXPECT_GE(qm::runCheckAll(app, in, none, media), 0);
    EXPECT_TRUE(qm::logFailures().empty());
    EXPECT_TRUE(fs::is_regular_file(logs / "FolderCheck_001.log"));
}

TEST_F(LogFolderTest, RunRefusesAMediumThatHoldsTheLogFolder) {
    TempDir settings("overlap-setting");
    buildSettingTables(settings.path());
    const fs::path top = tmp.path() / "disc1";
    buildCadastralMedium(top);
    writeBytes(top / "logs" / "FolderCheck_001.log", "belongs to the medium");

    qm::AppState app;
    app.settingPath = settings.str();
    ASSERT_TRUE(app.useLogFolder((top / "logs").string()));
    qm::CheckRunInput in;
    in.resultType = 1;
    in.handedPath = top.string() + "/";
    NoMedia none;
    std::vector<qm::MediumRecord> media;
    EXPECT_EQ(qm::runCheckAll(app, in, none, media), qm::kRunStopped);
    EXPECT_EQ(readBytes(top / "logs" / "FolderCheck_001.log"), "belongs to the medium");
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].caption, "ログフォルダ");
}
