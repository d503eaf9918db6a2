#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/appstate.h"
#include "foundation/platform.h"
#include "foundation/text.h"

using namespace qm;
namespace fs = std::filesystem;

namespace {

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qm_plat_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_ / "locked", fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    void touch(const fs::path& p, const std::string& text = "x") { std::ofstream(p, std::ios::binary) << text; }
    std::string d() const { return dir_.string(); }
    fs::path dir_;
};

std::vector<std::string> names(const std::vector<DirEntry>& es) {
    std::vector<std::string> out;
    for (const auto& e : es) out.push_back(e.name);
    return out;
}

// Sets or clears an environment variable for the life of the object.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* v = std::getenv(name)) { had_ = true; old_ = v; }
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~EnvGuard() {
        if (had_) ::setenv(name_, old_.c_str(), 1);
        else ::unsetenv(name_);
    }
private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

}  // namespace

TEST(PlatformPaths, JoiningAndFolders) {
    EXPECT_EQ(nativeSeparator(), '/');
    EXPECT_EQ(withTrailingSeparator("/a"), "/a/");
    EXPECT_EQ(withTrailingSeparator("/a/"), "/a/");
    EXPECT_EQ(joinRel("/m/cd/", "SURVEY\\TISEKI\\DATA"), "/m/cd/SURVEY/TISEKI/DATA");
    EXPECT_EQ(joinRel("/m/cd", "INDEX_D.XML"), "/m/cd/INDEX_D.XML");
    EXPECT_EQ(joinRel("/m/cd/", "\\SURVEY"), "/m/cd/SURVEY");
    const std::string tmp = GetTempFolder();
    ASSERT_FALSE(tmp.empty());
    EXPECT_EQ(tmp.back(), '/');
    {
        EnvGuard g("TMPDIR", "/var/tmp");
        EXPECT_EQ(GetTempFolder(), "/var/tmp/");
    }
    const std::string pf = programFolder("ignored");
    ASSERT_FALSE(pf.empty());
    EXPECT_EQ(pf.back(), '/');
    EXPECT_TRUE(isFolder(pf));
    {
        EnvGuard g("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(currentUserConfigFolder(), "/cfg/quillmark/");
    }
    {
        EnvGuard g1("XDG_CONFIG_HOME", nullptr);
        EnvGuard g2("HOME", "/home/u");
        EXPECT_EQ(currentUserConfigFolder(), "/home/u/.config/quillmark/");
    }
}

TEST_F(PlatformTest, ListingOrderKindsAndLinks) {
    fs::create_directories(dir_ / "SURVEY");
    fs::create_directories(dir_ / "doc");
    touch(dir_ / "b.txt", "12345");
    touch(dir_ / "B.txt");
    touch(dir_ / "a.TXT");
    touch(dir_ / ".hidden");
    touch(dir_ / "_under");
    fs::create_directory_symlink(dir_ / "SURVEY", dir_ / "linkdir");
    fs::create_symlink(dir_ / "nowhere", dir_ / "dangling");
    const Listing l = listFolder(d());
    ASSERT_TRUE(l.ok);
    // Upper-cased order ("_" 0x5F sorts after the letters), ties by the name itself.
    EXPECT_EQ(names(l.entries), (std::vector<std::string>{".hidden", "a.TXT", "B.txt", "b.txt", "dangling", "doc",
                                                          "linkdir", "SURVEY", "_under"}));
    for (const auto& e : l.entries) {
        EXPECT_EQ(e.isHidden, e.name == ".hidden") << e.name;
        EXPECT_EQ(e.isDir, e.name == "SURVEY" || e.name == "doc") << e.name;
        EXPECT_EQ(e.isLink, e.name == "linkdir" || e.name == "dangling") << e.name;
        EXPECT_EQ(e.raw, e.name);
        if (e.name == "b.txt") EXPECT_EQ(e.size, 5u);
        EXPECT_GT(e.modified.year, 2000);
    }
}

TEST_F(PlatformTest, NamesThatAreNotUtf8) {
    touch(dir_ / std::string("\x92\x6E\x90\xD0.PDF"));  // CP932 bytes
    touch(dir_ / std::string("x\xFF"));
    const Listing l = listFolder(d());
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "x\uFFFD");
    EXPECT_EQ(l.entries[1].name, "地籍.PDF");
    EXPECT_EQ(l.entries[1].raw, "\x92\x6E\x90\xD0.PDF");
    const auto found = findEntries(d(), "*.pdf", EntryKind::File);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(isPlainFile(d() + "/" + found[0].raw));
}

