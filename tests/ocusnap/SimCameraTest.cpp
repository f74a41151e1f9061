// The simulated camera as a camera model: frames of the output window, a picture that responds to
// exposure, gains and converter level like a sensor, a stable defect map, and rolling-readout timing.
#include "TestSupport.h"
#include "sim/SimScene.h"
#include "sim/SimTiming.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <numbers>
#include <set>
#include <thread>

namespace ocusnap::test {
namespace {

using detail::Registers;
namespace sim = detail::sim;

// Exact pixels: no noise, no motion, no frame timing.
class CleanCamera : public ::testing::Test {
protected:
    ScopedEnv env{{"OCUSNAP_SIM_NOISE", "0"}, {"OCUSNAP_SIM_FREEZE", "1"}, {"OCUSNAP_SIM_FPS", "max"}};
};

// Flat light, exact pixels: every site of a channel has the same value.
class FlatCamera : public ::testing::Test {
protected:
    ScopedEnv env{{"OCUSNAP_SIM_NOISE", "0"}, {"OCUSNAP_SIM_SCENE", "flat"}, {"OCUSNAP_SIM_FPS", "max"}};
};

TEST_F(CleanCamera, FramesAreReproducibleAndHaveTheWindowSize) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    Frame a, b;
    ASSERT_EQ(Snap(cam.handle, a, 1280, 1024), OCU_OK);
    ASSERT_EQ(Snap(cam.handle, b, 1280, 1024), OCU_OK);
    EXPECT_EQ(a.pixels, b.pixels);
    EXPECT_GT(Mean(a), 10.0);

    // A window is the same pixels as that part of the full frame, packed, and nothing beyond it is
    // written. (Horizontal blanking keeps the line time, and with it the exposure time, as it was.)
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 101, 37, 250, 61), OCU_OK);
    ASSERT_EQ(OcuSetBlanking(cam.handle, 10 + 1280 - 250, 0), OCU_OK);
    Frame w;
    std::fill(w.pixels.begin(), w.pixels.end(), uint8_t{0xA5});
    ASSERT_EQ(Snap(cam.handle, w, 250, 61), OCU_OK);
    for (int32_t y = 0; y < 61; ++y) {
        for (int32_t x = 0; x < 250; ++x) {
            ASSERT_EQ(w.at(x, y), a.at(101 + x, 37 + y)) << x << "," << y;
        }
    }
    EXPECT_TRUE(
        std::all_of(w.pixels.begin() + 250 * 61, w.pixels.end(), [](uint8_t v) { return v == 0xA5; }));

    // An empty window delivers an empty frame.
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 0, 0), OCU_OK);
    w.pixels[0] = 0x5A;
    ASSERT_EQ(Snap(cam.handle, w, 0, 0), OCU_OK);
    EXPECT_EQ(w.pixels[0], 0x5A);
}

TEST(SimCamera, SequencesRepeatFromTheFixedSeedWithNoiseAndMotion) {
    ScopedEnv env{{"OCUSNAP_SIM_FPS", "max"}};
    auto take = [] {
        Camera cam;
        EXPECT_EQ(cam.status, OCU_OK);
        std::vector<Frame> frames(3);
        for (Frame& f : frames) {
            EXPECT_EQ(Snap(cam.handle, f, 1280, 1024), OCU_OK);
        }
        return frames;
    };
    const auto first = take();
    const auto second = take();
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].pixels, second[i].pixels) << "frame " << i;
    }
    // Motion and temporal noise make successive frames differ.
    EXPECT_NE(first[0].pixels, first[1].pixels);
}

TEST(SimCamera, TheMovingObjectMovesAndOnlyItChanges) {
    ScopedEnv env{{"OCUSNAP_SIM_NOISE", "0"}, {"OCUSNAP_SIM_FPS", "max"}};
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    Frame a, b;
    ASSERT_EQ(Snap(cam.handle, a, 1280, 1024), OCU_OK);
    ASSERT_EQ(Snap(cam.handle, b, 1280, 1024), OCU_OK);
    long changed = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        changed += a.pixels[i] != b.pixels[i];
    }
    const double disc = std::numbers::pi * std::pow(0.035 * 1280, 2);
    EXPECT_GT(changed, 50);
    EXPECT_LT(changed, 2 * disc); // the old place and the new place of the disc, no more
}

