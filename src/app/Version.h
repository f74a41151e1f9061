// What the viewer says about itself.
#pragma once

namespace ocu {

// The application's title, also the caption of the message boxes shown for the program as a whole.
inline constexpr char kAppTitle[] = "OcuViewer";

inline constexpr char kFileVersion[] = "1.01.0002";
inline constexpr char kProductName[] = "OcuViewer Application";
inline constexpr char kInternalName[] = "OcuViewer";
inline constexpr char kExecutableName[] = "ocuviewer";

// The About box has always shown the version before this one.
inline constexpr char kAboutVersionText[] = "VelViewer Version 1.01.0001";
inline constexpr char kAboutNotice[] = "Copyright (C) Norvale Vistar";

} // namespace ocu
