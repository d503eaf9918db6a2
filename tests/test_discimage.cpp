// Disc images made at test time with Debian's tools (xorriso, genisoimage, mkudffs)
// from the samples and from small crafted trees, read back through DiscImage.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/discimage.h"
#include "foundation/platform.h"

using namespace qm;
namespace fs = std::filesystem;

namespace {

bool haveTool(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0; }

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class DiscImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qm_disc_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    static fs::path sample(const char* name) { return fs::path(QM_SOURCE_DIR) / "samples" / name; }
    // Runs a tool quietly; the test fails when it does not succeed.
    void run(const std::string& cmd) { ASSERT_EQ(std::system((cmd + " >/dev/null 2>&1").c_str()), 0) << cmd; }
    std::unique_ptr<DiscImage> open(const fs::path& image) {
        DiscProblem problem;
        std::string text;
        auto img = DiscImage::open(image.string(), problem, text);
        EXPECT_TRUE(img) << text;
        return img;
    }
    DiscProblem problemOf(const fs::path& image, std::string* text = nullptr) {
        DiscProblem problem;
        std::string t;
        EXPECT_FALSE(DiscImage::open(image.string(), problem, t));
        EXPECT_FALSE(t.empty());
        if (text) *text = t;
        return problem;
    }
    void write(const fs::path& p, const std::string& bytes) {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
    }
    fs::path dir_;
};

// Every folder of the image lists what the same folder on disk lists: names, kinds,
// sizes and modification dates to the minute, in the same order.
void expectSameTree(const DiscImage& img, const fs::path& top, const std::string& rel = "") {
    const Listing disk = listFolder(rel.empty() ? top.string() : joinRel(top.string() + "/", rel));
    const Listing image = img.list(rel);
    ASSERT_TRUE(disk.ok && image.ok) << rel;
    ASSERT_EQ(disk.entries.size(), image.entries.size()) << rel;
    for (size_t i = 0; i < disk.entries.size(); ++i) {
        const DirEntry& d = disk.entries[i];
        const DirEntry& m = image.entries[i];
        const std::string where = rel + "\\" + d.name;
        EXPECT_EQ(d.name, m.name) << where;
        EXPECT_EQ(d.isDir, m.isDir) << where;
        if (!d.isDir) EXPECT_EQ(d.size, m.size) << where;
        EXPECT_EQ(d.modified.ymd(), m.modified.ymd()) << where;
        EXPECT_EQ(d.modified.hour * 60 + d.modified.minute, m.modified.hour * 60 + m.modified.minute) << where;
        if (d.isDir) expectSameTree(img, top, rel.empty() ? d.name : rel + "\\" + d.name);
    }
}

TEST_F(DiscImageTest, JolietRockRidgeImageOfTheSampleReadsAsTheFolder) {
    if (!haveTool("xorriso")) GTEST_SKIP() << "xorriso is not installed (scripts/setup installs it)";
    const fs::path image = dir_ / "cadastral.iso";
    run("xorriso -as mkisofs -J -R -V DISC1 -o " + image.string() + " " + sample("cadastral").string());
    auto img = open(image);
    ASSERT_TRUE(img);
    const DiscFacts& f = img->facts();
    EXPECT_TRUE(f.iso9660 && f.joliet && f.rockRidge);
    EXPECT_FALSE(f.udf);
    EXPECT_EQ(f.tree, "Joliet");
    EXPECT_EQ(f.isoLevel, 1);
    EXPECT_EQ(f.label, "DISC1");
    EXPECT_EQ(f.imageSize, fs::file_size(image));
    ASSERT_NE(f.smallestMedium, nullptr);
    EXPECT_STREQ(f.smallestMedium->name, "CD-R");
    EXPECT_EQ(f.level1BreakCount, 0u);  // Joliet present: nothing to say
    expectSameTree(*img, sample("cadastral"));

    // Look-ups ignore ASCII case and take either separator; management files read back whole.
    const DiscEntry* e = img->find("survey/tiseki\\surv_tsk.xml");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->name, "SURV_TSK.XML");
    EXPECT_TRUE(img->isFolder("Survey\\TISEKI"));
    EXPECT_FALSE(img->isFolder("SURVEY\\SURVEY.XML"));
    EXPECT_EQ(img->find("SURVEY\\NOPE.XML"), nullptr);
    EXPECT_EQ(img->find("SURVEY.XML\\X"), nullptr);
    for (const char* rel : {"INDEX_D.XML", "SURVEY\\SURVEY.XML", "SURVEY\\TISEKI\\SURV_TSK.XML"}) {
        std::string bytes, reason;
        ASSERT_TRUE(img->readFile(rel, bytes, reason)) << rel << ": " << reason;
        EXPECT_EQ(bytes, slurp(joinRel(sample("cadastral").string() + "/", rel))) << rel;
    }
    std::string bytes, reason;
    EXPECT_FALSE(img->readFile("INDEX_D.XML", bytes, reason, 10));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(img->readFile("SURVEY", bytes, reason));
    EXPECT_FALSE(img->list("INDEX_D.XML").ok);
}

