// The size a top-level window has on the X server, whatever Qt takes it to be: Qt takes the size it asked
// for at once, and a window manager that keeps the window at another size may say nothing of it (sway's)
// or say it in a way Qt passes over (i3's answer that repeats the size last reported).
#pragma once

#include <QSize>
#include <optional>

class QWidget;

namespace ocu {

// The window's size in device pixels as the X server has it; nullopt on other platforms, for a window not
// yet created, or when the server does not answer.
std::optional<QSize> WindowSystemSize(const QWidget& window);

} // namespace ocu
