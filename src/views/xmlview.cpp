#include "views/xmlview.h"

#include "foundation/appstate.h"
#include "printing/layout/fonts.h"
#include "views/launch.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace qm::desktop {

namespace {
QString qs(const std::string& s) { return QString::fromStdString(s); }

QPushButton* button(QWidget* parent, const char* name, const char* text) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromUtf8(name));
    b->setAutoDefault(false);
    return b;
}

int screenHeight(QWidget* w) {
    QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry().height() : 800;
}
}  // namespace

QString managementFileCaption(int which) {
    switch (which) {
        case 0: return QStringLiteral("業務管理ファイル(INDEX_D.XML)");
        case 1: return QStringLiteral("測量情報管理ファイル(SURVEY.XML)");
        default: return QStringLiteral("地籍調査成果管理ファイル(SURV_TSK.XML)");
    }
}

// ---- Model -------------------------------------------------------------------------

int XmlTreeModel::columnCount(const QModelIndex&) const { return ColumnCount; }

QVariant XmlTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const XmlRow& row = tree_.rows()[rowOf(index)];
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case Element: return qs(tree_.name(row));
                case Value: return qs(row.value);
                // Several findings stand one below the other in the cell.
                case Note: return qs(row.note).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                case XPath: return qs(tree_.path(row));
                case NodeType: return QString::number(row.nodeType);
            }
            return {};
        case Qt::ForegroundRole:
            if (index.column() == Element) {
                if (row.nodeType == 2) return QColor(119, 0, 119);
                if (row.nodeType == 10) return QColor(0, 119, 0);
                return QColor(0, 0, 255);
            }
            if (index.column() == Note) return QColor(255, 0, 0);
            return {};
        case Qt::BackgroundRole:
            if (row.yellow) return QColor(255, 255, 192);
            return {};
        case Qt::ToolTipRole:
            if (index.column() == Note && !row.note.empty())
                return qs(row.note).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            return {};
    }
    return {};
}

QVariant XmlTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeads[] = {"要素", "値", "備考", "XPath", "NodeType"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(kHeads[section]) : QVariant();
}

// ---- Window ------------------------------------------------------------------------

XmlView::XmlView(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmViewXML"));
    model_ = new XmlTreeModel(this);
    view_ = new QTreeView(this);
    view_->setObjectName(QStringLiteral("vsfgView"));
    view_->setModel(model_);
    view_->setUniformRowHeights(true);
    view_->setFont(gothicFont(9));
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->header()->setStretchLastSection(false);
    // Outline changes refit the name column to what is now visible, once per burst of
    // changes (expanding everything tells of every folder).
    auto* refit = new QTimer(this);
    refit->setSingleShot(true);
    refit->setInterval(0);
    connect(refit, &QTimer::timeout, this, [this] { view_->resizeColumnToContents(XmlTreeModel::Element); });
    connect(view_, &QTreeView::expanded, refit, qOverload<>(&QTimer::start));
    connect(view_, &QTreeView::collapsed, refit, qOverload<>(&QTimer::start));

    QPushButton* cmdPrint = button(this, "cmdPrint", "印刷");
    QPushButton* cmdHelp = button(this, "cmdHelp", "ヘルプ");
    QPushButton* cmdClose = button(this, "cmdClose", "閉じる");
    connect(cmdPrint, &QPushButton::clicked, this, &XmlView::cmdPrint_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &XmlView::cmdHelp_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdHelp);
    buttons->addStretch();
    buttons->addWidget(cmdPrint);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    resize(900, static_cast<int>(screenHeight(this) * 0.8));
}

int16_t XmlView::SetTree(AppState* app, const std::string& xmlFile, const std::string& logFile) {
    XmlTree& tree = model_->tree();
    tree.setStopFlag(app ? &app->stop : nullptr);
    tree.setYield([] { QCoreApplication::processEvents(); });
    const int16_t answer = tree.SetTree(xmlFile, logFile);
    model_->reset();
    if (answer != XmlTree::kBuilt) return answer;
    view_->setColumnHidden(XmlTreeModel::XPath, true);
    view_->setColumnHidden(XmlTreeModel::NodeType, true);
    // Rows are one line high and laid out as such, unless some row holds several findings:
    // then each row is measured as it comes into view.
    bool severalLines = false;
    for (const XmlRow& r : tree.rows())
        if (r.note.find('\n') != std::string::npos) {
            severalLines = true;
            break;
        }
    view_->setUniformRowHeights(!severalLines);
    // Every node open: right after the reset the view only notes each one, then lays the
    // rows out once (expandAll would take a persistent index of every row).
    for (uint32_t r = 0; r < tree.rows().size(); ++r)
        if (tree.outline().childCount(r) > 0) view_->expand(model_->indexOfRow(r));
    view_->setColumnWidth(XmlTreeModel::Element, 300);
    view_->setColumnWidth(XmlTreeModel::Value, 300);
    for (int c = 0; c <= XmlTreeModel::Note; ++c) view_->resizeColumnToContents(c);
    return answer;
}

void XmlView::cmdPrint_Click() { showPrintPreview(this, model_->tree().printDocument()); }

void XmlView::cmdHelp_Click() { showHelp(this, XmlTree::kHelpContext); }

// ---- Text window -------------------------------------------------------------------

XmlTextView::XmlTextView(const std::string& file, const XmlParseError& error, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmViewText"));
    const QString path = QFile::decodeName(QByteArray::fromStdString(file));
    setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" - XMLとして読み込めません"));
    auto* reason = new QLabel(this);
    reason->setObjectName(QStringLiteral("lblReason"));
    reason->setWordWrap(true);
    reason->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QString text = path + QStringLiteral("\n");
    if (error.line > 0) text += QString::number(error.line) + QStringLiteral("行目: ");
    text += qs(error.reason);
    reason->setText(text);
    reason->setStyleSheet(QStringLiteral("color: rgb(255,0,0);"));

    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("txtFile"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(gothicFont(10));
    const XmlFileText content = readXmlFileText(file);
    if (content.tooLarge)
        text_->setPlaceholderText(QStringLiteral("ファイルが大きすぎるため、内容は表示しません（上限%1MB）。")
                                      .arg(kMaxXmlFileBytes >> 20));
    else
        text_->setPlainText(qs(content.text));

    line_ = error.line;
    if (line_ > 0 && line_ <= text_->document()->blockCount()) {
        QTextCursor cursor(text_->document()->findBlockByNumber(line_ - 1));
        QTextEdit::ExtraSelection mark;
        mark.format.setBackground(QColor(255, 255, 160));
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        mark.cursor = cursor;
        text_->setExtraSelections({mark});
        text_->setTextCursor(cursor);
        text_->centerCursor();
    }
    QPushButton* cmdClose = button(this, "cmdClose", "閉じる");
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(reason);
    layout->addWidget(text_, 1);
    layout->addLayout(buttons);
    resize(860, static_cast<int>(screenHeight(this) * 0.7));
}

// ---- Entry point -------------------------------------------------------------------

void showXmlView(QWidget* parent, AppState& app, int16_t, int which, const std::string& xmlFile,
                 const std::string& logFile, const std::function<void()>& restore) {
    XmlView view(parent);
    view.setWindowTitle(managementFileCaption(which));
    const int16_t answer = view.SetTree(&app, xmlFile, logFile);
    if (restore) restore();
    if (answer == XmlTree::kBuilt) {
        view.exec();
    } else if (answer == XmlTree::kNotXml) {
        XmlTextView text(xmlFile, view.model()->tree().parseError(), parent);
        text.exec();
    }
}

}  // namespace qm::desktop
