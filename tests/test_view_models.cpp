// The models behind the folder structure view, the XML view and the deliverables list.
#include "models/doclist.h"
#include "models/foldertree.h"
#include "models/xmltree.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"
#include "run_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

using namespace qm;
using qmtest::fs::path;
using qmtest::writeBytes;
using qmtest::writeCp932;

namespace {

class SinkGuard {
public:
    SinkGuard() { previous_ = setMessageSink(&sink); }
    ~SinkGuard() { setMessageSink(previous_); }
    RecordingMessageSink sink;
private:
    MessageSink* previous_;
};

std::vector<std::string> names(const FolderTree& t) {
    std::vector<std::string> out;
    for (size_t r = 1; r < t.rows().size(); ++r) out.push_back(std::string(t.rows()[r].level, ' ') + t.rows()[r].name);
    return out;
}

// ---- Folder tree -----------------------------------------------------------------

TEST(FolderTree, OrderKindsAndColours) {
    qmtest::TempDir dir("ftree");
    const path top = dir.path();
    writeBytes(top / "b.txt", "x");
    writeBytes(top / "B.txt", "x");
    writeBytes(top / "a/z.txt", "x");
    writeBytes(top / ".hidden", "x");
    writeBytes(top / "C/y.txt", "x");
    ASSERT_EQ(::symlink("b.txt", (top / "link").c_str()), 0);
    ASSERT_EQ(::mkfifo((top / "a/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("y.txt", (top / "C/.dl").c_str()), 0);  // hidden and system: system

    FolderTree t;
    ASSERT_TRUE(t.SetTree(1, dir.str(), "", ""));
    // Files by character code before the folders, which follow in the same order.
    EXPECT_EQ(names(t), (std::vector<std::string>{" .hidden", " B.txt", " b.txt", " link", " C", "  .dl", "  y.txt",
                                                  " a", "  pipe", "  z.txt"}));
    const auto& rows = t.rows();
    EXPECT_EQ(rows[0].name, dir.str());
    EXPECT_EQ(rows[0].relPath, dir.str());
    EXPECT_EQ(rows[0].kind, 16);
    EXPECT_EQ(rows[1].colour, FolderRow::Hidden);
    EXPECT_EQ(rows[4].colour, FolderRow::System);  // a link is never followed
    EXPECT_EQ(rows[6].colour, FolderRow::System);
    EXPECT_EQ(rows[9].colour, FolderRow::System);  // a pipe
    EXPECT_EQ(rows[5].kind, 16);
    EXPECT_EQ(rows[7].relPath, "C\\y.txt");
    EXPECT_EQ(rows[7].parent, 5u);
    EXPECT_TRUE(t.hiddenSeen());
    EXPECT_TRUE(t.systemSeen());
    EXPECT_EQ(folderRowColour(rows[5]).b, 255);
    EXPECT_EQ(folderRowColour(rows[1]).g, 153);
    EXPECT_EQ(folderRowColour(rows[4]).r, 255);
    EXPECT_TRUE(LikeMatch(rows[2].time, "####/##/## ##:##")) << rows[2].time;
    EXPECT_EQ(t.nativePath(10), (top / "a/z.txt").string());
    EXPECT_EQ(t.helpContext(), FolderTree::kHelpWithoutLog);
    EXPECT_EQ(t.resultLabel(), "地籍調査成果");
    // The outline gives each row back by parent and position.
    EXPECT_EQ(t.outline().childCount(kNoParent), 1u);
    EXPECT_EQ(t.outline().childCount(0), 6u);
    EXPECT_EQ(t.outline().child(8, 1), 10u);
    EXPECT_EQ(t.outline().indexInParent(10), 1u);

    auto doc = t.printDocument();
    EXPECT_EQ(doc.kind, print::DocKind::File);
    EXPECT_EQ(doc.title, "地籍調査成果\u3000ファイル一覧");
    ASSERT_EQ(doc.records.size(), rows.size());
    EXPECT_EQ(doc.records[0].name, dir.str());  // the medium row keeps its path
    EXPECT_EQ(doc.records[5].name, "[C]");
    EXPECT_EQ(doc.records[5].extra, "16");
    EXPECT_EQ(doc.records[7].level, 2);
    EXPECT_EQ(doc.records[0].time, "");
}

TEST(FolderTree, DescriptionsFromTheTableAndTheResultFile) {
    qmtest::TempDir dir("fdesc");
    const path top = dir.path();
    qmtest::buildCadastralMedium(top);
    writeBytes(top / "SURVEY/TISEKI/WORK/CPROC_1/TC1Z0001.PDF", "x");
    writeCp932(top / "SURVEY/TISEKI/SURV_TSK.XML",
               "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<SURV_DATA>\n"
               "<地籍調査成果情報><地籍調査区分フォルダ名>TISEKI</地籍調査区分フォルダ名>"
               "<地籍調査成果区分フォルダ名>WORK</地籍調査成果区分フォルダ名><地籍調査細区分フォルダ名>CPROC_1</地籍調査細区分フォルダ名>"
               "<成果ファイル情報><地籍調査成果ファイル名>TC1A0001.XML</地籍調査成果ファイル名>"
               "<地籍調査成果ファイル名副題>観測手簿</地籍調査成果ファイル名副題></成果ファイル情報>"
               "<成果ファイル情報><地籍調査成果ファイル名>TC1Z0001.PDF</地籍調査成果ファイル名>"
               "<地籍調査成果ファイル名副題>補足</地籍調査成果ファイル名副題></成果ファイル情報></地籍調査成果情報>\n"
               "<地籍調査成果情報><地籍調査区分フォルダ名>TISEKI</地籍調査区分フォルダ名>"
               "<地籍調査成果区分フォルダ名>DATA</地籍調査成果区分フォルダ名><地籍調査細区分フォルダ名>CPROC_1</地籍調査細区分フォルダ名>"
               "<成果ファイル情報><地籍調査成果ファイル名>TC1B0001.PDF</地籍調査成果ファイル名>"
               "<地籍調査成果ファイル名副題>網図</地籍調査成果ファイル名副題></成果ファイル情報></地籍調査成果情報>\n"
               "</SURV_DATA>\n");
    const path table = top.parent_path() / (top.filename().string() + "-FileInfo.txt");
    writeCp932(table,
               ";pattern,description\n"
               "SURVEY,測量フォルダ\n"
               "SURVEY\\TISEKI\\WORK\\CPROC_?\\TC?Z0###.*,その他成果\n"
               "SURVEY\\TISEKI\\WORK\\CPROC_?\\TC?Z0###.PDF,その他の記録\n"
               "SURVEY\\TISEKI\\DATA\\*\\TC?B####.PDF,その他の成果図\n"
               "SURVEY\\TISEKI\\DATA\\*,成果\n");
    FolderTree t;
    ASSERT_TRUE(t.SetTree(1, dir.str(), table.string(), ""));
    auto desc = [&](const std::string& rel) { return t.rows()[static_cast<size_t>(t.findRow(rel))].description; };
    EXPECT_EQ(desc("SURVEY"), "測量フォルダ");
    EXPECT_EQ(desc("SURVEY\\TISEKI\\WORK\\CPROC_1\\TC1A0001.XML"), "未定義（観測手簿）");
    EXPECT_EQ(desc("SURVEY\\TISEKI\\WORK\\CPROC_1\\TC1Z0001.PDF"), "その他成果（補足）");  // the first pattern wins
    EXPECT_EQ(desc("SURVEY\\TISEKI\\DATA\\CPROC_1\\TC1B0001.PDF"), "その他の成果図（網図）");
    EXPECT_EQ(desc("SURVEY\\TISEKI\\DATA\\CPROC_1"), "成果");
    EXPECT_EQ(desc("INDEX_D.XML"), "");
    std::error_code ec;
    qmtest::fs::remove(table, ec);
}

TEST(FolderTree, FindingsOfTheFolderLog) {
    qmtest::TempDir dir("flog");
    writeBytes(dir.path() / "SURVEY/DOC/DOCA0001.PDF", "x");
    const std::string log = dir.str() + "FolderCheck_001.log";
    {
        CErrorLog l;
        l.setFileName(log);
        l.setComment(";フォルダ構成チェック");
        l.writeErrorLog(10601, "", "SURVEY\\DOC", "ファイル名が不正です（A, B）");
        l.writeErrorLog(10302, "", "SURVEY\\DOC", "更新日が範囲外です");
        l.writeErrorLog(10802, "", "SURVEY\\NONE", "ありません");
        l.CloseFile();
    }
    FolderTree t;
    ASSERT_TRUE(t.SetTree(2, dir.str(), "", log));
    const auto& row = t.rows()[static_cast<size_t>(t.findRow("SURVEY\\DOC"))];
    EXPECT_EQ(row.messages, "ファイル名が不正です（A, B）\r\n更新日が範囲外です");
    EXPECT_TRUE(row.red);
    EXPECT_EQ(folderRowColour(row).r, 255);
    EXPECT_EQ(folderRowColour(row).b, 0);
    EXPECT_FALSE(t.rows()[static_cast<size_t>(t.findRow("SURVEY"))].red);
    EXPECT_EQ(t.helpContext(), FolderTree::kHelpWithLog);
    EXPECT_EQ(t.resultLabel(), "官民境界等先行調査成果");
}

TEST(FolderTree, StopEndsTheWalkWithItsBox) {
    qmtest::TempDir dir("fstop");
    writeBytes(dir.path() / "a/b.txt", "x");
    SinkGuard guard;
    std::atomic<bool> stop{true};
    FolderTree t;
    t.setStopFlag(&stop);
    EXPECT_FALSE(t.SetTree(1, dir.str(), "", ""));
    ASSERT_EQ(guard.sink.shown.size(), 1u);
    EXPECT_EQ(guard.sink.shown[0].text, "中断しました");
    EXPECT_EQ(guard.sink.shown[0].caption, "成果メディア参照");
}

// A sub-folder that cannot be listed is shown as such, with its finding once, and the
// rest of the medium is still shown.
int failListingOfB(const std::string& folderPath, const char* entryName) {
    return entryName == nullptr && folderPath.find("/B") != std::string::npos ? EACCES : 0;
}

TEST(FolderTree, UnreadableFolderIsShownAndTheWalkGoesOn) {
    qmtest::TempDir dir("funread");
    writeBytes(dir.path() / "A/a.txt", "x");
    writeBytes(dir.path() / "B/b.txt", "x");
    writeBytes(dir.path() / "C/c.txt", "x");
    const std::string log = dir.str() + "FolderCheck_001.log";
    {
        CErrorLog l;
        l.setFileName(log);
        l.writeErrorLog(kUnreadableCode, "アクセスが拒否されました", "B", kUnreadableMessage);
        l.CloseFile();
    }
    SinkGuard guard;
    setPlatformFaultForTesting(&failListingOfB);
    FolderTree t;
    const bool built = t.SetTree(1, dir.str(), "", log);
    setPlatformFaultForTesting(nullptr);
    ASSERT_TRUE(built);
    EXPECT_TRUE(guard.sink.shown.empty());
    EXPECT_EQ(names(t), (std::vector<std::string>{" FolderCheck_001.log", " A", "  a.txt", " B", " C", "  c.txt"}));
    const auto& b = t.rows()[static_cast<size_t>(t.findRow("B"))];
    EXPECT_TRUE(b.red);
    EXPECT_EQ(b.messages, "フォルダ又はファイルを読み取れません（アクセスが拒否されました）");
}

// ---- XML tree --------------------------------------------------------------------

class XmlTreeTest : public ::testing::Test {
protected:
    qmtest::TempDir dir{"xtree"};
    std::string write(const std::string& name, const std::string& utf8) {
        writeCp932(dir.path() / name, utf8);
        return (dir.path() / name).string();
    }
};

TEST_F(XmlTreeTest, RowsPathsAndColours) {
    write("T.DTD", "<!ELEMENT R (A*,B)>\n<!ELEMENT A (#PCDATA|C)*>\n<!ELEMENT C (#PCDATA)>\n<!ELEMENT B (#PCDATA)>\n"
                   "<!ATTLIST A id CDATA #IMPLIED>\n");
    const std::string file = write("R.XML", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<!DOCTYPE R SYSTEM \"T.DTD\">\n"
                                            "<R><A id=\"1\">本文<C>子</C></A><A/><B></B></R>\n");
    XmlTree t;
    ASSERT_EQ(t.SetTree(file, ""), XmlTree::kBuilt);
    const auto& rows = t.rows();
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0].nodeType, 10);
    EXPECT_EQ(t.path(rows[0]), "/R");
    EXPECT_EQ(t.path(rows[1]), "/R");  // the document type shares the root's path
    EXPECT_EQ(t.name(rows[3]), "id");
    EXPECT_EQ(rows[3].nodeType, 2);
    EXPECT_EQ(rows[3].value, "1");
    EXPECT_EQ(rows[3].level, 2);
    EXPECT_EQ(rows[2].value, "本文");  // text and child elements
    EXPECT_EQ(t.path(rows[4]), "/R/A/C");
    EXPECT_EQ(rows[5].value, "");
    EXPECT_TRUE(rows[1].yellow);
    EXPECT_TRUE(rows[2].yellow);
    EXPECT_FALSE(rows[4].yellow);  // level 2
    EXPECT_FALSE(rows[5].yellow);  // no content
    EXPECT_FALSE(rows[0].yellow);
    EXPECT_EQ(t.outline().childCount(kNoParent), 2u);
    EXPECT_EQ(t.fileName(), "R.XML");
    auto doc = t.printDocument();
    EXPECT_EQ(doc.kind, print::DocKind::Xml);
    EXPECT_EQ(doc.title, "R.XML");
    EXPECT_EQ(doc.records[3].extra, "2");
    EXPECT_EQ(doc.records[4].level, 2);
}

TEST_F(XmlTreeTest, FindingsPlacedByPathAndOccurrence) {
    const std::string file = write("S.XML", "<!DOCTYPE R [<!ELEMENT R ANY><!ELEMENT A ANY>]><R><A>1</A><A>2</A></R>");
    const std::string log = (dir.path() / "JobFileCheck_TSK_001.log").string();
    {
        CErrorLog l;
        l.setFileName(log);
        l.writeErrorLogXml(20101, "/R/A", 0, "必要な要素がありません", "");
        l.writeErrorLogXml(20102, "/R/A", 2, "桁数が多すぎます（最大, 10）", "2");
        l.writeErrorLogXml(20103, "/R/A", 2, "使用できない文字です", "2");
        l.writeErrorLogXml(20104, "/R/A", 3, "三つ目", "");
        l.writeErrorLogXml(20105, "/R", 1, "文書型", "");
        l.writeErrorLogXml(20106, "/R", 2, "ルート", "");
        l.writeErrorLogXml(20107, "/X", 1, "ない要素", "");
        l.CloseFile();
    }
    XmlTree t;
    ASSERT_EQ(t.SetTree(file, log), XmlTree::kBuilt);
    const auto& rows = t.rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].note, "文書型");
    EXPECT_EQ(rows[1].note, "ルート");
    EXPECT_EQ(rows[2].note, "");
    EXPECT_EQ(rows[3].note, "桁数が多すぎます（最大, 10）\r\n使用できない文字です");
}

