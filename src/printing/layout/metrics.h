// Page geometry of a drawing device: resolution, paper and printable area, converted to
// whole millimetres the way every layout position is rounded.
#pragma once

#include <QRect>

class QPageLayout;

namespace qm::print {

// Millimetres per inch and inches per millimetre as the layout uses them.
inline constexpr double kMmPerInch = 25.399;
inline constexpr double kInchPerMm = 0.0393707;

// x rounded to the nearest whole number, a half going to the even neighbour.
int nearest(double x);

struct PrinterMetrics {
    int dpiX = 0, dpiY = 0;
    // Device units.
    int physWidth = 0, physHeight = 0;
    int printWidth = 0, printHeight = 0;
    int offsetX = 0, offsetY = 0;
    // Whole millimetres.
    int paperWidthMm = 0, paperHeightMm = 0;  // W and H of the layout
    int printWidthMm = 0, printHeightMm = 0;
    int offsetXMm = 0, offsetYMm = 0;
    double dotsPerMm = 0;  // horizontal dpi × kInchPerMm
};

// fullRect: the paper in device units; paintRect: the printable area within it (the
// painter's origin is its top left corner).
PrinterMetrics makeMetrics(int dpiX, int dpiY, const QRect& fullRect, const QRect& paintRect);
PrinterMetrics getPrinterInfo(const QPageLayout& layout, int dpi);

// The preview's page image: 4 pixels per millimetre, origin at the paper's corner.
inline constexpr int kPreviewDotsPerMm = 4;

}  // namespace qm::print
