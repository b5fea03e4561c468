// The simulator on its pty, driven by a raw client on the slave side.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "tests/tools/pty_client.h"
#include "tools/sim/meter_sim.h"

namespace {

using namespace std::chrono_literals;
using sim_test::B;
using sim_test::Bytes;
using sim_test::Frame;
using sim_test::PtyClient;

const Bytes kConnect = B({0x10, 0x03, 0x01, 0xEC, 0x01});
const Bytes kDisconnect = B({0x10, 0x03, 0x50, 0x9D, 0x01});
const Bytes kUpload = B({0x10, 0x03, 0x38, 0xB5, 0x01});
const Bytes kDeleteAll = B({0x10, 0x03, 0x09, 0xE4, 0x01});
const Bytes kReset = B({0x10, 0x03, 0x11, 0xDC, 0x01});
const Bytes kResetChinese = B({0x10, 0x03, 0x28, 0xC5, 0x01});
const Bytes kSetTime = B({0x10, 0x08, 0x0D, 0x15, 0x0C, 0x14, 0x09, 0x05, 0x98, 0x01});
const Bytes kCalibrate1310 = B({0x10, 0x08, 0x26, 0x00, 0x00, 0x00, 0x28, 0xC1, 0xD9, 0x01});
const Bytes kDisconnected = B({0x10, 0x03, 0x51, 0x9C, 0x01});
const Bytes kUploadEndRecords = B({0x10, 0x04, 0x39, 0x01, 0xB2, 0x01});
const Bytes kUploadEndNone = B({0x10, 0x04, 0x39, 0x00, 0xB3, 0x01});

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The connect reply for an identification text, built by hand.
Bytes ConnectedReply(const std::string& id)
{
    Bytes data{static_cast<std::uint8_t>(id.size())};
    data.insert(data.end(), id.begin(), id.end());
    return Frame(0x02, data);
}

class SimulatorTest : public ::testing::Test {
protected:
    void Start(meter_sim::Options options = DefaultOptions())
    {
        client_.reset();
        sim_.reset();
        sim_ = std::make_unique<meter_sim::MeterSimulator>(std::move(options));
        client_ = std::make_unique<PtyClient>(sim_->DevicePath());
        ASSERT_TRUE(client_->IsOpen()) << sim_->DevicePath();
    }
    void SetUp() override { Start(); }

    static meter_sim::Options DefaultOptions()
    {
        meter_sim::Options o;
        o.records = meter_sim::SampleRecords(3);
        return o;
    }

    // Sends a command and reads exactly the expected number of reply bytes.
    Bytes Exchange(const Bytes& command, std::size_t replyBytes)
    {
        EXPECT_TRUE(client_->Write(command));
        return client_->Read(replyBytes);
    }

    // Proves that nothing was answered to the commands before: the next bytes are the disconnect reply.
    void ExpectNoReplyBefore() { EXPECT_EQ(Exchange(kDisconnect, 5), kDisconnected); }

