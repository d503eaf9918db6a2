#include "checks/xmldoc.h"
#include "run_fixture.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include "foundation/iconv_win.h"
#else
#include <iconv.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using qm::XmlDocument;
using qm::XmlNode;

namespace {

// UTF-8 to CP932 for building Windows-made test files.
std::string cp932(const std::string& utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::string in = utf8, out(utf8.size() * 2 + 16, '\0');
    char* src = in.data();
    char* dst = out.data();
    size_t left = in.size(), room = out.size();
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    EXPECT_NE(r, static_cast<size_t>(-1));
    out.resize(out.size() - room);
    return out;
}

std::string utf16le(const std::string& utf8) {
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    std::string in = utf8, out(utf8.size() * 4 + 16, '\0');
    char* src = in.data();
    char* dst = out.data();
    size_t left = in.size(), room = out.size();
    iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    out.resize(out.size() - room);
    return "\xFF\xFE" + out;
}

class XmlDocTest : public ::testing::Test {
protected:
    std::string write(const std::string& rel, const std::string& bytes) {
        const fs::path p = dir_ / fs::u8path(rel);
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    // Loads and expects failure with a negative code and a reason starting with `prefix`.
    void expectFailure(const std::string& path, const std::string& prefix, int line = -1) {
        XmlDocument doc;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(doc.load(path));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_LT(doc.parseError().errorCode, 0);
        EXPECT_EQ(doc.parseError().reason.rfind(prefix, 0), 0u) << doc.parseError().reason;
        EXPECT_EQ(doc.parseError().reason.find('\n'), std::string::npos);
        if (line >= 0) EXPECT_EQ(doc.parseError().line, line);
    }
    qmtest::TempDir tmp_{"xmldoc"};
    const fs::path& dir_ = tmp_.path();
};

const char* kDtd =
    "<!ELEMENT gyomudata (基礎情報, 成果*)>\n"
    "<!ELEMENT 基礎情報 (名称, メモ?)>\n"
    "<!ELEMENT 名称 (#PCDATA)>\n"
    "<!ELEMENT メモ (#PCDATA | b)*>\n"
    "<!ELEMENT b (#PCDATA)>\n"
    "<!ELEMENT 成果 (ファイル*)>\n"
    "<!ATTLIST 成果 番号 CDATA #IMPLIED>\n"
    "<!ELEMENT ファイル (#PCDATA)>\n"
    "<!ENTITY 会社 \"株式会社&amp;測量\">\n";

TEST_F(XmlDocTest, NavigationOverAValidatedDocument) {
    write("T.DTD", kDtd);
    const std::string path = write("INDEX_D.XML",
                                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                   "<!DOCTYPE gyomudata SYSTEM \"T.DTD\">\n"
                                   "<gyomudata>\n  <基礎情報>\n    <名称>  &会社; 1 </名称>\n"
                                   "    <メモ>前<!-- c --><b>太</b><![CDATA[<x>]]>後</メモ>\n  </基礎情報>\n"
                                   "  <成果 番号=\"1\"><ファイル>A</ファイル><ファイル>B</ファイル></成果>\n"
                                   "  <成果><ファイル>C</ファイル></成果>\n  <?pi data?>\n</gyomudata>\n");
    XmlDocument doc;
    ASSERT_TRUE(doc.load(path)) << doc.parseError().reason;
    EXPECT_EQ(doc.parseError().errorCode, 0);
    EXPECT_TRUE(doc.hasXmlDeclaration());
    EXPECT_EQ(doc.declaredEncoding(), "UTF-8");

    const XmlNode root = doc.document();
    EXPECT_EQ(root.nodeType(), qm::kXmlDocument);
    EXPECT_EQ(doc.selectNodes("/").size(), 1u);
    EXPECT_EQ(root.selectSingleNode("/").nodeType(), qm::kXmlDocument);
    const auto top = root.childNodes();
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].nodeType(), qm::kXmlDocumentType);
    EXPECT_EQ(top[0].nodeName(), "gyomudata");
    EXPECT_FALSE(top[0].hasChildNodes());
    EXPECT_EQ(top[1].nodeName(), "gyomudata");

