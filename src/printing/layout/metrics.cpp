#include "printing/layout/metrics.h"

#include <QPageLayout>

#include <cfenv>
#include <cmath>

namespace qm::print {

int nearest(double x) {
    // The default rounding mode sends halves to the even neighbour.
    const int saved = std::fegetround();
    if (saved != FE_TONEAREST) std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    if (saved != FE_TONEAREST) std::fesetround(saved);
    return static_cast<int>(r);
}

PrinterMetrics makeMetrics(int dpiX, int dpiY, const QRect& fullRect, const QRect& paintRect) {
    PrinterMetrics m;
    m.dpiX = dpiX > 0 ? dpiX : 72;
    m.dpiY = dpiY > 0 ? dpiY : m.dpiX;
    m.physWidth = fullRect.width();
    m.physHeight = fullRect.height();
    m.printWidth = paintRect.width();
    m.printHeight = paintRect.height();
    m.offsetX = paintRect.left() - fullRect.left();
    m.offsetY = paintRect.top() - fullRect.top();
    auto mmX = [&](int units) { return nearest(units / static_cast<double>(m.dpiX) * kMmPerInch); };
    auto mmY = [&](int units) { return nearest(units / static_cast<double>(m.dpiY) * kMmPerInch); };
    m.paperWidthMm = mmX(m.physWidth);
    m.paperHeightMm = mmY(m.physHeight);
    m.printWidthMm = mmX(m.printWidth);
    m.printHeightMm = mmY(m.printHeight);
    m.offsetXMm = mmX(m.offsetX);
    m.offsetYMm = mmY(m.offsetY);
    m.dotsPerMm = m.dpiX * kInchPerMm;
    return m;
}

PrinterMetrics getPrinterInfo(const QPageLayout& layout, int dpi) {
    return makeMetrics(dpi, dpi, layout.fullRectPixels(dpi), layout.paintRectPixels(dpi));
}

}  // namespace qm::print
