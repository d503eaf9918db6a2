#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "foundation/csvread.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/text.h"

using namespace qm;
namespace fs = std::filesystem;

namespace {

class ErrorLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qm_log_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        previous_ = setMessageSink(&sink_);
    }
    void TearDown() override {
        setMessageSink(previous_);
        fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string bytesOf(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_;
    RecordingMessageSink sink_;
    MessageSink* previous_ = nullptr;
};

}  // namespace

TEST_F(ErrorLogTest, PlainAndXmlLayoutsAsCp932WithCrLf) {
    const std::string f = path("FolderCheck_001.log");
    {
        CErrorLog log;
        log.setFileName(f);
        EXPECT_TRUE(log.writeErrorLog(10101, "", "SURVEY\\DOC", "フォルダ内にファイルが存在しません"));
        EXPECT_TRUE(log.writeErrorLogXml(20201, "/SURVEY/基礎情報", 0, "必要な要素がありません", ""));
        EXPECT_TRUE(log.writeErrorLogXml(-1072896760, "XML構文エラー(3行)", 0, "理由", ""));
        EXPECT_TRUE(log.writeErrorLogDigit(1, 0, "m"));
        EXPECT_TRUE(log.writeErrorLogDigit(1, 12, "m"));
        EXPECT_TRUE(log.CloseFile());
        EXPECT_FALSE(log.CloseFile());
    }
    const std::string expected = toCp932(
        "10101,SURVEY\\DOC,フォルダ内にファイルが存在しません,\r\n"
        "20201,/SURVEY/基礎情報,0,必要な要素がありません,\r\n"
        "-1072896760,XML構文エラー(3行),0,理由,\r\n"
        ",m\r\n"
        "12,m\r\n");
    EXPECT_EQ(bytesOf(f), expected);
    EXPECT_EQ(bytesOf(f).substr(0, 8), "10101,SU");
    EXPECT_TRUE(sink_.shown.empty());
}

TEST_F(ErrorLogTest, CommentOnceNothingWithoutFindingsAppends) {
    const std::string f = path("a.log");
    {
        CErrorLog log;
        log.setFileName(f);
        log.setComment(";チェックパス D:\\");
        EXPECT_FALSE(fs::exists(f));  // nothing written yet
    }
    EXPECT_FALSE(fs::exists(f));
    {
        CErrorLog log;
        log.setFileName(f);
        log.setComment(";old");
        log.setComment(";チェックパス /media/cd/");
        EXPECT_TRUE(log.writeErrorLog(10401, "", "SURVEY", "SURVEYが存在しません"));
        EXPECT_TRUE(log.writeErrorLog(10402, "", "INDEX_D.XML", "INDEX_D.XMLが存在しません"));
        log.CloseFile();
    }
    {
        CErrorLog second;  // a second writer appends
        second.setFileName(f);
        EXPECT_TRUE(second.writeErrorLog(30401, "/X", "A", "m"));
    }
    EXPECT_EQ(bytesOf(f), toCp932(";チェックパス /media/cd/\r\n"
                                  "10401,SURVEY,SURVEYが存在しません,\r\n"
                                  "10402,INDEX_D.XML,INDEX_D.XMLが存在しません,\r\n"
                                  "30401,A,m,/X\r\n"));
}

TEST_F(ErrorLogTest, NoFileNameWritesNothing) {
    CErrorLog log;
    EXPECT_FALSE(log.writeErrorLog(1, "", "", ""));
    EXPECT_FALSE(log.writeErrorLogXml(1, "", 0, "", ""));
    EXPECT_FALSE(log.writeErrorLogDigit(1, 1, ""));
    EXPECT_FALSE(log.CloseFile());
    EXPECT_TRUE(sink_.shown.empty());
}

