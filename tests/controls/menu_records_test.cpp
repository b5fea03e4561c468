// The owner-drawn menu family's record lookups across the popup tree, accelerator alignment and
// the resynchronisation of records with items changed by the plain menu calls.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "controls/KiroMenu.h"
#include "tests/controls/menu_tree.h"
#include "tests/support/test_support.h"

using menu_tree::AddItem;
using menu_tree::AddPopup;
using menu_tree::AddSeparator;

namespace {

// menu: [Open 1] [File ▸ [New 2] [Recent ▸ [One 3] [Two 4] [New 2]] [Save 5]] [Exit 6] [Open 1]
class MenuTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(menu.CreateMenu());
        open = AddItem(menu, 1, "Open");
        file = AddPopup(menu, "File");
        AddItem(*file, 2, "New");
        recent = AddPopup(*file, "Recent");
        AddItem(*recent, 3, "One");
        AddItem(*recent, 4, "Two");
        AddItem(*recent, 2, "New again");
        AddItem(*file, 5, "Save");
        AddItem(menu, 6, "Exit");
        openAgain = AddItem(menu, 1, "Open again");
    }
    KiroMenu menu;
    KiroMenu* file = nullptr;
    KiroMenu* recent = nullptr;
    KiroMenuData* open = nullptr;
    KiroMenuData* openAgain = nullptr;
};

std::vector<std::string> Captions(const KiroMenu& m)
{
    std::vector<std::string> out;
    for (const KiroMenuData* r : m.m_items) out.push_back(r->GetCaption());
    return out;
}

}  // namespace

TEST_F(MenuTree, FindOwnerTakesTheFirstPlainItemDepthFirst)
{
    struct Want {
        UINT id;
        KiroMenu* owner;
        int position;
    };
    const std::vector<Want> cases = {
        {1, &menu, 0}, {2, file, 0}, {3, recent, 0}, {4, recent, 1}, {5, file, 2}, {6, &menu, 2}, {99, nullptr, -1},
    };
    for (const Want& c : cases) {
        int position = 1234;
        EXPECT_EQ(menu.FindOwner(c.id, position), c.owner) << c.id;
        EXPECT_EQ(position, c.position) << c.id;
    }
    // A popup's own handle never matches: the popup item is searched, not taken.
    int position = 0;
    EXPECT_EQ(menu.FindOwner(static_cast<UINT>(reinterpret_cast<UINT_PTR>(file->m_hMenu)), position), nullptr);
    EXPECT_EQ(position, -1);
}

TEST_F(MenuTree, FindNextOwnerVisitsEveryItemOfACommand)
{
    struct Case {
        UINT id;
        std::vector<std::pair<KiroMenu*, int>> want;
    };
    const std::vector<Case> cases = {
        {1, {{&menu, 0}, {&menu, 3}}},
        {2, {{file, 0}, {recent, 2}}},
        {3, {{recent, 0}}},
        {42, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        std::vector<KiroMenu*> menus;
        std::vector<int> positions;
        std::vector<std::pair<KiroMenu*, int>> got;
        int position = 0;
        // With empty arrays it is FindOwner.
        int plain = 0;
        KiroMenu* first = menu.FindOwner(c.id, plain);
        KiroMenu* owner = menu.FindNextOwner(c.id, position, menus, positions);
        EXPECT_EQ(owner, first);
        while (owner) {
            got.emplace_back(owner, position);
            menus.push_back(owner);
            positions.push_back(position);
            ASSERT_LE(got.size(), 10u);
            owner = menu.FindNextOwner(c.id, position, menus, positions);
        }
        EXPECT_EQ(position, -1);
        EXPECT_EQ(got, c.want);
    }
}

TEST_F(MenuTree, FindRecordByCommand)
{
    EXPECT_EQ(menu.FindRecordByCommand(1), open);  // its own records first
    EXPECT_EQ(menu.FindRecordByCommand(3), recent->m_items[0]);
    EXPECT_EQ(menu.FindRecordByCommand(2), file->m_items[0]);
    EXPECT_EQ(menu.FindRecordByCommand(5), file->m_items[2]);
    EXPECT_EQ(menu.FindRecordByCommand(99), nullptr);
    // The popup item's record is found by the popup's handle in the menu's own list.
    EXPECT_EQ(menu.FindRecordByCommand(static_cast<UINT>(reinterpret_cast<UINT_PTR>(file->m_hMenu))), menu.m_items[1]);
    // A menu that holds the command but has no record for it.
    delete recent->m_items[1];
    recent->m_items.erase(recent->m_items.begin() + 1);
    EXPECT_EQ(menu.FindRecordByCommand(4), nullptr);
}

TEST_F(MenuTree, FindRecordByCaptionIsExact)
{
    EXPECT_EQ(menu.FindRecordByCaption(u"Open"), open);
    EXPECT_EQ(menu.FindRecordByCaption(u"Open again"), openAgain);
    EXPECT_EQ(menu.FindRecordByCaption(u"Two"), recent->m_items[1]);
    EXPECT_EQ(menu.FindRecordByCaption(u"Save"), file->m_items[2]);
    EXPECT_EQ(menu.FindRecordByCaption(u"File"), menu.m_items[1]);  // popup items have records too
    EXPECT_EQ(menu.FindRecordByCaption(u"open"), nullptr);
    EXPECT_EQ(menu.FindRecordByCaption(u"Open "), nullptr);
    EXPECT_EQ(menu.FindRecordByCaption(u""), nullptr);
    EXPECT_EQ(menu.FindRecordByCaption(nullptr), nullptr);
}

TEST(MenuRecords, PopupsBeforeTheFirstPlainItemAreSearchedFirst)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    KiroMenu* popup = AddPopup(menu, "Popup");
    KiroMenuData* inner = AddItem(*popup, 1, "Same");
    AddItem(menu, 2, "Same");
    EXPECT_EQ(menu.FindRecordByCaption(u"Same"), inner);
}

