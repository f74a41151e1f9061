// The Camera Features dialog: its controls, what it sends to the camera and writes into the viewer for
// each of the user's actions, its buttons and ways out, its messages, and the live picture behind it.
#include "LiveTestSupport.h"
#include "ModalSteps.h"
#include "OcuSnapTesting.h"
#include "camera/Exposure.h"
#include "common/DialogUnits.h"
#include "dialogs/CameraFeaturesDlg.h"
#include "frame/CommandIds.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <optional>
#include <vector>

using namespace ocu;
using namespace ocu::test;
using Calls = std::vector<std::string>;
using Gains = std::array<int, 4>;

namespace {

// What reached the camera: every call but the queries.
Calls Sent(const ocusnap::testing::RecordingDriver& driver) {
    Calls sent;
    for (const std::string& call : driver.CallTexts())
        if (!call.starts_with("OcuGetDeviceInfo"))
            sent.push_back(call);
    return sent;
}

QString Text(CCameraFeaturesDlg& dlg, const char* id) {
    return Edit(dlg, id).text();
}

// What the dialog shows: the four edits, the ADC level, the channel and the gain bar.
QStringList Shown(CCameraFeaturesDlg& dlg) {
    return {Text(dlg, "1042"),
            Text(dlg, "1043"),
            Text(dlg, "1044"),
            Text(dlg, "1045"),
            QString::number(dlg.m_cbADC->currentIndex()),
            QString::number(dlg.m_cbChannel->currentIndex()),
            QString::number(dlg.m_sbGain->value())};
}

// The user's typing: `before` is put into the edit unnoticed, then the keys are typed at its end.
void Type(QWidget& dlg, const char* id, const QString& before, const char* keys) {
    QLineEdit& edit = Edit(dlg, id);
    edit.setText(before);
    QTest::keyClicks(&edit, QString::fromLatin1(keys));
}

// The user picks an item, as a click in the open list does.
void Choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

// The user drags the thumb to `position` and lets it go.
void Drag(QScrollBar* bar, int position) {
    bar->setSliderDown(true);
    bar->setSliderPosition(position);
    bar->setSliderDown(false);
}

// The region of every viewer on the recording camera below: narrower than the 1280 pixels of the image,
// so that the exposure shows which width it was computed with.
constexpr int kRegionWidth = 640;

// The exposure sent for upper / lower seconds, at high speed, for the region.
std::string AecCall(int upper, int lower, int hBlanking, int type = 2) {
    return "OcuAECControl(1, " +
           std::to_string(ExposureValue({type, 1, kRegionWidth, hBlanking, upper, lower})) + ")";
}

// The viewer on the recording camera, with a 640 x 480 region and the values the dialog opens with.
class Features : public ViewerTest {
protected:
    void SetType(int type) {
        m_type = type;
        driver.SetDeviceType(type);
    }
    CMainFrame& Start(const Gains& gains = {9, 8, 8, 8}) {
        if (viewer) { // a case before: closed as a user would, so that the camera is free again
            viewer->Frame().close();
            viewer.reset();
            RemoveSettings();
        }
        viewer.emplace();
        EXPECT_TRUE(viewer->Started());
        CMainFrame& frame = viewer->Frame();
        ResizeClient(frame, kRegionWidth, 480);
        EXPECT_EQ(frame.RegionWidth(), kRegionWidth);
        frame.m_nTintUpper = 30;
        frame.m_nTintLower = 500;
        frame.m_nADCLevel = 1;
        frame.m_nGain = gains;
        frame.m_nHBlanking = 5;
        frame.m_nVBlanking = 6;
        driver.ClearCalls();
        return frame;
    }
    std::string Aec(int upper, int lower, int hBlanking) const {
        return AecCall(upper, lower, hBlanking, m_type);
    }
    // What Cancel and Reset send to go back to the values above.
    Calls Restore(const Gains& gains) {
        Calls calls{"OcuSetBlanking(5, 6)", Aec(30, 500, 5), Aec(30, 500, 5), "OcuADCControl(0, 1)"};
        for (int i = 0; i < 4; ++i)
            calls.push_back("OcuAGCControl(0x1" + std::to_string(i) + ", " + std::to_string(gains[i]) + ")");
        return calls;
    }

