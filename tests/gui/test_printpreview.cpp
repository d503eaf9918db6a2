// The print preview and the page range dialog: captions, paging, zooming, another paper,
// the range rules, and PDF output laid out as the preview shows it. Saves a picture of a
// preview page of each document kind and of the page range dialog.
#include "foundation/messages.h"
#include "layout_fixture.h"
#include "printing/layout/fonts.h"
#include "printing/pagerangedialog.h"
#include "workflow/desktopsettings.h"
#include "printing/printpreviewdialog.h"
#include "screens.h"
#include "views/launch.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>

using namespace qm;
using namespace qm::print;
using namespace qm::desktop;
using namespace qm::test;

namespace {

PrintDocument xmlDoc() {
    PrintDocument d;
    d.kind = DocKind::Xml;
    d.title = "業務管理ファイル (INDEX_D.XML)";
    d.records = {rec(0, "INDEX"), rec(1, "適用要領基準", "地籍201704-01"), rec(1, "業務件名等"),
                 rec(2, "業務名称", "令和8年度　東山地区地籍調査業務（一筆地調査及び細部測量）"),
                 rec(2, "発注者機関名", "東山市"), rec(1, "メディア番号", "1"), rec(1, "メディア総枚数", "1"),
                 rec(1, "ソフトメーカ用TAG", "", "要素の内容が記入されていません")};
    for (int i = 0; i < 120; ++i) d.records.push_back(rec(2, "予備" + std::to_string(i), "値"));
    return d;
}

PrintDocument fileDoc() {
    PrintDocument d;
    d.kind = DocKind::File;
    d.title = "フォルダ・ファイル構成";
    d.caption = "/media/disk1/";
    d.records = {rec(0, "/media/disk1/"), rec(1, "INDEX_D.XML", "業務管理ファイル"), rec(1, "[SURVEY]"),
                 rec(2, "SURVEY.XML", "測量情報管理ファイル"), rec(2, "[TISEKI]"), rec(3, "[DATA]"),
                 rec(4, "[CPROC_A]", "地籍図根三角点測量"),
                 rec(5, "TCAK0001.SIM", "観測手簿", "ファイル番号が連続していません")};
    d.records[1].time = "2017/04/01 10:00:00";
    d.records[3].time = "2017/04/01 10:00:00";
    d.records[7].time = "2017/09/30 12:34:56";
    return d;
}

// A medium with a 26-level folder nest, a file in each folder.
PrintDocument deepNest() {
    PrintDocument d;
    d.kind = DocKind::File;
    d.title = "地籍調査成果　ファイル一覧";
    d.caption = "/media/disk1/";
    d.records = {rec(0, "/media/disk1/")};
    for (int16_t l = 1; l <= 26; ++l) {
        d.records.push_back(rec(l, "[LEVEL" + std::to_string(l) + "_FOLDER]"));
        d.records.back().time = "2017/06/01 12:00";
        d.records.push_back(rec(static_cast<int16_t>(l + 1), "TCAK" + std::to_string(1000 + l) + ".SIM", "観測手簿"));
        d.records.back().time = "2017/06/01 12:00";
    }
    return d;
}

PrintDocument docList() {
    PrintDocument d;
    d.kind = DocKind::Doc;
    d.title = "成果一覧";
    auto line = [](int16_t kind, const std::string& text, const std::string& mark = "") {
        PrintRecord r = rec(kind, text);
        r.mark = mark;
        return r;
    };
    d.records = {line(0, "1 東山一丁目地区"), line(1, "C 地籍図根三角測量"), line(2, "観測手簿", "○"),
                 line(2, "計算簿", "×"), line(1, "E 一筆地調査"), line(2, "調査図素図", "○"),
                 line(0, "2 東山二丁目地区"), line(1, "C 地籍図根三角測量"), line(2, "観測手簿", "○")};
    return d;
}

PrintDocument errDoc(int rows) {
    PrintDocument d;
    d.kind = DocKind::ErrLog;
    d.title = "業務管理ファイルチェック結果\u3000（成果1枚目）";
    d.subTitle = "チェックファイル disk1/INDEX_D.XML";
    for (int i = 0; i < rows; ++i)
        d.records.push_back(rec(0, "/INDEX/業務件名等/業務名称(" + std::to_string(i + 2) + "番目)",
                                i % 4 ? "必須要素が記入されていません" : "文字数が制限を超えています（全角換算で127文字まで）。"
                                                                         "長い内容は内容の欄の中で折り返されます。"));
    return d;
}

// A check result whose medium folder name is long enough to wrap the sub-title to three lines.
PrintDocument longPlace() {
    PrintDocument d = errDoc(60);
    d.title = "フォルダ・ファイル構成チェック結果\u3000（成果1枚目）";
    d.subTitle = "チェック場所 /media/user/" + repeat("令和八年度東山地区地籍調査業務成果品", 6) + "/";
    return d;
}

// The pages of a PDF the program wrote: Qt writes every page as an object of its own,
// "/Type /Page", and the page tree as "/Type /Pages". -1: no PDF there.
int pdfPages(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray pdf = f.readAll();
    if (!pdf.startsWith("%PDF-") || !pdf.trimmed().endsWith("%%EOF")) return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![A-Za-z])"));
    int n = 0;
    for (auto it = page.globalMatch(QString::fromLatin1(pdf)); it.hasNext(); it.next()) ++n;
    return n;
}

}  // namespace

class PrintPreviewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        installFontSubstitutions();
        setMessageSink(&box_);
    }
    void cleanupTestCase() { setMessageSink(nullptr); }

    void showsEachKind() {
        const std::pair<PrintDocument, const char*> kinds[] = {
            {xmlDoc(), "preview_xml"}, {fileDoc(), "preview_file"}, {docList(), "preview_doclist"},
            {errDoc(150), "preview_errlog"}, {deepNest(), "preview_deep_nest"}, {longPlace(), "preview_long_subtitle"}};
        for (const auto& [doc, name] : kinds) {
            PrintPreviewDialog dlg;
            dlg.resize(760, 1000);
            dlg.setDocument(doc);
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            A4 a4;
            QCOMPARE(dlg.pageCount(), a4.count(doc));
            QCOMPARE(dlg.findChild<QLabel*>("lblPage")->text(), QStringLiteral("1 / %1").arg(dlg.pageCount()));
            QCOMPARE(dlg.pageImage().size(), QSize(840, 1188));
            qm::test::saveScreen(&dlg, name);
        }
        PrintPreviewDialog file;
        file.setDocument(fileDoc());
        QCOMPARE(file.windowTitle(), QStringLiteral("印刷プレビュー - /media/disk1/"));
        PrintPreviewDialog err;
        err.setDocument(errDoc(3));
        QCOMPARE(err.windowTitle(), QStringLiteral("印刷プレビュー - 業務管理ファイルチェック結果　（成果1枚目）"));
        QVERIFY(box_.shown.empty());
    }

    void pagesAndZoom() {
        PrintPreviewDialog dlg;
        dlg.resize(600, 700);
        dlg.setDocument(errDoc(150));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(dlg.pageCount() >= 3);
        auto* label = dlg.findChild<QLabel*>("lblPage");
        const QImage first = dlg.pageImage();
        dlg.findChild<QPushButton*>("cmdPrevPage")->click();
        QCOMPARE(dlg.currentPage(), 1);
        dlg.findChild<QPushButton*>("cmdNextPage")->click();
        QCOMPARE(label->text(), QStringLiteral("2 / %1").arg(dlg.pageCount()));
        QVERIFY(dlg.pageImage() != first);
        for (int i = 0; i < 10; ++i) dlg.nextPage();
        QCOMPARE(dlg.currentPage(), dlg.pageCount());

        // The page is larger than this viewport: a click zooms to actual size with scroll
        // bars, a second click goes back.
        PageView* view = dlg.view();
        QCOMPARE(view->objectName(), QStringLiteral("picView"));
        QTest::mouseClick(view, Qt::LeftButton, {}, view->rect().center());
        QCOMPARE(dlg.zoomState(), int(kActualSize));
        QVERIFY(dlg.findChild<QScrollBar*>("VScroll1")->maximum() > 0);
        qm::test::saveScreen(&dlg, "preview_actual_size");
        QTest::mouseClick(view, Qt::LeftButton, {}, view->rect().center());
        QCOMPARE(dlg.zoomState(), int(kWholePage));
        QCOMPARE(dlg.findChild<QScrollBar*>("VScroll1")->maximum(), 0);

        // A page that fits the viewport does not zoom.
        dlg.resize(1100, 1400);
        QTRY_VERIFY(view->width() >= 840 && view->height() >= 1188);
        QTest::mouseClick(view, Qt::LeftButton, {}, view->rect().center());
        QCOMPARE(dlg.zoomState(), int(kWholePage));

        // Another paper: measured and counted again, back on page 1.
        const int a4Pages = dlg.pageCount();
        dlg.printer()->setPageSize(QPageSize(QPageSize::A5));
        dlg.printerChanged();
        QCOMPARE(dlg.currentPage(), 1);
        QCOMPARE(dlg.metrics().paperWidthMm, 148);
        QVERIFY(dlg.pageCount() > a4Pages);
        QCOMPARE(label->text(), QStringLiteral("1 / %1").arg(dlg.pageCount()));
        QCOMPARE(dlg.pageImage().size(), QSize(148 * 4, 210 * 4));
    }

    void pdfOfARange() {
        PrintPreviewDialog dlg;
        dlg.setDocument(errDoc(150));
        QTemporaryDir dir;
        const QString all = dir.filePath("all.pdf");
        QVERIFY(dlg.savePdf(all, 1, dlg.pageCount()));
        QCOMPARE(pdfPages(all), dlg.pageCount());
        const QString one = dir.filePath("one.pdf");
        QVERIFY(dlg.savePdf(one, 2, 2));
        QCOMPARE(pdfPages(one), 1);
#ifndef Q_OS_WIN  // poppler's pdftotext reads the page back on Linux
        QProcess text;
        text.start("pdftotext", {"-layout", one, "-"});
        text.waitForFinished(30000);
        const QString page2 = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(page2.contains(QStringLiteral("P. 2 / %1").arg(dlg.pageCount())), qPrintable(page2.left(400)));
        QVERIFY(page2.contains(QStringLiteral("業務管理ファイルチェック結果")));
#endif
        // A file that cannot be written is refused with a message.
        box_.shown.clear();
        QVERIFY(!dlg.savePdf(dir.filePath("no/such/folder/x.pdf"), 1, 1));
        QCOMPARE(box_.shown.size(), size_t(1));
        QCOMPARE(QString::fromStdString(box_.shown[0].caption), QStringLiteral("PDF保存"));
        // Printing with no printer installed asks first; No saves nothing.
        if (!dlg.printerInstalled()) {
            box_.shown.clear();
            box_.answer = MsgAnswer::No;
            QVERIFY(!dlg.printPages(1, 1));
            QCOMPARE(box_.shown.size(), size_t(1));
            QCOMPARE(box_.shown[0].buttons, MsgButtons::YesNo);
        }
    }

    // No PDF goes onto a medium, however the place is spelled; the user is asked again. A
    // save that fails leaves the earlier file as it was and nothing beside it.
    void pdfNeverOnAMediumAndNeverHalfWritten() {
        QTemporaryDir dir;
        const QString medium = dir.filePath("disc");
        QVERIFY(QDir().mkpath(medium + "/SURVEY"));
        QFile index(medium + "/INDEX_D.XML");
        QVERIFY(index.open(QIODevice::WriteOnly) && index.write("<INDEX/>") == 8);
        index.close();
#ifdef Q_OS_WIN
        // Windows names the same folder in any case.
        const QString alias = dir.filePath("DISC");
#else
        const QString alias = dir.filePath("alias");
        QVERIFY(QFile::link(medium, alias));
#endif
        rememberMedia({medium.toStdString() + "/"});

        PrintPreviewDialog dlg;
        dlg.setDocument(errDoc(3));
        box_.shown.clear();
        QVERIFY(!dlg.savePdf(alias + "/INDEX_D.XML", 1, 1));
        QVERIFY(!dlg.savePdf(alias + "/../disc/SURVEY/new.pdf", 1, 1));
        QCOMPARE(box_.shown.size(), size_t(2));
        QCOMPARE(QString::fromStdString(box_.shown[0].caption), QStringLiteral("PDF保存"));
        QVERIFY(QString::fromStdString(box_.shown[0].text).contains(QStringLiteral("成果メディアの中には保存できません")));
        QVERIFY(index.open(QIODevice::ReadOnly));
        QCOMPARE(index.readAll(), QByteArray("<INDEX/>"));
        index.close();

        // PDF保存: a place on the medium is refused and the file name asked for again.
        const QString out = dir.filePath("out.pdf");
        QStringList answers = {medium + "/r.pdf", out};
        int asked = 0;
        dlg.askFileName = [&](const QString&) {
            const int i = asked++;
            return i < answers.size() ? answers[i] : QString();
        };
        box_.shown.clear();
        dlg.saveAsPdf();
        QCOMPARE(asked, 2);
        QCOMPARE(box_.shown.size(), size_t(1));
        QCOMPARE(pdfPages(out), dlg.pageCount());
        QCOMPARE(QDir(medium).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList{"INDEX_D.XML"});
        // 印刷 with no printer saves a PDF the same way; cancelling after a refusal saves nothing.
        if (!dlg.printerInstalled()) {
            answers = {alias + "/p.pdf"};
            asked = 0;
            box_.shown.clear();
            box_.answer = MsgAnswer::Yes;
            QVERIFY(!dlg.printPages(1, 1));
            box_.answer = MsgAnswer::No;
            QCOMPARE(asked, 2);
            QCOMPARE(box_.shown.size(), size_t(2));  // the question, then the refusal
            QVERIFY(!QFile::exists(medium + "/p.pdf"));
        }

#ifndef _WIN32
        // A write that fails on the way (here the file size limit) keeps the earlier file.
        QFile earlier(out);
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        const QByteArray before = earlier.readAll();
        earlier.close();
        struct rlimit saved {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit small = saved;
        small.rlim_cur = 2048;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        box_.shown.clear();
        const bool saved2 = dlg.savePdf(out, 1, dlg.pageCount());
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QVERIFY(!saved2);
        QCOMPARE(box_.shown.size(), size_t(1));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList{"out.pdf"});
#endif
    }

    void pageRangeDialog() {
        PageRangeDialog dlg;
        dlg.setPageRange(1, 5);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("印刷範囲"));
        QCOMPARE(dlg.findChild<QLineEdit*>("txtPageS")->text(), QStringLiteral("1"));
        QCOMPARE(dlg.findChild<QLineEdit*>("txtPageE")->text(), QStringLiteral("5"));
        QCOMPARE(dlg.findChild<QLabel*>("lblRange")->text(), QStringLiteral("(1～ 5の間で指定)"));
        QCOMPARE(dlg.findChildren<QRadioButton*>("optPage").size(), 3);
        QVERIFY(dlg.option(0)->isChecked());
        QCOMPARE(dlg.option(0)->text(), QStringLiteral("全て印刷"));
        QCOMPARE(dlg.cancelButton()->text(), QStringLiteral("ｷｬﾝｾﾙ"));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        qm::test::saveScreen(&dlg, "page_range_dialog");

        // OK with 全て印刷: pages 1 to 5.
        dlg.okButton()->click();
        QVERIFY(dlg.confirmed());
        int first = 0, last = 0;
        dlg.pageRange(first, last);
        QCOMPARE(first, 1);
        QCOMPARE(last, 5);

        // Typing selects ページ指定; invalid ranges keep the dialog open with a warning.
        PageRangeDialog typed;
        typed.setPageRange(1, 5);
        typed.show();
        QVERIFY(!typed.option(2)->isChecked());
        QLineEdit* s = typed.startBox();
        QLineEdit* e = typed.endBox();
        s->selectAll();
        QTest::keyClicks(s, "3");
        QVERIFY(typed.option(2)->isChecked());
        box_.shown.clear();
        const std::pair<const char*, const char*> bad[] = {{"3", "2"}, {"0", "2"}, {"1", "6"}};
        for (const auto& [a, b] : bad) {
            s->setText(a);
            e->setText(b);
            typed.okButton()->click();
            QVERIFY(!typed.confirmed());
            QVERIFY(typed.isVisible());
        }
        QCOMPARE(box_.shown.size(), size_t(3));
        QCOMPARE(QString::fromStdString(box_.shown[0].text), QStringLiteral("ページの指定が不正です。"));
        QCOMPARE(QString::fromStdString(box_.shown[0].caption), QStringLiteral("印刷範囲"));
        s->setText("2");
        e->setText("4");
        typed.okButton()->click();
        QVERIFY(typed.confirmed());
        QCOMPARE(typed.job(), int(kTypedRange));

        PageRangeDialog cancelled;
        cancelled.setPageRange(1, 5);
        cancelled.show();
        cancelled.cancelButton()->click();
        QVERIFY(!cancelled.confirmed());
        QVERIFY(!cancelled.isVisible());
    }

    // Last: the translator stays installed for the rest of the program.
    void printerSetupInJapanese() {
        QString system;
        for (const QString& dir : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                   QStringLiteral("/usr/share/qt6/translations")})
            if (system.isEmpty() && QFile::exists(dir + "/qtbase_ja.qm")) system = dir + "/qtbase_ja.qm";
        if (system.isEmpty()) QSKIP("qtbase_ja.qm is not installed (package qt6-translations-l10n)");
        // The program's own translations folder comes first.
        QTemporaryDir program;
        QVERIFY(QDir(program.path()).mkdir("translations"));
        QVERIFY(QFile::copy(system, program.filePath("translations/qtbase_ja.qm")));
        QCOMPARE(installQtTranslations(program.path()), program.filePath("translations/qtbase_ja.qm"));
        QDialogButtonBox standard(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(standard.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));

#ifdef Q_OS_WIN
        QSKIP("Windows shows its own print dialog, in the system's language");
#endif
        QPrinter printer;
        QPrintDialog dialog(&printer);
        PrintPreviewDialog::prepareSetupDialog(dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        if (!buttons) QSKIP("the platform's own print dialog");
        QCOMPARE(buttons->button(QDialogButtonBox::Ok)->text(), QStringLiteral("設定"));
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("プリンタ設定"));
        qm::test::saveScreen(&dialog, "printer_setup");
        dialog.reject();
    }

private:
    RecordingMessageSink box_;
};

QTEST_MAIN(PrintPreviewTest)
#include "test_printpreview.moc"
