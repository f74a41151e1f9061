// File > Open and Save As on the running viewer: the dialogs, the files a frame of the simulated camera
// gives, raw frames opened in colour and black-and-white, the corpus of crafted files through Open, and
// ocuimage converting a saved frame exactly as the viewer shows it.
#include "CorpusSupport.h"
#include "LiveTestSupport.h"
#include "common/FileDialog.h"
#include "display/ImageFiles.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"
#include "imaging/YuvLut.h"

#include <QApplication>
#include <QEvent>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

using namespace ocu;
using namespace ocu::test;
using Bytes = std::vector<uint8_t>;

namespace {

// Answers the file dialogs with the given paths, in order (cancelling when none is left), and keeps how
// each dialog was asked for.
class FileDialogAnswers {
public:
    FileDialogAnswers() {
        m_previous = SetFileDialogHandler([this](const FileDialogRequest& request) {
            requests.push_back(request);
            if (m_answers.empty())
                return QString();
            const QString answer = m_answers.front();
            m_answers.erase(m_answers.begin());
            return answer;
        });
    }
    ~FileDialogAnswers() { SetFileDialogHandler(std::move(m_previous)); }
    FileDialogAnswers(const FileDialogAnswers&) = delete;
    FileDialogAnswers& operator=(const FileDialogAnswers&) = delete;

    void Answer(const std::string& path) { m_answers.push_back(QString::fromStdString(path)); }

    std::vector<FileDialogRequest> requests;

private:
    std::vector<QString> m_answers;
    FileDialogHandler m_previous;
};

// What the frame shows and holds: the header with its colour table and both buffers, whole.
struct Shown {
    explicit Shown(const CMainFrame& frame)
        : header(frame.m_BmpInfoBuf, frame.m_BmpInfoBuf + sizeof(BitmapInfo)),
          image(frame.m_pImageBuffer.get(), frame.m_pImageBuffer.get() + kImageBytes),
          raw(frame.m_pRawBuffer.get(), frame.m_pRawBuffer.get() + kImageBytes / 3) {}
    bool operator==(const Shown&) const = default;

    // The simulated camera's mode 0 is 1280 x 1024.
    static constexpr size_t kImageBytes = 1280 * 1024 * 3;
    Bytes header;
    Bytes image;
    Bytes raw;
};

// Counts the paint events of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class FileCommands : public SimViewerTest {
protected:
    // A viewer on the still simulated camera in mode 1, the whole 640 x 480 image as its region, in the
    // camera's Bayer layout; one frame taken.
    void Start(const std::string& settings = "") {
        WriteSettingsFile("[Video Parameter]\nResolution=1\nBayerLayout=2\n" + settings);
        viewer = std::make_unique<RunningViewer>();
        ASSERT_TRUE(viewer->Started());
        ResizeClient(Frame(), 640, 480);
        ASSERT_EQ(Frame().m_rcRegion, (Rect{0, 0, 640, 480}));
        ASSERT_TRUE(Frame().ExecuteCommand(kIdSingleSnap));
    }
    void TearDown() override {
        if (viewer)
            Frame().close();
        viewer.reset();
        SimViewerTest::TearDown();
    }
    CMainFrame& Frame() { return viewer->Frame(); }
    void Open(const std::string& path) {
        dialogs.Answer(path);
        Frame().ExecuteCommand(kIdFileOpenImage);
        ProcessEvents();
    }
    void SaveAs(const std::string& path) {
        dialogs.Answer(path);
        Frame().ExecuteCommand(kIdFileSaveAs);
    }
    // A Save As to path that writes nothing and names the file and the reason in the viewer's warning.
    void SaveAsRefused(CMainFrame& frame, const std::string& path, const std::string& reason) {
        MessageBoxRecorder boxes;
        dialogs.Answer(path);
        frame.ExecuteCommand(kIdFileSaveAs);
        EXPECT_FALSE(std::filesystem::exists(path));
        ExpectOneWarning(boxes, QString::fromStdString("Cannot save \"" + path + "\": " + reason + "."));
    }
    const BitmapInfoHeader& Header() { return Frame().m_pBmpInfo->bmiHeader; }
    void Scribble() { std::fill_n(Frame().m_pImageBuffer.get(), Shown::kImageBytes, 0x5A); }

