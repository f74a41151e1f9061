// OcuFile: writing files so that what was there is never lost. Shared by the viewer (settings, images),
// the libraries and the tools; plain C++, no Qt.
//
// A regular file is replaced as a whole: the new content goes to an unnamed (or, where the file system
// has none, a hidden) temporary file in the target's folder, is flushed to the disk, and only then
// renamed over the target. A full disk, a failed write or a kill at any moment leaves the existing file
// exactly as it was; readers see the old file or the whole new one, never a part.
//
// What the path names decides what happens:
//  - nothing yet: the file is created with the process's default permissions, in a folder that must
//    exist (Folders::Create makes missing ones, mode 0700: only for the program's own folders);
//  - a regular file: replaced, keeping its permissions (and, for root, its owner). One that carries no
//    write permission at all, or that the user may not write, is left as it is, also for root;
//  - a symbolic link: followed; the file it points to is written (created when missing) and the link stays;
//  - a pipe (FIFO) or a character device (/dev/null, a terminal): written into directly, as cp would,
//    never replaced. A pipe that no program reads is refused at once rather than waited on;
//  - anything else (a folder, a block device, a socket): refused.
// That is what Existing::Replace does; with Existing::Keep a path that names anything is refused.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ocufile {

enum class Folders {
    MustExist, // a missing folder is a failure (files the user names)
    Create,    // missing folders are made, mode 0700 (the program's own folders)
};

// What the writer may do to something the path names already.
enum class Existing {
    // As the table above says. Commit syncs the folder, so that the new file is there once it returns.
    Replace,
    // Never replaced: a path that names anything (also a link, followed or not) is refused, and Commit
    // fails with EEXIST when something took the name meanwhile. For new files written one after another
    // into one folder (a recording's frames): Commit leaves syncing the folder to the caller, once for all
    // of them; a crash before that leaves a file absent, never part of one.
    Keep,
};

// One file being written. Nothing reaches the target until Commit succeeds; destroyed without it, the
// writer removes its temporary file and leaves the target as it was. Every step returns false after a
// failure (and does nothing once one step failed); Error and Reason then tell why.
class FileWriter {
public:
    explicit FileWriter(const std::string& path, Folders folders = Folders::MustExist,
                        Existing existing = Existing::Replace);
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // False when the target cannot be written at all (see Reason).
    bool IsOpen() const { return m_fd >= 0; }
    // Appends the bytes; all of them, or false.
    bool Write(const void* bytes, size_t size);
    // Flushes to the disk and puts the content in place. After it the writer is closed either way.
    bool Commit();

    // The errno value of the failure, 0 while none.
    int Error() const { return m_error; }
    // The failure in a few words ("No space left on device", "the folder /a/b does not exist", "a block
    // device is never written"), empty while none.
    const std::string& Reason() const { return m_reason; }

private:
    bool Fail(int error, std::string reason);
    bool CommitNew();
    void Abandon();

    std::string m_target;    // the file that is written, links resolved
    std::string m_temporary; // the hidden temporary file's name, when it has one
    int m_fd = -1;
    bool m_direct = false;  // a pipe or a device, written into
    bool m_unnamed = false; // an O_TMPFILE file, given a name only at Commit
    bool m_keep = false;    // Existing::Keep
    bool m_chown = false;   // give the replacement the old file's owner
    unsigned m_uid = 0;
    unsigned m_gid = 0;
    int m_error = 0;
    std::string m_reason;
};

// The whole content at once: FileWriter, Write, Commit. On failure errno holds the error and reason, when
// given, the text.
bool ReplaceFile(const std::string& path, std::string_view content, Folders folders = Folders::MustExist,
                 std::string* reason = nullptr);

} // namespace ocufile
