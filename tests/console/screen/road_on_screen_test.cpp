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
#include "tests/console/screen/console_on_screen.h"
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

class RoadOnScreen : public ConsoleOnScreen {
protected:
    void SetUp() override
    {
        ConsoleOnScreen::SetUp();
        if (IsSkipped()) return;
        meter_sim::Options o;
        o.records = meter_sim::SampleRecords(kRecords);
        sim = std::make_unique<meter_sim::MeterSimulator>(o);
        core::SerialPortScanRoots().extra = {sim->DevicePath()};
    }

    std::string Value(int id) { return Dlg().GetDlgItemText(id); }

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
};

TEST_F(RoadOnScreen, MouseAloneFromStartUpToTheReport)
{
    StderrCapture errors;
    InputRoad road;
    road.Then(
        "click the port list's arrow", [&] { return Dlg().IsShownOnScreen(); },
        [&] { ClickAt(ArrowOf(Dlg().m_comboPort)); });
    road.Then(
        "click the meter's entry", [&] { return PortListDroppedWithTheMeter(); },
        [&] { ClickAt(EntryOf(Dlg().m_comboPort, 0)); });
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
    Walk(road, 120000);
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
    PointerRestsOverTheWindow(road);
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
    Walk(road, 120000);
    ExpectReportHoldsEveryRecord();
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

}  // namespace
