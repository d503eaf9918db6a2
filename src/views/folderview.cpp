#include "views/folderview.h"

#include "foundation/appstate.h"
#include "foundation/imagemount.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "printing/layout/fonts.h"
#include "views/launch.h"

#include <QCoreApplication>
#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QDBusMessage>
#else
#include <QDir>
#include <QProcess>
#endif
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>

namespace qm::desktop {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
QString nativeQ(const std::string& s) { return QFile::decodeName(QByteArray::fromStdString(s)); }

bool entryExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// An entry of a disc image given as a medium cannot be handed to another program
// without extracting it: says so, and answers true, for such an entry.
bool insideImage(const std::string& native, const char* caption) {
    if (!liesInImage(native)) return false;
    showMessage(caption,
                native + "\r\n\r\nディスクイメージの中のファイルやフォルダは、取り出さずにほかのプログラムで開くことはできません。"
                         "\r\nイメージをマウントするか、ディスクに書き込んでから開いてください。",
                MsgIcon::Exclamation);
    return true;
}

// The containing folder of a path (without its trailing separator).
QString folderOf(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith('/')) p.chop(1);
    return QFileInfo(p).absolutePath();
}

#ifndef Q_OS_WIN
// Asks the desktop's file manager over the session bus to show a folder (kind "explore")
// or a file selected in its folder ("select"). False when no file manager answers.
bool showInFileManager(const QString& kind, const QString& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"),
        kind == QLatin1String("select") ? QStringLiteral("ShowItems") : QStringLiteral("ShowFolders"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
    return reply.type() == QDBusMessage::ReplyMessage;
}
#endif

}  // namespace

#ifdef Q_OS_WIN
const char* const kNoFileManager = "エクスプローラを起動できませんでした。";
#else
const char* const kNoFileManager =
    "フォルダを表示するプログラムが見つかりません。\r\n"
    "xdg-utils（xdg-open）とファイルマネージャをインストールしてください。";
#endif

// ---- Model -------------------------------------------------------------------------

int FolderTreeModel::columnCount(const QModelIndex&) const { return ColumnCount; }

QIcon FolderTreeModel::iconFor(const FolderRow& row) const {
    if (row.isFolder()) {
        auto it = iconCache_.constFind(QStringLiteral("/"));
        if (it != iconCache_.constEnd()) return *it;
        QIcon icon = icons_.icon(QAbstractFileIconProvider::Folder);
        iconCache_.insert(QStringLiteral("/"), icon);
        return icon;
    }
    // Files by their extension: the theme gives the same picture for the same type.
    const QString name = qs(row.name);
    const int dot = name.lastIndexOf('.');
    const QString key = dot >= 0 ? name.mid(dot).toUpper() : QString();
    auto it = iconCache_.constFind(key);
    if (it != iconCache_.constEnd()) return *it;
    QIcon icon = icons_.icon(QFileInfo(QStringLiteral("/nonexistent/x") + key));
    if (icon.isNull()) icon = icons_.icon(QAbstractFileIconProvider::File);
    iconCache_.insert(key, icon);
    return icon;
}

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const FolderRow& row = tree_.rows()[rowOf(index)];
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case Name: return qs(row.name);
                case Time: return qs(row.time);
                case Description: return qs(row.description);
                // Several findings stand one below the other in the cell.
                case Messages: return qs(row.messages).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                case RelPath: return qs(row.relPath);
                case Kind: return QString::number(row.kind);
            }
            return {};
        case Qt::ForegroundRole: {
            const Rgb c = folderRowColour(row);
            return QColor(c.r, c.g, c.b);
        }
        case Qt::FontRole:
            if (row.isFolder()) {
                QFont f = gothicFont(9);
                f.setBold(true);
                return f;
            }
            return {};
        case Qt::DecorationRole:
            if (index.column() == Name) return iconFor(row);
            return {};
        case Qt::ToolTipRole:
            if (index.column() == Messages && !row.messages.empty())
                return qs(row.messages).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            return {};
    }
    return {};
}

QVariant FolderTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeads[] = {"名前", "更新日時", "説明", "メッセージ", "パス", "種類"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(kHeads[section]) : QVariant();
}

// ---- Window ------------------------------------------------------------------------

