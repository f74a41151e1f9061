// The statistics of the exposure and focus aids: histograms per Bayer channel and of the brightness,
// means and clipped shares, and the sharpness of the green samples, against values counted here pixel by
// pixel (the channel of each pixel read from the layout's name), on hand-made frames and on the simulated
// camera's scenes.
#include "OcuSnap.h"
#include "TestImages.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using pixtest::kLayouts;
using Histograms = std::array<std::array<uint32_t, 256>, 4>;

constexpr const char* kLayoutNames[5] = {"", "GBRG", "GRBG", "BGGR", "RGGB"};

// The channel of (x, y) as the layout's name says: a green is Gr on the row that holds red.
int ChannelOf(int nLayout, int x, int y) {
    const char* cell = kLayoutNames[nLayout] + (y & 1) * 2;
    switch (cell[x & 1]) {
    case 'R':
        return PIX_CHANNEL_R;
    case 'B':
        return PIX_CHANNEL_B;
    default:
        return cell[1 - (x & 1)] == 'R' ? PIX_CHANNEL_GR : PIX_CHANNEL_GB;
    }
}

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    int At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Histograms CountRaw(const Frame& f, int nLayout) {
    Histograms h{};
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            ++h[ChannelOf(nLayout, x, y)][f.At(x, y)];
    return h;
}

Histograms LibraryRaw(const Frame& f, int nLayout) {
    Histograms h{};
    EXPECT_EQ(GetRawHistograms(f.pixels.data(), f.width, f.height, nLayout, h[0].data()), 1);
    return h;
}

struct Levels {
    double mean = 0, at0 = 0, at255 = 0;
};

Levels LibraryLevels(const uint32_t* histogram) {
    Levels l;
    EXPECT_EQ(GetHistogramStats(histogram, &l.mean, &l.at0, &l.at255), 1);
    return l;
}

// Squared differences of each green sample to the same green two to the right and two below, where both
// lie in the rectangle, averaged.
double CountSharpness(const Frame& f, int nLayout, int left, int top, int width, int height) {
    double sum = 0, n = 0;
    for (int y = top; y + 2 < top + height; ++y)
        for (int x = left; x + 2 < left + width; ++x) {
            const int c = ChannelOf(nLayout, x, y);
            if (c != PIX_CHANNEL_GR && c != PIX_CHANNEL_GB)
                continue;
            const double across = f.At(x + 2, y) - f.At(x, y);
            const double down = f.At(x, y + 2) - f.At(x, y);
            sum += across * across + down * down;
            n += 1;
        }
    return n > 0 ? sum / n : 0.0;
}

double LibrarySharpness(const Frame& f, int nLayout, int left, int top, int width, int height) {
    double s = -1;
    EXPECT_EQ(GetSharpness(f.pixels.data(), f.width, f.height, left, top, width, height, nLayout, &s), 1);
    return s;
}

Frame RandomFrame(int width, int height, unsigned seed) {
    return Frame{width, height, pixtest::RandomBytes(static_cast<size_t>(width) * height, seed)};
}

} // namespace

TEST(RawHistograms, SplitEveryLayoutIntoItsFourChannels) {
    for (const int layout : kLayouts) {
        SCOPED_TRACE(kLayoutNames[layout]);
        // Any size, odd ones and single pixels included, counted pixel by pixel.
        for (const auto& [w, hgt] : {std::pair{1, 1}, {2, 2}, {5, 3}, {7, 6}, {131, 9}}) {
            const Frame f = RandomFrame(w, hgt, static_cast<unsigned>(layout * 1000 + w));
            EXPECT_EQ(LibraryRaw(f, layout), CountRaw(f, layout)) << w << " x " << hgt;
        }
    }
}

TEST(HistogramStats, MeanAndSharesAtTheEnds) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, uint32_t>> counts; // level, count
        Levels expected;
    };
    const Case cases[] = {
        {"empty", {}, {0, 0, 0}},
        {"both ends", {{0, 1}, {255, 3}}, {191.25, 0.25, 0.75}},
        // Counts near the 32-bit limit add up without overflow.
        {"large", {{255, 4000000000u}, {1, 4000000000u}}, {128, 0, 0.5}},
    };
    for (const Case& c : cases) {
        std::array<uint32_t, 256> h{};
        for (const auto& [level, count] : c.counts)
            h[level] = count;
        const Levels l = LibraryLevels(h.data());
        EXPECT_DOUBLE_EQ(l.mean, c.expected.mean) << c.name;
        EXPECT_DOUBLE_EQ(l.at0, c.expected.at0) << c.name;
        EXPECT_DOUBLE_EQ(l.at255, c.expected.at255) << c.name;
    }
}

