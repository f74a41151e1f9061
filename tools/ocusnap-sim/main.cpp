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
        out,
        "usage: ocusnap-sim [cap on|off] [light flat|scene] [focus N]\n"
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
        "  -h, --help         print this text\n"
        "  -v, --version      print the version\n"
        "\n"
        "Control file: $OCUSNAP_SIM_CONTROL, else $XDG_RUNTIME_DIR/ocusnap-sim, else "
        "/tmp/ocusnap-sim-UID.\n");
}

bool IsOneOf(std::string_view arg, std::string_view shortName, std::string_view longName) {
    return arg == shortName || arg == longName;
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
    for (int i = 1; i < argc; ++i) {
        if (IsOneOf(argv[i], "-h", "--help")) {
            Usage(stdout);
            return 0;
        }
        if (IsOneOf(argv[i], "-v", "--version")) {
            std::printf("ocusnap-sim %s\n", OCU_VERSION);
            return 0;
        }
    }
    sim::ControlState state = sim::ReadControlFile(path);
    if (argc == 1 || (argc == 2 && std::strcmp(argv[1], "status") == 0)) {
        PrintStatus(state, path);
        return 0;
    }
    for (int i = 1; i < argc; i += 2) {
        const std::string lever = argv[i];
        // What the word is comes first: a word that is no lever has no value to miss.
        if (lever == "status") {
            return UsageError("status takes nothing after it");
        }
        if (lever != "cap" && lever != "light" && lever != "focus") {
            return UsageError((lever.starts_with("-") ? "unknown option '" : "unknown command '") + lever +
                              "'");
        }
        if (i + 1 >= argc) {
            return UsageError("missing value after " + lever);
        }
        const std::string value = argv[i + 1];
        if (!sim::SetLever(lever, value, state)) {
            return UsageError("bad value for " + lever + ": '" + value + "'");
        }
    }
    std::string error;
    if (!sim::WriteControlFile(path, state, error)) {
        std::fprintf(stderr, "ocusnap-sim: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
