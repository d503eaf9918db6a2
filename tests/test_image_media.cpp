// Disc images given to quillmark-check as media: the logs of an image are those of the
// same tree as a folder, images and folders mix across media, the image section tells
// what only an image shows, and an image that cannot be read ends the run with exit 2.
#include "models/resultreport.h"
#include "checks/xmldoc.h"
#include "foundation/imagemount.h"
#include "foundation/platform.h"
#include "run_fixture.h"

#include <gtest/gtest.h>

#include <map>

using namespace qmtest;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool haveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Every log of a folder, by name, with each occurrence of a medium's top folder written
// as a token, so that the logs of an image and of a folder compare byte for byte.
std::map<std::string, std::string> logsOf(const fs::path& folder, const std::vector<std::pair<std::string, std::string>>& tops) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        std::string bytes = readBytes(e.path());
        for (const auto& [top, token] : tops)
            for (size_t at = bytes.find(top); at != std::string::npos; at = bytes.find(top, at + token.size()))
                bytes.replace(at, top.size(), token);
        out[e.path().filename().string()] = bytes;
    }
    return out;
}

class ImageMediaTest : public ::testing::Test {
protected:
    TempDir tmp{"image-media"};
    void SetUp() override {
        if (!haveTool("xorriso") || !haveTool("genisoimage"))
            GTEST_SKIP() << "xorriso and genisoimage are needed (scripts/setup installs them)";
    }
    static fs::path sample(const char* name) { return fs::path(QM_SOURCE_DIR) / "samples" / name; }
    fs::path image(const std::string& name, const fs::path& tree, const std::string& tool) {
        const fs::path out = tmp.path() / name;
        const std::string cmd = tool + " -o " + shellQuote(out.string()) + " " + shellQuote(tree.string()) + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return out;
    }
    CliResult check(const std::string& logs, const std::vector<std::string>& media, const std::string& extra = "") {
        fs::create_directories(tmp.path() / logs);
        std::string args = extra + "--log-dir " + shellQuote((tmp.path() / logs).string());
        for (const auto& m : media) args += " " + shellQuote(m);
        return runCli(args, tmp.path());
    }
};

}  // namespace

// Every sample as a Joliet + Rock Ridge image and as a UDF/ISO 9660 bridge image: the same
// exit status, the same logs byte for byte and the same findings in the summary as the
// folder; with an update-date period as well, so that the dates read from the image count.
TEST_F(ImageMediaTest, LogsOfAnImageAreThoseOfTheSameTreeAsAFolder) {
    const std::vector<std::pair<std::string, std::string>> tools = {
        {"joliet", "xorriso -as mkisofs -J -joliet-long -R -V DISC1"},
        {"bridge", "genisoimage -udf -J -joliet-long -V DISC1"}};
    for (const char* s : {"cadastral", "faulty", "preliminary"}) {
        const std::string folder = sample(s).string() + "/";
        for (const auto& [kind, tool] : tools) {
            for (const std::string dates : {"", "--from 2001-01-01 --to 2001-12-31 "}) {
                SCOPED_TRACE(std::string(s) + " " + kind + " " + dates);
                const fs::path img = image(std::string(s) + "-" + kind + ".iso", sample(s), tool);
                const std::string tag = std::string(s) + kind + std::to_string(dates.size());
                const CliResult onFolder = check("f-" + tag, {folder}, dates);
                const CliResult onImage = check("i-" + tag, {img.string()}, dates);
                EXPECT_EQ(onImage.exitCode, onFolder.exitCode) << onImage.err;
                ASSERT_NE(onFolder.exitCode, 2) << onFolder.err;
                const auto a = logsOf(tmp.path() / ("f-" + tag), {{folder, "<TOP>"}});
                const auto b = logsOf(tmp.path() / ("i-" + tag), {{img.string() + "/", "<TOP>"}});
                EXPECT_EQ(a, b);
                std::string summary = onImage.out.substr(0, onImage.out.find("\nディスクイメージ\n"));
                for (size_t at; (at = summary.find(img.string() + "/")) != std::string::npos;)
                    summary.replace(at, img.string().size() + 1, folder);
                std::string expected = onFolder.out;
                for (const char* logs : {"i-", "f-"}) {
                    const std::string line = "ログフォルダ: " + (tmp.path() / (logs + tag)).string() + "/";
                    if (size_t at = summary.find(line); at != std::string::npos) summary.replace(at, line.size(), "LOGS");
                    if (size_t at = expected.find(line); at != std::string::npos) expected.replace(at, line.size(), "LOGS");
                }
                EXPECT_EQ(summary, expected);
            }
        }
    }
}

