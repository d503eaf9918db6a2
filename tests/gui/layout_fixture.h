// Page layout fixtures for the window tests: A4 metrics measured on a PDF device, and a
// sink that records what each page shows.
#pragma once

#include "models/printdoc.h"
#include "printing/layout/pagelayout.h"
#include "printing/layout/render.h"

#include <QBuffer>
#include <QPdfWriter>

#include <memory>
#include <vector>

namespace qm::test {

struct RecordedText { int page; double x, y; QString text; };
struct RecordedLine { int page; double x1, y1, x2, y2; };

class RecordingSink : public print::LayoutSink {
public:
    void beginPage(int page) override { page_ = page; pages.push_back(page); }
    void text(double x, double y, const QString& s) override { texts.push_back({page_, x, y, s}); }
    void line(double x1, double y1, double x2, double y2) override { lines.push_back({page_, x1, y1, x2, y2}); }
    const RecordedText* find(const QString& s, int page = 0) const {
        for (const auto& t : texts)
            if (t.text == s && (page == 0 || t.page == page)) return &t;
        return nullptr;
    }
    std::vector<int> pages;
    std::vector<RecordedText> texts;
    std::vector<RecordedLine> lines;
private:
    int page_ = 0;
};

// A4 portrait at 600 dpi, measured on a PDF writer as the report and a printer-less
// preview do.
class A4 {
public:
    A4() : buffer_(&bytes_), writer_(&buffer_) {
        buffer_.open(QIODevice::WriteOnly);
        writer_.setResolution(print::kPdfDpi);
        writer_.setPageLayout(print::a4Layout());
        metrics = print::getPrinterInfo(writer_.pageLayout(), writer_.resolution());
    }
    print::CharWidths& widths(print::DocKind kind) {
        keep_ = print::kindWidths(kind, metrics, &writer_);
        return *keep_;
    }
    int count(const print::PrintDocument& doc) { return print::layoutDocument(doc, metrics, widths(doc.kind)); }
    // Lays the document out, recording the pages first..last.
    int record(const print::PrintDocument& doc, RecordingSink& sink, int first = 1, int last = 1000) {
        print::PageRequest req{first, last, 0};
        return print::layoutDocument(doc, metrics, widths(doc.kind), req, &sink);
    }
    print::PrinterMetrics metrics;
private:
    QByteArray bytes_;
    QBuffer buffer_;
    QPdfWriter writer_;
    std::shared_ptr<print::CharWidths> keep_;
};

inline print::PrintRecord rec(int16_t level, const std::string& name, const std::string& content = "",
                              const std::string& note = "") {
    print::PrintRecord r;
    r.level = level;
    r.name = name;
    r.content = content;
    r.note = note;
    return r;
}

inline std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace qm::test
