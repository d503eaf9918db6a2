// Hostile media: deliveries built to trip a checker up. Each case ends with a clear
// finding or message, the run goes on to its totals, the medium is left exactly as it
// was (names, kinds, sizes, contents, dates and link targets) and nothing outside the
// medium is read into a log.
#include "checks/checkrun.h"
#include "checks/inspection.h"
#include "checks/resultlog.h"
#include "checks/xmldoc.h"
#include "foundation/appstate.h"
#include "foundation/csvread.h"
#include "foundation/messages.h"
#include "foundation/text.h"
#include "hostile_fixture.h"
#include "run_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>

using namespace qmtest;
using hostile::fingerprintTree;
using hostile::firstDifference;

namespace {

// A log line read back: the items as CCsvRead gives them without trimming.
std::vector<std::vector<std::string>> rawRecords(const fs::path& file) {
    std::vector<std::vector<std::string>> out;
    qm::CCsvRead csv;
    if (!csv.OpenFile(file.string())) return out;
    while (!csv.IsEof()) {
        csv.ReadFile(false);
        std::vector<std::string> items;
        for (int i = 0; i < csv.ItemNum(); ++i) items.push_back(csv.ItemValue(i));
        out.push_back(items);
    }
    return out;
}

inline void touch(const fs::path& p) { writeBytes(p, ""); }

class HostileMediaTest : public ::testing::Test {
public:
    fs::path root = hostile::scratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path top = root / "disc";
    fs::path setting = root / "setting";
    fs::path logs = root / "logs";
    qm::AppState app;
    qm::RecordingMessageSink sink;
    qm::MessageSink* previous = nullptr;
    std::vector<std::string> before;

    void SetUp() override {
        buildSettingTables(setting);
        buildCadastralMedium(top);
        previous = qm::setMessageSink(&sink);
        app.settingPath = setting.string() + "/";
        ASSERT_TRUE(app.useLogFolder(logs.string()));
    }
    void TearDown() override {
        qm::setMessageSink(previous);
        hostile::removeTree(root);
    }

    // Takes the medium's fingerprint; call once the hostile medium is built.
    void sealMedium() { before = fingerprintTree(top); }
    void expectMediumUnchanged() {
        ASSERT_FALSE(before.empty());
        const std::vector<std::string> after = fingerprintTree(top);
        EXPECT_TRUE(before == after) << firstDifference(before, after);
    }

