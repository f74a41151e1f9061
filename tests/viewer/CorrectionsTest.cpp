// The Correct menu: the gamma dialog and commands, the update rules, the capture notices and the output
// window around a capture, and both corrections on the simulated camera's defects.
#include "LiveTestSupport.h"
#include "ModalSteps.h"
#include "PixConv.h"
#include "camera/Exposure.h"
#include "dialogs/GammaDlg.h"
#include "frame/CommandIds.h"
#include "imaging/ChannelLuts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ocu;
using namespace ocu::test;
using Calls = std::vector<std::string>;

namespace {

// Shows a gamma dialog with coefficient gamma, as the command does, but not modally.
std::unique_ptr<CGammaDlg> OpenGammaDialog(double gamma) {
    auto dlg = std::make_unique<CGammaDlg>();
    dlg->m_dGamma = gamma;
    dlg->show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    return dlg;
}

} // namespace

TEST(GammaDialog, ShowsItsChineseTextsInAFontThatHasThem) {
    const auto dlg = OpenGammaDialog(1.0);
    EXPECT_EQ(Edit(*dlg, "1043").text(), "1");
    EXPECT_EQ(dlg->windowTitle(), "Gamma 校正系数");
    EXPECT_EQ(Button(*dlg, "IDOK").text(), "确定");
    EXPECT_TRUE(Button(*dlg, "IDOK").isDefault());
    EXPECT_EQ(Button(*dlg, "IDCANCEL").text(), "取消");
    const QList<QLabel*> labels = dlg->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0]->text(), "Gamma 校正系数");

    // The machine set up by the Makefile has a Chinese face; the dialog is set in it, and every
    // character of its texts is in that face rather than left to a fallback.
    const QString family = GammaDialogFontFamily();
    ASSERT_FALSE(family.isEmpty());
    EXPECT_TRUE(QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese));
    EXPECT_EQ(QFontInfo(dlg->font()).family(), family);
    EXPECT_EQ(dlg->font().pointSize(), 10);
    // What the texts are drawn with: the font each control renders in, not only the dialog's own.
    for (const QWidget* control : std::initializer_list<const QWidget*>{
             labels[0], &Button(*dlg, "IDOK"), &Button(*dlg, "IDCANCEL"), &Edit(*dlg, "1043")}) {
        SCOPED_TRACE(control->metaObject()->className());
        EXPECT_EQ(control->fontInfo().family(), family);
        EXPECT_EQ(control->fontInfo().pointSize(), 10);
    }
    const QFontMetrics metrics(dlg->font());
    for (const QChar c : QStringLiteral("确定取消Gamma 校正系数"))
        EXPECT_TRUE(metrics.inFont(c)) << int{c.unicode()};
    // The label's text fits its place.
    EXPECT_LE(metrics.horizontalAdvance(labels[0]->text()), labels[0]->width() + 2);
}

