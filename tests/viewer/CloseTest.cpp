// The close sequence: acquisition stopped, settings written, camera closed, in that order.
#include "OcuSnapTesting.h"
#include "SmallDisk.h"
#include "TestSupport.h"
#include "WindowTestSupport.h"
#include "frame/CommandIds.h"
#include "frame/Settings.h"

#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ocu;
using namespace ocu::test;
using Calls = std::vector<std::string>;

namespace {

// The settings file appears when the finished file is renamed over it (or, where there was none, into
// place). Taking the rename here shows when the settings were written among the calls to the camera.
std::function<void()> g_onRename;

} // namespace

extern "C" int rename(const char* from, const char* to) noexcept {
    if (g_onRename)
        g_onRename();
    return renameat(AT_FDCWD, from, AT_FDCWD, to);
}

namespace {

class Close : public ViewerTest {
protected:
    void TearDown() override {
        g_onRename = nullptr;
        ViewerTest::TearDown();
    }
};

} // namespace

TEST_F(Close, DuringAcquisitionTheSnapStopsBeforeTheSettingsAndTheCamera) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    ASSERT_EQ(frame.m_bSnapping, 1);

    driver.ClearCalls();
    Calls atWrite;
    int writes = 0;
    g_onRename = [&] {
        atWrite = driver.CallTexts();
        ++writes;
    };
    frame.close();
    g_onRename = nullptr;

    EXPECT_EQ(writes, 1);
    EXPECT_EQ(atWrite, Calls{"OcuCloseSnap()"});
    EXPECT_EQ(driver.CallTexts(), (Calls{"OcuCloseSnap()", "EndOcuDevice()"}));
    EXPECT_EQ(frame.m_bSnapping, 0);
    EXPECT_EQ(frame.m_hDevice, nullptr);
}

TEST_F(Close, IdleCloseWritesTheSettingsThenClosesTheCamera) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    driver.ClearCalls();
    Calls atWrite{"not written"};
    g_onRename = [&] { atWrite = driver.CallTexts(); };
    viewer.Frame().close();
    EXPECT_EQ(atWrite, Calls{});
    EXPECT_EQ(driver.CallTexts(), Calls{"EndOcuDevice()"});
}

TEST_F(Close, ExitWritesTheTwentyKeysInWriteOrder) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    frame.m_dRatioR = 1.1;
    frame.m_nTintUpper = 33;
    ASSERT_TRUE(frame.ExecuteCommand(kIdAppExit));
    EXPECT_FALSE(frame.isVisible());
    EXPECT_EQ(ReadText(SettingsPath()), "[Video Parameter]\n"
                                        "Resolution=0\n"
                                        "SnapMode=0\n"
                                        "ImageMode=0\n"
                                        "BayerLayout=2\n"
                                        "TintLower=1000\n"
                                        "TintUpper=33\n"
                                        "ADCLevel=1\n"
                                        "GainRCh=8\n"
                                        "GainRChG=8\n"
                                        "GainBChG=8\n"
                                        "GainBCh=8\n"
                                        "RatioRL=-1717986918\n"
                                        "RatioRH=1072798105\n"
                                        "RatioGL=0\n"
                                        "RatioGH=0\n"
                                        "RatioBL=0\n"
                                        "RatioBH=0\n"
                                        "HBlanking=0\n"
                                        "VBlanking=0\n"
                                        "SnapSpeed=1\n");
}

TEST_F(Close, SettingsSurviveARestart) {
    {
        RunningViewer viewer;
        ASSERT_TRUE(viewer.Started());
        CMainFrame& frame = viewer.Frame();
        frame.ExecuteCommand(kIdResolution1);
        frame.ExecuteCommand(kIdNormalSpeed);
        frame.m_nGain = {1, 2, 3, 4};
        frame.m_dRatioB = 0.1 + 0.2;
        frame.close();
    }
    WriteSettingsFile(ReadText(SettingsPath()) + "[Another]\nKeep=1\n");
    driver.ClearCalls();
    {
        RunningViewer viewer;
        ASSERT_TRUE(viewer.Started());
        CMainFrame& frame = viewer.Frame();
        EXPECT_EQ(frame.m_nResolution, 1);
        EXPECT_EQ(frame.m_nSnapSpeed, 0);
        EXPECT_EQ(frame.m_nGain, (std::array<int, 4>{1, 2, 3, 4}));
        EXPECT_EQ(frame.m_dRatioB, 0.1 + 0.2);
        EXPECT_EQ(FirstCall(driver.CallTexts(), "OcuSetResolution"), "OcuSetResolution(1)");
        frame.close();
    }
    EXPECT_NE(ReadText(SettingsPath()).find("[Another]\nKeep=1\n"), std::string::npos);
}

TEST_F(Close, AReadOnlySettingsFileIsLeftAsItWasAndRead) {
    WriteSettingsFile("[Video Parameter]\r\nTintUpper=30\r\n; the user's own note\r\n");
    ASSERT_EQ(chmod(SettingsPath().c_str(), 0444), 0);
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    EXPECT_EQ(frame.m_nTintUpper, 30);
    frame.m_nTintUpper = 45;
    frame.close();
    EXPECT_EQ(ReadText(SettingsPath()), "[Video Parameter]\r\nTintUpper=30\r\n; the user's own note\r\n");
    struct stat st {};
    ASSERT_EQ(stat(SettingsPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    chmod(SettingsPath().c_str(), 0644);
}

// With the config folder's disk full, File > Exit leaves the settings file exactly as it was, foreign
// sections and all, for the next run to read; with room again the next exit writes it.
TEST_F(Close, AFullDiskKeepsTheSettingsFileAsItWas) {
    SmallDisk disk;
    if (!disk.Ready())
        GTEST_SKIP() << "skipped: " << disk.Reason();
    const ScopedEnv config("XDG_CONFIG_HOME", disk.Path());
    const std::string old = "[Another Program]\r\nKey=1\r\n[Video Parameter]\r\nTintUpper=30\r\n";
    WriteText(SettingsPath(), old);
    ASSERT_EQ(SettingsPath(), disk.File("OcuViewer.ini"));
    for (const bool full : {true, false}) {
        SCOPED_TRACE(full ? "full" : "room again");
        if (full)
            ASSERT_TRUE(disk.Fill());
        else
            disk.Free();
        RunningViewer viewer;
        ASSERT_TRUE(viewer.Started());
        EXPECT_EQ(viewer.Frame().m_nTintUpper, 30);
        viewer.Frame().m_nTintUpper = 45;
        viewer.Frame().close();
        const std::string now = ReadText(SettingsPath());
        if (full) {
            EXPECT_EQ(now, old);
        } else {
            EXPECT_NE(now.find("[Another Program]\r\nKey=1\r\n"), std::string::npos) << now;
            EXPECT_NE(now.find("TintUpper=45\r\n"), std::string::npos) << now;
        }
    }
}
