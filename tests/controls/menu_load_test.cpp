// Loading an owner-drawn menu from a menu template and editing its items: records, flags,
// popups, images from toolbars, lists and bitmaps, item texts, check-mark images and toolbar
// images given to the items of their commands.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/KiroMenu.h"
#include "platform/toolbar.h"
#include "tests/controls/menu_resources.h"
#include "tests/controls/menu_tree.h"

using menu_resources::Register;
using menu_resources::TemplateItem;
using platform::ResType;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);

COLORREF At(const wxImage& image, int x, int y)
{
    return RGB(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
}

wxImage Solid(int w, int h, COLORREF c)
{
    wxImage image(w, h);
    image.SetRGB(wxRect(0, 0, w, h), GetRValue(c), GetGValue(c), GetBValue(c));
    return image;
}

std::string Text(const CMenu& menu, UINT position)
{
    return platform::Utf16ToUtf8(menu.GetMenuString(position, MF_BYPOSITION));
}

KiroMenuData* DataAt(const CMenu& menu, UINT position)
{
    return reinterpret_cast<KiroMenuData*>(platform::GetMenuItemData(menu.m_hMenu, position, MF_BYPOSITION));
}

// The type and state flags of the entry at the position (a popup's state carries its item count
// in GetMenuState, so the item's own record is read).
MENUITEMINFOW InfoAt(const CMenu& menu, UINT position)
{
    MENUITEMINFOW info;
    info.fMask = MIIM_FTYPE | MIIM_STATE;
    menu.GetMenuItemInfo(position, &info, TRUE);
    return info;
}

const char* const kNoCaption = nullptr;

// A template of `depth` popups, each inside the one before, the innermost holding item 1.
menu_resources::Bytes NestedTemplate(int depth)
{
    std::vector<TemplateItem> items(static_cast<std::size_t>(depth), TemplateItem{MF_POPUP | MF_END, 0, u"P"});
    items.push_back({MF_END, 1, u"Innermost"});
    return menu_resources::MenuTemplate(items);
}

// Resources of these tests: a File/Help menu template, toolbars and strips.
void RegisterResources()
{
    static bool done = false;
    if (done) return;
    done = true;
    Register(ResType::Menu, 9400,
             menu_resources::MenuTemplate({
                 {MF_POPUP | MF_GRAYED, 0, u"&File"},
                 {MF_STRING, 100, u"&Open\tCtrl+O"},
                 {MF_GRAYED, 0, u""},
                 {MF_GRAYED | MF_CHECKED | MF_END, 101, u"E&xit"},
                 {MF_POPUP | MF_END, 0, u"&Help"},
                 {MF_END, 200, u"&About"},
             }));
    // A popup that is the last of its level closes that level too.
    Register(ResType::Menu, 9401,
             menu_resources::MenuTemplate({
                 {MF_POPUP, 0, u"A"},
                 {MF_POPUP | MF_END, 0, u"B"},
                 {MF_END, 1, u"x"},
                 {MF_END, 2, u"After"},
                 {MF_END, 3, u"Past the end"},
             }));
    Register(ResType::Menu, 0, menu_resources::MenuTemplate({{MF_END, 7, u"Only"}}), "NAMED");
    // Cut short, no end mark at the top level, an extended template, a caption without its end.
    Register(ResType::Menu, 9402, menu_resources::Bytes{0, 0, 0});
    Register(ResType::Menu, 9403, menu_resources::MenuTemplate({{MF_STRING, 1, u"One"}, {MF_STRING, 2, u"Two"}}));
    Register(ResType::Menu, 9404, [] {
        menu_resources::Bytes b = menu_resources::MenuTemplate({{MF_END, 1, u"One"}});
        b[0] = 1;
        return b;
    }());
    Register(ResType::Menu, 9405, menu_resources::Bytes{0, 0, 0, 0, 0x80, 0, 1, 0, 'A', 0});
    Register(ResType::Menu, 9406, menu_resources::MenuTemplate({{MF_POPUP | MF_END, 0, u"Open popup"}}));
    // Popups nested as deep as a menu may go, one level deeper, and far deeper.
    Register(ResType::Menu, 9407, NestedTemplate(64));
    Register(ResType::Menu, 9408, NestedTemplate(65));
    Register(ResType::Menu, 9409, NestedTemplate(100000));

    Register(ResType::Toolbar, 9410, menu_resources::Toolbar(16, 15, {0, 100, 0, 101}));
    Register(ResType::Bitmap, 9410, menu_resources::ToolbarStrip(16, 15, {kRed, kBlue}));
    Register(ResType::Toolbar, 9411, menu_resources::Toolbar(24, 22, {100, 101, 100}));
    Register(ResType::Bitmap, 9411, menu_resources::ToolbarStrip(24, 22, {kGreen, kYellow}));
    Register(ResType::Toolbar, 9412, menu_resources::Toolbar(16, 15, {101, 100}));
    Register(ResType::Bitmap, 9412, menu_resources::ToolbarStrip(16, 15, {kRed, kBlue, kGreen}));
    Register(ResType::Toolbar, 9413, menu_resources::Toolbar(16, 15, {100}));  // no bitmap
    // Image sides at the largest a toolbar may declare, and past it.
    Register(ResType::Toolbar, 9414, menu_resources::Toolbar(256, 256, {100}));
    Register(ResType::Bitmap, 9414, menu_resources::ToolbarStrip(256, 256, {kRed}));
    Register(ResType::Toolbar, 9415, menu_resources::Toolbar(257, 15, {100}));
    Register(ResType::Bitmap, 9415, menu_resources::ToolbarStrip(16, 15, {kRed}));
    Register(ResType::Toolbar, 9416, menu_resources::Toolbar(65535, 65535, {100}));
    Register(ResType::Bitmap, 9416, menu_resources::ToolbarStrip(16, 15, {kRed}));
    Register(ResType::Bitmap, 9420, menu_resources::ToolbarStrip(16, 15, {kRed}));
    Register(ResType::Bitmap, 9421, menu_resources::ToolbarStrip(16, 15, {kBlue}));
}

class MenuLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterResources();
        fixed_ = platform::UsingFixedSystemColors();
        platform::UseFixedSystemColors(true);
        xp_ = KiroMenu::s_drawModeXp;
        other_ = KiroMenu::s_drawModeOther;
        KiroMenu::SetDrawMode(0);
        EmptyGlobalImages();
    }
    void TearDown() override
    {
        EmptyGlobalImages();
        platform::UseFixedSystemColors(fixed_);
        KiroMenu::s_drawModeXp = xp_;
        KiroMenu::s_drawModeOther = other_;
    }
    static void EmptyGlobalImages()
    {
        KiroMenu::s_images.DeleteImageList();
        KiroMenu::s_imageCommandIds.clear();
    }
    static bool Registered(HMENU popup)
    {
        return std::find(KiroMenu::s_popupHandles.begin(), KiroMenu::s_popupHandles.end(), popup) !=
               KiroMenu::s_popupHandles.end();
    }
    // A popup menu with items 100 and 101 and a family popup "More" holding 101 and 102.
    void BuildTree()
    {
        menu_.CreatePopupMenu();
        menu_tree::AddItem(menu_, 100, "First");
        menu_tree::AddItem(menu_, 101, "Second");
        more_ = menu_tree::AddPopup(menu_, "More");
        menu_tree::AddItem(*more_, 101, "Second again");
        menu_tree::AddItem(*more_, 102, "Third");
    }
    KiroMenu menu_;
    KiroMenu* more_ = nullptr;

