// Reads shared within one piece of work: parses kept by XmlCacheScope, listings kept by
// ListingCacheScope, and the list-free walk over a document.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "checks/xmldoc.h"
#include "run_fixture.h"
#include "foundation/platform.h"
#include "foundation/text.h"

namespace fs = std::filesystem;
using namespace qm;

namespace {

class SharedReadsTest : public ::testing::Test {
protected:
    // Writes a file and moves its modification time away from every earlier version.
    std::string write(const std::string& rel, const std::string& bytes) {
        const fs::path p = dir_ / fs::u8path(rel);
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        fs::last_write_time(p, fs::file_time_type::clock::now() + std::chrono::seconds(++stamp_));
        return p.string();
    }
    // A Windows-made management file: CP932 declared as Shift_JIS, with its DTD.
    std::string document(const std::string& rel, const std::string& name) {
        return write(rel, toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
                                  "<!DOCTYPE 成果 SYSTEM \"T.DTD\">\r\n<成果><名称>" +
                                  name + "</名称></成果>\r\n"));
    }
    qmtest::TempDir tmp_{"shared"};
    const fs::path& dir_ = tmp_.path();
    int stamp_ = 0;
};

const char* kDtd = "<!ELEMENT 成果 (名称)>\n<!ELEMENT 名称 (#PCDATA)>\n";

std::string nameIn(const XmlDocument& doc) {
    const std::vector<XmlNode> n = doc.selectNodes("/成果/名称");
    return n.empty() ? std::string("(none)") : n.front().text();
}

}  // namespace

TEST_F(SharedReadsTest, LoadsInAScopeShareOneParseAndItsOutcome) {
    write("T.DTD", kDtd);
    const std::string a = document("A.XML", "①髙ｶﾅ");
    const std::string broken = write("B.XML", "<?xml version=\"1.0\"?>\n<成果><名称>x</成果>\n");
    {
        XmlDocument first, second;
        ASSERT_TRUE(first.load(a));  // no scope: nothing is kept
    }
    XmlCacheScope scope;
    XmlDocument first, second;
    ASSERT_TRUE(first.load(a));
    ASSERT_TRUE(second.load(a));
    EXPECT_EQ(scope.hits(), 1u);
    EXPECT_EQ(nameIn(second), "①髙ｶﾅ");
    EXPECT_EQ(second.declaredEncoding(), "Shift_JIS");
    EXPECT_TRUE(second.hasXmlDeclaration());

    // A failure is kept too, with its parse error.
    XmlDocument bad1, bad2;
    EXPECT_FALSE(bad1.load(broken));
    EXPECT_FALSE(bad2.load(broken));
    EXPECT_EQ(scope.hits(), 2u);
    EXPECT_EQ(bad2.parseError().errorCode, bad1.parseError().errorCode);
    EXPECT_EQ(bad2.parseError().line, bad1.parseError().line);
    EXPECT_EQ(bad2.parseError().reason, bad1.parseError().reason);
    EXPECT_LT(bad2.parseError().errorCode, 0);
    EXPECT_TRUE(bad2.document().isNull());

    // Another allowed root is another load: here the DTD lies outside it.
    fs::create_directories(dir_ / "inner");
    XmlDocument rooted;
    rooted.setAllowedRoot((dir_ / "inner").string());
    EXPECT_FALSE(rooted.load(a));
    EXPECT_EQ(scope.hits(), 2u);
    XmlDocument third;  // reusing a document object drops what it held
    ASSERT_TRUE(third.load(a));
    EXPECT_EQ(scope.hits(), 3u);
    EXPECT_FALSE(third.load(broken));
    EXPECT_TRUE(third.document().isNull());
}

TEST_F(SharedReadsTest, AChangedFileOrDtdIsParsedAgain) {
    write("T.DTD", kDtd);
    const std::string a = document("A.XML", "one");
    XmlCacheScope scope;
    XmlDocument before;
    ASSERT_TRUE(before.load(a));
    document("A.XML", "two");  // the same size, another time
    XmlDocument after;
    ASSERT_TRUE(after.load(a));
    EXPECT_EQ(nameIn(after), "two");
    EXPECT_EQ(nameIn(before), "one");  // the earlier document is still whole
    EXPECT_EQ(scope.hits(), 0u);

    // The DTD now requires another element: the same document no longer validates.
    write("T.DTD", "<!ELEMENT 成果 (番号)>\n<!ELEMENT 番号 (#PCDATA)>\n<!ELEMENT 名称 (#PCDATA)>\n");
    XmlDocument revalidated;
    EXPECT_FALSE(revalidated.load(a));
    EXPECT_EQ(scope.hits(), 0u);
    XmlDocument again;
    EXPECT_FALSE(again.load(a));
    EXPECT_EQ(scope.hits(), 1u);
    EXPECT_EQ(again.parseError().reason, revalidated.parseError().reason);
}

