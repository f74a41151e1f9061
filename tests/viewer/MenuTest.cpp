// The menu bar, the update rules and the keyboard.
#include "OcuSnapTesting.h"
#include "WindowTestSupport.h"
#include "frame/CommandIds.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <gtest/gtest.h>
#include <set>

using namespace ocu;
using namespace ocu::test;
using Lines = std::vector<std::string>;

namespace {

// One line per item: its path, its text (a tab before the shortcut label shown as "\t") and its id;
// "-" for a separator.
void DumpMenu(const QMenu* menu, const std::string& path, Lines& lines) {
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator()) {
            lines.push_back(path + " -");
        } else if (action->menu() != nullptr) {
            lines.push_back(path + " " + action->text().toStdString() + " >");
            DumpMenu(action->menu(), path + "/" + action->text().toStdString(), lines);
        } else {
            std::string text = action->text().toStdString();
            if (const size_t tab = text.find('\t'); tab != std::string::npos)
                text.replace(tab, 1, "\\t");
            lines.push_back(path + " " + text + " #" + std::to_string(action->data().toInt()));
        }
    }
}

Lines DumpMenuBar(const CMainFrame& frame) {
    Lines lines;
    for (const QAction* top : frame.menuBar()->actions())
        DumpMenu(top->menu(), top->text().toStdString(), lines);
    return lines;
}

QMenu* MenuOf(CMainFrame& frame, int id) {
    return qobject_cast<QMenu*>(frame.FindAction(id)->parent());
}

// What a user sees when the menu holding the command drops down.
CommandUi Shown(CMainFrame& frame, int id) {
    Q_EMIT MenuOf(frame, id)->aboutToShow();
    const QAction* action = frame.FindAction(id);
    return CommandUi{action->isEnabled(), action->isChecked()};
}

class Menus : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        ASSERT_TRUE(viewer.Started());
    }
    void TearDown() override {
        if (frame().m_bSnapping)
            frame().ExecuteCommand(kIdContinuousSnap);
        ViewerTest::TearDown();
    }
    CMainFrame& frame() { return viewer.Frame(); }

    RunningViewer viewer;
};

} // namespace

TEST_F(Menus, CompleteMenuBarInOrder) {
    const Lines expected{
        "&File &Open...\\tCtrl+O #32783",
        "&File Save &As... #32784",
        "&File -",
        "&File &Print...\\tCtrl+P #57607",
        "&File Print Pre&view #57609",
        "&File P&rint Setup... #57606",
        "&File -",
        "&File E&xit #57665",
        "&Options Resolution >",
        "&Options/Resolution Mode_0 #32810",
        "&Options/Resolution Mode_1 #32811",
        "&Options/Resolution Mode_2 #32812",
        "&Options Image Mode >",
        "&Options/Image Mode Color #32792",
        "&Options/Image Mode BW #32793",
        "&Options Snap Speed >",
        "&Options/Snap Speed High Speed #32823",
        "&Options/Snap Speed Normal Speed #32824",
        "&Options Bayer Data Layout >",
        "&Options/Bayer Data Layout GBRG #32794",
        "&Options/Bayer Data Layout GRBG #32795",
        "&Options/Bayer Data Layout BGGR #32796",
        "&Options/Bayer Data Layout RGGB #32797",
        "&Options Conversion Type >",
        "&Options/Conversion Type Fast #32807",
        "&Options/Conversion Type Normal #32808",
        "&Options/Conversion Type Best #32809",
        "&Options/Conversion Type EDGESENSING #32826",
        "&Options -",
        "&Options &Camera Features... #32776",
        "&Options Ca&mera... #32861",
        "&Options &White Balance... #32790",
        "&View SnapMode >",
        "&View/SnapMode Continuation #32801",
        "&View/SnapMode Trigger #32803",
        "&View -",
        "&View Single Snap\\tCtrl+1 #32802",
        "&View Continuous Snap\\tCtrl+2 #32771",
        "&View -",
        "&View &Histogram #32840",
        "&View &Record... #32841",
        "&Correct Gamma Correct #32817",
        "&Correct Cancel Gamma #32818",
        "&Correct -",
        "&Correct Get Bad Pixels #32819",
        "&Correct Eliminate Bad Pixels #32820",
        "&Correct -",
        "&Correct Get Template #32821",
        "&Correct Template Correct #32822",
        "&Help Go to Update Website... #32798",
        "&Help Contact Norvale Vistar... #32799",
        "&Help -",
        "&Help &About VelViewer... #57664",
    };
    EXPECT_EQ(DumpMenuBar(frame()), expected);
}

