// What the print preview and the page range dialog decide without drawing: where the page
// image is shown, the scroll ranges, zooming by a click, paging, and the page range chosen.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace qm::print {

enum ZoomState : int { kWholePage = 0, kActualSize = 1 };

// Whole page: the image scaled by the smaller of (viewport − 20) ÷ image in each direction,
// never above 1, centred. Actual size: centred in a direction where it is at least 20 pixels
// smaller than the viewport, otherwise shifted by 10 − the scroll value.
QRect shownRect(QSize image, QSize viewport, int zoom, int hValue, int vValue);
double wholePageScale(QSize image, QSize viewport);
// Maximum of a scroll bar: image − viewport + 20 at actual size when image − 20 > viewport.
int scrollMaximum(int imageSize, int viewportSize, int zoom);
// From the whole page a click zooms only when the image is larger than the viewport.
bool canZoomIn(QSize image, QSize viewport);
// Scroll values that bring the clicked point of the whole-page view (shown at origin) near
// the middle of the viewport at actual size, limited to 0 and the maximum.
QPoint zoomScrollValues(QPoint click, QPoint origin, QSize image, QSize viewport);

// Current page and page count of the preview; moving beyond either end does nothing.
struct Paging {
    int current = 1;
    int count = 1;
    bool next();
    bool previous();
    QString label() const;  // "1 / 3"
};

// The page range dialog.
enum PrintJob : int { kAllPages = 0, kShownPage = 1, kTypedRange = 2 };
QString pageRangeHint(int minimum, int maximum);  // "(1～ 5の間で指定)"
struct RangeChoice {
    bool valid = false;  // false: "ページの指定が不正です。"
    int job = kAllPages;
    int first = 0, last = 0;
};
// option: the selected option index (0 all, 1 the page shown, 2 typed); the typed texts are
// read as whole numbers (text that is no number counts 0).
RangeChoice choosePageRange(int option, const QString& startText, const QString& endText, int minimum, int maximum);
// The pages a confirmed choice prints in the preview showing currentPage of pageCount.
void pagesToPrint(const RangeChoice& c, int currentPage, int pageCount, int& first, int& last);

}  // namespace qm::print
