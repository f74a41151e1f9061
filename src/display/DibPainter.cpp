#include "display/DibPainter.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace ocu {
namespace {

bool IsBottomUp(const BitmapInfo& info) {
    return info.bmiHeader.biHeight > 0;
}

using Bytes16 = uint8_t __attribute__((vector_size(16)));
// The fourth byte of each 32-bit pixel: opaque.
constexpr Bytes16 kOpaque = {0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF};

// Blue-green-red pixels as 0xFFRRGGBB words, which is also their byte order in memory, so each pixel only
// gains its fourth byte.
#if defined(__x86_64__)
__attribute__((target_clones("default", "ssse3")))
#endif
void BgrToXrgb(uint32_t* dst, const uint8_t* src, int count) {
    int x = 0;
    // Four pixels from each 16-byte load; its last four bytes belong to the next step, so the loop stops
    // while a whole load still lies inside the span.
    constexpr Bytes16 spread = {0, 1, 2, 15, 3, 4, 5, 15, 6, 7, 8, 15, 9, 10, 11, 15};
    for (; x + 6 <= count; x += 4) {
        Bytes16 bytes;
        std::memcpy(&bytes, src + 3 * x, sizeof bytes);
        const Bytes16 words = __builtin_shuffle(bytes, spread) | kOpaque;
        std::memcpy(dst + x, &words, sizeof words);
    }
    for (; x < count; ++x) {
        const uint8_t* p = src + 3 * x;
        dst[x] = 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
}

// Gray levels as 0xFFLLLLLL words.
#if defined(__x86_64__)
__attribute__((target_clones("default", "ssse3")))
#endif
void GrayToXrgb(uint32_t* dst, const uint8_t* src, int count) {
    int x = 0;
    constexpr Bytes16 first = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
    constexpr Bytes16 next = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};
    for (; x + 16 <= count; x += 16) {
        Bytes16 levels;
        std::memcpy(&levels, src + x, sizeof levels);
        Bytes16 spread = first;
        for (int k = 0; k < 4; ++k, spread += next) {
            const Bytes16 words = __builtin_shuffle(levels, spread) | kOpaque;
            std::memcpy(dst + x + 4 * k, &words, sizeof words);
        }
    }
    for (; x < count; ++x) {
        const uint32_t level = src[x];
        dst[x] = 0xFF000000u | level << 16 | level << 8 | level;
    }
}

void IndexedToXrgb(uint32_t* dst, const uint8_t* src, int count, const std::array<uint32_t, 256>& table) {
    for (int x = 0; x < count; ++x)
        dst[x] = table[src[x]];
}

// The layout of a bitmap that can be painted: its size, its rows, and how its pixels turn into colours.
struct DibLayout {
    int width = 0;
    int height = 0;
    qsizetype stride = 0;
    int bitCount = 0;
    bool grayRamp = false;
};

std::optional<DibLayout> LayoutOf(const BitmapInfo& info, const uint8_t* bits) {
    const BitmapInfoHeader& h = info.bmiHeader;
    if (bits == nullptr || h.biWidth <= 0 || h.biHeight == 0 || (h.biBitCount != 8 && h.biBitCount != 24))
        return std::nullopt;
    DibLayout layout;
    layout.width = h.biWidth;
    layout.height = std::abs(h.biHeight);
    layout.stride = static_cast<qsizetype>(DibRowBytes(layout.width, h.biBitCount));
    layout.bitCount = h.biBitCount;
    layout.grayRamp = h.biBitCount == 8 && HasGrayTable(info);
    return layout;
}

bool BlitLayout(QPainter& painter, const BitmapInfo& info, const uint8_t* bits, const DibLayout& dib) {
    QPaintEngine* engine = painter.paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster || engine->paintDevice() == nullptr ||
        engine->paintDevice()->devType() != QInternal::Image)
        return false;
    auto& target = *static_cast<QImage*>(engine->paintDevice());
    const QImage::Format format = target.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied)
        return false;
    // The engine writes into these very bytes; a shared image would be copied away from it by a write.
    if (!target.isDetached())
        return false;
    // On a scaled screen the painter's transform carries the screen's scale: the bitmap still goes 1:1
    // into device pixels, one per image pixel.
    const double scale = target.devicePixelRatio();
    const QTransform transform = painter.deviceTransform();
    const QPainter::CompositionMode mode = painter.compositionMode();
    if (transform.type() > QTransform::TxScale || transform.m11() != scale || transform.m22() != scale ||
        transform.dx() != std::floor(transform.dx()) || transform.dy() != std::floor(transform.dy()) ||
        painter.opacity() != 1.0 || painter.hasClipping() ||
        (mode != QPainter::CompositionMode_SourceOver && mode != QPainter::CompositionMode_Source))
        return false;

    const int left = static_cast<int>(transform.dx());
    const int top = static_cast<int>(transform.dy());
    QRegion region = engine->systemClip();
    if (region.isEmpty())
        region = target.rect();
    region &= QRect(left, top, dib.width, dib.height) & target.rect();

    std::array<uint32_t, 256> table{};
    if (dib.bitCount == 8 && !dib.grayRamp) {
        for (int i = 0; i < 256; ++i) {
            const RgbQuad& c = info.bmiColors[i];
            table[static_cast<size_t>(i)] =
                0xFF000000u | (uint32_t{c.rgbRed} << 16) | (uint32_t{c.rgbGreen} << 8) | c.rgbBlue;
        }
    }
    const bool bottomUp = IsBottomUp(info);
    for (const QRect& rect : region) {
        const int first = rect.left() - left;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const int row = bottomUp ? dib.height - 1 - (y - top) : y - top;
            auto* dst = reinterpret_cast<uint32_t*>(target.scanLine(y)) + rect.left();
            const uint8_t* src = bits + row * dib.stride;
            if (dib.bitCount == 24)
                BgrToXrgb(dst, src + 3 * first, rect.width());
            else if (dib.grayRamp)
                GrayToXrgb(dst, src + first, rect.width());
            else
                IndexedToXrgb(dst, src + first, rect.width(), table);
        }
    }
    return true;
}

} // namespace