    // One whole check run of the medium (cadastral, process C).
    int16_t run(int16_t type = 1) { return runOn(top, type); }
    int16_t runOn(const fs::path& medium, int16_t type = 1) {
        qm::CheckRunInput in;
        in.resultType = type;
        in.mediaNum = 1;
        in.flags.flag[0] = 1;
        qmtest::ListedMedia loc(medium.string());
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
    // Every log of the run as UTF-8 text.
    std::string allLogText() const {
        std::string text;
        for (const std::string& n : logNames()) text += qm::fromCp932(readBytes(logs / n));
        return text;
    }
    std::vector<qm::LoggedFinding> findings(const std::string& name, bool structure) const {
        return qm::readLogFindings((logs / name).string(), structure);
    }
    std::string messagesText() const {
        std::string t;
        for (const auto& m : sink.shown) t += m.caption + ": " + m.text + "\n";
        return t;
    }
    // Nothing from outside the medium reached a log or a message.
    void expectNothingFromOutside() {
        const std::string text = allLogText() + messagesText();
        for (const char* leak : {"root:", "/bin/bash", "/usr/sbin/nologin", "daemon:"})
            EXPECT_EQ(text.find(leak), std::string::npos) << leak << " in\n" << text;
    }
};

}  // namespace

TEST_F(HostileMediaTest, LinksLoopsAndSpecialFilesAreNeverFollowedOrOpened) {
    const fs::path data = top / "SURVEY" / "TISEKI" / "DATA";
    fs::create_symlink("LOOP2", top / "LOOP1");
    fs::create_symlink("LOOP1", top / "LOOP2");
    fs::create_symlink("SELF", top / "SELF");
    fs::create_directory_symlink("..", top / "UP");
    fs::create_directory_symlink("/", data / "ROOT");
    fs::create_symlink("/etc/passwd", data / "CPROC_1" / "TC1B0002.PDF");
    ASSERT_EQ(::mkfifo((top / "PIPE").c_str(), 0600), 0);
    // A DTD that is a named pipe (opening it would wait for ever), a DTD that is a link
    // to a file outside the medium, and a management file that is such a link.
    writeCp932(top / "INDEX_D.XML",
               "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<!DOCTYPE gyomudata SYSTEM \"TIND_D01.DTD\">\n"
               "<gyomudata><基礎情報><メディア番号>1</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>\n");
    fs::remove(top / "TIND_D01.DTD");
    ASSERT_EQ(::mkfifo((top / "TIND_D01.DTD").c_str(), 0600), 0);
    std::string survey = readBytes(top / "SURVEY" / "SURVEY.XML");
    survey.insert(survey.find("\r\n") + 2, "<!DOCTYPE SURVEY SYSTEM \"TSUR_D01.DTD\">\r\n");
    writeBytes(top / "SURVEY" / "SURVEY.XML", survey);
    fs::remove(top / "SURVEY" / "TSUR_D01.DTD");
    fs::create_symlink("/etc/passwd", top / "SURVEY" / "TSUR_D01.DTD");
    fs::remove(top / "SURVEY" / "TISEKI" / "SURV_TSK.XML");
    fs::create_symlink("/etc/passwd", top / "SURVEY" / "TISEKI" / "SURV_TSK.XML");
    sealMedium();

    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(sink.shown.empty()) << messagesText();
    const std::string t = top.string() + "/";
    EXPECT_EQ(logNames(), (std::vector<std::string>{"FolderCheck_001.log", "JobFileCheck_IND_001.log",
                                                     "JobFileCheck_SUV_001.log", "JobFileCheck_TSK_001.log"}));
    // Links and pipes are entries, not files: the required DTDs and files are missing.
    EXPECT_EQ(readBytes(logs / "FolderCheck_001.log"),
              qm::toCp932(toCrlf(";チェックパス " + t + "\n"
                                 "10402,TIND_Dnn.DTD,業務管理ファイル用DTDが存在しません,\n"
                                 "10402,SURVEY\\TSUR_Dnn.DTD,測量情報管理ファイル用DTDが存在しません,\n"
                                 "10402,SURVEY\\TISEKI\\SURV_TSK.XML,地籍調査管理ファイルが存在しません,\n")));
    auto ind = findings("JobFileCheck_IND_001.log", false);
    ASSERT_EQ(ind.size(), 1u);
    EXPECT_LT(ind[0].number, 0);
    EXPECT_EQ(ind[0].place, "XML構文エラー(2行)");
    EXPECT_EQ(ind[0].message, "DTDファイルが通常のファイルではありません: " + t + "TIND_D01.DTD");
    auto suv = findings("JobFileCheck_SUV_001.log", false);
    ASSERT_EQ(suv.size(), 1u);
    EXPECT_EQ(suv[0].place, "XML構文エラー(2行)");
    EXPECT_EQ(suv[0].message, "許可されたフォルダの外にあるDTDファイルの読み込みを拒否しました: " + t + "SURVEY/TSUR_D01.DTD");
    auto tsk = findings("JobFileCheck_TSK_001.log", false);
    ASSERT_EQ(tsk.size(), 1u);
    EXPECT_EQ(tsk[0].number, 20101);
    EXPECT_EQ(tsk[0].message, "管理ファイルが見つかりません");
    expectMediumUnchanged();
    expectNothingFromOutside();
}

// Folders nested far deeper than a path can name: every level is listed (relative to an
// open folder above it), the deepest one is found empty, and the rest of the medium is
// walked after the chain.
TEST_F(HostileMediaTest, FolderChainDeeperThanAnyPath) {
    const int depth = hostile::makeChain(top, "D", 6000);
    ASSERT_GE(depth, 2100) << "the file system refused deeper folders";
    hostile::makeChain(top, "Z", 1);  // after the chain in listing order: still walked
    sealMedium();

    EXPECT_EQ(run(), 0);  // the folder check's answer is not part of the run's
    EXPECT_TRUE(sink.shown.empty()) << messagesText();
    std::string deepest = "D";
    for (int i = 1; i < depth; ++i) deepest += "\\D";
    auto folder = findings("FolderCheck_001.log", true);
    ASSERT_EQ(folder.size(), 2u);
    EXPECT_EQ(folder[0].number, 10101);
    EXPECT_EQ(folder[0].place, deepest);
    EXPECT_EQ(folder[1].number, 10101);
    EXPECT_EQ(folder[1].place, "Z");
    expectMediumUnchanged();
}

// A folder holding a great many files: every name is judged once, in bounded time.
// 50,000 files here; FolderWith200000Files (disabled by default, run with
// --gtest_also_run_disabled_tests) takes the full count.
void makeFiles(const fs::path& folder, int count) {
    fs::create_directories(folder);
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dfd, 0);
    char name[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "F%07d.TXT", i);
        const int fd = ::openat(dfd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << name;
        ::close(fd);
    }
    ::close(dfd);
}

