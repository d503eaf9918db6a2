// Folder structure checker: the tree walk, the required entries, the log as a whole.
#include <cerrno>
#include <climits>

#include "foldercheck_fixture.h"
#include "foundation/csvread.h"
#include "foundation/errorlog.h"
#include "foundation/platform.h"

using namespace fctest;

namespace {
const std::string kFileName = "ファイル名が半角英大文字又は数字8+4文字以内で命名されていません";
const std::string kFolderName = "フォルダ名が半角英大文字又は数字8文字で命名されていません";
const std::string kEmpty = "フォルダ内にファイルが存在しません";
const std::string kFileDate = "ファイル更新日が指定範囲外です";
const std::string kFolderDate = "フォルダ更新日が指定範囲外です";
}  // namespace

TEST_F(FolderCheckTest, CleanDeliveryWritesNoLogAndReportsProgress) {
    buildComplete(medium);
    auto check = makeChecker(1, {"C"});
    std::vector<int64_t> progress;
    check.setProgress([&](int64_t n) { progress.push_back(n); });
    const fs::path log = logs / "FolderCheck_001.log";

    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log.string()), 0);
    EXPECT_FALSE(fs::exists(log));
    EXPECT_TRUE(sink.shown.empty());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 14);  // every entry below the top
    EXPECT_EQ(check.checkPath(), mediumDir());
}

TEST_F(FolderCheckTest, EmptyPathIsRefusedWithWarning) {
    auto check = makeChecker(1, {"C"});
    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder("", 1, log.string()), -1);
    EXPECT_FALSE(fs::exists(log));
    ASSERT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(sink.shown[0].caption, "フォルダチェック");
    EXPECT_EQ(sink.shown[0].text, "チェックを行う場所を指定してください。");
    EXPECT_EQ(sink.shown[0].icon, qm::MsgIcon::Exclamation);
}

TEST_F(FolderCheckTest, WalkJudgesNamesAndEmptyFoldersDepthFirst) {
    buildComplete(medium);
    touch(medium / "readme.txt");
    touch(medium / "README.TXT1");   // four characters after the dot pass
    touch(medium / "A.XML.BAK");     // "XML.BAK" after the first dot is too long
    mkdirs(medium / "SURVEY" / "DOC");
    mkdirs(medium / "SURVEY" / "Work");
    touch(medium / "ZZ_a" / "x.dat");
    touch(medium / "ZZ_a" / "ABCDEFGH.PDFX");
    touch(medium / "ZZ_a" / "ABCDEFGHI.PDF");
    touch(medium / "ZZ_a" / fs::path(u8"漢字.XML"));  // a UTF-8 name on every system

    const std::vector<std::string> expected = {
        comment(),
        line(10203, "A.XML.BAK", kFileName),
        line(10203, "readme.txt", kFileName),
        line(10101, "SURVEY\\DOC", kEmpty),
        line(10201, "SURVEY\\Work", kFolderName),
        line(10101, "SURVEY\\Work", kEmpty),
        line(10201, "ZZ_a", kFolderName),
        line(10203, "ZZ_a\\ABCDEFGHI.PDF", kFileName),
        line(10203, "ZZ_a\\x.dat", kFileName),
        line(10203, "ZZ_a\\漢字.XML", kFileName),
    };
    auto check = makeChecker(1, {"C"});
    const fs::path log1 = logs / "a.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log1.string()), 1);
    EXPECT_EQ(readLog(log1), expected);

    // Without the trailing separator: the same records, all relative.
    const fs::path log2 = logs / "b.log";
    EXPECT_EQ(check.checkFolder(medium.string(), 1, log2.string()), 1);
    EXPECT_EQ(readLog(log2), expected);

    // Without a log file the result is the same and nothing is written.
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, ""), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(logs), fs::directory_iterator()), 2);
}

