#include "common/FileContent.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace ocu {
namespace {

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// mkdir -p with the mode the XDG base directory rules ask for.
bool MakeFolders(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const std::string parent = Folder(folder);
    if (parent != folder && !MakeFolders(parent))
        return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

bool ReplaceFileContent(const std::string& path, std::string_view content) {
    const QString name = QFile::decodeName(path.c_str());
    // A file marked read-only keeps what it holds, also for a user whom the system would let write it
    // anyway (root); QSaveFile itself refuses an existing file that the user cannot write.
    const QFileInfo existing(name);
    constexpr auto kWritable = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (existing.exists() && !(existing.permissions() & kWritable))
        return false;
    if (!existing.exists() && !MakeFolders(Folder(path)))
        return false;
    // Written beside the file, flushed to the disk and renamed over it, so that a crash or a full disk never
    // leaves half a file; a link is replaced through its target, and the file keeps its permissions.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(content.data(), static_cast<qint64>(content.size())) !=
        static_cast<qint64>(content.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    // Only a regular file is read: a pipe would block the start for ever and a device such as /dev/zero
    // would never end. O_NONBLOCK keeps the open itself from waiting for a pipe's writer.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    content.clear();
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<size_t>(n));
    }
    const int readError = errno;
    close(fd);
    errno = ok ? 0 : readError;
    return ok;
}

} // namespace ocu
