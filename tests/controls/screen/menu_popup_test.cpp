// The popup window that shows menus of the menu model: layout through the menu object's
// measuring, painting through its drawing, selection, choosing, sub-popups, menu characters and
// the modal tracking. Driven through the popup's own functions, not real input.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/frame.h>

#include "controls/KiroMenu.h"
#include "platform/menu_popup.h"
#include "tests/controls/menu_tree.h"
#include "tests/support/pixel_canvas.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

using platform::MenuPopup;
using testing_support::PixelCanvas;

namespace {

// A menu object that measures each owner-drawn item 100 wide and (item data) high, and keeps
// the drawing requests it gets.
class RecordingMenu : public CMenu {
public:
    void MeasureItem(MEASUREITEMSTRUCT* m) override
    {
        m->itemWidth = 100;
        m->itemHeight = static_cast<UINT>(m->itemData);
        measured.push_back(m->itemID);
    }
    void DrawItem(DRAWITEMSTRUCT* d) override
    {
        drawn.push_back(*d);
        platform::FillSolidRect(*d->hDC, d->rcItem, (d->itemState & ODS_SELECTED) ? RGB(255, 0, 0) : RGB(0, 0, 255));
    }
    std::vector<UINT> measured;
    std::vector<DRAWITEMSTRUCT> drawn;
};

// An owner window that answers measuring and menu characters itself.
class OwnerFrame : public wxFrame, public platform::MenuOwner {
public:
    OwnerFrame() : wxFrame(nullptr, wxID_ANY, "owner", wxPoint(50, 50), wxSize(200, 100))
    {
        Bind(wxEVT_MENU, [this](wxCommandEvent& e) { commands.push_back(e.GetId()); });
    }
    bool OnMenuMeasureItem(MEASUREITEMSTRUCT* m, HMENU) override
    {
        if (!measureAll) return false;
        m->itemWidth = 150;
        m->itemHeight = 30;
        return true;
    }
    LRESULT OnMenuChar(UINT ch, UINT flags, HMENU menu) override
    {
        charsSeen.push_back(ch);
        if (menuCharAnswer) return menuCharAnswer(ch, flags, menu);
        return 0;
    }
    bool measureAll = false;
    std::function<LRESULT(UINT, UINT, HMENU)> menuCharAnswer;
    std::vector<UINT> charsSeen;
    std::vector<int> commands;
};

class MenuPopupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testing_support::HaveDisplay()) return;
        platform::UseFixedSystemColors(true);
        owner = new OwnerFrame;
        owner->Show();
        menu.CreatePopupMenu();
        // 0: command 11, 20 high; 1: separator; 2: command 12 grayed; 3: plain text "&Plain"
        // (13); 4: popup "More" with commands 21 and 22; 5: command 14 checked.
        menu.AppendMenu(MF_OWNERDRAW, 11, reinterpret_cast<const void*>(std::uintptr_t(20)));
        menu.AppendMenu(MF_SEPARATOR, 0, static_cast<const WCHAR*>(nullptr));
        menu.AppendMenu(MF_OWNERDRAW | MF_GRAYED, 12, reinterpret_cast<const void*>(std::uintptr_t(25)));
        menu.AppendMenu(MF_STRING, 13, u"&Plain\tCtrl+P");
        sub.CreatePopupMenu();
        sub.AppendMenu(MF_OWNERDRAW, 21, reinterpret_cast<const void*>(std::uintptr_t(18)));
        sub.AppendMenu(MF_STRING, 22, u"&Last");
        menu.AppendMenu(MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub.m_hMenu), u"&More");
        menu.AppendMenu(MF_OWNERDRAW | MF_CHECKED, 14, reinterpret_cast<const void*>(std::uintptr_t(20)));
    }
    void TearDown() override
    {
        platform::SetMenuTrackingHook({});
        if (owner) owner->Destroy();
        platform::UseFixedSystemColors(false);
    }
    std::unique_ptr<MenuPopup> Popup() { return std::unique_ptr<MenuPopup>(new MenuPopup(owner, menu.m_hMenu)); }
    OwnerFrame* owner = nullptr;
    RecordingMenu menu;
    RecordingMenu sub;
};

}  // namespace