TEST_F(XmlTreeTest, MissingAndMalformedFiles) {
    SinkGuard guard;
    XmlTree t;
    EXPECT_EQ(t.SetTree((dir.path() / "none.xml").string(), ""), XmlTree::kMissing);
    ASSERT_EQ(guard.sink.shown.size(), 1u);
    EXPECT_EQ(guard.sink.shown[0].caption, "XMLファイル表示");
    EXPECT_EQ(guard.sink.shown[0].text.rfind("ファイルが見つかりません。\r\n\r\n", 0), 0u);

    const std::string bad = write("BAD.XML", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<R>\n<A>漢字</B>\n</R>\n");
    EXPECT_EQ(t.SetTree(bad, ""), XmlTree::kNotXml);
    EXPECT_EQ(guard.sink.shown.size(), 1u);
    EXPECT_EQ(t.parseError().line, 3);
    EXPECT_NE(readXmlFileText(bad).text.find("<A>漢字</B>"), std::string::npos);
    // The text window reads nothing past the limit: exactly the limit is shown, one byte
    // more is not.
    const size_t badSize = static_cast<size_t>(std::filesystem::file_size(bad));
    EXPECT_FALSE(readXmlFileText(bad, badSize).tooLarge);
    EXPECT_NE(readXmlFileText(bad, badSize).text.find("</R>"), std::string::npos);
    const XmlFileText over = readXmlFileText(bad, badSize - 1);
    EXPECT_TRUE(over.tooLarge);
    EXPECT_TRUE(over.text.empty());

    std::atomic<bool> stop{true};
    t.setStopFlag(&stop);
    EXPECT_EQ(t.SetTree(write("OK.XML", "<R/>"), ""), XmlTree::kStopped);
    EXPECT_EQ(guard.sink.shown.back().text, "中断しました。");
}

// ---- Deliverables list -----------------------------------------------------------

class DocListTest : public ::testing::Test {
protected:
    qmtest::TempDir dir{"doclist"};
    path top() const { return dir.path() / "m1"; }
    std::string table() const { return (dir.path() / "DocList_C.txt").string(); }
    void touch(const std::string& rel) { writeBytes(top() / rel, "x"); }
    void surveyXml(const std::string& body) {
        writeCp932(top() / "SURVEY/SURVEY.XML", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<SURVEY>" + body + "</SURVEY>\n");
    }
};

TEST_F(DocListTest, AreasProcessesAndMarks) {
    writeCp932(table(),
               ";工程,フォルダ,パターン,成果名\n"
               "F1,DATA,???K0###.PDF,細部図根点成果簿\n"
               "F1,DATA,???K####.*,細部図根点その他\n"
               "F1,WORK,???A0###.PDF,作業の工程\n"
               "C,WORK,???A0###.PDF,三角の工程\n"
               "XX,WORK,*,知らない工程\n"
               "TOT,,TOTA0###.PDF,その他資料\n"
               "TOT,,TOTB0###.PDF,その他資料B\n"
               "DOC,,DOCA0###.PDF,作業計画書\n");
    touch("SURVEY/TISEKI/DATA/f1proc_b/TFBK0001.PDF");  // lower case: area B
    touch("SURVEY/TISEKI/DATA/F1PROC_0/TF0K0001.PDF");  // "0" is no area
    touch("SURVEY/TISEKI/WORK/F1PROC_A/TFAB0001.PDF");
    touch("SURVEY/TISEKI/OTHRS/TOTA0001.PDF");
    touch("SURVEY/DOC/DOCA0001.PDF");
    surveyXml("<場所情報><測量区域番号>2</測量区域番号><測量区域名>二丁目</測量区域名></場所情報>"
              "<測量情報><地籍調査成果フォルダパス名>SURVEY/TISEKI/DATA/F1PROC_b</地籍調査成果フォルダパス名>"
              "<測量区域No>2</測量区域No><精度>2</精度></測量情報>"
              "<測量情報><地籍調査記録フォルダパス名>SURVEY/TISEKI/WORK/F1PROC_B</地籍調査記録フォルダパス名>"
              "<測量区域No>2</測量区域No><精度>4</精度></測量情報>"
              "<測量情報><地籍調査記録フォルダパス名>SURVEY/TISEKI/WORK/F1PROC_A</地籍調査記録フォルダパス名>"
              "<測量区域No>9</測量区域No><精度>7</精度></測量情報>");
    ProcessFlags flags;
    flags.flag[0] = 1;  // C present in the run, without a folder
    DeliverablesList list;
    ASSERT_TRUE(list.setDocInfo(1, table(), flags));
    EXPECT_TRUE(list.SearchFiles(top().string() + "/"));
    list.setGrid();

    ASSERT_EQ(list.areaLines().size(), 2u);
    EXPECT_EQ(list.areaLines()[0].label, "A");  // no name, precision 7 adds nothing
    EXPECT_EQ(list.areaLines()[1].label, "B 二丁目 (甲2,乙1)");
    EXPECT_TRUE(list.found("F1", "B", 0));
    EXPECT_FALSE(list.found("F1", "B", 1));  // the file counts for its first entry only
    EXPECT_FALSE(list.found("F1", "A", 0));
    EXPECT_TRUE(list.found("TOT", "", 0));
    EXPECT_FALSE(list.found("TOT", "", 1));

    // Rows: per area the process documents, then TOT and DOC.
    const auto& rows = list.gridRows();
    ASSERT_EQ(rows.size(), 2u * 4u + 3u);
    EXPECT_EQ(rows[0].code, "C");  // processes in table order
    EXPECT_EQ(rows[1].mark, "×");  // F1 DATA for area A
    EXPECT_EQ(rows[1].code, "F1");
    EXPECT_EQ(rows[5].mark, "○");  // F1 DATA for area B
    EXPECT_EQ(rows[5].area, "B");
    EXPECT_EQ(rows[8].code, "TOT");
    EXPECT_EQ(rows[10].mark, "○");

    // Tabs of area A: C because the run set it, F1 because it is there; then OTHRS and DOC.
    const auto tabs = list.tabsFor(0);
    ASSERT_EQ(tabs.size(), 4u);
    EXPECT_EQ(tabs[0].key, "C");
    EXPECT_EQ(tabs[0].caption, "C工程");
    EXPECT_EQ(tabs[1].caption, "FⅠ工程");
    EXPECT_EQ(tabs[2].caption, "その他データ");
    EXPECT_EQ(tabs[3].key, "DOC");
    EXPECT_EQ(list.selectedArea, 0);
    EXPECT_EQ(list.selectedTab, "C");
    EXPECT_TRUE(list.rowVisible(0, 0, "C"));    // C of area A, all ×
    EXPECT_FALSE(list.rowVisible(4, 0, "C"));   // C of area B
    EXPECT_TRUE(list.rowVisible(5, 1, "F1"));
    EXPECT_TRUE(list.rowVisible(9, 1, "TOT"));
    EXPECT_FALSE(list.rowVisible(10, 1, "TOT"));

    const auto lines = list.printLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "地区A");
    EXPECT_EQ(lines[1].text, "C 工程");
    EXPECT_EQ(lines[1].kind, 1);
    EXPECT_EQ(lines[2].text, "FⅠ 工程");  // C has no folder for A: heading only
    EXPECT_EQ(lines[3].kind, 2);
    EXPECT_EQ(lines[3].mark, "×");
    EXPECT_EQ(list.printDocument().kind, print::DocKind::Doc);
    EXPECT_EQ(list.printDocument().records.size(), lines.size());
}

TEST_F(DocListTest, MediumWithoutTisekiAndAFullProcess) {
    std::string text = "DOC,,DOCA0###.PDF,作業計画書\n";
    for (int i = 1; i <= 41; ++i) text += "C,WORK,???A" + std::to_string(i) + "###.*,成果" + std::to_string(i) + "\n";
    writeCp932(table(), text);
    touch("SURVEY/DOC/DOCA0001.PDF");
    SinkGuard guard;
    DeliverablesList list;
    ASSERT_TRUE(list.setDocInfo(1, table(), ProcessFlags{}));
    ASSERT_EQ(guard.sink.shown.size(), 1u);
    EXPECT_NE(guard.sink.shown[0].text.find("42 行目"), std::string::npos) << guard.sink.shown[0].text;
    EXPECT_FALSE(list.SearchFiles(top().string() + "/"));
    list.setGrid();
    EXPECT_TRUE(list.areaLines().empty());
    EXPECT_TRUE(list.tabsFor(list.selectedArea).empty());
    ASSERT_EQ(list.gridRows().size(), 1u);  // DOC alone: this medium was not searched
    EXPECT_TRUE(list.rowVisible(0, list.selectedArea, list.selectedTab));

    EXPECT_FALSE(list.setDocInfo(3, table(), ProcessFlags{}));
    EXPECT_FALSE(list.setDocInfo(1, table() + ".none", ProcessFlags{}));
}

TEST_F(DocListTest, LaterMediaAddFindingsButNameTheAreas) {
    writeCp932(table(), "F1,DATA,???K0###.PDF,細部図根点成果簿\nDOC,,DOCA0###.PDF,作業計画書\n");
    touch("SURVEY/TISEKI/DATA/F1PROC_B/TFBK0001.PDF");
    touch("SURVEY/DOC/DOCA0001.PDF");
    const path second = dir.path() / "m2";
    writeBytes(second / "SURVEY/TISEKI/DATA/F1PROC_C/README.TXT", "x");
    DeliverablesList list;
    ASSERT_TRUE(list.setDocInfo(2, table(), ProcessFlags{}));
    EXPECT_TRUE(list.SearchFiles(top().string() + "/"));
    EXPECT_TRUE(list.SearchFiles(second.string() + "/"));
    list.setGrid();
    ASSERT_EQ(list.areaLines().size(), 1u);  // the areas of the medium searched last
    EXPECT_EQ(list.areaLines()[0].ch, "C");
    EXPECT_TRUE(list.found("F1", "B", 0));   // what earlier media held stays found
    EXPECT_TRUE(list.docPresent());
    const auto tabs = list.tabsFor(0);
    ASSERT_EQ(tabs.size(), 2u);
    EXPECT_EQ(tabs[0].caption, "F'Ⅰ工程");
    EXPECT_EQ(tabs[1].key, "DOC");
}

TEST(DocList, HeadlessCommandReportsTheList) {
    qmtest::TempDir logs("doclistcli");
    const std::string cmd = std::string(QM_BINARY_DIR) + "/quillmark-check --log-dir " + logs.str() + " ";
    const std::string sample = std::string(QM_SOURCE_DIR) + "/samples/cadastral";
    auto run = [](const std::string& c) {
        std::string out;
        FILE* p = popen((c + " 2>/dev/null").c_str(), "r");
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
        return out;
    };
    const std::string text = run(cmd + "--doclist " + sample);
    EXPECT_NE(text.find("\n成果一覧\n地区A 東山一丁目地区 (甲2)\n  C 工程\n    ○ 測量作業の工程\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  ドキュメント\n    ○ 作業計画書\n"), std::string::npos);
    const std::string json = run(cmd + "--json " + sample);
    EXPECT_NE(json.find("\"docList\": {\"loaded\": true, \"areas\": [\n    {\"area\": \"A\""), std::string::npos) << json;
    EXPECT_NE(json.find("{\"area\": \"\", \"process\": \"DOC\", \"processLabel\": \"ドキュメント\", "
                        "\"document\": \"作業計画書\", \"found\": true, \"mark\": \"○\"}"),
              std::string::npos);
    EXPECT_EQ(run(cmd + sample).find("成果一覧"), std::string::npos);
}

TEST(DocList, PrecisionText) {
    std::array<uint8_t, 6> f{};
    EXPECT_EQ(DeliverablesList::getPrecisionText(f), "");
    f = {1, 1, 1, 1, 1, 1};
    EXPECT_EQ(DeliverablesList::getPrecisionText(f), "甲1,甲2,甲3,乙1,乙2,乙3");
}

}  // namespace
