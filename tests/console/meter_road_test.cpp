// The console against the meter simulator over a real pseudo-terminal: connect, disconnect and
// upload, with faults on the line.
#include <unistd.h>

#include <gtest/gtest.h>
#include <wx/gauge.h>

#include "resources/resource_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/test_support.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

class MeterRoad : public MeterConsoleTest {};

TEST_F(MeterRoad, ConnectGreetsAndKeepsTheIdentificationDisconnectSaysCut)
{
    meter_sim::Options options;
    options.identification = "OPM-3 SN1234";
    auto [sim, h, opened] = Connect(options);
    ASSERT_TRUE(opened);
    h.Dlg().OnBnClickedConnect();
    ASSERT_TRUE(PumpUntil([&] { return h.Boxes().Count() >= 1; }));
    EXPECT_EQ(h.Boxes().Last().text, "CONNECT SUCESS!");
    EXPECT_EQ(h.Dlg().m_strMeterId, "OPM-3 SN1234");
    h.Dlg().OnBnClickedDisconnect();
    ASSERT_TRUE(PumpUntil([&] { return h.Boxes().Count() >= 2; }));
    EXPECT_EQ(h.Boxes().Last().text, "CUT SUCESS!");
    ASSERT_EQ(sim.CommandCount(), 2u);
    EXPECT_EQ(sim.Commands()[0], (meter_sim::Bytes{0x10, 0x03, 0x01, 0xEC, 0x01}));
    EXPECT_EQ(sim.Commands()[1], (meter_sim::Bytes{0x10, 0x03, 0x50, 0x9D, 0x01}));
}

TEST_F(MeterRoad, UploadOfThreeRecordsFillsThreeRowsAndStartsTheReport)
{
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(3);
    auto [sim, h, opened] = Connect(options, Language("1"));
    ASSERT_TRUE(opened);
    ASSERT_TRUE(h.UploadAndWait());
    EXPECT_FALSE(h.Dlg().IsDlgItemEnabled(1011));
    auto& list = *h.Dlg().m_listRecords;
    ASSERT_EQ(list.GetItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const auto& r = options.records[static_cast<size_t>(i)];
        EXPECT_EQ(list.GetItemText(i, 0), std::to_string(r.number));
        EXPECT_EQ(list.GetItemText(i, 3), Format("%.2f", r.values[0]));
        EXPECT_EQ(list.GetItemText(i, 13), r.note.substr(0, 16));
    }
    EXPECT_EQ(h.Dlg().m_progressPos, 80);
    EXPECT_EQ(h.Boxes().Count(), 0u);
}

TEST_F(MeterRoad, ABadFrameChangesNothingAndTheNextGoodOneIsHandled)
{
    struct Case {
        const char* name;
        meter_sim::Faults faults;
        int rows;
    };
    meter_sim::Faults badsum;
    badsum.badChecksumRecord = 2;
    meter_sim::Faults garbage;
    garbage.garbage = true;
    std::vector<Case> cases = {{"bad checksum on record 2", badsum, 2}, {"garbage between frames", garbage, 3}};
    for (const auto& c : cases) {
        meter_sim::Options options;
        options.records = meter_sim::SampleRecords(3);
        options.faults = c.faults;
        auto [sim, h, opened] = Connect(options);
        ASSERT_TRUE(opened) << c.name;
        ASSERT_TRUE(h.UploadAndWait()) << c.name;
        EXPECT_EQ(h.Dlg().m_listRecords->GetItemCount(), c.rows) << c.name;
        EXPECT_EQ(h.Dlg().m_lastRecordNo, 3) << c.name;
    }
}

TEST_F(MeterRoad, ATruncatedRecordSwallowsTheNextFrameAndReceptionRecovers)
{
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(4);
    options.faults.truncateRecord = 2;
    auto [sim, h, opened] = Connect(options);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(h.UploadAndWait());
    // Record 2 is cut short and takes bytes of record 3 with it; both are lost, 1 and 4 arrive.
    EXPECT_EQ(h.Dlg().m_listRecords->GetItemCount(), 2);
    EXPECT_EQ(h.Dlg().m_listRecords->GetItemText(0, 0), "1");
    EXPECT_EQ(h.Dlg().m_listRecords->GetItemText(1, 0), "4");
}

