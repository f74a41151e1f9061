// The JPEG functions of OcuUtil.h over libjpeg-turbo's TurboJPEG API.
#include "FileBytes.h"
#include "JpegMarkers.h"
#include "OcuFile.h"
#include "OcuUtil.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <turbojpeg.h>
#include <vector>

namespace ocuutil {
namespace {

thread_local int t_lastError = OCU_UTIL_OK;
thread_local int t_lastWarning = OCU_UTIL_OK;

int Fail(int error) {
    t_lastError = error;
    t_lastWarning = OCU_UTIL_OK;
    return 0;
}

int Succeed(int warning = OCU_UTIL_OK) {
    t_lastError = OCU_UTIL_OK;
    t_lastWarning = warning;
    return 1;
}

// Metadata (EXIF, colour profiles) may make a JPEG file long; past this it is no image for the viewer.
constexpr size_t kMaxHeaderFileBytes = size_t{256} << 20;

// A file that could hold an image of `capacity` bytes: even noise at quality 100 takes less than twice
// its pixels, and metadata a few megabytes.
size_t MaxFileBytes(size_t capacity) {
    const size_t doubled = capacity > kMaxHeaderFileBytes ? kMaxHeaderFileBytes : 2 * capacity;
    const size_t limit = doubled + (size_t{16} << 20);
    return limit < kMaxHeaderFileBytes ? limit : kMaxHeaderFileBytes;
}

struct TjFree {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjFree>;

// What a file holds, read once.
struct JpegImage {
    std::vector<uint8_t> bytes;
    int width = 0;
    int height = 0;
    int bitCount = 0;
};

int ErrorOf(ReadResult result) {
    return result == ReadResult::TooLong ? OCU_UTIL_ERR_TOO_LARGE : OCU_UTIL_ERR_OPEN;
}

int ErrorOf(OutlineResult result) {
    switch (result) {
    case OutlineResult::Ok:
        return OCU_UTIL_OK;
    case OutlineResult::NotJpeg:
        return OCU_UTIL_ERR_NOT_JPEG;
    case OutlineResult::Unsupported:
        return OCU_UTIL_ERR_UNSUPPORTED;
    case OutlineResult::TooManyScans:
        return OCU_UTIL_ERR_TOO_MANY_SCANS;
    }
    return OCU_UTIL_ERR_NOT_JPEG;
}

// Reads the file and its header with a new decompressor, refusing what will not be shown. OCU_UTIL_OK or
// the reason.
int ReadJpeg(const char* path, size_t maxFileBytes, TjHandle& tj, JpegImage& image) {
    tj.reset(tjInitDecompress());
    if (!tj)
        return OCU_UTIL_ERR_RESOURCES;
    if (const ReadResult read = ReadFileBytes(path, maxFileBytes, image.bytes); read != ReadResult::Ok)
        return ErrorOf(read);
    JpegOutline outline;
    if (const int error =
            ErrorOf(OutlineJpeg(image.bytes.data(), image.bytes.size(), OCU_JPEG_MAX_SCANS, outline)))
        return error;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(tj.get(), image.bytes.data(), static_cast<unsigned long>(image.bytes.size()),
                            &image.width, &image.height, &subsampling, &colourspace) != 0 ||
        image.width <= 0 || image.height <= 0)
        return OCU_UTIL_ERR_NOT_JPEG;
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK)
        return OCU_UTIL_ERR_UNSUPPORTED;
    image.bitCount = colourspace == TJCS_GRAY ? 8 : 24;
    return OCU_UTIL_OK;
}

// Bytes of one padded row, or 0 when it does not fit an int (TurboJPEG's pitch).
int Pitch(int32_t width, int32_t bitCount) {
    const size_t row = ((static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 31) / 32) * 4;
    return row > static_cast<size_t>(std::numeric_limits<int>::max()) ? 0 : static_cast<int>(row);
}

} // namespace
} // namespace ocuutil

using namespace ocuutil;

extern "C" size_t OcuDibBytes(int32_t nWidth, int32_t nHeight, int32_t nBitCount) {
    if (nWidth <= 0 || nHeight <= 0 || (nBitCount != 8 && nBitCount != 24))
        return 0;
    // Both factors are below 2^31 and 2^32: the product fits 64 bits.
    return ((static_cast<size_t>(nWidth) * static_cast<size_t>(nBitCount) + 31) / 32) * 4 *
           static_cast<size_t>(nHeight);
}

