#include "views/outlinemodel.h"

namespace qm::desktop {

QModelIndex OutlineModel::index(int row, int column, const QModelIndex& parent) const {
    const OutlineIndex* o = outline();
    if (!o || row < 0 || column < 0 || column >= columnCount(parent)) return {};
    const uint32_t p = parent.isValid() ? rowOf(parent) : kNoParent;
    if (static_cast<size_t>(row) >= o->childCount(p)) return {};
    return createIndex(row, column, static_cast<quintptr>(o->child(p, static_cast<size_t>(row))));
}

QModelIndex OutlineModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    const uint32_t p = parentOf(rowOf(child));
    if (p == kNoParent) return {};
    return createIndex(static_cast<int>(outline()->indexInParent(p)), 0, static_cast<quintptr>(p));
}

int OutlineModel::rowCount(const QModelIndex& parent) const {
    const OutlineIndex* o = outline();
    if (!o || rowTotal() == 0) return 0;
    if (parent.isValid() && parent.column() != 0) return 0;
    return static_cast<int>(o->childCount(parent.isValid() ? rowOf(parent) : kNoParent));
}

QModelIndex OutlineModel::indexOfRow(uint32_t row, int column) const {
    if (row >= rowTotal()) return {};
    return createIndex(static_cast<int>(outline()->indexInParent(row)), column, static_cast<quintptr>(row));
}

}  // namespace qm::desktop
