#include "models/outline.h"

namespace qm {

// Slot n of offsets_ stands for row n; the last slot stands for the top rows.
void OutlineIndex::build(const std::vector<uint32_t>& parents) {
    const size_t n = parents.size();
    auto slot = [n](uint32_t parent) { return parent == kNoParent ? n : static_cast<size_t>(parent); };
    offsets_.assign(n + 2, 0);
    for (uint32_t p : parents) ++offsets_[slot(p) + 1];
    for (size_t i = 1; i < offsets_.size(); ++i) offsets_[i] += offsets_[i - 1];
    children_.assign(n, 0);
    position_.assign(n, 0);
    std::vector<uint32_t> fill(offsets_.begin(), offsets_.end() - 1);
    for (uint32_t r = 0; r < n; ++r) {
        const size_t s = slot(parents[r]);
        position_[r] = fill[s] - offsets_[s];
        children_[fill[s]++] = r;
    }
}

size_t OutlineIndex::childCount(uint32_t parent) const {
    if (offsets_.empty()) return 0;
    const size_t s = parent == kNoParent ? offsets_.size() - 2 : parent;
    return offsets_[s + 1] - offsets_[s];
}

uint32_t OutlineIndex::child(uint32_t parent, size_t n) const {
    const size_t s = parent == kNoParent ? offsets_.size() - 2 : parent;
    return children_[offsets_[s] + n];
}

}  // namespace qm