TEST_F(DiscImageTest, BridgeImageReadsItsUdfTree) {
    if (!haveTool("genisoimage")) GTEST_SKIP() << "genisoimage is not installed (scripts/setup installs it)";
    // A Japanese name and a hidden file: the UDF tree keeps both as Windows shows them.
    const fs::path tree = dir_ / "tree";
    fs::copy(sample("preliminary"), tree, fs::copy_options::recursive);
    write(tree / "SURVEY" / "OTHRS" / "境界調査メモ.TXT", "memo");
    const fs::path image = dir_ / "bridge.iso";
    run("genisoimage -udf -J -joliet-long -V BRIDGE -o " + image.string() + " " + tree.string());
    auto img = open(image);
    ASSERT_TRUE(img);
    const DiscFacts& f = img->facts();
    EXPECT_TRUE(f.udf && f.iso9660 && f.joliet && f.bridge());
    EXPECT_EQ(f.tree, "UDF");
    EXPECT_EQ(f.udfRevision, 0x0102);
    EXPECT_EQ(f.label, "BRIDGE");
    EXPECT_NE(f.fileSystems().find("UDF 1.02"), std::string::npos) << f.fileSystems();
    expectSameTree(*img, tree);
    std::string bytes, reason;
    ASSERT_TRUE(img->readFile("survey/othrs/境界調査メモ.TXT", bytes, reason)) << reason;
    EXPECT_EQ(bytes, "memo");
    ASSERT_TRUE(img->readFile("INDEX_D.XML", bytes, reason)) << reason;
    EXPECT_EQ(bytes, slurp(tree / "INDEX_D.XML"));
}

TEST_F(DiscImageTest, JolietKeepsJapaneseNamesWhole) {
    if (!haveTool("xorriso")) GTEST_SKIP() << "xorriso is not installed (scripts/setup installs it)";
    const fs::path tree = dir_ / "tree";
    write(tree / "資料" / "地籍調査ファイル名称.PDF", "pdf");
    const fs::path image = dir_ / "j.iso";
    run("xorriso -as mkisofs -J -o " + image.string() + " " + tree.string());
    auto img = open(image);
    ASSERT_TRUE(img);
    const DiscEntry* e = img->find("資料\\地籍調査ファイル名称.pdf");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->name, "地籍調査ファイル名称.PDF");
    EXPECT_EQ(e->size, 3u);
}

TEST_F(DiscImageTest, PlainIsoShowsItsOwnNamesAndWhatLevelOneCannotHold) {
    if (!haveTool("xorriso")) GTEST_SKIP() << "xorriso is not installed (scripts/setup installs it)";
    // Rock Ridge only: Windows shows the plain ISO 9660 names, so those are read.
    const fs::path tree = dir_ / "tree";
    write(tree / "longfilename_here.txt", "a");
    write(tree / "OK.TXT", "b");
    fs::path deep = tree;
    for (const char* d : {"A", "B", "C", "D", "E", "F", "G", "H"}) deep /= d;
    write(deep / "X.TXT", "c");
    const fs::path image = dir_ / "plain.iso";
    run("xorriso -as mkisofs -iso-level 2 -R -D -V PLAIN -o " + image.string() + " " + tree.string());
    auto img = open(image);
    ASSERT_TRUE(img);
    const DiscFacts& f = img->facts();
    EXPECT_TRUE(f.iso9660 && f.rockRidge);
    EXPECT_FALSE(f.joliet || f.udf);
    EXPECT_EQ(f.tree, "ISO 9660");
    EXPECT_EQ(f.isoLevel, 2);
    const DiscEntry* e = img->find("LONGFILENAME_HERE.TXT");
    ASSERT_NE(e, nullptr) << "plain names, without their version";
    EXPECT_EQ(e->name, "LONGFILENAME_HERE.TXT");
    EXPECT_NE(img->find("ok.txt"), nullptr);
    EXPECT_EQ(f.level1BreakCount, 2u);
    EXPECT_EQ(f.level1Breaks, (std::vector<std::string>{"LONGFILENAME_HERE.TXT", "A\\B\\C\\D\\E\\F\\G\\H"}));

    // The sample, plain and level 1: nothing breaks level 1.
    const fs::path sampleImage = dir_ / "sample.iso";
    run("xorriso -as mkisofs -o " + sampleImage.string() + " " + sample("cadastral").string());
    auto s = open(sampleImage);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->facts().isoLevel, 1);
    EXPECT_EQ(s->facts().level1BreakCount, 0u);
    EXPECT_EQ(s->facts().largeFileCount, 0u);
    expectSameTree(*s, sample("cadastral"));
}

