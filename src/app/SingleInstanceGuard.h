// The single-instance guard: an exclusive lock on a file named after a fixed GUID. The kernel drops the
// lock when the process ends in any way, so a crashed viewer never blocks the next start.
#pragma once

#include "common/FileHandles.h"

#include <string>

namespace ocu {

inline constexpr char kInstanceGuid[] = "{5B2F7C1E-3A94-4D6B-8E0F-91C4A7D23B56}";

// $XDG_RUNTIME_DIR/<GUID>.lock; without a runtime folder, the temporary folder with the user id in the
// name, so that users sharing /tmp do not lock each other out.
std::string InstanceLockPath();

enum class GuardResult {
    First, // the lock is ours
    AlreadyRunning,
    Unavailable, // no lock file could be opened; the guard cannot tell, and lets the start go on
};

// Opens (creating if needed) the lock file and tries to take the lock without waiting. The descriptor
// goes to `handle` whatever the outcome and is closed on exec, so programs the viewer starts (a browser
// for a Help link) never inherit the lock.
GuardResult AcquireInstanceLock(const std::string& path, UniqueFd& handle);

} // namespace ocu