// The meter's line hangs up in the middle of an upload: one box, then the window shows the port
// closed, as CLOSE COM leaves it, and the upload it cut off has ended; OPEN COM tries to open
// again. The meter is opened by a link that goes with its line, so its path is gone for good.
TEST_F(MeterRoad, AHangUpMidUploadIsReportedOnceAndThePortShowsClosed)
{
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(5);
    options.faults.hangupAfterRecords = 2;
    auto [sim, h, opened] = ConnectByLink(options);
    ASSERT_TRUE(opened);
    CQELDlg& d = h.Dlg();
    d.OnBnClickedUpload();
    ASSERT_TRUE(sim.WaitForHangUp(std::chrono::seconds(3)));
    ASSERT_EQ(unlink(MeterLink().c_str()), 0);
    ASSERT_TRUE(PumpUntil([&] { return h.Boxes().Count() >= 1 && !d.m_portOpened; }));
    PumpUntil([] { return false; }, 300);  // no further boxes pile up
    EXPECT_EQ(h.Boxes().Count(), 1u);
    EXPECT_EQ(h.Boxes().Last().caption, "Application Error");
    EXPECT_EQ(h.Boxes().Last().text.rfind("WARNING:  ReadFile() Failed", 0), 0u) << h.Boxes().Last().text;
    EXPECT_NE(h.Boxes().Last().text.find("Port: " + MeterLink() + "\n"), std::string::npos) << h.Boxes().Last().text;
    // A hang-up may discard what the line still held; never more than was sent arrives.
    EXPECT_LE(d.m_listRecords->GetItemCount(), 2);
    EXPECT_EQ(d.m_reportState, ReportState::Idle);
    EXPECT_FALSE(d.m_serialPort.IsOpen());
    EXPECT_FALSE(d.m_portToggle);
    EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "OPEN COM");
    EXPECT_EQ(StateIconShown(d.m_iconPort), 131);
    EXPECT_EQ(d.m_progress->GetValue(), 0);
    EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD));
    EXPECT_FALSE(d.IsTimerRunning(IDT_REPORT));

    // The port is gone: commands say so instead of writing to nothing.
    d.OnBnClickedConnect();
    ASSERT_EQ(h.Boxes().Count(), 2u);
    EXPECT_EQ(h.Boxes().Last().text, "COM IS NOT OPEN!");
    // One click on OPEN COM tries to open (the meter's line is gone for good here).
    d.OnBnClickedOpenCom();
    ASSERT_EQ(h.Boxes().Count(), 3u);
    EXPECT_EQ(h.Boxes().Last().text, "COM CANN'T OPEN!");
    EXPECT_FALSE(d.m_portToggle);
}

}  // namespace

namespace {

TEST_F(MeterRoad, UploadClickEmptiesTheTableZeroesTheBarAndDisablesItself)
{
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(2);
    auto [sim, h, opened] = Connect(options);
    ASSERT_TRUE(opened);
    CQELDlg& d = h.Dlg();
    d.m_listRecords->InsertItem(0, "old");
    d.m_lastRecordNo = 9;
    d.m_progressPos = 50;
    d.OnBnClickedUpload();
    EXPECT_EQ(d.m_listRecords->GetItemCount(), 0);
    EXPECT_EQ(d.m_lastRecordNo, 0);
    EXPECT_EQ(d.m_progress->GetValue(), 0);
    EXPECT_FALSE(d.IsDlgItemEnabled(1011));
    ASSERT_TRUE(PumpUntil([&] { return d.m_reportState == ReportState::Due; }));
    d.KillTimer(IDT_REPORT);
    EXPECT_EQ(sim.Commands().back(), (meter_sim::Bytes{0x10, 0x03, 0x38, 0xB5, 0x01}));
}

}  // namespace
