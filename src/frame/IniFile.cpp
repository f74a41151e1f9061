#include "frame/IniFile.h"

#include "common/FileContent.h"

#include <cerrno>
#include <charconv>
#include <cstdint>

namespace ocu {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\n";

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

bool IsComment(std::string_view trimmed) {
    return !trimmed.empty() && (trimmed.front() == ';' || trimmed.front() == '#');
}

// The name of a section header line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[')
        return std::nullopt;
    const size_t close = t.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> ParseKeyLine(std::string_view line) {
    const std::string_view t = Trim(line);
    if (t.empty() || IsComment(t) || t.front() == '[')
        return std::nullopt;
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return KeyValue{Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

} // namespace

IniFile::IniFile(std::string_view text) {
    if (text.starts_with(kBom)) {
        m_bom = true;
        text.remove_prefix(kBom.size());
    }
    const size_t firstEnd = text.find('\n');
    m_crlf = firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r';

    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        // Every carriage return at a line's end goes, not only that of its CR LF: a line kept with one
        // would be written back as a line ending in CR LF and read as another text the next time.
        while (line.ends_with('\r'))
            line.remove_suffix(1);
        m_lines.emplace_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

std::optional<IniFile> IniFile::Load(const std::string& path) {
    std::string text;
    if (ReadWholeFile(path, text))
        return IniFile(text);
    if (errno == ENOENT)
        return IniFile();
    return std::nullopt;
}

size_t IniFile::FindSection(std::string_view section) const {
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = SectionName(m_lines[i]);
        if (name && SameName(*name, section))
            return i;
    }
    return std::string::npos;
}

size_t IniFile::FindKey(size_t header, std::string_view key) const {
    for (size_t i = header + 1; i < m_lines.size(); ++i) {
        if (SectionName(m_lines[i]))
            break;
        const auto kv = ParseKeyLine(m_lines[i]);
        if (kv && SameName(kv->key, key))
            return i;
    }
    return std::string::npos;
}

std::optional<std::string> IniFile::GetString(std::string_view section, std::string_view key) const {
    const size_t header = FindSection(section);
    if (header == std::string::npos)
        return std::nullopt;
    const size_t line = FindKey(header, key);
    if (line == std::string::npos)
        return std::nullopt;
    return std::string(ParseKeyLine(m_lines[line])->value);
}

int IniFile::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
    const auto text = GetString(section, key);
    if (!text)
        return defaultValue;
    std::string_view digits = Trim(*text);
    if (digits.starts_with('+'))
        digits.remove_prefix(1);
    int32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end == digits.data())
        return defaultValue;
    return value;
}

void IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = std::string(key) + "=" + std::string(value);
    const size_t header = FindSection(section);
    if (header == std::string::npos) {
        if (!m_lines.empty() && !Trim(m_lines.back()).empty())
            m_lines.emplace_back();
        m_lines.push_back("[" + std::string(section) + "]");
        m_lines.push_back(std::move(line));
        return;
    }
    const size_t existing = FindKey(header, key);
    if (existing != std::string::npos) {
        m_lines[existing] = std::move(line);
        return;
    }
    // After the section's last entry, so that blank lines and comments that lead into the next section
    // stay where they are.
    size_t insertAt = header + 1;
    for (size_t i = header + 1; i < m_lines.size() && !SectionName(m_lines[i]); ++i) {
        if (ParseKeyLine(m_lines[i]))
            insertAt = i + 1;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
}

std::string IniFile::Text() const {
    const std::string_view eol = m_crlf ? "\r\n" : "\n";
    std::string text;
    if (m_bom)
        text += kBom;
    for (const std::string& line : m_lines) {
        text += line;
        text += eol;
    }
    return text;
}

bool IniFile::Save(const std::string& path) const {
    return ReplaceFileContent(path, Text());
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::string& path) {
    const auto ini = IniFile::Load(path);
    return ini ? ini->GetInt(section, key, defaultValue) : defaultValue;
}

bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path) {
    auto ini = IniFile::Load(path);
    if (!ini)
        return false;
    ini->SetString(section, key, value);
    return ini->Save(path);
}

} // namespace ocu
