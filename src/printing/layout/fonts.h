// The Windows face names the program asks for, mapped to the installed fonts of the same
// metrics ("ＭＳ ゴシック" → IPAGothic, "ＭＳ Ｐゴシック" → IPAPGothic).
#pragma once

#include <QString>

namespace qm {

inline const QString kGothic = QStringLiteral("ＭＳ ゴシック");
inline const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");

// Registers the substitutions once per process; call after the application object exists.
void installFontSubstitutions();

}  // namespace qm
