// The Aravis backend: the arithmetic between registers and GenICam features, and the driver's calls
// reaching Aravis's fake camera, read back from the camera's own features.
#include "AravisSupport.h"
#include "aravis/Features.h"
#include "aravis/Mapping.h"

#include <cmath>
#include <cstring>

namespace ocusnap::test {
namespace {

using namespace std::chrono_literals;
namespace arv = detail::aravis;

TEST(AravisMapping, TheCameraRegionIsTheSmallestItsStepsAllowAroundTheWindow) {
    struct Case {
        int64_t start, size;
        arv::AxisLimits limits;
        std::optional<arv::Span> expected;
    };
    const Case cases[] = {
        // Steps of 1 take the window as it is; an empty window still needs one sample.
        {8, 100, {0, 1, 1, 1, 2048}, arv::Span{8, 100}},
        {0, 0, {0, 1, 1, 1, 2048}, arv::Span{0, 1}},
        // Offsets in steps of 8, sizes in steps of 16: the start moves left, the end right.
        {10, 100, {0, 8, 16, 16, 2048}, arv::Span{8, 112}},
        // Sizes counted from the minimum (min + k * increment).
        {0, 20, {0, 4, 24, 8, 640}, arv::Span{0, 24}},
        {0, 25, {0, 4, 24, 8, 640}, arv::Span{0, 32}},
        // At the right edge a span that would overrun the image moves left in offset steps.
        {628, 12, {0, 8, 16, 16, 640}, arv::Span{624, 16}},
        {630, 10, {0, 4, 64, 4, 640}, arv::Span{576, 64}},
        // A window outside the image, or one the steps cannot cover, is refused.
        {600, 50, {0, 1, 1, 1, 640}, std::nullopt},
        {2, 10, {0, 4, 16, 16, 12}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(arv::ContainingSpan(c.start, c.size, c.limits), c.expected) << c.start << " + " << c.size;
    }
    EXPECT_EQ(arv::FloorToStep(2050, 16, 8), 2048);
    EXPECT_EQ(arv::FloorToStep(15, 16, 8), 0);
    // Feature values: clamped, and on the grid min + k * increment when there is one.
    EXPECT_DOUBLE_EQ(arv::SnapToRange(6.02, {-6, 24, 0}), 6.02);
    EXPECT_DOUBLE_EQ(arv::SnapToRange(99, {-6, 24, 0}), 24);
    EXPECT_DOUBLE_EQ(arv::SnapToRange(62499999, {1000000, 125000000, 1000}), 62500000);
    EXPECT_DOUBLE_EQ(arv::SnapToRange(125000000, {1000000, 124999500, 1000}), 124999000);
}

TEST(AravisMapping, GainsFrameTimesAndSampleDepths) {
    // Gain 8 is unity: 0 dB, twice is 6.02 dB; a raw feature runs from its minimum at unity.
    EXPECT_NEAR(arv::GainDecibels(8), 0.0, 1e-12);
    EXPECT_NEAR(arv::GainDecibels(16), 6.0206, 1e-4);
    EXPECT_TRUE(std::isinf(arv::GainDecibels(0)));
    EXPECT_DOUBLE_EQ(arv::RawGain(4, 0, 10), 0.0);
    EXPECT_DOUBLE_EQ(arv::RawGain(8, 0, 10), 0.0);
    EXPECT_DOUBLE_EQ(arv::RawGain(127, 0, 10), 10.0);
    EXPECT_NEAR(arv::RawGain(67.5, 100, 200), 150.0, 1e-9);
    // Blanking lengthens the camera's own period by lines of it; none leaves it.
    EXPECT_DOUBLE_EQ(arv::BlankedFramePeriod(40000, 480, 0), 40000);
    EXPECT_DOUBLE_EQ(arv::BlankedFramePeriod(40000, 480, -16), 40000);
    EXPECT_DOUBLE_EQ(arv::BlankedFramePeriod(40000, 480, 48), 44000);

    // A 4 x 3 buffer of 12-bit samples, little-endian; the frame is its 2 x 2 middle right part.
    const uint16_t samples[3][4] = {{0, 1, 2, 3}, {4, 0x0ff0, 0x0fff, 7}, {8, 0x0010, 0x0123, 11}};
    uint8_t bytes[sizeof samples];
    for (size_t i = 0; i < sizeof samples / 2; ++i) {
        const uint16_t v = (&samples[0][0])[i];
        bytes[2 * i] = static_cast<uint8_t>(v & 0xff);
        bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    const arv::SampleLayout deep{4, 2, 12, 1, 1, 2, 2};
    EXPECT_EQ(arv::RequiredBufferBytes(deep), sizeof bytes - 2);
    struct Level {
        int32_t level;
        std::array<uint8_t, 4> expected;
    };
    // Level 0 delivers bits 11..4, each further level one bit lower, saturating.
    const Level levels[] = {
        {0, {0xff, 0xff, 0x01, 0x12}}, {1, {0xff, 0xff, 0x02, 0x24}}, {3, {0xff, 0xff, 0x08, 0x91}}};
    for (const Level& l : levels) {
        std::array<uint8_t, 4> out{};
        arv::CopyFrame(bytes, deep, l.level, false, out.data());
        EXPECT_EQ(out, l.expected) << "level " << l.level;
    }
    // 8-bit samples are the top 8 bits: level 0 as they are, each further level twice the picture,
    // saturating; a camera that shifts its bits itself delivers them as they are. Rows top first, packed.
    const uint8_t plain[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    struct Plain {
        int32_t level;
        bool cameraShifts;
        std::array<uint8_t, 4> expected;
    };
    const uint8_t bright[] = {1, 2, 3, 4, 5, 6, 7, 100, 9, 10, 11, 200};
    for (const Plain& c : {Plain{0, false, {7, 8, 11, 12}}, Plain{1, false, {14, 16, 22, 24}},
                           Plain{3, false, {56, 64, 88, 96}}, Plain{3, true, {7, 8, 11, 12}}}) {
        std::array<uint8_t, 4> out{};
        arv::CopyFrame(plain, {4, 1, 8, 2, 1, 2, 2}, c.level, c.cameraShifts, out.data());
        EXPECT_EQ(out, c.expected) << "level " << c.level << (c.cameraShifts ? " shifted by the camera" : "");
    }
    std::array<uint8_t, 4> out{};
    arv::CopyFrame(bright, {4, 1, 8, 2, 1, 2, 2}, 2, false, out.data());
    EXPECT_EQ(out, (std::array<uint8_t, 4>{28, 255, 44, 255}));
}

TEST(AravisMapping, OffsetsKeepToTheBayerPeriodAndReductionsKeepTheFormat) {
    // Offsets in steps that keep the pattern's phase: 1 -> 2, 2 stays, 3 -> 6, 4 stays.
    for (const auto& [increment, step] : {std::pair{1, 2}, {2, 2}, {3, 6}, {4, 4}, {0, 2}}) {
        EXPECT_EQ(arv::BayerOffsetStep(increment), step) << increment;
    }
    // A centred quarter of a 1440 x 1080 sensor: rows from 404, not 405 (which would swap the phase).
    EXPECT_EQ(arv::CentredOffset(1080, 270, 0, 2), 404);
    EXPECT_EQ(arv::CentredOffset(1440, 360, 0, 2), 540);
    EXPECT_EQ(arv::CentredOffset(1080, 270, 0, 8), 400);
    EXPECT_EQ(arv::CentredOffset(100, 100, 0, 2), 0);
    // Binning first, then decimation, then a centred region; a reduction that turns the format Mono
    // (or that the camera lacks) is passed over.
    struct Choice {
        arv::ReductionOffer binning, decimation;
        arv::Reduction expected;
    };
    const Choice choices[] = {
        {{true, true}, {true, true}, arv::Reduction::Binning},
        {{true, false}, {true, true}, arv::Reduction::Decimation},
        {{false, false}, {true, true}, arv::Reduction::Decimation},
        {{true, false}, {true, false}, arv::Reduction::CentredRegion},
        {{false, false}, {false, false}, arv::Reduction::CentredRegion},
    };
    for (const Choice& c : choices) {
        EXPECT_EQ(arv::ChooseReduction(c.binning, c.decimation), c.expected);
    }
}

TEST(AravisMapping, GainFollowsTheFeaturesUnit) {
    // The standard Gain counts decibels, also when it names no unit; a factor unit takes the factor;
    // an integer Gain, or one in a unit of its own, is raw steps from its minimum at unity.
    struct Scale {
        bool integer;
        const char* unit;
        arv::GainScale expected;
    };
    const Scale scales[] = {
        {false, "dB", arv::GainScale::Decibels}, {false, nullptr, arv::GainScale::Decibels},
        {false, "", arv::GainScale::Decibels},   {false, " DB ", arv::GainScale::Decibels},
        {false, "x", arv::GainScale::Factor},    {false, "times", arv::GainScale::Factor},
        {true, "dB", arv::GainScale::Raw},       {false, "ADU", arv::GainScale::Raw}};
    for (const Scale& c : scales) {
        EXPECT_EQ(arv::GainScaleOf(c.integer, c.unit), c.expected) << (c.unit ? c.unit : "null");
    }
    struct Value {
        arv::GainScale scale;
        double gain, min, max, expected;
    };
    const Value values[] = {
        {arv::GainScale::Decibels, 16, 0, 24, 6.0206}, {arv::GainScale::Decibels, 0, -6, 24, -6},
        {arv::GainScale::Decibels, 127, 0, 12, 12},    {arv::GainScale::Factor, 16, 1, 8, 2},
        {arv::GainScale::Factor, 4, 1, 8, 1},          {arv::GainScale::Factor, 127, 1, 32, 15.875},
        {arv::GainScale::Raw, 8, 100, 1000, 100},      {arv::GainScale::Raw, 127, 100, 1000, 1000},
    };
    for (const Value& v : values) {
        EXPECT_NEAR(arv::GainFeatureValue(v.scale, v.gain, v.min, v.max), v.expected, 1e-4) << v.gain;
    }
}

class AravisFake : public FakeCameraTest {
protected:
    std::vector<uint8_t> buffer = std::vector<uint8_t>(2048 * 2048);
    uint8_t* buffers[1] = {buffer.data()};
    void TearDown() override { DrainDeliveryThreads(); }
};

TEST_F(AravisFake, OpensTheCameraAndReportsItsSensor) {
    uint32_t count = 0;
    ASSERT_EQ(OcuListCameras(nullptr, &count), OCU_OK);
    ASSERT_GE(count, 1u);
    std::vector<OcuCameraEntry> list(count);
    ASSERT_EQ(OcuListCameras(list.data(), &count), OCU_OK);
    EXPECT_STREQ(list[0].szId, "Fake_1");
    EXPECT_STREQ(list[0].szVendor, "Aravis");
    EXPECT_STREQ(list[0].szModel, "Fake");
    uint32_t none = 0;
    EXPECT_EQ(OcuListCameras(list.data(), &none), OCU_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(none, count);
    // Every camera of the build, with the id that opens it: the simulated one first.
    uint32_t all = 0;
    ASSERT_EQ(OcuListAllCameras(nullptr, &all), OCU_OK);
    ASSERT_EQ(all, count + 1);
    std::vector<OcuCameraInfo> cameras(all);
    ASSERT_EQ(OcuListAllCameras(cameras.data(), &all), OCU_OK);
    EXPECT_STREQ(cameras[0].szCameraId, "sim");
    EXPECT_STREQ(cameras[0].szInterface, "Simulated");
    EXPECT_STREQ(cameras[1].szCameraId, "aravis:Fake_1");
    EXPECT_STREQ(cameras[1].szVendor, "Aravis");
    EXPECT_STREQ(cameras[1].szModel, "Fake");
    EXPECT_STREQ(cameras[1].szSerial, "1");
    EXPECT_STREQ(cameras[1].szInterface, "Fake");
    all = 1;
    EXPECT_EQ(OcuListAllCameras(cameras.data(), &all), OCU_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(all, count + 1);

    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    int32_t type = 0;
    uint32_t size = sizeof type;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_DEVICE_TYPE, &type, &size), OCU_OK);
    EXPECT_EQ(type, 3);
    const std::vector<ResolutionEntry> modes = Modes(cam.handle);
    ASSERT_EQ(modes.size(), 3u);
    // 2x and 4x binning, which the fake camera offers in both directions.
    EXPECT_EQ(modes[0].nWidth, 2048);
    EXPECT_EQ(modes[0].nHeight, 2048);
    EXPECT_EQ(modes[1].nWidth, 1024);
    EXPECT_EQ(modes[1].nHeight, 1024);
    EXPECT_EQ(modes[2].nWidth, 512);
    EXPECT_EQ(modes[2].nHeight, 512);
    BlankingLimits limits{};
    size = sizeof limits;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_BLANKING_LIMITS, &limits, &size), OCU_OK);
    EXPECT_EQ(limits.nHMin, -36);
    EXPECT_EQ(limits.nVMax, 4095);
    int32_t layout = -1;
    size = sizeof layout;
    ASSERT_EQ(OcuGetDeviceInfo(cam.handle, OCU_INFO_BAYER_LAYOUT, &layout, &size), OCU_OK);
    EXPECT_EQ(layout, OCU_BAYER_GRBG);
    EXPECT_EQ(CameraEnum(cam.handle, "PixelFormat"), "BayerGR8");
    // Opened at mode 0 with the whole sensor as its window.
    EXPECT_EQ(CameraNumber(cam.handle, "Width"), 2048);
    EXPECT_EQ(CameraNumber(cam.handle, "BinningHorizontal"), 1);

    // The camera serves one opener; by name it opens too, and an unknown name finds nothing.
    OCUHANDLE second = nullptr;
    EXPECT_EQ(BeginOcuDevice(OCU_FIRST_DEVICE, &second), OCU_ERR_DEVICE_OPEN);
    ASSERT_EQ(EndOcuDevice(cam.handle), OCU_OK);
    cam.handle = nullptr;
    env.Set("OCUSNAP_CAMERA", "aravis:Fake_1");
    ASSERT_EQ(BeginOcuDevice(OCU_FIRST_DEVICE, &second), OCU_OK);
    EXPECT_EQ(CameraIdOf(second), "aravis:Fake_1");
    EXPECT_EQ(EndOcuDevice(second), OCU_OK);
    env.Set("OCUSNAP_CAMERA", "aravis:NoSuchCamera");
    EXPECT_EQ(BeginOcuDevice(OCU_FIRST_DEVICE, &second), OCU_ERR_NO_CAMERA);
    // By id, whatever the environment selects.
    env.Set("OCUSNAP_CAMERA", "sim");
    for (const char* id : {"aravis:Fake_1", "aravis"}) {
        ASSERT_EQ(BeginOcuDeviceById(id, &second), OCU_OK) << id;
        EXPECT_EQ(CameraEnum(second, "DeviceVendorName"), "Aravis") << id;
        // However it was named, the id that opens it again and that the camera lists show.
        EXPECT_EQ(CameraIdOf(second), "aravis:Fake_1") << id;
        EXPECT_EQ(EndOcuDevice(second), OCU_OK);
    }
    EXPECT_EQ(BeginOcuDeviceById("aravis:NoSuchCamera", &second), OCU_ERR_NO_CAMERA);
    env.Set("OCUSNAP_CAMERA", "aravis");
    EXPECT_EQ(BeginOcuDevice(2, &second), OCU_ERR_NO_CAMERA);
    env.Set("OCUSNAP_ARAVIS_FAKE", "yes");
    EXPECT_EQ(BeginOcuDevice(OCU_FIRST_DEVICE, &second), OCU_ERR_BAD_CONFIGURATION);
}

// The fake camera's samples depend on x + y only (a moving diagonal ramp), each site through its
// colour: equal along anti-diagonals two sites apart, and on the green sites of a GRBG frame (x + y
// even) also one site apart.
void ExpectFakeGrbgPattern(const std::vector<uint8_t>& frame, int32_t width, int32_t height) {
    ASSERT_EQ(frame.size(), static_cast<size_t>(width) * height);
    auto at = [&](int32_t x, int32_t y) { return frame[static_cast<size_t>(y) * width + x]; };
    int mismatches = 0;
    for (int32_t y = 2; y < height; ++y) {
        for (int32_t x = 0; x + 2 < width; ++x) {
            mismatches += at(x, y) != at(x + 2, y - 2);
            if ((x + y) % 2 == 0) {
                mismatches += at(x, y) != at(x + 1, y - 1);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    int changes = 0;
    for (int32_t x = 2; x < width; x += 2) {
        changes += at(x, 0) != at(x - 2, 0);
    }
    EXPECT_GT(changes, width / 8) << "a ramp, not a flat frame";
}

TEST_F(AravisFake, TheRegionAndTheModeReachTheCameraAndFramesHaveTheWindowsSize) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    // The camera's own 8 bits, not doubled by the ADC level: the whole ramp, unsaturated.
    ASSERT_EQ(OcuADCControl(cam.handle, 0, 0), OCU_OK);
    ASSERT_EQ(OcuSetResolution(cam.handle, 1), OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 8, 6, 100, 50), OCU_OK);
    EXPECT_EQ(CameraNumber(cam.handle, "BinningHorizontal"), 2);
    EXPECT_EQ(CameraNumber(cam.handle, "BinningVertical"), 2);
    EXPECT_EQ(CameraNumber(cam.handle, "OffsetX"), 8);
    EXPECT_EQ(CameraNumber(cam.handle, "OffsetY"), 6);
    EXPECT_EQ(CameraNumber(cam.handle, "Width"), 100);
    EXPECT_EQ(CameraNumber(cam.handle, "Height"), 50);
    // Outside the mode's image: refused, and the camera keeps its region.
    EXPECT_EQ(OcuSetOutputWindow(cam.handle, 1000, 0, 100, 50), OCU_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(CameraNumber(cam.handle, "OffsetX"), 8);

    FrameLog log;
    log.buffer = buffer.data();
    ASSERT_EQ(OcuOpenSnap(cam.handle, FrameLog::Receive, &log), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    ASSERT_TRUE(log.WaitFor(2));
    {
        std::lock_guard lock(log.mutex);
        EXPECT_EQ(log.width, 100);
        EXPECT_EQ(log.height, 50);
        ExpectFakeGrbgPattern(log.last, log.width, log.height);
    }
    // A mode change while frames come: the window is cut to the new image, frames go on at its size.
    ASSERT_EQ(OcuSetResolution(cam.handle, 2), OCU_OK);
    EXPECT_EQ(CameraNumber(cam.handle, "BinningHorizontal"), 4);
    const int before = log.Count();
    ASSERT_TRUE(log.WaitFor(before + 2));
    ASSERT_EQ(OcuStopSnap(cam.handle), OCU_OK);
    {
        std::lock_guard lock(log.mutex);
        EXPECT_EQ(log.width, 100);
        EXPECT_EQ(log.height, 50);
    }
    // The whole mode-2 image, and an empty window: frames of nothing still come. The capture stops
    // after the first and closes while the last still streams.
    struct Window {
        int32_t size;
        bool last;
    };
    for (const Window w : {Window{512, false}, Window{0, true}}) {
        ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, w.size, w.size), OCU_OK);
        ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
        ASSERT_TRUE(log.WaitFor(log.Count() + 2)) << w.size;
        ASSERT_EQ(w.last ? OcuCloseSnap(cam.handle) : OcuStopSnap(cam.handle), OCU_OK) << w.size;
        std::lock_guard lock(log.mutex);
        EXPECT_EQ(log.width, w.size);
        EXPECT_EQ(log.height, w.size);
        if (w.size > 0) {
            ExpectFakeGrbgPattern(log.last, log.width, log.height);
        }
    }
}

// The exposure time that an exposure value stands for on a device of type 3 at high speed.
double ExposureMicroseconds(int32_t value, int32_t width, int32_t hBlanking) {
    const double line = width + std::max(hBlanking + 36, 0) + 305;
    return ((value - 1) * line - 180) / 24e6 * 1e6;
}

TEST_F(AravisFake, ExposureGainsAndBlankingReachTheCamerasFeatures) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 640, 480), OCU_OK);
    // The value the viewer computes for 20 ms comes back as 20 ms, within a line.
    const int32_t value = static_cast<int32_t>((0.020 * 24e6 + 180) / (640 + 36 + 305) + 1);
    ASSERT_EQ(OcuAECControl(cam.handle, 1, value), OCU_OK);
    EXPECT_NEAR(CameraNumber(cam.handle, "ExposureTimeAbs"), 20000, (640 + 36 + 305) / 24.0 + 1);
    EXPECT_NEAR(CameraNumber(cam.handle, "ExposureTimeAbs"), ExposureMicroseconds(value, 640, 0), 1);
    // The line time follows blanking and the window width.
    ASSERT_EQ(OcuSetBlanking(cam.handle, 100, 48), OCU_OK);
    EXPECT_NEAR(CameraNumber(cam.handle, "ExposureTimeAbs"), ExposureMicroseconds(value, 640, 100), 1);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 320, 480), OCU_OK);
    EXPECT_NEAR(CameraNumber(cam.handle, "ExposureTimeAbs"), ExposureMicroseconds(value, 320, 100), 1);
    // The fake camera has no clock to set, but normal speed still halves the viewer's clock: the
    // same time needs half the value.
    ASSERT_EQ(OcuSetSnapSpeed(cam.handle, 0), OCU_OK);
    const int32_t slow = static_cast<int32_t>((0.020 * 12e6 + 180) / (320 + 136 + 305) + 1);
    ASSERT_EQ(OcuAECControl(cam.handle, 1, slow), OCU_OK);
    EXPECT_NEAR(CameraNumber(cam.handle, "ExposureTimeAbs"), 20000, (320 + 136 + 305) / 12.0 + 1);
    ASSERT_EQ(OcuSetSnapSpeed(cam.handle, 1), OCU_OK);
    // Clamped to the camera's range (10 us to 10 s).
    ASSERT_EQ(OcuAECControl(cam.handle, 1, 0), OCU_OK);
    EXPECT_EQ(CameraNumber(cam.handle, "ExposureTimeAbs"), 10);
    // Vertical blanking of 48 lines on a 480-line region: the frame period (40 ms) grows by a tenth.
    EXPECT_EQ(CameraNumber(cam.handle, "AcquisitionFramePeriod"), 44000);
    ASSERT_EQ(OcuSetBlanking(cam.handle, 0, 0), OCU_OK);
    EXPECT_EQ(CameraNumber(cam.handle, "AcquisitionFramePeriod"), 40000);

    // The fake camera has one raw gain (0..10): the greens drive it, 8 is its minimum, 127 its maximum.
    struct GainCase {
        int32_t red, greenRed, greenBlue, blue;
    };
    const GainCase gains[] = {{8, 8, 8, 8}, {8, 127, 127, 8}, {127, 20, 30, 0}, {0, 4, 4, 127}};
    for (const GainCase& g : gains) {
        ASSERT_EQ(OcuAGCControl(cam.handle, OCU_GAIN_RED, g.red), OCU_OK);
        ASSERT_EQ(OcuAGCControl(cam.handle, OCU_GAIN_GREEN_RED_ROW, g.greenRed), OCU_OK);
        ASSERT_EQ(OcuAGCControl(cam.handle, OCU_GAIN_GREEN_BLUE_ROW, g.greenBlue), OCU_OK);
        ASSERT_EQ(OcuAGCControl(cam.handle, OCU_GAIN_BLUE, g.blue), OCU_OK);
        const double expected =
            std::round(g.greenRed == 8 ? 0 : arv::RawGain((g.greenRed + g.greenBlue) / 2.0, 0, 10));
        EXPECT_EQ(CameraNumber(cam.handle, "GainRaw"), expected) << g.greenRed << "/" << g.greenBlue;
    }
    // 8-bit samples only: the ADC level is taken and has no effect on the camera.
    EXPECT_EQ(OcuADCControl(cam.handle, 0, 3), OCU_OK);
    EXPECT_EQ(CameraEnum(cam.handle, "PixelFormat"), "BayerGR8");
}

