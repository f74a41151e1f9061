// How the chosen camera is kept in the settings file and named in the chooser. Which camera opens at
// start-up is tested on the running viewer (CameraChooserTest).
#include "camera/CameraChoice.h"

#include "TestSupport.h"
#include "frame/Settings.h"

#include <atomic>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sstream>

using namespace ocu;
using namespace ocu::test;

namespace {
std::atomic<int> g_cameraSearches{0};
} // namespace

// Aravis's search for cameras, counted: this definition stands before the library's for the driver, and
// every search still runs there.
extern "C" void arv_update_device_list(void) {
    ++g_cameraSearches;
    using Search = void (*)();
    static const auto search = reinterpret_cast<Search>(dlsym(RTLD_NEXT, "arv_update_device_list"));
    search();
}

TEST(CameraChoice, KeptInASectionOfItsOwnAfterTheTwentyKeys) {
    // A file as an earlier run left it, with a comment and a section of somebody else's.
    IniFile ini("; OcuViewer\n[Video Parameter]\nResolution=1\n[Other]\nKey=1\n");
    EXPECT_EQ(ReadCameraChoice(ini), "");
    StoredSettings settings = ReadSettings(ini);
    WriteSettings(ini, settings);
    WriteCameraChoice(ini, "aravis:Basler-acA1300-0815");
    WriteCameraChoice(ini, ""); // no choice made: the last one stays
    EXPECT_EQ(ReadCameraChoice(ini), "aravis:Basler-acA1300-0815");
    // A hand-edited id that names no camera is no choice: the driver would only call it out of range.
    for (const char* stored : {"bogus", "aravis:", "SIM"})
        EXPECT_EQ(ReadCameraChoice(IniFile(std::string("[Camera]\nId=") + stored + "\n")), "") << stored;

    // The twenty keys of "Video Parameter", in their order, and nothing else in that section.
    std::istringstream lines(ini.Text());
    std::string line;
    std::string section;
    std::vector<std::string> videoKeys;
    std::vector<std::string> sections;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            section = line;
            sections.push_back(line);
        } else if (section == "[Video Parameter]" && line.find('=') != std::string::npos) {
            videoKeys.push_back(line.substr(0, line.find('=')));
        }
    }
    const std::vector<std::string> twenty = {
        "Resolution", "SnapMode", "ImageMode", "BayerLayout", "TintLower", "TintUpper", "ADCLevel",
        "GainRCh",    "GainRChG", "GainBChG",  "GainBCh",     "RatioRL",   "RatioRH",   "RatioGL",
        "RatioGH",    "RatioBL",  "RatioBH",   "HBlanking",   "VBlanking", "SnapSpeed"};
    EXPECT_EQ(videoKeys, twenty);
    EXPECT_EQ(sections, (std::vector<std::string>{"[Video Parameter]", "[Other]", "[Camera]"}));
    EXPECT_EQ(ini.GetString("camera", "ID").value_or(""), "aravis:Basler-acA1300-0815");
}

TEST(CameraChoice, TheChooserNamesEachCameraAndItsId) {
    struct Case {
        CameraEntry camera;
        const char* expected;
    };
    const Case cases[] = {
        {{"sim", "OcuViewer", "simulated camera, device type 2", "", "Simulated"}, "Simulated camera (sim)"},
        {{"aravis:Basler-acA1300-0815", "Basler", "acA1300", "0815", "GigEVision"},
         "Basler acA1300, serial 0815, GigEVision (aravis:Basler-acA1300-0815)"},
        {{"aravis:X", "V", "M", "", "USB3Vision"}, "V M, USB3Vision (aravis:X)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DescribeCamera(c.camera), c.expected);
    }
}

// Options > Camera... waits for the list while the picture stands still, and a search of the network takes
// a second: one search gives the list, where asking for the count first made two.
TEST(CameraChoice, TheCamerasAreListedWithOneSearch) {
    const ScopedEnv fake("OCUSNAP_ARAVIS_FAKE", std::string("only"));
    std::vector<CameraEntry> cameras;
    OCUSTATUS status = OCU_ERR_INTERNAL;
    g_cameraSearches = 0;
    ASSERT_TRUE(ListCameras(cameras, status));
    EXPECT_EQ(status, OCU_OK);
    if (g_cameraSearches == 0)
        GTEST_SKIP() << "the driver is built without Aravis";
    EXPECT_EQ(g_cameraSearches, 1);
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].id, "sim");
    EXPECT_EQ(cameras[1].id, "aravis:Fake_1");
}
