// The Correct menu: gamma, bad pixels and the pattern-noise template. The commands only set tables and
// flags (and widen the output window for a capture); the frame pipeline does the work on the next frames.
#include "PixConv.h"
#include "common/MessageBox.h"
#include "dialogs/GammaDlg.h"
#include "frame/MainFrame.h"

using namespace ocu;

namespace {

// A capture for the next colour frame, once the user confirms that the camera sees what it needs (text):
// its flag set, and the whole sensor read out, which the pipeline takes back after the capture. Asked
// again while pending, it only widens the window again: a template already under way goes on counting.
void RequestCapture(CMainFrame& frame, const char* text, int CMainFrame::*flag) {
    MessageBoxRequest box;
    box.owner = &frame;
    box.caption = QStringLiteral("Notice");
    box.text = QString::fromUtf8(text);
    box.icon = QMessageBox::NoIcon;
    box.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    if (ShowMessageBox(box) != QMessageBox::Ok)
        return;
    frame.*flag = 1;
    // The exposure value counts in lines, whose length follows the window's width: recomputed for the
    // whole sensor's lines, the capture sees the light as the live picture does (a template taken at
    // another exposure would not match the frames it corrects), and again for the region's when the
    // pipeline gives the region back. It comes first, so that no frame of the capture has the old one.
    frame.ApplyExposure(frame.m_nWidth, frame.m_nTintUpper, frame.m_nTintLower);
    frame.ApplyOutputWindow(0, 0, frame.m_nWidth, frame.m_nHeight);
}

} // namespace

void CMainFrame::OnGammaCorrect() {
    // On whatever the dialog ends with: a cancelled dialog leaves gamma on with the curve as it stands,
    // and the next rebuild of the tables uses it.
    m_bGammaCorrect = 1;
    CGammaDlg dlg(this);
    dlg.m_dGamma = m_dGamma;
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_dGamma = dlg.m_dGamma;
    SetGammaLut(m_Lut[kLutGamma].data(), m_dGamma);
    BuildChannelLuts(m_dRatioR, m_dRatioG, m_dRatioB);
}

void CMainFrame::OnCancelGamma() {
    // The curve stays for a later Gamma Correct.
    m_bGammaCorrect = 0;
    BuildChannelLuts(m_dRatioR, m_dRatioG, m_dRatioB);
}

void CMainFrame::OnGetBadPixels() {
    RequestCapture(*this, "请确认已经将镜头完全遮盖!", &CMainFrame::m_bGetBadPixels);
}

void CMainFrame::OnEraseBadPixels() {
    m_bEraseBadPixels = m_bEraseBadPixels ? 0 : 1;
}

void CMainFrame::OnGetTemplate() {
    RequestCapture(*this, "请确认已经将镜头面对均匀光线!", &CMainFrame::m_bGetTemplate);
}

void CMainFrame::OnTemplateCorrect() {
    m_bTemplateCorrect = m_bTemplateCorrect ? 0 : 1;
}
