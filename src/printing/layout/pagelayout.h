// Laying a print document out on pages: millimetre positions from the paper's top left
// corner, text measured on the device that measures the layout. The same pass counts the
// pages and hands the drawing of the pages asked for to a sink, so that the preview, the
// printer and a PDF break lines and pages alike.
#pragma once

#include "models/printdoc.h"
#include "printing/layout/metrics.h"
#include "printing/layout/textmeasure.h"

#include <QString>

#include <memory>
#include <string>

class QPaintDevice;

namespace qm::print {

// Receives what one page shows, in millimetres from the paper's corner.
class LayoutSink {
public:
    virtual ~LayoutSink() = default;
    virtual void beginPage(int page) { (void)page; }
    virtual void endPage(int page) { (void)page; }
    // One line of text whose top left corner is at (x, y).
    virtual void text(double x, double y, const QString& s) = 0;
    virtual void line(double x1, double y1, double x2, double y2) = 0;
};

// A failure inside a layout pass (number and description as the error box shows them).
struct LayoutFailure {
    int number = 0;
    std::string description;
};

// Text height of the kind in millimetres: 3.5 for the check result, 3 otherwise.
double textHeightMm(DocKind kind);
// Font pixel size of the kind at dots per millimetre d: nearest(d × text height).
int fontPixelSize(DocKind kind, double dotsPerMm);
// The measuring table of the kind's font on the device.
std::shared_ptr<CharWidths> kindWidths(DocKind kind, const PrinterMetrics& m, const QPaintDevice* device);

// Column widths of the XML tree (V) and of the file list (C) in whole millimetres.
int xmlContentWidth(int paperWidthMm);
int fileContentWidth(int paperWidthMm);

struct PageRequest {
    int first = 1, last = 0;  // pages handed to the sink; none when first > last
    int pageCount = 1;        // m of "P. n / m"
};

// Lays the whole document out and answers the number of pages. Throws LayoutFailure.
int layoutDocument(const PrintDocument& doc, const PrinterMetrics& m, CharWidths& widths,
                   const PageRequest& request = {}, LayoutSink* sink = nullptr);

// The count and draw routines of the windows: their failure box is captioned with the
// routine's name ("countPage_Xml", "drawPreview_ErrLog", ...), after which they answer -1.
std::string routineName(const char* prefix, DocKind kind);
int countPages(const PrintDocument& doc, const PrinterMetrics& m, CharWidths& widths);
int drawPages(const char* routinePrefix, const PrintDocument& doc, const PrinterMetrics& m, CharWidths& widths,
              const PageRequest& request, LayoutSink& sink);

}  // namespace qm::print