    const ExactSimCamera camera{"GRBG"};
    const TempDir dir;
    FileDialogAnswers dialogs;
    std::unique_ptr<RunningViewer> viewer;
};

// Runs ocuimage; its exit status.
int RunOcuimage(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(OCU_OCUIMAGE), arguments);
    if (!process.waitForFinished(60000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

TEST_F(FileCommands, TheDialogsAsksAsSpecifiedAndWithoutBuffersNothingHappens) {
    const ScopedEnv noCamera("OCUSNAP_CAMERA", std::string("none"));
    MessageBoxRecorder boxes;
    RunningViewer noBuffers;
    ASSERT_TRUE(noBuffers.Started());
    CMainFrame& frame = noBuffers.Frame();
    ASSERT_FALSE(frame.m_pImageBuffer);
    const Bytes header(frame.m_BmpInfoBuf, frame.m_BmpInfoBuf + sizeof(BitmapInfo));
    WriteText(dir.File("in.raw"), RawFileBytes(64, 48, std::string(64 * 48, 'x')));
    dialogs.Answer(dir.File("in.raw"));
    frame.ExecuteCommand(kIdFileOpenImage);
    dialogs.Answer(dir.File("out.bmp"));
    frame.ExecuteCommand(kIdFileSaveAs);
    EXPECT_EQ(Bytes(frame.m_BmpInfoBuf, frame.m_BmpInfoBuf + sizeof(BitmapInfo)), header);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.bmp")));
    // After the driver's box, each command says why it did nothing.
    const std::vector<MessageBoxRequest>& shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1].text,
              QStringLiteral("Cannot open \"%1\": without a camera there are no image buffers to "
                             "show it in.")
                  .arg(QString::fromStdString(dir.File("in.raw"))));
    EXPECT_EQ(shown[2].text, QStringLiteral("Cannot save \"%1\": no image to save.")
                                 .arg(QString::fromStdString(dir.File("out.bmp"))));

    ASSERT_EQ(dialogs.requests.size(), 2u);
    for (const FileDialogRequest& request : dialogs.requests) {
        EXPECT_EQ(request.parent, &frame);
        EXPECT_EQ(request.filter, "Bitmap Files(*.bmp);;JPEG Files(*.jpg);;Dax Raw Files(*.raw)");
        EXPECT_EQ(request.selectedFilter, "Bitmap Files(*.bmp)");
        EXPECT_EQ(request.defaultSuffix, "bmp");
        EXPECT_TRUE(request.confirmOverwrite);
    }
    EXPECT_FALSE(dialogs.requests[0].save);
    EXPECT_TRUE(dialogs.requests[1].save);
    frame.close();
}

// A Save As that writes nothing says why, since its dialog closed as after any save.
TEST_F(FileCommands, SaveAsThatCannotWriteCreatesNothingAndSaysWhy) {
    WriteSettingsFile("[Video Parameter]\nResolution=1\n");
    RunningViewer fresh;
    ASSERT_TRUE(fresh.Started());
    for (const char* name : {"a.bmp", "a.jpg", "a.raw"})
        SaveAsRefused(fresh.Frame(), dir.File(name), "no image to save");
    ASSERT_TRUE(fresh.Frame().ExecuteCommand(kIdSingleSnap));
    SaveAsRefused(fresh.Frame(), dir.File("missing/a.bmp"),
                  "cannot write the file: the folder " + dir.File("missing") + " does not exist");
    // A cancelled dialog does nothing, and says nothing.
    fresh.Frame().ExecuteCommand(kIdFileSaveAs);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    fresh.Frame().close();
}

