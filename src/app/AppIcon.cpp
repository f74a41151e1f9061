#include "app/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace ocu {
namespace {

QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    // Camera body, lens barrel, glass and its highlight.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x37, 0x47, 0x4f));
    p.drawRoundedRect(QRectF(2, 7, 28, 20), 4, 4);
    p.drawRect(QRectF(10, 4, 12, 4));
    p.setBrush(QColor(0x90, 0xa4, 0xae));
    p.drawEllipse(QPointF(16, 17), 8, 8);
    p.setBrush(QColor(0x1e, 0x40, 0x7c));
    p.drawEllipse(QPointF(16, 17), 6, 6);
    p.setBrush(QColor(0xc6, 0x28, 0x28));
    p.drawEllipse(QPointF(13.5, 14.5), 1.6, 1.6);
    p.setBrush(QColor(0x2e, 0x7d, 0x32));
    p.drawEllipse(QPointF(17, 14), 1.6, 1.6);
    p.setBrush(QColor(0x42, 0xa5, 0xf5));
    p.drawEllipse(QPointF(14.5, 18), 1.6, 1.6);
    return pixmap;
}

} // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(DrawIcon(size));
    return icon;
}

} // namespace ocu