// Two media as two images, and as an image and a folder: the logs of the delivery are those
// of the two folders. The image section names medium 1 only when medium 2 is a folder.
TEST_F(ImageMediaTest, MultiImageDeliveryAndImagesMixedWithFolders) {
    const fs::path setting = tmp.path() / "setting";
    buildSettingTables(setting);
    const fs::path d1 = tmp.path() / "disc1", d2 = tmp.path() / "disc2";
    buildCadastralMedium(d1, {1, 2});
    buildCadastralMedium(d2, {2, 2});
    const std::string extra = "--setting-dir " + shellQuote(setting.string()) + " ";
    const fs::path i1 = image("DISC1.iso", d1, "xorriso -as mkisofs -J -R -V DISC1");
    const fs::path i2 = image("DISC2.iso", d2, "genisoimage -udf -J -V DISC2");

    const CliResult folders = check("ff", {d1.string() + "/", d2.string() + "/"}, extra);
    const CliResult images = check("ii", {i1.string(), i2.string()}, extra);
    const CliResult mixed = check("if", {i1.string(), d2.string() + "/"}, extra);
    ASSERT_NE(folders.exitCode, 2) << folders.err;
    EXPECT_EQ(images.exitCode, folders.exitCode) << images.err;
    EXPECT_EQ(mixed.exitCode, folders.exitCode) << mixed.err;
    const auto expected = logsOf(tmp.path() / "ff", {{d1.string() + "/", "<1>"}, {d2.string() + "/", "<2>"}});
    EXPECT_EQ(logsOf(tmp.path() / "ii", {{i1.string() + "/", "<1>"}, {i2.string() + "/", "<2>"}}), expected);
    EXPECT_EQ(logsOf(tmp.path() / "if", {{i1.string() + "/", "<1>"}, {d2.string() + "/", "<2>"}}), expected);

    EXPECT_TRUE(has(images.out, "成果1枚目\n    イメージファイル: " + i1.string())) << images.out;
    EXPECT_TRUE(has(images.out, "成果2枚目\n    イメージファイル: " + i2.string())) << images.out;
    EXPECT_TRUE(has(images.out, "UDF/ISO 9660 ブリッジ")) << images.out;
    EXPECT_TRUE(has(mixed.out, "成果1枚目\n    イメージファイル")) << mixed.out;
    EXPECT_FALSE(has(mixed.out, "成果2枚目\n    イメージファイル")) << mixed.out;

    // The same image twice is the same medium given twice.
    const CliResult twice = check("twice", {i1.string(), i1.string()}, extra);
    EXPECT_EQ(twice.exitCode, 2);
    EXPECT_TRUE(has(twice.err, "既にチェックしています")) << twice.err;
}

