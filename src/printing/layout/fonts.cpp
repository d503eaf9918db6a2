#include "printing/layout/fonts.h"

#include <QFont>
#include <QStringList>
#ifdef Q_OS_WIN
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <windows.h>

#include <string>
#endif

namespace qm {

namespace {
bool ipaStandsIn = false;  // Windows without the MS faces
}  // namespace

void installFontSubstitutions() {
#ifdef Q_OS_WIN
    // Windows has the MS faces as a rule; where they are missing, the IPA faces shipped
    // in fonts/ beside the program stand in for them.
    if (!QFontDatabase::families().contains(kGothic) || !QFontDatabase::families().contains(kPGothic)) {
        ipaStandsIn = true;
        const QDir fonts(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
        for (const char* file : {"ipag.ttf", "ipagp.ttf"})
            QFontDatabase::addApplicationFont(fonts.filePath(QString::fromLatin1(file)));
    }
#endif
    QStringList gothic;
    gothic << QStringLiteral("IPAGothic") << QStringLiteral("IPAゴシック");
    QStringList pgothic;
    pgothic << QStringLiteral("IPAPGothic") << QStringLiteral("IPA Pゴシック");
    QFont::insertSubstitutions(kGothic, gothic);
    QFont::insertSubstitutions(kPGothic, pgothic);
}

QFont gothicFont(int pointSize) {
    QFont f(kGothic, pointSize);
    if (ipaStandsIn) f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

void chooseFontEngine() {
#ifdef Q_OS_WIN
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
    wchar_t dir[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return;
    const std::wstring gothic = std::wstring(dir, n) + L"\\Fonts\\msgothic.ttc";  // both MS faces
    if (GetFileAttributesW(gothic.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    qputenv("QT_QPA_PLATFORM", "windows:fontengine=freetype");
#endif
}

}  // namespace qm
