// The keyboard on the shown window as a person meets it: the window opens with the focus on its
// first tab stop, so one Tab reaches the port list; the About box, opened from the window's
// context menu, closes with Escape as with Return.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/odcombo.h>
#include <wx/time.h>
#include <wx/uiaction.h>

#include "console/AboutDlg.h"
#include "console/QELApp.h"
#include "resources/resource_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/real_input.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class WindowKeysOnScreen : public ::testing::Test {
protected:
    void SetUp() override { QEL_REQUIRE_DISPLAY(); }

    // The virtual display has no window manager to give a window that opens the keyboard: the
    // keyboard goes to the window under the pointer, so the pointer rests on it, as a person's
    // window manager would focus it.
    static void RestPointerOn(wxWindow* win)
    {
        const wxRect r = win->GetScreenRect();
        MoveMouseTo(wxPoint(r.x + r.width / 2, r.y + r.height / 2));
    }

    // Sends the input from the event loop rather than from the road's step: a key that opens a
    // menu or a box runs their loops, and the road's timer must go on ticking meanwhile.
    static std::function<void()> Later(std::function<void()> input)
    {
        return [input] { wxTheApp->CallAfter(input); };
    }

    // The About box while it is shown; nullptr when there is none.
    static CAboutDlg* ShownAboutBox()
    {
        for (wxWindow* w : wxTopLevelWindows) {
            if (auto* about = dynamic_cast<CAboutDlg*>(w); about != nullptr && about->IsShownOnScreen()) return about;
        }
        return nullptr;
    }
};

TEST_F(WindowKeysOnScreen, TheWindowOpensWithTheFocusOnTheFirstTabStop)
{
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    d.Show();
    ASSERT_TRUE(WaitFor([&] { return d.IsShownOnScreen(); }));
    RestPointerOn(&d);
    ASSERT_TRUE(WaitFor([&] { return HasFocusWithin(&d); }));
    const wxWindow* focus = wxWindow::FindFocus();
    EXPECT_EQ(focus != nullptr ? focus->GetId() : 0, IDC_EXIT);
    PressKey(WXK_TAB);
    EXPECT_TRUE(WaitFor([&] { return HasFocusWithin(d.m_comboPort); }, 2000)) << "one Tab did not reach the port list";
    d.Hide();
}

TEST_F(WindowKeysOnScreen, TheAboutBoxFromTheContextMenuClosesByKeyboard)
{
    for (const int key : {WXK_ESCAPE, WXK_RETURN}) {
        SCOPED_TRACE(key == WXK_ESCAPE ? "Escape" : "Return");
        StderrCapture errors;
        ConsoleHarness h;
        CQELDlg& d = h.Dlg();
        bool menuShown = false;
        d.Bind(wxEVT_MENU_OPEN, [&](wxMenuEvent& e) {
            menuShown = true;
            e.Skip();
        });
        bool aboutSeen = false;
        wxLongLong restedAt = 0;

        InputRoad road;
        road.Then(
            "right-click the window's empty client area", [&] { return d.IsShownOnScreen(); }, Later([&] {
                const wxWindow* bar = d.FindWindow(IDC_PROGRESS);
                const wxRect r = bar->GetScreenRect();
                MoveMouseTo(wxPoint(r.x + r.width / 2, r.GetBottom() + 8));  // below the progress bar
                wxUIActionSimulator().MouseClick(wxMOUSE_BTN_RIGHT);
            }));
        road.Then(
            "choose the About entry", [&] { return menuShown; }, Later([] {
                PressKey(WXK_DOWN);
                PressKey(WXK_RETURN);
            }));
        road.Then(
            "rest the pointer on the About box", [&] { return ShownAboutBox() != nullptr; },
            [&] {
                aboutSeen = true;
                RestPointerOn(ShownAboutBox());
                restedAt = wxGetLocalTimeMillis();
            });
        road.Then(
            "press the key", [&] { return ShownAboutBox() != nullptr && wxGetLocalTimeMillis() - restedAt > 400; },
            Later([key] { PressKey(key); }));
        road.Then(
            "click EXIT", [&] { return ShownAboutBox() == nullptr && d.IsShownOnScreen(); },
            [&] { ClickWindow(d.FindWindow(IDC_EXIT)); }, 3000);

        wxTimer guard;  // a road that stalls ends the run rather than the test program
        guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            // The innermost run first; the next tick ends the one around it.
            for (wxWindow* w : wxTopLevelWindows) {
                if (auto* box = dynamic_cast<wxDialog*>(w); box != nullptr && box != &d && box->IsModal()) {
                    box->EndModal(-2);
                    return;
                }
            }
            if (d.IsModal()) d.EndModal(-2);
        });
        road.Start([&] {
            if (road.Failed()) {
                ADD_FAILURE() << road.Failure();
                guard.Start(10);
            }
        });
        guard.StartOnce(30000);
        const int result = d.ShowModal();
        guard.Stop();
        road.Stop();
        EXPECT_TRUE(aboutSeen);
        EXPECT_FALSE(road.Failed()) << road.Failure();
        EXPECT_EQ(result, IDOK);
        EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
    }
}

}  // namespace
