// Owners for a file descriptor and a shared memory mapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace ocu {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    void reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

// Unmaps a view of `length` bytes.
struct Unmapper {
    size_t length = 0;
    void operator()(uint8_t* view) const {
        if (view != nullptr)
            ::munmap(view, length);
    }
};
using MappedView = std::unique_ptr<uint8_t, Unmapper>;

} // namespace ocu