FolderStructureView::FolderStructureView(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmViewFolder"));
    setWindowTitle(QStringLiteral("成果参照"));
    resize(900, 640);
    launcher = &FolderStructureView::launchDefault;

    model_ = new FolderTreeModel(this);
    view_ = new QTreeView(this);
    view_->setObjectName(QStringLiteral("vsfgView"));
    view_->setModel(model_);
    view_->setUniformRowHeights(true);
    view_->setFont(gothicFont(9));
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setAlternatingRowColors(false);
    view_->header()->setStretchLastSection(false);
    // A double click opens the entry (a folder in the file manager); the outline is opened
    // and closed by its arrows, so one double click does not do both.
    view_->setExpandsOnDoubleClick(false);
    connect(view_, &QTreeView::doubleClicked, this, [this](const QModelIndex&) { cmdFileOpen_Click(); });
    // Outline changes refit the name column to what is now visible, once per burst of
    // changes (expanding everything tells of every folder).
    auto* refit = new QTimer(this);
    refit->setSingleShot(true);
    refit->setInterval(0);
    connect(refit, &QTimer::timeout, this, [this] { view_->resizeColumnToContents(0); });
    connect(view_, &QTreeView::expanded, refit, qOverload<>(&QTimer::start));
    connect(view_, &QTreeView::collapsed, refit, qOverload<>(&QTimer::start));

    auto legend = [this](const char* name, const char* text, const QString& colour) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setObjectName(QString::fromUtf8(name));
        l->setFont(QFont(kPGothic, 9));
        l->setStyleSheet(QStringLiteral("color: %1;").arg(colour));
        return l;
    };
    QLabel* lblNormal = legend("lblNormal", "■通常ファイル", QStringLiteral("rgb(0,0,0)"));
    QLabel* lblFolder = legend("lblFolder", "■フォルダ", QStringLiteral("rgb(0,0,255)"));
    lblHidden_ = legend("lblHidden", "■隠し属性ファイル", QStringLiteral("rgb(0,153,153)"));
    lblSystem_ = legend("lblSystem", "■システム属性ファイル", QStringLiteral("rgb(255,0,255)"));
    lblHidden_->setVisible(false);
    lblSystem_->setVisible(false);
    lblResult_ = new QLabel(this);
    lblResult_->setObjectName(QStringLiteral("lblResult"));
    lblResult_->setFont(QFont(kPGothic, 10, QFont::Bold));

    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromUtf8(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* cmdExp = button("cmdExp", "エクスプローラ");
    QPushButton* cmdFileOpen = button("cmdFileOpen", "開く");
    QPushButton* cmdPrint = button("cmdPrint", "印刷");
    QPushButton* cmdHelp = button("cmdHelp", "ヘルプ");
    QPushButton* cmdClose = button("cmdClose", "閉じる");
    connect(cmdExp, &QPushButton::clicked, this, &FolderStructureView::cmdExp_Click);
    connect(cmdFileOpen, &QPushButton::clicked, this, &FolderStructureView::cmdFileOpen_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &FolderStructureView::cmdPrint_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &FolderStructureView::cmdHelp_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(lblResult_);
    top->addStretch();
    auto* legends = new QHBoxLayout;
    for (QLabel* l : {lblNormal, lblFolder, lblHidden_, lblSystem_}) legends->addWidget(l);
    legends->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdExp);
    buttons->addWidget(cmdFileOpen);
    buttons->addStretch();
    buttons->addWidget(cmdPrint);
    buttons->addWidget(cmdHelp);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(view_, 1);
    layout->addLayout(legends);
    layout->addLayout(buttons);
}

bool FolderStructureView::SetTree(AppState* app, int16_t resultType, const std::string& path,
                                  const std::string& fileInfo, const std::string& logFile) {
    FolderTree& tree = model_->tree();
    tree.setStopFlag(app ? &app->stop : nullptr);
    tree.setYield([] { QCoreApplication::processEvents(); });
    const bool built = tree.SetTree(resultType, withTrailingSeparator(path), fileInfo, logFile);
    model_->reset();
    setWindowTitle(QStringLiteral("成果参照 - ") + nativeQ(tree.mediumPath()));
    lblResult_->setText(qs(tree.resultLabel()));
    lblHidden_->setVisible(tree.hiddenSeen());
    lblSystem_->setVisible(tree.systemSeen());
    view_->setColumnHidden(FolderTreeModel::RelPath, true);
    view_->setColumnHidden(FolderTreeModel::Kind, true);
    view_->setColumnHidden(FolderTreeModel::Messages, !tree.hasLog());
    // Rows are one line high and laid out as such, unless some row holds several
    // findings: then each row is measured as it comes into view, so that those rows are as
    // high as their lines.
    bool severalLines = false;
    for (const FolderRow& r : tree.rows())
        if (r.messages.find('\n') != std::string::npos) {
            severalLines = true;
            break;
        }
    view_->setUniformRowHeights(!severalLines);
    // Every folder open. Right after the reset the view only notes each folder as open
    // and lays the rows out once; expandAll would take a persistent index of every row.
    for (uint32_t r = 0; r < tree.rows().size(); ++r)
        if (tree.rows()[r].isFolder()) view_->expand(model_->indexOfRow(r));
    for (int c = 0; c < FolderTreeModel::RelPath; ++c) view_->resizeColumnToContents(c);
    return built;
}

