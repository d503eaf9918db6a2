#include "workflow/browsefolder.h"

#include "foundation/platform.h"

#include <QFileDialog>

namespace qm::desktop {

namespace {
BrowseFolderHook& hook() {
    static BrowseFolderHook h;
    return h;
}
}  // namespace

void setBrowseFolderHook(BrowseFolderHook h) { hook() = std::move(h); }

std::string BrowseFolder(QWidget* owner, const QString& title, const std::string& start) {
    if (hook()) return hook()(title, start);
    // The title of the dialog is a single line; the browser shows the first line as caption.
    const QString chosen = QFileDialog::getExistingDirectory(owner, QString(title).replace('\n', ' '),
                                                             QString::fromStdString(start), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return {};
    return withTrailingSeparator(chosen.toStdString());
}

}  // namespace qm::desktop
