#include "spreadsheet/text_fit.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace spreadsheet {

namespace {

// Advance widths of the printable ASCII characters (from the space to '~') in 1/2048 em of a
// wide sans-serif face; a digit is 1303.
constexpr int kDigitAdvance = 1303;
constexpr int kAsciiAdvance[95] = {
    651,  821,  942,  1716, 1303, 1946, 1597, 563,  799,  799,  1024, 1716, 651,  739,  651,  690,   // ' ' to '/'
    1303, 1303, 1303, 1303, 1303, 1303, 1303, 1303, 1303, 1303, 690,  690,  1716, 1716, 1716, 1087,  // '0' to '?'
    2048, 1401, 1405, 1430, 1577, 1294, 1178, 1587, 1540, 604,  604,  1343, 1141, 1767, 1532, 1612,  // '@' to 'O'
    1235, 1612, 1423, 1300, 1251, 1499, 1401, 2025, 1403, 1251, 1403, 799,  690,  799,  1716, 1024,  // 'P' to '_'
    1024, 1255, 1300, 1126, 1300, 1260, 721,  1300, 1298, 569,  569,  1186, 569,  1995, 1298, 1253,  // '`' to 'o'
    1300, 1300, 842,  1067, 803,  1298, 1212, 1675, 1212, 1212, 1075, 1303, 690,  1303, 1716};       // 'p' to '~'
constexpr double kBoldFactor = 1.08;

// The next code point of the UTF-8 text (U+FFFD for a bad byte), advancing i.
char32_t NextCodePoint(std::string_view s, std::size_t& i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    int len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t code = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k < len; ++k)
        code = (code << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
    i += static_cast<std::size_t>(len);
    return code;
}

bool IsWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The width of one character in digits.
double CharDigits(char32_t c)
{
    if (c >= 0x20 && c <= 0x7E) return static_cast<double>(kAsciiAdvance[c - 0x20]) / kDigitAdvance;
    if (c == '\t') return 4.0 * kAsciiAdvance[0] / kDigitAdvance;
    if (c < 0x20 || (c >= 0x300 && c <= 0x36F) || c == 0x200B) return 0;  // controls, combining marks
    if (IsWide(c)) return 2.0;
    return 1.2;  // other letters: as wide as the wider Latin ones
}

// A piece of a paragraph that wrapping keeps together: a word up to a break opportunity (after
// a hyphen or a wide character), with the spaces that follow it.
struct Segment {
    std::vector<double> chars;  // widths of its visible characters
    double width = 0;           // their sum
    double spaces = 0;          // width of the spaces after it
};

int LinesOfParagraph(const std::vector<Segment>& segments, double area)
{
    int lines = 1;
    double used = 0;
    for (const Segment& seg : segments) {
        if (used > 0 && used + seg.width > area + 1e-9) {
            ++lines;
            used = 0;
        }
        if (seg.width > area + 1e-9) {
            // Wider than the column on its own: broken between its characters.
            for (const double w : seg.chars) {
                if (used > 0 && used + w > area + 1e-9) {
                    ++lines;
                    used = 0;
                }
                used += w;
            }
        } else {
            used += seg.width;
        }
        used += seg.spaces;  // room only when another word follows on this line
    }
    return lines;
}

}  // namespace

double TextWidthInDigits(std::string_view utf8, bool bold)
{
    double width = 0;
    for (std::size_t i = 0; i < utf8.size();) width += CharDigits(NextCodePoint(utf8, i));
    return bold ? width * kBoldFactor : width;
}

int WrappedLineCount(std::string_view utf8, double areaDigits, bool bold)
{
    const double area = std::max(areaDigits, 0.5);
    const double factor = bold ? kBoldFactor : 1.0;
    int lines = 0;
    std::vector<Segment> paragraph(1);
    for (std::size_t i = 0;;) {
        const bool end = i >= utf8.size();
        const char32_t c = end ? U'\n' : NextCodePoint(utf8, i);
        if (c == U'\n') {
            lines += LinesOfParagraph(paragraph, area);
            paragraph.assign(1, Segment{});
            if (end) break;
            continue;
        }
        if (c == U'\r') continue;
        const double w = CharDigits(c) * factor;
        if (c == U' ' || c == U'\t' || c == 0x3000) {
            paragraph.back().spaces += w;
            continue;
        }
        if (paragraph.back().spaces > 0) paragraph.emplace_back();
        Segment& seg = paragraph.back();
        seg.chars.push_back(w);
        seg.width += w;
        if (c == U'-' || IsWide(c)) paragraph.emplace_back();
    }
    return std::max(lines, 1);
}

double RowHeightForLines(int lines, double fontPoints)
{
    const double points = std::max(lines, 1) * fontPoints * 15.0 / 11.0;
    return std::min(std::ceil(points / 0.75 - 1e-9) * 0.75, kMaxRowHeight);
}

namespace {

constexpr double kDigitPixels = 7;
constexpr double kPaddingPixels = 5;

}  // namespace

double ColumnPixels(double storedWidth)
{
    if (!(storedWidth > 0)) return 0;
    return std::floor((std::floor(storedWidth * 256 + 1e-9) + std::floor(128 / kDigitPixels)) / 256 * kDigitPixels);
}

double TextDigitsInPixels(double pixels) { return std::max(pixels - kPaddingPixels, 0.0) / kDigitPixels; }

double ColumnTextDigits(double storedWidth) { return TextDigitsInPixels(ColumnPixels(storedWidth)); }

}  // namespace spreadsheet