TEST_F(MenuPopupTest, ItemsAreStackedAtTheSizesTheMenuObjectMeasures)
{
    QEL_REQUIRE_DISPLAY();
    auto popup = Popup();
    ASSERT_EQ(popup->GetItemCount(), 6);
    EXPECT_EQ(menu.measured, (std::vector<UINT>{11, 12, 14}));
    const wxRect first = popup->GetItemRect(0);
    EXPECT_EQ(first.height, 20);
    EXPECT_EQ(popup->GetItemRect(1).y, first.GetBottom() + 1);
    EXPECT_EQ(popup->GetItemRect(2).height, 25);
    for (int i = 1; i < 6; ++i) {
        EXPECT_EQ(popup->GetItemRect(i).width, first.width);  // all as wide as the widest
        EXPECT_EQ(popup->GetItemRect(i).y, popup->GetItemRect(i - 1).GetBottom() + 1);
    }
    EXPECT_GE(first.width, 100);
    EXPECT_EQ(popup->HitTest(wxPoint(first.x + 5, first.y + 5)), 0);
    EXPECT_EQ(popup->HitTest(wxPoint(0, 0)), -1);  // the frame

    // The owner window can answer the measuring itself.
    owner->measureAll = true;
    menu.measured.clear();
    popup->Relayout();
    EXPECT_TRUE(menu.measured.empty());
    EXPECT_EQ(popup->GetItemRect(0).height, 30);
    EXPECT_EQ(popup->GetItemRect(0).width, 150);
}

TEST_F(MenuPopupTest, OwnerDrawnItemsAreDrawnByTheMenuObjectWithTheirState)
{
    QEL_REQUIRE_DISPLAY();
    auto popup = Popup();
    ASSERT_TRUE(popup->Select(5));
    const wxSize size = popup->GetClientSize();
    PixelCanvas canvas(size.x, size.y);
    popup->PaintItems(canvas.dc());
    ASSERT_EQ(menu.drawn.size(), 3u);
    EXPECT_EQ(menu.drawn[0].itemID, 11u);
    EXPECT_EQ(menu.drawn[0].itemState, 0u);
    EXPECT_EQ(menu.drawn[1].itemState, UINT(ODS_GRAYED));
    EXPECT_EQ(menu.drawn[2].itemState, UINT(ODS_SELECTED | ODS_CHECKED));
    for (const DRAWITEMSTRUCT& d : menu.drawn) {
        EXPECT_EQ(d.CtlType, UINT(ODT_MENU));
        EXPECT_EQ(d.hwndItem, static_cast<void*>(menu.m_hMenu));
        EXPECT_EQ(d.hDC, &canvas.dc());
    }
    EXPECT_EQ(menu.drawn[2].rcItem, popup->GetItemRect(5));
    EXPECT_EQ(menu.drawn[1].itemData, 25u);
    canvas.Finish();
    const wxRect selected = popup->GetItemRect(5);
    EXPECT_EQ(canvas.At(selected.x + 2, selected.y + 2), RGB(255, 0, 0));
    const wxRect plain = popup->GetItemRect(0);
    EXPECT_EQ(canvas.At(plain.x + 2, plain.y + 2), RGB(0, 0, 255));
    // The plain text item is the popup's own: the menu colour with text on it.
    const wxRect text = popup->GetItemRect(3);
    EXPECT_GT(canvas.Count(text, platform::SysColor(COLOR_MENU)), 0);
    EXPECT_GT(canvas.Count(text, platform::SysColor(COLOR_MENUTEXT)), 0);
}

TEST_F(MenuPopupTest, SelectionSkipsSeparatorsAndWraps)
{
    QEL_REQUIRE_DISPLAY();
    auto popup = Popup();
    EXPECT_EQ(popup->GetSelection(), -1);
    EXPECT_FALSE(popup->Select(1));  // a separator
    EXPECT_FALSE(popup->Select(6));
    struct Step {
        bool next;
        int want;
    };
    const std::vector<Step> steps = {{true, 0}, {true, 2}, {true, 3},  {true, 4},
                                     {true, 5}, {true, 0}, {false, 5}, {false, 4}};
    for (const Step& s : steps) {
        EXPECT_TRUE(s.next ? popup->SelectNext() : popup->SelectPrevious());
        EXPECT_EQ(popup->GetSelection(), s.want);
    }
    EXPECT_TRUE(popup->Select(-1));
    EXPECT_TRUE(popup->SelectPrevious());
    EXPECT_EQ(popup->GetSelection(), 5);
}

