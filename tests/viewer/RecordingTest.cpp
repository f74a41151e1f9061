// Recording from the live viewer: View > Record..., the frames it takes (raw ones as delivered, display
// images as shown), its status window, and its end by limit, Stop, the end of the live picture, the
// window's close, a refusal or a lost camera.
#include "LiveTestSupport.h"
#include "ModalSteps.h"
#include "OcuSnapTesting.h"
#include "RecordSupport.h"
#include "display/HistogramWnd.h"
#include "display/ImageAids.h"
#include "display/ImageFiles.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"
#include "imaging/FramePipeline.h"
#include "record/RecordDlg.h"
#include "record/RecordStatusDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <gtest/gtest.h>

using namespace ocu;
using namespace ocu::test;
using ocurecord::test::DecodeVideo;
using ocurecord::test::FilesEndingIn;
using ocurecord::test::LogRow;
using ocurecord::test::ReadLog;

namespace {

// The dialog's entries.
constexpr int kRaw = 0;
constexpr int kFfv1 = 1;
constexpr int kH264Mp4 = 2;
constexpr int kBmp = 4;

RecordChoice Choice(const std::string& folder, int format, int frames) {
    RecordChoice choice;
    choice.folder = folder;
    choice.stem = "take";
    choice.format = format;
    choice.limit = frames > 0 ? RecordLimit::Frames : RecordLimit::UntilStopped;
    choice.frames = frames;
    choice.memoryMiB = 64;
    return choice;
}

ocurecord::Target TargetOf(const RecordChoice& choice) {
    const RecordFormatEntry& entry = RecordFormats()[static_cast<size_t>(choice.format)];
    return {choice.folder, choice.stem, entry.format, entry.container};
}

std::string StatusText(const CMainFrame& frame, const char* line) {
    return frame.RecordStatus()->findChild<QLabel*>(QLatin1String(line))->text().toStdString();
}

// Reads a sequence's frame files back with the viewer's readers: the pixels, bottom row first for images.
std::vector<uint8_t> ReadFrameFile(const std::string& path, int kind, BitmapInfo& info) {
    const ImageLimits limits = LimitsForSensor(1280, 1024);
    std::vector<uint8_t> pixels(limits.imageBytes);
    std::string note;
    const int read = kind == kFileRaw ? ReadRawFile(path, info, pixels.data(), limits, &note)
                                      : ReadBmpFile(path, info, pixels.data(), limits, &note);
    EXPECT_EQ(read, 1) << path << ": " << note;
    const int bits = kind == kFileRaw ? 8 : info.bmiHeader.biBitCount;
    pixels.resize(static_cast<size_t>(DibPixelBytes(info.bmiHeader.biWidth, info.bmiHeader.biHeight, bits)));
    return pixels;
}

class RecordLive : public SimViewerTest {
protected:
    void SetUp() override {
        SimViewerTest::SetUp();
        ASSERT_TRUE(viewer.Started());
        ResizeClient(frame(), 320, 240);
    }
    void TearDown() override {
        frame().close();
        SimViewerTest::TearDown();
    }
    CMainFrame& frame() { return viewer.Frame(); }

