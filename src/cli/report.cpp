#ifdef QM_HAVE_REPORT
#include "cli/report.h"

#include "models/resultreport.h"
#include "foundation/platform.h"
#include "printing/layout/fonts.h"
#include "printing/layout/render.h"

#include <QDate>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace qm {

namespace {
// Qt's own notes (a missing runtime folder and the like) are not the user's business here;
// failures reach the user through the answer.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// A platform that needs no display, when one is installed: creating the application
// object without any would end the program.
const char* headlessPlatform() {
#ifdef Q_OS_WIN
    // The plugins lie beside the program; Windows always has a display to fall back on.
    const QString here = QString::fromStdString(programFolder(nullptr));
    if (QFileInfo::exists(here + QStringLiteral("platforms/qoffscreen.dll"))) return "offscreen";
    return "windows";
#endif
    for (const QString& dir : QCoreApplication::libraryPaths()) {
        if (QFileInfo::exists(dir + "/platforms/libqoffscreen.so")) return "offscreen";
        if (QFileInfo::exists(dir + "/platforms/libqminimal.so")) return "minimal";
    }
    return nullptr;
}
}  // namespace

bool writeReport(const std::string& pdfPath, const RunSummary& summary, const std::vector<MediumRecord>& media,
                 const std::string& deliveryFolder, std::string& error) {
    const QtMessageHandler previous = qInstallMessageHandler(quietQt);
    // Fonts and the PDF writer need an application object; no display is needed.
    std::unique_ptr<QGuiApplication> app;
    if (!QGuiApplication::instance()) {
        const char* platform = headlessPlatform();
        if (!platform) {
            qInstallMessageHandler(previous);
            error = "Qtのoffscreenプラットフォームプラグインが見つかりません。";
            return false;
        }
        static int argc = 1;
        static char name[] = "quillmark-check";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", platform);
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    installFontSubstitutions();
    const std::string date = QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")).toStdString();
    const auto docs = reportDocuments(summary, media, deliveryFolder, date);
    QString why;
    const bool ok = print::writePdf(QString::fromStdString(pdfPath), docs, QStringLiteral("成果チェック結果"), &why);
    if (!ok) error = why.toStdString();
    app.reset();
    qInstallMessageHandler(previous);
    return ok;
}

}  // namespace qm
#endif
