// Folder structure checker: process sub-folders, result file names and numbering, the
// PDF order table, the process table and the total over all media.
#include <random>

#include "foldercheck_fixture.h"
#include "foundation/errorlog.h"

using namespace fctest;

namespace {
const std::string kFileName = "ファイル名が半角英大文字又は数字8+4文字以内で命名されていません";
const std::string kFolderName = "フォルダ名が半角英大文字又は数字8文字で命名されていません";
const std::string kUnneededWork = "不要な工程のサブフォルダが存在します（測量記録）";
const std::string kUnneededData = "不要な工程のサブフォルダが存在します（測量成果）";
// Holds a comma, so the log writer quotes it.
const std::string kSymbolProcess = "\"成果ファイル名の設定記号 工程（1,2文字目）が不正です\"";
const std::string kSymbolDivision = "成果ファイル名の設定記号 細区分（3文字目）が不正です";
const std::string kNotSequential = "成果ファイル名の番号が連番になっていません";
const std::string kNotFrom001 = "成果ファイル名の番号が、001からの連番になっていません";
const std::string kPdfFirst = "PDF成果ファイル名の番号が、他の成果ファイル名の番号より前になっていません";
const std::string kPdfLast = "PDF以外の成果ファイル名の番号が、PDF成果ファイル名の番号より前になっていません";
const std::string kBadName = "規定以外の名称のファイルが存在します";
const std::string kUnknownFile = "規定以外の成果ファイルが存在します";
const std::string W = "SURVEY\\TISEKI\\WORK\\";
const std::string D = "SURVEY\\TISEKI\\DATA\\";
}  // namespace

TEST_F(FolderCheckTest, UnneededProcessFoldersAndCaseOfSubFolders) {
    buildComplete(medium);
    const fs::path work = medium / "SURVEY" / "TISEKI" / "WORK";
    const fs::path data = medium / "SURVEY" / "TISEKI" / "DATA";
    touch(work / "XPROC_1" / "X.TXT");         // no such process
    touch(work / "Temp" / "X.TXT");            // not a process folder at all
    touch(work / "DPROC_1" / "ZZZZ.TXT");      // a process not selected: its files are not judged
    touch(work / "cproc_2" / "TC2A0001.XML");  // found ignoring case, judged as listed
    touch(work / "cproc_2" / "TC1A0001.XML");
    touch(data / "PAPROC_1" / "PA1B0001.XML");  // PA may not have DATA sub-folders, but is scanned

    auto check = makeChecker(1, {"C", "PA"});
    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log.string()), 1);
    EXPECT_EQ(readLog(log), (std::vector<std::string>{
                                comment(),
                                line(10201, W + "cproc_2", kFolderName),
                                line(10201, W + "Temp", kFolderName),
                                line(10501, W + "DPROC_1", kUnneededWork),
                                line(10501, W + "TEMP", kUnneededWork),
                                line(10501, W + "XPROC_1", kUnneededWork),
                                line(10502, D + "PAPROC_1", kUnneededData),
                                line(10602, W + "cproc_2\\TC1A0001.XML", kSymbolDivision),
                            }));
    for (const auto& e : check.processTable()) {
        const bool expectFound = e.code == "C" || e.code == "PA";
        EXPECT_EQ(e.found != 0, expectFound) << e.code;
    }
}

TEST_F(FolderCheckTest, ResultFileNamesSymbolsAndPatterns) {
    buildComplete(medium);
    const fs::path c1 = medium / "SURVEY" / "TISEKI" / "WORK" / "CPROC_1";
    touch(c1 / "TC1A0001.TXT");  // well named, but no pattern covers it
    touch(c1 / "tc1a0002.xml");  // judged upper-cased; numbered on from TC1A0001.XML
    touch(c1 / "TC1A001.XML");   // three digits only
    touch(c1 / "TC2A0001.XML");  // wrong sub-division
    touch(c1 / "TD1A0001.XML");  // wrong process symbol
    touch(c1 / "TC1A0001");      // no extension
    fs::remove(medium / "TIND_D02.DTD");

    auto check = makeChecker(1, {"C"});
    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log.string()), 1);
    const std::string f = W + "CPROC_1\\";
    EXPECT_EQ(readLog(log), (std::vector<std::string>{
                                comment(),
                                line(10203, f + "tc1a0002.xml", kFileName),
                                line(10402, "TIND_Dnn.DTD", "業務管理ファイル用DTDが存在しません"),
                                line(10901, f + "TC1A0001", kBadName),
                                line(10902, f + "TC1A0001.TXT", kUnknownFile),
                                line(10901, f + "TC1A001.XML", kBadName),
                                line(10602, f + "TC2A0001.XML", kSymbolDivision),
                                line(10601, f + "TD1A0001.XML", kSymbolProcess),
                            }));
}

