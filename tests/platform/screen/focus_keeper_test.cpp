// The focus keeper on a shown dialog under real keys: it holds the focus of a control disabled
// while it had it, so keys reach no control, Tab takes the focus on to the controls, and the
// control gets the focus back when it is enabled again.
#include <string>

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/dialog.h>

#include "platform/focus_keeper.h"
#include "tests/support/real_input.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

// Three buttons in tab order, A B C, and the keeper made after them, as the console makes it.
class FocusKeeperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        dialog = new wxDialog(nullptr, wxID_ANY, "focus", wxPoint(100, 100), wxSize(360, 120));
        dialog->SetEscapeId(wxID_NONE);
        a = new wxButton(dialog, 11, "A", wxPoint(10, 20), wxSize(100, 40));
        b = new wxButton(dialog, 12, "B", wxPoint(120, 20), wxSize(100, 40));
        c = new wxButton(dialog, 13, "C", wxPoint(230, 20), wxSize(100, 40));
        keeper = new platform::FocusKeeper(dialog);
        dialog->Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) { clicked += std::to_string(e.GetId() - 10); });
        dialog->Show();
        ASSERT_TRUE(WaitFor([&] { return dialog->IsShownOnScreen(); }));
        // Without a window manager the keyboard goes to the window under the pointer.
        const wxRect r = dialog->GetScreenRect();
        MoveMouseTo(wxPoint(r.x + r.width / 2, r.GetBottom() - 10));
        a->SetFocus();
        ASSERT_TRUE(WaitFor([&] { return wxWindow::FindFocus() == a; }));
    }
    void TearDown() override
    {
        if (dialog) dialog->Destroy();
        PumpEvents(50);
    }
    // Tabs until the focus is on `target`, as a person does.
    bool TabTo(wxWindow* target)
    {
        for (int i = 0; i < 10; ++i) {
            if (WaitFor([&] { return wxWindow::FindFocus() == target; }, 200)) return true;
            PressKey(WXK_TAB);
        }
        return wxWindow::FindFocus() == target;
    }
    // Space, and time for the click it would make to arrive.
    void PressSpace()
    {
        PressKey(WXK_SPACE);
        PumpEvents(300);
    }

    wxDialog* dialog = nullptr;
    wxButton* a = nullptr;
    wxButton* b = nullptr;
    wxButton* c = nullptr;
    platform::FocusKeeper* keeper = nullptr;
    std::string clicked;  // the buttons clicked, "1" for A, in order
};

TEST_F(FocusKeeperTest, ItHoldsTheFocusWhileTheControlIsDisabledAndGivesItBackWhenEnabled)
{
    ASSERT_TRUE(TabTo(b));
    PressSpace();
    EXPECT_EQ(clicked, "2");  // keys reach the control that has the focus

    keeper->EnableControl(b, false);
    EXPECT_FALSE(b->IsEnabled());
    EXPECT_EQ(wxWindow::FindFocus(), keeper);
    PressSpace();
    PressSpace();
    EXPECT_EQ(clicked, "2") << "a key reached a control while the focus was held";
    EXPECT_EQ(wxWindow::FindFocus(), keeper);

    keeper->EnableControl(b, true);
    EXPECT_TRUE(b->IsEnabled());
    ASSERT_TRUE(WaitFor([&] { return wxWindow::FindFocus() == b; }));
    PressSpace();
    EXPECT_EQ(clicked, "22");
}

// The toolkit moves the focus along its own focus chain of the dialog, which holds the controls
// that take the focus from the keyboard and so not the keeper: from the keeper, Tab starts that
// chain again at its first control and Shift+Tab at its last.
TEST_F(FocusKeeperTest, TabFromTheKeeperStartsTheTabOrderAgainAndTheFocusStaysWhereItWent)
{
    const struct {
        const char* key;
        int modifiers;
        wxButton* next;
    } kCases[] = {{"Tab", wxMOD_NONE, a}, {"Shift+Tab", wxMOD_SHIFT, c}};
    for (const auto& k : kCases) {
        SCOPED_TRACE(k.key);
        ASSERT_TRUE(TabTo(b));
        keeper->EnableControl(b, false);
        ASSERT_EQ(wxWindow::FindFocus(), keeper);
        PressKey(WXK_TAB, k.modifiers);
        EXPECT_TRUE(WaitFor([&] { return wxWindow::FindFocus() == k.next; }))
            << "the focus went to " << (wxWindow::FindFocus() ? wxWindow::FindFocus()->GetLabel() : "none");
        // The focus has moved on: enabling the control again leaves it where the person took it.
        keeper->EnableControl(b, true);
        PumpEvents(100);
        EXPECT_EQ(wxWindow::FindFocus(), k.next);
    }
    EXPECT_EQ(clicked, "");
}

TEST_F(FocusKeeperTest, AControlDisabledWithoutTheFocusLeavesTheFocusWhereItIsAndTabNeverStopsAtTheKeeper)
{
    ASSERT_TRUE(TabTo(a));
    keeper->EnableControl(b, false);
    EXPECT_EQ(wxWindow::FindFocus(), a);
    // From A, Tab passes the disabled B and the keeper that holds nothing.
    PressKey(WXK_TAB);
    EXPECT_TRUE(WaitFor([&] { return wxWindow::FindFocus() == c; }));
    keeper->EnableControl(b, true);
    PumpEvents(100);
    EXPECT_EQ(wxWindow::FindFocus(), c);
    // Once B is enabled again Tab goes round through it, never through the keeper.
    for (wxButton* next : {a, b, c}) {
        PressKey(WXK_TAB);
        EXPECT_TRUE(WaitFor([&] { return wxWindow::FindFocus() == next; })) << next->GetLabel();
    }
}

}  // namespace
