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

bool WriteFileBytes(const char* path, const uint8_t* bytes, size_t size) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    for (size_t done = 0; ok && done < size;) {
        const ssize_t put = ::write(fd, bytes + done, size - done);
        if (put < 0 && errno == EINTR)
            continue;
        ok = put > 0;
        if (ok)
            done += static_cast<size_t>(put);
    }
    ok = (::close(fd) == 0) && ok;
    if (!ok)
        ::unlink(path);
    return ok;
}

} // namespace ocuutil
