// The user's folders of the XDG base directory rules, as Qt reads them (QStandardPaths): where the
// settings, the cached gray table and the single-instance lock live.
#pragma once

#include <string>

namespace ocu {

// $XDG_CONFIG_HOME, else (unset, empty or relative) ~/.config: never a shared temporary folder.
std::string ConfigFolder();
// $XDG_CACHE_HOME, else (unset, empty or relative) ~/.cache.
std::string CacheFolder();
// $XDG_RUNTIME_DIR when it is the user's own (Qt checks its owner and mode), else Qt's private stand-in;
// empty when there is none, and when the variable holds a relative path.
std::string RuntimeFolder();

} // namespace ocu