TEST_F(FolderCheckTest, DateRangeExemptsDtdAndXslFromStartOnly) {
    buildComplete(medium);
    touch(medium / "STYLE.XSL");
    setDateAll(medium, 2017, 6, 1);
    setDate(medium, 2015, 1, 1);                                     // the top is never judged
    setDate(medium / "TIND_D02.DTD", 2015, 1, 1);                    // before the start: exempt
    setDate(medium / "STYLE.XSL", 2015, 1, 1);                       // likewise
    setDate(medium / "INDEX_D.XML", 2015, 1, 1);                     // before the start
    setDate(medium / "SURVEY" / "TSUR_D02.DTD", 2018, 4, 1);         // after the end: no exemption
    setDate(medium / "SURVEY" / "SURVEY.XML", 2018, 3, 31);          // the end day itself
    setDate(medium / "SURVEY" / "TISEKI" / "SURV_TSK.XML", 2017, 3, 31);
    setDate(medium / "SURVEY" / "TISEKI" / "TISK_D02.DTD", 2017, 4, 1);  // the start day itself
    setDate(medium / "SURVEY" / "TISEKI" / "DATA", 2018, 4, 1);
    setDate(medium / "SURVEY" / "TISEKI" / "WORK", 2015, 1, 1);      // folders have no exemption

    qm::CFolderCheck check(settingDir());
    const std::vector<uint8_t> flags = select({"C"});
    check.setCheckCondition(1, flags.data(), 2017, 4, 1, 2018, 3, 31);
    EXPECT_TRUE(check.dateCheck());
    EXPECT_EQ(check.startDate(), 20170401);
    EXPECT_EQ(check.endDate(), 20180331);

    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log.string()), 1);
    EXPECT_EQ(readLog(log), (std::vector<std::string>{
                                comment(),
                                line(10302, "INDEX_D.XML", kFileDate),
                                line(10302, "SURVEY\\TSUR_D02.DTD", kFileDate),
                                line(10302, "SURVEY\\TISEKI\\SURV_TSK.XML", kFileDate),
                                line(10301, "SURVEY\\TISEKI\\DATA", kFolderDate),
                                line(10301, "SURVEY\\TISEKI\\WORK", kFolderDate),
                            }));

    // Both years zero: the date check is off, the bounds stay.
    check.setCheckCondition(1, flags.data(), 0, 5, 5, 0, 6, 6);
    EXPECT_FALSE(check.dateCheck());
    EXPECT_EQ(check.startDate(), 20170401);
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, (logs / "off.log").string()), 0);
}

TEST_F(FolderCheckTest, MissingRequiredEntriesAreRecordedInTableOrder) {
    touch(medium / "README.TXT");
    auto check = makeChecker(1, {"C"});
    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log.string()), 1);
    EXPECT_EQ(readLog(log), (std::vector<std::string>{
                                comment(),
                                line(10401, "SURVEY", "測量フォルダが存在しません"),
                                line(10401, "SURVEY\\TISEKI", "地籍調査サブフォルダが存在しません"),
                                line(10401, "SURVEY\\TISEKI\\WORK", "測量記録サブフォルダが存在しません"),
                                line(10401, "SURVEY\\TISEKI\\DATA", "測量成果サブフォルダが存在しません"),
                                line(10402, "INDEX_D.XML", "業務管理ファイルが存在しません"),
                                line(10402, "TIND_Dnn.DTD", "業務管理ファイル用DTDが存在しません"),
                                line(10402, "SURVEY\\SURVEY.XML", "測量情報管理ファイルが存在しません"),
                                line(10402, "SURVEY\\TSUR_Dnn.DTD", "測量情報管理ファイル用DTDが存在しません"),
                                line(10402, "SURVEY\\TISEKI\\SURV_TSK.XML", "地籍調査管理ファイルが存在しません"),
                                line(10402, "SURVEY\\TISEKI\\TISK_Dnn.DTD", "地籍調査管理ファイル用DTDが存在しません"),
                            }));
}

