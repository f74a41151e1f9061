#include "FileBytes.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ocuutil {
namespace {

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

ReadResult ReadFileBytes(const char* path, size_t maxBytes, std::vector<uint8_t>& bytes) {
    Fd file{::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode))
        return ReadResult::Unreadable;
    if (static_cast<uint64_t>(info.st_size) > maxBytes)
        return ReadResult::TooLong;
    // The file may grow while it is read: never more than maxBytes, and one byte more tells.
    bytes.resize(static_cast<size_t>(info.st_size) + 1);
    size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (bytes.size() > maxBytes)
                return ReadResult::TooLong;
            bytes.resize(std::min(maxBytes + 1, bytes.size() * 2));
        }
        const ssize_t got = ::read(file.fd, bytes.data() + used, bytes.size() - used);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ReadResult::Unreadable;
        if (got == 0)
            break;
        used += static_cast<size_t>(got);
    }
    bytes.resize(used);
    return ReadResult::Ok;
}

} // namespace ocuutil
