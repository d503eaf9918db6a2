// Relation checker: deliveries built in a temporary folder, logs compared line by line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fcntl.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "checks/relationcheck.h"
#include "checks/xmldoc.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/text.h"

namespace fs = std::filesystem;
using qm::CRelationCheck;

namespace {

const std::string kTsk1Folder = "成果フォルダ名が地籍調査成果管理ファイル(SURV_TSK.XML)に記述されていません";
const std::string kTsk1File = "成果ファイル名が地籍調査成果管理ファイル(SURV_TSK.XML)に記述されていません";
const std::string kTsk2Folder = "成果フォルダ名が先行調査成果管理ファイル(SURV_TSK.XML)に記述されていません";
const std::string kTsk2File = "成果ファイル名が先行調査成果管理ファイル(SURV_TSK.XML)に記述されていません";
const std::string kNotInSurvey = "成果フォルダ名が測量情報管理ファイル(SURVEY.XML)に記述されていません";

void writeBytes(const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream o(p, std::ios::binary);
    o << bytes;
}

// A CP932 management file with a DTD beside it that declares every element used.
void writeXml(const fs::path& p, const std::string& root, const std::string& body, const std::string& dtdName) {
    const std::string doc = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<!DOCTYPE " + root + " SYSTEM \"" +
                            dtdName + "\">\r\n<" + root + ">" + body + "</" + root + ">\r\n";
    std::set<std::string> names{root};
    std::regex tag("<([^\\s/>!?]+)>");
    for (std::sregex_iterator it(body.begin(), body.end(), tag), end; it != end; ++it) names.insert((*it)[1]);
    std::string dtd = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n";
    for (const auto& n : names) dtd += "<!ELEMENT " + n + " ANY>\r\n";
    writeBytes(p, qm::toCp932(doc));
    writeBytes(p.parent_path() / dtdName, qm::toCp932(dtd));
}

std::string el(const std::string& name, const std::string& text) { return "<" + name + ">" + text + "</" + name + ">"; }

// One result information entry of SURV_TSK.XML.
std::string info(const std::string& T, const std::string& a, const std::string& b, const std::string& c,
                 const std::vector<std::string>& files) {
    std::string s = el(T + "区分フォルダ名", a) + el(T + "成果区分フォルダ名", b);
    if (!c.empty()) s += el(T + "細区分フォルダ名", c);
    for (const auto& f : files) s += el("成果ファイル情報", el(T + "成果ファイル名", f));
    return el(T + "成果情報", s);
}

std::string readLog(const fs::path& p) {
    std::ifstream i(p, std::ios::binary);
    std::stringstream ss;
    ss << i.rdbuf();
    return qm::fromCp932(ss.str());
}

std::string lines(const std::vector<std::string>& ls) {
    std::string s;
    for (const auto& l : ls) s += l + "\r\n";
    return s;
}

class RelationCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qm_relation_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "log");
        previous_ = qm::setMessageSink(&sink_);
    }
    void TearDown() override {
        qm::setMessageSink(previous_);
        fs::remove_all(dir_);
    }

    fs::path medium(int n) const { return dir_ / ("m" + std::to_string(n)); }
    std::string top(int n) const { return medium(n).string() + "/"; }
    std::string log(const std::string& name) const { return (dir_ / "log" / name).string(); }
    void touch(int n, const std::string& rel) { writeBytes(medium(n) / rel, "x"); }
    void folder(int n, const std::string& rel) { fs::create_directories(medium(n) / rel); }

    void survey(int n, const std::string& body) { writeXml(medium(n) / "SURVEY/SURVEY.XML", "SURVEY", body, "TSUR_D04.DTD"); }
    void tsk(int n, const std::string& body) {
        writeXml(medium(n) / "SURVEY/TISEKI/SURV_TSK.XML", "SURV_DATA", body, "TISK_D04.DTD");
    }
    std::string surveyFile(int n) const { return (medium(n) / "SURVEY/SURVEY.XML").string(); }
    std::string tskFile(int n) const { return (medium(n) / "SURVEY/TISEKI/SURV_TSK.XML").string(); }

    fs::path dir_;
    qm::RecordingMessageSink sink_;
    qm::MessageSink* previous_ = nullptr;
};

std::string indexBody(const std::string& no, const std::string& num) {
    return el("基礎情報", el("メディア番号", no) + el("メディア総枚数", num));
}