TEST_F(SharedReadsTest, ScopesNestAndKeepAFewDocuments) {
    write("T.DTD", kDtd);
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) files.push_back(document("F" + std::to_string(i) + ".XML", std::to_string(i)));

    XmlCacheScope outer;
    XmlDocument kept;
    ASSERT_TRUE(kept.load(files[0]));
    {
        XmlCacheScope inner;
        XmlDocument d;
        ASSERT_TRUE(d.load(files[0]));  // served from the outer scope, now kept by the inner one
        EXPECT_EQ(inner.hits(), 1u);
        EXPECT_EQ(outer.documents(), 0u);
        EXPECT_EQ(inner.documents(), 1u);
    }
    EXPECT_EQ(nameIn(kept), "0");  // held by its document after the scope is gone
    XmlDocument d;
    ASSERT_TRUE(d.load(files[0]));
    EXPECT_EQ(outer.hits(), 0u);  // released with the inner scope: parsed again

    for (const std::string& f : files) {
        XmlDocument e;
        ASSERT_TRUE(e.load(f));
    }
    EXPECT_EQ(outer.documents(), XmlCacheScope::kMaxDocuments);
    const size_t hits = outer.hits();
    XmlDocument last, oldest;
    ASSERT_TRUE(last.load(files[5]));
    EXPECT_EQ(outer.hits(), hits + 1);
    ASSERT_TRUE(oldest.load(files[0]));  // dropped as the least recently used
    EXPECT_EQ(outer.hits(), hits + 1);
    EXPECT_EQ(nameIn(oldest), "0");
}

