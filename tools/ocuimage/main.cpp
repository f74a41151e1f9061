// ocuimage: converts recorded frames and images with the viewer's own file readers, frame pipeline and
// file writers, without a window. The kind of each file comes from the last four characters of its name,
// as in the viewer.
#include "OcuVersion.h"
#include "PixConv.h"
#include "display/ImageFiles.h"
#include "frame/Settings.h"
#include "imaging/ChannelLuts.h"
#include "imaging/FramePipeline.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace ocu;

namespace {

// The largest image ocuimage takes: a JPEG's largest side, and buffers of a quarter of a gigabyte.
constexpr int kMaxSide = 65535;
constexpr uint64_t kMaxPixels = uint64_t{1} << 26;

constexpr char kUsage[] =
    "usage: ocuimage IN OUT [--layout gbrg|grbg|bggr|rggb] [--conversion fast|normal|edgesensing|best]\n"
    "                [--gray] [--gamma G] [--ratios R,G,B]\n"
    "       ocuimage -h | --help | -v | --version\n";

constexpr char kHelp[] =
    "Converts an image file as OcuViewer's File > Open and Save As do, without a window.\n"
    "A name ending in .bmp (or anything else) is a BMP file, .jpg a JPEG file, .raw a raw frame, in any\n"
    "case. A raw frame runs through the viewer's frame pipeline:\n"
    "  --layout L        Bayer layout of the sensor: grbg (default, as a first run of the viewer and the\n"
    "                    simulated camera), gbrg, bggr, rggb\n"
    "  --conversion C    fast (default), normal, edgesensing, best\n"
    "  --gray            a gray image (8-bit) instead of colour\n"
    "  --gamma G         gamma correction with coefficient G (0.3 to 3)\n"
    "  --ratios R,G,B    white-balance ratios of red, green and blue (default 1,1,1)\n"
    "A raw OUT needs a raw IN. Exit status: 0 when OUT was written, 1 when IN was refused or OUT could\n"
    "not be written (nothing is written then), 2 for a wrong command line.\n";

struct Options {
    std::string in;
    std::string out;
    // What a first run of the viewer converts with, the simulated camera's layout.
    int layout = StoredSettings{}.nBayerLayout;
    int conversion = kConversionFast;
    bool gray = false;
    std::optional<double> gamma;
    double ratios[3] = {1.0, 1.0, 1.0};
};

// A command-line mistake: the reason and the usage on standard error, status 2.
int UsageError(const std::string& reason) {
    std::fprintf(stderr, "ocuimage: %s\n%s", reason.c_str(), kUsage);
    return 2;
}

int Refused(const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "ocuimage: %s: %s\n", file.c_str(), reason.c_str());
    return 1;
}

std::optional<int> Choice(std::string_view value,
                          std::initializer_list<std::pair<std::string_view, int>> table) {
    for (const auto& [name, code] : table)
        if (value == name)
            return code;
    return std::nullopt;
}

std::optional<double> Number(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Parses the command line; nullopt with status set when the program is to end at once.
std::optional<Options> Parse(int argc, char** argv, int& status) {
    Options options;
    std::vector<std::string> files;
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        // A name that starts with a dash follows "--"; "-" alone is a name.
        if (onlyFiles || arg.size() < 2 || arg[0] != '-') {
            files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\n%s", kUsage, kHelp);
            status = 0;
            return std::nullopt;
        }
        if (arg == "--version" || arg == "-v") {
            std::printf("ocuimage %s\n", OCU_VERSION);
            status = 0;
            return std::nullopt;
        }
        if (arg[1] != '-') {
            status = UsageError("unknown option '" + arg + "'");
            return std::nullopt;
        }
        std::string value;
        const size_t equals = arg.find('=');
        const bool needsValue = arg != "--gray";
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
        } else if (needsValue && i + 1 < argc) {
            value = argv[++i];
        }
        const auto bad = [&] {
            status = UsageError("invalid value '" + value + "' for " + arg);
            return std::nullopt;
        };
        if (arg == "--gray") {
            if (equals != std::string::npos)
                return bad();
            options.gray = true;
        } else if (arg == "--layout") {
            const auto layout = Choice(value, {{"gbrg", PIX_BAYER_GBRG},
                                               {"grbg", PIX_BAYER_GRBG},
                                               {"bggr", PIX_BAYER_BGGR},
                                               {"rggb", PIX_BAYER_RGGB}});
            if (!layout)
                return bad();
            options.layout = *layout;
        } else if (arg == "--conversion") {
            const auto type = Choice(value, {{"fast", kConversionFast},
                                             {"normal", kConversionNormal},
                                             {"edgesensing", kConversionEdgeSensing},
                                             {"best", kConversionBest}});
            if (!type)
                return bad();
            options.conversion = *type;
        } else if (arg == "--gamma") {
            options.gamma = Number(value);
            if (!options.gamma || *options.gamma < 0.3 || *options.gamma > 3.0)
                return bad();
        } else if (arg == "--ratios") {
            size_t start = 0;
            for (int k = 0; k < 3; ++k) {
                const size_t comma = k < 2 ? value.find(',', start) : value.size();
                const std::optional<double> ratio =
                    comma == std::string::npos ? std::nullopt : Number(value.substr(start, comma - start));
                if (!ratio || !(*ratio > 0.0))
                    return bad();
                options.ratios[k] = *ratio;
                start = comma + 1;
            }
        } else {
            status = UsageError("unknown option '" + arg + "'");
            return std::nullopt;
        }
    }
    if (files.size() != 2) {
        status = UsageError(files.size() < 2 ? "IN and OUT are needed" : "more than two files named");
        return std::nullopt;
    }
    options.in = files[0];
    options.out = files[1];
    return options;
}

