// The lens cap and the light box: the ocusnap-sim tool writes the control file, and the simulated camera
// follows it, in single snaps and in a running capture.
#include "sim/SimControl.h"

#include "OcuVersion.h"
#include "TestSupport.h"
#include "sim/SimScene.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <sys/wait.h>

namespace ocusnap::test {
namespace {

namespace sim = detail::sim;

struct ToolResult {
    int status = -1;
    std::string output; // stdout and stderr
};

ToolResult RunTool(const std::string& arguments) {
    ToolResult result;
    const std::string command = std::string(OCU_SIM_TOOL) + " " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char chunk[256];
    while (const size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) {
        result.output.append(chunk, n);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class ControlFolder {
public:
    ControlFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ocusnap-control-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        m_path = pattern;
    }
    ~ControlFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string File() const { return (m_path / "control").string(); }

private:
    std::filesystem::path m_path;
};

uint64_t Sum(const uint8_t* pixels, size_t n) {
    return std::accumulate(pixels, pixels + n, uint64_t{0});
}

class Levers : public ::testing::Test {
protected:
    ControlFolder folder;
    ScopedEnv env{{"OCUSNAP_SIM_CONTROL", folder.File().c_str()},
                  {"OCUSNAP_SIM_FPS", "max"},
                  {"OCUSNAP_SIM_NOISE", "0"},
                  {"OCUSNAP_SIM_FREEZE", "1"}};
};

TEST_F(Levers, TheToolSetsTheCapAndTheLightThatTheCameraFollows) {
    EXPECT_EQ(RunTool("").output, "cap off\nlight scene\nfocus 0\nfile " + folder.File() + "\n");
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    ASSERT_EQ(OcuADCControl(cam.handle, 0, 1), OCU_OK);
    Frame chart;
    ASSERT_EQ(Snap(cam.handle, chart, 1280, 1024), OCU_OK);
    EXPECT_GT(Mean(chart), 10.0);

    // Exact pixels: the cap gives black, the flat light one value per colour, and the scene comes back
    // as it was. The cap wins over the light.
    struct Step {
        const char* arguments;
        const char* status;
        enum { Black, Uniform, Chart } picture;
    };
    for (const Step& step : {Step{"cap on", "cap on\nlight scene\n", Step::Black},
                             Step{"cap off light flat", "cap off\nlight flat\n", Step::Uniform},
                             Step{"cap on", "cap on\nlight flat\n", Step::Black},
                             Step{"cap off", "cap off\nlight flat\n", Step::Uniform},
                             Step{"light scene", "cap off\nlight scene\n", Step::Chart}}) {
        ASSERT_EQ(RunTool(step.arguments).status, 0) << step.arguments;
        EXPECT_EQ(RunTool("status").output, step.status + ("focus 0\nfile " + folder.File() + "\n"))
            << step.arguments;
        Frame f;
        ASSERT_EQ(Snap(cam.handle, f, 1280, 1024), OCU_OK);
        if (step.picture == Step::Black) {
            EXPECT_EQ(Mean(f), 0.0) << step.arguments;
        } else if (step.picture == Step::Chart) {
            EXPECT_EQ(f.pixels, chart.pixels) << step.arguments;
        } else {
            const std::array<uint8_t, 4> first{f.at(0, 0), f.at(1, 0), f.at(0, 1), f.at(1, 1)};
            for (int32_t y = 0; y < 1024; ++y) {
                for (int32_t x = 0; x < 1280; ++x) {
                    ASSERT_EQ(f.at(x, y), first[static_cast<size_t>((y & 1) * 2 + (x & 1))]) << x << "," << y;
                }
            }
            EXPECT_GT(first[0], 80); // 60 % white at ADC level 1
        }
    }

    // With the sensor's noise on, the cap leaves its dark signal: offsets, and the hot clusters.
    EndOcuDevice(cam.handle);
    cam.handle = nullptr;
    ScopedEnv noisy{{"OCUSNAP_SIM_NOISE", "1"}};
    Camera real;
    ASSERT_EQ(real.status, OCU_OK);
    ASSERT_EQ(RunTool("cap on").status, 0);
    ASSERT_EQ(OcuADCControl(real.handle, 0, 2), OCU_OK);
    Frame dark;
    ASSERT_EQ(Snap(real.handle, dark, 1280, 1024), OCU_OK);
    EXPECT_GT(Mean(dark), 1.0);
    EXPECT_LT(Mean(dark), 10.0);
    for (const auto& [u, v] : sim::kHotClusters) {
        EXPECT_GT(dark.at(sim::DefectSite(u, 1280) + 1, sim::DefectSite(v, 1024) + 1), 30) << u << "," << v;
    }
}

TEST_F(Levers, TheToolAnswersHelpVersionAndMistakes) {
    for (const char* asked : {"--help", "-h", "cap on -h"}) {
        const ToolResult help = RunTool(asked);
        EXPECT_EQ(help.status, 0) << asked;
        EXPECT_EQ(help.output.rfind("usage: ocusnap-sim", 0), 0u) << help.output;
    }
    for (const char* asked : {"--version", "-v"}) {
        const ToolResult version = RunTool(asked);
        EXPECT_EQ(version.status, 0) << asked;
        EXPECT_EQ(version.output, std::string("ocusnap-sim ") + OCU_VERSION + "\n");
    }

    // A mistake: one line that names it, then the usage, exit status 2, and the file left alone.
    ASSERT_EQ(RunTool("cap on").status, 0);
    for (const auto& [arguments, message] : {std::pair{"--bogus", "unknown option '--bogus'"},
                                             {"-x on", "unknown option '-x'"},
                                             {"cap", "missing value after cap"},
                                             {"foo", "unknown command 'foo'"},
                                             {"cap on foo", "unknown command 'foo'"},
                                             {"cap maybe", "bad value for cap: 'maybe'"},
                                             {"light dark", "bad value for light: 'dark'"},
                                             {"light flat lens on", "unknown command 'lens'"},
                                             {"status extra", "status takes nothing after it"},
                                             {"cap on status", "status takes nothing after it"},
                                             {"focus 21", "bad value for focus: '21'"},
                                             {"focus 07", "bad value for focus: '07'"},
                                             {"focus -1", "bad value for focus: '-1'"}}) {
        const ToolResult r = RunTool(arguments);
        EXPECT_EQ(r.status, 2) << arguments;
        EXPECT_EQ(r.output.rfind(std::string("ocusnap-sim: ") + message + "\nusage:", 0), 0u) << r.output;
        EXPECT_EQ(sim::ReadControlFile(folder.File()), (sim::ControlState{true, false})) << arguments;
    }

    // A control file that cannot be written is reported, with status 1.
    ScopedEnv nowhere{{"OCUSNAP_SIM_CONTROL", (folder.File() + "/missing/control").c_str()}};
    const ToolResult r = RunTool("cap on");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.rfind("ocusnap-sim: cannot create ", 0), 0u) << r.output;
}

// The focus lever in the file: kept as written, and a value out of range or not in plain decimal leaves
// the lens sharp rather than guessed at.
TEST(ControlFile, KeepsTheFocusAndPassesOverBadValues) {
    for (const int focus : {0, 1, 7, sim::kMaxFocus}) {
        sim::ControlState state;
        state.focus = focus;
        EXPECT_EQ(sim::ParseControl(sim::FormatControl(state)), state) << focus;
    }
    for (const char* line : {"focus=21", "focus=-3", "focus=07", "focus=", "focus=2x", "focus=+4"}) {
        EXPECT_EQ(sim::ParseControl(std::string("cap=on\n") + line + "\n").focus, 0) << line;
    }
    EXPECT_EQ(sim::ParseControl("light=flat\nfocus = 12\r\n").focus, 12);
}

// The mean absolute difference between samples two pixels apart across the frame: its fine detail.
double Detail(const Frame& f) {
    double sum = 0;
    for (int32_t y = 0; y < f.height; ++y) {
        for (int32_t x = 0; x + 2 < f.width; ++x) {
            sum += std::abs(f.at(x + 2, y) - f.at(x, y));
        }
    }
    return sum / (static_cast<double>(f.width - 2) * f.height);
}

// Out of focus the chart loses its detail but keeps each colour's level: the lens blurs the light before
// the colour filter, so inside a patch of the colour checker nothing changes, a uniform field stays as it
// was, and focus 0 gives back the sharp chart exactly.
TEST_F(Levers, TheFocusLeverBlursTheChartWithinEachColourAndComesBackSharp) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    ASSERT_EQ(OcuADCControl(cam.handle, 0, 1), OCU_OK);
    Frame sharp;
    ASSERT_EQ(Snap(cam.handle, sharp, 1280, 1024), OCU_OK);