private:
    bool fixed_ = false;
    int xp_ = 0, other_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Loading a template

TEST_F(MenuLoad, TemplateBecomesTextEntriesOverOwnerDrawnPopups)
{
    ASSERT_TRUE(menu_.LoadMenu(9400u));
    EXPECT_TRUE(menu_.m_loaded);
    ASSERT_EQ(menu_.GetMenuItemCount(), 2);
    ASSERT_EQ(menu_.m_items.size(), 2u);
    for (UINT i = 0; i < 2; ++i) {
        const MENUITEMINFOW info = InfoAt(menu_, i);
        EXPECT_EQ(info.fType & MF_OWNERDRAW, 0u) << i;
        EXPECT_EQ(info.fState & (MF_GRAYED | MF_DISABLED), 0u) << i;  // the grayed File too
        EXPECT_EQ(menu_.m_items[i]->m_flags, MF_BYPOSITION | MF_POPUP) << i;
    }
    EXPECT_EQ(Text(menu_, 0), "&File");
    EXPECT_EQ(Text(menu_, 1), "&Help");

    auto* file = dynamic_cast<KiroMenu*>(menu_.GetSubMenu(0));
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(Registered(file->m_hMenu));
    EXPECT_TRUE(file->m_checkMarkImagesBorrowed);
    EXPECT_FALSE(file->m_loaded);
    ASSERT_EQ(file->GetMenuItemCount(), 3);
    ASSERT_EQ(file->m_items.size(), 3u);
    for (UINT i = 0; i < 3; ++i) EXPECT_EQ(DataAt(*file, i), file->m_items[i]) << i;
    EXPECT_EQ(file->m_items[0]->m_flags, MF_OWNERDRAW);
    EXPECT_EQ(file->m_items[0]->m_commandId, 100u);
    EXPECT_EQ(file->m_items[1]->m_flags, MF_SEPARATOR | MF_OWNERDRAW);  // id 0: a separator, grayed or not
    EXPECT_EQ(file->m_items[2]->m_flags, MF_GRAYED | MF_CHECKED | MF_OWNERDRAW);
    EXPECT_NE(file->GetMenuState(101, MF_BYCOMMAND) & MF_GRAYED, 0u);  // inside a popup it stays
    EXPECT_EQ(file->m_items[2]->GetCaption().substr(0, 5), "E&xit");
    EXPECT_NE(file->m_items[0]->GetCaption().find("\tCtrl+O"), std::string::npos);

    auto* help = dynamic_cast<KiroMenu*>(menu_.GetSubMenu(1));
    ASSERT_NE(help, nullptr);
    ASSERT_EQ(help->m_items.size(), 1u);
    EXPECT_EQ(help->m_items[0]->GetCaption(), "&About");
}

