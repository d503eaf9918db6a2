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

// Call before the application object exists. On Windows without the MS faces, the IPA faces
// stand in, and the system's font engine drops their underscore at the grids' small sizes:
// Qt's FreeType engine draws them there, as on Linux. A platform the user names is kept.
void chooseFontEngine();

// The fixed-pitch face of the views' grids and text boxes at the size given. Where the IPA
// stand-in is used on Windows it is drawn from its own bitmaps: its antialiased outlines at
// these sizes lose the underscore there.
QFont gothicFont(int pointSize);

}  // namespace qm
