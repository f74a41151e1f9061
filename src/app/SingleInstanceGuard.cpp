#include "app/SingleInstanceGuard.h"

#include "common/UserFolders.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ocu {

std::string InstanceLockPath() {
    if (const std::string runtime = RuntimeFolder(); !runtime.empty())
        return runtime + "/" + kInstanceGuid + ".lock";
    // No runtime folder of the user's own: the shared temporary folder, with the user in the name so that
    // users sharing it do not lock each other out.
    const std::string tmp = QFile::encodeName(QDir::tempPath()).toStdString();
    return tmp + "/" + kInstanceGuid + "-" + std::to_string(getuid()) + ".lock";
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
