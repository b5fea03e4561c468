// The reply parser: frame reception, every reply's action, and the rows of the records table.
#include <algorithm>

#include <gtest/gtest.h>
#include <wx/gauge.h>
#include <wx/statbmp.h>

#include "console/QELApp.h"
#include "resources/resource_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/meter_frames.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class Parser : public ::testing::Test {
protected:
    void SetUp() override { QEL_REQUIRE_DISPLAY(); }
    ConsoleOptions Language(const std::string& item)
    {
        ConsoleOptions o;
        o.languageFile = ShippedLanguageFile(item);
        return o;
    }
};

TEST_F(Parser, ConnectReplyStoresTheIdentificationAndGreets)
{
    ConsoleHarness h(Language("0"));
    h.Feed({0x10, 0x05, 0x02, 0x01, 0x41, 0xA7, 0x01});
    EXPECT_EQ(h.Dlg().m_strMeterId, "A");
    ASSERT_EQ(h.Boxes().Count(), 1u);
    EXPECT_EQ(h.Boxes().Last().text, "CONNECT SUCESS!");
    EXPECT_EQ(h.Boxes().Last().caption, "QEL");
    EXPECT_EQ(h.Boxes().Last().owner, &h.Dlg());
    EXPECT_EQ(h.Boxes().Last().style & MB_ICONMASK, 0u);

    // The same frame with a wrong checksum does nothing.
    h.Dlg().m_strMeterId.clear();
    h.Feed({0x10, 0x05, 0x02, 0x01, 0x41, 0xA6, 0x01});
    EXPECT_EQ(h.Dlg().m_strMeterId, "");
    EXPECT_EQ(h.Boxes().Count(), 1u);
}

TEST_F(Parser, RepliesShowTheirTextsByLanguage)
{
    struct Case {
        const char* item;
        unsigned char code;
        const char* text;
        const char* caption;  // nullptr: the application's title
    } cases[] = {
        {"0", 0x51, "CUT SUCESS!", "QEL"},   {"2", 0x51, "INTERRUZIONE RIUSCITA!", "QEL"},
        {"1", 0x51, "断开成功!", "QEL"},     {"0", 0x0A, "DEL ALL!", "QEL"},
        {"2", 0x0A, "删除成功!", "QEL"},     {"0", 0x0E, "TIME SET SUCESS!", "QEL"},
        {"1", 0x0E, "时间设置成功!", "QEL"}, {"1", 0x02, "连接成功!", "QEL"},
        {"1", 0x0A, "删除成功!", "QEL"},     {"2", 0x0E, "IMPOSTAZIONE RIUSCITA!", "QEL"},
        {"0", 0x27, "校准成功!", nullptr},   {"2", 0x14, "校准成功!", nullptr},
        {"0", 0x12, "OK", nullptr},          {"x", 0x12, "OK", nullptr},
        {"x", 0x27, "校准成功!", nullptr},   {"2", 0x02, "CONNESSIONE  RIUSCITA!", "QEL"},
    };
    for (const auto& c : cases) {
        ConsoleHarness h(Language(c.item));
        h.Feed(Reply(c.code, c.code == 0x02 ? Bytes{0} : Bytes{}));
        ASSERT_EQ(h.Boxes().Count(), 1u) << c.item << " " << int(c.code);
        EXPECT_EQ(h.Boxes().Last().text, c.text);
        EXPECT_EQ(h.Boxes().Last().caption, c.caption ? std::string(c.caption) : CQELApp::AppTitle());
    }
    // No language: the replies with one text per language say nothing.
    ConsoleHarness none(Language("x"));
    for (unsigned char code : {0x02, 0x51, 0x0A, 0x0E}) none.Feed(Reply(code, code == 0x02 ? Bytes{0} : Bytes{}));
    EXPECT_EQ(none.Boxes().Count(), 0u);
}