TEST_F(AravisFake, TriggerModeUsesTheLineAndASingleSnapIsASoftwareTrigger) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 64, 32), OCU_OK);
    ASSERT_EQ(OcuSetSnapMode(cam.handle, 1), OCU_OK);
    EXPECT_EQ(CameraEnum(cam.handle, "TriggerMode"), "On");
    EXPECT_EQ(CameraEnum(cam.handle, "TriggerSource"), "Line0");

    // One software-triggered frame, in the buffer on return; the line trigger is back afterwards.
    std::fill(buffer.begin(), buffer.end(), 0);
    ASSERT_EQ(OcuSnapShot(cam.handle, buffers, 1), OCU_OK);
    EXPECT_EQ(CameraEnum(cam.handle, "TriggerMode"), "On");
    EXPECT_EQ(CameraEnum(cam.handle, "TriggerSource"), "Line0");
    ExpectFakeGrbgPattern({buffer.begin(), buffer.begin() + 64 * 32}, 64, 32);
    // The software trigger reached the camera (the fake camera keeps the command in its register).
    uint32_t triggered = 0;
    AravisOf(cam.handle).WithCamera([&](ArvCamera* camera) {
        arv_device_read_register(arv_camera_get_device(camera), 0x30c, &triggered, nullptr);
    });
    EXPECT_EQ(triggered, 1u);

    ASSERT_EQ(OcuSetSnapMode(cam.handle, 0), OCU_OK);
    EXPECT_EQ(CameraEnum(cam.handle, "TriggerMode"), "Off");
    std::fill(buffer.begin(), buffer.end(), 0);
    ASSERT_EQ(OcuSnapShot(cam.handle, buffers, 1), OCU_OK);
    EXPECT_EQ(CameraEnum(cam.handle, "TriggerMode"), "Off");
    ExpectFakeGrbgPattern({buffer.begin(), buffer.begin() + 64 * 32}, 64, 32);
}

