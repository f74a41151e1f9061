// Raw files: the undemosaiced frame behind its width and height.
#include "display/ImageFileIo.h"
#include "display/ImageFiles.h"
#include "imaging/FramePipeline.h"

namespace ocu {
namespace {

using namespace fileio;

constexpr size_t kRawHeaderBytes = 8;

// A raw file open for reading and the size its header gives, checked against everything but the buffers.
struct RawFile {
    explicit RawFile(const std::string& path) : file(path) {}
    fileio::InputFile file;
    int width = 0;
    int height = 0;
};

bool OpenRawFile(RawFile& raw, std::string* note) {
    if (!raw.file.IsOpen())
        return Refuse(note, "cannot open the file, or it is no regular file");
    uint8_t head[kRawHeaderBytes];
    if (raw.file.ReadAt(0, head, sizeof head) < sizeof head)
        return Refuse(note, "shorter than the 8-byte header of a raw file");
    raw.width = LeS32(head);
    raw.height = LeS32(head + 4);
    const std::string size = std::to_string(raw.width) + " x " + std::to_string(raw.height) + " pixels";
    if (raw.width <= 0 || raw.height <= 0)
        return Refuse(note, "raw frame of " + size);
    if (!PipelineAcceptsSize(raw.width, raw.height))
        return Refuse(note, "raw frame of " + size + ", a size the Bayer conversion does not take");
    return true;
}

} // namespace

int ReadRawFile(const std::string& path, BitmapInfo& info, uint8_t* raw, const ImageLimits& limits,
                std::string* note) {
    if (raw == nullptr)
        return Refuse(note, "no raw buffer");
    RawFile file(path);
    if (!OpenRawFile(file, note))
        return 0;
    const int width = file.width;
    const int height = file.height;
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (pixels > limits.rawBytes || pixels * 3 > limits.imageBytes)
        return Refuse(note, "raw frame of " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels, more than the buffers hold");
    NoteShortRead(note, file.file.ReadAt(kRawHeaderBytes, raw, static_cast<size_t>(pixels)),
                  static_cast<size_t>(pixels));
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    return 1;
}

int WriteRawFile(const std::string& path, const BitmapInfo& info, const uint8_t* raw, size_t rawBytes,
                 std::string* note) {
    const int32_t width = info.bmiHeader.biWidth;
    const int32_t height = info.bmiHeader.biHeight;
    if (width == 0 || height == 0)
        return Refuse(note, "no image to save");
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (width < 0 || height < 0 || raw == nullptr || pixels > rawBytes)
        return Refuse(note, "the image of " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels does not fit the raw buffer");
    std::string content;
    content.reserve(kRawHeaderBytes + static_cast<size_t>(pixels));
    AppendLe32(content, static_cast<uint32_t>(width));
    AppendLe32(content, static_cast<uint32_t>(height));
    AppendBytes(content, raw, static_cast<size_t>(pixels));
    return WriteWholeFile(path, content, note) ? 1 : 0;
}

int fileio::ReadRawSize(const std::string& path, int maxWidth, int maxHeight, ImageSize& size,
                        std::string* note) {
    RawFile file(path);
    if (!OpenRawFile(file, note))
        return 0;
    const int width = file.width;
    const int height = file.height;
    if (width > maxWidth || height > maxHeight)
        return Refuse(note, "raw frame of " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels, larger than " + std::to_string(maxWidth) + " x " +
                                std::to_string(maxHeight));
    size = ImageSize{width, height, 0};
    return 1;
}

} // namespace ocu
