// The JPEG functions: round trips in the display layout, and files that must be refused without a byte of
// the caller's buffer or sizes changing.
#include "OcuUtil.h"
#include "TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <vector>

using ocu::test::TempDir;
using Bytes = std::vector<uint8_t>;

namespace {

// A smooth picture in the display layout (rows padded with a marker byte that a load must not keep).
Bytes Picture(int width, int height, int bitCount) {
    const size_t pitch = OcuDibBytes(width, 1, bitCount);
    Bytes pixels(OcuDibBytes(width, height, bitCount), 0xEE);
    const int channels = bitCount / 8;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels[y * pitch + static_cast<size_t>(x * channels + c)] =
                    static_cast<uint8_t>((x * 255 / width + y * 128 / height + c * 60) % 256);
    return pixels;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A JPEG of a busy picture (so that most of the file is its scans), made by TurboJPEG directly, for kinds
// the library itself never writes.
Bytes Encode(int width, int height, int pixelFormat, int subsampling, int flags) {
    Bytes pixels(static_cast<size_t>(width * height * tjPixelSize[pixelFormat]));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(
        tjCompress2(tj, pixels.data(), width, 0, height, pixelFormat, &jpeg, &size, subsampling, 90, flags),
        0);
    Bytes out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

size_t FindMarker(const Bytes& jpeg, uint8_t marker) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker)
            return i;
    return jpeg.size();
}

struct Loaded {
    int ok = 0;
    int error = 0;
    Bytes pixels;
    int32_t width = -7;
    int32_t height = -7;
    uint16_t bitCount = 7;
};

Loaded Load(const std::string& path, size_t capacity, uint8_t fill, int flags = OCU_JPEG_BOTTOM_UP) {
    Loaded r;
    r.pixels.assign(capacity, fill);
    r.ok = OcuLoadJPEG(path.c_str(), r.pixels.data(), capacity, &r.width, &r.height, &r.bitCount, flags);
    r.error = OcuUtilLastError();
    return r;
}

} // namespace

TEST(Jpeg, SavedAndLoadedInTheDisplayLayoutWithinASmallError) {
    struct Case {
        int width, height, bitCount, flags;
    };
    const TempDir dir;
    const std::string path = dir.File("round.jpg");
    // Odd widths leave padding at the rows' ends; both row orders; colour and gray.
    for (const Case& c : {Case{64, 48, 24, OCU_JPEG_BOTTOM_UP}, Case{37, 21, 24, OCU_JPEG_TOP_DOWN},
                          Case{33, 17, 8, OCU_JPEG_BOTTOM_UP}}) {
        SCOPED_TRACE(c.width);
        const Bytes picture = Picture(c.width, c.height, c.bitCount);
        ASSERT_EQ(OcuSaveJPEG(path.c_str(), picture.data(), c.width, c.height, c.bitCount, c.flags, 100), 1);

        int32_t w = 0, h = 0;
        uint16_t bits = 0;
        ASSERT_EQ(OcuReadJPEGHeader(path.c_str(), &w, &h, &bits), 1);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        EXPECT_EQ(bits, c.bitCount);

        // Two loads over different contents agree: every byte of the image is written, padding as zero.
        const Loaded a = Load(path, picture.size(), 0x00, c.flags);
        const Loaded b = Load(path, picture.size(), 0xFF, c.flags);
        ASSERT_EQ(a.ok, 1);
        EXPECT_EQ(a.pixels, b.pixels);
        EXPECT_EQ(a.width, c.width);
        EXPECT_EQ(a.height, c.height);
        EXPECT_EQ(a.bitCount, c.bitCount);
        const size_t pitch = OcuDibBytes(c.width, 1, c.bitCount);
        const size_t used = static_cast<size_t>(c.width * c.bitCount / 8);
        int worst = 0;
        for (size_t i = 0; i < picture.size(); ++i) {
            if (i % pitch >= used)
                EXPECT_EQ(a.pixels[i], 0) << i;
            else
                worst = std::max(worst, std::abs(a.pixels[i] - picture[i]));
        }
        EXPECT_LE(worst, 3);
    }
}

