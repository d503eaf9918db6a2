#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "checks/jobfilecheck.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/text.h"

namespace fs = std::filesystem;
using namespace qm;

namespace {

std::atomic<int> gDirCounter{0};

class JobFileCheckTest : public ::testing::Test {
protected:
    fs::path dir;
    RecordingMessageSink sink;
    MessageSink* previous = nullptr;
    CJobFileCheck check;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qm_jobfile_" + std::to_string(::getpid()) + "_" + std::to_string(gDirCounter++));
        fs::remove_all(dir);
        fs::create_directories(dir);
        previous = setMessageSink(&sink);
    }
    void TearDown() override {
        setMessageSink(previous);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Writes UTF-8 text as CP932 bytes; answers the path.
    std::string write(const std::string& name, const std::string& utf8) const {
        const fs::path p = dir / name;
        fs::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary);
        const std::string bytes = toCp932(utf8);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    // A table from lines (joined with CR LF).
    std::string table(std::initializer_list<std::string> lines, const std::string& name = "CHK.txt") const {
        std::string text;
        for (const auto& l : lines) text += l + "\r\n";
        return write(name, text);
    }
    // A DTD declaring every named element with ANY content.
    std::string dtd(const std::string& name, std::initializer_list<std::string> elements) const {
        std::string text;
        for (const auto& e : elements) text += "<!ELEMENT " + e + " ANY>\n";
        return write(name, text);
    }
    // A Shift_JIS management file with a document type declaration.
    std::string xml(const std::string& name, const std::string& root, const std::string& dtdName,
                    const std::string& body, const std::string& decl =
                        "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>") const {
        return write(name, decl + "\n<!DOCTYPE " + root + " SYSTEM \"" + dtdName + "\">\n" + body + "\n");
    }
    std::string logPath() const { return (dir / "job.log").string(); }
    bool logExists() const { return fs::exists(logPath()); }
    std::string logBytes() const {
        std::ifstream in(logPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The log's lines decoded, without their CR LF.
    std::vector<std::string> logLines() const {
        const std::string text = fromCp932(logBytes());
        std::vector<std::string> lines;
        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t end = text.find("\r\n", pos);
            if (end == std::string::npos) {
                lines.push_back(text.substr(pos));
                break;
            }
            lines.push_back(text.substr(pos, end - pos));
            pos = end + 2;
        }
        return lines;
    }
    static std::string expected(std::initializer_list<std::string> lines) {
        std::string out;
        for (const auto& l : lines) out += toCp932(l) + "\r\n";
        return out;
    }
    int16_t run(const std::string& jobFile, const std::string& tableFile) {
        return check.checkJobFile(jobFile, tableFile, logPath());
    }
};

// ---- Element table lines -------------------------------------------------------

TEST(ElementTableLine, SplitsAtEveryCommaKeepingBlanksAndQuotes) {
    auto items = splitElementTableLine("/A/B, 1,2 ,\"x,y\",");
    ASSERT_TRUE(items);
    EXPECT_EQ(*items, (std::vector<std::string>{"/A/B", " 1", "2 ", "\"x", "y\"", ""}));

    items = splitElementTableLine("");
    ASSERT_TRUE(items);
    EXPECT_EQ(*items, std::vector<std::string>{""});

    items = splitElementTableLine(",,");
    ASSERT_TRUE(items);
    EXPECT_EQ(items->size(), 3u);
}

TEST(ElementTableLine, HoldsAtMostOneHundredItems) {
    std::string line = "a";
    for (int i = 1; i < 100; ++i) line += "," + std::to_string(i);
    auto items = splitElementTableLine(line);
    ASSERT_TRUE(items);
    EXPECT_EQ(items->size(), 100u);
    EXPECT_EQ(items->back(), "99");
    EXPECT_FALSE(splitElementTableLine(line + ","));
    EXPECT_FALSE(splitElementTableLine(std::string(5000, ',')));
}

TEST_F(JobFileCheckTest, LoadSettingReadsColumnsAndSkipsComments) {
    const std::string t = table({"; comment line", "", "   ", "  /R/A, 1, 2 ,8,1,3,a, b  ", ";/R/X,1",
                                 "/R/B,x,,,", "/R/C,-5,0,0,0,-1,ignored", "/R/D,7,1,20,0,4,p"});
    ASSERT_TRUE(check.loadSetting(t));
    const auto& r = check.rules();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].path, "/R/A");
    EXPECT_EQ(r[0].valueType, 1);
    EXPECT_EQ(r[0].lengthMode, 2);
    EXPECT_EQ(r[0].length, 8);
    EXPECT_EQ(r[0].required, 1);
    // The line loses its trailing blanks, the items keep theirs; the missing third is empty.
    EXPECT_EQ(r[0].allowedValues, (std::vector<std::string>{"a", " b", ""}));
    EXPECT_EQ(r[1].valueType, 0);  // non-numeric reads as 0
    EXPECT_EQ(r[2].valueType, -5);
    EXPECT_TRUE(r[2].allowedValues.empty());
    EXPECT_EQ(r[3].allowedValues, (std::vector<std::string>{"p", "", "", ""}));
    EXPECT_TRUE(sink.shown.empty());