TEST_F(MenuPopupTest, ChoosingEndsTheTrackingWithTheCommand)
{
    QEL_REQUIRE_DISPLAY();
    struct Case {
        int position;
        bool chosen;
        UINT result;
    };
    const std::vector<Case> cases = {
        {0, true, 11}, {3, true, 13}, {5, true, 14}, {1, false, 0},  // separator
        {2, false, 0},                                               // grayed
        {9, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        auto popup = Popup();
        EXPECT_EQ(popup->Choose(c.position), c.chosen);
        EXPECT_EQ(popup->GetTracking().done, c.chosen);
        EXPECT_EQ(popup->GetTracking().result, c.result);
    }
    auto popup = Popup();
    popup->Cancel();
    EXPECT_TRUE(popup->GetTracking().done);
    EXPECT_EQ(popup->GetTracking().result, 0u);
    EXPECT_FALSE(popup->Choose(0));  // once ended, nothing more is chosen
    EXPECT_EQ(popup->GetTracking().result, 0u);
}

TEST_F(MenuPopupTest, APopupItemOpensItsPopupWhoseChoiceEndsTheTracking)
{
    QEL_REQUIRE_DISPLAY();
    auto popup = Popup();
    EXPECT_TRUE(popup->Choose(4));
    EXPECT_FALSE(popup->GetTracking().done);
    MenuPopup* opened = popup->GetSubPopup();
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->GetMenu(), sub.m_hMenu);
    EXPECT_EQ(opened->GetSelection(), 0);
    EXPECT_TRUE(opened->IsShown());
    EXPECT_EQ(sub.measured, (std::vector<UINT>{21}));
    // Selecting another item of the first level closes it.
    popup->Select(0);
    EXPECT_EQ(popup->GetSubPopup(), nullptr);
    popup->Choose(4);
    opened = popup->GetSubPopup();
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(opened->Choose(1));
    EXPECT_TRUE(popup->GetTracking().done);
    EXPECT_EQ(popup->GetTracking().result, 22u);
}

