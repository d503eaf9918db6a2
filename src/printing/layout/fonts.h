// The Windows face names the program asks for, mapped to the installed fonts of the same
// metrics ("ＭＳ ゴシック" → IPAGothic, "ＭＳ Ｐゴシック" → IPAPGothic).
#pragma once

#include <QFont>
#include <QString>

namespace qm {

inline const QString kGothic = QStringLiteral("ＭＳ ゴシック");
inline const QString kPGothic = QStringLiteral("ＭＳ Ｐゴシック");

// Registers the substitutions once per process; call after the application object exists.
void installFontSubstitutions();

// The fixed-pitch face of the views' grids and text boxes at the size given. Where Windows
// lacks the MS faces, the IPA stand-in is drawn from its own bitmaps there: its outlines
// drawn small by the system's font engine lose the underscore below the line.
QFont gothicFont(int pointSize);

}  // namespace qm