    // A second load replaces the rules.
    ASSERT_TRUE(check.loadSetting(table({"/S,0"}, "T2.txt")));
    EXPECT_EQ(check.rules().size(), 1u);
    EXPECT_FALSE(check.loadSetting((dir / "none.txt").string()));
    EXPECT_TRUE(check.rules().empty());
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(JobFileCheckTest, LoadSettingFailsOnNumbersBeyondTheirColumn) {
    struct Case { std::string line; bool ok; };
    const Case cases[] = {
        {"/R,32767,255,32767,255,0", true},      {"/R,-32768,0,-32768,0,-32768", true},
        {"/R,32768", false},                     {"/R,1,256", false},
        {"/R,1,-1", false},                      {"/R,1,0,-32769", false},
        {"/R,1,0,0,300", false},                 {"/R,1,0,0,0,99999999999", false},
        {"/R,1,0,0,0,0" + std::string(", x") + std::string(", y"), true},
    };
    int n = 0;
    for (const auto& c : cases) {
        sink.shown.clear();
        const std::string t = table({"/OK,0", c.line}, "N" + std::to_string(n++) + ".txt");
        EXPECT_EQ(check.loadSetting(t), c.ok) << c.line;
        if (c.ok) continue;
        ASSERT_EQ(sink.shown.size(), 1u) << c.line;
        EXPECT_EQ(sink.shown[0].caption, "ReadList");
        EXPECT_EQ(sink.shown[0].icon, MsgIcon::Critical);
        EXPECT_NE(sink.shown[0].text.find("2行目"), std::string::npos) << sink.shown[0].text;
        EXPECT_TRUE(check.rules().empty());
    }
}

TEST_F(JobFileCheckTest, LoadSettingFailsOnMoreThanOneHundredItems) {
    std::string line = "/R/A,8,0,0,0,94";
    for (int i = 0; i < 94; ++i) line += ",v" + std::to_string(i);  // 100 items
    ASSERT_TRUE(check.loadSetting(table({line})));
    EXPECT_EQ(check.rules()[0].allowedValues.size(), 94u);
    EXPECT_EQ(check.rules()[0].allowedValues.back(), "v93");

    ASSERT_FALSE(check.loadSetting(table({"/R,0", line + ",extra"}, "T101.txt")));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].caption, "ReadList");
    EXPECT_EQ(sink.shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(sink.shown[0].text.rfind("9 ", 0), 0u) << sink.shown[0].text;
    EXPECT_NE(sink.shown[0].text.find("100"), std::string::npos);
}

// ---- Failures before any log --------------------------------------------------

