// POSIX file calls on the wide-character API; see posix_win.h.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/win_paths.h"
#include "foundation/posix_win.h"

namespace {

struct timespec timespecOf(const LARGE_INTEGER& t) {
    // 100 ns units since 1601 to seconds since 1970
    const int64_t units = t.QuadPart - 116444736000000000LL;
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(units / 10000000);
    ts.tv_nsec = static_cast<long>((units % 10000000) * 100);
    return ts;
}

int fillFromHandle(HANDLE h, struct qm_stat* st) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandle(h, &info) || !GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
        errno = qm::errnoOfWin32(GetLastError());
        return -1;
    }
    { struct qm_stat blank; *st = blank; }
    st->st_dev = info.dwVolumeSerialNumber;
    st->st_ino = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    st->st_nlink = info.nNumberOfLinks;
    st->st_size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    const DWORD a = info.dwFileAttributes;
    unsigned kind = S_IFREG;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) kind = S_IFLNK;
    else if (a & FILE_ATTRIBUTE_DIRECTORY) kind = S_IFDIR;
    else if (GetFileType(h) == FILE_TYPE_CHAR) kind = S_IFCHR;
    st->st_mode = kind | ((a & FILE_ATTRIBUTE_READONLY) ? 0500 : 0700);
    st->st_atim = timespecOf(basic.LastAccessTime);
    st->st_mtim = timespecOf(basic.LastWriteTime);
    st->st_ctim = timespecOf(basic.ChangeTime);
    return 0;
}

HANDLE openHandle(const char* path, DWORD access, DWORD disposition, bool followLinks) {
    const std::wstring w = qm::systemPath(path ? path : "");
    if (w.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(w.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                       FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

}  // namespace

int qm_stat_path(const char* path, struct qm_stat* st, bool followLinks) {
    HANDLE h = openHandle(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, followLinks);
    if (h == INVALID_HANDLE_VALUE) {
        errno = qm::errnoOfWin32(GetLastError());
        return -1;
    }
    const int r = fillFromHandle(h, st);
    CloseHandle(h);
    return r;
}

int qm_fstat(int fd, struct qm_stat* st) {
    const intptr_t h = _get_osfhandle(fd);
    if (h == -1) {
        errno = EBADF;
        return -1;
    }
    return fillFromHandle(reinterpret_cast<HANDLE>(h), st);
}

int qm_open(const char* path, int flags, int) {
    DWORD access = 0;
    switch (flags & (_O_RDONLY | _O_WRONLY | _O_RDWR)) {
        case _O_WRONLY: access = GENERIC_WRITE; break;
        case _O_RDWR: access = GENERIC_READ | GENERIC_WRITE; break;
        default: access = GENERIC_READ; break;
    }
    if (flags & _O_APPEND) access = (access & ~GENERIC_WRITE) | FILE_APPEND_DATA;
    DWORD disposition = OPEN_EXISTING;
    if ((flags & _O_CREAT) && (flags & _O_EXCL)) disposition = CREATE_NEW;
    else if ((flags & _O_CREAT) && (flags & _O_TRUNC)) disposition = CREATE_ALWAYS;
    else if (flags & _O_CREAT) disposition = OPEN_ALWAYS;
    else if (flags & _O_TRUNC) disposition = TRUNCATE_EXISTING;
    const bool noFollow = (flags & O_NOFOLLOW) != 0;
    HANDLE h = openHandle(path, access | FILE_READ_ATTRIBUTES, disposition, !noFollow);
    if (h == INVALID_HANDLE_VALUE) {
        errno = qm::errnoOfWin32(GetLastError());
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info)) {
        const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        int err = 0;
        if (noFollow && link) err = ELOOP;
        else if ((flags & O_DIRECTORY) && !folder) err = ENOTDIR;
        else if (!(flags & O_DIRECTORY) && folder && access != GENERIC_READ) err = EISDIR;
        if (err != 0) {
            CloseHandle(h);
            errno = err;
            return -1;
        }
    }
    int crtFlags = _O_BINARY | _O_NOINHERIT;
    if (flags & _O_APPEND) crtFlags |= _O_APPEND;
    if ((flags & (_O_RDONLY | _O_WRONLY | _O_RDWR)) == _O_RDONLY) crtFlags |= _O_RDONLY;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), crtFlags);
    if (fd < 0) {
        CloseHandle(h);
        errno = EMFILE;
    }
    return fd;
}

int qm_access(const char* path, int mode) {
    const DWORD a = GetFileAttributesW(qm::systemPath(path ? path : "").c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
        errno = qm::errnoOfWin32(GetLastError());
        return -1;
    }
    if ((mode & W_OK) && (a & FILE_ATTRIBUTE_READONLY) && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

char* qm_realpath(const char* path, char* resolved) {
    HANDLE h = openHandle(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, true);
    if (h == INVALID_HANDLE_VALUE) {
        errno = qm::errnoOfWin32(GetLastError());
        return nullptr;
    }
    std::wstring buf(1024, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
    }
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (n == 0 || n >= buf.size()) {
        errno = qm::errnoOfWin32(code);
        return nullptr;
    }
    buf.resize(n);
    std::string s = qm::fromSystemPath(buf);
    for (char& c : s)
        if (c == '\\') c = '/';
    if (s.size() > 3 && s.back() == '/') s.pop_back();
    if (resolved != nullptr) {
        std::strncpy(resolved, s.c_str(), 259);
        resolved[259] = '\0';
        return resolved;
    }
    char* out = static_cast<char*>(std::malloc(s.size() + 1));
    if (out) std::memcpy(out, s.c_str(), s.size() + 1);
    return out;
}

int qm_mkdir(const char* path) {
    if (!CreateDirectoryW(qm::systemPath(path ? path : "").c_str(), nullptr)) {
        errno = qm::errnoOfWin32(GetLastError());
        return -1;
    }
    return 0;
}
