// Disc images (ISO 9660, Joliet, Rock Ridge, UDF and the UDF/ISO 9660 bridge) read as
// media, without mounting and without extracting them.
//
// Which tree: an image may hold up to three name trees over the same files. The one
// read is the one Windows shows when the image is burned and inserted: UDF when the
// image holds a readable UDF file system, else Joliet, else plain ISO 9660. Rock Ridge
// names are detected and reported but never used: Windows ignores them, so a disc made
// with Rock Ridge only shows its plain ISO 9660 names there, and those are what the
// receiver of the delivery gets. Plain ISO 9660 and Joliet names lose their ";1" version
// suffix and a trailing "." as Windows shows them. A UDF revision this reader cannot
// follow (a virtual allocation table) falls back to the ISO 9660 side of a bridge image,
// and the facts say so.
//
// libcdio (libiso9660 and libudf) opens the image and reads its sectors and the volume
// descriptors it recognises; the directories themselves are walked here, with every
// offset checked against the block it lies in, because the directory readers of those
// libraries trust the image (and truncate non-Latin Joliet names).
//
// Bounds: the image is never loaded; its tree is indexed once at open (names, kinds,
// sizes, dates, the hidden attribute), at most kMaxEntries entries, a folder's
// directory data at most kMaxFolderBytes, folders at most kMaxDepth deep. Every
// directory extent is read once: a folder whose data is already part of the tree (a
// loop back up, or a folder shared by two parents) makes the image corrupt. Reading a
// file is bounded by the caller's limit. Every problem is an answer, never a crash.
//
// Use by the engine: open the image once per medium, then list folders and look up
// entries by medium-relative paths ("\" or "/" separated, "" for the top), ASCII case
// ignored as the platform layer does, and read the management files and DTDs with
// readFile(). Listings have the shape and order of listFolder()'s. facts() feeds the
// image section of the summary.
#pragma once

#include "foundation/platform.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct DiscEntry {
    std::string name;      // as Windows shows it (UTF-8)
    bool isDir = false;
    bool hidden = false;   // the hidden attribute of the file system
    uint64_t size = 0;
    LocalDate modified;    // local time
    uint32_t folder = 0;   // for a folder: its index in the image's folders
};

enum class DiscProblem { None, NotFound, Unreadable, NotImage, Truncated, Corrupt, Unsupported, TooLarge };

// A writable medium that an image may be burned to.
struct DiscMedium {
    const char* name;      // "CD-R", "DVD-R", ...
    uint64_t capacity;     // bytes of user data
};
// The media in order of capacity: CD-R 700 MB (80 min, 360,000 sectors of 2,048 bytes),
// DVD-R 4.7 GB (2,298,496 sectors), DVD-R DL 8.5 GB (4,171,712 sectors), BD-R 25 GB
// (12,219,392 clusters of 2,048 bytes), BD-R DL 50 GB (24,438,784).
const std::vector<DiscMedium>& discMedia();

struct DiscFacts {
    bool iso9660 = false;
    int isoLevel = 0;            // 1..3 as the plain ISO 9660 tree shows it (0: no such tree)
    bool joliet = false;
    int jolietLevel = 0;         // 1..3
    bool rockRidge = false;
    bool udf = false;
    uint16_t udfRevision = 0;    // 0x0102, 0x0150, 0x0201, 0x0250, 0x0260 ...
    bool bridge() const { return udf && iso9660; }
    std::string tree;            // the tree read: "UDF", "Joliet" or "ISO 9660"
    std::string note;            // why a tree other than the one Windows shows was read (empty: none)
    std::string label;           // the volume label of the tree read
    // The volume serial number of an image medium: the volume descriptor of the tree read
    // (ISO 9660: the primary one, Joliet: the supplementary one, UDF: the logical volume
    // descriptor) summed byte by byte into four bytes, as Windows numbers an ISO 9660 CD;
    // 1 where that sum is 0, so that 0 stays "unknown".
    uint32_t volumeSerial = 0;
    uint64_t imageSize = 0;      // bytes of the image file
    // Names that ISO 9660 level 1 does not hold (8+3 characters of A-Z, 0-9 and "_",
    // folders at most 8 levels deep), as "\"-separated medium-relative paths; only when
    // the image has neither Joliet nor UDF. At most kMaxListed kept, all counted.
    std::vector<std::string> level1Breaks;
    size_t level1BreakCount = 0;
    // Files of 4 GiB or more, in an image with ISO 9660 only (same limits).
    std::vector<std::string> largeFiles;
    size_t largeFileCount = 0;
    // The smallest of discMedia() that holds the image (nullptr: none does).
    const DiscMedium* smallestMedium = nullptr;

    static constexpr size_t kMaxListed = 1000;
    std::string fileSystems() const;  // "UDF 1.02 / ISO 9660 レベル 1 / Joliet" and the like
};

class DiscImage {
public:
    static constexpr size_t kMaxEntries = 5000000;
    static constexpr uint64_t kMaxFolderBytes = 64ull << 20;
    static constexpr int kMaxDepth = 255;
    static constexpr uint64_t kMaxReadBytes = 128ull << 20;

    ~DiscImage();
    DiscImage(const DiscImage&) = delete;
    DiscImage& operator=(const DiscImage&) = delete;

    // Opens and indexes the image at path (native path). On failure: nullptr, with the
    // kind and a Japanese text for the user in problem/problemText.
    static std::unique_ptr<DiscImage> open(const std::string& path, DiscProblem& problem,
                                           std::string& problemText);

    // True when the file starts like an image (ISO 9660 or UDF volume recognition), so that
    // a caller can tell an image from another file without indexing it.
    static bool looksLikeImage(const std::string& path);

    const DiscFacts& facts() const { return facts_; }
    size_t entryCount() const { return entryCount_; }
    size_t folderCount() const { return folders_.size(); }

    // The entry at a relative path ("" or "\" is the top: nullptr). ASCII case is
    // ignored, an exact match preferred, as resolveRel() does on a folder.
    const DiscEntry* find(std::string_view relPath) const;
    // The folder at a relative path (false when there is none).
    bool isFolder(std::string_view relPath) const;
    // A folder's entries, sorted as listFolder() sorts them; ok=false when relPath is no
    // folder of the image.
    Listing list(std::string_view relPath) const;
    // The entries of a folder in that order (nullptr for no folder).
    const std::vector<DiscEntry>* entries(std::string_view relPath) const;

    // Reads a whole file. False with a Japanese reason when it is no file of the image,
    // larger than limit, or cannot be read.
    bool readFile(std::string_view relPath, std::string& bytes, std::string& reason,
                  uint64_t limit = kMaxReadBytes) const;

    struct Source;

private:
    DiscImage();
    struct Folder {
        std::vector<DiscEntry> entries;  // sorted by upper-cased name, ties by name
        std::vector<uint64_t> where;     // per entry: where its data lies (see discimage.cpp)
        std::string path;                // "\"-separated, "" for the top
        int depth = 1;                   // the top is 1
    };
    int32_t folderAt(std::string_view relPath) const;
    const DiscEntry* lookup(uint32_t folder, std::string_view name, size_t* index) const;
    bool locate(std::string_view relPath, uint32_t& folder, size_t& index) const;

    std::unique_ptr<Source> src_;
    std::vector<Folder> folders_;
    size_t entryCount_ = 0;
    DiscFacts facts_;
    friend struct DiscIndexer;
};

}  // namespace qm
