#include "printing/layout/fonts.h"

#include <QFont>
#include <QStringList>
#ifdef Q_OS_WIN
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#endif

namespace qm {

void installFontSubstitutions() {
#ifdef Q_OS_WIN
    // Windows has the MS faces as a rule; where they are missing, the IPA faces shipped
    // in fonts/ beside the program stand in for them.
    if (!QFontDatabase::families().contains(kGothic) || !QFontDatabase::families().contains(kPGothic)) {
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

}  // namespace qm
