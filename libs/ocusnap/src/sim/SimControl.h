// The simulated camera's levers at run time: a lens cap, a light box and the lens's focus, set from outside
// the program that uses the camera (the ocusnap-sim tool) through a small control file, and picked up by a
// running simulated camera with its next frame.
//
// The file holds lines "key=value": "cap=on" or "cap=off", "light=flat" or "light=scene", "focus=N"
// (0 to kMaxFocus). Other lines are passed over, so that later levers do not trouble older cameras. A
// missing file means the cap is off, the light is the scene the camera was opened with and the lens is
// sharp.
#pragma once

#include "SimConfig.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace ocusnap::detail::sim {

// The focus lever's range: how many pixels the scene is blurred by (SimFocus.h), 0 sharp.
inline constexpr int kMaxFocus = 20;

struct ControlState {
    bool capOn = false;     // the lens is covered: only the sensor's own dark signal
    bool flatLight = false; // a uniformly lit white surface instead of the scene
    int focus = 0;          // the lens set this many pixels out of focus
    friend bool operator==(const ControlState&, const ControlState&) = default;
};

// What the lens sees under these levers, for a camera opened on `opened`.
SceneKind EffectiveScene(SceneKind opened, const ControlState& control);

// OCUSNAP_SIM_CONTROL when set; otherwise "ocusnap-sim" in XDG_RUNTIME_DIR, or, without that,
// "/tmp/ocusnap-sim-UID".
std::string ControlFilePath(const EnvLookup& env);

// Sets one lever ("cap" on|off, "light" flat|scene, "focus" 0..kMaxFocus in decimal), as a line of the
// file or the tool's command line says it; false for any other lever or value.
bool SetLever(std::string_view lever, std::string_view value, ControlState& state);
ControlState ParseControl(std::string_view text);
std::string FormatControl(const ControlState& state);

// The levers as the file at `path` sets them now. A file that is not a regular file owned by this
// user is passed over: in a shared folder such as /tmp, another user could have put it there.
ControlState ReadControlFile(const std::string& path);
// Replaces the file as a whole (written beside it, then renamed), so that a camera never reads half
// of it. False with `error` set when that fails.
bool WriteControlFile(const std::string& path, const ControlState& state, std::string& error);

// Follows the control file for one render thread. Poll costs one stat() of the file and reads it only
// when it has changed since the last poll; it allocates nothing.
class ControlWatcher {
public:
    explicit ControlWatcher(std::string path) : m_path(std::move(path)) {}
    const ControlState& Poll();

private:
    struct Version {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = -1;
        timespec modified{};
        timespec changed{};
        bool operator==(const Version& o) const;
    };
    static Version VersionOf(const struct stat& info);

    const std::string m_path;
    Version m_version; // of the file last read; size -1: no file
    ControlState m_state;
};

} // namespace ocusnap::detail::sim
