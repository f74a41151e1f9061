// Painting the display bitmap straight from its buffer. The bitmap keeps the device-independent layout of
// the pipeline and of BMP files: rows padded to 4 bytes and, for a positive height, stored bottom-up.
#pragma once

#include "display/Bitmap.h"

#include <QImage>
#include <QRectF>
#include <cstdint>

class QPainter;

namespace ocu {

// A QImage over the bitmap's pixels, sharing them (nothing is copied): Format_BGR888 for 24 bits; for 8
// bits Format_Grayscale8 when the colour table is the gray ramp, else Format_Indexed8 with the table. Its
// rows are in the order stored, so for a bottom-up bitmap row 0 is the bottom of the picture. A null image
// for an empty size or a bit count other than 8 and 24.
QImage WrapDib(const BitmapInfo& info, const uint8_t* bits);

// Paints the bitmap upright, one device pixel per image pixel (on a scaled screen the image covers its
// size divided by the scale in logical pixels), with its top-left corner at the painter's origin.
void PaintDib(QPainter& painter, const BitmapInfo& info, const uint8_t* bits);

// PaintDib's fast way: writes the bitmap straight into the 32-bit image under a raster painter (a widget's
// backing store, a grab), when the painter would copy it there unchanged: no transform but a whole-pixel
// offset and the device's own scale, full opacity, an opaque composition, no clip but the system's. Qt
// converts blue-green-red images on a general per-pixel path; this gives the same pixels several times
// faster. False, with nothing done, for any other painter.
bool BlitDib(QPainter& painter, const BitmapInfo& info, const uint8_t* bits);
// Paints it upright, stretched over target (printing).
void PaintDibScaled(QPainter& painter, const BitmapInfo& info, const uint8_t* bits, const QRectF& target);

} // namespace ocu
