// The main window end to end: 成果チェック on samples/faulty through the location dialog
// and the check run window to the result view, whose marks and findings, like the logs
// themselves, are compared with what quillmark-check writes for the same delivery; the
// view command's result type question; checking disabled without a log folder; closing
// removes the run's logs unless a headless check holds the folder.
#include "checks/resultlog.h"
#include "models/resultview.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "gui/modal.h"
#include "gui/screens.h"
#include "views/checkresultview.h"
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
#include <QTableView>
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

QString q(const std::string& s) { return QString::fromStdString(s); }
QString cell(QTableView* g, int row, int col) { return g->model()->index(row, col).data().toString(); }

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

    // The result view shows, mark for mark and row for row, what the headless program's
    // logs of the same delivery say.
    void viewShowsSummary(QWidget* view, const qm::RunSummary& s) {
        auto* media = child<QTableView>(view, "vsfgMedia");
        auto* types = child<QTableView>(view, "vsfgCheckType");
        auto* log = child<QTableView>(view, "vsfgLog");
        QCOMPARE(child<QLabel>(view, "lblResult")->text(), q(qm::runVerdict(s.anyFinding, s.anyLogFailure).text));
        QCOMPARE(media->model()->rowCount(), int(s.media.size()));
        for (int m = 0; m < int(s.media.size()); ++m) {
            const qm::MediumResult& expected = s.media[size_t(m)];
            QCOMPARE(cell(media, m, 0), q(expected.label));
            QCOMPARE(cell(media, m, 1), expected.anyLog ? QStringLiteral("×") : QStringLiteral("○"));
            media->setCurrentIndex(media->model()->index(m, 0));
            for (int k = 0; k < types->model()->rowCount(); ++k)
                QCOMPARE(types->isRowHidden(k), k >= int(expected.types.size()));
            for (int k = 0; k < int(expected.types.size()); ++k) {
                const qm::CheckTypeResult& t = expected.types[size_t(k)];
                types->setCurrentIndex(types->model()->index(k, 1));
                QCOMPARE(cell(types, k, 2), t.ok() ? QStringLiteral("○") : QStringLiteral("×"));
                QStringList want, shown;
                if (!t.failure.empty()) want << " | " + q(t.failure);
                for (const qm::LoggedFinding& f : t.findings) want << q(f.location()) + " | " + q(f.message);
                if (want.isEmpty()) want << QStringLiteral(" | エラーはありません。");
                for (int r = 0; r < log->model()->rowCount(); ++r) shown << cell(log, r, 0) + " | " + cell(log, r, 1);
                QCOMPARE(shown, want);
            }
        }
    }

    void checksFaultySampleAsTheHeadlessProgramDoes() {
        const QString medium = QDir(QDir(QM_SOURCE_DIR).canonicalPath()).filePath("samples/faulty");
        const QString guiLogs = tmp.filePath("gui-logs"), cliLogs = tmp.filePath("cli-logs");

        QProcess cli;
        cli.start(QM_BINARY_DIR "/quillmark-check", {"--log-dir", cliLogs, QDir::toNativeSeparators(medium)});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 1);  // findings
        const qm::RunSummary cliSummary = qm::readRunSummary(cliLogs.toStdString() + "/", 1, 1);
        QVERIFY(cliSummary.anyFinding);

        qm::AppState app;
        app.startUp(QM_BINARY_DIR);
        QVERIFY(app.useLogFolder(guiLogs.toStdString()));
        QFile::copy(QM_SOURCE_DIR "/README.md", guiLogs + "/FolderCheck_007.log");  // an earlier run's log

        MainWindow w(app);
        w.show();
        qm::test::saveScreen(&w, "main_window");

        int result = 1000;
        bool viewChecked = false;
        QPointer<QTimer> viewWatch;
        qm::test::onNextModal([&](QWidget* loc) {
            static_cast<MediumLocationDialog*>(loc)->SetDefaultPath(medium.toStdString());
            qm::test::onNextModal(
                [&](QWidget* run) {
                    auto* dlg = qobject_cast<CheckRunDialog*>(run);
                    QVERIFY(dlg);
                    connect(dlg, &CheckRunDialog::runFinished, [&](int r) {
                        result = r;
                        viewWatch = qm::test::onNextModal(
                            [&](QWidget* view) {
                                if (qobject_cast<CheckResultView*>(view)) {
                                    viewShowsSummary(view, cliSummary);
                                    viewChecked = !QTest::currentTestFailed();
                                }
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
        QVERIFY(viewChecked);
        QCOMPARE(QString::fromStdString(app.lastPath), QDir::toNativeSeparators(medium + "/"));

        const QStringList names = logNames(guiLogs);
        QVERIFY(!names.isEmpty());
        QVERIFY(!names.contains("FolderCheck_007.log"));
        QCOMPARE(names, logNames(cliLogs));
        for (const QString& n : names) QCOMPARE(readAll(guiLogs + "/" + n), readAll(cliLogs + "/" + n));

        // Closing the window removes the run's logs and nothing else, but not while a
        // headless check holds the folder: the logs are then that check's.
        QFile::copy(QM_SOURCE_DIR "/README.md", guiLogs + "/keep.txt");
        {
            qm::LogFolderLock headless;
            QVERIFY(headless.acquire(app.logPath));
            w.close();
            QCOMPARE(logNames(guiLogs), names);
        }
        w.show();
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

    // While the folder view builds its tree, the main window's progress panel and its stop
    // command stay up (a box the build raises sees them); the window is idle again before
    // the view shows.
    void viewKeepsTheStopCommandWhileTheTreeIsBuilt() {
        const QString settings = tmp.filePath("bad-settings");
        QDir().mkpath(settings);
        QFile info(settings + "/FileInfo_C.txt");
        QVERIFY(info.open(QIODevice::WriteOnly));
        info.write(QByteArray(200, ',') + "\r\n");  // more items than a record may hold
        info.close();
        qm::AppState app;
        app.startUp(QM_BINARY_DIR);
        app.settingPath = settings.toStdString() + "/";
        MainWindow w(app);
        w.show();

        struct Watch : qm::MessageSink {
            QWidget* window = nullptr;
            bool stopUp = false, menuDisabled = false;
            QStringList captions;
            qm::MsgAnswer show(const qm::Message& m) override {
                captions << QString::fromStdString(m.caption);
                stopUp = window->findChild<QWidget*>("fraInfo")->isVisible() &&
                         window->findChild<QWidget*>("cmdStop")->isVisible();
                menuDisabled = !window->findChild<QWidget*>("fraMenu")->isEnabled();
                return qm::MsgAnswer::Ok;
            }
        } watch;
        watch.window = &w;
        qm::setMessageSink(&watch);
        bool idleWhenShown = false;
        qm::test::onNextModal([&](QWidget* loc) {
            static_cast<MediumLocationDialog*>(loc)->SetDefaultPath(
                QDir(QM_SOURCE_DIR).filePath("samples/cadastral").toStdString());
            qm::test::onNextModal(
                [&](QWidget* view) {
                    idleWhenShown = !child<QWidget>(&w, "fraInfo")->isVisible() &&
                                    child<QWidget>(&w, "fraMenu")->isEnabled();
                    static_cast<QDialog*>(view)->reject();
                },
                loc);
            child<QPushButton>(loc, "cmdOK")->click();
        });
        child<QToolButton>(&w, "cmdViewFolder")->click();
        qm::setMessageSink(&sink);
        QCOMPARE(watch.captions, QStringList{QStringLiteral("readErrorLog")});
        QVERIFY(watch.stopUp);
        QVERIFY(watch.menuDisabled);
        QVERIFY(idleWhenShown);
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
