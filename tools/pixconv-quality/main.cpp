// pixconv-quality [--full | --scale N] [--set skimage|wallpapers] [-v] [IMAGE...]: how closely each Bayer
// conversion restores natural photographs, how much false colour it makes, and how fast it is, all
// measured in one run.
//
// Each photograph (PNG or JPEG) is box-downscaled by N (2 unless told: --scale N, N from 1 to 4; --full
// is --scale 1) and its border left out: 10 pixels at full resolution, 8 when downscaled. At full
// resolution a photograph is as sharp as a sensor delivers it, the way the viewer meets pictures;
// downscaled, it is softer, with its channels more alike, as in film scans, and a JPEG's subsampled chroma
// is averaged away, which leaves a fair colour ground truth. The sets are what
// tools/fetch-pixconv-photos.sh fetches: skimage (python3-skimage's sample photographs; at full
// resolution its four lossless PNGs, since a JPEG's halved chroma would flatter every method) and
// wallpapers (nine photographs of plasma-workspace-wallpapers, 2560 x 1600 JPEGs, downscaled only).
//
// Each image is sampled in each of the four Bayer layouts and converted back with every conversion type
// and with OpenCV's methods. Per image and method one line: "image NAME METHOD PSNR FALSE-COLOUR", the
// colour PSNR over the three channels averaged over the layouts, and the false colour (below). Then
// per method: "psnr METHOD DB" averaged over images and layouts, "false-colour METHOD PHOTOS ZONE", and
// "speed METHOD MPIX/S" (the conversions of the run, on the library's threads for ours, on one
// thread for OpenCV's). -v adds one line per image and layout.
//
// False colour is the root mean square, in levels, of the error of the colour differences red - green
// and blue - green where the ground truth is gray (its channels within 6 levels of each other): on the
// photographs, and on a gray zone plate whose frequency reaches half a cycle per pixel at its rim, like
// the simulated camera's.
#include "PixConv.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numbers>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace {

const char* const kHalvedPhotos[] = {"astronaut.png", "chelsea.png", "coffee.png", "rocket.jpg",
                                     "motorcycle_left.png"};
const char* const kFullPhotos[] = {"astronaut.png", "chelsea.png", "coffee.png", "motorcycle_left.png"};
const char* const kWallpapers[] = {"BytheWater.jpg",  "ColdRipple.jpg",   "ColorfulCups.jpg",
                                   "EveningGlow.jpg", "FallenLeaf.jpg",   "Grey.jpg",
                                   "Kite.jpg",        "OneStandsOut.jpg", "Path.jpg"};
constexpr int kGrayTolerance = 6;

struct Method {
    std::string name;
    int type;       // our conversion type, or 0 for OpenCV
    int cvCodes[5]; // OpenCV's code for each layout (index 1..4)
    int rowShift;   // rows by which the method's output is displaced
};

// OpenCV 4.6's VNG output is displaced upwards by two rows; it is moved back before comparing.
const Method kMethods[] = {
    {"fast", PIX_CONVERT_FAST, {}, 0},
    {"normal", PIX_CONVERT_NORMAL, {}, 0},
    {"edgesensing", PIX_CONVERT_EDGESENSING, {}, 0},
    {"best", PIX_CONVERT_BEST, {}, 0},
    {"opencv-bilinear",
     0,
     {0, cv::COLOR_BayerGBRG2BGR, cv::COLOR_BayerGRBG2BGR, cv::COLOR_BayerBGGR2BGR, cv::COLOR_BayerRGGB2BGR},
     0},
    {"opencv-vng",
     0,
     {0, cv::COLOR_BayerGBRG2BGR_VNG, cv::COLOR_BayerGRBG2BGR_VNG, cv::COLOR_BayerBGGR2BGR_VNG,
      cv::COLOR_BayerRGGB2BGR_VNG},
     2},
    {"opencv-ea",
     0,
     {0, cv::COLOR_BayerGBRG2BGR_EA, cv::COLOR_BayerGRBG2BGR_EA, cv::COLOR_BayerBGGR2BGR_EA,
      cv::COLOR_BayerRGGB2BGR_EA},
     0},
};

// A size the conversion takes: whole Bayer cells, and a width that is a multiple of 4 as the viewer's.
cv::Mat Cropped(const cv::Mat& image) {
    return image(cv::Rect(0, 0, image.cols / 4 * 4, image.rows / 2 * 2)).clone();
}

// The photograph downscaled by averaging scale x scale blocks, or as it is.
cv::Mat GroundTruth(const cv::Mat& photo, int scale) {
    if (scale == 1)
        return Cropped(photo);
    cv::Mat smaller;
    cv::resize(photo, smaller, cv::Size(photo.cols / scale, photo.rows / scale), 0, 0, cv::INTER_AREA);
    return Cropped(smaller);
}

