#include "OcuFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace ocufile {
namespace {

// Links followed before a chain counts as a loop, as the kernel counts them.
constexpr int kMaxLinks = 40;

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// mkdir -p with the mode the XDG base directory rules ask for.
bool MakeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        errno = S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
        return S_ISDIR(st.st_mode);
    }
    const std::string parent = Folder(folder);
    if (parent != folder && !MakeFolders(parent))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// A name for the temporary file beside the target: hidden, and unlikely to be anyone else's.
std::string TemporaryName(const std::string& target) {
    static thread_local std::minstd_rand random(std::random_device{}());
    return Folder(target) + "/." + BaseName(target) + "." + std::to_string(::getpid()) + "." +
           std::to_string(random() % 1000000000u) + ".tmp";
}

bool WriteAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (put == 0)
                errno = EIO;
            return false;
        }
        bytes += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    // Makes the rename itself durable; a file system that cannot is no reason to fail a write that is done.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

FileWriter::FileWriter(const std::string& path, Folders folders, Existing existing)
    : m_keep(existing == Existing::Keep) {
    std::string name = path;
    struct stat st {};
    if (struct stat there{}; m_keep && !path.empty() && ::lstat(path.c_str(), &there) == 0) {
        Fail(EEXIST, path + " exists already");
        return;
    }
    for (int links = 0;; ++links) {
        if (name.empty()) {
            Fail(ENOENT, "no file name");
            return;
        }
        if (::stat(name.c_str(), &st) == 0)
            break;
        if (errno != ENOENT) {
            Fail(errno, std::strerror(errno));
            return;
        }
        // Nothing there, or a link to nothing: the link's target is what gets created.
        struct stat link {};
        if (::lstat(name.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            const std::string folder = Folder(name);
            struct stat where {};
            const bool exists = ::stat(folder.c_str(), &where) == 0;
            if (exists && !S_ISDIR(where.st_mode)) {
                Fail(ENOTDIR, folder + " is not a folder");
                return;
            }
            if (!exists && folders == Folders::MustExist) {
                Fail(ENOENT, "the folder " + folder + " does not exist");
                return;
            }
            if (!exists && !MakeFolders(folder)) {
                Fail(errno, "cannot make the folder " + folder + ": " + std::strerror(errno));
                return;
            }
            m_target = name;
            break;
        }
        if (links == kMaxLinks) {
            Fail(ELOOP, std::strerror(ELOOP));
            return;
        }
        char target[PATH_MAX];
        const ssize_t length = ::readlink(name.c_str(), target, sizeof target - 1);
        if (length < 0) {
            Fail(errno, std::strerror(errno));
            return;
        }
        const std::string pointed(target, static_cast<size_t>(length));
        name = pointed.starts_with('/') ? pointed : Folder(name) + "/" + pointed;
    }

    if (m_target.empty()) { // something is there
        if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
            // Written into, as cp would: a pipe keeps its readers and /dev/null stays a device. Opened
            // without waiting, so that a pipe nobody reads is refused instead of blocking for ever.
            m_fd = ::open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
            if (m_fd < 0) {
                Fail(errno, errno == ENXIO ? "no program reads the pipe" : std::strerror(errno));
                return;
            }
            ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
            m_direct = true;
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            Fail(EISDIR, "it is a folder");
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            Fail(EINVAL, S_ISBLK(st.st_mode) ? "a block device is never written"
                                             : "it is no regular file, pipe or character device");
            return;
        }
        // A file marked read-only keeps what it holds, also for a user whom the system would let write
        // it anyway (root).
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(name.c_str(), W_OK) != 0) {
            Fail(EACCES, "the file is read-only");
            return;
        }
        char* real = ::realpath(name.c_str(), nullptr);
        if (real == nullptr) {
            Fail(errno, std::strerror(errno));
            return;
        }
        m_target = real;
        std::free(real);
        m_chown = ::geteuid() == 0 && (st.st_uid != ::geteuid() || st.st_gid != ::getegid());
        m_uid = st.st_uid;
        m_gid = st.st_gid;
    }

    // Unnamed until Commit where the system allows it, so that a kill leaves nothing behind.
    const std::string folder = Folder(m_target);
    if (::access("/proc/self/fd", X_OK) == 0) {
        m_fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        m_unnamed = m_fd >= 0;
    }
    for (int attempt = 0; m_fd < 0 && attempt < 100; ++attempt) {
        m_temporary = TemporaryName(m_target);
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        m_temporary.clear();
        Fail(errno, "cannot create a file in " + folder + ": " + std::strerror(errno));
        return;
    }
    if (st.st_mode != 0 && ::fchmod(m_fd, st.st_mode & 07777) != 0)
        Fail(errno, std::strerror(errno));
}

FileWriter::~FileWriter() {
    Abandon();
}

bool FileWriter::Fail(int error, std::string reason) {
    if (m_error == 0) {
        m_error = error;
        m_reason = std::move(reason);
    }
    Abandon();
    errno = m_error;
    return false;
}

void FileWriter::Abandon() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

bool FileWriter::Write(const void* bytes, size_t size) {
    if (m_fd < 0)
        return Fail(m_error != 0 ? m_error : EBADF, "the file is not open");
    if (!WriteAll(m_fd, static_cast<const char*>(bytes), size))
        return Fail(errno, std::strerror(errno));
    return true;
}

bool FileWriter::Commit() {
    if (m_fd < 0)
        return Fail(m_error != 0 ? m_error : EBADF, "the file is not open");
    if (m_direct) {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 || Fail(errno, std::strerror(errno));
    }
    // Written through to the disk before it takes the target's place: a write the disk refuses shows
    // here, while the old file is still there.
    if (::fsync(m_fd) != 0)
        return Fail(errno, std::strerror(errno));
    if (m_chown && ::fchown(m_fd, m_uid, m_gid) != 0) {
        // The owner is a courtesy; the content matters.
    }
    if (m_keep)
        return CommitNew();
    if (m_unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = TemporaryName(m_target);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                m_temporary = std::move(name);
                break;
            }
            if (errno != EEXIST)
                return Fail(errno, std::strerror(errno));
        }
        if (m_temporary.empty())
            return Fail(EEXIST, std::strerror(EEXIST));
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return Fail(errno, std::strerror(errno));
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        return Fail(errno, std::strerror(errno));
    m_temporary.clear();
    SyncFolder(Folder(m_target));
    return true;
}

bool FileWriter::CommitNew() {
    // Named only where nothing stands: linkat and the no-replace rename refuse a name that is taken.
    if (m_unnamed) {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_target.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return Fail(errno, std::strerror(errno));
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return Fail(errno, std::strerror(errno));
    if (!m_unnamed) {
        if (::renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, m_target.c_str(), RENAME_NOREPLACE) != 0) {
            // A file system without the no-replace rename: the check made at the opening has to do.
            if (errno != EINVAL || ::rename(m_temporary.c_str(), m_target.c_str()) != 0)
                return Fail(errno, std::strerror(errno));
        }
        m_temporary.clear();
    }
    return true;
}

bool ReplaceFile(const std::string& path, std::string_view content, Folders folders, std::string* reason) {
    FileWriter file(path, folders);
    if (file.Write(content.data(), content.size()) && file.Commit())
        return true;
    if (reason != nullptr)
        *reason = file.Reason();
    errno = file.Error();
    return false;
}

} // namespace ocufile