TEST_F(RelationCheckTest, MediaNumberAndCountAgainstTheRun) {
    writeXml(medium(2) / "INDEX_D.XML", "gyomudata", indexBody("1", "2"), "TIND_D04.DTD");
    const std::string file = (medium(2) / "INDEX_D.XML").string();
    writeBytes(log("JobFileCheck_IND_002.log"), qm::toCp932("20201,/gyomudata/x,0,必要な要素がありません,\r\n"));

    CRelationCheck rc;
    EXPECT_EQ(rc.checkRelation_Index(file, top(2), log("JobFileCheck_IND_002.log"), log("FolderCheck_002.log"), 2, 3), 1);
    EXPECT_EQ(readLog(log("JobFileCheck_IND_002.log")),
              lines({"20201,/gyomudata/x,0,必要な要素がありません,", ";チェックファイル " + file,
                     "30701,/gyomudata/基礎情報/メディア番号,1,メディア番号が不正です,1",
                     "30702,/gyomudata/基礎情報/メディア総枚数,1,メディア総枚数が不正です,2"}));
    EXPECT_FALSE(fs::exists(log("FolderCheck_002.log")));
    EXPECT_TRUE(sink_.shown.empty());
}

TEST_F(RelationCheckTest, MediaNumbersThatAreNotJudgedHere) {
    CRelationCheck rc;
    const std::string file = (medium(1) / "INDEX_D.XML").string();
    // Leading zero: numeric value 1 agrees.
    writeXml(medium(1) / "INDEX_D.XML", "gyomudata", indexBody("01", "002"), "TIND_D04.DTD");
    EXPECT_EQ(rc.checkRelation_Index(file, top(1), log("a.log"), "", 1, 2), 0);
    // Full-width digits and empty values are left to the element check.
    writeXml(medium(1) / "INDEX_D.XML", "gyomudata", indexBody("１", ""), "TIND_D04.DTD");
    EXPECT_EQ(rc.checkRelation_Index(file, top(1), log("a.log"), "", 1, 2), 0);
    // Number and count both 0: not compared at all.
    writeXml(medium(1) / "INDEX_D.XML", "gyomudata", indexBody("5", "9"), "TIND_D04.DTD");
    EXPECT_EQ(rc.checkRelation_Index(file, top(1), log("a.log"), "", 0, 0), 0);
    EXPECT_FALSE(fs::exists(log("a.log")));

    // checkMediaNo on a loaded document and an open writer.
    qm::XmlDocument doc;
    ASSERT_TRUE(doc.load(file));
    qm::CErrorLog w;
    w.setFileName(log("b.log"));
    EXPECT_EQ(rc.checkMediaNo(doc, 5, 8, w), 1);
    w.CloseFile();
    EXPECT_EQ(readLog(log("b.log")), lines({"30702,/gyomudata/基礎情報/メディア総枚数,1,メディア総枚数が不正です,9"}));
}

TEST_F(RelationCheckTest, MissingOrUnloadableFile) {
    CRelationCheck rc;
    const std::string lg = log("FolderCheck_001.log");
    EXPECT_EQ(rc.checkRelation_Index("", top(1), lg, lg, 1, 1), -1);
    EXPECT_EQ(rc.checkRelation_Survey("", top(1), lg, lg), -1);
    EXPECT_EQ(rc.checkRelation_Tiseki((medium(1) / "nothing.xml").string(), top(1), lg, lg), -1);
    ASSERT_EQ(sink_.shown.size(), 3u);
    for (const auto& m : sink_.shown) {
        EXPECT_EQ(m.caption, "ファイル関連チェック");
        EXPECT_EQ(m.icon, qm::MsgIcon::Exclamation);
    }
    EXPECT_EQ(sink_.shown[0].text, "チェックを行うファイルを指定してください。");
    EXPECT_EQ(sink_.shown[1].text, "チェックを行うファイルを指定してください。");
    EXPECT_EQ(sink_.shown[2].text, "チェックを行うファイルが見つかりません。");

    // Not well-formed, or its DTD missing: 1 and nothing written.
    folder(1, "SURVEY/TISEKI/WORK/CPROC_1");
    writeBytes(medium(1) / "SURVEY/SURVEY.XML", "<SURVEY><broken></SURVEY>");
    EXPECT_EQ(rc.checkRelation_Survey(surveyFile(1), top(1), "", lg), 1);
    writeBytes(medium(1) / "SURVEY/TISEKI/SURV_TSK.XML",
               "<?xml version=\"1.0\"?>\r\n<!DOCTYPE SURV_DATA SYSTEM \"NONE.DTD\">\r\n<SURV_DATA/>\r\n");
    EXPECT_EQ(rc.checkRelation_Tiseki(tskFile(1), top(1), "", lg), 1);
    EXPECT_FALSE(fs::exists(lg));
    EXPECT_EQ(sink_.shown.size(), 3u);
}

