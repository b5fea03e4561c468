// The menu model: handles, items by position and by command, flags, states, strings, data.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/cmenu.h"
#include "platform/menu_model.h"

using namespace platform;

namespace {

const WCHAR* W(const std::u16string& s) { return s.c_str(); }
const WCHAR* W(const char16_t* s) { return s; }  // a literal: no temporary string

// Owns the menus a test makes, so none outlives it.
class MenuModel : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (HMENU m : made_) DestroyMenu(m);
        CMenu::DeleteTempMap();
    }
    HMENU Menu() { return Keep(CreateMenu()); }
    HMENU Popup() { return Keep(CreatePopupMenu()); }
    HMENU Keep(HMENU m)
    {
        made_.push_back(m);
        return m;
    }
    static UINT_PTR H(HMENU m) { return reinterpret_cast<UINT_PTR>(m); }
    std::vector<HMENU> made_;
};

const std::u16string kOpen = u"Open";
const std::u16string kSave = u"Save";
const std::u16string kClose = u"Close";

}  // namespace

TEST_F(MenuModel, HandlesAreNeverReused)
{
    std::set<HMENU> seen;
    for (int round = 0; round < 50; ++round) {
        HMENU a = CreateMenu();
        HMENU b = CreatePopupMenu();
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(seen.insert(a).second);
        EXPECT_TRUE(seen.insert(b).second);
        EXPECT_TRUE(IsMenu(a));
        EXPECT_FALSE(IsPopupMenu(a));
        EXPECT_TRUE(IsPopupMenu(b));
        EXPECT_TRUE(DestroyMenu(a));
        EXPECT_TRUE(DestroyMenu(b));
        EXPECT_FALSE(IsMenu(a));
        EXPECT_FALSE(IsMenu(b));
    }
    // A destroyed handle stays invalid while new menus are made.
    HMENU fresh = Menu();
    for (HMENU old : seen) EXPECT_FALSE(IsMenu(old));
    EXPECT_EQ(seen.count(fresh), 0u);
}

TEST_F(MenuModel, EveryOperationOnADestroyedOrNullMenuFails)
{
    HMENU dead = CreateMenu();
    ASSERT_TRUE(AppendMenu(dead, MF_STRING, 1, W(kOpen)));
    ASSERT_TRUE(DestroyMenu(dead));
    for (HMENU m : {dead, static_cast<HMENU>(nullptr)}) {
        SCOPED_TRACE(m ? "destroyed" : "null");
        WCHAR buffer[8] = {u'x'};
        MENUITEMINFOW info;
        info.fMask = MIIM_ID;
        EXPECT_FALSE(DestroyMenu(m));
        EXPECT_FALSE(IsMenu(m));
        EXPECT_FALSE(AppendMenu(m, MF_STRING, 2, W(kSave)));
        EXPECT_FALSE(InsertMenu(m, 0, MF_BYPOSITION, 2, W(kSave)));
        EXPECT_FALSE(ModifyMenu(m, 0, MF_BYPOSITION, 2, W(kSave)));
        EXPECT_FALSE(RemoveMenu(m, 0, MF_BYPOSITION));
        EXPECT_FALSE(DeleteMenu(m, 0, MF_BYPOSITION));
        EXPECT_EQ(GetMenuItemCount(m), -1);
        EXPECT_EQ(GetMenuItemID(m, 0), MENU_FAILED);
        EXPECT_EQ(GetMenuState(m, 0, MF_BYPOSITION), MENU_FAILED);
        EXPECT_EQ(GetMenuString(m, 0, buffer, 8, MF_BYPOSITION), 0);
        EXPECT_EQ(buffer[0], 0);
        EXPECT_EQ(GetSubMenu(m, 0), nullptr);
        EXPECT_FALSE(GetMenuItemInfo(m, 0, TRUE, &info));
        EXPECT_EQ(CheckMenuItem(m, 1, MF_CHECKED), MENU_FAILED);
        EXPECT_EQ(EnableMenuItem(m, 1, MF_GRAYED), MENU_FAILED);
    }
}

