// The main window end to end: 成果チェック on samples/faulty through the location dialog
// and the check run window to the result view, with the logs compared with those that
// quillmark-check writes for the same delivery; the view command's result type question;
// checking disabled without a log folder; closing removes the run's logs.
#include "checks/resultlog.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "gui/modal.h"
#include "gui/screens.h"
#include "workflow/checkrundialog.h"
#include "workflow/desktopsettings.h"
#include "workflow/mainwindow.h"
#include "workflow/mediumlocationdialog.h"
#include "workflow/smalldialogs.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace qm::desktop;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

QStringList logNames(const QString& dir) {
    return QDir(dir).entryList({"*.log", "*.Log"}, QDir::Files, QDir::Name);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    qm::RecordingMessageSink sink;

    template <class T>
    T* child(QWidget* w, const char* name) {
        T* c = w->findChild<T*>(name);
        if (!c) qFatal("no control %s", name);
        return c;
    }

private slots:
    void initTestCase() {
        initDesktopApplication();
        qm::setMessageSink(&sink);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, tmp.filePath("config"));
        MediumLocationDialog::setVolumeSource([] { return std::vector<qm::PickableVolume>{}; });
    }

    void checksFaultySampleAsTheHeadlessProgramDoes() {
        const QString medium = QDir(QDir(QM_SOURCE_DIR).canonicalPath()).filePath("samples/faulty");
        const QString guiLogs = tmp.filePath("gui-logs"), cliLogs = tmp.filePath("cli-logs");
        qm::AppState app;
        app.startUp(QM_BINARY_DIR);
        QVERIFY(app.useLogFolder(guiLogs.toStdString()));
        QFile::copy(QM_SOURCE_DIR "/README.md", guiLogs + "/FolderCheck_007.log");  // an earlier run's log

        MainWindow w(app);
        w.show();
        qm::test::saveScreen(&w, "main_window");

        int result = 1000;
        bool viewOpened = false;
        QPointer<QTimer> viewWatch;
        qm::test::onNextModal([&](QWidget* loc) {
            static_cast<MediumLocationDialog*>(loc)->SetDefaultPath(medium.toStdString());
            qm::test::onNextModal(
                [&](QWidget* run) {
                    auto* dlg = qobject_cast<CheckRunDialog*>(run);
                    QVERIFY(dlg);
                    connect(dlg, &CheckRunDialog::runFinished, [&](int r) {
                        result = r;
                        // Whatever the run opens next is the result view: close it.
                        viewWatch = qm::test::onNextModal(
                            [&](QWidget* view) {
                                viewOpened = true;
                                view->close();
                            },
                            dlg, 3000);
                    });
                    child<QPushButton>(dlg, "cmdStart")->click();
                },
                loc);
            child<QPushButton>(loc, "cmdOK")->click();
        });
        child<QToolButton>(&w, "cmdCheck")->click();
        delete viewWatch.data();
        QVERIFY(result >= 0);
        QCOMPARE(app.lastPath, medium.toStdString() + "/");
        Q_UNUSED(viewOpened);  // the view may be a stub that only tells it is not there yet

        QProcess cli;
        cli.start(QM_BINARY_DIR "/quillmark-check", {"--log-dir", cliLogs, medium});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 1);  // findings

        const QStringList names = logNames(guiLogs);
        QVERIFY(!names.isEmpty());
        QVERIFY(!names.contains("FolderCheck_007.log"));
        QCOMPARE(names, logNames(cliLogs));
        for (const QString& n : names) QCOMPARE(readAll(guiLogs + "/" + n), readAll(cliLogs + "/" + n));
        const auto gui = qm::readRunSummary(guiLogs.toStdString() + "/", 1, 1);
        QVERIFY(gui.anyFinding);

        // Closing the window removes the run's logs and nothing else.
        QFile::copy(QM_SOURCE_DIR "/README.md", guiLogs + "/keep.txt");
        w.close();
        QVERIFY(logNames(guiLogs).isEmpty());
        QVERIFY(QFile::exists(guiLogs + "/keep.txt"));
    }

    void viewAsksTheResultTypeWhenSurveyDoesNotTell() {
        QDir(tmp.path()).mkpath("plain/SURVEY");
        QFile idx(tmp.filePath("plain/INDEX_D.XML"));
        idx.open(QIODevice::WriteOnly);
        idx.close();
        qm::AppState app;
        app.startUp(QM_BINARY_DIR);
        MainWindow w(app);
        w.show();
        bool asked = false;
        qm::test::onNextModal([&](QWidget* loc) {
            QCOMPARE(child<QLabel>(loc, "lblInfo")->text(), QStringLiteral("成果ファイルがある場所を指定してください。"));
            static_cast<MediumLocationDialog*>(loc)->SetDefaultPath(tmp.filePath("plain").toStdString());
            qm::test::onNextModal(
                [&](QWidget* ask) {
                    asked = qobject_cast<ResultTypeDialog*>(ask) != nullptr;
                    child<QPushButton>(ask, "cmdCancel")->click();
                },
                loc);
            child<QPushButton>(loc, "cmdOK")->click();
        });
        child<QToolButton>(&w, "cmdViewFolder")->click();
        QVERIFY(asked);
        // Back to idle.
        QVERIFY(child<QWidget>(&w, "fraMenu")->isEnabled());
        QVERIFY(!child<QWidget>(&w, "fraInfo")->isVisible());
        QVERIFY(child<QPushButton>(&w, "cmdExit")->isEnabled());
    }

    void checkingIsDisabledWithoutALogFolder() {
        qm::AppState app;
        app.startUp(QM_BINARY_DIR);
        app.logPath.clear();
        app.logFolderProblem = "ログフォルダを作成できません: /x";
        MainWindow w(app);
        auto* check = child<QToolButton>(&w, "cmdCheck");
        QVERIFY(!check->isEnabled());
        QCOMPARE(check->toolTip(), QStringLiteral("ログフォルダを作成できません: /x"));
        QVERIFY(child<QToolButton>(&w, "cmdViewFolder")->isEnabled());
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