TEST_F(MenuLoad, APopupLastOfItsLevelClosesThatLevelToo)
{
    ASSERT_TRUE(menu_.LoadMenu(9401u));
    ASSERT_EQ(menu_.GetMenuItemCount(), 2);  // "A" and "After"; what follows the top's end is not read
    EXPECT_EQ(Text(menu_, 1), "After");
    auto* a = dynamic_cast<KiroMenu*>(menu_.GetSubMenu(0));
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->GetMenuItemCount(), 1);
    auto* b = dynamic_cast<KiroMenu*>(a->GetSubMenu(0));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetMenuItemCount(), 1);
    EXPECT_EQ(b->m_items[0]->m_commandId, 1u);
}

TEST_F(MenuLoad, ReloadingReplacesTheOldContents)
{
    ASSERT_TRUE(menu_.LoadMenu(9400u));
    const HMENU oldFile = platform::GetSubMenu(menu_.m_hMenu, 0);
    ASSERT_TRUE(menu_.LoadMenu("NAMED"));
    EXPECT_FALSE(Registered(oldFile));
    EXPECT_FALSE(platform::IsMenu(oldFile));
    ASSERT_EQ(menu_.GetMenuItemCount(), 1);
    EXPECT_EQ(Text(menu_, 0), "Only");
    EXPECT_EQ(menu_.m_items[0]->m_flags, MF_BYPOSITION);
    EXPECT_EQ(menu_.GetMenuItemID(0), 7u);
}

TEST_F(MenuLoad, PopupsNestedAsDeepAsAMenuMayGoLoadAndGo)
{
    const std::size_t menus = platform::LiveMenuCount();
    {
        KiroMenu deep;
        ASSERT_TRUE(deep.LoadMenu(9407u));
        int position = -1;
        KiroMenu* owner = deep.FindOwner(1, position);
        ASSERT_NE(owner, nullptr);
        EXPECT_EQ(owner->m_items[0]->GetCaption(), "Innermost");
        int depth = 0;
        for (KiroMenu* level = &deep; level != nullptr && level != owner; ++depth)
            level = dynamic_cast<KiroMenu*>(level->GetSubMenu(0));
        EXPECT_EQ(depth, 64);
    }
    EXPECT_EQ(platform::LiveMenuCount(), menus);
}

TEST_F(MenuLoad, TemplatesThatCannotBeReadLeaveTheMenuAsItWas)
{
    ASSERT_TRUE(menu_.LoadMenu(9400u));
    const HMENU handle = menu_.m_hMenu;
    struct Case {
        const char* name;
        UINT id;
    };
    const Case cases[] = {{"missing", 9499},
                          {"shorter than its header", 9402},
                          {"no end at the top", 9403},
                          {"extended template", 9404},
                          {"caption without end", 9405},
                          {"popup without items", 9406},
                          {"popups nested 65 deep", 9408},
                          {"popups nested 100000 deep", 9409}};
    for (const Case& c : cases) {
        EXPECT_FALSE(menu_.LoadMenu(c.id)) << c.name;
        EXPECT_EQ(menu_.m_hMenu, handle) << c.name;
        EXPECT_EQ(menu_.GetMenuItemCount(), 2) << c.name;
        EXPECT_EQ(menu_.m_items.size(), 2u) << c.name;
    }
}

// ---------------------------------------------------------------------------------------------
// Appending and inserting

TEST_F(MenuLoad, FlagRuleOfAddedItems)
{
    struct Case {
        UINT flags;
        UINT_PTR id;
        UINT want;
    };
    const Case cases[] = {
        {MF_BYPOSITION, 0, 0x0D00},
        {MF_STRING, 0, 0x0900},
        {MF_GRAYED | MF_CHECKED | MF_BYPOSITION, 0, 0x0D00},
        {MF_GRAYED | MF_CHECKED, 0, 0x0900},
        {MF_GRAYED, 5, MF_GRAYED | MF_OWNERDRAW},
        {MF_STRING, 6, MF_OWNERDRAW},
    };
    menu_.CreatePopupMenu();
    for (const Case& c : cases) {
        ASSERT_TRUE(menu_.AppendItem("Item", c.flags, c.id, -1));
        EXPECT_EQ(menu_.m_items.back()->m_flags, c.want) << std::hex << c.flags << " " << c.id;
        EXPECT_EQ(menu_.m_items.back()->m_commandId, c.id);
        EXPECT_EQ(DataAt(menu_, static_cast<UINT>(menu_.GetMenuItemCount() - 1)), menu_.m_items.back());
    }
    // Inserting by position always has MF_BYPOSITION: an inserted separator is 0x0D00.
    ASSERT_TRUE(menu_.InsertItem(0, kNoCaption, MF_BYPOSITION, 0, -1));
    EXPECT_EQ(menu_.m_items.front()->m_flags, 0x0D00u);
    EXPECT_EQ(menu_.m_items.front()->m_caption, nullptr);
}

