// The meter's frame protocol: frame building and the formatting of an uploaded record into the
// texts of one records-table row.
#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "core/winapi.h"

// Commands sent to the meter.
constexpr BYTE CMD_CONNECT = 0x01;
constexpr BYTE CMD_DISCONNECT = 0x50;
constexpr BYTE CMD_UPLOAD = 0x38;
constexpr BYTE CMD_DELETE_ALL = 0x09;
constexpr BYTE CMD_SET_TIME = 0x0D;
constexpr BYTE CMD_CALIBRATE = 0x26;
constexpr BYTE CMD_FTCAL = 0x13;
constexpr BYTE CMD_RESET = 0x11;
constexpr BYTE CMD_RESET_CHINESE = 0x28;

// Replies of the meter.
constexpr BYTE RSP_CONNECTED = 0x02;
constexpr BYTE RSP_DISCONNECTED = 0x51;
constexpr BYTE RSP_RECORD = 0x38;
constexpr BYTE RSP_UPLOAD_END = 0x39;
constexpr BYTE RSP_DELETED = 0x0A;
constexpr BYTE RSP_TIME_SET = 0x0E;
constexpr BYTE RSP_CALIBRATED = 0x27;
constexpr BYTE RSP_FTCAL_DONE = 0x14;
constexpr BYTE RSP_RESET_DONE = 0x12;

constexpr BYTE FRAME_START = 0x10;
constexpr BYTE FRAME_END = 0x01;
constexpr int FRAME_CAPACITY = 100;      // bytes of one received frame at the most
constexpr int MAX_SEND_DATA = 15;        // data bytes of one sent frame at the most
constexpr int RECORD_FRAME_LENGTH = 64;  // a record reply, end byte included

// The two's complement of the 8-bit sum of the bytes.
BYTE FrameChecksum(const BYTE* bytes, int count);

// 0x10, count + 3, code, data, checksum, 0x01. count is cut to MAX_SEND_DATA.
std::vector<BYTE> BuildFrame(BYTE code, const BYTE* data, int count);

// The fields of a record reply, taken at their fixed positions of the frame.
struct MeterRecord {
    signed char year, month, day, hour, minute;
    float values[9];
    std::string note;  // the note's bytes as sent: at most 16, ended at a NUL
    signed char number;
};

// Reads a record from a complete record frame of `length` bytes; bytes past the frame read as 0.
MeterRecord ParseRecord(const BYTE* frame, int length);

// The larger of a and b; b when they are equal or not comparable.
float LargerOf(float a, float b);

// "2021-12-20  09:05  " from the five date fields.
std::string FormatRecordDate(int year, int month, int day, int hour, int minute);

// Subitems 1 to 12 of a record's row (index 0 is subitem 1): the two maxima, values 1 to 4
// ("%.2f"), values 5 to 8 ("%.1f"), value 9 ("%.3f") and the date text.
std::array<std::string, 12> FormatRecordValues(const float values[9], const std::string& dateText);

// The subitems of a record's row in the records table, whose item is the record's number: the
// texts of FormatRecordValues in their order, then the note. Values 1 and 3 are the two readings
// at 1310 nm, values 2 and 4 the two at 1550 nm; the power at a wavelength is the larger of its two.
namespace record_subitem {
constexpr int POWER_1310 = 1;
constexpr int POWER_1550 = 2;
constexpr int FIRST_READING_1310 = 3;   // value 1
constexpr int FIRST_READING_1550 = 4;   // value 2
constexpr int SECOND_READING_1310 = 5;  // value 3
constexpr int SECOND_READING_1550 = 6;  // value 4
constexpr int VALUE_5 = 7;
constexpr int VALUE_6 = 8;
constexpr int VALUE_7 = 9;
constexpr int VALUE_8 = 10;
constexpr int VALUE_9 = 11;
constexpr int DATE = 12;
constexpr int NOTE = 13;
}  // namespace record_subitem

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