// The colour of each site of the first 2 x 2 block of a flat frame, by which site is brightest.
TEST_F(FlatCamera, BayerLayoutsPutTheFiltersWhereTheyBelong) {
    // Under white light green is brightest, then red, then blue (the filters' sensitivities).
    const std::map<std::string, std::array<char, 4>> layouts{{"GBRG", {'G', 'B', 'R', 'G'}},
                                                             {"GRBG", {'G', 'R', 'B', 'G'}},
                                                             {"BGGR", {'B', 'G', 'G', 'R'}},
                                                             {"RGGB", {'R', 'G', 'G', 'B'}}};
    for (const auto& [name, colours] : layouts) {
        ScopedEnv bayer{{"OCUSNAP_BAYER", name.c_str()}};
        Camera cam;
        ASSERT_EQ(cam.status, OCU_OK);
        Frame f;
        ASSERT_EQ(Snap(cam.handle, f, 1280, 1024), OCU_OK);
        const std::array<uint8_t, 4> v{f.at(0, 0), f.at(1, 0), f.at(0, 1), f.at(1, 1)};
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                const auto rank = [](char c) { return c == 'G' ? 2 : c == 'R' ? 1 : 0; };
                if (rank(colours[static_cast<size_t>(i)]) > rank(colours[static_cast<size_t>(j)])) {
                    EXPECT_GT(v[static_cast<size_t>(i)], v[static_cast<size_t>(j)])
                        << name << " " << i << " " << j;
                }
            }
        }
    }
}

TEST_F(FlatCamera, ExposureGainAndConverterLevelActLikeASensor) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    const OCUHANDLE h = cam.handle;
    ASSERT_EQ(OcuSetOutputWindow(h, 0, 0, 64, 64), OCU_OK);
    ASSERT_EQ(OcuADCControl(h, 0, 1), OCU_OK);
    auto sites = [&] {
        Frame f;
        EXPECT_EQ(Snap(h, f, 64, 64), OCU_OK);
        // GRBG: Gr, R, B, Gb
        return std::array<double, 4>{SiteMean(f, 0, 0), SiteMean(f, 0, 1), SiteMean(f, 1, 0),
                                     SiteMean(f, 1, 1)};
    };

    // Exposure: brighter with every step, proportional in the linear range. (The exposure value
    // counts lines, which are short in a narrow window: 4000 lines of 64 pixels are about 51 ms.)
    ASSERT_EQ(OcuAECControl(h, 1, 2000), OCU_OK);
    const auto shortExposure = sites();
    ASSERT_EQ(OcuAECControl(h, 1, 4000), OCU_OK);
    const auto longExposure = sites();
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(longExposure[i] / shortExposure[i], 2.0, 0.05) << i;
    }

    // Each gain acts on its own channel only: 0x10 red, 0x11 green on red rows, 0x12 green on blue
    // rows, 0x13 blue.
    const std::array<size_t, 4> siteOfChannel{1, 0, 3, 2};
    for (uint8_t channel = OCU_GAIN_RED; channel <= OCU_GAIN_BLUE; ++channel) {
        ASSERT_EQ(OcuAGCControl(h, channel, 12), OCU_OK);
        const auto raised = sites();
        ASSERT_EQ(OcuAGCControl(h, channel, 8), OCU_OK);
        for (size_t i = 0; i < 4; ++i) {
            if (i == siteOfChannel[static_cast<size_t>(channel - OCU_GAIN_RED)]) {
                EXPECT_NEAR(raised[i] / longExposure[i], 1.5, 0.08) << int(channel);
            } else {
                EXPECT_EQ(raised[i], longExposure[i]) << int(channel) << " moved site " << i;
            }
        }
    }
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_GREEN_RED_ROW, 0), OCU_OK);
    EXPECT_EQ(sites()[0], 0.0);
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_GREEN_RED_ROW, 8), OCU_OK);

    // Each ADC level delivers the next lower 8 bits: twice as bright, until it saturates at 255.
    ASSERT_EQ(OcuADCControl(h, 0, 0), OCU_OK);
    const auto level0 = sites();
    ASSERT_EQ(OcuADCControl(h, 0, 2), OCU_OK);
    const auto level2 = sites();
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(level2[i] / level0[i], 4.0, 0.15) << i;
    }
    ASSERT_EQ(OcuAECControl(h, 1, OCU_EXPOSURE_MAX), OCU_OK);
    ASSERT_EQ(OcuADCControl(h, 0, 3), OCU_OK);
    for (double v : sites()) {
        EXPECT_EQ(v, 255.0);
    }
}