TEST_F(Parser, FramingHandlesStartBytesInsideFramesBadLengthsAndLostBytes)
{
    const Bytes connectA = {0x10, 0x05, 0x02, 0x01, 0x41, 0xA7, 0x01};
    struct Case {
        const char* name;
        Bytes stream;
        int greetings;  // connect replies acted on
    } cases[] = {
        {"garbage before a frame", Concat({{0x00, 0xFF, 0x01}, connectA}), 1},
        {"0x10 as data", Reply(0x02, {0x01, 0x10}), 1},
        {"0x10 in the checksum position", Reply(0x02, {0x01, 0xD8}), 1},
        {"wrong checksum, then a good frame", Concat({{0x10, 0x05, 0x02, 0x01, 0x41, 0x00, 0x01}, connectA}), 1},
        {"length 0", Concat({{0x10, 0x00}, connectA}), 1},
        {"length 1", Concat({{0x10, 0x01, 0x02}, connectA}), 1},
        {"length 2", Concat({{0x10, 0x02, 0x02, 0x00}, connectA}), 1},
        {"negative length", Concat({{0x10, 0x90}, connectA}), 1},
        {"length 99: larger than a frame can be", Concat({{0x10, 99, 0x02, 0x00}, connectA}), 1},
        {"length 127", Concat({{0x10, 127}, connectA}), 1},
        {"unknown code", Concat({Reply(0x29), connectA}), 1},
        {"two frames", Concat({connectA, connectA}), 2},
    };
    for (const auto& c : cases) {
        ConsoleHarness h(Language("0"));
        h.Feed(c.stream);
        EXPECT_EQ(static_cast<int>(h.Boxes().Count()), c.greetings) << c.name;
        EXPECT_FALSE(h.Dlg().m_inFrame) << c.name;
        EXPECT_EQ(h.Dlg().m_rxCount, 0) << c.name;
    }

    // A frame that lost a byte takes bytes of the next one and is dropped; the receiver finds
    // its way back at a later start byte.
    ConsoleHarness h(Language("0"));
    Bytes lost = connectA;
    lost.erase(lost.begin() + 4);
    h.Feed(Concat({lost, connectA, connectA, connectA}));
    EXPECT_GE(h.Boxes().Count(), 1u);
    EXPECT_EQ(h.Dlg().m_strMeterId, "A");
}

// A frame fills the receiver's 100 bytes at the most: one of exactly 100 bytes is acted on, one of
// 101 is dropped whole, and the receiver then waits for the next start byte.
TEST_F(Parser, AFrameOfOneHundredBytesIsTakenAndOneOfOneHundredAndOneDropped)
{
    auto connectOfSize = [](size_t frameSize, char letter) {
        Bytes data = {19};
        for (int i = 0; i < 19; ++i) data.push_back(static_cast<unsigned char>(letter));
        data.resize(frameSize - 5, 0x20);  // filler up to the frame's size
        return Reply(0x02, data);
    };
    const Bytes hundred = connectOfSize(100, 'H');
    const Bytes hundredAndOne = connectOfSize(101, 'X');
    ASSERT_EQ(hundred.size(), 100u);
    ASSERT_EQ(hundredAndOne.size(), 101u);
    // No start byte after the dropped frame's length byte: its rest is passed over as noise.
    ASSERT_EQ(std::count(hundredAndOne.begin() + 2, hundredAndOne.end(), 0x10), 0);

    ConsoleHarness h(Language("0"));
    h.Feed(hundred);
    EXPECT_EQ(h.Dlg().m_strMeterId, std::string(19, 'H'));
    EXPECT_EQ(h.Boxes().Count(), 1u);

    h.Feed(hundredAndOne);
    EXPECT_EQ(h.Dlg().m_strMeterId, std::string(19, 'H')) << "the 101-byte frame is not acted on";
    EXPECT_EQ(h.Boxes().Count(), 1u);
    EXPECT_FALSE(h.Dlg().m_inFrame);

    h.Feed(Reply(0x02, {1, 'A'}));
    EXPECT_EQ(h.Dlg().m_strMeterId, "A");
    EXPECT_EQ(h.Boxes().Count(), 2u);
}

