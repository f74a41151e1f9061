// The frame's title: the camera model and the image size, and while frames arrive the frame rate.
#pragma once

#include <QString>
#include <optional>

namespace ocu {

// "VelC Viewer [640 x 480]", or with a rate "VelC Viewer [640 x 480]  16.209064(fps)".
QString ViewerTitle(const QString& model, int width, int height, std::optional<double> framesPerSecond = {});

// While a started acquisition has delivered nothing for a while: "VelC Viewer [640 x 480]  waiting for the
// first frame...", or in trigger mode "...  waiting for a trigger...".
QString WaitingTitle(const QString& model, int width, int height, bool trigger);

} // namespace ocu
