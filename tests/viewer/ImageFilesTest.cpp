// The image file formats without a window: kinds, byte-exact files, round trips, foreign BMPs, raw sizes,
// and the corpus of crafted files, each refused without a change or read into a consistent image.
#include "display/ImageFiles.h"

#include "CorpusSupport.h"
#include "ImageFilesSupport.h"
#include "SmallDisk.h"
#include "TestSupport.h"
#include "imaging/FramePipeline.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

using namespace ocu;
using namespace ocu::test;

namespace {

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Save As of the file's kind, from the viewer's buffers.
int Save(const std::string& path, const Viewer& viewer, std::string* note) {
    switch (GetFileKind(path)) {
    case kFileRaw:
        return WriteRawFile(path, viewer.info, viewer.raw.data(), viewer.raw.size(), note);
    case kFileJpeg:
        return WriteJpegFile(path, viewer.info, viewer.image.data(), viewer.image.size(), note);
    default:
        return WriteBmpFile(path, viewer.info, viewer.image.data(), viewer.image.size(), note);
    }
}

} // namespace

TEST(ImageFiles, TheKindComesFromTheLastFourCharactersWhateverTheirCase) {
    const std::vector<std::pair<const char*, int>> cases = {{"a.bmp", kFileBmp},
                                                            {"a.BMP", kFileBmp},
                                                            {"a.jpg", kFileJpeg},
                                                            {"a.Jpg", kFileJpeg},
                                                            {"/x/y.JPG", kFileJpeg},
                                                            {"a.jpeg", kFileBmp},
                                                            {"a.raw", kFileRaw},
                                                            {"a.RaW", kFileRaw},
                                                            {"a.png", kFileBmp},
                                                            {"raw", kFileBmp},
                                                            {"", kFileBmp},
                                                            {".jpg", kFileJpeg},
                                                            {"a.jpg ", kFileBmp},
                                                            {"dir.raw/file", kFileBmp},
                                                            {"\xC3\xA9t\xC3\xA9.raw", kFileRaw}};
    for (const auto& [path, kind] : cases)
        EXPECT_EQ(GetFileKind(path), kind) << path;

    // What Open reads a file as: the name's kind, but a JPEG that desktops name "photo.jpeg" is read as one.
    const TempDir dir;
    Viewer viewer;
    viewer.Picture(64, 48, 24);
    ASSERT_EQ(WriteJpegFile(dir.File("photo.jpeg"), viewer.info, viewer.image.data(), viewer.image.size()),
              1);
    ASSERT_EQ(WriteBmpFile(dir.File("picture.jpeg"), viewer.info, viewer.image.data(), viewer.image.size()),
              1);
    ASSERT_EQ(WriteRawFile(dir.File("frame.jpg"), viewer.info, viewer.raw.data(), viewer.raw.size()), 1);
    for (const auto& [name, kind] : {std::pair{"photo.jpeg", kFileJpeg},
                                     {"picture.jpeg", kFileBmp},
                                     {"frame.jpg", kFileJpeg}, // the name says JPEG: its reader refuses it
                                     {"missing.bmp", kFileBmp}})
        EXPECT_EQ(GetOpenedFileKind(dir.File(name)), kind) << name;
}

