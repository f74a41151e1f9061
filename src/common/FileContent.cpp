#include "common/FileContent.h"

#include "OcuFile.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ocu {

bool ReplaceFileContent(const std::string& path, std::string_view content) {
    return ocufile::ReplaceFile(path, content, ocufile::Folders::Create);
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    // Only a regular file is read: a pipe would block the start for ever and a device such as /dev/zero
    // would never end. O_NONBLOCK keeps the open itself from waiting for a pipe's writer.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    content.clear();
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<size_t>(n));
    }
    const int readError = errno;
    close(fd);
    errno = ok ? 0 : readError;
    return ok;
}

} // namespace ocu