TEST(MenuRecords, AlignAcceleratorsPadsTheLeftParts)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    AddItem(menu, 1, "Open\tCtrl+O");
    AddItem(menu, 2, "Properties");
    AddItem(menu, 3, "Save as\tCtrl+Shift+S");
    AddSeparator(menu);
    // Every character 5 units wide, a space 3.
    auto width = [](const std::string& text) {
        int w = 0;
        for (char c : text) w += c == ' ' ? 3 : 5;
        return w;
    };
    menu.AlignAccelerators(width);
    const int widest = width("Properties ");  // 53
    const std::vector<std::string> captions = Captions(menu);
    ASSERT_EQ(captions.size(), 4u);
    for (const std::string& caption : {captions[0], captions[2]}) {
        SCOPED_TRACE(caption);
        const std::string left = caption.substr(0, caption.find('\t'));
        EXPECT_GE(width(left), widest);
        EXPECT_LT(width(left.substr(0, left.size() - 1)), widest);  // not one space more
    }
    EXPECT_EQ(captions[0], "Open" + std::string(11, ' ') + "\tCtrl+O");  // 20 + 33 = 53
    EXPECT_EQ(captions[1], "Properties");
    EXPECT_EQ(captions[2], "Save as" + std::string(7, ' ') + "\tCtrl+Shift+S");  // 33 + 21 = 54
    EXPECT_EQ(captions[3], "");
    // The padded caption no longer matches the text it had.
    EXPECT_EQ(menu.FindRecordByCaption(u"Open\tCtrl+O"), nullptr);
}

TEST(MenuRecords, AlignAcceleratorsEndsWhenASpaceHasNoWidth)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    AddItem(menu, 1, "A\tX");
    AddItem(menu, 2, "Much longer");
    menu.AlignAccelerators([](const std::string& text) {
        int w = 0;
        for (char c : text) w += c == ' ' ? 0 : 5;
        return w;
    });
    EXPECT_EQ(Captions(menu)[0], "A \tX");  // one space tried, then no more
}

TEST(MenuRecords, AlignAcceleratorsWithTheMenuFont)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    AddItem(menu, 1, "Open\tCtrl+O");
    AddItem(menu, 2, "Properties of the port");
    menu.AlignAccelerators();
    const std::string open = Captions(menu)[0];
    const std::size_t tab = open.find('\t');
    ASSERT_NE(tab, std::string::npos);
    EXPECT_EQ(open.substr(tab), "\tCtrl+O");
    EXPECT_EQ(open.substr(0, 4), "Open");
    EXPECT_GT(tab, 4u);  // padded with spaces
    EXPECT_EQ(open.find_first_not_of(' ', 4), tab);
    EXPECT_EQ(Captions(menu)[1], "Properties of the port");
}