TEST_F(RelationCheckTest, FoldersNotNamedInSurveyXml) {
    const std::string T = "地籍調査";
    for (const char* f : {"SURVEY/DOC", "SURVEY/TISEKI/WORK/CPROC_1", "SURVEY/TISEKI/WORK/DPROC_1",
                          "SURVEY/TISEKI/DATA/CPROC_1", "SURVEY/TISEKI/OTHRS"})
        folder(1, f);
    // Lower-case texts are accepted; DPROC_1 (record), DOC and OTHRS are not named.
    survey(1, el("基礎情報", el(T + "成果格納用フォルダ名", "tiseki")) +
                  el("測量情報", el(T + "記録フォルダパス名", "survey/tiseki/work/cproc_1") +
                                     el(T + "成果フォルダパス名", "SURVEY/TISEKI/DATA/CPROC_1")));
    CRelationCheck rc;
    rc.setResultType(1);
    const std::string lg = log("FolderCheck_001.log");
    EXPECT_EQ(rc.checkRelation_Survey(surveyFile(1), top(1), log("JobFileCheck_SUV_001.log"), lg), 1);
    EXPECT_EQ(readLog(lg),
              lines({";チェックファイル " + surveyFile(1),
                     "30401,SURVEY\\DOC," + kNotInSurvey + ",/SURVEY/基礎情報/ドキュメント格納用フォルダ名",
                     "30401,SURVEY\\TISEKI\\WORK\\DPROC_1," + kNotInSurvey + ",/SURVEY/測量情報/" + T + "記録フォルダパス名",
                     "30401,SURVEY\\TISEKI\\OTHRS," + kNotInSurvey + ",/SURVEY/測量情報/その他データフォルダパス名"}));
    EXPECT_FALSE(fs::exists(log("JobFileCheck_SUV_001.log")));

    // Everything named: nothing to report.
    survey(1, el("基礎情報", el(T + "成果格納用フォルダ名", "TISEKI") + el("ドキュメント格納用フォルダ名", "DOC")) +
                  el("測量情報", el(T + "記録フォルダパス名", "SURVEY/TISEKI/WORK/CPROC_1") +
                                     el(T + "成果フォルダパス名", "SURVEY/TISEKI/DATA/CPROC_1") +
                                     el("その他データフォルダパス名", "SURVEY/TISEKI/OTHRS")) +
                  el("測量情報", el(T + "記録フォルダパス名", "SURVEY/TISEKI/WORK/DPROC_1")));
    fs::remove(lg);
    EXPECT_EQ(rc.checkRelation_Survey(surveyFile(1), top(1), "", lg), 0);
    EXPECT_FALSE(fs::exists(lg));
}

TEST_F(RelationCheckTest, MediumFoldersFoundIgnoringCaseAndLoggedUpperCased) {
    // Folder names on the medium in lower case; the fixed names are found all the same.
    folder(1, "survey/tiseki/work/cproc_1");
    writeXml(medium(1) / "survey/SURVEY.XML", "SURVEY", el("基礎情報", el("先行調査成果格納用フォルダ名", "TISEKI")),
             "TSUR_D04.DTD");
    CRelationCheck rc;
    rc.setResultType(2);
    const std::string lg = log("FolderCheck_001.log");
    const std::string file = (medium(1) / "survey/SURVEY.XML").string();
    EXPECT_EQ(rc.checkRelation_Survey(file, top(1), "", lg), 1);
    EXPECT_EQ(readLog(lg), lines({";チェックファイル " + file,
                                  "30401,SURVEY\\TISEKI\\WORK\\CPROC_1," + kNotInSurvey +
                                      ",/SURVEY/測量情報/先行調査記録フォルダパス名"}));
}