TEST_F(DiscImageTest, PureUdfAndAnUnsupportedRevision) {
    if (!haveTool("mkudffs")) GTEST_SKIP() << "mkudffs is not installed (scripts/setup installs it, udftools)";
    // mkudffs cannot fill an image without mounting it: an empty file system is read.
    const fs::path image = dir_ / "pure.udf";
    run("mkudffs --new-file -b 2048 -m hd --label=PURE " + image.string() + " 4000");
    auto img = open(image);
    ASSERT_TRUE(img);
    const DiscFacts& f = img->facts();
    EXPECT_TRUE(f.udf);
    EXPECT_FALSE(f.iso9660 || f.bridge());
    EXPECT_EQ(f.udfRevision, 0x0201);
    EXPECT_EQ(f.label, "PURE");
    EXPECT_EQ(f.tree, "UDF");
    ASSERT_TRUE(img->list("").ok);
    EXPECT_TRUE(img->list("").entries.empty());

    // A write-once layout with a virtual allocation table is refused as unsupported.
    const fs::path vat = dir_ / "vat.udf";
    run("mkudffs --new-file -b 2048 -m cdr --label=VAT " + vat.string() + " 4000");
    EXPECT_EQ(problemOf(vat), DiscProblem::Unsupported);
}

TEST_F(DiscImageTest, BadInputIsAnsweredNeverTrusted) {
    if (!haveTool("xorriso")) GTEST_SKIP() << "xorriso is not installed (scripts/setup installs it)";
    const fs::path tree = dir_ / "tree";
    write(tree / "SUB" / "FILE.TXT", std::string(100000, 'x'));
    const fs::path image = dir_ / "good.iso";
    run("xorriso -as mkisofs -o " + image.string() + " " + tree.string());
    const std::string good = slurp(image);

    std::string text;
    write(dir_ / "cut.iso", good.substr(0, good.size() / 2));
    EXPECT_EQ(problemOf(dir_ / "cut.iso", &text), DiscProblem::Truncated);
    EXPECT_NE(text.find("途中で切れて"), std::string::npos) << text;
    write(dir_ / "text.iso", std::string(100000, 'a'));
    EXPECT_EQ(problemOf(dir_ / "text.iso"), DiscProblem::NotImage);
    write(dir_ / "empty.iso", "");
    EXPECT_EQ(problemOf(dir_ / "empty.iso"), DiscProblem::NotImage);
    EXPECT_EQ(problemOf(dir_ / "missing.iso"), DiscProblem::NotFound);
    EXPECT_EQ(problemOf(tree), DiscProblem::NotImage);
    EXPECT_FALSE(DiscImage::looksLikeImage((dir_ / "text.iso").string()));
    EXPECT_TRUE(DiscImage::looksLikeImage(image.string()));

    // SUB's record made to point back at the top folder: a loop, refused as corrupt.
    std::string loop = good;
    auto u32 = [&](size_t at) {
        return uint32_t(uint8_t(loop[at])) | uint32_t(uint8_t(loop[at + 1])) << 8 |
               uint32_t(uint8_t(loop[at + 2])) << 16 | uint32_t(uint8_t(loop[at + 3])) << 24;
    };
    const uint32_t root = u32(16 * 2048 + 156 + 2);
    const size_t sub = loop.find("SUB", size_t(root) * 2048) - 33;
    ASSERT_EQ(uint8_t(loop[sub + 32]), 3u);
    for (int i = 0; i < 4; ++i) {
        loop[sub + 2 + i] = char(root >> (8 * i));
        loop[sub + 9 - i] = char(root >> (8 * i));
    }
    write(dir_ / "loop.iso", loop);
    EXPECT_EQ(problemOf(dir_ / "loop.iso", &text), DiscProblem::Corrupt);
    EXPECT_NE(text.find("循環"), std::string::npos) << text;

    // A name longer than its record.
    std::string broken = good;
    size_t third = size_t(root) * 2048;
    for (int i = 0; i < 2; ++i) third += uint8_t(broken[third]);  // past "." and ".."
    broken[third + 32] = char(250);
    write(dir_ / "broken.iso", broken);
    EXPECT_EQ(problemOf(dir_ / "broken.iso"), DiscProblem::Corrupt);
}

TEST(DiscMedia, SmallestMediumByCapacity) {
    const auto& m = discMedia();
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].capacity, 737280000u);
    for (size_t i = 1; i < m.size(); ++i) EXPECT_LT(m[i - 1].capacity, m[i].capacity);
    EXPECT_STREQ(m[4].name, "BD-R DL");
}

}  // namespace
