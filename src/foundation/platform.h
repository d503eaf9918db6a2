// The platform layer: folder listing, look-ups by name and pattern, drive types, volume
// serial numbers and per-user folders. The Linux implementation is platform_posix.cpp;
// platform_win.cpp is the Windows one, on the wide-character API. The build picks one.
//
// Paths handed in and out are native paths. Medium-relative paths of the logs use "\"
// and are joined to a native top folder with joinRel().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct LocalDate {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0;  // time of day, where the listing gives it
    int32_t ymd() const { return year * 10000 + month * 100 + day; }
};

struct DirEntry {
    std::string raw;       // the name as the file system holds it (bytes)
    std::string name;      // the name as judged and logged (UTF-8, see displayName)
    bool isDir = false;    // a real folder; a symbolic link is never a folder here
    bool isLink = false;   // a symbolic link (listed as a file, never followed)
    bool isHidden = false; // name begins with "."
    bool isRegular = false;// a regular file (not a folder, link, pipe, socket or device)
    LocalDate modified;    // last modification date, local time
    uint64_t size = 0;
    int detailError = 0;   // errno when the entry's details (kind, date) could not be read
};

struct Listing {
    bool ok = false;       // false when the folder could not be listed
    int errorNumber = 0;   // errno when !ok
    std::string error;     // description when !ok (readFailureReason of errorNumber)
    std::vector<DirEntry> entries;  // sorted ascending by upper-cased name, ties by name
};

// The native separator and its joining helpers.
char nativeSeparator();
std::string withTrailingSeparator(const std::string& path);
// top (native, may end in a separator) + relative path with "\" separators.
std::string joinRel(const std::string& top, const std::string& relBackslash);

// Lists one folder, "." and ".." left out. Entries of every kind are listed.
Listing listFolder(const std::string& path);
// The same listing for callers that need names and kinds only: the kind comes from the
// listing itself where the file system gives it, so that entries are not examined one
// by one; `modified` and `size` may be left empty.
Listing listFolderNames(const std::string& path);

// The reason of a failed read of the file system, in Japanese, for the logs and messages
// ("アクセスが拒否されました" and the like); never empty.
std::string readFailureReason(int errorNumber);

// The longest path, in bytes, that the system accepts in one call.
size_t longestPath();

// An open folder that later listings may be taken relative to, so that a walk can list
// folders nested deeper than a path can name. Move-only; closed when destroyed.
class FolderAnchor {
public:
    FolderAnchor() = default;
    ~FolderAnchor();
    FolderAnchor(FolderAnchor&& other) noexcept;
    FolderAnchor& operator=(FolderAnchor&& other) noexcept;
    FolderAnchor(const FolderAnchor&) = delete;
    FolderAnchor& operator=(const FolderAnchor&) = delete;

    // Opens the folder at path, taken relative to base when base is given (links are not
    // followed). False with errorNumber set when it cannot be opened.
    bool open(const FolderAnchor* base, const std::string& path, int& errorNumber);
    bool isOpen() const { return handle_ >= 0; }
    int handle() const { return handle_; }

private:
    int handle_ = -1;
};

// listFolder and listFolderNames of a path taken relative to base (nullptr: as given).
Listing listFolderAt(const FolderAnchor* base, const std::string& path, bool details);

// For tests: a fault to give in place of the file system's answer. Called when a folder
// is opened for listing (entryName nullptr) and when an entry's details are read; a
// non-zero answer is taken as the errno of a failure there. nullptr removes it.
using PlatformFault = int (*)(const std::string& folderPath, const char* entryName);
void setPlatformFaultForTesting(PlatformFault fault);

// While a scope lives on this thread, the listings taken by listFolder and
// listFolderNames are kept, and listFolderNames answers from a kept listing of the same
// folder (same device and inode) as long as the folder is unchanged (same modification
// and change times) instead of reading it again. Scopes nest; an inner scope keeps its
// own listings. At most kMaxEntries entries are kept. Without a scope nothing is kept.
class ListingCacheScope {
public:
    static constexpr size_t kMaxEntries = 500000;
    ListingCacheScope();
    ~ListingCacheScope();
    ListingCacheScope(const ListingCacheScope&) = delete;
    ListingCacheScope& operator=(const ListingCacheScope&) = delete;

    size_t hits() const;  // listings answered from the kept ones

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

enum class EntryKind { Any, Folder, File };
// Entries of a folder whose names match a pattern (wildcards of LikeMatch, ASCII case
// ignored), of a kind. File excludes hidden entries ("." names), as ordinary-file
// look-ups do. Sorted as listFolder sorts. Missing or unreadable folder: empty.
std::vector<DirEntry> findEntries(const std::string& folder, const std::string& pattern, EntryKind kind);

// Resolves a "\"-separated relative path below top, each component matched ignoring
// ASCII case (an exact match preferred). Answers the native path, or nullopt.
std::optional<std::string> resolveRel(const std::string& top, const std::string& relBackslash,
                                      EntryKind kind = EntryKind::Any);

// The components of a relative path given with "\" or "/" (empty ones dropped), or nullopt
// when one is "." or "..": a relative path only ever leads downward from its top.
inline std::optional<std::vector<std::string>> downwardParts(const std::string& relBackslash) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : relBackslash) {
        if (c == '\\' || c == '/') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    for (const auto& part : parts)
        if (part == "." || part == "..") return std::nullopt;
    return parts;
}

bool isFolder(const std::string& path);    // a real folder (links not followed)

// Whether inner is the folder outer or lies below it, compared by folder identity (device
// and inode on POSIX), so that another spelling of the same place (".." components, a
// symbolic link to it or to a folder in it, a bind mount) is caught. Links are resolved,
// a final link that leads nowhere included. inner need not exist: its nearest existing
// ancestor and everything above it count. False when outer does not exist. outer may be
// a file (a disc image given as a medium): inner then lies within it when it is that file
// or a place below its name.
bool pathLiesWithin(const std::string& inner, const std::string& outer);
bool isPlainFile(const std::string& path); // a regular file (links not followed)
std::optional<LocalDate> modifiedDate(const std::string& path);

// Drive type codes as the checks and views present them.
enum DriveType : int32_t { kDriveUnknown = 0, kDriveNoRoot = 1, kDriveRemovable = 2, kDriveFixed = 3,
                           kDriveRemote = 4, kDriveCdRom = 5, kDriveRamDisk = 6 };
struct VolumeInfo {
    std::string label;
    uint32_t serial = 0;
    uint32_t maxComponentLength = 255;
    uint32_t flags = 0;
    std::string fileSystem;
    std::string mountPoint;
};
// Drive type of the file system that holds path (0 when it cannot be told).
int32_t GetDriveTypeOfPath(const std::string& path);
// Volume data of the file system that holds path; false when nothing can be read.
bool GetVolumeInfo(const std::string& path, VolumeInfo& info);

// A mounted volume that a user would pick as a medium: removable and optical media and
// whatever is mounted below /media, /run/media or /mnt. Label: the volume label, or empty.
struct PickableVolume {
    std::string mountPoint;
    std::string label;
    int32_t driveType = kDriveUnknown;
};
std::vector<PickableVolume> listPickableVolumes();

// Per-user folders.
std::string GetTempFolder();       // ends in a separator, or empty
std::string programFolder(const char* argv0);  // folder of the running program, ends in a separator
std::string currentUserConfigFolder();         // where the base folder setting is kept

}  // namespace qm
