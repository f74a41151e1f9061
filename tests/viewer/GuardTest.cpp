#include "TestSupport.h"
#include "app/SingleInstanceGuard.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ocu;
using ocu::test::ScopedEnv;
using ocu::test::TempDir;

TEST(InstanceGuard, LockFileIsNamedAfterTheGuidInTheUsersRuntimeFolder) {
    EXPECT_EQ(std::string(kInstanceGuid).size(), 38u);
    TempDir runtime;
    ASSERT_EQ(chmod(runtime.Path().c_str(), 0700), 0);
    const ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.Path().string());
    EXPECT_EQ(InstanceLockPath(), runtime.File(std::string(kInstanceGuid) + ".lock"));

    // A relative value is no runtime folder: the shared temporary folder, the user in the name.
    const ScopedEnv relative("XDG_RUNTIME_DIR", "relative/run");
    const ScopedEnv tmp("TMPDIR", "/var/tmp");
    EXPECT_EQ(InstanceLockPath(),
              "/var/tmp/" + std::string(kInstanceGuid) + "-" + std::to_string(getuid()) + ".lock");
}

TEST(InstanceGuard, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    TempDir dir;
    const std::string path = dir.File("guard.lock");
    UniqueFd first;
    UniqueFd second;
    EXPECT_EQ(AcquireInstanceLock(path, first), GuardResult::First);
    EXPECT_EQ(AcquireInstanceLock(path, second), GuardResult::AlreadyRunning);
    // The refused instance keeps its handle too; it is closed at its exit.
    EXPECT_TRUE(second);
    first.reset();
    EXPECT_EQ(AcquireInstanceLock(path, second), GuardResult::First);
}

TEST(InstanceGuard, ProgramsStartedByTheViewerDoNotInheritTheLock) {
    TempDir dir;
    UniqueFd handle;
    ASSERT_EQ(AcquireInstanceLock(dir.File("guard.lock"), handle), GuardResult::First);
    EXPECT_TRUE(fcntl(handle.get(), F_GETFD) & FD_CLOEXEC);
}

TEST(InstanceGuard, NoPlaceForTheLockLetsTheStartGoOn) {
    UniqueFd handle;
    EXPECT_EQ(AcquireInstanceLock("/nonexistent-folder/guard.lock", handle), GuardResult::Unavailable);
}