TEST_F(FolderCheckTest, RequiredEntriesOfTypeTwoWithDataOnly) {
    touch(medium / "INDEX_D.XML");
    touch(medium / "TIND_D01.DTD");
    touch(medium / "SURVEY" / "SURVEY.XML");
    touch(medium / "SURVEY" / "TSUR_D99.DTD");
    touch(medium / "SURVEY" / "TISEKI" / "DATA" / "X.TXT");  // DATA alone is enough
    auto check = makeChecker(2, {"C"});
    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log.string()), 1);
    EXPECT_EQ(readLog(log), (std::vector<std::string>{
                                comment(),
                                line(10402, "SURVEY\\TISEKI\\SURV_TSK.XML", "先行調査管理ファイルが存在しません"),
                                line(10402, "SURVEY\\TISEKI\\TISK_Dnn.DTD", "先行調査管理ファイル用DTDが存在しません"),
                            }));

    // An undetermined result type: the word "不明", and no result file scan.
    qm::CFolderCheck unknown(settingDir());
    const std::vector<uint8_t> flags = select({"C"});
    unknown.setCheckCondition(0, flags.data(), 0, 0, 0, 0, 0, 0);
    const fs::path log0 = logs / "type0.log";
    EXPECT_EQ(unknown.checkFolder(mediumDir(), 1, log0.string()), 1);
    EXPECT_EQ(readLog(log0), (std::vector<std::string>{
                                 comment(),
                                 line(10402, "SURVEY\\TISEKI\\SURV_TSK.XML", "不明管理ファイルが存在しません"),
                                 line(10402, "SURVEY\\TISEKI\\TISK_Dnn.DTD", "不明管理ファイル用DTDが存在しません"),
                             }));
}

TEST_F(FolderCheckTest, RequiredLookupsIgnoreCaseButNeedPlainFiles) {
    touch(medium / "index_d.xml");
    touch(medium / "tind_d02.dtd");
    touch(medium / "survey" / "Survey.xml");
    touch(medium / "survey" / "tsur_d01.dtd");
    touch(medium / "survey" / "tiseki" / "surv_tsk.xml");
    touch(medium / "survey" / "tiseki" / "tisk_d03.dtd");
    touch(medium / "survey" / "tiseki" / "work" / "A.TXT");
    auto check = makeChecker(1, {"C"});
    const fs::path log = logs / "lower.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log.string()), 1);  // the walk judges the names
    for (const std::string& l : readLog(log)) EXPECT_NE(l.substr(0, 3), "104") << l;

    // A link named INDEX_D.XML and a folder named like a DTD do not count as the files.
    const fs::path m2 = root / "m2";
    buildComplete(m2);
    fs::remove(m2 / "INDEX_D.XML");
    fs::remove(m2 / "TIND_D02.DTD");
    touch(root / "elsewhere" / "INDEX_D.XML");
    if (!makeLink(root / "elsewhere" / "INDEX_D.XML", m2 / "INDEX_D.XML")) GTEST_SKIP() << "no symbolic links here";
    touch(m2 / "TIND_D02.DTD" / "INSIDE.TXT");
    qm::CErrorLog writer;
    writer.setFileName((logs / "need.log").string());
    EXPECT_EQ(check.checkNeedFile(m2.string() + "/", writer), 1);
    writer.CloseFile();
    EXPECT_EQ(readLog(logs / "need.log"), (std::vector<std::string>{
                                              line(10402, "INDEX_D.XML", "業務管理ファイルが存在しません"),
                                              line(10402, "TIND_Dnn.DTD", "業務管理ファイル用DTDが存在しません"),
                                          }));
}

TEST_F(FolderCheckTest, SymbolicLinksAreJudgedAsFilesAndNotFollowed) {
    buildComplete(medium);
    touch(root / "outside" / "bad name.txt");
    if (!makeLink(root / "outside", medium / "LINKDIR", true)) GTEST_SKIP() << "no symbolic links here";
    auto check = makeChecker(1, {"C"});
    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log.string()), 0);  // LINKDIR is a well-named file
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(FolderCheckTest, NameWithCommaAndLineBreakGivesOneRecordThatParsesBack) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows names hold no line breaks";
#endif
    buildComplete(medium);
    touch(medium / "A,B\r\nC.XML");
    auto check = makeChecker(1, {"C"});
    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder(mediumDir(), 1, log.string()), 1);

    qm::CCsvRead csv;
    ASSERT_TRUE(csv.OpenFile(log.string()));
    std::vector<std::vector<std::string>> records;
    while (!csv.IsEof()) {
        csv.ReadFile(false);
        std::vector<std::string> items;
        for (int k = 0; k < csv.ItemNum(); ++k) items.push_back(csv.ItemValue(k));
        records.push_back(items);
    }
    ASSERT_EQ(records.size(), 2u);  // the comment and one finding
    EXPECT_EQ(records[1], (std::vector<std::string>{"10203", "A,B  C.XML", kFileName, ""}));
}