    ASSERT_EQ(RunTool("focus 3").status, 0);
    EXPECT_EQ(RunTool("status").output, "cap off\nlight scene\nfocus 3\nfile " + folder.File() + "\n");
    Frame blurred;
    ASSERT_EQ(Snap(cam.handle, blurred, 1280, 1024), OCU_OK);
    EXPECT_LT(Detail(blurred), 0.8 * Detail(sharp));
    for (int site = 0; site < 4; ++site) {
        const double level = SiteMean(sharp, site / 2, site % 2);
        EXPECT_NEAR(SiteMean(blurred, site / 2, site % 2), level, 0.01 * level) << site;
    }
    // The first patch of the colour checker spans about 86 pixels around (90, 92).
    for (int32_t y = 80; y < 104; ++y) {
        for (int32_t x = 78; x < 102; ++x) {
            ASSERT_NEAR(blurred.at(x, y), sharp.at(x, y), 1) << x << "," << y;
        }
    }

    ASSERT_EQ(RunTool("light flat focus 0").status, 0);
    Frame flat;
    ASSERT_EQ(Snap(cam.handle, flat, 1280, 1024), OCU_OK);
    ASSERT_EQ(RunTool("focus 20").status, 0);
    Frame flatBlurred;
    ASSERT_EQ(Snap(cam.handle, flatBlurred, 1280, 1024), OCU_OK);
    EXPECT_EQ(flatBlurred.pixels, flat.pixels);