extern "C" int OcuReadJPEGHeader(const char* pszPath, int32_t* pnWidth, int32_t* pnHeight,
                                 uint16_t* pnBitCount) {
    if (pszPath == nullptr || pnWidth == nullptr || pnHeight == nullptr || pnBitCount == nullptr)
        return Fail(OCU_UTIL_ERR_ARGUMENT);
    try {
        TjHandle tj;
        JpegImage image;
        if (const int error = ReadJpeg(pszPath, kMaxHeaderFileBytes, tj, image))
            return Fail(error);
        *pnWidth = image.width;
        *pnHeight = image.height;
        *pnBitCount = static_cast<uint16_t>(image.bitCount);
        return Succeed();
    } catch (const std::bad_alloc&) {
        return Fail(OCU_UTIL_ERR_RESOURCES);
    }
}

extern "C" int OcuLoadJPEG(const char* pszPath, uint8_t* pPixels, size_t nCapacity, int32_t* pnWidth,
                           int32_t* pnHeight, uint16_t* pnBitCount, int nFlags) {
    if (pszPath == nullptr || pPixels == nullptr || pnWidth == nullptr || pnHeight == nullptr ||
        pnBitCount == nullptr || (nFlags != OCU_JPEG_TOP_DOWN && nFlags != OCU_JPEG_BOTTOM_UP))
        return Fail(OCU_UTIL_ERR_ARGUMENT);
    try {
        TjHandle tj;
        JpegImage image;
        if (const int error = ReadJpeg(pszPath, MaxFileBytes(nCapacity), tj, image))
            return Fail(error);
        const size_t bytes = OcuDibBytes(image.width, image.height, image.bitCount);
        const int pitch = Pitch(image.width, image.bitCount);
        if (bytes == 0 || bytes > nCapacity || pitch == 0)
            return Fail(OCU_UTIL_ERR_TOO_LARGE);
        // Decoded aside and copied only when whole, so that a refused file leaves the caller's image as
        // it was; the padding at the rows' ends comes out zero.
        std::vector<uint8_t> decoded(bytes);
        const int flags =
            TJFLAG_ACCURATEDCT | TJFLAG_LIMITSCANS | (nFlags == OCU_JPEG_BOTTOM_UP ? TJFLAG_BOTTOMUP : 0);
        // A warning is a file whose decoder got to its end all the same: cut short, or a damaged segment.
        const bool damaged =
            tjDecompress2(tj.get(), image.bytes.data(), static_cast<unsigned long>(image.bytes.size()),
                          decoded.data(), image.width, pitch, image.height,
                          image.bitCount == 8 ? TJPF_GRAY : TJPF_BGR, flags) != 0;
        if (damaged && tjGetErrorCode(tj.get()) != TJERR_WARNING)
            return Fail(OCU_UTIL_ERR_NOT_JPEG);
        std::memcpy(pPixels, decoded.data(), bytes);
        *pnWidth = image.width;
        *pnHeight = image.height;
        *pnBitCount = static_cast<uint16_t>(image.bitCount);
        return Succeed(damaged ? int{OCU_UTIL_WARN_DAMAGED} : int{OCU_UTIL_OK});
    } catch (const std::bad_alloc&) {
        return Fail(OCU_UTIL_ERR_RESOURCES);
    }
}

namespace {

bool EncodeArgumentsValid(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitCount, int flags,
                          int quality) {
    return pixels != nullptr && OcuDibBytes(width, height, bitCount) != 0 &&
           (flags == OCU_JPEG_TOP_DOWN || flags == OCU_JPEG_BOTTOM_UP) && quality >= 1 && quality <= 100;
}

// Encodes into *jpeg: the caller's buffer of *size bytes when `fixed`, else one TurboJPEG allocates.
int Encode(const uint8_t* pixels, int32_t width, int32_t height, int32_t bitCount, int flags, int quality,
           unsigned char** jpeg, unsigned long* size, bool fixed) {
    if (width > OCU_JPEG_MAX_SIDE || height > OCU_JPEG_MAX_SIDE)
        return OCU_UTIL_ERR_JPEG_LIMIT;
    const int pitch = Pitch(width, bitCount);
    if (pitch == 0)
        return OCU_UTIL_ERR_TOO_LARGE;
    const TjHandle tj(tjInitCompress());
    if (!tj)
        return OCU_UTIL_ERR_RESOURCES;
    const bool gray = bitCount == 8;
    const int tjFlags = TJFLAG_ACCURATEDCT | (flags == OCU_JPEG_BOTTOM_UP ? TJFLAG_BOTTOMUP : 0) |
                        (fixed ? TJFLAG_NOREALLOC : 0);
    if (tjCompress2(tj.get(), pixels, width, pitch, height, gray ? TJPF_GRAY : TJPF_BGR, jpeg, size,
                    gray ? TJSAMP_GRAY : TJSAMP_444, quality, tjFlags) != 0)
        return OCU_UTIL_ERR_ENCODE;
    return OCU_UTIL_OK;
}

} // namespace

