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

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