    ASSERT_EQ(RunTool("light scene focus 0").status, 0);
    Frame again;
    ASSERT_EQ(Snap(cam.handle, again, 1280, 1024), OCU_OK);
    EXPECT_EQ(again.pixels, sharp.pixels);
}

// A running capture follows each change with the frames rendered after it. Up to two frames delivered
// after a change were read out before it (one handed over, one rendered ahead); the third shows it.
TEST_F(Levers, ARunningCaptureFollowsEveryChangeByTheThirdFrame) {
    Camera cam;
    ASSERT_EQ(cam.status, OCU_OK);
    ASSERT_EQ(OcuSetResolution(cam.handle, 2), OCU_OK);
    ASSERT_EQ(OcuSetOutputWindow(cam.handle, 0, 0, 320, 240), OCU_OK);
    Frame chart;
    ASSERT_EQ(Snap(cam.handle, chart, 320, 240), OCU_OK);
    const uint64_t chartSum = Sum(chart.data(), chart.pixels.size());

    Frame live;
    std::vector<uint64_t> sums; // one a frame, under frames.mutex
    FrameLog frames;
    frames.buffer = live.data();
    frames.onFrame = [&](const uint8_t* data, size_t bytes) { sums.push_back(Sum(data, bytes)); };
    uint8_t* const buffers[] = {live.data()};
    ASSERT_EQ(OcuOpenSnap(cam.handle, FrameLog::Receive, &frames), OCU_OK);
    ASSERT_EQ(OcuStartSnap(cam.handle, buffers, 1), OCU_OK);
    for (int round = 0; round < 20; ++round) {
        const bool cap = round % 2 == 0;
        std::string error;
        ASSERT_TRUE(sim::WriteControlFile(folder.File(), sim::ControlState{cap, false}, error)) << error;
        // Frames recorded so far; the one whose callback runs now is not among them yet.
        const size_t changedAt = static_cast<size_t>(frames.Count());
        ASSERT_TRUE(frames.WaitFor(static_cast<int>(changedAt) + 6)) << "round " << round;
        std::lock_guard lock(frames.mutex);
        for (size_t i = changedAt + 3; i < sums.size(); ++i) {
            EXPECT_EQ(sums[i], cap ? 0 : chartSum) << "round " << round << " frame " << i - changedAt;
        }
    }
    ASSERT_EQ(OcuCloseSnap(cam.handle), OCU_OK);
    DrainDeliveryThreads();
}

} // namespace
} // namespace ocusnap::test
