// The bitmap button's drop-down menu under a person's own input: the display's mouse and keyboard
// (XTest, through wxUIActionSimulator) on the shown dialog, which runs modally as in the program.
// A script of steps runs from a timer; each step waits until what a person would see is there
// (the menu shown, an item highlighted, the command arrived), then moves the mouse or presses a
// key. The screenshots of the open menu in both looks are written as PNG files beside the build.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include "controls/ButtonNX.h"
#include "platform/menu_popup.h"
#include "tests/controls/menu_resources.h"
#include "tests/controls/menu_tree.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

namespace {

using platform::MenuPopup;
using Clock = std::chrono::steady_clock;

constexpr UINT kMenu = 9701, kToolbar = 9702;
constexpr UINT kFirst = 9711, kSecond = 9712, kGrey = 9713, kDeep = 9714, kDeeper = 9715, kLast = 9716;
// Positions in the drop-down.
constexpr int kFirstAt = 0, kSecondAt = 2, kGreyAt = 3, kMoreAt = 4, kLastAt = 5;

// Drop: First, a separator, Second, Grey (disabled), More > (Deep, Deeper), Last.
void RegisterMenu()
{
    static bool done = false;
    if (done) return;
    done = true;
    using menu_resources::Register;
    using platform::ResType;
    Register(ResType::Menu, kMenu,
             menu_resources::MenuTemplate({
                 {MF_POPUP | MF_END, 0, u"Drop"},
                 {MF_STRING, kFirst, u"&First"},
                 {MF_STRING, 0, u""},
                 {MF_STRING, kSecond, u"&Second\tCtrl+S"},
                 {MF_STRING | MF_GRAYED, kGrey, u"&Grey"},
                 {MF_POPUP, 0, u"&More"},
                 {MF_STRING, kDeep, u"&Deep"},
                 {MF_END, kDeeper, u"D&eeper"},
                 {MF_END, kLast, u"&Last"},
             }));
    Register(ResType::Toolbar, kToolbar, menu_resources::Toolbar(16, 15, {kFirst, kSecond}));
    Register(ResType::Bitmap, kToolbar, menu_resources::ToolbarStrip(16, 15, {RGB(0, 128, 0), RGB(0, 0, 255)}));
}

// A script of steps run while the dialog is modal. A step waits until `ready` holds, then acts.
class Script {
public:
    Script& Then(std::string what, std::function<bool()> ready, std::function<void()> act = {})
    {
        m_steps.push_back({std::move(what), std::move(ready), std::move(act)});
        return *this;
    }
    // A step that waits `ms` after the previous one acted (on top of what it waited for).
    Script& Settle(int ms)
    {
        auto since = std::make_shared<Clock::time_point>();
        m_steps.push_back({"a pause",
                           [since, ms] {
                               if (*since == Clock::time_point()) *since = Clock::now();
                               return Clock::now() - *since >= std::chrono::milliseconds(ms);
                           },
                           {}});
        return *this;
    }

    // Shows the dialog modally and runs the steps; the dialog ends once the last step is done and
    // `idle` holds. On a timeout `rescue` runs (it ends an open menu), and the step that was
    // waited for is the failure.
    void Run(wxDialog& dialog, const std::function<bool()>& idle, const std::function<void()>& rescue,
             int timeoutMs = 15000)
    {
        const auto start = Clock::now();
        std::size_t next = 0;
        bool busy = false;
        wxTimer timer;
        timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            if (busy) return;  // a step that pumps events sees the timer again
            busy = true;
            if (next < m_steps.size()) {
                if (Clock::now() - start > std::chrono::milliseconds(timeoutMs)) {
                    m_failure = "timed out waiting for: " + m_steps[next].what;
                    next = m_steps.size();
                    rescue();
                } else if (m_steps[next].ready()) {
                    if (m_steps[next].act) m_steps[next].act();
                    ++next;
                }
            }
            if (next >= m_steps.size() && idle() && dialog.IsModal()) dialog.EndModal(wxID_OK);
            busy = false;
        });
        timer.Start(20);
        const int result = dialog.ShowModal();
        timer.Stop();
        if (m_failure.empty() && (next < m_steps.size() || result != wxID_OK))
            m_failure =
                "the dialog ended by itself before: " + (next < m_steps.size() ? m_steps[next].what : "the end");
    }
    const std::string& Failure() const { return m_failure; }

private:
    struct Step {
        std::string what;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    std::vector<Step> m_steps;
    std::string m_failure;
};

