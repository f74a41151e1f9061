// Choosing the camera: at start-up (--camera, the driver's environment, the last choice) and with
// Options > Camera... while the viewer runs, on the simulated camera and Aravis's fake camera.
#include "LiveTestSupport.h"
#include "ModalSteps.h"
#include "dialogs/CameraDlg.h"
#include "frame/CommandIds.h"

#include <QListWidget>
#include <gtest/gtest.h>

using namespace ocu;
using namespace ocu::test;

namespace {

class CameraAtStart : public ViewerTest {};
class CameraChooser : public SimViewerTest {};

} // namespace

TEST_F(CameraAtStart, TheCommandLineThenTheEnvironmentThenTheLastChoice) {
    struct Case {
        const char* commandLine;
        std::optional<std::string> environment;
        const char* expected; // the open call
    };
    const Case cases[] = {
        {"", std::nullopt, "BeginOcuDeviceById(aravis:cam-7)"},
        {"", std::string("sim"), "BeginOcuDevice(1)"},
        {"sim", std::string("none"), "BeginOcuDeviceById(sim)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const ScopedEnv environment("OCUSNAP_CAMERA", c.environment);
        WriteSettingsFile("[Video Parameter]\nResolution=0\n[Camera]\nId=aravis:cam-7\n");
        driver.ClearCalls();
        {
            RunningViewer viewer({}, c.commandLine);
            ASSERT_TRUE(viewer.Started());
            EXPECT_EQ(FirstCall(driver.CallTexts(), "BeginOcuDevice"), c.expected);
            viewer.Frame().close();
        }
        // The last choice stays, whatever this run opened.
        EXPECT_NE(ReadText(SettingsPath()).find("[Camera]\nId=aravis:cam-7"), std::string::npos);
    }
}

// OK on the camera in use leaves it open until it is lost; then it opens it again, the way back after the
// camera was reconnected.
TEST_F(CameraAtStart, TheCameraInUseChosenAgainOpensAgainOnlyOnceLost) {
    const ScopedEnv fake("OCUSNAP_ARAVIS_FAKE", std::string("only"));
    for (const bool lost : {false, true}) {
        SCOPED_TRACE(lost);
        RunningViewer viewer({}, "sim");
        ASSERT_TRUE(viewer.Started());
        CMainFrame& frame = viewer.Frame();
        driver.SetStatus("OcuSetSnapMode", lost ? OCU_ERR_CAMERA_LOST : OCU_OK);
        driver.ClearCalls();
        OnModal<CCameraDlg>([](CCameraDlg& dlg) { Button(dlg, "IDOK").click(); });
        ASSERT_TRUE(frame.ExecuteCommand(kIdChooseCamera));
        driver.SetStatus("OcuSetSnapMode", OCU_OK);
        EXPECT_EQ(FirstCall(driver.CallTexts(), "BeginOcuDevice"), lost ? "BeginOcuDeviceById(sim)" : "");
        EXPECT_NE(frame.m_hDevice, nullptr);
        frame.close();
    }
}

TEST_F(CameraChooser, AFirstRunTakesTheLayoutTheCameraReports) {
    const ScopedEnv bayer("OCUSNAP_BAYER", std::string("RGGB"));
    struct Case {
        const char* settings;
        int expected;
    };
    const Case cases[] = {{nullptr, 4}, {"[Video Parameter]\nBayerLayout=1\n", 1}, {"[Other]\nA=1\n", 4}};
    for (const Case& c : cases) {
        RemoveSettings();
        if (c.settings != nullptr)
            WriteSettingsFile(c.settings);
        RunningViewer viewer;
        ASSERT_TRUE(viewer.Started());
        EXPECT_EQ(viewer.Frame().m_nBayerLayout, c.expected) << (c.settings ? c.settings : "no file");
        viewer.Frame().close();
    }
}

TEST_F(CameraChooser, SwitchingOpensTheChosenCameraKeepsTheSettingsAndTheLiveView) {
    // Aravis's in-process fake camera beside the simulated one, and no search of the network.
    const ScopedEnv fake("OCUSNAP_ARAVIS_FAKE", std::string("only"));
    WriteSettingsFile("[Video Parameter]\nResolution=1\nADCLevel=0\nGainRCh=12\n");
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ASSERT_TRUE(StartLive(frame, 320, 240, 2));

    // The cameras in the chooser, and then each one chosen in turn.
    struct Step {
        int row;
        const char* id;
        int32_t modeWidth; // mode 1 of that camera
        QString model;
    };
    const Step steps[] = {{1, "aravis:Fake_1", 1024, QString()}, {0, "sim", 640, QStringLiteral("VelC")}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.id);
        OnModal<CCameraDlg>([&](CCameraDlg& dlg) {
            auto& list = Child<QListWidget>(dlg, "CameraList");
            ASSERT_EQ(list.count(), 2);
            EXPECT_EQ(list.item(0)->text(), QStringLiteral("Simulated camera (sim)"));
            EXPECT_EQ(list.item(1)->text(), QStringLiteral("Aravis Fake, serial 1, Fake (aravis:Fake_1)"));
            list.setCurrentRow(s.row);
            Button(dlg, "IDOK").click();
        });
        ASSERT_TRUE(frame.ExecuteCommand(kIdChooseCamera));
        EXPECT_EQ(frame.m_strCameraId, s.id);
        ASSERT_NE(frame.m_hDevice, nullptr);
        EXPECT_EQ(frame.m_nResolution, 1);
        EXPECT_EQ(frame.m_nWidth, s.modeWidth);
        EXPECT_EQ(frame.m_nGain[0], 12);
        EXPECT_EQ(frame.m_strDeviceName, s.model);
        // The live picture goes on with the new camera, at the window's size.
        EXPECT_EQ(frame.m_bSnapping, 1);
        const int from = frame.m_nFrameCount;
        ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= from + 3; }, 30000));
        EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biWidth, 320);
        EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biHeight, 240);
    }
    // Cancelled: nothing changes.
    OnModal<CCameraDlg>([](CCameraDlg& dlg) { Button(dlg, "IDCANCEL").click(); });
    ASSERT_TRUE(frame.ExecuteCommand(kIdChooseCamera));
    EXPECT_EQ(frame.m_strCameraId, "sim");

    frame.close();
    const std::string text = ReadText(SettingsPath());
    EXPECT_NE(text.find("[Camera]\nId=sim\n"), std::string::npos) << text;
    EXPECT_LT(text.find("SnapSpeed="), text.find("[Camera]"));
}