    std::unique_ptr<meter_sim::MeterSimulator> sim_;
    std::unique_ptr<PtyClient> client_;
};

// --- plain commands and their replies ---------------------------------------------------------

struct ReplyCase {
    const char* name;
    Bytes command;
    Bytes reply;
};

class SimulatorReplyTest : public SimulatorTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(SimulatorReplyTest, AnswersWithTheReplyFrame)
{
    const ReplyCase& c = GetParam();
    EXPECT_EQ(Exchange(c.command, c.reply.size()), c.reply);
    ASSERT_TRUE(sim_->WaitForCommands(1, 5s));
    EXPECT_EQ(sim_->Commands(), std::vector<Bytes>{c.command});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SimulatorReplyTest,
    ::testing::Values(ReplyCase{"connect", kConnect,
                                B({0x10, 0x0D, 0x02, 0x09, 'O', 'P', 'M', '-', '3', ' ', 'S', 'I', 'M', 0x83, 0x01})},
                      ReplyCase{"disconnect", kDisconnect, kDisconnected},
                      ReplyCase{"delete_all", kDeleteAll, B({0x10, 0x03, 0x0A, 0xE3, 0x01})},
                      ReplyCase{"set_time", kSetTime, B({0x10, 0x03, 0x0E, 0xDF, 0x01})},
                      ReplyCase{"calibrate", kCalibrate1310, B({0x10, 0x03, 0x27, 0xC6, 0x01})},
                      ReplyCase{"calibrate_without_wavelength", Frame(0x26, B({0x00, 0x00, 0x28, 0xC1})),
                                B({0x10, 0x03, 0x27, 0xC6, 0x01})},
                      ReplyCase{"ftcal", Frame(0x13, B({0x01, 0x00, 0x00, 0x28, 0xC1})),
                                B({0x10, 0x03, 0x14, 0xD9, 0x01})},
                      ReplyCase{"reset", kReset, B({0x10, 0x03, 0x12, 0xDB, 0x01})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatorTest, ConnectReplyCarriesTheIdentificationText)
{
    const Bytes reply = Exchange(kConnect, 15);
    EXPECT_EQ(reply, ConnectedReply("OPM-3 SIM"));
    EXPECT_TRUE(sim_test::ChecksumOk(reply));

    sim_->SetIdentification("");
    EXPECT_EQ(Exchange(kConnect, 6), B({0x10, 0x04, 0x02, 0x00, 0xEA, 0x01}));

    sim_->SetIdentification(std::string(200, 'X'));  // kept within one 100-byte frame
    EXPECT_EQ(sim_->Identification().size(), 94u);
    const Bytes longReply = Exchange(kConnect, 100);
    EXPECT_EQ(longReply, ConnectedReply(std::string(94, 'X')));
}

TEST_F(SimulatorTest, UploadSendsOneRecordFramePerRecordThenTheEndFrame)
{
    const auto records = sim_->Records();
    ASSERT_EQ(records.size(), 3u);
    const Bytes stream = Exchange(kUpload, 3 * 64 + 6);
    ASSERT_EQ(stream.size(), 198u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Bytes f(stream.begin() + 64 * i, stream.begin() + 64 * (i + 1));
        const auto& r = records[i];
        EXPECT_EQ(f[0], 0x10);
        EXPECT_EQ(f[1], 62);
        EXPECT_EQ(f[2], 0x38);
        EXPECT_EQ(Bytes(f.begin() + 3, f.begin() + 8), B({r.year, r.month, r.day, r.hour, r.minute}));
        for (int v = 0; v < 9; ++v) EXPECT_EQ(sim_test::FloatAt(f, 8 + 4 * v), r.values[v]) << v;
        ASSERT_EQ(f[44], r.note.size());
        EXPECT_EQ(std::string(f.begin() + 45, f.begin() + 45 + f[44]), r.note);
        for (std::size_t p = 45 + f[44]; p < 61; ++p) EXPECT_EQ(f[p], 0) << p;
        EXPECT_EQ(f[61], i + 1);
        EXPECT_TRUE(sim_test::ChecksumOk(f));
        EXPECT_EQ(f[63], 0x01);
    }
    EXPECT_EQ(Bytes(stream.end() - 6, stream.end()), kUploadEndRecords);
    EXPECT_TRUE(sim_->WaitForFramesSent(4, 5s));
    ExpectNoReplyBefore();
}

TEST_F(SimulatorTest, DeleteAllEmptiesTheRecordsAndTheNextUploadHasNone)
{
    EXPECT_EQ(Exchange(kDeleteAll, 5), B({0x10, 0x03, 0x0A, 0xE3, 0x01}));
    EXPECT_TRUE(sim_->Records().empty());
    EXPECT_EQ(Exchange(kUpload, 6), kUploadEndNone);
    ExpectNoReplyBefore();
}

TEST_F(SimulatorTest, SetTimeStoresTheClock)
{
    EXPECT_FALSE(sim_->Clock().has_value());
    Exchange(kSetTime, 5);
    ASSERT_TRUE(sim_->Clock().has_value());
    EXPECT_EQ(*sim_->Clock(), (meter_sim::SimClock{21, 12, 20, 9, 5}));

    Exchange(Frame(0x0D, B({0x18, 0x05, 0x1F, 0x17, 0x3B})), 5);
    EXPECT_EQ(*sim_->Clock(), (meter_sim::SimClock{24, 5, 31, 23, 59}));
}

TEST_F(SimulatorTest, CalibrationValuesAreKeptPerWavelength)
{
    Exchange(kCalibrate1310, 5);
    auto cal = sim_->Calibration();
    ASSERT_TRUE(cal[0].has_value());
    EXPECT_EQ(*cal[0], -10.5f);
    EXPECT_FALSE(cal[1].has_value());
    EXPECT_FALSE(cal[2].has_value());

    // -10.5 at 1550 nm: 02 00 00 28 C1.
    Exchange(Frame(0x26, B({0x02, 0x00, 0x00, 0x28, 0xC1})), 5);
    cal = sim_->Calibration();
    ASSERT_TRUE(cal[2].has_value());
    EXPECT_EQ(*cal[2], -10.5f);

    // The 4-byte form has no wavelength; it touches no wavelength's value.
    Bytes loose = sim_test::FloatBytes(1.25f);
    Exchange(Frame(0x26, loose), 5);
    ASSERT_TRUE(sim_->CalibrationWithoutWavelength().has_value());
    EXPECT_EQ(*sim_->CalibrationWithoutWavelength(), 1.25f);
    EXPECT_EQ(sim_->Calibration(), cal);

    Bytes ft = B({0x01});
    const Bytes value = sim_test::FloatBytes(-0.75f);
    ft.insert(ft.end(), value.begin(), value.end());
    Exchange(Frame(0x13, ft), 5);
    const auto ftcal = sim_->Ftcal();
    EXPECT_FALSE(ftcal[0].has_value());
    ASSERT_TRUE(ftcal[1].has_value());
    EXPECT_EQ(*ftcal[1], -0.75f);
    EXPECT_EQ(sim_->Calibration(), cal);  // FTCAL values are kept apart
}

TEST_F(SimulatorTest, MalformedDataBytesChangeNothingAndGetNoReply)
{
    const std::vector<Bytes> commands = {
        Frame(0x26, B({0x03, 0x00, 0x00, 0x28, 0xC1})),  // no such wavelength
        Frame(0x13, B({0x00, 0x28, 0xC1})),              // too short
        Frame(0x0D, B({0x15, 0x0C, 0x14, 0x09})),        // set time needs five bytes
        Frame(0x13, B({0x07, 0x00, 0x00, 0x28, 0xC1})),
        Frame(0x29),  // not a command of the meter
    };
    for (const auto& c : commands) ASSERT_TRUE(client_->Write(c));
    ExpectNoReplyBefore();
    EXPECT_EQ(sim_->Calibration(), (std::array<std::optional<float>, 3>{}));
    EXPECT_EQ(sim_->Ftcal(), (std::array<std::optional<float>, 3>{}));
    EXPECT_FALSE(sim_->Clock().has_value());
    EXPECT_FALSE(sim_->CalibrationWithoutWavelength().has_value());
    auto log = sim_->Commands();
    ASSERT_EQ(log.size(), commands.size() + 1);  // logged all the same
    log.pop_back();
    EXPECT_EQ(log, commands);
}

TEST_F(SimulatorTest, ResetRestoresTheStartingState)
{
    const auto startRecords = sim_->Records();
    Exchange(kDeleteAll, 5);
    Exchange(kSetTime, 5);
    Exchange(kCalibrate1310, 5);
    Exchange(Frame(0x13, B({0x02, 0x00, 0x00, 0x28, 0xC1})), 5);
    Exchange(Frame(0x26, sim_test::FloatBytes(2.0f)), 5);
    sim_->SetIdentification("CHANGED");

    EXPECT_EQ(Exchange(kReset, 5), B({0x10, 0x03, 0x12, 0xDB, 0x01}));
    EXPECT_EQ(sim_->Records(), startRecords);
    EXPECT_EQ(sim_->Identification(), "OPM-3 SIM");
    EXPECT_FALSE(sim_->Clock().has_value());
    EXPECT_EQ(sim_->Calibration(), (std::array<std::optional<float>, 3>{}));
    EXPECT_EQ(sim_->Ftcal(), (std::array<std::optional<float>, 3>{}));
    EXPECT_FALSE(sim_->CalibrationWithoutWavelength().has_value());
    EXPECT_EQ(sim_->ResetCount(), 1);
}

TEST_F(SimulatorTest, ChineseResetCodeResetsWithoutAReply)
{
    Exchange(kDeleteAll, 5);
    Exchange(kSetTime, 5);
    ASSERT_TRUE(client_->Write(kResetChinese));
    ExpectNoReplyBefore();
    EXPECT_EQ(sim_->ResetCount(), 1);
    EXPECT_EQ(sim_->Records().size(), 3u);
    EXPECT_FALSE(sim_->Clock().has_value());
}

// --- reception: what the command log holds and how the decoder resynchronises ------------------

TEST_F(SimulatorTest, TheLogHoldsExactlyTheCommandFramesInOrder)
{
    const Bytes together = Concat({kConnect, kSetTime, kCalibrate1310});
    ASSERT_TRUE(client_->Write(together));
    ASSERT_TRUE(sim_->WaitForCommands(3, 5s));
    EXPECT_EQ(sim_->Commands(), (std::vector<Bytes>{kConnect, kSetTime, kCalibrate1310}));
    EXPECT_EQ(sim_->CommandCount(), 3u);
    EXPECT_EQ(client_->Read(15 + 5 + 5), Concat({ConnectedReply("OPM-3 SIM"), Frame(0x0E), Frame(0x27)}));
    sim_->ClearCommandLog();
    EXPECT_EQ(sim_->CommandCount(), 0u);
    EXPECT_FALSE(sim_->WaitForCommands(1, 10ms));
}

TEST_F(SimulatorTest, ACommandWrittenByteByByteIsDecoded)
{
    for (std::uint8_t b : kSetTime) {
        ASSERT_TRUE(client_->Write(Bytes{b}));
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(client_->Read(5), Frame(0x0E));
    EXPECT_EQ(sim_->Commands(), std::vector<Bytes>{kSetTime});
}

struct NoiseCase {
    const char* name;
    Bytes noise;  // sent before a good connect command
};

class SimulatorNoiseTest : public SimulatorTest, public ::testing::WithParamInterface<NoiseCase> {};

TEST_P(SimulatorNoiseTest, TheGoodCommandBehindTheNoiseIsAnswered)
{
    ASSERT_TRUE(client_->Write(Concat({GetParam().noise, kConnect})));
    EXPECT_EQ(client_->Read(15), ConnectedReply("OPM-3 SIM"));
    ExpectNoReplyBefore();
    EXPECT_EQ(sim_->Commands(), (std::vector<Bytes>{kConnect, kDisconnect}));
}

INSTANTIATE_TEST_SUITE_P(
    Resync, SimulatorNoiseTest,
    ::testing::Values(NoiseCase{"garbage", B({0x00, 0xFF, 0x55, 0x01, 0xAA})},
                      NoiseCase{"bad_checksum", B({0x10, 0x03, 0x01, 0xED, 0x01})},
                      NoiseCase{"bad_end_byte", B({0x10, 0x03, 0x50, 0x9D, 0x02})},
                      NoiseCase{"length_too_small", B({0x10, 0x02, 0xEE, 0x00, 0x01})},
                      NoiseCase{"length_too_large", B({0x10, 0x7F, 0x01})},
                      // A stray start byte announcing a long frame: only the line going quiet reveals it.
                      NoiseCase{"stray_start_byte", B({0x10})},
                      NoiseCase{"truncated_command", B({0x10, 0x08, 0x0D, 0x15, 0x0C})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatorTest, TheConsoleMayCloseAndReopenTheSlave)
{
    EXPECT_EQ(Exchange(kConnect, 15), ConnectedReply("OPM-3 SIM"));
    for (int i = 0; i < 3; ++i) {
        client_->Close();
        client_->Open(sim_->DevicePath());
        ASSERT_TRUE(client_->IsOpen());
        EXPECT_EQ(Exchange(kDisconnect, 5), kDisconnected) << i;
    }
    EXPECT_FALSE(sim_->HungUp());
}

// --- faults -----------------------------------------------------------------------------------

TEST_F(SimulatorTest, BadChecksumFaultSpoilsOnlyTheChosenRecord)
{
    meter_sim::Faults faults;
    faults.badChecksumRecord = 2;
    sim_->SetFaults(faults);
    const Bytes stream = Exchange(kUpload, 198);
    ASSERT_EQ(stream.size(), 198u);
    for (std::size_t i = 0; i < 3; ++i) {
        const Bytes f(stream.begin() + 64 * i, stream.begin() + 64 * (i + 1));
        EXPECT_EQ(sim_test::ChecksumOk(f), i != 1) << i;
        EXPECT_EQ(f[61], i + 1);
        EXPECT_EQ(f[63], 0x01);
    }
    EXPECT_EQ(Bytes(stream.end() - 6, stream.end()), kUploadEndRecords);
    ExpectNoReplyBefore();
}

TEST_F(SimulatorTest, TruncateFaultCutsTheChosenRecordShort)
{
    meter_sim::Faults faults;
    faults.truncateRecord = 2;
    faults.truncateBytes = 10;
    sim_->SetFaults(faults);
    const Bytes stream = Exchange(kUpload, 198 - 10);
    ASSERT_EQ(stream.size(), 188u);
    const Bytes whole = meter_sim::BuildRecordFrame(sim_->Records()[1]);
    EXPECT_EQ(Bytes(stream.begin() + 64, stream.begin() + 64 + 54), Bytes(whole.begin(), whole.begin() + 54));
    const Bytes third(stream.begin() + 118, stream.begin() + 182);
    EXPECT_TRUE(sim_test::ChecksumOk(third));
    EXPECT_EQ(third[61], 3);
    EXPECT_EQ(Bytes(stream.end() - 6, stream.end()), kUploadEndRecords);
    ExpectNoReplyBefore();
}

TEST_F(SimulatorTest, GarbageFaultPutsStrayBytesBetweenFrames)
{
    meter_sim::Faults faults;
    faults.garbage = true;
    faults.garbageBytes = B({0x00, 0xFF, 0x55});
    sim_->SetFaults(faults);
    const Bytes stream = Exchange(kUpload, 4 * 3 + 198);
    ASSERT_EQ(stream.size(), 210u);
    std::size_t at = 0;
    for (int frame = 0; frame < 4; ++frame) {
        SCOPED_TRACE(frame);
        EXPECT_EQ(Bytes(stream.begin() + at, stream.begin() + at + 3), faults.garbageBytes);
        at += 3;
        const std::size_t size = frame < 3 ? 64 : 6;
        const Bytes f(stream.begin() + at, stream.begin() + at + size);
        EXPECT_TRUE(sim_test::ChecksumOk(f));
        at += size;
    }
    sim_->SetFaults({});
    ExpectNoReplyBefore();
}

struct HangUpCase {
    int after;
    std::size_t recordBytes;
};

class SimulatorHangUpTest : public SimulatorTest, public ::testing::WithParamInterface<HangUpCase> {};

TEST_P(SimulatorHangUpTest, HangsUpAfterTheChosenNumberOfRecords)
{
    meter_sim::Faults faults;
    faults.hangupAfterRecords = GetParam().after;
    sim_->SetFaults(faults);
    ASSERT_TRUE(client_->Write(kUpload));
    const Bytes stream = client_->Read(1000, 5s);
    EXPECT_TRUE(client_->HungUp() || client_->WaitHangUp());
    ASSERT_EQ(stream.size(), GetParam().recordBytes);
    for (std::size_t i = 0; i * 64 < stream.size(); ++i)
        EXPECT_TRUE(sim_test::ChecksumOk(Bytes(stream.begin() + 64 * i, stream.begin() + 64 * (i + 1))));
    EXPECT_TRUE(sim_->WaitForHangUp(5s));
    EXPECT_TRUE(sim_->HungUp());
}

INSTANTIATE_TEST_SUITE_P(Faults, SimulatorHangUpTest,
                         ::testing::Values(HangUpCase{0, 0}, HangUpCase{1, 64}, HangUpCase{3, 192}),
                         [](const auto& info) { return "after_" + std::to_string(info.param.after); });

TEST_F(SimulatorTest, DelayFaultHoldsTheReplyBack)
{
    meter_sim::Faults faults;
    faults.replyDelay = 150ms;
    sim_->SetFaults(faults);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Exchange(kDisconnect, 5), kDisconnected);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);  // a lower bound only
}

TEST_F(SimulatorTest, PacedUploadSendsTheSameBytesAtTheLineRate)
{
    const Bytes unpaced = Exchange(kUpload, 198);
    sim_->SetPacing(true);
    const auto start = std::chrono::steady_clock::now();
    const Bytes paced = Exchange(kUpload, 198);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(paced, unpaced);
    // 198 bytes at 3840 bytes/s need 51 ms of line time: a physical lower bound.
    EXPECT_GE(elapsed, 40ms);
}

TEST(SimulatorLifetime, StopsInTheMiddleOfAPacedUpload)
{
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(127);  // about 2 s of line time
    options.pace = true;
    auto sim = std::make_unique<meter_sim::MeterSimulator>(std::move(options));
    PtyClient client(sim->DevicePath());
    ASSERT_TRUE(client.Write(kUpload));
    EXPECT_EQ(client.Read(64).size(), 64u);
    sim.reset();  // joins the service thread while it waits on the line
    EXPECT_TRUE(client.WaitHangUp());
}

TEST(SimulatorLifetime, StopsWhileNobodyReadsAndThePtyIsFull)
{
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(127);
    auto sim = std::make_unique<meter_sim::MeterSimulator>(std::move(options));
    {
        PtyClient client(sim->DevicePath());
        for (int i = 0; i < 40; ++i) ASSERT_TRUE(client.Write(kUpload));  // ~330 KB of replies
        ASSERT_TRUE(sim->WaitForCommands(1, 5s));
    }
    // It is blocked on the full line, not done: the destructor has to interrupt the write.
    EXPECT_LT(sim->FramesSent(), 40u * 128u);
    sim.reset();
}

}  // namespace