void crowdedFolder(HostileMediaTest& t, int count) {
    makeFiles(t.top / "MANY", count);
    // Two names that break the rule among them, and one at the end of the listing.
    touch(t.top / "MANY" / "f0000000.TXT");
    touch(t.top / "MANY" / "ZZZZZZZZZ.TXT");
    t.sealMedium();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(t.run(), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cerr << count << " files checked in " << seconds << " s\n";
    EXPECT_TRUE(t.sink.shown.empty()) << t.messagesText();
    auto folder = t.findings("FolderCheck_001.log", true);
    ASSERT_EQ(folder.size(), 2u);
    EXPECT_EQ(folder[0].place, "MANY\\f0000000.TXT");
    EXPECT_EQ(folder[1].place, "MANY\\ZZZZZZZZZ.TXT");
    t.expectMediumUnchanged();
}

TEST_F(HostileMediaTest, FolderWith50000Files) { crowdedFolder(*this, 50000); }
TEST_F(HostileMediaTest, DISABLED_FolderWith200000Files) { crowdedFolder(*this, 200000); }

// Names with commas, quotation marks, line breaks, tabs, blanks, bytes that are not
// UTF-8 and characters without a CP932 code: each is judged by the name rules once, and
// every line of the log reads back into its four fields.
TEST_F(HostileMediaTest, AwkwardNamesAreJudgedOnceAndTheirLinesReadBack) {
    const fs::path odd = top / "ODD";
    struct Case {
        std::string raw;       // the name on the medium (bytes)
        bool folder;
        std::string place;     // the place as the result view reads it back
    };
    const std::vector<Case> cases = {
        {"A,B.TXT", false, "ODD\\A,B.TXT"},
        {"A\"B.TXT", false, "ODD\\A\"B.TXT"},
        {"C\rR.TXT", false, "ODD\\C R.TXT"},
        {"L\nF.TXT", false, "ODD\\L F.TXT"},
        {"T\tB.TXT", false, "ODD\\T\tB.TXT"},
        {" LEAD.TXT", false, "ODD\\ LEAD.TXT"},
        {"\xFF\xFE.TXT", false, "ODD\\??.TXT"},                  // neither UTF-8 nor CP932
        {"\x83\x65\x83\x58\x83\x67.TXT", false, "ODD\\テスト.TXT"},  // CP932 from a Windows disc
        {"A\xC3\xA9.TXT", false, "ODD\\A?.TXT"},                // é has no CP932 code
        {"B\xF0\x9F\x98\x80.TXT", false, "ODD\\B?.TXT"},        // nor has an emoji
        {"Q,\"X\r\n.TXT", false, "ODD\\Q,＂X  .TXT"},           // quoted field: its mark goes full width
        {"F,1", true, "ODD\\F,1"},
        {"F\n2", true, "ODD\\F 2"},
        {"\xFF", true, "ODD\\?"},
        {"G\xC3\xA9", true, "ODD\\G?"},
    };
    for (const Case& c : cases) {
        if (c.folder)
            touch(odd / c.raw / "X.TXT");
        else
            touch(odd / c.raw);
    }
    touch(top / "\"Q.TXT");  // at the top: the place itself begins with a quotation mark
    sealMedium();

    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(sink.shown.empty()) << messagesText();
    std::map<std::string, int> expected, got;
    for (const Case& c : cases) {
        expected[std::to_string(c.folder ? 10201 : 10203) + " " + c.place + " " +
                 (c.folder ? "フォルダ名が半角英大文字又は数字8文字で命名されていません"
                           : "ファイル名が半角英大文字又は数字8+4文字以内で命名されていません")]++;
    }
    expected["10203 ＂Q.TXT ファイル名が半角英大文字又は数字8+4文字以内で命名されていません"]++;
    for (const auto& f : findings("FolderCheck_001.log", true))
        got[std::to_string(f.number) + " " + f.place + " " + f.message]++;
    EXPECT_EQ(got, expected);

    // Line by line, untrimmed: a heading, then four items to every finding.
    const auto records = rawRecords(logs / "FolderCheck_001.log");
    ASSERT_EQ(records.size(), cases.size() + 2);
    EXPECT_EQ(records[0][0].rfind(";チェックパス ", 0), 0u);
    for (size_t i = 1; i < records.size(); ++i) {
        ASSERT_EQ(records[i].size(), 4u) << i;
        EXPECT_TRUE(records[i][0] == "10201" || records[i][0] == "10203") << records[i][0];
        EXPECT_EQ(records[i][3], "");
    }
    expectMediumUnchanged();
}

// A result management file of about 100 MB: checked by the headless command within
// bounded memory and time, nothing reported for what is in order.
TEST_F(HostileMediaTest, HundredMegabyteManagementFile) {
    std::string table = readBytes(setting / "SURV_TSK_CHK_C.txt");
    table += qm::toCp932("/SURV_DATA/地籍調査成果情報/成果ファイル情報/地籍調査成果ファイル名副題,8,1,1000,0,0\r\n");
    writeBytes(setting / "SURV_TSK_CHK_C.txt", table);

    const std::string head = qm::toCp932(
        "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<SURV_DATA>\r\n"
        "<地籍調査成果情報><地籍調査区分フォルダ名>TISEKI</地籍調査区分フォルダ名>"
        "<地籍調査成果区分フォルダ名>DATA</地籍調査成果区分フォルダ名><地籍調査細区分フォルダ名>CPROC_1</地籍調査細区分フォルダ名>"
        "<成果ファイル情報><地籍調査成果ファイル名>TC1B0001.PDF</地籍調査成果ファイル名></成果ファイル情報></地籍調査成果情報>\r\n"
        "<地籍調査成果情報><地籍調査区分フォルダ名>TISEKI</地籍調査区分フォルダ名>"
        "<地籍調査成果区分フォルダ名>WORK</地籍調査成果区分フォルダ名><地籍調査細区分フォルダ名>CPROC_1</地籍調査細区分フォルダ名>\r\n"
        "<成果ファイル情報><地籍調査成果ファイル名>TC1A0001.XML</地籍調査成果ファイル名></成果ファイル情報>\r\n");
    std::string subtitle;
    for (int i = 0; i < 40; ++i) subtitle += "一筆地調査の記録";
    // Entries that name no file (a file named twice would be reported as missing from its
    // second naming on): nothing to report, and the whole tree to build and walk.
    const std::string entry = qm::toCp932("<成果ファイル情報><地籍調査成果ファイル名副題>" + subtitle +
                                          "</地籍調査成果ファイル名副題></成果ファイル情報>\r\n");
    const std::string tail = qm::toCp932("</地籍調査成果情報>\r\n</SURV_DATA>\r\n");
#if defined(__SANITIZE_ADDRESS__)
    const size_t bytes = 25u << 20;  // the sanitizer's own overhead in memory and time
#else
    const size_t bytes = 100u << 20;
#endif
    const size_t entries = bytes / entry.size();
    {
        std::string xml;
        xml.reserve(head.size() + entries * entry.size() + tail.size());
        xml += head;
        for (size_t i = 0; i < entries; ++i) xml += entry;
        xml += tail;
        writeBytes(top / "SURVEY" / "TISEKI" / "SURV_TSK.XML", xml);
    }
    sealMedium();

    const auto start = std::chrono::steady_clock::now();
    const hostile::ChildRun r = hostile::runCommand(
        {std::string(QM_BINARY_DIR) + "/quillmark-check", "--setting-dir", setting.string(), "--log-dir",
         logs.string(), top.string()},
        root);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cerr << entries << " entries: " << seconds << " s, peak " << r.peakRssKb / 1024 << " MB\n";
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.signal, 0);
    EXPECT_LT(r.peakRssKb, 1024L * 1024) << "peak resident size in kB";
    EXPECT_TRUE(logNames().empty()) << r.out;
    expectMediumUnchanged();
}

