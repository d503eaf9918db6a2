#include "printing/printpreviewdialog.h"

#include "foundation/messages.h"
#include "foundation/platform.h"
#include "printing/layout/fonts.h"
#include "printing/layout/pagelayout.h"
#include "printing/layout/render.h"
#include "printing/pagerangedialog.h"
#include "views/launch.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace qm::desktop {

using namespace qm::print;

namespace {
QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::vector<std::string>& mediaOfSession() {
    static std::vector<std::string> media;
    return media;
}

// The medium that path would be written into, or empty.
std::string mediumHolding(const QString& path) {
    const std::string p = QFile::encodeName(path).toStdString();
    for (const auto& m : mediaOfSession())
        if (pathLiesWithin(p, m)) return m;
    return {};
}

void refuseMediumPlace(const QString& path, const std::string& medium) {
    showMessage("PDF保存", "成果メディアの中には保存できません。成果の外の場所を指定してください。\n" +
                               path.toStdString() + "\n（成果: " + medium + "）",
                MsgIcon::Exclamation);
}
}  // namespace

void rememberMedia(const std::vector<std::string>& topFolders) {
    auto& media = mediaOfSession();
    for (const auto& m : topFolders)
        if (!m.empty() && std::find(media.begin(), media.end(), m) == media.end()) media.push_back(m);
}

PageView::PageView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(100, 100);
}

void PageView::setPlacement(int zoom, int hValue, int vValue) {
    zoom_ = zoom;
    h_ = hValue;
    v_ = vValue;
    update();
}

void PageView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Dark));
    if (!image_ || image_->isNull()) return;
    const QRect shown = shownRect(image_->size(), size(), zoom_, h_, v_);
    origin_ = shown.topLeft();
    p.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ == kWholePage);
    p.drawImage(shown, *image_);
    // Outline the edges of the page that lie inside the viewport.
    p.setPen(Qt::black);
    p.drawRect(shown.adjusted(0, 0, -1, -1));
}

void PageView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) emit clicked(e->position().toPoint());
}

void PageView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    emit resized();
}

PrintPreviewDialog::PrintPreviewDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmPreview"));
    setWindowTitle(QStringLiteral("印刷プレビュー - "));
    setSizeGripEnabled(true);

    prev_ = new QPushButton(this);
    prev_->setObjectName(QStringLiteral("cmdPrevPage"));
    prev_->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
    prev_->setToolTip(QStringLiteral("前のページ"));
    next_ = new QPushButton(this);
    next_->setObjectName(QStringLiteral("cmdNextPage"));
    next_->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    next_->setToolTip(QStringLiteral("次のページ"));
    pageLabel_ = new QLabel(QStringLiteral("1 / 1"), this);
    pageLabel_->setObjectName(QStringLiteral("lblPage"));
    pageLabel_->setMinimumWidth(80);
    pageLabel_->setAlignment(Qt::AlignCenter);
    auto* printButton = new QPushButton(QStringLiteral("印刷"), this);
    printButton->setObjectName(QStringLiteral("cmdPrint"));
    auto* pdfButton = new QPushButton(QStringLiteral("PDF保存"), this);
    pdfButton->setObjectName(QStringLiteral("cmdPdf"));
    auto* printerButton = new QPushButton(QStringLiteral("プリンタ設定"), this);
    printerButton->setObjectName(QStringLiteral("cmdPrinter"));
    auto* closeButton = new QPushButton(QStringLiteral("閉じる"), this);
    closeButton->setObjectName(QStringLiteral("cmdClose"));
    closeButton->setAutoDefault(false);

    auto* commands = new QHBoxLayout;
    commands->addWidget(prev_);
    commands->addWidget(pageLabel_);
    commands->addWidget(next_);
    commands->addSpacing(16);
    commands->addWidget(printButton);
    commands->addWidget(pdfButton);
    commands->addWidget(printerButton);
    commands->addStretch();
    commands->addWidget(closeButton);

    view_ = new PageView(this);
    hScroll_ = new QScrollBar(Qt::Horizontal, this);
    hScroll_->setObjectName(QStringLiteral("HScroll1"));
    vScroll_ = new QScrollBar(Qt::Vertical, this);
    vScroll_->setObjectName(QStringLiteral("VScroll1"));
    auto* grid = new QGridLayout;
    grid->setSpacing(0);
    grid->addWidget(view_, 0, 0);
    grid->addWidget(vScroll_, 0, 1);
    grid->addWidget(hScroll_, 1, 0);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(commands);
    layout->addLayout(grid, 1);

    view_->setImage(&canvas_);
    connect(prev_, &QPushButton::clicked, this, &PrintPreviewDialog::previousPage);
    connect(next_, &QPushButton::clicked, this, &PrintPreviewDialog::nextPage);
    connect(printButton, &QPushButton::clicked, this, &PrintPreviewDialog::print);
    connect(pdfButton, &QPushButton::clicked, this, &PrintPreviewDialog::saveAsPdf);
    connect(printerButton, &QPushButton::clicked, this, &PrintPreviewDialog::setupPrinter);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(view_, &PageView::clicked, this, &PrintPreviewDialog::clickView);
    connect(view_, &PageView::resized, this, [this] {
        setScrollBar();
        showPreview();
    });
    for (QScrollBar* bar : {hScroll_, vScroll_})
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            if (!suspendScroll_) showPreview();
        });

    // The window takes 0.8 of the screen's height, the width of a portrait page.
    if (QScreen* screen = QApplication::primaryScreen()) {
        const int h = static_cast<int>(screen->geometry().height() * 0.8);
        resize(std::max(640, h * 3 / 4), h);
    }
    preparePrinter();
}

