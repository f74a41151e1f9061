// The BMP layouts that other programs write and the viewer does not (1, 4, 16 and 32 bits, run-length
// and bit-field pixels), through Qt's image reader, in the display's own layout.
#include "display/ImageFileIo.h"
#include "display/ImageFiles.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QSize>
#include <algorithm>
#include <cstring>

namespace ocu::fileio {

int ReadDecodedBmp(const InputFile& file, const BmpLayout& layout, BitmapInfo& info, uint8_t* pixels,
                   std::string* note) {
    // What the pixels can take at most: their uncompressed size, or two bytes a pixel and the ends of
    // the rows and the image for run-length pixels; what lies beyond is never decoded.
    const uint64_t area = static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height);
    const uint64_t most = layout.pixelBytes != 0 ? layout.pixelBytes : 2 * area + 2 * layout.height + 2;
    const uint64_t length = std::min<uint64_t>(file.Size(), layout.pixelOffset + most);
    QByteArray bytes(static_cast<qsizetype>(length), Qt::Uninitialized);
    if (file.ReadAt(0, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()) !=
        static_cast<size_t>(bytes.size()))
        return Refuse(note, "cannot read the file");
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device, "bmp");
    reader.setDecideFormatFromContent(false);
    // Qt's own guard against huge images, set to what this one needs at 32 bits a pixel.
    reader.setAllocationLimit(static_cast<int>((area * 4 >> 20) + 1));
    // Qt gives a top-down file's height as it stands, negative.
    const QSize size(layout.width, layout.height);
    if (reader.size() != size && reader.size() != QSize(layout.width, -layout.height))
        return Refuse(note, "a BMP whose pixels do not match its header");
    // Qt leaves the pixels that a file cut short or a run-length stream never reaches as it found them:
    // it is given an image of black to decode into, and one it did not decode into is not shown, so that
    // no stray memory ever reaches the screen.
    QImage image(size, reader.imageFormat());
    if (image.isNull())
        return Refuse(note, "out of memory");
    image.fill(0);
    const uchar* const filled = image.constBits();
    if (!reader.read(&image))
        return Refuse(note, "a damaged BMP (" + reader.errorString().toStdString() + ")");
    if (image.constBits() != filled || image.size() != size)
        return Refuse(note, "a BMP that Qt's image reader does not decode in place");
    if (layout.pixelBytes != 0)
        NoteShortRead(
            note,
            static_cast<size_t>(std::min<uint64_t>(file.Size() - layout.pixelOffset, layout.pixelBytes)),
            layout.pixelBytes, "is black");

    image = image.convertToFormat(layout.gray ? QImage::Format_Grayscale8 : QImage::Format_BGR888);
    if (image.isNull())
        return Refuse(note, "out of memory");
    // Bottom-up rows padded to whole words, the padding zero, as a frame of the camera is stored.
    const size_t rowBytes = DibRowBytes(layout.width, layout.shownBitCount);
    const size_t used = static_cast<size_t>(layout.width) * (layout.gray ? 1 : 3);
    for (int y = 0; y < layout.height; ++y) {
        uint8_t* row = pixels + static_cast<size_t>(layout.height - 1 - y) * rowBytes;
        std::memcpy(row, image.constScanLine(y), used);
        std::fill(row + used, row + rowBytes, uint8_t{0});
    }
    info.bmiHeader = FrameHeader(layout.width, layout.height, layout.shownBitCount);
    if (layout.gray)
        for (int i = 0; i < 256; ++i)
            info.bmiColors[i] =
                RgbQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
    return 1;
}

} // namespace ocu::fileio
