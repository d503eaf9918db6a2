#include "views/gridmodel.h"

namespace qm::desktop {

GridModel::GridModel(const QStringList& headings, QObject* parent)
    : QAbstractTableModel(parent), headings_(headings),
      alignment_(headings.size(), Qt::AlignLeft | Qt::AlignVCenter) {}

void GridModel::setAlignment(int column, Qt::Alignment a) {
    if (column >= 0 && column < alignment_.size()) alignment_[column] = a | Qt::AlignVCenter;
}

void GridModel::setRows(QVector<Row> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void GridModel::setCell(int row, int column, const QString& text, const QColor& fore) {
    if (row < 0 || row >= rows_.size() || column < 0 || column >= headings_.size()) return;
    Row& r = rows_[row];
    while (r.cells.size() < headings_.size()) r.cells.append(QString());
    r.cells[column] = text;
    if (r.fore.size() < headings_.size()) r.fore.resize(headings_.size());
    r.fore[column] = fore;
    emit dataChanged(index(row, column), index(row, column));
}

int GridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(rows_.size()); }

int GridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(headings_.size()); }

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) return {};
    const Row& r = rows_[index.row()];
    const int c = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return c < r.cells.size() ? r.cells[c] : QString();
        case Qt::ForegroundRole:
            if (c < r.fore.size() && r.fore[c].isValid()) return r.fore[c];
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(alignment_.value(c, Qt::AlignLeft | Qt::AlignVCenter));
        case Qt::UserRole:
            return r.number;
        default:
            return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= headings_.size()) return {};
    if (role == Qt::DisplayRole) return headings_[section];
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

}  // namespace qm::desktop