TEST_F(FolderCheckTest, NumberingStartGapsGroupsAndPdfOrder) {
    buildComplete(medium);
    writeTable(setting / "PdfOrder_Chk_C.txt", {"C,WORK,A0,1", "C,DATA,B0,2", ",OTHS,RS,1"});
    const fs::path work = medium / "SURVEY" / "TISEKI" / "WORK";
    const fs::path data = medium / "SURVEY" / "TISEKI" / "DATA";
    const fs::path othrs = medium / "SURVEY" / "TISEKI" / "OTHRS";
    fs::remove(work / "CPROC_1" / "TC1A0001.XML");
    touch(work / "CPROC_1" / "TC1A0002.XML");  // single medium: must start at 001
    touch(work / "CPROC_1" / "TC1A0003.XML");
    touch(work / "CPROC_1" / "TC1A1001.XML");  // a group of its own
    touch(work / "CPROC_2" / "TC2A0001.XML");
    touch(work / "CPROC_2" / "TC2A0002.XML");
    touch(work / "CPROC_2" / "TC2A0004.XML");  // gap
    touch(work / "CPROC_3" / "TC3A0001.XML");
    touch(work / "CPROC_3" / "TC3A0002.PDF");  // PDF after another file, rule 1
    touch(data / "CPROC_1" / "TC1B0002.PDF");  // rule 2: other files before PDF
    touch(data / "CPROC_1" / "TC1B0003.XML");
    fs::rename(data / "CPROC_1" / "TC1B0001.XML", data / "CPROC_1" / "TC1B0001.PDF");
    touch(othrs / "OTHRS001.XML");
    touch(othrs / "OTHRS002.PDF");
    touch(othrs / "OTHRS004.XML");
    touch(othrs / "NOTE.TXT");
    touch(othrs / "ABCDE001.XML");
    touch(medium / "SURVEY" / "DOC" / "DOCUM002.PDF");

    auto check = makeChecker(1, {"C"});
    ASSERT_TRUE(check.loadSetting((setting / "PdfOrder_Chk_C.txt").string()));
    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log.string()), 1);
    const std::string o = "SURVEY\\TISEKI\\OTHRS\\";
    EXPECT_EQ(readLog(log), (std::vector<std::string>{
                                comment(),
                                line(10803, W + "CPROC_1\\TC1A0002.XML", kNotFrom001),
                                line(10802, W + "CPROC_2\\TC2A0004.XML", kNotSequential),
                                line(10804, W + "CPROC_3\\TC3A0002.PDF", kPdfFirst),
                                line(10805, D + "CPROC_1\\TC1B0003.XML", kPdfLast),
                                line(10902, o + "ABCDE001.XML", kUnknownFile),
                                line(10901, o + "NOTE.TXT", kBadName),
                                line(10802, o + "OTHRS004.XML", kNotSequential),
                                line(10804, o + "OTHRS002.PDF", kPdfFirst),
                                line(10803, "SURVEY\\DOC\\DOCUM002.PDF", kNotFrom001),
                            }));

    // Several media: no start check.
    const fs::path log2 = logs / "FolderCheck_002.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 2, log2.string()), 1);
    for (const std::string& l : readLog(log2)) EXPECT_NE(l.substr(0, 5), "10803") << l;
}

TEST_F(FolderCheckTest, FileNumberRecordsAtUpperCasedNamesInSortedOrder) {
    auto check = makeChecker(1, {"C"});
    const fs::path log = logs / "number.log";
    qm::CErrorLog writer;
    writer.setFileName(log.string());
    // Equal numbers: the second of the pair in the exchange sort's order is recorded.
    // TC1A0001.A.XML sorts before TC1A0001.XML by name but after it without the extension.
    EXPECT_FALSE(check.checkFileNumber("C", "WORK", W + "CPROC_1\\",
                                       {"tc1a0001.a.xml", "TC1A0001.PDF", "TC1A0001.XML", "TC1A0002.XML"}, 1,
                                       writer));
    EXPECT_TRUE(check.checkFileNumber("C", "WORK", W + "CPROC_1\\", {}, 1, writer));
    EXPECT_TRUE(check.checkFileNumber("C", "WORK", W + "CPROC_1\\", {"TC1A0001.XML", "TC1A1001.XML"}, 1, writer));
    writer.CloseFile();
    EXPECT_EQ(readLog(log), (std::vector<std::string>{
                                line(10802, W + "CPROC_1\\TC1A0001.XML", kNotSequential),
                                line(10802, W + "CPROC_1\\TC1A0001.A.XML", kNotSequential),
                            }));
}

