#include "printing/layout/render.h"

#include "printing/layout/fonts.h"

#include <QFile>
#include <QFontMetrics>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QPen>

namespace qm::print {

PainterSink::PainterSink(QPainter& painter, const PrinterMetrics& target, int fontPixelSize)
    : painter_(painter), target_(target), font_(kGothic) {
    font_.setPixelSize(fontPixelSize > 0 ? fontPixelSize : 1);
    font_.setWeight(QFont::Normal);
    font_.setKerning(false);
}

int PainterSink::px(double mm) const { return nearest(mm * target_.dotsPerMm - target_.offsetX); }
int PainterSink::py(double mm) const { return nearest(mm * target_.dotsPerMm - target_.offsetY); }

void PainterSink::beginPage(int page) {
    if (onBeginPage) onBeginPage(page);
    painter_.setFont(font_);
    ascent_ = QFontMetrics(font_, painter_.device()).ascent();
    QPen pen(Qt::black);
    pen.setStyle(Qt::SolidLine);
    pen.setWidth(nearest(target_.dpiX * kInchPerMm * 0.1));
    painter_.setPen(pen);
    painter_.setBackgroundMode(Qt::TransparentMode);
}

void PainterSink::text(double x, double y, const QString& s) {
    painter_.drawText(QPoint(px(x), py(y) + ascent_), s);
}

void PainterSink::line(double x1, double y1, double x2, double y2) {
    painter_.drawLine(QPoint(px(x1), py(y1)), QPoint(px(x2), py(y2)));
}

QImage previewPage(const PrintDocument& doc, const PrinterMetrics& measure, CharWidths& widths, int page,
                   int pageCount, int* pagesLaidOut) {
    const int w = std::max(1, measure.paperWidthMm * kPreviewDotsPerMm);
    const int h = std::max(1, measure.paperHeightMm * kPreviewDotsPerMm);
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (pagesLaidOut) *pagesLaidOut = 0;
    // Nothing is drawn on a page whose frame inside the margins is too small to read.
    if ((measure.paperWidthMm - 30) * kPreviewDotsPerMm < 100 || (measure.paperHeightMm - 30) * kPreviewDotsPerMm < 100)
        return image;
    PrinterMetrics target = measure;
    target.dpiX = target.dpiY = nearest(kPreviewDotsPerMm / kInchPerMm);
    target.dotsPerMm = kPreviewDotsPerMm;
    target.offsetX = target.offsetY = 0;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    PainterSink sink(painter, target, nearest(kPreviewDotsPerMm * textHeightMm(doc.kind)));
    PageRequest req{page, page, pageCount};
    const int pages = drawPages("drawPreview_", doc, measure, widths, req, sink);
    if (pagesLaidOut) *pagesLaidOut = pages;
    return image;
}

int drawDocument(QPainter& painter, QPagedPaintDevice& device, const PrinterMetrics& target, bool& started,
                 const PrintDocument& doc, const PrinterMetrics& measure, CharWidths& widths, int first, int last,
                 int pageCount, const char* routinePrefix) {
    PainterSink sink(painter, target, fontPixelSize(doc.kind, target.dotsPerMm));
    sink.onBeginPage = [&](int) {
        if (started) device.newPage();
        started = true;
    };
    PageRequest req{first, last, pageCount};
    return drawPages(routinePrefix, doc, measure, widths, req, sink);
}

QPageLayout a4Layout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

bool writePdf(const QString& path, const std::vector<PrintDocument>& docs, const QString& pdfTitle, QString* error,
              const QPageLayout& layout) {
    auto failed = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    // Written to a temporary file beside path and renamed into place once whole, so that a
    // failed write leaves neither half a PDF nor a damaged earlier file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return failed(file.errorString());
    QPdfWriter writer(&file);
    writer.setResolution(kPdfDpi);
    writer.setPageLayout(layout);
    writer.setTitle(pdfTitle);
    writer.setCreator(QStringLiteral("Quillmark"));
    const PrinterMetrics m = getPrinterInfo(writer.pageLayout(), writer.resolution());
    QPainter painter;
    if (!painter.begin(&writer)) return failed(QStringLiteral("PDFファイルを作成できません。"));
    bool started = false;
    bool ok = true;
    for (const PrintDocument& doc : docs) {
        auto widths = kindWidths(doc.kind, m, &writer);
        const int pages = countPages(doc, m, *widths);
        if (pages < 0) { ok = false; break; }
        if (drawDocument(painter, writer, m, started, doc, m, *widths, 1, pages, pages, "drawPrinter_") < 0) {
            ok = false;
            break;
        }
    }
    painter.end();
    if (!ok) return failed(QStringLiteral("レイアウトに失敗しました。"));
    // commit() does not notice a failure of the last flush, made when it closes the file.
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        const QString why = file.errorString();
        file.cancelWriting();
        return failed(why);
    }
    if (!file.commit()) return failed(file.errorString());
    return true;
}

}  // namespace qm::print