TEST_F(AravisFake, ACameraLostMidStreamEndsDeliveryAndTheNextStartSaysSo) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 64, 32), OCU_OK);
    FrameLog log;
    log.buffer = buffer.data();
    ASSERT_EQ(OcuOpenSnap(cam.handle, FrameLog::Receive, &log), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    ASSERT_TRUE(log.WaitFor(2));

    // Frames are still coming just before the loss, so that none coming after it is the loss's doing.
    ASSERT_TRUE(log.WaitFor(log.Count() + 2));
    // What Aravis signals when the camera stops answering; the fake camera's stream itself goes on.
    AravisOf(cam.handle).SignalControlLost();
    const int atLoss = log.Count();
    std::this_thread::sleep_for(300ms); // several frame periods of the fake camera
    EXPECT_LE(log.Count(), atLoss + 1) << "frames after the loss";

    EXPECT_EQ(OcuStopSnap(cam.handle), OCU_OK);
    const OCUSTATUS start = OcuStartSnap(cam.handle, buffers, 1);
    EXPECT_EQ(start, OCU_ERR_CAMERA_LOST);
    EXPECT_NE(std::strstr(OcuGetErrorString(start), "connection to the camera was lost"), nullptr);
    EXPECT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 32, 32), OCU_ERR_CAMERA_LOST);
    EXPECT_EQ(OcuSnapShot(cam.handle, buffers, 1), OCU_ERR_CAMERA_LOST);
    // Closed all the same, and said why the frames stopped.
    EXPECT_EQ(OcuCloseSnap(cam.handle), OCU_ERR_CAMERA_LOST);
    EXPECT_EQ(OcuCloseSnap(cam.handle), OCU_ERR_SNAP_NOT_OPEN);
    EXPECT_EQ(OcuOpenSnap(cam.handle, FrameLog::Receive, &log), OCU_ERR_CAMERA_LOST);
    EXPECT_EQ(EndOcuDevice(cam.handle), OCU_OK);
    cam.handle = nullptr;

    // Once it answers again the camera opens as new.
    Camera again;
    EXPECT_EQ(again.status, OCU_OK);
}

} // namespace
} // namespace ocusnap::test