TEST(SimCamera, DefaultsGiveAWellExposedPictureAndLevelTwoNoWhiteOut) {
    ScopedEnv env{{"OCUSNAP_SIM_FPS", "max"}};
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    // What a first run sends: 60 ms at full width and high speed, gains 8, ADC level 1.
    const double value = (0.060 * 24e6 + 180) / (1280 + 244);
    ASSERT_EQ(OcuAECControl(cam.handle, 1, static_cast<int32_t>(value)), OCU_OK);
    ASSERT_EQ(OcuADCControl(cam.handle, 0, 1), OCU_OK);
    Frame f;
    ASSERT_EQ(Snap(cam.handle, f, 1280, 1024), OCU_OK);
    auto saturated = [&] {
        return std::count(f.pixels.begin(), f.pixels.end(), uint8_t{255}) / double(f.pixels.size());
    };
    EXPECT_GT(Mean(f), 35.0);
    EXPECT_LT(saturated(), 0.001);
    // The white patch of the chart (row 4, column 1) sits high without clipping.
    const int32_t wx = static_cast<int32_t>((0.03 + 0.48 * (0.5 / 6)) * 1280);
    const int32_t wy = static_cast<int32_t>((0.04 + 0.40 * (3.5 / 4)) * 1024);
    const double whiteGreen = SiteMean(f, 0, 0, wx - 20, wy - 20, wx + 20, wy + 20);
    EXPECT_GT(whiteGreen, 150.0);
    EXPECT_LT(whiteGreen, 240.0);

    ASSERT_EQ(OcuADCControl(cam.handle, 0, 2), OCU_OK);
    ASSERT_EQ(Snap(cam.handle, f, 1280, 1024), OCU_OK);
    // Brighter, with the whites clipped, but most of the picture keeps its detail.
    EXPECT_GT(Mean(f), 70.0);
    EXPECT_LT(Mean(f), 150.0);
    EXPECT_LT(saturated(), 0.20);
}

// The sites of a dark frame at ADC level 2 that stand out from its dark level.
std::set<std::pair<int32_t, int32_t>> HotSites(const Frame& f) {
    std::set<std::pair<int32_t, int32_t>> hot;
    for (int32_t y = 0; y < f.height; ++y) {
        for (int32_t x = 0; x < f.width; ++x) {
            if (f.at(x, y) >= 20) {
                hot.insert({x, y});
            }
        }
    }
    return hot;
}

double ColumnMedian(const Frame& f, int32_t x) {
    std::vector<uint8_t> column(static_cast<size_t>(f.height));
    for (int32_t y = 0; y < f.height; ++y) {
        column[static_cast<size_t>(y)] = f.at(x, y);
    }
    std::nth_element(column.begin(), column.begin() + f.height / 2, column.end());
    return column[static_cast<size_t>(f.height / 2)];
}

