// The main road as a person walks it on the shown window, with real mouse and key events: pick
// the meter's port from the port list, open it, connect, close the box that says so, type the
// report header, upload; the report then holds every record. No handler is called directly and
// the message boxes are the program's real ones.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/odcombo.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>
#include <wx/vlbox.h>

#include "console/QELApp.h"
#include "core/message_box.h"
#include "core/serial_ports.h"
#include "core/ui_dispatcher.h"
#include "resources/resource_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/real_input.h"
#include "tests/support/test_support.h"
#include "tests/support/xlsx_readback.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

constexpr int kRecords = 5;

struct HeaderField {
    int id;
    const char* text;
};
const HeaderField kHeader[] = {
    {IDC_EDIT_COMPANY, "Fibre Works Ltd"}, {IDC_EDIT_MODEL, "OPM-3"},          {IDC_EDIT_SERIALNO, "SN-0042"},
    {IDC_EDIT_OPERATOR, "A. Tester"},      {IDC_EDIT_NOTES, "span A-B, 3 km"},
};

class RoadOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        meter_sim::Options o;
        o.records = meter_sim::SampleRecords(kRecords);
        sim = std::make_unique<meter_sim::MeterSimulator>(o);
        harness = std::make_unique<ConsoleHarness>();
        auto& roots = platform::SerialPortScanRoots();
        saved = roots;
        roots.sysClassTty = harness->Folder().File("no-sys");  // never the machine's own ports
        roots.extra = {sim->DevicePath()};
        // The program's own boxes, shown on the display, closed by the road; the serial link's
        // notifications reach the window through the event loop, as in the program.
        previousBoxes = platform::SetMessageBoxService(nullptr);
        CQELApp::ConnectDispatcher();
    }
    void TearDown() override
    {
        if (!sim) return;
        platform::Ui().SetWaker(nullptr);
        platform::SetMessageBoxService(previousBoxes);
        platform::SerialPortScanRoots() = saved;
        harness.reset();
    }

    CQELDlg& Dlg() { return harness->Dlg(); }
    wxWindow* Item(int id) { return Dlg().FindWindow(id); }
    std::string Value(int id) { return Dlg().GetDlgItemText(id); }
    bool BoxShown() { return !ShownMessageBoxButton().IsEmpty(); }

    // The arrow of the port list, in screen pixels.
    wxPoint PortArrow()
    {
        platform::DropDownList* list = Dlg().m_comboPort;
        const wxRect r = list->GetScreenRect();
        const wxSize button = list->GetButtonSize();
        return wxPoint(r.GetRight() - button.x / 2, r.y + r.height / 2);
    }
    // The list that drops down from the port list.
    wxVListBox* PortPopup() { return dynamic_cast<wxVListBox*>(Dlg().m_comboPort->GetPopupControl()->GetControl()); }
    // Entry i of the dropped port list, in screen pixels.
    wxPoint PortEntry(size_t i)
    {
        wxVListBox* box = PortPopup();
        if (box == nullptr) return wxPoint();
        const wxRect r = box->GetItemRect(i);
        return box->ClientToScreen(wxPoint(r.x + r.width / 2, r.y + r.height / 2));
    }
    bool PortListDroppedWithTheMeter()
    {
        platform::DropDownList* list = Dlg().m_comboPort;
        // The list was filled before it was measured and shown: it opens with the entry in it.
        wxVListBox* box = PortPopup();
        return list->IsPopupShown() && list->GetCount() == 1 &&
               list->GetString(0).utf8_string() == CQELDlg::PortListText(sim->DevicePath()) && box != nullptr &&
               box->GetItemCount() == 1 && box->GetClientSize().y >= box->GetItemRect(0).height;
    }
    bool MeterPortChosen()
    {
        platform::DropDownList* list = Dlg().m_comboPort;
        return !list->IsPopupShown() && list->GetSelection() == 0 &&
               list->GetValue().utf8_string() == CQELDlg::PortListText(sim->DevicePath());
    }
    bool ReportDone()
    {
        return !Dlg().m_strReportPath.empty() && Dlg().IsDlgItemEnabled(IDC_UPLOAD) && !harness->Opener().paths.empty();
    }

    // Runs the road inside the window's modal run; the road's last step ends the run with EXIT.
    void Walk(InputRoad& road)
    {
        wxTimer guard;  // a road that stalls ends the run rather than the test program
        guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            if (Dlg().IsModal()) Dlg().EndModal(-2);
        });
        road.Start([&] {
            if (road.Failed()) guard.StartOnce(10);
        });
        guard.StartOnce(120000);
        const int result = Dlg().ShowModal();
        guard.Stop();
        road.Stop();
        EXPECT_FALSE(road.Failed()) << road.Failure();
        EXPECT_EQ(result, IDOK) << "the road did not end with EXIT";
    }

    // What openpyxl reads in the report: the header values and the record numbers in column A.
    void ExpectReportHoldsEveryRecord()
    {
        const std::string path = Dlg().m_strReportPath;
        ASSERT_TRUE(FileExists(path)) << path;
        const std::string out =
            RunOpenpyxl("ws = wb.worksheets[0]\n"
                        "print(ws['F3'].value); print(ws['B4'].value); print(ws['B3'].value); print(ws['F4'].value)\n"
                        "r = 11\n"
                        "while ws.cell(row=r, column=1).value is not None:\n"
                        "    print(ws.cell(row=r, column=1).value, ws.cell(row=r, column=2).value, ws.cell(row=r + 1, "
                        "column=2).value)\n"
                        "    r += 2\n",
                        path);
        std::string expected = std::string("Fibre Works Ltd\nOPM-3\nA. Tester\nspan A-B, 3 km\n");
        for (int i = 1; i <= kRecords; ++i) expected += std::to_string(i) + " 1310nm 1550nm\n";
        EXPECT_EQ(out, expected);
    }

    std::unique_ptr<meter_sim::MeterSimulator> sim;
    std::unique_ptr<ConsoleHarness> harness;
    platform::SerialPortRoots saved;
    platform::IMessageBoxService* previousBoxes = nullptr;
};

