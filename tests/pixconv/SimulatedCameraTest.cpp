// The corrections against the simulated camera's sensor defects: hot and dead pixels, per-pixel
// offsets and read noise, with frames of the whole sensor for the captures and of a region, away from
// the sensor's corner, for the corrections.
#include "OcuSnap.h"
#include "PixConv.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace {

constexpr int kMode = 2; // the smallest mode keeps the tests quick
constexpr int kLeft = 38, kTop = 20, kWidth = 200, kHeight = 160;

// A simulated camera looking at `scene` ("dark": lens covered, "flat": uniform light, "chart": the
// test chart), by default at the highest ADC level, where its offsets and noise are largest.
class SimCamera {
public:
    SimCamera(const char* scene, int nGain, int nAdcLevel = 3) {
        setenv("OCUSNAP_CAMERA", "sim", 1);
        setenv("OCUSNAP_SIM_SCENE", scene, 1);
        setenv("OCUSNAP_SIM_FPS", "max", 1);
        setenv("OCUSNAP_SIM_NOISE", "1", 1);
        setenv("OCUSNAP_BAYER", "GRBG", 1);
        EXPECT_EQ(BeginOcuDevice(OCU_FIRST_DEVICE, &m_hDevice), OCU_OK);
        uint32_t size = 0;
        OcuGetDeviceInfo(m_hDevice, OCU_INFO_RESOLUTIONS, nullptr, &size);
        std::vector<ResolutionEntry> modes(size / sizeof(ResolutionEntry));
        OcuGetDeviceInfo(m_hDevice, OCU_INFO_RESOLUTIONS, modes.data(), &size);
        EXPECT_GT(modes.size(), size_t{kMode});
        width = modes.at(kMode).nWidth;
        height = modes.at(kMode).nHeight;
        OcuSetResolution(m_hDevice, kMode);
        OcuADCControl(m_hDevice, 0, nAdcLevel);
        for (uint8_t channel : {OCU_GAIN_RED, OCU_GAIN_GREEN_RED_ROW, OCU_GAIN_GREEN_BLUE_ROW, OCU_GAIN_BLUE})
            OcuAGCControl(m_hDevice, channel, nGain);
    }
    void Gain(uint8_t nChannel, int nGain) { OcuAGCControl(m_hDevice, nChannel, nGain); }
    ~SimCamera() { EndOcuDevice(m_hDevice); }
    SimCamera(const SimCamera&) = delete;
    SimCamera& operator=(const SimCamera&) = delete;

    std::vector<uint8_t> Snap(int nLeft, int nTop, int nWidth, int nHeight) {
        EXPECT_EQ(OcuSetOutputWindow(m_hDevice, nLeft, nTop, nWidth, nHeight), OCU_OK);
        std::vector<uint8_t> frame(static_cast<size_t>(nWidth) * nHeight);
        uint8_t* buffer = frame.data();
        EXPECT_EQ(OcuSnapShot(m_hDevice, &buffer, 1), OCU_OK);
        return frame;
    }
    std::vector<uint8_t> Full() { return Snap(0, 0, width, height); }
    std::vector<uint8_t> Region() { return Snap(kLeft, kTop, kWidth, kHeight); }

    int width = 0, height = 0;

private:
    OCUHANDLE m_hDevice = nullptr;
};

struct Stats {
    double spread = 0; // the largest standard deviation of the four Bayer channels
    int outliers = 0;  // samples more than 24 levels from the median of their same-colour neighbours
};

Stats Measure(const std::vector<uint8_t>& f, int w, int h) {
    Stats s;
    for (int k = 0; k < 4; ++k) {
        double sum = 0, sum2 = 0;
        int n = 0;
        for (int y = k / 2; y < h; y += 2)
            for (int x = k % 2; x < w; x += 2) {
                sum += f[y * w + x];
                sum2 += static_cast<double>(f[y * w + x]) * f[y * w + x];
                ++n;
            }
        const double mean = sum / n;
        s.spread = std::max(s.spread, std::sqrt(sum2 / n - mean * mean));
    }
    for (int y = 2; y < h - 2; ++y)
        for (int x = 2; x < w - 2; ++x) {
            int v[4] = {f[(y - 2) * w + x], f[(y + 2) * w + x], f[y * w + x - 2], f[y * w + x + 2]};
            std::sort(v, v + 4);
            s.outliers += std::abs(f[y * w + x] - (v[1] + v[2]) / 2) > 24;
        }
    return s;
}

int Count(const std::vector<uint8_t>& map, uint8_t mark) {
    return static_cast<int>(std::count(map.begin(), map.end(), mark));
}

