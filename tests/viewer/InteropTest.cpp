// Files as other programs write and read them: the BMP layouts that screenshots, ImageMagick and image
// editors write, shown in the display's layout, and the JPEGs the viewer writes as Qt's own decoder
// (libjpeg's, not the viewer's) sees them.
#include "ImageFilesSupport.h"
#include "TestSupport.h"
#include "display/ImageFiles.h"

#include <QImage>
#include <QImageReader>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ocu;
using namespace ocu::test;

namespace {

struct BmpFields {
    int width = 2;
    int height = 2; // negative: top-down
    int bitCount = 24;
    uint32_t compression = 0;
    uint32_t infoSize = 40;
    std::vector<RgbQuad> table = {};
    std::vector<uint32_t> masks = {}; // after a 40-byte header
    Bytes pixels = {};
};

void Put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

std::string BmpBytes(const BmpFields& b) {
    std::string info;
    Put32(info, b.infoSize);
    Put32(info, static_cast<uint32_t>(b.width));
    Put32(info, static_cast<uint32_t>(b.height));
    Put16(info, 1);
    Put16(info, static_cast<uint32_t>(b.bitCount));
    Put32(info, b.compression);
    Put32(info, static_cast<uint32_t>(b.pixels.size()));
    Put32(info, 2835);
    Put32(info, 2835);
    Put32(info, static_cast<uint32_t>(b.table.size()));
    Put32(info, 0);
    info.resize(b.infoSize, '\0');
    for (const uint32_t mask : b.masks)
        Put32(info, mask);
    for (const RgbQuad& c : b.table)
        info += std::string{static_cast<char>(c.rgbBlue), static_cast<char>(c.rgbGreen),
                            static_cast<char>(c.rgbRed), '\0'};
    std::string file = "BM";
    Put32(file, static_cast<uint32_t>(14 + info.size() + b.pixels.size()));
    Put32(file, 0);
    Put32(file, static_cast<uint32_t>(14 + info.size()));
    return file + info + std::string(b.pixels.begin(), b.pixels.end());
}

constexpr Colour kBlack{0, 0, 0}, kBlue{255, 0, 0}, kGreen{0, 255, 0}, kRed{0, 0, 255}, kWhite{255, 255, 255};
const std::vector<RgbQuad> kFour{{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}};

} // namespace