TEST_F(PlatformTest, UnlistableFolders) {
    const Listing missing = listFolder(d() + "/missing");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.errorNumber, ENOENT);
    EXPECT_FALSE(missing.error.empty());
    touch(dir_ / "file");
    EXPECT_FALSE(listFolder(d() + "/file").ok);
    fs::create_directories(dir_ / "real");
    fs::create_directory_symlink(dir_ / "real", dir_ / "link");
    EXPECT_FALSE(listFolder(d() + "/link").ok);  // a link is not entered...
    EXPECT_TRUE(listFolder(d() + "/link/").ok);  // ...unless named as a folder (a chosen top)
    if (::geteuid() != 0) {
        fs::create_directories(dir_ / "locked");
        fs::permissions(dir_ / "locked", fs::perms::none);
        const Listing locked = listFolder(d() + "/locked");
        EXPECT_FALSE(locked.ok);
        EXPECT_EQ(locked.errorNumber, EACCES);
        EXPECT_TRUE(findEntries(d() + "/locked", "*", EntryKind::Any).empty());
    }
}

TEST_F(PlatformTest, FindEntriesByPatternAndKind) {
    fs::create_directories(dir_ / "cproc_1");
    fs::create_directories(dir_ / "CPROC_2");
    touch(dir_ / "CPROC_3");
    touch(dir_ / "tind_d01.dtd");
    touch(dir_ / ".TIND_D02.DTD");
    fs::create_symlink(dir_ / "tind_d01.dtd", dir_ / "TIND_D03.DTD");
    EXPECT_EQ(names(findEntries(d(), "CPROC_?", EntryKind::Folder)), (std::vector<std::string>{"cproc_1", "CPROC_2"}));
    EXPECT_EQ(names(findEntries(d(), "CPROC_?", EntryKind::File)), (std::vector<std::string>{"CPROC_3"}));
    EXPECT_EQ(names(findEntries(d(), "CPROC_?", EntryKind::Any)),
              (std::vector<std::string>{"cproc_1", "CPROC_2", "CPROC_3"}));
    // Hidden names are left out of file look-ups; a link is a file, never a folder.
    EXPECT_EQ(names(findEntries(d(), "TIND_D??.DTD", EntryKind::File)),
              (std::vector<std::string>{"tind_d01.dtd", "TIND_D03.DTD"}));
    EXPECT_EQ(names(findEntries(d(), "*TIND_D??.DTD", EntryKind::Any)),
              (std::vector<std::string>{".TIND_D02.DTD", "tind_d01.dtd", "TIND_D03.DTD"}));
    EXPECT_TRUE(findEntries(d() + "/missing", "*", EntryKind::Any).empty());
}

TEST_F(PlatformTest, ResolveRelIgnoresCasePrefersExactAndNeverFollowsLinks) {
    fs::create_directories(dir_ / "survey" / "Tiseki");
    touch(dir_ / "survey" / "Tiseki" / "surv_tsk.xml");
    touch(dir_ / "INDEX_D.XML");
    touch(dir_ / "index_d.xml");
    auto r = resolveRel(d(), "SURVEY\\TISEKI\\SURV_TSK.XML", EntryKind::File);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, d() + "/survey/Tiseki/surv_tsk.xml");
    EXPECT_EQ(resolveRel(d(), "index_d.xml").value_or(""), d() + "/index_d.xml");
    EXPECT_EQ(resolveRel(d(), "INDEX_D.XML").value_or(""), d() + "/INDEX_D.XML");
    EXPECT_EQ(resolveRel(d(), "Index_D.xml").value_or(""), d() + "/INDEX_D.XML");
    EXPECT_FALSE(resolveRel(d(), "SURVEY\\TISEKI\\SURV_TSK.XML", EntryKind::Folder));
    EXPECT_TRUE(resolveRel(d(), "SURVEY\\TISEKI", EntryKind::Folder));
    EXPECT_FALSE(resolveRel(d(), "SURVEY\\MISSING"));
    EXPECT_FALSE(resolveRel(d(), "INDEX_D.XML\\X"));
    fs::create_directory_symlink(dir_ / "survey", dir_ / "LINKED");
    EXPECT_FALSE(resolveRel(d(), "LINKED\\TISEKI"));
    EXPECT_TRUE(resolveRel(d(), "linked", EntryKind::File));  // the link itself, as a file
    EXPECT_EQ(resolveRel(d(), "", EntryKind::Folder).value_or(""), d());
    EXPECT_FALSE(resolveRel(d() + "/survey", "..\\INDEX_D.XML"));  // never above top
    EXPECT_FALSE(resolveRel(d(), "SURVEY\\.\\TISEKI"));
}