PrintPreviewDialog::~PrintPreviewDialog() = default;

void PrintPreviewDialog::preparePrinter() {
    try {
        installed_ = !QPrinterInfo::availablePrinterNames().isEmpty();
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (!installed_) {
            // No printer: measure on an A4 PDF device, the paper a saved PDF gets.
            printer_->setOutputFormat(QPrinter::PdfFormat);
            printer_->setResolution(kPdfDpi);
            printer_->setPageLayout(a4Layout());
        } else {
            printer_->setPageOrientation(QPageLayout::Portrait);
            printer_->setPageSize(QPageSize(QPageSize::A4));
        }
        metrics_ = getPrinterInfo(printer_->pageLayout(), printer_->resolution());
    } catch (const std::exception& e) {
        showFailure("印刷", 5, e.what());
    }
    paging_ = Paging{};
    zoom_ = kWholePage;
    pageLabel_->setText(paging_.label());
}

print::CharWidths& PrintPreviewDialog::widths() {
    if (!widths_) widths_ = kindWidths(doc_.kind, metrics_, printer_.get());
    return *widths_;
}

int PrintPreviewDialog::count() {
    widths_.reset();  // the kind, the device or its paper may have changed
    return countPages(doc_, metrics_, widths());
}

void PrintPreviewDialog::setDocument(const PrintDocument& doc) {
    doc_ = doc;
    const std::string& what = doc.kind == DocKind::File && !doc.caption.empty() ? doc.caption : doc.title;
    setWindowTitle(QStringLiteral("印刷プレビュー - ") + qs(what));
    const int pages = count();
    if (pages >= 0) paging_.count = pages;
    paging_.current = 1;
    pageLabel_->setText(paging_.label());
    drawPage();
    setScrollBar();
    showPreview();
}

void PrintPreviewDialog::drawPage() {
    int pages = 0;
    canvas_ = previewPage(doc_, metrics_, widths(), paging_.current, paging_.count, &pages);
    if (pages > 0) paging_.count = pages;
}

void PrintPreviewDialog::showPreview() {
    view_->setPlacement(zoom_, hScroll_->value(), vScroll_->value());
}

void PrintPreviewDialog::setScrollBar() {
    suspendScroll_ = true;
    hScroll_->setRange(0, scrollMaximum(canvas_.width(), view_->width(), zoom_));
    vScroll_->setRange(0, scrollMaximum(canvas_.height(), view_->height(), zoom_));
    hScroll_->setPageStep(std::max(1, view_->width()));
    vScroll_->setPageStep(std::max(1, view_->height()));
    hScroll_->setSingleStep(20);
    vScroll_->setSingleStep(20);
    suspendScroll_ = false;
}

void PrintPreviewDialog::nextPage() {
    if (!paging_.next()) return;
    pageLabel_->setText(paging_.label());
    drawPage();
    showPreview();
}

void PrintPreviewDialog::previousPage() {
    if (!paging_.previous()) return;
    pageLabel_->setText(paging_.label());
    drawPage();
    showPreview();
}

void PrintPreviewDialog::clickView(QPoint pos) {
    if (zoom_ == kWholePage) {
        if (!canZoomIn(canvas_.size(), view_->size())) return;
        zoom_ = kActualSize;
        setScrollBar();
        const QPoint values = zoomScrollValues(pos, view_->origin(), canvas_.size(), view_->size());
        suspendScroll_ = true;
        hScroll_->setValue(values.x());
        vScroll_->setValue(values.y());
        suspendScroll_ = false;
    } else {
        zoom_ = kWholePage;
        setScrollBar();
    }
    showPreview();
}

void PrintPreviewDialog::printerChanged() {
    metrics_ = getPrinterInfo(printer_->pageLayout(), printer_->resolution());
    paging_.current = 1;
    zoom_ = kWholePage;
    const int pages = count();
    if (pages >= 0) paging_.count = pages;
    drawPage();
    pageLabel_->setText(paging_.label());
    setScrollBar();
    showPreview();
}

void PrintPreviewDialog::prepareSetupDialog(QPrintDialog& dialog) {
    dialog.setWindowTitle(QStringLiteral("プリンタ設定"));
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>())
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) ok->setText(QStringLiteral("設定"));
}