// A dialog with an edit field and the bitmap button carrying the drop-down menu; the commands
// that reach the dialog are kept.
class DropDownInput : public ::testing::Test {
public:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        RegisterMenu();
        dialog = new wxDialog(nullptr, wxID_ANY, "drop-down", wxPoint(80, 80), wxSize(360, 260));
        edit = new wxTextCtrl(dialog, wxID_ANY, "", wxPoint(20, 20), wxSize(150, 28));
        button = new CButtonNX(dialog, 701, "Menu", wxPoint(20, 60), wxSize(100, 30));
        button->SetFlatLook(FALSE, FALSE);
        dialog->Bind(wxEVT_MENU, [this](wxCommandEvent& e) { commands.push_back(e.GetId()); });
    }
    void TearDown() override
    {
        if (dialog == nullptr) return;
        dialog->Destroy();
        testing_support::PumpEvents(50);
    }

    void Attach(int drawMode)
    {
        ASSERT_EQ(button->AttachMenu(kMenu, dialog, drawMode, kToolbar, 16, 15, RGB(192, 192, 192), TRUE), 0u);
    }

    // The shown drop-down (its first level) and its open submenu; null when none.
    MenuPopup* Menu() const
    {
        for (wxWindow* w : button->GetChildren()) {
            auto* p = dynamic_cast<MenuPopup*>(w);
            if (p != nullptr && p->IsShownOnScreen() && p->GetTracking().root == p && !p->GetTracking().done) return p;
        }
        return nullptr;
    }
    MenuPopup* Submenu() const
    {
        MenuPopup* m = Menu();
        MenuPopup* sub = m != nullptr ? m->GetSubPopup() : nullptr;
        return sub != nullptr && sub->IsShownOnScreen() ? sub : nullptr;
    }
    // The highlighted item of the first level; -2 while no menu is shown.
    int Selection() const
    {
        MenuPopup* m = Menu();
        return m != nullptr ? m->GetSelection() : -2;
    }
    bool MenuGone() const { return Menu() == nullptr && !button->m_menuShown; }

    // The steps that open the menu with a mouse click on the button.
    void ClickOpens(Script& s)
    {
        s.Then(
             "the dialog on the screen", [this] { return button->IsShownOnScreen(); },
             [this] { sim.MouseMove(button->GetScreenRect().GetPosition() + wxPoint(30, 15)); })
            .Then(
                "the pointer over the button",
                [this] { return button->GetScreenRect().Contains(wxGetMousePosition()); }, [this] { sim.MouseClick(); })
            .Then("the menu shown, nothing highlighted", [this] { return Selection() == -1; });
    }
    // A key press, once the first level shows `selection` highlighted.
    void KeyAt(Script& s, int selection, int key)
    {
        s.Then(
            "item " + std::to_string(selection) + " highlighted",
            [this, selection] { return Selection() == selection; }, [this, key] { sim.Char(key); });
    }
    void Run(Script& s)
    {
        s.Run(
            *dialog, [this] { return MenuGone(); },
            [this] {
                if (MenuPopup* m = Menu()) m->Cancel();
            });
        EXPECT_EQ(s.Failure(), "");
    }

    wxDialog* dialog = nullptr;
    wxTextCtrl* edit = nullptr;
    CButtonNX* button = nullptr;
    wxUIActionSimulator sim;
    std::vector<int> commands;
};

TEST_F(DropDownInput, ArrowsMoveOverTheItemsAndReturnChoosesOnScreen)
{
    Attach(0);
    Script s;
    ClickOpens(s);
    // Keys that mean nothing to a menu leave it open.
    s.Then(
         "the menu waiting", [this] { return Selection() == -1; }, [this] { sim.Char(WXK_TAB); })
        .Then(
            "after Tab", [this] { return Selection() == -1; }, [this] { sim.Char(WXK_F1); })
        .Then(
            "after F1", [this] { return Selection() == -1; }, [this] { sim.Char('z'); })
        .Settle(150)
        .Then(
            "after a character of no item", [this] { return Selection() == -1; }, [this] { sim.Char(WXK_DOWN); });
    // Down from nothing takes the first item; the separator is passed over, the disabled item is
    // not; the last wraps round to the first and Up goes back round to the last.
    const std::vector<std::pair<int, int>> presses = {
        {kFirstAt, WXK_DOWN}, {kSecondAt, WXK_DOWN}, {kGreyAt, WXK_RETURN},  // nothing: disabled
    };
    for (const auto& [at, key] : presses) KeyAt(s, at, key);
    // Return on the disabled item chose nothing: the menu goes on with the next key.
    s.Settle(150).Then(
        "the disabled item still highlighted", [this] { return Selection() == kGreyAt && commands.empty(); },
        [this] { sim.Char(WXK_DOWN); });
    const std::vector<std::pair<int, int>> more = {
        {kMoreAt, WXK_DOWN}, {kLastAt, WXK_DOWN}, {kFirstAt, WXK_UP},      {kLastAt, WXK_UP},
        {kMoreAt, WXK_UP},   {kGreyAt, WXK_UP},   {kSecondAt, WXK_RETURN},
    };
    for (const auto& [at, key] : more) KeyAt(s, at, key);
    s.Then("the command at the dialog", [this] { return !commands.empty(); });
    Run(s);
    EXPECT_EQ(commands, std::vector<int>{int(kSecond)});
    EXPECT_FALSE(button->m_menuShown) << "drawn released again";
}

