// White balance: the measurement, the dialog's display, parsing, Ratio, Set, OK and Cancel, the command on
// a running camera, and a balanced chart on the simulated camera.
#include "LiveTestSupport.h"
#include "ModalSteps.h"
#include "PixConv.h"
#include "dialogs/WhiteBalanceDlg.h"
#include "frame/CommandIds.h"
#include "imaging/ChannelLuts.h"

#include <QGroupBox>
#include <QLabel>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace ocu;
using namespace ocu::test;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// The tables a rebuild from these ratios gives, on top of the frame's present ones.
LutBlock Rebuilt(const CMainFrame& frame, double r, double g, double b) {
    LutBlock luts = frame.m_Lut;
    BuildChannelLuts(luts, frame.m_bGammaCorrect != 0, r, g, b);
    return luts;
}

std::array<double, 3> Ratios(const CMainFrame& frame) {
    return {frame.m_dRatioR, frame.m_dRatioG, frame.m_dRatioB};
}

void SetRatios(CMainFrame& frame, double r, double g, double b) {
    frame.m_dRatioR = r;
    frame.m_dRatioG = g;
    frame.m_dRatioB = b;
}

// A frame without a camera whose raw frame is a flat field of red 100, green 120 and blue 80 in its
// Bayer layout (GBRG): the measurement finds red 1.2 and blue 1.5.
class WhiteBalanceDialog : public ::testing::Test {
protected:
    void SetUp() override {
        GiveBuffers(frame, kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                frame.m_pRawBuffer[static_cast<size_t>(y * kWidth + x)] =
                    (x + y) % 2 == 0 ? 120 : (y % 2 == 0 ? 80 : 100);
        SetRatios(frame, 0.9, 1.0, 1.1);
        frame.BuildChannelLuts(0.9, 1.0, 1.1);
    }

    // The dialog shown and active, as the command runs it (but not modally, so that the test drives it).
    void Open() {
        dlg = std::make_unique<CWhiteBalanceDlg>(frame);
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    }
    QLineEdit& Red() { return Edit(*dlg, "1031"); }
    QLineEdit& Green() { return Edit(*dlg, "1032"); }
    QLineEdit& Blue() { return Edit(*dlg, "1033"); }
    QPushButton& Set() { return Button(*dlg, "5"); }
    QStringList Texts() { return {Red().text(), Green().text(), Blue().text()}; }

    CMainFrame frame;
    std::unique_ptr<CWhiteBalanceDlg> dlg;
};

} // namespace

TEST_F(WhiteBalanceDialog, TheMeasurementConvertsWithUnitRatiosOnlyInColour) {
    struct Case {
        const char* name;
        int imageMode;
        int gamma;
        bool buffers;
        bool measures;
    };
    for (const Case c : {Case{"colour", 0, 0, true, true}, Case{"colour with gamma", 0, 1, true, true},
                         Case{"black and white", 1, 0, true, false}, Case{"no camera", 0, 0, false, false}}) {
        SCOPED_TRACE(c.name);
        SetUp();
        frame.m_nImageMode = c.imageMode;
        frame.m_bGammaCorrect = c.gamma;
        SetGammaLut(frame.m_Lut[kLutGamma].data(), 2.0);
        if (!c.buffers) {
            frame.m_pRawBuffer.reset();
            frame.m_pImageBuffer.reset();
        }
        frame.m_pBmpInfo->bmiHeader.biBitCount = 8;
        const LutBlock before = frame.m_Lut;

        EXPECT_EQ(frame.OnWbMeasure(), 1);
        if (!c.measures) {
            EXPECT_EQ(Ratios(frame), (std::array<double, 3>{0.9, 1.0, 1.1}));
            EXPECT_EQ(frame.m_Lut, before);
            EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biBitCount, 8);
            continue;
        }
        // The tables are left at unit ratios (the gamma curve alone when gamma is on) until the dialog
        // applies the measured ones, and the display holds the frame converted through them. The ratios
        // are measured on that picture, so with gamma on they balance the curve's levels.
        EXPECT_EQ(frame.m_Lut, Rebuilt(frame, 1.0, 1.0, 1.0));
        EXPECT_EQ(frame.m_pBmpInfo->bmiHeader.biBitCount, 24);
        const Lut& curve = frame.m_Lut[kLutRed];
        EXPECT_NEAR(frame.m_dRatioR, static_cast<double>(curve[120]) / curve[100], 1e-6);
        EXPECT_EQ(frame.m_dRatioG, 1.0);
        EXPECT_NEAR(frame.m_dRatioB, static_cast<double>(curve[120]) / curve[80], 1e-6);
        const Bgr pixel = DisplayPixel(frame, 10, 10);
        EXPECT_EQ(pixel.r, curve[100]);
        EXPECT_EQ(pixel.g, curve[120]);
        EXPECT_EQ(pixel.b, curve[80]);
    }
}

