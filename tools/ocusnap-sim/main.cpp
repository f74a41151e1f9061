// ocusnap-sim: the lens cap, the light box and the focus of the simulated camera, worked from outside the
// program that uses the camera. It writes the control file that a running simulated camera follows frame by
// frame.
#include "OcuVersion.h"
#include "sim/SimControl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

namespace sim = ocusnap::detail::sim;

void Usage(std::FILE* out) {
    std::fprintf(
        out, "usage: ocusnap-sim [cap on|off] [light flat|scene] [focus N]\n"
             "       ocusnap-sim [status]\n"
             "Works the lens cap, the light box and the focus of the OcuSnap driver's simulated camera while\n"
             "it runs; a running camera follows a change from the next frame it renders.\n"
             "\n"
             "  cap on|off         cover the lens (frames show only the sensor's dark level, fixed pattern,\n"
             "                     hot and dead pixels and read noise) or uncover it\n"
             "  light flat|scene   a uniformly lit white surface in front of the lens, or the scene the\n"
             "                     camera was opened with (OCUSNAP_SIM_SCENE)\n"
             "  focus N            the lens N pixels out of focus (0 to 20): the scene blurred by N pixels,\n"
             "                     0 sharp\n"
             "  status             print the settings and the control file (also without arguments)\n"
             "  --help, --version\n"
             "\n"
             "Control file: $OCUSNAP_SIM_CONTROL, else $XDG_RUNTIME_DIR/ocusnap-sim, else "
             "/tmp/ocusnap-sim-UID.\n");
}

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "ocusnap-sim: %s\n", problem.c_str());
    Usage(stderr);
    return 2;
}

void PrintStatus(const sim::ControlState& state, const std::string& path) {
    std::printf("cap %s\nlight %s\nfocus %d\nfile %s\n", state.capOn ? "on" : "off",
                state.flatLight ? "flat" : "scene", state.focus, path.c_str());
}

} // namespace

int main(int argc, char** argv) {
    const std::string path = sim::ControlFilePath([](const char* name) { return std::getenv(name); });
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        Usage(stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("ocusnap-sim %s\n", OCU_VERSION);
        return 0;
    }
    sim::ControlState state = sim::ReadControlFile(path);
    if (argc == 1 || (argc == 2 && std::strcmp(argv[1], "status") == 0)) {
        PrintStatus(state, path);
        return 0;
    }
    for (int i = 1; i < argc; i += 2) {
        const std::string_view lever = argv[i];
        if (i + 1 >= argc) {
            return UsageError(lever.starts_with("-") ? "unknown option " + std::string(lever)
                                                     : "missing value after " + std::string(lever));
        }
        const std::string_view value = argv[i + 1];
        if (sim::SetLever(lever, value, state)) {
            continue;
        }
        if (lever == "cap" || lever == "light" || lever == "focus") {
            return UsageError("bad value for " + std::string(lever) + ": " + std::string(value));
        }
        return UsageError((lever.starts_with("-") ? "unknown option " : "unknown command ") +
                          std::string(lever));
    }
    std::string error;
    if (!sim::WriteControlFile(path, state, error)) {
        std::fprintf(stderr, "ocusnap-sim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
