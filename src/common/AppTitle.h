// The application's title: the frame's caption before the first title refresh, and the caption of every
// message box shown for the program as a whole.
#pragma once

namespace ocu {

inline constexpr char kAppTitle[] = "OcuViewer";

} // namespace ocu
