// Media that cannot be read in full: a folder that cannot be listed, an entry whose date
// cannot be read, a medium whose own management files are missing or do not load. The
// verdict is never better than what was read: every such place is a finding (10001) in
// the medium's folder log, and nothing below it is reported missing.
//
// Failures come from two sources: a fault given in place of the file system's answer
// (the platform layer's test seam, deterministic and independent of who runs the tests),
// and real permission denials, for which the headless command is run under an
// unprivileged user when the tests run as root (root reads every folder whatever its mode).
#include "checks/checkrun.h"
#include "checks/relationcheck.h"
#include "checks/resultlog.h"
#include "checks/xmldoc.h"
#include "foundation/errorlog.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"
#include "hostile_fixture.h"
#include "run_fixture.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

using namespace qmtest;

namespace {

// The fault in force: a folder (matched by the end of its path) whose listing fails, or
// one entry of it whose details cannot be read.
struct Fault {
    std::string folder;  // e.g. "/SURVEY/TISEKI/DATA/CPROC_1"
    std::string entry;   // empty: the listing itself fails
    int error = 0;
    int hits = 0;
};
Fault g_fault;

int injectFault(const std::string& folderPath, const char* entryName) {
    std::string f = folderPath;
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    const std::string& want = g_fault.folder;
    if (f.size() < want.size() || f.compare(f.size() - want.size(), want.size(), want) != 0) return 0;
    const bool hit = entryName == nullptr ? g_fault.entry.empty() : g_fault.entry == entryName;
    if (!hit) return 0;
    ++g_fault.hits;
    return g_fault.error;
}

// A copy of quillmark-check in a fresh folder under /tmp (mode 0755), removed afterwards;
// path is empty when it could not be made.
struct ProgramCopy {
    std::string folder;
    std::string path;
    ProgramCopy() {
        char tmpl[] = "/tmp/qm-program-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr) return;
        folder = tmpl;
        std::error_code ec;
        const fs::path target = fs::path(folder) / "quillmark-check";
        if (::chmod(folder.c_str(), 0755) != 0 ||
            !fs::copy_file(fs::path(QM_BINARY_DIR) / "quillmark-check", target, ec) ||
            ::chmod(target.c_str(), 0755) != 0)
            return;
        path = target.string();
    }
    ~ProgramCopy() {
        std::error_code ec;
        if (!folder.empty()) fs::remove_all(folder, ec);
    }
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;
};

class UnreadableMediaTest : public ::testing::Test {
public:
    fs::path root = hostile::scratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path top = root / "disc";
    fs::path setting = root / "setting";
    fs::path logs = root / "logs";
    qm::AppState app;
    qm::RecordingMessageSink sink;
    qm::MessageSink* previous = nullptr;

    void SetUp() override {
        buildSettingTables(setting);
        buildCadastralMedium(top);
        previous = qm::setMessageSink(&sink);
        app.settingPath = setting.string() + "/";
        ASSERT_TRUE(app.useLogFolder(logs.string()));
    }
    void TearDown() override {
        qm::setPlatformFaultForTesting(nullptr);
        g_fault = Fault{};
        qm::setMessageSink(previous);
        hostile::removeTree(root);
    }
    void failAt(const std::string& folder, const std::string& entry, int error) {
        g_fault = Fault{folder, entry, error, 0};
        qm::setPlatformFaultForTesting(&injectFault);
    }