// A gray zone plate around the middle of a 512 x 512 image whose frequency reaches half a cycle per
// pixel at the corners' circle, with the simulated camera's levels.
cv::Mat ZonePlate() {
    constexpr int kSize = 512;
    cv::Mat plate(kSize, kSize, CV_8UC3);
    const double radius = kSize / 2.0, k = 0.5 / radius;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double dx = x - radius, dy = y - radius, r2 = dx * dx + dy * dy;
            const double level =
                r2 < radius * radius ? 0.45 + 0.4 * std::cos(std::numbers::pi * k * r2) : 0.45;
            const auto v = static_cast<uint8_t>(std::lround(255 * level));
            plate.at<cv::Vec3b>(y, x) = {v, v, v};
        }
    return plate;
}

// Which of blue (0), green (1), red (2) a layout samples at (x, y).
int ChannelAt(int nLayout, int x, int y) {
    static const char* const kNames[] = {"", "GBRG", "GRBG", "BGGR", "RGGB"};
    const char c = kNames[nLayout][(y & 1) * 2 + (x & 1)];
    return c == 'B' ? 0 : c == 'G' ? 1 : 2;
}

cv::Mat Mosaic(const cv::Mat& bgr, int nLayout) {
    cv::Mat raw(bgr.rows, bgr.cols, CV_8UC1);
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols; ++x)
            raw.at<uint8_t>(y, x) = bgr.at<cv::Vec3b>(y, x)[ChannelAt(nLayout, x, y)];
    return raw;
}

// Converts, adding the time the conversion itself took to `seconds`.
cv::Mat Convert(const Method& m, const cv::Mat& raw, int nLayout, double& seconds) {
    cv::Mat out(raw.rows, raw.cols, CV_8UC3);
    const auto start = std::chrono::steady_clock::now();
    if (m.type != 0) {
        static const auto identity = [] {
            std::vector<uint8_t> t(256);
            for (int i = 0; i < 256; ++i)
                t[i] = static_cast<uint8_t>(i);
            return t;
        }();
        ConvertBayer2Rgb(out.data, raw.data, raw.cols, raw.rows, m.type, identity.data(), identity.data(),
                         identity.data(), 1, nLayout);
    } else {
        cv::cvtColor(raw, out, m.cvCodes[nLayout]);
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (m.type != 0)
        cv::flip(out, out, 0); // our output is bottom-up
    if (m.rowShift > 0) {
        cv::Mat moved = out.clone();
        out(cv::Rect(0, 0, out.cols, out.rows - m.rowShift))
            .copyTo(moved(cv::Rect(0, m.rowShift, out.cols, out.rows - m.rowShift)));
        out = moved;
    }
    return out;
}

struct Score {
    double psnr = 0;
    double chromaSq = 0; // summed squared colour-difference errors over gray pixels
    long grayPixels = 0;
};

Score Compare(const cv::Mat& a, const cv::Mat& truth, int border) {
    Score s;
    double sq = 0;
    for (int y = border; y < a.rows - border; ++y)
        for (int x = border; x < a.cols - border; ++x) {
            const cv::Vec3b p = a.at<cv::Vec3b>(y, x), t = truth.at<cv::Vec3b>(y, x);
            int d[3];
            for (int c = 0; c < 3; ++c) {
                d[c] = p[c] - t[c];
                sq += d[c] * d[c];
            }
            if (std::max({t[0], t[1], t[2]}) - std::min({t[0], t[1], t[2]}) <= kGrayTolerance) {
                const int blue = d[0] - d[1], red = d[2] - d[1];
                s.chromaSq += 0.5 * (blue * blue + red * red);
                ++s.grayPixels;
            }
        }
    const double mse = sq / (3.0 * (a.cols - 2 * border) * (a.rows - 2 * border));
    s.psnr = mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
    return s;
}

double Rms(double sumSq, long n) {
    return n > 0 ? std::sqrt(sumSq / n) : 0;
}

std::string DefaultFolder() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache)
        return std::string(cache) + "/ocuviewer/photos";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.cache/ocuviewer/photos";
}

struct Totals {
    double psnr = 0, chromaSq = 0, seconds = 0, pixels = 0;
    long grayPixels = 0;
    double zoneChroma = 0;
};

} // namespace