TEST(BrightnessHistogram, CountsTheLumaOfEveryPixelAndNoPadding) {
    // Grays keep their level; the primaries weigh as in the gray table.
    std::vector<uint8_t> grays;
    for (int v = 0; v < 256; ++v)
        grays.insert(grays.end(),
                     {static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v)});
    std::array<uint32_t, 256> h{};
    ASSERT_EQ(GetBrightnessHistogram(grays.data(), 256, 1, 768, 24, h.data()), 1);
    for (int v = 0; v < 256; ++v)
        EXPECT_EQ(h[v], 1u) << v;
    const uint8_t primaries[] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 200, 150, 100}; // B, G, R
    h.fill(0);
    ASSERT_EQ(GetBrightnessHistogram(primaries, 4, 1, 12, 24, h.data()), 1);
    for (const int level : {76, 149, 28, 140}) // red, green, blue, (100, 150, 200)
        EXPECT_EQ(h[level], 1u) << level;

    // Padded rows in both depths: the bytes between rows (0xEE) are not pixels.
    struct Case {
        int bitCount, width, height, stride;
    };
    for (const Case c : {Case{24, 5, 7, 20}, Case{24, 130, 2, 400}, Case{8, 3, 9, 4}}) {
        const int bytesPerPixel = c.bitCount / 8;
        std::vector<uint8_t> image(static_cast<size_t>(c.stride) * c.height, 0xEE);
        const std::vector<uint8_t> noise = pixtest::RandomBytes(image.size(), static_cast<unsigned>(c.width));
        std::array<uint32_t, 256> expected{};
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                uint8_t* p = &image[static_cast<size_t>(y) * c.stride + x * bytesPerPixel];
                for (int k = 0; k < bytesPerPixel; ++k)
                    p[k] = noise[static_cast<size_t>(y) * c.stride + x * bytesPerPixel + k];
                ++expected[bytesPerPixel == 1 ? p[0] : (77 * p[2] + 150 * p[1] + 29 * p[0]) / 256];
            }
        h.fill(0);
        ASSERT_EQ(GetBrightnessHistogram(image.data(), c.width, c.height, c.stride, c.bitCount, h.data()), 1);
        EXPECT_EQ(h, expected) << c.bitCount << " bits, " << c.width << " x " << c.height;
    }
}

TEST(Sharpness, MeanSquaredDifferenceOfTheGreensInTheRectangle) {
    for (const int layout : kLayouts) {
        SCOPED_TRACE(kLayoutNames[layout]);
        const Frame f = RandomFrame(40, 30, static_cast<unsigned>(layout));
        // Rectangles starting on either parity, down to the smallest that holds a sample with both
        // neighbours, and the whole frame.
        struct Rect {
            int left, top, width, height;
        };
        for (const Rect r : {Rect{0, 0, 40, 30}, Rect{1, 0, 4, 4}, Rect{0, 1, 4, 4}, Rect{3, 5, 17, 11},
                             Rect{36, 26, 4, 4}, Rect{7, 2, 33, 5}}) {
            EXPECT_DOUBLE_EQ(LibrarySharpness(f, layout, r.left, r.top, r.width, r.height),
                             CountSharpness(f, layout, r.left, r.top, r.width, r.height))
                << r.left << "," << r.top << " " << r.width << " x " << r.height;
        }
    }
}

