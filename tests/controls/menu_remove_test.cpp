// The owner-drawn menu family: taking items out with their records and popups, and finding
// popups and record positions by caption or menu text.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/KiroMenu.h"
#include "tests/controls/menu_resources.h"
#include "tests/controls/menu_tree.h"

namespace {

using menu_tree::CountedMenu;
using menu_tree::Registered;

// The captions of the records, in record order ("-" for a record without caption).
std::vector<std::string> Captions(const KiroMenu& menu)
{
    std::vector<std::string> out;
    for (const KiroMenuData* record : menu.m_items)
        out.push_back(record->m_caption ? record->GetCaption() : std::string("-"));
    return out;
}

// The item data of each position, which for a family menu is the record of that position.
std::vector<KiroMenuData*> ItemRecords(const KiroMenu& menu)
{
    std::vector<KiroMenuData*> out;
    for (int i = 0; i < menu.GetMenuItemCount(); ++i)
        out.push_back(reinterpret_cast<KiroMenuData*>(
            platform::GetMenuItemData(menu.m_hMenu, static_cast<UINT>(i), MF_BYPOSITION)));
    return out;
}

using Strings = std::vector<std::string>;

// A menu of five plain items A..E with commands 101..105.
class FiveItems : public ::testing::Test {
protected:
    void SetUp() override
    {
        menu.CreatePopupMenu();
        for (UINT i = 0; i < 5; ++i) {
            const std::string caption(1, static_cast<char>('A' + i));
            menu_tree::AddItem(menu, 101 + i, caption.c_str());
        }
    }
    KiroMenu menu;
};

}  // namespace

