// The maintenance and calibration commands: confirmations, the port test, the data bytes sent,
// and their effect on the simulated meter.
#include <cstring>

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/test_support.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

using meter_sim::Bytes;

class Maintenance : public MeterConsoleTest {
protected:
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
};

TEST_F(Maintenance, SetTimeSendsTheLowBitsOfEachEditAndTheMeterKeepsTheClock)
{
    auto [sim, h, opened] = Connect({}, Language("0"));
    ASSERT_TRUE(opened);
    CQELDlg& d = h.Dlg();
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
    auto [sim, h, opened] = Connect({}, Language("0"));
    ASSERT_TRUE(opened);
    CQELDlg& d = h.Dlg();
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
    auto [sim, h, opened] = Connect({}, Language("0"));
    ASSERT_TRUE(opened);
    CQELDlg& d = h.Dlg();
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

// Each confirming command asks in the window's language, under the caption "QEL", with OK and
// Cancel and no icon, owned by the main window. Italian has no calibration question of its own.
TEST_F(Maintenance, ConfirmationsAskInTheLanguageWithTheirCaptionButtonsAndIcon)
{
    struct Case {
        const char* item;
        const char* deleteAll;
        const char* reset;
        const char* calibrate;
    } cases[] = {
        {"0", "DELETE ALL DATA?", "RESET THE INSTRUMENT?", "A you sure?"},
        {"1", "确认删除全部记录?", "恢复出厂设置", "确认进行校准?"},
        {"2", "CANCELLA DATI?", "AZZERA STRUMENTO?", "A you sure?"},
    };
    for (const auto& c : cases) {
        ConsoleHarness h(Language(c.item));
        CQELDlg& d = h.Dlg();
        h.Boxes().Script({IDCANCEL, IDCANCEL, IDCANCEL, IDCANCEL});
        d.OnBnClickedDeleteAll();
        d.OnBnClickedReset();
        d.OnBnClickedPowerCalibrate();
        d.OnBnClickedFtcal();
        const auto boxes = h.Boxes().Boxes();
        ASSERT_EQ(boxes.size(), 4u) << c.item;
        const char* texts[4] = {c.deleteAll, c.reset, c.calibrate, c.calibrate};
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(boxes[i].text, texts[i]) << c.item << " box " << i;
            EXPECT_EQ(boxes[i].caption, "QEL") << c.item << " box " << i;
            EXPECT_EQ(boxes[i].style & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL)) << c.item << " box " << i;
            EXPECT_EQ(boxes[i].style & MB_ICONMASK, 0u) << c.item << " box " << i;
            EXPECT_EQ(boxes[i].owner, &d) << c.item << " box " << i;
        }
    }
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
    auto [sim, h, opened] = Connect({}, Language("1"));
    ASSERT_TRUE(opened);
    Bytes frame = Sent(sim, [&] { h.Dlg().OnBnClickedReset(); });
    EXPECT_EQ(frame, (Bytes{0x10, 0x03, 0x28, 0xC5, 0x01}));
    EXPECT_EQ(h.Boxes().Boxes()[0].text, "恢复出厂设置");
    EXPECT_TRUE(PumpUntil([&] { return sim.ResetCount() == 1; }));
}

TEST_F(Maintenance, ItalianResetsWithTheCommandOfEnglish)
{
    auto [sim, h, opened] = Connect({}, Language("2"));
    ASSERT_TRUE(opened);
    Bytes frame = Sent(sim, [&] { h.Dlg().OnBnClickedReset(); });
    EXPECT_EQ(frame, (Bytes{0x10, 0x03, 0x11, 0xDC, 0x01}));
    EXPECT_EQ(h.Boxes().Boxes()[0].text, "AZZERA STRUMENTO?");
    EXPECT_TRUE(PumpUntil([&] { return sim.ResetCount() == 1; }));
}

TEST_F(Maintenance, WithoutALanguageTheConfirmingCommandsDoNothing)
{
    auto [sim, h, opened] = Connect({}, Language("7"));
    ASSERT_TRUE(opened);
    CQELDlg& d = h.Dlg();
    d.OnBnClickedDeleteAll();
    d.OnBnClickedReset();
    d.OnBnClickedPowerCalibrate();
    d.OnBnClickedFtcal();
    EXPECT_EQ(h.Boxes().Count(), 0u);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(sim.CommandCount(), 0u);
    // Set time sends all the same.
    SetTimeEdits(d, "21", "12", "20", "9", "5");
    EXPECT_EQ(Sent(sim, [&] { d.OnBnClickedTimeSet(); }),
              (Bytes{0x10, 0x08, 0x0D, 0x15, 0x0C, 0x14, 0x09, 0x05, 0x98, 0x01}));
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