TEST_F(Menus, PlainCheckMarksAndNoKeysOnTheItems) {
    for (const QAction* top : frame().menuBar()->actions()) {
        for (const QAction* action : top->menu()->findChildren<QAction*>()) {
            EXPECT_EQ(action->actionGroup(), nullptr) << action->text().toStdString();
            // The keys belong to the accelerator table, so each works whether or not a menu is open.
            EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
        }
    }
    // Items that never carry a check mark are plain commands: the usual style draws an empty box beside
    // a checkable item, which would make them look like switches.
    const std::set<int> neverChecked{kIdFileOpenImage,  kIdFileSaveAs, kIdFilePrint,      kIdFilePrintPreview,
                                     kIdFilePrintSetup, kIdAppExit,    kIdCameraFeatures, kIdChooseCamera,
                                     kIdWhiteBalance,   kIdSingleSnap, kIdGoToWebsite,    kIdContactSupport,
                                     kIdAppAbout,       kIdRecord};
    for (const CommandDef& def : CommandTable()) {
        if (def.id == 0 || def.menuPath[0] == '\0')
            continue;
        EXPECT_EQ(frame().FindAction(def.id)->isCheckable(), !neverChecked.contains(def.id)) << def.text;
    }
}

TEST_F(Menus, IdleState) {
    EXPECT_TRUE(Shown(frame(), kIdSingleSnap).enabled);
    EXPECT_TRUE(Shown(frame(), kIdSnapContinuation).enabled);
    EXPECT_TRUE(Shown(frame(), kIdSnapContinuation).checked);
    EXPECT_FALSE(Shown(frame(), kIdSnapTrigger).checked);
    EXPECT_FALSE(Shown(frame(), kIdContinuousSnap).checked);
    for (int id : {kIdGetBadPixels, kIdEraseBadPixels, kIdGetTemplate, kIdTemplateCorrect})
        EXPECT_FALSE(Shown(frame(), id).enabled) << id;
    EXPECT_TRUE(Shown(frame(), kIdResolution0).checked);
    EXPECT_TRUE(Shown(frame(), kIdImageColor).checked);
    EXPECT_TRUE(Shown(frame(), kIdBayerGrbg).checked); // the first run's layout
    EXPECT_TRUE(Shown(frame(), kIdConversionFast).checked);
    EXPECT_TRUE(Shown(frame(), kIdHighSpeed).checked);
    EXPECT_TRUE(Shown(frame(), kIdHighSpeed).enabled);
    EXPECT_TRUE(Shown(frame(), kIdCancelGamma).checked);
    EXPECT_FALSE(Shown(frame(), kIdGammaCorrect).checked);
    EXPECT_TRUE(Shown(frame(), kIdWhiteBalance).enabled);
    for (int id :
         {kIdFileOpenImage, kIdFileSaveAs, kIdFilePrint, kIdFilePrintPreview, kIdFilePrintSetup, kIdAppExit,
          kIdCameraFeatures, kIdGoToWebsite, kIdContactSupport, kIdAppAbout, kIdRecord}) {
        EXPECT_TRUE(Shown(frame(), id).enabled) << id;
        EXPECT_FALSE(Shown(frame(), id).checked) << id;
    }
}

TEST_F(Menus, AcquiringState) {
    ASSERT_TRUE(frame().ExecuteCommand(kIdContinuousSnap));
    ASSERT_EQ(frame().m_bSnapping, 1);
    EXPECT_TRUE(Shown(frame(), kIdContinuousSnap).checked);
    EXPECT_FALSE(Shown(frame(), kIdSingleSnap).enabled);
    EXPECT_FALSE(Shown(frame(), kIdSnapContinuation).enabled);
    EXPECT_FALSE(Shown(frame(), kIdSnapTrigger).enabled);
    for (int id : {kIdGetBadPixels, kIdEraseBadPixels, kIdGetTemplate, kIdTemplateCorrect})
        EXPECT_TRUE(Shown(frame(), id).enabled) << id;
    // Resolution and speed stay available.
    EXPECT_TRUE(Shown(frame(), kIdResolution1).enabled);
    EXPECT_TRUE(Shown(frame(), kIdNormalSpeed).enabled);

    frame().m_bGetTemplate = 1;
    EXPECT_FALSE(Shown(frame(), kIdTemplateCorrect).enabled);
    EXPECT_TRUE(Shown(frame(), kIdGetTemplate).checked);
    frame().m_bGetTemplate = 0;
}

