// Port selection, open and close, connect and disconnect, against simulated meters.
#include <gtest/gtest.h>
#include <wx/gauge.h>
#include <wx/odcombo.h>
#include <wx/statbmp.h>

#include "console/QELApp.h"
#include "core/serial_ports.h"
#include "resources/resource_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/test_support.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

class Ports : public MeterConsoleTest {
protected:
    void SetUp() override
    {
        MeterConsoleTest::SetUp();
        auto& roots = core::SerialPortScanRoots();
        roots.sysClassTty = sysRoot.Path();  // an empty tree: only the listed simulators
        roots.extra.clear();
    }
    static std::vector<std::string> Listed(CQELDlg& d)
    {
        std::vector<std::string> names;
        for (unsigned i = 0; i < d.m_comboPort->GetCount(); ++i)
            names.push_back(d.m_comboPort->GetString(i).utf8_string());
        return names;
    }
    // The list's text of each path, in order.
    static std::vector<std::string> Shown(std::initializer_list<std::string> paths)
    {
        std::vector<std::string> names;
        for (const std::string& p : paths) names.push_back(CQELDlg::PortListText(p));
        return names;
    }
    static bool WaitClosed(CQELDlg& d)
    {
        return PumpUntil([&] { return !d.m_serialPort.IsOpen(); }, 3000);
    }
    TempDir sysRoot;
};

TEST_F(Ports, DropDownFillsTheListWhenTheNumberOfPortsChanges)
{
    meter_sim::MeterSimulator a, b, c;
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    EXPECT_EQ(d.m_comboPort->GetCount(), 0u);

    d.OnCbnDropdownComPort();  // no ports at all
    EXPECT_EQ(d.m_comboPort->GetCount(), 0u);
    d.OnBnClickedOpenCom();
    ASSERT_EQ(h.Boxes().Count(), 1u);
    EXPECT_EQ(h.Boxes().Last().text, "PLEASE SELSECT THE COM PORT!");
    EXPECT_EQ(h.Boxes().Last().caption, CQELApp::AppTitle());
    EXPECT_EQ(h.Boxes().Last().style & MB_ICONMASK, MB_ICONEXCLAMATION);

    core::SerialPortScanRoots().extra = {a.DevicePath(), b.DevicePath()};
    d.OnCbnDropdownComPort();
    EXPECT_EQ(Listed(d), Shown({a.DevicePath(), b.DevicePath()}));
    EXPECT_EQ(d.m_portCount, 2);

    // Same number, another port: the list keeps the old name, the table has the new one.
    core::SerialPortScanRoots().extra = {a.DevicePath(), c.DevicePath()};
    d.OnCbnDropdownComPort();
    EXPECT_EQ(Listed(d), Shown({a.DevicePath(), b.DevicePath()}));
    d.m_comboPort->SetSelection(1);
    d.OnBnClickedOpenCom();
    ASSERT_TRUE(d.m_serialPort.IsOpen());
    EXPECT_EQ(d.m_serialPort.GetPortName(), c.DevicePath());

    // A port removed drops out at the next drop-down, which also closes the open port.
    core::SerialPortScanRoots().extra = {a.DevicePath()};
    d.OnCbnDropdownComPort();
    EXPECT_EQ(Listed(d), Shown({a.DevicePath()}));
    EXPECT_FALSE(d.m_portOpened);
    EXPECT_FALSE(d.m_portToggle);
    EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "OPEN COM");
    EXPECT_TRUE(WaitClosed(d));
}

TEST_F(Ports, OpenAndCloseToggleCaptionIconAndFlags)
{
    auto [sim, h, opened] = Connect();
    CQELDlg& d = h.Dlg();
    ASSERT_TRUE(opened);
    EXPECT_TRUE(d.m_portOpened);
    EXPECT_TRUE(d.m_portToggle);
    EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "CLOSE COM");
    EXPECT_EQ(StateIconShown(d.m_iconPort), 130);
    EXPECT_EQ(h.Boxes().Count(), 0u);

    d.OnBnClickedOpenCom();  // close
    EXPECT_FALSE(d.m_portOpened);
    EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "OPEN COM");
    EXPECT_EQ(StateIconShown(d.m_iconPort), 131);
    EXPECT_TRUE(WaitClosed(d));

    d.OnBnClickedOpenCom();  // and open again
    EXPECT_TRUE(d.m_serialPort.IsOpen());
    EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "CLOSE COM");
    EXPECT_EQ(StateIconShown(d.m_iconPort), 130);

    d.OnCbnDropdownComPort();  // dropping the list down closes the port
    EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "OPEN COM");
    EXPECT_EQ(StateIconShown(d.m_iconPort), 131);
    EXPECT_TRUE(WaitClosed(d));
    EXPECT_EQ(StateIconShown(d.m_iconMeter), 133) << "the meter icon is not the port's";
}