// What only an image shows: the section of the summary and the JSON's image object; a plain
// ISO 9660 image without Joliet lists the names level 1 cannot hold. A log folder beside an
// image is no log folder holding the medium.
TEST_F(ImageMediaTest, ImageSectionAndJson) {
    const fs::path tree = tmp.path() / "tree";
    buildCadastralMedium(tree);
    writeBytes(tree / "OTHRS" / "long_name_file.txt", "x");
    const fs::path setting = tmp.path() / "setting";
    buildSettingTables(setting);
    const fs::path plain = image("PLAIN.iso", tree, "xorriso -as mkisofs -iso-level 2 -R -V PLAINVOL");
    const std::string extra = "--setting-dir " + shellQuote(setting.string()) + " ";

    const CliResult text = check("text", {plain.string()}, extra);
    ASSERT_NE(text.exitCode, 2) << text.err;
    for (const char* part : {"\nディスクイメージ\n  成果1枚目\n", "ファイルシステム: ISO 9660 レベル 2 / Rock Ridge",
                             "読み取った名前: ISO 9660", "ボリュームラベル: PLAINVOL", "収まる最小のメディア: CD-R（700 MB）",
                             "ドライブの種類: CD-ROM", "OTHRS\\LONG_NAME_FILE.TXT", "レベル 1 に合わない名前が"})
        EXPECT_TRUE(has(text.out, part)) << part << "\n" << text.out;

    const CliResult json = check("json", {plain.string()}, extra + "--json ");
    for (const char* part : {"\"image\": {\"file\": ", "\"tree\": \"ISO 9660\"", "\"label\": \"PLAINVOL\"",
                             "\"smallestMedium\": \"CD-R\"", "\"driveType\": 5", "\"level1BreakCount\": ",
                             "\"volumeSerialSource\": \"volumeDescriptor\""})
        EXPECT_TRUE(has(json.out, part)) << part << "\n" << json.out;
    EXPECT_FALSE(has(json.out, "\"volumeSerial\": 0")) << json.out;

    // Logs beside the image: the image file is left alone, so the folder is accepted.
    const CliResult beside = runCli(extra + "--log-dir " + shellQuote(tmp.path().string()) + " " +
                                        shellQuote(plain.string()), tmp.path());
    EXPECT_NE(beside.exitCode, 2) << beside.err;
}

// A truncated image as medium 2, a file that is no image, a missing image: exit 2 with a
// Japanese message naming the file, and no log of a check.
TEST_F(ImageMediaTest, AnImageThatCannotBeReadEndsTheRun) {
    const fs::path d1 = tmp.path() / "disc1";
    buildCadastralMedium(d1);
    const fs::path setting = tmp.path() / "setting";
    buildSettingTables(setting);
    const std::string extra = "--setting-dir " + shellQuote(setting.string()) + " ";
    const fs::path whole = image("whole.iso", d1, "xorriso -as mkisofs -J");
    const std::string bytes = readBytes(whole);
    const fs::path cut = tmp.path() / "DISC2.iso";
    writeBytes(cut, bytes.substr(0, bytes.size() / 2));
    const fs::path text = tmp.path() / "notes.txt";
    writeBytes(text, std::string(40000, 'x'));

    const CliResult truncated = check("t", {whole.string(), cut.string()}, extra);
    EXPECT_EQ(truncated.exitCode, 2);
    EXPECT_TRUE(has(truncated.err, "ディスクイメージが途中で切れています")) << truncated.err;
    EXPECT_TRUE(has(truncated.err, cut.string())) << truncated.err;
    EXPECT_TRUE(fs::is_empty(tmp.path() / "t"));

    const CliResult notImage = check("n", {text.string()}, extra);
    EXPECT_EQ(notImage.exitCode, 2);
    EXPECT_TRUE(has(notImage.err, "ディスクイメージ（ISO 9660 又は UDF）ではありません。")) << notImage.err;
}