TEST_F(Menus, ChecksFollowTheState) {
    CMainFrame& f = frame();
    f.m_nImageMode = 1;
    EXPECT_FALSE(Shown(f, kIdWhiteBalance).enabled);
    EXPECT_TRUE(Shown(f, kIdImageBw).checked);
    EXPECT_FALSE(Shown(f, kIdImageColor).checked);
    f.m_nImageMode = 0;

    ASSERT_TRUE(f.ExecuteCommand(kIdBayerRggb));
    EXPECT_EQ(f.m_nBayerLayout, 4);
    EXPECT_TRUE(Shown(f, kIdBayerRggb).checked);
    EXPECT_FALSE(Shown(f, kIdBayerGrbg).checked);
    ASSERT_TRUE(f.ExecuteCommand(kIdConversionEdgeSensing));
    EXPECT_EQ(f.m_nConversion, 4);
    EXPECT_TRUE(Shown(f, kIdConversionEdgeSensing).checked);
    f.m_bGammaCorrect = 1;
    f.m_bEraseBadPixels = 1;
    f.m_bGetBadPixels = 1;
    f.m_bTemplateCorrect = 1;
    EXPECT_TRUE(Shown(f, kIdGammaCorrect).checked);
    EXPECT_FALSE(Shown(f, kIdCancelGamma).checked);
    EXPECT_TRUE(Shown(f, kIdEraseBadPixels).checked);
    EXPECT_TRUE(Shown(f, kIdGetBadPixels).checked);
    EXPECT_TRUE(Shown(f, kIdTemplateCorrect).checked);

    // Triggering a checked item from the menu leaves the check as the rule says, not toggled.
    f.FindAction(kIdResolution0)->trigger();
    EXPECT_TRUE(f.FindAction(kIdResolution0)->isChecked());
}

TEST_F(Menus, SnapModeTakesEffectOnlyWhenTheCameraAcceptsIt) {
    driver.ClearCalls();
    ASSERT_TRUE(frame().ExecuteCommand(kIdSnapTrigger));
    EXPECT_EQ(frame().m_nSnapMode, 1);
    driver.SetStatus("OcuSetSnapMode", OCU_ERR_NOT_SUPPORTED);
    ASSERT_TRUE(frame().ExecuteCommand(kIdSnapContinuation));
    EXPECT_EQ(frame().m_nSnapMode, 1);
    EXPECT_EQ(driver.CallTexts(), (Lines{"OcuSetSnapMode(1)", "OcuSetSnapMode(0)"}));
}

TEST_F(Menus, KeysRunTheirCommandsOnlyWhenTheRuleAllows) {
    CMainFrame& f = frame();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    driver.ClearCalls();

    QTest::keyClick(&f, Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(driver.CallTexts(), Lines{"OcuSnapShot(buf, 1)"});

    QTest::keyClick(&f, Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(f.m_bSnapping, 1);
    driver.ClearCalls();
    // Disabled while acquiring: the key is ignored.
    QTest::keyClick(&f, Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(driver.CallTexts(), Lines{});

    QTest::keyClick(&f, Qt::Key_2, Qt::ControlModifier);
    EXPECT_EQ(f.m_bSnapping, 0);
    EXPECT_EQ(driver.CallTexts(), Lines{"OcuCloseSnap()"});

    // Keys of commands that nothing handles do nothing.
    driver.ClearCalls();
    QTest::keyClick(&f, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(&f, Qt::Key_F6);
    EXPECT_EQ(driver.CallTexts(), Lines{});
    EXPECT_TRUE(f.isVisible());
}

TEST_F(Menus, CommandsThatNothingHandlesAreIgnored) {
    EXPECT_FALSE(frame().ExecuteCommand(kIdEditCopy));
    EXPECT_FALSE(frame().ExecuteCommand(kIdNextPane));
    EXPECT_FALSE(frame().QueryCommand(kIdPrevPane).enabled);
    EXPECT_FALSE(frame().ExecuteCommand(12345));
}
