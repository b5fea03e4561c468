// The meter unplugged in the middle of an upload, as a person meets it on the shown window with
// real mouse events: one box tells it, the window stays usable, and once the meter is plugged in
// again the first CONNECT is answered and UPLOAD DATA makes the report. The boxes are the program's real ones.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
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
#include "tests/support/test_support.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

using Clock = std::chrono::steady_clock;

class MeterUnpluggedOnScreen : public ConsoleOnScreen {
protected:
    // A meter on a new line, listed as the only port.
    meter_sim::MeterSimulator& PlugIn(const meter_sim::Options& options)
    {
        meters.push_back(std::make_unique<meter_sim::MeterSimulator>(options));
        platform::SerialPortScanRoots().extra = {meters.back()->DevicePath()};
        return *meters.back();
    }

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

TEST_F(MeterUnpluggedOnScreen, OneBoxThenTheMeterPluggedInAgainAnswersTheFirstConnect)
{
    StderrCapture errors;
    // The cable goes in the middle of the third record: the line ends with a frame half sent.
    meter_sim::Options first;
    first.records = meter_sim::SampleRecords(5);
    first.faults.truncateRecord = 3;
    first.faults.truncateBytes = 20;
    first.faults.hangupAfterRecords = 3;
    const std::string firstPath = PlugIn(first).DevicePath();

    InputRoad road;
    PickOpenConnect(road);
    CloseBox(road, "click OK in the box that says connected");
    road.Then(
        "click UPLOAD DATA", [] { return !BoxShown(); }, [&] { ClickWindow(Item(IDC_UPLOAD)); });
    CloseBox(road, "click OK in the box that tells of the broken line");
    // No second box follows; the meter is plugged in again (on a line of its own).
    road.Then(
        "plug the meter in again",
        [&] { return !BoxShown() && Clock::now() - closedAt > std::chrono::milliseconds(800); },
        [&] {
            meter_sim::Options second;
            second.records = meter_sim::SampleRecords(2);
            second.identification = "OPM-3 AGAIN";
            PlugIn(second);
        });
    PickOpenConnect(road);
    // The meter answers at once: one click on CONNECT is enough.
    CloseBox(road, "click OK in the box that says connected again", 3000);
    // Dropping the port list down closed the broken line and ended the upload it had cut off:
    // UPLOAD DATA works again without a restart.
    road.Then(
        "click UPLOAD DATA", [&] { return !BoxShown() && Dlg().IsDlgItemEnabled(IDC_UPLOAD); },
        [&] { ClickWindow(Item(IDC_UPLOAD)); });
    road.Then(
        "click EXIT when the report is made",
        [&] { return Dlg().IsDlgItemEnabled(IDC_UPLOAD) && !harness->Opener().paths.empty(); },
        [&] { ClickWindow(Item(IDC_EXIT)); }, 30000);
    Walk(road, 60000);
    EXPECT_TRUE(road.Finished());
    EXPECT_EQ(Dlg().m_listRecords->GetItemCount(), 2);

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "CONNECT SUCESS!");
    EXPECT_EQ(seen[1].rfind("WARNING:  ReadFile() Failed with the following error:", 0), 0u) << seen[1];
    EXPECT_NE(seen[1].find("Port: " + firstPath), std::string::npos) << seen[1];
    EXPECT_EQ(seen[2], "CONNECT SUCESS!");
    EXPECT_EQ(Dlg().m_strMeterId, "OPM-3 AGAIN");
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

}  // namespace
