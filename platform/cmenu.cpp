#include "platform/cmenu.h"

#include <memory>
#include <unordered_map>

namespace {

std::unordered_map<HMENU, CMenu*>& Permanent()
{
    static std::unordered_map<HMENU, CMenu*> map;
    return map;
}

std::unordered_map<HMENU, std::unique_ptr<CMenu>>& Temporary()
{
    static std::unordered_map<HMENU, std::unique_ptr<CMenu>> map;
    return map;
}

// A temporary object only wraps its handle: it never destroys the menu.
class TempMenu : public CMenu {
public:
    explicit TempMenu(HMENU menu) { m_hMenu = menu; }
    ~TempMenu() override { m_hMenu = nullptr; }
};

}  // namespace

CMenu::~CMenu()
{
    if (m_hMenu) CMenu::DestroyMenu();
}

BOOL CMenu::CreateMenu() { return m_hMenu ? FALSE : Attach(platform::CreateMenu()); }

BOOL CMenu::CreatePopupMenu() { return m_hMenu ? FALSE : Attach(platform::CreatePopupMenu()); }

BOOL CMenu::DestroyMenu()
{
    if (!m_hMenu) return FALSE;
    HMENU menu = Detach();
    return platform::DestroyMenu(menu);
}

BOOL CMenu::Attach(HMENU menu)
{
    if (m_hMenu || !platform::IsMenu(menu)) return FALSE;
    m_hMenu = menu;
    // A temporary object someone may still hold stays until DeleteTempMap; FromHandle gives
    // the permanent one from now on.
    Permanent()[menu] = this;
    return TRUE;
}

HMENU CMenu::Detach()
{
    HMENU menu = m_hMenu;
    if (menu) {
        auto it = Permanent().find(menu);
        if (it != Permanent().end() && it->second == this) Permanent().erase(it);
    }
    m_hMenu = nullptr;
    return menu;
}

CMenu* CMenu::FromHandlePermanent(HMENU menu)
{
    auto it = Permanent().find(menu);
    return it == Permanent().end() ? nullptr : it->second;
}

CMenu* CMenu::FromHandle(HMENU menu)
{
    if (!platform::IsMenu(menu)) return nullptr;
    if (CMenu* permanent = FromHandlePermanent(menu)) return permanent;
    auto& temps = Temporary();
    auto it = temps.find(menu);
    if (it != temps.end()) return it->second.get();
    return (temps[menu] = std::make_unique<TempMenu>(menu)).get();
}

void CMenu::DeleteTempMap() { Temporary().clear(); }

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, const WCHAR* text)
{
    return platform::AppendMenu(m_hMenu, flags, id, text);
}
BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, const void* newItem)
{
    return platform::AppendMenu(m_hMenu, flags, id, newItem);
}
BOOL CMenu::InsertMenu(UINT position, UINT flags, UINT_PTR id, const WCHAR* text)
{
    return platform::InsertMenu(m_hMenu, position, flags, id, text);
}
BOOL CMenu::InsertMenu(UINT position, UINT flags, UINT_PTR id, const void* newItem)
{
    return platform::InsertMenu(m_hMenu, position, flags, id, newItem);
}
BOOL CMenu::ModifyMenu(UINT position, UINT flags, UINT_PTR id, const WCHAR* text)
{
    return platform::ModifyMenu(m_hMenu, position, flags, id, text);
}
BOOL CMenu::ModifyMenu(UINT position, UINT flags, UINT_PTR id, const void* newItem)
{
    return platform::ModifyMenu(m_hMenu, position, flags, id, newItem);
}
BOOL CMenu::RemoveMenu(UINT position, UINT flags) { return platform::RemoveMenu(m_hMenu, position, flags); }
BOOL CMenu::DeleteMenu(UINT position, UINT flags) { return platform::DeleteMenu(m_hMenu, position, flags); }
int CMenu::GetMenuItemCount() const { return platform::GetMenuItemCount(m_hMenu); }
UINT CMenu::GetMenuItemID(int position) const { return platform::GetMenuItemID(m_hMenu, position); }
UINT CMenu::GetMenuState(UINT id, UINT flags) const { return platform::GetMenuState(m_hMenu, id, flags); }
int CMenu::GetMenuString(UINT id, WCHAR* buffer, int maxCount, UINT flags) const
{
    return platform::GetMenuString(m_hMenu, id, buffer, maxCount, flags);
}
std::u16string CMenu::GetMenuString(UINT id, UINT flags) const { return platform::GetMenuString(m_hMenu, id, flags); }
BOOL CMenu::GetMenuItemInfo(UINT item, MENUITEMINFOW* info, BOOL byPosition) const
{
    return platform::GetMenuItemInfo(m_hMenu, item, byPosition, info);
}
UINT CMenu::CheckMenuItem(UINT id, UINT check) { return platform::CheckMenuItem(m_hMenu, id, check); }
UINT CMenu::EnableMenuItem(UINT id, UINT enable) { return platform::EnableMenuItem(m_hMenu, id, enable); }

CMenu* CMenu::GetSubMenu(int position) const
{
    HMENU sub = platform::GetSubMenu(m_hMenu, position);
    return sub ? FromHandle(sub) : nullptr;
}

void CMenu::DrawItem(DRAWITEMSTRUCT*) {}
void CMenu::MeasureItem(MEASUREITEMSTRUCT*) {}
