// The deliverables list window (frmViewDocList, "成果一覧"): per survey area and process,
// which expected documents were found. Closing only hides it; the chosen area and tab
// are kept in the list, so a later showing comes back to them.
#pragma once

#include "models/doclist.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QSortFilterProxyModel>

class QListWidget;
class QTabBar;
class QTableView;

namespace qm::desktop {

class DocListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Mark, Name, Pattern, Area, Process, ColumnCount };
    explicit DocListModel(DeliverablesList& list, QObject* parent = nullptr) : QAbstractTableModel(parent), list_(list) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    DeliverablesList& list() const { return list_; }

private:
    DeliverablesList& list_;
};

// The rows of the chosen area and tab.
class DocListFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void refilter() { invalidateFilter(); }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
};

class DeliverablesListView : public QDialog {
    Q_OBJECT
public:
    explicit DeliverablesListView(DeliverablesList& list, QWidget* parent = nullptr);

    QListWidget* areaList() const { return lstArea_; }
    QTabBar* tabs() const { return tabProcess_; }
    QTableView* view() const { return view_; }
    DocListFilter* filter() const { return filter_; }

public slots:
    void lstArea_Click();
    void tabProcess_Click();
    void cmdPrint_Click();
    void cmdHelp_Click();

private:
    void fillTabs();

    DeliverablesList& list_;
    DocListModel* model_;
    DocListFilter* filter_;
    QListWidget* lstArea_;
    QTabBar* tabProcess_;
    QTableView* view_;
    bool filling_ = false;
};

}  // namespace qm::desktop
