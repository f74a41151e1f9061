// Writes the corpus of image files that the tests, ocuimage's tests and the fuzzers read: good files, and
// files crafted to be refused or read with care. Run by make-corpus.sh; the output is kept in the
// repository, with EXPECTED telling what the viewer (sensor image 1280 x 1024) and ocuimage do with each:
// "shown", "refused", or "pipeline" (shown when the frame pipeline takes the raw frame's size).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <jpeglib.h>
#include <string>
#include <turbojpeg.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string g_folder;
std::ofstream g_expected;

void Put(const std::string& name, const Bytes& bytes, const char* viewer, const char* ocuimage) {
    std::ofstream out(g_folder + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", name.c_str());
        std::exit(1);
    }
    g_expected << name << ' ' << viewer << ' ' << ocuimage << '\n';
}

void Put(const std::string& name, const Bytes& bytes, const char* both) {
    Put(name, bytes, both, both);
}

void Le16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Le32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// Fills of a picture: smooth ramps, so that JPEG files stay small and still show something.
uint8_t Level(int x, int y, int c) {
    return static_cast<uint8_t>((x * 4 + y * 2 + c * 85) & 0xFF);
}

struct BmpFields {
    int width = 64;
    int height = 48;
    int bitCount = 24;
    uint32_t infoSize = 40;
    uint32_t compression = 0;
    uint16_t planes = 1;
    uint32_t colours = 0;    // biClrUsed
    int tableEntries = -1;   // entries written (default: 256 for 8-bit, else 0)
    int64_t offBits = -1;    // default: right after the table
    int64_t pixelBytes = -1; // default: all of them
    bool grayTable = false;  // a table of grays instead of colours
    Bytes masks = {};        // bit-field masks written after a 40-byte header
    Bytes pixels = {};       // the pixel bytes (default: a pattern of pixelBytes bytes)
};

Bytes Bmp(const BmpFields& s) {
    const int entries = s.tableEntries >= 0 ? s.tableEntries : (s.bitCount <= 8 ? 256 : 0);
    const int64_t rowBytes = ((int64_t{s.width < 0 ? 1 : s.width} * s.bitCount + 31) / 32) * 4;
    const int64_t rows = s.height < 0 ? -int64_t{s.height} : s.height;
    const int64_t full = rowBytes * rows;
    const int64_t pixelBytes = !s.pixels.empty()   ? static_cast<int64_t>(s.pixels.size())
                               : s.pixelBytes >= 0 ? s.pixelBytes
                                                   : (full > 1 << 20 ? 64 : full);
    const size_t headers = 14 + s.infoSize + s.masks.size() + static_cast<size_t>(entries) * 4;
    Bytes b(headers + static_cast<size_t>(pixelBytes));
    b[0] = 'B';
    b[1] = 'M';
    Le32(b, 2, static_cast<uint32_t>(b.size()));
    Le32(b, 10, static_cast<uint32_t>(s.offBits >= 0 ? s.offBits : static_cast<int64_t>(headers)));
    Le32(b, 14, s.infoSize);
    if (s.infoSize >= 40) {
        Le32(b, 18, static_cast<uint32_t>(s.width));
        Le32(b, 22, static_cast<uint32_t>(s.height));
        Le16(b, 26, s.planes);
        Le16(b, 28, static_cast<uint32_t>(s.bitCount));
        Le32(b, 30, s.compression);
        Le32(b, 46, s.colours);
    }
    std::copy(s.masks.begin(), s.masks.end(), b.begin() + 14 + s.infoSize);
    for (int i = 0; i < entries; ++i) {
        const size_t at = 14 + s.infoSize + s.masks.size() + static_cast<size_t>(i) * 4;
        const uint8_t gray = static_cast<uint8_t>(i * 255 / std::max(1, entries - 1));
        b[at] = s.grayTable ? gray : static_cast<uint8_t>(i);           // blue
        b[at + 1] = s.grayTable ? gray : static_cast<uint8_t>(255 - i); // green
        b[at + 2] = s.grayTable ? gray : static_cast<uint8_t>(i * 7);   // red
    }
    for (int64_t i = 0; i < pixelBytes; ++i)
        b[headers + static_cast<size_t>(i)] =
            s.pixels.empty() ? static_cast<uint8_t>((i * 13) & 0xFF) : s.pixels[static_cast<size_t>(i)];
    return b;
}

