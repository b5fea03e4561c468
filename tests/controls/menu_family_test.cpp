// The owner-drawn menu family: item records, the menu's members, popups and what a menu owns.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/KiroMenu.h"
#include "core/codepage.h"
#include "tests/controls/menu_tree.h"

namespace {

using menu_tree::CountedMenu;
using menu_tree::Registered;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Records

TEST(KiroMenuDataRecord, StartsEmpty)
{
    KiroMenuData record;
    EXPECT_EQ(record.m_caption, nullptr);
    EXPECT_EQ(record.m_imageIndex, -1);
    EXPECT_EQ(record.m_globalImageIndex, -1);
    EXPECT_EQ(record.m_ownImageId, -1);
    EXPECT_EQ(record.m_flags, 0u);
    EXPECT_EQ(record.m_commandId, 0u);
    EXPECT_EQ(record.m_synced, 0);
    EXPECT_EQ(record.m_ownImages, nullptr);
    EXPECT_EQ(record.GetCaption(), "");
}

TEST(KiroMenuDataRecord, CaptionsKeptAsUtf16)
{
    struct Case {
        const char* name;
        std::string eightBit;  // what SetCaption gets
        std::u16string wide;   // what the record holds
        std::string back;      // what GetCaption gives
    };
    const std::vector<Case> cases = {
        {"plain", "Open\tCtrl+O", u"Open\tCtrl+O", "Open\tCtrl+O"},
        {"empty", "", u"", ""},
        {"UTF-8", "\xE7\xAB\xAF\xE5\x8F\xA3", u"端口", "\xE7\xAB\xAF\xE5\x8F\xA3"},
        // Bytes of the system code page (GBK) are decoded; the caption reads back as UTF-8.
        {"GBK", "\xB6\xCB\xBF\xDA", u"端口", "\xE7\xAB\xAF\xE5\x8F\xA3"},
        {"Italian", "Porta seriale \xC3\xA8", u"Porta seriale è", "Porta seriale \xC3\xA8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KiroMenuData record;
        record.SetCaption(c.eightBit.c_str());
        ASSERT_NE(record.m_caption, nullptr);
        EXPECT_EQ(std::u16string(record.m_caption), c.wide);
        EXPECT_EQ(record.GetCaption(), c.back);
    }
}

TEST(KiroMenuDataRecord, NullCaptionsClearTheCaption)
{
    KiroMenuData record;
    record.SetCaption("Open");
    ASSERT_NE(record.m_caption, nullptr);
    record.SetCaption(nullptr);
    EXPECT_EQ(record.m_caption, nullptr);
    EXPECT_EQ(record.GetCaption(), "");

    record.SetWideCaption(u"Save");
    EXPECT_EQ(record.GetCaption(), "Save");
    record.SetWideCaption(nullptr);
    EXPECT_EQ(record.m_caption, nullptr);
    EXPECT_EQ(record.GetCaption(), "");
}

TEST(KiroMenuDataRecord, KeepsItsOwnCopyOfTheCaption)
{
    std::u16string text = u"Print";
    KiroMenuData record;
    record.SetWideCaption(text.c_str());
    EXPECT_NE(record.m_caption, text.c_str());
    text[0] = u'X';
    EXPECT_EQ(record.GetCaption(), "Print");
    record.SetWideCaption(u"Longer caption than before");
    record.SetWideCaption(u"Short");
    EXPECT_EQ(record.GetCaption(), "Short");
    // Its own caption given back to it.
    record.SetWideCaption(record.m_caption);
    EXPECT_EQ(record.GetCaption(), "Short");
}

TEST(KiroMenuDataRecord, DestructorFreesItsImageList)
{
    const std::size_t before = CImageList::LiveCount();
    {
        KiroMenuData record;
        record.m_ownImages = new CImageList;
        ASSERT_TRUE(record.m_ownImages->Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 0));
        EXPECT_EQ(CImageList::LiveCount(), before + 1);
    }
    EXPECT_EQ(CImageList::LiveCount(), before);
}

TEST(KiroMenuItemInfo, AllZeroButItsSize)
{
    MenuItemInfo info;
    EXPECT_EQ(info.cbSize, sizeof(MENUITEMINFOW));
    EXPECT_EQ(info.fMask, 0u);
    EXPECT_EQ(info.fType, 0u);
    EXPECT_EQ(info.fState, 0u);
    EXPECT_EQ(info.wID, 0u);
    EXPECT_EQ(info.hSubMenu, nullptr);
    EXPECT_EQ(info.hbmpChecked, 0u);
    EXPECT_EQ(info.hbmpUnchecked, 0u);
    EXPECT_EQ(info.dwItemData, 0u);
    EXPECT_EQ(info.dwTypeData, nullptr);
    EXPECT_EQ(info.cch, 0u);
}

// ---------------------------------------------------------------------------------------------
// The menu

TEST(KiroMenuObject, StartsWithTheDefaults)
{
    KiroMenu menu;
    EXPECT_EQ(menu.m_hMenu, nullptr);
    EXPECT_STREQ(menu.GetRuntimeClassName(), "KiroMenu");
    EXPECT_TRUE(menu.m_items.empty());
    EXPECT_TRUE(menu.m_popupHandles.empty());
    EXPECT_EQ(menu.m_imageWidth, 16);
    EXPECT_EQ(menu.m_imageHeight, 15);
    EXPECT_EQ(menu.m_imageBackground, RGB(192, 192, 192));
    EXPECT_FALSE(menu.m_hasImageBackground);
    EXPECT_FALSE(menu.m_dibDisabledImages);
    EXPECT_EQ(menu.m_checkMarkImages, nullptr);
    EXPECT_FALSE(menu.m_checkMarkImagesBorrowed);
    EXPECT_EQ(menu.m_checkMarkSelectedId, -1);
    EXPECT_EQ(menu.m_checkMarkId, -1);
    EXPECT_FALSE(menu.m_loaded);
    CMenu* asBase = &menu;
    EXPECT_NE(dynamic_cast<KiroMenu*>(asBase), nullptr);
}

TEST(KiroMenuObject, AnEmptyMenuDestroysNothing)
{
    const std::size_t menus = platform::LiveMenuCount();
    const std::vector<HMENU> popups = KiroMenu::s_popupHandles;
    const std::vector<int> ids = KiroMenu::s_imageCommandIds;
    const int images = KiroMenu::s_images.GetImageCount();
    const std::size_t lists = CImageList::LiveCount();
    {
        KiroMenu menu;
        EXPECT_FALSE(menu.DestroyMenu());
        EXPECT_FALSE(menu.DestroyMenu());
        EXPECT_EQ(menu.GetSubMenu(0), nullptr);
    }
    EXPECT_EQ(platform::LiveMenuCount(), menus);
    EXPECT_EQ(KiroMenu::s_popupHandles, popups);
    EXPECT_EQ(KiroMenu::s_imageCommandIds, ids);
    EXPECT_EQ(KiroMenu::s_images.GetImageCount(), images);
    EXPECT_EQ(CImageList::LiveCount(), lists);
}

TEST(KiroMenuObject, DestroyingReleasesTheWholeTreeOfPopups)
{
    CountedMenu::deleted = 0;
    const std::size_t menus = platform::LiveMenuCount();
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    menu.m_loaded = TRUE;
    menu_tree::AddItem(menu, 1, "First");
    auto* outer = menu_tree::AddPopup<CountedMenu>(menu, "Outer");
    menu_tree::AddItem(*outer, 2, "Second");
    auto* inner = menu_tree::AddPopup<CountedMenu>(*outer, "Inner");
    menu_tree::AddItem(*inner, 3, "Third");
    const HMENU top = menu.m_hMenu, outerHandle = outer->m_hMenu, innerHandle = inner->m_hMenu;
    ASSERT_TRUE(Registered(outerHandle));
    ASSERT_TRUE(Registered(innerHandle));
    EXPECT_EQ(platform::LiveMenuCount(), menus + 3);

    EXPECT_TRUE(menu.DestroyMenu());
    EXPECT_EQ(CountedMenu::deleted, 2);
    EXPECT_FALSE(Registered(outerHandle));
    EXPECT_FALSE(Registered(innerHandle));
    for (HMENU h : {top, outerHandle, innerHandle}) EXPECT_FALSE(platform::IsMenu(h));
    EXPECT_EQ(platform::LiveMenuCount(), menus);
    EXPECT_EQ(menu.m_hMenu, nullptr);
    EXPECT_TRUE(menu.m_items.empty());
    EXPECT_TRUE(menu.m_popupHandles.empty());
    // What DestroyMenu leaves as it is.
    EXPECT_TRUE(menu.m_loaded);
    EXPECT_FALSE(menu.DestroyMenu());
}

TEST(KiroMenuObject, TheDestructorReleasesTheTree)
{
    CountedMenu::deleted = 0;
    const std::size_t menus = platform::LiveMenuCount();
    HMENU popupHandle = nullptr;
    {
        KiroMenu menu;
        ASSERT_TRUE(menu.CreateMenu());
        auto* popup = menu_tree::AddPopup<CountedMenu>(menu, "File");
        menu_tree::AddPopup<CountedMenu>(*popup, "Recent");
        popupHandle = popup->m_hMenu;
    }
    EXPECT_EQ(CountedMenu::deleted, 2);
    EXPECT_FALSE(Registered(popupHandle));
    EXPECT_EQ(platform::LiveMenuCount(), menus);
}

TEST(KiroMenuObject, DestroyedThroughTheBaseItReleasesItsPopups)
{
    CountedMenu::deleted = 0;
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    menu_tree::AddItem(menu, 1, "Item");
    menu_tree::AddPopup<CountedMenu>(menu, "Popup");
    CMenu& base = menu;
    EXPECT_TRUE(base.DestroyMenu());
    EXPECT_EQ(CountedMenu::deleted, 1);
    EXPECT_TRUE(menu.m_items.empty());
}

TEST(KiroMenuObject, AMenuThatIsItselfRegisteredAsPopupIsForgotten)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreatePopupMenu());
    const HMENU handle = menu.m_hMenu;
    KiroMenu::s_popupHandles.push_back(handle);
    KiroMenu::s_popupHandles.push_back(handle);
    EXPECT_TRUE(menu.DestroyMenu());
    EXPECT_FALSE(Registered(handle));
}