uint32_t FolderStructureView::selectedRow() const {
    const QModelIndex current = view_->currentIndex();
    return current.isValid() ? OutlineModel::rowOf(current) : 0;
}

bool FolderStructureView::launchDefault(const QString& kind, const QString& path) {
    if (kind == QLatin1String("open")) return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#ifdef Q_OS_WIN
    // Explorer opens the folder, or the folder of the file with the file selected.
    const QString native = QDir::toNativeSeparators(path);
    QProcess explorer;
    explorer.setProgram(QStringLiteral("explorer.exe"));
    explorer.setNativeArguments(kind == QLatin1String("select") ? QStringLiteral("/select,\"%1\"").arg(native)
                                                                 : QStringLiteral("\"%1\"").arg(native));
    return explorer.startDetached();
#else
    // The file manager shows the folder, or the file selected in its folder, where it
    // offers that; otherwise the folder opens as any folder does (nothing takes it when
    // no launcher such as xdg-open is installed).
    if (showInFileManager(kind, path)) return true;
    const QString folder = kind == QLatin1String("select") ? folderOf(path) : path;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
#endif
}

bool FolderStructureView::explore(const std::string& native, bool isFolder, const char* caption) {
    const QString path = nativeQ(native);
    if (insideImage(native, caption)) return false;
    if (isFolder ? !qm::isFolder(native) : !entryExists(native)) {
        showMessage(caption,
                    path.toStdString() + "\r\n\r\n" + (isFolder ? "フォルダが見つかりません。" : "ファイルが見つかりません。"),
                    MsgIcon::Exclamation);
        return false;
    }
    if (launcher(isFolder ? QStringLiteral("explore") : QStringLiteral("select"), path)) return true;
    showMessage(caption, path.toStdString() + "\r\n\r\n" + kNoFileManager, MsgIcon::Exclamation);
    return false;
}

void FolderStructureView::cmdExp_Click() {
    const uint32_t row = selectedRow();
    explore(model_->tree().nativePath(row), model_->tree().rows()[row].isFolder(), "エクスプローラ");
}

void FolderStructureView::cmdFileOpen_Click() {
    const uint32_t row = selectedRow();
    const std::string native = model_->tree().nativePath(row);
    if (model_->tree().rows()[row].isFolder()) {
        explore(native, true, "フォルダオープン");
        return;
    }
    const QString path = nativeQ(native);
    if (insideImage(native, "ファイルオープン")) return;
    if (!entryExists(native)) {
        showMessage("ファイルオープン", path.toStdString() + "\r\n\r\nファイルが見つかりません。", MsgIcon::Exclamation);
        return;
    }
    if (!launcher(QStringLiteral("open"), path))
        showMessage("ファイルオープン", "関連付けられたアプリケーションがありません。", MsgIcon::Exclamation);
}

void FolderStructureView::cmdPrint_Click() { showPrintPreview(this, model_->tree().printDocument()); }

void FolderStructureView::cmdHelp_Click() { showHelp(this, model_->tree().helpContext()); }

// ---- Entry point -------------------------------------------------------------------

bool showFolderView(QWidget* parent, AppState& app, int16_t resultType, const std::string& checkPath,
                    const std::string& folderLog, const std::function<void()>& restore) {
    const std::string fileInfo = app.settingPath + (resultType == 2 ? "FileInfo_S.txt" : "FileInfo_C.txt");
    rememberMedia({checkPath});
    FolderStructureView view(parent);
    const bool built = view.SetTree(&app, resultType, checkPath, fileInfo, folderLog);
    if (restore) restore();
    if (!built) return false;
    view.exec();
    return true;
}

}  // namespace qm::desktop
