// The check result view over logs of a run, and the help window it opens.
#include "checks/checkrun.h"
#include "checks/inspection.h"
#include "foundation/appstate.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "gui/screens.h"
#include "printing/layout/fonts.h"
#include "views/checkresultview.h"
#include "views/launch.h"
#include "workflow/helpwindow.h"

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <filesystem>

using namespace qm;
using qm::desktop::CheckResultView;
using qm::desktop::HelpWindow;

namespace {

class CancellingAsker : public LocationAsker {
public:
    int asked = 0;
    std::optional<std::string> askLocation(int, const std::string&) override {
        ++asked;
        return std::nullopt;
    }
};

class NoMoreMedia : public MediumLocator {
public:
    std::optional<std::string> askMedium(int, const std::string&) override { return std::nullopt; }
};

QString cell(QTableView* g, int row, int col) { return g->model()->index(row, col).data().toString(); }

}  // namespace

class TestCheckResultView : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    RecordingMessageSink sink;
    MessageSink* previous = nullptr;

    std::string logDir(const char* name) {
        const std::string dir = (tmp.path() + "/" + name).toStdString();
        std::filesystem::create_directories(dir);
        return dir;
    }

    template <class T>
    static T* child(QWidget* w, const char* name) {
        T* c = w->findChild<T*>(QLatin1String(name));
        if (!c) qFatal("no child %s", name);
        return c;
    }

    static void selectRow(QTableView* g, int row) { g->setCurrentIndex(g->model()->index(row, 0)); }