TEST(MenuRecords, AttachNewRecordPutsTheRecordOnTheItem)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    ASSERT_TRUE(menu.AppendMenu(MF_STRING, 7, u"Seven"));
    ASSERT_TRUE(menu.AppendMenu(MF_STRING, 8, u"Eight"));
    KiroMenuData* owner = menu.AttachNewRecord(0, MF_BYPOSITION | MF_OWNERDRAW, 7, "Seven");
    KiroMenuData* plain = menu.AttachNewRecord(1, MF_BYPOSITION | MF_STRING, 9, "Nine");
    EXPECT_EQ(owner->GetCaption(), "Seven");
    EXPECT_EQ(owner->m_flags, MF_BYPOSITION | MF_OWNERDRAW);
    EXPECT_EQ(owner->m_commandId, 7u);
    EXPECT_EQ(platform::GetMenuItemData(menu.m_hMenu, 0, MF_BYPOSITION), reinterpret_cast<ULONG_PTR>(owner));
    EXPECT_EQ(menu.GetMenuState(0, MF_BYPOSITION), MF_OWNERDRAW);
    EXPECT_EQ(menu.GetMenuItemID(1), 9u);
    EXPECT_EQ(menu.GetMenuString(1, MF_BYPOSITION), u"");  // no text was given to the item
    EXPECT_TRUE(menu.m_items.empty());                     // listing the records is the caller's task
    delete owner;
    delete plain;
}

TEST(MenuRecords, ResyncGivesEveryItemARecord)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    KiroMenuData* first = AddItem(menu, 10, "First");
    KiroMenuData* twinA = AddItem(menu, 20, "Twin A");
    KiroMenuData* twinB = AddItem(menu, 20, "Twin B");
    KiroMenuData* gone = AddItem(menu, 30, "Gone");
    KiroMenuData* separator = AddSeparator(menu);
    KiroMenu* popup = AddPopup(menu, "Popup");
    KiroMenuData* popupRecord = menu.m_items.back();
    AddItem(*popup, 40, "Inside");
    // Behind the records' back: an item inserted with text, one removed, a separator added.
    ASSERT_TRUE(menu.InsertMenu(1, MF_BYPOSITION | MF_STRING | MF_CHECKED, 15, u"Inserted"));
    ASSERT_TRUE(menu.RemoveMenu(30, MF_BYCOMMAND));
    ASSERT_TRUE(menu.AppendMenu(MF_SEPARATOR, 0, static_cast<const void*>(nullptr)));
    // A plain popup with text.
    HMENU plainPopup = platform::CreatePopupMenu();
    ASSERT_TRUE(menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(plainPopup), u"Plain popup"));

    menu.Resync();
    ASSERT_EQ(menu.GetMenuItemCount(), 8);
    ASSERT_EQ(menu.m_items.size(), 8u);
    EXPECT_EQ(menu.m_items[0], first);
    EXPECT_EQ(menu.m_items[2], twinA);  // the first unclaimed record goes to the first twin
    EXPECT_EQ(menu.m_items[3], twinB);
    EXPECT_EQ(menu.m_items[4], separator);
    EXPECT_EQ(menu.m_items[5], popupRecord);
    (void)gone;  // deleted by the resync: no item claimed it

    KiroMenuData* inserted = menu.m_items[1];
    EXPECT_EQ(inserted->GetCaption(), "Inserted");
    EXPECT_EQ(inserted->m_commandId, 15u);
    EXPECT_EQ(inserted->m_flags, MF_CHECKED | MF_BYPOSITION | MF_OWNERDRAW);
    KiroMenuData* newSeparator = menu.m_items[6];
    EXPECT_EQ(newSeparator->m_commandId, 0u);
    EXPECT_TRUE(newSeparator->m_flags & MF_SEPARATOR);
    KiroMenuData* plain = menu.m_items[7];
    EXPECT_EQ(plain->GetCaption(), "Plain popup");
    EXPECT_EQ(plain->m_commandId, reinterpret_cast<UINT_PTR>(plainPopup));

    // Every item is owner-drawn with its own record as data.
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(platform::GetMenuItemData(menu.m_hMenu, static_cast<UINT>(i), MF_BYPOSITION),
                  reinterpret_cast<ULONG_PTR>(menu.m_items[static_cast<std::size_t>(i)]))
            << "position " << i;
    }
    // Popups keep opening their menus; the family's popup is still its object.
    EXPECT_EQ(menu.GetSubMenu(5), popup);
    ASSERT_NE(menu.GetSubMenu(7), nullptr);
    EXPECT_EQ(menu.GetSubMenu(7)->m_hMenu, plainPopup);
    // Claimed records keep their claim mark; the new ones were never claimed.
    const std::vector<int> marks = {1, 0, 1, 1, 1, 1, 0, 0};
    for (std::size_t i = 0; i < marks.size(); ++i) EXPECT_EQ(menu.m_items[i]->m_synced, marks[i]) << i;
    CMenu::DeleteTempMap();
}

