// Management files that amplify: a small file that makes the parser read, copy or build
// far more than it holds. Each is refused as one parse failure line that says why in
// Japanese, and the medium is left exactly as it was.
#include "checks/checkrun.h"
#include "checks/resultlog.h"
#include "checks/xmldoc.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/text.h"
#include "hostile_fixture.h"
#include "run_fixture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace qmtest;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n";
const std::string kBody =
    "<gyomudata><基礎情報><メディア番号>1</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>\n";
const std::string kDtd = "<!ELEMENT gyomudata (基礎情報)>\n<!ELEMENT 基礎情報 (メディア番号,メディア総枚数)>\n"
                         "<!ELEMENT メディア番号 (#PCDATA)>\n<!ELEMENT メディア総枚数 (#PCDATA)>\n";

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

class HostileXmlTest : public ::testing::Test {
public:
    fs::path root = hostile::scratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path setting = root / "setting";
    fs::path logs = root / "logs";
    qm::AppState app;
    qm::RecordingMessageSink sink;
    qm::MessageSink* previous = nullptr;

    void SetUp() override {
        buildSettingTables(setting);
        previous = qm::setMessageSink(&sink);
        app.settingPath = setting.string() + "/";
        ASSERT_TRUE(app.useLogFolder(logs.string()));
    }
    void TearDown() override {
        qm::setMessageSink(previous);
        hostile::removeTree(root);
    }

    // A clean medium named `tag` whose INDEX_D.XML is `index` (UTF-8 text written as CP932,
    // or the bytes as they are), changed further by `build`; then a whole check run of it.
    // Answers the findings of INDEX_D.XML's log, having proved the medium unchanged.
    std::vector<qm::LoggedFinding> checkIndex(const std::string& tag, const std::string& index, bool raw = false,
                                              const std::function<void(const fs::path&)>& build = {}) {
        const fs::path top = root / tag;
        buildCadastralMedium(top);
        writeBytes(top / "INDEX_D.XML", raw ? index : qm::toCp932(index));
        if (build) build(top);
        const auto sealed = hostile::fingerprintTree(top);
        sink.shown.clear();
        qm::CheckRunInput in;
        in.resultType = 1;
        in.mediaNum = 1;
        in.flags.flag[0] = 1;
        qmtest::ListedMedia loc(top.string());
        std::vector<qm::MediumRecord> media;
        EXPECT_GE(qm::runCheckAll(app, in, loc, media, nullptr), 0);
        EXPECT_TRUE(sink.shown.empty());
        const auto after = hostile::fingerprintTree(top);
        EXPECT_TRUE(sealed == after) << hostile::firstDifference(sealed, after);
        return qm::readLogFindings((logs / "JobFileCheck_IND_001.log").string(), false);
    }

    // The one line of a refused INDEX_D.XML: a negative code, the line, and the reason.
    void expectRefused(const std::vector<qm::LoggedFinding>& found, const std::string& reason) {
        ASSERT_EQ(found.size(), 1u);
        EXPECT_LT(found[0].number, 0);
        EXPECT_EQ(found[0].place.rfind("XML構文エラー(", 0), 0u) << found[0].place;
        EXPECT_EQ(found[0].message.rfind(reason, 0), 0u) << found[0].message;
    }
};

}  // namespace

