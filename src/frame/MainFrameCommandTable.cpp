#include "app/OcuViewerApp.h"
#include "app/OcuViewerDoc.h"
#include "display/OcuViewerView.h"
#include "frame/CommandIds.h"
#include "frame/CommandTable.h"
#include "frame/MainFrame.h"

#include <algorithm>
#include <array>

namespace ocu {
namespace {

CommandUi Checked(bool checked, bool enabled = true) {
    return CommandUi{enabled, checked};
}

// Commands that the application object serves; without one (a frame on its own) they do nothing.
template <void (COcuViewerApp::*Handler)()>
void AppCommand(CMainFrame&) {
    if (COcuViewerApp* app = COcuViewerApp::Current())
        (app->*Handler)();
}

constexpr bool kNeverChecked = true;

// clang-format off
constexpr auto kCommands = std::to_array<CommandDef>({
    {kIdFileOpenImage, "&File", "&Open...", "Ctrl+O",
        [](CMainFrame& f) { f.OnFileOpenImage(); }, nullptr},
    {kIdFileSaveAs, "&File", "Save &As...", "",
        [](CMainFrame& f) { f.OnFileSaveAs(); }, nullptr},
    {0, "&File", nullptr, nullptr, nullptr, nullptr},
    {kIdFilePrint, "&File", "&Print...", "Ctrl+P",
        [](CMainFrame& f) { if (auto* view = f.GetActiveView()) view->OnFilePrint(); }, nullptr},
    // Printing on the printer as set up, without the dialog: a command without a menu item.
    {kIdFilePrintDirect, "", "", "",
        [](CMainFrame& f) { if (auto* view = f.GetActiveView()) view->OnFilePrintDirect(); }, nullptr},
    {kIdFilePrintPreview, "&File", "Print Pre&view", "",
        [](CMainFrame& f) { if (auto* view = f.GetActiveView()) view->OnFilePrintPreview(); }, nullptr},
    {kIdFilePrintSetup, "&File", "P&rint Setup...", "", AppCommand<&COcuViewerApp::OnFilePrintSetup>, nullptr},
    {0, "&File", nullptr, nullptr, nullptr, nullptr},
    {kIdAppExit, "&File", "E&xit", "", [](CMainFrame& f) { f.close(); }, nullptr},

    {kIdResolution0, "&Options/Resolution", "Mode_0", "",
        [](CMainFrame& f) { f.OnResolution(0); },
        [](const CMainFrame& f) { return Checked(f.m_nResolution == 0); }},
    {kIdResolution1, "&Options/Resolution", "Mode_1", "",
        [](CMainFrame& f) { f.OnResolution(1); },
        [](const CMainFrame& f) { return Checked(f.m_nResolution == 1); }},
    {kIdResolution2, "&Options/Resolution", "Mode_2", "",
        [](CMainFrame& f) { f.OnResolution(2); },
        [](const CMainFrame& f) { return Checked(f.m_nResolution == 2); }},
    {kIdImageColor, "&Options/Image Mode", "Color", "",
        [](CMainFrame& f) { f.OnImageMode(0); },
        [](const CMainFrame& f) { return Checked(f.m_nImageMode == 0); }},
    {kIdImageBw, "&Options/Image Mode", "BW", "",
        [](CMainFrame& f) { f.OnImageMode(1); },
        [](const CMainFrame& f) { return Checked(f.m_nImageMode == 1); }},
    {kIdHighSpeed, "&Options/Snap Speed", "High Speed", "",
        [](CMainFrame& f) { f.OnSnapSpeed(1); },
        [](const CMainFrame& f) { return Checked(f.m_nSnapSpeed == 1, f.m_bSnapSpeedSupported != 0); }},
    {kIdNormalSpeed, "&Options/Snap Speed", "Normal Speed", "",
        [](CMainFrame& f) { f.OnSnapSpeed(0); },
        [](const CMainFrame& f) { return Checked(f.m_nSnapSpeed == 0, f.m_bSnapSpeedSupported != 0); }},
    {kIdBayerGbrg, "&Options/Bayer Data Layout", "GBRG", "",
        [](CMainFrame& f) { f.OnBayerLayout(1); },
        [](const CMainFrame& f) { return Checked(f.m_nBayerLayout == 1); }},
    {kIdBayerGrbg, "&Options/Bayer Data Layout", "GRBG", "",
        [](CMainFrame& f) { f.OnBayerLayout(2); },
        [](const CMainFrame& f) { return Checked(f.m_nBayerLayout == 2); }},
    {kIdBayerBggr, "&Options/Bayer Data Layout", "BGGR", "",
        [](CMainFrame& f) { f.OnBayerLayout(3); },
        [](const CMainFrame& f) { return Checked(f.m_nBayerLayout == 3); }},
    {kIdBayerRggb, "&Options/Bayer Data Layout", "RGGB", "",
        [](CMainFrame& f) { f.OnBayerLayout(4); },
        [](const CMainFrame& f) { return Checked(f.m_nBayerLayout == 4); }},
    {kIdConversionFast, "&Options/Conversion Type", "Fast", "",
        [](CMainFrame& f) { f.OnConversion(1); },
        [](const CMainFrame& f) { return Checked(f.m_nConversion == 1); }},
    {kIdConversionNormal, "&Options/Conversion Type", "Normal", "",
        [](CMainFrame& f) { f.OnConversion(3); },
        [](const CMainFrame& f) { return Checked(f.m_nConversion == 3); }},
    {kIdConversionBest, "&Options/Conversion Type", "Best", "",
        [](CMainFrame& f) { f.OnConversion(6); },
        [](const CMainFrame& f) { return Checked(f.m_nConversion == 6); }},
    {kIdConversionEdgeSensing, "&Options/Conversion Type", "EDGESENSING", "",
        [](CMainFrame& f) { f.OnConversion(4); },
        [](const CMainFrame& f) { return Checked(f.m_nConversion == 4); }},
    {0, "&Options", nullptr, nullptr, nullptr, nullptr},
    {kIdCameraFeatures, "&Options", "&Camera Features...", "",
        [](CMainFrame& f) { f.OnCameraFeatures(); }, nullptr},
    {kIdChooseCamera, "&Options", "Ca&mera...", "",
        [](CMainFrame& f) { f.OnChooseCamera(); }, nullptr},
    {kIdWhiteBalance, "&Options", "&White Balance...", "",
        [](CMainFrame& f) { f.OnWhiteBalance(); },
        [](const CMainFrame& f) { return Checked(false, f.m_nImageMode == 0); }, kNeverChecked},

    {kIdSnapContinuation, "&View/SnapMode", "Continuation", "",
        [](CMainFrame& f) { f.OnSnapMode(0); },
        [](const CMainFrame& f) { return Checked(f.m_nSnapMode == 0, f.m_bSnapping == 0); }},
    {kIdSnapTrigger, "&View/SnapMode", "Trigger", "",
        [](CMainFrame& f) { f.OnSnapMode(1); },
        [](const CMainFrame& f) { return Checked(f.m_nSnapMode == 1, f.m_bSnapping == 0); }},
    {0, "&View", nullptr, nullptr, nullptr, nullptr},
    {kIdSingleSnap, "&View", "Single Snap", "Ctrl+1",
        [](CMainFrame& f) { f.OnSingleSnap(); },
        [](const CMainFrame& f) { return Checked(false, f.m_bSnapping == 0); }, kNeverChecked},
    {kIdContinuousSnap, "&View", "Continuous Snap", "Ctrl+2",
        [](CMainFrame& f) { f.OnContinuousSnap(); },
        [](const CMainFrame& f) { return Checked(f.m_bSnapping == 1); }},
    {0, "&View", nullptr, nullptr, nullptr, nullptr},
    {kIdHistogram, "&View", "&Histogram", "",
        [](CMainFrame& f) { f.OnHistogram(); },
        [](const CMainFrame& f) { return Checked(f.IsHistogramShown()); }},
    {kIdRecord, "&View", "&Record...", "",
        [](CMainFrame& f) { f.OnRecord(); },
        [](const CMainFrame& f) { return Checked(false, f.m_pRawBuffer && f.m_pImageBuffer); }, kNeverChecked},

    {kIdGammaCorrect, "&Correct", "Gamma Correct", "",
        [](CMainFrame& f) { f.OnGammaCorrect(); },
        [](const CMainFrame& f) { return Checked(f.m_bGammaCorrect == 1); }},
    {kIdCancelGamma, "&Correct", "Cancel Gamma", "",
        [](CMainFrame& f) { f.OnCancelGamma(); },
        [](const CMainFrame& f) { return Checked(f.m_bGammaCorrect == 0); }},
    {0, "&Correct", nullptr, nullptr, nullptr, nullptr},
    {kIdGetBadPixels, "&Correct", "Get Bad Pixels", "",
        [](CMainFrame& f) { f.OnGetBadPixels(); },
        [](const CMainFrame& f) { return Checked(f.m_bGetBadPixels == 1, f.m_bSnapping == 1); }},
    {kIdEraseBadPixels, "&Correct", "Eliminate Bad Pixels", "",
        [](CMainFrame& f) { f.OnEraseBadPixels(); },
        [](const CMainFrame& f) { return Checked(f.m_bEraseBadPixels == 1, f.m_bSnapping == 1); }},
    {0, "&Correct", nullptr, nullptr, nullptr, nullptr},
    {kIdGetTemplate, "&Correct", "Get Template", "",
        [](CMainFrame& f) { f.OnGetTemplate(); },
        [](const CMainFrame& f) { return Checked(f.m_bGetTemplate == 1, f.m_bSnapping == 1); }},
    {kIdTemplateCorrect, "&Correct", "Template Correct", "",
        [](CMainFrame& f) { f.OnTemplateCorrect(); },
        [](const CMainFrame& f) {
            return Checked(f.m_bTemplateCorrect == 1, f.m_bSnapping == 1 && f.m_bGetTemplate == 0);
        }},

    {kIdGoToWebsite, "&Help", "Go to Update Website...", "",
        [](CMainFrame& f) { f.OnGoToWebsite(); }, nullptr},
    {kIdContactSupport, "&Help", "Contact Norvale Vistar...", "",
        [](CMainFrame& f) { f.OnContactSupport(); }, nullptr},
    {0, "&Help", nullptr, nullptr, nullptr, nullptr},
    {kIdAppAbout, "&Help", "&About VelViewer...", "", AppCommand<&COcuViewerApp::OnAppAbout>, nullptr},

    // The empty document's commands: new from the keyboard; open and save have no key (Ctrl+O and Ctrl+S
    // open and save images).
    {kIdFileNew, "", "", "", AppCommand<&COcuViewerApp::OnFileNew>, nullptr},
    {kIdFileOpen, "", "", "", AppCommand<&COcuViewerApp::OnFileOpen>, nullptr},
    {kIdFileSave, "", "", "",
        [](CMainFrame& f) {
            if (COcuViewerApp* app = COcuViewerApp::Current())
                app->Document()->OnFileSave(&f);
        }, nullptr},
});

// Copy, paste, cut and undo have no handler, and the pane commands stay disabled (the view is never
// split): their keys are taken and do nothing.
constexpr auto kAccelerators = std::to_array<AcceleratorDef>({
    {"Ctrl+1", kIdSingleSnap},
    {"Ctrl+2", kIdContinuousSnap},
    {"Ctrl+N", kIdFileNew},
    // The key of the File menu's "&Open..." opens an image, as its label says; its partner saves one, since
    // the empty document's save would write an empty file where the user expects the picture.
    {"Ctrl+O", kIdFileOpenImage},
    {"Ctrl+S", kIdFileSaveAs},
    {"Ctrl+P", kIdFilePrint},
    {"Ctrl+C", kIdEditCopy},
    {"Ctrl+Ins", kIdEditCopy},
    {"Ctrl+V", kIdEditPaste},
    {"Shift+Ins", kIdEditPaste},
    {"Ctrl+X", kIdEditCut},
    {"Shift+Del", kIdEditCut},
    {"Ctrl+Z", kIdEditUndo},
    {"Alt+Backspace", kIdEditUndo},
    {"F6", kIdNextPane},
    {"Shift+F6", kIdPrevPane},
});
// clang-format on

} // namespace

std::span<const CommandDef> CommandTable() {
    return kCommands;
}

std::span<const AcceleratorDef> AcceleratorTable() {
    return kAccelerators;
}

const CommandDef* FindCommand(int id) {
    if (id == 0)
        return nullptr;
    const auto it =
        std::find_if(kCommands.begin(), kCommands.end(), [id](const CommandDef& c) { return c.id == id; });
    return it == kCommands.end() ? nullptr : &*it;
}

} // namespace ocu
