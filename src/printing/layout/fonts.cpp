#include "printing/layout/fonts.h"

#include <QFont>
#include <QStringList>

namespace qm {

void installFontSubstitutions() {
    QStringList gothic;
    gothic << QStringLiteral("IPAGothic") << QStringLiteral("IPAゴシック");
    QStringList pgothic;
    pgothic << QStringLiteral("IPAPGothic") << QStringLiteral("IPA Pゴシック");
    QFont::insertSubstitutions(kGothic, gothic);
    QFont::insertSubstitutions(kPGothic, pgothic);
}

}  // namespace qm