TEST(SimCamera, DefectsStayPutAndComeSingleInClustersAndAsAColumnInEveryMode) {
    ScopedEnv env{{"OCUSNAP_SIM_SCENE", "dark"}, {"OCUSNAP_SIM_FPS", "max"}};
    for (const char* sensor : {static_cast<const char*>(nullptr), "2592x1944"}) {
        ScopedEnv size{{"OCUSNAP_SIM_SENSOR", sensor}};
        Camera cam;
        ASSERT_EQ(cam.status, OCU_OK);
        const std::vector<ResolutionEntry> modes = Modes(cam.handle);
        ASSERT_EQ(modes.size(), 3u);
        ASSERT_EQ(OcuADCControl(cam.handle, 0, 2), OCU_OK);
        for (int32_t mode = 0; mode < 3; ++mode) {
            const int32_t w = modes[mode].nWidth;
            const int32_t h = modes[mode].nHeight;
            const std::string where =
                std::string(sensor ? sensor : "standard") + " mode " + std::to_string(mode);
            ASSERT_EQ(OcuSetResolution(cam.handle, mode), OCU_OK);
            ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, w, h), OCU_OK);
            Frame f(static_cast<size_t>(w) * h);
            ASSERT_EQ(Snap(cam.handle, f, w, h), OCU_OK);
            auto hot = HotSites(f);
            Frame again(static_cast<size_t>(w) * h);
            ASSERT_EQ(Snap(cam.handle, again, w, h), OCU_OK);
            EXPECT_EQ(HotSites(again), hot) << where;
            // A dark frame is not black: it carries the fixed-pattern offset.
            EXPECT_GT(Mean(f), 1.0) << where;
            EXPECT_LT(Mean(f), 10.0) << where;

            auto expectHot = [&](int32_t x, int32_t y, bool expected) {
                EXPECT_EQ(hot.count({x, y}) > 0, expected) << where << " at " << x << "," << y;
            };
            // Each cluster is exactly 2 x 2: hot inside, normal all around.
            for (const auto& [u, v] : sim::kHotClusters) {
                const int32_t cx = sim::DefectSite(u, w);
                const int32_t cy = sim::DefectSite(v, h);
                for (int32_t y = cy - 1; y <= cy + 2; ++y) {
                    for (int32_t x = cx - 1; x <= cx + 2; ++x) {
                        expectHot(x, y, x >= cx && x <= cx + 1 && y >= cy && y <= cy + 1);
                    }
                }
            }
            const int32_t rx = sim::DefectSite(sim::kHotRun[0], w);
            const int32_t ry = sim::DefectSite(sim::kHotRun[1], h);
            for (int32_t x = rx - 1; x <= rx + 3; ++x) {
                expectHot(x, ry, x >= rx && x < rx + 3);
            }
            // The hot column stands out over its whole height; its neighbours do not.
            const int32_t column = sim::DefectSite(sim::kHotColumn, w);
            EXPECT_GT(ColumnMedian(f, column), ColumnMedian(f, column - 2) + 20) << where;
            EXPECT_LT(ColumnMedian(f, column - 1), 10) << where;
            EXPECT_LT(ColumnMedian(f, column + 1), 10) << where;
            std::erase_if(hot, [&](const auto& site) { return site.first == column; });
            // The scattered hot pixels: 24 minus those that would have touched another defect.
            EXPECT_GE(hot.size(), 4 * sim::kHotClusters.size() + 3 + 10) << where;
            EXPECT_LE(hot.size(), 4 * sim::kHotClusters.size() + 3 + 24) << where;
        }
    }

    // Without noise there are no defects at all: a covered lens gives black.
    {
        ScopedEnv clean{{"OCUSNAP_SIM_NOISE", "0"}};
        Camera cam;
        ASSERT_EQ(cam.status, OCU_OK);
        Frame f;
        ASSERT_EQ(Snap(cam.handle, f, 1280, 1024), OCU_OK);
        EXPECT_TRUE(std::all_of(f.pixels.begin(), f.pixels.end(), [](uint8_t v) { return v == 0; }));
    }

    // Dead pixels show under flat light as near-black sites among bright ones, in the same places.
    ScopedEnv flat{{"OCUSNAP_SIM_SCENE", "flat"}};
    Camera lit;
    ASSERT_EQ(lit.status, OCU_OK);
    auto deadPixels = [&] {
        Frame f;
        EXPECT_EQ(Snap(lit.handle, f, 1280, 1024), OCU_OK);
        std::set<std::pair<int, int>> dead;
        for (int32_t y = 0; y < 1024; ++y) {
            for (int32_t x = 0; x < 1280; ++x) {
                if (f.at(x, y) < 10) {
                    dead.insert({x, y});
                }
            }
        }
        return dead;
    };
    const auto dead = deadPixels();
    EXPECT_GE(dead.size(), 5u);
    EXPECT_LE(dead.size(), 16u);
    EXPECT_EQ(dead, deadPixels());
}

