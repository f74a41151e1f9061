// ocusnap-info: what the camera driver sees. Opens camera 1, prints its type, modes and blanking
// limits and Bayer layout, streams for two seconds from the first frame and prints the frame rate and the
// mean level of each Bayer channel. --list prints the cameras the backend finds, --stats a few frames'
// exposure and focus figures.
#include "OcuSnap.h"
#include "OcuVersion.h"
#include "Stats.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Stream {
    std::atomic<uint32_t> frames{0};
    std::atomic<int32_t> width{0};
    std::atomic<int32_t> height{0};
    std::atomic<uint64_t> firstUs{0}; // end of the first and of the last frame's readout
    std::atomic<uint64_t> lastUs{0};
};

// A large sensor's frame takes seconds to expose and read out: the two seconds are counted from the first
// frame, and that is waited for this long.
constexpr auto kFirstFrameTimeout = std::chrono::seconds(15);

// The callback's context must outlive a callback that is still running when OcuCloseSnap returns:
// a static one lives until the process ends.
Stream g_stream;

int32_t OnFrame(SnapInfo* info) {
    auto* stream = static_cast<Stream*>(info->pContext);
    stream->width = info->nWidth;
    stream->height = info->nHeight;
    if (stream->frames.load() == 0) {
        stream->firstUs = info->nTimestampUs;
    }
    stream->lastUs = info->nTimestampUs;
    stream->frames.fetch_add(1);
    return 1;
}

} // namespace

// --list: the cameras the configured backend finds.
int ListCameras() {
    uint32_t count = 0;
    if (const OCUSTATUS s = OcuListCameras(nullptr, &count); s != OCU_OK) {
        return Fail("Listing the cameras", s);
    }
    std::vector<OcuCameraEntry> cameras(count);
    if (const OCUSTATUS s = OcuListCameras(cameras.data(), &count);
        s != OCU_OK && s != OCU_ERR_BUFFER_TOO_SMALL) {
        return Fail("Listing the cameras", s);
    }
    cameras.resize(std::min<size_t>(count, cameras.size()));
    std::printf("%zu camera%s found\n", cameras.size(), cameras.size() == 1 ? "" : "s");
    for (const OcuCameraEntry& c : cameras) {
        std::printf("  %s  (vendor: %s, model: %s)\n", c.szId, c.szVendor, c.szModel);
    }
    return 0;
}

constexpr char kUsage[] =
    "Usage: ocusnap-info [--list | --stats]\n"
    "       ocusnap-info -h | --help | -v | --version\n"
    "Opens camera 1 of the OcuSnap driver, prints what it reports, streams for two seconds from the\n"
    "first frame and prints the achieved frame rate and the mean level of each Bayer channel.\n"
    "--list prints the cameras the backend finds, with the id that OCUSNAP_CAMERA=aravis:ID takes.\n"
    "--stats takes three frames and prints for each the mean level and the shares at 0 and 255 of\n"
    "every Bayer channel, and a line \"sharpness S\".\n"
    "The backend comes from OCUSNAP_CAMERA (sim, none, aravis or aravis:ID); see ocusnap-info(1).\n";

// A command-line mistake: the reason and the usage on standard error, status 2.
int UsageError(const std::string& reason) {
    std::fprintf(stderr, "ocusnap-info: %s\n%s", reason.c_str(), kUsage);
    return 2;
}

