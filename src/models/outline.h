// Rows of an outline (a tree kept as a list in tree order, each row with its parent),
// and the child index that a tree model needs to walk it both ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm {

inline constexpr uint32_t kNoParent = UINT32_MAX;

class OutlineIndex {
public:
    // parents[i]: the row index of row i's parent, or kNoParent for a top row. Rows are
    // in tree order, so a parent always comes before its children.
    void build(const std::vector<uint32_t>& parents);

    size_t childCount(uint32_t parent) const;  // kNoParent: the top rows
    uint32_t child(uint32_t parent, size_t n) const;
    uint32_t indexInParent(uint32_t row) const { return position_[row]; }

private:
    std::vector<uint32_t> offsets_;   // row r's children: children_[offsets_[r] .. offsets_[r + 1])
    std::vector<uint32_t> children_;  // grouped by parent, top rows last
    std::vector<uint32_t> position_;  // index of each row among its siblings
};

}  // namespace qm
