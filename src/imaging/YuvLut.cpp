#include "imaging/YuvLut.h"

#include <climits>
#include <unistd.h>

namespace ocu {

std::string YuvLutPath() {
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return {};
    const std::string path(exe, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/" + kYuvLutFileName;
}

} // namespace ocu
