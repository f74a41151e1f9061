#include "display/DibPainter.h"

#include <QPainter>
#include <cstdlib>

namespace ocu {
namespace {

bool IsGrayRamp(const BitmapInfo& info) {
    for (int i = 0; i < 256; ++i) {
        const RgbQuad& c = info.bmiColors[i];
        if (c.rgbRed != i || c.rgbGreen != i || c.rgbBlue != i)
            return false;
    }
    return true;
}

bool IsBottomUp(const BitmapInfo& info) {
    return info.bmiHeader.biHeight > 0;
}

} // namespace

QImage WrapDib(const BitmapInfo& info, const uint8_t* bits) {
    const BitmapInfoHeader& h = info.bmiHeader;
    const int width = h.biWidth;
    const int height = std::abs(h.biHeight);
    if (bits == nullptr || width <= 0 || height <= 0 || (h.biBitCount != 8 && h.biBitCount != 24))
        return {};
    // Rows of a device-independent bitmap are padded to whole 32-bit words.
    const qsizetype stride = ((static_cast<qsizetype>(width) * h.biBitCount + 31) / 32) * 4;
    if (h.biBitCount == 24)
        return QImage(bits, width, height, stride, QImage::Format_BGR888);
    if (IsGrayRamp(info))
        return QImage(bits, width, height, stride, QImage::Format_Grayscale8);
    QImage image(bits, width, height, stride, QImage::Format_Indexed8);
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = qRgb(info.bmiColors[i].rgbRed, info.bmiColors[i].rgbGreen, info.bmiColors[i].rgbBlue);
    image.setColorTable(table);
    return image;
}

void PaintDib(QPainter& painter, const BitmapInfo& info, const uint8_t* bits) {
    const QImage image = WrapDib(info, bits);
    if (image.isNull())
        return;
    if (!IsBottomUp(info)) {
        painter.drawImage(0, 0, image);
        return;
    }
    // Row by row, each stored row to its upright place: Qt takes no negative line stride, and a mirroring
    // transform sends every pixel through the raster engine's general transformed path, which is slower.
    const int height = image.height();
    for (int y = 0; y < height; ++y)
        painter.drawImage(QPoint(0, height - 1 - y), image, QRect(0, y, image.width(), 1));
}

void PaintDibScaled(QPainter& painter, const BitmapInfo& info, const uint8_t* bits, const QRectF& target) {
    const QImage image = WrapDib(info, bits);
    if (image.isNull() || target.isEmpty())
        return;
    painter.save();
    painter.translate(target.left(), IsBottomUp(info) ? target.bottom() : target.top());
    painter.scale(target.width() / image.width(),
                  (IsBottomUp(info) ? -1.0 : 1.0) * target.height() / image.height());
    painter.drawImage(QPointF(0, 0), image);
    painter.restore();
}

} // namespace ocu
