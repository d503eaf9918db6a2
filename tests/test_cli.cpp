// quillmark-check as a user meets it: its help, the folders it is given, its log
// folder, its setting folder, its dates and what it prints.
#include "models/foldertree.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/text.h"
#include "run_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>

using namespace qmtest;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliTest : public ::testing::Test {
protected:
    TempDir tmp{"cli"};
    fs::path setting = tmp.path() / "setting";
    fs::path logs = tmp.path() / "logs";
    void SetUp() override { buildSettingTables(setting); }
    std::string medium(const std::string& name = "disc1") {
        buildCadastralMedium(tmp.path() / name);
        return (tmp.path() / name).string() + "/";
    }
    std::string withSetting() const { return "--setting-dir " + shellQuote(setting.string()) + " "; }
    std::string common() const { return withSetting() + "--log-dir " + shellQuote(logs.string()) + " "; }
    CliResult run(const std::string& args) { return runCli(args, tmp.path()); }
};

}  // namespace

TEST_F(CliTest, HelpVersionAndTheCommandLine) {
    CliResult help = run("--help");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* part : {"--type", "--processes", "--from", "--to", "--setting-dir", "--log-dir", "--json",
                             "--version", "PE", "空中三角測量（併用法）", "G' 街区面積計算", "FolderCheck_000.Log",
                             "quillmark_log", "終了コード", "  2  "})
        EXPECT_TRUE(has(help.out, part)) << part;
    CliResult version = run("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("quillmark-check ", 0), 0u) << version.out;
    EXPECT_TRUE(version.out.size() > 17 && isdigit(static_cast<unsigned char>(version.out[16]))) << version.out;

    std::string top = medium();
    CliResult unknown = run("--colour " + shellQuote(top));
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(has(unknown.err, "--colour")) << unknown.err;
    EXPECT_EQ(run("--type=3 " + shellQuote(top)).exitCode, 2);
    EXPECT_EQ(run(common() + "--type=1 --processes=C " + shellQuote(top)).exitCode, 0);
    CliResult noValue = run(shellQuote(top) + " --log-dir");
    EXPECT_EQ(noValue.exitCode, 2);
    EXPECT_TRUE(has(noValue.err, "--log-dir")) << noValue.err;
}

// --help, the manual page and README list the same options: the page's option sections are
// generated from the program's option table at build time; README is written by hand.
TEST_F(CliTest, HelpManualPageAndReadmeListTheSameOptions) {
    const CliResult help = run("--help");
    std::vector<std::string> names;
    const size_t from = help.out.find("オプション:\n");
    ASSERT_NE(from, std::string::npos);
    std::istringstream lines(help.out.substr(from));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && !line.empty()) {  // "  -h, --help   ...", "  --type 1|2   ..."
        std::istringstream words(line);
        for (std::string w; words >> w && w[0] == '-';)
            if (w.rfind("--", 0) == 0) names.push_back(w);
    }
    ASSERT_GE(names.size(), 10u) << help.out;
    EXPECT_NE(std::find(names.begin(), names.end(), "--doclist"), names.end());
    EXPECT_FALSE(has(help.out, "--help-man"));

    const std::string readme = readBytes(fs::path(QM_SOURCE_DIR) / "README.md");
    const std::string page = readBytes(fs::path(QM_BINARY_DIR) / "quillmark-check.1");
    ASSERT_FALSE(page.empty());
    const size_t options = page.find(".SH OPTIONS"), codes = page.find(".SH PROCESS CODES");
    ASSERT_TRUE(options != std::string::npos && codes != std::string::npos && options < codes);
    for (const auto& name : names) {
        std::string roff;
        for (char c : name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_TRUE(has(page.substr(0, options), "[\\fB" + roff) || name == "--help" || name == "--version") << name;
        EXPECT_TRUE(has(page.substr(options, codes - options), ".TP\n\\fB" + roff) ||
                    has(page.substr(options, codes - options), "\\fR, \\fB" + roff))
            << name;
        EXPECT_TRUE(has(readme, name)) << name;
    }
    EXPECT_FALSE(has(page, "@QM_"));
    EXPECT_TRUE(has(page, "G' 街区面積計算"));
}

