// The lens cap and the light box: the ocusnap-sim tool writes the control file, and the simulated camera
// follows it, in single snaps and in a running capture.
#include "sim/SimControl.h"

#include "OcuVersion.h"
#include "TestSupport.h"
#include "sim/SimScene.h"

#include <atomic>
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
    EXPECT_EQ(RunTool("").output, "cap off\nlight scene\nfile " + folder.File() + "\n");
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
        EXPECT_EQ(RunTool("status").output, step.status + ("file " + folder.File() + "\n")) << step.arguments;
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
                                             {"light flat lens on", "unknown command 'lens'"}}) {
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
