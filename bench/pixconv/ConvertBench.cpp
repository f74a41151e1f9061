// ConvertBayer2Rgb throughput per conversion type, in pixels per second, single-threaded; with OpenCV
// the same frames through cvtColor's Bayer conversions, once followed by the table lookup and the
// vertical flip that our output includes (like for like) and once bare.
#include "PixConv.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#ifdef PIXCONV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kSizes[][2] = {{1280, 1024}, {2592, 1944}};

// A raw frame with smooth shading, edges and fine texture, so that no kernel sees an easy case.
std::vector<uint8_t> Frame(int w, int h) {
    std::vector<uint8_t> raw(static_cast<size_t>(w) * h);
    uint32_t noise = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const double v = 110 + 60 * std::sin(x * 0.013) * std::cos(y * 0.021) +
                             ((x / 37 + y / 29) % 2) * 40 + ((x ^ y) & 8) + (noise >> 29);
            raw[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    return raw;
}

struct Tables {
    uint8_t r[256], g[256], b[256];
    Tables() {
        for (int i = 0; i < 256; ++i) {
            r[i] = static_cast<uint8_t>(std::min(255, i * 5 / 4));
            g[i] = static_cast<uint8_t>(i);
            b[i] = static_cast<uint8_t>(i * 7 / 8);
        }
    }
};

void Convert(benchmark::State& state, int nType, int w, int h) {
    const auto raw = Frame(w, h);
    const Tables lut;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    for (auto _ : state) {
        ConvertBayer2Rgb(out.data(), raw.data(), w, h, nType, lut.r, lut.g, lut.b, 1, PIX_BAYER_GBRG);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * w * h);
}

#ifdef PIXCONV_BENCH_OPENCV
void OpenCv(benchmark::State& state, int code, bool bLutFlip, int w, int h) {
    cv::setNumThreads(0);
    auto raw = Frame(w, h);
    const Tables lut;
    cv::Mat table(1, 256, CV_8UC3);
    for (int i = 0; i < 256; ++i)
        table.at<cv::Vec3b>(0, i) = {lut.b[i], lut.g[i], lut.r[i]};
    const cv::Mat src(h, w, CV_8UC1, raw.data());
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    cv::Mat dst(h, w, CV_8UC3, out.data()), bgr(h, w, CV_8UC3), mapped(h, w, CV_8UC3);
    for (auto _ : state) {
        if (bLutFlip) {
            cv::cvtColor(src, bgr, code);
            cv::LUT(bgr, table, mapped);
            cv::flip(mapped, dst, 0);
        } else {
            cv::cvtColor(src, dst, code);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * w * h);
}
#endif

void Register() {
    for (const auto& size : kSizes) {
        const int w = size[0], h = size[1];
        const std::string suffix = "/" + std::to_string(w) + "x" + std::to_string(h);
        const std::pair<const char*, int> types[] = {{"fast", PIX_CONVERT_FAST},
                                                     {"normal", PIX_CONVERT_NORMAL},
                                                     {"edgesensing", PIX_CONVERT_EDGESENSING},
                                                     {"best", PIX_CONVERT_BEST}};
        for (auto [name, type] : types)
            benchmark::RegisterBenchmark(("Convert/" + std::string(name) + suffix).c_str(), Convert, type, w,
                                         h)
                ->Unit(benchmark::kMillisecond);
#ifdef PIXCONV_BENCH_OPENCV
        const std::pair<const char*, int> cvMethods[] = {{"opencv-bilinear", cv::COLOR_BayerGBRG2BGR},
                                                         {"opencv-vng", cv::COLOR_BayerGBRG2BGR_VNG},
                                                         {"opencv-ea", cv::COLOR_BayerGBRG2BGR_EA}};
        for (auto [name, code] : cvMethods)
            benchmark::RegisterBenchmark(("Convert/" + std::string(name) + "-lut-flip" + suffix).c_str(),
                                         OpenCv, code, true, w, h)
                ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Convert/opencv-bilinear" + suffix).c_str(), OpenCv,
                                     cv::COLOR_BayerGBRG2BGR, false, w, h)
            ->Unit(benchmark::kMillisecond);
#endif
    }
}

} // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
