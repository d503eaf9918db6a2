// Drawing laid-out pages: on the preview's page image, on a printer or on a PDF writer.
// Positions come from the layout in millimetres; a point x mm from the paper's left edge
// and y mm from its top lands at (nearest(x × d − offset x), nearest(y × d − offset y)).
#pragma once

#include "printing/layout/pagelayout.h"

#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QString>

#include <functional>
#include <vector>

class QPainter;
class QPagedPaintDevice;

namespace qm::print {

class PainterSink : public LayoutSink {
public:
    // target: the metrics of the device the painter draws on; fontPixelSize: the kind's
    // text height on it.
    PainterSink(QPainter& painter, const PrinterMetrics& target, int fontPixelSize);
    // Called when a page to draw begins (the first one too).
    std::function<void(int page)> onBeginPage;

    void beginPage(int page) override;
    void text(double x, double y, const QString& s) override;
    void line(double x1, double y1, double x2, double y2) override;

private:
    int px(double mm) const;
    int py(double mm) const;
    QPainter& painter_;
    PrinterMetrics target_;
    QFont font_;
    int ascent_ = 0;
};

// The preview's page image of one page: W × 4 by H × 4 pixels, white, the page drawn when
// the printable frame is at least 100 pixels each way. pagesLaidOut gets the number of pages
// of the pass (-1 after a failure, shown captioned "drawPreview_…").
QImage previewPage(const PrintDocument& doc, const PrinterMetrics& measure, CharWidths& widths, int page,
                   int pageCount, int* pagesLaidOut = nullptr);

// Draws pages first..last of a document on a paged device that a painter is active on.
// started tells whether the device already holds a page (a new page is begun before the
// next one). Answers the pages laid out, -1 after a failure (shown captioned with
// routinePrefix + the kind).
int drawDocument(QPainter& painter, QPagedPaintDevice& device, const PrinterMetrics& target, bool& started,
                 const PrintDocument& doc, const PrinterMetrics& measure, CharWidths& widths, int first, int last,
                 int pageCount, const char* routinePrefix);

// A4 portrait with no margins: the paper of the PDF writer and of the measuring device
// when no printer is installed.
QPageLayout a4Layout();
// The resolution PDFs are drawn and measured at.
inline constexpr int kPdfDpi = 600;

// Writes documents to a PDF, each starting on a new page and laid out on the writer
// itself, into a temporary file beside path that replaces path only once it is whole.
// Answers false with a reason when the file cannot be written or a layout fails; path is
// then as it was.
bool writePdf(const QString& path, const std::vector<PrintDocument>& docs, const QString& pdfTitle,
              QString* error = nullptr, const QPageLayout& layout = a4Layout());

}  // namespace qm::print