TEST_F(MenuLoad, InsertingAtAPositionKeepsRecordsInLine)
{
    menu_.CreatePopupMenu();
    menu_.AppendItem("A", MF_STRING, 1, -1);
    menu_.AppendItem("B", MF_STRING, 2, -1);
    struct Case {
        UINT position;
        const char* caption;
    };
    for (const Case& c :
         {Case{static_cast<UINT>(-1), "end"}, Case{99, "beyond"}, Case{1, "second"}, Case{0, "first"}}) {
        ASSERT_TRUE(menu_.InsertItem(c.position, c.caption, MF_BYPOSITION, 10, -1)) << c.caption;
    }
    const std::vector<std::string> want = {"first", "A", "second", "B", "end", "beyond"};
    ASSERT_EQ(menu_.m_items.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(menu_.m_items[i]->GetCaption(), want[i]) << i;
        EXPECT_EQ(DataAt(menu_, static_cast<UINT>(i)), menu_.m_items[i]) << i;
    }
}

TEST_F(MenuLoad, InsertingBeforeACommandGoesIntoItsPopup)
{
    BuildTree();
    ASSERT_TRUE(menu_.InsertItem(102u, "Before third", MF_STRING, 103, -1));
    ASSERT_EQ(more_->m_items.size(), 3u);
    EXPECT_EQ(more_->m_items[1]->GetCaption(), "Before third");
    EXPECT_EQ(more_->m_items[1]->m_flags, MF_BYPOSITION | MF_OWNERDRAW);
    EXPECT_EQ(more_->GetMenuItemID(1), 103u);
    EXPECT_EQ(menu_.m_items.size(), 3u);

    EXPECT_FALSE(menu_.InsertItem(999u, "Nowhere", MF_STRING, 104, -1));
    EXPECT_FALSE(menu_.InsertItem(999u, MF_STRING, 104, "Nowhere", static_cast<CImageList*>(nullptr), 0));
    EXPECT_EQ(menu_.GetMenuItemCount(), 3);
    EXPECT_EQ(more_->GetMenuItemCount(), 3);
}

TEST_F(MenuLoad, AppendPopupAndInsertAPopupOnALoadedMenu)
{
    ASSERT_TRUE(menu_.LoadMenu(9400u));
    KiroMenu* tools = menu_.AppendPopup("&Tools");
    ASSERT_NE(tools, nullptr);
    EXPECT_TRUE(Registered(tools->m_hMenu));
    EXPECT_TRUE(tools->m_checkMarkImagesBorrowed);
    ASSERT_EQ(menu_.GetMenuItemCount(), 3);
    // The loaded menu's popup entries are put back to text entries with their captions.
    EXPECT_EQ(Text(menu_, 2), "&Tools");
    EXPECT_EQ(InfoAt(menu_, 2).fType & MF_OWNERDRAW, 0u);
    EXPECT_EQ(menu_.m_items[2]->m_flags, MF_POPUP | MF_BYPOSITION);

    // A popup inserted in front on a loaded menu.
    auto* view = new KiroMenu;
    view->CreatePopupMenu();
    ASSERT_TRUE(menu_.InsertItem(1, "&View", MF_POPUP | MF_BYPOSITION, reinterpret_cast<UINT_PTR>(view->m_hMenu), -1));
    ASSERT_EQ(menu_.GetMenuItemCount(), 4);
    const std::vector<std::string> want = {"&File", "&View", "&Help", "&Tools"};
    for (UINT i = 0; i < 4; ++i) {
        EXPECT_EQ(Text(menu_, i), want[i]) << i;
        EXPECT_EQ(menu_.m_items[i]->GetCaption(), want[i]) << i;
    }
    EXPECT_TRUE(Registered(view->m_hMenu));
}

// ---------------------------------------------------------------------------------------------
// Images of added items