// A top folder that cannot be listed is recorded as unreadable; nothing below it is
// reported missing, since what it holds is unknown.
TEST_F(FolderCheckTest, MissingTopFolderIsRecordedAsUnreadable) {
    auto check = makeChecker(1, {"C"});
    const fs::path log = logs / "FolderCheck_001.log";
    const std::string missing = (root / "nowhere").string();
    EXPECT_EQ(check.checkFolder(missing, 1, log.string()), 1);
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(readLog(log), (std::vector<std::string>{";チェックパス " + qm::withTrailingSeparator(missing),
                                                      "10001,,フォルダ又はファイルを読み取れません,見つかりません"}));
}

namespace {
// Builds a chain of nested folders named D below base, each step relative to the last,
// so that the chain may be longer than a path can be.
void buildChain(const fs::path& base, int depth) {
#ifdef _WIN32
    // The working folder of Windows is shorter than such a chain: long paths instead.
    std::wstring p = L"\\\\?\\" + fs::absolute(base).make_preferred().wstring();
    for (int i = 0; i < depth; ++i) {
        p += L"\\D";
        ASSERT_TRUE(CreateDirectoryW(p.c_str(), nullptr)) << i;
    }
#else
    const fs::path cwd = fs::current_path();
    fs::current_path(base);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(::mkdir("D", 0755), 0);
        ASSERT_EQ(::chdir("D"), 0);
    }
    fs::current_path(cwd);
#endif
}
void removeChain(const fs::path& base, int depth) {
#ifdef _WIN32
    std::wstring p = L"\\\\?\\" + fs::absolute(base).make_preferred().wstring();
    for (int i = 0; i < depth; ++i) p += L"\\D";
    for (int i = 0; i < depth; ++i) {
        ASSERT_TRUE(RemoveDirectoryW(p.c_str())) << "level " << depth - i << ", error " << GetLastError();
        p.resize(p.size() - 2);
    }
#else
    const fs::path cwd = fs::current_path();
    fs::current_path(base);
    int reached = 0;
    while (reached < depth && ::chdir("D") == 0) ++reached;
    for (; reached > 0; --reached) {
        ASSERT_EQ(::chdir(".."), 0);
        ASSERT_EQ(::rmdir("D"), 0);
    }
    fs::current_path(cwd);
#endif
}
}  // namespace

TEST_F(FolderCheckTest, DeepChainIsWalkedCompletely) {
    const fs::path scratch = fastTempFolder();
    const fs::path m = scratch / "m";
    buildComplete(m);
#ifdef _WIN32
    const int depth = 200;  // 400 characters and more: past the old 260 (wine makes deeper chains slowly)
#else
    const int depth = 1500;
#endif
    buildChain(m, depth);
    std::string deepest;
    for (int i = 0; i < depth; ++i) deepest += i ? "\\D" : "D";

    auto check = makeChecker(1, {"C"});
    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder(m.string(), 1, log.string()), 1);
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(readLog(log), (std::vector<std::string>{";チェックパス " + qm::withTrailingSeparator(m.string()), line(10101, deepest, kEmpty)}));
    removeChain(m, depth);
    fs::remove_all(scratch);
}

TEST_F(FolderCheckTest, ChainDeeperThanAPathIsWalkedCompletely) {
#ifdef _WIN32
    GTEST_SKIP() << "a Windows path holds such a chain: the chain above covers it";
#endif
    const fs::path scratch = fastTempFolder();
    const fs::path m = scratch / "m";
    buildComplete(m);
    const int depth = 3000;  // deeper than a path can name
    buildChain(m, depth);
    mkdirs(m / "E");  // after the chain: still walked
    std::string deepest;
    for (int i = 0; i < depth; ++i) deepest += i ? "\\D" : "D";

    auto check = makeChecker(1, {"C"});
    const fs::path log = logs / "FolderCheck_001.log";
    EXPECT_EQ(check.checkFolder(m.string(), 1, log.string()), 1);
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(readLog(log), (std::vector<std::string>{";チェックパス " + qm::withTrailingSeparator(m.string()), line(10101, deepest, kEmpty),
                                                      line(10101, "E", kEmpty)}));
    removeChain(m, depth);
    fs::remove_all(scratch);
}
