// Hostile media: deliveries built to trip a checker up. Each case ends with a clear
// finding or message, the run goes on to its totals, the medium is left exactly as it
// was (names, kinds, sizes, contents, dates and link targets) and nothing outside the
// medium is read into a log.
#include "checks/checkrun.h"
#include "checks/jobfilecheck.h"
#include "checks/resultlog.h"
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
#include <deque>
#include <map>

using namespace qmtest;
using hostile::fingerprintTree;
using hostile::firstDifference;

namespace {

class OneMedium : public qm::MediumLocator {
public:
    explicit OneMedium(std::string top) : top_(std::move(top)) {}
    std::optional<std::string> askMedium(int n, const std::string&) override {
        if (n == 1) return top_;
        return std::nullopt;
    }
private:
    std::string top_;
};

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

class HostileMediaTest : public ::testing::Test {
protected:
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
    int16_t run(int16_t type = 1) {
        qm::CheckRunInput in;
        in.resultType = type;
        in.mediaNum = 1;
        in.flags.flag[0] = 1;
        OneMedium loc(top.string());
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
    void dump() const {
        for (const std::string& n : logNames()) std::cerr << "== " << n << "\n" << qm::fromCp932(readBytes(logs / n));
        std::cerr << "== messages\n" << messagesText();
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
    EXPECT_EQ(ind[0].message, "DTDファイルを読み込めません: " + t + "TIND_D01.DTD");
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

TEST_F(HostileMediaTest, Explore) {
    sealMedium();
    EXPECT_EQ(run(), 0);
    dump();
    expectMediumUnchanged();
    expectNothingFromOutside();
}
