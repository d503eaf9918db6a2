#include "workflow/mainwindow.h"

#include "checks/inspection.h"
#include "models/runsetup.h"
#include "checks/xmldoc.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "views/launch.h"
#include "workflow/appicon.h"
#include "workflow/checkrundialog.h"
#include "workflow/desktopsettings.h"
#include "workflow/mediumlocationdialog.h"
#include "workflow/smalldialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace qm::desktop {

namespace {

QToolButton* pictureCommand(QWidget* parent, const char* name, const QString& text, const QIcon& icon) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(text);
    b->setIcon(icon);
    b->setIconSize(QSize(40, 40));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setMinimumSize(110, 80);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

}  // namespace

QString MainWindow::guidelinesText() {
    return QStringLiteral("－ 対応電子納品要領 －\n\n") + "・「" + kGuidelineCadastral + "」　" + kGuidelineEdition +
           "\n\n" + "・「" + kGuidelinePreliminary + "」　" + kGuidelineEdition;
}

MainWindow::MainWindow(AppState& app, QWidget* parent) : QMainWindow(parent), app_(app) {
    setObjectName("frmMain");
    setWindowTitle(QStringLiteral("Quillmark"));
    setWindowIcon(appIcon());

    auto* central = new QWidget(this);
    setCentralWidget(central);

    fraMenu_ = new QFrame(central);
    fraMenu_->setObjectName("fraMenu");
    static_cast<QFrame*>(fraMenu_)->setFrameShape(QFrame::StyledPanel);
    cmdCheck_ = pictureCommand(fraMenu_, "cmdCheck", QStringLiteral("成果チェック"), appIcon());
    cmdViewFolder_ = pictureCommand(fraMenu_, "cmdViewFolder", QStringLiteral("成果参照"), viewIcon());
    auto* lblInfoC = label(fraMenu_, "lblInfoC",
                           QStringLiteral("成果ファイルが規定に従って格納されているか、"
                                          "また、管理ファイルが正しく作成されているかチェックします。"));
    auto* lblInfoV =
        label(fraMenu_, "lblInfoV", QStringLiteral("成果メディア（CD/DVD/BD）、または指定フォルダ内の成果を参照します。"));
    for (QLabel* l : {lblInfoC, lblInfoV}) l->setWordWrap(true);
    auto* menuGrid = new QGridLayout(fraMenu_);
    menuGrid->addWidget(cmdCheck_, 0, 0);
    menuGrid->addWidget(lblInfoC, 0, 1);
    menuGrid->addWidget(cmdViewFolder_, 1, 0);
    menuGrid->addWidget(lblInfoV, 1, 1);
    menuGrid->setColumnStretch(1, 1);

    auto* lblInfoR = label(central, "lblInfoR", guidelinesText());
    lblInfoR->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* lblCopyright = label(central, "lblCopyright", QStringLiteral("Orvandel"));
    cmdExit_ = new QPushButton(QStringLiteral("終了"), central);
    cmdExit_->setObjectName("cmdExit");

    fraInfo_ = new QFrame(central);
    fraInfo_->setObjectName("fraInfo");
    lblInfo_ = label(fraInfo_, "lblInfo", QStringLiteral("処理中・・・"));
    auto* cmdStop = new QPushButton(QStringLiteral("中断"), fraInfo_);
    cmdStop->setObjectName("cmdStop");
    auto* infoRow = new QHBoxLayout(fraInfo_);
    infoRow->setContentsMargins(0, 0, 0, 0);
    infoRow->addWidget(lblInfo_);
    infoRow->addStretch();
    infoRow->addWidget(cmdStop);
    fraInfo_->setVisible(false);

    auto* body = new QHBoxLayout;
    body->addWidget(fraMenu_, 3);
    body->addSpacing(12);
    body->addWidget(lblInfoR, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblCopyright);
    bottom->addStretch();
    bottom->addWidget(cmdExit_);
    auto* top = new QVBoxLayout(central);
    top->addLayout(body, 1);
    top->addWidget(fraInfo_);
    top->addLayout(bottom);

    // Menus.
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mnuFile->setObjectName("mnuFile");
    QAction* mnuFileConfig = mnuFile->addAction(QStringLiteral("環境設定..."), this, &MainWindow::editSettings);
    mnuFileConfig->setObjectName("mnuFileConfig");
    mnuFile->addSeparator();
    QAction* mnuFileExit = mnuFile->addAction(QStringLiteral("終了(&X)"), this, &MainWindow::close);
    mnuFileExit->setObjectName("mnuFileExit");
    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    mnuHelp->setObjectName("mnuHelp");
    QAction* mnuHelpIndex = mnuHelp->addAction(QStringLiteral("目次(&C)"), this, [this] { showHelp(this, 0); });
    mnuHelpIndex->setObjectName("mnuHelpIndex");
    QAction* mnuHelpVersion = mnuHelp->addAction(QStringLiteral("バージョン情報(&A)..."), this, &MainWindow::showAbout);
    mnuHelpVersion->setObjectName("mnuHelpVersion");
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] { showHelp(this, 0); });

    connect(cmdCheck_, &QToolButton::clicked, this, &MainWindow::checkDelivery);
    connect(cmdViewFolder_, &QToolButton::clicked, this, &MainWindow::viewDelivery);
    connect(cmdExit_, &QPushButton::clicked, this, &MainWindow::close);
    connect(cmdStop, &QPushButton::clicked, this, [this] { app_.stop.store(true); });

    // Without a log folder nothing can be checked; the tooltip says why.
    if (app_.logPath.empty()) {
        cmdCheck_->setEnabled(false);
        cmdCheck_->setToolTip(QString::fromStdString(
            app_.logFolderProblem.empty() ? std::string("ログフォルダを作成できないため、チェックできません。")
                                          : app_.logFolderProblem));
    }
    resize(860, 400);
}