    // A check run of the media (cadastral, process C), with an update-date period when asked.
    int16_t run(const std::vector<std::string>& tops, bool dates = false) {
        qm::CheckRunInput in;
        in.resultType = 1;
        in.mediaNum = static_cast<int16_t>(tops.size());
        in.flags.flag[0] = 1;
        if (dates) {
            in.dateS[0] = 2000, in.dateS[1] = 1, in.dateS[2] = 1;
            in.dateE[0] = 2999, in.dateE[1] = 12, in.dateE[2] = 31;
        }
        ListedMedia loc(tops);
        std::vector<qm::MediumRecord> media;
        return qm::runCheckAll(app, in, loc, media, nullptr);
    }
    std::vector<std::string> logNames() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(logs, ec)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

std::string cp(const std::string& utf8) { return qm::toCp932(toCrlf(utf8)); }

}  // namespace

// A process folder whose listing fails with an I/O error: one 10001 (the walk, the
// result file scan and the relation check each meet it, and it is recorded once), no
// finding about its files, and the described file in it is not reported missing. The
// result view and the summary read the finding back.
TEST_F(UnreadableMediaTest, FolderThatCannotBeListedIsAFindingAndItsFilesAreUnknown) {
    const std::vector<std::string> before = hostile::fingerprintTree(top);
    failAt("/SURVEY/TISEKI/DATA/CPROC_1", "", EIO);
    EXPECT_EQ(run({top.string()}), 0);  // the folder check's answer is not part of the run's
    EXPECT_GE(g_fault.hits, 3);
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(logNames(), std::vector<std::string>{"FolderCheck_001.log"});
    EXPECT_EQ(readBytes(logs / "FolderCheck_001.log"),
              cp(";チェックパス " + top.string() + "/\n"
                 "10001,SURVEY\\TISEKI\\DATA\\CPROC_1,フォルダ又はファイルを読み取れません,入出力エラーが発生しました\n"));

    const qm::RunSummary summary = qm::readRunSummary(logs.string(), 1, 1);
    ASSERT_EQ(summary.media.size(), 2u);
    EXPECT_TRUE(summary.anyFinding);
    EXPECT_TRUE(summary.media[0].anyLog);
    ASSERT_EQ(summary.media[0].types[0].findings.size(), 1u);
    EXPECT_EQ(summary.media[0].types[0].findings[0].number, 10001);
    EXPECT_EQ(summary.media[0].types[0].findings[0].location(), "SURVEY\\TISEKI\\DATA\\CPROC_1");
    EXPECT_EQ(summary.media[0].types[0].findings[0].message, "フォルダ又はファイルを読み取れません");
    EXPECT_FALSE(summary.media[1].anyLog);
    EXPECT_EQ(before, hostile::fingerprintTree(top));
}

// A management file that is there but cannot be read is the unreadable-place finding of
// its own check, with the reason, not a syntax error; that check and the medium are ×, and
// nothing it would describe is reported missing.
int failSurveyXml(const std::string& path) {
    return path.size() >= 18 && path.compare(path.size() - 18, 18, "/SURVEY/SURVEY.XML") == 0 ? EACCES : 0;
}

TEST_F(UnreadableMediaTest, ManagementFileThatCannotBeReadIsAnUnreadablePlace) {
    qm::setXmlReadFaultForTesting(&failSurveyXml);
    const int16_t result = run({top.string()});
    qm::setXmlReadFaultForTesting(nullptr);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(logNames(), std::vector<std::string>{"JobFileCheck_SUV_001.log"});
    EXPECT_EQ(readBytes(logs / "JobFileCheck_SUV_001.log"),
              cp("10001,SURVEY\\SURVEY.XML,0,フォルダ又はファイルを読み取れません,アクセスが拒否されました\n"));
    const qm::RunSummary summary = qm::readRunSummary(logs.string(), 1, 1);
    EXPECT_TRUE(summary.media[0].anyLog);
    EXPECT_FALSE(summary.media[0].types[2].ok());
    ASSERT_EQ(summary.media[0].types[2].findings.size(), 1u);
    EXPECT_EQ(summary.media[0].types[2].findings[0].number, qm::kUnreadableCode);
}

// DATA not listed and WORK absent: the selected process's folders are unknown, so the
// total does not say the process has none, and the totals report what was described in
// WORK (really absent) but nothing described in DATA (unknown). An entry whose date
// cannot be read is recorded instead of being judged out of the period.
TEST_F(UnreadableMediaTest, UnreadableAreaAndUnreadableDates) {
    failAt("/SURVEY/TISEKI/DATA", "", EACCES);
    fs::remove_all(top / "SURVEY" / "TISEKI" / "WORK");
    EXPECT_EQ(run({top.string()}), 1);
    EXPECT_EQ(logNames(), (std::vector<std::string>{"FolderCheck_001.log", "JobFileCheck_SUV_001.log",
                                                     "JobFileCheck_TSK_001.log"}));  // no 10701 total
    EXPECT_EQ(readBytes(logs / "FolderCheck_001.log"),
              cp(";チェックパス " + top.string() + "/\n"
                 "10001,SURVEY\\TISEKI\\DATA,フォルダ又はファイルを読み取れません,アクセスが拒否されました\n"));
    EXPECT_EQ(readBytes(logs / "JobFileCheck_SUV_001.log"),
              cp("30301,/SURVEY/測量情報/地籍調査記録フォルダパス名,1,記述されている成果フォルダが存在しません,"
                 "SURVEY/TISEKI/WORK/CPROC_1\n"));
    EXPECT_EQ(readBytes(logs / "JobFileCheck_TSK_001.log"),
              cp("30501,/SURV_DATA/地籍調査成果情報/地籍調査成果区分フォルダ名,1,記述されている成果フォルダが存在しません,WORK\n"
                 "30501,/SURV_DATA/地籍調査成果情報/地籍調査細区分フォルダ名,1,記述されている成果フォルダが存在しません,CPROC_1\n"
                 "30502,/SURV_DATA/地籍調査成果情報/成果ファイル情報/地籍調査成果ファイル名,1,"
                 "記述されている成果ファイルが存在しません,TC1A0001.XML\n"));

    buildCadastralMedium(top);
    failAt("/SURVEY/TISEKI/WORK/CPROC_1", "TC1A0001.XML", EOVERFLOW);
    EXPECT_EQ(run({top.string()}, true), 0);
    EXPECT_EQ(logNames(), std::vector<std::string>{"FolderCheck_001.log"});
    EXPECT_EQ(readBytes(logs / "FolderCheck_001.log"),
              cp(";チェックパス " + top.string() + "/\n"
                 "10001,SURVEY\\TISEKI\\WORK\\CPROC_1\\TC1A0001.XML,フォルダ又はファイルを読み取れません,"
                 "更新日時を読み取れません（大きすぎて読み取れません）\n"));
}

// A management file missing from a folder that cannot be listed is unknown, not absent:
// the folder's 10001 stands alone, without the element check's 20101 or totals about
// what the file would describe. Missing from a readable folder, it is reported as ever.
TEST_F(UnreadableMediaTest, ManagementFileInAFolderThatCannotBeListedIsNotMissing) {
    const std::string heading = ";チェックパス " + top.string() + "/\n";
    fs::remove(top / "SURVEY" / "TISEKI" / "SURV_TSK.XML");
    failAt("/SURVEY/TISEKI", "", EACCES);
    EXPECT_EQ(run({top.string()}), 0);
    EXPECT_EQ(logNames(), std::vector<std::string>{"FolderCheck_001.log"});
    EXPECT_EQ(readBytes(logs / "FolderCheck_001.log"),
              cp(heading + "10001,SURVEY\\TISEKI,フォルダ又はファイルを読み取れません,アクセスが拒否されました\n"));
    // Unknown is not ○: the summary names the folder for the check of that file only.
    qm::RunSummary summary = qm::readRunSummary(logs.string(), 1, 1);
    qm::markUnreadManagementFiles(summary, {top.string() + "/"});
    ASSERT_EQ(summary.media[0].types.size(), 4u);
    EXPECT_TRUE(summary.media[0].types[2].ok());
    EXPECT_EQ(summary.media[0].types[3].failure,
              "フォルダを読み取れないため、管理ファイルをチェックできませんでした: SURVEY\\TISEKI");

    buildCadastralMedium(top);
    fs::remove(top / "SURVEY" / "SURVEY.XML");
    failAt("/SURVEY", "", EACCES);
    EXPECT_EQ(run({top.string()}), 0);
    EXPECT_EQ(logNames(), std::vector<std::string>{"FolderCheck_001.log"});

    summary = qm::readRunSummary(logs.string(), 1, 1);
    qm::markUnreadManagementFiles(summary, {top.string() + "/"});
    EXPECT_FALSE(summary.media[0].types[2].ok());
    EXPECT_TRUE(summary.media[0].types[3].ok());  // found, and checked

    qm::setPlatformFaultForTesting(nullptr);
    fs::remove(top / "SURVEY" / "TISEKI" / "SURV_TSK.XML");
    run({top.string()});
    EXPECT_EQ(readBytes(logs / "JobFileCheck_SUV_001.log"), cp("20101,,0,管理ファイルが見つかりません,\n"));
    EXPECT_EQ(readBytes(logs / "JobFileCheck_TSK_001.log"), cp("20101,,0,管理ファイルが見つかりません,\n"));
}

// The relation check's own listings: a sub-folder it cannot list is recorded in the
// medium's folder log after its heading, and its described files are not missing.
TEST_F(UnreadableMediaTest, RelationCheckRecordsItsFailedListings) {
    const std::string t = top.string() + "/";
    const std::string tsk = t + "SURVEY/TISEKI/SURV_TSK.XML";
    const fs::path folderLog = logs / "FolderCheck_001.log";
    const fs::path tskLog = logs / "JobFileCheck_TSK_001.log";
    qm::CRelationCheck relation;
    relation.setResultType(1);
    relation.setAllowedRoot(t);
    ASSERT_TRUE(relation.getDocFilenameFromJobFile("", t + "SURVEY/SURVEY.XML", tsk));
    failAt("/SURVEY/TISEKI/WORK/CPROC_1", "", EIO);
    EXPECT_EQ(relation.checkRelation_Survey(t + "SURVEY/SURVEY.XML", t, "", folderLog.string()), 0);
    EXPECT_EQ(relation.checkRelation_Tiseki(tsk, t, tskLog.string(), folderLog.string()), 1);
    EXPECT_EQ(relation.checkXmlToVol_Total("", (logs / "JobFileCheck_SUV_001.log").string(), tskLog.string()), 0);
    EXPECT_EQ(logNames(), std::vector<std::string>{"FolderCheck_001.log"});
    EXPECT_EQ(readBytes(folderLog),
              cp(";チェックファイル " + tsk + "\n"
                 "10001,SURVEY\\TISEKI\\WORK\\CPROC_1,フォルダ又はファイルを読み取れません,入出力エラーが発生しました\n"));
}

// Items that only medium 2 holds, while medium 2's own SURVEY.XML and SURV_TSK.XML are
// missing (and then do not load): medium 2 is still searched for them, so the totals
// report only the file that no medium holds.
TEST_F(UnreadableMediaTest, ItemsOnAMediumWithoutItsOwnManagementFilesAreFound) {
    const fs::path second = root / "disc2";
    writeCp932(setting / "SURVEY_CHK_C.txt",
               qm::fromCp932(readBytes(setting / "SURVEY_CHK_C.txt")) +
                   "/SURVEY/測量情報/その他データフォルダパス名,10\n");
    buildCadastralMedium(top, {1, 2});
    std::string survey = qm::fromCp932(readBytes(top / "SURVEY" / "SURVEY.XML"));
    survey.insert(survey.rfind("</測量情報>"), "<その他データフォルダパス名>SURVEY/TISEKI/OTHRS</その他データフォルダパス名>");
    writeBytes(top / "SURVEY" / "SURVEY.XML", qm::toCp932(survey));
    std::string tsk = qm::fromCp932(readBytes(top / "SURVEY" / "TISEKI" / "SURV_TSK.XML"));
    const std::string more =
        "<地籍調査成果情報><地籍調査区分フォルダ名>TISEKI</地籍調査区分フォルダ名>"
        "<地籍調査成果区分フォルダ名>DATA</地籍調査成果区分フォルダ名><地籍調査細区分フォルダ名>CPROC_1</地籍調査細区分フォルダ名>"
        "<成果ファイル情報><地籍調査成果ファイル名>TC1B0002.PDF</地籍調査成果ファイル名></成果ファイル情報>"
        "<成果ファイル情報><地籍調査成果ファイル名>TC1B0003.PDF</地籍調査成果ファイル名></成果ファイル情報></地籍調査成果情報>\r\n"
        "<地籍調査成果情報><地籍調査区分フォルダ名>TISEKI</地籍調査区分フォルダ名>"
        "<地籍調査成果区分フォルダ名>OTHRS</地籍調査成果区分フォルダ名>"
        "<成果ファイル情報><地籍調査成果ファイル名>TOTA0001.PDF</地籍調査成果ファイル名></成果ファイル情報></地籍調査成果情報>\r\n";
    tsk.insert(tsk.find("</SURV_DATA>"), more);
    writeBytes(top / "SURVEY" / "TISEKI" / "SURV_TSK.XML", qm::toCp932(tsk));

    buildCadastralMedium(second, {2, 2});
    writeBytes(second / "SURVEY" / "TISEKI" / "DATA" / "CPROC_1" / "TC1B0002.PDF", "%PDF-1.4\n");
    writeBytes(second / "SURVEY" / "TISEKI" / "OTHRS" / "TOTA0001.PDF", "%PDF-1.4\n");
    const std::string onlyMissing =
        "30502,/SURV_DATA/地籍調査成果情報/成果ファイル情報/地籍調査成果ファイル名,4,記述されている成果ファイルが存在しません,"
        "TC1B0003.PDF\n";

    for (const bool broken : {false, true}) {
        SCOPED_TRACE(broken ? "management files that do not load" : "management files missing");
        for (const char* file : {"SURVEY/SURVEY.XML", "SURVEY/TISEKI/SURV_TSK.XML"}) {
            if (broken)
                writeBytes(second / file, "<?xml version=\"1.0\"?>\r\n<SURVEY><unclosed>\r\n");
            else
                fs::remove(second / file);
        }
        EXPECT_EQ(run({top.string(), second.string()}), 1);
        EXPECT_FALSE(fs::exists(logs / "JobFileCheck_SUV_001.log"));
        EXPECT_EQ(readBytes(logs / "JobFileCheck_TSK_001.log"), cp(onlyMissing));
    }
}

// Real permission denials, as a user meets them: a document folder that cannot be listed
// holds a misnamed file, and a process folder can be listed but its entries not examined
// (read without search permission) while the update dates are checked. The headless
// command reports both, marks the medium × and exits 1.
TEST_F(UnreadableMediaTest, PermissionDeniedFoldersUnderTheHeadlessCommand) {
    writeBytes(top / "SURVEY" / "DOC" / "bad name.txt", "x");
    ::chmod((top / "SURVEY" / "DOC").c_str(), 0);
    ::chmod((top / "SURVEY" / "TISEKI" / "WORK" / "CPROC_1").c_str(), 0444);
    ::chmod((top / "SURVEY" / "TISEKI" / "SURV_TSK.XML").c_str(), 0);
    ::chmod(root.c_str(), 0755);
    const bool asRoot = ::geteuid() == 0;
    const uid_t nobody = 65534;
    if (asRoot) ASSERT_EQ(::chown(logs.c_str(), nobody, nobody), 0);

    // The program runs from a folder of its own that every user can reach: the checkout
    // may lie below a folder that the unprivileged user cannot enter.
    const ProgramCopy program;
    ASSERT_FALSE(program.path.empty());
    const std::vector<std::string> args = {program.path, "--type", "1",
                                           "--processes", "C", "--from", "2000-01-01", "--to", "2999-12-31",
                                           "--setting-dir", setting.string(), "--log-dir", logs.string(),
                                           top.string()};
    const fs::path out = root / "out.txt";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0 || ::dup2(fd, 1) < 0) ::_exit(98);
        if (asRoot && (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
                       ::setresuid(nobody, nobody, nobody) != 0))
            ::_exit(99);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(97);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::chmod((top / "SURVEY" / "DOC").c_str(), 0755);
    ::chmod((top / "SURVEY" / "TISEKI" / "WORK" / "CPROC_1").c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 99) GTEST_SKIP() << "no unprivileged user to run as";
    const std::string stdoutText = readBytes(out);
    EXPECT_EQ(WEXITSTATUS(status), 1) << stdoutText;

