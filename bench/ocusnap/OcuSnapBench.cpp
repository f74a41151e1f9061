// How fast the simulated camera delivers frames when timing is off (OCUSNAP_SIM_FPS=max), with a
// callback that does nothing. The whole process runs on one core, so the figure is what the
// simulation costs a viewer that shares the machine with it. Target: well over 200 fps at 1280 x 1024.
// Also how long a mode's scene takes to prepare, which the first frame of a mode waits for. Target: well
// under a second for the whole sensor of 4096 x 3000 (12 megapixels), on one core.
#include "OcuSnap.h"
#include "sim/SimScene.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <sched.h>
#include <thread>
#include <vector>

namespace {

int32_t CountFrame(SnapInfo* info) {
    static_cast<std::atomic<uint64_t>*>(info->pContext)->fetch_add(1, std::memory_order_relaxed);
    return 1;
}

void PinToOneCore() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &set)) {
                CPU_ZERO(&set);
                CPU_SET(cpu, &set);
                sched_setaffinity(0, sizeof set, &set);
                return;
            }
        }
    }
}

// Arguments: resolution mode, noise on (1) or off (0).
void BM_Delivery(benchmark::State& state) {
    const auto mode = static_cast<int32_t>(state.range(0));
    setenv("OCUSNAP_SIM_FPS", "max", 1);
    setenv("OCUSNAP_SIM_NOISE", state.range(1) ? "1" : "0", 1);
    OCUHANDLE h = nullptr;
    if (BeginOcuDevice(1, &h) != OCU_OK) {
        state.SkipWithError("the simulated camera did not open");
        return;
    }
    ResolutionEntry modes[3] = {};
    uint32_t size = sizeof modes;
    OcuGetDeviceInfo(h, OCU_INFO_RESOLUTIONS, modes, &size);
    OcuSetResolution(h, mode);
    OcuSetOutputWindow(h, 0, 0, modes[mode].nWidth, modes[mode].nHeight);
    std::vector<uint8_t> buffer(static_cast<size_t>(modes[0].nWidth) * static_cast<size_t>(modes[0].nHeight));
    uint8_t* const buffers[] = {buffer.data()};
    std::atomic<uint64_t> frames{0};
    OcuOpenSnap(h, CountFrame, &frames);
    OcuStartSnap(h, buffers, 1);
    while (frames.load() < 3) { // the first frame of a mode prepares its scene
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    const uint64_t first = frames.load();
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const uint64_t delivered = frames.load() - first;
    OcuCloseSnap(h);
    EndOcuDevice(h);
    state.SetItemsProcessed(static_cast<int64_t>(delivered));
    state.counters["fps"] = benchmark::Counter(static_cast<double>(delivered), benchmark::Counter::kIsRate);
    state.counters["MPix/s"] =
        benchmark::Counter(static_cast<double>(delivered) * modes[mode].nWidth * modes[mode].nHeight / 1e6,
                           benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Delivery)
    ->ArgNames({"mode", "noise"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Arguments: the sensor's width and height; mode 0, the chart, as the first frame of a camera needs it.
void BM_ScenePreparation(benchmark::State& state) {
    namespace sim = ocusnap::detail::sim;
    const auto width = static_cast<int32_t>(state.range(0));
    const auto height = static_cast<int32_t>(state.range(1));
    for (auto _ : state) {
        // The scene is cached while in use: this one is dropped before the next is prepared.
        const auto scene =
            sim::PreparedScene(sim::Bayer::GRBG, true, sim::SensorSize{width, height}, width, height);
        benchmark::DoNotOptimize(scene->chart.data());
    }
    state.counters["ns/site"] =
        benchmark::Counter(static_cast<double>(width) * height,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_ScenePreparation)
    ->ArgNames({"w", "h"})
    ->Args({1280, 1024})
    ->Args({4096, 3000})
    ->Args({8192, 8192})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    PinToOneCore();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
