// The Help menu's two links to the camera maker.
#pragma once

#include <QString>

namespace ocu {

inline constexpr char kWebsiteUrl[] = "https://www.norvale-vistar.example/";
inline constexpr char kSupportMailUrl[] = "mailto:Norvale Vistar Support<support@norvale-vistar.example>";

// Hands the maker's web page, or a new mail to its support, to the desktop; a desktop that cannot open
// it gets a message box.
void OpenWebsite();
void OpenSupportMail();

// Runs `opener` (the desktop's xdg-open) on `url` without waiting for it, and shows `failure` when it
// cannot be started or ends with a failure status, as xdg-open does when nothing on the desktop takes
// the link.
void OpenLinkWith(const QString& opener, const QString& url, const QString& failure);

} // namespace ocu
