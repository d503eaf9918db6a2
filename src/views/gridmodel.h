// A small table of texts for the views' grids: headings, per-column alignment, per-cell
// fore colour and one number carried per row (a medium number, a finding code).
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <QVector>

namespace qm::desktop {

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(const QStringList& headings, QObject* parent = nullptr);

    struct Row {
        QStringList cells;
        QVector<QColor> fore;  // per column; invalid = the grid's own colour
        qint64 number = 0;
    };

    void setAlignment(int column, Qt::Alignment a);
    void setRows(QVector<Row> rows);
    void setCell(int row, int column, const QString& text, const QColor& fore = QColor());
    const Row& row(int r) const { return rows_[r]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList headings_;
    QVector<Qt::Alignment> alignment_;
    QVector<Row> rows_;
};

}  // namespace qm::desktop
