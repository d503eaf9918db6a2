// Page layout on A4: column positions, entry heights, page ends, line breaks, area pages,
// tree connectors, any depth, a wrapped sub-title; and the preview's paging, zoom and page range rules.
#include "foundation/messages.h"
#include "layout_fixture.h"
#include "printing/layout/fonts.h"
#include "printing/layout/viewlogic.h"

#include <QGuiApplication>
#include <QtTest>

using namespace qm;
using namespace qm::print;
using namespace qm::test;

namespace {
PrintDocument errLog(int rows, const std::string& content = "内容") {
    PrintDocument d;
    d.kind = DocKind::ErrLog;
    d.title = "業務管理ファイルチェック結果";
    d.subTitle = "チェックファイル disk1/INDEX_D.XML";
    for (int i = 0; i < rows; ++i) d.records.push_back(rec(0, "/INDEX/要素" + std::to_string(i), content));
    return d;
}
bool hasLine(const RecordingSink& s, int page, double x1, double y1, double x2, double y2) {
    for (const auto& l : s.lines)
        if (l.page == page && qAbs(l.x1 - x1) < 1e-9 && qAbs(l.y1 - y1) < 1e-9 && qAbs(l.x2 - x2) < 1e-9 &&
            qAbs(l.y2 - y2) < 1e-9)
            return true;
    return false;
}
}  // namespace

class PageLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutions(); }

    void a4ColumnsAndHeadings() {
        A4 a4;
        QCOMPARE(a4.metrics.paperWidthMm, 210);
        QCOMPARE(a4.metrics.paperHeightMm, 297);
        QCOMPARE(xmlContentWidth(210), 60);
        QCOMPARE(fileContentWidth(210), 55);
        QCOMPARE(nearest(2.5), 2);
        QCOMPARE(nearest(3.5), 4);
        QCOMPARE(nearest(-0.5), 0);

        PrintDocument xml;
        xml.kind = DocKind::Xml;
        xml.title = "INDEX_D.XML";
        xml.records = {rec(0, "INDEX", "", "")};
        RecordingSink s;
        QCOMPARE(a4.record(xml, s), 1);
        QCOMPARE(s.find("内容")->x, 75.0);
        QCOMPARE(s.find("備考")->x, 135.0);
        QCOMPARE(s.find("備考")->y, 25.0);
        QCOMPARE(s.find("INDEX_D.XML")->y, 15.0);
        QCOMPARE(s.find("P. 1 / 0")->x, 175.0);
        QVERIFY(hasLine(s, 1, 15, 29, 195, 29));

        PrintDocument file;
        file.kind = DocKind::File;
        file.records = {rec(0, "disk1"), rec(1, "INDEX_D.XML")};
        file.records[1].time = "2017/04/01 10:00:00";
        RecordingSink f;
        a4.record(file, f);
        QCOMPARE(f.find("更新日時")->x, 55.0);
        QCOMPARE(f.find("備考")->x, 140.0);
        QCOMPARE(f.find("2017/04/01 10:00:00")->x, 55.0);
        QCOMPARE(f.find("INDEX_D.XML")->x, 18.0);

        // The check result's 内容 is 110 mm wide: 31 full-width characters fit, 32 do not.
        RecordingSink e;
        PrintDocument one = errLog(2, repeat("あ", 31));
        a4.record(one, e);
        QCOMPARE(e.find("内容")->x, 85.0);
        QCOMPARE(e.find("内容")->y, 30.0);
        QVERIFY(hasLine(e, 1, 15, 34.5, 195, 34.5));
        QCOMPARE(e.find("/INDEX/要素0")->y, 35.5);
        QCOMPARE(e.find("/INDEX/要素1")->y, 35.5 + 3.5 + 1);
        RecordingSink e2;
        a4.record(errLog(2, repeat("あ", 32)), e2);
        QCOMPARE(e2.find("/INDEX/要素1")->y, 35.5 + 7 + 1);
    }

    void entryHeightsAndPageEnd() {
        A4 a4;
        // Three wrapped lines occupy 3 × 3.5 + 1 mm.
        RecordingSink s;
        a4.record(errLog(2, repeat("あ", 70)), s);
        QCOMPARE(s.find("/INDEX/要素1")->y, 35.5 + 11.5);
        QCOMPARE(s.find(QString::fromUtf8(repeat("あ", 31).c_str()))->x, 85.0);

        // One-line entries every 4.5 mm from 35.5: the 55th ends at 282 exactly and stays,
        // the 56th would pass it and opens page 2 at the body top.
        QCOMPARE(a4.count(errLog(55)), 1);
        QCOMPARE(a4.count(errLog(56)), 2);
        RecordingSink p;
        QCOMPARE(a4.record(errLog(56), p), 2);
        QCOMPARE(p.find("/INDEX/要素54")->y, 278.5);
        QCOMPARE(p.find("/INDEX/要素55")->page, 2);
        QCOMPARE(p.find("/INDEX/要素55")->y, 35.5);
        QCOMPARE(p.find("業務管理ファイルチェック結果", 2)->y, 15.0);
        QCOMPARE(p.find("チェックファイル disk1/INDEX_D.XML", 2)->y, 20.0);

        // Only the pages asked for reach the sink; the whole document is still laid out.
        RecordingSink only;
        QCOMPARE(a4.record(errLog(200), only, 3, 3), 4);
        QCOMPARE(only.pages, std::vector<int>{3});

        // An entry taller than the body is placed alone rather than paging forever.
        QCOMPARE(a4.count(errLog(2, repeat("あ", 31 * 80))), 2);
        // No records: one page with its frame.
        QCOMPARE(a4.count(errLog(0)), 1);
    }

    void lineBreaksByControlCharacters() {
        A4 a4;
        const double d = a4.metrics.dotsPerMm;
        CharWidths& w = a4.widths(DocKind::ErrLog);
        const double ab = (w.width(U'a') + w.width(U'b')) / d;
        const double lineMm = w.height() / d;

        RecordingSink crlf;
        a4.record(errLog(1, "ab\r\ncd"), crlf);
        QCOMPARE(crlf.find("cd")->x, 85.0);
        QCOMPARE(crlf.find("cd")->y, 35.5 + lineMm);

        RecordingSink lf;
        a4.record(errLog(2, "ab\ncd"), lf);
        QCOMPARE(lf.find("cd")->x, 85.0 + ab);
        QCOMPARE(lf.find("/INDEX/要素1")->y, 35.5 + 7 + 1);

        // A tab moves to the next multiple of twice the character height.
        RecordingSink tab;
        a4.record(errLog(1, "a\tb"), tab);
        QCOMPARE(tab.find("b")->x, 85.0 + 2 * w.height() / d);
        QCOMPARE(wrapText(w, "ab\rcd", 10000), 1);
        QCOMPARE(GetTextHeight(w, "a\n\nb", 10000), int16_t(3));
    }

    void areasStartPages() {
        A4 a4;
        PrintDocument doc;
        doc.kind = DocKind::Doc;
        doc.title = "成果一覧";
        auto line = [](int16_t kind, const std::string& text, const std::string& mark = "") {
            PrintRecord r = rec(kind, text);
            r.mark = mark;
            return r;
        };
        doc.records = {line(0, "1地区"), line(1, "C 工程"), line(2, "図書1", "○"), line(1, "D 工程"),
                       line(0, "2地区"), line(2, "図書2", "×"), line(0, "3地区"), line(1, "E 工程")};
        RecordingSink s;
        QCOMPARE(a4.record(doc, s), 3);
        for (int page = 1; page <= 3; ++page) {
            const QString header = QString::number(page) + "地区　成果一覧";
            QVERIFY2(s.find(header, page) && s.find(header, page)->y == 15.0, qPrintable(header));
        }
        // A process heading first on a page sits at the body top; later ones get 3 + 1 mm more.
        QCOMPARE(s.find("C 工程")->y, 30.0);
        QCOMPARE(s.find("C 工程")->x, 28.0);
        QCOMPARE(s.find("図書1")->y, 34.0);
        QCOMPARE(s.find("○")->x, 15.0);
        QCOMPARE(s.find("D 工程")->y, 42.0);
        QCOMPARE(s.find("図書2")->y, 30.0);
        QCOMPARE(s.find("E 工程")->page, 3);
        QCOMPARE(s.find("E 工程")->y, 30.0);

        // A list without an area heading has no header text.
        PrintDocument plain;
        plain.kind = DocKind::Doc;
        plain.records = {line(2, "図書")};
        RecordingSink p;
        a4.record(plain, p);
        QCOMPARE(p.texts.front().text, QStringLiteral("P. 1 / 0"));
    }

    void treeConnectorsAcrossPages() {
        A4 a4;
        PrintDocument doc;
        doc.kind = DocKind::Xml;
        doc.records = {rec(0, "ROOT"), rec(1, "A")};
        for (int i = 0; i < 80; ++i) doc.records.push_back(rec(2, "B" + std::to_string(i), "値"));
        doc.records.push_back(rec(1, "C"));
        RecordingSink s;
        QCOMPARE(a4.record(doc, s), 2);
        // ROOT at 30 (bottom 34), A at 34: its connector runs from 34 to 35.5 and 1 mm right.
        QVERIFY(hasLine(s, 1, 16.5, 34, 16.5, 35.5));
        QVERIFY(hasLine(s, 1, 16.5, 35.5, 17.5, 35.5));
        // At the page break both levels go on: their connectors run to 282.
        const RecordedText* moved = nullptr;
        for (const auto& t : s.texts)
            if (t.page == 2 && t.text.startsWith('B')) { moved = &t; break; }
        QVERIFY(moved);
        QCOMPARE(moved->y, 30.0);
        int toEnd = 0;
        for (const auto& l : s.lines)
            if (l.page == 1 && l.y2 == 282.0) {
                ++toEnd;
                QVERIFY(l.x1 == 16.5 || l.x1 == 19.5);
            }
        QCOMPARE(toEnd, 2);
        // On page 2 the connectors start again from y = 30.
        QVERIFY(hasLine(s, 2, 19.5, 30, 19.5, 31.5));

        // Without a later level-1 entry only level 2 continues past the break.
        doc.records.pop_back();
        RecordingSink t;
        a4.record(doc, t);
        int level1 = 0;
        for (const auto& l : t.lines)
            if (l.page == 1 && l.y2 == 282.0 && l.x1 == 16.5) ++level1;
        QCOMPARE(level1, 0);
    }

    void anyTreeDepthPrintsInsideItsColumn() {
        A4 a4;
        RecordingMessageSink box;
        MessageSink* before = setMessageSink(&box);
        // A 26-level folder nest, each folder with a file, as the folder view prints it.
        PrintDocument file;
        file.kind = DocKind::File;
        file.records = {rec(0, "/media/disk1/")};
        for (int16_t l = 1; l <= 26; ++l) {
            file.records.push_back(rec(l, "[FOLDER" + std::to_string(l) + "]"));
            file.records.push_back(rec(static_cast<int16_t>(l + 1), "FILE" + std::to_string(l) + ".PDF", "説明"));
            file.records.back().time = "2017/06/01 12:00";
        }
        RecordingSink s;
        const int filePages = a4.record(file, s);
        QCOMPARE(countPages(file, a4.metrics, a4.widths(file.kind)), filePages);
        CharWidths& w = a4.widths(file.kind);
        const double d = a4.metrics.dotsPerMm;
        auto right = [&](const RecordedText& t) {
            int units = 0;
            for (char32_t c : t.text.toUcs4()) units += w.width(c);
            return t.x + units / d;
        };
        int nameTexts = 0;
        double deepestX = 0;
        for (const RecordedText& t : s.texts) {
            if (t.y < 30 || t.x >= 55) continue;  // the body's name column only
            // Every piece of a name stays left of the update time column.
            QVERIFY2(right(t) <= 55 + 1e-6, qPrintable(t.text));
            deepestX = std::max(deepestX, t.x);
            ++nameTexts;
        }
        QVERIFY(nameTexts >= 52);
        // The indent stops where 10 mm of the name column are left.
        QCOMPARE(deepestX, 15.0 + 30);
        for (const RecordedLine& l : s.lines)
            if (l.y2 > 29) QVERIFY(l.x1 <= 15 + 30 && l.x2 <= 15 + 30);  // connectors, not the heading rule

        // An XML tree as deep as the parser lets through, over several pages.
        PrintDocument xml;
        xml.kind = DocKind::Xml;
        for (int16_t l = 0; l < 260; ++l) xml.records.push_back(rec(l, "ELEMENT" + std::to_string(l), "値"));
        RecordingSink x;
        const int pages = a4.record(xml, x);
        QVERIFY(pages > 1);
        QCOMPARE(countPages(xml, a4.metrics, a4.widths(xml.kind)), pages);
        CharWidths& xw = a4.widths(xml.kind);
        int elements = 0;
        for (const RecordedText& t : x.texts) {
            if (t.y < 30 || t.x >= 75) continue;
            int units = 0;
            for (char32_t c : t.text.toUcs4()) units += xw.width(c);
            QVERIFY2(t.x + units / d <= 75 + 1e-6, qPrintable(t.text));
            ++elements;
        }
        QVERIFY(elements >= 260);
        setMessageSink(before);
        QVERIFY(box.shown.empty());
    }

    void longSubTitlePushesTheBodyDown() {
        A4 a4;
        // A long folder name wraps the sub-title to three lines.
        PrintDocument doc = errLog(60);
        doc.subTitle = "チェック場所 /media/" + repeat("長いフォルダ名", 15) + "/";
        RecordingSink s;
        const int pages = a4.record(doc, s);
        const double lineMm = a4.widths(doc.kind).height() / a4.metrics.dotsPerMm;
        double subBottom = 0;
        int subLines = 0;
        for (const RecordedText& t : s.texts)
            if (t.page == 1 && t.y >= 20 && t.y < 30 + 3 * 3.5 && t.x >= 15 && !t.text.startsWith("/INDEX") &&
                t.text != "エラー箇所" && t.text != "内容") {
                subBottom = std::max(subBottom, t.y + lineMm);
                ++subLines;
            }
        QCOMPARE(subLines, 3);
        const RecordedText* heading = s.find("エラー箇所");
        // As far below the last line as below a sub-title of one line.
        QVERIFY2(qAbs(heading->y - subBottom - (30 - 20 - lineMm)) < 1e-9,
                 qPrintable(QString("%1 %2").arg(heading->y).arg(subBottom)));
        QCOMPARE(s.find("内容")->y, heading->y);
        QVERIFY(hasLine(s, 1, 15, heading->y + 4.5, 195, heading->y + 4.5));
        QCOMPARE(s.find("/INDEX/要素0")->y, heading->y + 5.5);
        // The body is shorter by what the sub-title took: 55 one-line entries no longer fit.
        QCOMPARE(pages, 2);
        QCOMPARE(a4.count(doc), pages);
        doc.records.resize(55);
        QCOMPARE(a4.count(doc), 2);
    }

    void pagingZoomAndRanges() {
        Paging p{1, 3};
        QVERIFY(!p.previous());
        QVERIFY(p.next() && p.next());
        QVERIFY(!p.next());
        QCOMPARE(p.current, 3);
        QCOMPARE(p.label(), QStringLiteral("3 / 3"));

        const QSize image(840, 1188);
        // Whole page: scaled to fit with 10 pixels around, never enlarged, centred.
        QCOMPARE(shownRect(image, QSize(440, 614), kWholePage, 0, 0), QRect(10, 10, 420, 594));
        QCOMPARE(shownRect(image, QSize(1000, 1400), kWholePage, 0, 0), QRect(80, 106, 840, 1188));
        QVERIFY(!canZoomIn(image, QSize(1000, 1400)));
        QVERIFY(canZoomIn(image, QSize(900, 700)));
        // Actual size: scrolled with a 10-pixel margin, centred where it is 20 pixels smaller.
        QCOMPARE(scrollMaximum(1188, 700, kActualSize), 508);
        QCOMPARE(scrollMaximum(1188, 700, kWholePage), 0);
        QCOMPARE(scrollMaximum(840, 830, kActualSize), 0);
        QCOMPARE(shownRect(image, QSize(900, 700), kActualSize, 0, 100), QRect(30, -90, 840, 1188));
        // A click near the middle of the scaled page: (point − origin) × k − half the viewport,
        // k the larger of image ÷ viewport (1188 / 614).
        const QRect whole = shownRect(image, QSize(440, 614), kWholePage, 0, 0);
        QCOMPARE(zoomScrollValues(QPoint(219, 306), whole.topLeft(), image, QSize(440, 614)), QPoint(184, 266));
        QCOMPARE(zoomScrollValues(QPoint(439, 613), whole.topLeft(), image, QSize(440, 614)), QPoint(420, 594));
        QCOMPARE(zoomScrollValues(QPoint(0, 0), whole.topLeft(), image, QSize(440, 614)), QPoint(0, 0));

        QCOMPARE(pageRangeHint(1, 5), QStringLiteral("(1～ 5の間で指定)"));
        RangeChoice all = choosePageRange(kAllPages, "9", "x", 1, 5);
        QVERIFY(all.valid);
        QCOMPARE(all.first, 1);
        QCOMPARE(all.last, 5);
        // Text that is no number counts 0, below the minimum.
        QVERIFY(!choosePageRange(kTypedRange, "abc", "2", 1, 5).valid);
        int first = 0, last = 0;
        pagesToPrint(choosePageRange(kShownPage, "", "", 1, 5), 4, 5, first, last);
        QCOMPARE(first, 4);
        QCOMPARE(last, 4);
    }
};

QTEST_MAIN(PageLayoutTest)
#include "test_pagelayout.moc"