TEST_F(RelationCheckTest, SubFoldersAndFilesNotDescribedInSurvTsk) {
    const std::string T = "地籍調査";
    for (const char* f : {"SURVEY/TISEKI/WORK/CPROC_1/CPRA001.XML", "SURVEY/TISEKI/WORK/CPROC_1/cpra002.xml",
                          "SURVEY/TISEKI/WORK/CPROC_1/CPRA003.XML", "SURVEY/TISEKI/WORK/DPROC_1/DPRA001.XML",
                          "SURVEY/TISEKI/WORK/DPROC_1/DPRA002.XML", "SURVEY/TISEKI/DATA/CPROC_1/CPRB001.PDF",
                          "SURVEY/TISEKI/OTHRS/OTHER.TXT"})
        touch(1, f);
    tsk(1, info(T, "TISEKI", "WORK", "cproc_1", {"CPRA001.XML", "CPRA002.XML"}) +
               info(T, "TISEKI", "DATA", "CPROC_1", {"CPRB001.PDF"}));
    CRelationCheck rc;
    const std::string lg = log("FolderCheck_001.log");
    EXPECT_EQ(rc.checkRelation_Tiseki(tskFile(1), top(1), log("JobFileCheck_TSK_001.log"), lg), 1);
    const std::string item1 = "/SURV_DATA/" + T + "成果情報/" + T + "細区分フォルダ名";
    const std::string item2 = "/SURV_DATA/" + T + "成果情報/成果ファイル情報/" + T + "成果ファイル名";
    EXPECT_EQ(readLog(lg), lines({";チェックファイル " + tskFile(1),
                                  "30602,SURVEY\\TISEKI\\WORK\\CPROC_1\\CPRA003.XML," + kTsk1File + "," + item2,
                                  "30601,SURVEY\\TISEKI\\WORK\\DPROC_1," + kTsk1Folder + "," + item1,
                                  "30601,SURVEY\\TISEKI\\OTHRS," + kTsk1Folder + "," + item1}));
    EXPECT_FALSE(fs::exists(log("JobFileCheck_TSK_001.log")));
}

TEST_F(RelationCheckTest, SurvTskOfThePreliminarySurvey) {
    const std::string T = "先行調査";
    touch(1, "SURVEY/TISEKI/DATA/PAPROC_1/PAAA001.PDF");
    touch(1, "SURVEY/TISEKI/DATA/PAPROC_1/PAAA002.PDF");
    touch(1, "SURVEY/TISEKI/DATA/PBPROC_1/PBAA001.PDF");
    touch(1, "SURVEY/TISEKI/OTHRS/A.TXT");
    touch(1, "SURVEY/TISEKI/OTHRS/b.txt");
    tsk(1, info(T, "TISEKI", "DATA", "PAPROC_1", {"PAAA001.PDF"}) + info(T, "TISEKI", "OTHRS", "", {"A.TXT"}) +
               info("地籍調査", "TISEKI", "DATA", "PBPROC_1", {"PBAA001.PDF"}));  // names of the other type
    CRelationCheck rc;
    rc.setResultType(2);
    const std::string lg = log("FolderCheck_001.log");
    EXPECT_EQ(rc.checkRelation_Tiseki(tskFile(1), top(1), "", lg), 1);
    const std::string item1 = "/SURV_DATA/" + T + "成果情報/" + T + "細区分フォルダ名";
    const std::string item2 = "/SURV_DATA/" + T + "成果情報/成果ファイル情報/" + T + "成果ファイル名";
    EXPECT_EQ(readLog(lg), lines({";チェックファイル " + tskFile(1),
                                  "30602,SURVEY\\TISEKI\\DATA\\PAPROC_1\\PAAA002.PDF," + kTsk2File + "," + item2,
                                  "30601,SURVEY\\TISEKI\\DATA\\PBPROC_1," + kTsk2Folder + "," + item1,
                                  "30602,SURVEY\\TISEKI\\OTHRS\\B.TXT," + kTsk2File + "," + item2}));
}