// DTDs and parameter entity files: each is read once per load, all of them within one
// budget; files that refer to themselves are not nested; references in element content
// to other files are refused.
TEST_F(HostileXmlTest, ExternalFilesAreReadOnceWithinOneBudget) {
    const std::string doctype = kDecl + "<!DOCTYPE gyomudata SYSTEM \"TIND_D01.DTD\">\n";
    auto dtdWith = [&](const std::string& more) {
        return [=](const fs::path& top) { writeBytes(top / "TIND_D01.DTD", qm::toCp932(kDtd + more)); };
    };
    auto blanks = [](size_t megabytes) { return repeat(std::string(1023, ' ') + "\n", megabytes << 10); };

    // A 4 MB parameter entity referred to 200 times, and a hard link to it: the second
    // reference is refused, whatever its name.
    expectRefused(checkIndex("pe200", doctype + kBody, false,
                             [&](const fs::path& top) {
                                 dtdWith("<!ENTITY % big SYSTEM \"BIG.ENT\">\n" + repeat("%big;\n", 200))(top);
                                 writeBytes(top / "BIG.ENT", blanks(4));
                             }),
                  "DTDファイルが2回以上参照されています: " + (root / "pe200" / "BIG.ENT").string());
    expectRefused(checkIndex("hardlink", doctype + kBody, false,
                             [&](const fs::path& top) {
                                 dtdWith("<!ENTITY % a SYSTEM \"A.ENT\">\n%a;\n<!ENTITY % b SYSTEM \"B.ENT\">\n%b;\n")(top);
                                 writeBytes(top / "A.ENT", blanks(1));
                                 fs::create_hard_link(top / "A.ENT", top / "B.ENT");
                             }),
                  "DTDファイルが2回以上参照されています: " + (root / "hardlink" / "B.ENT").string());
    // Files that together exceed the 16 MB budget: the one that goes over is not even read
    // (it is 100 MB that take no room).
    expectRefused(checkIndex("budget", doctype + kBody, false,
                             [&](const fs::path& top) {
                                 dtdWith("<!ENTITY % a SYSTEM \"A.ENT\">\n%a;\n<!ENTITY % b SYSTEM \"B.ENT\">\n%b;\n")(top);
                                 writeBytes(top / "A.ENT", blanks(10));
                                 writeBytes(top / "B.ENT", "");
                                 fs::resize_file(top / "B.ENT", 100u << 20);
                             }),
                  "DTDと外部実体ファイルから読み込む量が上限(16MB)を超えました: " + (root / "budget" / "B.ENT").string());
    // One reference is in order, and so is what it declares.
    const auto once = checkIndex("once", doctype + "<gyomudata><基礎情報><メディア番号>&n;</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>\n",
                                 false, [&](const fs::path& top) {
                                     dtdWith("<!ENTITY % part SYSTEM \"PART.ENT\">\n%part;\n")(top);
                                     writeBytes(top / "PART.ENT", qm::toCp932("<!ENTITY n \"1\">\n"));
                                 });
    EXPECT_TRUE(once.empty()) << (once.empty() ? "" : once[0].message);

    // A DTD that includes itself, and two files that include each other.
    expectRefused(checkIndex("self", doctype + kBody, false,
                             dtdWith("<!ENTITY % self SYSTEM \"TIND_D01.DTD\">\n%self;\n")),
                  "DTDファイルの参照が循環しています: " + (root / "self" / "TIND_D01.DTD").string());
    expectRefused(checkIndex("pair", doctype + kBody, false,
                             [&](const fs::path& top) {
                                 dtdWith("<!ENTITY % other SYSTEM \"OTHER.ENT\">\n%other;\n")(top);
                                 writeBytes(top / "OTHER.ENT", "<!ENTITY % back SYSTEM \"TIND_D01.DTD\">\n%back;\n");
                             }),
                  "DTDファイルの参照が循環しています: " + (root / "pair" / "TIND_D01.DTD").string());

    // An external general entity inside the medium, 4 MB referred to 200 times.
    expectRefused(checkIndex("general",
                             kDecl + "<!DOCTYPE gyomudata [\n" + kDtd + "<!ENTITY big SYSTEM \"BIG.TXT\">\n]>\n"
                                     "<gyomudata><基礎情報><メディア番号>" + repeat("&big;", 200) +
                                     "</メディア番号><メディア総枚数>1</メディア総枚数></基礎情報></gyomudata>\n",
                             false, [&](const fs::path& top) { writeBytes(top / "BIG.TXT", std::string(4u << 20, 'x')); }),
                  "要素の内容での外部実体ファイルの参照は許可されていません: " + (root / "general" / "BIG.TXT").string());
}