// The viewer's tables for the given gamma and ratios.
LutBlock Tables(const Options& options) {
    LutBlock luts = IdentityLuts();
    if (options.gamma)
        SetGammaLut(luts[kLutGamma].data(), *options.gamma);
    BuildChannelLuts(luts, options.gamma.has_value(), options.ratios[0], options.ratios[1],
                     options.ratios[2]);
    return luts;
}

int Convert(const Options& options) {
    const int inKind = GetOpenedFileKind(options.in);
    const int outKind = GetFileKind(options.out);
    if (outKind == kFileRaw && inKind != kFileRaw)
        return Refused(options.out, "a raw file can only be written from a raw file");

    std::string note;
    ImageSize size;
    if (!ReadImageSize(options.in, inKind, kMaxSide, kMaxSide, size, &note))
        return Refused(options.in, note);
    const uint64_t pixels = static_cast<uint64_t>(size.width) * static_cast<uint64_t>(size.height);
    if (pixels > kMaxPixels)
        return Refused(options.in, std::to_string(size.width) + " x " + std::to_string(size.height) +
                                       " pixels, more than ocuimage takes");
    // Buffers of the file's size, initialised, so that a file shorter than it says shows black in the rest.
    // The reader checks the file again against them: it may have changed since its header was read.
    // Room for the image at 24 bits with its rows padded, which also holds the pipeline's packed rows.
    const ImageLimits limits{size.width, size.height,
                             static_cast<size_t>(DibPixelBytes(size.width, size.height, 24)),
                             static_cast<size_t>(pixels)};
    std::vector<uint8_t> image(limits.imageBytes);
    std::vector<uint8_t> raw(limits.rawBytes);
    BitmapInfo info{};
    InitBitmapInfo(info);

    int read = 0;
    switch (inKind) {
    case kFileRaw:
        read = ReadRawFile(options.in, info, raw.data(), limits, &note);
        break;
    case kFileJpeg:
        read = ReadJpegFile(options.in, info, image.data(), limits, &note);
        break;
    default:
        read = ReadBmpFile(options.in, info, image.data(), limits, &note);
        break;
    }
    if (!read)
        return Refused(options.in, note);
    if (!note.empty())
        std::fprintf(stderr, "ocuimage: warning: %s: %s\n", options.in.c_str(), note.c_str());
    // The raw frame becomes the image as the viewer's pipeline makes it with no correction switched on.
    if (inKind == kFileRaw)
        RunUncorrectedPipeline(raw.data(), image.data(), info.bmiHeader, Tables(options), options.conversion,
                               options.layout, options.gray);

    note.clear();
    int written = 0;
    switch (outKind) {
    case kFileRaw:
        written = WriteRawFile(options.out, info, raw.data(), raw.size(), &note);
        break;
    case kFileJpeg:
        written = WriteJpegFile(options.out, info, image.data(), image.size(), &note);
        break;
    default:
        written = WriteBmpFile(options.out, info, image.data(), image.size(), &note);
        break;
    }
    return written ? 0 : Refused(options.out, note);
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    const std::optional<Options> options = Parse(argc, argv, status);
    return options ? Convert(*options) : status;
}