    ExactSimCamera camera; // still frames, each the same
    TempDir folder;
    RunningViewer viewer;
};

struct LiveCase {
    const char* name;
    int format;
    int imageMode; // 0 colour, 1 black and white
};

void PrintTo(const LiveCase& c, std::ostream* os) {
    *os << c.name;
}

class RecordLiveFormats : public RecordLive, public ::testing::WithParamInterface<LiveCase> {};

// A recording of five frames starts the live picture, leaves its title alone, and writes the frames the
// viewer had: the raw frame as the camera delivered it, the display image as it is shown.
TEST_P(RecordLiveFormats, FiveFramesAsTheViewerHadThem) {
    const LiveCase& c = GetParam();
    frame().m_nImageMode = c.imageMode;
    const RecordChoice choice = Choice(folder.Str(), c.format, 5);
    if (c.format == kBmp) { // clipping marks and a focus rectangle painted over the view stay out of it
        ASSERT_TRUE(frame().ExecuteCommand(kIdSingleSnap)); // a picture to drag over
        ASSERT_TRUE(frame().ExecuteCommand(kIdHistogram));
        frame().HistogramWnd()->findChild<QCheckBox*>(QStringLiteral("marks"))->setChecked(true);
        Drag(frame().GetActiveView(), {20, 20}, {100, 80});
        ASSERT_TRUE(frame().GetImageAids()->MarksOn());
        ASSERT_EQ(frame().GetImageAids()->FocusRect(), (Rect{20, 20, 101, 81}));
    }
    ASSERT_EQ(frame().m_bSnapping, 0);
    ASSERT_TRUE(frame().StartRecording(choice));
    EXPECT_EQ(frame().m_bSnapping, 1);
    ASSERT_TRUE(frame().RecordStatus() && frame().RecordStatus()->isVisible());
    ASSERT_TRUE(WaitFor([&] { return !frame().IsRecording(); }, 30000));
    EXPECT_EQ(frame().m_bSnapping, 1) << "the live picture goes on";
    EXPECT_EQ(LiveTitleSize(frame().windowTitle()), QSize(320, 240)) << frame().windowTitle().toStdString();
    EXPECT_EQ(StatusText(frame(), "state"), "Finished");
    EXPECT_EQ(StatusText(frame(), "written"), "5");
    EXPECT_EQ(StatusText(frame(), "dropped"), "0");

    const ocurecord::Target target = TargetOf(choice);
    const std::optional<std::vector<LogRow>> rows = ReadLog(ocurecord::LogPath(target));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 5u);
    // The camera's frames are all alike: each file holds the one the viewer still has.
    const std::vector<uint8_t> raw(frame().m_pRawBuffer.get(), frame().m_pRawBuffer.get() + 320 * 240);
    for (const LogRow& row : *rows) {
        EXPECT_EQ(row.width, 320);
        EXPECT_EQ(row.height, 240);
        EXPECT_TRUE(row.cameraUs.has_value());
        const std::string path = ocurecord::FramePath(target, row.frame);
        BitmapInfo info{};
        if (c.format == kRaw) {
            EXPECT_EQ(ReadFrameFile(path, kFileRaw, info), raw) << path;
        } else if (c.format == kBmp) {
            const int bits = c.imageMode == 0 ? 24 : 8;
            const uint8_t* shown = frame().m_pImageBuffer.get();
            EXPECT_EQ(ReadFrameFile(path, kFileBmp, info),
                      std::vector<uint8_t>(shown, shown + DibPixelBytes(320, 240, bits)))
                << path;
            EXPECT_EQ(info.bmiHeader.biBitCount, bits);
        }
    }
    if (c.format == kFfv1) {
        const std::optional<ocurecord::test::DecodedVideo> video = DecodeVideo(ocurecord::VideoPath(target));
        ASSERT_TRUE(video);
        ASSERT_EQ(video->frames.size(), 5u);
        for (const std::vector<uint8_t>& decoded : video->frames)
            EXPECT_EQ(decoded, raw);
        EXPECT_EQ(video->streamTags.at("BAYER_PATTERN"), "GRBG"); // the viewer's layout
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RecordLiveFormats,
                         ::testing::Values(LiveCase{"raw", kRaw, 0}, LiveCase{"ffv1", kFfv1, 0},
                                           LiveCase{"bmp", kBmp, 0}, LiveCase{"bmp_bw", kBmp, 1}),
                         [](const auto& param) { return std::string(param.param.name); });

// Stop in the status window ends the recording; the button then closes the window. Stopping the live
// picture ends a recording too. Each leaves as many files as rows in the log.
TEST_F(RecordLive, StopButtonAndTheEndOfTheLivePictureEndTheRecording) {
    for (const bool byButton : {true, false}) {
        SCOPED_TRACE(byButton ? "Stop" : "Continuous Snap");
        RecordChoice choice = Choice(folder.Str(), kRaw, 0);
        choice.stem = byButton ? "button" : "live";
        ASSERT_TRUE(frame().StartRecording(choice));
        ASSERT_TRUE(WaitFor([&] { return StatusText(frame(), "written") >= "3"; }));
        if (byButton)
            Button(*frame().RecordStatus(), "stop").click();
        else
            ASSERT_TRUE(frame().ExecuteCommand(kIdContinuousSnap));
        ASSERT_TRUE(WaitFor([&] { return !frame().IsRecording(); }));
        EXPECT_EQ(frame().m_bSnapping, byButton ? 1 : 0);
        EXPECT_EQ(StatusText(frame(), "state"), "Finished");
        const std::optional<std::vector<LogRow>> rows = ReadLog(ocurecord::LogPath(TargetOf(choice)));
        ASSERT_TRUE(rows);
        EXPECT_EQ(std::to_string(rows->size()), StatusText(frame(), "written"));
        size_t files = 0;
        for (const std::string& name : FilesEndingIn(folder.Str(), ".raw"))
            files += name.rfind(choice.stem + "_", 0) == 0 ? 1 : 0;
        EXPECT_EQ(files, rows->size());
        QPushButton& button = Button(*frame().RecordStatus(), "stop");
        EXPECT_EQ(button.text(), "&Close");
        button.click();
        EXPECT_FALSE(frame().RecordStatus()->isVisible());
    }
}

// A window shrunk to its menu bar reads out no row: its frames hold nothing to record, and are not frames
// dropped for being of another kind, in raw and picture formats alike; grown again, the recording goes on.
TEST_F(RecordLive, FramesOfAWindowShrunkToItsMenuBarAreNeitherRecordedNorDropped) {
    for (const int format : {kRaw, kBmp}) {
        SCOPED_TRACE(format);
        RecordChoice choice = Choice(folder.Str(), format, 0);
        choice.stem = format == kRaw ? "raw" : "bmp";
        ASSERT_TRUE(frame().StartRecording(choice));
        ASSERT_TRUE(WaitFor([&] { return StatusText(frame(), "written") >= "2"; }));
        ResizeClient(frame(), 320, 0);
        ASSERT_EQ(frame().m_rcRegion.Height(), 0);
        const int shrunk = frame().m_nFrameCount;
        ASSERT_TRUE(WaitFor([&] { return frame().m_nFrameCount >= shrunk + 5; }));
        ResizeClient(frame(), 320, 240);
        const std::string before = StatusText(frame(), "written");
        ASSERT_TRUE(WaitFor([&] { return StatusText(frame(), "written") != before; }));
        Button(*frame().RecordStatus(), "stop").click();
        ASSERT_TRUE(WaitFor([&] { return !frame().IsRecording(); }));
        // Frames the writer had no room for (the camera here runs flat out) are dropped without a reason;
        // none may be refused as a frame of another kind.
        const std::string dropped = StatusText(frame(), "dropped");
        EXPECT_EQ(dropped.find(':'), std::string::npos) << dropped;
        Button(*frame().RecordStatus(), "stop").click();
    }
}

// Closing the viewer while it records completes the video before the program goes.
TEST_F(RecordLive, ClosingTheViewerCompletesTheVideo) {
    const RecordChoice choice = Choice(folder.Str(), kH264Mp4, 0);
    ASSERT_TRUE(frame().StartRecording(choice));
    ASSERT_TRUE(WaitFor([&] { return StatusText(frame(), "written") >= "4"; }));
    frame().close();
    EXPECT_FALSE(frame().IsRecording());
    const std::optional<std::vector<LogRow>> rows = ReadLog(ocurecord::LogPath(TargetOf(choice)));
    ASSERT_TRUE(rows);
    const std::optional<ocurecord::test::DecodedVideo> video =
        DecodeVideo(ocurecord::VideoPath(TargetOf(choice)));
    ASSERT_TRUE(video);
    EXPECT_GE(video->frames.size(), 4u);
    EXPECT_EQ(video->frames.size(), rows->size());
}

// The dialog: a folder that cannot be written is named in a message and the dialog stays open, with
// nothing started; a good one starts the recording with the limit chosen.
TEST_F(RecordLive, TheDialogRefusesAFolderItCannotUseAndStartsWithAGoodOne) {
    MessageBoxRecorder boxes;
    bool checked = false;
    OnModal<CRecordDlg>([&](CRecordDlg& dlg) {
        EXPECT_EQ(Child<QComboBox>(dlg, "format").currentIndex(), kRaw);
        EXPECT_TRUE(Child<QRadioButton>(dlg, "untilStopped").isChecked());
        EXPECT_EQ(Child<QSpinBox>(dlg, "memory").value(), 512);
        EXPECT_EQ(Edit(dlg, "stem").text().left(10), "recording-");
        Edit(dlg, "folder").setText(QString::fromStdString(folder.Str() + "/missing"));
        Edit(dlg, "stem").setText(QStringLiteral("take"));
        EXPECT_EQ(Child<QLabel>(dlg, "files").text(), "take_000000.raw, take_000001.raw, ... and take.csv");
        Button(dlg, "IDOK").click();
        EXPECT_TRUE(dlg.isVisible());
        ASSERT_NO_FATAL_FAILURE(ExpectOneWarning(
            boxes, QString::fromStdString("The folder \"" + folder.Str() + "/missing\" does not exist.")));
        EXPECT_EQ(frame().m_bSnapping, 0);

        Edit(dlg, "folder").setText(QString::fromStdString(folder.Str()));
        Child<QRadioButton>(dlg, "byFrames").setChecked(true);
        Child<QSpinBox>(dlg, "frames").setValue(3);
        Button(dlg, "IDOK").click();
        checked = true;
    });
    ASSERT_TRUE(frame().ExecuteCommand(kIdRecord));
    EXPECT_TRUE(checked);
    EXPECT_TRUE(frame().IsRecording());
    EXPECT_EQ(frame().m_bSnapping, 1);
    ASSERT_TRUE(WaitFor([&] { return !frame().IsRecording(); }));
    EXPECT_EQ(FilesEndingIn(folder.Str(), ".raw").size(), 3u);
    EXPECT_EQ(frame().m_recordChoice.frames, 3); // offered again next time
}

// Frames handed over one by one, each of its own value, through the recording driver.
class RecordDelivered : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        ASSERT_TRUE(viewer.Started());
        ResizeClient(frame(), 64, 32);
    }
    void TearDown() override {
        frame().close();
        ViewerTest::TearDown();
    }
    CMainFrame& frame() { return viewer.Frame(); }
    bool Deliver(int value) {
        const int before = driver.FramesDelivered();
        return driver.DeliverFrame(static_cast<uint8_t>(value)) &&
               WaitFor([&] { return driver.FramesDelivered() > before; });
    }

    TempDir folder;
    RunningViewer viewer;
};