TEST_F(RelationCheckTest, DescribedListsAndTheirOccurrences) {
    const std::string T = "地籍調査";
    survey(1, el("基礎情報", el(T + "成果格納用フォルダ名", "tiseki") + el("ドキュメント格納用フォルダ名", "DOC")) +
                  el("測量情報", el(T + "記録フォルダパス名", "") + el(T + "成果フォルダパス名", "SURVEY/TISEKI/DATA/CPROC_1")) +
                  el("測量情報", el(T + "記録フォルダパス名", "survey/tiseki/work/dproc_1")));
    tsk(1, info(T, "TISEKI", "WORK", "", {}) + el(T + "成果情報", el(T + "区分フォルダ名", "TISEKI") +
                                                                    el(T + "成果区分フォルダ名", "") +
                                                                    el(T + "細区分フォルダ名", "cproc_1")) +
               info(T, "tiseki", "DATA", "CPROC_1", {"a.pdf", "B.PDF"}) + info(T, "TISEKI", "OTHRS", "", {"X.TXT"}));
    CRelationCheck rc;
    ASSERT_TRUE(rc.getDocFilenameFromJobFile("", surveyFile(1), tskFile(1)));

    const auto& s = rc.surveyFolders();
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0].value, "tiseki");
    EXPECT_EQ(s[0].folderPath, "SURVEY\\TISEKI");
    EXPECT_EQ(s[0].elementPath, "/SURVEY/基礎情報/" + T + "成果格納用フォルダ名");
    EXPECT_EQ(s[1].folderPath, "SURVEY\\DOC");
    EXPECT_EQ(s[2].folderPath, "SURVEY\\TISEKI\\DATA\\CPROC_1");
    EXPECT_EQ(s[2].occurrence, 1);
    // The empty first 記録フォルダパス名 counts but is not listed.
    EXPECT_EQ(s[3].folderPath, "SURVEY\\TISEKI\\WORK\\DPROC_1");
    EXPECT_EQ(s[3].elementPath, "/SURVEY/測量情報/" + T + "記録フォルダパス名");
    EXPECT_EQ(s[3].occurrence, 2);

    const auto& c = rc.classFolders();
    ASSERT_EQ(c.size(), 3u);  // the empty 成果区分フォルダ名 counts, is not listed
    EXPECT_EQ(c[0].folderPath, "SURVEY\\TISEKI\\WORK");
    EXPECT_EQ(c[0].occurrence, 1);
    EXPECT_EQ(c[1].value, "DATA");
    EXPECT_EQ(c[1].occurrence, 3);
    EXPECT_EQ(c[2].occurrence, 4);
    const auto& sub = rc.subFolders();
    ASSERT_EQ(sub.size(), 2u);
    EXPECT_EQ(sub[0].folderPath, "SURVEY\\TISEKI\\\\CPROC_1");
    EXPECT_EQ(sub[0].occurrence, 1);
    EXPECT_EQ(sub[1].folderPath, "SURVEY\\TISEKI\\DATA\\CPROC_1");
    EXPECT_EQ(sub[1].occurrence, 2);
    const auto& f = rc.resultFiles();
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].fileName, "A.PDF");
    EXPECT_EQ(f[0].fullPath, "SURVEY\\TISEKI\\DATA\\CPROC_1\\A.PDF");
    EXPECT_EQ(f[2].fullPath, "SURVEY\\TISEKI\\OTHRS\\X.TXT");
    EXPECT_EQ(f[2].occurrence, 3);

    // Missing files leave the lists empty and still answer true.
    EXPECT_TRUE(rc.getDocFilenameFromJobFile("", (medium(9) / "S.XML").string(), ""));
    EXPECT_TRUE(rc.surveyFolders().empty() && rc.classFolders().empty() && rc.resultFiles().empty());
}

