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

// F1 anywhere: the help of the active window.
class HelpKeyFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier || key->isAutoRepeat()) return false;
        QWidget* w = QApplication::activeWindow();
        if (!w) return false;
        if (w->metaObject()->indexOfMethod("showContextHelp()") >= 0) {
            QMetaObject::invokeMethod(w, "showContextHelp");
            return true;
        }
        const QVariant context = w->property("helpContext");
        if (!context.isValid()) return false;
        showHelp(w, context.toInt());
        return true;
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
        showMessage("ヘルプ", std::string("0 ") + e.what(), MsgIcon::Critical);
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
