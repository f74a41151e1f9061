// The Camera Features command.
#include "dialogs/CameraFeaturesDlg.h"
#include "frame/MainFrame.h"

void CMainFrame::OnCameraFeatures() {
    // Its changes reach the camera and the viewer as they are made; the result has nothing to add.
    CCameraFeaturesDlg dlg(*this);
    dlg.exec();
}