TEST(MenuRecords, ResyncLeavesEveryItemTheRecordItCarries)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    // A record of command 0 that no item carries, first in the list, with the flags of a
    // top-level popup entry it was once lined up with.
    auto* stale = new KiroMenuData;
    stale->SetCaption("Stale");
    stale->m_flags = MF_BYPOSITION | MF_POPUP;
    menu.m_items.push_back(stale);
    KiroMenuData* separator = AddSeparator(menu);
    // Two items of one command whose records stand in the other order.
    KiroMenuData* a = AddItem(menu, 7, "A");
    KiroMenuData* b = AddItem(menu, 7, "B");
    std::swap(menu.m_items[2], menu.m_items[3]);
    // A popup entry made to carry a record that is none of the menu's, by a plain menu call.
    KiroMenu* popup = AddPopup(menu, "Popup");
    KiroMenuData* popupRecord = menu.m_items.back();
    KiroMenuData stranger;
    ASSERT_TRUE(menu.ModifyMenu(3, MF_BYPOSITION | MF_POPUP | MF_OWNERDRAW, reinterpret_cast<UINT_PTR>(popup->m_hMenu),
                                static_cast<const void*>(&stranger)));

    menu.Resync();
    EXPECT_EQ(menu.m_items, (std::vector<KiroMenuData*>{separator, a, b, popupRecord}));
    EXPECT_EQ(menu.GetSubMenu(3), popup);
    EXPECT_EQ(menu.GetMenuState(0, MF_BYPOSITION), MF_SEPARATOR | MF_OWNERDRAW);
    for (int i = 0; i < menu.GetMenuItemCount(); ++i) {
        SCOPED_TRACE(i);
        const ULONG_PTR data = platform::GetMenuItemData(menu.m_hMenu, static_cast<UINT>(i), MF_BYPOSITION);
        ASSERT_LT(static_cast<std::size_t>(i), menu.m_items.size());
        EXPECT_EQ(data, reinterpret_cast<ULONG_PTR>(menu.m_items[static_cast<std::size_t>(i)]));
        MEASUREITEMSTRUCT measure;
        measure.itemData = data;
        menu.MeasureItem(&measure);
    }
}

TEST(MenuRecords, ResyncTakesTheTextOfItemsThatHaveOne)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    KiroMenuData* record = AddItem(menu, 5, "Old");
    // The item is made a plain text item again with new text.
    ASSERT_TRUE(menu.ModifyMenu(0, MF_BYPOSITION | MF_STRING, 5, u"New text"));
    menu.Resync();
    ASSERT_EQ(menu.m_items.size(), 1u);
    EXPECT_EQ(menu.m_items[0], record);
    EXPECT_EQ(record->GetCaption(), "New text");
    EXPECT_EQ(menu.GetMenuState(0, MF_BYPOSITION), MF_OWNERDRAW);
    // Owner-drawn items report no text: the caption stays.
    menu.Resync();
    EXPECT_EQ(record->GetCaption(), "New text");
}

TEST(MenuRecords, ResyncMenuOnlyResyncsFamilyMenus)
{
    CMenu plain;
    ASSERT_TRUE(plain.CreateMenu());
    ASSERT_TRUE(plain.AppendMenu(MF_STRING, 1, u"One"));
    KiroMenu::ResyncMenu(&plain);
    EXPECT_EQ(plain.GetMenuState(0, MF_BYPOSITION), 0u);
    EXPECT_EQ(plain.GetMenuString(0, MF_BYPOSITION), u"One");
    KiroMenu::ResyncMenu(nullptr);

    KiroMenu family;
    ASSERT_TRUE(family.CreateMenu());
    ASSERT_TRUE(family.AppendMenu(MF_STRING, 1, u"One"));
    KiroMenu::ResyncMenu(&family);
    ASSERT_EQ(family.m_items.size(), 1u);
    EXPECT_EQ(family.m_items[0]->GetCaption(), "One");
}

TEST(MenuRecords, ClaimAndMarks)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    KiroMenuData* a = AddItem(menu, 3, "A");
    KiroMenuData* b = AddItem(menu, 3, "B");
    KiroMenuData* s = AddSeparator(menu);
    menu.SetSyncMarks(0);
    EXPECT_EQ(menu.ClaimRecord(3), a);
    EXPECT_EQ(menu.ClaimRecord(3), b);
    EXPECT_EQ(menu.ClaimRecord(3), nullptr);
    EXPECT_EQ(menu.ClaimRecord(0), s);
    EXPECT_EQ(menu.ClaimRecord(0), nullptr);
    menu.SetSyncMarks(0);
    EXPECT_EQ(a->m_synced, 0);
    menu.SetSyncMarks(1);
    EXPECT_EQ(menu.ClaimRecord(3), nullptr);
}
