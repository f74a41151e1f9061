// The Correct menu: gamma, bad pixels and the pattern-noise template.
#include "frame/MainFrame.h"

void CMainFrame::OnGammaCorrect() {}
void CMainFrame::OnCancelGamma() {}
void CMainFrame::OnGetBadPixels() {}
void CMainFrame::OnEraseBadPixels() {}
void CMainFrame::OnGetTemplate() {}
void CMainFrame::OnTemplateCorrect() {}
