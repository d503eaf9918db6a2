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

// An open folder holding a disc: viewing a delivery on a medium or in a folder.
QPixmap drawViewIcon(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    const QPen edge(QColor(0x8a, 0x6a, 0x1c), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(edge);
    p.setBrush(QColor(0xe8, 0xbc, 0x4a));
    QPainterPath back;
    back.moveTo(6, 54);
    back.lineTo(6, 14);
    back.lineTo(22, 14);
    back.lineTo(27, 20);
    back.lineTo(54, 20);
    back.lineTo(54, 54);
    back.closeSubpath();
    p.drawPath(back);
    p.setPen(QPen(QColor(0x6b, 0x7b, 0x8f), 1.5));
    p.setBrush(QColor(0xe6, 0xec, 0xf3));
    p.drawEllipse(QPointF(34, 26), 15, 15);
    p.setBrush(QColor(0xff, 0xff, 0xff));
    p.drawEllipse(QPointF(34, 26), 4, 4);
    p.setPen(edge);
    p.setBrush(QColor(0xf6, 0xd3, 0x6e));
    QPainterPath front;
    front.moveTo(6, 54);
    front.lineTo(13, 30);
    front.lineTo(60, 30);
    front.lineTo(54, 54);
    front.closeSubpath();
    p.drawPath(front);
    return pm;
}

}  // namespace

QIcon viewIcon() {
    QIcon icon;
    for (int s : {16, 32, 48, 64}) icon.addPixmap(drawViewIcon(s));
    return icon;
}

QIcon appIcon() {
    QIcon icon;
    for (int s : {16, 32, 48, 64, 128}) icon.addPixmap(drawIcon(s));
    return icon;
}

}  // namespace qm::desktop