TEST_F(CliTest, MediumFoldersAreJudgedAsTheLocationDialogJudgesThem) {
    CliResult missing = run(common() + shellQuote((tmp.path() / "nowhere").string()));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(has(missing.err, "指定した場所は、見つかりませんでした。")) << missing.err;
    const std::string tooLong = (tmp.path() / std::string(300, 'D')).string();
    CliResult named = run(common() + shellQuote(tooLong));
    EXPECT_EQ(named.exitCode, 2);
    EXPECT_TRUE(has(named.err, tooLong) && has(named.err, "長すぎます")) << named.err;

    // One level too high: refused with the dialog's message, and told where to go.
    std::string a = medium("delivery/DISK1");
    std::string b = medium("delivery/DISK2");
    CliResult parent = run(common() + shellQuote((tmp.path() / "delivery").string()));
    EXPECT_EQ(parent.exitCode, 2);
    EXPECT_TRUE(has(parent.err, "測量フォルダ(SURVEY)が見つかりません。")) << parent.err;
    EXPECT_TRUE(has(parent.err, "成果の最上位フォルダ(INDEX_D.XMLが格納されている場所）を指定してください。"));
    EXPECT_TRUE(has(parent.err, a) && has(parent.err, b)) << parent.err;
    // The refusal comes alone: no question about INDEX_D.XML answered first.
    EXPECT_FALSE(has(parent.err, "INDEX_D.XML)が") || has(parent.err, "「はい」")) << parent.err;

    // Without INDEX_D.XML: warned, answered Yes, checked (the missing file is a finding).
    fs::remove(fs::path(a) / "INDEX_D.XML");
    CliResult noIndex = run(common() + shellQuote(a));
    EXPECT_EQ(noIndex.exitCode, 1) << noIndex.err;
    EXPECT_TRUE(has(noIndex.err, "業務管理ファイル(INDEX_D.XML)が")) << noIndex.err;
    EXPECT_TRUE(has(noIndex.err, "「はい」")) << noIndex.err;
    EXPECT_TRUE(has(noIndex.out, "20101")) << noIndex.out;
}