// Each layout is shown as the picture it holds: upright, in its colours, in the display's 24-bit layout
// or, where its colour table holds only grays, as 8-bit levels with the gray table.
TEST(Interop, TheBmpLayoutsOtherProgramsWriteAreShownInTheDisplaysLayout) {
    struct Case {
        const char* what;
        BmpFields bmp;
        int shownBits;
        std::vector<std::vector<Colour>> picture; // upright rows
    };
    std::vector<RgbQuad> v5Table(256, RgbQuad{0, 0, 0, 0});
    v5Table[7] = {10, 20, 30, 0};
    v5Table[9] = {40, 50, 60, 0};
    const std::vector<Case> cases{
        {"32 bits",
         {.bitCount = 32, .pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0}},
         24,
         {{{7, 8, 9}, {10, 11, 12}}, {{1, 2, 3}, {4, 5, 6}}}},
        // Levels of 5 and 6 bits are shifted into 8 (31 is 248, 63 is 252), as Windows shows them.
        {"16 bits, 5-5-5",
         {.bitCount = 16, .pixels = {0x00, 0x7C, 0x1F, 0x00, 0xE0, 0x03, 0xFF, 0x7F}},
         24,
         {{{0, 248, 0}, {248, 248, 248}}, {{0, 0, 248}, {248, 0, 0}}}},
        {"bit fields, 5-6-5",
         {.bitCount = 16,
          .compression = 3,
          .masks = {0xF800, 0x07E0, 0x001F},
          .pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x00, 0x00}},
         24,
         {{{248, 0, 0}, kBlack}, {{0, 0, 248}, {0, 252, 0}}}},
        {"bit fields, red in the low byte",
         {.width = 1,
          .height = 1,
          .bitCount = 32,
          .compression = 3,
          .masks = {0xFF, 0xFF00, 0xFF0000},
          .pixels = {10, 20, 30, 0}},
         24,
         {{{30, 20, 10}}}},
        {"1 bit, black and white",
         {.width = 3,
          .bitCount = 1,
          .table = {{0, 0, 0, 0}, {255, 255, 255, 0}},
          .pixels = {0xA0, 0, 0, 0, 0x40, 0, 0, 0}},
         8,
         {{kBlack, kWhite, kBlack}, {kWhite, kBlack, kWhite}}},
        {"4 bits",
         {.bitCount = 4, .table = kFour, .pixels = {0x12, 0, 0, 0, 0x30, 0, 0, 0}},
         24,
         {{kRed, kBlack}, {kBlue, kGreen}}},
        {"4 bits, top-down",
         {.height = -2, .bitCount = 4, .table = kFour, .pixels = {0x30, 0, 0, 0, 0x12, 0, 0, 0}},
         24,
         {{kRed, kBlack}, {kBlue, kGreen}}},
        // Bottom row: a run of 3 blue, one green; top row: 3 pixels as they stand (padded), one blue.
        {"run-length, 8 bits",
         {.width = 4,
          .bitCount = 8,
          .compression = 1,
          .table = kFour,
          .pixels = {3, 1, 1, 2, 0, 0, 0, 3, 3, 0, 2, 0, 1, 1, 0, 1}},
         24,
         {{kRed, kBlack, kGreen, kBlue}, {kBlue, kBlue, kBlue, kGreen}}},
        {"run-length, 4 bits",
         {.width = 4,
          .bitCount = 4,
          .compression = 2,
          .table = kFour,
          .pixels = {4, 0x12, 0, 0, 0, 4, 0x30, 0x21, 0, 1}},
         24,
         {{kRed, kBlack, kGreen, kBlue}, {kBlue, kGreen, kBlue, kGreen}}},
        // A run-length stream that skips pixels: those are black, never what memory held.
        {"run-length that moves past pixels",
         {.width = 4, .bitCount = 8, .compression = 1, .table = kFour, .pixels = {0, 2, 2, 1, 2, 3, 0, 1}},
         24,
         {{kBlack, kBlack, kRed, kRed}, {kBlack, kBlack, kBlack, kBlack}}},
        // Read field by field, as the viewer's own files: the table is kept and gives the colours.
        {"8 bits behind a V5 header",
         {.width = 2, .height = 1, .bitCount = 8, .infoSize = 124, .table = v5Table, .pixels = {7, 9, 0, 0}},
         8,
         {{{10, 20, 30}, {40, 50, 60}}}},
    };
    const TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(dir.File("a.bmp"), BmpBytes(c.bmp));
        for (const uint8_t fill : {0x00, 0xA5}) {
            Viewer viewer(fill);
            std::string note;
            ASSERT_EQ(ReadBmpFile(dir.File("a.bmp"), viewer.info, viewer.image.data(), viewer.limits, &note),
                      1)
                << note;
            const BitmapInfoHeader& h = viewer.info.bmiHeader;
            EXPECT_EQ(h.biBitCount, c.shownBits);
            EXPECT_EQ(h.biCompression, kBiRgb);
            ASSERT_EQ(std::pair(h.biWidth, h.biHeight),
                      std::pair(static_cast<int>(c.picture[0].size()), static_cast<int>(c.picture.size())));
            if (c.shownBits == 8 && c.bmp.compression == 0 && c.bmp.bitCount != 8) {
                EXPECT_TRUE(HasGrayTable(viewer.info));
            }
            for (size_t y = 0; y < c.picture.size(); ++y)
                for (size_t x = 0; x < c.picture[y].size(); ++x) {
                    const Colour shown = ShownColour(viewer, static_cast<int>(x), static_cast<int>(y));
                    EXPECT_EQ(shown, c.picture[y][x])
                        << x << ", " << y << ": " << shown.b << " " << shown.g << " " << shown.r;
                }
        }
    }
}

// A decoded layout is read from the start of the file: pixels that start far behind the headers are refused
// rather than gigabytes read; a profile's worth of gap is taken.
TEST(Interop, ADecodedBmpsPixelsMustStartNearItsHeaders) {
    const TempDir dir;
    for (const size_t gap : {size_t{4096}, size_t{(1 << 20) + 1}}) {
        SCOPED_TRACE(gap);
        std::string file = BmpBytes({.bitCount = 32, .pixels = Bytes(16, 0x40)});
        file.insert(54, gap, '\0');
        const uint32_t offset = 54 + static_cast<uint32_t>(gap);
        for (int i = 0; i < 4; ++i)
            file[10 + static_cast<size_t>(i)] = static_cast<char>((offset >> (8 * i)) & 0xFF);
        WriteText(dir.File("gap.bmp"), file);
        Viewer viewer;
        std::string note;
        EXPECT_EQ(ReadBmpFile(dir.File("gap.bmp"), viewer.info, viewer.image.data(), viewer.limits, &note),
                  gap < (1 << 20) ? 1 : 0)
            << note;
    }
}

// The display buffer is the limit, as for a JPEG: a picture wider or taller than the sensor opens as long
// as the buffer holds it.
TEST(Interop, ABmpLargerThanTheSensorOpensWhileTheBufferHoldsIt) {
    const TempDir dir;
    struct Case {
        int width, height, bitCount;
        bool opens;
    };
    for (const Case& c : {Case{1281, 2, 24, true}, Case{16, 2000, 32, true}, Case{2000, 1500, 8, true},
                          Case{1281, 1024, 24, false}, Case{1281, 1024, 32, false}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " x " +
                     std::to_string(c.bitCount));
        BmpFields fields{.width = c.width, .height = c.height, .bitCount = c.bitCount};
        if (c.bitCount == 8)
            fields.table.assign(256, RgbQuad{1, 2, 3, 0});
        fields.pixels.assign(static_cast<size_t>(DibPixelBytes(c.width, c.height, c.bitCount)), 0x42);
        WriteText(dir.File("big.bmp"), BmpBytes(fields));
        Viewer viewer;
        std::string note;
        EXPECT_EQ(ReadBmpFile(dir.File("big.bmp"), viewer.info, viewer.image.data(), viewer.limits, &note),
                  c.opens ? 1 : 0)
            << note;
        if (!c.opens) {
            EXPECT_NE(note.find("does not fit the display buffer"), std::string::npos) << note;
        }
    }
}

