// The application's names: its title, the frame's caption before the first title refresh and the caption
// of every message box shown for the program as a whole; and its name on the desktop.
#pragma once

namespace ocu {

inline constexpr char kAppTitle[] = "OcuViewer";

// The name the desktop knows the viewer by: its launcher (the .desktop file) and its icon.
inline constexpr char kDesktopId[] = "org.ocuviewer.ocuviewer";

} // namespace ocu
