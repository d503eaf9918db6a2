#include "workflow/helpwindow.h"

#include "foundation/messages.h"
#include "printing/layout/fonts.h"
#include "views/launch.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>

namespace qm::desktop {

namespace {

QString& folderOverride() {
    static QString folder;
    return folder;
}

QString withSlash(QString folder) {
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder;
}

void helpMissing(const QString& path) {
    showMessage("ヘルプ", "\"" + QDir::toNativeSeparators(path).toStdString() + "\"\nヘルプァイルが見つかりません。",
                MsgIcon::Exclamation);
}

// The topics of the program's windows by their object names; -1 when unknown. The folder
// view has its own topic when it was opened from the check result view.
int contextOfWindow(const QWidget* w) {
    const QVariant context = w->property("helpContext");
    if (context.isValid()) return context.toInt();
    const QString name = w->objectName();
    if (name == QLatin1String("frmMain")) return 0;
    if (name == QLatin1String("frmCheckAll")) return 13200;
    if (name == QLatin1String("frmErrorLog")) return 13300;
    if (name == QLatin1String("frmViewXML")) return 13330;
    if (name == QLatin1String("frmViewDocList")) return 13340;
    if (name == QLatin1String("frmPreview")) return 13400;
    if (name == QLatin1String("frmViewFolder")) {
        for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
            if (p->objectName() == QLatin1String("frmErrorLog")) return 13320;
        return 13100;
    }
    return -1;
}

// F1 anywhere: the help of the window where it was pressed, or of the nearest window
// under it that has a topic (a message box shown over a window, say).
class HelpKeyFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier || key->isAutoRepeat()) return false;
        // Taken at the widget that receives the key (the window system's window sees it
        // first and hands it on).
        auto* receiver = qobject_cast<QWidget*>(watched);
        if (!receiver) return false;
        for (QWidget* w = receiver->window(); w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
            if (qobject_cast<HelpWindow*>(w)) return false;
            if (w->metaObject()->indexOfMethod("showContextHelp()") >= 0) {
                QMetaObject::invokeMethod(w, "showContextHelp");
                return true;
            }
            const int context = contextOfWindow(w);
            if (context >= 0) {
                showHelp(w, context);
                return true;
            }
        }
        return false;
    }
};

void installHelpKey() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        qApp->installEventFilter(new HelpKeyFilter(qApp));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installHelpKey)

QString helpFolder() {
    if (!folderOverride().isEmpty()) return folderOverride();
    return withSlash(QCoreApplication::applicationDirPath()) + QStringLiteral("help/");
}

void setHelpFolder(const QString& folder) { folderOverride() = folder.isEmpty() ? QString() : withSlash(folder); }

QString helpTopicPage(int contextId) {
    return contextId == 0 ? QStringLiteral("index.html") : QString::number(contextId) + QStringLiteral(".html");
}

QString findingHelpPage(int32_t code) {
    if (code < 0) return QStringLiteral("findings/xml.html");
    return QStringLiteral("findings/%1.html").arg(code);
}

HelpWindow::HelpWindow(const QString& folder, QWidget* owner) : QWidget(owner, Qt::Window), folder_(withSlash(folder)) {
    setObjectName(QStringLiteral("helpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(QFont(kPGothic, 9));

    txtHelp_ = new QTextBrowser(this);
    txtHelp_->setObjectName(QStringLiteral("txtHelp"));
    txtHelp_->setOpenExternalLinks(true);
    txtHelp_->setSearchPaths({folder_});
    txtHelp_->document()->setDefaultFont(QFont(kPGothic, 10));

    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    cmdContents_ = button("cmdContents", QStringLiteral("目次"));
    cmdBack_ = button("cmdBack", QStringLiteral("戻る"));
    cmdForward_ = button("cmdForward", QStringLiteral("進む"));
    cmdClose_ = button("cmdClose", QStringLiteral("閉じる"));
    cmdBack_->setEnabled(false);
    cmdForward_->setEnabled(false);

    auto* bar = new QHBoxLayout;
    bar->addWidget(cmdContents_);
    bar->addWidget(cmdBack_);
    bar->addWidget(cmdForward_);
    bar->addStretch(1);
    bar->addWidget(cmdClose_);
    auto* all = new QVBoxLayout(this);
    all->addLayout(bar);
    all->addWidget(txtHelp_, 1);
    resize(720, 600);

    connect(cmdContents_, &QPushButton::clicked, this, [this] { openPage(QStringLiteral("index.html")); });
    connect(cmdBack_, &QPushButton::clicked, txtHelp_, &QTextBrowser::backward);
    connect(cmdForward_, &QPushButton::clicked, txtHelp_, &QTextBrowser::forward);
    connect(cmdClose_, &QPushButton::clicked, this, &QWidget::close);
    connect(txtHelp_, &QTextBrowser::backwardAvailable, cmdBack_, &QPushButton::setEnabled);
    connect(txtHelp_, &QTextBrowser::forwardAvailable, cmdForward_, &QPushButton::setEnabled);
    connect(txtHelp_, &QTextBrowser::sourceChanged, this, [this] { updateCaption(); });
}

void HelpWindow::openPage(const QString& page) {
    txtHelp_->setSource(QUrl::fromLocalFile(folder_ + page));
    updateCaption();
}

void HelpWindow::updateCaption() {
    const QString title = txtHelp_->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Quillmark ヘルプ") : QStringLiteral("Quillmark ヘルプ - ") + title);
}

HelpWindow* openHelpPage(QWidget* parent, const QString& page) {
    try {
        const QString folder = helpFolder();
        if (!QFileInfo(folder).isDir()) {
            helpMissing(folder);
            return nullptr;
        }
        if (!QFileInfo(folder + page).isFile()) {
            helpMissing(folder + page);
            return nullptr;
        }
        static QPointer<HelpWindow> ownerless;
        QWidget* owner = parent ? parent->window() : nullptr;
        HelpWindow* help = owner ? owner->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly) : ownerless.data();
        if (!help) {
            help = new HelpWindow(folder, owner);
            if (!owner) ownerless = help;
        }
        help->openPage(page);
        help->show();
        help->raise();
        help->activateWindow();
        return help;
    } catch (const std::exception& e) {
        showFailure("ヘルプ", 0, e.what());
        return nullptr;
    }
}

void showHelp(QWidget* parent, int contextId) { openHelpPage(parent, helpTopicPage(contextId)); }

void showFindingHelp(QWidget* parent, int32_t code) {
    QString page = findingHelpPage(code);
    // A code without a page of its own opens the list of all findings.
    if (QFileInfo(helpFolder()).isDir() && !QFileInfo(helpFolder() + page).isFile()) page = QStringLiteral("findings.html");
    openHelpPage(parent, page);
}

}  // namespace qm::desktop