// The tree is bounded by what it holds, not only by its number of elements.
TEST_F(HostileXmlTest, TreeIsBoundedInSizeAndInNodesOfEveryKind) {
    // A 10 KB default attribute copied into 100,000 empty elements (0.4 MB of document).
    const std::string defaults = kDecl + "<!DOCTYPE gyomudata [\n<!ELEMENT gyomudata (X*)>\n<!ELEMENT X EMPTY>\n"
                                         "<!ATTLIST X d CDATA \"" + std::string(10240, 'd') + "\">\n]>\n"
                                         "<gyomudata>" + repeat("<X/>", 100000) + "</gyomudata>\n";
    expectRefused(checkIndex("defaults", defaults), "展開後の内容(文字データ、既定値を含む属性値、コメント、処理命令)が大きすぎます(上限17MB)");

    // 28 MB of empty comments, and a million processing instructions with one element.
    expectRefused(checkIndex("comments", kDecl + "<gyomudata>" + repeat("<!---->", 4000000) + "</gyomudata>\n"),
                  "要素、コメント及び処理命令の数が上限(1000000)を超えています");
    expectRefused(checkIndex("pis", kDecl + "<gyomudata>" + "<X/>" + repeat("<?p?>", 999999) + "</gyomudata>\n"),
                  "要素、コメント及び処理命令の数が上限(1000000)を超えています");

    // A default within bounds is still copied into the element.
    qm::XmlDocument doc;
    writeBytes(root / "small.xml", "<!DOCTYPE r [<!ELEMENT r (X*)><!ELEMENT X EMPTY><!ATTLIST X d CDATA \"v\">]><r><X/></r>");
    ASSERT_TRUE(doc.load((root / "small.xml").string())) << doc.parseError().reason;
    EXPECT_EQ(doc.selectNodes("/r/X").at(0).getAttribute("d").value_or(""), "v");
}

// Links inside the medium are not followed to a DTD, whether the DTD itself or a folder
// on its way is the link, even when the link leads to a file inside the medium.
TEST_F(HostileXmlTest, DtdBehindALinkInsideTheMediumIsNotRead) {
    expectRefused(checkIndex("filelink", kDecl + "<!DOCTYPE gyomudata SYSTEM \"TIND_D01.DTD\">\n" + kBody, false,
                             [](const fs::path& top) {
                                 fs::rename(top / "TIND_D01.DTD", top / "SURVEY" / "REAL.DTD");
                                 fs::create_symlink("SURVEY/REAL.DTD", top / "TIND_D01.DTD");
                             }),
                  "シンボリックリンクのDTDファイルは読み込みません: " + (root / "filelink" / "TIND_D01.DTD").string());
    expectRefused(checkIndex("folderlink", kDecl + "<!DOCTYPE gyomudata SYSTEM \"DTD/TIND_D01.DTD\">\n" + kBody, false,
                             [](const fs::path& top) {
                                 fs::create_directories(top / "SURVEY" / "REALDTD");
                                 fs::rename(top / "TIND_D01.DTD", top / "SURVEY" / "REALDTD" / "TIND_D01.DTD");
                                 fs::create_directory_symlink("SURVEY/REALDTD", top / "DTD");
                             }),
                  "シンボリックリンクのDTDファイルは読み込みません: " + (root / "folderlink" / "DTD" / "TIND_D01.DTD").string());
}

// Names written in another letter case than their files, among 20,000 other files: the
// DTD and a thousand parameter entity files are found.
TEST_F(HostileXmlTest, NamesInAnotherLetterCaseAmongManyFiles) {
    const auto found = checkIndex("case", kDecl + "<!DOCTYPE gyomudata SYSTEM \"tind_d01.dtd\">\n" + kBody, false,
                                  [](const fs::path& top) {
                                      std::string more;
                                      for (int i = 0; i < 1000; ++i) {
                                          const std::string n = std::to_string(i);
                                          more += "<!ENTITY % p" + n + " SYSTEM \"pad" + n + ".ent\">\n%p" + n +
                                                  ";\n<!ENTITY e" + n + " \"\">\n";
                                          writeBytes(top / ("PAD" + n + ".ENT"), "<!ENTITY f" + n + " \"\">\n");
                                      }
                                      writeBytes(top / "TIND_D01.DTD", qm::toCp932(kDtd + more));
                                      for (int i = 0; i < 20000; ++i)
                                          writeBytes(top / ("F" + std::to_string(i) + ".TXT"), "");
                                  });
    EXPECT_TRUE(found.empty()) << (found.empty() ? "" : found[0].message);
}

// A Shift_JIS file cut off in the middle of a character is not complete, whatever the
// parser made of the bytes before; a whole last character is in order.
TEST_F(HostileXmlTest, ShiftJisFileEndingInALoneLeadByte) {
    const std::string whole = qm::toCp932(kDecl + kBody);
    expectRefused(checkIndex("cut", whole + "\x82", true),
                  "文字コードが正しくありません: ファイルの末尾の文字が途中で切れています");
    EXPECT_TRUE(checkIndex("whole", whole + qm::toCp932("<!--あ-->"), true).empty());
}