TEST(SimulatedCamera, CoveredLensShowsTheHotPixelsAndErasingRemovesThem) {
    SimCamera camera("dark", 8);
    const auto dark = camera.Full();
    std::vector<uint8_t> map(dark.size(), PIX_PIXEL_GOOD);
    ASSERT_EQ(DetectDeadPixel(dark.data(), map.data(), camera.width, camera.height), 1);
    EXPECT_GT(Count(map, PIX_PIXEL_HOT), 0);
    // The scattered hot pixels and clusters, and the sensor's hot column once detection finds whole lines.
    EXPECT_LT(Count(map, PIX_PIXEL_HOT), 100 + camera.height);
    EXPECT_EQ(Count(map, PIX_PIXEL_DEAD), 0); // its dark level is too close to zero to show them

    auto region = camera.Region();
    const Stats before = Measure(region, kWidth, kHeight);
    ASSERT_EQ(
        EraseDeadPixel(region.data(), map.data(), kLeft, kTop, kWidth, kHeight, camera.width, camera.height),
        1);
    const Stats after = Measure(region, kWidth, kHeight);
    EXPECT_GT(before.outliers, 0);
    EXPECT_EQ(after.outliers, 0);
    EXPECT_LT(after.spread, 0.7 * before.spread);
}

TEST(SimulatedCamera, UniformLightShowsDeadPixelsToo) {
    SimCamera camera("flat", 2);
    const auto flat = camera.Full();
    std::vector<uint8_t> map(flat.size(), PIX_PIXEL_GOOD);
    ASSERT_EQ(DetectDeadPixel(flat.data(), map.data(), camera.width, camera.height), 1);
    EXPECT_GT(Count(map, PIX_PIXEL_HOT), 0);
    EXPECT_GT(Count(map, PIX_PIXEL_DEAD), 0);

    auto region = camera.Region();
    ASSERT_EQ(
        EraseDeadPixel(region.data(), map.data(), kLeft, kTop, kWidth, kHeight, camera.width, camera.height),
        1);
    EXPECT_EQ(Measure(region, kWidth, kHeight).outliers, 0);
}

TEST(SimulatedCamera, TemplateRemovesTheFixedPatternDownToTheReadNoise) {
    SimCamera camera("flat", 2);
    std::vector<uint8_t> map(static_cast<size_t>(camera.width) * camera.height, PIX_PIXEL_GOOD);
    auto flat = camera.Full();
    DetectDeadPixel(flat.data(), map.data(), camera.width, camera.height);

    // As the viewer captures it: ten frames, each with the bad pixels erased first.
    std::vector<int32_t> tmpl(map.size(), 0);
    for (int n = 0; n < 10; ++n) {
        flat = camera.Full();
        EraseDeadPixel(flat.data(), map.data(), 0, 0, camera.width, camera.height, camera.width,
                       camera.height);
        ASSERT_EQ(GetPatternNoise(flat.data(), tmpl.data(), camera.width, camera.height), 1);
    }
    ASSERT_EQ(AvgPatternNoise(tmpl.data(), camera.width, camera.height, 10), 1);

    auto region = camera.Region();
    EraseDeadPixel(region.data(), map.data(), kLeft, kTop, kWidth, kHeight, camera.width, camera.height);
    const Stats before = Measure(region, kWidth, kHeight);
    ASSERT_EQ(FixPatternNoise(region.data(), tmpl.data(), kLeft, kTop, kWidth, kHeight, camera.width,
                              camera.height),
              1);
    const Stats after = Measure(region, kWidth, kHeight);
    // What is left is the read noise of one frame (2 levels at this ADC level) and a little of ten.
    EXPECT_LT(after.spread, 0.8 * before.spread);
    EXPECT_LT(after.spread, 2.5);
}

// Whatever the sensor's own tint, the measured ratios must follow the channel gains: a red channel
// amplified 1.5 times needs a ratio 1.5 times smaller.
TEST(SimulatedCamera, WhiteBalanceRatiosFollowTheChannelGains) {
    SimCamera camera("chart", 8, 1);
    std::array<uint8_t, 256> identity;
    std::iota(identity.begin(), identity.end(), 0);
    auto measure = [&](double ratios[3]) {
        const auto raw = camera.Full();
        std::vector<uint8_t> rgb(raw.size() * 3);
        ConvertBayer2Rgb(rgb.data(), raw.data(), camera.width, camera.height, PIX_CONVERT_NORMAL,
                         identity.data(), identity.data(), identity.data(), 1, PIX_BAYER_GRBG);
        ASSERT_EQ(
            GetWhiteBalanceRatio(rgb.data(), camera.width, camera.height, &ratios[0], &ratios[1], &ratios[2]),
            1);
    };
    double plain[3], tinted[3];
    measure(plain);
    camera.Gain(OCU_GAIN_RED, 12);
    camera.Gain(OCU_GAIN_BLUE, 6);
    measure(tinted);
    EXPECT_EQ(tinted[1], 1.0);
    EXPECT_NEAR(tinted[0] / plain[0], 8.0 / 12, 0.03);
    EXPECT_NEAR(tinted[2] / plain[2], 8.0 / 6, 0.04);
}

} // namespace