TEST_F(JobFileCheckTest, ArgumentFailuresShowABoxAndLogNothing) {
    const std::string t = table({"/R,0"});
    const std::string x = xml("A.XML", "R", "A.DTD", "<R/>");
    EXPECT_EQ(run("", t), -1);
    EXPECT_EQ(run(x, ""), -1);
    const std::string missing = (dir / "NO_CHK.txt").string();
    EXPECT_EQ(run(x, missing), -1);
    ASSERT_EQ(sink.shown.size(), 3u);
    EXPECT_EQ(sink.shown[0].text, "ファイルを指定してください。");
    EXPECT_EQ(sink.shown[1].text, "設定ファイルを指定してください。");
    EXPECT_EQ(sink.shown[2].text, "設定ファイルが見つかりません。\r\n" + missing);
    for (const auto& m : sink.shown) {
        EXPECT_EQ(m.caption, "XML");
        EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    }
    // An element table that does not load stops the check too.
    EXPECT_EQ(run(x, table({"/R,70000"}, "BAD.txt")), -1);
    EXPECT_EQ(sink.shown.back().caption, "ReadList");
    EXPECT_FALSE(logExists());
}

TEST_F(JobFileCheckTest, MissingManagementFileIsLogged) {
    EXPECT_EQ(run((dir / "INDEX_D.XML").string(), table({"/R,0"})), -1);
    EXPECT_EQ(logBytes(), expected({"20101,,0,管理ファイルが見つかりません,"}));
    EXPECT_TRUE(sink.shown.empty());
}

// ---- Element rules -------------------------------------------------------------