TEST_F(MenuLoad, ImagesOfAppendedItems)
{
    menu_.CreatePopupMenu();
    // From a toolbar: command 101 has image 1 of the strip.
    ASSERT_TRUE(menu_.AppendItem("Toolbar", MF_STRING, 101, 9410));
    KiroMenuData* fromToolbar = menu_.m_items.back();
    ASSERT_EQ(fromToolbar->m_globalImageIndex, 0);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(0), 5, 5), kBlue);
    EXPECT_EQ(fromToolbar->m_ownImageId, -1);

    // A negative toolbar id picks up what another menu stored for the command.
    KiroMenu other;
    other.CreatePopupMenu();
    ASSERT_TRUE(other.AppendItem(MF_STRING, 101, "Same command", -1));
    EXPECT_EQ(other.m_items.back()->m_globalImageIndex, 0);
    ASSERT_TRUE(other.AppendItem(MF_STRING, 555, "No image", -1));
    EXPECT_EQ(other.m_items.back()->m_globalImageIndex, -1);

    // From a list: an image of its own.
    CImageList list;
    list.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
    list.Add(Solid(16, 15, kRed));
    list.Add(Solid(16, 15, kGreen));
    ASSERT_TRUE(menu_.AppendItem("List", MF_STRING, 300, &list, 1));
    KiroMenuData* fromList = menu_.m_items.back();
    EXPECT_EQ(fromList->m_ownImageId, 0);
    EXPECT_EQ(fromList->m_imageIndex, 0);
    ASSERT_NE(fromList->m_ownImages, nullptr);
    EXPECT_EQ(At(fromList->m_ownImages->GetImage(0), 3, 3), kGreen);
    EXPECT_EQ(fromList->m_globalImageIndex, -1);

    // From a bitmap, and a null bitmap.
    const wxImage bitmap = Solid(16, 15, kYellow);
    ASSERT_TRUE(menu_.AppendItem(MF_STRING, 301, "Bitmap", &bitmap));
    ASSERT_NE(menu_.m_items.back()->m_ownImages, nullptr);
    EXPECT_EQ(At(menu_.m_items.back()->m_ownImages->GetImage(0), 3, 3), kYellow);
    ASSERT_TRUE(menu_.AppendItem(MF_STRING, 302, "No bitmap", static_cast<const wxImage*>(nullptr)));
    EXPECT_EQ(menu_.m_items.back()->m_ownImages, nullptr);
    EXPECT_EQ(menu_.m_items.back()->m_ownImageId, -1);
    EXPECT_EQ(menu_.GetMenuItemCount(), 4);
}

TEST_F(MenuLoad, AnInsertedItemsImageGoesIntoTheSharedList)
{
    menu_.CreatePopupMenu();
    CImageList list;
    list.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
    list.Add(Solid(16, 15, kRed));
    ASSERT_TRUE(menu_.InsertItem(0, MF_BYPOSITION, 400, "Inserted", &list, 0));
    EXPECT_EQ(menu_.m_items[0]->m_globalImageIndex, 0);
    EXPECT_EQ(menu_.m_items[0]->m_ownImages, nullptr);
    EXPECT_EQ(menu_.FindGlobalImage(400), 0);
}

// ---------------------------------------------------------------------------------------------
// Modifying

TEST_F(MenuLoad, ModifyingACommandChangesEveryItemWithIt)
{
    BuildTree();
    KiroMenuData* second = menu_.m_items[1];
    KiroMenuData* again = more_->m_items[0];
    // A record may carry the popup flag of a top-level entry it was once lined up with.
    second->m_flags |= MF_BYPOSITION | MF_POPUP;
    CImageList list;
    list.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
    list.Add(Solid(16, 15, kGreen));
    ASSERT_TRUE(menu_.ModifyItem("Changed", 101u, &list, 0));
    for (KiroMenuData* record : {second, again}) {
        EXPECT_EQ(record->GetCaption(), "Changed");
        EXPECT_EQ(record->m_globalImageIndex, 0);
        EXPECT_EQ(record->m_flags & (MF_BYPOSITION | MF_POPUP), 0u);
        EXPECT_NE(record->m_flags & MF_OWNERDRAW, 0u);
    }
    EXPECT_EQ(menu_.GetMenuState(1, MF_BYPOSITION), MF_OWNERDRAW);
    EXPECT_EQ(KiroMenu::s_images.GetImageCount(), 1);
    // Each item carries the record of its own menu.
    EXPECT_EQ(DataAt(menu_, 1), second);
    EXPECT_EQ(DataAt(*more_, 0), again);
    EXPECT_EQ(menu_.m_items.size(), 3u);
    EXPECT_EQ(more_->m_items.size(), 2u);
}

TEST_F(MenuLoad, AModifiedCommandsItemOutlivesTheOtherItemsOfTheCommand)
{
    BuildTree();  // 101 in the menu and in its popup
    ASSERT_TRUE(menu_.ModifyItem("Changed", 101u, -1));
    // The popup's item goes, and its record with it; the menu's item still has its own.
    ASSERT_TRUE(more_->DeleteItem(0, MF_BYPOSITION));
    MEASUREITEMSTRUCT measure;
    measure.itemData = reinterpret_cast<std::uintptr_t>(DataAt(menu_, 1));
    menu_.MeasureItem(&measure);
    EXPECT_GT(measure.itemWidth, 0u);
    ASSERT_NE(DataAt(menu_, 1), nullptr);
    EXPECT_EQ(DataAt(menu_, 1)->GetCaption(), "Changed");
    // A later change of the menu's record shows on its item.
    ASSERT_TRUE(menu_.SetItemText(1, "Later", MF_BYPOSITION));
    EXPECT_EQ(DataAt(menu_, 1)->GetCaption(), "Later");
}