TEST(GammaDialog, TakesCoefficientsFromPointThreeToThreeAndRefusesTheRestWithOneMessage) {
    struct Case {
        const char* text;
        double accepted; // 0: refused
        const char* message;
    };
    const Case cases[] = {
        {"0.3", 0.3, nullptr},
        {"3", 3.0, nullptr},
        {" \t2.2 ", 2.2, nullptr},
        {"1e0", 1.0, nullptr},
        {"0.29", 0, "Please enter a number between 0.3 and 3."},
        {"3.01", 0, "Please enter a number between 0.3 and 3."},
        {"0", 0, "Please enter a number between 0.3 and 3."},
        {"", 0, "Please enter a number."},
        {"abc", 0, "Please enter a number."},
        {"2,2", 0, "Please enter a number."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto dlg = OpenGammaDialog(1.0);
        Edit(*dlg, "1043").setText(QString::fromUtf8(c.text));
        const MessageBoxRecorder boxes;
        Button(*dlg, "IDOK").click();
        if (c.message == nullptr) {
            EXPECT_TRUE(boxes.Boxes().empty());
            EXPECT_FALSE(dlg->isVisible());
            EXPECT_EQ(dlg->result(), QDialog::Accepted);
            EXPECT_EQ(dlg->m_dGamma, c.accepted);
            continue;
        }
        ASSERT_NO_FATAL_FAILURE(ExpectOneWarning(boxes, c.message));
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_EQ(dlg->focusWidget(), &Edit(*dlg, "1043"));
        dlg->reject();
    }
}

TEST(CorrectMenu, UpdateRulesFollowTheState) {
    // enabled/checked of Gamma Correct, Cancel Gamma, Get Bad Pixels, Eliminate Bad Pixels, Get Template,
    // Template Correct.
    struct Case {
        int snapping, getTemplate, on; // `on`: every other flag set
        const char* expected;
    };
    const int ids[] = {kIdGammaCorrect,   kIdCancelGamma, kIdGetBadPixels,
                       kIdEraseBadPixels, kIdGetTemplate, kIdTemplateCorrect};
    const Case cases[] = {
        {0, 0, 0, "E- E+ d- d- d- d-"}, {1, 0, 0, "E- E+ E- E- E- E-"}, {0, 0, 1, "E+ E- d+ d+ d- d+"},
        {1, 0, 1, "E+ E- E+ E+ E- E+"}, {1, 1, 1, "E+ E- E+ E+ E+ d+"}, {0, 1, 0, "E- E+ d- d- d+ d-"},
    };
    CMainFrame frame;
    for (const Case& c : cases) {
        frame.m_bSnapping = c.snapping;
        frame.m_bGetTemplate = c.getTemplate;
        frame.m_bGammaCorrect = frame.m_bGetBadPixels = frame.m_bEraseBadPixels = frame.m_bTemplateCorrect =
            c.on;
        std::string shown;
        for (const int id : ids) {
            const CommandUi ui = frame.QueryCommand(id);
            shown +=
                std::string(shown.empty() ? "" : " ") + (ui.enabled ? "E" : "d") + (ui.checked ? "+" : "-");
        }
        EXPECT_EQ(shown, c.expected) << c.snapping << c.getTemplate << c.on;
    }
}

namespace {

class CorrectCommands : public ViewerTest {
protected:
    // Delivers one frame of the running capture and waits until the viewer has drawn it.
    void Deliver(CMainFrame& frame) {
        const int count = frame.m_nFrameCount;
        ASSERT_TRUE(driver.DeliverFrame());
        ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount == count + 1; }));
        ASSERT_TRUE(WaitFor([&] { return !driver.InCallback(); }));
    }
};

// The exposure value (60 ms, a VelC at high speed) for lines of the given width.
std::string ExposureFor(int width) {
    return "OcuAECControl(1, " + std::to_string(ExposureValue(ExposureInput{2, 1, width, 0, 60, 1000})) + ")";
}

// A capture's window, with the exposure recomputed first for the whole sensor's lines, and back.
const Calls kWiden{"OcuGetDeviceInfo(0, buf, 4)", ExposureFor(1280), "OcuStopSnap()",
                   "OcuSetOutputWindow(0, 0, 1280, 1024)", "OcuStartSnap(buf, 1)"};
const Calls kRestore{"OcuGetDeviceInfo(0, buf, 4)", ExposureFor(640), "OcuStopSnap()",
                     "OcuSetOutputWindow(0, 0, 640, 480)", "OcuStartSnap(buf, 1)"};

} // namespace

TEST_F(CorrectCommands, GammaIsOnWhateverTheDialogEndsWithAndItsCurveStaysForTheNextTime) {
    // Ratios 1, 1 and 0.5 (each double as its two 32-bit halves).
    WriteSettingsFile("[Video Parameter]\nRatioRL=0\nRatioRH=1072693248\nRatioGL=0\nRatioGH=1072693248\n"
                      "RatioBL=0\nRatioBH=1071644672\n");
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    const LutBlock plain = frame.m_Lut;
    ASSERT_EQ(plain[kLutBlue][255], 127);

    const auto gammaDialog = [&](const char* typed, bool ok, QString& shown) {
        OnModal<CGammaDlg>([&shown, typed, ok, &frame](CGammaDlg& dlg) {
            EXPECT_EQ(dlg.parentWidget(), &frame);
            shown = Edit(dlg, "1043").text();
            Edit(dlg, "1043").setText(QString::fromLatin1(typed));
            Button(dlg, ok ? "IDOK" : "IDCANCEL").click();
        });
        ASSERT_TRUE(frame.ExecuteCommand(kIdGammaCorrect));
    };
    const auto checks = [&] {
        return std::pair{frame.QueryCommand(kIdGammaCorrect).checked,
                         frame.QueryCommand(kIdCancelGamma).checked};
    };

    // Cancel: the item is checked all the same, but the tables stay as they were.
    QString shown;
    gammaDialog("2", false, shown);
    EXPECT_EQ(shown, "1");
    EXPECT_EQ(checks(), std::pair(true, false));
    EXPECT_EQ(frame.m_Lut, plain);
    EXPECT_EQ(frame.m_dGamma, 1.0);

    // OK: the curve, and the tables on it.
    gammaDialog("2.2", true, shown);
    Lut curve{};
    SetGammaLut(curve.data(), 2.2);
    EXPECT_EQ(frame.m_dGamma, 2.2);
    EXPECT_EQ(frame.m_Lut[kLutGamma], curve);
    EXPECT_EQ(frame.m_Lut[kLutRed], curve);
    EXPECT_EQ(frame.m_Lut[kLutBlue][200], curve[200] / 2);

    // Cancel Gamma: plain tables again; the curve is kept, and shown by the next Gamma Correct.
    ASSERT_TRUE(frame.ExecuteCommand(kIdCancelGamma));
    EXPECT_EQ(checks(), std::pair(false, true));
    EXPECT_EQ(frame.m_Lut[kLutRed], plain[kLutRed]);
    EXPECT_EQ(frame.m_Lut[kLutBlue], plain[kLutBlue]);
    EXPECT_EQ(frame.m_Lut[kLutGamma], curve);
    gammaDialog("0.5", false, shown);
    EXPECT_EQ(shown, "2.2");
    EXPECT_EQ(frame.m_Lut[kLutRed], plain[kLutRed]);
    EXPECT_EQ(checks(), std::pair(true, false));
    frame.close();
}

