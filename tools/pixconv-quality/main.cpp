// pixconv-quality [-v] [IMAGE...]: how closely each Bayer conversion restores natural photographs.
//
// Each photograph (PNG or JPEG; by default the set that tools/fetch-pixconv-photos.sh fetches) is
// box-downscaled by 2, which removes the softness and chroma subsampling of the originals so that the
// result is a fair full-resolution colour ground truth. It is then sampled in each of the four Bayer
// layouts, converted back with every conversion type and with OpenCV's methods, and compared with the
// ground truth. One line per method: "psnr METHOD DB", the colour PSNR over the three channels with an
// 8-pixel border left out, averaged over images and layouts. -v adds one line per image.
#include "PixConv.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace {

constexpr int kBorder = 8;
const char* const kDefaultPhotos[] = {"astronaut.png", "chelsea.png", "coffee.png", "rocket.jpg",
                                      "motorcycle_left.png"};

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

// The photograph halved by averaging 2 x 2 blocks, cropped to a size the conversion takes.
cv::Mat GroundTruth(const cv::Mat& photo) {
    cv::Mat half;
    cv::resize(photo, half, cv::Size(photo.cols / 2, photo.rows / 2), 0, 0, cv::INTER_AREA);
    return half(cv::Rect(0, 0, half.cols / 4 * 4, half.rows / 2 * 2)).clone();
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

cv::Mat Convert(const Method& m, const cv::Mat& raw, int nLayout) {
    cv::Mat out(raw.rows, raw.cols, CV_8UC3);
    if (m.type != 0) {
        uint8_t identity[256];
        for (int i = 0; i < 256; ++i)
            identity[i] = static_cast<uint8_t>(i);
        ConvertBayer2Rgb(out.data, raw.data, raw.cols, raw.rows, m.type, identity, identity, identity, 1,
                         nLayout);
        cv::flip(out, out, 0); // our output is bottom-up
        return out;
    }
    cv::cvtColor(raw, out, m.cvCodes[nLayout]);
    if (m.rowShift > 0) {
        cv::Mat moved = out.clone();
        out(cv::Rect(0, 0, out.cols, out.rows - m.rowShift))
            .copyTo(moved(cv::Rect(0, m.rowShift, out.cols, out.rows - m.rowShift)));
        out = moved;
    }
    return out;
}

double ColourPsnr(const cv::Mat& a, const cv::Mat& b) {
    const cv::Rect inner(kBorder, kBorder, a.cols - 2 * kBorder, a.rows - 2 * kBorder);
    cv::Mat diff;
    cv::absdiff(a(inner), b(inner), diff);
    diff.convertTo(diff, CV_64FC3);
    const cv::Scalar sum = cv::sum(diff.mul(diff));
    const double mse = (sum[0] + sum[1] + sum[2]) / (3.0 * inner.area());
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

std::string DefaultFolder() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache)
        return std::string(cache) + "/ocuviewer/photos";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.cache/ocuviewer/photos";
}

} // namespace

int main(int argc, char** argv) {
    cv::setNumThreads(0);
    bool bVerbose = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-v")
            bVerbose = true;
        else
            files.push_back(arg);
    }
    if (files.empty()) {
        const std::string folder = DefaultFolder();
        for (const char* name : kDefaultPhotos)
            files.push_back(folder + "/" + name);
    }

    std::map<std::string, double> total;
    int count = 0;
    for (const std::string& file : files) {
        const cv::Mat photo = cv::imread(file, cv::IMREAD_COLOR);
        if (photo.empty()) {
            std::fprintf(stderr, "pixconv-quality: cannot read %s (run tools/fetch-pixconv-photos.sh)\n",
                         file.c_str());
            return 1;
        }
        const cv::Mat truth = GroundTruth(photo);
        if (truth.cols < 4 * kBorder || truth.rows < 4 * kBorder) {
            std::fprintf(stderr, "pixconv-quality: %s is too small\n", file.c_str());
            return 1;
        }
        for (int nLayout = 1; nLayout <= 4; ++nLayout) {
            const cv::Mat raw = Mosaic(truth, nLayout);
            for (const Method& m : kMethods) {
                const double psnr = ColourPsnr(Convert(m, raw, nLayout), truth);
                total[m.name] += psnr;
                if (bVerbose)
                    std::printf("  %s layout %d %s %.2f\n", std::filesystem::path(file).filename().c_str(),
                                nLayout, m.name.c_str(), psnr);
            }
            ++count;
        }
    }
    for (const Method& m : kMethods)
        std::printf("psnr %s %.2f\n", m.name.c_str(), total[m.name] / count);
    return 0;
}
