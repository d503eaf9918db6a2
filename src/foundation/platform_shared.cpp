#include "foundation/platform_shared.h"

#include "foundation/text.h"

#include <algorithm>
#include <numeric>

namespace qm::platform_shared {

void sortEntries(std::vector<DirEntry>& entries) {
    std::vector<std::string> keys;
    keys.reserve(entries.size());
    for (const auto& e : entries) keys.push_back(upperAscii(e.name));
    std::vector<size_t> order(entries.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const int c = keys[a].compare(keys[b]);
        if (c != 0) return c < 0;
        const int d = entries[a].name.compare(entries[b].name);
        if (d != 0) return d < 0;
        return entries[a].raw < entries[b].raw;
    });
    std::vector<DirEntry> sorted;
    sorted.reserve(entries.size());
    for (size_t i : order) sorted.push_back(std::move(entries[i]));
    entries = std::move(sorted);
}

std::string joinNative(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return withTrailingSeparator(folder) + name;
}

bool kindFits(const DirEntry& e, EntryKind kind) {
    switch (kind) {
        case EntryKind::Folder: return e.isDir;
        case EntryKind::File: return !e.isDir;
        default: return true;
    }
}

std::vector<DirEntry> entriesMatching(Listing& listing, const std::string& pattern, EntryKind kind) {
    std::vector<DirEntry> found;
    if (!listing.ok) return found;
    for (auto& e : listing.entries) {
        if (!kindFits(e, kind)) continue;
        if (kind == EntryKind::File && e.isHidden) continue;
        if (LikeMatchNoCase(e.name, pattern)) found.push_back(std::move(e));
    }
    return found;
}

}  // namespace qm::platform_shared
