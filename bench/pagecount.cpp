// Counting the pages of a large folder and file list on A4, as the print preview does
// before it shows page 1, and drawing every page as printing does.
// Usage: bench_pagecount [ROWS] [RUNS] [deep]
// deep: the files lie 27 levels down, below a nest of 26 folders.
#include "models/printdoc.h"
#include "printing/layout/fonts.h"
#include "printing/layout/pagelayout.h"
#include "printing/layout/render.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPdfWriter>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace qm::print;

namespace {

// A file list as the folder structure view hands it: a medium, process folders, files
// with descriptions and some notes, names long enough to wrap now and then.
PrintDocument fileList(int rows) {
    PrintDocument doc;
    doc.kind = DocKind::File;
    doc.title = "フォルダ・ファイル構成";
    doc.caption = "/media/disk1/";
    doc.records.reserve(rows);
    PrintRecord top;
    top.name = "/media/disk1/";
    doc.records.push_back(top);
    int folder = 0;
    for (int i = 1; i < rows; ++i) {
        PrintRecord r;
        if (i % 500 == 1) {
            r.level = 1;
            r.name = "CPROC_" + std::to_string(++folder);
            r.content = "地籍図根三角点測量の測量記録";
        } else {
            r.level = 2;
            char name[64];
            std::snprintf(name, sizeof name, "C%02dA%03d%s.%s", folder % 100, i % 1000,
                          i % 7 == 0 ? "_SUPPLEMENT_LONG_NAME" : "", i % 3 ? "SIM" : "PDF");
            r.name = name;
            r.time = "2017/09/30 12:34:56";
            r.content = i % 5 ? "観測手簿（電子データ）" : "計算簿　地籍図根三角点の座標及び標高の計算";
            if (i % 11 == 0) r.note = "ファイル番号が連続していません";
        }
        doc.records.push_back(std::move(r));
    }
    return doc;
}

// A nest of 26 folders, the files of fileList all in the deepest one.
PrintDocument deepList(int rows) {
    PrintDocument doc = fileList(rows);
    std::vector<PrintRecord> nest;
    for (int16_t l = 1; l <= 26; ++l) {
        PrintRecord f;
        f.level = l;
        f.name = "[LEVEL" + std::to_string(l) + "]";
        nest.push_back(f);
    }
    for (size_t i = 1; i < doc.records.size(); ++i) doc.records[i].level = 27;
    doc.records.insert(doc.records.begin() + 1, nest.begin(), nest.end());
    return doc;
}

// Takes what the pages show and keeps nothing.
class NullSink : public LayoutSink {
public:
    void text(double, double, const QString&) override { ++items; }
    void line(double, double, double, double) override { ++items; }
    long items = 0;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    qm::installFontSubstitutions();
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const bool deep = argc > 3 && std::string(argv[3]) == "deep";
    const PrintDocument doc = deep ? deepList(rows) : fileList(rows);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kPdfDpi);
    writer.setPageLayout(a4Layout());
    const PrinterMetrics m = getPrinterInfo(writer.pageLayout(), writer.resolution());

    double best = 1e9, cold = 0;
    int pages = 0;
    for (int run = 0; run < runs; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        auto widths = kindWidths(doc.kind, m, &writer);
        pages = countPages(doc, m, *widths);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (run == 0) cold = s;  // the first run measures every character once
        if (s < best) best = s;
    }
    // The preview's last page: the whole document laid out again, one page drawn.
    const auto t0 = std::chrono::steady_clock::now();
    auto widths = kindWidths(doc.kind, m, &writer);
    const QImage last = previewPage(doc, m, *widths, pages, pages);
    const double draw = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    // Every page drawn, as printing or a PDF of the whole document does.
    const auto t1 = std::chrono::steady_clock::now();
    NullSink sink;
    drawPages("drawPrinter_", doc, m, *widths, PageRequest{1, pages, pages}, sink);
    const double all = std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count();
    std::printf("rows %d%s  pages %d  count: first run %.3f s, best of %d %.3f s  last preview page %.3f s  "
                "every page %.3f s\n",
                rows, deep ? " (deep)" : "", pages, cold, runs, best, draw, all);
    return pages > 0 && !last.isNull() && cold <= 3.0 ? 0 : 1;
}
