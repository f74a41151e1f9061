// ocusnap-info as a user runs it: its command line, and what it reports of the simulated camera. Its
// --stats figures are those the raw-image library gives for the same frame taken here, and its sharpness
// falls when the lens is turned out of focus.
#include "OcuSnap.h"
#include "OcuVersion.h"
#include "PixConv.h"
#include "TestSupport.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using ocu::test::CommandRun;

// Runs ocusnap-info with the arguments after `environment` (NAME=value words for env(1)).
CommandRun OcusnapInfo(const std::string& environment, const std::string& arguments) {
    return ocu::test::RunCommand("env " + environment + " " + OCU_OCUSNAP_INFO + " " + arguments);
}

// What --stats prints for one frame, computed here from a frame of the same camera.
std::string ExpectedFrame(int index, const std::vector<uint8_t>& frame, int width, int height) {
    std::string text = "frame " + std::to_string(index) + ": " + std::to_string(width) + " x " +
                       std::to_string(height) + ", layout GRBG\n";
    std::array<uint32_t, 4 * 256> h{};
    GetRawHistograms(frame.data(), width, height, PIX_BAYER_GRBG, h.data());
    const char* names[] = {"R ", "Gr", "Gb", "B "};
    char line[128];
    for (int c = 0; c < 4; ++c) {
        double mean = 0, at0 = 0, at255 = 0;
        GetHistogramStats(h.data() + 256 * c, &mean, &at0, &at255);
        std::snprintf(line, sizeof line, "%s mean %6.2f  at 0 %7.3f %%  at 255 %7.3f %%\n", names[c], mean,
                      100 * at0, 100 * at255);
        text += line;
    }
    double sharpness = 0;
    GetSharpness(frame.data(), width, height, 0, 0, width, height, PIX_BAYER_GRBG, &sharpness);
    std::snprintf(line, sizeof line, "sharpness %.1f\n", sharpness);
    return text + line;
}

std::vector<double> Sharpnesses(const std::string& out) {
    std::vector<double> values;
    for (size_t at = out.find("\nsharpness "); at != std::string::npos; at = out.find("\nsharpness ", at + 1))
        values.push_back(std::atof(out.c_str() + at + 11));
    return values;
}

} // namespace

TEST(OcusnapInfo, CommandLine) {
    struct Case {
        const char* arguments;
        int status;
        const char* stdoutHas;
        const char* stderrHas;
    };
    const Case cases[] = {
        {"--help", 0, "Usage: ocusnap-info [--list | --stats]", ""},
        {"-h", 0, "Usage: ocusnap-info [--list | --stats]", ""},
        {"--list --help", 0, "Usage: ocusnap-info [--list | --stats]", ""},
        {"--version", 0, "ocusnap-info " OCU_VERSION "\n", ""},
        {"-v", 0, "ocusnap-info " OCU_VERSION "\n", ""},
        {"--list", 0, "1 camera found\n  sim ", ""},
        // Each mistake named as what it is, then the usage.
        {"--list extra", 2, "", "ocusnap-info: unexpected argument 'extra'\nUsage:"},
        {"--bogus", 2, "", "ocusnap-info: unknown option '--bogus'\nUsage:"},
        {"--list -l", 2, "", "ocusnap-info: unknown option '-l'\nUsage:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CommandRun run = OcusnapInfo("OCUSNAP_CAMERA=sim", c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.out.find(c.stdoutHas), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << run.err;
    }
}

// A sensor whose readout alone takes longer than two seconds (8192 x 5664 at 24 MHz): its frames are waited
// for and measured, rather than reported as "no frame in time".
TEST(OcusnapInfo, ASensorSlowerThanTheTwoSecondsIsStillMeasured) {
    const CommandRun run =
        OcusnapInfo("OCUSNAP_CAMERA=sim OCUSNAP_SIM_SENSOR=8192x5664 OCUSNAP_SIM_SCENE=flat", "");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Streaming 8192 x 5664"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Frames received: 0"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Frames received: 1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" fps\n"), std::string::npos) << run.out;
}

TEST(OcusnapInfo, StatsPrintsTheFiguresOfAFewFramesAndTheirSharpness) {
    const ocu::test::TempDir dir;
    const std::string control = dir.File("control");
    using ocu::test::ScopedEnv;
    const ScopedEnv camera{"OCUSNAP_CAMERA", "sim"}, noise{"OCUSNAP_SIM_NOISE", "0"},
        freeze{"OCUSNAP_SIM_FREEZE", "1"}, fps{"OCUSNAP_SIM_FPS", "max"}, bayer{"OCUSNAP_BAYER", "GRBG"},
        lever{"OCUSNAP_SIM_CONTROL", control};

    // Every frame of the exact camera is alike: the one taken here is each of the tool's.
    OCUHANDLE sim = nullptr;
    ASSERT_EQ(BeginOcuDevice(OCU_FIRST_DEVICE, &sim), OCU_OK);
    std::vector<uint8_t> frame(1280 * 1024);
    uint8_t* buffers[] = {frame.data()};
    ASSERT_EQ(OcuSetOutputWindow(sim, 0, 0, 1280, 1024), OCU_OK);
    ASSERT_EQ(OcuSnapShot(sim, buffers, 1), OCU_OK);
    EndOcuDevice(sim);
    const CommandRun sharp = OcusnapInfo("", "--stats");
    EXPECT_EQ(sharp.status, 0);
    EXPECT_EQ(sharp.out, ExpectedFrame(1, frame, 1280, 1024) + ExpectedFrame(2, frame, 1280, 1024) +
                             ExpectedFrame(3, frame, 1280, 1024));

    // Out of focus, every frame is less sharp.
    std::ofstream(control) << "focus=4\n";
    const std::string blurred = OcusnapInfo("", "--stats").out;
    const std::vector<double> after = Sharpnesses("\n" + blurred);
    ASSERT_EQ(after.size(), 3u);
    for (const double s : after)
        EXPECT_LT(s, 0.5 * Sharpnesses("\n" + sharp.out).front());
}
