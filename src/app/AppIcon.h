#pragma once

#include <QIcon>

namespace ocu {

// The viewer's icon: a camera lens, drawn rather than shipped as an image file.
QIcon AppIcon();

} // namespace ocu
