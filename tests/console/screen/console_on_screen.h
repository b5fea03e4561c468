// What the console's on-screen tests share: the shown main window with the program's own message
// boxes and the serial link's notifications running through the event loop, the port list's
// dropped list as a person sees and clicks it, and a road walked inside the window's modal run.
#pragma once
#include <memory>

#include <gtest/gtest.h>
#include <wx/odcombo.h>
#include <wx/timer.h>
#include <wx/vlbox.h>

#include "console/QELApp.h"
#include "core/message_box.h"
#include "core/serial_ports.h"
#include "core/ui_dispatcher.h"
#include "tests/support/console_fixture.h"
#include "tests/support/real_input.h"
#include "tests/support/test_support.h"

namespace testing_support {

// The list that drops down from a drop-down list; nullptr before it was first made.
inline wxVListBox* DroppedList(platform::DropDownList* list)
{
    return dynamic_cast<wxVListBox*>(list->GetPopupControl()->GetControl());
}
// The arrow of a drop-down list, in screen pixels.
inline wxPoint ArrowOf(platform::DropDownList* list)
{
    const wxRect r = list->GetScreenRect();
    return wxPoint(r.GetRight() - list->GetButtonSize().x / 2, r.y + r.height / 2);
}
// Entry i of the dropped list, in screen pixels.
inline wxPoint EntryOf(platform::DropDownList* list, size_t i)
{
    wxVListBox* box = DroppedList(list);
    if (box == nullptr) return wxPoint();
    const wxRect r = box->GetItemRect(i);
    return box->ClientToScreen(wxPoint(r.x + r.width / 2, r.y + r.height / 2));
}

// The main window of a console whose port list lists only the ports a test names (never the
// machine's own), with the program's real boxes.
class ConsoleOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        harness = std::make_unique<ConsoleHarness>();
        auto& roots = core::SerialPortScanRoots();
        saved = roots;
        roots.sysClassTty = harness->Folder().File("no-sys");
        roots.extra.clear();
        previousBoxes = core::SetMessageBoxService(nullptr);
        CQELApp::ConnectDispatcher();
    }
    void TearDown() override
    {
        if (!harness) return;
        core::Ui().SetWaker(nullptr);
        core::SetMessageBoxService(previousBoxes);
        core::SerialPortScanRoots() = saved;
        harness.reset();
    }

    CQELDlg& Dlg() { return harness->Dlg(); }
    wxWindow* Item(int id) { return Dlg().FindWindow(id); }
    static bool BoxShown() { return !ShownMessageBoxButton().IsEmpty(); }
    wxVListBox* PortPopup() { return DroppedList(Dlg().m_comboPort); }

    // The first steps of a road walked by keyboard. The virtual display has no window manager to
    // give a new window the keyboard: the keyboard goes to the window under the pointer. The
    // pointer rests over the window, as a person's does on a desktop whose window manager
    // focuses the window that opens.
    void PointerRestsOverTheWindow(InputRoad& road)
    {
        road.Then(
            "the pointer rests over the window", [&] { return Dlg().IsShownOnScreen(); },
            [&] {
                const wxRect r = Dlg().GetScreenRect();
                MoveMouseTo(wxPoint(r.x + r.width / 2, r.y + r.height / 2));
            });
        road.Then(
            "the window has the focus", [&] { return HasFocusWithin(&Dlg()); }, nullptr);
    }

    // Runs the road inside the window's modal run and returns how the run ended. A road that
    // stalls, or takes longer than limitMs, ends the run (with -2) rather than the test program.
    int RunRoad(InputRoad& road, int limitMs)
    {
        wxTimer guard;
        guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            if (Dlg().IsModal()) Dlg().EndModal(-2);
        });
        road.Start([&] {
            if (road.Failed()) guard.StartOnce(10);
        });
        guard.StartOnce(limitMs);
        const int result = Dlg().ShowModal();
        guard.Stop();
        road.Stop();
        EXPECT_FALSE(road.Failed()) << road.Failure();
        return result;
    }
    // Runs the road inside the window's modal run; the road's last step ends the run with EXIT.
    void Walk(InputRoad& road, int limitMs)
    {
        EXPECT_EQ(RunRoad(road, limitMs), IDOK) << "the road did not end with EXIT";
    }

    std::unique_ptr<ConsoleHarness> harness;
    core::SerialPortRoots saved;
    core::IMessageBoxService* previousBoxes = nullptr;
};

}  // namespace testing_support