namespace {

// The picture a JPEG file holds, as Qt's JPEG reader (libjpeg) decodes it: upright, in red, green, blue.
QImage DecodedElsewhere(const std::string& path) {
    QImageReader reader(QString::fromStdString(path), "jpeg");
    QImage image = reader.read();
    EXPECT_FALSE(image.isNull()) << reader.errorString().toStdString();
    return image.convertToFormat(QImage::Format_RGB888);
}

void ExpectNear(const QImage& image, int x, int y, const Colour& expected, int tolerance) {
    const QRgb rgb = image.pixel(x, y);
    EXPECT_NEAR(qBlue(rgb), expected.b, tolerance) << x << ", " << y;
    EXPECT_NEAR(qGreen(rgb), expected.g, tolerance) << x << ", " << y;
    EXPECT_NEAR(qRed(rgb), expected.r, tolerance) << x << ", " << y;
}

} // namespace

// A JPEG path that wrote the picture upside down or with red and blue swapped would still read back through
// the viewer's own decoder; another decoder sees what the file really holds. Colour, gray, and an 8-bit
// picture whose table (from a V5 BMP) gives it colours.
TEST(Interop, AnotherDecoderSeesTheViewersJpegsUprightAndInTheirColours) {
    const TempDir dir;
    const Colour quadrants[2][2] = {{kRed, kGreen}, {kBlue, kWhite}}; // top row first
    Viewer colour;
    colour.Picture(16, 8, 24);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const Colour& c = quadrants[y / 4][x / 8];
            uint8_t* p = colour.image.data() + static_cast<size_t>(7 - y) * 48 + static_cast<size_t>(x) * 3;
            p[0] = static_cast<uint8_t>(c.b);
            p[1] = static_cast<uint8_t>(c.g);
            p[2] = static_cast<uint8_t>(c.r);
        }
    ASSERT_EQ(WriteJpegFile(dir.File("colour.jpg"), colour.info, colour.image.data(), colour.image.size()),
              1);
    const QImage decoded = DecodedElsewhere(dir.File("colour.jpg"));
    ASSERT_EQ(decoded.size(), QSize(16, 8));
    for (int y : {1, 6})
        for (int x : {2, 13})
            ExpectNear(decoded, x, y, quadrants[y / 4][x / 8], 8);

    // Gray: dark at the top, light at the bottom.
    Viewer gray;
    gray.Picture(8, 8, 8);
    for (int y = 0; y < 8; ++y)
        std::fill_n(gray.image.begin() + (7 - y) * 8, 8, static_cast<uint8_t>(y < 4 ? 20 : 230));
    ASSERT_EQ(WriteJpegFile(dir.File("gray.jpg"), gray.info, gray.image.data(), gray.image.size()), 1);
    const QImage grayDecoded = DecodedElsewhere(dir.File("gray.jpg"));
    ExpectNear(grayDecoded, 3, 1, {20, 20, 20}, 4);
    ExpectNear(grayDecoded, 3, 6, {230, 230, 230}, 4);

    // A V5 BMP of 8 bits whose table holds colours: shown and saved in those colours.
    std::vector<RgbQuad> table(256, RgbQuad{0, 0, 0, 0});
    table[7] = {200, 40, 10, 0};  // blue-ish
    table[9] = {10, 180, 220, 0}; // orange
    BmpFields v5{.width = 8, .height = 8, .bitCount = 8, .infoSize = 124, .table = table};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            v5.pixels.push_back(y < 4 ? 7 : 9); // bottom half first: index 7 shows at the bottom
    WriteText(dir.File("v5.bmp"), BmpBytes(v5));
    Viewer opened;
    ASSERT_EQ(ReadBmpFile(dir.File("v5.bmp"), opened.info, opened.image.data(), opened.limits), 1);
    EXPECT_EQ(ShownColour(opened, 0, 7), (Colour{200, 40, 10}));
    EXPECT_EQ(ShownColour(opened, 0, 0), (Colour{10, 180, 220}));
    ASSERT_EQ(WriteJpegFile(dir.File("v5.jpg"), opened.info, opened.image.data(), opened.image.size()), 1);
    const QImage v5Decoded = DecodedElsewhere(dir.File("v5.jpg"));
    ExpectNear(v5Decoded, 3, 1, {10, 180, 220}, 8);
    ExpectNear(v5Decoded, 3, 6, {200, 40, 10}, 8);
}