Bytes LeMasks(uint32_t red, uint32_t green, uint32_t blue) {
    Bytes b(12);
    Le32(b, 0, red);
    Le32(b, 4, green);
    Le32(b, 8, blue);
    return b;
}

// Run-length pixels of a width x height image, one run of 4 pixels (RLE8: 4 pixels of one index; RLE4:
// 4 pixels alternating between two) after another, each row ended, the image ended.
Bytes RunLength(int width, int height, bool four) {
    Bytes b;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; x += 4) {
            b.push_back(static_cast<uint8_t>(std::min(4, width - x)));
            const int index = (x / 4 + y) % (four ? 16 : 256);
            b.push_back(static_cast<uint8_t>(four ? (index << 4) | ((index + 5) % 16) : index));
        }
        b.insert(b.end(), {0, 0});
    }
    b.insert(b.end(), {0, 1});
    return b;
}

Bytes Raw(int32_t width, int32_t height, int64_t pixelBytes) {
    Bytes b(8 + static_cast<size_t>(pixelBytes));
    Le32(b, 0, static_cast<uint32_t>(width));
    Le32(b, 4, static_cast<uint32_t>(height));
    for (int64_t i = 0; i < pixelBytes; ++i)
        b[8 + static_cast<size_t>(i)] = Level(static_cast<int>(i % 64), static_cast<int>(i / 64), 0);
    return b;
}

Bytes Jpeg(int width, int height, int pixelFormat, int subsampling, int flags, bool flat = false) {
    const int channels = tjPixelSize[pixelFormat];
    Bytes pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels[(static_cast<size_t>(y) * width + x) * channels + c] = flat ? 0x60 : Level(x, y, c);
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj, pixels.data(), width, 0, height, pixelFormat, &jpeg, &size, subsampling, 85, flags)) {
        std::fprintf(stderr, "%s\n", tjGetErrorStr2(tj));
        std::exit(1);
    }
    Bytes out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(tj);
    return out;
}

// A valid progressive JPEG with one scan per coefficient and component: 1 + 63 scans per component.
Bytes ManyScans(int width, int height, int components) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    std::vector<jpeg_scan_info> scans;
    for (int comp = 0; comp < components; ++comp)
        scans.push_back(jpeg_scan_info{1, {comp, 0, 0, 0}, 0, 0, 0, 0});
    for (int comp = 0; comp < components; ++comp)
        for (int k = 1; k < 64; ++k)
            scans.push_back(jpeg_scan_info{1, {comp, 0, 0, 0}, k, k, 0, 0});
    c.scan_info = scans.data();
    c.num_scans = static_cast<int>(scans.size());
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width * components));
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < width; ++x)
            for (int k = 0; k < components; ++k)
                row[static_cast<size_t>(x * components + k)] = Level(x, static_cast<int>(c.next_scanline), k);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    Bytes bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

size_t Marker(const Bytes& jpeg, uint8_t marker) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker)
            return i;
    std::fprintf(stderr, "no marker %02X\n", marker);
    std::exit(1);
}

