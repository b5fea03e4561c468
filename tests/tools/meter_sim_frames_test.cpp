// The simulator's own frame encoder and its sample records, checked against hand-made bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/tools/pty_client.h"
#include "tools/sim/meter_sim.h"

namespace {

using sim_test::B;
using sim_test::Bytes;

struct FrameCase {
    const char* name;
    std::uint8_t code;
    Bytes data;
    Bytes expected;
};

class BuildFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(BuildFrameTest, MatchesTheWireBytes)
{
    const FrameCase& c = GetParam();
    EXPECT_EQ(meter_sim::BuildFrame(c.code, c.data), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BuildFrameTest,
    ::testing::Values(FrameCase{"connect", 0x01, {}, B({0x10, 0x03, 0x01, 0xEC, 0x01})},
                      FrameCase{"disconnect", 0x50, {}, B({0x10, 0x03, 0x50, 0x9D, 0x01})},
                      FrameCase{"upload", 0x38, {}, B({0x10, 0x03, 0x38, 0xB5, 0x01})},
                      FrameCase{"delete_all", 0x09, {}, B({0x10, 0x03, 0x09, 0xE4, 0x01})},
                      FrameCase{"reset", 0x11, {}, B({0x10, 0x03, 0x11, 0xDC, 0x01})},
                      FrameCase{"reset_chinese", 0x28, {}, B({0x10, 0x03, 0x28, 0xC5, 0x01})},
                      FrameCase{"set_time", 0x0D, B({0x15, 0x0C, 0x14, 0x09, 0x05}),
                                B({0x10, 0x08, 0x0D, 0x15, 0x0C, 0x14, 0x09, 0x05, 0x98, 0x01})},
                      FrameCase{"calibrate", 0x26, B({0x00, 0x00, 0x00, 0x28, 0xC1}),
                                B({0x10, 0x08, 0x26, 0x00, 0x00, 0x00, 0x28, 0xC1, 0xD9, 0x01})},
                      FrameCase{"upload_end_1", 0x39, B({0x01}), B({0x10, 0x04, 0x39, 0x01, 0xB2, 0x01})},
                      FrameCase{"upload_end_0", 0x39, B({0x00}), B({0x10, 0x04, 0x39, 0x00, 0xB3, 0x01})},
                      FrameCase{"connected_A", 0x02, B({0x01, 0x41}), B({0x10, 0x05, 0x02, 0x01, 0x41, 0xA7, 0x01})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BuildRecordFrame, PutsEveryFieldAtItsPosition)
{
    meter_sim::SimRecord r;
    r.year = 21;
    r.month = 12;
    r.day = 20;
    r.hour = 9;
    r.minute = 5;
    for (int i = 0; i < 9; ++i) r.values[i] = -3.5f - static_cast<float>(i);
    r.note = "NOTE";
    r.number = 7;
    const Bytes f = meter_sim::BuildRecordFrame(r);
    ASSERT_EQ(f.size(), 64u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 8), B({0x10, 62, 0x38, 21, 12, 20, 9, 5}));
    // -3.5f is 0xC0600000, least significant byte first.
    EXPECT_EQ(Bytes(f.begin() + 8, f.begin() + 12), B({0x00, 0x00, 0x60, 0xC0}));
    for (int i = 0; i < 9; ++i) EXPECT_EQ(sim_test::FloatAt(f, 8 + 4 * i), r.values[i]) << i;
    EXPECT_EQ(f[44], 4);
    EXPECT_EQ(std::string(f.begin() + 45, f.begin() + 49), "NOTE");
    EXPECT_TRUE(std::all_of(f.begin() + 49, f.begin() + 61, [](auto b) { return b == 0; }));
    EXPECT_EQ(f[61], 7);
    EXPECT_TRUE(sim_test::ChecksumOk(f));
    EXPECT_EQ(f[63], 0x01);
}

TEST(BuildRecordFrame, CutsALongNoteToSixteenBytesAndKeepsSignedBytes)
{
    meter_sim::SimRecord r;
    r.note = "0123456789ABCDEFXYZ";
    r.number = 127;
    r.year = -1;
    const Bytes f = meter_sim::BuildRecordFrame(r);
    ASSERT_EQ(f.size(), 64u);
    EXPECT_EQ(f[44], 16);
    EXPECT_EQ(std::string(f.begin() + 45, f.begin() + 61), "0123456789ABCDEF");
    EXPECT_EQ(f[61], 127);
    EXPECT_EQ(f[3], 0xFF);
    EXPECT_TRUE(sim_test::ChecksumOk(f));
}

TEST(SampleRecords, CoverTheCasesAReportMeets)
{
    const auto records = meter_sim::SampleRecords(12);
    ASSERT_EQ(records.size(), 12u);
    std::set<std::size_t> noteLengths;
    bool yearBelow10 = false, yearFrom10 = false, equalPair = false, firstLarger = false, secondLarger = false,
         negative = false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        EXPECT_EQ(r.number, static_cast<int>(i + 1));
        EXPECT_LE(r.note.size(), 16u);
        EXPECT_GE(r.month, 1);
        EXPECT_LE(r.month, 12);
        EXPECT_GE(r.day, 1);
        EXPECT_LE(r.day, 31);
        EXPECT_LE(r.hour, 23);
        EXPECT_LE(r.minute, 59);
        noteLengths.insert(r.note.size());
        (r.year < 10 ? yearBelow10 : yearFrom10) = true;
        if (r.values[0] == r.values[2]) equalPair = true;
        if (r.values[0] > r.values[2]) firstLarger = true;
        if (r.values[0] < r.values[2]) secondLarger = true;
        if (r.values[0] < 0) negative = true;
    }
    EXPECT_TRUE(noteLengths.count(0));
    EXPECT_TRUE(noteLengths.count(16));
    EXPECT_GE(noteLengths.size(), 4u);
    EXPECT_TRUE(yearBelow10);
    EXPECT_TRUE(yearFrom10);
    EXPECT_TRUE(equalPair);
    EXPECT_TRUE(firstLarger);
    EXPECT_TRUE(secondLarger);
    EXPECT_TRUE(negative);
    // The values the console's edge cases name.
    EXPECT_EQ(records[0].values[0], -3.5f);
    EXPECT_EQ(records[1].values[2], -7.25f);
}

TEST(SampleRecords, NumbersStayWithinTheSignedByte)
{
    const auto records = meter_sim::SampleRecords(300);
    ASSERT_EQ(records.size(), 300u);
    for (const auto& r : records) {
        EXPECT_GE(r.number, 1);
        EXPECT_LE(r.number, 127);
    }
    EXPECT_EQ(records[126].number, 127);
    EXPECT_EQ(records[127].number, 1);
    EXPECT_TRUE(meter_sim::SampleRecords(0).empty());
}

}  // namespace