    // White space between elements is gone: the first child is an element.
    const XmlNode g = doc.documentElement();
    const auto kids = g.childNodes();
    ASSERT_EQ(kids.size(), 4u);
    EXPECT_EQ(kids[0].nodeName(), "基礎情報");
    EXPECT_EQ(kids[3].nodeType(), qm::kXmlProcessingInstruction);
    EXPECT_EQ(kids[3].nodeName(), "pi");

    // Character data: entities resolved, blanks at the ends kept, one text node.
    const XmlNode name = g.selectSingleNode("基礎情報/名称");
    ASSERT_FALSE(name.isNull());
    ASSERT_EQ(name.childNodes().size(), 1u);
    EXPECT_EQ(name.childNodes()[0].nodeType(), qm::kXmlText);
    EXPECT_EQ(name.childNodes()[0].nodeName(), "#text");
    EXPECT_EQ(name.text(), "  株式会社&測量 1 ");
    EXPECT_EQ(name.firstChildText(), "  株式会社&測量 1 ");
    EXPECT_EQ(name.nodeValue(), "");

    // Mixed content: comment kept as type 8, CDATA joins the text around it.
    const XmlNode memo = doc.selectNodes("/gyomudata/基礎情報/メモ").at(0);
    const auto m = memo.childNodes();
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[1].nodeType(), qm::kXmlComment);
    EXPECT_EQ(m[3].nodeValue(), "<x>後");
    EXPECT_EQ(memo.text(), "前太<x>後");

    // Paths, document order, attributes.
    const auto files = doc.selectNodes("/gyomudata/成果/ファイル");
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].text() + files[1].text() + files[2].text(), "ABC");
    EXPECT_EQ(doc.selectNodes("gyomudata/成果").size(), 2u);
    EXPECT_EQ(g.selectNodes("成果/ファイル").size(), 3u);
    EXPECT_EQ(files[0].selectNodes("/gyomudata").size(), 1u);
    EXPECT_TRUE(doc.selectNodes("/gyomudata/成果/").empty());
    EXPECT_TRUE(doc.selectNodes("/GYOMUDATA").empty());
    const XmlNode seika = doc.selectNodes("/gyomudata/成果").at(0);
    EXPECT_EQ(seika.getAttribute("番号").value_or("-"), "1");
    EXPECT_FALSE(seika.getAttribute("x").has_value());
    ASSERT_EQ(seika.attributes().size(), 1u);
    EXPECT_EQ(seika.attributes()[0].first, "番号");
    EXPECT_TRUE(XmlNode().selectNodes("/a").empty());
}

TEST_F(XmlDocTest, WindowsShiftJisDocumentAndDtd) {
    // DTD in CP932 without an encoding declaration, NEC/IBM extension characters in the data.
    write("TIND_D04.DTD", cp932("<!ELEMENT 基礎情報 (適用要領基準)>\r\n<!ELEMENT 適用要領基準 (#PCDATA)>\r\n"));
    const std::string path = write(
        "INDEX_D.XML", cp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
                             "<!DOCTYPE 基礎情報 SYSTEM \"TIND_D04.DTD\">\r\n"
                             "<基礎情報>\r\n<適用要領基準>①髙～\\</適用要領基準>\r\n</基礎情報>\r\n"));
    ASSERT_NE(path.find("INDEX"), std::string::npos);
    std::string raw;
    {
        std::ifstream in(path, std::ios::binary);
        raw.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_NE(raw.find("\x87\x40"), std::string::npos);
    ASSERT_NE(raw.find("\xFB\xFC"), std::string::npos);
    XmlDocument doc;
    ASSERT_TRUE(doc.load(path)) << doc.parseError().reason;
    EXPECT_EQ(doc.declaredEncoding(), "Shift_JIS");
    EXPECT_EQ(doc.selectNodes("/基礎情報/適用要領基準").at(0).text(), "①髙～\\");

    // The declared name is kept exactly as written; the usual aliases decode as CP932.
    for (const std::string enc : {"shift_jis", "SHIFT-JIS", "SJIS", "x-sjis", "MS_Kanji", "Windows-31J", "CP932"}) {
        const std::string p = write("A.XML", cp932("<?xml version='1.0' encoding='" + enc + "'?>\n"
                                                   "<!DOCTYPE 基礎情報 SYSTEM \"TIND_D04.DTD\">\n"
                                                   "<基礎情報><適用要領基準>①</適用要領基準></基礎情報>"));
        XmlDocument d;
        ASSERT_TRUE(d.load(p)) << enc << ": " << d.parseError().reason;
        EXPECT_EQ(d.declaredEncoding(), enc);
        EXPECT_EQ(d.documentElement().text(), "①");
    }
}