TEST(KiroMenuRemove, RemovingByPositionOrCommandTakesTheRecordAlong)
{
    struct Case {
        const char* name;
        UINT item;
        UINT flags;
        bool deleting;
        BOOL result;
        Strings left;
    };
    const std::vector<Case> cases = {
        {"remove by position", 1, MF_BYPOSITION, false, TRUE, {"A", "C", "D", "E"}},
        {"delete by position", 4, MF_BYPOSITION, true, TRUE, {"A", "B", "C", "D"}},
        {"remove by command", 103, MF_BYCOMMAND, false, TRUE, {"A", "B", "D", "E"}},
        {"delete by command", 101, MF_BYCOMMAND, true, TRUE, {"B", "C", "D", "E"}},
        {"unknown command", 999, MF_BYCOMMAND, false, FALSE, {"A", "B", "C", "D", "E"}},
        {"position past the end", 5, MF_BYPOSITION, true, FALSE, {"A", "B", "C", "D", "E"}},
        {"position -1", static_cast<UINT>(-1), MF_BYPOSITION, false, FALSE, {"A", "B", "C", "D", "E"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KiroMenu m;
        m.CreatePopupMenu();
        for (UINT i = 0; i < 5; ++i) menu_tree::AddItem(m, 101 + i, std::string(1, char('A' + i)).c_str());
        const BOOL got = c.deleting ? m.DeleteItem(c.item, c.flags) : m.RemoveItem(c.item, c.flags);
        EXPECT_EQ(got, c.result);
        EXPECT_EQ(Captions(m), c.left);
        // Record i still belongs to position i.
        EXPECT_EQ(ItemRecords(m), m.m_items);
    }
}

TEST(KiroMenuRemove, ItemsOfOneCommandEachTakeOnlyTheirOwnRecord)
{
    for (UINT taken : {0u, 1u}) {
        for (bool deleting : {false, true}) {
            SCOPED_TRACE(std::string(deleting ? "delete " : "remove ") + std::to_string(taken));
            KiroMenu menu;
            menu.CreatePopupMenu();
            menu_tree::AddItem(menu, 5, "First");
            menu_tree::AddItem(menu, 5, "Second");
            ASSERT_TRUE(deleting ? menu.DeleteItem(taken, MF_BYPOSITION) : menu.RemoveItem(taken, MF_BYPOSITION));
            EXPECT_EQ(Captions(menu), (Strings{taken == 0 ? "Second" : "First"}));
            EXPECT_EQ(ItemRecords(menu), menu.m_items);
            // The item left is measured from the record it carries.
            MEASUREITEMSTRUCT measure;
            measure.itemData = reinterpret_cast<std::uintptr_t>(ItemRecords(menu)[0]);
            menu.MeasureItem(&measure);
            EXPECT_GT(measure.itemWidth, 0u);
        }
    }
}

TEST(KiroMenuRemove, ATextEntryNeverTakesTheRecordThatAnItemCarries)
{
    // The top level of a loaded menu is plain text entries, which carry no record; an item
    // inserted in front of them is owner-drawn and carries its own, of the same command.
    static const bool registered = [] {
        menu_resources::Register(platform::ResType::Menu, 9470,
                                 menu_resources::MenuTemplate({{MF_STRING, 5, u"A"}, {MF_END, 5, u"B"}}));
        return true;
    }();
    ASSERT_TRUE(registered);
    for (bool deleting : {false, true}) {
        SCOPED_TRACE(deleting ? "delete" : "remove");
        KiroMenu menu;
        ASSERT_TRUE(menu.LoadMenu(9470u));
        ASSERT_TRUE(menu.InsertItem(0, MF_BYPOSITION, 5, "Inserted", -1));
        ASSERT_EQ(Captions(menu), (Strings{"Inserted", "A", "B"}));
        ASSERT_TRUE(deleting ? menu.DeleteItem(2, MF_BYPOSITION) : menu.RemoveItem(2, MF_BYPOSITION));
        EXPECT_EQ(Captions(menu), (Strings{"Inserted", "A"}));
        EXPECT_EQ(ItemRecords(menu)[0], menu.m_items[0]);
        ASSERT_TRUE(deleting ? menu.DeleteItem(1, MF_BYPOSITION) : menu.RemoveItem(1, MF_BYPOSITION));
        EXPECT_EQ(Captions(menu), (Strings{"Inserted"}));
        EXPECT_EQ(ItemRecords(menu), menu.m_items);
    }
}

TEST_F(FiveItems, ByCommandTheMenuOfThePopupThatHoldsTheItemTakesItOut)
{
    KiroMenu* popup = menu_tree::AddPopup(menu, "More");
    menu_tree::AddItem(*popup, 201, "X");
    menu_tree::AddItem(*popup, 202, "Y");
    EXPECT_TRUE(menu.RemoveItem(202, MF_BYCOMMAND));
    EXPECT_EQ(Captions(*popup), (Strings{"X"}));
    EXPECT_EQ(popup->GetMenuItemCount(), 1);
    EXPECT_EQ(Captions(menu), (Strings{"A", "B", "C", "D", "E", "More"}));

    EXPECT_TRUE(menu.DeleteItem(201, MF_BYCOMMAND));
    EXPECT_TRUE(Captions(*popup).empty());
    EXPECT_EQ(popup->GetMenuItemCount(), 0);
    EXPECT_TRUE(Registered(popup->m_hMenu));
}

TEST(KiroMenuRemove, SeparatorsLoseTheirRecordUnlessDeletedWithACaption)
{
    struct Case {
        const char* name;
        bool deleting;
        const char* separatorCaption;  // null: none
        Strings left;
    };
    const std::vector<Case> cases = {
        {"remove", false, nullptr, {"A", "B"}},
        {"remove, with caption", false, "sep", {"A", "B"}},
        {"delete", true, nullptr, {"A", "B"}},
        {"delete, empty caption", true, "", {"A", "B"}},
        // The menu item goes, the record stays.
        {"delete, with caption", true, "sep", {"A", "sep", "B"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KiroMenu menu;
        menu.CreatePopupMenu();
        menu_tree::AddItem(menu, 1, "A");
        menu_tree::AddSeparator(menu)->SetCaption(c.separatorCaption);
        menu_tree::AddItem(menu, 2, "B");
        EXPECT_TRUE(c.deleting ? menu.DeleteItem(1, MF_BYPOSITION) : menu.RemoveItem(1, MF_BYPOSITION));
        EXPECT_EQ(menu.GetMenuItemCount(), 2);
        EXPECT_EQ(Captions(menu), c.left);
    }
}

TEST(KiroMenuRemove, APopupEntryTakesItsWholeTreeAlong)
{
    for (bool deleting : {false, true}) {
        SCOPED_TRACE(deleting ? "delete" : "remove");
        CountedMenu::deleted = 0;
        const std::size_t menus = platform::LiveMenuCount();
        {
            KiroMenu menu;
            menu.CreatePopupMenu();
            menu_tree::AddItem(menu, 1, "Open");
            auto* outer = menu_tree::AddPopup<CountedMenu>(menu, "Outer");
            menu_tree::AddItem(*outer, 10, "In outer");
            auto* inner = menu_tree::AddPopup<CountedMenu>(*outer, "Inner");
            menu_tree::AddItem(*inner, 20, "In inner");
            menu_tree::AddSeparator(*inner);
            menu_tree::AddItem(menu, 2, "Close");
            const HMENU outerHandle = outer->m_hMenu, innerHandle = inner->m_hMenu;
            EXPECT_EQ(platform::LiveMenuCount(), menus + 3);

            const BOOL done = deleting ? menu.DeleteItem(1, MF_BYPOSITION) : menu.RemoveItem(1, MF_BYPOSITION);
            EXPECT_TRUE(done);
            EXPECT_EQ(CountedMenu::deleted, 2);
            EXPECT_FALSE(Registered(outerHandle));
            EXPECT_FALSE(Registered(innerHandle));
            EXPECT_TRUE(menu.m_popupHandles.empty());
            EXPECT_FALSE(platform::IsMenu(outerHandle));
            EXPECT_FALSE(platform::IsMenu(innerHandle));
            EXPECT_EQ(platform::LiveMenuCount(), menus + 1);
            EXPECT_EQ(Captions(menu), (Strings{"Open", "Close"}));
            EXPECT_EQ(ItemRecords(menu), menu.m_items);
        }
        EXPECT_EQ(CountedMenu::deleted, 2);  // nothing deleted twice
        EXPECT_EQ(platform::LiveMenuCount(), menus);
    }
}

TEST(KiroMenuRemove, APopupOfAnotherKindKeepsItsMenuWhenOnlyRemoved)
{
    for (bool deleting : {false, true}) {
        SCOPED_TRACE(deleting ? "delete" : "remove");
        KiroMenu menu;
        menu.CreatePopupMenu();
        const HMENU foreign = platform::CreatePopupMenu();
        platform::AppendMenu(foreign, MF_STRING, 7, u"Seven");
        auto* record = new KiroMenuData;
        record->SetCaption("Foreign");
        record->m_flags = MF_POPUP | MF_OWNERDRAW;
        record->m_commandId = reinterpret_cast<UINT_PTR>(foreign);
        menu.AppendMenu(record->m_flags, record->m_commandId, static_cast<const void*>(record));
        menu.m_items.push_back(record);

        EXPECT_TRUE(deleting ? menu.DeleteItem(0, MF_BYPOSITION) : menu.RemoveItem(0, MF_BYPOSITION));
        EXPECT_TRUE(menu.m_items.empty());
        EXPECT_EQ(menu.GetMenuItemCount(), 0);
        EXPECT_EQ(platform::IsMenu(foreign), deleting ? FALSE : TRUE);
        if (!deleting) {
            EXPECT_EQ(platform::GetMenuItemCount(foreign), 1);
            platform::DestroyMenu(foreign);
        }
    }
}

TEST(KiroMenuRemove, AFamilyPopupTheMenuDoesNotOwnStaysWithItsOwner)
{
    for (bool deleting : {false, true}) {
        SCOPED_TRACE(deleting ? "delete" : "remove");
        KiroMenu menu;
        menu.CreatePopupMenu();
        KiroMenu lent;  // the caller's own object, put in by a plain menu call
        lent.CreatePopupMenu();
        const HMENU handle = lent.m_hMenu;
        ASSERT_TRUE(menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(handle), u"Lent"));
        EXPECT_TRUE(deleting ? menu.DeleteItem(0, MF_BYPOSITION) : menu.RemoveItem(0, MF_BYPOSITION));
        EXPECT_EQ(menu.GetMenuItemCount(), 0);
        EXPECT_EQ(lent.m_hMenu, handle);
        EXPECT_EQ(platform::IsMenu(handle), deleting ? FALSE : TRUE);
    }
}

TEST(KiroMenuRemove, ByCaptionWithItsNeighbours)
{
    struct Case {
        const char* name;
        const char* caption;
        int neighbours;
        bool deleting;
        int result;
        Strings left;
    };
    const std::vector<Case> cases = {
        {"alone", "D", 0, false, 3, {"A", "B", "C", "E"}},
        {"one before", "D", 1, false, 3, {"A", "B", "E"}},
        {"2 is one before too", "D", 2, true, 3, {"A", "B", "E"}},
        {"two before", "D", 3, false, 3, {"A", "E"}},
        {"two before, deleted", "D", 3, true, 3, {"A", "E"}},
        {"other values: alone", "D", 4, false, 3, {"A", "B", "C", "E"}},
        {"negative: alone", "D", -1, true, 3, {"A", "B", "C", "E"}},
        {"first item, nothing before it", "A", 3, false, 0, {"B", "C", "D", "E"}},
        {"second item, one before it", "B", 3, true, 1, {"C", "D", "E"}},
        {"no such caption", "Z", 3, false, -1, {"A", "B", "C", "D", "E"}},
        {"case matters", "d", 0, true, -1, {"A", "B", "C", "D", "E"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KiroMenu menu;
        menu.CreatePopupMenu();
        for (UINT i = 0; i < 5; ++i) menu_tree::AddItem(menu, 101 + i, std::string(1, char('A' + i)).c_str());
        const int got = c.deleting ? menu.DeleteItemByCaption(c.caption, c.neighbours)
                                   : menu.RemoveItemByCaption(c.caption, c.neighbours);
        EXPECT_EQ(got, c.result);
        EXPECT_EQ(Captions(menu), c.left);
        EXPECT_EQ(ItemRecords(menu), menu.m_items);
    }
}

TEST(KiroMenuRemove, ByCaptionInBothForms)
{
    KiroMenu menu;
    menu.CreatePopupMenu();
    menu_tree::AddItem(menu, 1, "Open");
    menu_tree::AddItem(menu, 2, "\xE7\xAB\xAF\xE5\x8F\xA3");  // UTF-8
    menu_tree::AddItem(menu, 3, "Save");
    EXPECT_EQ(menu.RemoveItemByCaption(u"Save", 0), 2);
    EXPECT_EQ(menu.DeleteItemByCaption("\xB6\xCB\xBF\xDA", 0), 1);  // the same text in GBK
    EXPECT_EQ(Captions(menu), (Strings{"Open"}));
    EXPECT_EQ(menu.RemoveItemByCaption(static_cast<const char*>(nullptr), 0), -1);
    EXPECT_EQ(menu.DeleteItemByCaption(static_cast<const WCHAR*>(nullptr), 0), -1);
    EXPECT_EQ(menu.GetMenuItemCount(), 1);
}

TEST(KiroMenuFind, ItemPositionIsTheRecordIndexOfTheExactCaption)
{
    KiroMenu menu;
    menu.CreatePopupMenu();
    menu_tree::AddSeparator(menu);
    menu_tree::AddItem(menu, 1, "Open");
    menu_tree::AddPopup(menu, "Recent");
    menu_tree::AddItem(menu, 2, "Open");
    EXPECT_EQ(menu.FindItemPosition("Open"), 1);
    EXPECT_EQ(menu.FindItemPosition(u"Recent"), 2);  // popup records take part
    EXPECT_EQ(menu.FindItemPosition("open"), -1);
    EXPECT_EQ(menu.FindItemPosition("Ope"), -1);
    EXPECT_EQ(menu.FindItemPosition(""), -1);  // the separator has no caption
    EXPECT_EQ(menu.FindItemPosition(static_cast<const char*>(nullptr)), -1);

    KiroMenu popupsOnly;
    popupsOnly.CreatePopupMenu();
    menu_tree::AddPopup(popupsOnly, "File");
    menu_tree::AddPopup(popupsOnly, "Edit");
    EXPECT_EQ(popupsOnly.FindItemPosition("File"), -1);
    EXPECT_EQ(popupsOnly.RemoveItemByCaption("File", 0), -1);
    EXPECT_EQ(popupsOnly.GetMenuItemCount(), 2);
}

TEST(KiroMenuFind, PopupByCaptionAnywhereInTheTree)
{
    KiroMenu menu;
    menu.CreatePopupMenu();
    menu_tree::AddItem(menu, 1, "Open");
    KiroMenu* file = menu_tree::AddPopup(menu, "File");
    menu_tree::AddItem(*file, 4, "Print");  // the records of a menu are searched at a plain item
    KiroMenu* recent = menu_tree::AddPopup(*file, "\xE7\xAB\xAF\xE5\x8F\xA3");
    menu_tree::AddItem(*recent, 5, "One");
    EXPECT_EQ(menu.FindPopupByCaption("File"), file);
    EXPECT_EQ(menu.FindPopupByCaption(u"端口"), recent);
    EXPECT_EQ(menu.FindPopupByCaption("\xB6\xCB\xBF\xDA"), recent);
    EXPECT_EQ(menu.FindPopupByCaption("Open"), nullptr);  // a plain item
    EXPECT_EQ(menu.FindPopupByCaption("Nothing"), nullptr);
    EXPECT_EQ(menu.FindPopupByCaption(static_cast<const WCHAR*>(nullptr)), nullptr);
}

TEST(KiroMenuFind, PopupByTextFindsPlainTextEntriesOnly)
{
    KiroMenu menu;
    menu.CreateMenu();
    // The top level of a loaded menu: text entries opening the family's popups.
    auto* file = new KiroMenu;
    file->CreatePopupMenu();
    menu.AppendMenu(MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(file->m_hMenu), u"&File");
    menu.m_popupHandles.push_back(file->m_hMenu);
    KiroMenu::s_popupHandles.push_back(file->m_hMenu);
    menu.AppendMenu(MF_STRING, 40, u"Help");
    // An owner-drawn popup entry with a caption: no menu string.
    KiroMenu* edit = menu_tree::AddPopup(menu, "Edit");
    ASSERT_NE(edit, nullptr);

    EXPECT_EQ(menu.FindPopupByText("&File"), file);
    EXPECT_EQ(menu.FindPopupByText("&file"), nullptr);
    EXPECT_EQ(menu.FindPopupByText("File"), nullptr);
    EXPECT_EQ(menu.FindPopupByText("Help"), nullptr);  // a text entry, but no popup
    EXPECT_EQ(menu.FindPopupByText("Edit"), nullptr);
    EXPECT_EQ(menu.FindPopupByText(""), nullptr);
    EXPECT_EQ(menu.FindPopupByText(nullptr), nullptr);
}
