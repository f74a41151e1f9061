// ocuimage as a user runs it: its command line, every file of the corpus, and what the options do to a
// raw frame.
#include "CorpusSupport.h"
#include "OcuVersion.h"
#include "TestSupport.h"
#include "display/ImageFiles.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace ocu;
using namespace ocu::test;

namespace {

// Runs ocuimage with the arguments.
CommandRun Ocuimage(const std::vector<std::string>& arguments) {
    std::string command = ShellQuoted(OCU_OCUIMAGE);
    for (const std::string& a : arguments)
        command += " " + ShellQuoted(a);
    return RunCommand(command);
}

size_t Lines(const std::string& text) {
    size_t lines = 0;
    for (const char c : text)
        lines += c == '\n';
    return lines;
}

// A raw frame of a colourful pattern.
std::string RawFrame(int width, int height) {
    std::string samples;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            samples += static_cast<char>(((x & 1) ? 40 : 200) + ((y & 1) ? 10 : 0) + x / 4);
    return RawFileBytes(width, height, samples);
}

} // namespace

TEST(Ocuimage, CommandLine) {
    const TempDir dir;
    WriteText(dir.File("in.raw"), RawFrame(16, 8));
    const std::string in = dir.File("in.raw");
    const std::string out = dir.File("out.bmp");
    // A picture one pixel wider than a JPEG can be.
    const std::string wide = dir.File("wide.bmp");
    {
        BitmapInfo info{};
        InitBitmapInfo(info);
        info.bmiHeader.biWidth = 65501;
        info.bmiHeader.biHeight = 2;
        info.bmiHeader.biBitCount = 24;
        const std::vector<uint8_t> pixels(static_cast<size_t>(DibPixelBytes(65501, 2, 24)), 0x40);
        ASSERT_EQ(WriteBmpFile(wide, info, pixels.data(), pixels.size()), 1);
    }
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* stdoutHas;
        std::string stderrHas;
    };
    const std::vector<Case> cases = {
        {{"--help"}, 0, "usage: ocuimage IN OUT", ""},
        {{"--version"}, 0, "ocuimage " OCU_VERSION "\n", ""},
        {{"-h"}, 0, "usage: ocuimage IN OUT", ""},
        {{"-v"}, 0, "ocuimage " OCU_VERSION "\n", ""},
        {{"-x", in, out}, 2, "", "unknown option '-x'"},
        {{}, 2, "", "IN and OUT are needed"},
        {{in}, 2, "", "IN and OUT are needed"},
        {{in, out, "x"}, 2, "", "more than two files"},
        {{in, out, "--bogus"}, 2, "", "unknown option '--bogus'"},
        {{in, out, "--layout", "xyzw"}, 2, "", "invalid value 'xyzw' for --layout"},
        {{in, out, "--conversion=slow"}, 2, "", "invalid value 'slow' for --conversion"},
        {{in, out, "--gamma", "5"}, 2, "", "invalid value '5' for --gamma"},
        {{in, out, "--ratios", "1,2"}, 2, "", "invalid value '1,2' for --ratios"},
        {{in, out, "--ratios", "1,-1,1"}, 2, "", "invalid value"},
        {{in, out, "--gray=yes"}, 2, "", "invalid value"},
        {{in, out, "--layout"}, 2, "", "invalid value '' for --layout"},
        {{dir.File("missing.raw"), out}, 1, "", "missing.raw: cannot open the file"},
        {{dir.File("out.bmp"), dir.File("x.raw")},
         1,
         "",
         "x.raw: a raw file can only be written from a raw file"},
        {{in, in + "/x.bmp"}, 1, "", "x.bmp: cannot write the file"},
        // Only the program's own folders are ever made.
        {{in, dir.File("no/such/out.bmp")},
         1,
         "",
         "out.bmp: cannot write the file: the folder " + dir.File("no/such") + " does not exist"},
        {{wide, dir.File("wide.jpg")},
         1,
         "",
         "wide.jpg: the image of 65501 x 2 pixels is larger than a JPEG image can be (at most 65500 x "
         "65500)"},
        // Cut short, as a short BMP or raw file: converted, and said so.
        {{std::string(OCU_CORPUS_DIR) + "/jpeg-truncated-scan.jpg", out},
         0,
         "",
         "ocuimage: warning: " + std::string(OCU_CORPUS_DIR) +
             "/jpeg-truncated-scan.jpg: the JPEG data ends early or is damaged"},
        {{std::string(OCU_CORPUS_DIR) + "/raw-short-pixels.raw", out}, 0, "", "ocuimage: warning: "},
        {{"--layout=rggb", in, "--conversion", "best", out, "--gray", "--gamma", "0.5", "--ratios",
          "1.5,1,2"},
         0,
         "",
         ""},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.arguments)
            line += a + " ";
        SCOPED_TRACE(line);
        const CommandRun run = Ocuimage(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.out.find(c.stdoutHas), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << run.err;
        if (c.status == 1) {
            EXPECT_EQ(Lines(run.err), 1u) << run.err;
        }
        if (c.status == 2) {
            EXPECT_NE(run.err.find("usage: ocuimage"), std::string::npos);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("no")));
}