// A larger sensor: modes at half and quarter size, and the same chart, laid out for the sensor.
TEST_F(CleanCamera, LargerSensorsHaveHalfAndQuarterModesAndTheChartScaledToThem) {
    auto exposeFor60ms = [](OCUHANDLE h, int32_t width) {
        // The exposure value counts lines, whose length grows with the window's width.
        EXPECT_EQ(OcuAECControl(h, 1, static_cast<int32_t>((0.060 * 24e6 + 180) / (width + 244))), OCU_OK);
    };
    Camera standard;
    ASSERT_EQ(standard.status, OCU_OK);
    exposeFor60ms(standard.handle, 1280);
    Frame reference;
    ASSERT_EQ(Snap(standard.handle, reference, 1280, 1024), OCU_OK);
    EndOcuDevice(standard.handle);
    standard.handle = nullptr;

    ScopedEnv size{{"OCUSNAP_SIM_SENSOR", "2592x1944"}};
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    const std::vector<ResolutionEntry> modes = Modes(cam.handle);
    ASSERT_EQ(modes.size(), 3u);
    const std::array<std::pair<int32_t, int32_t>, 3> expected{{{2592, 1944}, {1296, 972}, {648, 486}}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(std::pair(modes[i].nWidth, modes[i].nHeight), expected[i]) << i;
    }
    EXPECT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 2593, 1944), OCU_ERR_INVALID_ARGUMENT);
    exposeFor60ms(cam.handle, 2592);
    Frame large(2592 * 1944);
    std::fill(large.pixels.begin(), large.pixels.end(), uint8_t{0xA5});
    ASSERT_EQ(Snap(cam.handle, large, 2592, 1944), OCU_OK);

    // The chart's parts sit at the same places of the image and have the same levels: the white patch,
    // the gray background, the black and the blue bar, both ends of the ramp, the middle of the wedge.
    const std::array<std::pair<double, double>, 7> places{{{0.03 + 0.48 * (0.5 / 6), 0.04 + 0.40 * (3.5 / 4)},
                                                           {0.20, 0.72},
                                                           {0.03 + 0.48 * (7.5 / 8), 0.58},
                                                           {0.03 + 0.48 * (6.5 / 8), 0.58},
                                                           {0.05, 0.865},
                                                           {0.95, 0.865},
                                                           {0.50, 0.93}}};
    for (const auto& [u, v] : places) {
        for (int site = 0; site < 4; ++site) {
            auto boxMean = [&](const Frame& f) {
                const auto x = static_cast<int32_t>(u * f.width) & ~1;
                const auto y = static_cast<int32_t>(v * f.height) & ~1;
                const int32_t r = f.width / 200;
                return SiteMean(f, site / 2, site % 2, x - r, y - r, x + r + 2, y + r + 2);
            };
            EXPECT_NEAR(boxMean(large), boxMean(reference), 2.0) << u << "," << v << " site " << site;
        }
    }
    // Modes 1 and 2 show the whole field at half and quarter size.
    for (int32_t mode = 1; mode < 3; ++mode) {
        const auto [w, h] = expected[static_cast<size_t>(mode)];
        ASSERT_EQ(OcuSetResolution(cam.handle, mode), OCU_OK);
        ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, w, h), OCU_OK);
        exposeFor60ms(cam.handle, w);
        Frame f(static_cast<size_t>(w) * h);
        ASSERT_EQ(Snap(cam.handle, f, w, h), OCU_OK);
        EXPECT_NEAR(Mean(f), Mean(large), 1.5) << mode;
    }
}

