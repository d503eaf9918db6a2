// What the desktop keeps outside the program: the base folder (the one value that
// survives the program) and the lock that keeps one instance per user.
#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace qm::desktop {

// What every run of the desktop sets up once the application object exists: names,
// icon, the font substitutions and the window font.
void initDesktopApplication();

// Qt's own texts (standard buttons, the print, page setup and file dialogs) in Japanese:
// loads qtbase_ja.qm from the first of programFolder/translations (where the Windows
// program folder carries it), Qt's translations folder and /usr/share/qt6/translations
// that holds it, and installs it on the application. Answers the file loaded, or empty
// when none was found (Qt's texts then stay English).
QString installQtTranslations(const QString& programFolder);

// The base folder, "BasePath": on Linux in ~/.config/Quillmark/Quillmark.conf, on Windows
// under HKEY_CURRENT_USER\Software\Quillmark. Missing or unreadable: empty.
QString readBasePath();
// Writes it at once; a failure is not reported.
void writeBasePath(const QString& path);

// Takes the per-user instance lock in the user's runtime folder (lockFolder overrides
// it). Answers the held lock, or null when another instance holds it.
std::unique_ptr<QLockFile> acquireInstanceLock(const QString& lockFolder = {});

}  // namespace qm::desktop
