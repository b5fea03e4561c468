// The modal runs as they nest on the shown screen (a wx dialog, a toolkit message box of the wx
// message-box service inside it), answered the innermost first as if closed; refused runs that
// show nothing, with the boxes' texts on stderr; a dropped list and a popped-up menu closed as
// Escape closes them.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/menu.h>
#include <wx/timer.h>

#include "core/message_box.h"
#include "platform/drop_down_list.h"
#include "platform/message_box_wx.h"
#include "platform/modal_runs.h"
#include "tests/support/real_input.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

// Runs `step` from a timer every 20 ms until it returns true (inside whatever loop runs then).
class Ticker {
public:
    explicit Ticker(std::function<bool()> step) : m_step(std::move(step))
    {
        m_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
            if (m_step()) m_timer.Stop();
        });
        m_timer.Start(20);
    }
    ~Ticker() { m_timer.Stop(); }

private:
    std::function<bool()> m_step;
    wxTimer m_timer;
};

class ModalRunsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        dialog = new wxDialog(nullptr, wxID_ANY, "outer", wxPoint(100, 100), wxSize(300, 200));
    }
    void TearDown() override
    {
        if (dialog) dialog->Destroy();
        PumpEvents(50);
    }
    // Shows a box of the wx message-box service, as the program does.
    static int Box(UINT style) { return platform::WxMessageBoxService().Show({nullptr, "a box", "QEL", style}); }

    wxDialog* dialog = nullptr;
    platform::ModalRuns runs;
    std::vector<std::string> order;  // the runs as they returned
};

// A box with OK and Cancel inside a dialog's run: both are answered by one call, the box as its
// window's close button answers it (Cancel), the dialog with wxID_CANCEL; the box returns first.
// With the dialog kept, only the box inside it is answered (a box with OK alone answers OK).
TEST_F(ModalRunsTest, NestedRunsAreAnsweredTheInnermostFirst)
{
    for (const UINT style : {UINT(MB_OKCANCEL | MB_ICONQUESTION), UINT(MB_OK)}) {
        SCOPED_TRACE(style);
        order.clear();
        const bool keepOuter = style == MB_OK;
        int boxAnswer = -1;
        std::vector<wxDialog*> seenOpen;
        bool inside = false;
        Ticker open([&] {
            if (!dialog->IsShownOnScreen()) return false;
            dialog->CallAfter([&] {
                boxAnswer = Box(style);
                order.push_back("box");
            });
            return true;
        });
        Ticker answer([&] {
            if (ShownMessageBoxButton().IsEmpty()) return false;
            seenOpen = runs.Open();
            inside = runs.AnyInside(dialog);
            if (keepOuter) {
                runs.AnswerInside(dialog);
                runs.AnswerInside(dialog);  // a run already answered is answered once
            } else {
                runs.AnswerInside(nullptr);
            }
            return true;
        });
        Ticker endOuter([&] {
            if (!keepOuter || order.empty()) return false;
            EXPECT_EQ(runs.Open(), std::vector<wxDialog*>{dialog});
            EXPECT_FALSE(runs.AnyInside(dialog));
            dialog->EndModal(wxID_OK);
            return true;
        });
        const int result = dialog->ShowModal();
        order.push_back("dialog");
        ASSERT_EQ(seenOpen.size(), 2u);
        EXPECT_EQ(seenOpen[0], dialog);
        EXPECT_TRUE(inside);
        EXPECT_EQ(order, (std::vector<std::string>{"box", "dialog"}));
        EXPECT_EQ(boxAnswer, keepOuter ? IDOK : IDCANCEL);
        EXPECT_EQ(result, keepOuter ? wxID_OK : wxID_CANCEL);
        EXPECT_TRUE(runs.Open().empty());
        EXPECT_TRUE(ShownMessageBoxButton().IsEmpty());
    }
}

// Once refused, no run starts: a dialog's ShowModal returns wxID_CANCEL without the window being
// shown, and the message-box service shows no box: the text goes to stderr, an OK/Cancel box
// answers Cancel and a box with OK alone answers OK, at once.
TEST_F(ModalRunsTest, ARefusedRunShowsNothing)
{
    EXPECT_FALSE(platform::ModalRuns::AnyRefusing());
    runs.Refuse();
    EXPECT_TRUE(platform::ModalRuns::AnyRefusing());
    bool shown = false;
    Ticker watch([&] {
        shown = shown || dialog->IsShownOnScreen() || !ShownMessageBoxButton().IsEmpty();
        return false;
    });
    StderrCapture err;
    EXPECT_EQ(dialog->ShowModal(), wxID_CANCEL);
    EXPECT_EQ(Box(MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(Box(MB_OK | MB_ICONSTOP), IDOK);
    PumpEvents(100);
    EXPECT_FALSE(shown);
    EXPECT_FALSE(dialog->IsShown());
    EXPECT_TRUE(runs.Open().empty());
    const std::string text = err.Text();
    size_t count = 0;
    for (size_t at = text.find("QEL: a box\n"); at != std::string::npos; at = text.find("QEL: a box\n", at + 1))
        ++count;
    EXPECT_EQ(count, 2u) << text;
}

// A dropped list closes and a popped-up menu closes, as Escape closes them: PopupMenu returns
// with no entry chosen.
TEST_F(ModalRunsTest, ADroppedListAndAPoppedUpMenuClose)
{
    auto* list = new platform::DropDownList(dialog, 1000, "", wxRect(20, 20, 160, 120));
    list->Append("ttyS0");
    dialog->Show();
    ASSERT_TRUE(WaitFor([&] { return dialog->IsShownOnScreen(); }));
    ClickAt(list->GetScreenRect().GetRightTop() + wxPoint(-list->GetButtonSize().x / 2, list->GetSize().y / 2));
    ASSERT_TRUE(WaitFor([&] { return list->IsPopupShown(); }));
    platform::CloseDroppedLists(dialog);
    EXPECT_FALSE(list->IsPopupShown());
    PumpEvents(100);

    wxMenu menu;
    menu.Append(wxID_ABOUT, "About");
    int chosen = 0;
    dialog->Bind(wxEVT_MENU, [&](wxCommandEvent&) { ++chosen; });
    bool wasUp = false;
    Ticker close([&] {
        if (!platform::MenuPoppedUp(&menu)) return false;
        wasUp = true;
        platform::ClosePoppedUpMenu(&menu);
        return true;
    });
    int ticks = 0;
    Ticker guard([&] {  // a menu that stays up is closed by a person's Escape, and the test fails
        if (++ticks < 250) return false;
        PressKey(WXK_ESCAPE);
        return true;
    });
    const wxRect r = dialog->GetScreenRect();
    MoveMouseTo(wxPoint(r.x + r.width / 2, r.y + r.height / 2));
    dialog->PopupMenu(&menu);
    EXPECT_LT(ticks, 250);
    EXPECT_TRUE(wasUp);
    EXPECT_FALSE(platform::MenuPoppedUp(&menu));
    PumpEvents(100);
    EXPECT_EQ(chosen, 0);
    dialog->Hide();
}

}  // namespace