// A management file and a result file of 100 GB (sparse: they take no room) are never
// read, and an empty INDEX_D.XML is a parse failure like any other.
TEST_F(HostileMediaTest, HugeSparseFilesAreNotReadAndAnEmptyIndexIsReported) {
    const uint64_t huge = 100ull << 30;
    auto sparse = [&](const fs::path& p) {
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(huge)), 0) << std::strerror(errno);
        ::close(fd);
    };
    sparse(top / "SURVEY" / "TISEKI" / "SURV_TSK.XML");  // its text first, then 100 GB of nothing
    sparse(top / "SURVEY" / "TISEKI" / "DATA" / "CPROC_1" / "TC1B0002.PDF");
    writeBytes(top / "INDEX_D.XML", "");
    sealMedium();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run(), 1);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
    EXPECT_TRUE(sink.shown.empty()) << messagesText();
    EXPECT_EQ(logNames(), (std::vector<std::string>{"JobFileCheck_IND_001.log", "JobFileCheck_TSK_001.log"}));
    auto ind = findings("JobFileCheck_IND_001.log", false);
    ASSERT_EQ(ind.size(), 1u);
    EXPECT_LT(ind[0].number, 0);
    EXPECT_EQ(ind[0].place.rfind("XML構文エラー(", 0), 0u) << ind[0].place;
    EXPECT_EQ(ind[0].message.rfind("XMLの内容がありません", 0), 0u) << ind[0].message;
    auto tsk = findings("JobFileCheck_TSK_001.log", false);
    ASSERT_EQ(tsk.size(), 1u);
    EXPECT_EQ(tsk[0].place, "XML構文エラー(0行)");
    EXPECT_EQ(tsk[0].message, "ファイルが大きすぎます(上限128MB): " + top.string() + "/SURVEY/TISEKI/SURV_TSK.XML");
    expectMediumUnchanged();
}