TEST(ImageFiles, SavedFilesAreByteExactAndReadBackTheSame) {
    struct Case {
        int width, height, bitCount;
        size_t bmpBytes;
    };
    const TempDir dir;
    for (const Case& c : {Case{640, 480, 24, 921654}, Case{640, 480, 8, 1078 + 640 * 480},
                          Case{37, 21, 24, 54 + 112 * 21}, Case{37, 21, 8, 1078 + 40 * 21}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " x " +
                     std::to_string(c.bitCount));
        Viewer viewer;
        viewer.Picture(c.width, c.height, c.bitCount);
        if (c.bitCount == 8)
            viewer.info.bmiColors[5] = RgbQuad{1, 2, 3, 0}; // the table is written as it stands
        const std::string bmp = dir.File("image.bmp");
        ASSERT_EQ(WriteBmpFile(bmp, viewer.info, viewer.image.data(), viewer.image.size()), 1);
        const std::string file = ReadText(bmp);
        ASSERT_EQ(file.size(), c.bmpBytes);
        EXPECT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(Le32At(file, 2), c.bmpBytes);
        EXPECT_EQ(Le32At(file, 6), 0u);
        EXPECT_EQ(Le32At(file, 10), c.bitCount == 8 ? 1078u : 54u);
        EXPECT_EQ(std::memcmp(file.data() + 14, &viewer.info, c.bitCount == 8 ? 1064 : 40), 0);

        // Read back into a viewer whose buffers hold something else: the same header, table and pixels.
        Viewer reopened(0x77);
        ASSERT_EQ(ReadBmpFile(bmp, reopened.info, reopened.image.data(), reopened.limits), 1);
        EXPECT_EQ(reopened.HeaderBytes(), viewer.HeaderBytes());
        const size_t pixels = c.bmpBytes - (c.bitCount == 8 ? 1078 : 54);
        EXPECT_TRUE(std::equal(viewer.image.begin(), viewer.image.begin() + static_cast<long>(pixels),
                               reopened.image.begin()));

        const std::string raw = dir.File("frame.raw");
        ASSERT_EQ(WriteRawFile(raw, viewer.info, viewer.raw.data(), viewer.raw.size()), 1);
        const std::string rawFile = ReadText(raw);
        ASSERT_EQ(rawFile.size(), 8u + static_cast<size_t>(c.width * c.height));
        EXPECT_EQ(Le32At(rawFile, 0), static_cast<uint32_t>(c.width));
        EXPECT_EQ(Le32At(rawFile, 4), static_cast<uint32_t>(c.height));
        EXPECT_EQ(std::memcmp(rawFile.data() + 8, viewer.raw.data(), rawFile.size() - 8), 0);
    }
    // A 640 x 480 raw frame: its 8-byte header and one byte a pixel.
    Viewer viewer;
    viewer.Picture(640, 480, 24);
    ASSERT_EQ(WriteRawFile(dir.File("a.raw"), viewer.info, viewer.raw.data(), viewer.raw.size()), 1);
    EXPECT_EQ(std::filesystem::file_size(dir.File("a.raw")), 307208u);
}

TEST(ImageFiles, NothingIsWrittenWithoutAnImageThatFitsItsBuffer) {
    const TempDir dir;
    struct Case {
        int width, height, bitCount;
        size_t imageBytes, rawBytes;
    };
    // No frame yet; a raw frame larger than the raw buffer (a gray JPEG can be); pixels beyond the buffer.
    for (const Case& c :
         {Case{0, 0, 0, 100, 100}, Case{64, 0, 24, 100000, 100000}, Case{0, 48, 8, 100000, 100000},
          Case{64, 48, 8, 64 * 48, 64 * 48 - 1}, Case{64, 48, 24, 64 * 48 * 3 - 1, 0}}) {
        Viewer viewer;
        viewer.Picture(c.width, c.height, c.bitCount);
        for (const char* name : {"a.bmp", "a.jpg", "a.raw"}) {
            const std::string path = dir.File(name);
            std::string note;
            const int written =
                GetFileKind(name) == kFileRaw
                    ? WriteRawFile(path, viewer.info, viewer.raw.data(), c.rawBytes, &note)
                : GetFileKind(name) == kFileJpeg
                    ? WriteJpegFile(path, viewer.info, viewer.image.data(), c.imageBytes, &note)
                    : WriteBmpFile(path, viewer.info, viewer.image.data(), c.imageBytes, &note);
            if (c.imageBytes == 64 * 48 && GetFileKind(name) != kFileRaw) {
                EXPECT_EQ(written, 1) << name; // only the raw buffer is short in this case
                std::filesystem::remove(path);
                continue;
            }
            if (c.rawBytes == 0 && GetFileKind(name) == kFileRaw)
                continue;
            EXPECT_EQ(written, 0) << name << " " << c.width << " x " << c.height;
            EXPECT_FALSE(note.empty());
            EXPECT_FALSE(Exists(path)) << name;
        }
    }
}

