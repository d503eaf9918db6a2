#include "printing/layout/viewlogic.h"

#include "foundation/text.h"
#include "printing/layout/metrics.h"

#include <algorithm>

namespace qm::print {

double wholePageScale(QSize image, QSize viewport) {
    if (image.width() <= 0 || image.height() <= 0) return 1;
    const double sx = (viewport.width() - 20) / static_cast<double>(image.width());
    const double sy = (viewport.height() - 20) / static_cast<double>(image.height());
    return std::max(0.0, std::min({sx, sy, 1.0}));
}

QRect shownRect(QSize image, QSize viewport, int zoom, int hValue, int vValue) {
    if (zoom == kWholePage) {
        const double s = wholePageScale(image, viewport);
        const int w = nearest(image.width() * s);
        const int h = nearest(image.height() * s);
        return QRect((viewport.width() - w) / 2, (viewport.height() - h) / 2, w, h);
    }
    auto place = [](int img, int view, int value) { return img <= view - 20 ? (view - img) / 2 : 10 - value; };
    return QRect(place(image.width(), viewport.width(), hValue), place(image.height(), viewport.height(), vValue),
                 image.width(), image.height());
}

int scrollMaximum(int imageSize, int viewportSize, int zoom) {
    if (zoom != kActualSize) return 0;
    return imageSize - 20 > viewportSize ? imageSize - viewportSize + 20 : 0;
}

bool canZoomIn(QSize image, QSize viewport) {
    return image.width() > viewport.width() || image.height() > viewport.height();
}

QPoint zoomScrollValues(QPoint click, QPoint origin, QSize image, QSize viewport) {
    if (viewport.width() <= 0 || viewport.height() <= 0) return {0, 0};
    const double k = std::max(image.width() / static_cast<double>(viewport.width()),
                              image.height() / static_cast<double>(viewport.height()));
    auto value = [&](int c, int o, int view, int img) {
        const int v = nearest((c - o) * k - view / 2.0);
        return std::clamp(v, 0, scrollMaximum(img, view, kActualSize));
    };
    return {value(click.x(), origin.x(), viewport.width(), image.width()),
            value(click.y(), origin.y(), viewport.height(), image.height())};
}

bool Paging::next() {
    if (current >= count) return false;
    ++current;
    return true;
}

bool Paging::previous() {
    if (current < 2) return false;
    --current;
    return true;
}

QString Paging::label() const { return QStringLiteral("%1 / %2").arg(current).arg(count); }

QString pageRangeHint(int minimum, int maximum) {
    return QStringLiteral("(%1～ %2の間で指定)").arg(minimum).arg(maximum);
}

RangeChoice choosePageRange(int option, const QString& startText, const QString& endText, int minimum, int maximum) {
    RangeChoice c;
    if (option == kShownPage) {
        c.job = kShownPage;
    } else if (option == kTypedRange) {
        c.job = kTypedRange;
        c.first = toNumber(startText.toStdString());
        c.last = toNumber(endText.toStdString());
        if (c.last < c.first || c.first < minimum || c.last > maximum) return c;
    } else {
        c.job = kAllPages;
        c.first = minimum;
        c.last = maximum;
    }
    c.valid = true;
    return c;
}

void pagesToPrint(const RangeChoice& c, int currentPage, int pageCount, int& first, int& last) {
    if (c.job == kShownPage) {
        first = last = currentPage;
    } else if (c.job == kTypedRange) {
        first = c.first;
        last = c.last;
    } else {
        first = 1;
        last = pageCount;
    }
}

}  // namespace qm::print