// SURVEY\TISEKI is a link to a folder outside the medium that holds a management file:
// the file is not read, so nothing it says reaches a log.
TEST_F(HostileMediaTest, ManagementFileBehindALinkedFolderIsNotRead) {
    const fs::path elsewhere = root / "elsewhere" / "TISEKI";
    fs::create_directories(root / "elsewhere");
    fs::rename(top / "SURVEY" / "TISEKI", elsewhere);
    std::string tsk = qm::fromCp932(readBytes(elsewhere / "SURV_TSK.XML"));
    tsk.replace(tsk.find("CPROC_1"), 7, "OUTSIDE1");
    writeBytes(elsewhere / "SURV_TSK.XML", qm::toCp932(tsk));
    fs::create_directory_symlink(elsewhere, top / "SURVEY" / "TISEKI");
    sealMedium();
    const auto outside = fingerprintTree(root / "elsewhere");

    EXPECT_EQ(run(), 1);
    const std::string text = allLogText() + messagesText();
    EXPECT_EQ(text.find("OUTSIDE1"), std::string::npos) << text;
    auto tskLog = findings("JobFileCheck_TSK_001.log", false);
    ASSERT_EQ(tskLog.size(), 1u) << text;
    EXPECT_EQ(tskLog[0].place, "XML構文エラー(0行)");
    EXPECT_EQ(tskLog[0].message, "許可されたフォルダの外にあるファイルの読み込みを拒否しました: " + top.string() +
                                     "/SURVEY/TISEKI/SURV_TSK.XML");
    expectMediumUnchanged();
    EXPECT_EQ(fingerprintTree(root / "elsewhere"), outside);
}

