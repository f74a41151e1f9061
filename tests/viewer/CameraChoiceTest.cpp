// How the chosen camera is kept in the settings file and named in the chooser. Which camera opens at
// start-up is tested on the running viewer (CameraChooserTest).
#include "camera/CameraChoice.h"

#include "frame/Settings.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace ocu;

TEST(CameraChoice, KeptInASectionOfItsOwnAfterTheTwentyKeys) {
    // A file as an earlier run left it, with a comment and a section of somebody else's.
    IniFile ini("; OcuViewer\n[Video Parameter]\nResolution=1\n[Other]\nKey=1\n");
    EXPECT_EQ(ReadCameraChoice(ini), "");
    StoredSettings settings = ReadSettings(ini);
    WriteSettings(ini, settings);
    WriteCameraChoice(ini, "aravis:Basler-acA1300-0815");
    WriteCameraChoice(ini, ""); // no choice made: the last one stays
    EXPECT_EQ(ReadCameraChoice(ini), "aravis:Basler-acA1300-0815");

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