TEST_F(MenuModel, DestroyingAMenuDestroysItsSubmenusDepthFirst)
{
    HMENU top = CreateMenu();
    HMENU mid = CreatePopupMenu();
    HMENU inner = CreatePopupMenu();
    const std::size_t before = LiveMenuCount();
    ASSERT_TRUE(AppendMenu(inner, MF_STRING, 7, W(kOpen)));
    ASSERT_TRUE(AppendMenu(mid, MF_POPUP, H(inner), W(u"Inner")));
    ASSERT_TRUE(AppendMenu(top, MF_POPUP, H(mid), W(u"Mid")));
    EXPECT_TRUE(DestroyMenu(top));
    EXPECT_FALSE(IsMenu(top));
    EXPECT_FALSE(IsMenu(mid));
    EXPECT_FALSE(IsMenu(inner));
    EXPECT_EQ(LiveMenuCount(), before - 3);
}

TEST_F(MenuModel, AppendAndInsertByPosition)
{
    HMENU m = Menu();
    EXPECT_EQ(GetMenuItemCount(m), 0);
    ASSERT_TRUE(AppendMenu(m, MF_STRING, 10, W(kOpen)));
    ASSERT_TRUE(AppendMenu(m, MF_STRING, 30, W(kClose)));
    ASSERT_TRUE(InsertMenu(m, 1, MF_BYPOSITION | MF_STRING, 20, W(kSave)));
    ASSERT_TRUE(InsertMenu(m, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr));
    ASSERT_TRUE(InsertMenu(m, 0xFFFFFFFFu, MF_BYPOSITION | MF_STRING, 40, W(u"Last")));
    ASSERT_TRUE(InsertMenu(m, 99, MF_BYPOSITION | MF_STRING, 50, W(u"Past")));
    const std::vector<UINT> ids = {0, 10, 20, 30, 40, 50};
    ASSERT_EQ(GetMenuItemCount(m), static_cast<int>(ids.size()));
    for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(GetMenuItemID(m, static_cast<int>(i)), ids[i]) << i;
    EXPECT_EQ(GetMenuItemID(m, -1), MENU_FAILED);
    EXPECT_EQ(GetMenuItemID(m, 6), MENU_FAILED);
}

TEST_F(MenuModel, InsertByCommandGoesBeforeTheItemInTheMenuThatHoldsIt)
{
    HMENU top = Menu();
    HMENU sub = Popup();
    ASSERT_TRUE(AppendMenu(sub, MF_STRING, 5, W(kOpen)));
    ASSERT_TRUE(AppendMenu(sub, MF_STRING, 6, W(kSave)));
    ASSERT_TRUE(AppendMenu(top, MF_POPUP, H(sub), W(u"File")));
    ASSERT_TRUE(InsertMenu(top, 6, MF_BYCOMMAND | MF_STRING, 55, W(u"Between")));
    EXPECT_EQ(GetMenuItemCount(top), 1);
    ASSERT_EQ(GetMenuItemCount(sub), 3);
    EXPECT_EQ(GetMenuItemID(sub, 1), 55u);
    EXPECT_EQ(GetMenuItemID(sub, 2), 6u);
    EXPECT_FALSE(InsertMenu(top, 999, MF_BYCOMMAND | MF_STRING, 56, W(u"Nowhere")));
    EXPECT_EQ(GetMenuItemCount(sub), 3);
}

