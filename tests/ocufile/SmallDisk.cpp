#include "SmallDisk.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace ocu::test {
namespace {

constexpr char kFiller[] = ".filler";

// Once per thread: the mounts that follow are this thread's alone.
bool PrivateMounts(std::string& reason) {
    static thread_local int state = 0; // 0 not tried, 1 done, -1 failed
    static thread_local std::string failure;
    if (state == 0) {
        if (::unshare(CLONE_NEWNS) != 0) {
            failure = std::string("cannot make a mount namespace: ") + std::strerror(errno);
        } else if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            failure = std::string("cannot make the mounts private: ") + std::strerror(errno);
        }
        state = failure.empty() ? 1 : -1;
    }
    reason = failure;
    return state == 1;
}

} // namespace

SmallDisk::SmallDisk(size_t bytes) {
    if (!PrivateMounts(m_reason))
        return;
    std::string pattern = (std::filesystem::temp_directory_path() / "ocu-small-disk-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        m_reason = std::string("cannot make a mount point: ") + std::strerror(errno);
        return;
    }
    m_mountPoint = pattern;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    if (::mount("tmpfs", m_mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        m_reason = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return;
    }
    m_path = m_mountPoint;
}

SmallDisk::~SmallDisk() {
    if (!m_path.empty())
        ::umount2(m_mountPoint.c_str(), MNT_DETACH);
    if (!m_mountPoint.empty())
        ::rmdir(m_mountPoint.c_str());
}

bool SmallDisk::Fill() {
    const int fd = ::open(File(kFiller).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // Whole pages first, then single bytes for whatever a page would not fit into.
    const std::vector<char> block(4096, 'F');
    bool full = false;
    for (size_t size : {block.size(), size_t{1}}) {
        for (;;) {
            if (::write(fd, block.data(), size) < 0) {
                full = full || errno == ENOSPC;
                break;
            }
        }
    }
    ::close(fd);
    return full;
}

void SmallDisk::Free() {
    ::unlink(File(kFiller).c_str());
}

} // namespace ocu::test
