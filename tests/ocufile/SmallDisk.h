// A small file system of its own for the tests of a full disk: a tmpfs that the test mounts.
//
// It is mounted in a mount namespace that the calling thread makes private first (as `unshare -m` does),
// so the rest of the machine never sees it and nothing stays mounted when the test process ends, however
// it ends. The files must be written from the thread that made the disk (the test's own; programs it
// starts from there see the disk too). Mounting needs root, as CI runs the tests; elsewhere Ready() is
// false and Reason() says why, for the test to report as skipped.
#pragma once

#include <cstddef>
#include <string>

namespace ocu::test {

class SmallDisk {
public:
    explicit SmallDisk(size_t bytes = 256 * 1024);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Ready() const { return !m_path.empty(); }
    const std::string& Reason() const { return m_reason; }
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

    // Takes every byte left with a file of its own; true once a write has met ENOSPC.
    bool Fill();
    // Gives that room back.
    void Free();

private:
    std::string m_mountPoint;
    std::string m_path;
    std::string m_reason;
};

} // namespace ocu::test
