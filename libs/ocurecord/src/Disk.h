// Writing to the recording's folder: whole files or none, and a reserve of space that is given up when
// the disk fills, so that what is being written when it fills can still be finished.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/uio.h>

namespace ocurecord::detail {

// An open file descriptor, closed with its owner.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int Release();
    // Closes now; false (errno set) when the close reported an error.
    bool Close();

private:
    int m_fd = -1;
};

// The recording's folder, opened once: every file is created relative to it.
class Folder {
public:
    // Opens the folder; false, with the reason in `error`, when it is missing, no folder, or not writable
    // by this process (checked by creating the reserve, below).
    bool Open(const std::string& path, std::string& error);
    int Get() const { return m_fd.Get(); }
    const std::string& Path() const { return m_path; }
    // Free space for this process, -1 when unknown.
    int64_t FreeBytes() const;
    bool Exists(const std::string& name) const;

private:
    Fd m_fd;
    std::string m_path;
};

// Writes through the folder's reserve: a file of `bytes` bytes, allocated when the recording begins and
// removed at its end. A write that finds the disk full gives the reserve up and goes on into the space it
// held; Full() then tells the recorder to end the recording once that write is done.
class DiskWriter {
public:
    DiskWriter(const Folder& folder, std::string reserveName);
    ~DiskWriter();
    DiskWriter(const DiskWriter&) = delete;
    DiskWriter& operator=(const DiskWriter&) = delete;

    // Creates the reserve; false with the reason when the folder cannot be written or has no room for it.
    bool CreateReserve(uint64_t bytes, std::string& error);
    bool Full() const { return m_full; }

    // Writes all of the bytes at the file's position; false with the reason when any of it could not be
    // written (after the reserve was given up, if the disk was full).
    bool WriteAll(int fd, const void* data, size_t size, std::string& error);

    // A whole new file `name` in the folder holding the parts, through libs/ocufile: unnamed until it is
    // complete on the disk, then named, never over a file of that name, so that a reader (or a process
    // killed meanwhile) never meets half a file. `bytes` receives the size.
    bool WriteWholeFile(const std::string& name, const iovec* parts, int count, uint64_t& bytes,
                        std::string& error);

    // Creates a new file in the folder for writing (never replacing one); an invalid Fd with the reason on
    // failure. For the files that grow while the recording runs, the timestamp log and a video, which
    // libs/ocufile would keep unnamed until the end: after a kill they are still there, the log with its
    // rows up to the last batch, an MP4 video up to its last fragment.
    Fd CreateFile(const std::string& name, std::string& error);

    // Removes a file of the recording from the folder.
    void Remove(const std::string& name);

    // Gives the reserve up (also done at the end of the recording).
    void ReleaseReserve();

private:
    const Folder& m_folder;
    std::string m_reserveName;
    bool m_haveReserve = false;
    bool m_full = false;
};

// "No space left on device" and its like: what the reserve is for.
bool IsDiskFull(int error);
// The text of an errno value.
std::string ErrorText(int error);

} // namespace ocurecord::detail
