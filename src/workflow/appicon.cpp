#include "workflow/appicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace qm::desktop {

namespace {

// A sheet with a quill's check mark: the same picture as share/quillmark.svg.
QPixmap drawIcon(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(QPen(QColor(0x2f, 0x4f, 0x7f), 2.5));
    p.setBrush(QColor(0xf4, 0xf7, 0xfb));
    p.drawRoundedRect(QRectF(10, 4, 40, 54), 4, 4);
    p.setPen(QPen(QColor(0x9a, 0xa8, 0xbc), 2));
    for (int y : {16, 24, 32}) p.drawLine(QPointF(17, y), QPointF(43, y));
    QPainterPath check;
    check.moveTo(18, 42);
    check.lineTo(27, 51);
    check.lineTo(54, 20);
    p.setPen(QPen(QColor(0x1e, 0x8c, 0x3a), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(check);
    return pm;
}

}  // namespace

QIcon appIcon() {
    QIcon icon;
    for (int s : {16, 32, 48, 64, 128}) icon.addPixmap(drawIcon(s));
    return icon;
}

}  // namespace qm::desktop
