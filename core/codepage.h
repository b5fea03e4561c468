// The 8-bit system code page. Text inside the program is UTF-8. The meter's texts are GBK (code
// page 936) always; other bytes from outside (the language file's values, resource texts) are
// kept when they are valid UTF-8 and otherwise decoded as GBK. Undecodable bytes become U+FFFD.
#pragma once
#include <cstddef>
#include <string>

namespace core {

// 8-bit bytes -> UTF-8 (valid UTF-8 is kept as it is).
std::string FromCodePage(const std::string& bytes);

// UTF-8 -> GBK bytes; characters GBK lacks become '?'.
std::string ToGbk(const std::string& utf8);

bool IsValidUtf8(const std::string& bytes);

// The longest prefix of bytes that holds at most maxBytes bytes and does not end inside a
// character (of UTF-8 when the bytes are valid UTF-8, else of GBK).
std::string CutToBytes(const std::string& bytes, std::size_t maxBytes);

// The same with the encoding known. A short GBK text can happen to be valid UTF-8 too ("时" is
// CA B1): where the whole source is known to be GBK, decode and cut it as GBK.
std::string DecodeGbk(const std::string& bytes);
std::string CutUtf8ToBytes(const std::string& bytes, std::size_t maxBytes);
std::string CutGbkToBytes(const std::string& bytes, std::size_t maxBytes);

// A text of the meter: GBK bytes, at most maxBytes of them cut on a character boundary, decoded
// to UTF-8. goesOn says the bytes are only the start of a longer text (its field ended first), so
// a lead byte at their end has lost its trail byte and is left out.
std::string MeterText(const std::string& bytes, std::size_t maxBytes, bool goesOn);

}  // namespace core
