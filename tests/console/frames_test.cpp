// Command frames and the texts of a record's row.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "console/meter_protocol.h"

namespace {

using Bytes = std::vector<BYTE>;

struct FrameCase {
    const char* name;
    BYTE code;
    Bytes data;
    Bytes expected;
};

TEST(CommandFrames, MatchTheMeterProtocolByteForByte)
{
    const FrameCase cases[] = {
        {"connect", CMD_CONNECT, {}, {0x10, 0x03, 0x01, 0xEC, 0x01}},
        {"disconnect", CMD_DISCONNECT, {}, {0x10, 0x03, 0x50, 0x9D, 0x01}},
        {"upload", CMD_UPLOAD, {}, {0x10, 0x03, 0x38, 0xB5, 0x01}},
        {"delete all", CMD_DELETE_ALL, {}, {0x10, 0x03, 0x09, 0xE4, 0x01}},
        {"reset", CMD_RESET, {}, {0x10, 0x03, 0x11, 0xDC, 0x01}},
        {"reset, Chinese", CMD_RESET_CHINESE, {}, {0x10, 0x03, 0x28, 0xC5, 0x01}},
        {"set time 21-12-20 09:05",
         CMD_SET_TIME,
         {0x15, 0x0C, 0x14, 0x09, 0x05},
         {0x10, 0x08, 0x0D, 0x15, 0x0C, 0x14, 0x09, 0x05, 0x98, 0x01}},
        {"calibrate 1310 nm -10.5",
         CMD_CALIBRATE,
         {0x00, 0x00, 0x00, 0x28, 0xC1},
         {0x10, 0x08, 0x26, 0x00, 0x00, 0x00, 0x28, 0xC1, 0xD9, 0x01}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildFrame(c.code, c.data.data(), static_cast<int>(c.data.size())), c.expected) << c.name;
    }
}

TEST(CommandFrames, EveryFrameSumsToZeroAndDataIsCappedAtFifteenBytes)
{
    Bytes data(40, 0xA5);
    Bytes frame = BuildFrame(0x13, data.data(), 40);
    ASSERT_EQ(frame.size(), 20u);  // 15 data bytes + 5
    EXPECT_EQ(frame[1], 18);
    BYTE sum = 0;
    for (size_t i = 0; i + 1 < frame.size(); ++i) sum = static_cast<BYTE>(sum + frame[i]);
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(frame.back(), 0x01);
}

TEST(RecordRow, LargerOfTakesTheSecondWhenEqualOrNotComparable)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct {
        float a, b, expected;
    } cases[] = {{-3.5f, -3.5f, -3.5f}, {-3.5f, -7.25f, -3.5f}, {-7.25f, -3.5f, -3.5f}, {1.0f, nan, nan}};
    for (const auto& c : cases) {
        float got = LargerOf(c.a, c.b);
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(got));
        } else {
            EXPECT_EQ(got, c.expected) << c.a << " " << c.b;
        }
    }
    EXPECT_EQ(LargerOf(nan, 2.0f), 2.0f);
}

TEST(RecordRow, ValuesTakeTheirFormatsAndTheMaximaComeFirst)
{
    const float v[9] = {-3.5f, -12.345f, -7.25f, -1.005f, 10.25f, -0.04f, 3.0f, 99.95f, 0.1234f};
    auto s = FormatRecordValues(v, "DATE");
    const char* expected[12] = {"-3.50", "-1.00", "-3.50", "-12.35", "-7.25", "-1.00",
                                "10.2",  "-0.0",  "3.0",   "99.9",   "0.123", "DATE"};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(s[static_cast<size_t>(i)], expected[i]) << "subitem " << i + 1;
}

TEST(RecordRow, DateTextPadsFieldsAndPrefixesTheCentury)
{
    EXPECT_EQ(FormatRecordDate(21, 12, 20, 9, 5), "2021-12-20  09:05  ");
    EXPECT_EQ(FormatRecordDate(5, 1, 2, 3, 4), "2005-01-02  03:04  ");
    EXPECT_EQ(FormatRecordDate(10, 10, 10, 10, 10), "2010-10-10  10:10  ");
    EXPECT_EQ(FormatRecordDate(0, 0, 0, 0, 0), "2000-00-00  00:00  ");
}

TEST(RecordRow, ParsedAtFixedPositionsWithNoteCutAtSixteenBytesAndNul)
{
    std::vector<BYTE> frame(64, 0);
    frame[0] = 0x10;
    frame[1] = 62;
    frame[2] = RSP_RECORD;
    frame[3] = 21;
    frame[4] = 12;
    frame[5] = 20;
    frame[6] = 9;
    frame[7] = 5;
    float values[9] = {1, 2, 3, 4, 5, 6, 7, 8, -9.5f};
    std::memcpy(&frame[8], values, sizeof values);
    frame[44] = 40;  // longer than the note field
    for (int i = 0; i < 16; ++i) frame[45 + static_cast<size_t>(i)] = static_cast<BYTE>('a' + i);
    frame[61] = 7;
    MeterRecord r = ParseRecord(frame.data(), 64);
    EXPECT_EQ(r.year, 21);
    EXPECT_EQ(r.minute, 5);
    EXPECT_EQ(r.values[8], -9.5f);
    EXPECT_EQ(r.note, "abcdefghijklmnop");
    EXPECT_EQ(r.number, 7);
    frame[47] = 0;
    EXPECT_EQ(ParseRecord(frame.data(), 64).note, "ab");
    frame[44] = 0xF0;  // negative: no note
    EXPECT_EQ(ParseRecord(frame.data(), 64).note, "");
    // A frame shorter than a record ends its note before its checksum.
    frame[44] = 16;
    frame[47] = 'c';
    frame[1] = 50;
    EXPECT_EQ(ParseRecord(frame.data(), 52).note, "abcde");
}

}  // namespace