    std::optional<RunningViewer> viewer;
    int m_type = 2;
};

} // namespace

TEST_F(Features, TheTemplatesControlsTextsAndTabOrder) {
    CCameraFeaturesDlg dlg(Start());
    EXPECT_EQ(dlg.windowTitle(), "Camera Features");
    EXPECT_EQ(dlg.parentWidget(), &viewer->Frame());
    const DialogUnits du(dlg.font());
    EXPECT_EQ(dlg.size(), QSize(du.X(227), du.Y(201)));
    EXPECT_TRUE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    for (const QWidget* control : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(dlg.rect().contains(control->geometry())) << control->objectName().toStdString();
    QStringList buttons, groups;
    for (const QPushButton* b : dlg.findChildren<QPushButton*>())
        buttons << b->text();
    for (const QGroupBox* g : dlg.findChildren<QGroupBox*>())
        groups << g->title();
    EXPECT_EQ(buttons, QStringList({"OK", "Cancel", "Reset", "Default"}));
    groups.sort(); // they lie beneath the controls, so not in the template's order
    EXPECT_EQ(groups, QStringList({"ADC Control", "Gain", "HBlanking", "Shutter", "VBlanking"}));
    EXPECT_EQ(LabelTexts(dlg), QStringList({"Exposure Time", "9", "ADC Bits", "/"}));
    EXPECT_TRUE(Button(dlg, "IDOK").isDefault());

    EXPECT_EQ(TabOrder(Child<QComboBox>(dlg, "1039")),
              QStringList({"1039", "1038", "1021", "IDOK", "IDCANCEL", "4", "5", "1042", "1043", "1023",
                           "1044", "1024", "1045"}));

    const auto items = [](const QComboBox* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->itemText(i);
        return texts;
    };
    EXPECT_EQ(items(dlg.m_cbChannel), QStringList({"Red  channel", "Red  channel green", "Blue channel green",
                                                   "Blue channel", "All  channel"}));
    EXPECT_EQ(items(dlg.m_cbADC), QStringList({"Level 0", "Level 1", "Level 2", "Level 3"}));
    EXPECT_FALSE(dlg.m_cbChannel->isEditable());
    EXPECT_FALSE(dlg.m_cbADC->isEditable());
    EXPECT_EQ(std::pair(dlg.m_sbGain->minimum(), dlg.m_sbGain->maximum()), std::pair(0, 127));
}

TEST_F(Features, OpensOnTheViewersValuesSendingNothingAndOkKeepsThem) {
    struct Case {
        Gains gains;
        int channel;
        int shown;
        Gains kept;
    };
    for (const Case& c : {Case{{8, 6, 10, 8}, 4, 8, {8, 8, 8, 8}}, // the average 8 is the red gain
                          Case{{8, 8, 8, 8}, 4, 8, {8, 8, 8, 8}},
                          Case{{9, 8, 8, 8}, 0, 9, {9, 8, 8, 8}},    // the average 8 is not
                          Case{{7, 8, 8, 8}, 4, 7, {7, 7, 7, 7}}}) { // 7.75 truncates to 7
        SCOPED_TRACE(c.gains[0]);
        CMainFrame& frame = Start(c.gains);
        CCameraFeaturesDlg dlg(frame);
        EXPECT_EQ(Sent(driver), Calls{});
        EXPECT_EQ(dlg.m_nChannel, c.channel);
        EXPECT_EQ(Shown(dlg), QStringList({"30", "500", "5", "6", "1", QString::number(c.channel),
                                           QString::number(c.shown)}));
        EXPECT_EQ(Child<QLabel>(dlg, "1022").text(), QString::number(c.shown));
        EXPECT_EQ(std::pair(dlg.m_sbHBlanking->value(), dlg.m_sbVBlanking->value()), std::pair(5, 6));

        dlg.accept();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(frame.m_nGain, c.kept);
        EXPECT_EQ(std::tuple(frame.m_nTintUpper, frame.m_nTintLower, frame.m_nADCLevel),
                  std::tuple(30, 500, 1));
        EXPECT_EQ(Sent(driver), Calls{}); // the camera has everything already
    }
}

TEST_F(Features, EachChangeReachesTheCameraAtOnce) {
    using Dlg = CCameraFeaturesDlg;
    using Check = std::function<void(const CMainFrame&, Dlg&)>;
    struct Case {
        const char* what;
        Gains gains;
        std::function<void(Dlg&)> act;
        Calls sent;
        Check check;
    };
    const auto all = [](int gain) {
        Calls calls;
        for (const char* code : {"0x10", "0x11", "0x12", "0x13"})
            calls.push_back(std::string("OcuAGCControl(") + code + ", " + std::to_string(gain) + ")");
        return calls;
    };
    const auto twice = [](const Calls& calls) {
        Calls both = calls;
        both.insert(both.end(), calls.begin(), calls.end());
        return both;
    };
    const auto action = [](QAbstractSlider::SliderAction code, QScrollBar* Dlg::*bar) {
        return [code, bar](Dlg& dlg) { (dlg.*bar)->triggerAction(code); };
    };
    // Gains reach the viewer only with OK.
    const auto gainShown = [](int gain) -> Check {
        return [gain](const CMainFrame& frame, Dlg& dlg) {
            EXPECT_EQ(dlg.m_sbGain->value(), gain);
            EXPECT_EQ(Child<QLabel>(dlg, "1022").text(), QString::number(gain));
            EXPECT_EQ(frame.m_nGain, (Gains{8, 6, 10, 8}));
        };
    };
    // Bar and edit show the same blanking, and the viewer holds it.
    const auto blanking = [](int h, int v) -> Check {
        return [h, v](const CMainFrame& frame, Dlg& dlg) {
            EXPECT_EQ(std::pair(dlg.m_sbHBlanking->value(), dlg.m_sbVBlanking->value()), std::pair(h, v));
            EXPECT_EQ(std::pair(Text(dlg, "1044"), Text(dlg, "1045")),
                      std::pair(QString::number(h), QString::number(v)));
            EXPECT_EQ(std::pair(frame.m_nHBlanking, frame.m_nVBlanking), std::pair(h, v));
        };
    };
    const auto exposure = [](int upper, int lower) -> Check {
        return [upper, lower](const CMainFrame& frame, Dlg&) {
            EXPECT_EQ(std::pair(frame.m_nTintUpper, frame.m_nTintLower), std::pair(upper, lower));
        };
    };
    const std::vector<Case> cases{
        {"ADC level",
         {8, 6, 10, 8},
         [](Dlg& dlg) { Choose(dlg.m_cbADC, 3); },
         {"OcuADCControl(0, 3)"},
         gainShown(8)},
        {"one channel",
         {8, 6, 10, 8},
         [](Dlg& dlg) { Choose(dlg.m_cbChannel, 1); },
         {"OcuAGCControl(0x11, 6)"},
         gainShown(6)},
        {"all channels", {9, 8, 8, 8}, [](Dlg& dlg) { Choose(dlg.m_cbChannel, 4); }, all(8), {}},
        {"gain page right at 125",
         {125, 125, 125, 125},
         action(QAbstractSlider::SliderPageStepAdd, &Dlg::m_sbGain),
         all(127),
         {}},
        {"gain line left at 0",
         {0, 0, 0, 0},
         action(QAbstractSlider::SliderSingleStepSub, &Dlg::m_sbGain),
         all(0),
         {}},
        {"gain to an end stays",
         {8, 6, 10, 8},
         action(QAbstractSlider::SliderToMaximum, &Dlg::m_sbGain),
         all(8),
         gainShown(8)},
        {"gain page left, one channel",
         {9, 8, 8, 8},
         action(QAbstractSlider::SliderPageStepSub, &Dlg::m_sbGain),
         {"OcuAGCControl(0x10, 0)"},
         {}},
        {"gain thumb dragged and let go",
         {8, 6, 10, 8},
         [](Dlg& dlg) { Drag(dlg.m_sbGain, 50); },
         twice(all(50)),
         gainShown(50)},
        {"horizontal blanking bar",
         {8, 6, 10, 8},
         action(QAbstractSlider::SliderSingleStepAdd, &Dlg::m_sbHBlanking),
         {"OcuSetBlanking(6, 6)", AecCall(30, 500, 6)},
         blanking(6, 6)},
        // Within the VelC's limits, beyond the edits' range.
        {"vertical blanking bar dragged",
         {8, 6, 10, 8},
         [](Dlg& dlg) { Drag(dlg.m_sbVBlanking, 2000); },
         twice({"OcuSetBlanking(5, 2000)", AecCall(30, 500, 5)}),
         blanking(5, 2000)},
        {"horizontal blanking typed",
         {8, 6, 10, 8},
         [](Dlg& dlg) { Type(dlg, "1044", "", "20"); },
         {"OcuSetBlanking(2, 6)", AecCall(30, 500, 2), "OcuSetBlanking(20, 6)", AecCall(30, 500, 20)},
         blanking(20, 6)},
        {"vertical blanking typed",
         {8, 6, 10, 8},
         [](Dlg& dlg) { Type(dlg, "1045", "-", "7"); },
         {"OcuSetBlanking(5, -7)", AecCall(30, 500, 5)},
         blanking(5, -7)},
        // At the region's width, not the image's.
        {"numerator typed",
         {8, 6, 10, 8},
         [](Dlg& dlg) { Type(dlg, "1042", "", "120"); },
         {AecCall(1, 500, 5), AecCall(12, 500, 5), AecCall(120, 500, 5)},
         exposure(120, 500)},
        {"denominator typed",
         {8, 6, 10, 8},
         [](Dlg& dlg) { Type(dlg, "1043", "", "25"); },
         {AecCall(30, 2, 5), AecCall(30, 25, 5)},
         exposure(30, 25)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CMainFrame& frame = Start(c.gains);
        CCameraFeaturesDlg dlg(frame);
        dlg.show();
        c.act(dlg);
        EXPECT_EQ(Sent(driver), c.sent);
        if (c.check)
            c.check(frame, dlg);
        EXPECT_EQ(frame.m_nADCLevel, 1); // the ADC level reaches the viewer only with OK
        dlg.hide();
    }
}

// The keys move each bar the way it is drawn: Right and Page Down towards the larger values, as the mouse
// does; the camera gets each step.
TEST_F(Features, KeysMoveEachBarTowardsTheSideTheyName) {
    using Bar = QScrollBar* CCameraFeaturesDlg::*;
    struct Case {
        const char* what;
        Bar bar;
        Qt::Key key;
        int step;
    };
    const std::vector<Case> cases{
        {"gain", &CCameraFeaturesDlg::m_sbGain, Qt::Key_Right, 1},
        {"gain", &CCameraFeaturesDlg::m_sbGain, Qt::Key_Left, -1},
        {"gain", &CCameraFeaturesDlg::m_sbGain, Qt::Key_PageDown, 10},
        {"gain", &CCameraFeaturesDlg::m_sbGain, Qt::Key_PageUp, -10},
        {"HBlanking", &CCameraFeaturesDlg::m_sbHBlanking, Qt::Key_Right, 1},
        {"HBlanking", &CCameraFeaturesDlg::m_sbHBlanking, Qt::Key_Left, -1},
        {"VBlanking", &CCameraFeaturesDlg::m_sbVBlanking, Qt::Key_Right, 1},
        {"VBlanking", &CCameraFeaturesDlg::m_sbVBlanking, Qt::Key_PageDown, 10},
        {"VBlanking", &CCameraFeaturesDlg::m_sbVBlanking, Qt::Key_Left, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " key " + std::to_string(c.key));
        CMainFrame& frame = Start({20, 20, 20, 20});
        CCameraFeaturesDlg dlg(frame);
        dlg.show();
        QScrollBar* bar = dlg.*c.bar;
        bar->setFocus();
        const int before = bar->value();
        QTest::keyClick(bar, c.key);
        QTest::keyClick(bar, c.key);
        const int after = before + 2 * c.step;
        EXPECT_EQ(bar->value(), after);
        const Calls sent = Sent(driver);
        ASSERT_FALSE(sent.empty());
        if (bar == dlg.m_sbGain) {
            EXPECT_EQ(sent.back(), "OcuAGCControl(0x13, " + std::to_string(after) + ")");
        } else {
            const bool h = bar == dlg.m_sbHBlanking;
            EXPECT_EQ(sent[sent.size() - 2], "OcuSetBlanking(" + std::to_string(h ? after : 5) + ", " +
                                                 std::to_string(h ? 6 : after) + ")");
        }
        dlg.hide();
    }
}

TEST_F(Features, DefaultAppliesFactoryValuesResetAndCancelPutTheOpeningOnesBack) {
    CMainFrame& frame = Start({9, 8, 8, 8});
    CCameraFeaturesDlg dlg(frame);
    const auto opening = [&] {
        EXPECT_EQ(std::tuple(frame.m_nTintUpper, frame.m_nTintLower, frame.m_nHBlanking, frame.m_nVBlanking,
                             frame.m_nADCLevel, frame.m_nGain),
                  std::tuple(30, 500, 5, 6, 1, Gains{9, 8, 8, 8}));
    };
    const Calls defaults{"OcuSetBlanking(0, 0)",   Aec(60, 1000, 0),         Aec(60, 1000, 0),
                         "OcuADCControl(0, 2)",    "OcuAGCControl(0x10, 8)", "OcuAGCControl(0x11, 8)",
                         "OcuAGCControl(0x12, 8)", "OcuAGCControl(0x13, 8)"};

    Button(dlg, "5").click();
    EXPECT_EQ(Sent(driver), defaults);
    EXPECT_EQ(Shown(dlg), QStringList({"60", "1000", "0", "0", "2", "4", "8"}));
    EXPECT_EQ(std::tuple(frame.m_nTintUpper, frame.m_nTintLower, frame.m_nHBlanking, frame.m_nVBlanking),
              std::tuple(60, 1000, 0, 0));

    driver.ClearCalls();
    Button(dlg, "4").click();
    EXPECT_EQ(Sent(driver), Restore({9, 8, 8, 8}));
    opening();
    EXPECT_EQ(Shown(dlg), QStringList({"30", "500", "5", "6", "1", "0", "9"}));

    Button(dlg, "5").click();
    driver.ClearCalls();
    Button(dlg, "IDCANCEL").click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(Sent(driver), Restore({9, 8, 8, 8}));
    opening();
}

TEST_F(Features, TheCommandRunsItModallyAndEveryWayOutButOkRestores) {
    struct Case {
        const char* how;
        std::function<void(CCameraFeaturesDlg&)> close;
        bool kept;
    };
    const std::vector<Case> cases{
        {"Escape", [](auto& dlg) { QTest::keyClick(&dlg, Qt::Key_Escape); }, false},
        {"close box", [](auto& dlg) { dlg.close(); }, false},
        {"Cancel", [](auto& dlg) { Button(dlg, "IDCANCEL").click(); }, false},
        {"Enter", [](auto& dlg) { QTest::keyClick(dlg.m_cbADC, Qt::Key_Return); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        CMainFrame& frame = Start({8, 8, 8, 8});
        OnModal<CCameraFeaturesDlg>([&](CCameraFeaturesDlg& dlg) {
            EXPECT_EQ(dlg.parentWidget(), &frame);
            EXPECT_TRUE(dlg.isModal());
            dlg.m_sbGain->triggerAction(QAbstractSlider::SliderPageStepAdd); // 8 -> 18 on all four
            driver.ClearCalls();
            c.close(dlg);
        });
        ASSERT_TRUE(frame.ExecuteCommand(kIdCameraFeatures));
        EXPECT_EQ(frame.m_nGain, (c.kept ? Gains{18, 18, 18, 18} : Gains{8, 8, 8, 8}));
        EXPECT_EQ(Sent(driver), c.kept ? Calls{} : Restore({8, 8, 8, 8}));
    }
}

// A live edit that fails its check shows the message at once and sends nothing; the camera and the viewer
// keep the last values that passed.
TEST_F(Features, ABadEditShowsItsMessageAtOnceAndSendsNothing) {
    struct Case {
        const char* edit;
        const char* before;
        const char* keys;
        const char* message;
        int CCameraFeaturesDlg::*member;
        int stored;
    };
    const char* const integer = "Please enter an integer.";
    const std::vector<Case> cases{
        {"1042", "6", "\b", integer, &CCameraFeaturesDlg::m_nTintUpper, 30},
        {"1043", "", "0", "Please enter an integer between 1 and 1000000.", &CCameraFeaturesDlg::m_nTintLower,
         0},
        {"1042", "1000", "1", "Please enter an integer between 1 and 10000.",
         &CCameraFeaturesDlg::m_nTintUpper, 10001},
        {"1044", "", "-", integer, &CCameraFeaturesDlg::m_nHBlanking, 5},
        {"1045", "193", "1", "Please enter an integer between -9 and 1930.",
         &CCameraFeaturesDlg::m_nVBlanking, 1931},
        {"1045", "12", "x", integer, &CCameraFeaturesDlg::m_nVBlanking, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.edit) + " " + c.before + c.keys);
        CMainFrame& frame = Start();
        CCameraFeaturesDlg dlg(frame);
        dlg.show();
        MessageBoxRecorder boxes;
        Type(dlg, c.edit, QString::fromLatin1(c.before), c.keys);
        ASSERT_NO_FATAL_FAILURE(ExpectOneWarning(boxes, c.message));
        QLineEdit* edit = &Edit(dlg, c.edit);
        EXPECT_EQ(dlg.focusWidget(), edit);
        EXPECT_EQ(edit->selectedText(), edit->text());
        EXPECT_EQ(dlg.*c.member, c.stored);
        EXPECT_EQ(Sent(driver), Calls{});
        EXPECT_EQ(std::tuple(frame.m_nTintUpper, frame.m_nTintLower, frame.m_nHBlanking, frame.m_nVBlanking),
                  std::tuple(30, 500, 5, 6));
        dlg.hide();
    }
}

// Each edit is read alone: a field that passes reaches the camera at its own edit whatever the others
// hold, and the others go with the values the camera has. What the camera runs with, what the dialog shows
// and what OK keeps never part.
TEST_F(Features, EachFieldReachesTheCameraAtItsOwnEditWhateverTheOthersHold) {
    using Dlg = CCameraFeaturesDlg;
    struct Case {
        const char* what;
        int type; // the device type: 2 has blanking limits beyond the edits' -9..1930
        std::function<void(Dlg&)> act;
        size_t messages;
        Calls sent;
        std::array<int, 4> viewer; // exposure and blanking the viewer holds
        bool okCloses;
    };
    const std::vector<Case> cases{
        {"exposure typed while a blanking is no number",
         0,
         [](Dlg& dlg) {
             Type(dlg, "1045", "", "x");
             Type(dlg, "1043", "", "5");
             Type(dlg, "1045", "", "0");
         },
         1,
         {AecCall(30, 5, 5, 0), "OcuSetBlanking(5, 0)", AecCall(30, 5, 5, 0)},
         {30, 5, 5, 0},
         true},
        {"denominator typed while the numerator is empty",
         0,
         [](Dlg& dlg) {
             Type(dlg, "1042", "3", "\b");
             Type(dlg, "1043", "2", "5");
         },
         1,
         {AecCall(30, 25, 5, 0)},
         {30, 25, 5, 6},
         false},
        {"a blanking out of range holds back neither the other blanking nor the exposure",
         0,
         [](Dlg& dlg) {
             Type(dlg, "1044", "200", "0");
             Type(dlg, "1045", "", "7");
             Type(dlg, "1042", "4", "5");
         },
         1,
         {"OcuSetBlanking(5, 7)", AecCall(30, 500, 5, 0), AecCall(45, 500, 5, 0)},
         {45, 500, 5, 7},
         false},
        {"exposure typed after a bar took a blanking beyond 1930",
         2,
         [](Dlg& dlg) {
             Drag(dlg.m_sbHBlanking, 2000);
             Type(dlg, "1042", "4", "5");
         },
         0,
         {"OcuSetBlanking(2000, 6)", AecCall(30, 500, 2000), "OcuSetBlanking(2000, 6)",
          AecCall(30, 500, 2000), AecCall(45, 500, 2000)},
         {45, 500, 2000, 6},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetType(c.type);
        CMainFrame& frame = Start();
        CCameraFeaturesDlg dlg(frame);
        dlg.show();
        {
            MessageBoxRecorder boxes;
            c.act(dlg);
            EXPECT_EQ(boxes.Boxes().size(), c.messages);
        }
        EXPECT_EQ(Sent(driver), c.sent);
        const auto held = [&] {
            return std::array{frame.m_nTintUpper, frame.m_nTintLower, frame.m_nHBlanking, frame.m_nVBlanking};
        };
        EXPECT_EQ(held(), c.viewer);

        // OK keeps what the camera runs with, or, refused, leaves it as it is.
        driver.ClearCalls();
        MessageBoxRecorder boxes;
        dlg.accept();
        EXPECT_EQ(dlg.isVisible(), !c.okCloses);
        EXPECT_EQ(boxes.Boxes().size(), c.okCloses ? 0u : 1u);
        EXPECT_EQ(held(), c.viewer);
        EXPECT_EQ(Sent(driver), Calls{});
        dlg.hide();
    }
}

TEST_F(Features, OkRefusesABlankingTheBarsAllowedBeyondTheEditsRange) {
    struct Case {
        int type;
        QScrollBar* CCameraFeaturesDlg::*bar;
        int position;
    };
    for (const Case& c : {Case{2, &CCameraFeaturesDlg::m_sbHBlanking, 1931},
                          Case{3, &CCameraFeaturesDlg::m_sbVBlanking, -10}}) {
        SCOPED_TRACE(c.type);
        SetType(c.type);
        CMainFrame& frame = Start({9, 8, 8, 8});
        CCameraFeaturesDlg dlg(frame);
        Choose(dlg.m_cbChannel, 4);
        dlg.m_sbGain->triggerAction(QAbstractSlider::SliderPageStepAdd);
        Choose(dlg.m_cbADC, 3);
        Drag(dlg.*c.bar, c.position);

        // The viewer takes the values before the fields are checked.
        std::optional<Gains> gainsDuringMessage;
        QString message;
        const MessageBoxHandler tests = SetMessageBoxHandler([&](const MessageBoxRequest& box) {
            message = box.text;
            gainsDuringMessage = frame.m_nGain;
            return QMessageBox::Ok;
        });
        int finished = 0;
        QObject::connect(&dlg, &QDialog::finished, [&] { ++finished; });
        dlg.accept();
        SetMessageBoxHandler(tests);
        EXPECT_EQ(message, "Please enter an integer between -9 and 1930.");
        EXPECT_EQ(gainsDuringMessage, (Gains{18, 18, 18, 18}));
        EXPECT_EQ(finished, 0);

        // Refused, the viewer is as before OK, so Cancel still restores the opening gains and ADC level.
        EXPECT_EQ(frame.m_nGain, (Gains{9, 8, 8, 8}));
        EXPECT_EQ(frame.m_nADCLevel, 1);
        driver.ClearCalls();
        dlg.reject();
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(Sent(driver), Restore({9, 8, 8, 8}));
    }
}

TEST_F(Features, BlankingBarsSpanTheDevicesLimitsOrTheDefaultOnes) {
    struct Case {
        int type;
        bool failQuery;
        std::pair<int, int> h;
        std::pair<int, int> v;
    };
    for (const Case& c : {Case{0, false, {-9, 1930}, {-9, 1930}}, Case{1, false, {-9, 1930}, {-9, 1930}},
                          Case{2, false, {-20, 4095}, {-10, 2047}}, Case{3, false, {-20, 4095}, {-10, 2047}},
                          Case{2, true, {-9, 1930}, {-9, 1930}}}) {
        SCOPED_TRACE(std::to_string(c.type) + (c.failQuery ? " without limits" : ""));
        SetType(c.type);
        driver.FailDeviceInfo(OCU_INFO_BLANKING_LIMITS, c.failQuery ? OCU_ERR_NOT_SUPPORTED : OCU_OK);
        CCameraFeaturesDlg dlg(Start());
        EXPECT_EQ(std::pair(dlg.m_sbHBlanking->minimum(), dlg.m_sbHBlanking->maximum()), c.h);
        EXPECT_EQ(std::pair(dlg.m_sbVBlanking->minimum(), dlg.m_sbVBlanking->maximum()), c.v);
        EXPECT_EQ(Sent(driver), Calls{});
    }
}

namespace {

// The mean level of the display image.
double MeanLevel(const CMainFrame& frame) {
    const std::vector<uint8_t> bytes = DisplayBytes(frame);
    const double sum = std::accumulate(bytes.begin(), bytes.end(), 0.0);
    return bytes.empty() ? 0 : sum / static_cast<double>(bytes.size());
}

class FeaturesLive : public SimViewerTest {};

} // namespace

TEST_F(FeaturesLive, TheLivePictureRunsBehindTheDialogAndTakesEachChange) {
    const ExactSimCamera camera;
    RunningViewer viewer;
    ASSERT_TRUE(viewer.Started());
    CMainFrame& frame = viewer.Frame();
    // Closed also when the test stops early, so that the next one finds the camera free.
    struct CloseAtEnd {
        CMainFrame& frame;
        ~CloseAtEnd() { frame.close(); }
    } closeAtEnd{frame};
    ASSERT_TRUE(StartLive(frame, 320, 240, 2));
    const double opening = MeanLevel(frame);

    OnModal<CCameraFeaturesDlg>([&](CCameraFeaturesDlg& dlg) {
        const int before = frame.m_nFrameCount;
        EXPECT_TRUE(WaitFor([&] { return frame.m_nFrameCount >= before + 3; })) << "frames go on";
        Type(dlg, "1042", "", "120"); // twice the exposure
        EXPECT_TRUE(WaitFor([&] { return MeanLevel(frame) > opening * 1.5; }))
            << opening << " " << MeanLevel(frame);
        dlg.reject();
    });
    ASSERT_TRUE(frame.ExecuteCommand(kIdCameraFeatures));
    // Cancel took the exposure back.
    EXPECT_EQ(frame.m_nTintUpper, 60);
    EXPECT_TRUE(WaitFor([&] { return MeanLevel(frame) < opening * 1.1; }));
}