TEST(Jpeg, RefusedFilesLeaveTheBufferAndTheSizesAsTheyWere) {
    const TempDir dir;
    const Bytes baseline = Encode(40, 30, TJPF_BGR, TJSAMP_420, 0);
    const size_t sof = FindMarker(baseline, 0xC0);
    ASSERT_LT(sof, baseline.size());
    Bytes twelveBit = baseline;
    twelveBit[sof + 1] = 0xC1;
    twelveBit[sof + 4] = 12;
    Bytes lossless = baseline;
    lossless[sof + 1] = 0xC3;
    // A progressive image whose last scan repeats until there are more scans than a decoder should serve.
    Bytes manyScans = Encode(40, 30, TJPF_BGR, TJSAMP_420, TJFLAG_PROGRESSIVE);
    const size_t eoi = manyScans.size() - 2;
    size_t lastScan = eoi;
    while (lastScan > 0 && !(manyScans[lastScan] == 0xFF && manyScans[lastScan + 1] == 0xDA))
        --lastScan;
    const Bytes scan(manyScans.begin() + static_cast<long>(lastScan),
                     manyScans.begin() + static_cast<long>(eoi));
    manyScans.resize(eoi);
    for (int i = 0; i < OCU_JPEG_MAX_SCANS; ++i)
        manyScans.insert(manyScans.end(), scan.begin(), scan.end());
    manyScans.insert(manyScans.end(), {0xFF, 0xD9});

    struct Case {
        const char* name;
        Bytes bytes;
        int error;
    };
    const std::vector<Case> cases = {
        {"empty.jpg", {}, OCU_UTIL_ERR_NOT_JPEG},
        {"soi.jpg", {0xFF, 0xD8}, OCU_UTIL_ERR_NOT_JPEG},
        {"text.jpg", Bytes{'h', 'e', 'l', 'l', 'o', '\n'}, OCU_UTIL_ERR_NOT_JPEG},
        {"headers-only.jpg", Bytes(baseline.begin(), baseline.begin() + static_cast<long>(sof) + 10),
         OCU_UTIL_ERR_NOT_JPEG},
        {"12bit.jpg", twelveBit, OCU_UTIL_ERR_UNSUPPORTED},
        {"lossless.jpg", lossless, OCU_UTIL_ERR_UNSUPPORTED},
        {"cmyk.jpg", Encode(40, 30, TJPF_CMYK, TJSAMP_444, 0), OCU_UTIL_ERR_UNSUPPORTED},
        {"scans.jpg", manyScans, OCU_UTIL_ERR_TOO_MANY_SCANS},
    };
    const size_t capacity = OcuDibBytes(40, 30, 24);
    for (const Case& c : cases) {
        WriteBytes(dir.File(c.name), c.bytes);
        const Loaded r = Load(dir.File(c.name), capacity, 0x5A);
        EXPECT_EQ(r.ok, 0) << c.name;
        EXPECT_EQ(r.error, c.error) << c.name << ": " << OcuUtilErrorString(r.error);
        EXPECT_EQ(r.pixels, Bytes(capacity, 0x5A)) << c.name;
        EXPECT_EQ(r.width, -7) << c.name;
        EXPECT_EQ(r.height, -7) << c.name;
        EXPECT_EQ(r.bitCount, 7) << c.name;
    }

    // What is no regular file is not read at all, and a buffer one byte short refuses a good image.
    ASSERT_EQ(mkfifo(dir.File("fifo.jpg").c_str(), 0600), 0);
    for (const char* name : {"missing.jpg", "fifo.jpg", "."}) {
        const Loaded r = Load(dir.File(name), capacity, 0x5A);
        EXPECT_EQ(r.error, OCU_UTIL_ERR_OPEN) << name;
        EXPECT_EQ(r.pixels, Bytes(capacity, 0x5A)) << name;
    }
    WriteBytes(dir.File("good.jpg"), baseline);
    const Loaded shortBuffer = Load(dir.File("good.jpg"), capacity - 1, 0x5A);
    EXPECT_EQ(shortBuffer.error, OCU_UTIL_ERR_TOO_LARGE);
    EXPECT_EQ(shortBuffer.pixels, Bytes(capacity - 1, 0x5A));
    EXPECT_EQ(Load(dir.File("good.jpg"), capacity, 0x5A).ok, 1);
}

TEST(Jpeg, AFileCutShortLoadsWholeWithTheDecodersFilling) {
    const TempDir dir;
    Bytes jpeg = Encode(64, 48, TJPF_BGR, TJSAMP_444, 0);
    jpeg.resize(jpeg.size() * 2 / 3);
    WriteBytes(dir.File("cut.jpg"), jpeg);
    const size_t capacity = OcuDibBytes(64, 48, 24);
    const Loaded a = Load(dir.File("cut.jpg"), capacity, 0x00);
    const Loaded b = Load(dir.File("cut.jpg"), capacity, 0xFF);
    ASSERT_EQ(a.ok, 1);
    EXPECT_EQ(OcuUtilLastWarning(), OCU_UTIL_WARN_DAMAGED); // for the callers' warning
    EXPECT_EQ(a.pixels, b.pixels);
    EXPECT_EQ(a.width, 64);
    WriteBytes(dir.File("whole.jpg"), Encode(64, 48, TJPF_BGR, TJSAMP_444, 0));
    ASSERT_EQ(Load(dir.File("whole.jpg"), capacity, 0x00).ok, 1);
    EXPECT_EQ(OcuUtilLastWarning(), OCU_UTIL_OK);
}