TEST_F(SharedReadsTest, DocumentErrorsKeepTheirExactForm) {
    // Bytes that are not CP932 are refused where they stand, in the parser's own words.
    const std::string bad = write("C.XML", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<a>ok</a>\r\n<!-- \x81\x20\x41\x42 -->");
    XmlDocument doc;
    EXPECT_FALSE(doc.load(bad));
    EXPECT_EQ(doc.parseError().errorCode, -6003);
    EXPECT_NE(doc.parseError().reason.find("input conversion failed due to input error, bytes 0x81 0x20 0x41 0x42"),
              std::string::npos)
        << doc.parseError().reason;
    // A lead byte whose character is cut off by the end of the file.
    const std::string cut = write("D.XML", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<a>\x82\xA0\x82</a>");
    XmlDocument doc2;
    EXPECT_FALSE(doc2.load(cut));
    EXPECT_LT(doc2.parseError().errorCode, 0);
}

TEST_F(SharedReadsTest, ListingsAreReusedWhileTheFolderIsUnchanged) {
    const std::string folder = (dir_ / "CPROC_A").string();
    fs::create_directories(dir_ / "CPROC_A" / "SUB");
    write("CPROC_A/TCAA0001.PDF", "x");
    write("CPROC_A/TCAA0002.PDF", "x");

    const Listing fresh = listFolder(folder);
    {
        ListingCacheScope scope;
        const Listing dated = listFolder(folder);
        const Listing names = listFolderNames(folder);
        EXPECT_EQ(scope.hits(), 1u);
        ASSERT_EQ(names.entries.size(), fresh.entries.size());
        for (size_t i = 0; i < names.entries.size(); ++i) {
            EXPECT_EQ(names.entries[i].name, fresh.entries[i].name);
            EXPECT_EQ(names.entries[i].isDir, fresh.entries[i].isDir);
        }
        listFolderNames(folder + "/");  // the same folder under another spelling
        EXPECT_EQ(scope.hits(), 2u);

        write("CPROC_A/TCAA0003.PDF", "x");  // a new entry changes the folder
        const Listing grown = listFolderNames(folder);
        EXPECT_EQ(scope.hits(), 2u);
        EXPECT_EQ(grown.entries.size(), 4u);
        EXPECT_EQ(listFolderNames(folder).entries.size(), 4u);
        EXPECT_EQ(scope.hits(), 3u);

        // Dates are always read afresh.
        const fs::path f = dir_ / "CPROC_A" / "TCAA0001.PDF";
        fs::last_write_time(f, fs::last_write_time(f) - std::chrono::hours(24 * 400));
        const Listing redated = listFolder(folder);
        ASSERT_EQ(redated.entries[1].name, "TCAA0001.PDF");
        EXPECT_NE(redated.entries[1].modified.ymd(), dated.entries[1].modified.ymd());
        EXPECT_EQ(scope.hits(), 3u);
        EXPECT_FALSE(listFolderNames((dir_ / "missing").string()).ok);
    }
    // Without a scope nothing is kept.
    EXPECT_EQ(listFolderNames(folder).entries.size(), 4u);

    // An inner scope keeps its own listings; the outer one is in force again after it.
    ListingCacheScope outer;
    listFolder(folder);
    {
        ListingCacheScope inner;
        listFolderNames(folder);
        listFolderNames(folder);
        EXPECT_EQ(inner.hits(), 1u);
    }
    listFolderNames(folder);
    EXPECT_EQ(outer.hits(), 1u);
}

TEST_F(SharedReadsTest, WalkingMatchesTheChildLists) {
    write("W.XML",
          "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT p:a ANY><!ELEMENT e EMPTY>"
          "<!ELEMENT 名称 (#PCDATA)><!ATTLIST r xmlns:p CDATA #IMPLIED><!ATTLIST p:a p:b CDATA #IMPLIED>]>\n"
          "<?pi one?>\n"
          "<r xmlns:p=\"urn:x\"><p:a p:b=\"1\">text<![CDATA[cd]]><!--c--><?pi two?><e/></p:a>  <名称>値</名称></r>\n");
    XmlDocument doc;
    ASSERT_TRUE(doc.load((dir_ / "W.XML").string())) << doc.parseError().reason;
    size_t visited = 0;
    std::vector<XmlNode> pending{doc.document()};
    while (!pending.empty()) {
        const XmlNode node = pending.back();
        pending.pop_back();
        const std::vector<XmlNode> listed = node.childNodes();
        size_t k = 0;
        for (XmlNode c = node.firstChild(); !c.isNull(); c = c.nextSibling(), ++k) {
            ASSERT_LT(k, listed.size());
            EXPECT_EQ(c.nodeType(), listed[k].nodeType());
            EXPECT_EQ(c.nodeName(), listed[k].nodeName());
            EXPECT_EQ(c.text(), listed[k].text());
            EXPECT_TRUE(c.hasName(c.nodeName()));
            EXPECT_FALSE(c.hasName(c.nodeName() + "x"));
            std::string appended = "/";
            c.appendName(appended);
            EXPECT_EQ(appended, "/" + c.nodeName());
            pending.push_back(c);
            ++visited;
        }
        EXPECT_EQ(k, listed.size());
    }
    EXPECT_GE(visited, 10u);
    const XmlNode a = doc.document().selectSingleNode("/r/p:a");
    ASSERT_FALSE(a.isNull());
    EXPECT_TRUE(a.hasName("p:a"));
    EXPECT_FALSE(a.hasName("a"));
    const XmlNode attr = XmlNode();
    EXPECT_TRUE(attr.firstChild().isNull());
    EXPECT_TRUE(attr.nextSibling().isNull());
    EXPECT_TRUE(doc.document().nextSibling().isNull());
}

TEST_F(SharedReadsTest, TextOfBlanksAloneIsDroppedWhereverItComesFrom) {
    // Blanks from an entity (met twice: parsed, then copied), from a CDATA section and
    // from a character reference; blanks beside data stay.
    write("E.XML",
          "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT b ANY><!ENTITY sp \"  \">]>\n"
          "<r><b>&sp;</b><b>&sp;</b><b><![CDATA[ ]]></b><b>&#32;</b><b> x </b><b>x&sp;</b></r>");
    XmlDocument doc;
    ASSERT_TRUE(doc.load((dir_ / "E.XML").string())) << doc.parseError().reason;
    const std::vector<XmlNode> b = doc.selectNodes("/r/b");
    ASSERT_EQ(b.size(), 6u);
    for (size_t i = 0; i < 4; ++i) EXPECT_FALSE(b[i].hasChildNodes()) << i;
    EXPECT_EQ(b[4].text(), " x ");
    EXPECT_EQ(b[5].text(), "x  ");
    // No blanks at all: nothing to drop, the tree as parsed.
    write("F.XML", "<r><b>x</b><b/></r>");
    XmlDocument plain;
    ASSERT_TRUE(plain.load((dir_ / "F.XML").string()));
    EXPECT_EQ(plain.selectNodes("/r/b").front().text(), "x");
}