TEST_F(DropDownInput, AMenuCharacterChoosesOnScreen)
{
    Attach(1);
    Script s;
    ClickOpens(s);
    s.Then(
         "the menu waiting", [this] { return Selection() == -1; }, [this] { sim.Char('l'); })
        .Then("the command at the dialog", [this] { return !commands.empty(); });
    // A second time: the character of a popup entry opens its submenu, whose own characters
    // choose in it.
    ClickOpens(s);
    s.Then(
         "the menu waiting again", [this] { return Selection() == -1; }, [this] { sim.Char('m'); })
        .Then(
            "the submenu open at its first item",
            [this] { return Submenu() != nullptr && Submenu()->GetSelection() == 0; }, [this] { sim.Char('e'); })
        .Then("the second command at the dialog", [this] { return commands.size() == 2; });
    Run(s);
    EXPECT_EQ(commands, (std::vector<int>{int(kLast), int(kDeeper)}));
}

TEST_F(DropDownInput, EscapeClosesChoosingNothingOnScreen)
{
    Attach(0);
    Script s;
    ClickOpens(s);
    s.Then(
        "the menu waiting", [this] { return Selection() == -1; }, [this] { sim.Char(WXK_DOWN); });
    KeyAt(s, kFirstAt, WXK_ESCAPE);
    s.Then("the menu gone", [this] { return MenuGone(); }).Settle(200);
    // The keyboard is the dialog's again: Space presses the button that has the focus, which
    // drops the menu down once more, and Escape closes it again. The dialog itself never took
    // an Escape for its own.
    s.Then(
         "the button with the focus", [this] { return wxWindow::FindFocus() == button; }, [this] { sim.Char(' '); })
        .Then(
            "the menu shown by the keyboard", [this] { return Selection() == -1; }, [this] { sim.Char(WXK_ESCAPE); })
        .Then("the menu gone again", [this] { return MenuGone(); })
        .Settle(200);
    Run(s);
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(s.Failure(), "");
}

TEST_F(DropDownInput, RightOpensTheSubmenuAndLeftClosesItOnScreen)
{
    Attach(1);
    Script s;
    ClickOpens(s);
    s.Then(
        "the menu waiting", [this] { return Selection() == -1; }, [this] { sim.Char(WXK_UP); });
    KeyAt(s, kLastAt, WXK_UP);
    KeyAt(s, kMoreAt, WXK_RIGHT);
    s.Then(
         "the submenu open at its first item",
         [this] { return Submenu() != nullptr && Submenu()->GetSelection() == 0; }, [this] { sim.Char(WXK_DOWN); })
        .Then(
            "its second item highlighted", [this] { return Submenu() != nullptr && Submenu()->GetSelection() == 1; },
            [this] { sim.Char(WXK_LEFT); })
        .Then(
            "the submenu closed, its entry still highlighted",
            [this] { return Submenu() == nullptr && Selection() == kMoreAt; }, [this] { sim.Char(WXK_RIGHT); })
        .Then(
            "the submenu open again", [this] { return Submenu() != nullptr && Submenu()->GetSelection() == 0; },
            [this] { sim.Char(WXK_ESCAPE); })
        .Then(
            "Escape closed only the submenu", [this] { return Submenu() == nullptr && Selection() == kMoreAt; },
            [this] { sim.Char(WXK_RETURN); })
        .Then(
            "Return opened it", [this] { return Submenu() != nullptr && Submenu()->GetSelection() == 0; },
            [this] { sim.Char(WXK_RETURN); })
        .Then("the command at the dialog", [this] { return !commands.empty(); });
    Run(s);
    EXPECT_EQ(commands, std::vector<int>{int(kDeep)});
}

