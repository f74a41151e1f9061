// The frame pipeline: raw frame to display image.
#include "frame/MainFrame.h"

using namespace ocu;

void CMainFrame::ProcessFrame() {
    // The conversion to the display image and the corrections before it are added with the live view.
}

MappedView CMainFrame::MapYUVLut(const std::string& /*path*/) {
    // The gray table is created and mapped with the black-and-white path of the pipeline; until then
    // nothing is mapped and the image mode stays a setting.
    return MappedView();
}
