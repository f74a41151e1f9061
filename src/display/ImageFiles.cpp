// The file kinds, the limits of the viewer's buffers and the size of a file's image.
#include "display/ImageFiles.h"

#include "OcuUtil.h"
#include "common/FileHandles.h"
#include "display/ImageFileIo.h"

#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace ocu {

int GetFileKind(std::string_view path) {
    if (path.size() < 4)
        return kFileBmp;
    char tail[5] = {};
    for (size_t i = 0; i < 4; ++i) {
        const char c = path[path.size() - 4 + i];
        tail[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    const std::string_view last(tail, 4);
    if (last == ".JPG")
        return kFileJpeg;
    if (last == ".RAW")
        return kFileRaw;
    return kFileBmp;
}

int GetOpenedFileKind(const std::string& path) {
    const int kind = GetFileKind(path);
    if (kind != kFileBmp)
        return kind;
    unsigned char head[3] = {};
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd || ::read(fd.get(), head, sizeof head) != static_cast<ssize_t>(sizeof head))
        return kind;
    return head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF ? kFileJpeg : kind;
}

ImageLimits LimitsForSensor(int width, int height) {
    if (width <= 0 || height <= 0)
        return {};
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    return ImageLimits{width, height, pixels * 3, pixels};
}

int64_t DibPixelBytes(int width, int height, int bitCount) {
    if (width < 0 || height < 0 || bitCount < 0)
        return -1;
    const auto row = static_cast<int64_t>(DibRowBytes(width, bitCount));
    // A row can take up to 2^44 bytes (a bit count up to 65535): the product is not formed when it would
    // pass the limit, since it need not fit 64 bits.
    if (row != 0 && height > INT32_MAX / row)
        return -1;
    return row * height;
}

int ReadImageSize(const std::string& path, int kind, int maxWidth, int maxHeight, ImageSize& size,
                  std::string* note) {
    switch (kind) {
    case kFileRaw:
        return fileio::ReadRawSize(path, maxWidth, maxHeight, size, note);
    case kFileJpeg: {
        int32_t width = 0;
        int32_t height = 0;
        uint16_t bitCount = 0;
        if (OcuReadJPEGHeader(path.c_str(), &width, &height, &bitCount) != 1)
            return fileio::Refuse(note, OcuUtilErrorString(OcuUtilLastError()));
        if (width > maxWidth || height > maxHeight)
            return fileio::Refuse(note, "JPEG image of " + std::to_string(width) + " x " +
                                            std::to_string(height) + " pixels, larger than " +
                                            std::to_string(maxWidth) + " x " + std::to_string(maxHeight));
        size = ImageSize{width, height, bitCount};
        return 1;
    }
    default:
        return fileio::ReadBmpSize(path, maxWidth, maxHeight, size, note);
    }
}

} // namespace ocu
