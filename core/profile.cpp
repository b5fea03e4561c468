#include "core/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string_view>
#include <utility>

#include "core/codepage.h"

namespace core {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

std::string_view Unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v.remove_prefix(1);
        v.remove_suffix(1);
    }
    return v;
}

// The whole file, or nothing when it is missing, no regular file, unreadable or larger than
// maxBytes (also one that grows past it while it is read).
std::optional<std::string> ReadFileBytes(const std::string& path, std::size_t maxBytes)
{
    // Non-blocking, so that a FIFO in the file's place cannot hang the reader; regular files
    // read the same either way.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<std::string> bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) <= maxBytes) {
        bytes.emplace();
        bytes->reserve(static_cast<std::size_t>(st.st_size));
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                if (static_cast<std::size_t>(n) > maxBytes - bytes->size()) {
                    bytes.reset();
                    break;
                }
                bytes->append(buf, static_cast<std::size_t>(n));
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                bytes.reset();
                break;
            }
        }
    }
    ::close(fd);
    return bytes;
}

// The raw value of key in the first section named section, if there is one.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section, std::string_view key)
{
    bool inSection = false;
    bool sectionSeen = false;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (sectionSeen) return std::nullopt;  // only the first section of the name counts
            const std::size_t close = line.find(']');
            const std::string_view name =
                Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            inSection = EqualNoCase(name, section);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        if (EqualNoCase(Trim(line.substr(0, eq)), key)) return Unquote(Trim(line.substr(eq + 1)));
    }
    return std::nullopt;
}

}  // namespace

Profile Profile::Load(const std::string& path)
{
    Profile profile;
    if (auto bytes = ReadFileBytes(path, kMaxFileBytes)) {
        profile.m_utf8 = IsValidUtf8(*bytes);
        if (std::string_view(*bytes).substr(0, 3) == "\xEF\xBB\xBF") bytes->erase(0, 3);
        profile.m_text = std::move(*bytes);
    }
    return profile;
}

std::string Profile::GetString(const std::string& section, const std::string& key, const std::string& defaultValue,
                               std::size_t bufferSize) const
{
    const std::size_t maxBytes = bufferSize == 0 ? 0 : bufferSize - 1;
    if (const auto value = FindValue(m_text, Trim(section), Trim(key))) {
        const std::string raw(*value);
        if (m_utf8) return CutUtf8ToBytes(raw, maxBytes);
        return DecodeGbk(CutGbkToBytes(raw, maxBytes));
    }
    return FromCodePage(CutToBytes(defaultValue, maxBytes));
}

std::string GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    std::size_t bufferSize, const std::string& path)
{
    return Profile::Load(path).GetString(section, key, defaultValue, bufferSize);
}

}  // namespace core