// Two media: what medium 2 holds counts as present; only what no medium holds is reported.
TEST_F(RelationCheckTest, TotalsOverTwoMedia) {
    const std::string T = "地籍調査";
    survey(1, el("基礎情報", el(T + "成果格納用フォルダ名", "TISEKI") + el("ドキュメント格納用フォルダ名", "DOC")) +
                  el("測量情報", el(T + "記録フォルダパス名", "SURVEY/TISEKI/WORK/CPROC_1")) +
                  el("測量情報", el(T + "記録フォルダパス名", "SURVEY/TISEKI/WORK/DPROC_1")) +
                  el("測量情報", el(T + "記録フォルダパス名", "Survey/Tiseki/Work/Eproc_1")));
    tsk(1, info(T, "TISEKI", "WORK", "CPROC_1", {"CPRA001.XML", "CPRA002.XML"}) +
               info(T, "TISEKI", "WORK", "DPROC_1", {"DPRA001.XML", "dpra009.xml", "DPRA001.XML"}) +
               info(T, "TISEKI", "WORK", "EPROC_1", {}) + info(T, "TISEKI", "DATA", "", {}));
    touch(1, "SURVEY/TISEKI/WORK/CPROC_1/CPRA001.XML");
    touch(2, "SURVEY/TISEKI/WORK/CPROC_1/CPRA002.XML");
    touch(2, "SURVEY/TISEKI/WORK/DPROC_1/DPRA001.XML");
    folder(2, "SURVEY/DOC");
    // Medium 2 carries its own management files.
    survey(2, el("基礎情報", el(T + "成果格納用フォルダ名", "TISEKI") + el("ドキュメント格納用フォルダ名", "DOC")) +
                  el("測量情報", el(T + "記録フォルダパス名", "SURVEY/TISEKI/WORK/CPROC_1")) +
                  el("測量情報", el(T + "記録フォルダパス名", "SURVEY/TISEKI/WORK/DPROC_1")));
    tsk(2, info(T, "TISEKI", "WORK", "CPROC_1", {"CPRA002.XML"}) + info(T, "TISEKI", "WORK", "DPROC_1", {"DPRA001.XML"}));

    CRelationCheck rc;
    rc.setResultType(1);
    ASSERT_TRUE(rc.getDocFilenameFromJobFile("", surveyFile(1), tskFile(1)));
    for (int n = 1; n <= 2; ++n) {
        const std::string lg = log("FolderCheck_00" + std::to_string(n) + ".log");
        EXPECT_EQ(rc.checkRelation_Survey(surveyFile(n), top(n), "", lg), 0) << n;
        EXPECT_EQ(rc.checkRelation_Tiseki(tskFile(n), top(n), "", lg), 0) << n;
        EXPECT_FALSE(fs::exists(lg)) << n;
    }
    writeBytes(log("JobFileCheck_SUV_001.log"), "");
    EXPECT_EQ(rc.checkXmlToVol_Total(log("JobFileCheck_IND_001.log"), log("JobFileCheck_SUV_001.log"),
                                     log("JobFileCheck_TSK_001.log")),
              1);
    EXPECT_FALSE(fs::exists(log("JobFileCheck_IND_001.log")));
    EXPECT_EQ(readLog(log("JobFileCheck_SUV_001.log")),
              lines({"30301,/SURVEY/測量情報/" + T + "記録フォルダパス名,3,記述されている成果フォルダが存在しません,Survey/Tiseki/Work/Eproc_1"}));
    const std::string info0 = "/SURV_DATA/" + T + "成果情報/";
    EXPECT_EQ(readLog(log("JobFileCheck_TSK_001.log")),
              lines({"30501," + info0 + T + "成果区分フォルダ名,4,記述されている成果フォルダが存在しません,DATA",
                     "30501," + info0 + T + "細区分フォルダ名,3,記述されている成果フォルダが存在しません,EPROC_1",
                     // Found on medium 2 only as DPRA001.XML: its second mention stays unfound.
                     "30502," + info0 + "成果ファイル情報/" + T + "成果ファイル名,4,記述されている成果ファイルが存在しません,DPRA009.XML",
                     "30502," + info0 + "成果ファイル情報/" + T + "成果ファイル名,5,記述されている成果ファイルが存在しません,DPRA001.XML"}));

    // A second total finds nothing new to add beyond the same items.
    CRelationCheck empty;
    EXPECT_EQ(empty.checkXmlToVol_Total("", log("x.log"), log("y.log")), 0);
    EXPECT_FALSE(fs::exists(log("x.log")));
}