TEST_F(CorrectCommands, CapturesAskFirstAndWidenTheWindowUntilAColourFrameServesThem) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 640, 480);
    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    // Before any detection the map is as allocated: every pixel good.
    const size_t pixels = 1280 * 1024;
    EXPECT_EQ(std::count(frame.m_pBadPixels.get(), frame.m_pBadPixels.get() + pixels, PIX_PIXEL_GOOD),
              static_cast<long>(pixels));

    // The notices; Cancel changes nothing.
    struct Notice {
        int id;
        const char* text;
        const int& flag;
    };
    for (const Notice n : {Notice{kIdGetBadPixels, "请确认已经将镜头完全遮盖!", frame.m_bGetBadPixels},
                           Notice{kIdGetTemplate, "请确认已经将镜头面对均匀光线!", frame.m_bGetTemplate}}) {
        const MessageBoxRecorder boxes(QMessageBox::Cancel);
        driver.ClearCalls();
        ASSERT_TRUE(frame.ExecuteCommand(n.id));
        ASSERT_EQ(boxes.Boxes().size(), 1u);
        const MessageBoxRequest& box = boxes.Boxes()[0];
        EXPECT_EQ(box.owner, &frame);
        EXPECT_EQ(box.caption, "Notice");
        EXPECT_EQ(box.text, QString::fromUtf8(n.text));
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_EQ(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(n.flag, 0);
        EXPECT_EQ(driver.CallTexts(), Calls{});
    }

    // A template over ten processed colour frames of the whole sensor. Asked again during the capture,
    // it widens again and goes on counting; the window comes back after the tenth frame.
    const MessageBoxRecorder ok(QMessageBox::Ok);
    driver.ClearCalls();
    ASSERT_TRUE(frame.ExecuteCommand(kIdGetTemplate));
    EXPECT_EQ(driver.CallTexts(), kWiden);
    EXPECT_TRUE(frame.QueryCommand(kIdGetTemplate).checked);
    for (int i = 0; i < 4; ++i)
        Deliver(frame);
    EXPECT_EQ(frame.m_nTemplateFrames, 4);
    EXPECT_FALSE(frame.ExecuteCommand(kIdTemplateCorrect)); // disabled during the capture
    driver.ClearCalls();
    ASSERT_TRUE(frame.ExecuteCommand(kIdGetTemplate));
    EXPECT_EQ(driver.CallTexts(), kWiden);
    EXPECT_EQ(frame.m_nTemplateFrames, 4);
    for (int i = 0; i < 5; ++i)
        Deliver(frame);
    EXPECT_EQ(frame.m_nTemplateFrames, 9);
    driver.ClearCalls();
    Deliver(frame);
    EXPECT_EQ(frame.m_bGetTemplate, 0);
    EXPECT_EQ(frame.m_nTemplateFrames, 0);
    EXPECT_EQ(driver.CallTexts(), kRestore);
    EXPECT_GE(frame.m_pPatternNoise[0], PIX_TEMPLATE_ZERO); // averaged
    ASSERT_TRUE(frame.ExecuteCommand(kIdTemplateCorrect));
    EXPECT_EQ(frame.m_bTemplateCorrect, 1);
    ASSERT_TRUE(frame.ExecuteCommand(kIdEraseBadPixels));
    EXPECT_EQ(frame.m_bEraseBadPixels, 1);

    // In black and white a request waits, with the camera at the full sensor, for a colour frame.
    frame.m_nImageMode = 1;
    driver.ClearCalls();
    ASSERT_TRUE(frame.ExecuteCommand(kIdGetBadPixels));
    for (int i = 0; i < 2; ++i)
        Deliver(frame);
    EXPECT_EQ(frame.m_bGetBadPixels, 1);
    EXPECT_EQ(driver.CallTexts(), kWiden);
    frame.m_nImageMode = 0;
    driver.ClearCalls();
    Deliver(frame);
    EXPECT_EQ(frame.m_bGetBadPixels, 0);
    EXPECT_EQ(driver.CallTexts(), kRestore);

    // The switches flip back.
    ASSERT_TRUE(frame.ExecuteCommand(kIdTemplateCorrect));
    ASSERT_TRUE(frame.ExecuteCommand(kIdEraseBadPixels));
    EXPECT_EQ(frame.m_bTemplateCorrect, 0);
    EXPECT_EQ(frame.m_bEraseBadPixels, 0);
    frame.ExecuteCommand(kIdContinuousSnap);
}

