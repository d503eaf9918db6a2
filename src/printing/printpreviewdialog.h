// "印刷プレビュー": the pages of one document, paged and zoomed, printed or saved as PDF.
//
// The layout is measured on the selected printer, or on an A4 PDF device when no printer
// is installed, so the preview, the paper and a saved PDF break lines and pages alike.
#pragma once

#include "models/printdoc.h"
#include "printing/layout/metrics.h"
#include "printing/layout/textmeasure.h"
#include "printing/layout/viewlogic.h"

#include <QDialog>
#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPrintDialog;
class QPrinter;
class QPushButton;
class QScrollBar;

namespace qm::desktop {

// The viewport (picView): the page image whole or at actual size.
class PageView : public QWidget {
    Q_OBJECT
public:
    explicit PageView(QWidget* parent = nullptr);
    void setImage(const QImage* image) { image_ = image; }
    void setPlacement(int zoom, int hValue, int vValue);
    // Top left of the image as last shown.
    QPoint origin() const { return origin_; }
signals:
    void clicked(QPoint pos);
    void resized();
protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
private:
    const QImage* image_ = nullptr;
    int zoom_ = print::kWholePage, h_ = 0, v_ = 0;
    QPoint origin_;
};

class PrintPreviewDialog : public QDialog {
    Q_OBJECT
public:
    explicit PrintPreviewDialog(QWidget* parent = nullptr);
    ~PrintPreviewDialog() override;

    // Stores the document, counts its pages and shows page 1.
    void setDocument(const print::PrintDocument& doc);

    int currentPage() const { return paging_.current; }
    int pageCount() const { return paging_.count; }
    int zoomState() const { return zoom_; }
    const QImage& pageImage() const { return canvas_; }
    const print::PrinterMetrics& metrics() const { return metrics_; }
    QPrinter* printer() const { return printer_.get(); }
    bool printerInstalled() const { return installed_; }
    PageView* view() const { return view_; }

    void nextPage();
    void previousPage();
    // A click on the viewport: zoom in around the point, or back to the whole page.
    void clickView(QPoint pos);
    // After the printer or its paper changed: measure again, count again, page 1, whole page.
    void printerChanged();
    // Prints pages first..last on the printer; with none installed, offers to save a PDF.
    bool printPages(int first, int last);
    // Writes pages first..last to a PDF laid out as the preview shows them, through a
    // temporary file beside path that replaces it only once whole. A path on a medium
    // (rememberMedia) is refused with a message.
    bool savePdf(const QString& path, int first, int last);

    // Asks for the PDF's file name (empty: cancelled); the file dialog when not set.
    std::function<QString(const QString& suggested)> askFileName;

public slots:
    void print();        // 印刷: the page range dialog, then the pages chosen
    void setupPrinter(); // プリンタ設定
    void saveAsPdf();    // PDF保存: every page

public:
    // The print dialog as プリンタ設定 shows it: printer and paper only, its confirming
    // button captioned "設定" (it takes the printer; the pages are chosen when printing).
    static void prepareSetupDialog(QPrintDialog& dialog);

private:
    void preparePrinter();
    void drawPage();
    void showPreview();
    void setScrollBar();
    int count();
    print::CharWidths& widths();
    QString pdfFileName();

    std::unique_ptr<QPrinter> printer_;
    bool installed_ = false;
    print::PrinterMetrics metrics_;
    std::shared_ptr<print::CharWidths> widths_;
    print::PrintDocument doc_;
    print::Paging paging_;
    int zoom_ = print::kWholePage;
    bool suspendScroll_ = false;
    QImage canvas_;

    PageView* view_ = nullptr;
    QScrollBar* hScroll_ = nullptr;
    QScrollBar* vScroll_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QPushButton* prev_ = nullptr;
    QPushButton* next_ = nullptr;
};

}  // namespace qm::desktop