// Under a slower conversion type the picture changes every second frame: the display image is recorded
// when it changes, the raw frame every time, as delivered (before the pipeline works on it).
TEST_F(RecordDelivered, RawFramesAllAsDeliveredDisplayImagesWhenTheyChange) {
    ASSERT_TRUE(frame().ExecuteCommand(kIdConversionNormal));
    ASSERT_TRUE(frame().ExecuteCommand(kIdContinuousSnap));
    ASSERT_TRUE(Deliver(1)); // draws or passes over, as the process-wide alternation stands
    const bool nextConverted = FrameToggle() == 1;
    for (const int format : {kRaw, kBmp}) {
        RecordChoice choice = Choice(folder.Str(), format, 0);
        choice.stem = format == kRaw ? "raw" : "bmp";
        ASSERT_TRUE(frame().StartRecording(choice));
        for (int value = 10; value < 16; ++value)
            ASSERT_TRUE(Deliver(value));
        frame().StopRecording();
        ASSERT_TRUE(WaitFor([&] { return !frame().IsRecording(); }));
        const std::optional<std::vector<LogRow>> rows = ReadLog(ocurecord::LogPath(TargetOf(choice)));
        ASSERT_TRUE(rows);
        std::vector<int> values;
        for (const LogRow& row : *rows) {
            BitmapInfo info{};
            const std::vector<uint8_t> pixels =
                ReadFrameFile(ocurecord::FramePath(TargetOf(choice), row.frame),
                              format == kRaw ? kFileRaw : kFileBmp, info);
            // A uniform raw frame of value v is a uniform picture; its green shows v through the tables.
            values.push_back(format == kRaw ? pixels.at(0) : pixels.at(1));
        }
        const std::vector<int> all{10, 11, 12, 13, 14, 15};
        const std::vector<int> shown =
            nextConverted ? std::vector<int>{10, 12, 14} : std::vector<int>{11, 13, 15};
        EXPECT_EQ(values, format == kRaw ? all : shown);
    }
}