TEST_F(XmlDocTest, DeclarationAndUnicodeForms) {
    const std::string body = "<a>テキスト</a>";
    XmlDocument doc;
    ASSERT_TRUE(doc.load(write("bom.xml", "\xEF\xBB\xBF<?xml version=\"1.0\"?>" + body)));
    EXPECT_TRUE(doc.hasXmlDeclaration());
    EXPECT_EQ(doc.declaredEncoding(), "");
    EXPECT_EQ(doc.documentElement().text(), "テキスト");

    ASSERT_TRUE(doc.load(write("u16.xml", utf16le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" + body))))
        << doc.parseError().reason;
    EXPECT_EQ(doc.declaredEncoding(), "UTF-16");
    EXPECT_EQ(doc.documentElement().text(), "テキスト");

    // Text of blanks alone is no data, unless xml:space says to keep it.
    ASSERT_TRUE(doc.load(write("blank.xml", "<a>\n <b> </b><c>\r\n</c><m>x <i>y</i> <i>z</i> </m>"
                                            "<p xml:space=\"preserve\"><q> </q></p></a>")));
    EXPECT_FALSE(doc.selectNodes("/a/b").at(0).hasChildNodes());
    EXPECT_FALSE(doc.selectNodes("/a/c").at(0).hasChildNodes());
    EXPECT_EQ(doc.selectNodes("/a/m").at(0).text(), "x yz");
    EXPECT_EQ(doc.selectNodes("/a/p/q").at(0).text(), " ");

    // No declaration, no document type: loads without validation.
    ASSERT_TRUE(doc.load(write("plain.xml", "<a>\n  <b> x </b>\n</a>")));
    EXPECT_FALSE(doc.hasXmlDeclaration());
    EXPECT_EQ(doc.declaredEncoding(), "");
    EXPECT_EQ(doc.documentElement().childNodes().size(), 1u);
    EXPECT_EQ(doc.documentElement().childNodes()[0].text(), " x ");
}

TEST_F(XmlDocTest, ParseFailuresCarryCodeLineAndReason) {
    XmlDocument doc;
    EXPECT_FALSE(doc.load((dir_ / "none.xml").string()));
    EXPECT_LT(doc.parseError().errorCode, 0);
    EXPECT_EQ(doc.parseError().reason.rfind("ファイルが見つかりません", 0), 0u);
    EXPECT_TRUE(doc.document().isNull());

    expectFailure(write("mismatch.xml", "<?xml version=\"1.0\"?>\n<a>\n<b></c>\n</a>"),
                  "XMLの形式が正しくありません: Opening and ending tag mismatch", 3);
    expectFailure(write("trunc.xml", "<?xml version=\"1.0\"?>\n<a><b>text"), "XMLの形式が正しくありません");
    expectFailure(write("empty.xml", ""), "XMLの内容がありません");

    write("T.DTD", kDtd);
    const std::string head = "<?xml version=\"1.0\"?>\n<!DOCTYPE gyomudata SYSTEM \"T.DTD\">\n";
    expectFailure(write("undeclared.xml", head + "<gyomudata>\n<基礎情報><名称/></基礎情報>\n<X/>\n</gyomudata>"),
                  "DTDで宣言されていない要素です", 5);
    // A content model is judged at the end tag of its element.
    expectFailure(write("content.xml", head + "<gyomudata>\n<成果/>\n</gyomudata>"),
                  "要素の内容がDTDの定義に合っていません", 5);
    expectFailure(write("nodtd.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"MISSING.DTD\">\n<a/>"),
                  "DTDファイルが見つかりません", 2);
    // Reasons stay on one line even when they quote a name holding a line break.
    expectFailure(write("nl.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"M\nN.DTD\">\n<a/>"),
                  "DTDファイルが見つかりません");
    write("BAD.DTD", "<!ELEMENT a (#PCDATA)\n");
    expectFailure(write("baddtd.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"BAD.DTD\">\n<a/>"),
                  "DTDまたは外部実体の形式が正しくありません");
    expectFailure(write("unknown.xml", "<?xml version=\"1.0\" encoding=\"X-NOSUCH\"?>\n<a/>"),
                  "宣言された文字コードに対応していません");
    expectFailure(write("notutf8.xml", cp932("<?xml version=\"1.0\"?>\n<a>基礎</a>")), "文字コードが正しくありません");

    // The first error is the one reported, and a good load clears it.
    expectFailure(write("two.xml", head + "<gyomudata>\n<Y/>\n<Z/>\n</gyomudata>"), "DTDで宣言されていない要素です", 4);
    ASSERT_TRUE(doc.load(write("ok.xml", "<a/>")));
    EXPECT_EQ(doc.parseError().errorCode, 0);
    EXPECT_EQ(doc.parseError().reason, "");
}

TEST_F(XmlDocTest, ExternalFilesStayInsideTheAllowedRoot) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX places (/etc/passwd) and symbolic links; test_platform_win covers Windows paths";
#endif
    expectFailure(write("bomb.xml",
                        "<?xml version=\"1.0\"?>\n<!DOCTYPE a [\n<!ENTITY a0 \"lollollollollollollollollollol\">\n"
                        "<!ENTITY a1 \"&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;&a0;\">\n"
                        "<!ENTITY a2 \"&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;&a1;\">\n"
                        "<!ENTITY a3 \"&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;&a2;\">\n"
                        "<!ENTITY a4 \"&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;&a3;\">\n"
                        "<!ENTITY a5 \"&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;&a4;\">\n"
                        "<!ENTITY a6 \"&a5;&a5;&a5;&a5;&a5;&a5;&a5;&a5;&a5;&a5;\">\n"
                        "<!ENTITY a7 \"&a6;&a6;&a6;&a6;&a6;&a6;&a6;&a6;&a6;&a6;\">\n"
                        "<!ENTITY a8 \"&a7;&a7;&a7;&a7;&a7;&a7;&a7;&a7;&a7;&a7;\">\n"
                        "<!ENTITY a9 \"&a8;&a8;&a8;&a8;&a8;&a8;&a8;&a8;&a8;&a8;\">\n"
                        "<!ELEMENT a (#PCDATA)>]>\n<a>&a9;</a>"),
                  "実体参照の展開が上限を超えました", 14);
    const std::string dtdA = "<!ELEMENT a (#PCDATA)>";
    expectFailure(write("passwd.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE a [<!ELEMENT a (#PCDATA)>\n"
                                      "<!ENTITY x SYSTEM \"/etc/passwd\">]>\n<a>&x;</a>"),
                  "許可されたフォルダの外にある外部実体ファイルの読み込みを拒否しました", 4);
    expectFailure(write("fileurl.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE a [<!ELEMENT a (#PCDATA)>\n"
                                       "<!ENTITY x SYSTEM \"file:///etc/passwd\">]>\n<a>&x;</a>"),
                  "許可されたフォルダの外にある外部実体ファイルの読み込みを拒否しました");
    expectFailure(write("http.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"http://127.0.0.1:9/a.dtd\">\n<a/>"),
                  "URLで指定されたDTDファイルの読み込みを拒否しました", 2);
    write("UP.DTD", dtdA);
    expectFailure(write("sub/up.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"../UP.DTD\">\n<a/>"),
                  "許可されたフォルダの外にあるDTDファイルの読み込みを拒否しました");
    fs::create_symlink(dir_ / "UP.DTD", dir_ / "sub" / "LINK.DTD");
    expectFailure(write("sub/link.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"LINK.DTD\">\n<a/>"),
                  "許可されたフォルダの外にあるDTDファイルの読み込みを拒否しました");

    // A wider root admits the parent's DTD, but never through a link inside it.
    XmlDocument doc;
    doc.setAllowedRoot(dir_.string());
    EXPECT_TRUE(doc.load((dir_ / "sub" / "up.xml").string())) << doc.parseError().reason;
    EXPECT_FALSE(doc.load((dir_ / "sub" / "link.xml").string()));
    EXPECT_EQ(doc.parseError().reason,
              "シンボリックリンクのDTDファイルは読み込みません: " + (dir_ / "sub" / "LINK.DTD").string());

    // A DTD inside the root is read, in the document's encoding when undeclared; an
    // external entity in element content is refused, wherever it lies.
    write("ENT.DTD", cp932("<!ELEMENT a (#PCDATA)>\n<!ENTITY x \"髙\">\n"));
    const std::string p = write("ent.xml", cp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
                                                 "<!DOCTYPE a SYSTEM \"ENT.DTD\">\n<a>&x;</a>"));
    ASSERT_TRUE(doc.load(p)) << doc.parseError().reason;
    EXPECT_EQ(doc.documentElement().text(), "髙");
    write("ent.txt", cp932("髙"));
    expectFailure(write("general.xml", cp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
                                             "<!DOCTYPE a [<!ELEMENT a (#PCDATA)>\n"
                                             "<!ENTITY x SYSTEM \"ent.txt\">]>\n<a>&x;</a>")),
                  "要素の内容での外部実体ファイルの参照は許可されていません", 4);
}

TEST_F(XmlDocTest, ExternalFilesInFoldersWithJapaneseNamesAndOtherLetterCase) {
    // A DTD with its own text declaration, a parameter entity with a Japanese name.
    write("成果 フォルダ/tind_d04.dtd",
          cp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<!ELEMENT 基礎 (#PCDATA)>\n"
                "<!ENTITY % 名 SYSTEM \"name.txt\">\n%名;\n"));
    write("成果 フォルダ/NAME.TXT", "<!ENTITY 名 \"名前\">");
    const std::string p = write("成果 フォルダ/INDEX_D.XML",
                                "<?xml version=\"1.0\"?>\n<!DOCTYPE 基礎 SYSTEM \"TIND_D04.DTD\">\n<基礎>&名;①</基礎>");
    XmlDocument doc;
    ASSERT_TRUE(doc.load(p)) << doc.parseError().reason;
    EXPECT_EQ(doc.documentElement().text(), "名前①");
}

TEST_F(XmlDocTest, ConcurrentLoadsKeepTheirOwnErrors) {
    write("T.DTD", "<!ELEMENT a (#PCDATA)>");
    const std::string good = write("good.xml", "<!DOCTYPE a SYSTEM \"T.DTD\"><a>x</a>");
    const std::string bad = write("bad.xml", "<!DOCTYPE a SYSTEM \"T.DTD\">\n<a><b/></a>");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 25; ++i) {
                XmlDocument doc;
                const bool ok = doc.load(t % 2 ? good : bad);
                if (ok != (t % 2 == 1) || (!ok && doc.parseError().line != 2)) ++wrong;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(XmlDocTest, LargeSelectionsAndParserPresence) {
    EXPECT_TRUE(qm::CheckXmlParser());
    std::string xml = "<r>";
    for (int i = 0; i < 50000; ++i) xml += "<e><v>" + std::to_string(i) + "</v></e>";
    xml += "</r>";
    XmlDocument doc;
    ASSERT_TRUE(doc.load(write("big.xml", xml)));
    const auto all = doc.selectNodes("/r/e/v");
    ASSERT_EQ(all.size(), 50000u);
    EXPECT_EQ(all[49999].text(), "49999");
}

}  // namespace
