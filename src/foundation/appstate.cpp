// Program-wide state: folders, log folder and dates.
#include "foundation/appstate.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "foundation/platform.h"
#include "foundation/text.h"

namespace qm {

namespace {

std::string withoutTrailingSeparators(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

// Makes sure dir is a private folder of this user: created with mode 0700 when missing;
// refused when it is a symbolic link, not a folder, or owned by someone else. An own
// folder that others may enter is closed to them. Answers an empty text, or why not.
std::string securePrivateFolder(const std::string& dirIn, bool tightenMode) {
    const std::string dir = withoutTrailingSeparators(dirIn);
    if (dir.empty()) return "ログフォルダの場所が空です。";
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT) return "ログフォルダを確認できません: " + dir + " (" + std::strerror(errno) + ")";
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            return "ログフォルダを作成できません: " + dir + " (" + std::strerror(errno) + ")";
        if (::lstat(dir.c_str(), &st) != 0)
            return "ログフォルダを確認できません: " + dir + " (" + std::strerror(errno) + ")";
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
            return "ログフォルダのアクセス権を設定できません: " + dir + " (" + std::strerror(err) + ")";
        }
        ::close(fd);
    }
    if (::access(dir.c_str(), R_OK | W_OK | X_OK) != 0)
        return "ログフォルダに書き込めません: " + dir + " (" + std::strerror(errno) + ")";
    return {};
}

}  // namespace

void AppState::startUp(const std::string& programFolder) {
    appPath = withTrailingSeparator(programFolder);
    settingPath = appPath + "Setting/";
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
            if (useLogFolder(base + "/quillmark_log")) return true;
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
    return useLogFolder(userBase + "/quillmark_log");
}

bool AppState::useLogFolder(const std::string& dir) {
    logPath.clear();
    const std::string d = withoutTrailingSeparators(dir);
    // Missing parents are created as well, privately.
    for (size_t pos = d.find('/', 1); pos != std::string::npos; pos = d.find('/', pos + 1)) {
        const std::string parent = d.substr(0, pos);
        struct stat st {};
        if (::lstat(parent.c_str(), &st) != 0 && errno == ENOENT) ::mkdir(parent.c_str(), 0700);
    }
    if (std::string why = securePrivateFolder(d, true); !why.empty()) {
        logFolderProblem = why;
        return false;
    }
    logPath = withTrailingSeparator(d);
    logFolderProblem.clear();
    return true;
}

void AppState::deleteLogs() const {
    if (logPath.empty()) return;
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
        if (LikeMatchNoCase(name, "*.log")) doomed.emplace_back(de->d_name);
    }
    for (const auto& n : doomed) ::unlinkat(dfd, n.c_str(), 0);
    ::closedir(d);
}

}  // namespace qm