// A camera that stops answering mid-recording: a second of silence, the driver's word that it is lost,
// and the recording ends with that message, its files complete, and the picture with it.
TEST_F(RecordDelivered, ALostCameraEndsTheRecordingWithTheDriversMessage) {
    MessageBoxRecorder boxes;
    const RecordChoice choice = Choice(folder.Str(), kRaw, 0);
    ASSERT_TRUE(frame().StartRecording(choice));
    for (int value = 1; value <= 3; ++value)
        ASSERT_TRUE(Deliver(value));
    driver.SetStatus("OcuSetSnapMode", OCU_ERR_CAMERA_LOST);
    ASSERT_TRUE(WaitFor([&] { return !frame().IsRecording(); }, 10000));
    const QString lost = QString::fromUtf8(OcuGetErrorString(OCU_ERR_CAMERA_LOST));
    ASSERT_NO_FATAL_FAILURE(ExpectOneWarning(boxes, lost));
    EXPECT_EQ(frame().m_bSnapping, 0);
    EXPECT_EQ(QString::fromStdString(StatusText(frame(), "state")), lost);
    EXPECT_EQ(FilesEndingIn(folder.Str(), ".raw").size(), 3u);
    driver.SetStatus("OcuSetSnapMode", OCU_OK);
}

} // namespace
