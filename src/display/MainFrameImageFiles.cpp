// Saving and opening images.
#include "frame/MainFrame.h"

void CMainFrame::OnFileOpenImage() {}
void CMainFrame::OnFileSaveAs() {}