TEST_F(FileCommands, AFrameSavedInEachFormatOpensAgainAsTheSamePicture) {
    Start();
    const Shown frame(Frame());
    // The kind comes from the name alone: ".jpeg" is a BMP, ".Jpg" a JPEG.
    for (const char* name : {"frame.bmp", "frame.Jpg", "frame.RAW", "frame.jpeg"})
        SaveAs(dir.File(name));
    EXPECT_EQ(std::filesystem::file_size(dir.File("frame.bmp")), 921654u);
    EXPECT_EQ(std::filesystem::file_size(dir.File("frame.RAW")), 307208u);
    EXPECT_EQ(ReadText(dir.File("frame.jpeg")), ReadText(dir.File("frame.bmp")));
    EXPECT_EQ(ReadText(dir.File("frame.Jpg")).substr(0, 2), "\xFF\xD8");

    for (const char* name : {"frame.bmp", "frame.RAW"}) {
        Scribble();
        Open(dir.File(name));
        const Shown opened(Frame());
        EXPECT_EQ(opened.header, frame.header) << name;
        EXPECT_TRUE(
            std::equal(frame.image.begin(), frame.image.begin() + 640 * 480 * 3, opened.image.begin()))
            << name;
        EXPECT_TRUE(opened.raw == frame.raw) << name;
    }
    Scribble();
    Open(dir.File("frame.Jpg"));
    EXPECT_EQ(Bytes(Frame().m_BmpInfoBuf, Frame().m_BmpInfoBuf + 40),
              Bytes(frame.header.begin(), frame.header.begin() + 40));
    int worst = 0;
    int64_t total = 0;
    for (size_t i = 0; i < 640 * 480 * 3; ++i) {
        const int error = std::abs(Frame().m_pImageBuffer[i] - frame.image[i]);
        worst = std::max(worst, error);
        total += error;
    }
    EXPECT_LE(worst, 24);
    EXPECT_LT(static_cast<double>(total) / (640 * 480 * 3), 1.0);
}

