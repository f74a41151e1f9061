// Reading and replacing whole files, so that no reader ever sees half a file and no start waits on a
// file that is not one.
#pragma once

#include <string>
#include <string_view>

namespace ocu {

// Writes content to a new file beside path, flushes it to the disk and renames it over path, so that
// readers see either the old file or the whole new one. A symbolic link at path is followed, and an
// existing file keeps its permissions; a new one gets the default permissions of the process. The
// folder is created when it is missing. An existing file that the user cannot write, or that carries no
// write permission at all, is left as it is. Returns false, with path untouched, when any step fails.
bool ReplaceFileContent(const std::string& path, std::string_view content);

// Reads the whole content of a regular file; false when it cannot be read or is no regular file (a
// folder, a pipe, a device), with errno telling why.
bool ReadWholeFile(const std::string& path, std::string& content);

} // namespace ocu