TEST_F(MenuLoad, ACaptionGivenFromTheRecordItselfIsKept)
{
    BuildTree();
    ASSERT_TRUE(menu_.ModifyItem(menu_.m_items[0]->m_caption, 100u, -1));
    EXPECT_EQ(menu_.m_items[0]->GetCaption(), "First");
    // The caption of the first of two items of a command, given to both.
    ASSERT_TRUE(menu_.ModifyItem(menu_.m_items[1]->m_caption, 101u, -1));
    EXPECT_EQ(menu_.m_items[1]->GetCaption(), "Second");
    EXPECT_EQ(more_->m_items[0]->GetCaption(), "Second");
    KiroMenuData* third = more_->m_items[1];
    ASSERT_TRUE(menu_.ModifyItem(third->m_caption, third->m_caption, -1));
    EXPECT_EQ(third->GetCaption(), "Third");
}

TEST_F(MenuLoad, ModifyingACommandNoItemCarries)
{
    BuildTree();
    EXPECT_FALSE(menu_.ModifyItem("Ghost", 777u, -1));
    ASSERT_EQ(menu_.m_items.size(), 4u);  // one record more than items
    EXPECT_EQ(menu_.m_items.back()->GetCaption(), "Ghost");
    EXPECT_EQ(menu_.GetMenuItemCount(), 3);
}

TEST_F(MenuLoad, ModifyingWithoutCaptionOrToolbarShowsTheSharedImage)
{
    BuildTree();
    CImageList list;
    list.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
    list.Add(Solid(16, 15, kBlue));
    KiroMenu other;
    other.CreatePopupMenu();
    other.InsertItem(0, MF_BYPOSITION, 102, "Elsewhere", &list, 0);  // stores 102's image
    KiroMenuData* third = more_->m_items[1];
    third->m_ownImages = new CImageList;
    third->m_ownImageId = 5;
    third->m_imageIndex = 0;
    ASSERT_TRUE(menu_.ModifyItem(kNoCaption, 102u, -1));
    EXPECT_EQ(third->GetCaption(), "Third");
    EXPECT_EQ(third->m_ownImageId, -1);
    EXPECT_EQ(third->m_imageIndex, -1);
    EXPECT_EQ(third->m_globalImageIndex, 0);
}

TEST_F(MenuLoad, ModifyingFromAToolbarAndWithASwatch)
{
    BuildTree();
    ASSERT_TRUE(menu_.ModifyItem("From toolbar", 100u, 9410));
    EXPECT_EQ(menu_.m_items[0]->m_globalImageIndex, 0);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(0), 5, 5), kRed);  // command 100 is image 0

    ASSERT_TRUE(menu_.ModifyItemSwatch("Colour", 102, kGreen, kBlue, -1, nullptr));
    KiroMenuData* third = more_->m_items[1];
    ASSERT_EQ(third->m_globalImageIndex, 1);
    const wxImage swatch = KiroMenu::s_images.GetImage(1);
    EXPECT_EQ(At(swatch, 0, 0), kBlue);
    EXPECT_EQ(At(swatch, 7, 7), kGreen);
    const wxSize small(6, 6);
    ASSERT_TRUE(menu_.ModifyItemSwatch(kNoCaption, 102, kRed, kBlue, -1, &small));
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(1), 7, 7), kRed);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(1), 1, 1), platform::SysColor(COLOR_MENU));
}

TEST_F(MenuLoad, ModifyingByCaptionChangesTheRecordOnly)
{
    BuildTree();
    KiroMenuData* third = more_->m_items[1];
    third->m_globalImageIndex = 4;
    const UINT stateBefore = menu_.GetMenuState(102, MF_BYCOMMAND);
    ASSERT_TRUE(menu_.ModifyItem("Renamed", "Third", 9420));
    EXPECT_EQ(third->GetCaption(), "Renamed");
    EXPECT_EQ(third->m_ownImageId, 9420);
    EXPECT_EQ(third->m_imageIndex, 0);
    ASSERT_NE(third->m_ownImages, nullptr);
    EXPECT_EQ(At(third->m_ownImages->GetImage(0), 5, 5), kRed);
    EXPECT_EQ(third->m_globalImageIndex, 4);
    EXPECT_EQ(menu_.GetMenuState(102, MF_BYCOMMAND), stateBefore);

    // A bitmap that cannot be loaded, and a negative id: no image of its own.
    ASSERT_TRUE(menu_.ModifyItem(kNoCaption, "Renamed", 9499));
    EXPECT_EQ(third->m_ownImages, nullptr);
    EXPECT_EQ(third->m_ownImageId, -1);
    EXPECT_EQ(third->m_imageIndex, -1);
    ASSERT_TRUE(menu_.ModifyItem(kNoCaption, "Renamed", -1));
    EXPECT_EQ(third->m_ownImageId, -1);
    EXPECT_EQ(third->GetCaption(), "Renamed");
    EXPECT_FALSE(menu_.ModifyItem("X", "No such caption", 9420));
}

