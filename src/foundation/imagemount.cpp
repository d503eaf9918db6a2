// Disc images as media: the images opened in this run and the platform layer's answers
// for paths inside them.
#include "foundation/imagemount.h"

#include "foundation/text.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>

namespace qm {

namespace {

struct Mounted {
    std::string path;  // absolute, without a trailing separator
    std::unique_ptr<DiscImage> image;
    uint64_t size = 0;      // the image file when it was opened
    int64_t written = 0;
    std::mutex reading;  // libcdio's handles seek: one read at a time
};

// Images are never closed before the program ends, so the pointers handed out stay valid.
std::mutex g_mutex;
std::vector<std::unique_ptr<Mounted>> g_images;
std::vector<std::unique_ptr<Mounted>> g_replaced;  // images made again since they were opened
std::atomic<size_t> g_count{0};

bool isSeparator(char c) { return c == '/' || c == nativeSeparator(); }

std::string withoutTrailingSeparators(std::string p) {
    while (p.size() > 1 && isSeparator(p.back())) p.pop_back();
    return p;
}

// The image that path lies in and the path inside it (separators as given, leading ones
// removed); nullptr when none. Cheap when no image is open.
Mounted* holding(const std::string& path, std::string* rel = nullptr) {
    if (g_count.load(std::memory_order_acquire) == 0) return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const auto& m : g_images) {
        const std::string& p = m->path;
        if (path.size() < p.size() || path.compare(0, p.size(), p) != 0) continue;
        if (path.size() > p.size() && !isSeparator(path[p.size()])) continue;
        if (rel) {
            size_t b = p.size();
            while (b < path.size() && isSeparator(path[b])) ++b;
            rel->assign(path, b, std::string::npos);
        }
        return m.get();
    }
    return nullptr;
}

bool kindFits(bool isDir, EntryKind kind) {
    switch (kind) {
        case EntryKind::Folder: return isDir;
        case EntryKind::File: return !isDir;
        default: return true;
    }
}

}  // namespace

bool discImagesSupported() {
#ifdef QM_HAVE_DISCIMAGE
    return true;
#else
    return false;
#endif
}

bool looksLikeImageFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
#ifdef QM_HAVE_DISCIMAGE
    return true;  // the reader tells an image from another file, and says which
#endif
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos) return false;
    const std::string ext = upperAscii(path.substr(dot));
    return ext == ".ISO" || ext == ".IMG" || ext == ".UDF";
}

bool mountImage(const std::string& imagePath, std::string& top, std::string& problem) {
    problem.clear();
    std::error_code ec;
    std::string path = std::filesystem::absolute(imagePath, ec).lexically_normal().string();
    if (ec || path.empty()) path = imagePath;
    path = withoutTrailingSeparators(path);
    top = path + nativeSeparator();
#ifdef QM_HAVE_DISCIMAGE
    // An image made again since it was opened (the tree corrected and imaged anew) is
    // opened again; the one read before stays valid for whoever still holds it.
    const uint64_t size = std::filesystem::file_size(path, ec);
    const int64_t written = ec ? 0 : std::filesystem::last_write_time(path, ec).time_since_epoch().count();
    if (const Mounted* m = holding(path); m && m->path == path && m->size == size && m->written == written) return true;
    DiscProblem kind = DiscProblem::None;
    std::unique_ptr<DiscImage> image = DiscImage::open(path, kind, problem);
    if (!image) {
        if (problem.empty()) problem = "ディスクイメージを読み取れません。";
        return false;
    }
    auto m = std::make_unique<Mounted>();
    m->path = path;
    m->image = std::move(image);
    m->size = size;
    m->written = written;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto& old : g_images)
        if (old->path == path) {
            g_replaced.push_back(std::move(old));
            old = std::move(m);
            return true;
        }
    g_images.push_back(std::move(m));
    g_count.store(g_images.size(), std::memory_order_release);
    return true;
#else
    problem = "ディスクイメージはこの版では扱えません。イメージをマウントするか、中身をフォルダにコピーして、そのフォルダを指定してください。";
    return false;
#endif
}

const DiscImage* imageHolding(const std::string& path) {
    const Mounted* m = holding(path);
    return m ? m->image.get() : nullptr;
}

std::string imageFileOf(const std::string& path) {
    const Mounted* m = holding(path);
    return m ? m->path : std::string();
}

std::vector<MountedImage> mountedImages() {
    std::vector<MountedImage> out;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const auto& m : g_images) out.push_back({m->path, m->path + nativeSeparator(), m->image.get()});
    return out;
}

