#include "Stats.h"

#include "OcuSnap.h"
#include "PixConv.h"

#include <array>
#include <cstdio>
#include <vector>

int Fail(const char* what, OCUSTATUS status) {
    std::fprintf(stderr, "ocusnap-info: %s failed: %s\n", what, OcuGetErrorString(status));
    return 1;
}

const char* LayoutName(int32_t layout) {
    constexpr const char* kNames[] = {"GBRG", "GRBG", "BGGR", "RGGB"};
    return layout >= OCU_BAYER_GBRG && layout <= OCU_BAYER_RGGB ? kNames[layout - OCU_BAYER_GBRG] : nullptr;
}

namespace {

constexpr const char* kChannelNames[] = {"R", "Gr", "Gb", "B"};

void PrintChannel(const char* name, const uint32_t* histogram) {
    double mean = 0, at0 = 0, at255 = 0;
    GetHistogramStats(histogram, &mean, &at0, &at255);
    std::printf("%-2s mean %6.2f  at 0 %7.3f %%  at 255 %7.3f %%\n", name, mean, 100.0 * at0, 100.0 * at255);
}

} // namespace

int PrintFrameStats(int frames) {
    OpenCamera camera;
    if (const OCUSTATUS s = BeginOcuDevice(OCU_FIRST_DEVICE, &camera.handle); s != OCU_OK) {
        return Fail("Opening camera 1", s);
    }
    uint32_t size = 0;
    if (const OCUSTATUS s = OcuGetDeviceInfo(camera.handle, OCU_INFO_RESOLUTIONS, nullptr, &size);
        s != OCU_OK) {
        return Fail("Reading the resolution table", s);
    }
    std::vector<ResolutionEntry> modes(size / sizeof(ResolutionEntry));
    if (const OCUSTATUS s = OcuGetDeviceInfo(camera.handle, OCU_INFO_RESOLUTIONS, modes.data(), &size);
        s != OCU_OK || modes.empty()) {
        return Fail("Reading the resolution table", s != OCU_OK ? s : OCU_ERR_INTERNAL);
    }
    int32_t layout = OCU_BAYER_NONE;
    size = sizeof layout;
    if (const OCUSTATUS s = OcuGetDeviceInfo(camera.handle, OCU_INFO_BAYER_LAYOUT, &layout, &size);
        s != OCU_OK) {
        return Fail("Reading the Bayer layout", s);
    }
    if (const OCUSTATUS s = OcuSetResolution(camera.handle, 0); s != OCU_OK) {
        return Fail("Choosing resolution mode 0", s);
    }
    const int32_t width = modes[0].nWidth;
    const int32_t height = modes[0].nHeight;
    if (const OCUSTATUS s = OcuSetOutputWindow(camera.handle, 0, 0, width, height); s != OCU_OK) {
        return Fail("Setting the output window", s);
    }

    std::vector<uint8_t> frame(static_cast<size_t>(width) * static_cast<size_t>(height));
    const bool mono = LayoutName(layout) == nullptr;
    for (int i = 1; i <= frames; ++i) {
        uint8_t* buffers[] = {frame.data()};
        if (const OCUSTATUS s = OcuSnapShot(camera.handle, buffers, 1); s != OCU_OK) {
            return Fail("Taking a frame", s);
        }
        std::printf("frame %d: %d x %d, layout %s\n", i, width, height, mono ? "mono" : LayoutName(layout));
        if (mono) {
            std::array<uint32_t, 256> levels{};
            GetBrightnessHistogram(frame.data(), width, height, width, 8, levels.data());
            PrintChannel("Y", levels.data());
        } else {
            std::array<uint32_t, 4 * 256> histograms{};
            GetRawHistograms(frame.data(), width, height, layout, histograms.data());
            for (int c = 0; c < 4; ++c) {
                PrintChannel(kChannelNames[c], histograms.data() + 256 * c);
            }
        }
        // A monochrome frame is measured as if its samples were the greens of a mosaic: every second one.
        double sharpness = 0;
        GetSharpness(frame.data(), width, height, 0, 0, width, height, mono ? OCU_BAYER_GRBG : layout,
                     &sharpness);
        std::printf("sharpness %.1f\n", sharpness);
        std::fflush(stdout);
    }
    return 0;
}
