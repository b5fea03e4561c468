// The drop-down list on a shown dialog under real keys and clicks: its selection is always the
// entry whose text its field shows exactly, or none, as the field is typed into, and the typed
// text stays as typed.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>
#include <wx/vlbox.h>

#include "platform/drop_down_list.h"
#include "tests/support/real_input.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class DropDownListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        dialog = new wxDialog(nullptr, wxID_ANY, "list", wxPoint(100, 100), wxSize(300, 200));
        dialog->SetEscapeId(wxID_NONE);
        list = new platform::DropDownList(dialog, 1000, "", wxRect(20, 20, 160, 120));
        for (const char* entry : {"ttyS0", "ttyUSB0", "ttyUSB1"}) list->Append(entry);
        dialog->Show();
        ASSERT_TRUE(WaitFor([&] { return dialog->IsShownOnScreen(); }));
        // Without a window manager the keyboard goes to the window under the pointer.
        const wxRect r = dialog->GetScreenRect();
        MoveMouseTo(wxPoint(r.x + r.width / 2, r.GetBottom() - 10));
        list->SetFocus();
        ASSERT_TRUE(WaitFor([&] { return HasFocusWithin(list); }));
    }
    void TearDown() override
    {
        if (dialog) dialog->Destroy();
        PumpEvents(50);
    }
    std::string Field() const { return list->GetValue().utf8_string(); }

    wxDialog* dialog = nullptr;
    platform::DropDownList* list = nullptr;
};

TEST_F(DropDownListTest, TheSelectionFollowsTheTypedText)
{
    const struct {
        const char* step;
        std::function<void()> keys;
        const char* field;
        int selection;
    } kSteps[] = {
        {"a beginning of two entries", [] { TypeText("ttyUSB"); }, "ttyUSB", wxNOT_FOUND},
        {"a whole entry", [] { TypeText("1"); }, "ttyUSB1", 2},
        {"a character taken back", [] { PressKey(WXK_BACK); }, "ttyUSB", wxNOT_FOUND},
        {"another whole entry", [] { TypeText("0"); }, "ttyUSB0", 1},
        {"more than an entry", [] { TypeText("0"); }, "ttyUSB00", wxNOT_FOUND},
        {"an entry in other capitals",
         [] {
             PressKey('A', wxMOD_CONTROL);
             TypeText("TTYS0");
         },
         "TTYS0", wxNOT_FOUND},
        {"the first entry typed over the field",
         [] {
             PressKey('A', wxMOD_CONTROL);
             TypeText("ttyS0");
         },
         "ttyS0", 0},
    };
    EXPECT_EQ(list->GetSelection(), wxNOT_FOUND);
    for (const auto& s : kSteps) {
        SCOPED_TRACE(s.step);
        s.keys();
        EXPECT_TRUE(WaitFor([&] { return Field() == s.field; })) << "the field shows " << Field();
        PumpEvents(50);
        EXPECT_EQ(Field(), s.field);
        EXPECT_EQ(list->GetSelection(), s.selection);
        EXPECT_EQ(list->GetStringSelection().utf8_string(), s.selection == wxNOT_FOUND ? "" : s.field);
    }
    EXPECT_FALSE(list->IsPopupShown());
}

TEST_F(DropDownListTest, AnEntryPickedFromTheListIsSelectedUntilTheFieldIsTypedInto)
{
    // A click on the field drops the list down; a click on an entry picks it.
    ClickWindow(list->GetTextCtrl());
    ASSERT_TRUE(WaitFor([&] { return list->IsPopupShown(); }));
    auto* box = dynamic_cast<wxVListBox*>(list->GetPopupControl()->GetControl());
    ASSERT_NE(box, nullptr);
    const wxRect entry = box->GetItemRect(1);
    ClickAt(box->ClientToScreen(wxPoint(entry.x + entry.width / 2, entry.y + entry.height / 2)));
    ASSERT_TRUE(WaitFor([&] { return !list->IsPopupShown() && Field() == "ttyUSB0"; }));
    EXPECT_EQ(list->GetSelection(), 1);
    // The picked text stands selected in the field; the selection is still the entry's text.
    PressKey('A', wxMOD_CONTROL);
    PumpEvents(50);
    EXPECT_EQ(list->GetStringSelection().utf8_string(), "ttyUSB0");

    PressKey(WXK_END);
    TypeText("x");
    ASSERT_TRUE(WaitFor([&] { return Field() == "ttyUSB0x"; })) << Field();
    EXPECT_EQ(list->GetSelection(), wxNOT_FOUND);
    PressKey(WXK_BACK);
    ASSERT_TRUE(WaitFor([&] { return Field() == "ttyUSB0"; })) << Field();
    EXPECT_EQ(list->GetSelection(), 1);
}

// A window that ends while its list is dropped down (as a program ends it when a step of its own
// fails): the list closes with it, and neither the list nor the window, half destroyed by then,
// hears of a text change.
TEST_F(DropDownListTest, AWindowEndsWithItsListDroppedDown)
{
    int textChanges = 0;
    dialog->Bind(wxEVT_TEXT, [&](wxCommandEvent& e) {
        ++textChanges;
        e.Skip();
    });
    list->Popup();
    ASSERT_TRUE(WaitFor([&] { return list->IsPopupShown(); }));
    auto* entries = dynamic_cast<wxVListBox*>(list->GetPopupControl()->GetControl());
    ASSERT_NE(entries, nullptr);
    entries->SetSelection(1);  // an entry chosen but not taken yet
    delete dialog;
    dialog = nullptr;
    PumpEvents(50);
    EXPECT_EQ(textChanges, 0);
}

}  // namespace
