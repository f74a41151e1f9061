// Painting the display bitmap: upright, 1:1, the same picture through the direct path into 32-bit images
// and through QPainter's own drawing.
#include "display/DibPainter.h"

#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

using namespace ocu;

namespace {

struct Dib {
    BitmapInfo info{};
    std::vector<uint8_t> bits;
};

// A bitmap of pseudo-random pixels, rows padded as device-independent bitmaps pad them.
Dib MakeDib(int width, int height, int bitCount) {
    Dib dib;
    InitBitmapInfo(dib.info);
    dib.info.bmiHeader.biWidth = width;
    dib.info.bmiHeader.biHeight = height;
    dib.info.bmiHeader.biBitCount = static_cast<uint16_t>(bitCount);
    const size_t stride = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    dib.bits.resize(stride * static_cast<size_t>(std::abs(height)));
    uint32_t seed = 12345;
    for (uint8_t& b : dib.bits) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return dib;
}

// What the picture must look like: pixel (x, y) of the upright image.
QRgb Expected(const Dib& dib, int x, int y) {
    const BitmapInfoHeader& h = dib.info.bmiHeader;
    const int height = std::abs(h.biHeight);
    const size_t stride = ((static_cast<size_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    const size_t row = static_cast<size_t>(h.biHeight > 0 ? height - 1 - y : y);
    const uint8_t* p = dib.bits.data() + row * stride;
    if (h.biBitCount == 24)
        return qRgb(p[3 * x + 2], p[3 * x + 1], p[3 * x]);
    const RgbQuad& c = dib.info.bmiColors[p[x]];
    return qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
}

// Paints the bitmap at offset into a target of the given format filled with a marker colour, and returns it
// as 32 bits.
// With a scale, the target is a scaled screen's: offset is in its logical pixels, the bitmap must still land
// one device pixel per image pixel.
QImage Painted(const Dib& dib, QImage::Format format, QPoint offset = {}, QRect clip = {}, int scale = 1) {
    QImage target(60, 40, format);
    target.setDevicePixelRatio(scale);
    target.fill(QColor(1, 2, 3));
    QPainter painter(&target);
    painter.translate(offset);
    if (!clip.isNull())
        painter.setClipRect(clip);
    PaintDib(painter, dib.info, dib.bits.data());
    painter.end();
    return target.convertToFormat(QImage::Format_RGB32);
}

void ExpectPicture(const QImage& painted, const Dib& dib, QPoint offset, QRect clip = {}) {
    const int width = dib.info.bmiHeader.biWidth;
    const int height = std::abs(dib.info.bmiHeader.biHeight);
    int wrong = 0;
    for (int y = 0; y < painted.height(); ++y) {
        for (int x = 0; x < painted.width(); ++x) {
            const QPoint p(x - offset.x(), y - offset.y());
            const bool inside = p.x() >= 0 && p.y() >= 0 && p.x() < width && p.y() < height &&
                                (clip.isNull() || clip.contains(p));
            const QRgb expected = inside ? Expected(dib, p.x(), p.y()) : qRgb(1, 2, 3);
            wrong += painted.pixel(x, y) != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

} // namespace

TEST(DibPainter, ColourBitmapsStandUprightThroughEitherPath) {
    for (const int height : {22, -22}) {
        const Dib dib = MakeDib(37, height, 24); // 37 pixels: rows padded to 112 bytes
        for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied,
                                            QImage::Format_RGB888, QImage::Format_ARGB32}) {
            SCOPED_TRACE(format);
            ExpectPicture(Painted(dib, format), dib, {});
            ExpectPicture(Painted(dib, format, QPoint(9, 5)), dib, QPoint(9, 5));
            ExpectPicture(Painted(dib, format, QPoint(30, 30)), dib, QPoint(30, 30)); // partly outside
        }
    }
}

TEST(DibPainter, GrayAndColourTableBitmaps) {
    Dib gray = MakeDib(20, 12, 8);
    ExpectPicture(Painted(gray, QImage::Format_RGB32, QPoint(3, 4)), gray, QPoint(3, 4));
    ExpectPicture(Painted(gray, QImage::Format_RGB888, QPoint(3, 4)), gray, QPoint(3, 4));
    EXPECT_EQ(WrapDib(gray.info, gray.bits.data()).format(), QImage::Format_Grayscale8);

    Dib table = gray;
    for (int i = 0; i < 256; ++i)
        table.info.bmiColors[i] = RgbQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7, 0};
    EXPECT_EQ(WrapDib(table.info, table.bits.data()).format(), QImage::Format_Indexed8);
    ExpectPicture(Painted(table, QImage::Format_RGB32, QPoint(3, 4)), table, QPoint(3, 4));
    ExpectPicture(Painted(table, QImage::Format_RGB888, QPoint(3, 4)), table, QPoint(3, 4));
}

TEST(DibPainter, ClipsAreHonoured) {
    const Dib dib = MakeDib(40, 30, 24);
    const QRect clip(5, 6, 10, 7);
    ExpectPicture(Painted(dib, QImage::Format_RGB32, QPoint(2, 2), clip), dib, QPoint(2, 2), clip);
}

TEST(DibPainter, NothingForAnEmptyOrUnknownBitmap) {
    Dib dib = MakeDib(8, 4, 24);
    dib.info.bmiHeader.biBitCount = 16;
    EXPECT_TRUE(WrapDib(dib.info, dib.bits.data()).isNull());
    ExpectPicture(Painted(dib, QImage::Format_RGB32), MakeDib(0, 0, 24), {});
    dib.info.bmiHeader.biBitCount = 24;
    dib.info.bmiHeader.biWidth = 0;
    EXPECT_TRUE(WrapDib(dib.info, dib.bits.data()).isNull());
}

TEST(DibPainter, TheDirectPathIsTakenOnlyWhereItGivesTheSamePixels) {
    const Dib dib = MakeDib(16, 8, 24);
    const auto direct = [&](QImage::Format format, const std::function<void(QPainter&)>& setUp) {
        QImage target(32, 16, format);
        QPainter painter(&target);
        setUp(painter);
        return BlitDib(painter, dib.info, dib.bits.data());
    };
    const auto nothing = [](QPainter&) {};
    EXPECT_TRUE(direct(QImage::Format_RGB32, nothing));
    EXPECT_TRUE(direct(QImage::Format_ARGB32_Premultiplied, [](QPainter& p) { p.translate(3, 2); }));
    EXPECT_FALSE(direct(QImage::Format_RGB888, nothing));
    EXPECT_FALSE(direct(QImage::Format_RGB16, nothing));
    EXPECT_FALSE(direct(QImage::Format_RGB32, [](QPainter& p) { p.translate(0.5, 0); }));
    EXPECT_FALSE(direct(QImage::Format_RGB32, [](QPainter& p) { p.scale(2, 2); }));
    EXPECT_FALSE(direct(QImage::Format_RGB32, [](QPainter& p) { p.setOpacity(0.5); }));
    EXPECT_FALSE(direct(QImage::Format_RGB32, [](QPainter& p) { p.setClipRect(0, 0, 4, 4); }));
    EXPECT_FALSE(direct(QImage::Format_RGB32,
                        [](QPainter& p) { p.setCompositionMode(QPainter::CompositionMode_Multiply); }));
    QImage scaled(32, 16, QImage::Format_RGB32);
    scaled.setDevicePixelRatio(2);
    QPainter painter(&scaled);
    EXPECT_TRUE(BlitDib(painter, dib.info, dib.bits.data()));
    painter.scale(1.5, 1.5);
    EXPECT_FALSE(BlitDib(painter, dib.info, dib.bits.data()));
}

TEST(DibPainter, OnAScaledScreenEachImagePixelIsOneDevicePixel) {
    for (const int height : {22, -22}) {
        const Dib dib = MakeDib(37, height, 24);
        for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
            SCOPED_TRACE(format);
            ExpectPicture(Painted(dib, format, {}, {}, 2), dib, {});
            ExpectPicture(Painted(dib, format, QPoint(3, 2), {}, 2), dib, QPoint(6, 4));
        }
    }
}