TEST_F(MenuModel, ItemIdsAndStates)
{
    HMENU m = Menu();
    HMENU sub = Popup();
    ASSERT_TRUE(AppendMenu(sub, MF_STRING, 1, W(kOpen)));
    ASSERT_TRUE(AppendMenu(sub, MF_STRING, 2, W(kSave)));
    ASSERT_TRUE(AppendMenu(sub, MF_STRING, 3, W(kClose)));
    int data = 0;
    struct Case {
        UINT flags;
        UINT_PTR id;
        const void* item;
        UINT wantId;
        UINT wantState;
    };
    const std::vector<Case> cases = {
        {MF_STRING, 100, W(kOpen), 100, 0},
        {MF_STRING | MF_GRAYED, 101, W(kOpen), 101, MF_GRAYED},
        {MF_STRING | MF_DISABLED | MF_CHECKED, 102, W(kOpen), 102, MF_DISABLED | MF_CHECKED},
        {MF_OWNERDRAW | MF_DEFAULT, 103, &data, 103, MF_OWNERDRAW | MF_DEFAULT},
        {MF_SEPARATOR, 0, nullptr, 0, MF_SEPARATOR},
        {MF_STRING | MF_MENUBREAK | MF_HILITE, 104, W(kOpen), 104, MF_MENUBREAK | MF_HILITE},
        {MF_STRING | MF_MENUBARBREAK, 105, W(kOpen), 105, MF_MENUBARBREAK},
        {MF_BITMAP, 106, reinterpret_cast<const void*>(0x1234), 106, MF_BITMAP},
        // A popup: no id; its flags in the low byte, its item count in the next.
        {MF_POPUP | MF_GRAYED, H(sub), W(u"Sub"), MENU_FAILED, MF_POPUP | MF_GRAYED | (3u << 8)},
    };
    for (const Case& c : cases) ASSERT_TRUE(AppendMenu(m, c.flags, c.id, c.item));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(GetMenuItemID(m, static_cast<int>(i)), cases[i].wantId);
        EXPECT_EQ(GetMenuState(m, static_cast<UINT>(i), MF_BYPOSITION), cases[i].wantState);
    }
    // MF_BYPOSITION only addresses; it is not kept.
    ASSERT_TRUE(ModifyMenu(m, 0, MF_BYPOSITION | MF_STRING, 100, W(kOpen)));
    EXPECT_EQ(GetMenuState(m, 0, MF_BYPOSITION), 0u);
    EXPECT_EQ(GetMenuState(m, 102, MF_BYCOMMAND), MF_DISABLED | MF_CHECKED);
    EXPECT_EQ(GetMenuState(m, 999, MF_BYCOMMAND), MENU_FAILED);
    EXPECT_EQ(GetMenuState(m, 99, MF_BYPOSITION), MENU_FAILED);
}

TEST_F(MenuModel, MenuStrings)
{
    HMENU m = Menu();
    int data = 0;
    ASSERT_TRUE(AppendMenu(m, MF_STRING, 1, W(u"Open\tCtrl+O")));
    ASSERT_TRUE(AppendMenu(m, MF_OWNERDRAW, 2, &data));
    ASSERT_TRUE(AppendMenu(m, MF_SEPARATOR, 0, nullptr));
    ASSERT_TRUE(AppendMenu(m, MF_STRING, 3, nullptr));
    ASSERT_TRUE(AppendMenu(m, MF_STRING, 4, W(u"端口")));
    WCHAR buffer[5];
    struct Case {
        UINT item;
        UINT flags;
        int max;
        int want;
        std::u16string text;
    };
    const std::vector<Case> cases = {
        {0, MF_BYPOSITION, 5, 4, u"Open"},                                // cut to max - 1 and terminated
        {1, MF_BYCOMMAND, 5, 11, u""},                                    // null buffer below: the length only
        {1, MF_BYPOSITION, 5, 0, u""},                                    // owner-drawn: no string
        {2, MF_BYPOSITION, 5, 0, u""},                                    // separator
        {3, MF_BYCOMMAND, 5, 0, u""},                                     // a string item made with no text
        {4, MF_BYCOMMAND, 5, 2, u"端口"},  {9, MF_BYCOMMAND, 5, 0, u""},  // no such item
        {0, MF_BYPOSITION, 1, 0, u""},                                    // room for the terminator only
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        if (i == 1) {
            EXPECT_EQ(GetMenuString(m, c.item, nullptr, 0, c.flags), c.want);
            continue;
        }
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(GetMenuString(m, c.item, buffer, c.max, c.flags), c.want);
        EXPECT_EQ(std::u16string(buffer), c.text);
    }
    EXPECT_EQ(GetMenuString(m, 1, MF_BYCOMMAND), u"Open\tCtrl+O");
    EXPECT_EQ(GetMenuString(m, 4, MF_BYCOMMAND), u"端口");
}