TEST_F(CliTest, LogFolderIsNeverOnAMediumAndNeverShared) {
    std::string top = medium();
    writeBytes(fs::path(top) / "notes.log", "the medium's own file");
    ::chmod(top.c_str(), 0755);
    const std::string before = readBytes(fs::path(top) / "notes.log");
    for (const std::string& dir : {top, top + "logs", tmp.path().string()}) {
        CliResult r = run(withSetting() + "--log-dir " + shellQuote(dir) + " " + shellQuote(top));
        EXPECT_EQ(r.exitCode, 2) << dir;
        EXPECT_TRUE(has(r.err, "ログフォルダ") && has(r.err, "--log-dir")) << r.err;
    }
    EXPECT_EQ(readBytes(fs::path(top) / "notes.log"), before);
    EXPECT_FALSE(fs::exists(fs::path(top) / "logs"));
    struct stat st {};
    ASSERT_EQ(::stat(top.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    // A folder in use by another run is left alone.
    writeBytes(logs / "FolderCheck_001.log", "the other run's log");
    writeBytes(logs / "FolderCheck_old.log", "the user's file: kept, and no finding");
    qm::LogFolderLock other;
    ASSERT_TRUE(other.acquire(logs.string()));
    CliResult busy = run(common() + shellQuote(top));
    EXPECT_EQ(busy.exitCode, 2);
    EXPECT_TRUE(has(busy.err, "使用中") && has(busy.err, "--log-dir")) << busy.err;
    EXPECT_EQ(readBytes(logs / "FolderCheck_001.log"), "the other run's log");
    other.release();
    CliResult elsewhere = run(common() + shellQuote(medium("disc2")));
    EXPECT_EQ(elsewhere.exitCode, 0) << elsewhere.out;
    EXPECT_TRUE(fs::exists(logs / "FolderCheck_old.log"));
    EXPECT_EQ(run(common() + shellQuote(top)).exitCode, 1);  // notes.log is a stray file of the medium
    EXPECT_TRUE(has(readBytes(logs / "FolderCheck_001.log"), "notes.log"));
}

TEST_F(CliTest, SettingFolderAndTablesThatAreMissing) {
    std::string top = medium();
    const std::string nowhere = (tmp.path() / "no-setting").string();
    CliResult folder = run("--setting-dir " + shellQuote(nowhere) + " --log-dir " + shellQuote(logs.string()) + " " +
                           shellQuote(top));
    EXPECT_EQ(folder.exitCode, 2);
    EXPECT_TRUE(has(folder.err, "設定フォルダが見つかりません") && has(folder.err, nowhere) &&
                has(folder.err, "--setting-dir"))
        << folder.err;

    // A missing table: the run is made, but its findings are no verdict.
    fs::remove(setting / "SURVEY_CHK_C.txt");
    CliResult table = run(common() + shellQuote(top));
    EXPECT_EQ(table.exitCode, 2);
    EXPECT_TRUE(has(table.err, "SURVEY_CHK_C.txt")) << table.err;
    EXPECT_TRUE(has(table.out, "× 測量情報管理ファイル (SURVEY.XML)")) << table.out;
    EXPECT_FALSE(has(table.out, "エラーは検出されませんでした")) << table.out;
}

TEST_F(CliTest, LogThatCannotBeWrittenEndsWithExitTwo) {
    std::string top = medium();
    fs::create_directories(logs / "FolderCheck_001.log");
    CliResult r = run(common() + "--from 1990-1-1 --to 1990-1-2 " + shellQuote(top));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(has(r.err, logs.string() + "/FolderCheck_001.log")) << r.err;
    EXPECT_TRUE(has(r.err, "ログファイルを書き込めません")) << r.err;
    EXPECT_FALSE(has(r.err, "Is a directory")) << r.err;
    EXPECT_TRUE(has(r.out, "× フォルダ・ファイル構成")) << r.out;
    EXPECT_FALSE(has(r.out, "○ フォルダ・ファイル構成\n  ○ 業務管理")) << r.out;
}

TEST_F(CliTest, DatesAndProcessesAsAUserWritesThem) {
    std::string top = medium();
    CliResult digits = run(common() + "--from 2000-01-01 --to 2099-012-031 " + shellQuote(top));
    EXPECT_EQ(digits.exitCode, 0) << digits.err;

    CliResult calendar = run(common() + "--from 2000-02-30 --to 2099-13-01 " + shellQuote(top));
    EXPECT_EQ(calendar.exitCode, 0) << calendar.err;
    EXPECT_TRUE(has(calendar.err, "2000-02-30") && has(calendar.err, "2099-13-01")) << calendar.err;

    CliResult reversed = run(common() + "--from 2099-1-1 --to 2000-1-1 " + shellQuote(top));
    EXPECT_EQ(reversed.exitCode, 1);
    EXPECT_TRUE(has(reversed.err, "より後です")) << reversed.err;

    CliResult noTo = run(common() + "--from 2017-04-01 " + shellQuote(top));
    EXPECT_EQ(noTo.exitCode, 2);
    EXPECT_TRUE(has(noTo.err, "--to がありません")) << noTo.err;
    CliResult noFrom = run(common() + "--to 2017-04-01 " + shellQuote(top));
    EXPECT_TRUE(has(noFrom.err, "--from がありません")) << noFrom.err;
    CliResult letters = run(common() + "--from 2017-4x-01 --to 2018-1-1 " + shellQuote(top));
    EXPECT_EQ(letters.exitCode, 2);
    EXPECT_TRUE(has(letters.err, "開始月は数字で入力してください。")) << letters.err;

    // SURV_TSK.XML that does not load: said so, the folder names judge the processes.
    writeBytes(fs::path(top) / "SURVEY/TISEKI/SURV_TSK.XML", "<SURV_DATA>");
    CliResult broken = run(common() + shellQuote(top));
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_TRUE(has(broken.err, "SURV_TSK.XML") && has(broken.err, "--processes")) << broken.err;
    EXPECT_TRUE(has(broken.out, "工程: C")) << broken.out;
}

TEST_F(CliTest, SummaryAndJsonCarryEveryFindingWithItsContent) {
    // A medium whose path is not UTF-8 and whose result file is missing.
    std::string top = medium("disc\xff");
    fs::remove(fs::path(top) / "SURVEY/TISEKI/DATA/CPROC_1/TC1B0001.PDF");
    CliResult text = run(common() + shellQuote(top));
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_TRUE(has(text.out, "30502\t")) << text.out;
    EXPECT_TRUE(has(text.out, "記述されている成果ファイルが存在しません\tTC1B0001.PDF")) << text.out;
    EXPECT_TRUE(has(text.out, "合計 ")) << text.out;

    CliResult json = run("--json " + common() + shellQuote(top));
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_TRUE(qm::isValidUtf8(json.out));
    EXPECT_TRUE(has(json.out, "\"item\": \"TC1B0001.PDF\"")) << json.out;
    EXPECT_TRUE(has(json.out, "\"pathBytes\": \"")) << json.out;
    EXPECT_TRUE(has(json.out, "ff2f\"")) << json.out;  // the raw bytes end in 0xFF and the separator
    EXPECT_TRUE(has(json.out, "\"findingCount\": ")) << json.out;
    EXPECT_TRUE(has(json.out, "\"verdictValid\": true")) << json.out;
    EXPECT_FALSE(has(json.out, "\"findingCount\": 0")) << json.out;
}

// Names with characters CP932 does not hold (U+2212 MINUS SIGN, which CP932 writes as the
// full-width hyphen-minus, the name of another file; an emoji) beside names it holds
// (①, 髙, Ｃ－１): the log writes the former with '?', never as another file's name; the
// JSON gives the true names beside the logged place; the folder view marks every one's
// row, and two names that the log writes alike share their findings.
TEST_F(CliTest, FindingsStayOnTheirEntriesWhateverTheirNamesHold) {
    const std::string top = medium();
    const fs::path doc = fs::path(top) / "SURVEY" / "DOC";
    const std::vector<std::string> names = {"A\u2212B.PDF", "資料\U0001F600.PDF", "髙橋①.PDF", "Ｃ－１.PDF",
                                            "Z\u2212Z.PDF", "Z\U0001F600Z.PDF"};
    for (const auto& n : names) writeBytes(doc / n, "x");
    const CliResult json = run("--json " + common() + shellQuote(top));
    EXPECT_EQ(json.exitCode, 1) << json.err;
    const std::string log = qm::fromCp932(readBytes(logs / "FolderCheck_001.log"));
    for (const char* logged : {"SURVEY\\DOC\\A?B.PDF,", "SURVEY\\DOC\\資料?.PDF,", "SURVEY\\DOC\\髙橋①.PDF,",
                               "SURVEY\\DOC\\Ｃ－１.PDF,", "SURVEY\\DOC\\Z?Z.PDF,"})
        EXPECT_TRUE(has(log, logged)) << logged << "\n" << log;
    EXPECT_FALSE(has(log, "A－B.PDF")) << log;
    EXPECT_TRUE(has(json.out, "\"location\": \"SURVEY\\\\DOC\\\\A?B.PDF\", \"place\": \"SURVEY\\\\DOC\\\\A\u2212B.PDF\""))
        << json.out;
    EXPECT_TRUE(has(json.out, "\"place\": \"SURVEY\\\\DOC\\\\資料\U0001F600.PDF\"")) << json.out;
    EXPECT_TRUE(has(json.out, "\"place\": \"SURVEY\\\\DOC\\\\髙橋①.PDF\"")) << json.out;
    EXPECT_TRUE(has(json.out, "\"place\": \"SURVEY\\\\DOC\\\\Z?Z.PDF\"")) << json.out;  // which of two: unknown

    qm::RecordingMessageSink sink;
    qm::MessageSink* previous = qm::setMessageSink(&sink);
    qm::FolderTree tree;
    EXPECT_TRUE(tree.SetTree(1, top, "", (logs / "FolderCheck_001.log").string()));
    qm::setMessageSink(previous);
    for (const auto& n : names) {
        const int64_t row = tree.findRow("SURVEY\\DOC\\" + n);
        ASSERT_GE(row, 0) << n;
        EXPECT_TRUE(tree.rows()[row].red) << n;
        EXPECT_FALSE(tree.rows()[row].messages.empty()) << n;
    }
    const auto& z1 = tree.rows()[tree.findRow("SURVEY\\DOC\\Z\u2212Z.PDF")].messages;
    const auto& z2 = tree.rows()[tree.findRow("SURVEY\\DOC\\Z\U0001F600Z.PDF")].messages;
    EXPECT_EQ(z1, z2);  // the same findings, each once
    EXPECT_EQ(z1, tree.rows()[tree.findRow("SURVEY\\DOC\\A\u2212B.PDF")].messages);
}

// An element path with a trailing blank (as a setting table may name it) is given by the
// summary and the JSON exactly as the log holds it.
TEST_F(CliTest, JsonHoldsTheLoggedPlaceExactly) {
    const std::string table = readBytes(setting / "INDEX_D_CHK.txt");
    writeBytes(setting / "INDEX_D_CHK.txt", table + qm::toCp932("/gyomudata/基礎情報/予備 ,1,1,0,1,0\n"));
    const std::string top = medium();
    const CliResult json = run("--json " + common() + shellQuote(top));
    const std::string log = qm::fromCp932(readBytes(logs / "JobFileCheck_IND_001.log"));
    ASSERT_TRUE(has(log, "/gyomudata/基礎情報/予備 ,")) << log;
    EXPECT_TRUE(has(json.out, "\"place\": \"/gyomudata/基礎情報/予備 \"")) << json.out;
}
