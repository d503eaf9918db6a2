// The Windows platform layer: wide-character names, long paths, attributes, volumes,
// folder identity, the log folder lock and the POSIX calls the engine makes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "checks/xmldoc.h"
#include "foundation/appstate.h"
#include "foundation/platform.h"
#include "foundation/text.h"
#include "foundation/win_paths.h"
#include "foundation/posix_win.h"

namespace {

using namespace qm;

// A fresh folder under the temporary folder, removed with everything in it.
class WinTemp {
public:
    WinTemp() {
        path_ = GetTempFolder() + "qm-win-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count_);
        CreateDirectoryW(systemPath(path_).c_str(), nullptr);
    }
    ~WinTemp() { removeAll(systemPath(path_)); }
    const std::string& path() const { return path_; }
    std::string at(const std::string& rel) const { return joinRel(path_, rel); }

private:
    static void removeAll(const std::wstring& w) {
        WIN32_FIND_DATAW fd{};
        HANDLE h = FindFirstFileW((w + L"\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring n = fd.cFileName;
                if (n == L"." || n == L"..") continue;
                const std::wstring child = w + L"\\" + n;
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) removeAll(child);
                else DeleteFileW(child.c_str());
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(w.c_str());
    }
    std::string path_;
    static inline int count_ = 0;
};

bool makeFolder(const std::string& path) { return CreateDirectoryW(systemPath(path).c_str(), nullptr) != 0; }

bool makeFile(const std::string& path, const std::string& bytes = "x") {
    HANDLE h = CreateFileW(systemPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return written == bytes.size();
}

// Names no ANSI code page holds (CJK Extension B, Hangul) and Japanese ones, in a path
// far longer than MAX_PATH: listed, looked up and read like any other.
TEST(WinPlatform, WideNamesAndLongPaths) {
    WinTemp t;
    const std::string odd = "\xF0\xA0\xAE\xB7\xE9\x87\x8E\xED\x95\x9C";  // 𠮷野한
    ASSERT_TRUE(makeFolder(t.at(odd)));
    std::string deep = t.at(odd);
    for (int i = 0; i < 16; ++i) {
        deep += "\\" + std::string(20, static_cast<char>('A' + i)) + "測量";
        ASSERT_TRUE(makeFolder(deep)) << i;
    }
    ASSERT_GT(deep.size(), 400u);
    ASSERT_TRUE(makeFile(deep + "\\INDEX_D.XML", "<a/>"));

    const Listing top = listFolder(t.path());
    ASSERT_TRUE(top.ok) << top.error;
    ASSERT_EQ(top.entries.size(), 1u);
    EXPECT_EQ(top.entries[0].name, odd);
    EXPECT_TRUE(top.entries[0].isDir);

    const Listing bottom = listFolder(deep);
    ASSERT_TRUE(bottom.ok) << bottom.error;
    ASSERT_EQ(bottom.entries.size(), 1u);
    EXPECT_TRUE(bottom.entries[0].isRegular);
    EXPECT_EQ(bottom.entries[0].size, 4u);
    EXPECT_GE(bottom.entries[0].modified.year, 2020);
    EXPECT_TRUE(isFolder(deep));
    EXPECT_TRUE(isPlainFile(deep + "\\INDEX_D.XML"));
    EXPECT_FALSE(isPlainFile(deep));

    // Letter case of ASCII is ignored in look-ups; the name comes back as held.
    const auto found = resolveRel(deep, "index_d.xml", EntryKind::File);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, deep + "\\INDEX_D.XML");
    EXPECT_FALSE(resolveRel(deep, "..\\INDEX_D.XML").has_value());

    // The engine's own reads (POSIX calls) reach the same file.
    const int fd = open((deep + "\\INDEX_D.XML").c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct stat st {};
    ASSERT_EQ(fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, 4);
    EXPECT_NE(st.st_ino, 0u);
    char buf[8] = {};
    EXPECT_EQ(read(fd, buf, sizeof buf), 4);
    close(fd);
    EXPECT_EQ(std::string(buf), "<a/>");
}

// Hidden and system files are so by their attributes; ordinary-file look-ups pass them by.
TEST(WinPlatform, HiddenAndSystemAttributes) {
    WinTemp t;
    ASSERT_TRUE(makeFile(t.at("PLAIN.TXT")));
    ASSERT_TRUE(makeFile(t.at("HIDDEN.TXT")));
    ASSERT_TRUE(makeFile(t.at("SYSTEM.TXT")));
    ASSERT_TRUE(SetFileAttributesW(systemPath(t.at("HIDDEN.TXT")).c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(systemPath(t.at("SYSTEM.TXT")).c_str(), FILE_ATTRIBUTE_SYSTEM));
    const Listing l = listFolder(t.path());
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.entries.size(), 3u);
    EXPECT_TRUE(l.entries[0].isHidden);   // HIDDEN.TXT
    EXPECT_FALSE(l.entries[1].isHidden);  // PLAIN.TXT
    EXPECT_TRUE(l.entries[2].isHidden);   // SYSTEM.TXT
    const auto files = findEntries(t.path(), "*.TXT", EntryKind::File);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "PLAIN.TXT");
}

// Drive letters, drive types and the volume serial number the system reports.
TEST(WinPlatform, DrivesAndVolumes) {
    WinTemp t;
    VolumeInfo info;
    ASSERT_TRUE(GetVolumeInfo(t.path(), info));
    const std::wstring root = systemPath(info.mountPoint);
    DWORD serial = 0;
    ASSERT_TRUE(GetVolumeInformationW(widen(info.mountPoint).c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(info.serial, serial);
    EXPECT_EQ(GetDriveTypeOfPath(t.path()), static_cast<int32_t>(GetDriveTypeW(widen(info.mountPoint).c_str())));

    const auto volumes = listPickableVolumes();
    bool sawC = false;
    for (const auto& v : volumes) {
        ASSERT_EQ(v.mountPoint.size(), 3u);
        EXPECT_EQ(v.mountPoint.substr(1), ":\\");
        if (v.mountPoint == "C:\\") {
            sawC = true;
            EXPECT_EQ(v.driveType, kDriveFixed);
        }
    }
    EXPECT_TRUE(sawC);
    EXPECT_EQ(GetDriveTypeOfPath("C:\\"), kDriveFixed);
}

// Folder identity: a place below (even one not made yet) lies within; a sibling does not.
TEST(WinPlatform, PathLiesWithin) {
    WinTemp t;
    ASSERT_TRUE(makeFolder(t.at("MEDIUM")));
    ASSERT_TRUE(makeFolder(t.at("MEDIUM\\SURVEY")));
    ASSERT_TRUE(makeFolder(t.at("LOGS")));
    EXPECT_TRUE(pathLiesWithin(t.at("MEDIUM"), t.at("MEDIUM")));
    EXPECT_TRUE(pathLiesWithin(t.at("medium\\survey"), t.at("MEDIUM")));
    EXPECT_TRUE(pathLiesWithin(t.at("MEDIUM\\SURVEY\\not\\yet"), t.at("MEDIUM")));
    EXPECT_TRUE(pathLiesWithin(t.at("MEDIUM/SURVEY"), t.path()));
    EXPECT_FALSE(pathLiesWithin(t.at("LOGS"), t.at("MEDIUM")));
    EXPECT_FALSE(pathLiesWithin(t.at("MEDIUM"), t.at("MEDIUM\\SURVEY")));
    EXPECT_FALSE(pathLiesWithin(t.at("MEDIUM"), t.at("MISSING")));
}

// A second run on the same log folder finds it taken; after the first ends it is free.
TEST(WinPlatform, LogFolderLock) {
    WinTemp t;
    LogFolderLock first, second;
    ASSERT_TRUE(first.acquire(t.path())) << first.problem();
    EXPECT_FALSE(second.acquire(t.path()));
    EXPECT_TRUE(second.takenByAnother());
    first.release();
    EXPECT_TRUE(second.acquire(t.path())) << second.problem();
}

// The system's CP932 converter: Japanese both ways, characters it has no code for as '?'.
TEST(WinPlatform, Cp932ThroughTheSystemConverter) {
    EXPECT_EQ(toCp932("\xE6\xB8\xAC\xE9\x87\x8F"), "\x91\xAA\x97\xCA");  // 測量
    EXPECT_EQ(fromCp932("\x91\xAA\x97\xCA"), "\xE6\xB8\xAC\xE9\x87\x8F");
    EXPECT_EQ(toCp932("a\xED\x95\x9C" "b"), "a?b");                      // Hangul
    EXPECT_EQ(fromCp932("\x81"), "\xEF\xBF\xBD");                         // a lead byte alone
    EXPECT_EQ(displayName("\x91\xAA\x97\xCA"), "\xE6\xB8\xAC\xE9\x87\x8F");
}

// Documents in the Japanese encodings: Shift_JIS by the program's own decoder, EUC-JP by
// the system's code page (libxml2 has no iconv here); ISO-2022-JP is refused.
TEST(WinPlatform, XmlInJapaneseEncodings) {
    WinTemp t;
    const std::string sjis = t.at("S.XML"), euc = t.at("E.XML"), jis = t.at("J.XML");
    ASSERT_TRUE(makeFile(sjis, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>\x91\xAA\x97\xCA</a>"));
    ASSERT_TRUE(makeFile(euc, "<?xml version=\"1.0\" encoding=\"EUC-JP\"?><a>\xC2\xAC\xCE\xCC</a>"));
    ASSERT_TRUE(makeFile(jis, "<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?><a>\x1B$BB,NL\x1B(B</a>"));
    XmlDocument doc;
    doc.setAllowedRoot(t.path());
    ASSERT_TRUE(doc.load(sjis)) << doc.parseError().reason;
    EXPECT_EQ(doc.documentElement().text(), "\xE6\xB8\xAC\xE9\x87\x8F");  // 測量
    ASSERT_TRUE(doc.load(euc)) << doc.parseError().reason;
    EXPECT_EQ(doc.documentElement().text(), "\xE6\xB8\xAC\xE9\x87\x8F");
    EXPECT_FALSE(doc.load(jis));
}

}  // namespace
