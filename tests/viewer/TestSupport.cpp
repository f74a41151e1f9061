#include "TestSupport.h"

#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace ocu::test {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

CommandRun RunCommand(const std::string& commandLine) {
    const TempDir dir;
    const std::string command =
        commandLine + " >" + ShellQuoted(dir.File("out")) + " 2>" + ShellQuoted(dir.File("err"));
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir.File("out")), ReadText(dir.File("err"))};
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace ocu::test