TEST_F(RelationCheckTest, PreliminaryTotalsUseTheirElementNames) {
    const std::string T = "先行調査";
    tsk(1, info(T, "TISEKI", "DATA", "PAPROC_1", {"PAAA001.PDF"}));
    CRelationCheck rc;
    rc.setResultType(2);
    ASSERT_TRUE(rc.getDocFilenameFromJobFile("", surveyFile(1), tskFile(1)));
    EXPECT_EQ(rc.checkXmlToVol_Total("", log("s.log"), log("t.log")), 1);
    EXPECT_FALSE(fs::exists(log("s.log")));
    const std::string info0 = "/SURV_DATA/" + T + "成果情報/";
    EXPECT_EQ(readLog(log("t.log")),
              lines({"30501," + info0 + T + "成果区分フォルダ名,1,記述されている成果フォルダが存在しません,DATA",
                     "30501," + info0 + T + "細区分フォルダ名,1,記述されている成果フォルダが存在しません,PAPROC_1",
                     "30502," + info0 + "成果ファイル情報/" + T + "成果ファイル名,1,記述されている成果ファイルが存在しません,PAAA001.PDF"}));
}

TEST_F(RelationCheckTest, LogsAreCp932WithCrLf) {
    folder(1, "SURVEY/DOC");
    survey(1, el("基礎情報", ""));
    CRelationCheck rc;
    const std::string lg = log("FolderCheck_001.log");
    EXPECT_EQ(rc.checkRelation_Survey(surveyFile(1), top(1), "", lg), 1);
    std::ifstream i(lg, std::ios::binary);
    std::stringstream ss;
    ss << i.rdbuf();
    EXPECT_EQ(ss.str(), qm::toCp932(";チェックファイル " + surveyFile(1) + "\r\n30401,SURVEY\\DOC," + kNotInSurvey +
                                    ",/SURVEY/基礎情報/ドキュメント格納用フォルダ名\r\n"));
}

// A SURV_TSK.XML describing 33,000 files (occurrences beyond 16 bits); the medium holds
// the 6,000 of two sub-folders and one file more.
TEST_F(RelationCheckTest, LargeResultManagementFile) {
    const std::string T = "地籍調査";
    const int kFolders = 11, kPerFolder = 3000, kOnMedium = 2;
    std::string body;
    for (int d = 0; d < kFolders; ++d) {
        const std::string sub = "CPROC_" + std::to_string(d + 1);
        const fs::path subDir = medium(1) / "SURVEY/TISEKI/WORK" / sub;
        if (d < kOnMedium) fs::create_directories(subDir);
        std::vector<std::string> names;
        for (int k = 0; k < kPerFolder; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, "F%07d.XML", d * kPerFolder + k);
            names.push_back(name);
            if (d >= kOnMedium) continue;
            const int fd = ::open((subDir / name).string().c_str(), O_CREAT | O_WRONLY, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
        body += info(T, "TISEKI", "WORK", sub, names);
    }
    touch(1, "SURVEY/TISEKI/WORK/CPROC_2/EXTRA.XML");
    tsk(1, body);

    CRelationCheck rc;
    ASSERT_TRUE(rc.getDocFilenameFromJobFile("", surveyFile(1), tskFile(1)));
    EXPECT_EQ(rc.resultFiles().size(), 33000u);
    const std::string fileItem = "/SURV_DATA/" + T + "成果情報/成果ファイル情報/" + T + "成果ファイル名";
    EXPECT_EQ(rc.checkRelation_Tiseki(tskFile(1), top(1), "", log("f.log")), 1);
    EXPECT_EQ(readLog(log("f.log")), lines({";チェックファイル " + tskFile(1),
                                            "30602,SURVEY\\TISEKI\\WORK\\CPROC_2\\EXTRA.XML," + kTsk1File + "," + fileItem}));

    EXPECT_EQ(rc.checkXmlToVol_Total("", log("s.log"), log("t.log")), 1);
    const std::string total = readLog(log("t.log"));
    size_t count = 0;
    for (size_t p = total.find("\r\n"); p != std::string::npos; p = total.find("\r\n", p + 2)) ++count;
    EXPECT_EQ(count, size_t(kFolders - kOnMedium) * (kPerFolder + 1));
    EXPECT_EQ(total.substr(0, total.find("\r\n")),
              "30501,/SURV_DATA/" + T + "成果情報/" + T + "細区分フォルダ名,3,記述されている成果フォルダが存在しません,CPROC_3");
    EXPECT_NE(total.find("\r\n30502," + fileItem + ",6001,記述されている成果ファイルが存在しません,F0006000.XML\r\n"),
              std::string::npos);
    EXPECT_TRUE(total.ends_with("\r\n30502," + fileItem + ",33000,記述されている成果ファイルが存在しません,F0032999.XML\r\n"));
}

}  // namespace
