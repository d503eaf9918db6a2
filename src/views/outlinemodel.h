// A tree model over rows kept in tree order with their parents (OutlineIndex): the views
// of a medium's folders and of a management file share the walking; each says what a
// cell shows.
#pragma once

#include "models/outline.h"

#include <QAbstractItemModel>

namespace qm::desktop {

class OutlineModel : public QAbstractItemModel {
    Q_OBJECT
public:
    using QAbstractItemModel::QAbstractItemModel;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;

    // The row of the engine's list that an index stands for.
    static uint32_t rowOf(const QModelIndex& index) { return static_cast<uint32_t>(index.internalId()); }
    // The index of a row of the engine's list, in a given column.
    QModelIndex indexOfRow(uint32_t row, int column = 0) const;

protected:
    virtual const OutlineIndex* outline() const = 0;
    virtual uint32_t parentOf(uint32_t row) const = 0;
    virtual size_t rowTotal() const = 0;
};

}  // namespace qm::desktop
