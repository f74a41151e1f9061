// What each recording format sustains: at 1280 x 1024 from the simulated camera at full speed
// (OCUSNAP_SIM_FPS=max, its noise on), into a memory-backed folder, the highest rate at which ten seconds
// of frames are written with none dropped, and the processor time a frame costs.
//
// The camera is paced by ocusnap-record's own session (at most one frame per 1/rate seconds is handed to
// the recording), so each rate is that of a camera of that speed. The frames waiting may take 64 MiB
// (about 50 frames), so that a writer slower than the rate drops frames within the ten seconds rather than
// hiding behind a deep queue. The first rate tried is 95 % of what the writer managed in three seconds of
// every frame (or that rate itself when nothing was dropped: the camera's own); each run that drops a
// frame is followed by one at 85 % of its rate.
//
// The processor time is that of the recording alone: the process's time over 100 frames taken from the
// camera beforehand and handed to a recorder from memory, per frame written, every thread counted (the
// writer, the encoders' and the raw-image library's). With the camera running it would be mixed with the
// camera's, which renders as fast as it can and takes whatever the recording leaves.
//
// RECORD_BENCH_DIR names the folder (default /dev/shm); RECORD_BENCH_SECONDS the length of a run (10).
#include "Session.h"

#include <chrono>
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

std::string BaseFolder() {
    const char* dir = std::getenv("RECORD_BENCH_DIR");
    return dir != nullptr ? dir : "/dev/shm";
}

std::string Folder() {
    std::string pattern = BaseFolder() + "/record-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror(pattern.c_str());
        std::exit(1);
    }
    return pattern;
}

Target TargetIn(const std::string& folder, Format format) {
    return Target{folder, "bench", format, format == Format::Ffv1 ? Container::Matroska : Container::Mp4};
}

struct Run {
    bool ok = false;
    uint64_t written = 0;
    uint64_t dropped = 0;
    double seconds = 0;
    uint64_t bytes = 0;
};

// Records from the camera at most `rate` frames a second (0: every frame) for `seconds`.
Run Record(Format format, double rate, double seconds) {
    Run run;
    const std::string folder = Folder();
    tool::SessionOptions options;
    options.record.target = TargetIn(folder, format);
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
    const auto begin = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const Progress end = session.GetProgress();
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    session.Close();
    run.written = end.written - start.written;
    run.dropped = end.dropped - start.dropped;
    run.bytes = end.bytes - start.bytes;
    run.ok = end.outcome == Outcome::Running;
    std::filesystem::remove_all(folder);
    return run;
}

// Frames from the camera, kept in memory.
std::vector<std::vector<uint8_t>> TakeFrames(int count) {
    std::vector<std::vector<uint8_t>> frames;
    OCUHANDLE camera = nullptr;
    if (BeginOcuDevice(OCU_FIRST_DEVICE, &camera) != OCU_OK)
        return frames;
    OcuSetOutputWindow(camera, 0, 0, kWidth, kHeight);
    std::vector<uint8_t> buffer(static_cast<size_t>(kWidth) * kHeight);
    uint8_t* const buffers[] = {buffer.data()};
    for (int i = 0; i < count && OcuSnapShot(camera, buffers, 1) == OCU_OK; ++i)
        frames.push_back(buffer);
    EndOcuDevice(camera);
    return frames;
}

// The processor time, in milliseconds, that recording a frame costs.
double CpuPerFrame(Format format, const std::vector<std::vector<uint8_t>>& frames) {
    const std::string folder = Folder();
    Options options;
    options.target = TargetIn(folder, format);
    options.maxWidth = kWidth;
    options.maxHeight = kHeight;
    options.developRaw = !RecordsRawMosaic(format);
    options.develop.bayerLayout = OCU_BAYER_GRBG;
    options.memoryCap = size_t{1} << 30; // every frame waits rather than being dropped
    std::string error;
    std::unique_ptr<Recorder> recorder = Recorder::Open(options, error);
    if (!recorder) {
        std::fprintf(stderr, "record-bench: %s\n", error.c_str());
        return 0;
    }
    constexpr int kFrames = 100;
    const double cpu = ProcessCpuSeconds();
    for (int i = 0; i < kFrames; ++i) {
        Frame frame;
        frame.pixels = frames[static_cast<size_t>(i) % frames.size()].data();
        frame.width = kWidth;
        frame.height = kHeight;
        recorder->Submit(frame);
    }
    recorder->Stop();
    recorder->Wait();
    const double used = ProcessCpuSeconds() - cpu;
    const uint64_t written = recorder->GetProgress().written;
    recorder.reset();
    std::filesystem::remove_all(folder);
    return written > 0 ? used / static_cast<double>(written) * 1000 : 0;
}

} // namespace

int main() {
    setenv("OCUSNAP_CAMERA", "sim", 1);
    setenv("OCUSNAP_SIM_FPS", "max", 1);
    const char* length = std::getenv("RECORD_BENCH_SECONDS");
    const double seconds = length != nullptr ? std::atof(length) : 10;
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("Recording %d x %d from the simulated camera at full speed, %.0f s a run, into %s\n"
                "(load average %.2f %.2f %.2f)\n\n",
                kWidth, kHeight, seconds, BaseFolder().c_str(), load[0], load[1], load[2]);
    const std::vector<std::vector<uint8_t>> frames = TakeFrames(10);
    if (frames.empty()) {
        std::fprintf(stderr, "record-bench: the simulated camera gave no frame\n");
        return 1;
    }
    std::printf("%-6s %12s %10s %14s   %s\n", "format", "sustained/s", "MiB/s", "ms cpu/frame",
                "rates tried");
    for (const Format format : {Format::Raw, Format::Ffv1, Format::H264, Format::Bmp, Format::Jpeg}) {
        // Every frame for a few seconds: what the writer manages, or the camera's rate if it keeps up.
        const Run probe = Record(format, 0, 3);
        double rate = probe.seconds > 0 ? static_cast<double>(probe.written) / probe.seconds : 0;
        if (probe.dropped > 0)
            rate *= 0.95;
        std::string tried;
        Run best;
        for (int attempt = 0; attempt < 6 && rate >= 1; ++attempt) {
            const Run run = Record(format, rate, seconds);
            char text[32];
            std::snprintf(text, sizeof text, "%s%.0f%s", tried.empty() ? "" : ", ", rate,
                          run.dropped ? "x" : "");
            tried += text;
            if (run.ok && run.dropped == 0 && run.written > 0) {
                best = run;
                break;
            }
            rate *= 0.85;
        }
        const double cpu = CpuPerFrame(format, frames);
        if (best.written == 0) {
            std::printf("%-6s %12s %10s %14.2f   %s\n", FormatName(format), "-", "-", cpu, tried.c_str());
        } else {
            std::printf("%-6s %12.1f %10.1f %14.2f   %s\n", FormatName(format),
                        static_cast<double>(best.written) / best.seconds,
                        static_cast<double>(best.bytes) / best.seconds / (1 << 20), cpu, tried.c_str());
        }
        std::fflush(stdout);
    }
    std::printf("\nRates tried: x where frames were dropped; the first without drops is the figure.\n");
    return 0;
}