private slots:
    void initTestCase() {
        installFontSubstitutions();
        previous = setMessageSink(&sink);
        desktop::setHelpFolder(QStringLiteral(QM_BINARY_DIR "/help"));
    }
    void cleanupTestCase() { setMessageSink(previous); }
    void init() { sink.shown.clear(); }

    // Three media of which only the second found something: its SURVEY.XML and structure.
    void marksColoursAndRowsFollowTheLogs() {
        AppState app;
        app.settingPath = QM_BINARY_DIR "/Setting/";
        QVERIFY(app.useLogFolder(logDir("only2")));
        {
            CErrorLog log;
            log.setFileName(app.logPath + "FolderCheck_002.log");
            log.writeErrorLog(10601, "", "SURVEY\\TISEKI\\WORK\\CPROC_A\\TDAC0001.PDF",
                              "成果ファイル名の設定記号 工程（1,2文字目）が不正です");
            CErrorLog xml;
            xml.setFileName(app.logPath + "JobFileCheck_SUV_002.log");
            xml.writeErrorLogXml(20301, "/SURVEY/測量情報/測量区域No", 1, "半角数字のみで記述されていません", "");
            xml.writeErrorLogXml(20301, "/SURVEY/測量情報/測量区域No", 2, "半角数字のみで記述されていません", "");
        }
        const std::string here = tmp.path().toStdString() + "/";
        std::vector<MediumRecord> media(3, MediumRecord{here, kDriveFixed, 1});

        CheckResultView view(app, nullptr);
        auto* lblResult = child<QLabel>(&view, "lblResult");
        QCOMPARE(lblResult->text(), QStringLiteral("チェックの結果、エラーが検出されました。"));
        QVERIFY(lblResult->styleSheet().contains(QStringLiteral("#c00000")));
        QCOMPARE(child<QLabel>(&view, "lblResultType")->text(), QStringLiteral("地籍調査成果"));
        view.SetMediaNum(1, media);
        QCOMPARE(child<QLabel>(&view, "lblResultType")->text(), QStringLiteral("地籍調査"));

        auto* vsfgMedia = child<QTableView>(&view, "vsfgMedia");
        auto* vsfgType = child<QTableView>(&view, "vsfgCheckType");
        auto* vsfgLog = child<QTableView>(&view, "vsfgLog");
        auto* cmdViewFolder = child<QPushButton>(&view, "cmdViewFolder");
        auto* cmdViewXml = child<QPushButton>(&view, "cmdViewXml");
        QVERIFY(vsfgMedia->isColumnHidden(2));
        QVERIFY(vsfgType->isColumnHidden(0));
        QCOMPARE(vsfgMedia->model()->rowCount(), 4);
        const QStringList marks = {cell(vsfgMedia, 0, 1), cell(vsfgMedia, 1, 1), cell(vsfgMedia, 2, 1), cell(vsfgMedia, 3, 1)};
        QCOMPARE(marks, (QStringList{"○", "×", "○", "○"}));
        QCOMPARE(cell(vsfgMedia, 3, 0), QStringLiteral("成果全体"));

        // Medium 1 is chosen on opening: all clean, the structure's clean row in green.
        QCOMPARE(view.selectedMedium(), 1);
        for (int r = 0; r < 4; ++r) QCOMPARE(cell(vsfgType, r, 2), QStringLiteral("○"));
        QCOMPARE(vsfgLog->model()->rowCount(), 1);
        QCOMPARE(cell(vsfgLog, 0, 0), QString());
        QCOMPARE(cell(vsfgLog, 0, 1), QStringLiteral("エラーはありません。"));
        QCOMPARE(vsfgLog->model()->index(0, 1).data(Qt::ForegroundRole).value<QColor>(), QColor(0, 176, 0));
        QVERIFY(!cmdViewXml->isEnabled());
        QVERIFY(!view.hasFindings());

        // Medium 2: only SURVEY and the structure are marked; the 10601 message arrives whole.
        selectRow(vsfgMedia, 1);
        QCOMPARE(view.selectedMedium(), 2);
        QCOMPARE((QStringList{cell(vsfgType, 0, 2), cell(vsfgType, 1, 2), cell(vsfgType, 2, 2), cell(vsfgType, 3, 2)}),
                 (QStringList{"×", "○", "×", "○"}));
        QCOMPARE(cell(vsfgLog, 0, 0), QStringLiteral("SURVEY\\TISEKI\\WORK\\CPROC_A\\TDAC0001.PDF"));
        QCOMPARE(cell(vsfgLog, 0, 1), QStringLiteral("成果ファイル名の設定記号 工程（1,2文字目）が不正です"));
        QCOMPARE(view.findingCode(0), 10601);
        selectRow(vsfgType, 2);
        QCOMPARE(vsfgLog->model()->rowCount(), 2);
        QCOMPARE(cell(vsfgLog, 0, 0), QStringLiteral("/SURVEY/測量情報/測量区域No"));
        QCOMPARE(cell(vsfgLog, 1, 0), QStringLiteral("/SURVEY/測量情報/測量区域No(2番目)"));
        QVERIFY(cmdViewXml->isEnabled());
        QVERIFY(view.hasFindings());
        // INDEX of medium 2 is clean.
        selectRow(vsfgType, 1);
        QCOMPARE(cell(vsfgLog, 0, 1), QStringLiteral("エラーはありません。"));

        // The whole delivery: the structure row alone, no folder command, clean.
        selectRow(vsfgMedia, 3);
        QCOMPARE(view.selectedMedium(), 0);
        QVERIFY(!vsfgType->isRowHidden(0));
        for (int r = 1; r < 4; ++r) QVERIFY(vsfgType->isRowHidden(r));
        QCOMPARE(vsfgType->currentIndex().row(), 0);
        QVERIFY(!cmdViewFolder->isEnabled());
        QCOMPARE(cell(vsfgLog, 0, 1), QStringLiteral("エラーはありません。"));
        test::saveScreen(&view, QStringLiteral("result_view_whole"));
        // Back to a medium: the rows come back.
        selectRow(vsfgMedia, 0);
        QVERIFY(!vsfgType->isRowHidden(2));
        QVERIFY(cmdViewFolder->isEnabled());

        // Printing clean findings is refused with the information message.
        QTest::mouseClick(child<QPushButton>(&view, "cmdPrint"), Qt::LeftButton);
        QCOMPARE(sink.shown.size(), size_t(1));
        QCOMPARE(QString::fromStdString(sink.shown[0].caption), QStringLiteral("印刷"));
        QCOMPARE(QString::fromStdString(sink.shown[0].text),
                 QStringLiteral("指定したチェック内容では、エラーは検出されていません。"));
        QCOMPARE(sink.shown[0].icon, MsgIcon::Information);

        // EnableControls leaves the XML command off while the structure is shown.
        view.EnableControls(false);
        QVERIFY(!vsfgMedia->isEnabled());
        QVERIFY(vsfgType->isEnabled());
        view.EnableControls(true);
        QVERIFY(vsfgMedia->isEnabled());
        QVERIFY(!cmdViewXml->isEnabled());
    }

    void noLogsAndNoMedia() {
        AppState app;
        app.settingPath = QM_BINARY_DIR "/Setting/";
        QVERIFY(app.useLogFolder(logDir("clean")));
        CheckResultView view(app, nullptr);
        auto* lblResult = child<QLabel>(&view, "lblResult");
        QCOMPARE(lblResult->text(), QStringLiteral("チェックの結果、エラーは検出されませんでした。"));
        QVERIFY(lblResult->styleSheet().contains(QStringLiteral("#00b000")));
        view.SetMediaNum(1, {});
        QCOMPARE(child<QTableView>(&view, "vsfgMedia")->model()->rowCount(), 0);
        QCOMPARE(child<QTableView>(&view, "vsfgLog")->model()->rowCount(), 0);
        QCOMPARE(child<QLabel>(&view, "lblResultType")->text(), QStringLiteral("地籍調査成果"));
    }

    // A medium no longer where it was: the asker is consulted; cancelling gives "".
    void getCheckPathAsksWhenTheMediumHasGone() {
        AppState app;
        app.settingPath = QM_BINARY_DIR "/Setting/";
        QVERIFY(app.useLogFolder(logDir("gone")));
        const std::string here = tmp.path().toStdString() + "/";
        CheckResultView view(app, nullptr);
        view.SetMediaNum(2, {{here, kDriveFixed, 7}, {here + "gone/", kDriveCdRom, 7}});
        auto asker = std::make_unique<CancellingAsker>();
        CancellingAsker* a = asker.get();
        view.setLocationAsker(std::move(asker));
        QCOMPARE(QString::fromStdString(view.GetCheckPath(1)), QString::fromStdString(here));
        QCOMPARE(a->asked, 0);
        QCOMPARE(QString::fromStdString(view.GetCheckPath(2)), QString());
        QCOMPARE(a->asked, 1);
        QCOMPARE(QString::fromStdString(view.GetCheckPath(3)), QString());
    }

    void findingsOpenTheirHelpPages() {
        AppState app;
        app.settingPath = QM_BINARY_DIR "/Setting/";
        QVERIFY(app.useLogFolder(logDir("help")));
        {
            CErrorLog xml;
            xml.setFileName(app.logPath + "JobFileCheck_IND_001.log");
            xml.writeErrorLogXml(-201, "XML構文エラー(3行)", 0, "タグが閉じていません", "");
            CErrorLog log;
            log.setFileName(app.logPath + "FolderCheck_001.log");
            log.writeErrorLog(10601, "", "SURVEY\\X", "成果ファイル名の設定記号 工程（1,2文字目）が不正です");
        }
        CheckResultView view(app, nullptr);
        view.SetMediaNum(1, {{tmp.path().toStdString() + "/", kDriveFixed, 1}});
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto* vsfgLog = child<QTableView>(&view, "vsfgLog");

        // A double click on the finding opens its code's page in the view's help window.
        const QRect r = vsfgLog->visualRect(vsfgLog->model()->index(0, 1));
        QTest::mouseClick(vsfgLog->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(vsfgLog->viewport(), Qt::LeftButton, {}, r.center());
        auto* help = view.findChild<HelpWindow*>();
        QVERIFY(help);
        QVERIFY(help->browser()->source().toLocalFile().endsWith("findings/10601.html"));
        QVERIFY(help->browser()->toPlainText().contains(QStringLiteral("工程を表す記号")));
        QVERIFY(help->windowTitle().contains(QStringLiteral("10601")));

        // F1 over the findings picks the finding; elsewhere the window's own topic.
        selectRow(child<QTableView>(&view, "vsfgCheckType"), 1);
        vsfgLog->setFocus();
        selectRow(vsfgLog, 0);
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        vsfgLog->setFocus();
        QTest::keyClick(vsfgLog, Qt::Key_F1);
        QVERIFY(help->browser()->source().toLocalFile().endsWith("findings/xml.html"));
        child<QTableView>(&view, "vsfgMedia")->setFocus();
        QTest::keyClick(child<QTableView>(&view, "vsfgMedia"), Qt::Key_F1);
        QVERIFY(help->browser()->source().toLocalFile().endsWith("13300.html"));
        QCOMPARE(view.findChildren<HelpWindow*>().size(), qsizetype(1));

        // Windows known by their names: the folder view opened from here has its own topic.
        QDialog folder(&view);
        folder.setObjectName(QStringLiteral("frmViewFolder"));
        folder.show();
        folder.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&folder));
        QTest::keyClick(&folder, Qt::Key_F1);
        auto* folderHelp = folder.findChild<HelpWindow*>();
        QVERIFY(folderHelp);
        QVERIFY(folderHelp->browser()->source().toLocalFile().endsWith("/13320.html"));
        folder.close();

        // Back and forward walk the pages seen.
        auto* back = child<QPushButton>(help, "cmdBack");
        auto* forward = child<QPushButton>(help, "cmdForward");
        QVERIFY(back->isEnabled());
        QTest::mouseClick(back, Qt::LeftButton);
        QVERIFY(help->browser()->source().toLocalFile().endsWith("findings/xml.html"));
        QVERIFY(forward->isEnabled());
        QTest::mouseClick(child<QPushButton>(help, "cmdContents"), Qt::LeftButton);
        QVERIFY(help->browser()->source().toLocalFile().endsWith("/index.html"));
        QVERIFY(sink.shown.empty());
        help->close();
    }

    void missingHelpFolderIsReportedWithItsPath() {
        desktop::setHelpFolder(QStringLiteral("/nonexistent/qm-help"));
        desktop::showHelp(nullptr, 13300);
        desktop::setHelpFolder(QStringLiteral(QM_BINARY_DIR "/help"));
        QCOMPARE(sink.shown.size(), size_t(1));
        QCOMPARE(QString::fromStdString(sink.shown[0].caption), QStringLiteral("ヘルプ"));
        QCOMPARE(QString::fromStdString(sink.shown[0].text),
                 "\"" + QDir::toNativeSeparators(QStringLiteral("/nonexistent/qm-help/")) +
                     "\"\nヘルプァイルが見つかりません。");
        QCOMPARE(sink.shown[0].icon, MsgIcon::Exclamation);
    }

    // The grids' face draws the underscore of a name (lost by the IPA stand-in's small
    // antialiased outlines on Windows): ink at and below the baseline under "_".
    void gridFaceDrawsTheUnderscore() {
        QImage img(40, 40, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setPen(Qt::black);
        p.setFont(gothicFont(9));
        const int baseline = 24;
        p.drawText(4, baseline, QStringLiteral("_"));
        p.end();
        int ink = 0;
        for (int y = baseline - 1; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) ink += qGray(img.pixel(x, y)) < 208;
        QVERIFY2(ink >= 4, qPrintable(QString::number(ink)));
    }

    // Every window topic and every code of the catalogue has its page.
    void helpHasEveryTopicAndFinding() {
        const QString dir = QStringLiteral(QM_BINARY_DIR "/help/");
        for (int ctx : {0, 13100, 13200, 13300, 13320, 13330, 13340, 13400})
            QVERIFY2(QFile::exists(dir + desktop::helpTopicPage(ctx)), qPrintable(desktop::helpTopicPage(ctx)));
        for (int code : {10001, 10101, 10201, 10203, 10301, 10302, 10401, 10402, 10501, 10502, 10601, 10602,
                         10701, 10802, 10803, 10804, 10805, 10901, 10902, 20101, 20103, 20201, 20202, 20204,
                         20205, 20206, 20301, 20302, 20303, 20304, 20305, 20306, 20307, 20308, 20309, 20310,
                         20311, 20402, 20403, 20601, 30301, 30401, 30501, 30502, 30601, 30602, 30701, 30702, -5})
            QVERIFY2(QFile::exists(dir + desktop::findingHelpPage(code)), qPrintable(QString::number(code)));
    }

    // The view after checking samples/faulty, with a medium and a check type that found
    // something chosen; the help on the view's topic.
    void faultySampleScreens() {
        AppState app;
        app.settingPath = QM_BINARY_DIR "/Setting/";
        QVERIFY(app.useLogFolder(logDir("faulty")));
        std::string top = withTrailingSeparator(std::filesystem::canonical(QM_SOURCE_DIR "/samples/faulty").string());
        VolumeInfo info;
        QVERIFY(GetVolumeInfo(top, info));
        CheckRunInput in;
        in.resultType = JudgeResultType(managementFile(top, "SURVEY\\SURVEY.XML"));
        QCOMPARE(in.resultType, int16_t(1));
        JudgeProcess(in.resultType, top, in.flags);
        in.handedPath = top;
        in.handedSerial = info.serial;
        NoMoreMedia locator;
        std::vector<MediumRecord> media;
        QVERIFY(runCheckAll(app, in, locator, media) > 0);

        CheckResultView view(app, nullptr);
        view.SetMediaNum(in.resultType, media);
        auto* vsfgMedia = child<QTableView>(&view, "vsfgMedia");
        QCOMPARE(cell(vsfgMedia, 0, 1), QStringLiteral("×"));
        selectRow(child<QTableView>(&view, "vsfgCheckType"), 2);
        auto* vsfgLog = child<QTableView>(&view, "vsfgLog");
        QVERIFY(vsfgLog->model()->rowCount() > 3);
        QVERIFY(view.hasFindings());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        selectRow(vsfgLog, 3);
        test::saveScreen(&view, QStringLiteral("result_view"));

        desktop::showHelp(&view, CheckResultView::kHelpContext);
        auto* help = view.findChild<HelpWindow*>();
        QVERIFY(help);
        QVERIFY(QTest::qWaitForWindowExposed(help));
        test::saveScreen(help, QStringLiteral("help_topic"));
        desktop::showFindingHelp(&view, 20301);
        test::saveScreen(help, QStringLiteral("help_finding"));
        desktop::showHelp(&view, 0);
        test::saveScreen(help, QStringLiteral("help_contents"));
        help->close();
    }
};

QTEST_MAIN(TestCheckResultView)
#include "test_checkresultview.moc"