TEST(KiroMenuObject, APopupDestroyedBehindTheFamilysBackIsStillDeleted)
{
    CountedMenu::deleted = 0;
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    auto* popup = menu_tree::AddPopup<CountedMenu>(menu, "File");
    ASSERT_TRUE(platform::DeleteMenu(menu.m_hMenu, 0, MF_BYPOSITION));  // a plain call
    EXPECT_TRUE(menu.DestroyMenu());
    EXPECT_EQ(CountedMenu::deleted, 1);
    (void)popup;
}

TEST(KiroMenuObject, SubMenuByPosition)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    menu_tree::AddItem(menu, 1, "Item");
    KiroMenu* family = menu_tree::AddPopup(menu, "Family");
    HMENU plain = platform::CreatePopupMenu();
    ASSERT_TRUE(menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(plain), u"Plain"));

    EXPECT_EQ(menu.GetSubMenu(0), nullptr);  // an ordinary item
    EXPECT_EQ(menu.GetSubMenu(1), family);   // the family's own object
    CMenu* other = menu.GetSubMenu(2);       // a temporary object for another popup
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->m_hMenu, plain);
    EXPECT_EQ(dynamic_cast<KiroMenu*>(other), nullptr);
    EXPECT_STREQ(other->GetRuntimeClassName(), "CMenu");
    EXPECT_EQ(menu.GetSubMenu(3), nullptr);
    EXPECT_EQ(menu.GetSubMenu(-1), nullptr);
    EXPECT_TRUE(menu.DestroyMenu());
    EXPECT_FALSE(platform::IsMenu(plain));  // destroyed with the menu that held it
    CMenu::DeleteTempMap();
}