// Ctrl+S once saved the empty document, an empty file where the user expected the picture: the keys save
// and open images, through the same dialogs as the File menu.
TEST_F(FileCommands, CtrlSSavesThePictureAndCtrlOOpensItAgain) {
    Start();
    CMainFrame& frame = Frame();
    QApplication::setActiveWindow(&frame);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    // A dialog that does not go through the viewer's own (the empty document's) is closed, not waited for.
    QTimer::singleShot(0, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    const Shown taken(frame);
    dialogs.Answer(dir.File("keyed.bmp"));
    QTest::keyClick(&frame, Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(std::filesystem::exists(dir.File("keyed.bmp")));
    EXPECT_EQ(std::filesystem::file_size(dir.File("keyed.bmp")), 921654u);

    Scribble();
    dialogs.Answer(dir.File("keyed.bmp"));
    QTest::keyClick(&frame, Qt::Key_O, Qt::ControlModifier);
    const Shown opened(frame);
    EXPECT_EQ(opened.header, taken.header);
    EXPECT_TRUE(std::equal(taken.image.begin(), taken.image.begin() + 640 * 480 * 3, opened.image.begin()));
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_TRUE(dialogs.requests[0].save);
    EXPECT_FALSE(dialogs.requests[1].save);
    EXPECT_EQ(dialogs.requests[0].filter, dialogs.requests[1].filter);
}

// `ocuviewer picture.bmp`, as the desktop's launcher starts it: the picture shows once the camera is set up;
// a file that cannot be shown is named with the reason and the viewer runs on.
TEST_F(FileCommands, AFileNamedOnTheCommandLineIsShownOrTheReasonIsSaid) {
    WriteText(dir.File("frame.raw"), RawFileBytes(64, 48, std::string(64 * 48, '\x40')));
    WriteText(dir.File("text.bmp"), "not a picture");
    struct Case {
        std::string file;
        const char* camera;
        const char* reason; // null: shown
    };
    const Case cases[] = {
        {dir.File("frame.raw"), "sim", nullptr},
        {dir.File("missing.bmp"), "sim", "there is no such file"},
        {dir.File("text.bmp"), "sim", "not a BMP file (no BM signature)"},
        {dir.File("frame.raw"), "none", "without a camera there are no image buffers to show it in"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " on camera " + c.camera);
        const ScopedEnv backend("OCUSNAP_CAMERA", std::string(c.camera));
        MessageBoxRecorder boxes;
        RunningViewer started({QString::fromStdString(c.file)});
        ASSERT_TRUE(started.Started());
        const BitmapInfoHeader& header = started.Frame().m_pBmpInfo->bmiHeader;
        const std::vector<MessageBoxRequest>& shown = boxes.Boxes();
        if (!c.reason) {
            EXPECT_TRUE(shown.empty());
            EXPECT_EQ(header.biWidth, 64);
            EXPECT_EQ(header.biHeight, 48);
            EXPECT_EQ(DisplayPixel(started.Frame(), 10, 10).g, 0x40);
        } else {
            // Without a camera the driver's box comes first.
            ASSERT_FALSE(shown.empty());
            EXPECT_EQ(shown.back().text,
                      QStringLiteral("Cannot open \"%1\": %2.")
                          .arg(QString::fromStdString(c.file), QString::fromLatin1(c.reason)));
            EXPECT_EQ(shown.back().icon, QMessageBox::Warning);
            EXPECT_EQ(shown.size(), std::string(c.camera) == "none" ? 2u : 1u);
            EXPECT_NE(header.biWidth, 64);
        }
        EXPECT_TRUE(started.Frame().isVisible());
        started.Frame().close();
    }
}

TEST_F(FileCommands, ARawFileOpensInColourAndInBlackAndWhiteAndIsNeverDropped) {
    Start();
    SaveAs(dir.File("frame.raw"));
    const Bytes colour(Frame().m_pImageBuffer.get(), Frame().m_pImageBuffer.get() + 640 * 480 * 3);

    // Under a slower type every second frame is dropped; an opened frame is converted every time.
    Frame().ExecuteCommand(kIdConversionNormal);
    for (int i = 0; i < 3; ++i) {
        Scribble();
        Open(dir.File("frame.raw"));
        EXPECT_NE(Frame().m_pImageBuffer[0], 0x5A) << i;
        EXPECT_EQ(Header().biBitCount, 24);
    }
    Frame().ExecuteCommand(kIdConversionFast);

    Frame().ExecuteCommand(kIdImageBw);
    Scribble();
    Open(dir.File("frame.raw"));
    EXPECT_EQ(Header().biBitCount, 8);
    EXPECT_EQ(Header().biWidth, 640);
    Bytes gray(640 * 480);
    BgrToGray(gray.data(), colour.data(), gray.size(), nullptr);
    EXPECT_TRUE(std::equal(gray.begin(), gray.end(), Frame().m_pImageBuffer.get()));
}

TEST_F(FileCommands, ARawFileSavedAfterAnOpenedImageTakesTheDisplayHeadersSize) {
    Start();
    // A 64 x 48 BMP: the raw file has its size, with the frame's samples.
    BitmapInfo info{};
    InitBitmapInfo(info);
    info.bmiHeader.biWidth = 64;
    info.bmiHeader.biHeight = 48;
    info.bmiHeader.biBitCount = 24;
    const Bytes pixels(64 * 48 * 3, 0x33);
    ASSERT_EQ(WriteBmpFile(dir.File("small.bmp"), info, pixels.data(), pixels.size()), 1);
    Open(dir.File("small.bmp"));
    SaveAs(dir.File("small.raw"));
    const std::string raw = ReadText(dir.File("small.raw"));
    ASSERT_EQ(raw.size(), 8u + 64 * 48);
    EXPECT_EQ(raw.substr(0, 8), RawFileBytes(64, 48, "")); // the header alone
    EXPECT_EQ(std::memcmp(raw.data() + 8, Frame().m_pRawBuffer.get(), 64 * 48), 0);

    // A gray JPEG fits the display buffer with more pixels than the raw buffer has: no raw file then.
    info.bmiHeader.biWidth = 1400;
    info.bmiHeader.biHeight = 1000;
    info.bmiHeader.biBitCount = 8;
    const Bytes gray(1400 * 1000, 0x44);
    ASSERT_EQ(WriteJpegFile(dir.File("wide.jpg"), info, gray.data(), gray.size()), 1);
    Open(dir.File("wide.jpg"));
    ASSERT_EQ(Header().biWidth, 1400);
    EXPECT_EQ(Header().biBitCount, 8);
    SaveAsRefused(Frame(), dir.File("wide.raw"),
                  "the image of 1400 x 1000 pixels does not fit the raw buffer");
}

TEST_F(FileCommands, AFrameSavedAsRawAndConvertedWithOcuimageEqualsTheViewersBmp) {
    Start();
    for (const bool gray : {false, true}) {
        SCOPED_TRACE(gray ? "black and white" : "colour");
        if (gray) {
            Frame().ExecuteCommand(kIdImageBw);
            ASSERT_TRUE(Frame().ExecuteCommand(kIdSingleSnap));
        }
        SaveAs(dir.File("frame.raw"));
        SaveAs(dir.File("viewer.bmp"));
        // No --layout: ocuimage's default is the layout a first run of the viewer uses, the camera's.
        QStringList arguments{QString::fromStdString(dir.File("frame.raw")),
                              QString::fromStdString(dir.File("ocuimage.bmp"))};
        if (gray)
            arguments << "--gray";
        ASSERT_EQ(RunOcuimage(arguments), 0);
        const std::string viewerBmp = ReadText(dir.File("viewer.bmp"));
        EXPECT_EQ(viewerBmp.size(), gray ? 1078u + 640 * 480 : 921654u);
        EXPECT_TRUE(ReadText(dir.File("ocuimage.bmp")) == viewerBmp);
    }
}

TEST_F(FileCommands, EveryCorpusFileIsRefusedUnchangedOrShownAndTheViewRepaints) {
    Start();
    const PaintCounter paints(Frame().GetActiveView());
    for (const CorpusFile& file : CorpusFiles()) {
        SCOPED_TRACE(file.name);
        // Back to a camera frame, so that a refused file is seen to change nothing.
        ASSERT_TRUE(Frame().ExecuteCommand(kIdSingleSnap));
        const Shown before(Frame());
        const int paintsBefore = paints.paints;
        MessageBoxRecorder boxes;
        Open(file.path);
        EXPECT_GT(paints.paints, paintsBefore);
        if (!file.viewerShows) {
            EXPECT_TRUE(Shown(Frame()) == before);
            ASSERT_EQ(boxes.Boxes().size(), 1u);
            EXPECT_TRUE(boxes.Boxes()[0].text.startsWith(
                QStringLiteral("Cannot open \"%1\": ").arg(QString::fromStdString(file.path))));
            continue;
        }
        EXPECT_TRUE(boxes.Boxes().empty());
        const BitmapInfoHeader& h = Header();
        EXPECT_EQ(h.biSize, 40u);
        EXPECT_EQ(h.biCompression, kBiRgb);
        EXPECT_TRUE(h.biBitCount == 8 || h.biBitCount == 24);
        const int64_t bytes = DibPixelBytes(h.biWidth, h.biHeight, h.biBitCount);
        EXPECT_GT(bytes, 0);
        EXPECT_LE(bytes, static_cast<int64_t>(Shown::kImageBytes));
        // And it saves again as what it shows.
        SaveAs(dir.File("again.bmp"));
        EXPECT_EQ(std::filesystem::file_size(dir.File("again.bmp")),
                  static_cast<uintmax_t>(bytes + (h.biBitCount == 8 ? 1078 : 54)));
    }
}

namespace {

class FileCommandsRecorded : public ViewerTest {};

} // namespace

TEST_F(FileCommandsRecorded, ARawFileIsSavedWhileDeliveryIsHeldAndAcquisitionGoesOn) {
    const TempDir dir;
    FileDialogAnswers dialogs;
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 640, 480);
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    ASSERT_TRUE(driver.DeliverFrame(0x21));
    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount == 1 && !driver.InCallback(); }));

    driver.ClearCalls();
    dialogs.Answer(dir.File("live.raw"));
    frame.ExecuteCommand(kIdFileSaveAs);
    EXPECT_EQ(CallsFrom(driver.CallTexts(), "OcuStopSnap"),
              (std::vector<std::string>{"OcuStopSnap()", "OcuStartSnap(buf, 1)"}));
    EXPECT_EQ(frame.m_bSnapping, 1);
    const std::string raw = ReadText(dir.File("live.raw"));
    ASSERT_EQ(raw.size(), 8u + 640 * 480);
    EXPECT_EQ(raw[8], '\x21');

    // Delivery goes on into the same buffer.
    ASSERT_TRUE(driver.DeliverFrame(0x22));
    EXPECT_TRUE(WaitFor([&] { return frame.m_nFrameCount == 2; }));
    EXPECT_TRUE(WaitFor([&] { return !driver.InCallback(); }));
    frame.ExecuteCommand(kIdContinuousSnap);
    frame.close();
}
