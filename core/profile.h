// Reads values of initialisation files of the profile format: "[section]" lines and
// "key=value" lines; sections and keys case-insensitive; blanks around names and values trimmed;
// one pair of enclosing quotes ('' or "") removed; comments (lines starting with ';') skipped.
#pragma once
#include <cstddef>
#include <string>

namespace core {

// A profile file read once: every value is answered from the bytes it had when it was loaded,
// so a reader of many keys opens the file once.
class Profile {
public:
    // The largest file that is read, in bytes. Profile files are small (the language file is
    // about 1.5 KB); a larger file is not read, and every value is its default, as if the file
    // were missing, so that a huge file cannot take the memory.
    static constexpr std::size_t kMaxFileBytes = 1 << 20;

    // Reads the file at path. A missing or unreadable file, one that is no regular file (a FIFO
    // does not hang the reader) and one larger than kMaxFileBytes give a profile without
    // sections.
    static Profile Load(const std::string& path);

    // A profile without sections: every value is its default.
    Profile() = default;

    // The value of key in section, as the file's own bytes, cut to at most bufferSize - 1 bytes
    // on a character boundary (core::CutToBytes); the default (cut the same way) when the
    // file, the section or the key is missing. A key present with an empty value gives "". The
    // result is then converted to UTF-8 (core::FromCodePage). The encoding is decided for
    // the whole file: a file that is valid UTF-8 throughout holds UTF-8 values, any other file
    // GBK values (so a short GBK value that happens to be valid UTF-8 is still read as GBK).
    std::string GetString(const std::string& section, const std::string& key, const std::string& defaultValue,
                          std::size_t bufferSize) const;

private:
    bool m_utf8 = false;  // the file's bytes are valid UTF-8 throughout
    std::string m_text;   // the file's bytes, without a UTF-8 byte order mark; empty when not read
};

// One value of the file at path, read as Profile::GetString reads it (the file is read for this
// one value: a reader of several keys loads a Profile).
std::string GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    std::size_t bufferSize, const std::string& path);

}  // namespace core
