#include "SimControl.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ocusnap::detail::sim {

namespace {

constexpr const char* kFileName = "ocusnap-sim";
// Far more than the file ever holds; a longer file is read only this far.
constexpr size_t kMaxFileBytes = 512;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

void ApplyLine(std::string_view line, ControlState& state) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return;
    }
    SetLever(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), state);
}

// Opens the control file for reading if it is a regular file of this user; -1 otherwise.
int OpenOwnFile(const char* path, struct stat& info) {
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        close(fd);
        return -1;
    }
    return fd;
}

// Reads up to kMaxFileBytes into `buffer`; the number of bytes read.
size_t ReadSome(int fd, std::array<char, kMaxFileBytes>& buffer) {
    size_t used = 0;
    while (used < buffer.size()) {
        const ssize_t n = read(fd, buffer.data() + used, buffer.size() - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        used += static_cast<size_t>(n);
    }
    return used;
}

ControlState ReadOpenFile(int fd) {
    std::array<char, kMaxFileBytes> buffer;
    const size_t used = ReadSome(fd, buffer);
    return ParseControl(std::string_view(buffer.data(), used));
}

// A focus in decimal digits within the lever's range, without sign or leading zero.
bool ParseFocus(std::string_view value, int& focus) {
    if (value.empty() || value.size() > 2 || (value.size() > 1 && value.front() == '0')) {
        return false;
    }
    int n = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') {
            return false;
        }
        n = n * 10 + (c - '0');
    }
    if (n > kMaxFocus) {
        return false;
    }
    focus = n;
    return true;
}

} // namespace

SceneKind EffectiveScene(SceneKind opened, const ControlState& control) {
    if (control.capOn) {
        return SceneKind::Dark;
    }
    return control.flatLight ? SceneKind::Flat : opened;
}

std::string ControlFilePath(const EnvLookup& env) {
    if (const char* path = env("OCUSNAP_SIM_CONTROL"); path && *path) {
        return path;
    }
    if (const char* runtime = env("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return std::string(runtime) + "/" + kFileName;
    }
    return "/tmp/" + std::string(kFileName) + "-" + std::to_string(geteuid());
}

bool SetLever(std::string_view lever, std::string_view value, ControlState& state) {
    if (lever == "cap" && (value == "on" || value == "off")) {
        state.capOn = value == "on";
    } else if (lever == "light" && (value == "flat" || value == "scene")) {
        state.flatLight = value == "flat";
    } else if (lever != "focus" || !ParseFocus(value, state.focus)) {
        return false;
    }
    return true;
}

ControlState ParseControl(std::string_view text) {
    ControlState state;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        ApplyLine(text.substr(0, end), state);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return state;
}

std::string FormatControl(const ControlState& state) {
    return std::string("cap=") + (state.capOn ? "on" : "off") +
           "\nlight=" + (state.flatLight ? "flat" : "scene") + "\nfocus=" + std::to_string(state.focus) +
           "\n";
}

ControlState ReadControlFile(const std::string& path) {
    struct stat info {};
    const int fd = OpenOwnFile(path.c_str(), info);
    if (fd < 0) {
        return {};
    }
    const ControlState state = ReadOpenFile(fd);
    close(fd);
    return state;
}

bool WriteControlFile(const std::string& path, const ControlState& state, std::string& error) {
    std::string temporary = path + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        error = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = FormatControl(state);
    bool written = true;
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            written = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (!written) {
        error = "cannot write " + temporary + ": " + std::strerror(errno);
    } else {
        // File times advance by the clock tick only, a few milliseconds: two changes within one tick
        // would look alike to a camera that watches the time. Each version gets a later one.
        struct stat old {};
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        if (stat(path.c_str(), &old) == 0 &&
            (now.tv_sec < old.st_mtim.tv_sec ||
             (now.tv_sec == old.st_mtim.tv_sec && now.tv_nsec <= old.st_mtim.tv_nsec))) {
            now = old.st_mtim;
            if (++now.tv_nsec == 1000000000) {
                now.tv_nsec = 0;
                ++now.tv_sec;
            }
        }
        const timespec times[2] = {{0, UTIME_OMIT}, now};
        futimens(fd, times);
    }
    if (close(fd) != 0 && written) {
        error = "cannot write " + temporary + ": " + std::strerror(errno);
        written = false;
    }
    if (written && rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        written = false;
    }
    if (!written) {
        unlink(temporary.c_str());
    }
    return written;
}

bool ControlWatcher::Version::operator==(const Version& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
}

ControlWatcher::Version ControlWatcher::VersionOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
            static_cast<int64_t>(info.st_size), info.st_mtim, info.st_ctim};
}

const ControlState& ControlWatcher::Poll() {
    // The file is replaced as a whole, and every version has a later time: a new inode or a new time
    // stamp tells a change.
    struct stat info {};
    const Version now = stat(m_path.c_str(), &info) == 0 ? VersionOf(info) : Version{};
    if (now == m_version) {
        return m_state;
    }
    m_version = now;
    m_state = ControlState{};
    if (now.size >= 0) {
        const int fd = OpenOwnFile(m_path.c_str(), info);
        if (fd >= 0) {
            m_version = VersionOf(info); // what is read, should the file have been replaced meanwhile
            m_state = ReadOpenFile(fd);
            close(fd);
        }
    }
    return m_state;
}

} // namespace ocusnap::detail::sim
