// The maintenance and calibration commands: confirmations, the port test, the data bytes sent,
// and their effect on the simulated meter.
#include <cstring>

#include <gtest/gtest.h>

#include "core/serial_ports.h"
#include "resources/resource_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/test_support.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

using meter_sim::Bytes;

class Maintenance : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        saved = platform::SerialPortScanRoots();
    }
    void TearDown() override { platform::SerialPortScanRoots() = saved; }

    static ConsoleOptions Language(const std::string& item)
    {
        ConsoleOptions o;
        o.languageFile = ShippedLanguageFile(item);
        return o;
    }
    // The data bytes of the one command the meter received after `run`.
    static Bytes Sent(meter_sim::MeterSimulator& sim, const std::function<void()>& run)
    {
        sim.ClearCommandLog();
        run();
        // The window keeps handling the meter's bytes meanwhile, as its event loop would.
        if (!PumpUntil([&] { return sim.CommandCount() >= 1; }, 3000)) return {};
        return sim.Commands().front();
    }
    static void SetTimeEdits(CQELDlg& d, const char* y, const char* mo, const char* da, const char* h, const char* mi)
    {
        d.SetDlgItemText(IDC_EDIT_YEAR, y);
        d.SetDlgItemText(IDC_EDIT_MONTH, mo);
        d.SetDlgItemText(IDC_EDIT_DAY, da);
        d.SetDlgItemText(IDC_EDIT_HOUR, h);
        d.SetDlgItemText(IDC_EDIT_MINUTE, mi);
    }
    platform::SerialPortRoots saved;
};

TEST_F(Maintenance, SetTimeSendsTheLowBitsOfEachEditAndTheMeterKeepsTheClock)
{
    meter_sim::MeterSimulator sim;
    ConsoleHarness h(Language("0"));
    CQELDlg& d = h.Dlg();
    ASSERT_TRUE(h.OpenPort(sim.DevicePath()));
    SetTimeEdits(d, "24", "5", "31", "23", "59");
    Bytes frame = Sent(sim, [&] { d.OnBnClickedTimeSet(); });
    EXPECT_EQ(frame, (Bytes{0x10, 0x08, 0x0D, 0x18, 0x05, 0x1F, 0x17, 0x3B, 0x4D, 0x01}));
    ASSERT_TRUE(PumpUntil([&] { return h.Boxes().Count() >= 1; }));
    EXPECT_EQ(h.Boxes().Last().text, "TIME SET SUCESS!");
    ASSERT_TRUE(sim.Clock().has_value());
    EXPECT_EQ(sim.Clock()->minute, 59);

    struct Case {
        const char* text;
        unsigned char byte;
    } cases[] = {{"300", 44}, {"", 0}, {"  7x", 7}, {"-1", 0xFF}, {"+12", 12}, {"99999999999", 0xFF}, {"abc", 0}};
    for (const auto& c : cases) {
        SetTimeEdits(d, c.text, "1", "1", "1", "1");
        Bytes f = Sent(sim, [&] { d.OnBnClickedTimeSet(); });
        ASSERT_EQ(f.size(), 10u) << c.text;
        EXPECT_EQ(f[3], c.byte) << "'" << c.text << "'";
    }
}

TEST_F(Maintenance, CalibrationSendsTheWavelengthAndTheFloatAndTheMeterStoresIt)
{
    meter_sim::MeterSimulator sim;
    ConsoleHarness h(Language("0"));
    CQELDlg& d = h.Dlg();
    ASSERT_TRUE(h.OpenPort(sim.DevicePath()));
    d.SetDlgItemText(IDC_EDIT_CALVALUE, "-10.5");
    d.OnBnClicked1550();
    Bytes frame = Sent(sim, [&] { d.OnBnClickedPowerCalibrate(); });
    ASSERT_EQ(frame.size(), 10u);
    EXPECT_EQ(Bytes(frame.begin() + 2, frame.begin() + 8), (Bytes{0x26, 0x02, 0x00, 0x00, 0x28, 0xC1}));
    ASSERT_TRUE(PumpUntil([&] { return h.Boxes().Count() >= 2; }));
    EXPECT_EQ(h.Boxes().Boxes()[0].text, "A you sure?");
    EXPECT_EQ(h.Boxes().Boxes()[0].style & MB_TYPEMASK, MB_OKCANCEL);
    EXPECT_EQ(h.Boxes().Boxes()[1].text, "校准成功!");
    EXPECT_EQ(sim.Calibration()[2], -10.5f);
    EXPECT_EQ(d.m_calValueSent, -10.5f);

    // FTCAL: the same bytes under its own code, at 1490 nm.
    d.OnBnClicked1490();
    d.SetDlgItemText(IDC_EDIT_CALVALUE, "3.25");
    frame = Sent(sim, [&] { d.OnBnClickedFtcal(); });
    ASSERT_EQ(frame.size(), 10u);
    EXPECT_EQ(frame[2], 0x13);
    EXPECT_EQ(frame[3], 0x01);
    EXPECT_TRUE(PumpUntil([&] { return sim.Ftcal()[1].has_value(); }));
    EXPECT_EQ(sim.Ftcal()[1], 3.25f);
}

