#include "Disk.h"

#include "OcuFile.h"

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

bool DiskWriter::WriteAll(int fd, const void* data, size_t size, std::string& error) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, size);
        if (put < 0) {
            const int why = errno;
            if (why == EINTR)
                continue;
            if (IsDiskFull(why))
                m_full = true;
            if (IsDiskFull(why) && m_haveReserve) {
                ReleaseReserve();
                continue;
            }
            error = ErrorText(why);
            return false;
        }
        bytes += put;
        size -= static_cast<size_t>(put);
    }
    return true;
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
    const std::string path = m_folder.Path() + "/" + name;
    for (;;) {
        ocufile::FileWriter file(path, ocufile::Folders::MustExist, ocufile::Existing::Keep);
        bool ok = true;
        for (int i = 0; ok && i < count; ++i)
            ok = file.Write(parts[i].iov_base, parts[i].iov_len);
        if (ok && file.Commit()) {
            bytes = 0;
            for (int i = 0; i < count; ++i)
                bytes += parts[i].iov_len;
            return true;
        }
        // A full disk: the file is written again into the room the reserve held.
        if (IsDiskFull(file.Error()))
            m_full = true;
        if (IsDiskFull(file.Error()) && m_haveReserve) {
            ReleaseReserve();
            continue;
        }
        error = file.Reason();
        return false;
    }
}

} // namespace ocurecord::detail