// The meter-state icon: connected after the connect and delete-all replies, disconnected after the
// disconnect reply and at start-up; no other reply touches it.
TEST_F(Parser, MeterIconFollowsTheReplies)
{
    ConsoleHarness h(Language("0"));
    const wxStaticBitmap* icon = h.Dlg().m_iconMeter;
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(StateIconShown(icon), 133) << "at start-up";
    RecordSpec record;
    const struct {
        const char* reply;
        Bytes frame;
        int icon;
    } steps[] = {
        {"connect", Reply(0x02, {1, 'A'}), 132},
        {"time set", Reply(0x0E), 132},
        {"record", RecordReply(record), 132},
        {"disconnect", Reply(0x51), 133},
        {"calibrated", Reply(0x27), 133},
        {"ftcal", Reply(0x14), 133},
        {"reset", Reply(0x12), 133},
        {"upload end", Reply(0x39, {0}), 133},
        {"deleted", Reply(0x0A), 132},
        {"upload end again", Reply(0x39, {0}), 132},
        {"disconnect again", Reply(0x51), 133},
    };
    for (const auto& step : steps) {
        h.Feed(step.frame);
        EXPECT_EQ(StateIconShown(icon), step.icon) << "after " << step.reply;
    }
}

// The flag of the end of an upload counts as a signed byte: every value but 0 starts the report,
// those from 0x80 to 0xFF too.
TEST_F(Parser, EveryNonZeroUploadEndFlagStartsTheReport)
{
    for (int flag : {0x01, 0x7F, 0x80, 0xC3, 0xFF}) {
        ConsoleHarness h(Language("0"));
        h.Dlg().m_progressPos = 12;
        h.Feed(Reply(0x39, {static_cast<unsigned char>(flag)}));
        EXPECT_EQ(h.Dlg().m_reportState, ReportState::Due) << flag;
        EXPECT_TRUE(h.Dlg().IsTimerRunning(IDT_REPORT)) << flag;
        EXPECT_EQ(h.Dlg().m_progressPos, 80) << flag;
        EXPECT_EQ(h.Dlg().m_progress->GetValue(), 80) << flag;
        EXPECT_EQ(h.Boxes().Count(), 0u) << flag;
        h.Dlg().KillTimer(IDT_REPORT);
    }
}

TEST_F(Parser, ConnectTextIsCutToNineteenBytesAndNeverReadsPastTheFrame)
{
    ConsoleHarness h(Language("0"));
    Bytes data = {25};
    for (int i = 0; i < 25; ++i) data.push_back(static_cast<unsigned char>('a' + i));
    h.Feed(Reply(0x02, data));
    EXPECT_EQ(h.Dlg().m_strMeterId, "abcdefghijklmnopqrs");
    // A length beyond the frame's data takes the data the frame holds, not its checksum.
    h.Feed(Reply(0x02, {15, 'O', 'P', 'M'}));
    EXPECT_EQ(h.Dlg().m_strMeterId, "OPM");
    h.Feed(Reply(0x02, {0xF0, 'X'}));
    EXPECT_EQ(h.Dlg().m_strMeterId, "");
}