void Bmps() {
    Put("bmp-good-24.bmp", Bmp({}), "shown");
    Put("bmp-good-8-odd-width.bmp", Bmp({.width = 63, .height = 47, .bitCount = 8}), "shown");
    Put("bmp-palette-16.bmp", Bmp({.bitCount = 8, .colours = 16, .tableEntries = 16}), "shown");
    Put("bmp-top-down.bmp", Bmp({.height = -48}), "shown");
    Put("bmp-header-108.bmp", Bmp({.infoSize = 108}), "shown");
    Put("bmp-header-124.bmp", Bmp({.bitCount = 8, .infoSize = 124}), "shown");
    Put("bmp-truncated-pixels.bmp", Bmp({.pixelBytes = 4000}), "shown");
    Put("bmp-truncated-pixels-top-down.bmp", Bmp({.height = -48, .pixelBytes = 4000}), "shown");
    // The display buffer is the limit, not the sensor's width or height.
    Put("bmp-wider-than-sensor.bmp", Bmp({.width = 1281, .height = 2}), "shown");
    Put("bmp-taller-than-sensor.bmp", Bmp({.width = 16, .height = 1025, .bitCount = 8}), "shown");
    Put("bmp-larger-than-the-buffer.bmp", Bmp({.width = 1281, .height = 1024}), "refused", "shown");

    Bytes magic = Bmp({});
    magic[1] = 'X';
    Put("bmp-wrong-magic.bmp", magic, "refused");
    Put("bmp-empty.bmp", {}, "refused");
    Bytes header = Bmp({});
    header.resize(30);
    Put("bmp-truncated-header.bmp", header, "refused");
    Put("bmp-header-0.bmp", Bmp({.infoSize = 0}), "refused");
    Put("bmp-header-12.bmp", Bmp({.infoSize = 12}), "refused");
    Put("bmp-header-66.bmp", Bmp({.infoSize = 66}), "refused");
    Put("bmp-header-124-bitfields.bmp", Bmp({.bitCount = 24, .infoSize = 124, .compression = 3}), "refused");
    Put("bmp-header-124-offset-inside.bmp", Bmp({.infoSize = 124, .offBits = 54}), "refused");
    Bytes hugeHeader = Bmp({});
    Le32(hugeHeader, 14, 0xFFFFFFFF);
    Put("bmp-header-ffffffff.bmp", hugeHeader, "refused");
    Put("bmp-width-0.bmp", Bmp({.width = 0}), "refused");
    Put("bmp-height-0.bmp", Bmp({.height = 0}), "refused");
    Put("bmp-width-negative.bmp", Bmp({.width = -64}), "refused");
    Put("bmp-width-int-min.bmp", Bmp({.width = INT32_MIN}), "refused");
    Put("bmp-height-int-min.bmp", Bmp({.height = INT32_MIN, .pixelBytes = 64}), "refused");
    Put("bmp-width-huge.bmp", Bmp({.width = INT32_MAX, .height = 1, .pixelBytes = 64}), "refused");
    Put("bmp-height-huge.bmp", Bmp({.width = 4, .height = 400000, .pixelBytes = 64}), "refused");
    Put("bmp-size-overflows-32-bits.bmp", Bmp({.width = 65536, .height = 65536, .pixelBytes = 64}),
        "refused");
    Put("bmp-row-overflows-32-bits.bmp", Bmp({.width = 0x40000000, .height = 4, .pixelBytes = 64}),
        "refused");
    Put("bmp-size-overflows-64-bits.bmp",
        Bmp({.width = INT32_MAX, .height = INT32_MAX, .bitCount = 32, .pixelBytes = 64}), "refused");
    Put("bmp-planes-2.bmp", Bmp({.planes = 2}), "refused");
    // The layouts other programs write, decoded and shown in the display's layout.
    Put("bmp-bits-1.bmp", Bmp({.bitCount = 1, .tableEntries = 2}), "shown");
    Put("bmp-bits-1-gray.bmp", Bmp({.bitCount = 1, .tableEntries = 2, .grayTable = true}), "shown");
    Put("bmp-bits-4.bmp", Bmp({.bitCount = 4, .tableEntries = 16}), "shown");
    Put("bmp-bits-4-top-down.bmp", Bmp({.height = -48, .bitCount = 4, .tableEntries = 16}), "shown");
    Put("bmp-bits-16.bmp", Bmp({.bitCount = 16}), "shown");
    Put("bmp-bits-32.bmp", Bmp({.bitCount = 32}), "shown");
    Put("bmp-bits-32-cut-short.bmp", Bmp({.bitCount = 32, .pixelBytes = 5000}), "shown");
    Put("bmp-rle8.bmp", Bmp({.bitCount = 8, .compression = 1, .pixels = RunLength(64, 48, false)}), "shown");
    Put("bmp-rle8-gray.bmp",
        Bmp({.bitCount = 8, .compression = 1, .grayTable = true, .pixels = RunLength(64, 48, false)}),
        "shown");
    Put("bmp-rle4.bmp",
        Bmp({.bitCount = 4, .compression = 2, .tableEntries = 16, .pixels = RunLength(64, 48, true)}),
        "shown");
    Put("bmp-bitfields.bmp",
        Bmp({.bitCount = 32, .compression = 3, .masks = LeMasks(0xFF0000, 0xFF00, 0xFF)}), "shown");
    Put("bmp-bitfields-565.bmp",
        Bmp({.bitCount = 16, .compression = 3, .masks = LeMasks(0xF800, 0x7E0, 0x1F)}), "shown");
    Put("bmp-bits-32-wider-than-the-buffer.bmp", Bmp({.width = 1281, .height = 1024, .bitCount = 32}),
        "refused", "shown");
    // Run-length streams that lie: runs past a row's end, a move past the image, garbage, no end.
    Bytes past = RunLength(64, 48, false);
    past[0] = 200;
    Put("bmp-rle8-runs-past-the-row.bmp", Bmp({.bitCount = 8, .compression = 1, .pixels = past}), "shown");
    Bytes moved = {0, 2, 255, 255, 4, 7, 0, 1};
    Put("bmp-rle8-moves-past-the-image.bmp", Bmp({.bitCount = 8, .compression = 1, .pixels = moved}),
        "shown");
    Bytes cut = RunLength(64, 48, false);
    cut.resize(cut.size() / 3);
    Put("bmp-rle8-cut-short.bmp", Bmp({.bitCount = 8, .compression = 1, .pixels = cut}), "shown");
    Put("bmp-rle8-garbage.bmp", Bmp({.bitCount = 8, .compression = 1}), "shown");
    Put("bmp-rle4-garbage.bmp", Bmp({.bitCount = 4, .compression = 2}), "shown");
    Put("bmp-rle8-top-down.bmp",
        Bmp({.height = -48, .bitCount = 8, .compression = 1, .pixels = RunLength(64, 48, false)}), "refused");
    Put("bmp-rle8-with-24-bits.bmp", Bmp({.bitCount = 24, .compression = 1}), "refused");
    Put("bmp-bitfields-zero-masks.bmp", Bmp({.bitCount = 32, .compression = 3, .masks = LeMasks(0, 0, 0)}),
        "shown");
    Put("bmp-bitfields-without-masks.bmp", Bmp({.bitCount = 32, .compression = 3}), "refused");
    Put("bmp-bits-2.bmp", Bmp({.bitCount = 2}), "refused");
    Put("bmp-compression-jpeg.bmp", Bmp({.compression = 4}), "refused");
    Put("bmp-bits-4-palette-17.bmp", Bmp({.bitCount = 4, .colours = 17, .tableEntries = 17}), "refused");
    Put("bmp-palette-300.bmp", Bmp({.bitCount = 8, .colours = 300, .tableEntries = 300}), "refused");
    Put("bmp-offset-inside-header.bmp", Bmp({.offBits = 20}), "refused");
    Put("bmp-offset-inside-table.bmp", Bmp({.bitCount = 8, .offBits = 54 + 512}), "refused");
    Put("bmp-offset-past-end.bmp", Bmp({.offBits = 54 + 64 * 48 * 3 + 100}), "refused");
    Put("bmp-offset-ffffffff.bmp", Bmp({.offBits = 0xFFFFFFFF}), "refused");
}

