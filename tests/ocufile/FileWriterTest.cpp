// Writing files without losing what was there: what each kind of path gets, a full disk, and writes that
// never finish.
#include "OcuFile.h"
#include "SmallDisk.h"
#include "TestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace ocu::test;
using ocufile::Folders;
namespace fs = std::filesystem;

namespace {

constexpr char kOld[] = "what was there\n";

std::set<std::string> Names(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

struct Stat {
    mode_t mode = 0;
    uid_t uid = 0;
};
Stat StatOf(const std::string& path, bool follow = true) {
    struct stat st {};
    if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
        return {};
    return {st.st_mode, st.st_uid};
}

class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : m_old(::umask(mask)) {}
    ~ScopedUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

} // namespace

// Each kind of thing a path can name; afterwards the folder holds what it held, and the new file if any:
// no temporary file is left behind.
TEST(FileWriter, WhatThePathNamesDecidesWhatIsWritten) {
    const ScopedUmask umask(022);
    const bool root = ::geteuid() == 0;
    struct Case {
        const char* what;
        std::function<std::string(const TempDir&)> make; // the path to write; prepares the folder
        Folders folders;
        bool written;
        const char* reason;
        std::function<void(const TempDir&)> check;
        ocufile::Existing existing = ocufile::Existing::Replace;
    };
    const auto file = [](const char* name, mode_t mode) {
        return [name, mode](const TempDir& dir) {
            WriteText(dir.File(name), kOld);
            ::chmod(dir.File(name).c_str(), mode);
            return dir.File(name);
        };
    };
    const auto modeIs = [](const char* name, mode_t mode) {
        return [name, mode](const TempDir& dir) { EXPECT_EQ(StatOf(dir.File(name)).mode, S_IFREG | mode); };
    };
    const std::vector<Case> cases{
        {"a new file", [](const TempDir& dir) { return dir.File("new"); }, Folders::MustExist, true, "",
         modeIs("new", 0644)},
        {"a file replaced, its permissions kept", file("old", 0640), Folders::MustExist, true, "",
         modeIs("old", 0640)},
        {"a link: the file it points to",
         [&](const TempDir& dir) {
             file("target", 0600)(dir);
             fs::create_symlink("target", dir.File("link"));
             return dir.File("link");
         },
         Folders::MustExist, true, "",
         [](const TempDir& dir) {
             EXPECT_TRUE(S_ISLNK(StatOf(dir.File("link"), false).mode));
             EXPECT_EQ(ReadText(dir.File("target")), "new");
         }},
        {"a link to nothing: the file it names is made",
         [](const TempDir& dir) {
             fs::create_symlink("made", dir.File("link"));
             return dir.File("link");
         },
         Folders::MustExist, true, "",
         [](const TempDir& dir) {
             EXPECT_TRUE(S_ISLNK(StatOf(dir.File("link"), false).mode));
             EXPECT_EQ(ReadText(dir.File("made")), "new");
         }},
        {"a read-only file, also for root",
         file("old", 0444),
         Folders::MustExist,
         false,
         "the file is read-only",
         {}},
        {"a folder",
         [](const TempDir& dir) { return dir.Path().string(); },
         Folders::MustExist,
         false,
         "it is a folder",
         {}},
        {"a missing folder", [](const TempDir& dir) { return dir.File("no/such/out"); }, Folders::MustExist,
         false, "the folder", [](const TempDir& dir) { EXPECT_FALSE(fs::exists(dir.File("no"))); }},
        {"a missing folder of the program's own", [](const TempDir& dir) { return dir.File("own/sub/out"); },
         Folders::Create, true, "",
         [](const TempDir& dir) {
             EXPECT_EQ(StatOf(dir.File("own/sub")).mode, S_IFDIR | 0700);
             EXPECT_EQ(ReadText(dir.File("own/sub/out")), "new");
         }},
        {"a pipe nobody reads",
         [](const TempDir& dir) {
             ::mkfifo(dir.File("fifo").c_str(), 0600);
             return dir.File("fifo");
         },
         Folders::MustExist, false, "no program reads the pipe",
         [](const TempDir& dir) { EXPECT_TRUE(S_ISFIFO(StatOf(dir.File("fifo")).mode)); }},
        {"a new file that may replace nothing", [](const TempDir& dir) { return dir.File("new"); },
         Folders::MustExist, true, "", modeIs("new", 0644), ocufile::Existing::Keep},
        {"a file that may not be replaced", file("old", 0640), Folders::MustExist, false, "exists already",
         modeIs("old", 0640), ocufile::Existing::Keep},
        {"a link to nothing that may not be followed",
         [](const TempDir& dir) {
             fs::create_symlink("made", dir.File("link"));
             return dir.File("link");
         },
         Folders::MustExist, false, "exists already",
         [](const TempDir& dir) { EXPECT_FALSE(fs::exists(dir.File("made"))); }, ocufile::Existing::Keep},
    };
    const auto write = [](const Case& c, const std::string& path, std::string& reason) {
        if (c.existing == ocufile::Existing::Replace)
            return ocufile::ReplaceFile(path, "new", c.folders, &reason);
        ocufile::FileWriter writer(path, c.folders, c.existing);
        const bool written = writer.Write("new", 3) && writer.Commit();
        reason = writer.Reason();
        return written;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir dir;
        const std::string path = c.make(dir);
        const std::set<std::string> before = Names(dir.Path());
        std::string reason;
        EXPECT_EQ(write(c, path, reason), c.written);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        if (fs::is_regular_file(path)) {
            EXPECT_EQ(ReadText(path), c.written ? "new" : kOld);
        }
        std::set<std::string> after = Names(dir.Path());
        for (const char* made : {"new", "made", "own"})
            after.erase(made);
        EXPECT_EQ(after, before);
        if (c.check)
            c.check(dir);
    }

    // A file that takes the name while a new one is written stays, and the new one is given up.
    {
        const TempDir dir;
        ocufile::FileWriter writer(dir.File("frame"), Folders::MustExist, ocufile::Existing::Keep);
        ASSERT_TRUE(writer.Write("new", 3));
        WriteText(dir.File("frame"), kOld);
        EXPECT_FALSE(writer.Commit());
        EXPECT_EQ(writer.Error(), EEXIST);
        EXPECT_EQ(ReadText(dir.File("frame")), kOld);
        EXPECT_EQ(Names(dir.Path()), std::set<std::string>{"frame"});
    }

    // Root's writes keep the owner of a user's file, go into a character device and never touch a block
    // device. The devices are nodes of the test's own, so that a fault could never replace the system's.
    if (!root)
        return;
    const TempDir dir;
    WriteText(dir.File("theirs"), kOld);
    ASSERT_EQ(::chown(dir.File("theirs").c_str(), 1234, 1234), 0);
    EXPECT_TRUE(ocufile::ReplaceFile(dir.File("theirs"), "new"));
    EXPECT_EQ(StatOf(dir.File("theirs")).uid, 1234u);
    // A device number no driver has: the node is refused before it is ever opened.
    ASSERT_EQ(::mknod(dir.File("disk").c_str(), S_IFBLK | 0600, makedev(7, 250)), 0);
    std::string reason;
    EXPECT_FALSE(ocufile::ReplaceFile(dir.File("disk"), "new", Folders::MustExist, &reason));
    EXPECT_EQ(reason, "a block device is never written");
    EXPECT_TRUE(S_ISBLK(StatOf(dir.File("disk")).mode));
    ASSERT_EQ(::mknod(dir.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0); // the null device
    fs::create_symlink("null", dir.File("null.bmp"));
    EXPECT_TRUE(ocufile::ReplaceFile(dir.File("null.bmp"), "new"));
    EXPECT_TRUE(S_ISLNK(StatOf(dir.File("null.bmp"), false).mode));
    EXPECT_TRUE(S_ISCHR(StatOf(dir.File("null")).mode));
}

TEST(FileWriter, APipeThatIsReadGetsTheContentAndStaysAPipe) {
    const TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(ocufile::ReplaceFile(fifo, "through the pipe"));
    char bytes[64] = {};
    const ssize_t got = ::read(reader, bytes, sizeof bytes);
    ::close(reader);
    EXPECT_EQ(std::string(bytes, got > 0 ? static_cast<size_t>(got) : 0), "through the pipe");
    EXPECT_TRUE(S_ISFIFO(StatOf(fifo).mode));
}

// Whatever the size of the new content, a disk without room for it keeps the old file byte for byte and
// is left with nothing more on it; with room again, the same write goes through.
TEST(FileWriter, AFullDiskLeavesTheExistingFileAsItWas) {
    SmallDisk disk;
    if (!disk.Ready())
        GTEST_SKIP() << "skipped: " << disk.Reason();
    const std::string path = disk.File("settings");
    const std::string old(5000, 'o');
    for (const size_t size : {size_t{10}, size_t{20000}, size_t{300000}}) {
        SCOPED_TRACE(size);
        WriteText(path, old);
        ASSERT_TRUE(disk.Fill());
        const std::set<std::string> before = Names(disk.Path());
        std::string reason;
        EXPECT_FALSE(ocufile::ReplaceFile(path, std::string(size, 'n'), Folders::MustExist, &reason));
        EXPECT_EQ(errno, ENOSPC);
        EXPECT_EQ(reason, std::strerror(ENOSPC));
        EXPECT_EQ(ReadText(path), old);
        EXPECT_EQ(Names(disk.Path()), before);
        disk.Free();
        if (size < 200000) {
            EXPECT_TRUE(ocufile::ReplaceFile(path, std::string(size, 'n')));
            EXPECT_EQ(ReadText(path).size(), size);
        }
    }
}

// A writer that never commits, because it is dropped or its process is killed, leaves the target as it
// was.
TEST(FileWriter, AWriteThatNeverFinishesLeavesTheTargetAsItWas) {
    const TempDir dir;
    const std::string path = dir.File("picture.jpg");
    WriteText(path, kOld);
    const std::set<std::string> before = Names(dir.Path());
    {
        ocufile::FileWriter writer(path);
        ASSERT_TRUE(writer.IsOpen());
        EXPECT_TRUE(writer.Write("half", 4));
    }
    EXPECT_EQ(ReadText(path), kOld);
    EXPECT_EQ(Names(dir.Path()), before);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ocufile::FileWriter writer(path);
        writer.Write("half", 4);
        ::raise(SIGKILL);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadText(path), kOld);
    // The content was never given a name: a kill leaves nothing behind.
    EXPECT_EQ(Names(dir.Path()), before);
}