// ---------------------------------------------------------------------------------------------
// Item texts

TEST_F(MenuLoad, ItemTextsByPositionAndByCommand)
{
    KiroMenu empty;
    empty.CreatePopupMenu();
    std::string text = "kept";
    EXPECT_FALSE(empty.GetItemText(0, text, MF_BYPOSITION));
    EXPECT_EQ(text, "kept");

    BuildTree();
    EXPECT_TRUE(menu_.GetItemText(1, text, MF_BYPOSITION));
    EXPECT_EQ(text, "Second");
    EXPECT_TRUE(menu_.GetItemText(102, text, MF_BYCOMMAND));
    EXPECT_EQ(text, "Third");
    EXPECT_FALSE(menu_.GetItemText(777, text, MF_BYCOMMAND));
    EXPECT_FALSE(menu_.GetItemText(9, text, MF_BYPOSITION));
    EXPECT_EQ(text, "Third");

    EXPECT_TRUE(menu_.SetItemText(102, "New third", MF_BYCOMMAND));
    EXPECT_EQ(more_->m_items[1]->GetCaption(), "New third");
    EXPECT_TRUE(menu_.SetItemText(0, "New first", MF_BYPOSITION));
    EXPECT_EQ(menu_.m_items[0]->GetCaption(), "New first");
    EXPECT_FALSE(menu_.SetItemText(777, "x", MF_BYCOMMAND));
    EXPECT_FALSE(menu_.SetItemText(5, "x", MF_BYPOSITION));
}

// ---------------------------------------------------------------------------------------------
// Check-mark images

TEST_F(MenuLoad, CheckMarkImages)
{
    menu_.CreatePopupMenu();
    // Either id 0: nothing changes, not even the ids.
    menu_.SetCheckMarkImages(0, 9421);
    menu_.SetCheckMarkImages(9420, 0);
    EXPECT_EQ(menu_.m_checkMarkId, -1);
    EXPECT_EQ(menu_.m_checkMarkSelectedId, -1);
    EXPECT_EQ(menu_.m_checkMarkImages, nullptr);

    menu_.SetCheckMarkImages(9420, 9421);
    ASSERT_NE(menu_.m_checkMarkImages, nullptr);
    ASSERT_EQ(menu_.m_checkMarkImages->GetImageCount(), 2);
    EXPECT_EQ(At(menu_.m_checkMarkImages->GetImage(0), 5, 5), kRed);
    EXPECT_EQ(At(menu_.m_checkMarkImages->GetImage(1), 5, 5), kBlue);

    // Flat: each addition brings two copies of image 0; image 1 is the faded check mark.
    KiroMenu::SetDrawMode(1);
    menu_.SetCheckMarkImages(9420, 9421);
    ASSERT_EQ(menu_.m_checkMarkImages->GetImageCount(), 6);
    EXPECT_EQ(At(menu_.m_checkMarkImages->GetImage(1), 5, 5), RGB(255, 76, 76));
    EXPECT_EQ(At(menu_.m_checkMarkImages->GetImage(3), 5, 5), kBlue);
    EXPECT_EQ(At(menu_.m_checkMarkImages->GetImage(4), 5, 5), RGB(255, 76, 76));
    KiroMenu::SetDrawMode(0);

    // One that cannot be loaded: no images, the ids as set.
    menu_.SetCheckMarkImages(9420, 9498);
    EXPECT_EQ(menu_.m_checkMarkImages, nullptr);
    EXPECT_EQ(menu_.m_checkMarkId, 9420);
    EXPECT_EQ(menu_.m_checkMarkSelectedId, 9498);
}

TEST_F(MenuLoad, APopupThatBorrowsCheckMarksGetsItsOwn)
{
    menu_.CreatePopupMenu();
    menu_.SetCheckMarkImages(9420, 9421);
    CImageList* parents = menu_.m_checkMarkImages;
    KiroMenu* popup = menu_.AppendPopup("Sub");
    EXPECT_EQ(popup->m_checkMarkImages, parents);
    popup->SetCheckMarkImages(9421, 9420);
    EXPECT_NE(popup->m_checkMarkImages, parents);
    EXPECT_FALSE(popup->m_checkMarkImagesBorrowed);
    ASSERT_EQ(parents->GetImageCount(), 2);
    EXPECT_EQ(At(parents->GetImage(0), 5, 5), kRed);
    EXPECT_EQ(At(popup->m_checkMarkImages->GetImage(0), 5, 5), kBlue);
}