TEST_F(RoadOnScreen, MouseAloneFromStartUpToTheReport)
{
    StderrCapture errors;
    InputRoad road;
    road.Then(
        "click the port list's arrow", [&] { return Dlg().IsShownOnScreen(); }, [&] { ClickAt(PortArrow()); });
    road.Then(
        "click the meter's entry", [&] { return PortListDroppedWithTheMeter(); }, [&] { ClickAt(PortEntry(0)); });
    road.Then(
        "click OPEN COM", [&] { return MeterPortChosen(); }, [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    road.Then(
        "click CONNECT", [&] { return Dlg().m_portOpened && Value(IDC_OPEN_COM) == "CLOSE COM"; },
        [&] { ClickWindow(Item(IDC_CONNECT)); });
    road.Then(
        "click OK in the box", [&] { return BoxShown() && ShownMessageBoxText() == "CONNECT SUCESS!"; },
        [&] {
            ClickAt(ShownMessageBoxButton().GetPosition() +
                    wxSize(ShownMessageBoxButton().width / 2, ShownMessageBoxButton().height / 2));
        });
    const HeaderField* previous = nullptr;
    for (const HeaderField& f : kHeader) {
        road.Then(
            std::string("click the edit ") + std::to_string(f.id),
            [&, previous] { return !BoxShown() && (previous == nullptr || Value(previous->id) == previous->text); },
            [&, f] { ClickWindow(Item(f.id)); });
        road.Then(
            std::string("type ") + f.text, [&, f] { return HasFocusWithin(Item(f.id)); }, [f] { TypeText(f.text); });
        previous = &f;
    }
    road.Then(
        "click UPLOAD DATA", [&] { return Value(kHeader[4].id) == kHeader[4].text; },
        [&] { ClickWindow(Item(IDC_UPLOAD)); });
    road.Then(
        "click EXIT when the report is made", [&] { return ReportDone(); }, [&] { ClickWindow(Item(IDC_EXIT)); },
        60000);
    Walk(road);
    ExpectReportHoldsEveryRecord();
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

TEST_F(RoadOnScreen, KeyboardAloneFromStartUpToTheReport)
{
    StderrCapture errors;
    InputRoad road;
    const auto tabTo = [&](int id) {
        road.Until(
            std::string("Tab to ") + std::to_string(id), [this, id] { return HasFocusWithin(Item(id)); },
            [] { PressKey(WXK_TAB); }, 30);
    };
    // The virtual display has no window manager to give a new window the keyboard: the keyboard
    // goes to the window under the pointer. The pointer rests over the window, as a person's does
    // on a desktop whose window manager focuses the window that opens.
    road.Then(
        "the pointer rests over the window", [&] { return Dlg().IsShownOnScreen(); },
        [&] {
            const wxRect r = Dlg().GetScreenRect();
            MoveMouseTo(wxPoint(r.x + r.width / 2, r.y + r.height / 2));
        });
    road.Then(
        "the window has the focus", [&] { return HasFocusWithin(&Dlg()); }, nullptr);
    tabTo(IDC_COMBO_PORT);
    road.Then("Alt+Down drops the port list", nullptr, [] { PressKey(WXK_DOWN, wxMOD_ALT); });
    road.Then(
        "Down to the meter's entry", [&] { return PortListDroppedWithTheMeter(); }, [] { PressKey(WXK_DOWN); });
    road.Then(
        "Return chooses it", [&] { return PortPopup()->GetSelection() == 0; }, [] { PressKey(WXK_RETURN); });
    road.Then(
        "the entry shows it", [&] { return MeterPortChosen(); }, nullptr);
    tabTo(IDC_OPEN_COM);
    road.Then("Space opens the port", nullptr, [] { PressKey(WXK_SPACE); });
    road.Then(
        "the port is open", [&] { return Dlg().m_portOpened && Value(IDC_OPEN_COM) == "CLOSE COM"; }, nullptr);
    tabTo(IDC_CONNECT);
    road.Then("Space connects", nullptr, [] { PressKey(WXK_SPACE); });
    road.Then(
        "Return closes the box", [&] { return BoxShown() && ShownMessageBoxText() == "CONNECT SUCESS!"; },
        [] { PressKey(WXK_RETURN); });
    road.Then(
        "the box is gone", [&] { return !BoxShown() && HasFocusWithin(&Dlg()); }, nullptr);
    for (const HeaderField& f : kHeader) {
        tabTo(f.id);
        road.Then(std::string("type ") + f.text, nullptr, [f] { TypeText(f.text); });
        road.Then(
            std::string("typed ") + f.text, [this, f] { return Value(f.id) == f.text; }, nullptr);
    }
    tabTo(IDC_UPLOAD);
    road.Then("Space uploads", nullptr, [] { PressKey(WXK_SPACE); });
    road.Then(
        "the report is made", [&] { return ReportDone(); }, nullptr, 60000);
    tabTo(IDC_EXIT);
    road.Then("Space on EXIT", nullptr, [] { PressKey(WXK_SPACE); });
    Walk(road);
    ExpectReportHoldsEveryRecord();
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

}  // namespace
