// The Camera Features dialog.
#include "frame/MainFrame.h"

void CMainFrame::OnCameraFeatures() {}