TEST(KiroMenuObject, CheckMarkImagesAreDeletedOnceByTheirOwner)
{
    const std::size_t lists = CImageList::LiveCount();
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    menu.m_checkMarkId = 301;
    menu.m_checkMarkSelectedId = 302;
    menu.m_checkMarkImages = new CImageList;
    ASSERT_TRUE(menu.m_checkMarkImages->Create(16, 15, ILC_COLORDDB | ILC_MASK, 2, 0));
    KiroMenu* popup = menu_tree::AddPopup(menu, "Popup");
    KiroMenu* inner = menu_tree::AddPopup(*popup, "Inner");
    EXPECT_EQ(popup->m_checkMarkImages, menu.m_checkMarkImages);
    EXPECT_EQ(inner->m_checkMarkImages, menu.m_checkMarkImages);
    EXPECT_TRUE(popup->m_checkMarkImagesBorrowed);
    EXPECT_EQ(popup->m_checkMarkId, 301);
    EXPECT_EQ(popup->m_checkMarkSelectedId, 302);
    EXPECT_EQ(CImageList::LiveCount(), lists + 1);

    // A menu that borrows the list and goes on its own leaves the list alone.
    {
        KiroMenu borrower;
        ASSERT_TRUE(borrower.CreatePopupMenu());
        borrower.m_checkMarkImages = menu.m_checkMarkImages;
        borrower.m_checkMarkImagesBorrowed = TRUE;
        EXPECT_TRUE(borrower.DestroyMenu());
        EXPECT_EQ(borrower.m_checkMarkImages, menu.m_checkMarkImages);  // the pointer stays
    }
    EXPECT_EQ(CImageList::LiveCount(), lists + 1);
    EXPECT_NE(menu.m_checkMarkImages->GetSafeHandle(), 0u);  // still usable

    EXPECT_TRUE(menu.DestroyMenu());
    EXPECT_EQ(menu.m_checkMarkImages, nullptr);
    EXPECT_EQ(CImageList::LiveCount(), lists);
    // The ids stay.
    EXPECT_EQ(menu.m_checkMarkId, 301);
    EXPECT_EQ(menu.m_checkMarkSelectedId, 302);
}