// Hostile XML in INDEX_D.XML (and the DTD it names): each is one parse failure line
// that says why, or the findings of a document that did load; nothing outside the
// medium is read and no connection is attempted.
TEST_F(HostileMediaTest, HostileXml) {
    hostile::LoopbackListener listener;  // port 0 where there is no network at all
    const std::string port = std::to_string(listener.port() ? listener.port() : 9);
    const std::string decl = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n";
    const std::string body = "<gyomudata><基礎情報><メディア番号>1</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>\n";
    const std::string dtd = "<!ELEMENT gyomudata (基礎情報)>\n<!ELEMENT 基礎情報 (メディア番号,メディア総枚数)>\n"
                            "<!ELEMENT メディア番号 (#PCDATA)>\n<!ELEMENT メディア総枚数 (#PCDATA)>\n";
    auto withDoctype = [&](const std::string& subset) {
        return decl + "<!DOCTYPE gyomudata [\n" + dtd + subset + "]>\n";
    };
    std::string laughs = "<!ENTITY a0 \"lollollollollollollollollollol\">\n";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY a" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) laughs += "&a" + std::to_string(i - 1) + ";";
        laughs += "\">\n";
    }
    std::string quadratic = "<!ENTITY big \"" + std::string(100000, 'x') + "\">\n";
    std::string refs;
    for (int i = 0; i < 20000; ++i) refs += "&big;";
    std::string deep;
    for (int i = 0; i < 50000; ++i) deep += "<基礎情報>";
    std::string many = decl + "<gyomudata>";
    for (int i = 0; i < 1000001; ++i) many += "<X/>";
    many += "</gyomudata>\n";

    struct Case {
        std::string name;
        std::string index;                               // INDEX_D.XML as CP932 (or raw bytes)
        std::vector<std::pair<std::string, std::string>> extra;  // other files of the medium
        std::string expect;  // the message the failure line begins with, or "" for a loaded document
        std::vector<int32_t> codes = {};  // the findings of a loaded document
        bool raw = false;    // index holds the bytes as they are (not CP932)
    };
    auto utf16le = [](const std::string& utf8) {
        std::string out = "\xFF\xFE";
        const std::u32string chars = [&] {
            std::u32string r;
            for (size_t i = 0; i < utf8.size();) {
                const auto c = static_cast<unsigned char>(utf8[i]);
                const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
                char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
                for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
                r += cp;
                i += len;
            }
            return r;
        }();
        for (char32_t cp : chars) {
            out += static_cast<char>(cp & 0xFF);
            out += static_cast<char>((cp >> 8) & 0xFF);
        }
        return out;
    };
    const std::vector<Case> cases = {
        {"laughs", withDoctype(laughs) + "<gyomudata><基礎情報><メディア番号>&a9;</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>", {},
         "実体参照の展開が上限を超えました"},
        {"quadratic", withDoctype(quadratic) + "<gyomudata><基礎情報><メディア番号>" + refs + "</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>", {},
         "実体参照の展開が上限を超えました"},
        {"passwd", withDoctype("<!ENTITY x SYSTEM \"/etc/passwd\">\n") + "<gyomudata><基礎情報><メディア番号>&x;</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>", {},
         "許可されたフォルダの外にある外部実体ファイルの読み込みを拒否しました"},
        {"relative", withDoctype("<!ENTITY x SYSTEM \"../../../../../../../../etc/passwd\">\n") + "<gyomudata><基礎情報><メディア番号>&x;</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>", {},
         "許可されたフォルダの外にある外部実体ファイルの読み込みを拒否しました"},
        {"linkentity", withDoctype("<!ENTITY x SYSTEM \"NAME.TXT\">\n") + "<gyomudata><基礎情報><メディア番号>&x;</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>",
         {{"NAME.TXT", "->/etc/passwd"}}, "許可されたフォルダの外にある外部実体ファイルの読み込みを拒否しました"},
        {"httpentity", withDoctype("<!ENTITY x SYSTEM \"http://127.0.0.1:" + port + "/x\">\n") + "<gyomudata><基礎情報><メディア番号>&x;</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>", {},
         "URLで指定された外部実体ファイルの読み込みを拒否しました"},
        {"httpdtd", decl + "<!DOCTYPE gyomudata SYSTEM \"http://127.0.0.1:" + port + "/TIND_D01.DTD\">\n" + body, {},
         "URLで指定されたDTDファイルの読み込みを拒否しました"},
        {"publicdtd", decl + "<!DOCTYPE gyomudata PUBLIC \"-//X//DTD X//EN\" \"https://127.0.0.1:" + port + "/x.dtd\">\n" + body, {},
         "URLで指定されたDTDファイルの読み込みを拒否しました"},
        {"dtdnamesurl", decl + "<!DOCTYPE gyomudata SYSTEM \"TIND_D01.DTD\">\n" + body,
         {{"TIND_D01.DTD", dtd + "<!ENTITY % ext SYSTEM \"http://127.0.0.1:" + port + "/evil.dtd\">\n%ext;\n"}},
         "URLで指定されたDTDファイルの読み込みを拒否しました"},
        {"parameterpasswd", decl + "<!DOCTYPE gyomudata [\n<!ENTITY % p SYSTEM \"file:///etc/passwd\">\n%p;\n]>\n" + body, {},
         "許可されたフォルダの外にある"},
        {"deep", decl + "<gyomudata>" + deep, {}, "XMLの形式が正しくありません"},
        {"elements", many, {}, "要素の数が上限(1000000)を超えています"},
        {"truncated", (decl + body).substr(0, decl.size() + 40), {}, "XMLの形式が正しくありません"},
        {"malformeddtd", decl + "<!DOCTYPE gyomudata SYSTEM \"TIND_D01.DTD\">\n" + body,
         {{"TIND_D01.DTD", "<!ELEMENT gyomudata (基礎情報\n<!ATTLIST"}}, "DTDまたは外部実体の形式が正しくありません"},
        {"hugedtd", decl + "<!DOCTYPE gyomudata SYSTEM \"TIND_D01.DTD\">\n" + body, {{"TIND_D01.DTD", "sparse"}},
         "DTDファイルが大きすぎます(上限128MB)"},
        {"missingdtd", decl + "<!DOCTYPE gyomudata SYSTEM \"TIND_D09.DTD\">\n" + body, {}, "DTDファイルが見つかりません"},
        {"unknownencoding", "<?xml version=\"1.0\" encoding=\"X-NO-SUCH-CODE\"?>\n" + body, {},
         "宣言された文字コードに対応していません"},
        {"xinclude", decl + "<gyomudata xmlns:xi=\"http://www.w3.org/2001/XInclude\"><基礎情報><メディア番号>1</メディア番号>"
                            "<メディア総枚数>1</メディア総枚数></基礎情報><xi:include href=\"/etc/passwd\" parse=\"text\"/></gyomudata>", {}, "",
         {20601}},
        {"utf16", utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" + body), {}, "", {20103}, true},
        {"utf8bom", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + body, {}, "", {20103}, true},
        // A byte order mark of UTF-8 before a Shift_JIS declaration: the text is read as
        // declared, and UTF-8 bytes are no Shift_JIS.
        {"utf8bomsjis", "\xEF\xBB\xBF" + decl + body, {}, "文字コードが正しくありません", {}, true},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path medium = root / ("m-" + c.name);
        buildCadastralMedium(medium);
        writeBytes(medium / "INDEX_D.XML", c.raw ? c.index : qm::toCp932(c.index));
        for (const auto& [name, content] : c.extra) {
            fs::remove(medium / name);
            if (content.rfind("->", 0) == 0) {
                fs::create_symlink(content.substr(2), medium / name);
            } else if (content == "sparse") {  // 100 GB that take no room
                writeBytes(medium / name, qm::toCp932(dtd));
                ASSERT_EQ(::truncate((medium / name).c_str(), static_cast<off_t>(100ull << 30)), 0);
            } else
                writeBytes(medium / name, qm::toCp932(content));
        }
        const auto sealed = fingerprintTree(medium);
        sink.shown.clear();
        EXPECT_GE(runOn(medium), 0);
        auto ind = findings("JobFileCheck_IND_001.log", false);
        if (c.expect.empty()) {
            std::vector<int32_t> codes;
            for (const auto& f : ind) codes.push_back(f.number);
            EXPECT_EQ(codes, c.codes) << allLogText();
        } else {
            ASSERT_EQ(ind.size(), 1u) << allLogText();
            EXPECT_LT(ind[0].number, 0);
            EXPECT_EQ(ind[0].place.rfind("XML構文エラー(", 0), 0u) << ind[0].place;
            EXPECT_EQ(ind[0].message.rfind(c.expect, 0), 0u) << ind[0].message;
        }
        EXPECT_TRUE(sink.shown.empty()) << messagesText();
        expectNothingFromOutside();
        EXPECT_TRUE(fingerprintTree(medium) == sealed) << firstDifference(sealed, fingerprintTree(medium));
    }
    EXPECT_FALSE(listener.connected()) << "a connection was attempted";
}