void MainWindow::checkDelivery() {
    if (!CheckXmlParser()) {
        showMessage("XMLPerser", "Microsoft XMLパーサー3.0以上がインストールされていません。\n\n"
                                 "本ソフトが動作するには、MSXMLPerser3.0以上が必要です。");
        return;
    }
    std::string folder;
    {
        MediumLocationDialog dialog(this);
        dialog.SetMediaNum(1);
        if (!app_.lastPath.empty()) dialog.SetDefaultPath(app_.lastPath);
        else if (!app_.basePath.empty()) dialog.SetBasePath(app_.basePath);
        dialog.exec();
        if (!dialog.IsOK()) return;
        folder = withTrailingSeparator(dialog.GetCheckFolder());
    }
    app_.lastPath = folder;
    VolumeInfo volume;
    const uint32_t serial = GetVolumeInfo(folder, volume) ? volume.serial : 0;

    DeliveryInspection found;
    if (!inspectForCheck(folder, found)) return;

    CheckRunDialog run(app_, this);
    run.SetJudgeResult(found.resultType, found.mediaCount, found.flags, folder, serial);
    run.exec();
}

void MainWindow::setBusy(bool busy) {
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
    fraInfo_->setVisible(busy);
    fraMenu_->setEnabled(!busy);
    cmdExit_->setEnabled(!busy);
}

void MainWindow::viewDelivery() {
    std::string folder;
    {
        MediumLocationDialog dialog(this);
        dialog.setRequest(QStringLiteral("成果ファイルがある場所を指定してください。"));
        if (!app_.lastPath.empty()) dialog.SetDefaultPath(app_.lastPath);
        else if (!app_.basePath.empty()) dialog.SetBasePath(app_.basePath);
        dialog.exec();
        if (!dialog.IsOK()) return;
        folder = withTrailingSeparator(dialog.GetCheckFolder());
    }
    app_.lastPath = folder;
    lblInfo_->setText(QStringLiteral("フォルダ構成を取得しています・・・"));
    setBusy(true);
    QApplication::processEvents();

    int16_t type = JudgeResultType(managementFile(folder, "SURVEY\\SURVEY.XML"));
    if (type == 0) {
        QApplication::restoreOverrideCursor();
        ResultTypeDialog ask(this);
        ask.exec();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (!ask.IsOK()) {
            setBusy(false);
            return;
        }
        type = ask.GetResultType();
    }
    app_.stop.store(false);
    // The progress panel and its stop command stay up while the tree is built.
    showFolderView(this, app_, type, folder, std::string(), [this] { setBusy(false); });
}

void MainWindow::editSettings() {
    BaseFolderDialog dialog(this);
    dialog.SetBasePath(QString::fromStdString(app_.basePath));
    dialog.exec();
    if (!dialog.IsOK()) return;
    app_.basePath = dialog.GetBasePath().toStdString();
    writeBasePath(dialog.GetBasePath());
}

void MainWindow::showAbout() {
    AboutDialog about(this);
    about.exec();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Only this run's logs are removed; the folder stays. While a headless check holds
    // the folder the logs are its own, and they stay.
    LogFolderLock lock;
    if (lock.acquire(app_.logPath) || !lock.takenByAnother()) app_.deleteLogs();
    event->accept();
}

}  // namespace qm::desktop
