// Program-wide state: folders, log folder and dates.
#include "foundation/appstate.h"
#include "foundation/fspath.h"

#include "foundation/imagemount.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <cstdlib>
#include <ctime>

#include "foundation/messages.h"
#include "foundation/platform.h"
#include "foundation/text.h"

#ifdef _WIN32
#include <windows.h>

#include "foundation/posix_win.h"
#include "foundation/win_paths.h"
#endif

namespace qm {

namespace {

#ifdef _WIN32
using dev_t = uint64_t;  // volume serial number
using ino_t = uint64_t;  // file index
#endif

std::string withoutTrailingSeparators(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

// Makes sure dir is a folder of this user that the logs may go to: created with mode 0700
// when missing; refused when it is a symbolic link, not a folder, or owned by someone
// else. With tightenMode an own folder that others may enter is closed to them (only for
// the program's own folders). Answers an empty text, or why not.
std::string securePrivateFolder(const std::string& dirIn, bool tightenMode) {
    const std::string dir = withoutTrailingSeparators(dirIn);
    if (dir.empty()) return "ログフォルダの場所が空です。";
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT) return systemErrorMessage("ログフォルダを確認できません", dir, errno);
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            return systemErrorMessage("ログフォルダを作成できません", dir, errno);
        if (::lstat(dir.c_str(), &st) != 0) return systemErrorMessage("ログフォルダを確認できません", dir, errno);
    }
    if (S_ISLNK(st.st_mode)) return "ログフォルダがシンボリックリンクのため使用できません: " + dir;
    if (!S_ISDIR(st.st_mode)) return "ログフォルダの場所がフォルダではありません: " + dir;
    if (st.st_uid != ::geteuid()) return "ログフォルダの所有者が別のユーザーのため使用できません: " + dir;
    if (tightenMode && (st.st_mode & 0077) != 0) {
        // Open without following links, then check that it is still the same folder.
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat fst {};
        if (fd < 0 || ::fstat(fd, &fst) != 0 || fst.st_ino != st.st_ino || fst.st_dev != st.st_dev ||
            ::fchmod(fd, 0700) != 0) {
            const int err = errno;
            if (fd >= 0) ::close(fd);
            return systemErrorMessage("ログフォルダのアクセス権を設定できません", dir, err);
        }
        ::close(fd);
    }
    if (::access(dir.c_str(), R_OK | W_OK | X_OK) != 0)
        return systemErrorMessage("ログフォルダに書き込めません", dir, errno);
    return {};
}

}  // namespace

bool isRunLogName(const std::string& name) {
    static const char* const kPatterns[] = {"FolderCheck_###.log", "JobFileCheck_IND_###.log",
                                            "JobFileCheck_SUV_###.log", "JobFileCheck_TSK_###.log"};
    for (const char* p : kPatterns)
        if (name.size() == std::string_view(p).size() && LikeMatchNoCase(name, p)) return true;
    return false;
}

std::string logFolderOverlap(const std::string& logFolder, const std::string& medium) {
    // A disc image is a file: logs beside it leave it alone, unless it bears a name that
    // the clearing of a log folder removes.
    if (const std::string image = imageFileOf(medium); !image.empty()) {
        const std::filesystem::path file = std::filesystem::absolute(fsPath(image)).lexically_normal();
        const std::string name = file.filename().string();
        const std::string parent = file.parent_path().string();
        if (!pathLiesWithin(parent, logFolder) || !pathLiesWithin(logFolder, parent) ||
            !(isRunLogName(name) || LikeMatchNoCase(name, "*.log")))
            return {};
        return "ログフォルダの中に成果メディアがあります: " + withoutTrailingSeparators(logFolder) + "（成果: " +
               withoutTrailingSeparators(medium) + "）";
    }
    if (pathLiesWithin(logFolder, medium)) {
        if (pathLiesWithin(medium, logFolder))
            return "ログフォルダに成果メディアのフォルダは使用できません: " + withoutTrailingSeparators(logFolder);
        return "ログフォルダが成果メディアの中にあります: " + withoutTrailingSeparators(logFolder) + "（成果: " +
               withoutTrailingSeparators(medium) + "）";
    }
    if (pathLiesWithin(medium, logFolder))
        return "ログフォルダの中に成果メディアがあります: " + withoutTrailingSeparators(logFolder) + "（成果: " +
               withoutTrailingSeparators(medium) + "）";
    return {};
}

bool LogFolderLock::acquire(const std::string& folder) {
    release();
    taken_ = false;
    problem_.clear();
    const std::string dir = withoutTrailingSeparators(folder);
#ifdef _WIN32
    // A folder cannot be locked on Windows: a hidden lock file inside it, opened for this
    // run alone and gone when closed, stands for the lock.
    HANDLE h = CreateFileW(systemPath(dir + "\\quillmark.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION) {
            taken_ = true;
            problem_ = "ログフォルダは他のチェックが使用中です: " + dir;
        } else {
            problem_ = systemErrorMessage("ログフォルダを開けません", dir, errnoOfWin32(code));
        }
        return false;
    }
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), 0);
    if (fd_ < 0) CloseHandle(h);
    return true;
