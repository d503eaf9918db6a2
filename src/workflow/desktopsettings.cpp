#include "workflow/desktopsettings.h"

#include "printing/layout/fonts.h"
#include "workflow/appicon.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>

namespace qm::desktop {

namespace {

std::unique_ptr<QSettings> openSettings() {
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software\\Quillmark"),
                                       QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quillmark"),
                                       QStringLiteral("Quillmark"));
#endif
}

}  // namespace

void initDesktopApplication() {
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    QApplication::setOrganizationName(QStringLiteral("Quillmark"));
    QApplication::setWindowIcon(appIcon());
    installFontSubstitutions();
    QApplication::setFont(QFont(kPGothic, 10));
}

QString installQtTranslations(const QString& programFolder) {
    const QString name = QStringLiteral("qtbase_ja.qm");
    QStringList folders;
    if (!programFolder.isEmpty()) folders << QDir(programFolder).filePath(QStringLiteral("translations"));
    folders << QLibraryInfo::path(QLibraryInfo::TranslationsPath) << QStringLiteral("/usr/share/qt6/translations");
    for (const QString& folder : folders) {
        const QString file = QDir(folder).filePath(name);
        if (!QFileInfo(file).isFile()) continue;
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(file) && QCoreApplication::installTranslator(translator)) return file;
        delete translator;
    }
    return {};
}

QString readBasePath() {
    auto s = openSettings();
    const QVariant v = s->value(QStringLiteral("BasePath"));
    // A value longer than the program ever writes is not read.
    const QString text = v.toString();
    return text.size() > 2048 ? QString() : text;
}

void writeBasePath(const QString& path) {
    auto s = openSettings();
    s->setValue(QStringLiteral("BasePath"), path);
    s->sync();
}

std::unique_ptr<QLockFile> acquireInstanceLock(const QString& lockFolder) {
    QString dir = lockFolder;
#ifdef Q_OS_WIN
    // The user's local application data (RuntimeLocation is the home folder there).
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#else
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
#endif
    if (dir.isEmpty()) dir = QDir::tempPath();
    QDir().mkpath(dir);
    auto lock = std::make_unique<QLockFile>(dir + QStringLiteral("/quillmark.lock"));
    lock->setStaleLockTime(0);  // a lock whose holder has died is taken over
    if (!lock->tryLock(0)) return nullptr;
    return lock;
}

}  // namespace qm::desktop