// The platform layer inside an image, as on a folder: names matched ignoring ASCII case
// with the kind asked for, never above the top; the XML service reads a DTD from the image
// and refuses one outside the medium, on the disk or in the image above the allowed root.
TEST_F(ImageMediaTest, LookupsAndDocumentsStayInsideTheImage) {
    const fs::path tree = tmp.path() / "tree";
    writeBytes(tree / "Mixed" / "Doc.XML",
               "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"a.dtd\">\n<a>x</a>\n");
    writeBytes(tree / "Mixed" / "A.DTD", "<!ELEMENT a (#PCDATA)>\n");
    writeBytes(tree / "Mixed" / "Up.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"../A.DTD\">\n<a>x</a>\n");
    writeBytes(tree / "A.DTD", "<!ELEMENT a (#PCDATA)>\n");
    writeBytes(tree / "Disk.xml", "<?xml version=\"1.0\"?>\n<!DOCTYPE a SYSTEM \"" + (tmp.path() / "disk.dtd").string() +
                                      "\">\n<a>x</a>\n");
    writeBytes(tmp.path() / "disk.dtd", "<!ELEMENT a (#PCDATA)>\n");
    writeBytes(tree / ".hidden", "h");
    const fs::path img = image("LOOK.iso", tree, "genisoimage -udf -J -joliet-long");
    std::string top, problem;
    ASSERT_TRUE(qm::mountImage(img.string(), top, problem)) << problem;
    EXPECT_EQ(top, img.string() + "/");
    EXPECT_TRUE(qm::mountImage(img.string(), top, problem));  // the same image, once

    EXPECT_EQ(qm::resolveRel(top, "MIXED\\doc.xml", qm::EntryKind::File), top + "Mixed/Doc.XML");
    EXPECT_FALSE(qm::resolveRel(top, "MIXED\\doc.xml", qm::EntryKind::Folder));
    EXPECT_FALSE(qm::resolveRel(top, "Mixed\\..\\A.DTD"));
    EXPECT_EQ(qm::resolveRel(top, ""), top);
    EXPECT_TRUE(qm::isFolder(top + "Mixed"));
    EXPECT_TRUE(qm::isPlainFile(top + "mixed/a.dtd"));
    EXPECT_FALSE(qm::isPlainFile(top + "Mixed"));
    EXPECT_EQ(qm::listFolder(top).entries.size(), 4u);
    EXPECT_EQ(qm::findEntries(top, "*", qm::EntryKind::File).size(), 2u);  // ".hidden" left out
    const qm::Listing l = qm::listFolder(top + "Mixed/");
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 3u);
    EXPECT_EQ(l.entries[0].name, "A.DTD");
    EXPECT_FALSE(qm::listFolder(top + "Nowhere").ok);
    qm::VolumeInfo info;
    ASSERT_TRUE(qm::GetVolumeInfo(top + "Mixed", info));
    EXPECT_NE(info.serial, 0u);
    EXPECT_EQ(qm::GetDriveTypeOfPath(top), qm::kDriveCdRom);

    qm::XmlDocument doc;
    doc.setAllowedRoot(top);
    EXPECT_TRUE(doc.load(top + "Mixed/Doc.XML")) << doc.parseError().reason;  // a.dtd found as A.DTD
    EXPECT_TRUE(doc.load(top + "Mixed/Up.xml")) << doc.parseError().reason;
    EXPECT_FALSE(doc.load(top + "Disk.xml"));
    EXPECT_TRUE(has(doc.parseError().reason, "許可されたフォルダの外")) << doc.parseError().reason;
    qm::XmlDocument below;
    below.setAllowedRoot(top + "Mixed/");
    EXPECT_FALSE(below.load(top + "Mixed/Up.xml"));
    EXPECT_TRUE(has(below.parseError().reason, "許可されたフォルダの外")) << below.parseError().reason;
    EXPECT_FALSE(below.load(top + "Disk.xml"));  // the document itself lies above the root

    // The report ends with a document about the image, after the clean run's page.
    std::vector<qm::MediumRecord> media(1);
    media[0].path = top;
    const auto docs = qm::reportDocuments(qm::RunSummary{}, media, top, "2026/01/01");
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(docs[1].title, "ディスクイメージ");
    EXPECT_EQ(docs[1].records[0].content, img.string());
}

// An image made again after it was opened (the tree corrected, imaged anew under the same
// name) is read again when it is given again, as the desktop does for its next check.
TEST_F(ImageMediaTest, AnImageMadeAgainIsReadAgain) {
    const fs::path tree = tmp.path() / "tree";
    writeBytes(tree / "OLD.TXT", "old");
    const fs::path img = image("AGAIN.iso", tree, "xorriso -as mkisofs -J");
    std::string top, problem;
    ASSERT_TRUE(qm::mountImage(img.string(), top, problem)) << problem;
    EXPECT_TRUE(qm::isPlainFile(top + "OLD.TXT"));

    fs::remove(tree / "OLD.TXT");
    writeBytes(tree / "NEW.TXT", "new");
    fs::remove(img);
    image("AGAIN.iso", tree, "xorriso -as mkisofs -J");
    fs::last_write_time(img, fs::last_write_time(img) + std::chrono::seconds(5));
    ASSERT_TRUE(qm::mountImage(img.string(), top, problem)) << problem;
    EXPECT_FALSE(qm::isPlainFile(top + "OLD.TXT"));
    EXPECT_TRUE(qm::isPlainFile(top + "NEW.TXT"));
}