// Setting tables beyond their limits: a structure table line of 129 items, a 31st row of
// the PDF order table, element tables with 101 items on a line and numbers too large for
// their columns. Each gives its failure box, and the run goes on with what could be read.
// (The deliverables list table is read by a view of its own, not by the run.)
TEST_F(HostileMediaTest, SettingTablesBeyondTheirLimits) {
    std::string wide = "SURVEY\\TISEKI\\X";
    for (int i = 1; i < 129; ++i) wide += ",x";
    writeCp932(setting / "FileInfo_C.txt",
               ";path pattern,description\n"
               "SURVEY\\TISEKI\\WORK\\CPROC_?\\TC?A####.XML,記録\n" + wide + "\n"
               "SURVEY\\TISEKI\\DATA\\CPROC_?\\TC?B####.PDF,成果\n");
    std::string order = ";process,folder,kind,order\n";
    for (int i = 0; i < 31; ++i) order += "C,DATA,B" + std::to_string(i % 10) + ",1\n";
    writeCp932(setting / "PdfOrder_Chk_C.txt", order);
    std::string index = readBytes(setting / "INDEX_D_CHK.txt");
    std::string items = "/gyomudata/X";
    for (int i = 1; i < 101; ++i) items += ",0";
    writeBytes(setting / "INDEX_D_CHK.txt", index + qm::toCp932(items + "\r\n"));
    writeCp932(setting / "SURVEY_CHK_C.txt", "/SURVEY,0\n/SURVEY/基礎情報,0\n/SURVEY/基礎情報/適用要領基準,8,1,40000,1,0\n");
    writeCp932(setting / "SURV_TSK_CHK_C.txt", "/SURV_DATA,0\n/SURV_DATA/地籍調査成果情報,0,256\n");
    sealMedium();

    EXPECT_EQ(run(), 0);
    EXPECT_EQ(messagesText(), "loadSetting: 9 インデックスが有効範囲にありません。\n"
                              "checkResultFile: 9 Subscript out of range\n"
                              "ReadList: 9 インデックスが有効範囲にありません。 (5行目: 項目が100を超えています)\n"
                              "ReadList: 6 オーバーフローしました。 (3行目 文字数: 40000)\n"
                              "ReadList: 6 オーバーフローしました。 (2行目 文字数の種類: 256)\n");
    // The rows before the over-long line are used, the rows after it are not.
    EXPECT_EQ(logNames(), std::vector<std::string>{"FolderCheck_001.log"});
    auto folder = findings("FolderCheck_001.log", true);
    ASSERT_EQ(folder.size(), 1u);
    EXPECT_EQ(folder[0].number, 10902);
    EXPECT_EQ(folder[0].place, "SURVEY\\TISEKI\\DATA\\CPROC_1\\TC1B0001.PDF");
    // The element checks could not be made, the relation checks were: the folders and
    // files the management files name are present, so the totals report none of them.
    expectMediumUnchanged();
}

