// The folder structure view, the XML view with its text window, and the deliverables list,
// on the bundled samples after a check.
#include "checks/checkrun.h"
#include "models/doclist.h"
#include "checks/inspection.h"
#include "foundation/appstate.h"
#include "foundation/errorlog.h"
#include "foundation/messages.h"
#include "foundation/platform.h"
#include "gui/screens.h"
#include "printing/layout/fonts.h"
#include "views/doclistview.h"
#include "views/folderview.h"
#include "views/xmlview.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <filesystem>

using namespace qm;
using namespace qm::desktop;
namespace fs = std::filesystem;

namespace {

class NoMoreMedia : public MediumLocator {
public:
    std::optional<std::string> askMedium(int, const std::string&) override { return std::nullopt; }
};

// Feeds the deliverables list medium by medium, as the check run window does.
class DocListFeeder : public CheckRunObserver {
public:
    explicit DocListFeeder(DeliverablesList* list) : list_(list) {}
    void mediumFinished(int, const std::string& path) override {
        if (list_) list_->SearchFiles(path);
    }
private:
    DeliverablesList* list_;
};

struct CheckedSample {
    std::string top;
    int16_t type = 0;
    ProcessFlags flags;
};

// Checks a sample (its own copy in dir when copy is set) with logs in logDir.
CheckedSample checkSample(AppState& app, const QString& name, const QString& logDir, DeliverablesList* list,
                          const QString& copyTo = {}) {
    CheckedSample s;
    std::string source = std::string(QM_SOURCE_DIR) + "/samples/" + name.toStdString() + "/";
    if (!copyTo.isEmpty()) {
        fs::copy(source, copyTo.toStdString(), fs::copy_options::recursive);
        source = copyTo.toStdString() + "/";
    }
    s.top = source;
    app.settingPath = std::string(QM_BINARY_DIR) + "/Setting/";
    app.useLogFolder(logDir.toStdString());
    CheckRunInput in;
    in.resultType = s.type = JudgeResultType(managementFile(s.top, "SURVEY\\SURVEY.XML"));
    JudgeProcess(in.resultType, s.top, s.flags);
    in.flags = s.flags;
    in.handedPath = s.top;
    VolumeInfo volume;
    if (GetVolumeInfo(s.top, volume)) in.handedSerial = volume.serial;
    if (list)
        list->setDocInfo(in.resultType, app.settingPath + (in.resultType == 2 ? "DocList_S.txt" : "DocList_C.txt"),
                         s.flags);
    DocListFeeder feeder(list);
    NoMoreMedia none;
    std::vector<MediumRecord> media;
    const int16_t r = runCheckAll(app, in, none, media, &feeder);
    if (r < 0) qWarning("run %d, log folder %s", r, app.logPath.c_str());
    return s;
}

}  // namespace

class ViewsTest : public QObject {
    Q_OBJECT
private:
    RecordingMessageSink sink_;
    MessageSink* previous_ = nullptr;

private slots:
    void initTestCase() {
        installFontSubstitutions();
        previous_ = setMessageSink(&sink_);
    }
    void cleanupTestCase() { setMessageSink(previous_); }
    void init() { sink_.shown.clear(); }

