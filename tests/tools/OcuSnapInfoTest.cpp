// ocusnap-info as a user runs it: its command line, and what it reports of the simulated camera.
#include "OcuVersion.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(std::FILE* file) {
    std::string text;
    char chunk[4096];
    std::rewind(file);
    while (const size_t n = std::fread(chunk, 1, sizeof chunk, file))
        text.append(chunk, n);
    return text;
}

// Runs ocusnap-info with the arguments after `environment` (NAME=value words for env(1)).
Outcome OcusnapInfo(const std::string& environment, const std::string& arguments) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const std::string command = "env " + environment + " " + OCU_OCUSNAP_INFO + " " + arguments +
                                " >/dev/fd/" + std::to_string(fileno(out)) + " 2>/dev/fd/" +
                                std::to_string(fileno(err));
    const int raw = std::system(command.c_str());
    Outcome run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(out), ReadAll(err)};
    std::fclose(out);
    std::fclose(err);
    return run;
}

} // namespace

TEST(OcusnapInfo, CommandLine) {
    struct Case {
        const char* arguments;
        int status;
        const char* stdoutHas;
        const char* stderrHas;
    };
    const Case cases[] = {
        {"--help", 0, "Usage: ocusnap-info [--list]", ""},
        {"-h", 0, "Usage: ocusnap-info [--list]", ""},
        {"--list --help", 0, "Usage: ocusnap-info [--list]", ""},
        {"--version", 0, "ocusnap-info " OCU_VERSION "\n", ""},
        {"-v", 0, "ocusnap-info " OCU_VERSION "\n", ""},
        {"--list", 0, "1 camera found\n  sim ", ""},
        // Each mistake named as what it is, then the usage.
        {"--list extra", 2, "", "ocusnap-info: unexpected argument 'extra'\nUsage:"},
        {"--bogus", 2, "", "ocusnap-info: unknown option '--bogus'\nUsage:"},
        {"--list -l", 2, "", "ocusnap-info: unknown option '-l'\nUsage:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome run = OcusnapInfo("OCUSNAP_CAMERA=sim", c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.out.find(c.stdoutHas), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.stderrHas), std::string::npos) << run.err;
    }
}

// A sensor whose readout alone takes longer than two seconds (8192 x 5664 at 24 MHz): its frames are waited
// for and measured, rather than reported as "no frame in time".
TEST(OcusnapInfo, ASensorSlowerThanTheTwoSecondsIsStillMeasured) {
    const Outcome run =
        OcusnapInfo("OCUSNAP_CAMERA=sim OCUSNAP_SIM_SENSOR=8192x5664 OCUSNAP_SIM_SCENE=flat", "");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Streaming 8192 x 5664"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Frames received: 0"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Frames received: 1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" fps\n"), std::string::npos) << run.out;
}
