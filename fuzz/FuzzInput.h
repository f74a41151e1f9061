// Fuzz input as a file: the readers take paths. A memory file behind /proc/self/fd costs no disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

class FuzzFile {
public:
    FuzzFile(const uint8_t* data, size_t size) : m_fd(memfd_create("fuzz-input", MFD_CLOEXEC)) {
        if (m_fd < 0)
            std::abort();
        for (size_t done = 0; done < size;) {
            const ssize_t put = write(m_fd, data + done, size - done);
            if (put <= 0)
                std::abort();
            done += static_cast<size_t>(put);
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~FuzzFile() { close(m_fd); }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;

    const std::string& Path() const { return m_path; }

private:
    int m_fd;
    std::string m_path;
};