TEST(KiroMenuObject, DestroyKeepsTheSettingsOfTheMenu)
{
    KiroMenu menu;
    ASSERT_TRUE(menu.CreateMenu());
    menu.SetImageSize(24, 22);
    menu.SetImageBackground(RGB(255, 0, 255));
    menu.SetDibDisabledImages();
    menu.m_loaded = TRUE;
    menu_tree::AddItem(menu, 5, "Five");
    EXPECT_TRUE(menu.DestroyMenu());
    EXPECT_EQ(menu.m_imageWidth, 24);
    EXPECT_EQ(menu.m_imageHeight, 22);
    EXPECT_EQ(menu.m_imageBackground, RGB(255, 0, 255));
    EXPECT_TRUE(menu.m_hasImageBackground);
    EXPECT_TRUE(menu.GetDibDisabledImages());
    EXPECT_TRUE(menu.m_loaded);
    // A released menu can be built again.
    ASSERT_TRUE(menu.CreateMenu());
    menu_tree::AddItem(menu, 6, "Six");
    EXPECT_EQ(menu.GetMenuItemCount(), 1);
}

TEST(KiroMenuObject, Accessors)
{
    KiroMenu menu;
    menu.SetImageSize(-3, 0);  // taken as given
    EXPECT_EQ(menu.m_imageWidth, -3);
    EXPECT_EQ(menu.m_imageHeight, 0);
    menu.SetImageBackground(RGB(1, 2, 3));
    EXPECT_EQ(menu.m_imageBackground, RGB(1, 2, 3));
    EXPECT_TRUE(menu.m_hasImageBackground);
    menu.ClearImageBackground();
    EXPECT_FALSE(menu.m_hasImageBackground);
    EXPECT_EQ(menu.m_imageBackground, RGB(1, 2, 3));
    EXPECT_FALSE(menu.GetDibDisabledImages());
    menu.SetDibDisabledImages();
    EXPECT_TRUE(menu.GetDibDisabledImages());
    menu.ClearDibDisabledImages();
    EXPECT_FALSE(menu.GetDibDisabledImages());
}

TEST(KiroMenuSharedState, BuiltAtStartUp)
{
    // The shared image list exists from static construction on, with no list handle yet; the
    // version class is that of this system (a later NT system).
    EXPECT_EQ(KiroMenu::s_images.GetSafeHandle(), 0u);
    EXPECT_EQ(KiroMenu::s_imageCommandIds.size(), static_cast<std::size_t>(KiroMenu::s_images.GetImageCount()));
    EXPECT_EQ(KiroMenu::s_shellType, 1);
    EXPECT_TRUE(KiroMenu::s_selectDisabledClassic);
    EXPECT_FALSE(KiroMenu::s_selectDisabledFlat);
    EXPECT_TRUE(KiroMenu::s_flatImageEffects);
}