void Raws() {
    Put("raw-good-64x48.raw", Raw(64, 48, 64 * 48), "shown");
    Put("raw-short-pixels.raw", Raw(64, 48, 100), "shown");
    Put("raw-empty.raw", {}, "refused");
    Put("raw-short-header.raw", Bytes{0x40, 0, 0, 0, 0x30}, "refused");
    Put("raw-width-0.raw", Raw(0, 48, 0), "refused");
    Put("raw-height-0.raw", Raw(64, 0, 0), "refused");
    Put("raw-width-negative.raw", Raw(-64, 48, 64), "refused");
    Put("raw-height-negative.raw", Raw(64, -48, 64), "refused");
    Put("raw-both-negative.raw", Raw(-64, -48, 64), "refused");
    Put("raw-65536x65536.raw", Raw(65536, 65536, 64), "refused");
    Put("raw-int-max.raw", Raw(0x7FFFFFFC, 2, 64), "refused");
    Put("raw-more-than-the-buffer.raw", Raw(1284, 1024, 64), "refused", "shown");
    Put("raw-odd-width.raw", Raw(63, 48, 63 * 48), "refused");
    Put("raw-odd-height.raw", Raw(64, 47, 64 * 47), "refused");
    Put("raw-even-width-62.raw", Raw(62, 48, 62 * 48), "pipeline");
    Put("raw-even-width-2x2.raw", Raw(2, 2, 4), "pipeline");
}