// What the document service itself refuses, whoever asks: a management file that is a
// link (also to a good file), a named pipe, a folder, or a file outside the allowed root.
TEST_F(HostileMediaTest, DocumentsThatAreLinksPipesOrOutsideTheRootAreNotRead) {
    const fs::path outside = root / "elsewhere";
    buildCadastralMedium(outside, {2, 3});
    fs::remove(top / "INDEX_D.XML");
    fs::create_symlink(outside / "INDEX_D.XML", top / "INDEX_D.XML");
    fs::create_symlink("SURVEY/SURVEY.XML", top / "LINK.XML");
    ASSERT_EQ(::mkfifo((top / "PIPE.XML").c_str(), 0600), 0);
    fs::create_directories(top / "DIR.XML");
    sealMedium();

    qm::XmlDocument doc;
    doc.setAllowedRoot(top.string());
    EXPECT_FALSE(doc.load((top / "INDEX_D.XML").string()));
    EXPECT_EQ(doc.parseError().reason,
              "許可されたフォルダの外にあるファイルの読み込みを拒否しました: " + (top / "INDEX_D.XML").string());
    EXPECT_FALSE(doc.load((top / "LINK.XML").string()));
    EXPECT_EQ(doc.parseError().reason, "シンボリックリンクのファイルは読み込みません: " + (top / "LINK.XML").string());
    EXPECT_FALSE(doc.load((top / "PIPE.XML").string()));
    EXPECT_EQ(doc.parseError().reason, "ファイルが通常のファイルではありません: " + (top / "PIPE.XML").string());
    EXPECT_FALSE(doc.load((top / "DIR.XML").string()));
    EXPECT_EQ(doc.parseError().reason, "ファイルが通常のファイルではありません: " + (top / "DIR.XML").string());
    EXPECT_FALSE(doc.load((outside / "SURVEY" / "SURVEY.XML").string()));
    EXPECT_EQ(doc.parseError().reason.rfind("許可されたフォルダの外にあるファイルの読み込みを拒否しました: ", 0), 0u);
    EXPECT_LT(doc.parseError().errorCode, 0);

    // The inspection before a run does not take the media count from the linked file.
    int16_t count = 0, number = 0;
    EXPECT_FALSE(qm::JudgeMediaNum((top / "INDEX_D.XML").string(), count, number));
    EXPECT_EQ(count, 0);
    expectMediumUnchanged();
}

// The same kind of names in a process folder: the name rule, the result file rules and
// the relation check each report them once, and every line reads back into its fields.
TEST_F(HostileMediaTest, AwkwardNamesInAProcessFolder) {
    const fs::path cproc = top / "SURVEY" / "TISEKI" / "DATA" / "CPROC_1";
    touch(cproc / "TC1B0002,.PDF");
    touch(cproc / "TC1B\n0003.PDF");
    touch(cproc / "TC1B0004.P\"F");
    touch(cproc / "\xFF\xFE");
    touch(top / "SURVEY" / "TISEKI" / "WORK" / "CP,1" / "A.TXT");
    sealMedium();

    EXPECT_EQ(run(), 1);  // the relation findings count
    EXPECT_TRUE(sink.shown.empty()) << messagesText();
    const std::string d = "SURVEY\\TISEKI\\DATA\\CPROC_1\\";
    const std::string w = "SURVEY\\TISEKI\\WORK\\CP,1";
    std::vector<std::string> got;
    for (const auto& f : findings("FolderCheck_001.log", true)) got.push_back(std::to_string(f.number) + " " + f.place);
    EXPECT_EQ(got, (std::vector<std::string>{
                       "10203 " + d + "TC1B 0003.PDF", "10203 " + d + "TC1B0002,.PDF", "10203 " + d + "TC1B0004.P\"F",
                       "10203 " + d + "??", "10201 " + w, "10501 " + w, "10901 " + d + "TC1B 0003.PDF",
                       "10901 " + d + "TC1B0002,.PDF", "10902 " + d + "TC1B0004.P\"F", "10901 " + d + "??",
                       "30401 " + w, "30601 " + w, "30602 " + d + "TC1B 0003.PDF", "30602 " + d + "TC1B0002,.PDF",
                       "30602 " + d + "TC1B0004.P\"F", "30602 " + d + "??"}));
    for (const auto& record : rawRecords(logs / "FolderCheck_001.log")) {
        if (record[0].rfind(";", 0) == 0) continue;
        EXPECT_EQ(record.size(), 4u) << record[0] << " " << record[1];
    }
    expectMediumUnchanged();
}

// The medium every case starts from is clean: whatever a case finds, its hostile part put it there.
TEST_F(HostileMediaTest, TheMediumCasesStartFromIsClean) {
    sealMedium();
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(logNames().empty());
    EXPECT_TRUE(sink.shown.empty()) << messagesText();
    expectMediumUnchanged();
}
