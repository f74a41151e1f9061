#include "app/SingleInstanceGuard.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ocu {

std::string InstanceLockPath() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
        return std::string(runtime) + "/" + kInstanceGuid + ".lock";
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = (tmp && tmp[0] == '/') ? tmp : "/tmp";
    return folder + "/" + kInstanceGuid + "-" + std::to_string(getuid()) + ".lock";
}

GuardResult AcquireInstanceLock(const std::string& path, UniqueFd& handle) {
    // O_NOFOLLOW: in a shared temporary folder another user could plant a link here.
    handle.reset(open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!handle)
        return GuardResult::Unavailable;
    int rc = 0;
    do {
        rc = flock(handle.get(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return GuardResult::First;
    return errno == EWOULDBLOCK ? GuardResult::AlreadyRunning : GuardResult::Unavailable;
}

} // namespace ocu