TEST_F(ErrorLogTest, OpenFailureShowsBoxAndRetries) {
    const std::string f = path("sub/x.log");  // folder missing
    CErrorLog log;
    log.setFileName(f);
    log.setComment(";c");
    EXPECT_FALSE(log.writeErrorLogXml(20101, "/INDEX", 0, "管理ファイルが見つかりません", ""));
    ASSERT_EQ(sink_.shown.size(), 1u);
    EXPECT_EQ(sink_.shown[0].caption, "CErrorLog - writeErrorLogXml");
    EXPECT_EQ(sink_.shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(sink_.shown[0].text.rfind(std::to_string(ENOENT) + " ", 0), 0u);
    fs::create_directories(dir_ / "sub");
    EXPECT_TRUE(log.writeErrorLog(1, "", "p", "m"));
    log.CloseFile();
    EXPECT_EQ(bytesOf(f), ";c\r\n1,p,m,\r\n");
}

TEST_F(ErrorLogTest, SymbolicLinkInPlaceOfTheLogIsNotFollowed) {
#ifdef _WIN32
    GTEST_SKIP() << "making symbolic links needs a privilege on Windows";
#endif
    const std::string target = path("target.txt");
    std::ofstream(target) << "keep";
    fs::create_symlink(target, dir_ / "l.log");
    CErrorLog log;
    log.setFileName(path("l.log"));
    EXPECT_FALSE(log.writeErrorLog(1, "", "p", "m"));
    EXPECT_EQ(sink_.shown.size(), 1u);
    EXPECT_EQ(sink_.shown[0].caption, "CErrorLog - writeErrorLog");
    EXPECT_EQ(bytesOf(target), "keep");
}

TEST(LogField, QuotingRules) {
    EXPECT_EQ(logField("plain"), "plain");
    EXPECT_EQ(logField(""), "");
    EXPECT_EQ(logField("a\"b"), "a\"b");                        // inner mark, no comma: as it is
    EXPECT_EQ(logField("a,b"), "\"a,b\"");
    EXPECT_EQ(logField("a\r\nb"), "a  b");
    EXPECT_EQ(logField("\"q\""), "\"\xEF\xBC\x82q\xEF\xBC\x82\"");  // leading mark
    EXPECT_EQ(logField("x,\"y\""), "\"x,\xEF\xBC\x82y\xEF\xBC\x82\"");
}

TEST_F(ErrorLogTest, FieldsReachTheReaderWhole) {
    const std::string f = path("r.log");
    const std::string msg10601 = "成果ファイル名の設定記号 工程（1,2文字目）が不正です";
    {
        CErrorLog log;
        log.setFileName(f);
        log.setComment(";チェックファイル a,b\r\n99999,forged,line,");
        EXPECT_TRUE(log.writeErrorLog(10601, "", "SURVEY\\TISEKI\\DATA\\CPROC_1\\a,b.PDF", msg10601));
        EXPECT_TRUE(log.writeErrorLog(10402, "item,x", "evil\r\n10101,X,Y,\r\nname", "\"quoted\""));
        EXPECT_TRUE(log.writeErrorLogXml(-1, "XML構文エラー(1行)", 0, "reason, with comma", "text \"with\", both"));
        log.CloseFile();
    }
    CCsvRead r;
    ASSERT_TRUE(r.OpenFile(f));
    ASSERT_TRUE(r.ReadFile(true));
    EXPECT_EQ(r.ItemValue(0), ";チェックファイル a");  // heading: skipped by readers, one line only
    ASSERT_TRUE(r.ReadFile(true));
    EXPECT_EQ(r.ItemNum(), 4);
    EXPECT_EQ(r.ItemValue(0), "10601");
    EXPECT_EQ(r.ItemValue(1), "SURVEY\\TISEKI\\DATA\\CPROC_1\\a,b.PDF");
    EXPECT_EQ(r.ItemValue(2), msg10601);
    EXPECT_EQ(r.ItemValue(3), "");
    ASSERT_TRUE(r.ReadFile(true));
    EXPECT_EQ(r.ItemNum(), 4);
    EXPECT_EQ(r.ItemValue(1), "evil  10101,X,Y,  name");
    EXPECT_EQ(r.ItemValue(2), "＂quoted＂");
    EXPECT_EQ(r.ItemValue(3), "item,x");
    ASSERT_TRUE(r.ReadFile(true));
    EXPECT_EQ(r.ItemNum(), 5);
    EXPECT_EQ(r.ItemValue(0), "-1");
    EXPECT_EQ(r.ItemValue(2), "0");
    EXPECT_EQ(r.ItemValue(3), "reason, with comma");
    EXPECT_EQ(r.ItemValue(4), "text ＂with＂, both");
    EXPECT_TRUE(r.IsEof());
}

TEST(Messages, SinksAndFailureBoxes) {
    RecordingMessageSink sink;
    sink.answer = MsgAnswer::Yes;
    MessageSink* previous = setMessageSink(&sink);
    EXPECT_EQ(&messages(), &sink);
    EXPECT_EQ(showMessage("成果内容", "入力してください"), MsgAnswer::Ok);
    EXPECT_EQ(showMessage("q", "?", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::Yes);
    showFailure("loadSetting", 53, "File not found");
    ASSERT_EQ(sink.shown.size(), 3u);
    EXPECT_EQ(sink.shown[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(sink.shown[2].caption, "loadSetting");
    EXPECT_EQ(sink.shown[2].text, "53 File not found");
    EXPECT_EQ(sink.shown[2].icon, MsgIcon::Critical);
    EXPECT_EQ(setMessageSink(previous), &sink);
    EXPECT_NE(&messages(), &sink);
    StderrMessageSink err;
    EXPECT_EQ(err.show(Message{"c", "t", MsgIcon::Question, MsgButtons::YesNo}), MsgAnswer::No);
}
