#include "console/meter_protocol.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

BYTE FrameChecksum(const BYTE* bytes, int count)
{
    BYTE sum = 0;
    for (int i = 0; i < count; ++i) sum = static_cast<BYTE>(sum + bytes[i]);
    return static_cast<BYTE>(-sum);
}

std::vector<BYTE> BuildFrame(BYTE code, const BYTE* data, int count)
{
    if (count < 0) count = 0;
    if (count > MAX_SEND_DATA) count = MAX_SEND_DATA;
    std::vector<BYTE> frame;
    frame.reserve(static_cast<size_t>(count) + 5);
    frame.push_back(FRAME_START);
    frame.push_back(static_cast<BYTE>(count + 3));
    frame.push_back(code);
    for (int i = 0; i < count; ++i) frame.push_back(data[i]);
    frame.push_back(FrameChecksum(frame.data(), static_cast<int>(frame.size())));
    frame.push_back(FRAME_END);
    return frame;
}

MeterRecord ParseRecord(const BYTE* frame, int length)
{
    MeterRecord r{};
    auto at = [&](int i) -> BYTE { return i < length ? frame[i] : 0; };
    r.year = static_cast<signed char>(at(3));
    r.month = static_cast<signed char>(at(4));
    r.day = static_cast<signed char>(at(5));
    r.hour = static_cast<signed char>(at(6));
    r.minute = static_cast<signed char>(at(7));
    for (int v = 0; v < 9; ++v) {
        BYTE raw[4] = {at(8 + 4 * v), at(9 + 4 * v), at(10 + 4 * v), at(11 + 4 * v)};
        std::memcpy(&r.values[v], raw, 4);  // IEEE single, least significant byte first
    }
    // The note lies within bytes 45 to 60 and before the checksum, whatever its length byte says.
    int n = static_cast<signed char>(at(44));
    if (n < 0) n = 0;
    if (n > 16) n = 16;
    const int dataEnd = static_cast<signed char>(at(1));
    for (int i = 0; i < n && 45 + i < dataEnd; ++i) {
        BYTE c = at(45 + i);
        if (c == 0) break;
        r.note.push_back(static_cast<char>(c));
    }
    r.number = static_cast<signed char>(at(61));
    return r;
}

float LargerOf(float a, float b) { return a > b ? a : b; }

std::string Format(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, ap2);
        out.resize(static_cast<size_t>(n));
    }
    va_end(ap2);
    return out;
}

std::string FormatRecordDate(int year, int month, int day, int hour, int minute)
{
    auto two = [](int v) { return v < 10 ? "0" + Format("%d", v) : Format("%d", v); };
    std::string text = (year < 10 ? "200" : "20") + Format("%d", year) + "-";
    text += two(month) + "-";
    text += two(day) + "  ";
    text += two(hour) + ":";
    text += two(minute) + "  ";
    return text;
}

std::array<std::string, 12> FormatRecordValues(const float values[9], const std::string& dateText)
{
    std::array<std::string, 12> s;
    s[0] = Format("%.2f", LargerOf(values[0], values[2]));
    s[1] = Format("%.2f", LargerOf(values[1], values[3]));
    for (int i = 0; i < 4; ++i) s[2 + i] = Format("%.2f", values[i]);
    for (int i = 0; i < 4; ++i) s[6 + i] = Format("%.1f", values[4 + i]);
    s[10] = Format("%.3f", values[8]);
    s[11] = dateText;
    return s;
}
