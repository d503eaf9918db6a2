// The folder browser shared by the location and base folder dialogs.
#pragma once

#include <QString>

#include <functional>
#include <string>

class QWidget;

namespace qm::desktop {

// Shows the folder browser owned by owner, titled title, starting at start (nothing
// preselected when empty). Answers the chosen folder ending in a separator, or "" when
// the user cancelled.
std::string BrowseFolder(QWidget* owner, const QString& title, const std::string& start);

// The browser of a medium's location: a folder, or a disc image file (*.iso, *.img, *.udf)
// picked in the same browser. Answers a folder ending in a separator, an image's path as
// it is, or "" when the user cancelled. The hook below answers for it too.
std::string BrowseMedium(QWidget* owner, const QString& title, const std::string& start);

// Tests replace the browser: the hook answers as BrowseFolder would. Empty restores it.
using BrowseFolderHook = std::function<std::string(const QString& title, const std::string& start)>;
void setBrowseFolderHook(BrowseFolderHook hook);

}  // namespace qm::desktop
