// The desktop program.
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "printing/layout/fonts.h"
#include "workflow/desktopsettings.h"
#include "workflow/mainwindow.h"
#include "workflow/messagebox.h"

#include <QApplication>
#include <QLockFile>

int main(int argc, char** argv) {
    qm::chooseFontEngine();
    QApplication application(argc, argv);
    qm::desktop::initDesktopApplication();
    qm::desktop::installQtTranslations(QCoreApplication::applicationDirPath());

    qm::desktop::MessageBoxSink sink;
    qm::setMessageSink(&sink);

    // One instance per user.
    const auto lock = qm::desktop::acquireInstanceLock();
    if (!lock) {
        qm::showMessage("Quillmark", "既に起動されています。", qm::MsgIcon::Exclamation);
        return 0;
    }

    qm::AppState app;
    app.startUp(qm::programFolder(argv[0]));
    app.basePath = qm::desktop::readBasePath().toStdString();

    qm::desktop::MainWindow window(app);
    window.show();
    const int rc = QApplication::exec();
    qm::setMessageSink(nullptr);
    return rc;
}
