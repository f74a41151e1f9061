#include "Disk.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ocurecord::detail {

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.Release();
    }
    return *this;
}

Fd::~Fd() {
    Close();
}

int Fd::Release() {
    return std::exchange(m_fd, -1);
}

bool Fd::Close() {
    if (m_fd < 0)
        return true;
    // Linux releases the descriptor even when close fails, so it is never retried.
    return ::close(Release()) == 0;
}

bool IsDiskFull(int error) {
    return error == ENOSPC || error == EDQUOT;
}

std::string ErrorText(int error) {
    return std::strerror(error);
}

bool Folder::Open(const std::string& path, std::string& error) {
    m_path = path.empty() ? "." : path;
    m_fd = Fd(::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (m_fd)
        return true;
    const int why = errno;
    struct stat info {};
    if (why == ENOTDIR || (::stat(m_path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)))
        error = "\"" + m_path + "\" is not a folder.";
    else if (why == ENOENT)
        error = "The folder \"" + m_path + "\" does not exist.";
    else
        error = "The folder \"" + m_path + "\" cannot be opened: " + ErrorText(why) + ".";
    return false;
}

int64_t Folder::FreeBytes() const {
    struct statvfs info {};
    if (!m_fd || ::fstatvfs(m_fd.Get(), &info) != 0)
        return -1;
    return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

bool Folder::Exists(const std::string& name) const {
    struct stat info {};
    return ::fstatat(m_fd.Get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

DiskWriter::DiskWriter(const Folder& folder, std::string reserveName)
    : m_folder(folder), m_reserveName(std::move(reserveName)) {}

DiskWriter::~DiskWriter() {
    ReleaseReserve();
}

bool DiskWriter::CreateReserve(uint64_t bytes, std::string& error) {
    const std::string& folder = m_folder.Path();
    Fd file(::openat(m_folder.Get(), m_reserveName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!file) {
        const int why = errno;
        error = why == EEXIST ? "\"" + m_reserveName + "\" is in the way in \"" + folder +
                                    "\" (left by a recording that was killed?): remove it first."
                              : "The folder \"" + folder + "\" cannot be written: " + ErrorText(why) + ".";
        return false;
    }
    m_haveReserve = true;
    if (bytes == 0)
        return true;
    int why = ::posix_fallocate(file.Get(), 0, static_cast<off_t>(bytes));
    if (why == EOPNOTSUPP || why == EINVAL) {
        // A file system that cannot allocate ahead gets the reserve written out.
        std::vector<char> zeros(size_t{1} << 16);
        why = 0;
        for (uint64_t done = 0; done < bytes && why == 0;) {
            const size_t step = static_cast<size_t>(std::min<uint64_t>(zeros.size(), bytes - done));
            const ssize_t put = ::write(file.Get(), zeros.data(), step);
            if (put > 0)
                done += static_cast<uint64_t>(put);
            else if (put < 0 && errno != EINTR)
                why = errno;
        }
    }
    if (why != 0) {
        ReleaseReserve();
        error = IsDiskFull(why) ? "There is not enough free space in \"" + folder + "\" to begin a recording."
                                : "The folder \"" + folder + "\" cannot be written: " + ErrorText(why) + ".";
        return false;
    }
    return true;
}

void DiskWriter::ReleaseReserve() {
    if (m_haveReserve) {
        ::unlinkat(m_folder.Get(), m_reserveName.c_str(), 0);
        m_haveReserve = false;
    }
}

bool DiskWriter::WriteAll(int fd, const iovec* parts, int count, std::string& error) {
    // A local copy that is advanced past what has been written.
    constexpr int kMaxParts = 8;
    if (count > kMaxParts) {
        error = "too many parts in one write";
        return false;
    }
    iovec rest[kMaxParts];
    std::copy(parts, parts + count, rest);
    int first = 0;
    while (first < count) {
        if (rest[first].iov_len == 0) {
            ++first;
            continue;
        }
        const ssize_t put = ::writev(fd, rest + first, count - first);
        if (put < 0) {
            const int why = errno;
            if (why == EINTR)
                continue;
            if (IsDiskFull(why) && m_haveReserve) {
                ReleaseReserve();
                m_full = true;
                continue;
            }
            if (IsDiskFull(why))
                m_full = true;
            error = ErrorText(why);
            return false;
        }
        size_t done = static_cast<size_t>(put);
        while (first < count && done >= rest[first].iov_len) {
            done -= rest[first].iov_len;
            ++first;
        }
        if (first < count) {
            rest[first].iov_base = static_cast<char*>(rest[first].iov_base) + done;
            rest[first].iov_len -= done;
        }
    }
    return true;
}

bool DiskWriter::WriteAll(int fd, const void* data, size_t size, std::string& error) {
    const iovec part{const_cast<void*>(data), size};
    return WriteAll(fd, &part, 1, error);
}

void DiskWriter::Remove(const std::string& name) {
    ::unlinkat(m_folder.Get(), name.c_str(), 0);
}

Fd DiskWriter::CreateFile(const std::string& name, std::string& error) {
    Fd file(::openat(m_folder.Get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file) {
        const int why = errno;
        if (IsDiskFull(why))
            m_full = true;
        error = "cannot create \"" + name + "\": " + ErrorText(why);
    }
    return file;
}

bool DiskWriter::WriteWholeFile(const std::string& name, const iovec* parts, int count, uint64_t& bytes,
                                std::string& error) {
    const std::string part = "." + name + ".part";
    const int folder = m_folder.Get();
    Fd file(::openat(folder, part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!file && IsDiskFull(errno) && m_haveReserve) {
        ReleaseReserve();
        m_full = true;
        file =
            Fd(::openat(folder, part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
    }
    if (!file) {
        error = "cannot create \"" + part + "\": " + ErrorText(errno);
        return false;
    }
    bool ok = WriteAll(file.Get(), parts, count, error);
    // Flushed before it takes its name, so that the name never stands for less than the whole file.
    if (ok && ::fdatasync(file.Get()) != 0) {
        error = ErrorText(errno);
        ok = false;
    }
    if (ok && !file.Close()) {
        error = ErrorText(errno);
        ok = false;
    }
    if (ok && ::renameat2(folder, part.c_str(), folder, name.c_str(), RENAME_NOREPLACE) != 0) {
        // File systems without the no-replace rename: the existence check made before the recording
        // began has to do.
        const bool renamed = errno == EINVAL && ::renameat(folder, part.c_str(), folder, name.c_str()) == 0;
        if (!renamed) {
            error = "cannot name \"" + name + "\": " + ErrorText(errno);
            ok = false;
        }
    }
    if (!ok) {
        ::unlinkat(folder, part.c_str(), 0);
        return false;
    }
    bytes = 0;
    for (int i = 0; i < count; ++i)
        bytes += parts[i].iov_len;
    return true;
}

} // namespace ocurecord::detail
