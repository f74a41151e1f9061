#pragma once

#include <QIcon>

namespace ocu {

// The viewer's icon: a camera whose lens shows a colour sensor's sites (data/icons).
QIcon AppIcon();

} // namespace ocu