TEST_F(DropDownInput, TheMouseHighlightsAndChoosesBesideTheKeysOnScreen)
{
    Attach(0);
    auto over = [this](int position) {
        MenuPopup* m = Menu();
        const wxRect r = m->GetItemRect(position);
        return m->ClientToScreen(wxPoint(r.x + r.width / 2, r.y + r.height / 2));
    };
    Script s;
    ClickOpens(s);
    s.Then(
        "the menu waiting", [this] { return Selection() == -1; }, [&] { sim.MouseMove(over(kSecondAt)); });
    KeyAt(s, kSecondAt, WXK_DOWN);  // the pointer highlighted it; the keys go on from there
    s.Then(
         "the key moved on", [this] { return Selection() == kGreyAt; }, [&] { sim.MouseMove(over(kLastAt)); })
        .Then(
            "the pointer on the last item", [this] { return Selection() == kLastAt; }, [&] { sim.MouseClick(); })
        .Then("the command at the dialog", [this] { return !commands.empty(); });
    // A click outside the open menu closes it choosing nothing.
    ClickOpens(s);
    s.Then(
         "the menu waiting again", [this] { return Selection() == -1; }, [this] { sim.Char(WXK_DOWN); })
        .Then(
            "the first item highlighted", [this] { return Selection() == kFirstAt; },
            [this] { sim.MouseMove(edit->GetScreenRect().GetPosition() + wxPoint(10, 10)); })
        .Then(
            "the pointer over the edit field", [this] { return edit->GetScreenRect().Contains(wxGetMousePosition()); },
            [this] { sim.MouseClick(); })
        .Then("the menu gone", [this] { return MenuGone(); })
        .Settle(200);
    Run(s);
    EXPECT_EQ(commands, std::vector<int>{int(kLast)});
}

// The open menu in the classic and the flat look, written as PNG files: the entry of the submenu
// shows its arrow, highlighted and not; the disabled item reached by the keys is drawn highlighted
// in the classic look only, as the family's settings say.
TEST_F(DropDownInput, ScreenshotOfTheOpenMenuInEachLookOnScreen)
{
    const menu_tree::SavedLook savedLook;  // the fixed palette meanwhile
    KiroMenu::s_shellType = 2;
    const COLORREF hc = platform::SysColor(COLOR_HIGHLIGHT), text = platform::SysColor(COLOR_MENUTEXT);
    struct Look {
        const char* name;
        int drawMode;
        COLORREF selectedFill;    // a highlighted item's background
        COLORREF arrowSelected;   // the arrow of the highlighted submenu entry
        COLORREF greyBackground;  // the disabled item's background while the keys are on it
    };
    const Look looks[] = {
        {"classic", 0, hc, platform::SysColor(COLOR_HIGHLIGHTTEXT), hc},
        {"flat", 1, KiroMenu::BlendTowardWhite(hc, 0.85), text, platform::SysColor(COLOR_WINDOW)},
    };
    auto at = [](const wxImage& image, int x, int y) {
        return RGB(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
    };
    for (const Look& look : looks) {
        SCOPED_TRACE(look.name);
        Attach(look.drawMode);
        wxImage onMore, onGrey;
        wxRect more, grey;
        const std::string base = std::string(QEL_BINARY_DIR) + "/dropdown-" + look.name;
        auto shoot = [this](wxImage& image, const std::string& path) {
            image = testing_support::CaptureWindow(Menu());
            if (image.IsOk()) image.SaveFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG);
        };
        Script s;
        ClickOpens(s);
        s.Then(
            "the menu waiting", [this] { return Selection() == -1; }, [this] { sim.Char(WXK_UP); });
        KeyAt(s, kLastAt, WXK_UP);
        s.Then(
             "the submenu's entry highlighted", [this] { return Selection() == kMoreAt; },
             [&] {
                 more = Menu()->GetItemRect(kMoreAt);
                 grey = Menu()->GetItemRect(kGreyAt);
                 shoot(onMore, base + "-more.png");
                 sim.Char(WXK_UP);
             })
            .Then(
                "the disabled item reached", [this] { return Selection() == kGreyAt; },
                [&] {
                    shoot(onGrey, base + "-grey.png");
                    sim.Char(WXK_ESCAPE);
                });
        Run(s);
        ASSERT_TRUE(onMore.IsOk());
        ASSERT_TRUE(onGrey.IsOk());
        std::fprintf(stderr, "screenshots: %s-more.png, %s-grey.png\n", base.c_str(), base.c_str());

        // The arrow: its first column is 7 pixels high, 10 in from the item's right edge, with the
        // item's background left of it.
        const int arrowX = more.GetRight() + 1 - 10, middle = more.y + more.height / 2;
        for (int y = middle - 3; y <= middle + 3; ++y) EXPECT_EQ(at(onMore, arrowX, y), look.arrowSelected) << y;
        EXPECT_EQ(at(onMore, arrowX - 2, middle), look.selectedFill);
        EXPECT_EQ(at(onMore, arrowX + 1, middle - 3), look.selectedFill) << "a triangle, not a bar";
        EXPECT_EQ(at(onGrey, arrowX, middle), text) << "the arrow of the entry not highlighted";
        // The disabled item with the keys on it, right of its caption.
        EXPECT_EQ(at(onGrey, grey.GetRight() - 12, grey.y + grey.height / 2), look.greyBackground);
    }
}

}  // namespace