TEST_F(FolderCheckTest, ProcessTotalOverAllMedia) {
    buildComplete(medium);
    const fs::path m2 = root / "m2";
    buildComplete(m2);
    fs::remove_all(m2 / "SURVEY" / "TISEKI" / "WORK" / "CPROC_1");
    touch(m2 / "SURVEY" / "TISEKI" / "WORK" / "README.TXT");  // a file, not a sub-folder
    fs::remove_all(m2 / "SURVEY" / "TISEKI" / "DATA" / "CPROC_1");
    touch(m2 / "SURVEY" / "TISEKI" / "DATA" / "HPROC_1" / "TH1B0001.XML");

    auto check = makeChecker(1, {"C", "D", "H", "FR"});
    EXPECT_EQ(check.checkFolder(mediumDir(), 2, (logs / "FolderCheck_001.log").string()), 0);
    EXPECT_EQ(check.checkFolder(m2.string(), 2, (logs / "FolderCheck_002.log").string()), 0);
    const fs::path total = logs / "FolderCheck_000.Log";
    EXPECT_EQ(check.checkProcessTotal(total.string()), 1);
    EXPECT_EQ(readLog(total), (std::vector<std::string>{
                                  line(10701, D + "DPROC_A", "D工程の測量記録・成果フォルダが存在しません"),
                                  line(10701, D + "FRPROC_A", "FR工程の測量記録・成果フォルダが存在しません"),
                              }));
    // Without a log the answer is the same and nothing is written.
    EXPECT_EQ(check.checkProcessTotal(""), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(logs), fs::directory_iterator()), 1);

    // A new condition clears the found flags.
    const std::vector<uint8_t> flags = select({"C"});
    check.setCheckCondition(1, flags.data(), 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(check.checkProcessTotal(""), 1);
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, ""), 0);
    EXPECT_EQ(check.checkProcessTotal(""), 0);
}

TEST_F(FolderCheckTest, LoadSettingReadsTrimsAndLimitsRows) {
    qm::CFolderCheck check(settingDir());
    const fs::path file = setting / "PdfOrder_Chk_C.txt";
    writeTable(file, {"; 工程,フォルダ,種別,順序", "", "   ", " c , work , a0 , 1 ,extra,more", "PA,DATA,B1",
                      ",OTHS,RS,x", "\tH,DATA,B0,2"});
    ASSERT_TRUE(check.loadSetting(file.string()));
    const auto& rows = check.pdfOrderTable();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].processCode, "C");
    EXPECT_EQ(rows[0].folderType, "WORK");
    EXPECT_EQ(rows[0].kind, "A0");
    EXPECT_EQ(rows[0].orderRule, 1);
    EXPECT_EQ(rows[1].kind, "B1");
    EXPECT_EQ(rows[1].orderRule, 0);
    EXPECT_EQ(rows[2].processCode, "");
    EXPECT_EQ(rows[2].orderRule, 0);
    EXPECT_EQ(rows[3].processCode, "\tH");  // only blanks are trimmed
    EXPECT_TRUE(sink.shown.empty());

    // A 31st row: the failure box, the first 30 rows kept.
    std::vector<std::string> many;
    for (int i = 0; i < 31; ++i) many.push_back("C,WORK,A" + std::to_string(i) + ",1");
    writeTable(file, many);
    EXPECT_FALSE(check.loadSetting(file.string()));
    EXPECT_EQ(check.pdfOrderTable().size(), 30u);
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].caption, "loadSetting");
    EXPECT_EQ(sink.shown[0].icon, qm::MsgIcon::Critical);

    // A missing table is empty, not a failure.
    EXPECT_TRUE(check.loadSetting((setting / "none.txt").string()));
    EXPECT_TRUE(check.pdfOrderTable().empty());
}