    const std::string t = top.string() + "/";
    EXPECT_EQ(readBytes(logs / "FolderCheck_001.log"),
              cp(";チェックパス " + t + "\n"
                 "10001,SURVEY\\DOC,フォルダ又はファイルを読み取れません,アクセスが拒否されました\n"
                 "10001,SURVEY\\TISEKI\\WORK\\CPROC_1\\TC1A0001.XML,フォルダ又はファイルを読み取れません,"
                 "更新日時を読み取れません（アクセスが拒否されました）\n"
                 ";チェックファイル " + t + "SURVEY/SURVEY.XML\n"
                 "30401,SURVEY\\DOC,成果フォルダ名が測量情報管理ファイル(SURVEY.XML)に記述されていません,"
                 "/SURVEY/基礎情報/ドキュメント格納用フォルダ名\n"));
    // The management file that cannot be read is its check's finding; what it describes is
    // not reported missing.
    EXPECT_EQ(readBytes(logs / "JobFileCheck_TSK_001.log"),
              cp("10001,SURVEY\\TISEKI\\SURV_TSK.XML,0,フォルダ又はファイルを読み取れません,アクセスが拒否されました\n"));
    EXPECT_FALSE(fs::exists(logs / "FolderCheck_000.Log") || fs::exists(logs / "FolderCheck_000.log"));
    EXPECT_NE(stdoutText.find("成果1枚目 ×"), std::string::npos) << stdoutText;
    EXPECT_NE(stdoutText.find("SURVEY\\DOC"), std::string::npos) << stdoutText;
    EXPECT_NE(stdoutText.find("フォルダ又はファイルを読み取れません"), std::string::npos) << stdoutText;
    EXPECT_EQ(stdoutText.find("エラーは検出されませんでした"), std::string::npos) << stdoutText;
}