void PrintPreviewDialog::setupPrinter() {
    if (installed_) {
        // The printer and its paper; the pages are chosen when printing.
        QPrintDialog dialog(printer_.get(), this);
        prepareSetupDialog(dialog);
        printer_->setCopyCount(1);
        if (dialog.exec() == QDialog::Accepted) printerChanged();
        return;
    }
    // No printer: the paper of the PDF the pages would be saved as.
    QPageSetupDialog dialog(printer_.get(), this);
    if (dialog.exec() == QDialog::Accepted) printerChanged();
}

void PrintPreviewDialog::print() {
    PageRangeDialog dialog(this);
    dialog.setPageRange(1, paging_.count);
    dialog.exec();
    if (!dialog.confirmed()) return;
    int first = 1, last = paging_.count;
    pagesToPrint(dialog.choice(), paging_.current, paging_.count, first, last);
    printPages(first, last);
}

QString PrintPreviewDialog::pdfFileName() {
    QString name = qs(doc_.title).trimmed();
    for (QChar bad : QStringLiteral("\\/:*?\"<>|")) name.replace(bad, QLatin1Char('_'));
    if (name.isEmpty()) name = QStringLiteral("印刷");
    QString suggested = QDir::home().filePath(name + ".pdf");
    // A place on a medium is refused and asked for again, until one elsewhere or a cancel.
    for (;;) {
        const QString path = askFileName ? askFileName(suggested)
                                         : QFileDialog::getSaveFileName(this, QStringLiteral("PDF保存"), suggested,
                                                                        QStringLiteral("PDF (*.pdf)"));
        if (path.isEmpty()) return {};
        const std::string medium = mediumHolding(path);
        if (medium.empty()) return path;
        refuseMediumPlace(path, medium);
        suggested = QDir::home().filePath(QFileInfo(path).fileName());
    }
}

bool PrintPreviewDialog::printPages(int first, int last) {
    if (!installed_) {
        if (showMessage("印刷", "プリンタがインストールされていません。PDFファイルに保存しますか？", MsgIcon::Question,
                        MsgButtons::YesNo) != MsgAnswer::Yes)
            return false;
        const QString path = pdfFileName();
        return !path.isEmpty() && savePdf(path, first, last);
    }
    printer_->setDocName(qs(doc_.title));
    QPainter painter;
    if (!painter.begin(printer_.get())) {
        showMessage("印刷", "プリンタドライバがインストールされていません。", MsgIcon::Exclamation);
        return false;
    }
    bool started = false;
    const int pages = drawDocument(painter, *printer_, metrics_, started, doc_, metrics_, widths(), first, last,
                                   paging_.count, "drawPrinter_");
    painter.end();
    if (pages >= 0) paging_.count = pages;
    pageLabel_->setText(paging_.label());
    return pages >= 0;
}

bool PrintPreviewDialog::savePdf(const QString& path, int first, int last) {
    if (const std::string medium = mediumHolding(path); !medium.empty()) {
        refuseMediumPlace(path, medium);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        showMessage("PDF保存", "ファイルを作成できません。\n" + path.toStdString() + "\n" +
                                   file.errorString().toStdString());
        return false;
    }
    QPdfWriter writer(&file);
    writer.setResolution(kPdfDpi);
    const QPageLayout paper = printer_->pageLayout();
    writer.setPageLayout(QPageLayout(paper.pageSize(), paper.orientation(), QMarginsF(0, 0, 0, 0)));
    writer.setTitle(qs(doc_.title));
    writer.setCreator(QStringLiteral("Quillmark"));
    const PrinterMetrics target = getPrinterInfo(writer.pageLayout(), writer.resolution());
    QPainter painter;
    if (!painter.begin(&writer)) {
        showMessage("PDF保存", "ファイルを作成できません。\n" + path.toStdString());
        return false;
    }
    bool started = false;
    const int pages =
        drawDocument(painter, writer, target, started, doc_, metrics_, widths(), first, last, paging_.count, "drawPrinter_");
    painter.end();
    if (pages < 0) return false;  // the earlier file, if any, is left as it was
    // commit() does not notice a failure of the last flush, made when it closes the file.
    const bool flushed = file.flush() && file.error() == QFileDevice::NoError;
    const QString why = file.errorString();
    if (!flushed) file.cancelWriting();
    if (!flushed || !file.commit()) {
        showMessage("PDF保存", "ファイルを書き込めません。\n" + path.toStdString() + "\n" +
                                   (flushed ? file.errorString() : why).toStdString());
        return false;
    }
    return true;
}

void PrintPreviewDialog::saveAsPdf() {
    const QString path = pdfFileName();
    if (!path.isEmpty()) savePdf(path, 1, paging_.count);
}

void showPrintPreview(QWidget* parent, const PrintDocument& doc) {
    PrintPreviewDialog dialog(parent);
    dialog.setDocument(doc);
    dialog.exec();
}

}  // namespace qm::desktop