TEST_F(FolderCheckTest, ProcessTablePerResultType) {
    qm::CFolderCheck check(settingDir());
    ASSERT_EQ(check.processTable().size(), 15u);
    EXPECT_EQ(check.processTable()[5].code, "PA");
    EXPECT_TRUE(check.processTable()[5].selected);
    EXPECT_FALSE(check.processTable()[6].selected);
    EXPECT_EQ(check.processTable()[14].code, "F");

    std::vector<uint8_t> flags = select({"G", "H", "F2"});
    check.setCheckCondition(1, flags.data(), 0, 0, 0, 0, 0, 0);
    std::string codes, symbols, allowed, selected;
    for (const auto& e : check.processTable()) {
        codes += e.code + " ";
        symbols += e.symbol + " ";
        allowed += std::to_string(e.allowed);
        selected += e.selected ? "1" : "0";
    }
    EXPECT_EQ(codes, "C D E F1 F2 PA PB PC PD PE PF G H FR ");
    EXPECT_EQ(symbols, "TC TD TE TF TF PA PB PC PD PE PF TG TH TR ");
    EXPECT_EQ(allowed, "33333113333323");
    EXPECT_EQ(selected, "00001000000110");

    flags = select({"C", "PA", "FR"});
    check.setCheckCondition(2, flags.data(), 0, 0, 0, 0, 0, 0);
    codes.clear();
    selected.clear();
    for (const auto& e : check.processTable()) {
        codes += e.code + " ";
        selected += e.selected ? "1" : "0";
    }
    EXPECT_EQ(codes, "C D E F1 F2 G H FR ");
    EXPECT_EQ(selected, "10000001");

    // Another type keeps the table and selection, but takes the dates.
    flags = select({});
    check.setCheckCondition(3, flags.data(), 2017, 4, 1, 2018, 3, 31);
    EXPECT_EQ(check.resultType(), 3);
    EXPECT_EQ(check.processTable().size(), 8u);
    EXPECT_TRUE(check.processTable()[0].selected);
    EXPECT_TRUE(check.dateCheck());
    EXPECT_EQ(check.endDate(), 20180331);
}

namespace {
// The exchange sort as written: for each i, for each later j, swap when key i > key j.
std::vector<size_t> literalExchangeSort(const std::vector<std::string>& keys) {
    std::vector<size_t> idx(keys.size());
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = i;
    for (size_t i = 0; i + 1 < idx.size(); ++i)
        for (size_t j = i + 1; j < idx.size(); ++j)
            if (keys[idx[i]] > keys[idx[j]]) std::swap(idx[i], idx[j]);
    return idx;
}
}  // namespace

TEST(FolderCheckExchangeSort, SameOrderAsTheLiteralSortOnRandomInputs) {
    std::mt19937 rng(12345);
    const std::vector<std::string> alphabet = {"A", "B", "C", "AB", "", "TC1A0001", "TC1A0001.A"};
    for (int trial = 0; trial < 3000; ++trial) {
        const size_t n = rng() % 14;
        const size_t kinds = 1 + rng() % alphabet.size();
        std::vector<std::string> keys;
        for (size_t i = 0; i < n; ++i) keys.push_back(alphabet[rng() % kinds]);
        ASSERT_EQ(qm::CFolderCheck::exchangeSortOrder(keys), literalExchangeSort(keys)) << "trial " << trial;
    }
    // Longer inputs with many ties.
    for (int trial = 0; trial < 5; ++trial) {
        std::vector<std::string> keys;
        for (int i = 0; i < 1500; ++i) keys.push_back(std::to_string(rng() % (trial * 40 + 2)));
        ASSERT_EQ(qm::CFolderCheck::exchangeSortOrder(keys), literalExchangeSort(keys)) << "long trial " << trial;
    }
}

TEST(FolderCheckExchangeSort, LargeInputsWithAndWithoutTies) {
    // Fifty thousand keys, all equal, then descending: both would take the literal sort
    // billions of steps.
    std::vector<std::string> same(50000, "TC1A0001");
    auto order = qm::CFolderCheck::exchangeSortOrder(same);
    ASSERT_EQ(order.size(), same.size());
    for (size_t i = 0; i < order.size(); ++i) ASSERT_EQ(order[i], i);  // nothing smaller: no rotation

    std::vector<std::string> keys;
    for (int i = 50000; i > 0; --i) keys.push_back(std::to_string(100000 + i / 2));
    order = qm::CFolderCheck::exchangeSortOrder(keys);
    for (size_t i = 1; i < order.size(); ++i) ASSERT_LE(keys[order[i - 1]], keys[order[i]]);
}
