// Long runs of mixed edits on loaded owner-drawn menus: whatever the order of loading, adding,
// changing, taking out and resynchronising items, every owner-drawn item carries a record of its
// own menu, so measuring any item never reaches a freed record.
#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/KiroMenu.h"
#include "platform/toolbar.h"
#include "tests/controls/menu_resources.h"

namespace {

// The menu (or one of its popups) whose owner-drawn item carries something other than one of
// that menu's records, with the position; empty when there is none.
std::string StrayRecord(KiroMenu& menu, const std::string& path = "top")
{
    for (int i = 0; i < menu.GetMenuItemCount(); ++i) {
        MENUITEMINFOW info;
        info.fMask = MIIM_FTYPE | MIIM_DATA;
        menu.GetMenuItemInfo(static_cast<UINT>(i), &info, TRUE);
        const auto* data = reinterpret_cast<const KiroMenuData*>(info.dwItemData);
        if ((info.fType & MF_OWNERDRAW) && data &&
            std::find(menu.m_items.begin(), menu.m_items.end(), data) == menu.m_items.end())
            return path + " position " + std::to_string(i);
        if (auto* popup = dynamic_cast<KiroMenu*>(menu.GetSubMenu(i))) {
            const std::string found = StrayRecord(*popup, path + "/" + std::to_string(i));
            if (!found.empty()) return found;
        }
    }
    return std::string();
}

// Measures every owner-drawn item of the tree from the data it carries.
void MeasureAll(KiroMenu& menu)
{
    for (int i = 0; i < menu.GetMenuItemCount(); ++i) {
        MENUITEMINFOW info;
        info.fMask = MIIM_FTYPE | MIIM_DATA;
        menu.GetMenuItemInfo(static_cast<UINT>(i), &info, TRUE);
        if (info.fType & MF_OWNERDRAW) {
            MEASUREITEMSTRUCT measure;
            measure.itemData = info.dwItemData;
            menu.MeasureItem(&measure);
        }
        if (auto* popup = dynamic_cast<KiroMenu*>(menu.GetSubMenu(i))) MeasureAll(*popup);
    }
}

// The top level or one of the popups below it, a few levels down at most.
KiroMenu& SomeMenuOf(KiroMenu& top, std::mt19937& rng)
{
    KiroMenu* menu = &top;
    for (int depth = 0; depth < 4 && rng() % 2; ++depth) {
        std::vector<KiroMenu*> popups;
        for (int i = 0; i < menu->GetMenuItemCount(); ++i)
            if (auto* popup = dynamic_cast<KiroMenu*>(menu->GetSubMenu(i))) popups.push_back(popup);
        if (popups.empty()) break;
        menu = popups[rng() % popups.size()];
    }
    return *menu;
}

// A template of up to a dozen items with commands 0 to 3 (0: a separator), some of them popups,
// some marked as the last of their level; items of command 1 close whatever is left open.
menu_resources::Bytes RandomTemplate(std::mt19937& rng)
{
    std::vector<menu_resources::TemplateItem> items;
    const int count = 1 + static_cast<int>(rng() % 12);
    for (int k = 0; k < count; ++k) {
        unsigned options = 0;
        if (rng() % 10 < 3) options |= MF_POPUP;
        if (rng() % 3 == 0) options |= MF_END;
        if (rng() % 5 == 0) options |= MF_GRAYED;
        std::u16string caption(1, static_cast<char16_t>(u'a' + rng() % 3));
        items.push_back({options, static_cast<unsigned>(rng() % 4), caption + u"\tCtrl+X"});
    }
    for (int k = 0; k < 3; ++k) items.push_back({MF_END, 1, u"z"});
    return menu_resources::MenuTemplate(items);
}

// Empties the process-wide image list that the toolbar edits fill, before and after a test.
class EmptySharedImages {
public:
    EmptySharedImages() { Empty(); }
    ~EmptySharedImages() { Empty(); }
    EmptySharedImages(const EmptySharedImages&) = delete;
    EmptySharedImages& operator=(const EmptySharedImages&) = delete;

private:
    static void Empty()
    {
        KiroMenu::s_images.DeleteImageList();
        KiroMenu::s_imageCommandIds.clear();
    }
};

}  // namespace

TEST(MenuEditSequences, EveryItemKeepsARecordOfItsOwnMenu)
{
    const EmptySharedImages emptied;
    menu_resources::Register(platform::ResType::Toolbar, 9480, menu_resources::Toolbar(16, 15, {0, 1, 2, 0, 3, 1}));
    menu_resources::Register(platform::ResType::Bitmap, 9480,
                             menu_resources::ToolbarStrip(16, 15, {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)}));
    std::mt19937 rng(20261210);
    for (int round = 0; round < 600; ++round) {
        menu_resources::Register(platform::ResType::Menu, 9481, RandomTemplate(rng));
        KiroMenu top;
        if (!top.LoadMenu(9481u)) continue;
        std::ostringstream done;  // the edits of this round, for the failure message
        for (int step = 0; step < 30; ++step) {
            const UINT id = rng() % 4;
            KiroMenu& menu = SomeMenuOf(top, rng);
            const int count = menu.GetMenuItemCount();
            const UINT position = count > 0 ? static_cast<UINT>(rng() % static_cast<unsigned>(count + 1)) : 0;
            const WCHAR* someCaption =
                menu.m_items.empty() ? nullptr : menu.m_items[rng() % menu.m_items.size()]->m_caption;
            const unsigned edit = rng() % 16;
            done << edit << '(' << id << ',' << position << ") ";
            switch (edit) {
            case 0: menu.RemoveItem(position, MF_BYPOSITION); break;
            case 1: menu.DeleteItem(position, MF_BYPOSITION); break;
            case 2: menu.RemoveItem(id, MF_BYCOMMAND); break;
            case 3: menu.DeleteItem(id, MF_BYCOMMAND); break;
            case 4: menu.ModifyItem("Changed", id, -1); break;
            case 5: menu.ModifyItem(someCaption, id, -1); break;
            case 6: menu.ModifyItem(someCaption, someCaption, -1); break;
            case 7: menu.InsertItem(position, MF_BYPOSITION, id, "Inserted", -1); break;
            case 8: menu.InsertItem(id, MF_BYCOMMAND, id, "Before", 9480); break;
            case 9: menu.AppendItem(MF_STRING, id, "Appended", -1); break;
            case 10: menu.AppendPopup("Popup")->AppendItem(MF_STRING, id, "In popup", -1); break;
            case 11: menu.RemoveItemByCaption("a\tCtrl+X", static_cast<int>(rng() % 4)); break;
            case 12: menu.SetItemText(position, "Text", MF_BYPOSITION); break;
            case 13: top.LoadToolbarImages(9480u); break;
            case 14: menu.Resync(); break;
            case 15: {
                CToolBar toolbar;
                toolbar.LoadToolBar(9480u);
                top.SetToolbarItemImages(&toolbar, 9480u);
                break;
            }
            }
            const std::string stray = StrayRecord(top);
            ASSERT_EQ(stray, "") << "round " << round << ", edits " << done.str();
            MeasureAll(top);
        }
    }
}