// With no room on the disk, Save As over a file leaves it exactly as it was, whatever the format and
// however small the image; with room again the same save goes through.
TEST(ImageFiles, AFullDiskKeepsTheFileThatWasThere) {
    SmallDisk disk;
    if (!disk.Ready())
        GTEST_SKIP() << "skipped: " << disk.Reason();
    for (const char* name : {"a.bmp", "a.jpg", "a.raw"}) {
        for (const int side : {120, 400}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(side));
            Viewer viewer;
            viewer.Picture(side, side, 24);
            const std::string path = disk.File(name);
            const std::string old(3000, 'o');
            WriteText(path, old);
            ASSERT_TRUE(disk.Fill());
            std::string note;
            EXPECT_EQ(Save(path, viewer, &note), 0);
            EXPECT_EQ(note, std::string("cannot write the file: ") + std::strerror(ENOSPC));
            EXPECT_TRUE(ReadText(path) == old) << "the file that was there changed";
            disk.Free();
            if (side == 120) {
                EXPECT_EQ(Save(path, viewer, &note), 1) << note;
                EXPECT_NE(ReadText(path), old);
            }
            std::filesystem::remove(path);
        }
    }
}

// Save As writes into a pipe or a device as cp would and never replaces one; it never makes a folder.
TEST(ImageFiles, WritesGoIntoPipesAndDevicesAndNeverMakeAFolder) {
    const TempDir dir;
    Viewer viewer;
    viewer.Picture(16, 8, 24);
    ASSERT_EQ(::mkfifo(dir.File("pipe.bmp").c_str(), 0600), 0);
    for (const char* name : {"a.bmp", "a.jpg", "a.raw"}) {
        SCOPED_TRACE(name);
        std::string note;
        EXPECT_EQ(Save(dir.File(std::string("no/such/") + name), viewer, &note), 0);
        EXPECT_EQ(note, "cannot write the file: the folder " + dir.File("no/such") + " does not exist");
        EXPECT_FALSE(Exists(dir.File("no")));

        // A name of the kind, linked to a null device of the test's own (root can make one), so that a
        // fault could never replace the system's.
        const std::string device = dir.File(std::string("null-") + name);
        std::filesystem::create_symlink("null", device);
        if (::mknod(dir.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 && errno != EEXIST)
            continue;
        EXPECT_EQ(Save(device, viewer, &note), 1) << note;
        EXPECT_TRUE(std::filesystem::is_symlink(device));
        EXPECT_TRUE(std::filesystem::is_character_file(dir.File("null")));
    }
    // A pipe that a program reads gets the file; one that nobody reads is refused, not waited on.
    std::string note;
    EXPECT_EQ(Save(dir.File("pipe.bmp"), viewer, &note), 0);
    EXPECT_EQ(note, "cannot write the file: no program reads the pipe");
    const int reader = ::open(dir.File("pipe.bmp").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Save(dir.File("pipe.bmp"), viewer, &note), 1) << note;
    char magic[2] = {};
    EXPECT_EQ(::read(reader, magic, 2), 2);
    ::close(reader);
    EXPECT_EQ(std::string(magic, 2), "BM");
    EXPECT_TRUE(std::filesystem::is_fifo(dir.File("pipe.bmp")));
}

TEST(ImageFiles, ForeignBmpsAreFlippedAndNormalisedAndShortOnesKeepTheRest) {
    const TempDir dir;
    Viewer source;
    source.Picture(24, 10, 24);
    const std::string bottomUp = dir.File("bottom-up.bmp");
    ASSERT_EQ(WriteBmpFile(bottomUp, source.info, source.image.data(), source.image.size()), 1);
    const std::string file = ReadText(bottomUp);
    const size_t row = 24 * 3;

    // The same picture stored top-down behind a 124-byte header with foreign fields.
    std::string topDown = file.substr(0, 14) + file.substr(14, 40) + std::string(84, '\x5A');
    topDown[14] = 124;
    for (int i = 0; i < 4; ++i)
        topDown[22 + i] = static_cast<char>((static_cast<uint32_t>(-10) >> (8 * i)) & 0xFF);
    topDown[14 + 20] = 0x33; // biSizeImage
    topDown[14 + 24] = 0x44; // biXPelsPerMeter
    topDown[10] = static_cast<char>(14 + 124);
    for (int y = 9; y >= 0; --y)
        topDown += file.substr(54 + static_cast<size_t>(y) * row, row);
    WriteText(dir.File("top-down.bmp"), topDown);

    Viewer a(0x01);
    Viewer b(0x02);
    ASSERT_EQ(ReadBmpFile(bottomUp, a.info, a.image.data(), a.limits), 1);
    ASSERT_EQ(ReadBmpFile(dir.File("top-down.bmp"), b.info, b.image.data(), b.limits), 1);
    EXPECT_EQ(b.HeaderBytes(), a.HeaderBytes()); // biSize 40, positive height, foreign fields gone
    EXPECT_TRUE(std::equal(a.image.begin(), a.image.begin() + 10 * row, b.image.begin()));

    // A file cut short keeps the old bytes past its end, and says so.
    WriteText(dir.File("short.bmp"), file.substr(0, 54 + 5 * row + 7));
    Viewer c(0x03);
    std::string note;
    ASSERT_EQ(ReadBmpFile(dir.File("short.bmp"), c.info, c.image.data(), c.limits, &note), 1);
    EXPECT_NE(note.find("holds 367 of its 720 bytes"), std::string::npos) << note;
    EXPECT_TRUE(std::equal(a.image.begin(), a.image.begin() + 5 * row + 7, c.image.begin()));
    EXPECT_EQ(c.image[5 * row + 7], 0x03);
    EXPECT_EQ(c.image[10 * row - 1], 0x03);

    // An 8-bit file with a 16-colour table replaces 16 entries and leaves the others.
    Viewer gray;
    gray.Picture(24, 10, 8);
    gray.info.bmiColors[3] = RgbQuad{9, 8, 7, 0};
    ASSERT_EQ(WriteBmpFile(dir.File("gray.bmp"), gray.info, gray.image.data(), gray.image.size()), 1);
    std::string sixteen = ReadText(dir.File("gray.bmp"));
    sixteen.erase(54 + 16 * 4, (256 - 16) * 4);
    sixteen[46] = 16; // biClrUsed
    sixteen[10] = static_cast<char>(54 + 64);
    sixteen[11] = 0;
    WriteText(dir.File("sixteen.bmp"), sixteen);
    Viewer d;
    d.info.bmiColors[16] = RgbQuad{1, 1, 1, 1};
    ASSERT_EQ(ReadBmpFile(dir.File("sixteen.bmp"), d.info, d.image.data(), d.limits), 1);
    EXPECT_EQ(d.info.bmiHeader.biClrUsed, 0u);
    EXPECT_EQ(d.info.bmiColors[3].rgbBlue, 9);
    EXPECT_EQ(d.info.bmiColors[15].rgbRed, 15);
    EXPECT_EQ(d.info.bmiColors[16].rgbReserved, 1);
    EXPECT_TRUE(std::equal(gray.image.begin(), gray.image.begin() + 24 * 10, d.image.begin()));
}

TEST(ImageFiles, RawFilesMustFitTheBuffersAndThePipeline) {
    const TempDir dir;
    struct Case {
        int width, height;
        bool opens;
    };
    const auto raw = [](int w, int h) {
        return RawFileBytes(w, h,
                            std::string(static_cast<size_t>(std::max(0, std::min(w * h, 5000))), '\x42'));
    };
    // The whole sensor; one row of it; more than the buffers; sizes the conversion does not take.
    for (const Case& c :
         {Case{1280, 1024, true}, Case{1280, 2, true}, Case{4, 327680, true}, Case{1280, 1026, false},
          Case{4, 327682, false}, Case{0, 2, false}, Case{-4, -2, false}, Case{64, 47, false},
          Case{63, 48, false}, Case{62, 48, PipelineAcceptsSize(62, 48)}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        WriteText(dir.File("f.raw"), raw(c.width, c.height));
        Viewer viewer;
        const Bytes before = viewer.HeaderBytes();
        std::string note;
        EXPECT_EQ(ReadRawFile(dir.File("f.raw"), viewer.info, viewer.raw.data(), viewer.limits, &note),
                  c.opens ? 1 : 0);
        if (c.opens) {
            EXPECT_EQ(viewer.info.bmiHeader.biWidth, c.width);
            EXPECT_EQ(viewer.info.bmiHeader.biHeight, c.height);
            EXPECT_EQ(viewer.raw[0], 0x42);
        } else {
            EXPECT_EQ(viewer.HeaderBytes(), before);
            EXPECT_EQ(viewer.raw[0], 0x12);
            EXPECT_FALSE(note.empty());
        }
    }
}

// Every crafted file through the reader of its kind: refused with nothing changed, or read into an image
// that the header describes exactly and that fits the buffer.
TEST(ImageFiles, TheCorpusIsRefusedUnchangedOrReadConsistently) {
    for (const CorpusFile& file : CorpusFiles()) {
        SCOPED_TRACE(file.name);
        Viewer first(0x00);
        Viewer second(0xFF);
        const Bytes header = first.HeaderBytes();
        int results[2] = {};
        std::string note;
        Viewer* viewers[2] = {&first, &second};
        for (int k = 0; k < 2; ++k) {
            Viewer& v = *viewers[k];
            switch (GetFileKind(file.name)) {
            case kFileRaw:
                results[k] = ReadRawFile(file.path, v.info, v.raw.data(), v.limits, &note);
                break;
            case kFileJpeg:
                results[k] = ReadJpegFile(file.path, v.info, v.image.data(), v.limits, &note);
                break;
            default:
                results[k] = ReadBmpFile(file.path, v.info, v.image.data(), v.limits, &note);
            }
        }
        EXPECT_EQ(results[0], file.viewerShows ? 1 : 0) << note;
        EXPECT_EQ(results[1], results[0]);
        if (!results[0]) {
            EXPECT_FALSE(note.empty());
            EXPECT_EQ(note.find('\n'), std::string::npos);
            EXPECT_EQ(first.HeaderBytes(), header);
            EXPECT_EQ(first.image, Bytes(first.image.size(), 0x00));
            EXPECT_EQ(first.raw, Bytes(first.raw.size(), 0x01));
            continue;
        }
        const BitmapInfoHeader& h = first.info.bmiHeader;
        EXPECT_EQ(second.HeaderBytes(), first.HeaderBytes());
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biCompression, kBiRgb);
        EXPECT_EQ(h.biClrUsed, 0u);
        EXPECT_GT(h.biWidth, 0);
        EXPECT_GT(h.biHeight, 0);
        if (GetFileKind(file.name) == kFileRaw) {
            EXPECT_LE(int64_t{h.biWidth} * h.biHeight, static_cast<int64_t>(first.limits.rawBytes));
            continue;
        }
        const int64_t bytes = DibPixelBytes(h.biWidth, h.biHeight, h.biBitCount);
        ASSERT_GT(bytes, 0);
        EXPECT_LE(bytes, static_cast<int64_t>(first.limits.imageBytes));
        // A whole file writes every byte of its image: both reads agree, whatever the buffers held.
        if (note.empty()) {
            EXPECT_TRUE(std::equal(first.image.begin(), first.image.begin() + bytes, second.image.begin()));
        }
    }
}

TEST(ImageFiles, AJpegKeepsTheColoursOfAnImageWithAColourTableAndGrayStaysGray) {
    const TempDir dir;
    for (const bool coloured : {true, false}) {
        Viewer viewer;
        viewer.Picture(32, 16, 8);
        if (coloured)
            for (int i = 0; i < 256; ++i)
                viewer.info.bmiColors[i] =
                    RgbQuad{static_cast<uint8_t>(i), 0, static_cast<uint8_t>(255 - i), 0};
        std::fill_n(viewer.image.begin(), 32 * 16, 200);
        ASSERT_EQ(WriteJpegFile(dir.File("a.jpg"), viewer.info, viewer.image.data(), viewer.image.size()), 1);
        Viewer loaded;
        ASSERT_EQ(ReadJpegFile(dir.File("a.jpg"), loaded.info, loaded.image.data(), loaded.limits), 1);
        EXPECT_EQ(loaded.info.bmiHeader.biBitCount, coloured ? 24 : 8);
        const uint8_t* p = loaded.image.data() + (coloured ? 3 * 5 : 5);
        if (coloured) {
            EXPECT_NEAR(p[0], 200, 4); // blue
            EXPECT_NEAR(p[1], 0, 4);
            EXPECT_NEAR(p[2], 55, 4); // red
        } else {
            EXPECT_NEAR(p[0], 200, 2);
        }
    }
}
