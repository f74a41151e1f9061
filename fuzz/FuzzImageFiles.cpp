// One fuzzer per reader of Open: the bytes as a BMP, raw or JPEG file (OCU_FUZZ_KIND), read into buffers
// of a 1280 x 1024 sensor exactly as the viewer's are sized, so that the sanitizers see any byte outside
// them. A refused file must leave everything as it was; an accepted one must describe what fits.
#include "FuzzInput.h"
#include "display/ImageFiles.h"
#include "imaging/FramePipeline.h"

#include <cstring>
#include <vector>

using namespace ocu;

namespace {

struct Buffers {
    Buffers()
        : limits(LimitsForSensor(1280, 1024)), image(limits.imageBytes, 0x11), raw(limits.rawBytes, 0x22) {
        InitBitmapInfo(info);
    }
    ImageLimits limits;
    std::vector<uint8_t> image;
    std::vector<uint8_t> raw;
    BitmapInfo info{};
};

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// The image the header describes lies within the buffer it was read into.
void CheckConsistent(const BitmapInfo& info, size_t bufferBytes, bool raw) {
    const BitmapInfoHeader& h = info.bmiHeader;
    Check(h.biWidth > 0 && h.biHeight > 0);
    if (raw) {
        Check(static_cast<uint64_t>(h.biWidth) * static_cast<uint64_t>(h.biHeight) <= bufferBytes);
        Check(PipelineAcceptsSize(h.biWidth, h.biHeight));
        return;
    }
    const int64_t bytes = DibPixelBytes(h.biWidth, h.biHeight, h.biBitCount);
    Check(bytes > 0 && static_cast<uint64_t>(bytes) <= bufferBytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzFile file(data, size);
    static Buffers buffers;
    InitBitmapInfo(buffers.info);
    const BitmapInfo before = buffers.info;
    std::string note;
    ImageSize imageSize;
    ReadImageSize(file.Path(), OCU_FUZZ_KIND, 65535, 65535, imageSize, &note);

#if OCU_FUZZ_KIND == 2
    if (!ReadRawFile(file.Path(), buffers.info, buffers.raw.data(), buffers.limits, &note)) {
        Check(std::memcmp(&before, &buffers.info, sizeof before) == 0);
        return 0;
    }
    CheckConsistent(buffers.info, buffers.raw.size(), true);
    // Small frames go on through the pipeline (large ones only cost time there), in colour or gray and
    // with the conversion type the bytes after the header say.
    if (buffers.info.bmiHeader.biWidth * int64_t{buffers.info.bmiHeader.biHeight} <= (1 << 16)) {
        RunUncorrectedPipeline(buffers.raw.data(), buffers.image.data(), buffers.info.bmiHeader,
                               IdentityLuts(), size > 8 ? 1 + data[8] % 6 : 1,
                               1 + (size > 9 ? data[9] % 4 : 0), size > 10 && (data[10] & 1) != 0);
    }
#else
    const int read =
        OCU_FUZZ_KIND == 1
            ? ReadJpegFile(file.Path(), buffers.info, buffers.image.data(), buffers.limits, &note)
            : ReadBmpFile(file.Path(), buffers.info, buffers.image.data(), buffers.limits, &note);
    if (read)
        CheckConsistent(buffers.info, buffers.image.size(), false);
    else
        Check(std::memcmp(&before, &buffers.info, sizeof before) == 0);
#endif
    return 0;
}