namespace {

// The simulated camera with noise and defects, in mode 1 (640 x 480), with a region of 480 x 360 that
// leaves part of the sensor out.
class CorrectionsOnTheCamera : public SimViewerTest {
protected:
    void Start(const char* scene, const std::string& settings = "") {
        m_scene.emplace("OCUSNAP_SIM_SCENE", std::string(scene));
        WriteSettingsFile("[Video Parameter]\nResolution=1\nBayerLayout=2\n" + settings);
        m_viewer.emplace();
        ASSERT_TRUE(m_viewer->Started());
        ResizeClient(Frame(), 480, 360);
        ASSERT_EQ(Frame().m_rcRegion, (Rect{0, 0, 480, 360}));
        ASSERT_TRUE(Frame().ExecuteCommand(kIdContinuousSnap));
        NextFrames(3);
    }
    void TearDown() override {
        if (m_viewer) {
            Frame().ExecuteCommand(kIdContinuousSnap);
            Frame().close();
            m_viewer.reset();
        }
        SimViewerTest::TearDown();
    }
    CMainFrame& Frame() { return m_viewer->Frame(); }
    void NextFrames(int n) {
        const int count = Frame().m_nFrameCount;
        ASSERT_TRUE(WaitFor([&] { return Frame().m_nFrameCount >= count + n; }));
    }
    // A capture through its command and notice, waited for until the pipeline has served it.
    void Capture(int id, const int& flag) {
        const MessageBoxRecorder ok(QMessageBox::Ok);
        ASSERT_TRUE(Frame().ExecuteCommand(id));
        ASSERT_EQ(ok.Boxes().size(), 1u);
        ASSERT_TRUE(WaitFor([&] { return flag == 0; }));
        NextFrames(2);
    }

private:
    ScopedEnv m_noise{"OCUSNAP_SIM_NOISE", std::string("1")};
    ScopedEnv m_fps{"OCUSNAP_SIM_FPS", std::string("max")};
    ScopedEnv m_bayer{"OCUSNAP_BAYER", std::string("GRBG")};
    std::optional<ScopedEnv> m_scene;
    std::optional<RunningViewer> m_viewer;
};

int Brightest(const CMainFrame& frame) {
    const Rect& r = frame.m_rcRegion;
    const uint8_t* image = frame.m_pImageBuffer.get();
    return *std::max_element(image, image + static_cast<size_t>(r.Width()) * r.Height() * 3);
}

// The fixed pattern of a flat field in the live picture: green at the green sites (the raw samples
// themselves), averaged over frames so that the read noise drops out. Per-pixel and per-column standard
// deviations, the worse of the two green kinds; defects (far from the level) left out.
struct FixedPattern {
    double pixels = 0;
    double columns = 0;
};

FixedPattern MeasureFixedPattern(const CMainFrame& frame, const std::vector<double>& sum, int frames) {
    const int w = frame.m_rcRegion.Width();
    const int h = frame.m_rcRegion.Height();
    FixedPattern worst;
    for (int kind = 0; kind < 2; ++kind) {
        std::vector<double> values;
        for (int y = kind; y < h; y += 2)
            for (int x = kind; x < w; x += 2)
                values.push_back(sum[static_cast<size_t>(y * w + x)] / frames);
        std::vector<double> sorted = values;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2), sorted.end());
        const double median = sorted[sorted.size() / 2];
        const auto deviation = [](const std::vector<double>& v) {
            double s = 0, s2 = 0;
            for (const double x : v) {
                s += x;
                s2 += x * x;
            }
            const double mean = s / static_cast<double>(v.size());
            return std::sqrt(std::max(0.0, s2 / static_cast<double>(v.size()) - mean * mean));
        };
        std::vector<double> kept;
        std::vector<double> columnSum(static_cast<size_t>(w / 2));
        std::vector<int> columnCount(static_cast<size_t>(w / 2));
        for (size_t i = 0; i < values.size(); ++i) {
            if (std::abs(values[i] - median) > 20)
                continue;
            kept.push_back(values[i]);
            const size_t column = i % static_cast<size_t>(w / 2);
            columnSum[column] += values[i];
            ++columnCount[column];
        }
        std::vector<double> columns;
        for (size_t c = 0; c < columnSum.size(); ++c)
            columns.push_back(columnSum[c] / columnCount[c]);
        worst.pixels = std::max(worst.pixels, deviation(kept));
        worst.columns = std::max(worst.columns, deviation(columns));
    }
    return worst;
}

} // namespace