TEST_F(WhiteBalanceDialog, TheDialogShowsTheRatiosAndOnlyTheTypableEditsEnableSet) {
    struct Case {
        std::array<double, 3> ratios;
        QStringList shown;
    };
    for (const Case& c : {Case{{0.0, 0.0, 0.0}, {"0", "0", "0"}},
                          Case{{1.0 / 3, 1.0, 2.5}, {"0.333333333333333", "1", "2.5"}}}) {
        SetRatios(frame, c.ratios[0], c.ratios[1], c.ratios[2]);
        Open();
        EXPECT_EQ(Texts(), c.shown);
        // Set is disabled at initialisation, but the focus lands in the red edit and enables it.
        EXPECT_EQ(dlg->focusWidget(), &Red());
        EXPECT_TRUE(Set().isEnabled());
        dlg->reject();
    }

    Open();
    EXPECT_EQ(dlg->windowTitle(), "White Balance");
    EXPECT_TRUE(Green().isReadOnly());
    EXPECT_FALSE(Red().isReadOnly());
    EXPECT_FALSE(Blue().isReadOnly());
    for (QPushButton* button : dlg->findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->text().toStdString();
    }
    EXPECT_EQ(LabelTexts(*dlg), (QStringList{"Red ratio", "Green ratio", "Blue ratio"}));
    // The tab order: the three edits, then Ok, Cancel, Ratio and Set.
    EXPECT_EQ(TabOrder(Red()), (QStringList{"1031", "1032", "1033", "IDOK", "IDCANCEL", "4", "5"}));

    // Ratio disables Set until a typable edit gets the focus; the read-only green one never enables it.
    struct Step {
        const char* what;
        bool enabled;
    };
    for (const Step s :
         {Step{"4", false}, Step{"1032", false}, Step{"1033", true}, Step{"4", false}, Step{"1031", true}}) {
        if (std::string(s.what) == "4")
            Button(*dlg, "4").click();
        else
            Edit(*dlg, s.what).setFocus();
        EXPECT_EQ(Set().isEnabled(), s.enabled) << s.what;
    }
    dlg->reject();
}

TEST_F(WhiteBalanceDialog, SetAppliesWhatWasReadUpToTheFirstEditThatHoldsNoNumber) {
    struct Case {
        const char* red;
        const char* blue;
        std::array<double, 3> stored; // the frame's ratios after Set
        bool refused;                 // the rebuild refuses them and the tables stay
        const char* badEdit;          // where the message sends the focus, or null
    };
    const Case cases[] = {
        {"2", "0.5", {2, 1, 0.5}, false, nullptr},
        {" \t1.5\t ", "1e-1", {1.5, 1, 0.1}, false, nullptr},
        // A single zero is a number; the tables refuse it.
        {"0", "1", {0, 1, 1}, true, nullptr},
        {"1", "00", {1, 1, 0}, true, nullptr},
        // No number: nothing from that edit on is read, and what was read is applied all the same.
        {".0", "3", {0.9, 1, 1.1}, false, "1031"},
        {"abc", "3", {0.9, 1, 1.1}, false, "1031"},
        {"", "3", {0.9, 1, 1.1}, false, "1031"},
        {"-0", "3", {0.9, 1, 1.1}, false, "1031"},
        {"2", "x", {2, 1, 1.1}, false, "1033"},
        {"2", "1.0.0", {2, 1, 1.1}, false, "1033"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.red) + " / " + c.blue);
        SetUp();
        Open();
        const LutBlock before = frame.m_Lut;
        Red().setText(QString::fromLatin1(c.red));
        Blue().setText(QString::fromLatin1(c.blue));
        Button(*dlg, "4").setFocus();
        const MessageBoxRecorder boxes;
        Set().click();
        EXPECT_EQ(Ratios(frame), c.stored);
        EXPECT_EQ(frame.m_Lut, c.refused ? before : Rebuilt(frame, c.stored[0], c.stored[1], c.stored[2]));
        EXPECT_EQ(dlg->m_bApplied, 1);
        if (c.badEdit == nullptr) {
            EXPECT_TRUE(boxes.Boxes().empty());
        } else {
            ASSERT_NO_FATAL_FAILURE(ExpectOneWarning(boxes, "Please enter a number."));
            EXPECT_EQ(dlg->focusWidget()->objectName(), c.badEdit);
        }
        // Set stays available for the next try.
        EXPECT_TRUE(Set().isEnabled());
        dlg->reject();
    }
}

