// The platform layer for Linux and other POSIX systems.
#include "foundation/platform.h"
#include "foundation/platform_shared.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <map>
#include <numeric>
#include <sstream>

#include "foundation/imagemount.h"
#include "foundation/messages.h"
#include "foundation/text.h"

namespace qm {

using platform_shared::entriesMatching;
using platform_shared::joinNative;
using platform_shared::kindFits;
using platform_shared::sortEntries;

namespace {

LocalDate localDateOf(time_t t) {
    struct tm tmv {};
    LocalDate d;
    if (localtime_r(&t, &tmv)) {
        d.year = tmv.tm_year + 1900;
        d.month = tmv.tm_mon + 1;
        d.day = tmv.tm_mday;
        d.hour = tmv.tm_hour;
        d.minute = tmv.tm_min;
    }
    return d;
}

void fillFromStat(DirEntry& e, const struct stat& st) {
    e.isLink = S_ISLNK(st.st_mode);
    e.isDir = S_ISDIR(st.st_mode);
    e.isRegular = S_ISREG(st.st_mode);
    e.modified = localDateOf(st.st_mtime);
    e.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
}

bool lstatOk(const std::string& path, struct stat& st) { return !path.empty() && ::lstat(path.c_str(), &st) == 0; }


// ---- Mounts ----------------------------------------------------------------------

struct MountEntry {
    unsigned major = 0, minor = 0;
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

// Undoes the octal escapes (\040 and the like) of /proc/self/mountinfo.
std::string unescapeMount(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() &&
            s[i + 1] >= '0' && s[i + 1] <= '7' && s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' &&
            s[i + 3] <= '7') {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<MountEntry> readMounts() {
    std::vector<MountEntry> mounts;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::vector<std::string> f;
        std::string w;
        while (ls >> w) f.push_back(w);
        // id parent major:minor root mountpoint options [optional...] - fstype source superopts
        auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 5 || dash == f.end() || std::distance(dash, f.end()) < 3) continue;
        MountEntry m;
        if (std::sscanf(f[2].c_str(), "%u:%u", &m.major, &m.minor) != 2) continue;
        m.mountPoint = unescapeMount(f[4]);
        m.fsType = *(dash + 1);
        m.source = unescapeMount(*(dash + 2));
        mounts.push_back(std::move(m));
    }
    return mounts;
}

// The canonical absolute form of path, or of its nearest existing ancestor.
std::string canonicalPath(const std::string& path) {
    if (path.empty()) return {};
    std::string p = path;
    for (;;) {
        char buf[PATH_MAX];
        if (::realpath(p.c_str(), buf)) return buf;
        const size_t slash = p.find_last_of('/', p.size() > 1 ? p.size() - 2 : 0);
        if (slash == std::string::npos) return {};
        p = slash == 0 ? "/" : p.substr(0, slash);
    }
}

// The mount that holds path: the longest mount point that is a prefix of the canonical
// path (the last one mounted when several share a mount point).
std::optional<MountEntry> mountOf(const std::string& path) {
    const std::string canon = canonicalPath(path);
    if (canon.empty()) return std::nullopt;
    std::optional<MountEntry> best;
    size_t bestLen = 0;
    for (auto& m : readMounts()) {
        const std::string& mp = m.mountPoint;
        bool prefix = false;
        if (mp == "/") prefix = true;
        else if (canon.compare(0, mp.size(), mp) == 0 && (canon.size() == mp.size() || canon[mp.size()] == '/'))
            prefix = true;
        if (prefix && mp.size() >= bestLen) {
            bestLen = mp.size();
            best = m;
        }
    }
    return best;
}

uint32_t fnv1a32(const void* data, size_t n) {
    uint32_t h = 2166136261u;
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 16777619u;
    }
    return h;
}

// Decodes the \xHH escapes of the names under /dev/disk/by-label.
std::string unescapeUdev(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2])) && std::isxdigit(static_cast<unsigned char>(s[i + 3]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Name of the link in folder whose target is the block device dev, or empty.
std::string diskLinkFor(const char* folder, dev_t dev) {
    DIR* d = ::opendir(folder);
    if (!d) return {};
    std::string found;
    while (dirent* de = ::readdir(d)) {
        if (de->d_name[0] == '.') continue;
        struct stat st {};
        const std::string p = std::string(folder) + "/" + de->d_name;
        if (::stat(p.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == dev) {
            found = de->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

}  // namespace

// ---- Separators ------------------------------------------------------------------

char nativeSeparator() { return '/'; }

std::string withTrailingSeparator(const std::string& path) {
    if (path.empty() || path.back() == '/') return path;
    return path + '/';
}

std::string joinRel(const std::string& top, const std::string& relBackslash) {
    std::string rel = relBackslash;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    size_t b = 0;
    while (b < rel.size() && rel[b] == '/') ++b;
    rel.erase(0, b);
    if (top.empty()) return rel;
    return withTrailingSeparator(top) + rel;
}

// ---- Listing ---------------------------------------------------------------------

struct ListingCacheScope::Impl {
    struct Kept {
        struct timespec mtime {};
        struct timespec ctime {};
        Listing listing;
    };
    std::map<std::pair<uint64_t, uint64_t>, Kept> kept;  // by device and inode
    size_t entries = 0;
    size_t hits = 0;
};

namespace {

thread_local std::vector<ListingCacheScope::Impl*> t_listingScopes;  // innermost last

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// How a listing takes part in the kept listings: not at all, kept, or answered from them.
enum class Keeping { None, Keep, Reuse };

// One pass over the folder; entries whose display name keep() refuses are not examined
// further (no stat), which keeps look-ups in large folders cheap. Without details, an
// entry whose type the listing gives is not examined either.
std::atomic<PlatformFault> g_fault{nullptr};

void setFailure(Listing& out, int errorNumber) {
    out.ok = false;
    out.errorNumber = errorNumber;
    out.error = readFailureReason(errorNumber);
    out.entries.clear();
}

int openFolder(int baseFd, const std::string& path) {
    if (const PlatformFault fault = g_fault.load(std::memory_order_relaxed)) {
        if (const int err = fault(path, nullptr)) {
            errno = err;
            return -1;
        }
    }
    return ::openat(baseFd, path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
}

template <typename Keep>
Listing listFolderWhere(int baseFd, const std::string& path, Keep keep, bool details = true,
                        Keeping keeping = Keeping::None) {
    Listing out;
    const int dfd = openFolder(baseFd, path);
    if (dfd < 0) {
        setFailure(out, errno);
        return out;
    }
    ListingCacheScope::Impl* cache =
        keeping == Keeping::None || t_listingScopes.empty() ? nullptr : t_listingScopes.back();
    struct stat folder {};
    if (cache != nullptr && ::fstat(dfd, &folder) != 0) cache = nullptr;
    const std::pair<uint64_t, uint64_t> id{static_cast<uint64_t>(folder.st_dev), static_cast<uint64_t>(folder.st_ino)};
    if (cache != nullptr && keeping == Keeping::Reuse) {
        auto it = cache->kept.find(id);
        if (it != cache->kept.end() && sameTime(it->second.mtime, folder.st_mtim) &&
            sameTime(it->second.ctime, folder.st_ctim)) {
            ::close(dfd);
            ++cache->hits;
            return it->second.listing;
        }
    }
    DIR* d = ::fdopendir(dfd);
    if (!d) {
        setFailure(out, errno);
        ::close(dfd);
        return out;
    }
    const PlatformFault fault = g_fault.load(std::memory_order_relaxed);
    for (;;) {
        errno = 0;
        dirent* de = ::readdir(d);
        if (!de) {
            if (errno != 0) {
                setFailure(out, errno);
                ::closedir(d);
                return out;
            }
            break;
        }
        const char* n = de->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
        DirEntry e;
        e.raw = n;
        e.name = displayName(e.raw);
        if (!keep(e.name)) continue;
        e.isHidden = n[0] == '.';
        if (!details && de->d_type != DT_UNKNOWN) {
            e.isLink = de->d_type == DT_LNK;
            e.isDir = de->d_type == DT_DIR;
            e.isRegular = de->d_type == DT_REG;
            out.entries.push_back(std::move(e));
            continue;
        }
        struct stat st {};
        const int injected = fault ? fault(path, n) : 0;
        if (injected == 0 && ::fstatat(dfd, n, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            fillFromStat(e, st);
        } else if (injected == 0 && errno == ENOENT) {
            continue;  // removed while listing
        } else {
            // Listed, but its kind and date are not known: the kind the listing gave is
            // used, and the failure is kept for the caller to report.
            e.detailError = injected != 0 ? injected : errno;
            e.isLink = de->d_type == DT_LNK;
            e.isDir = de->d_type == DT_DIR;
            e.isRegular = de->d_type == DT_REG;
        }
        out.entries.push_back(std::move(e));
    }
    ::closedir(d);
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
            cache->kept[id] = {folder.st_mtim, folder.st_ctim, out};
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
    return listFolderWhere(AT_FDCWD, path, [](const std::string&) { return true; }, true, Keeping::Keep);
}

Listing listFolderNames(const std::string& path) {
    if (Listing l; imageListing(path, l)) return l;
    return listFolderWhere(AT_FDCWD, path, [](const std::string&) { return true; }, false, Keeping::Reuse);
}

Listing listFolderAt(const FolderAnchor* base, const std::string& path, bool details) {
    if (Listing l; (base == nullptr || !base->isOpen()) && imageListing(path, l)) return l;
    const int baseFd = base != nullptr && base->isOpen() ? base->handle() : AT_FDCWD;
    return listFolderWhere(baseFd, path, [](const std::string&) { return true; }, details,
                           details ? Keeping::Keep : Keeping::Reuse);
}

FolderAnchor::~FolderAnchor() {
    if (handle_ >= 0) ::close(handle_);
}

FolderAnchor::FolderAnchor(FolderAnchor&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

FolderAnchor& FolderAnchor::operator=(FolderAnchor&& other) noexcept {
    if (this != &other) {
        if (handle_ >= 0) ::close(handle_);
        handle_ = other.handle_;
        other.handle_ = -1;
    }
    return *this;
}

bool FolderAnchor::open(const FolderAnchor* base, const std::string& path, int& errorNumber) {
    if (handle_ >= 0) ::close(handle_);
    const int baseFd = base != nullptr && base->isOpen() ? base->handle() : AT_FDCWD;
    handle_ = openFolder(baseFd, path);
    errorNumber = handle_ < 0 ? errno : 0;
    return handle_ >= 0;
}

size_t longestPath() { return PATH_MAX - 1; }

void setPlatformFaultForTesting(PlatformFault fault) { g_fault.store(fault); }

std::string readFailureReason(int errorNumber) {
    // Wordings about reading a place of a medium; every other number as the system says it.
    switch (errorNumber) {
        case ENAMETOOLONG: return "パスが長すぎます";
        case ENOENT: return "見つかりません";
        case ENOTDIR: return "フォルダではありません";
        case ELOOP: return "シンボリックリンクのため開きません";
        case EILSEQ: return "名前を読み取れません";
        case EOVERFLOW: return "大きすぎて読み取れません";
        case ENOMEDIUM: return "メディアがありません";
        case EUCLEAN: return "ファイルシステムが破損しています";
        case EINTR:
        case EAGAIN: return "読み取りが中断されました";
        default: return systemErrorText(errorNumber);
    }
}

std::vector<DirEntry> findEntries(const std::string& folder, const std::string& pattern, EntryKind kind) {
    std::vector<DirEntry> found;
    if (imageFindEntries(folder, pattern, kind, found)) return found;
    Listing l = listFolderWhere(AT_FDCWD, folder, [&](const std::string& name) { return LikeMatchNoCase(name, pattern); });
    return entriesMatching(l, pattern, kind);
}

std::optional<std::string> resolveRel(const std::string& top, const std::string& relBackslash, EntryKind kind) {
    if (std::optional<std::string> r; imageResolveRel(top, relBackslash, kind, r)) return r;
    const std::optional<std::vector<std::string>> split = downwardParts(relBackslash);
    if (!split) return std::nullopt;
    const std::vector<std::string>& parts = *split;
    std::string path = top;
    struct stat st {};
    if (parts.empty()) {
        if (!lstatOk(path, st)) return std::nullopt;
        if (kind == EntryKind::Folder && !S_ISDIR(st.st_mode)) return std::nullopt;
        if (kind == EntryKind::File && S_ISDIR(st.st_mode)) return std::nullopt;
        return path;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        const EntryKind want = last ? kind : EntryKind::Folder;
        auto fits = [&](const struct stat& s) {
            if (want == EntryKind::Folder) return S_ISDIR(s.st_mode);
            if (want == EntryKind::File) return !S_ISDIR(s.st_mode);
            return true;
        };
        const std::string exact = joinNative(path, parts[i]);
        if (lstatOk(exact, st) && fits(st)) {
            path = exact;
            continue;
        }
        const std::string wanted = upperAscii(parts[i]);
        const Listing l = listFolderWhere(AT_FDCWD, path, [&](const std::string& name) { return upperAscii(name) == wanted; });
        const DirEntry* hit = nullptr;
        for (const auto& e : l.entries) {
            if (!kindFits(e, want)) continue;
            if (upperAscii(e.name) == wanted) {
                hit = &e;
                break;
            }
        }
        if (!hit) return std::nullopt;
        path = joinNative(path, hit->raw);
    }
    return path;
}

bool isFolder(const std::string& path) {
    if (bool r; imageIsFolder(path, r)) return r;
    struct stat st {};
    return lstatOk(path, st) && S_ISDIR(st.st_mode);
}

bool isPlainFile(const std::string& path) {
    if (bool r; imageIsPlainFile(path, r)) return r;
    struct stat st {};
    return lstatOk(path, st) && S_ISREG(st.st_mode);
}

std::optional<LocalDate> modifiedDate(const std::string& path) {
    if (std::optional<LocalDate> r; imageModifiedDate(path, r)) return r;
    struct stat st {};
    if (!lstatOk(path, st)) return std::nullopt;
    return localDateOf(st.st_mtime);
}

// ---- Drives and volumes ----------------------------------------------------------

int32_t GetDriveTypeOfPath(const std::string& path) {
    if (int32_t r; imageDriveType(path, r)) return r;
    const auto m = mountOf(path);
    if (!m) return kDriveUnknown;
    const std::string& t = m->fsType;
    if (t == "iso9660" || t == "udf") return kDriveCdRom;
    if (t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" || t == "sshfs" ||
        t == "fuse.sshfs" || t == "9p")
        return kDriveRemote;
    return kDriveFixed;
}

bool GetVolumeInfo(const std::string& path, VolumeInfo& info) {
    if (bool r; imageVolumeInfo(path, info, r)) return r;
    info = VolumeInfo{};
    const std::string canon = canonicalPath(path);
    if (canon.empty()) return false;
    const auto m = mountOf(canon);
    struct statvfs sv {};
    const bool haveVfs = ::statvfs(canon.c_str(), &sv) == 0;
    if (!m && !haveVfs) return false;

    std::string idText;
    if (m) {
        info.fileSystem = m->fsType;
        info.mountPoint = m->mountPoint;
        const dev_t dev = makedev(m->major, m->minor);
        const std::string uuid = diskLinkFor("/dev/disk/by-uuid", dev);
        const std::string label = diskLinkFor("/dev/disk/by-label", dev);
        if (!label.empty()) info.label = unescapeUdev(label);
        if (!uuid.empty()) idText = "uuid:" + unescapeUdev(uuid);
        else if (!label.empty()) idText = "label:" + info.label;
    }
    if (haveVfs) {
        info.maxComponentLength = static_cast<uint32_t>(sv.f_namemax);
        info.flags = static_cast<uint32_t>(sv.f_flag);
    }
    uint32_t serial = 0;
    if (!idText.empty()) {
        serial = fnv1a32(idText.data(), idText.size());
    } else {
        struct statfs sf {};
        if (::statfs(canon.c_str(), &sf) == 0) {
            serial = fnv1a32(&sf.f_fsid, sizeof sf.f_fsid);
        } else if (m) {
            const unsigned v[2] = {m->major, m->minor};
            serial = fnv1a32(v, sizeof v);
        }
    }
    if (serial == 0) serial = 1;
    info.serial = serial;
    return true;
}

namespace {

// Whether the block device major:minor is marked removable (a partition asks its disk).
bool isRemovableDevice(unsigned major, unsigned minor) {
    char buf[PATH_MAX];
    const std::string link = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    if (!::realpath(link.c_str(), buf)) return false;
    std::string dir = buf;
    for (int up = 0; up < 2 && !dir.empty(); ++up) {
        std::ifstream in(dir + "/removable");
        char c = 0;
        if (in >> c) return c == '1';
        const size_t slash = dir.find_last_of('/');
        if (slash == std::string::npos) break;
        dir.erase(slash);
    }
    return false;
}

bool underFolder(const std::string& path, const char* folder) {
    const size_t n = std::strlen(folder);
    return path.compare(0, n, folder) == 0 && path.size() > n && path[n] == '/';
}

}  // namespace

std::vector<PickableVolume> listPickableVolumes() {
    std::vector<PickableVolume> out;
    for (const auto& m : readMounts()) {
        const bool optical = m.fsType == "iso9660" || m.fsType == "udf";
        const bool removable = m.major != 0 && isRemovableDevice(m.major, m.minor);
        const bool userPlace = underFolder(m.mountPoint, "/media") || underFolder(m.mountPoint, "/run/media") ||
                               underFolder(m.mountPoint, "/mnt");
        if (!optical && !removable && !userPlace) continue;
        // A mount point mounted over again is listed once.
        bool seen = false;
        for (const auto& v : out) seen = seen || v.mountPoint == m.mountPoint;
        if (seen) continue;
        PickableVolume v;
        v.mountPoint = m.mountPoint;
        if (m.major != 0) {
            const std::string label = diskLinkFor("/dev/disk/by-label", makedev(m.major, m.minor));
            if (!label.empty()) v.label = unescapeUdev(label);
        }
        v.driveType = optical ? kDriveCdRom : removable ? kDriveRemovable : GetDriveTypeOfPath(m.mountPoint);
        out.push_back(std::move(v));
    }
    return out;
}

// ---- Per-user folders ------------------------------------------------------------

std::string GetTempFolder() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = (t && *t) ? trimBlanks(trimNull(t)) : std::string("/tmp");
    if (dir.empty()) dir = "/tmp";
    return withTrailingSeparator(dir);
}

std::string programFolder(const char* argv0) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string exe;
    if (n > 0) {
        exe.assign(buf, static_cast<size_t>(n));
    } else if (argv0 && *argv0) {
        char rp[PATH_MAX];
        exe = ::realpath(argv0, rp) ? std::string(rp) : std::string(argv0);
    }
    const size_t slash = exe.find_last_of('/');
    if (slash == std::string::npos) return exe.empty() ? std::string() : std::string("./");
    return exe.substr(0, slash + 1);
}

std::string currentUserConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return withTrailingSeparator(std::string(xdg) + "/quillmark");
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) home = h;
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    }
    if (home.empty()) return {};
    return withTrailingSeparator(withTrailingSeparator(home) + ".config/quillmark");
}

namespace {

// The device and inode of an existing place (links followed). Files count too: a disc
// image given as a medium is a file, and nothing may be written over it or "below" it.
bool placeIdentity(const std::string& path, dev_t& dev, ino_t& ino) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    dev = st.st_dev;
    ino = st.st_ino;
    return true;
}

// path absolute, with the links of its existing part resolved. A last component that is a
// symbolic link is followed even when it leads nowhere: whatever is written there lands
// where the link points.
std::filesystem::path resolvedPlace(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec) p = fs::path(path);
    for (int depth = 0; depth < 40; ++depth) {
        const fs::path parent = fs::weakly_canonical(p.parent_path(), ec);
        if (!ec && p.has_filename()) p = parent / p.filename();
        if (!fs::is_symlink(fs::symlink_status(p, ec))) break;
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    fs::path out = fs::weakly_canonical(p, ec);
    if (ec) out = p.lexically_normal();
    if (!out.has_filename() && out.has_parent_path() && out != out.root_path()) out = out.parent_path();
    return out;
}

}  // namespace

bool pathLiesWithin(const std::string& inner, const std::string& outer) {
    dev_t odev;
    ino_t oino;
    if (!placeIdentity(resolvedPlace(outer).string(), odev, oino)) return false;
    for (std::filesystem::path p = resolvedPlace(inner);; p = p.parent_path()) {
        dev_t dev;
        ino_t ino;
        if (placeIdentity(p.string(), dev, ino) && dev == odev && ino == oino) return true;
        if (p.empty() || p == p.parent_path()) return false;
    }
}

}  // namespace qm
