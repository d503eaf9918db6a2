// Shared helpers of the folder structure checker tests: small deliveries built in a
// temporary folder, CP932 setting tables, and the log read back as text lines.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "checks/foldercheck.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

namespace fctest {

namespace fs = std::filesystem;

// A new empty folder in the temporary folder, or in base when given.
inline fs::path uniqueTempFolder(const fs::path& base = fs::path()) {
    static std::atomic<int> counter{0};
    // A name no earlier run left behind (wine gives the same process ids run after run).
    for (;;) {
        fs::path p = (base.empty() ? fs::temp_directory_path() : base) /
                     ("qm_fc_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        if (fs::create_directories(p)) return p;
    }
}

// An empty file, with its parent folders.
inline void touch(const fs::path& p) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).flush();
}

// Where folders are made fastest: the memory file system when there is one (thousands
// of nested folders take seconds on some disk file systems), else the temporary folder.
inline fs::path fastTempFolder() {
#ifdef _WIN32
    return uniqueTempFolder();
#endif
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0) return uniqueTempFolder("/dev/shm");
    return uniqueTempFolder();
}

inline void mkdirs(const fs::path& p) { fs::create_directories(p); }

// Sets the modification time of an entry (a link itself, not its target) to noon local time.
inline void setDate(const fs::path& p, int y, int m, int d) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
#ifdef _WIN32
    // Folders too (backup semantics); the file time counts 100 ns from 1601.
    const HANDLE h = CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << p;
    const uint64_t ticks = (static_cast<uint64_t>(t) + 11644473600ULL) * 10000000ULL;
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const BOOL set = SetFileTime(h, nullptr, &ft, &ft);
    CloseHandle(h);
    ASSERT_TRUE(set) << p;
#else
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = t;
    ts[0].tv_nsec = ts[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0) << p;
#endif
}

// A symbolic link, where the system lets the test make one (Windows asks for a privilege).
inline bool makeLink(const fs::path& target, const fs::path& link, bool folder = false) {
    std::error_code ec;
    if (folder)
        fs::create_directory_symlink(target, link, ec);
    else
        fs::create_symlink(target, link, ec);
    return !ec;
}

// Every entry below (not including) the folder gets the date.
inline void setDateAll(const fs::path& top, int y, int m, int d) {
    for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it)
        setDate(it->path(), y, m, d);
}

// A CP932 text file with CR LF line ends.
inline void writeTable(const fs::path& p, const std::vector<std::string>& lines) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    for (const std::string& l : lines) out << qm::toCp932(l) << "\r\n";
}

// The lines of a CP932 log, decoded, without their CR LF. Empty when there is no file.
inline std::vector<std::string> readLog(const fs::path& p) {
    std::vector<std::string> lines;
    std::ifstream in(p, std::ios::binary);
    if (!in) return lines;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find("\r\n", pos);
        if (end == std::string::npos) {
            ADD_FAILURE() << "log line without CR LF in " << p;
            end = bytes.size();
        }
        lines.push_back(qm::fromCp932(bytes.substr(pos, end - pos)));
        pos = end + 2;
    }
    return lines;
}

// The standard structure tables: WORK, DATA, OTHRS and DOC patterns of the C and PA
// processes (and a row outside the four areas, which is ignored).
inline std::vector<std::string> standardFileInfo() {
    return {
        ";パス,説明",
        "SURVEY\\TISEKI\\WORK\\CPROC_#\\T[C-D]#A####.XML,地籍測量記録",
        "SURVEY\\TISEKI\\WORK\\CPROC_#\\TC#A####.PDF,地籍測量記録(PDF)",
        "SURVEY\\TISEKI\\WORK\\PAPROC_#\\PA#A####.*,記録",
        " SURVEY\\TISEKI\\DATA\\CPROC_#\\TC#B####.* ,地籍測量成果",
        "SURVEY\\TISEKI\\DATA\\PAPROC_#\\PA#B####.*,成果",
        "SURVEY\\TISEKI\\DATA\\HPROC_#\\TH#B####.*,成果",
        "SURVEY\\TISEKI\\OTHRS\\OTHRS###.*,その他",
        "SURVEY\\DOC\\DOCUM###.PDF,説明書",
        "INDEX_D.XML,業務管理ファイル",
    };
}

class FolderCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = uniqueTempFolder();
        setting = root / "Setting";
        mkdirs(setting);
        writeTable(setting / "FileInfo_C.txt", standardFileInfo());
        writeTable(setting / "FileInfo_S.txt", standardFileInfo());
        medium = root / "m1";
        mkdirs(medium);
        logs = root / "log";
        mkdirs(logs);
        previous = qm::setMessageSink(&sink);
    }
    void TearDown() override {
        qm::setMessageSink(previous);
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    std::string settingDir() const { return setting.string() + "/"; }
    std::string mediumDir() const { return qm::withTrailingSeparator(medium.string()); }
    std::string comment() const { return ";チェックパス " + mediumDir(); }

    // A delivery without any finding: management files, DTDs, one C sub-folder each in
    // WORK and DATA.
    void buildComplete(const fs::path& m) {
        touch(m / "INDEX_D.XML");
        touch(m / "TIND_D02.DTD");
        touch(m / "SURVEY" / "SURVEY.XML");
        touch(m / "SURVEY" / "TSUR_D02.DTD");
        touch(m / "SURVEY" / "TISEKI" / "SURV_TSK.XML");
        touch(m / "SURVEY" / "TISEKI" / "TISK_D02.DTD");
        touch(m / "SURVEY" / "TISEKI" / "WORK" / "CPROC_1" / "TC1A0001.XML");
        touch(m / "SURVEY" / "TISEKI" / "DATA" / "CPROC_1" / "TC1B0001.XML");
    }

    // Selection flags in the run's order C, D, E, F1, F2, G, PA, PB, PC, PD, PE, PF, FR, H.
    static std::vector<uint8_t> select(std::initializer_list<const char*> codes) {
        static const char* const order[14] = {"C", "D", "E", "F1", "F2", "G", "PA", "PB",
                                              "PC", "PD", "PE", "PF", "FR", "H"};
        std::vector<uint8_t> flags(14, 0);
        for (const char* c : codes)
            for (int k = 0; k < 14; ++k)
                if (std::string(order[k]) == c) flags[k] = 1;
        return flags;
    }

    qm::CFolderCheck makeChecker(int16_t type, std::initializer_list<const char*> codes) {
        qm::CFolderCheck check(settingDir());
        const std::vector<uint8_t> flags = select(codes);
        check.setCheckCondition(type, flags.data(), 0, 0, 0, 0, 0, 0);
        return check;
    }

    fs::path root, setting, medium, logs;
    qm::RecordingMessageSink sink;
    qm::MessageSink* previous = nullptr;
};

// A finding line as the log holds it (no field here needs quoting unless said).
inline std::string line(int code, const std::string& path, const std::string& message) {
    return std::to_string(code) + "," + path + "," + message + ",";
}

}  // namespace fctest