    void folderViewOfACheckedMedium() {
        QTemporaryDir logs;
        AppState app;
        const CheckedSample s = checkSample(app, "faulty", logs.path(), nullptr);
        const std::string log = app.logPath + folderLogName(1);
        QVERIFY(isPlainFile(log));

        FolderStructureView view;
        QVERIFY(view.SetTree(&app, s.type, s.top, app.settingPath + "FileInfo_C.txt", log));
        QTreeView* grid = view.findChild<QTreeView*>("vsfgView");
        QVERIFY(grid);
        QVERIFY(!grid->isColumnHidden(FolderTreeModel::Messages));
        QVERIFY(grid->isColumnHidden(FolderTreeModel::RelPath));
        QVERIFY(grid->isColumnHidden(FolderTreeModel::Kind));
        QVERIFY(!view.findChild<QLabel*>("lblHidden")->isVisibleTo(&view));
        QCOMPARE(view.findChild<QLabel*>("lblResult")->text(), QStringLiteral("地籍調査成果"));

        // The misnamed file carries its finding in red, and the description of its kind.
        const FolderTree& tree = view.model()->tree();
        const int64_t bad = tree.findRow("SURVEY\\TISEKI\\WORK\\CPROC_A\\TCAQ001.PDF");
        QVERIFY(bad > 0);
        QVERIFY(tree.rows()[static_cast<size_t>(bad)].red);
        const QModelIndex msg = view.model()->indexOfRow(static_cast<uint32_t>(bad), FolderTreeModel::Messages);
        QVERIFY(!msg.data().toString().isEmpty());
        QCOMPARE(msg.data(Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
        QVERIFY(!tree.rows()[static_cast<size_t>(tree.findRow("SURVEY\\SURVEY.XML"))].description.empty());

        grid->setCurrentIndex(view.model()->indexOfRow(static_cast<uint32_t>(bad)));
        grid->scrollTo(grid->currentIndex());
        view.resize(1100, 700);
        view.show();
        test::saveScreen(&view, "folderview_faulty");
        QVERIFY(sink_.shown.empty());
    }

    void severalFindingsStandOneBelowTheOther() {
        QTemporaryDir dir;
        const QString top = QDir::toNativeSeparators(dir.path() + "/m");  // as the location dialog gives it
        QDir().mkpath(top + "/SURVEY/DOC");
        for (const char* name : {"/SURVEY/DOC/A.PDF", "/SURVEY/DOC/B.PDF", "/SURVEY/DOC/C.PDF"}) {
            QFile f(top + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const std::string log = dir.filePath("FolderCheck_001.log").toStdString();
        QFile l(QString::fromStdString(log));
        QVERIFY(l.open(QIODevice::WriteOnly));
        l.write(QByteArray::fromStdString(toCp932(
            "10203,SURVEY\\DOC\\A.PDF,ファイル名が正しくありません,A.PDF\r\n"
            "10302,SURVEY\\DOC\\A.PDF,ファイルの更新日時が期間外です,A.PDF\r\n"
            "10901,SURVEY\\DOC\\A.PDF,ファイル番号が連続していません,A.PDF\r\n"
            "10203,SURVEY\\DOC\\C.PDF,ファイル名が正しくありません,C.PDF\r\n")));
        l.close();

        FolderStructureView view;
        QVERIFY(view.SetTree(nullptr, 1, top.toStdString(), "", log));
        const FolderTree& tree = view.model()->tree();
        auto cell = [&](const std::string& rel) {
            return view.model()->indexOfRow(static_cast<uint32_t>(tree.findRow(rel)), FolderTreeModel::Messages);
        };
        QCOMPARE(cell("SURVEY\\DOC\\A.PDF").data().toString(),
                 QStringLiteral("ファイル名が正しくありません\nファイルの更新日時が期間外です\nファイル番号が連続していません"));
        QCOMPARE(cell("SURVEY\\DOC\\C.PDF").data().toString(), QStringLiteral("ファイル名が正しくありません"));

        // The row of three findings is three lines high; the others keep one line.
        QTreeView* grid = view.view();
        view.resize(1000, 500);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const int one = grid->visualRect(cell("SURVEY\\DOC\\B.PDF")).height();
        QCOMPARE(grid->visualRect(cell("SURVEY\\DOC\\C.PDF")).height(), one);
        const int three = grid->visualRect(cell("SURVEY\\DOC\\A.PDF")).height();
        QVERIFY2(three >= 3 * grid->fontMetrics().height() && three > 2 * one,
                 qPrintable(QString("%1 vs %2").arg(three).arg(one)));
        test::saveScreen(&view, "folderview_findings");

        // Without several findings in any row, every row is laid out at one height.
        FolderStructureView plain;
        QVERIFY(plain.SetTree(nullptr, 1, top.toStdString(), "", ""));
        QVERIFY(plain.view()->uniformRowHeights());
        QVERIFY(!grid->uniformRowHeights());
    }

    void folderViewOpenCommands() {
        QTemporaryDir dir;
        const QString top = QDir::toNativeSeparators(dir.path() + "/m");  // as the location dialog gives it
        QDir().mkpath(top + "/SURVEY/DOC");
        QFile f(top + "/SURVEY/DOC/A.PDF");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QFile hidden(top + "/.secret");
        QVERIFY(hidden.open(QIODevice::WriteOnly));
        hidden.close();

        FolderStructureView view;
        QVERIFY(view.SetTree(nullptr, 2, top.toStdString(), "", ""));
        QVERIFY(view.findChild<QTreeView*>("vsfgView")->isColumnHidden(FolderTreeModel::Messages));
        QVERIFY(view.findChild<QLabel*>("lblHidden")->isVisibleTo(&view));
        QStringList launched;
        bool answer = true;
        view.launcher = [&](const QString& kind, const QString& path) {
            launched << kind + " " + path;
            return answer;
        };
        const FolderTree& tree = view.model()->tree();
        auto select = [&](const std::string& rel) {
            view.view()->setCurrentIndex(view.model()->indexOfRow(static_cast<uint32_t>(tree.findRow(rel))));
        };

        select("SURVEY\\DOC\\A.PDF");
        view.cmdFileOpen_Click();
        view.cmdExp_Click();
        const QString file = QDir::toNativeSeparators(top + "/SURVEY/DOC/A.PDF");
        QCOMPARE(launched, (QStringList{"open " + file, "select " + file}));
        answer = false;
        view.cmdFileOpen_Click();
        QCOMPARE(sink_.shown.size(), size_t(1));
        QCOMPARE(QString::fromStdString(sink_.shown[0].text), QStringLiteral("関連付けられたアプリケーションがありません。"));
        // A folder that nothing could show is answered with what to install.
        select("SURVEY\\DOC");
        view.cmdExp_Click();
        view.cmdFileOpen_Click();
        QCOMPARE(sink_.shown.size(), size_t(3));
        QCOMPARE(QString::fromStdString(sink_.shown[1].caption), QStringLiteral("エクスプローラ"));
        QCOMPARE(QString::fromStdString(sink_.shown[2].caption), QStringLiteral("フォルダオープン"));
        for (size_t i : {1, 2})
            QCOMPARE(QString::fromStdString(sink_.shown[i].text),
                     QDir::toNativeSeparators(top + "/SURVEY/DOC") + "\r\n\r\n" + QString::fromUtf8(kNoFileManager));
        sink_.shown.erase(sink_.shown.begin() + 1, sink_.shown.end());
        select("SURVEY\\DOC\\A.PDF");

        // Entries gone since the tree was built.
        QVERIFY(QFile::remove(top + "/SURVEY/DOC/A.PDF"));
        view.cmdFileOpen_Click();
        view.cmdExp_Click();
        QVERIFY(QDir(top + "/SURVEY/DOC").removeRecursively());
        select("SURVEY\\DOC");
        view.cmdFileOpen_Click();
        view.cmdExp_Click();
        QCOMPARE(sink_.shown.size(), size_t(5));
        QCOMPARE(QString::fromStdString(sink_.shown[1].caption), QStringLiteral("ファイルオープン"));
        QVERIFY(QString::fromStdString(sink_.shown[1].text).endsWith("\r\n\r\nファイルが見つかりません。"));
        QCOMPARE(QString::fromStdString(sink_.shown[2].caption), QStringLiteral("エクスプローラ"));
        QCOMPARE(QString::fromStdString(sink_.shown[3].caption), QStringLiteral("フォルダオープン"));
        QVERIFY(QString::fromStdString(sink_.shown[4].text).endsWith("フォルダが見つかりません。"));
        QCOMPARE(launched.size(), 5);  // the failed launches only
    }

    // With no file manager on the session bus and no launcher on the path, the desktop's
    // own hand-over fails and the user is told so.
    void folderViewWithoutALauncher() {
#ifdef Q_OS_WIN
        QSKIP("Explorer is part of Windows: there is always a file manager");
#endif
        QTemporaryDir dir, emptyBin;
        QDir().mkpath(dir.path() + "/m/SURVEY");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", emptyBin.path().toLocal8Bit());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.path().toLocal8Bit() + "/no-bus");
        FolderStructureView view;
        QVERIFY(view.SetTree(nullptr, 1, (dir.path() + "/m").toStdString(), "", ""));
        view.cmdExp_Click();
        qputenv("PATH", path);
        QCOMPARE(sink_.shown.size(), size_t(1));
        QCOMPARE(QString::fromStdString(sink_.shown[0].caption), QStringLiteral("エクスプローラ"));
        QVERIFY(QString::fromStdString(sink_.shown[0].text).endsWith(QString::fromUtf8(kNoFileManager)));
    }

    void xmlViewWithFindings() {
        QTemporaryDir logs;
        AppState app;
        const CheckedSample s = checkSample(app, "faulty", logs.path(), nullptr);
        const std::string log = app.logPath + survTskLogName(1);
        QVERIFY(isPlainFile(log));
        XmlView view;
        view.setWindowTitle(managementFileCaption(2));
        QCOMPARE(view.SetTree(&app, managementFile(s.top, "SURVEY\\TISEKI\\SURV_TSK.XML"), log), XmlTree::kBuilt);
        QVERIFY(view.view()->isColumnHidden(XmlTreeModel::XPath));
        QVERIFY(view.view()->isColumnHidden(XmlTreeModel::NodeType));
        int notes = 0;
        const XmlTree& tree = view.model()->tree();
        for (const XmlRow& r : tree.rows()) notes += !r.note.empty();
        QVERIFY(notes > 0);
        QCOMPARE(view.model()->indexOfRow(1, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 192));
        view.resize(1100, 720);
        view.show();
        test::saveScreen(&view, "xmlview_surv_tsk");
    }

    void xmlViewFindingsOneBelowTheOther() {
        QTemporaryDir dir;
        const QString file = dir.filePath("S.XML");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<!DOCTYPE R [<!ELEMENT R ANY><!ELEMENT A ANY>]><R><A>1</A><A>2</A></R>");
        f.close();
        const std::string log = dir.filePath("JobFileCheck_TSK_001.log").toStdString();
        CErrorLog l;
        l.setFileName(log);
        l.writeErrorLogXml(20102, "/R/A", 2, "桁数が多すぎます", "2");
        l.writeErrorLogXml(20103, "/R/A", 2, "使用できない文字です", "2");
        l.CloseFile();
        XmlView view;
        QCOMPARE(view.SetTree(nullptr, file.toStdString(), log), XmlTree::kBuilt);
        QVERIFY(!view.view()->uniformRowHeights());
        bool found = false;
        for (uint32_t r = 0; r < view.model()->tree().rows().size(); ++r)
            if (view.model()->indexOfRow(r, XmlTreeModel::Note).data().toString() ==
                QStringLiteral("桁数が多すぎます\n使用できない文字です"))
                found = true;
        QVERIFY(found);
    }

    void textWindowForAFileThatIsNotXml() {
        QTemporaryDir dir;
        const QString file = dir.path() + "/SURV_TSK.XML";
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const std::string text = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<SURV_DATA>\r\n<地籍調査成果情報>\r\n"
                                 "<地籍調査区分フォルダ名>TISEKI</地籍調査区分フォルダ名>\r\n</成果情報>\r\n</SURV_DATA>\r\n";
        f.write(QByteArray::fromStdString(toCp932(text)));
        f.close();
        XmlView view;
        QCOMPARE(view.SetTree(nullptr, file.toStdString(), ""), XmlTree::kNotXml);
        QVERIFY(sink_.shown.empty());
        XmlTextView window(file.toStdString(), view.model()->tree().parseError());
        QCOMPARE(window.highlightedLine(), 5);
        QVERIFY(window.text()->toPlainText().contains(QStringLiteral("<地籍調査区分フォルダ名>TISEKI")));
        QCOMPARE(window.text()->textCursor().blockNumber(), 4);
        window.show();
        test::saveScreen(&window, "xml_textview");

        // A file over the size limit is not read (this one is sparse; reading it would
        // still take seconds and hundreds of megabytes).
        QFile big(dir.path() + "/BIG.XML");
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(static_cast<qint64>(kMaxXmlFileBytes) + 12 * 1024 * 1024));
        big.close();
        XmlParseError tooLarge;
        tooLarge.reason = "ファイルが大きすぎます(上限128MB)";
        XmlTextView bigWindow(big.fileName().toStdString(), tooLarge);
        QVERIFY(bigWindow.text()->toPlainText().isEmpty());
        QVERIFY(bigWindow.text()->placeholderText().contains(QStringLiteral("大きすぎる")));
        QCOMPARE(bigWindow.highlightedLine(), 0);
    }

    void deliverablesListKeepsItsState() {
        QTemporaryDir logs;
        AppState app;
        DeliverablesList list;
        checkSample(app, "cadastral", logs.path(), &list);
        list.setGrid();
        QVERIFY(list.areaLines().size() >= 2);

        auto* view = new DeliverablesListView(list);
        QListWidget* areas = view->findChild<QListWidget*>("lstArea");
        QTabBar* tabs = view->findChild<QTabBar*>("tabProcess");
        QTableView* grid = view->findChild<QTableView*>("vsfgView");
        QVERIFY(areas && tabs && grid);
        QCOMPARE(areas->count(), static_cast<int>(list.areaLines().size()));
        QVERIFY(tabs->count() >= 3);
        for (int c : {DocListModel::Pattern, DocListModel::Area, DocListModel::Process}) QVERIFY(grid->isColumnHidden(c));

        // The rows shown are those of the chosen area and tab.
        auto shownRows = [&] {
            int n = 0;
            for (size_t r = 0; r < list.gridRows().size(); ++r) n += list.rowVisible(r, list.selectedArea, list.selectedTab);
            return n;
        };
        QCOMPARE(view->filter()->rowCount(), shownRows());
        QVERIFY(view->filter()->rowCount() < static_cast<int>(list.gridRows().size()));
        areas->setCurrentRow(1);
        QCOMPARE(list.selectedArea, 1);
        tabs->setCurrentIndex(tabs->count() - 1);
        const std::string tab = list.selectedTab;
        QVERIFY(tab == "DOC" || tab == "TOT");
        QCOMPARE(view->filter()->rowCount(), shownRows());
        areas->setCurrentRow(0);
        tabs->setCurrentIndex(1);
        view->resize(900, 560);
        view->show();
        test::saveScreen(view, "doclist");
        const std::string keptTab = list.selectedTab;
        delete view;

        DeliverablesListView again(list);
        QCOMPARE(again.areaList()->currentRow(), 0);
        QCOMPARE(again.tabs()->tabData(again.tabs()->currentIndex()).toString().toStdString(), keptTab);
        QCOMPARE(again.filter()->rowCount(), shownRows());
    }
};

QTEST_MAIN(ViewsTest)
#include "test_views.moc"