TEST_F(MenuModel, ItemDataOfOwnerDrawnAndBitmapItems)
{
    HMENU m = Menu();
    int a = 0, b = 0;
    ASSERT_TRUE(AppendMenu(m, MF_OWNERDRAW, 1, &a));
    ASSERT_TRUE(AppendMenu(m, MF_SEPARATOR | MF_OWNERDRAW, 0, &b));
    ASSERT_TRUE(AppendMenu(m, MF_STRING, 2, W(kOpen)));
    ASSERT_TRUE(AppendMenu(m, MF_BITMAP, 3, reinterpret_cast<const void*>(0x77)));
    EXPECT_EQ(GetMenuItemData(m, 1, MF_BYCOMMAND), reinterpret_cast<ULONG_PTR>(&a));
    EXPECT_EQ(GetMenuItemData(m, 1, MF_BYPOSITION), reinterpret_cast<ULONG_PTR>(&b));
    EXPECT_EQ(GetMenuItemData(m, 2, MF_BYCOMMAND), 0u);
    EXPECT_EQ(GetMenuItemData(m, 3, MF_BYCOMMAND), 0x77u);
    EXPECT_EQ(GetMenuItemData(m, 9, MF_BYCOMMAND), 0u);
}

TEST_F(MenuModel, ModifyReplacesTheItem)
{
    HMENU m = Menu();
    int data = 0;
    ASSERT_TRUE(AppendMenu(m, MF_STRING | MF_CHECKED, 1, W(kOpen)));
    ASSERT_TRUE(SetMenuItemBitmaps(m, 1, MF_BYCOMMAND, 0x10, 0x20));
    // To owner-drawn: the string goes, the data comes, the new flags replace the old ones;
    // the check-mark bitmaps stay with the item.
    ASSERT_TRUE(ModifyMenu(m, 1, MF_BYCOMMAND | MF_OWNERDRAW, 8, &data));
    EXPECT_EQ(GetMenuItemID(m, 0), 8u);
    EXPECT_EQ(GetMenuState(m, 0, MF_BYPOSITION), MF_OWNERDRAW);
    EXPECT_EQ(GetMenuItemData(m, 8, MF_BYCOMMAND), reinterpret_cast<ULONG_PTR>(&data));
    EXPECT_EQ(GetMenuString(m, 8, MF_BYCOMMAND), u"");
    MENUITEMINFOW info;
    info.fMask = MIIM_CHECKMARKS;
    ASSERT_TRUE(GetMenuItemInfo(m, 8, FALSE, &info));
    EXPECT_EQ(info.hbmpUnchecked, 0x10u);
    EXPECT_EQ(info.hbmpChecked, 0x20u);
    EXPECT_FALSE(ModifyMenu(m, 1, MF_BYCOMMAND, 9, W(kSave)));  // the old id is gone
    EXPECT_FALSE(ModifyMenu(m, 3, MF_BYPOSITION, 9, W(kSave)));
}

TEST_F(MenuModel, ModifyDestroysTheSubmenuItReplacesButKeepsOneItStillOpens)
{
    HMENU m = Menu();
    HMENU sub = CreatePopupMenu();
    ASSERT_TRUE(AppendMenu(sub, MF_STRING, 1, W(kOpen)));
    ASSERT_TRUE(AppendMenu(m, MF_POPUP, H(sub), W(u"File")));
    int data = 0;
    // Owner-drawn, opening the same popup: the popup lives on.
    ASSERT_TRUE(ModifyMenu(m, 0, MF_BYPOSITION | MF_POPUP | MF_OWNERDRAW, H(sub), &data));
    EXPECT_TRUE(IsMenu(sub));
    EXPECT_EQ(GetSubMenu(m, 0), sub);
    EXPECT_EQ(GetMenuItemData(m, 0, MF_BYPOSITION), reinterpret_cast<ULONG_PTR>(&data));
    // Back to a plain text entry that opens it (by its handle as command).
    ASSERT_TRUE(ModifyMenu(m, static_cast<UINT>(H(sub)), MF_BYCOMMAND | MF_POPUP, H(sub), W(u"File")));
    EXPECT_EQ(GetMenuString(m, 0, MF_BYPOSITION), u"File");
    EXPECT_TRUE(IsMenu(sub));
    // Replaced by a plain item: the popup goes.
    ASSERT_TRUE(ModifyMenu(m, 0, MF_BYPOSITION | MF_STRING, 5, W(kSave)));
    EXPECT_FALSE(IsMenu(sub));
    EXPECT_EQ(GetSubMenu(m, 0), nullptr);
    EXPECT_EQ(GetMenuItemID(m, 0), 5u);
}