TEST(SimCamera, TemporalNoiseVariesAroundAStableMean) {
    ScopedEnv env{{"OCUSNAP_SIM_SCENE", "flat"}, {"OCUSNAP_SIM_FPS", "max"}};
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    ASSERT_EQ(OcuADCControl(cam.handle, 0, 3), OCU_OK);
    ASSERT_EQ(OcuAECControl(cam.handle, 1, 100), OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 200, 200, 256, 256), OCU_OK);
    Frame a, b;
    ASSERT_EQ(Snap(cam.handle, a, 256, 256), OCU_OK);
    ASSERT_EQ(Snap(cam.handle, b, 256, 256), OCU_OK);
    long differ = 0;
    double diff2 = 0;
    for (size_t i = 0; i < 256 * 256; ++i) {
        const int d = a.pixels[i] - b.pixels[i];
        differ += d != 0;
        diff2 += d * d;
    }
    EXPECT_GT(differ, 256 * 256 / 4);
    EXPECT_LT(std::sqrt(diff2 / (256 * 256)), 6.0); // noise, not a different picture
    EXPECT_NEAR(Mean(a), Mean(b), 0.2);
}

// A running capture keeps what it can from frame to frame (tables, the still parts of a noise-free frame);
// after every change of the settings its frames are still exactly what a single snap gives.
TEST_F(CleanCamera, ACaptureFollowsEveryChangeOfTheSettingsExactly) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    const OCUHANDLE h = cam.handle;
    ASSERT_EQ(OcuSetResolution(h, 1), OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(h, 0, 0, 640, 480), OCU_OK);

    FrameLog latest;
    Frame live;
    latest.buffer = live.data();
    uint8_t* const buffers[] = {live.data()};
    ASSERT_EQ(OcuOpenSnap(h, FrameLog::Receive, &latest), OCU_OK);
    auto snapNow = [&](int32_t width, int32_t height) {
        EXPECT_EQ(OcuStopSnap(h), OCU_OK);
        Frame f;
        EXPECT_EQ(Snap(h, f, width, height), OCU_OK);
        EXPECT_EQ(OcuStartSnap(h, buffers, 1), OCU_OK);
        return f.Bytes();
    };
    ASSERT_EQ(OcuStartSnap(h, buffers, 1), OCU_OK);
    struct Change {
        const char* what;
        std::function<void()> apply;
        int32_t width;
        int32_t height;
    };
    const std::vector<Change> changes{
        {"as opened", [] {}, 640, 480},
        {"red gain", [&] { OcuAGCControl(h, OCU_GAIN_RED, 13); }, 640, 480},
        {"exposure", [&] { OcuAECControl(h, 1, 700); }, 640, 480},
        {"ADC level", [&] { OcuADCControl(h, 0, 2); }, 640, 480},
        {"window",
         [&] {
             OcuStopSnap(h);
             OcuSetOutputWindow(h, 64, 32, 320, 200);
             OcuStartSnap(h, buffers, 1);
         },
         320, 200},
        // The window is cut to the 320 x 240 image: 256 x 200 from (64, 32).
        {"mode", [&] { OcuSetResolution(h, 2); }, 256, 200},
        {"blue gain", [&] { OcuAGCControl(h, OCU_GAIN_BLUE, 3); }, 256, 200},
    };
    for (const Change& change : changes) {
        change.apply();
        // A frame at least four frames after now: by then nothing rendered before is delivered any more.
        ASSERT_TRUE(latest.WaitFor(latest.Count() + 4)) << change.what;
        const std::vector<uint8_t> streamed = latest.Last();
        EXPECT_EQ(streamed, snapNow(change.width, change.height)) << change.what;
    }
    ASSERT_EQ(OcuCloseSnap(h), OCU_OK);
    DrainDeliveryThreads();
}