ImageRead readImageFile(const std::string& path, uint64_t limit, std::string& bytes, std::string& reason) {
    bytes.clear();
    reason.clear();
    std::string rel;
    Mounted* m = holding(path, &rel);
    if (!m) return ImageRead::NotImage;
    const DiscEntry* e = m->image->find(rel);
    if (!e) return ImageRead::Missing;
    if (e->isDir) return ImageRead::NotPlain;
    if (e->size > limit) return ImageRead::TooLarge;
    std::lock_guard<std::mutex> lock(m->reading);
    return m->image->readFile(rel, bytes, reason, limit) ? ImageRead::Ok : ImageRead::Failed;
}

bool imageListing(const std::string& path, Listing& out) {
    std::string rel;
    const Mounted* m = holding(path, &rel);
    if (!m) return false;
    out = m->image->list(rel);
    return true;
}

bool imageFindEntries(const std::string& folder, const std::string& pattern, EntryKind kind,
                      std::vector<DirEntry>& out) {
    Listing l;
    if (!imageListing(folder, l)) return false;
    out.clear();
    for (auto& e : l.entries) {
        if (!kindFits(e.isDir, kind)) continue;
        if (kind == EntryKind::File && e.isHidden) continue;
        if (LikeMatchNoCase(e.name, pattern)) out.push_back(std::move(e));
    }
    return true;
}

// As resolveRel() on a folder: each component matched ignoring ASCII case, an exact match
// preferred, and of the kind wanted (folders on the way).
bool imageResolveRel(const std::string& top, const std::string& relBackslash, EntryKind kind,
                     std::optional<std::string>& out) {
    std::string topRel;
    const Mounted* m = holding(top, &topRel);
    if (!m) return false;
    out.reset();
    const std::optional<std::vector<std::string>> split = downwardParts(relBackslash);
    if (!split) return true;
    const std::vector<std::string>& parts = *split;
    // The top itself must be there as a folder of the image.
    if (!m->image->isFolder(topRel)) {
        if (parts.empty() && kind != EntryKind::Folder) {
            const DiscEntry* e = m->image->find(topRel);
            if (e && !e->isDir) out = top;
        }
        return true;
    }
    std::string path = withoutTrailingSeparators(top);
    std::string folder = topRel;
    if (parts.empty()) {
        if (kind != EntryKind::File) out = top;
        return true;
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        const EntryKind want = i + 1 == parts.size() ? kind : EntryKind::Folder;
        const std::vector<DiscEntry>* entries = m->image->entries(folder);
        if (!entries) return true;
        const std::string key = upperAscii(parts[i]);
        auto it = std::lower_bound(entries->begin(), entries->end(), key,
                                   [](const DiscEntry& e, const std::string& k) { return upperAscii(e.name) < k; });
        const DiscEntry* hit = nullptr;
        for (; it != entries->end() && upperAscii(it->name) == key; ++it) {
            if (!kindFits(it->isDir, want)) continue;
            if (!hit || it->name == parts[i]) hit = &*it;
            if (it->name == parts[i]) break;
        }
        if (!hit) return true;
        path += nativeSeparator();
        path += hit->name;
        folder += '\\';
        folder += hit->name;
    }
    out = path;
    return true;
}

bool imageIsFolder(const std::string& path, bool& out) {
    std::string rel;
    const Mounted* m = holding(path, &rel);
    if (!m) return false;
    out = m->image->isFolder(rel);
    return true;
}

bool imageIsPlainFile(const std::string& path, bool& out) {
    std::string rel;
    const Mounted* m = holding(path, &rel);
    if (!m) return false;
    const DiscEntry* e = m->image->find(rel);
    out = e != nullptr && !e->isDir;
    return true;
}

bool imageModifiedDate(const std::string& path, std::optional<LocalDate>& out) {
    std::string rel;
    const Mounted* m = holding(path, &rel);
    if (!m) return false;
    out.reset();
    if (const DiscEntry* e = m->image->find(rel)) out = e->modified;
    return true;
}

bool imageDriveType(const std::string& path, int32_t& out) {
    if (!holding(path)) return false;
    out = kDriveCdRom;
    return true;
}

bool imageVolumeInfo(const std::string& path, VolumeInfo& info, bool& out) {
    const Mounted* m = holding(path);
    if (!m) return false;
    info = VolumeInfo{};
    const DiscFacts& f = m->image->facts();
    info.label = f.label;
    info.serial = f.volumeSerial;
    info.fileSystem = f.tree == "UDF" ? "udf" : "iso9660";
    info.mountPoint = m->path + nativeSeparator();
    out = true;
    return true;
}

}  // namespace qm