// The chooser marks the camera in use, also where the start-up named no camera of its list ("aravis", the
// first GenICam camera, or the driver's own choice), so that OK keeps it rather than switch to the first row.
TEST_F(CameraChooser, MarksTheCameraInUseHoweverItWasNamed) {
    const ScopedEnv fake("OCUSNAP_ARAVIS_FAKE", std::string("only"));
    struct Case {
        const char* commandLine;
        std::optional<std::string> environment;
        int row;
    };
    const Case cases[] = {
        {"aravis", std::nullopt, 1}, {"", std::string("aravis"), 1}, {"", std::string("sim"), 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.environment.value_or(c.commandLine));
        const ScopedEnv environment("OCUSNAP_CAMERA", c.environment);
        RunningViewer viewer({}, c.commandLine);
        ASSERT_TRUE(viewer.Started());
        CMainFrame& frame = viewer.Frame();
        const OCUHANDLE opened = frame.m_hDevice;
        ASSERT_NE(opened, nullptr);
        int marked = -1;
        OnModal<CCameraDlg>([&](CCameraDlg& dlg) {
            marked = Child<QListWidget>(dlg, "CameraList").currentRow();
            Button(dlg, "IDOK").click();
        });
        ASSERT_TRUE(frame.ExecuteCommand(kIdChooseCamera));
        EXPECT_EQ(marked, c.row);
        EXPECT_EQ(frame.m_hDevice, opened); // not opened a second time
        frame.close();
    }
}

// A viewer that found no camera is a frame of its menu bar alone; the camera chosen then opens as at
// start-up, in a window showing its whole image, not in a region of 0 x 0 that only a drag could open.
TEST_F(CameraChooser, ACameraChosenWhereNoneOpenedGetsTheWindowOfAStart) {
    const ScopedEnv fake("OCUSNAP_ARAVIS_FAKE", std::string("only"));
    Rect started;
    {
        RunningViewer viewer({}, "sim");
        ASSERT_TRUE(viewer.Started());
        started = viewer.Frame().m_rcRegion;
        viewer.Frame().close();
    }
    ASSERT_GT(started.Width(), 0);
    for (const char* missing : {"none", "aravis:no-such-camera"}) {
        SCOPED_TRACE(missing);
        RemoveSettings();
        MessageBoxRecorder boxes;
        RunningViewer viewer({}, missing);
        ASSERT_TRUE(viewer.Started());
        CMainFrame& frame = viewer.Frame();
        ASSERT_EQ(frame.m_hDevice, nullptr);
        EXPECT_EQ(frame.m_rcRegion, Rect{});

        OnModal<CCameraDlg>([](CCameraDlg& dlg) {
            Child<QListWidget>(dlg, "CameraList").setCurrentRow(0);
            Button(dlg, "IDOK").click();
        });
        ASSERT_TRUE(frame.ExecuteCommand(kIdChooseCamera));
        ProcessEvents();
        ASSERT_NE(frame.m_hDevice, nullptr);
        EXPECT_EQ(frame.m_rcRegion, started);
        EXPECT_EQ(TitleAfterPaint(frame),
                  QStringLiteral("VelC Viewer [%1 x %2]").arg(started.Width()).arg(started.Height()));
        frame.close();
    }
}