// Nested folders whose places outgrow the longest path a finding names: every level up to
// that length is listed and judged, the next one is recorded as a path too long, and the
// log stays bounded.
TEST_F(UnreadableMediaTest, PlacesLongerThanAnyPathEndTheWalkDownThere) {
    const std::string name(200, 'a');
    ASSERT_EQ(hostile::makeChain(top, name, 200), 200);
    EXPECT_EQ(run({top.string()}), 0);
    const auto found = qm::readLogFindings((logs / "FolderCheck_001.log").string(), true);
    const size_t listed = 32767 / (name.size() + 1);  // levels whose place fits
    // Each folder's name is judged (10201), the one past the length is not listed (10001).
    ASSERT_EQ(found.size(), listed + 2);
    EXPECT_EQ(found[listed].number, 10201);
    EXPECT_EQ(found[listed + 1].number, 10001);
    EXPECT_EQ(found[listed + 1].place.size(), (listed + 1) * (name.size() + 1) - 1);
    EXPECT_LT(fs::file_size(logs / "FolderCheck_001.log"), 4u << 20);
    const std::string text = qm::fromCp932(readBytes(logs / "FolderCheck_001.log"));
    EXPECT_NE(text.find(name + ",フォルダ又はファイルを読み取れません,パスが長すぎます\r\n"), std::string::npos);
}
