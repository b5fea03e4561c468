// The meter unplugged in the middle of an upload, as a person meets it on the shown window with
// real mouse events: one box tells it, the window then shows the port closed and the upload
// ended, and once the meter is plugged in again on the same path one click on OPEN COM, CONNECT
// and UPLOAD DATA make the report. The boxes are the program's real ones.
#include <stdio.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/gauge.h>
#include <wx/odcombo.h>
#include <wx/vlbox.h>

#include "console/QELApp.h"
#include "core/message_box.h"
#include "core/serial_ports.h"
#include "core/ui_dispatcher.h"
#include "resources/resource_ids.h"
#include "tests/console/screen/console_on_screen.h"
#include "tests/support/console_fixture.h"
#include "tests/support/real_input.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

using Clock = std::chrono::steady_clock;

class MeterUnpluggedOnScreen : public ConsoleOnScreen {
protected:
    // A meter on a new line, behind the one path the port list lists (as /dev/serial/by-id/...
    // names a USB meter wherever it is plugged in).
    meter_sim::MeterSimulator& PlugIn(const meter_sim::Options& options)
    {
        meters.push_back(std::make_unique<meter_sim::MeterSimulator>(options));
        const std::string next = MeterPath() + ".next";
        unlink(next.c_str());
        EXPECT_EQ(symlink(meters.back()->DevicePath().c_str(), next.c_str()), 0);
        EXPECT_EQ(rename(next.c_str(), MeterPath().c_str()), 0);
        core::SerialPortScanRoots().extra = {MeterPath()};
        return *meters.back();
    }
    std::string MeterPath() const { return harness->Folder().File("meter"); }

    // Drops the port list with a click on its arrow, clicks its first entry, then OPEN COM and
    // CONNECT, each when a person would see that the step before has taken.
    void PickOpenConnect(InputRoad& road)
    {
        road.Then(
            "click the port list's arrow", [&] { return Dlg().IsShownOnScreen() && !BoxShown(); },
            [&] { ClickAt(ArrowOf(Dlg().m_comboPort)); });
        road.Then(
            "click the meter's entry",
            [&] {
                wxVListBox* box = PortPopup();
                return Dlg().m_comboPort->IsPopupShown() && box != nullptr && box->GetItemCount() == 1;
            },
            [&] { ClickAt(EntryOf(Dlg().m_comboPort, 0)); });
        road.Then(
            "click OPEN COM",
            [&] { return !Dlg().m_comboPort->IsPopupShown() && Dlg().m_comboPort->GetSelection() == 0; },
            [&] { ClickWindow(Item(IDC_OPEN_COM)); });
        road.Then(
            "click CONNECT", [&] { return Dlg().m_portOpened; }, [&] { ClickWindow(Item(IDC_CONNECT)); });
    }

    // Waits for a box (at most `timeoutMs` after the step before), keeps its text, clicks its OK.
    void CloseBox(InputRoad& road, const std::string& name, int timeoutMs = 10000)
    {
        road.Then(
            name, [] { return BoxShown(); },
            [&] {
                seen.push_back(ShownMessageBoxText());
                const wxRect ok = ShownMessageBoxButton();
                ClickAt(wxPoint(ok.x + ok.width / 2, ok.y + ok.height / 2));
                closedAt = Clock::now();
            },
            timeoutMs);
    }

    std::vector<std::unique_ptr<meter_sim::MeterSimulator>> meters;
    std::vector<std::string> seen;  // texts of the boxes closed, in order
    Clock::time_point closedAt;
};

