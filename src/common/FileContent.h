// Reading and replacing whole files, so that no reader ever sees half a file and no start waits on a
// file that is not one.
#pragma once

#include <string>
#include <string_view>

namespace ocu {

// Replaces the program's own file at path (the settings, the cached gray table) as a whole, as
// OcuFile.h describes: readers see the old file or the whole new one, and a full disk or a kill leaves
// the old one as it was. A link is followed; the file keeps its permissions; a read-only one is left as
// it is. Missing folders are made (mode 0700): the program's own folders only ever pass through here.
// Returns false, with path untouched and errno telling why, when any step fails.
bool ReplaceFileContent(const std::string& path, std::string_view content);

// Reads the whole content of a regular file; false when it cannot be read or is no regular file (a
// folder, a pipe, a device), with errno telling why.
bool ReadWholeFile(const std::string& path, std::string& content);

} // namespace ocu