TEST_F(Ports, APortThatCannotBeOpenedIsSaidAndTheNextClickTriesAgain)
{
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    const std::string missing = h.Folder().File("ttyUSB9");
    EXPECT_FALSE(h.OpenPort(missing));
    ASSERT_EQ(h.Boxes().Count(), 1u);
    EXPECT_EQ(h.Boxes().Last().text, "COM CANN'T OPEN!");
    EXPECT_FALSE(d.m_portToggle);
    EXPECT_FALSE(d.m_portOpened);
    d.OnBnClickedOpenCom();
    EXPECT_EQ(h.Boxes().Count(), 2u);
    EXPECT_EQ(h.Boxes().Last().text, "COM CANN'T OPEN!");
}

TEST_F(Ports, CommandsWithoutAnOpenPortSayNotOpenInTheLanguage)
{
    struct Case {
        const char* item;
        const char* text;
    } cases[] = {{"0", "COM IS NOT OPEN!"}, {"1", "串口未打开!"}, {"2", "PORTA SERIALE NON APERTA!"}};
    for (const auto& c : cases) {
        ConsoleOptions o;
        o.languageFile = ShippedLanguageFile(c.item);
        ConsoleHarness h(o);
        h.Dlg().OnBnClickedConnect();
        h.Dlg().OnBnClickedDisconnect();
        h.Dlg().OnBnClickedUpload();
        ASSERT_EQ(h.Boxes().Count(), 3u) << c.item;
        for (const auto& box : h.Boxes().Boxes()) EXPECT_EQ(box.text, c.text);
    }
    ConsoleOptions none;
    none.languageFile = ShippedLanguageFile("9");
    ConsoleHarness h(none);
    h.Dlg().OnBnClickedConnect();
    h.Dlg().OnBnClickedOpenCom();
    EXPECT_EQ(h.Boxes().Count(), 0u);
}

// The meter's line hangs up during an upload: after the link's one box the window shows the port
// closed in the language (caption, icon 131) and the upload ended, as CLOSE COM leaves it.
TEST_F(Ports, APortThatWentAwayShowsClosedInTheLanguage)
{
    for (const char* item : {"0", "1", "2"}) {
        meter_sim::Options meter;
        meter.records = meter_sim::SampleRecords(3);
        meter.faults.hangupAfterRecords = 1;
        auto [sim, h, opened] = Connect(meter, Language(item));
        ASSERT_TRUE(opened) << item;
        CQELDlg& d = h.Dlg();
        const std::string closedCaption = d.m_language == 0   ? "OPEN COM"
                                          : d.m_language == 1 ? d.LanguageTexts.opencom
                                                              : "APRI COMUNICAZIONE";
        ASSERT_NE(d.GetDlgItemText(IDC_OPEN_COM), closedCaption) << item;
        d.OnBnClickedUpload();
        ASSERT_TRUE(PumpUntil([&] { return !d.m_portOpened; })) << item;
        EXPECT_EQ(h.Boxes().Count(), 1u) << item;
        EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), closedCaption) << item;
        EXPECT_EQ(StateIconShown(d.m_iconPort), 131) << item;
        EXPECT_FALSE(d.m_portToggle) << item;
        EXPECT_FALSE(d.m_serialPort.IsOpen()) << item;
        EXPECT_EQ(d.m_progress->GetValue(), 0) << item;
        EXPECT_TRUE(d.IsDlgItemEnabled(IDC_UPLOAD)) << item;
    }
}

TEST_F(Ports, WithoutALanguageOpeningWorksButTheCaptionStays)
{
    ConsoleOptions none;
    none.languageFile = kNoFile;
    auto [sim, h, opened] = Connect({}, none);
    ASSERT_TRUE(opened);
    EXPECT_EQ(h.Dlg().GetDlgItemText(IDC_OPEN_COM), "打開串口");
    EXPECT_EQ(h.Boxes().Count(), 0u);
}

}  // namespace
