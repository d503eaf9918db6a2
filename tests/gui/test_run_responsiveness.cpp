// 中断 during the folder walk of a crowded medium: the press is seen while the walk is
// under way, and the run answers soon after it rather than at the end of the walk.
// Building the medium takes long on slow file systems, so the test runs only when
// QM_WALK_FILES sets the number of files (for example 100000).
#include "checks/checkrun.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "workflow/checkrundialog.h"
#include "workflow/desktopsettings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>

using namespace qm::desktop;

class RunResponsiveness : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    qm::RecordingMessageSink sink;

private slots:
    void stopDuringTheWalk() {
        initDesktopApplication();
        qm::setMessageSink(&sink);
        const int files = qEnvironmentVariableIntValue("QM_WALK_FILES");
        if (files <= 0) QSKIP("QM_WALK_FILES is not set");
        namespace fs = std::filesystem;
        const fs::path top = tmp.filePath("medium").toStdString();
        fs::copy(fs::path(QM_SOURCE_DIR) / "samples" / "cadastral", top, fs::copy_options::recursive);
        const fs::path others = top / "SURVEY" / "TISEKI" / "OTHRS";
        for (int i = 0; i < files; ++i) {
            const fs::path dir = others / ("D" + std::to_string(i / 500));
            if (i % 500 == 0) fs::create_directories(dir);
            QFile f(QString::fromStdString((dir / ("F" + std::to_string(i) + ".TXT")).string()));
            f.open(QIODevice::WriteOnly);
        }

        qm::AppState app;
        app.startUp(QM_BINARY_DIR);
        QVERIFY(app.useLogFolder(tmp.filePath("logs").toStdString()));
        qm::VolumeInfo info;
        QVERIFY(qm::GetVolumeInfo(top.string(), info));
        qm::ProcessFlags flags;
        flags.flag[0] = 1;
        CheckRunDialog dlg(app);
        dlg.SetJudgeResult(1, 1, flags, top.string() + "/", info.serial);
        dlg.show();

        QElapsedTimer clock;
        qint64 pressedAt = -1, answeredAt = -1;
        QString counted;
        int result = 0;
        connect(&dlg, &CheckRunDialog::runFinished, [&](int r) {
            result = r;
            answeredAt = clock.elapsed();
        });
        auto* stop = dlg.findChild<QPushButton*>("cmdStop");
        auto* count = dlg.findChild<QLabel*>("lblCount");
        // Pressed as soon as the walk has reported once.
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (pressedAt >= 0 || count->text().isEmpty()) return;
            counted = count->text();
            pressedAt = clock.elapsed();
            stop->click();
        });
        poll.start(5);
        clock.start();
        dlg.findChild<QPushButton*>("cmdStart")->click();
        qInfo("walk of %d files: stop pressed at %lld ms (%s), run answered at %lld ms", files, pressedAt,
              qPrintable(counted), answeredAt);
        if (pressedAt < 0) QSKIP("the walk ended before it reported");
        QCOMPARE(result, int(qm::kRunStopped));
        QVERIFY2(answeredAt - pressedAt < 300, "the run went on long after 中断");
    }
};

QTEST_MAIN(RunResponsiveness)
#include "test_run_responsiveness.moc"