QImage WrapDib(const BitmapInfo& info, const uint8_t* bits) {
    const std::optional<DibLayout> dib = LayoutOf(info, bits);
    if (!dib)
        return {};
    if (dib->bitCount == 24)
        return QImage(bits, dib->width, dib->height, dib->stride, QImage::Format_BGR888);
    if (dib->grayRamp)
        return QImage(bits, dib->width, dib->height, dib->stride, QImage::Format_Grayscale8);
    QImage image(bits, dib->width, dib->height, dib->stride, QImage::Format_Indexed8);
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = qRgb(info.bmiColors[i].rgbRed, info.bmiColors[i].rgbGreen, info.bmiColors[i].rgbBlue);
    image.setColorTable(table);
    return image;
}

bool BlitDib(QPainter& painter, const BitmapInfo& info, const uint8_t* bits) {
    const std::optional<DibLayout> dib = LayoutOf(info, bits);
    return dib && BlitLayout(painter, info, bits, *dib);
}

void PaintDib(QPainter& painter, const BitmapInfo& info, const uint8_t* bits) {
    const std::optional<DibLayout> dib = LayoutOf(info, bits);
    if (!dib || BlitLayout(painter, info, bits, *dib))
        return;
    const QImage image = WrapDib(info, bits);
    const qreal scale = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    if (scale != 1.0) {
        // One device pixel per image pixel: an image of the device's scale is drawn at its size divided
        // by it, which the painter's scale brings back to whole device pixels.
        QImage upright = IsBottomUp(info) ? image.mirrored(false, true) : image.copy();
        upright.setDevicePixelRatio(scale);
        painter.drawImage(QPointF(0, 0), upright);
        return;
    }
    if (!IsBottomUp(info)) {
        painter.drawImage(0, 0, image);
        return;
    }
    // Row by row, each stored row to its upright place: Qt takes no negative line stride, and a mirroring
    // transform sends every pixel through the raster engine's general transformed path, which is slower.
    for (int y = 0; y < dib->height; ++y)
        painter.drawImage(QPoint(0, dib->height - 1 - y), image, QRect(0, y, dib->width, 1));
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