// ---------------------------------------------------------------------------------------------
// Toolbar images

TEST_F(MenuLoad, ToolbarImagesGoToTheItemsOfTheirCommands)
{
    BuildTree();
    ASSERT_TRUE(menu_.LoadToolbarImages(9410u));  // 0, 100, 0, 101
    EXPECT_EQ(wxSize(menu_.m_imageWidth, menu_.m_imageHeight), wxSize(16, 15));
    const int i100 = menu_.FindGlobalImage(100), i101 = menu_.FindGlobalImage(101);
    ASSERT_GE(i100, 0);
    ASSERT_GE(i101, 0);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(i100), 5, 5), kRed);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(i101), 5, 5), kBlue);
    EXPECT_EQ(menu_.m_items[0]->m_globalImageIndex, i100);
    EXPECT_EQ(menu_.m_items[1]->m_globalImageIndex, i101);
    EXPECT_EQ(more_->m_items[0]->m_globalImageIndex, i101);  // every item of the command
    EXPECT_EQ(more_->m_items[1]->m_globalImageIndex, -1);    // 102 is on no button
    // Each item of 101 still carries the record of its own menu.
    EXPECT_EQ(DataAt(menu_, 1), menu_.m_items[1]);
    EXPECT_EQ(DataAt(*more_, 0), more_->m_items[0]);

    // A second toolbar replaces the images in place: indexes and records stay valid.
    ASSERT_TRUE(menu_.LoadToolbarImages(9412u));  // 101, 100
    EXPECT_EQ(menu_.FindGlobalImage(100), i100);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(i100), 5, 5), kBlue);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(i101), 5, 5), kRed);
    EXPECT_EQ(KiroMenu::s_images.GetImageCount(), 2);
}

TEST_F(MenuLoad, ToolbarImageSizeOnlyGrows)
{
    BuildTree();
    ASSERT_TRUE(menu_.LoadToolbarImages(9411u));  // 24 by 22: 100, 101, 100 again
    EXPECT_EQ(wxSize(menu_.m_imageWidth, menu_.m_imageHeight), wxSize(24, 22));
    const int i100 = menu_.FindGlobalImage(100);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(i100), 5, 5), kGreen);  // its first button's image
    EXPECT_EQ(menu_.m_items[0]->m_globalImageIndex, i100);           // the third button's image 2 is never asked for
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(menu_.FindGlobalImage(101)), 5, 5), kYellow);

    // A 16 by 15 toolbar afterwards: the size stays and its strip (red, blue, green) is cut 24
    // pixels wide, so command 100 (button 1) gets image 1, the strip's pixels 24 to 47.
    ASSERT_TRUE(menu_.LoadToolbarImages(9412u));
    EXPECT_EQ(wxSize(menu_.m_imageWidth, menu_.m_imageHeight), wxSize(24, 22));
    const wxImage image = KiroMenu::s_images.GetImage(i100);
    EXPECT_EQ(image.GetSize(), wxSize(24, 22));
    EXPECT_EQ(At(image, 5, 5), kBlue);    // strip pixel 29: inside the second 16-pixel image
    EXPECT_EQ(At(image, 10, 5), kGreen);  // strip pixel 34: inside the third
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(menu_.FindGlobalImage(101)), 5, 5), kRed);
}

TEST_F(MenuLoad, ToolbarImagesOfTheLargestSize)
{
    BuildTree();
    ASSERT_TRUE(menu_.LoadToolbarImages(9414u));
    EXPECT_EQ(wxSize(menu_.m_imageWidth, menu_.m_imageHeight), wxSize(256, 256));
    const int image = menu_.FindGlobalImage(100);
    ASSERT_GE(image, 0);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(image), 128, 128), kRed);
}

TEST_F(MenuLoad, ToolbarImagesThatCannotBeLoaded)
{
    BuildTree();
    EXPECT_FALSE(menu_.LoadToolbarImages(9499u));
    EXPECT_FALSE(menu_.LoadToolbarImages(9413u));  // no bitmap
    EXPECT_FALSE(menu_.LoadToolbarImages(9415u));  // 257 pixels wide
    EXPECT_FALSE(menu_.LoadToolbarImages(9416u));  // 65535 by 65535
    EXPECT_EQ(wxSize(menu_.m_imageWidth, menu_.m_imageHeight), wxSize(16, 15));
    EXPECT_EQ(KiroMenu::s_images.GetImageCount(), 0);
    EXPECT_EQ(menu_.m_items[0]->m_globalImageIndex, -1);

    // The array form tries every toolbar and is TRUE only when all loaded.
    const UINT ids[] = {9499, 9410};
    EXPECT_FALSE(menu_.LoadToolbarImages(ids, 2));
    EXPECT_GE(menu_.FindGlobalImage(101), 0);
    const UINT good[] = {9410, 9412};
    EXPECT_TRUE(menu_.LoadToolbarImages(good, 2));
}