TEST_F(Maintenance, AnUnreadableCalibrationValuePromptsAndThePreviousOneIsUsed)
{
    meter_sim::MeterSimulator sim;
    ConsoleHarness h(Language("0"));
    CQELDlg& d = h.Dlg();
    ASSERT_TRUE(h.OpenPort(sim.DevicePath()));
    d.SetDlgItemText(IDC_EDIT_CALVALUE, "-7.5");
    d.UpdateData(TRUE);
    d.SetDlgItemText(IDC_EDIT_CALVALUE, "minus ten");
    Bytes frame = Sent(sim, [&] { d.OnBnClickedPowerCalibrate(); });
    ASSERT_GE(h.Boxes().Count(), 2u);
    EXPECT_EQ(h.Boxes().Boxes()[0].text, "请输入一个数字。");
    EXPECT_EQ(h.Boxes().Boxes()[1].text, "A you sure?");
    float sent = 0;
    ASSERT_EQ(frame.size(), 10u);
    std::memcpy(&sent, &frame[4], 4);
    EXPECT_EQ(sent, -7.5f);
}

TEST_F(Maintenance, DeleteAllAndResetConfirmTestThePortAndSend)
{
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(4);
    meter_sim::MeterSimulator sim(options);
    ConsoleHarness h(Language("0"));
    CQELDlg& d = h.Dlg();

    // Closed port: the question first, then the not-open message; nothing sent.
    d.OnBnClickedDeleteAll();
    ASSERT_EQ(h.Boxes().Count(), 2u);
    EXPECT_EQ(h.Boxes().Boxes()[0].text, "DELETE ALL DATA?");
    EXPECT_EQ(h.Boxes().Boxes()[0].caption, "QEL");
    EXPECT_EQ(h.Boxes().Boxes()[1].text, "COM IS NOT OPEN!");
    h.Boxes().Clear();

    ASSERT_TRUE(h.OpenPort(sim.DevicePath()));
    // Cancel sends nothing and says nothing more.
    h.Boxes().Script({IDCANCEL, IDCANCEL});
    d.OnBnClickedDeleteAll();
    d.OnBnClickedReset();
    EXPECT_EQ(h.Boxes().Count(), 2u);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(sim.CommandCount(), 0u);

    Bytes frame = Sent(sim, [&] { d.OnBnClickedDeleteAll(); });
    EXPECT_EQ(frame, (Bytes{0x10, 0x03, 0x09, 0xE4, 0x01}));
    ASSERT_TRUE(PumpUntil([&] { return h.Texts().back() == "DEL ALL!"; }));
    EXPECT_TRUE(sim.Records().empty());

    frame = Sent(sim, [&] { d.OnBnClickedReset(); });
    EXPECT_EQ(frame, (Bytes{0x10, 0x03, 0x11, 0xDC, 0x01}));
    ASSERT_TRUE(PumpUntil([&] { return h.Texts().back() == "OK"; }));
    EXPECT_EQ(sim.ResetCount(), 1);
}

TEST_F(Maintenance, ResetIsSentAs0x28WithTheChineseTexts)
{
    meter_sim::MeterSimulator sim;
    ConsoleHarness h(Language("1"));
    ASSERT_TRUE(h.OpenPort(sim.DevicePath()));
    Bytes frame = Sent(sim, [&] { h.Dlg().OnBnClickedReset(); });
    EXPECT_EQ(frame, (Bytes{0x10, 0x03, 0x28, 0xC5, 0x01}));
    EXPECT_EQ(h.Boxes().Boxes()[0].text, "恢复出厂设置");
    EXPECT_TRUE(PumpUntil([&] { return sim.ResetCount() == 1; }));
}

TEST_F(Maintenance, WithoutALanguageTheConfirmingCommandsDoNothing)
{
    meter_sim::MeterSimulator sim;
    ConsoleHarness h(Language("7"));
    CQELDlg& d = h.Dlg();
    ASSERT_TRUE(h.OpenPort(sim.DevicePath()));
    d.OnBnClickedDeleteAll();
    d.OnBnClickedReset();
    d.OnBnClickedPowerCalibrate();
    d.OnBnClickedFtcal();
    EXPECT_EQ(h.Boxes().Count(), 0u);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(sim.CommandCount(), 0u);
    // Set time sends all the same.
    SetTimeEdits(d, "21", "12", "20", "9", "5");
    EXPECT_EQ(Sent(sim, [&] { d.OnBnClickedTimeSet(); }), (Bytes{0x10, 0x08, 0x0D, 0x15, 0x0C, 0x14, 0x09, 0x05, 0x98, 0x01}));
}

TEST_F(Maintenance, ItalianAsksTheCalibrationQuestionInEnglishAndTheDoubleClickSendsTheValueAlone)
{
    meter_sim::MeterSimulator sim;
    ConsoleHarness h(Language("2"));
    CQELDlg& d = h.Dlg();
    // Before any port was opened the double click writes nothing and nothing breaks.
    d.OnBnDoubleclickedPowerCalibrate();
    ASSERT_TRUE(h.OpenPort(sim.DevicePath()));
    d.SetDlgItemText(IDC_EDIT_CALVALUE, "-10.5");
    Bytes frame = Sent(sim, [&] { d.OnBnClickedPowerCalibrate(); });
    EXPECT_EQ(h.Boxes().Boxes()[0].text, "A you sure?");
    ASSERT_EQ(frame.size(), 10u);
    EXPECT_EQ(frame[3], 0x00);  // 1310 nm until a wavelength is chosen

    frame = Sent(sim, [&] { d.OnBnDoubleclickedPowerCalibrate(); });
    EXPECT_EQ(frame, (Bytes{0x10, 0x07, 0x26, 0x00, 0x00, 0x28, 0xC1, 0xDA, 0x01}));
    EXPECT_TRUE(PumpUntil([&] { return sim.CalibrationWithoutWavelength().has_value(); }));
}

}  // namespace