TEST_F(JobFileCheckTest, CleanFileLeavesNoLog) {
    dtd("A.DTD", {"R", "A"});
    const std::string x = xml("A.XML", "R", "A.DTD", "<R>\n  <A>12</A>\n</R>");
    EXPECT_EQ(run(x, table({"/R,0", "/R/A,1,1,2,1,0"})), 0);
    EXPECT_FALSE(logExists());
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(JobFileCheckTest, ElementRulesInTableOrder) {
    dtd("E.DTD", {"R", "E", "C", "D", "L1", "L2", "V", "T", "M", "W"});
    const std::string body =
        "<R>\n"
        "  <E/>\n  <E>12</E>\n  <E></E>\n"
        "  <C><D>x</D></C>\n"
        "  <L1>ああああああああああ</L1>\n  <L1>あああああああああああ</L1>\n"
        "  <L2>ABCDEFG</L2>\n  <L2/>\n  <L2>ABCDEFGH</L2>\n"
        "  <V>a</V>\n  <V>ａ</V>\n  <V>b</V>\n"
        "  <T>12a</T>\n"
        "  <M>x</M>\n  <M>y</M>\n"
        "  <W>abc</W>\n"
        "</R>";
    const std::string x = xml("E.XML", "R", "E.DTD", body);
    const std::string t = table({
        "/R,0",
        "/R/REQ,1,0,0,1,0",   // absent and required
        "/R/OPT,1,0,0,0,0",   // absent, not required
        "/R/E,1,0,0,1,0",
        "/R/C,8,1,4,1,0",     // a container: no finding of its own
        "/R/C/D,0",
        "/R/L1,8,1,20,0,0",
        "/R/L2,5,2,8,0,0",
        "/R/V,99,0,0,0,2,a, b",
        "/R/T,1,1,2,0,0",     // type failure, no length finding
        "/R/M,8,0,0,0,3,x",   // missing allowed values are empty strings
        "/R/W,99,1,2,0,1,abc" // no value rule, length still applies
    });
    EXPECT_EQ(run(x, t), 1);
    EXPECT_EQ(logBytes(), expected({
        "20201,/R/REQ,0,必要な要素がありません,",
        "20202,/R/E,1,必要なデータが記述されていません,",
        "20202,/R/E,3,必要なデータが記述されていません,",
        "20204,/R/L1,2,規定の文字数を超えています(半角20文字),",
        "20205,/R/L2,1,規定の文字数で記述されていません(半角8文字),",
        "20206,/R/V,2,規定の内容で記述されていません,",
        "20206,/R/V,3,規定の内容で記述されていません,",
        "20301,/R/T,1,半角数字のみで記述されていません,",
        "20206,/R/M,2,規定の内容で記述されていません,",
        "20204,/R/W,1,規定の文字数を超えています(半角2文字),",
    }));
}

TEST_F(JobFileCheckTest, WhatCountsAsAnElementsText) {
    dtd("W.DTD", {"R", "A"});
    // A comment first: no rule applies. Blanks alone: no data. CDATA joins the text.
    // Entity references are resolved. Blanks at the ends of a text belong to the value.
    const std::string body =
        "<R>\n<A><!-- c -->x</A>\n<A>   </A>\n<A><![CDATA[1]]>2</A>\n<A>&#x31;&amp;</A>\n<A> 12</A>\n</R>";
    EXPECT_EQ(run(xml("W.XML", "R", "W.DTD", body), table({"/R,0", "/R/A,1,0,0,1,0"})), 1);
    EXPECT_EQ(logBytes(), expected({
        "20202,/R/A,2,必要なデータが記述されていません,",
        "20301,/R/A,4,半角数字のみで記述されていません,",
        "20301,/R/A,5,半角数字のみで記述されていません,",
    }));
}

TEST_F(JobFileCheckTest, EachValueTypeHasItsCodeAndMessage) {
    struct Case { int type; const char* good; const char* bad; int code; const char* message; };
    const char* unusable = "使用不可の文字で記述されています（特殊記号、外字、半角カナ、全角英数字等）";
    const Case cases[] = {
        {1, "0123", "12.5", 20301, "半角数字のみで記述されていません"},
        {2, "-12", "1-2", 20302, "整数値で記述されていません"},
        {3, "12.5", "-1", 20303, "正の実数値で記述されていません"},
        {4, "-0.5", "1.2.3", 20304, "実数値で記述されていません"},
        {5, "aZ9", "a_b", 20305, "半角英数字のみで記述されていません"},
        {6, "AZ9", "Az9", 20306, "半角英数大文字のみで記述されていません"},
        {7, "あ漢", "あA", 20307, "全角文字のみで記述されていません"},
        {8, "漢字 abc", "①", 20308, unusable},
        {9, "2016-02-29", "2017-02-29", 20309, "日付の形式(YYYY-MM-DD)で記述されていません"},
        {10, "SURVEY/DOC", "DOC/A.PDF", 20310, "半角英数大文字のファイルパス形式で記述されていません"},
        {11, "A_1.PDF", "a.pdf", 20311, "半角英数大文字のファイル名の形式で記述されていません"},
        {12, "行1\n行2", "ｶﾅ", 20308, unusable},
    };
    std::string body = "<R>";
    std::vector<std::string> lines = {"/R,0"};
    std::string want;
    std::vector<std::string> names = {"R"};
    for (const auto& c : cases) {
        const std::string name = "T" + std::to_string(c.type);
        names.push_back(name);
        body += "<" + name + ">" + c.good + "</" + name + "><" + name + ">" + c.bad + "</" + name + ">";
        lines.push_back("/R/" + name + "," + std::to_string(c.type) + ",0,0,1,0");
        want += toCp932(std::to_string(c.code) + ",/R/" + name + ",2," + c.message + ",") + "\r\n";
    }
    body += "</R>";
    std::string d;
    for (const auto& n : names) d += "<!ELEMENT " + n + " ANY>\n";
    write("V.DTD", d);
    std::string t;
    for (const auto& l : lines) t += l + "\r\n";
    EXPECT_EQ(run(xml("V.XML", "R", "V.DTD", body), write("V.txt", t)), 1);
    EXPECT_EQ(logBytes(), want);
}

// ---- Unknown elements and encoding ---------------------------------------------

TEST_F(JobFileCheckTest, UndefinedElementsAreNumberedAcrossTheDocument) {
    dtd("U.DTD", {"gyomudata", "基礎情報", "X", "Y"});
    const std::string body =
        "<gyomudata>\n"
        "  <基礎情報><X>1</X><X>2</X></基礎情報>\n"
        "  <基礎情報><Y>1</Y><X>3</X></基礎情報>\n"
        "</gyomudata>";
    const std::string x = xml("U.XML", "gyomudata", "U.DTD", body);
    // The rule of type 0 for Y declares it known; the root and 基礎情報 are not in the table.
    EXPECT_EQ(run(x, table({"/gyomudata/基礎情報/Y,0"})), 1);
    EXPECT_EQ(logBytes(), expected({
        "20601,/gyomudata,1,規定以外の要素が存在します,",
        "20601,/gyomudata/基礎情報,1,規定以外の要素が存在します,",
        "20601,/gyomudata/基礎情報/X,1,規定以外の要素が存在します,",
        "20601,/gyomudata/基礎情報/X,2,規定以外の要素が存在します,",
        "20601,/gyomudata/基礎情報,2,規定以外の要素が存在します,",
        "20601,/gyomudata/基礎情報/X,3,規定以外の要素が存在します,",
    }));
}

TEST_F(JobFileCheckTest, EncodingDeclaration) {
    dtd("R.DTD", {"R"});
    const std::string t = table({"/R,0"});
    struct Case { std::string decl; int16_t answer; };
    const Case cases[] = {
        {"<?xml version=\"1.0\" encoding=\"SHIFT_JIS\"?>", 0},
        {"<?xml version=\"1.0\" encoding=\"shift_jis\"?>", 0},
        {"<?xml version=\"1.0\" encoding=\"windows-31j\"?>", 1},
        {"<?xml version=\"1.0\"?>", 1},
        {"", 1},
    };
    int n = 0;
    for (const auto& c : cases) {
        fs::remove(logPath());
        const std::string x = xml("R" + std::to_string(n++) + ".XML", "R", "R.DTD", "<R/>", c.decl);
        EXPECT_EQ(run(x, t), c.answer) << c.decl;
        if (c.answer == 0) {
            EXPECT_FALSE(logExists()) << c.decl;
        } else {
            EXPECT_EQ(logBytes(), expected({"20103,業務管理ファイル,0,Shift_JISで記述されていません,"})) << c.decl;
        }
    }
}

// ---- Documents that do not load -------------------------------------------------

TEST_F(JobFileCheckTest, ParseFailuresGiveOneLine) {
    dtd("P.DTD", {"R", "A"});
    const std::string t = table({"/R,0", "/R/A,1,0,0,1,0"});
    const std::string notWellFormed = xml("P1.XML", "R", "P.DTD", "<R>\n<A>1</A>\n<A>2</R>");
    const std::string breaksDtd = xml("P2.XML", "R", "P.DTD", "<R>\n<A>1</A>\n<B>2</B>\n</R>");
    for (const auto& x : {notWellFormed, breaksDtd}) {
        fs::remove(logPath());
        EXPECT_EQ(run(x, t), 1) << x;
        const auto lines = logLines();
        ASSERT_EQ(lines.size(), 1u) << x;
        // code,XML構文エラー(n行),0,reason,
        const std::string& l = lines[0];
        ASSERT_EQ(l.front(), '-') << l;
        const std::size_t c1 = l.find(',');
        EXPECT_LT(std::stoi(l.substr(0, c1)), 0);
        const std::string rest = l.substr(c1 + 1);
        EXPECT_EQ(rest.rfind("XML構文エラー(", 0), 0u) << l;
        const std::size_t close = rest.find("行),0,");
        ASSERT_NE(close, std::string::npos) << l;
        EXPECT_GT(std::stoi(rest.substr(std::string("XML構文エラー(").size())), 0);
        EXPECT_EQ(l.find('\r'), std::string::npos);
        EXPECT_EQ(l.find('\n'), std::string::npos);
        EXPECT_EQ(l.back(), ',');
    }
    EXPECT_TRUE(sink.shown.empty());
}

TEST_F(JobFileCheckTest, DtdIsReadFromTheAllowedRoot) {
    // The management file sits below the medium's top and names a DTD at the top.
    dtd("TOP.DTD", {"R"});
    const std::string x = xml("SUB/R.XML", "R", "../TOP.DTD", "<R/>");
    const std::string t = table({"/R,0"});
    EXPECT_EQ(run(x, t), 1);  // by default only the document's own folder is read
    ASSERT_EQ(logLines().size(), 1u);
    EXPECT_NE(logLines()[0].find("XML構文エラー("), std::string::npos);

    fs::remove(logPath());
    check.setAllowedRoot(dir.string());
    EXPECT_EQ(run(x, t), 0);
    EXPECT_FALSE(logExists());
}

// ---- Survey information rules --------------------------------------------------

class SurveyFileTest : public JobFileCheckTest {
protected:
    std::string surveyTable() const {
        return table({"/SURVEY,0", "/SURVEY/基礎情報,0", "/SURVEY/基礎情報/助言番号,0", "/SURVEY/基礎情報/承認番号,0",
                      "/SURVEY/測量情報,0", "/SURVEY/測量情報/地籍調査記録フォルダパス名,0",
                      "/SURVEY/測量情報/地籍調査成果フォルダパス名,0", "/SURVEY/測量情報/先行調査記録フォルダパス名,0",
                      "/SURVEY/測量情報/先行調査成果フォルダパス名,0"});
    }
    void writeDtd() const {
        dtd("TSUR_D01.DTD", {"SURVEY", "基礎情報", "助言番号", "承認番号", "測量情報", "地籍調査記録フォルダパス名",
                             "地籍調査成果フォルダパス名", "先行調査記録フォルダパス名", "先行調査成果フォルダパス名"});
    }
};

TEST_F(SurveyFileTest, AdviceNumberAndFolderPaths) {
    writeDtd();
    const std::string body =
        "<SURVEY>\n"
        "  <基礎情報><助言番号/><承認番号></承認番号></基礎情報>\n"
        "  <測量情報><地籍調査記録フォルダパス名>WORK</地籍調査記録フォルダパス名></測量情報>\n"
        "  <測量情報><先行調査記録フォルダパス名>WORK</先行調査記録フォルダパス名></測量情報>\n"
        "  <測量情報><地籍調査成果フォルダパス名>DATA</地籍調査成果フォルダパス名></測量情報>\n"
        "</SURVEY>";
    // The file name is judged ignoring case.
    const std::string x = xml("SURVEY/survey.xml", "SURVEY", "../TSUR_D01.DTD", body);
    check.setAllowedRoot(dir.string());
    EXPECT_EQ(run(x, surveyTable()), 1);
    EXPECT_EQ(logBytes(), expected({
        "20403,/SURVEY/基礎情報,1,助言番号または承認番号を入力してください,",
        "20402,/SURVEY/測量情報,2,地籍調査記録または地籍調査成果フォルダパス名を入力してください,",
    }));

    fs::remove(logPath());
    check.setResultType(2);
    EXPECT_EQ(run(x, surveyTable()), 1);
    EXPECT_EQ(logBytes(), expected({
        "20403,/SURVEY/基礎情報,1,助言番号または承認番号を入力してください,",
        "20402,/SURVEY/測量情報,1,先行調査記録または先行調査成果フォルダパス名を入力してください,",
        "20402,/SURVEY/測量情報,3,先行調査記録または先行調査成果フォルダパス名を入力してください,",
    }));
}

TEST_F(SurveyFileTest, OnlyTheSurveyFileGetsTheseRules) {
    writeDtd();
    const std::string body = "<SURVEY><測量情報/></SURVEY>";
    // Missing 基礎情報 counts as both numbers empty.
    EXPECT_EQ(run(xml("SURVEY.XML", "SURVEY", "TSUR_D01.DTD", body), surveyTable()), 1);
    EXPECT_EQ(logBytes(), expected({
        "20403,/SURVEY/基礎情報,1,助言番号または承認番号を入力してください,",
        "20402,/SURVEY/測量情報,1,地籍調査記録または地籍調査成果フォルダパス名を入力してください,",
    }));
    fs::remove(logPath());
    EXPECT_EQ(run(xml("OTHER.XML", "SURVEY", "TSUR_D01.DTD", body), surveyTable()), 0);
    EXPECT_FALSE(logExists());

    // An approval number alone satisfies the first rule.
    const std::string ok = "<SURVEY><基礎情報><承認番号>第1号</承認番号></基礎情報>"
                           "<測量情報><地籍調査成果フォルダパス名>D</地籍調査成果フォルダパス名></測量情報></SURVEY>";
    EXPECT_EQ(run(xml("SURVEY.XML", "SURVEY", "TSUR_D01.DTD", ok), surveyTable()), 0);
    EXPECT_FALSE(logExists());
}

// ---- Delivered documents -------------------------------------------------------

TEST_F(JobFileCheckTest, DocFileInfoListsNamedFiles) {
    const std::string w = "地籍調査";
    dtd("TISK_D01.DTD", {"SURV_DATA", w + "成果情報", w + "区分フォルダ名", w + "成果区分フォルダ名",
                          w + "細区分フォルダ名", "成果ファイル情報", w + "成果ファイル名", w + "成果ファイル名副題"});
    auto info = [&](const std::string& area, const std::string& result, const std::string& sub,
                    const std::string& files) {
        std::string s = "<" + w + "成果情報>";
        if (!area.empty()) s += "<" + w + "区分フォルダ名>" + area + "</" + w + "区分フォルダ名>";
        s += "<" + w + "成果区分フォルダ名>" + result + "</" + w + "成果区分フォルダ名>";
        if (!sub.empty()) s += "<" + w + "細区分フォルダ名>" + sub + "</" + w + "細区分フォルダ名>";
        return s + files + "</" + w + "成果情報>";
    };
    auto file = [&](const std::string& name, const std::string& subtitle) {
        std::string s = "<成果ファイル情報><" + w + "成果ファイル名>" + name + "</" + w + "成果ファイル名>";
        if (!subtitle.empty()) s += "<" + w + "成果ファイル名副題>" + subtitle + "</" + w + "成果ファイル名副題>";
        return s + "</成果ファイル情報>";
    };
    const std::string body = "<SURV_DATA>\n" +
                             info("TISEKI", "DATA", "CPROC_1", file("CAAA001.PDF", "図面") + file("CAAA002.PDF", "")) +
                             "\n" + info("", "DATA", "", file("X.PDF", "x")) + "\n" +
                             info("TISEKI", "WORK", "", file("W001.TXT", "記録")) + "\n</SURV_DATA>";
    const std::string x = xml("SURV_TSK.XML", "SURV_DATA", "TISK_D01.DTD", body);
    std::vector<std::string> paths = {"stale"}, infos = {"stale"};
    EXPECT_EQ(check.getDocFileInfo(x, paths, infos), 2);
    EXPECT_EQ(paths, (std::vector<std::string>{"SURVEY\\TISEKI\\DATA\\CPROC_1\\CAAA001.PDF",
                                               "SURVEY\\TISEKI\\WORK\\W001.TXT"}));
    EXPECT_EQ(infos, (std::vector<std::string>{"図面", "記録"}));

    // Result type 2 looks for 先行調査 names: none here.
    check.setResultType(2);
    EXPECT_EQ(check.getDocFileInfo(x, paths, infos), 0);
    EXPECT_TRUE(paths.empty());
    EXPECT_EQ(check.getDocFileInfo((dir / "NONE.XML").string(), paths, infos), 0);
    EXPECT_EQ(check.getDocFileInfo(write("BAD.XML", "<SURV_DATA>"), paths, infos), 0);
    EXPECT_TRUE(sink.shown.empty());
}

// ---- Counts beyond 16 bits -----------------------------------------------------

TEST_F(JobFileCheckTest, OccurrencesBeyond65535) {
    constexpr int kCount = 70000;
    dtd("B.DTD", {"R", "X", "Z"});
    std::string body;
    body.reserve(kCount * 12 + 64);
    body += "<R>\n";
    for (int i = 1; i < kCount; ++i) body += "<X>1</X>\n";
    body += "<X>a</X>\n";
    for (int i = 0; i < kCount; ++i) body += "<Z/>\n";
    body += "</R>";
    const std::string x = xml("B.XML", "R", "B.DTD", body);
    // Z is known only through a rule of another path: every Z is logged.
    EXPECT_EQ(run(x, table({"/R,0", "/R/X,1,1,1,1,0"})), 1);
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kCount) + 1);
    EXPECT_EQ(lines[0], "20301,/R/X,70000,半角数字のみで記述されていません,");
    EXPECT_EQ(lines[1], "20601,/R/Z,1,規定以外の要素が存在します,");
    EXPECT_EQ(lines[65536], "20601,/R/Z,65536,規定以外の要素が存在します,");
    EXPECT_EQ(lines.back(), "20601,/R/Z,70000,規定以外の要素が存在します,");
}

}  // namespace
