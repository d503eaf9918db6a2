// The check run window: presets, steps, start validation in field order, the date boxes
// and the remembered period, and a run stopped by the title bar's close.
#include "checks/checkpath.h"
#include "checks/checkrun.h"
#include "foundation/appstate.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "gui/modal.h"
#include "gui/screens.h"
#include "workflow/checkrundialog.h"
#include "workflow/desktopsettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace qm::desktop;

namespace {

qm::ProcessFlags flagsOf(std::initializer_list<const char*> codes) {
    qm::ProcessFlags f;
    for (const char* c : codes) f.flag[qm::ProcessFlags::indexOf(c)] = 1;
    return f;
}

// Answers medium 2 after asking the window to close (a stop request while running).
class ClosingLocator : public qm::MediumLocator {
public:
    CheckRunDialog* dlg = nullptr;
    std::string answer;
    QString progressText;
    bool startEnabled = true, helpEnabled = false;
    std::optional<std::string> askMedium(int, const std::string&) override {
        progressText = dlg->findChild<QLabel*>("lblInfo")->text();
        startEnabled = dlg->findChild<QPushButton*>("cmdStart")->isEnabled();
        helpEnabled = dlg->findChild<QPushButton*>("cmdHelp")->isEnabled();
        dlg->close();
        return answer;
    }
};

}  // namespace

class CheckRunWindow : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    qm::AppState app;
    qm::RecordingMessageSink sink;

    template <class T>
    T* child(QWidget* w, const char* name) {
        T* c = w->findChild<T*>(name);
        if (!c) qFatal("no control %s", name);
        return c;
    }
    QStringList messagesShown() {
        QStringList out;
        for (const auto& m : sink.shown) out << QString::fromStdString(m.caption + ": " + m.text);
        sink.shown.clear();
        return out;
    }