TEST_F(CleanCamera, ModeChangeCutsTheWindowToTheNewImage) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 1000, 800), OCU_OK);
    ASSERT_EQ(OcuSetResolution(cam.handle, 1), OCU_OK);
    Frame f;
    std::fill(f.pixels.begin(), f.pixels.end(), uint8_t{0xA5});
    ASSERT_EQ(Snap(cam.handle, f, 640, 480), OCU_OK);
    EXPECT_NE(f.pixels[640 * 480 - 1], 0xA5);
    EXPECT_EQ(f.pixels[640 * 480], 0xA5);
}

// The frame period of the rolling readout, from the sensor's own arithmetic.
TEST(SimTiming, PeriodFollowsClockBlankingWindowAndExposure) {
    Registers r;
    r.window = {0, 0, 1280, 1024};
    r.snapSpeed = 1;
    r.exposure = 100;
    const double fast = sim::FramePeriodSeconds(2, r);
    EXPECT_NEAR(fast, (1024 + 20) * (1280 + 244) / 24e6, 1e-9);
    r.snapSpeed = 0;
    EXPECT_NEAR(sim::FramePeriodSeconds(2, r), 2 * fast, 1e-9);
    EXPECT_NEAR(sim::FramePeriodSeconds(0, r), fast, 1e-9); // type 0 has one clock only
    r.hBlanking = 1010;
    EXPECT_NEAR(sim::FramePeriodSeconds(0, r), (1024 + 20) * (1280 + 1000 + 244) / 24e6, 1e-9);
    r.vBlanking = 200;
    EXPECT_NEAR(sim::FramePeriodSeconds(0, r), (1024 + 220) * (1280 + 1000 + 244) / 24e6, 1e-9);
    r = Registers{};
    r.window = {0, 0, 320, 240};
    r.exposure = 10;
    EXPECT_NEAR(sim::FramePeriodSeconds(3, r), (240 + 20) * (320 + 36 + 305) / 24e6, 1e-9);
    // A long exposure sets the pace.
    r.exposure = 5000;
    EXPECT_NEAR(sim::FramePeriodSeconds(3, r), ((5000 - 1) * (320 + 36 + 305) - 180) / 24e6, 1e-9);
}

TEST(SimTiming, ExposureValueMapsBackToTheExposureTime) {
    // The users' conversion from seconds to exposure value, inverted by the sensor, per device type.
    for (int type = 0; type <= 3; ++type) {
        Registers r;
        r.window = {0, 0, 644, 482};
        r.snapSpeed = 0;
        r.hBlanking = 50;
        const double clock = detail::PixelClockHz(type, r.snapSpeed);
        const auto line = static_cast<double>(detail::LineClocks(type, 644, 50));
        const double t = 0.033;
        const double value = (t * clock + 180) / line + ((type == 0 || type == 2) ? 0 : 1);
        r.exposure = static_cast<int32_t>(value);
        EXPECT_NEAR(detail::ExposureSeconds(type, r), t, line / clock) << type;
    }
}

// The readout end of each frame of a capture, written by the delivery thread.
struct Stamps {
    std::mutex m;
    std::vector<uint64_t> t;

    static int32_t Record(SnapInfo* info) {
        auto* s = static_cast<Stamps*>(info->pContext);
        std::lock_guard lock(s->m);
        s->t.push_back(info->nTimestampUs);
        return 1;
    }
};

// A receiver that holds each frame until a while after its readout end, with the readout end of every frame
// it got and the moment it let go of each.
struct SlowReceiver {
    std::chrono::microseconds hold{0};
    std::mutex m;
    std::vector<uint64_t> readout;
    std::vector<uint64_t> released;