extern "C" int OcuEncodeJPEG(const uint8_t* pPixels, int32_t nWidth, int32_t nHeight, int32_t nBitCount,
                             int nFlags, int nQuality, uint8_t** ppJpeg, size_t* pnSize) {
    if (ppJpeg == nullptr || pnSize == nullptr ||
        !EncodeArgumentsValid(pPixels, nWidth, nHeight, nBitCount, nFlags, nQuality))
        return Fail(OCU_UTIL_ERR_ARGUMENT);
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    if (const int error =
            Encode(pPixels, nWidth, nHeight, nBitCount, nFlags, nQuality, &jpeg, &jpegSize, false);
        error != OCU_UTIL_OK) {
        tjFree(jpeg);
        return Fail(error);
    }
    *ppJpeg = jpeg;
    *pnSize = jpegSize;
    return Succeed();
}

extern "C" void OcuFreeJPEG(uint8_t* pJpeg) {
    tjFree(pJpeg);
}

extern "C" int OcuSaveJPEG(const char* pszPath, const uint8_t* pPixels, int32_t nWidth, int32_t nHeight,
                           int32_t nBitCount, int nFlags, int nQuality) {
    if (pszPath == nullptr)
        return Fail(OCU_UTIL_ERR_ARGUMENT);
    uint8_t* jpeg = nullptr;
    size_t jpegSize = 0;
    if (OcuEncodeJPEG(pPixels, nWidth, nHeight, nBitCount, nFlags, nQuality, &jpeg, &jpegSize) != 1)
        return 0;
    const std::unique_ptr<uint8_t, void (*)(uint8_t*)> owned(jpeg, OcuFreeJPEG);
    if (!ocufile::ReplaceFile(pszPath, std::string_view(reinterpret_cast<const char*>(jpeg), jpegSize)))
        return Fail(OCU_UTIL_ERR_CREATE);
    return Succeed();
}

extern "C" size_t OcuJPEGBufferSize(int32_t nWidth, int32_t nHeight, int32_t nBitCount) {
    if (OcuDibBytes(nWidth, nHeight, nBitCount) == 0)
        return 0;
    const unsigned long size = tjBufSize(nWidth, nHeight, nBitCount == 8 ? TJSAMP_GRAY : TJSAMP_444);
    return size == static_cast<unsigned long>(-1) ? 0 : static_cast<size_t>(size);
}

extern "C" int OcuEncodeJPEGInto(const uint8_t* pPixels, int32_t nWidth, int32_t nHeight, int32_t nBitCount,
                                 int nFlags, int nQuality, uint8_t* pOut, size_t nCapacity, size_t* pnSize) {
    if (pOut == nullptr || pnSize == nullptr ||
        !EncodeArgumentsValid(pPixels, nWidth, nHeight, nBitCount, nFlags, nQuality))
        return Fail(OCU_UTIL_ERR_ARGUMENT);
    // TurboJPEG writes up to its worst case into a buffer it must not reallocate.
    if (nCapacity < OcuJPEGBufferSize(nWidth, nHeight, nBitCount))
        return Fail(OCU_UTIL_ERR_TOO_LARGE);
    unsigned char* jpeg = pOut;
    unsigned long size = static_cast<unsigned long>(nCapacity);
    if (const int error = Encode(pPixels, nWidth, nHeight, nBitCount, nFlags, nQuality, &jpeg, &size, true);
        error != OCU_UTIL_OK)
        return Fail(error);
    *pnSize = static_cast<size_t>(size);
    return Succeed();
}

extern "C" int OcuUtilLastError(void) {
    return t_lastError;
}

extern "C" int OcuUtilLastWarning(void) {
    return t_lastWarning;
}

extern "C" const char* OcuUtilErrorString(int nError) {
    switch (nError) {
    case OCU_UTIL_OK:
        return "no error";
    case OCU_UTIL_ERR_ARGUMENT:
        return "invalid argument";
    case OCU_UTIL_ERR_OPEN:
        return "cannot read the file";
    case OCU_UTIL_ERR_CREATE:
        return "cannot write the file";
    case OCU_UTIL_ERR_NOT_JPEG:
        return "not a JPEG image, or one damaged beyond decoding";
    case OCU_UTIL_ERR_UNSUPPORTED:
        return "unsupported kind of JPEG (not 8-bit, lossless, hierarchical or CMYK)";
    case OCU_UTIL_ERR_TOO_MANY_SCANS:
        return "progressive JPEG with too many scans";
    case OCU_UTIL_ERR_TOO_LARGE:
        return "the image does not fit the buffer";
    case OCU_UTIL_ERR_RESOURCES:
        return "out of memory";
    case OCU_UTIL_ERR_ENCODE:
        return "the JPEG encoder failed";
    case OCU_UTIL_ERR_JPEG_LIMIT:
        return "a JPEG image is at most 65500 pixels wide and 65500 high";
    case OCU_UTIL_WARN_DAMAGED:
        return "the JPEG data ends early or is damaged; the decoder filled in what is missing";
    default:
        return "unknown error";
    }
}