TEST_F(MenuModel, ModifyToAnInvalidPopupLeavesTheItem)
{
    HMENU m = Menu();
    HMENU dead = CreatePopupMenu();
    DestroyMenu(dead);
    ASSERT_TRUE(AppendMenu(m, MF_STRING, 1, W(kOpen)));
    EXPECT_FALSE(ModifyMenu(m, 0, MF_BYPOSITION | MF_POPUP, H(dead), W(u"Dead")));
    EXPECT_EQ(GetMenuItemID(m, 0), 1u);
    EXPECT_EQ(GetMenuString(m, 0, MF_BYPOSITION), u"Open");
    // No menu at all: a plain item opens none, which is no reason to take it for a popup.
    EXPECT_FALSE(ModifyMenu(m, 0, MF_BYPOSITION | MF_POPUP | MF_OWNERDRAW, 0, W(u"None")));
    EXPECT_EQ(GetMenuState(m, 0, MF_BYPOSITION) & MF_POPUP, 0u);
    EXPECT_EQ(GetMenuItemID(m, 0), 1u);
    EXPECT_EQ(GetMenuString(m, 0, MF_BYPOSITION), u"Open");
}

TEST_F(MenuModel, RemoveKeepsTheSubmenuDeleteDestroysIt)
{
    struct Case {
        const char* name;
        BOOL (*op)(HMENU, UINT, UINT);
        bool submenuLives;
    };
    const Case cases[] = {{"remove", &RemoveMenu, true}, {"delete", &DeleteMenu, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HMENU m = Menu();
        HMENU sub = CreatePopupMenu();
        ASSERT_TRUE(AppendMenu(m, MF_STRING, 1, W(kOpen)));
        ASSERT_TRUE(AppendMenu(m, MF_POPUP, H(sub), W(u"Sub")));
        ASSERT_TRUE(AppendMenu(m, MF_STRING, 2, W(kSave)));
        EXPECT_TRUE(c.op(m, 1, MF_BYPOSITION));
        EXPECT_EQ(GetMenuItemCount(m), 2);
        EXPECT_EQ(GetMenuItemID(m, 1), 2u);
        EXPECT_EQ(IsMenu(sub) != FALSE, c.submenuLives);
        if (c.submenuLives) DestroyMenu(sub);
        // A plain item by command, and failures.
        EXPECT_TRUE(c.op(m, 1, MF_BYCOMMAND));
        EXPECT_EQ(GetMenuItemCount(m), 1);
        EXPECT_FALSE(c.op(m, 1, MF_BYCOMMAND));
        EXPECT_FALSE(c.op(m, 5, MF_BYPOSITION));
        EXPECT_EQ(GetMenuItemCount(m), 1);
    }
}

TEST_F(MenuModel, ByCommandSearchGoesDepthFirstThroughNestedPopups)
{
    // top: [A(1)] [popup P1: [popup P2: [X(7)] [Y(8)]] [X(7)]] [X(7)] [Z(9)]
    HMENU top = Menu();
    HMENU p1 = Popup();
    HMENU p2 = Popup();
    ASSERT_TRUE(AppendMenu(p2, MF_STRING, 7, W(u"inner X")));
    ASSERT_TRUE(AppendMenu(p2, MF_STRING, 8, W(u"inner Y")));
    ASSERT_TRUE(AppendMenu(p1, MF_POPUP, H(p2), W(u"P2")));
    ASSERT_TRUE(AppendMenu(p1, MF_STRING, 7, W(u"middle X")));
    ASSERT_TRUE(AppendMenu(top, MF_STRING, 1, W(u"A")));
    ASSERT_TRUE(AppendMenu(top, MF_POPUP, H(p1), W(u"P1")));
    ASSERT_TRUE(AppendMenu(top, MF_STRING, 7, W(u"top X")));
    ASSERT_TRUE(AppendMenu(top, MF_STRING, 9, W(u"Z")));

    EXPECT_EQ(GetMenuString(top, 7, MF_BYCOMMAND), u"inner X");
    EXPECT_EQ(GetMenuString(top, 8, MF_BYCOMMAND), u"inner Y");
    EXPECT_EQ(GetMenuString(top, 9, MF_BYCOMMAND), u"Z");
    EXPECT_EQ(GetMenuString(p1, 7, MF_BYCOMMAND), u"inner X");

    // Operations by command act on the menu that holds the item.
    ASSERT_TRUE(CheckMenuItem(top, 8, MF_BYCOMMAND | MF_CHECKED) == 0);
    EXPECT_EQ(GetMenuState(p2, 1, MF_BYPOSITION), MF_CHECKED);
    ASSERT_TRUE(RemoveMenu(top, 7, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuItemCount(p2), 1);
    EXPECT_EQ(GetMenuString(top, 7, MF_BYCOMMAND), u"middle X");
    ASSERT_TRUE(DeleteMenu(top, 7, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuItemCount(p1), 1);
    EXPECT_EQ(GetMenuString(top, 7, MF_BYCOMMAND), u"top X");
    ASSERT_TRUE(ModifyMenu(top, 7, MF_BYCOMMAND | MF_STRING, 70, W(u"renamed")));
    EXPECT_EQ(GetMenuItemID(top, 2), 70u);
    EXPECT_EQ(GetMenuState(top, 7, MF_BYCOMMAND), MENU_FAILED);
}

TEST_F(MenuModel, APopupMatchesItsOwnHandleOnlyWhenNothingElseDoes)
{
    HMENU top = Menu();
    HMENU p = Popup();
    ASSERT_TRUE(AppendMenu(p, MF_STRING, 1, W(kOpen)));
    ASSERT_TRUE(AppendMenu(top, MF_POPUP | MF_GRAYED, H(p), W(u"P")));
    const UINT id = static_cast<UINT>(H(p));
    EXPECT_EQ(GetMenuState(top, id, MF_BYCOMMAND), MF_POPUP | MF_GRAYED | (1u << 8));
    EXPECT_EQ(GetMenuString(top, id, MF_BYCOMMAND), u"P");
    // A plain item later in the menu with the same id wins.
    ASSERT_TRUE(AppendMenu(top, MF_STRING, id, W(u"plain")));
    EXPECT_EQ(GetMenuString(top, id, MF_BYCOMMAND), u"plain");
}

TEST_F(MenuModel, AMenuCannotOpenItselfOrAMenuThatHoldsIt)
{
    HMENU top = Menu();
    HMENU p = Popup();
    HMENU q = Popup();
    ASSERT_TRUE(AppendMenu(top, MF_POPUP, H(p), W(u"P")));
    ASSERT_TRUE(AppendMenu(p, MF_POPUP, H(q), W(u"Q")));
    EXPECT_FALSE(AppendMenu(top, MF_POPUP, H(top), W(u"self")));
    EXPECT_FALSE(AppendMenu(q, MF_POPUP, H(top), W(u"loop")));
    EXPECT_FALSE(InsertMenu(q, 0, MF_BYPOSITION | MF_POPUP, H(p), W(u"loop")));
    EXPECT_EQ(GetMenuItemCount(q), 0);
    // The search still ends on every menu.
    EXPECT_EQ(GetMenuState(top, 12345, MF_BYCOMMAND), MENU_FAILED);
}

TEST_F(MenuModel, SubMenuLookup)
{
    HMENU m = Menu();
    HMENU p = Popup();
    ASSERT_TRUE(AppendMenu(m, MF_STRING, 1, W(kOpen)));
    ASSERT_TRUE(AppendMenu(m, MF_POPUP, H(p), W(u"P")));
    EXPECT_EQ(GetSubMenu(m, 0), nullptr);
    EXPECT_EQ(GetSubMenu(m, 1), p);
    EXPECT_EQ(GetSubMenu(m, 2), nullptr);
    EXPECT_EQ(GetSubMenu(m, -1), nullptr);
    // A submenu destroyed behind the item's back is no longer handed out.
    DestroyMenu(p);
    EXPECT_EQ(GetSubMenu(m, 1), nullptr);
}

TEST_F(MenuModel, ItemInfo)
{
    HMENU m = Menu();
    HMENU p = Popup();
    int data = 0;
    ASSERT_TRUE(AppendMenu(m, MF_STRING | MF_CHECKED | MF_GRAYED | MF_MENUBREAK, 11, W(u"Eleven")));
    ASSERT_TRUE(AppendMenu(m, MF_OWNERDRAW | MF_DEFAULT, 12, &data));
    ASSERT_TRUE(AppendMenu(m, MF_POPUP, H(p), W(u"Popup")));

    MENUITEMINFOW info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_SUBMENU | MIIM_DATA | MIIM_STRING;
    WCHAR text[4];
    info.dwTypeData = text;
    info.cch = 4;
    ASSERT_TRUE(GetMenuItemInfo(m, 11, FALSE, &info));
    EXPECT_EQ(info.wID, 11u);
    EXPECT_EQ(info.fState, MF_CHECKED | MF_GRAYED);
    EXPECT_EQ(info.fType, MF_MENUBREAK);
    EXPECT_EQ(info.hSubMenu, nullptr);
    EXPECT_EQ(info.dwItemData, 0u);
    EXPECT_EQ(std::u16string(text), u"Ele");
    EXPECT_EQ(info.cch, 3u);

    MENUITEMINFOW owner;
    owner.fMask = MIIM_DATA | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
    ASSERT_TRUE(GetMenuItemInfo(m, 1, TRUE, &owner));
    EXPECT_EQ(owner.dwItemData, reinterpret_cast<ULONG_PTR>(&data));
    EXPECT_EQ(owner.fType, MF_OWNERDRAW);
    EXPECT_EQ(owner.fState, MF_DEFAULT);
    EXPECT_EQ(owner.cch, 0u);

    MENUITEMINFOW popup;
    popup.fMask = MIIM_SUBMENU | MIIM_STRING;
    ASSERT_TRUE(GetMenuItemInfo(m, 2, TRUE, &popup));
    EXPECT_EQ(popup.hSubMenu, p);
    EXPECT_EQ(popup.cch, 5u);  // no buffer: the length

    // Fields outside the mask stay as they were.
    MENUITEMINFOW masked;
    masked.fMask = MIIM_ID;
    masked.fState = 0xABCD;
    ASSERT_TRUE(GetMenuItemInfo(m, 0, TRUE, &masked));
    EXPECT_EQ(masked.wID, 11u);
    EXPECT_EQ(masked.fState, 0xABCDu);
    EXPECT_FALSE(GetMenuItemInfo(m, 99, FALSE, &masked));
    EXPECT_FALSE(GetMenuItemInfo(m, 0, TRUE, nullptr));
}

TEST_F(MenuModel, CheckEnableAndRadioItems)
{
    HMENU m = Menu();
    for (UINT id = 1; id <= 4; ++id) ASSERT_TRUE(AppendMenu(m, MF_STRING, id, W(kOpen)));
    EXPECT_EQ(CheckMenuItem(m, 1, MF_BYCOMMAND | MF_CHECKED), MF_UNCHECKED);
    EXPECT_EQ(CheckMenuItem(m, 1, MF_BYCOMMAND | MF_UNCHECKED), MF_CHECKED);
    EXPECT_EQ(EnableMenuItem(m, 0, MF_BYPOSITION | MF_GRAYED), MF_ENABLED);
    EXPECT_EQ(EnableMenuItem(m, 0, MF_BYPOSITION | MF_ENABLED), MF_GRAYED);
    EXPECT_EQ(GetMenuState(m, 0, MF_BYPOSITION), 0u);

    CheckMenuItem(m, 2, MF_CHECKED);
    ASSERT_TRUE(CheckMenuRadioItem(m, 1, 3, 3, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuState(m, 2, MF_BYCOMMAND), 0u);
    EXPECT_EQ(GetMenuState(m, 3, MF_BYCOMMAND), MF_CHECKED | MFT_RADIOCHECK);
    EXPECT_EQ(GetMenuState(m, 4, MF_BYCOMMAND), 0u);
    EXPECT_FALSE(CheckMenuRadioItem(m, 0, 1, 3, MF_BYPOSITION));  // the check is outside the range
}

TEST(MenuText, Utf8AndUtf16)
{
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const std::vector<Case> cases = {
        {"", u""},          {"Open\tCtrl+O", u"Open\tCtrl+O"},   {"\xE7\xAB\xAF\xE5\x8F\xA3", u"端口"},
        {"\xC3\xA8", u"è"}, {"\xF0\x9F\x98\x80", u"\U0001F600"},  // a pair of surrogates
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
    }
    // Broken input becomes U+FFFD, never lost bytes or a read past the end.
    EXPECT_EQ(Utf8ToUtf16("a\xFF"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xE7\xAB"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(Utf16Length(nullptr), 0u);
    EXPECT_EQ(Utf16Length(u"abc"), 3u);
}

// ---------------------------------------------------------------------------------------------
// Menu objects over the model

TEST_F(MenuModel, MenuObjectsOwnTheirHandle)
{
    HMENU handle = nullptr;
    {
        CMenu menu;
        EXPECT_FALSE(menu.DestroyMenu());  // none yet
        ASSERT_TRUE(menu.CreatePopupMenu());
        EXPECT_FALSE(menu.CreateMenu());  // holds one already
        handle = menu.m_hMenu;
        EXPECT_EQ(CMenu::FromHandle(handle), &menu);
        EXPECT_EQ(CMenu::FromHandlePermanent(handle), &menu);
        ASSERT_TRUE(menu.AppendMenu(MF_STRING, 3, u"Three"));
        EXPECT_EQ(menu.GetMenuItemCount(), 1);
        EXPECT_EQ(menu.GetMenuString(0, MF_BYPOSITION), u"Three");
    }
    EXPECT_FALSE(IsMenu(handle));  // the destructor destroyed it
    EXPECT_EQ(CMenu::FromHandle(handle), nullptr);
}

TEST_F(MenuModel, DetachedHandlesGetTemporaryObjects)
{
    HMENU m = Menu();
    HMENU p = Popup();
    ASSERT_TRUE(AppendMenu(m, MF_POPUP, H(p), W(u"P")));
    CMenu* temp = CMenu::FromHandle(m);
    ASSERT_NE(temp, nullptr);
    EXPECT_EQ(CMenu::FromHandle(m), temp);  // the same one while it lives
    EXPECT_EQ(CMenu::FromHandlePermanent(m), nullptr);
    EXPECT_EQ(temp->m_hMenu, m);
    CMenu* sub = temp->GetSubMenu(0);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->m_hMenu, p);
    EXPECT_EQ(temp->GetSubMenu(1), nullptr);
    CMenu::DeleteTempMap();
    EXPECT_TRUE(IsMenu(m));  // a temporary object never destroys its menu
    EXPECT_TRUE(IsMenu(p));

    CMenu owner;
    ASSERT_TRUE(owner.Attach(m));
    EXPECT_FALSE(owner.Attach(p));
    EXPECT_EQ(CMenu::FromHandle(m), &owner);
    EXPECT_EQ(owner.Detach(), m);
    EXPECT_EQ(CMenu::FromHandlePermanent(m), nullptr);
    EXPECT_TRUE(IsMenu(m));
}