// The meter's texts are GBK bytes, also where they happen to form valid UTF-8 ("时" is CA B1,
// which as UTF-8 reads "ʱ"). The byte limits count the meter's bytes, cut on a character boundary.
TEST_F(Parser, MeterTextsAreGbkAndCutOnACharacterBoundary)
{
    const std::string shi = "\xCA\xB1";          // 时 in GBK
    const std::string shiUtf8 = "\xE6\x97\xB6";  // 时 in UTF-8
    auto times = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    struct Case {
        const char* what;
        std::string bytes;
        int lengthByte;  // -1: the number of bytes
        std::string id;  // the identification text shown
        std::string note;
    } cases[] = {
        {"one character that is also valid UTF-8", shi, -1, shiUtf8, shiUtf8},
        {"ASCII unchanged", "OPM-3 SN1234", -1, "OPM-3 SN1234", "OPM-3 SN1234"},
        {"ASCII and GBK", "dBm " + shi, -1, "dBm " + shiUtf8, "dBm " + shiUtf8},
        // 20 bytes: the 19-byte limit falls inside the tenth character, 16 inside the eighth.
        {"limits inside a character", times(shi, 10), -1, times(shiUtf8, 9), times(shiUtf8, 8)},
        {"limits after an odd ASCII start", "x" + times(shi, 10), -1, "x" + times(shiUtf8, 9), "x" + times(shiUtf8, 7)},
        // The length byte announces more than the note field holds: its last whole character stays.
        {"longer than announced fields", "x" + times(shi, 8), 30, "x" + times(shiUtf8, 8), "x" + times(shiUtf8, 7)},
    };
    for (const auto& c : cases) {
        ConsoleHarness h(Language("1"));
        const int n = c.lengthByte < 0 ? static_cast<int>(c.bytes.size()) : c.lengthByte;
        Bytes id = {static_cast<unsigned char>(n)};
        id.insert(id.end(), c.bytes.begin(), c.bytes.end());
        h.Feed(Reply(0x02, id));
        EXPECT_EQ(h.Dlg().m_strMeterId, c.id) << c.what;

        RecordSpec r;
        r.note = c.bytes;
        Bytes record = RecordReply(r);
        record[44] = static_cast<unsigned char>(n);
        // RecordReply keeps the field's 16 bytes; the length byte changed, so does the checksum.
        unsigned sum = 0;
        for (size_t i = 0; i < 62; ++i) sum += record[i];
        record[62] = static_cast<unsigned char>(0x100 - (sum & 0xFF));
        h.Feed(record);
        ASSERT_EQ(h.Dlg().m_listRecords->GetItemCount(), 1) << c.what;
        EXPECT_EQ(h.Dlg().m_listRecords->GetItemText(0, 13), c.note) << c.what;
        EXPECT_EQ(h.Dlg().m_strLastNote, c.note) << c.what;
    }
}

TEST_F(Parser, RecordsFillRowsWithTheirTextsAndAdvanceTheBar)
{
    ConsoleHarness h(Language("1"));
    auto& list = *h.Dlg().m_listRecords;
    for (int n = 1; n <= 3; ++n) {
        RecordSpec r;
        r.number = n;
        r.year = n == 2 ? 5 : 21;
        r.note = n == 3 ? "sixteen-bytes-xx" : "note" + std::to_string(n);
        h.Feed(RecordReply(r));
        EXPECT_EQ(h.Dlg().m_progressPos, n);
        EXPECT_EQ(h.Dlg().m_progress->GetValue(), n);
    }
    ASSERT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(h.Dlg().m_lastRecordNo, 3);
    const char* row0[14] = {"1",
                            "-3.50",
                            "-3.50",
                            "-3.50",
                            "-7.25",
                            "-7.25",
                            "-3.50",
                            "1.5",
                            "2.5",
                            "3.5",
                            "4.5",
                            "0.125",
                            "2021-12-20  09:05  ",
                            "note1"};
    for (int s = 0; s < 14; ++s) EXPECT_EQ(list.GetItemText(0, s), row0[s]) << "subitem " << s;
    EXPECT_EQ(list.GetItemText(1, 12).substr(0, 5), "2005-");
    EXPECT_EQ(list.GetItemText(2, 13), "sixteen-bytes-xx");
    EXPECT_EQ(h.Dlg().m_strLastNote, "sixteen-bytes-xx");
}

TEST_F(Parser, RowsKeepEveryValueWhateverColumnsTheLanguageShows)
{
    for (const char* item : {"0", "2", "x"}) {
        ConsoleHarness h(Language(item));
        h.Feed(RecordReply(RecordSpec{}));
        auto& list = *h.Dlg().m_listRecords;
        ASSERT_EQ(list.GetItemCount(), 1) << item;
        EXPECT_EQ(list.GetItemText(0, 12), "2021-12-20  09:05  ") << item;
        EXPECT_EQ(list.GetItemText(0, 13), "N") << item;
        EXPECT_EQ(list.GetItemText(0, 6), "-3.50") << item;
    }
}

