// The frame's title: the camera model and the image size, and while frames arrive the frame rate.
#pragma once

#include <QString>
#include <optional>

namespace ocu {

// "VelC Viewer [640 x 480]", or with a rate "VelC Viewer [640 x 480]  16.209064(fps)".
QString ViewerTitle(const QString& model, int width, int height, std::optional<double> framesPerSecond = {});

} // namespace ocu