TEST_F(WhiteBalanceDialog, OkKeepsTheRatiosLastAppliedAndCancelBringsBackThoseOfTheOpening) {
    const std::array<double, 3> opening{0.9, 1.0, 1.1};
    const LutBlock openingLuts = frame.m_Lut;

    // OK without Ratio or Set changes nothing, whatever was typed.
    Open();
    Red().setText("5");
    Button(*dlg, "IDOK").click();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(Ratios(frame), opening);
    EXPECT_EQ(frame.m_Lut, openingLuts);

    // Ratio shows and applies the measured ratios; every way of cancelling restores and rebuilds.
    for (const char* how : {"button", "Escape", "close box"}) {
        SCOPED_TRACE(how);
        Open();
        Button(*dlg, "4").click();
        EXPECT_EQ(Texts(), (QStringList{"1.2", "1", "1.5"}));
        EXPECT_EQ(frame.m_Lut, Rebuilt(frame, 1.2, 1.0, 1.5));
        if (std::string(how) == "button")
            Button(*dlg, "IDCANCEL").click();
        else if (std::string(how) == "Escape")
            QTest::keyClick(dlg.get(), Qt::Key_Escape);
        else
            dlg->close();
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(dlg->result(), QDialog::Rejected);
        EXPECT_EQ(Ratios(frame), opening);
        EXPECT_EQ(frame.m_Lut, openingLuts);
    }

    // Ratio, then OK: the measured ratios stay.
    Open();
    Button(*dlg, "4").click();
    Button(*dlg, "IDOK").click();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_NEAR(frame.m_dRatioB, 1.5, 1e-6);
    EXPECT_EQ(frame.m_Lut, Rebuilt(frame, frame.m_dRatioR, frame.m_dRatioG, frame.m_dRatioB));

    // Values typed after the last Set do not reach the frame or the tables, not even through an OK that
    // found a bad edit first.
    SetUp();
    Open();
    Red().setText("2");
    Blue().setText("0.5");
    Set().click();
    Red().setText("3");
    Blue().setText("abc");
    {
        const MessageBoxRecorder boxes;
        Button(*dlg, "IDOK").click();
        EXPECT_EQ(boxes.Boxes().size(), 1u);
    }
    EXPECT_TRUE(dlg->isVisible());
    Blue().setText("4");
    Button(*dlg, "IDOK").click();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(Ratios(frame), (std::array<double, 3>{2, 1, 0.5}));
    EXPECT_EQ(frame.m_Lut, Rebuilt(frame, 2, 1, 0.5));

    // A first run's zeros build no tables: Cancel after Ratio brings back the tables of the opening
    // rather than leave the measured balance on the screen.
    SetUp();
    SetRatios(frame, 0, 0, 0);
    frame.m_Lut = IdentityLuts();
    Open();
    Button(*dlg, "4").click();
    EXPECT_NE(frame.m_Lut, IdentityLuts());
    Button(*dlg, "IDCANCEL").click();
    EXPECT_EQ(Ratios(frame), (std::array<double, 3>{0, 0, 0}));
    EXPECT_EQ(frame.m_Lut, IdentityLuts());
}

namespace {

class WhiteBalanceCommand : public ViewerTest {};

} // namespace