TEST_F(CorrectionsOnTheCamera, WithTheLensCoveredTheBadPixelsOfTheWholeSensorAreFoundAndErased) {
    Start("dark");
    CMainFrame& frame = Frame();
    RecordProperty("brightest_before", Brightest(frame));
    EXPECT_GT(Brightest(frame), 60) << "hot pixels show on the covered sensor";

    // Elimination before any detection works with the map as allocated: nothing is marked.
    ASSERT_TRUE(frame.ExecuteCommand(kIdEraseBadPixels));
    NextFrames(2);
    EXPECT_GT(Brightest(frame), 60);

    Capture(kIdGetBadPixels, frame.m_bGetBadPixels);
    EXPECT_EQ(frame.m_rcRegion, (Rect{0, 0, 480, 360}));
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            if (frame.m_pBadPixels[static_cast<size_t>(y * 640 + x)] != PIX_PIXEL_GOOD)
                ++(x < 480 && y < 360 ? inside : outside);
        }
    EXPECT_GT(inside, 0);
    EXPECT_GT(outside, 0) << "the detection frame covers the whole sensor";
    int brightest = 0;
    for (int i = 0; i < 5; ++i) {
        NextFrames(1);
        brightest = std::max(brightest, Brightest(frame));
    }
    RecordProperty("brightest_after", brightest);
    EXPECT_LE(brightest, 24);
}

TEST_F(CorrectionsOnTheCamera, UnderUniformLightTheTemplateTakesOutTheFixedPattern) {
    // A first run's settings: the uniform light at about half scale.
    Start("flat");
    CMainFrame& frame = Frame();
    const auto measure = [&] {
        constexpr int kFrames = 32;
        const int w = frame.m_rcRegion.Width();
        const int h = frame.m_rcRegion.Height();
        std::vector<double> sum(static_cast<size_t>(w * h));
        for (int n = 0; n < kFrames; ++n) {
            NextFrames(1);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    sum[static_cast<size_t>(y * w + x)] += DisplayPixel(frame, x, y).g;
        }
        return MeasureFixedPattern(frame, sum, kFrames);
    };
    const FixedPattern before = measure();
    EXPECT_GT(before.pixels, 2.0);

    Capture(kIdGetTemplate, frame.m_bGetTemplate);
    ASSERT_TRUE(frame.ExecuteCommand(kIdTemplateCorrect));
    NextFrames(2);
    const FixedPattern after = measure();
    RecordProperty("pixels_before", std::to_string(before.pixels));
    RecordProperty("pixels_after", std::to_string(after.pixels));
    RecordProperty("columns_before", std::to_string(before.columns));
    RecordProperty("columns_after", std::to_string(after.columns));
    // A template of ten frames keeps a tenth of the read noise's variance in its offsets, well below the
    // pattern of the photosites' response and offsets that it takes out.
    EXPECT_LT(after.columns * 4, before.columns);
    EXPECT_LT(after.pixels * 4, before.pixels);
}
