// The platform layer for Windows, on the wide-character API. Paths are UTF-8 inside the
// program; every call into the system goes through an absolute "\\?\" path, so that long
// paths and names that no ANSI code page can hold work as well as any other.
#include "foundation/platform.h"
#include "foundation/platform_shared.h"

#include "foundation/imagemount.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <numeric>

#include "foundation/messages.h"
#include "foundation/text.h"
#include "foundation/win_paths.h"

namespace qm {

using platform_shared::entriesMatching;
using platform_shared::joinNative;
using platform_shared::kindFits;
using platform_shared::sortEntries;

// ---- Conversions (win_paths.h) ---------------------------------------------------

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

std::string narrow(const wchar_t* w, size_t len) {
    if (len == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), s.data(), n, nullptr, nullptr);
    return s;
}

std::string narrow(const std::wstring& w) { return narrow(w.data(), w.size()); }

std::wstring systemPath(const std::string& utf8) {
    if (utf8.empty()) return {};
    std::wstring w = widen(utf8);
    if (w.rfind(L"\\\\?\\", 0) == 0) return w;
    std::replace(w.begin(), w.end(), L'/', L'\\');
    DWORD need = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (need == 0) return w;
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(w.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need) return w;
    full.resize(got);
    if (full.rfind(L"\\\\", 0) == 0) {
        if (full.rfind(L"\\\\.\\", 0) == 0) return full;  // a device
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

std::string fromSystemPath(std::wstring w) {
    if (w.rfind(L"\\\\?\\UNC\\", 0) == 0) w = L"\\\\" + w.substr(8);
    else if (w.rfind(L"\\\\?\\", 0) == 0) w = w.substr(4);
    return narrow(w);
}

int errnoOfWin32(unsigned long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_NO_MORE_FILES: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD: return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EBUSY;
        case ERROR_DIRECTORY: return ENOTDIR;
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_BUFFER_OVERFLOW: return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME: return EINVAL;
        case ERROR_NOT_READY:
        case ERROR_NO_MEDIA_IN_DRIVE: return ENXIO;
        case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return EEXIST;
        case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return ENOMEM;
        case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
        case ERROR_NO_UNICODE_TRANSLATION: return EILSEQ;
        case ERROR_SEM_TIMEOUT: return ETIMEDOUT;
        default: return EIO;
    }
}

bool identityOfPath(const std::string& path, uint64_t& volume, uint64_t& index, bool followLinks) {
    const std::wstring w = systemPath(path);
    if (w.empty()) return false;
    HANDLE h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!ok) return false;
    volume = info.dwVolumeSerialNumber;
    index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

namespace {

LocalDate localDateOf(const FILETIME& utc) {
    LocalDate d;
    SYSTEMTIME st{}, local{};
    if (!FileTimeToSystemTime(&utc, &st) || !SystemTimeToTzSpecificLocalTime(nullptr, &st, &local)) return d;
    d.year = local.wYear;
    d.month = local.wMonth;
    d.day = local.wDay;
    d.hour = local.wHour;
    d.minute = local.wMinute;
    return d;
}

bool isReparse(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Kind, date and size from the attributes the system gives for an entry. A reparse point
// (symbolic link, junction) is listed as a link and never followed.
void fillFromAttributes(DirEntry& e, DWORD attributes, const FILETIME& written, uint64_t size) {
    e.isLink = isReparse(attributes);
    e.isDir = !e.isLink && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.isRegular = !e.isLink && !e.isDir && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
    e.isHidden = (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
    e.modified = localDateOf(written);
    e.size = e.isRegular ? size : 0;
}

struct Attributes {
    DWORD attributes = 0;
    FILETIME written{};
    uint64_t size = 0;
};

// The attributes of the entry at path itself (a link is not followed); errno on failure.
bool attributesOf(const std::string& path, Attributes& a) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(systemPath(path).c_str(), GetFileExInfoStandard, &data)) {
        errno = errnoOfWin32(GetLastError());
        return false;
    }
    a.attributes = data.dwFileAttributes;
    a.written = data.ftLastWriteTime;
    a.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool attrIsFolder(const Attributes& a) { return !isReparse(a.attributes) && (a.attributes & FILE_ATTRIBUTE_DIRECTORY); }


std::atomic<PlatformFault> g_fault{nullptr};

void setFailure(Listing& out, int errorNumber) {
    out.ok = false;
    out.errorNumber = errorNumber;
    out.error = readFailureReason(errorNumber);
    out.entries.clear();
}

// Open folders of FolderAnchor: the handle is a number standing for the folder's path.
std::mutex g_anchorLock;
std::map<int, std::string> g_anchors;
int g_nextAnchor = 1;

std::string anchoredPath(const FolderAnchor* base, const std::string& path) {
    if (base == nullptr || !base->isOpen()) return path;
    std::lock_guard<std::mutex> guard(g_anchorLock);
    const auto it = g_anchors.find(base->handle());
    if (it == g_anchors.end()) return path;
    return path.empty() ? it->second : joinNative(it->second, path);
}

}  // namespace

// ---- Separators ------------------------------------------------------------------

char nativeSeparator() { return '\\'; }

std::string withTrailingSeparator(const std::string& path) {
    if (path.empty() || path.back() == '\\' || path.back() == '/') return path;
    return path + '\\';
}

std::string joinRel(const std::string& top, const std::string& relBackslash) {
    std::string rel = relBackslash;
    std::replace(rel.begin(), rel.end(), '/', '\\');
    size_t b = 0;
    while (b < rel.size() && rel[b] == '\\') ++b;
    rel.erase(0, b);
    if (top.empty()) return rel;
    return withTrailingSeparator(top) + rel;
}

// ---- Listing ---------------------------------------------------------------------

struct ListingCacheScope::Impl {
    struct Kept {
        int64_t written = 0;
        int64_t changed = 0;
        Listing listing;
    };
    std::map<std::pair<uint64_t, uint64_t>, Kept> kept;  // by volume serial and file index
    size_t entries = 0;
    size_t hits = 0;
};

namespace {

thread_local std::vector<ListingCacheScope::Impl*> t_listingScopes;  // innermost last

enum class Keeping { None, Keep, Reuse };

// The identity and times of a folder, for the kept listings.
bool folderStamp(const std::wstring& w, std::pair<uint64_t, uint64_t>& id, int64_t& written, int64_t& changed) {
    HANDLE h = CreateFileW(w.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    const bool ok = GetFileInformationByHandle(h, &info) &&
                    GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic);
    CloseHandle(h);
    if (!ok) return false;
    id = {info.dwVolumeSerialNumber, (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    written = basic.LastWriteTime.QuadPart;
    changed = basic.ChangeTime.QuadPart;
    return true;
}

template <typename Keep>
Listing listFolderWhere(const std::string& path, Keep keep, bool details = true, Keeping keeping = Keeping::None) {
    Listing out;
    const PlatformFault fault = g_fault.load(std::memory_order_relaxed);
    if (fault) {
        if (const int err = fault(path, nullptr)) {
            setFailure(out, err);
            return out;
        }
    }
    if (path.empty()) {
        setFailure(out, ENOENT);
        return out;
    }
    const std::wstring folder = systemPath(path);
    Attributes self;
    if (!attributesOf(path, self)) {
        setFailure(out, errno);
        return out;
    }
    if (isReparse(self.attributes)) {
        setFailure(out, ELOOP);
        return out;
    }
    if (!(self.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        setFailure(out, ENOTDIR);
        return out;
    }
    ListingCacheScope::Impl* cache =
        keeping == Keeping::None || t_listingScopes.empty() ? nullptr : t_listingScopes.back();
    std::pair<uint64_t, uint64_t> id{};
    int64_t written = 0, changed = 0;
    if (cache != nullptr && !folderStamp(folder, id, written, changed)) cache = nullptr;
    if (cache != nullptr && keeping == Keeping::Reuse) {
        auto it = cache->kept.find(id);
        if (it != cache->kept.end() && it->second.written == written && it->second.changed == changed) {
            ++cache->hits;
            return it->second.listing;
        }
    }
    const std::wstring pattern = folder + (folder.back() == L'\\' ? L"*" : L"\\*");
    WIN32_FIND_DATAW fd{};
    HANDLE h = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND) {  // an empty root folder has no "." to find
            setFailure(out, errnoOfWin32(code));
            return out;
        }
    } else {
        do {
            const wchar_t* n = fd.cFileName;
            if (n[0] == L'.' && (n[1] == L'\0' || (n[1] == L'.' && n[2] == L'\0'))) continue;
            DirEntry e;
            e.raw = narrow(n, wcslen(n));
            e.name = e.raw;
            if (!keep(e.name)) continue;
            fillFromAttributes(e, fd.dwFileAttributes, fd.ftLastWriteTime,
                               (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
            if (details && fault) {
                if (const int injected = fault(path, e.raw.c_str())) e.detailError = injected;
            }
            out.entries.push_back(std::move(e));
        } while (FindNextFileW(h, &fd));
        const DWORD code = GetLastError();
        FindClose(h);
        if (code != ERROR_NO_MORE_FILES) {
            setFailure(out, errnoOfWin32(code));
            return out;
        }
    }
    sortEntries(out.entries);
    out.ok = true;
    if (cache != nullptr) {
        auto it = cache->kept.find(id);
        if (it != cache->kept.end()) {
            cache->entries -= it->second.listing.entries.size();
            cache->kept.erase(it);
        }
        if (cache->entries + out.entries.size() <= ListingCacheScope::kMaxEntries) {
            cache->entries += out.entries.size();
            cache->kept[id] = {written, changed, out};
        }
    }
    return out;
}

}  // namespace

ListingCacheScope::ListingCacheScope() : impl_(std::make_unique<Impl>()) { t_listingScopes.push_back(impl_.get()); }

ListingCacheScope::~ListingCacheScope() {
    for (size_t i = t_listingScopes.size(); i-- > 0;) {
        if (t_listingScopes[i] == impl_.get()) {
            t_listingScopes.erase(t_listingScopes.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
}

size_t ListingCacheScope::hits() const { return impl_->hits; }

Listing listFolder(const std::string& path) {
    if (Listing l; imageListing(path, l)) return l;
    return listFolderWhere(path, [](const std::string&) { return true; }, true, Keeping::Keep);
}

Listing listFolderNames(const std::string& path) {
    if (Listing l; imageListing(path, l)) return l;
    return listFolderWhere(path, [](const std::string&) { return true; }, false, Keeping::Reuse);
}

Listing listFolderAt(const FolderAnchor* base, const std::string& path, bool details) {
    if (Listing l; imageListing(anchoredPath(base, path), l)) return l;
    return listFolderWhere(anchoredPath(base, path), [](const std::string&) { return true; }, details,
                           details ? Keeping::Keep : Keeping::Reuse);
}

FolderAnchor::~FolderAnchor() {
    if (handle_ >= 0) {
        std::lock_guard<std::mutex> guard(g_anchorLock);
        g_anchors.erase(handle_);
    }
}

FolderAnchor::FolderAnchor(FolderAnchor&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

FolderAnchor& FolderAnchor::operator=(FolderAnchor&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) {
            std::lock_guard<std::mutex> guard(g_anchorLock);
            g_anchors.erase(handle_);
        }
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

bool FolderAnchor::open(const FolderAnchor* base, const std::string& path, int& errorNumber) {
    const std::string full = anchoredPath(base, path);
    if (handle_ >= 0) {
        std::lock_guard<std::mutex> guard(g_anchorLock);
        g_anchors.erase(handle_);
        handle_ = -1;
    }
    if (const PlatformFault fault = g_fault.load(std::memory_order_relaxed)) {
        if (const int err = fault(full, nullptr)) {
            errorNumber = err;
            return false;
        }
    }
    Attributes a;
    if (bool folder; imageIsFolder(full, folder)) {  // a folder inside a disc image
        if (!folder) {
            errorNumber = ENOTDIR;
            return false;
        }
    } else if (!attributesOf(full, a)) {
        errorNumber = errno;
        return false;
    } else if (!attrIsFolder(a)) {
        errorNumber = isReparse(a.attributes) ? ELOOP : ENOTDIR;
        return false;
    }
    std::lock_guard<std::mutex> guard(g_anchorLock);
    handle_ = g_nextAnchor++;
    g_anchors[handle_] = full;
    errorNumber = 0;
    return true;
}

// A "\\?\" path may be 32,767 UTF-16 units long; in UTF-8 bytes, with room to spare.
size_t longestPath() { return 32000; }

void setPlatformFaultForTesting(PlatformFault fault) { g_fault.store(fault); }

std::string readFailureReason(int errorNumber) {
    switch (errorNumber) {
        case ENAMETOOLONG: return "パスが長すぎます";
        case ENOENT: return "見つかりません";
        case ENOTDIR: return "フォルダではありません";
        case ELOOP: return "シンボリックリンクのため開きません";
        case EILSEQ: return "名前を読み取れません";
        case ENXIO: return "メディアがありません";
        case EINTR:
        case EAGAIN: return "読み取りが中断されました";
        default: return systemErrorText(errorNumber);
    }
}

std::vector<DirEntry> findEntries(const std::string& folder, const std::string& pattern, EntryKind kind) {
    std::vector<DirEntry> found;
    if (imageFindEntries(folder, pattern, kind, found)) return found;
    Listing l = listFolderWhere(folder, [&](const std::string& name) { return LikeMatchNoCase(name, pattern); });
    return entriesMatching(l, pattern, kind);
}

std::optional<std::string> resolveRel(const std::string& top, const std::string& relBackslash, EntryKind kind) {
    if (std::optional<std::string> r; imageResolveRel(top, relBackslash, kind, r)) return r;
    const std::optional<std::vector<std::string>> split = downwardParts(relBackslash);
    if (!split) return std::nullopt;
    const std::vector<std::string>& parts = *split;
    std::string path = top;
    Attributes a;
    if (parts.empty()) {
        if (!attributesOf(path, a)) return std::nullopt;
        if (kind == EntryKind::Folder && !attrIsFolder(a)) return std::nullopt;
        if (kind == EntryKind::File && attrIsFolder(a)) return std::nullopt;
        return path;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const EntryKind want = last ? kind : EntryKind::Folder;
        // The file system ignores letter case already; the listing gives the name as held.
        const std::string wanted = upperAscii(parts[i]);
        const Listing l = listFolderWhere(path, [&](const std::string& name) { return upperAscii(name) == wanted; });
        const DirEntry* hit = nullptr;
        for (const auto& e : l.entries) {
            if (!kindFits(e, want)) continue;
            if (e.name == parts[i]) {
                hit = &e;
                break;
            }
            if (hit == nullptr && upperAscii(e.name) == wanted) hit = &e;
        }
        if (!hit) return std::nullopt;
        path = joinNative(path, hit->raw);
    }
    return path;
}

bool isFolder(const std::string& path) {
    if (bool r; imageIsFolder(path, r)) return r;
    Attributes a;
    return attributesOf(path, a) && attrIsFolder(a);
}

bool isPlainFile(const std::string& path) {
    if (bool r; imageIsPlainFile(path, r)) return r;
    Attributes a;
    return attributesOf(path, a) && !isReparse(a.attributes) && !(a.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(a.attributes & FILE_ATTRIBUTE_DEVICE);
}

std::optional<LocalDate> modifiedDate(const std::string& path) {
    if (std::optional<LocalDate> r; imageModifiedDate(path, r)) return r;
    Attributes a;
    if (!attributesOf(path, a)) return std::nullopt;
    return localDateOf(a.written);
}

// ---- Drives and volumes ----------------------------------------------------------

namespace {

// The root of the volume that holds path ("C:\", "\\server\share\", a mounted folder).
std::wstring volumeRootOf(const std::string& path) {
    std::wstring w = systemPath(path);
    if (w.empty()) return {};
    wchar_t root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(w.c_str(), root, MAX_PATH)) {
        // A path that does not exist (yet): its drive.
        const std::wstring plain = widen(fromSystemPath(w));
        if (plain.size() >= 2 && plain[1] == L':') return plain.substr(0, 2) + L"\\";
        return {};
    }
    return root;
}

}  // namespace

int32_t GetDriveTypeOfPath(const std::string& path) {
    if (int32_t r; imageDriveType(path, r)) return r;
    const std::wstring root = volumeRootOf(path);
    if (root.empty()) return kDriveUnknown;
    return static_cast<int32_t>(GetDriveTypeW(root.c_str()));
}

bool GetVolumeInfo(const std::string& path, VolumeInfo& info) {
    if (bool r; imageVolumeInfo(path, info, r)) return r;
    info = VolumeInfo{};
    const std::wstring root = volumeRootOf(path);
    if (root.empty()) return false;
    wchar_t label[MAX_PATH + 1] = {}, fs[MAX_PATH + 1] = {};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    // A drive without a medium answers "not ready" instead of showing an error box.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const BOOL read = GetVolumeInformationW(root.c_str(), label, MAX_PATH, &serial, &maxComponent, &flags, fs, MAX_PATH);
    SetErrorMode(oldMode);
    if (!read) return false;
    info.label = narrow(label, wcslen(label));
    info.serial = serial;
    info.maxComponentLength = maxComponent;
    info.flags = flags;
    info.fileSystem = narrow(fs, wcslen(fs));
    info.mountPoint = fromSystemPath(root);
    return true;
}

std::vector<PickableVolume> listPickableVolumes() {
    // Every drive letter, with its type; a drive without a medium has no label.
    std::vector<PickableVolume> out;
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i))) continue;
        const wchar_t root[4] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', L'\0'};
        PickableVolume v;
        v.mountPoint = narrow(root, 3);
        v.driveType = static_cast<int32_t>(GetDriveTypeW(root));
        if (v.driveType == kDriveNoRoot) continue;
        // No error box for a drive without a disc.
        const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        wchar_t label[MAX_PATH + 1] = {};
        if (GetVolumeInformationW(root, label, MAX_PATH, nullptr, nullptr, nullptr, nullptr, 0))
            v.label = narrow(label, wcslen(label));
        SetErrorMode(oldMode);
        out.push_back(std::move(v));
    }
    return out;
}

// ---- Folder identity -------------------------------------------------------------

bool pathLiesWithin(const std::string& inner, const std::string& outer) {
    uint64_t ovol = 0, oidx = 0;
    if (!identityOfPath(outer, ovol, oidx, true)) return false;
    std::wstring p = systemPath(inner);
    if (p.empty()) return false;
    for (;;) {
        uint64_t vol = 0, idx = 0;
        if (identityOfPath(narrow(p), vol, idx, true) && vol == ovol && idx == oidx) return true;
        // Up one level; the root of the "\\?\" path is where the walk ends.
        while (p.size() > 7 && p.back() == L'\\') p.pop_back();
        const size_t slash = p.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash < 6) return false;
        std::wstring parent = p.substr(0, slash);
        if (parent.size() == 6 && parent[5] == L':') parent += L'\\';  // "\\?\C:" -> "\\?\C:\"
        if (parent == p) return false;
        p = parent;
    }
}

// ---- Per-user folders ------------------------------------------------------------

std::string GetTempFolder() {
    wchar_t buf[MAX_PATH + 2] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH + 1) return {};
    return withTrailingSeparator(narrow(buf, n));
}

std::string programFolder(const char* argv0) {
    std::wstring buf(1024, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) break;
        if (n < buf.size()) {
            buf.resize(n);
            std::string exe = fromSystemPath(buf);
            const size_t slash = exe.find_last_of("\\/");
            return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
        }
        buf.resize(buf.size() * 2);
    }
    std::string exe = argv0 ? argv0 : "";
    const size_t slash = exe.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : exe.substr(0, slash + 1);
}

std::string currentUserConfigFolder() {
    wchar_t buf[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf))) return {};
    return withTrailingSeparator(withTrailingSeparator(narrow(buf, wcslen(buf))) + "Quillmark");
}

}  // namespace qm
