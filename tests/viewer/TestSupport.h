// Temporary folders and environment for the viewer's tests, so that no test touches the user's files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace ocu::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ocuviewer-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    std::string Str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

// Sets (or, with nullopt, unsets) one environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);

// What a command line run by the shell printed and returned.
struct CommandRun {
    int status = -1; // the exit status; -1 when the program did not exit
    std::string out;
    std::string err;
};
// A simple command: its words, NAME=value settings before them.
CommandRun RunCommand(const std::string& commandLine);
// A word the shell takes as it stands.
std::string ShellQuoted(const std::string& text);

} // namespace ocu::test
