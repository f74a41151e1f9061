// ConvertBayer2Rgb throughput per conversion type, in pixels per second, on one thread and on all the
// threads of the library's pool (Convert/TYPE/WxH/1-thread and /N-threads); with OpenCV, single-threaded,
// the same frames through cvtColor's Bayer conversions, once followed by the table lookup and the
// vertical flip that our output includes (like for like) and once bare. Fast also paced, with a pause
// between frames as in a live picture. A summary at the end gives each type's speed-up from one thread
// to all, Best's frame rate at 1280 x 1024 and Normal's and EDGESENSING's at 2592 x 1944, against their
// targets.
#include "PixConv.h"
#include "WorkerPool.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef PIXCONV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// Fast is also measured paced at these sizes, where it splits its rows over the threads.
constexpr int kSizes[][2] = {{1280, 1024}, {2592, 1944}};
constexpr std::pair<const char*, int> kTypes[] = {{"fast", PIX_CONVERT_FAST},
                                                  {"normal", PIX_CONVERT_NORMAL},
                                                  {"edgesensing", PIX_CONVERT_EDGESENSING},
                                                  {"best", PIX_CONVERT_BEST}};
// Targets on the 2-core development machine.
constexpr double kSpeedUpTarget = 1.7;
constexpr double kBestFramesTarget = 80;
// Normal and EDGESENSING at 2592 x 1944 on 2 threads.
constexpr double kLargeFramesTarget = 25;

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

// Paced: a pause of kPace between frames, as in a live picture, so that the workers have gone to sleep
// when a frame comes and must be woken for it.
constexpr auto kPace = std::chrono::milliseconds(3);

void Convert(benchmark::State& state, int nType, int w, int h, int nThreads, bool bPaced) {
    // Only when the count changes: new threads start on the caller's core, and the system takes a while
    // to spread them out.
    if (pixconv::SharedPool()->Threads() != nThreads)
        pixconv::SharedPool()->Resize(nThreads);
    const auto raw = Frame(w, h);
    const Tables lut;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    // The first frame grows the pool's working memory; every later one finds it there.
    ConvertBayer2Rgb(out.data(), raw.data(), w, h, nType, lut.r, lut.g, lut.b, 1, PIX_BAYER_GBRG);
    for (auto _ : state) {
        if (bPaced) {
            state.PauseTiming();
            std::this_thread::sleep_for(kPace);
            state.ResumeTiming();
        }
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

std::string SizeName(int w, int h) {
    return std::to_string(w) + "x" + std::to_string(h);
}

std::string ThreadsName(int n) {
    return n == 1 ? "1-thread" : std::to_string(n) + "-threads";
}

std::string OursName(const std::string& type, int w, int h, int nThreads, bool bPaced) {
    return "Convert/" + type + "/" + SizeName(w, h) + "/" + ThreadsName(nThreads) + (bPaced ? "-paced" : "");
}

void RegisterOurs(const std::string& type, int code, int w, int h, int nThreads, bool bPaced = false) {
    auto* b = benchmark::RegisterBenchmark(OursName(type, w, h, nThreads, bPaced).c_str(), Convert, code, w,
                                           h, nThreads, bPaced)
                  ->Unit(benchmark::kMillisecond)
                  ->UseRealTime();
    if (bPaced)
        b->Iterations(200);
}

std::vector<int> ThreadCounts(int nAll) {
    return nAll == 1 ? std::vector<int>{1} : std::vector<int>{1, nAll};
}

void Register(int nAll) {
    for (const auto& size : kSizes)
        for (int n : ThreadCounts(nAll))
            RegisterOurs("fast", PIX_CONVERT_FAST, size[0], size[1], n, true);
    for (const auto& size : kSizes) {
        const int w = size[0], h = size[1];
        const std::string suffix = "/" + SizeName(w, h);
        for (auto [type, code] : kTypes)
            for (int n : ThreadCounts(nAll))
                RegisterOurs(type, code, w, h, n);
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

// Keeps the real time of every run (the median, when repeated) for the summary.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool bMedian = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (bMedian || (run.run_type == Run::RT_Iteration && !m_bAggregated[run.run_name.function_name]))
                m_ms[run.run_name.function_name] = run.GetAdjustedRealTime();
            m_bAggregated[run.run_name.function_name] |= bMedian;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double Ms(const std::string& name) const {
        const auto it = m_ms.find(name);
        return it == m_ms.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> m_ms;
    std::map<std::string, bool> m_bAggregated;
};

void Summarise(const Reporter& reporter, int nAll) {
    std::printf("\nSpeed-up from 1 to %d threads (target %.1f for the slow types with 2 threads):\n", nAll,
                kSpeedUpTarget);
    auto ms = [&](const std::string& type, int w, int h, int n, bool bPaced = false) {
        return reporter.Ms(OursName(type, w, h, n, bPaced));
    };
    for (const auto& size : kSizes) {
        for (auto [type, code] : kTypes) {
            const double one = ms(type, size[0], size[1], 1), all = ms(type, size[0], size[1], nAll);
            if (one <= 0 || all <= 0)
                continue;
            const bool bSlow = std::string(type) != "fast";
            std::printf("  %-12s %-10s %8.2f ms -> %8.2f ms  x%.2f%s\n", type,
                        SizeName(size[0], size[1]).c_str(), one, all, one / all,
                        !bSlow || nAll != 2           ? ""
                        : one / all >= kSpeedUpTarget ? "  (met)"
                                                      : "  (NOT met)");
        }
    }
    for (const auto& size : kSizes) {
        const double one = ms("fast", size[0], size[1], 1, true),
                     all = ms("fast", size[0], size[1], nAll, true);
        if (one > 0 && all > 0)
            std::printf("  %-12s %-10s %8.2f ms -> %8.2f ms  x%.2f\n", "fast paced",
                        SizeName(size[0], size[1]).c_str(), one, all, one / all);
    }
    auto frameRate = [&](const char* name, const char* type, int w, int h, double target) {
        const double t = ms(type, w, h, nAll);
        if (t > 0)
            std::printf("%s at %s on %d threads: %.1f frames/s (target %.0f): %s\n", name,
                        SizeName(w, h).c_str(), nAll, 1000 / t, target,
                        1000 / t >= target ? "met" : "NOT met");
    };
    frameRate("Best", "best", 1280, 1024, kBestFramesTarget);
    frameRate("Normal", "normal", 2592, 1944, kLargeFramesTarget);
    frameRate("EDGESENSING", "edgesensing", 2592, 1944, kLargeFramesTarget);
}

} // namespace

int main(int argc, char** argv) {
    const int nAll = pixconv::DefaultThreadCount();
    Register(nAll);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    Summarise(reporter, nAll);
    benchmark::Shutdown();
    return 0;
}