TEST_F(MeterUnpluggedOnScreen, OneBoxThenThePortShowsClosedAndTheMeterBackOnTheSamePathMakesAReport)
{
    StderrCapture errors;
    // The cable goes in the middle of the third record: the line ends with a frame half sent.
    meter_sim::Options first;
    first.records = meter_sim::SampleRecords(5);
    first.faults.truncateRecord = 3;
    first.faults.truncateBytes = 20;
    first.faults.hangupAfterRecords = 3;
    meter_sim::MeterSimulator& unplugged = PlugIn(first);

    // What the window shows once the box of the broken line is closed.
    struct Shown {
        std::string caption;
        int icon = 0;
        int bar = -1;
        bool uploadEnabled = false;
        bool toggle = true, opened = true, linkOpen = true;
    } closed;
    auto portShownClosed = [&] {
        return Dlg().GetDlgItemText(IDC_OPEN_COM) == "OPEN COM" && StateIconShown(Dlg().m_iconPort) == 131 &&
               Dlg().m_progress->GetValue() == 0 && Dlg().IsDlgItemEnabled(IDC_UPLOAD);
    };

    InputRoad road;
    PickOpenConnect(road);
    CloseBox(road, "click OK in the box that says connected");
    road.Then(
        "click UPLOAD DATA", [] { return !BoxShown(); }, [&] { ClickWindow(Item(IDC_UPLOAD)); });
    road.Then(
        "the meter is unplugged in the middle of the upload",
        [&] { return unplugged.HungUp() && !Dlg().IsDlgItemEnabled(IDC_UPLOAD); }, nullptr);
    CloseBox(road, "click OK in the box that tells of the broken line");
    road.Then(
        "see the port closed and the upload ended",
        [&] { return !BoxShown() && portShownClosed() && Clock::now() - closedAt > std::chrono::milliseconds(800); },
        [&] {
            closed = {Dlg().GetDlgItemText(IDC_OPEN_COM),
                      StateIconShown(Dlg().m_iconPort),
                      Dlg().m_progress->GetValue(),
                      Dlg().IsDlgItemEnabled(IDC_UPLOAD),
                      Dlg().m_portToggle,
                      Dlg().m_portOpened,
                      Dlg().m_serialPort.IsOpen()};
            EXPECT_TRUE(SaveWindowPng(&Dlg(), std::string(QEL_BINARY_DIR) + "/meter-unplugged-port-closed.png"));
        });
    // No second box has come; the meter is plugged in again, on the same path.
    road.Then(
        "plug the meter in again", [&] { return !BoxShown(); },
        [&] {
            meter_sim::Options second;
            second.records = meter_sim::SampleRecords(2);
            second.identification = "OPM-3 AGAIN";
            PlugIn(second);
        });
    // One click on OPEN COM opens it: the window knew the port was closed.
    road.Then(
        "click OPEN COM", [&] { return !BoxShown(); }, [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    road.Then(
        "click CONNECT",
        [&] {
            return Dlg().m_portOpened && Dlg().GetDlgItemText(IDC_OPEN_COM) == "CLOSE COM" &&
                   StateIconShown(Dlg().m_iconPort) == 130;
        },
        [&] { ClickWindow(Item(IDC_CONNECT)); });
    CloseBox(road, "click OK in the box that says connected again", 3000);
    road.Then(
        "click UPLOAD DATA", [&] { return !BoxShown() && Dlg().IsDlgItemEnabled(IDC_UPLOAD); },
        [&] { ClickWindow(Item(IDC_UPLOAD)); });
    road.Then(
        "click EXIT when the report is made",
        [&] { return Dlg().IsDlgItemEnabled(IDC_UPLOAD) && !harness->Opener().paths.empty(); },
        [&] { ClickWindow(Item(IDC_EXIT)); }, 30000);
    Walk(road, 60000);
    EXPECT_TRUE(road.Finished());

    EXPECT_EQ(closed.caption, "OPEN COM");
    EXPECT_EQ(closed.icon, 131);
    EXPECT_EQ(closed.bar, 0);
    EXPECT_TRUE(closed.uploadEnabled);
    EXPECT_FALSE(closed.toggle);
    EXPECT_FALSE(closed.opened);
    EXPECT_FALSE(closed.linkOpen);

    EXPECT_EQ(Dlg().m_listRecords->GetItemCount(), 2);
    EXPECT_EQ(harness->Opener().paths.size(), 1u);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "CONNECT SUCESS!");
    EXPECT_EQ(seen[1].rfind("WARNING:  ReadFile() Failed with the following error:", 0), 0u) << seen[1];
    EXPECT_NE(seen[1].find("Port: " + MeterPath()), std::string::npos) << seen[1];
    EXPECT_EQ(seen[2], "CONNECT SUCESS!");
    EXPECT_EQ(Dlg().m_strMeterId, "OPM-3 AGAIN");
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

}  // namespace