TEST_F(PlatformTest, PlainFileFolderAndDates) {
    touch(dir_ / "f");
    fs::create_symlink(dir_ / "f", dir_ / "lf");
    fs::create_directory_symlink(dir_, dir_ / "ld");
    EXPECT_TRUE(isPlainFile(d() + "/f"));
    EXPECT_FALSE(isPlainFile(d() + "/lf"));
    EXPECT_FALSE(isFolder(d() + "/ld"));
    EXPECT_TRUE(isFolder(d()));
    EXPECT_FALSE(isFolder(d() + "/f"));
    EXPECT_FALSE(isPlainFile(d() + "/missing"));
    const auto date = modifiedDate(d() + "/f");
    ASSERT_TRUE(date);
    const time_t now = time(nullptr);
    struct tm t {};
    localtime_r(&now, &t);
    EXPECT_EQ(date->ymd(), (t.tm_year + 1900) * 10000 + (t.tm_mon + 1) * 100 + t.tm_mday);
    EXPECT_FALSE(modifiedDate(d() + "/missing"));
}

TEST_F(PlatformTest, DriveTypeAndVolume) {
    const int32_t t = GetDriveTypeOfPath(d());
    EXPECT_TRUE(t == kDriveFixed || t == kDriveRemote || t == kDriveCdRom) << t;
    EXPECT_EQ(GetDriveTypeOfPath(""), kDriveUnknown);
    VolumeInfo a, b;
    ASSERT_TRUE(GetVolumeInfo(d(), a));
    ASSERT_TRUE(GetVolumeInfo(d() + "/", b));
    EXPECT_NE(a.serial, 0u);
    EXPECT_EQ(a.serial, b.serial);  // stable
    EXPECT_FALSE(a.fileSystem.empty());
    EXPECT_FALSE(a.mountPoint.empty());
    VolumeInfo proc;
    ASSERT_TRUE(GetVolumeInfo("/proc", proc));
    EXPECT_EQ(proc.fileSystem, "proc");
    VolumeInfo none;
    EXPECT_FALSE(GetVolumeInfo("", none));
    EXPECT_EQ(none.serial, 0u);
}

// ---- Program-wide state ---------------------------------------------------------

