// The Help menu's two links to the camera maker.
#pragma once

namespace ocu {

inline constexpr char kWebsiteUrl[] = "https://www.norvale-vistar.example/";
inline constexpr char kSupportMailUrl[] = "mailto:Norvale Vistar Support<support@norvale-vistar.example>";

// Hands the maker's web page, or a new mail to its support, to the desktop; a desktop that cannot open
// it gets a message box.
void OpenWebsite();
void OpenSupportMail();

} // namespace ocu