void Jpegs() {
    const Bytes colour = Jpeg(64, 48, TJPF_BGR, TJSAMP_420, 0);
    Put("jpeg-good-colour.jpg", colour, "shown");
    Put("jpeg-good-gray.jpg", Jpeg(61, 45, TJPF_GRAY, TJSAMP_GRAY, 0), "shown");
    Put("jpeg-progressive.jpg", Jpeg(64, 48, TJPF_BGR, TJSAMP_444, TJFLAG_PROGRESSIVE), "shown");
    Put("jpeg-progressive-64-scans.jpg", ManyScans(64, 48, 1), "shown");
    Put("jpeg-progressive-192-scans.jpg", ManyScans(256, 256, 3), "refused");
    Put("jpeg-empty.jpg", {}, "refused");
    Put("jpeg-soi-only.jpg", Bytes{0xFF, 0xD8}, "refused");
    const Bytes busy = Jpeg(64, 48, TJPF_BGR, TJSAMP_444, 0);
    Put("jpeg-truncated-scan.jpg", Bytes(busy.begin(), busy.begin() + static_cast<long>(busy.size() * 3 / 4)),
        "shown");
    Put("jpeg-truncated-headers.jpg",
        Bytes(colour.begin(), colour.begin() + static_cast<long>(Marker(colour, 0xC0)) + 8), "refused");
    Bytes twelve = colour;
    const size_t sof = Marker(colour, 0xC0);
    twelve[sof + 1] = 0xC1;
    twelve[sof + 4] = 12;
    Put("jpeg-12-bit.jpg", twelve, "refused");
    Bytes lossless = colour;
    lossless[sof + 1] = 0xC3;
    Put("jpeg-lossless.jpg", lossless, "refused");
    Put("jpeg-cmyk.jpg", Jpeg(64, 48, TJPF_CMYK, TJSAMP_444, 0), "refused");
    Put("jpeg-larger-than-buffer.jpg", Jpeg(1281, 1024, TJPF_BGR, TJSAMP_420, 0, true), "refused", "shown");
    Bytes huge = colour;
    huge[sof + 5] = 0xFF; // height 65500
    huge[sof + 6] = 0xDC;
    huge[sof + 7] = 0xFF; // width 65500
    huge[sof + 8] = 0xDC;
    Put("jpeg-65500x65500.jpg", huge, "refused");
    Put("jpeg-is-a-bmp.jpg", Bmp({}), "refused");
    Bytes garbage{0xFF, 0xD8};
    for (int i = 0; i < 500; ++i)
        garbage.push_back(static_cast<uint8_t>((i * 2654435761u) >> 11));
    Put("jpeg-garbage-after-soi.jpg", garbage, "refused");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    g_folder = argv[1];
    g_expected.open(g_folder + "/EXPECTED");
    g_expected << "# file, then what the viewer and what ocuimage do with it\n";
    Bmps();
    Raws();
    Jpegs();
    return g_expected ? 0 : 1;
}