TEST_F(PlatformTest, StartUpFolders) {
    EnvGuard rt("XDG_RUNTIME_DIR", nullptr);
    EnvGuard tmp("TMPDIR", d().c_str());
    AppState s;
    s.startUp("/opt/qm");
    EXPECT_EQ(s.appPath, "/opt/qm/");
    EXPECT_EQ(s.settingPath, "/opt/qm/Setting/");
    EXPECT_EQ(s.helpFile(), "/opt/qm/Quillmark.chm");
    EXPECT_EQ(s.logPath, d() + "/quillmark-" + std::to_string(::geteuid()) + "/quillmark_log/");
    EXPECT_TRUE(s.logFolderProblem.empty());
    EXPECT_EQ(s.dateS[0], "1900");
    EXPECT_EQ(s.dateS[1], "1");
    const time_t now = time(nullptr);
    struct tm t {};
    localtime_r(&now, &t);
    EXPECT_EQ(s.dateE[0], std::to_string(t.tm_year + 1900));
    EXPECT_EQ(s.dateE[1], std::to_string(t.tm_mon + 1));
    EXPECT_EQ(s.dateE[2], std::to_string(t.tm_mday));
    struct stat st {};
    ASSERT_EQ(::lstat(s.logPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::lstat((d() + "/quillmark-" + std::to_string(::geteuid())).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    AppState root;
    root.startUp("/");
    EXPECT_EQ(root.appPath, "/");
    EXPECT_EQ(root.settingPath, "/Setting/");
}

TEST_F(PlatformTest, RuntimeFolderPreferred) {
    fs::create_directories(dir_ / "run");
    fs::permissions(dir_ / "run", fs::perms::owner_all);
    EnvGuard rt("XDG_RUNTIME_DIR", (d() + "/run").c_str());
    AppState s;
    EXPECT_TRUE(s.establishLogFolder());
    EXPECT_EQ(s.logPath, d() + "/run/quillmark_log/");
}

TEST_F(PlatformTest, LogFolderSafety) {
    fs::create_directories(dir_ / "elsewhere");
    fs::create_directory_symlink(dir_ / "elsewhere", dir_ / "linked");
    AppState s;
    EXPECT_FALSE(s.useLogFolder(d() + "/linked"));
    EXPECT_TRUE(s.logPath.empty());
    EXPECT_FALSE(s.logFolderProblem.empty());
    touch(dir_ / "plain");
    EXPECT_FALSE(s.useLogFolder(d() + "/plain"));
    EXPECT_TRUE(s.logPath.empty());
    // A folder the user named keeps its mode; one we create is private.
    fs::create_directories(dir_ / "open");
    fs::permissions(dir_ / "open", fs::perms::all);
    EXPECT_TRUE(s.useLogFolder(d() + "/open/"));
    EXPECT_EQ(s.logPath, d() + "/open/");
    EXPECT_FALSE(s.logFolderIsOwn);
    EXPECT_TRUE(s.logFolderProblem.empty());
    struct stat st {};
    ASSERT_EQ(::lstat((d() + "/open").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u);
    EXPECT_TRUE(s.useLogFolder(d() + "/new/deeper"));
    EXPECT_TRUE(isFolder(d() + "/new/deeper"));
    ASSERT_EQ(::lstat((d() + "/new/deeper").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);

    // The program's own folder is closed to others even when it was left open.
    {
        EnvGuard rt("XDG_RUNTIME_DIR", nullptr);
        EnvGuard tmp("TMPDIR", (d() + "/own").c_str());
        const fs::path own = dir_ / "own" / ("quillmark-" + std::to_string(::geteuid())) / "quillmark_log";
        fs::create_directories(own);
        fs::permissions(own, fs::perms::all);
        AppState o;
        ASSERT_TRUE(o.establishLogFolder()) << o.logFolderProblem;
        EXPECT_TRUE(o.logFolderIsOwn);
        ASSERT_EQ(::lstat(own.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }

    // The per-user parent under the temporary folder is checked as well.
    EnvGuard rt("XDG_RUNTIME_DIR", nullptr);
    EnvGuard tmp("TMPDIR", d().c_str());
    fs::create_directory_symlink(dir_ / "elsewhere", dir_ / ("quillmark-" + std::to_string(::geteuid())));
    AppState t;
    EXPECT_FALSE(t.establishLogFolder());
    EXPECT_TRUE(t.logPath.empty());
    EXPECT_FALSE(t.logFolderProblem.empty());
    EXPECT_FALSE(fs::exists(dir_ / "elsewhere" / "quillmark_log"));
}

TEST_F(PlatformTest, DeleteLogsTouchesOnlyLogFiles) {
    AppState s;
    ASSERT_TRUE(s.useLogFolder(d() + "/logs"));
    const fs::path logs = dir_ / "logs";
    touch(logs / "FolderCheck_001.log");
    touch(logs / "FolderCheck_000.Log");
    touch(logs / "JOBFILECHECK_IND_001.LOG");
    touch(logs / "keep.txt");
    touch(logs / "keep.log.bak");
    fs::create_directories(logs / "dir.log");
    touch(dir_ / "outside.log");
    fs::create_symlink(dir_ / "outside.log", logs / "link.log");
    s.deleteLogs();
    EXPECT_FALSE(fs::exists(logs / "FolderCheck_001.log"));
    EXPECT_FALSE(fs::exists(logs / "FolderCheck_000.Log"));
    EXPECT_FALSE(fs::exists(logs / "JOBFILECHECK_IND_001.LOG"));
    EXPECT_TRUE(fs::exists(logs / "keep.txt"));
    EXPECT_TRUE(fs::exists(logs / "keep.log.bak"));
    EXPECT_TRUE(fs::is_directory(logs / "dir.log"));
    EXPECT_TRUE(fs::is_symlink(logs / "link.log"));
    EXPECT_TRUE(fs::exists(dir_ / "outside.log"));
    AppState empty;
    empty.deleteLogs();  // no log folder: nothing happens
}
