// The Correct menu: gamma, bad pixels and the pattern-noise template.
#include "frame/MainFrame.h"

// These commands switch corrections that the frame pipeline applies; they are wired here so that the
// menu is complete, and do their work once the pipeline carries the corrections.
void CMainFrame::OnGammaCorrect() {}
void CMainFrame::OnCancelGamma() {}
void CMainFrame::OnGetBadPixels() {}
void CMainFrame::OnEraseBadPixels() {}
void CMainFrame::OnGetTemplate() {}
void CMainFrame::OnTemplateCorrect() {}
