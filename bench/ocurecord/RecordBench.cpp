// What each recording format sustains: at 1280 x 1024 from the simulated camera at full speed
// (OCUSNAP_SIM_FPS=max, its noise on), into a memory-backed folder, the highest rate at which ten seconds
// of frames are written with none dropped, and the processor time a frame costs.
//
// The camera is paced by ocusnap-record's own session (at most one frame per 1/rate seconds is handed to
// the recording), so each rate is that of a camera of that speed. The frames waiting may take 64 MiB
// (about 50 frames), so that a writer slower than the rate drops frames within the ten seconds rather than
// hiding behind a deep queue. The processor time is that of the whole process during the ten seconds, less
// what the camera alone costs (measured first, with nothing recorded), per frame written.
//
// RECORD_BENCH_DIR names the folder (default /dev/shm); RECORD_BENCH_SECONDS the length of a run (10).
#include "Session.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace ocurecord;

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string Folder() {
    const char* dir = std::getenv("RECORD_BENCH_DIR");
    std::string base = dir != nullptr ? dir : "/dev/shm";
    std::string pattern = base + "/record-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror(pattern.c_str());
        std::exit(1);
    }
    return pattern;
}

struct Run {
    bool ok = false;
    uint64_t written = 0;
    uint64_t dropped = 0;
    double seconds = 0;
    double cpu = 0;
    uint64_t bytes = 0;
};

// Records at most `rate` frames a second (0: every frame) for `seconds`.
Run Record(Format format, double rate, double seconds) {
    Run run;
    const std::string folder = Folder();
    tool::SessionOptions options;
    options.record.target = Target{folder, "bench", format, Container::Mp4};
    if (format == Format::Ffv1)
        options.record.target.container = Container::Matroska;
    options.record.memoryCap = size_t{64} << 20;
    options.maxRate = rate;
    tool::Session session;
    std::string error;
    if (!session.Start(options, error)) {
        std::fprintf(stderr, "record-bench: %s\n", error.c_str());
        std::filesystem::remove_all(folder);
        return run;
    }
    // Timing begins with the first frame written, when the camera and the encoder are under way.
    while (session.GetProgress().written == 0 && !session.Finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const Progress start = session.GetProgress();
    const double cpuStart = ProcessCpuSeconds();
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const Progress end = session.GetProgress();
    run.cpu = ProcessCpuSeconds() - cpuStart;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    session.Close();
    run.written = end.written - start.written;
    run.dropped = end.dropped - start.dropped;
    run.bytes = end.bytes - start.bytes;
    run.ok = end.outcome == Outcome::Running;
    std::filesystem::remove_all(folder);
    return run;
}

// The processor time the camera alone takes a second, delivering at full speed to a callback that does
// nothing.
double CameraCpuPerSecond() {
    OCUHANDLE camera = nullptr;
    if (BeginOcuDevice(OCU_FIRST_DEVICE, &camera) != OCU_OK)
        return 0;
    OcuSetOutputWindow(camera, 0, 0, kWidth, kHeight);
    std::vector<uint8_t> buffer(static_cast<size_t>(kWidth) * kHeight);
    uint8_t* const buffers[] = {buffer.data()};
    OcuOpenSnap(
        camera, [](SnapInfo*) -> int32_t { return 1; }, nullptr);
    OcuStartSnap(camera, buffers, 1);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double cpu = ProcessCpuSeconds();
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const double used = ProcessCpuSeconds() - cpu;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    OcuCloseSnap(camera);
    EndOcuDevice(camera);
    return used / seconds;
}

} // namespace

int main() {
    setenv("OCUSNAP_CAMERA", "sim", 1);
    setenv("OCUSNAP_SIM_FPS", "max", 1);
    const double seconds =
        std::getenv("RECORD_BENCH_SECONDS") ? std::atof(std::getenv("RECORD_BENCH_SECONDS")) : 10;
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("Recording %d x %d from the simulated camera at full speed, %.0f s a run, into %s\n"
                "(load average %.2f %.2f %.2f)\n",
                kWidth, kHeight, seconds,
                std::getenv("RECORD_BENCH_DIR") ? std::getenv("RECORD_BENCH_DIR") : "/dev/shm", load[0],
                load[1], load[2]);
    const double cameraCpu = CameraCpuPerSecond();
    std::printf("The camera alone: %.2f processor seconds a second\n\n", cameraCpu);
    std::printf("%-6s %12s %10s %10s %16s %14s\n", "format", "sustained/s", "MiB/s", "tried", "ms cpu/frame",
                "with camera");
    for (const Format format : {Format::Raw, Format::Ffv1, Format::H264, Format::Bmp, Format::Jpeg}) {
        // First every frame, as fast as the camera gives them, for a few seconds: what the writer manages.
        const Run probe = Record(format, 0, 3);
        double rate = probe.seconds > 0 ? static_cast<double>(probe.written) / probe.seconds : 0;
        std::string tried;
        Run best;
        double bestRate = 0;
        // Then at 95 % of that, stepping down until a run drops nothing.
        rate *= probe.dropped > 0 ? 0.95 : 1.0;
        for (int attempt = 0; attempt < 6 && rate >= 1; ++attempt) {
            const Run run = Record(format, rate, seconds);
            char text[32];
            std::snprintf(text, sizeof text, "%s%.0f%s", tried.empty() ? "" : ",", rate,
                          run.dropped ? "x" : "");
            tried += text;
            if (run.ok && run.dropped == 0 && run.written > 0) {
                best = run;
                bestRate = static_cast<double>(run.written) / run.seconds;
                break;
            }
            rate *= 0.85;
        }
        if (best.written == 0) {
            std::printf("%-6s %12s %10s %10s\n", FormatName(format), "-", "-", tried.c_str());
            continue;
        }
        const double perFrame = best.cpu / static_cast<double>(best.written) * 1000;
        const double ownPerFrame =
            (best.cpu - cameraCpu * best.seconds) / static_cast<double>(best.written) * 1000;
        std::printf("%-6s %12.1f %10.1f %10s %16.2f %14.2f\n", FormatName(format), bestRate,
                    static_cast<double>(best.bytes) / best.seconds / (1 << 20), tried.c_str(), ownPerFrame,
                    perFrame);
        std::fflush(stdout);
    }
    std::printf(
        "\n'tried': the rates run, x where frames were dropped; the first without drops is the figure.\n");
    return 0;
}