    static uint64_t NowUs() {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
    static int32_t Record(SnapInfo* info) {
        auto* s = static_cast<SlowReceiver*>(info->pContext);
        // Held from the readout end, not from the callback's start: a hold of 2.5 periods then lets go
        // mid-period, far from the beat at which the camera next reads its clock, so which frame waited
        // for the release does not depend on how late the callback began.
        const std::chrono::steady_clock::time_point readoutEnd{std::chrono::microseconds(info->nTimestampUs)};
        std::this_thread::sleep_until(readoutEnd + s->hold);
        std::lock_guard lock(s->m);
        s->readout.push_back(info->nTimestampUs);
        s->released.push_back(NowUs());
        return 1;
    }
    size_t Count() {
        std::lock_guard lock(m);
        return readout.size();
    }
};

TEST(SimTiming, DeliveredFramesKeepTheSensorsBeatAndOneWaitsForASlowReceiver) {
    ScopedEnv env{{"OCUSNAP_SIM_NOISE", "0"}};
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    ASSERT_EQ(OcuSetResolution(cam.handle, 2), OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 320, 240), OCU_OK);
    ASSERT_EQ(OcuAECControl(cam.handle, 1, 10), OCU_OK);
    ASSERT_EQ(OcuSetBlanking(cam.handle, 2000, 500), OCU_OK);
    Registers r;
    r.window = {0, 0, 320, 240};
    r.hBlanking = 2000;
    r.vBlanking = 500;
    r.exposure = 10;
    const double period = sim::FramePeriodSeconds(2, r); // about 0.1 s

    for (const double holdPeriods : {0.0, 2.5}) {
        SlowReceiver receiver;
        receiver.hold = std::chrono::microseconds(static_cast<int64_t>(holdPeriods * period * 1e6));
        Frame f;
        uint8_t* const buffers[] = {f.data()};
        ASSERT_EQ(OcuOpenSnap(cam.handle, SlowReceiver::Record, &receiver), OCU_OK);
        ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
        // Its result is checked below, once the receiver is out of the capture's reach.
        WaitUntil([&] { return receiver.Count() >= 5; });
        ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
        DrainDeliveryThreads();
        std::lock_guard lock(receiver.m);
        ASSERT_GE(receiver.readout.size(), 5u);
        for (size_t i = 1; i < receiver.readout.size(); ++i) {
            // Frames come on the period's beat; a late receiver loses whole periods, never part of one.
            const double periods = (receiver.readout[i] - receiver.readout[i - 1]) * 1e-6 / period;
            EXPECT_GE(periods, 0.99) << holdPeriods;
            EXPECT_NEAR(periods, std::round(periods), 0.01) << holdPeriods;
            if (holdPeriods > 1) {
                // The frame read out while the receiver still held the last one waited for it, instead
                // of being lost for the next beat: the newest of those read out meanwhile.
                EXPECT_LE(receiver.readout[i], receiver.released[i - 1]) << i;
                EXPECT_LT((receiver.released[i - 1] - receiver.readout[i]) * 1e-6, period) << i;
            }
        }
    }
}

TEST(SimTiming, TriggerModeDeliversAFramePerTriggerTwiceASecond) {
    ScopedEnv env{{"OCUSNAP_SIM_NOISE", "0"}};
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    ASSERT_EQ(OcuSetResolution(cam.handle, 2), OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 320, 240), OCU_OK);
    ASSERT_EQ(OcuAECControl(cam.handle, 1, 10), OCU_OK); // a free-running period of about 7 ms
    ASSERT_EQ(OcuSetSnapMode(cam.handle, 1), OCU_OK);
    Stamps stamps;
    Frame f;
    uint8_t* const buffers[] = {f.data()};
    ASSERT_EQ(OcuOpenSnap(cam.handle, Stamps::Record, &stamps), OCU_OK);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
    DrainDeliveryThreads();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::lock_guard lock(stamps.m);
    // About 1.3 s: two or three triggers, not the ~190 frames free running would give.
    EXPECT_GE(stamps.t.size(), 2u);
    EXPECT_LE(static_cast<double>(stamps.t.size()), elapsed / 0.5 + 1);
    for (size_t i = 1; i < stamps.t.size(); ++i) {
        EXPECT_NEAR((stamps.t[i] - stamps.t[i - 1]) * 1e-6, 0.5, 0.001);
    }
}

} // namespace
} // namespace ocusnap::test
