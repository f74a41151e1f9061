// The settings file format: an INI file read and written with the semantics of the classic profile
// functions. Section and key names match without regard to ASCII case; a write replaces a key's value in
// place or appends the key at the end of its section, creating the section as needed; every other line
// (other sections, unknown keys, comments, blank lines) is kept as it stands.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ocu {

class IniFile {
public:
    IniFile() = default;
    // Parses INI text. Lines before the first section header belong to no section.
    explicit IniFile(std::string_view text);

    // Reads the file. A missing file gives an empty document; a file that exists but cannot be read
    // gives nothing, so that a later Save never replaces content that was not seen.
    static std::optional<IniFile> Load(const std::string& path);

    // The value of the first matching key of the first matching section, blanks around it removed.
    std::optional<std::string> GetString(std::string_view section, std::string_view key) const;
    // The value read as a signed 32-bit decimal integer (leading blanks, an optional sign, digits; text
    // after the digits is ignored). A missing key, a value without digits or one outside 32 bits gives
    // the default.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    void SetString(std::string_view section, std::string_view key, std::string_view value);

    std::string Text() const;
    // Replaces the file atomically with Text(); false when it could not be written, and the file as it
    // was is left in place.
    bool Save(const std::string& path) const;

private:
    // Index of the header line of the first matching section, or npos.
    size_t FindSection(std::string_view section) const;
    // Index of the first matching key line in the section that starts after line `header`, or npos.
    size_t FindKey(size_t header, std::string_view key) const;

    std::vector<std::string> m_lines;
    bool m_bom = false;  // a UTF-8 byte order mark started the file
    bool m_crlf = false; // lines ended in CR LF
};

// Single-value reads and writes, each a whole round trip through the file, as the classic profile
// functions work. Writes create the file and its folder when needed.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::string& path);
bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path);

} // namespace ocu