private slots:
    void initTestCase() {
        initDesktopApplication();
        qm::setMessageSink(&sink);
        app.startUp(QM_BINARY_DIR);
        QVERIFY(app.useLogFolder(tmp.filePath("logs").toStdString()));
    }

    void presetsAndSteps() {
        CheckRunDialog dlg(app);
        dlg.SetJudgeResult(1, 1, flagsOf({"PE", "FR"}), "", 0);
        dlg.show();
        QVERIFY(child<QGroupBox>(&dlg, "fraProcess")->isVisible());
        QVERIFY(!child<QGroupBox>(&dlg, "fraProcessS")->isVisible());
        QVERIFY(child<QCheckBox>(&dlg, "chkProcPE")->isChecked());
        QVERIFY(!child<QCheckBox>(&dlg, "chkProcPD")->isChecked());
        QCOMPARE(child<QLabel>(&dlg, "lblNotice")->text(),
                 QStringLiteral("「地籍調査成果電子納品要領」　平成２９年４月版　を基に検査します。"));

        child<QPushButton>(&dlg, "cmdSetAir")->click();
        QStringList ticked;
        for (auto* box : child<QGroupBox>(&dlg, "fraProcess")->findChildren<QCheckBox*>())
            if (box->isChecked()) ticked << box->objectName();
        ticked.sort();
        QCOMPARE(ticked, (QStringList{"chkProcE", "chkProcFR", "chkProcG", "chkProcH", "chkProcPA", "chkProcPB",
                                      "chkProcPC", "chkProcPD", "chkProcPF"}));
        child<QPushButton>(&dlg, "cmdSetLand")->click();
        qm::test::saveScreen(&dlg, "checkrun_type1");

        auto* count = child<QLineEdit>(&dlg, "txtMediaNum");
        auto* up = child<QPushButton>(&dlg, "cmdUp");
        auto* down = child<QPushButton>(&dlg, "cmdDown");
        count->setText("999");
        up->click();
        QCOMPARE(count->text(), QStringLiteral("999"));
        down->click();
        QCOMPARE(count->text(), QStringLiteral("998"));
        count->setText("1");
        down->click();
        QCOMPARE(count->text(), QStringLiteral("1"));
        count->setText("a");
        up->click();
        QCOMPARE(count->text(), QStringLiteral("1"));
        dlg.reject();

        CheckRunDialog prelim(app);
        prelim.SetJudgeResult(2, 2, flagsOf({"E", "F1", "F2", "H", "PA"}), "", 0);
        prelim.show();
        QVERIFY(!child<QGroupBox>(&prelim, "fraProcess")->isVisible());
        QVERIFY(child<QGroupBox>(&prelim, "fraProcessS")->isVisible());
        QVERIFY(child<QCheckBox>(&prelim, "chkProcF2S")->isChecked());
        QCOMPARE(child<QLineEdit>(&prelim, "txtMediaNum")->text(), QStringLiteral("2"));
        qm::test::saveScreen(&prelim, "checkrun_type2");
        prelim.reject();
    }

    void startIsValidatedInFieldOrder() {
        CheckRunDialog dlg(app);
        dlg.SetJudgeResult(0, 1, {}, "", 0);
        dlg.show();
        QVERIFY(!child<QGroupBox>(&dlg, "fraProcess")->isVisible());
        QVERIFY(!child<QGroupBox>(&dlg, "fraProcessS")->isVisible());
        QVERIFY(child<QLabel>(&dlg, "lblNotice")->text().isEmpty());
        auto* start = child<QPushButton>(&dlg, "cmdStart");
        auto* count = child<QLineEdit>(&dlg, "txtMediaNum");
        count->setText(" 1");
        sink.shown.clear();
        start->click();
        QCOMPARE(messagesShown(), QStringList{"成果内容: 成果内容を指定してください。"});
        child<QComboBox>(&dlg, "cmbResultType")->setCurrentIndex(2);
        start->click();
        QCOMPARE(messagesShown(), QStringList{"成果メディア枚数: 成果メディア枚数は数字で入力してください。"});
        count->setText("000");
        start->click();
        QCOMPARE(messagesShown(), QStringList{"成果メディア枚数: 成果メディア枚数は1～999の範囲で入力してください。"});
        count->setText("01");
        // Typing a date ticks the date check; the first wrong date field is told.
        auto* check = child<QCheckBox>(&dlg, "chkCheckDate");
        check->setChecked(false);
        child<QLineEdit>(&dlg, "txtMonthS")->clear();
        QVERIFY(check->isChecked());
        child<QLineEdit>(&dlg, "txtDayE")->setText("x");
        start->click();
        QCOMPARE(messagesShown(), QStringList{"ファイル更新日: 開始月を入力してください。"});
        QVERIFY(dlg.isVisible());
        // The period is remembered by the next window of this program run.
        dlg.reject();
        CheckRunDialog next(app);
        QVERIFY(child<QCheckBox>(&next, "chkCheckDate")->isChecked());
        QVERIFY(child<QLineEdit>(&next, "txtMonthS")->text().isEmpty());
        QCOMPARE(child<QLineEdit>(&next, "txtDayE")->text(), QStringLiteral("x"));
        child<QCheckBox>(&next, "chkCheckDate")->setChecked(false);
        next.reject();
        QCOMPARE(app.checkDate, uint8_t(0));
    }

    void aLogFolderInUseRefusesTheStart() {
        qm::LogFolderLock other;  // a headless check running on the same folder
        QVERIFY(other.acquire(app.logPath));
        CheckRunDialog dlg(app);
        dlg.SetJudgeResult(1, 1, flagsOf({"C"}), "", 0);
        int runs = 0;
        connect(&dlg, &CheckRunDialog::runFinished, [&](int) { ++runs; });
        sink.shown.clear();
        child<QPushButton>(&dlg, "cmdStart")->click();
        QCOMPARE(runs, 0);
        QCOMPARE(sink.shown.size(), size_t(1));
        QCOMPARE(QString::fromStdString(sink.shown[0].caption), QStringLiteral("ログフォルダ"));
        sink.shown.clear();
        dlg.reject();
    }

    void laterMediaAreAskedForWithTheLocationDialog() {
        // A medium given twice is known by its volume serial number: the sample lies on a
        // drive that has one (QM_SAMPLES_DRIVE names such a drive where the source's has none).
        const QString drive = qEnvironmentVariable("QM_SAMPLES_DRIVE");
        const QString sample = drive.isEmpty() ? QDir(QM_SOURCE_DIR).absoluteFilePath("samples/cadastral")
                                               : drive + QStringLiteral("cadastral");
        std::string medium = sample.toStdString();
        QVERIFY(qm::CheckPath(medium));  // the location as the dialog gives it
        qm::VolumeInfo info;
        QVERIFY(qm::GetVolumeInfo(medium, info));
        if (info.serial == 0) QSKIP("the sample's drive has no volume serial number: set QM_SAMPLES_DRIVE");
        app.lastPath = medium;
        CheckRunDialog dlg(app);
        dlg.SetJudgeResult(1, 2, flagsOf({"C"}), medium, info.serial);
        int result = 0;
        connect(&dlg, &CheckRunDialog::runFinished, [&](int r) { result = r; });
        dlg.show();
        sink.shown.clear();
        // Medium 2: the dialog comes preset with the last location; giving medium 1 again
        // is refused and asked again; cancelling then stops the run.
        QStringList requests, presets;
        std::function<void(QWidget*)> answer = [&](QWidget* loc) {
            if (loc->objectName() != QLatin1String("frmSelectFolder")) {
                loc->close();  // the run did not ask: the view of its results is up
                QFAIL(qPrintable("medium 2 was not asked for, " + loc->objectName() + " came up"));
            }
            requests << child<QLabel>(loc, "lblInfo")->text();
            presets << child<QLineEdit>(loc, "txtCheckFolder")->text();
            if (requests.size() == 1) {
                qm::test::onNextModal(answer, &dlg);
                child<QPushButton>(loc, "cmdOK")->click();
            } else {
                child<QPushButton>(loc, "cmdCancel")->click();
            }
        };
        qm::test::onNextModal(answer, &dlg);
        child<QPushButton>(&dlg, "cmdStart")->click();
        QCOMPARE(requests, (QStringList{"成果2枚目の場所を指定してください。", "成果2枚目の場所を指定してください。"}));
        QCOMPARE(presets.value(0), QString::fromStdString(medium));
        QCOMPARE(result, int(qm::kRunStopped));
        QCOMPARE(messagesShown(), (QStringList{"成果メディア: 指定した成果は、既にチェックしています。", "Quillmark: 中断しました。"}));
    }

    void closingDuringTheRunStopsIt() {
        const QString medium = QDir(QM_SOURCE_DIR).absoluteFilePath("samples/cadastral");
        qm::VolumeInfo info;
        QVERIFY(qm::GetVolumeInfo(medium.toStdString(), info));
        app.dateS[1] = "1";  // the period as a new program run has it (an earlier test left it wrong)
        app.dateE[2] = "1";
        CheckRunDialog dlg(app);
        ClosingLocator loc;
        loc.dlg = &dlg;
        loc.answer = QDir(QM_SOURCE_DIR).absoluteFilePath("samples/preliminary").toStdString();
        dlg.setMediumLocator(&loc);
        dlg.SetJudgeResult(1, 2, flagsOf({"C"}), medium.toStdString() + "/", info.serial);
        int result = 0;
        connect(&dlg, &CheckRunDialog::runFinished, [&](int r) { result = r; });
        dlg.show();
        sink.shown.clear();
        // The window as it is while medium 1 is checked, taken when the run first yields.
        QTimer picture;
        connect(&picture, &QTimer::timeout, [&] {
            if (!child<QWidget>(&dlg, "fraInfo")->isVisible()) return;
            picture.stop();
            qm::test::saveScreen(&dlg, "checkrun_running");
        });
        picture.start(0);
        child<QPushButton>(&dlg, "cmdStart")->click();
        QCOMPARE(result, int(qm::kRunStopped));
        QCOMPARE(loc.progressText, QStringLiteral("成果1枚目をチェック中です・・・"));
        QVERIFY(!loc.startEnabled);
        QVERIFY(loc.helpEnabled);
        QCOMPARE(messagesShown(), QStringList{"Quillmark: 中断しました。"});
        QVERIFY(!dlg.isVisible());
        QVERIFY(!QFile::exists(tmp.filePath("logs/FolderCheck_000.Log")));
    }
};

QTEST_MAIN(CheckRunWindow)
#include "test_checkrun_window.moc"