TEST_F(MenuPopupTest, MenuCharactersAskTheOwnerFirst)
{
    QEL_REQUIRE_DISPLAY();
    {
        // The owner has no answer: the plain text items' & letters.
        auto popup = Popup();
        EXPECT_TRUE(popup->MenuChar('p'));
        EXPECT_EQ(popup->GetTracking().result, 13u);
        EXPECT_EQ(owner->charsSeen, (std::vector<UINT>{'p'}));
    }
    {
        auto popup = Popup();
        EXPECT_FALSE(popup->MenuChar('q'));
        EXPECT_FALSE(popup->GetTracking().done);
        EXPECT_TRUE(popup->MenuChar('M'));  // opens the popup
        EXPECT_NE(popup->GetSubPopup(), nullptr);
        popup->CloseSubPopup();
    }
    struct Case {
        const char* name;
        LRESULT answer;
        bool done;
        UINT result;
        int selection;
    };
    const std::vector<Case> cases = {
        {"execute", (MNC_EXECUTE << 16) | 5, true, 14, 5},
        {"select", (MNC_SELECT << 16) | 2, false, 0, 2},
        {"close", MNC_CLOSE << 16, true, 0, -1},
        {"execute a separator", (MNC_EXECUTE << 16) | 1, false, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        owner->menuCharAnswer = [&c](UINT, UINT flags, HMENU) { return (flags & MF_POPUP) ? c.answer : 0; };
        auto popup = Popup();
        popup->MenuChar('x');
        EXPECT_EQ(popup->GetTracking().done, c.done);
        EXPECT_EQ(popup->GetTracking().result, c.result);
        EXPECT_EQ(popup->GetSelection(), c.selection);
    }
}

TEST_F(MenuPopupTest, TrackingRunsUntilAChoiceOrADismissal)
{
    QEL_REQUIRE_DISPLAY();
    struct Case {
        const char* name;
        UINT flags;
        std::function<void(MenuPopup&)> act;
        int result;
        std::vector<int> commands;  // what the owner received
    };
    const std::vector<Case> cases = {
        {"chosen, returned", platform::TPM_RETURNCMD, [](MenuPopup& p) { p.Choose(3); }, 13, {}},
        {"chosen, sent to the owner", 0, [](MenuPopup& p) { p.Choose(0); }, 11, {11}},
        {"cancelled", platform::TPM_RETURNCMD, [](MenuPopup& p) { p.Cancel(); }, 0, {}},
        {"in the sub-popup",
         platform::TPM_RETURNCMD | platform::TPM_RIGHTALIGN,
         [](MenuPopup& p) {
             p.Choose(4);
             if (p.GetSubPopup()) p.GetSubPopup()->Choose(0);
         },
         21,
         {}},
        {"dismissed", platform::TPM_RETURNCMD, [](MenuPopup& p) { p.Dismiss(); }, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        owner->commands.clear();
        bool shown = false;
        platform::SetMenuTrackingHook([&](MenuPopup& p) {
            shown = p.IsShown();
            c.act(p);
        });
        EXPECT_EQ(platform::TrackPopupMenu(menu.m_hMenu, c.flags, 100, 100, owner), c.result);
        EXPECT_TRUE(shown);
        EXPECT_EQ(owner->commands, c.commands);
    }
    platform::SetMenuTrackingHook({});
    EXPECT_EQ(platform::TrackPopupMenu(nullptr, platform::TPM_RETURNCMD, 0, 0, owner), 0);
}

TEST_F(MenuPopupTest, AFamilyMenuIsMeasuredAndPaintedByItsOwnPainter)
{
    QEL_REQUIRE_DISPLAY();
    const menu_tree::SavedLook savedLook;  // the look and the system colours come back afterwards
    KiroMenu::s_shellType = 2;
    KiroMenu::SetDrawMode(0);
    {
        KiroMenu family;
        family.CreatePopupMenu();
        menu_tree::AddItem(family, 31, "&Open");
        menu_tree::AddSeparator(family);
        KiroMenu* recent = menu_tree::AddPopup(family, "&Recent");
        menu_tree::AddItem(*recent, 41, "First");
        auto popup = std::unique_ptr<MenuPopup>(new MenuPopup(owner, family.m_hMenu));
        EXPECT_EQ(popup->GetItemRect(0).height, 19);  // the family's item height
        EXPECT_EQ(popup->GetItemRect(1).height, 9);   // and its separator's
        popup->Select(0);
        const wxSize size = popup->GetClientSize();
        PixelCanvas canvas(size.x, size.y);
        popup->PaintItems(canvas.dc());
        canvas.Finish();
        const wxRect item = popup->GetItemRect(0);
        EXPECT_EQ(canvas.At(item.GetRight() - 2, item.y + 2), platform::SysColor(COLOR_HIGHLIGHT));

        platform::SetMenuTrackingHook([](MenuPopup& p) {
            p.Choose(2);
            if (p.GetSubPopup()) p.GetSubPopup()->Choose(0);
        });
        EXPECT_EQ(platform::TrackPopupMenu(family.m_hMenu, 0x0182, 10, 10, owner), 41);
        // The owner's menu characters reach the family through the owner.
        owner->menuCharAnswer = [&family](UINT ch, UINT flags, HMENU) {
            return KiroMenu::FindMenuChar(ch, flags, &family);
        };
        platform::SetMenuTrackingHook([](MenuPopup& p) { p.MenuChar('o'); });
        EXPECT_EQ(platform::TrackPopupMenu(family.m_hMenu, 0x0182, 10, 10, owner), 31);
    }
}

TEST_F(MenuPopupTest, ScreenshotOfAFamilyPopupOnScreen)
{
    QEL_REQUIRE_DISPLAY();
    const menu_tree::SavedLook savedLook;  // the look and the system colours come back afterwards
    KiroMenu::s_shellType = 2;
    KiroMenu::SetDrawMode(1);
    {
        KiroMenu family;
        family.CreatePopupMenu();
        menu_tree::AddItem(family, 31, "&Open\tCtrl+O");
        menu_tree::AddItem(family, 32, "&Save");
        menu_tree::AddSeparator(family);
        menu_tree::AddItem(family, 33, "E&xit", MF_GRAYED);
        platform::CheckMenuItem(family.m_hMenu, 32, MF_CHECKED);
        wxImage shot;
        wxRect selected;
        platform::SetMenuTrackingHook([&](MenuPopup& p) {
            p.Select(0);
            selected = p.GetItemRect(0);
            testing_support::PumpEvents(300);
            shot = testing_support::CaptureWindow(&p);
            testing_support::SaveWindowPng(&p, std::string(QEL_BINARY_DIR) + "/menu_popup_screenshot.png");
            p.Cancel();
        });
        EXPECT_EQ(platform::TrackPopupMenu(family.m_hMenu, platform::TPM_RETURNCMD, 60, 60, owner), 0);
        ASSERT_TRUE(shot.IsOk());
        // The flat look's pale selection box, framed in the highlight colour, on the screen.
        const COLORREF hc = platform::SysColor(COLOR_HIGHLIGHT);
        const COLORREF sc = KiroMenu::BlendTowardWhite(hc, 0.85);
        auto at = [&shot](int x, int y) { return RGB(shot.GetRed(x, y), shot.GetGreen(x, y), shot.GetBlue(x, y)); };
        EXPECT_EQ(at(selected.x, selected.y), hc);
        EXPECT_EQ(at(selected.GetRight() - 3, selected.y + 3), sc);
    }
}