// The library's own loader would read back a file written upside down or with red and blue swapped;
// TurboJPEG's decoder, asked for top-down RGB, sees what the file really holds.
TEST(Jpeg, AnotherDecoderSeesTheSavedPictureUprightInItsColours) {
    const TempDir dir;
    const std::string path = dir.File("quadrants.jpg");
    constexpr int kWidth = 16, kHeight = 8;
    const uint8_t rgb[2][2][3] = {{{255, 0, 0}, {0, 255, 0}},
                                  {{0, 0, 255}, {255, 255, 255}}}; // top row first
    for (const int flags : {OCU_JPEG_BOTTOM_UP, OCU_JPEG_TOP_DOWN}) {
        SCOPED_TRACE(flags);
        const size_t pitch = OcuDibBytes(kWidth, 1, 24);
        Bytes pixels(OcuDibBytes(kWidth, kHeight, 24));
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* c = rgb[y / 4][x / 8];
                const int row = flags == OCU_JPEG_BOTTOM_UP ? kHeight - 1 - y : y;
                uint8_t* p = pixels.data() + static_cast<size_t>(row) * pitch + static_cast<size_t>(x) * 3;
                p[0] = c[2]; // blue first, as the display layout keeps it
                p[1] = c[1];
                p[2] = c[0];
            }
        ASSERT_EQ(OcuSaveJPEG(path.c_str(), pixels.data(), kWidth, kHeight, 24, flags, 100), 1);
        const Bytes jpeg = ReadBytes(path);
        Bytes decoded(kWidth * kHeight * 3);
        tjhandle tj = tjInitDecompress();
        ASSERT_EQ(
            tjDecompress2(tj, jpeg.data(), jpeg.size(), decoded.data(), kWidth, 0, kHeight, TJPF_RGB, 0), 0);
        tjDestroy(tj);
        for (int y : {1, 6})
            for (int x : {2, 13})
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(decoded[static_cast<size_t>((y * kWidth + x) * 3 + k)], rgb[y / 4][x / 8][k],
                                8)
                        << x << ", " << y << " channel " << k;
    }
}

TEST(Jpeg, SaveRefusesWhatItCannotWriteAndLeavesNoFile) {
    const TempDir dir;
    const Bytes picture = Picture(8, 8, 24);
    const std::string path = dir.File("out.jpg");
    struct Case {
        int width, height, bitCount, flags, quality;
        std::string path;
        int error;
    };
    for (const Case& c : {Case{8, 8, 16, 1, 100, path, OCU_UTIL_ERR_ARGUMENT},
                          Case{0, 8, 24, 1, 100, path, OCU_UTIL_ERR_ARGUMENT},
                          Case{8, -8, 24, 1, 100, path, OCU_UTIL_ERR_ARGUMENT},
                          Case{8, 8, 24, 2, 100, path, OCU_UTIL_ERR_ARGUMENT},
                          Case{8, 8, 24, 1, 101, path, OCU_UTIL_ERR_ARGUMENT},
                          Case{8, 8, 24, 1, 100, dir.File("no/such/folder.jpg"), OCU_UTIL_ERR_CREATE}}) {
        EXPECT_EQ(
            OcuSaveJPEG(c.path.c_str(), picture.data(), c.width, c.height, c.bitCount, c.flags, c.quality),
            0);
        EXPECT_EQ(OcuUtilLastError(), c.error);
        struct stat info {};
        EXPECT_NE(stat(c.path.c_str(), &info), 0);
    }
    // Wider than a JPEG can be: refused with its own reason, before the pixels are looked at.
    const Bytes wide(OcuDibBytes(OCU_JPEG_MAX_SIDE + 1, 1, 24));
    EXPECT_EQ(OcuSaveJPEG(path.c_str(), wide.data(), OCU_JPEG_MAX_SIDE + 1, 1, 24, 1, 100), 0);
    EXPECT_EQ(OcuUtilLastError(), OCU_UTIL_ERR_JPEG_LIMIT);
    EXPECT_STREQ(OcuUtilErrorString(OCU_UTIL_ERR_JPEG_LIMIT),
                 "a JPEG image is at most 65500 pixels wide and 65500 high");
    EXPECT_EQ(OcuSaveJPEG(path.c_str(), picture.data(), 8, 8, 24, 1, 100), 1);
    EXPECT_EQ(OcuUtilLastError(), OCU_UTIL_OK);
    EXPECT_EQ(ReadBytes(path).size() > 100, true);
}