int main(int argc, char** argv) {
    cv::setNumThreads(0); // OpenCV's conversions on one thread, as the benchmark times them
    bool bVerbose = false;
    int scale = 2;
    std::string set = "skimage";
    std::vector<std::string> files;
    auto usage = [] {
        std::fprintf(stderr, "usage: pixconv-quality [--full | --scale N] [--set skimage|wallpapers] [-v] "
                             "[IMAGE...]\n");
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-v")
            bVerbose = true;
        else if (arg == "--full")
            scale = 1;
        else if (arg == "--scale" && i + 1 < argc && std::string(argv[i + 1]).size() == 1 &&
                 argv[i + 1][0] >= '1' && argv[i + 1][0] <= '4')
            scale = argv[++i][0] - '0';
        else if (arg == "--set" && i + 1 < argc &&
                 (std::string(argv[i + 1]) == "skimage" || std::string(argv[i + 1]) == "wallpapers"))
            set = argv[++i];
        else if (!arg.empty() && arg[0] == '-')
            return usage();
        else
            files.push_back(arg);
    }
    const bool bNamed = !files.empty();
    if (!bNamed) {
        const std::string folder = DefaultFolder();
        if (set == "wallpapers") {
            if (scale == 1) {
                std::fprintf(stderr, "pixconv-quality: the wallpapers are JPEGs, whose halved chroma would "
                                     "flatter every method: downscale them (--scale 2 to 4)\n");
                return 2;
            }
            for (const char* name : kWallpapers)
                files.push_back(folder + "/wallpapers/" + name);
        } else if (scale == 1) {
            for (const char* name : kFullPhotos)
                files.push_back(folder + "/" + name);
        } else {
            for (const char* name : kHalvedPhotos)
                files.push_back(folder + "/" + name);
        }
    }
    const int border = scale == 1 ? 10 : 8;
    std::printf("set %s, %s, border %d, PIXCONV_THREADS=%s\n", bNamed ? "(the files named)" : set.c_str(),
                scale == 1 ? "full resolution" : ("downscaled by " + std::to_string(scale)).c_str(), border,
                std::getenv("PIXCONV_THREADS") ? std::getenv("PIXCONV_THREADS") : "(all cores)");

    std::map<std::string, Totals> totals;
    int count = 0;
    for (const std::string& file : files) {
        const cv::Mat photo = cv::imread(file, cv::IMREAD_COLOR);
        if (photo.empty()) {
            std::fprintf(stderr, "pixconv-quality: cannot read %s (run tools/fetch-pixconv-photos.sh)\n",
                         file.c_str());
            return 1;
        }
        const cv::Mat truth = GroundTruth(photo, scale);
        if (truth.cols < 4 * border || truth.rows < 4 * border) {
            std::fprintf(stderr, "pixconv-quality: %s is too small\n", file.c_str());
            return 1;
        }
        const std::string name = std::filesystem::path(file).filename().string();
        std::map<std::string, Score> perImage;
        for (int nLayout = 1; nLayout <= 4; ++nLayout) {
            const cv::Mat raw = Mosaic(truth, nLayout);
            for (const Method& m : kMethods) {
                Totals& t = totals[m.name];
                const Score s = Compare(Convert(m, raw, nLayout, t.seconds), truth, border);
                t.pixels += double(raw.total());
                Score& image = perImage[m.name];
                image.psnr += s.psnr / 4;
                image.chromaSq += s.chromaSq;
                image.grayPixels += s.grayPixels;
                if (bVerbose)
                    std::printf("  %s layout %d %s %.2f\n", name.c_str(), nLayout, m.name.c_str(), s.psnr);
            }
            ++count;
        }
        for (const Method& m : kMethods) {
            const Score& s = perImage[m.name];
            Totals& t = totals[m.name];
            t.psnr += 4 * s.psnr;
            t.chromaSq += s.chromaSq;
            t.grayPixels += s.grayPixels;
            std::printf("image %s %s %.2f %.2f\n", name.c_str(), m.name.c_str(), s.psnr,
                        Rms(s.chromaSq, s.grayPixels));
        }
    }
    const cv::Mat plate = ZonePlate();
    for (int nLayout = 1; nLayout <= 4; ++nLayout) {
        const cv::Mat raw = Mosaic(plate, nLayout);
        for (const Method& m : kMethods) {
            double unused = 0;
            const Score s = Compare(Convert(m, raw, nLayout, unused), plate, border);
            totals[m.name].zoneChroma += s.chromaSq / std::max(1L, s.grayPixels) / 4;
        }
    }
    for (const Method& m : kMethods)
        std::printf("psnr %s %.2f\n", m.name.c_str(), totals[m.name].psnr / count);
    for (const Method& m : kMethods) {
        const Totals& t = totals[m.name];
        std::printf("false-colour %s %.2f %.2f\n", m.name.c_str(), Rms(t.chromaSq, t.grayPixels),
                    std::sqrt(t.zoneChroma));
    }
    for (const Method& m : kMethods) {
        const Totals& t = totals[m.name];
        std::printf("speed %s %.1f\n", m.name.c_str(), t.pixels / t.seconds / 1e6);
    }
    return 0;
}