TEST(RawStats, RefuseWhatTheyCannotMeasureAndWriteNothing) {
    const std::vector<uint8_t> pixels(64, 7);
    std::array<uint32_t, 4 * 256> h{};
    h.fill(0xABAB);
    const std::array<uint32_t, 4 * 256> untouched = h;
    double d = -5, e = -5, f = -5;
    struct Case {
        const char* name;
        int result;
    };
    const Case cases[] = {
        {"raw: null image", GetRawHistograms(nullptr, 8, 8, 1, h.data())},
        {"raw: no width", GetRawHistograms(pixels.data(), 0, 8, 1, h.data())},
        {"brightness: 16 bits", GetBrightnessHistogram(pixels.data(), 4, 4, 8, 16, h.data())},
        {"brightness: short stride", GetBrightnessHistogram(pixels.data(), 4, 4, 11, 24, h.data())},
        {"stats: null result", GetHistogramStats(h.data(), &d, nullptr, &f)},
        {"sharpness: 3 wide", GetSharpness(pixels.data(), 8, 8, 0, 0, 3, 8, 1, &d)},
        {"sharpness: past the right", GetSharpness(pixels.data(), 8, 8, 5, 0, 4, 4, 1, &d)},
        {"sharpness: negative left", GetSharpness(pixels.data(), 8, 8, -1, 0, 4, 4, 1, &d)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result, 0) << c.name;
    EXPECT_EQ(h, untouched);
    EXPECT_EQ(d, -5);
    EXPECT_EQ(e, -5);
    EXPECT_EQ(f, -5);
}

namespace {

// The simulated camera in its smallest mode, looking at `scene`, with a focus lever of its own.
class Camera {
public:
    Camera(const char* scene, const char* layout, bool noise) {
        setenv("OCUSNAP_CAMERA", "sim", 1);
        setenv("OCUSNAP_SIM_SCENE", scene, 1);
        setenv("OCUSNAP_SIM_FPS", "max", 1);
        setenv("OCUSNAP_SIM_FREEZE", "1", 1);
        setenv("OCUSNAP_SIM_NOISE", noise ? "1" : "0", 1);
        setenv("OCUSNAP_BAYER", layout, 1);
        setenv("OCUSNAP_SIM_CONTROL", m_control.c_str(), 1);
        Focus(0);
        EXPECT_EQ(BeginOcuDevice(OCU_FIRST_DEVICE, &m_hDevice), OCU_OK);
        EXPECT_EQ(OcuSetResolution(m_hDevice, 2), OCU_OK);
        EXPECT_EQ(OcuSetOutputWindow(m_hDevice, 0, 0, 320, 240), OCU_OK);
    }
    ~Camera() {
        EndOcuDevice(m_hDevice);
        std::filesystem::remove(m_control);
    }
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    void Adc(int level) { OcuADCControl(m_hDevice, 0, level); }
    // The lens's focus, as ocusnap-sim sets it: the control file's line.
    void Focus(int pixels) { std::ofstream(m_control) << "focus=" << pixels << "\n"; }
    Frame Snap() {
        Frame f{320, 240, std::vector<uint8_t>(320 * 240)};
        uint8_t* buffer = f.pixels.data();
        EXPECT_EQ(OcuSnapShot(m_hDevice, &buffer, 1), OCU_OK);
        return f;
    }

private:
    const std::string m_control =
        (std::filesystem::temp_directory_path() / ("pixconv-stats-control-" + std::to_string(getpid())))
            .string();
    OCUHANDLE m_hDevice = nullptr;
};

} // namespace

// The scenes with their known levels, in every layout that the camera and the statistics agree on: the
// flat light shows the filters' sensitivities (red 0.94, blue 0.88 of green), the covered lens only a dark
// level, and the chart at a higher converter level more clipped whites.
TEST(RawStatsOnTheSimulatedCamera, MatchThePixelsAndTheSensorsColours) {
    for (const int layout : kLayouts) {
        SCOPED_TRACE(kLayoutNames[layout]);
        for (const char* scene : {"flat", "dark", "chart"}) {
            SCOPED_TRACE(scene);
            Camera camera(scene, kLayoutNames[layout], true);
            camera.Adc(1);
            const Frame f = camera.Snap();
            const Histograms h = LibraryRaw(f, layout);
            ASSERT_EQ(h, CountRaw(f, layout));
            std::array<Levels, 4> levels;
            for (int c = 0; c < 4; ++c)
                levels[c] = LibraryLevels(h[c].data());
            if (scene == std::string("flat")) {
                const double green = levels[PIX_CHANNEL_GR].mean;
                EXPECT_NEAR(levels[PIX_CHANNEL_GB].mean / green, 1.0, 0.01);
                EXPECT_NEAR(levels[PIX_CHANNEL_R].mean / green, 0.94, 0.01);
                EXPECT_NEAR(levels[PIX_CHANNEL_B].mean / green, 0.88, 0.01);
                EXPECT_LT(levels[PIX_CHANNEL_R].at255, 0.001); // the hot pixels alone
            } else if (scene == std::string("dark")) {
                for (const Levels& l : levels) {
                    EXPECT_LT(l.mean, 5.0);
                    EXPECT_LT(l.at255, 0.001); // the hot pixels alone
                }
            } else {
                const double whites = levels[PIX_CHANNEL_GR].at255;
                camera.Adc(3);
                const Levels brighter =
                    LibraryLevels(LibraryRaw(camera.Snap(), layout)[PIX_CHANNEL_GR].data());
                EXPECT_GT(brighter.at255, whites + 0.02);
                EXPECT_GT(brighter.mean, 3 * levels[PIX_CHANNEL_GR].mean);
            }
        }
    }
}

// Turning the lens away from focus lowers the sharpness step by step, over the whole frame and over the
// Siemens star alone; with the sensor's noise, whose own differences stay as they are, the sharp setting
// still stands out.
TEST(RawStatsOnTheSimulatedCamera, SharpnessPeaksAtTheSharpFocus) {
    for (const bool noise : {false, true}) {
        SCOPED_TRACE(noise ? "noise" : "no noise");
        Camera camera("chart", "GRBG", noise);
        camera.Adc(2);
        struct Rect {
            int left, top, width, height;
        };
        for (const Rect r : {Rect{0, 0, 320, 240}, Rect{210, 120, 70, 70}}) {
            double previous = 0;
            double sharp = 0;
            for (const int focus : {0, 1, 2, 4, 8}) {
                camera.Focus(focus);
                const Frame f = camera.Snap();
                const double s = LibrarySharpness(f, PIX_BAYER_GRBG, r.left, r.top, r.width, r.height);
                EXPECT_DOUBLE_EQ(s, CountSharpness(f, PIX_BAYER_GRBG, r.left, r.top, r.width, r.height));
                if (focus == 0)
                    sharp = s;
                else if (!noise)
                    EXPECT_LT(s, 0.8 * previous) << "focus " << focus << " at " << r.left << "," << r.top;
                else
                    EXPECT_LT(s, 0.6 * sharp) << "focus " << focus << " at " << r.left << "," << r.top;
                previous = s;
            }
        }
    }
}