#else
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        problem_ = systemErrorMessage("ログフォルダを開けません", dir, errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK || err == EINTR) {
            ::close(fd);
            taken_ = true;
            problem_ = "ログフォルダは他のチェックが使用中です: " + dir;
            return false;
        }
        // ENOLCK, EINVAL...: this file system keeps no locks; the folder is used as it is.
    }
    fd_ = fd;
    return true;
#endif
}

void LogFolderLock::release() {
    if (fd_ >= 0) ::close(fd_);  // closing the last descriptor drops the lock
    fd_ = -1;
}

void AppState::startUp(const std::string& programFolder) {
    appPath = withTrailingSeparator(programFolder);
    settingPath = withTrailingSeparator(appPath + "Setting");
    establishLogFolder();
    lastPath.clear();
    stop = false;
    checkDate = 0;
    dateS[0] = "1900";
    dateS[1] = "1";
    dateS[2] = "1";
    const time_t now = std::time(nullptr);
    struct tm tmv {};
    localtime_r(&now, &tmv);
    dateE[0] = std::to_string(tmv.tm_year + 1900);
    dateE[1] = std::to_string(tmv.tm_mon + 1);
    dateE[2] = std::to_string(tmv.tm_mday);
}

bool AppState::establishLogFolder() {
    logPath.clear();
    // The runtime folder of the session is private to the user already.
    if (const char* rt = std::getenv("XDG_RUNTIME_DIR"); rt && rt[0] == '/') {
        struct stat st {};
        const std::string base = withoutTrailingSeparators(rt);
        if (::lstat(base.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
            (st.st_mode & 0077) == 0 && ::access(base.c_str(), W_OK | X_OK) == 0) {
            if (openLogFolder(base + "/quillmark_log", true)) return true;
        }
    }
    const std::string temp = GetTempFolder();
    if (temp.empty()) {
        logFolderProblem = "一時フォルダが見つからないため、ログフォルダを作成できません。";
        return false;
    }
    // A per-user folder under the shared temporary folder.
    const std::string userBase = temp + "quillmark-" + std::to_string(::geteuid());
    if (std::string why = securePrivateFolder(userBase, true); !why.empty()) {
        logFolderProblem = why;
        return false;
    }
    return openLogFolder(joinRel(userBase, "quillmark_log"), true);
}

bool AppState::useLogFolder(const std::string& dir) { return openLogFolder(dir, false); }

bool AppState::openLogFolder(const std::string& dir, bool own) {
    logPath.clear();
    logFolderIsOwn = false;
    const std::string d = withoutTrailingSeparators(dir);
    // Missing parents are created as well, privately.
    for (size_t pos = d.find('/', 1); pos != std::string::npos; pos = d.find('/', pos + 1)) {
        const std::string parent = d.substr(0, pos);
        struct stat st {};
        if (::lstat(parent.c_str(), &st) != 0 && errno == ENOENT) ::mkdir(parent.c_str(), 0700);
    }
    struct stat st {};
    const bool existed = ::lstat(d.c_str(), &st) == 0;
    if (std::string why = securePrivateFolder(d, own || !existed); !why.empty()) {
        logFolderProblem = why;
        return false;
    }
    logPath = withTrailingSeparator(d);
    logFolderIsOwn = own;
    logFolderProblem.clear();
    return true;
}

void AppState::deleteLogs() const {
    if (logPath.empty()) return;
#ifdef _WIN32
    const Listing listing = listFolder(logPath);
    for (const DirEntry& e : listing.entries) {
        if (!e.isRegular) continue;
        if (logFolderIsOwn ? LikeMatchNoCase(e.name, "*.log") : isRunLogName(e.name))
            DeleteFileW(systemPath(joinRel(logPath, e.raw)).c_str());
    }
#else
    const int dfd = ::open(logPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dfd < 0) return;
    DIR* d = ::fdopendir(dfd);
    if (!d) {
        ::close(dfd);
        return;
    }
    std::vector<std::string> doomed;
    while (dirent* de = ::readdir(d)) {
        struct stat st {};
        if (::fstatat(dfd, de->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        const std::string name = displayName(de->d_name);
        if (logFolderIsOwn ? LikeMatchNoCase(name, "*.log") : isRunLogName(name)) doomed.emplace_back(de->d_name);
    }
    for (const auto& n : doomed) ::unlinkat(dfd, n.c_str(), 0);
    ::closedir(d);
#endif
}

}  // namespace qm