int main(int argc, char** argv) {
    bool list = false;
    bool stats = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "-v" || arg == "--version") {
            std::printf("ocusnap-info %s\n", OCU_VERSION);
            return 0;
        }
        if (arg == "--list") {
            list = true;
        } else if (arg == "--stats") {
            stats = true;
        } else if (arg.starts_with("-")) {
            return UsageError("unknown option '" + arg + "'");
        } else {
            return UsageError("unexpected argument '" + arg + "'");
        }
    }
    if (list && stats) {
        return UsageError("--list and --stats go one at a time");
    }
    if (stats) {
        return PrintFrameStats(3);
    }
    if (list) {
        return ListCameras();
    }

    OpenCamera camera;
    if (const OCUSTATUS s = BeginOcuDevice(OCU_FIRST_DEVICE, &camera.handle); s != OCU_OK) {
        return Fail("Opening camera 1", s);
    }

    int32_t type = 0;
    uint32_t size = sizeof type;
    if (const OCUSTATUS s = OcuGetDeviceInfo(camera.handle, OCU_INFO_DEVICE_TYPE, &type, &size);
        s != OCU_OK) {
        return Fail("Reading the device type", s);
    }
    std::printf("Camera 1\n  Device type: %d\n  Model: %s\n", type,
                OcuGetModelName(type) != nullptr ? OcuGetModelName(type) : "a later model");

    size = 0;
    if (const OCUSTATUS s = OcuGetDeviceInfo(camera.handle, OCU_INFO_RESOLUTIONS, nullptr, &size);
        s != OCU_OK) {
        return Fail("Reading the resolution table", s);
    }
    std::vector<ResolutionEntry> modes(size / sizeof(ResolutionEntry));
    size = static_cast<uint32_t>(modes.size() * sizeof(ResolutionEntry));
    if (const OCUSTATUS s = OcuGetDeviceInfo(camera.handle, OCU_INFO_RESOLUTIONS, modes.data(), &size);
        s != OCU_OK || modes.empty()) {
        return Fail("Reading the resolution table", s != OCU_OK ? s : OCU_ERR_INTERNAL);
    }
    std::printf("  Resolution modes:\n");
    for (size_t i = 0; i < modes.size(); ++i) {
        std::printf("    %zu: %d x %d\n", i, modes[i].nWidth, modes[i].nHeight);
    }

    BlankingLimits limits{};
    size = sizeof limits;
    const OCUSTATUS blanking = OcuGetDeviceInfo(camera.handle, OCU_INFO_BLANKING_LIMITS, &limits, &size);
    if (blanking == OCU_OK) {
        std::printf("  Blanking limits: horizontal %d..%d, vertical %d..%d\n", limits.nHMin, limits.nHMax,
                    limits.nVMin, limits.nVMax);
    } else if (blanking == OCU_ERR_NOT_SUPPORTED) {
        std::printf("  Blanking limits: not reported by this model\n");
    } else {
        return Fail("Reading the blanking limits", blanking);
    }

    const int32_t width = modes[0].nWidth;
    const int32_t height = modes[0].nHeight;
    if (const OCUSTATUS s = OcuSetResolution(camera.handle, 0); s != OCU_OK) {
        return Fail("Choosing resolution mode 0", s);
    }
    if (const OCUSTATUS s = OcuSetOutputWindow(camera.handle, 0, 0, width, height); s != OCU_OK) {
        return Fail("Setting the output window", s);
    }

    std::vector<uint8_t> buffer(static_cast<size_t>(width) * static_cast<size_t>(height));
    uint8_t* const buffers[] = {buffer.data()};
    Stream* const stream = &g_stream;
    if (const OCUSTATUS s = OcuOpenSnap(camera.handle, OnFrame, stream); s != OCU_OK) {
        return Fail("Opening the capture", s);
    }
    if (const OCUSTATUS s = OcuStartSnap(camera.handle, buffers, 1); s != OCU_OK) {
        OcuCloseSnap(camera.handle);
        return Fail("Starting the capture", s);
    }
    std::printf("Streaming %d x %d for two seconds...\n", width, height);
    std::fflush(stdout);
    // Two seconds from the first frame, and at least two frames for a rate, as long as frames come.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point first{};
    for (;;) {
        const Clock::time_point now = Clock::now();
        const uint32_t received = stream->frames.load();
        if (received > 0 && first == Clock::time_point{}) {
            first = now;
        }
        const bool enough = received >= 2 && now - first >= std::chrono::seconds(2);
        if (enough || now - (received > 0 ? first : start) >= kFirstFrameTimeout) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    OcuStopSnap(camera.handle);
    OcuCloseSnap(camera.handle);

    const uint32_t frames = stream->frames.load();
    std::printf("  Frames received: %u\n", frames);
    if (frames == 0) {
        return Fail("Streaming", OCU_ERR_TIMEOUT);
    }
    // The rate between the first frame and the last, as the camera timed them: the start-up is not in it.
    const double span = static_cast<double>(stream->lastUs.load() - stream->firstUs.load()) / 1e6;
    if (frames >= 2 && span > 0.0) {
        std::printf("  Rate: %.1f fps\n", (frames - 1) / span);
    } else {
        std::printf("  Rate: not measured (one frame)\n");
    }

    // The buffer holds the last frame: closing guarantees nothing writes it any more.
    const int32_t fw = stream->width.load();
    const int32_t fh = stream->height.load();
    double sum[2][2] = {};
    long count[2][2] = {};
    for (int32_t y = 0; y < fh; ++y) {
        for (int32_t x = 0; x < fw; ++x) {
            sum[y & 1][x & 1] +=
                buffer[static_cast<size_t>(y) * static_cast<size_t>(fw) + static_cast<size_t>(x)];
            ++count[y & 1][x & 1];
        }
    }
    int32_t layoutCode = OCU_BAYER_NONE;
    size = sizeof layoutCode;
    if (const OCUSTATUS s = OcuGetDeviceInfo(camera.handle, OCU_INFO_BAYER_LAYOUT, &layoutCode, &size);
        s != OCU_OK) {
        return Fail("Reading the Bayer layout", s);
    }
    const char* layout = LayoutName(layoutCode);
    if (!layout) {
        std::printf(
            "  Monochrome sensor: mean level %.1f\n",
            (sum[0][0] + sum[0][1] + sum[1][0] + sum[1][1]) /
                std::max(1.0, static_cast<double>(count[0][0] + count[0][1] + count[1][0] + count[1][1])));
        return 0;
    }
    std::printf("  Mean level per Bayer channel (layout %s, as the camera reports it):\n", layout);
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 2; ++c) {
            const char colour = layout[r * 2 + c];
            const char* name = colour == 'R'   ? "R "
                               : colour == 'B' ? "B "
                                               : (layout[r * 2 + (1 - c)] == 'R' ? "Gr" : "Gb");
            std::printf("    %s (row %d, column %d): %.1f\n", name, r, c,
                        count[r][c] ? sum[r][c] / static_cast<double>(count[r][c]) : 0.0);
        }
    }
    return 0;
}