TEST_F(WhiteBalanceCommand, AFirstRunShowsZerosAndTheDialogMeasuresWithDeliveryPaused) {
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ResizeClient(frame, 320, 240);
    // No ratios stored: all three load as 0, and the start-up rebuild is refused.
    EXPECT_EQ(Ratios(frame), (std::array<double, 3>{0, 0, 0}));
    EXPECT_EQ(frame.m_Lut, IdentityLuts());

    ASSERT_TRUE(frame.ExecuteCommand(kIdContinuousSnap));
    ASSERT_TRUE(driver.DeliverFrame(0x60));
    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount == 1; }));
    ASSERT_TRUE(WaitFor([&] { return !driver.InCallback(); }));
    driver.ClearCalls();

    QStringList shown;
    LutBlock measured{};
    OnModal<CWhiteBalanceDlg>([&](CWhiteBalanceDlg& dlg) {
        EXPECT_EQ(dlg.parentWidget(), &frame);
        EXPECT_TRUE(dlg.isModal());
        shown = {Edit(dlg, "1031").text(), Edit(dlg, "1032").text(), Edit(dlg, "1033").text()};
        Button(dlg, "4").click();
        measured = frame.m_Lut;
        Button(dlg, "IDCANCEL").click();
    });
    ASSERT_TRUE(frame.ExecuteCommand(kIdWhiteBalance));
    EXPECT_EQ(shown, (QStringList{"0", "0", "0"}));
    // The gray frame measures as balanced; the driver is kept from the raw buffer while it is read.
    EXPECT_EQ(measured, IdentityLuts());
    EXPECT_EQ(driver.CallTexts(), (std::vector<std::string>{"OcuStopSnap()", "OcuStartSnap(buf, 1)"}));
    EXPECT_EQ(Ratios(frame), (std::array<double, 3>{0, 0, 0}));

    // The item is there only in colour.
    frame.m_nImageMode = 1;
    EXPECT_FALSE(frame.ExecuteCommand(kIdWhiteBalance));
    frame.ExecuteCommand(kIdContinuousSnap);
}

namespace {

class WhiteBalanceOnTheCamera : public SimViewerTest {};

// The mean colour of the centre of a patch of the chart's neutral row (0 white ... 5 black), where the
// chart puts it in the upright picture of width x height.
std::array<double, 3> NeutralPatch(const CMainFrame& frame, int column, int width, int height) {
    const int cx = static_cast<int>((0.03 + (column + 0.5) * 0.08) * width);
    const int cy = static_cast<int>(0.39 * height);
    std::array<double, 3> sum{};
    int n = 0;
    for (int y = cy - 8; y <= cy + 8; ++y)
        for (int x = cx - 8; x <= cx + 8; ++x, ++n) {
            const Bgr p = DisplayPixel(frame, x, y);
            sum[0] += p.r;
            sum[1] += p.g;
            sum[2] += p.b;
        }
    for (double& s : sum)
        s /= n;
    return sum;
}

double WorstCast(const CMainFrame& frame) {
    double worst = 0;
    for (int column = 0; column < 6; ++column) {
        const std::array<double, 3> p = NeutralPatch(frame, column, 640, 480);
        worst = std::max({worst, std::abs(p[0] - p[1]), std::abs(p[2] - p[1])});
    }
    return worst;
}

} // namespace

TEST_F(WhiteBalanceOnTheCamera, RatioTurnsTheChartsNeutralPatchesGray) {
    const ExactSimCamera camera("GRBG");
    WriteSettingsFile("[Video Parameter]\nResolution=1\nBayerLayout=2\n");
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    ASSERT_TRUE(StartLive(frame, 640, 480, 3));
    // The sensor's own colours: red and blue lag behind green.
    const double before = WorstCast(frame);
    EXPECT_GT(before, 6.0);

    OnModal<CWhiteBalanceDlg>([&](CWhiteBalanceDlg& dlg) {
        Button(dlg, "4").click();
        Button(dlg, "IDOK").click();
    });
    ASSERT_TRUE(frame.ExecuteCommand(kIdWhiteBalance));
    const int count = frame.m_nFrameCount;
    ASSERT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= count + 2; }));
    for (int column = 0; column < 6; ++column) {
        const std::array<double, 3> p = NeutralPatch(frame, column, 640, 480);
        EXPECT_NEAR(p[0], p[1], 2.0) << "patch " << column;
        EXPECT_NEAR(p[2], p[1], 2.0) << "patch " << column;
    }
    EXPECT_GT(NeutralPatch(frame, 0, 640, 480)[1], 150.0); // the white patch is well lit
    RecordProperty("worst_cast_before", std::to_string(before));
    RecordProperty("worst_cast_after", std::to_string(WorstCast(frame)));
    frame.ExecuteCommand(kIdContinuousSnap);
    frame.close();
}
