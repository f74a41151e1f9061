// The image files of Open and Save As: BMP and raw files field by field, JPEG through the image utility
// library. The functions work on the display bitmap's header and colour table, the display buffer and the
// raw buffer, each with its size, and know nothing of the frame.
//
// Every read checks the whole file before a byte lands in a buffer. A refused file leaves the header, the
// colour table and both buffers exactly as they were. Each function returns 1 when it did its work and 0
// when it did nothing; `note`, when given, receives a one-line reason for a 0, or for a 1 a remark on a
// file shorter than it says (read as far as it goes; the rest of the buffer keeps its old contents; a
// JPEG's decoder fills in what is missing).
//
// Every write replaces a regular file as a whole: the old file stays exactly as it was until the new one
// is complete on the disk, so a full disk or a kill never loses it. A pipe or a character device is
// written into, as cp would; nothing else that is not a regular file is touched, and the folder must
// exist (OcuFile.h, libs/ocufile).
#pragma once

#include "display/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ocu {

enum FileKind : int { kFileBmp = 0, kFileJpeg = 1, kFileRaw = 2 };

// The kind named by the last four characters of the path, upper-cased: ".JPG" JPEG, ".RAW" raw, anything
// else (".BMP", ".jpeg", a name shorter than four characters) BMP.
int GetFileKind(std::string_view path);

// The kind a file is read as: its name's kind, except that a file whose name says BMP but whose bytes
// begin as a JPEG's do is read as the JPEG it is. Desktops hand the viewer "photo.jpeg" for "Open with";
// a name decides what Save As writes, but it must not keep a picture from being shown.
int GetOpenedFileKind(const std::string& path);

// What an opened file may bring.
struct ImageLimits {
    int maxWidth = 0; // the sensor image of mode 0, which the buffers were sized for
    int maxHeight = 0;
    size_t imageBytes = 0; // the display buffer's size
    size_t rawBytes = 0;   // the raw buffer's size
};

// The limits of buffers allocated, as the device set-up does, for a sensor image of width x height:
// 3 bytes per pixel for the display, 1 for the raw frame.
ImageLimits LimitsForSensor(int width, int height);

// The size of the 32-bit-padded pixel data of an image, S of the BMP layout, computed without overflow;
// -1 when it does not fit a 32-bit signed integer or a size is negative.
int64_t DibPixelBytes(int width, int height, int bitCount);

// BMP: files with a 40-, 108- or 124-byte info header and one plane. Uncompressed 8-bit and 24-bit images,
// the layouts the viewer writes, are read field by field: a negative height (a top-down file) is stored
// flipped into bottom-up rows, at most 256 colours lie before the pixels, which start after the headers,
// inside the file; an 8-bit file replaces as many colour-table entries as it declares. The layouts other
// programs write (1, 4, 16 and 32 bits, run-length 4- and 8-bit pixels, bit fields) are decoded by Qt's
// image reader into 24-bit colour, or into 8-bit levels with the gray table when their colour table
// holds only grays; what a run-length stream skips or a short file lacks is black. The display buffer is
// the limit of the image's size, as for JPEG files; the header that is kept is that of a camera frame of
// the image's size and shown bit count.
int ReadBmpFile(const std::string& path, BitmapInfo& info, uint8_t* pixels, const ImageLimits& limits,
                std::string* note = nullptr);
// Writes the file header, the 40-byte header as it stands, 1024 bytes of colour table for 8-bit images
// and the S bytes of pixels. Nothing, and no file, when S is 0 or more than pixelBytes.
int WriteBmpFile(const std::string& path, const BitmapInfo& info, const uint8_t* pixels, size_t pixelBytes,
                 std::string* note = nullptr);

// Raw: width and height (signed 32-bit little-endian), then width x height Bayer samples. Sets the
// header's width and height; the frame pipeline must run on it next. Refused unless the size is one the
// pipeline takes and fits both buffers.
int ReadRawFile(const std::string& path, BitmapInfo& info, uint8_t* raw, const ImageLimits& limits,
                std::string* note = nullptr);
// Writes the header's width and height and that many bytes of raw. Nothing when the size is 0 or more
// than rawBytes.
int WriteRawFile(const std::string& path, const BitmapInfo& info, const uint8_t* raw, size_t rawBytes,
                 std::string* note = nullptr);

// JPEG: the image is loaded into the display buffer (refused when larger), bottom-up, colour as 24-bit,
// gray as 8-bit indexing the current colour table; only width, height and bit count of the header change.
int ReadJpegFile(const std::string& path, BitmapInfo& info, uint8_t* pixels, const ImageLimits& limits,
                 std::string* note = nullptr);
// Saves the display image at quality 100, encoded in memory and then written as the other formats are. An
// 8-bit image whose colour table is not the gray ramp is saved in the colours that table gives it.
int WriteJpegFile(const std::string& path, const BitmapInfo& info, const uint8_t* pixels, size_t pixelBytes,
                  std::string* note = nullptr);

// The size and bit count (0 for raw, whose bit count the pipeline sets) of the image a file holds, read
// from its header with the checks of its reader that need no buffer; for sizing buffers to a file.
struct ImageSize {
    int width = 0;
    int height = 0;
    int bitCount = 0;
};
int ReadImageSize(const std::string& path, int kind, int maxWidth, int maxHeight, ImageSize& size,
                  std::string* note = nullptr);

} // namespace ocu
