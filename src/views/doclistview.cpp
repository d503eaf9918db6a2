#include "views/doclistview.h"

#include "printing/layout/fonts.h"
#include "views/launch.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>

namespace qm::desktop {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }
}

// ---- Model -------------------------------------------------------------------------

int DocListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.gridRows().size());
}

int DocListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant DocListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto& row = list_.gridRows()[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case Mark: return qs(row.mark);
            case Name: return qs(row.name);
            case Pattern: return qs(row.pattern);
            case Area: return qs(row.area);
            case Process: return qs(row.code);
        }
    }
    if (role == Qt::TextAlignmentRole)
        return index.column() == Mark ? int(Qt::AlignCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant DocListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    switch (section) {
        case Mark: return QStringLiteral("成果ﾌｧｲﾙ\n有無");
        case Name: return QStringLiteral("成果名");
        case Pattern: return QString();
        case Area: return QStringLiteral("地区");
        case Process: return QStringLiteral("工程");
    }
    return {};
}

bool DocListFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    const DeliverablesList& list = static_cast<DocListModel*>(sourceModel())->list();
    return list.rowVisible(static_cast<size_t>(sourceRow), list.selectedArea, list.selectedTab);
}

// ---- Window ------------------------------------------------------------------------

DeliverablesListView::DeliverablesListView(DeliverablesList& list, QWidget* parent) : QDialog(parent), list_(list) {
    setObjectName(QStringLiteral("frmViewDocList"));
    setWindowTitle(QStringLiteral("成果一覧"));
    resize(860, 600);
    if (!list_.gridBuilt()) list_.setGrid();

    auto* areaBox = new QGroupBox(QStringLiteral("地区"), this);
    areaBox->setFont(QFont(kPGothic, 9));
    lstArea_ = new QListWidget(areaBox);
    lstArea_->setObjectName(QStringLiteral("lstArea"));
    lstArea_->setFont(gothicFont(10));
    for (const auto& a : list_.areaLines()) {
        auto* item = new QListWidgetItem(qs(a.label), lstArea_);
        item->setData(Qt::UserRole, a.index);
    }
    auto* areaLayout = new QVBoxLayout(areaBox);
    areaLayout->addWidget(lstArea_);
    areaBox->setMaximumWidth(260);

    tabProcess_ = new QTabBar(this);
    tabProcess_->setObjectName(QStringLiteral("tabProcess"));
    tabProcess_->setFont(gothicFont(9));
    tabProcess_->setExpanding(false);

    model_ = new DocListModel(list_, this);
    filter_ = new DocListFilter(this);
    filter_->setSourceModel(model_);
    auto* gridBox = new QGroupBox(QStringLiteral("成果"), this);
    gridBox->setFont(QFont(kPGothic, 9));
    view_ = new QTableView(gridBox);
    view_->setObjectName(QStringLiteral("vsfgView"));
    view_->setModel(filter_);
    view_->setFont(gothicFont(10));
    view_->verticalHeader()->setVisible(false);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    view_->setSelectionMode(QAbstractItemView::NoSelection);
    view_->setColumnHidden(DocListModel::Pattern, true);
    view_->setColumnHidden(DocListModel::Area, true);
    view_->setColumnHidden(DocListModel::Process, true);
    view_->setColumnWidth(DocListModel::Mark, 80);
    view_->setColumnWidth(DocListModel::Name, 520);
    view_->horizontalHeader()->setStretchLastSection(true);
    auto* gridLayout = new QVBoxLayout(gridBox);
    gridLayout->addWidget(tabProcess_);
    gridLayout->addWidget(view_, 1);

    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromUtf8(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* cmdPrint = button("cmdPrint", "印刷");
    QPushButton* cmdHelp = button("cmdHelp", "ヘルプ");
    QPushButton* cmdClose = button("cmdClose", "閉じる");
    connect(cmdPrint, &QPushButton::clicked, this, &DeliverablesListView::cmdPrint_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &DeliverablesListView::cmdHelp_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* body = new QHBoxLayout;
    body->addWidget(areaBox);
    body->addWidget(gridBox, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdHelp);
    buttons->addWidget(cmdPrint);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);

    // Back to the area and tab of the last showing.
    filling_ = true;
    if (list_.selectedArea >= 0 && list_.selectedArea < lstArea_->count()) lstArea_->setCurrentRow(list_.selectedArea);
    filling_ = false;
    const std::string keep = list_.selectedTab;
    fillTabs();
    for (int i = 0; i < tabProcess_->count(); ++i)
        if (tabProcess_->tabData(i).toString().toStdString() == keep) tabProcess_->setCurrentIndex(i);
    list_.selectedTab = keep;
    filter_->refilter();

    connect(lstArea_, &QListWidget::currentRowChanged, this, &DeliverablesListView::lstArea_Click);
    connect(tabProcess_, &QTabBar::currentChanged, this, &DeliverablesListView::tabProcess_Click);
}

void DeliverablesListView::fillTabs() {
    filling_ = true;
    while (tabProcess_->count() > 0) tabProcess_->removeTab(0);
    for (const auto& t : list_.tabsFor(list_.selectedArea)) {
        const int i = tabProcess_->addTab(qs(t.caption));
        tabProcess_->setTabData(i, qs(t.key));
    }
    filling_ = false;
}

void DeliverablesListView::lstArea_Click() {
    if (filling_ || lstArea_->currentRow() < 0) return;
    list_.selectedArea = lstArea_->currentRow();
    fillTabs();
    tabProcess_->setCurrentIndex(0);
    tabProcess_Click();
}

void DeliverablesListView::tabProcess_Click() {
    if (filling_) return;
    const int i = tabProcess_->currentIndex();
    list_.selectedTab = i >= 0 ? tabProcess_->tabData(i).toString().toStdString() : std::string();
    filter_->refilter();
    view_->setCurrentIndex({});
}

void DeliverablesListView::cmdPrint_Click() { showPrintPreview(this, list_.printDocument()); }

void DeliverablesListView::cmdHelp_Click() { showHelp(this, DeliverablesList::kHelpContext); }

// ---- Entry point -------------------------------------------------------------------

void showDeliverablesList(QWidget* parent, AppState&, DeliverablesList& list) {
    DeliverablesListView view(list, parent);
    view.exec();
}

}  // namespace qm::desktop
