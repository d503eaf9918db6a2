#include "workflow/browsefolder.h"

#include "foundation/imagemount.h"
#include "foundation/platform.h"

#include <QFileDialog>
#include <QFileInfo>

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

namespace {

// A folder browser that also accepts a file: choosing a disc image ends it like a folder.
class MediumBrowser : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    QString image;

protected:
    void accept() override {
        const QStringList chosen = selectedFiles();
        if (chosen.size() == 1 && QFileInfo(chosen.first()).isFile()) {
            image = chosen.first();
            done(QDialog::Accepted);
            return;
        }
        QFileDialog::accept();
    }
};

}  // namespace

std::string BrowseMedium(QWidget* owner, const QString& title, const std::string& start) {
    if (hook()) return hook()(title, start);
    // An image given before: the browser opens its folder with it selected.
    QString startDir = QString::fromStdString(start), preselect;
    std::string image = imageFileOf(start);
    if (image.empty() && QFileInfo(startDir).isFile()) image = start;
    if (!image.empty()) {
        const QFileInfo file(QString::fromStdString(image));
        startDir = file.absolutePath();
        preselect = file.fileName();
    }
    MediumBrowser dialog(owner, QString(title).replace('\n', ' '), startDir);
    dialog.setOption(QFileDialog::DontUseNativeDialog);  // the native browsers take folders or files, not both
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setNameFilters({QStringLiteral("フォルダ又はディスクイメージ (*.iso *.ISO *.img *.IMG *.udf *.UDF)"),
                           QStringLiteral("すべてのファイル (*)")});
    if (!preselect.isEmpty()) dialog.selectFile(preselect);
    if (dialog.exec() != QDialog::Accepted) return {};
    if (!dialog.image.isEmpty()) return dialog.image.toStdString();
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return {};
    return withTrailingSeparator(chosen.first().toStdString());
}

}  // namespace qm::desktop
