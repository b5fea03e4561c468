// Reads values of initialisation files of the profile format: "[section]" lines and
// "key=value" lines; sections and keys case-insensitive; blanks around names and values trimmed;
// one pair of enclosing quotes ('' or "") removed; comments (lines starting with ';') skipped.
#pragma once
#include <cstddef>
#include <string>

namespace platform {

// The value of key in section of the file at path, as the file's own bytes, cut to at most
// bufferSize - 1 bytes on a character boundary (platform::CutToBytes); the default (cut the same
// way) when the file, the section or the key is missing. A key present with an empty value gives
// "". The result is then converted to UTF-8 (platform::FromCodePage). The encoding is decided
// for the whole file: a file that is valid UTF-8 throughout holds UTF-8 values, any other file
// GBK values (so a short GBK value that happens to be valid UTF-8 is still read as GBK).
std::string GetPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                                    std::size_t bufferSize, const std::string& path);

}  // namespace platform