TEST_F(Parser, RecordNumbersBeyondTheTableAndRepeatedNumbersKeepTheirValues)
{
    ConsoleHarness h(Language("1"));
    auto& list = *h.Dlg().m_listRecords;
    RecordSpec r;
    r.number = 3;
    r.note = "third";
    h.Feed(RecordReply(r));
    ASSERT_EQ(list.GetItemCount(), 1);
    EXPECT_EQ(list.GetItemText(0, 0), "3");
    EXPECT_EQ(list.GetItemText(0, 13), "third");  // kept in the row inserted for it
    EXPECT_EQ(list.GetItemText(0, 1), "-3.50");

    ConsoleHarness twice(Language("1"));
    RecordSpec a;
    a.number = 1;
    a.note = "first";
    RecordSpec b = a;
    b.note = "again";
    twice.Feed(Concat({RecordReply(a), RecordReply(b)}));
    auto& l2 = *twice.Dlg().m_listRecords;
    ASSERT_EQ(l2.GetItemCount(), 2);
    EXPECT_EQ(l2.GetItemText(0, 13), "again");  // the later one is inserted before
    EXPECT_EQ(l2.GetItemText(1, 13), "first");
}

TEST_F(Parser, RecordNumbersOutsideOneTo127AreNotTabled)
{
    ConsoleHarness h(Language("1"));
    for (int number : {0, 0x80, 0xFF}) {
        RecordSpec r;
        r.number = number;
        h.Feed(RecordReply(r));
    }
    EXPECT_EQ(h.Dlg().m_listRecords->GetItemCount(), 0);
    EXPECT_EQ(h.Dlg().m_lastRecordNo, 0);
}

TEST_F(Parser, BarStopsAtEightyAndUploadEndStartsTheReportOrSaysNoRecords)
{
    ConsoleHarness h(Language("0"));
    for (int n = 1; n <= 100; ++n) {
        RecordSpec r;
        r.number = n;
        h.Feed(RecordReply(r));
    }
    EXPECT_EQ(h.Dlg().m_progressPos, 80);
    EXPECT_EQ(h.Dlg().m_listRecords->GetItemCount(), 100);

    h.Feed(Reply(0x39, {1}));
    EXPECT_EQ(h.Dlg().m_reportState, ReportState::Due);
    EXPECT_EQ(h.Dlg().m_reportTimer, IDT_REPORT);
    EXPECT_TRUE(h.Dlg().IsTimerRunning(IDT_REPORT));
    EXPECT_EQ(h.Dlg().m_progress->GetValue(), 80);
    h.Dlg().KillTimer(IDT_REPORT);

    ConsoleHarness empty(Language("2"));
    empty.Dlg().EnableDlgItem(IDC_UPLOAD, false);
    empty.Dlg().m_progressPos = 40;
    empty.Feed(Reply(0x39, {0}));
    ASSERT_EQ(empty.Boxes().Count(), 1u);
    EXPECT_EQ(empty.Boxes().Last().text, "没有记录!");  // the file's text in every language
    EXPECT_EQ(empty.Dlg().m_progressPos, 0);
    EXPECT_FALSE(empty.Dlg().IsTimerRunning(IDT_REPORT));
    EXPECT_TRUE(empty.Dlg().IsDlgItemEnabled(IDC_UPLOAD));  // nothing to wait for: ask again
}

}  // namespace

namespace {

// Random bytes with many start bytes among them: the receiver never holds more than one frame's
// bytes, and once the noise is over it finds the good frames that follow.
TEST_F(Parser, SurvivesArbitraryBytesAndFindsTheGoodFramesAfterThem)
{
    ConsoleHarness h(Language("1"));
    CQELDlg& d = h.Dlg();
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<unsigned char>(seed >> 24);
    };
    for (int round = 0; round < 200; ++round) {
        Bytes noise;
        const int n = next() % 120;
        for (int i = 0; i < n; ++i) noise.push_back(next() % 4 == 0 ? 0x10 : next());
        h.Feed(noise);
        ASSERT_GE(d.m_rxCount, 0);
        ASSERT_LT(d.m_rxCount, 100);
    }
    // Whatever frame the noise left open, 100 end bytes complete it; good frames then follow.
    h.Boxes().Clear();
    d.m_listRecords->DeleteAllItems();
    h.Feed(Bytes(100, 0x01));
    RecordSpec r;
    r.number = 1;
    r.note = "after noise";
    h.Feed(Concat({RecordReply(r), RecordReply(r)}));
    ASSERT_GE(d.m_listRecords->GetItemCount(), 1);
    EXPECT_EQ(d.m_listRecords->GetItemText(0, 13), "after noise");
}

}  // namespace