// A pipe (or a device) named as OUT is written into and stays what it is; one that nobody reads is
// refused at once.
TEST(Ocuimage, WritesIntoAPipeAndLeavesItAPipe) {
    const TempDir dir;
    WriteText(dir.File("in.raw"), RawFrame(16, 8));
    const std::string pipe = dir.File("pipe.bmp");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    CommandRun run = Ocuimage({dir.File("in.raw"), pipe});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "ocuimage: " + pipe + ": cannot write the file: no program reads the pipe\n");

    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    run = Ocuimage({dir.File("in.raw"), pipe});
    EXPECT_EQ(run.status, 0) << run.err;
    std::string bytes(1000, '\0');
    const ssize_t got = ::read(reader, bytes.data(), bytes.size());
    ::close(reader);
    EXPECT_EQ(got, 54 + 16 * 8 * 3);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
}

TEST(Ocuimage, EveryCorpusFileIsConvertedOrRefusedWithOneLineAndNoOutput) {
    const TempDir dir;
    for (const CorpusFile& file : CorpusFiles()) {
        SCOPED_TRACE(file.name);
        const std::string out = dir.File(file.name + ".bmp");
        const CommandRun run = Ocuimage({file.path, out});
        if (!file.ocuimageShows) {
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(Lines(run.err), 1u) << run.err;
            EXPECT_EQ(run.err.rfind("ocuimage: " + file.path + ": ", 0), 0u) << run.err;
            EXPECT_FALSE(std::filesystem::exists(out));
            continue;
        }
        EXPECT_EQ(run.status, 0) << run.err;
        // What it wrote is a BMP the viewer reads back.
        BitmapInfo info{};
        InitBitmapInfo(info);
        std::vector<uint8_t> pixels(4 << 20);
        const ImageLimits limits{65535, 65535, pixels.size(), 0};
        EXPECT_EQ(ReadBmpFile(out, info, pixels.data(), limits), 1);
        EXPECT_GT(info.bmiHeader.biWidth, 0);
    }
}

TEST(Ocuimage, TheOptionsChangeTheConversionOfARawFrame) {
    const TempDir dir;
    WriteText(dir.File("in.raw"), RawFrame(64, 32));
    const auto convert = [&](const std::string& name, std::vector<std::string> options) {
        options.insert(options.begin(), {dir.File("in.raw"), dir.File(name)});
        EXPECT_EQ(Ocuimage(options).status, 0) << name;
        return ReadText(dir.File(name));
    };
    const std::string plain = convert("plain.bmp", {});
    EXPECT_EQ(plain.size(), 54u + 64 * 32 * 3);
    EXPECT_EQ(convert("fast.bmp", {"--conversion", "fast", "--layout", "grbg", "--ratios", "1,1,1"}), plain);
    for (const auto& [name, options] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"layout.bmp", {"--layout", "gbrg"}},
             {"best.bmp", {"--conversion", "best"}},
             {"gamma.bmp", {"--gamma", "2"}},
             {"ratios.bmp", {"--ratios", "1.5,1,1"}}}) {
        const std::string converted = convert(name, options);
        EXPECT_EQ(converted.size(), plain.size()) << name;
        EXPECT_NE(converted, plain) << name;
    }
    EXPECT_EQ(convert("gray.bmp", {"--gray"}).size(), 1078u + 64 * 32);
    const std::string jpeg = convert("frame.jpg", {});
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(convert("copy.raw", {}), ReadText(dir.File("in.raw")));
}
