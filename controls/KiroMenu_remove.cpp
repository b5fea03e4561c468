// The owner-drawn menu family: taking items out of a menu with their records (and a popup entry
// with its whole popup), and finding popups and record positions by caption or menu text.
#include <algorithm>
#include <string>

#include "controls/KiroMenu.h"
#include "core/codepage.h"

namespace {

std::u16string WideFrom8Bit(const char* text) { return platform::Utf8ToUtf16(core::FromCodePage(text)); }

bool SameCaption(const WCHAR* a, const WCHAR* b)
{
    if (!a || !b) return false;
    const std::size_t n = platform::Utf16Length(a);
    return n == platform::Utf16Length(b) && std::equal(a, a + n, b);
}

void Forget(std::vector<HMENU>& list, HMENU handle)
{
    list.erase(std::remove(list.begin(), list.end(), handle), list.end());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Removing and deleting

BOOL KiroMenu::RemoveItem(UINT item, UINT flags) { return TakeOutItem(item, flags, false); }

BOOL KiroMenu::DeleteItem(UINT item, UINT flags) { return TakeOutItem(item, flags, true); }

BOOL KiroMenu::TakeOutItem(UINT item, UINT flags, bool destroy)
{
    auto eraseRecord = [this](std::vector<KiroMenuData*>::iterator it) {
        delete *it;
        m_items.erase(it);
    };

    if (!(flags & MF_BYPOSITION)) {
        // By command: the menu of the tree that holds the plain item takes it out by position.
        int position = -1;
        if (KiroMenu* owner = FindOwner(item, position); owner && position >= 0)
            return owner->TakeOutItem(static_cast<UINT>(position), MF_BYPOSITION, destroy);
        return destroy ? CMenu::DeleteMenu(item, flags) : CMenu::RemoveMenu(item, flags);
    }

    const UINT state = GetMenuState(item, MF_BYPOSITION);
    // A position the menu does not have changes no record; the menu call below fails.
    if (state != MENU_FAILED) {
        CMenu* sub = GetSubMenu(static_cast<int>(item));
        if ((state & MF_SEPARATOR) && !(state & MF_POPUP)) {
            const auto record = RecordOfItemAt(item, 0);
            // Deleting keeps a separator record that carries a caption.
            if (record != m_items.end() && (!destroy || (*record)->GetCaption().empty())) eraseRecord(record);
        } else if (sub) {
            const HMENU handle = sub->m_hMenu;
            const bool owned = std::find(m_popupHandles.begin(), m_popupHandles.end(), handle) != m_popupHandles.end();
            Forget(m_popupHandles, handle);
            Forget(s_popupHandles, handle);
            auto* popup = dynamic_cast<KiroMenu*>(sub);
            if (popup) {
                for (int i = popup->GetMenuItemCount() - 1; i >= 0; --i)
                    popup->TakeOutItem(static_cast<UINT>(i), MF_BYPOSITION, destroy);
            }
            const auto handleValue = reinterpret_cast<UINT_PTR>(handle);
            auto last = std::find_if(m_items.rbegin(), m_items.rend(),
                                     [handleValue](KiroMenuData* r) { return r->m_commandId == handleValue; });
            if (last != m_items.rend()) eraseRecord(std::next(last).base());
            // The family's popup object that this menu owns dies with its entry, and with it the
            // popup's handle. A popup of another kind, or a family popup that this menu was only
            // given by a plain menu call, belongs to whoever made it: its object and (when only
            // removed) its menu stay.
            if (popup && owned && popup != this) delete popup;
        } else {
            const auto id = static_cast<UINT_PTR>(GetMenuItemID(static_cast<int>(item)));
            const auto record = RecordOfItemAt(item, id);
            if (record != m_items.end()) eraseRecord(record);
        }
    }
    return destroy ? CMenu::DeleteMenu(item, flags) : CMenu::RemoveMenu(item, flags);
}

int KiroMenu::TakeOutItemByCaption(const WCHAR* caption, int neighbours, bool destroy)
{
    const int position = FindItemPosition(caption);
    if (position == -1) return -1;
    TakeOutItem(static_cast<UINT>(position), MF_BYPOSITION, destroy);
    int before = 0;
    if (neighbours == 1 || neighbours == 2)
        before = 1;
    else if (neighbours == 3)
        before = 2;
    // The items before it, nearest first: taking out the same position twice would take the
    // item that followed the found one instead of the second one before it.
    for (int k = 1; k <= before && position - k >= 0; ++k)
        TakeOutItem(static_cast<UINT>(position - k), MF_BYPOSITION, destroy);
    return position;
}

int KiroMenu::RemoveItemByCaption(const WCHAR* caption, int neighbours)
{
    return TakeOutItemByCaption(caption, neighbours, false);
}

int KiroMenu::RemoveItemByCaption(const char* caption, int neighbours)
{
    if (!caption) return -1;
    const std::u16string wide = WideFrom8Bit(caption);
    return RemoveItemByCaption(wide.c_str(), neighbours);
}

int KiroMenu::DeleteItemByCaption(const WCHAR* caption, int neighbours)
{
    return TakeOutItemByCaption(caption, neighbours, true);
}

int KiroMenu::DeleteItemByCaption(const char* caption, int neighbours)
{
    if (!caption) return -1;
    const std::u16string wide = WideFrom8Bit(caption);
    return DeleteItemByCaption(wide.c_str(), neighbours);
}

// ---------------------------------------------------------------------------------------------
// Finding popups and positions

KiroMenu* KiroMenu::FindPopupByCaption(const WCHAR* caption)
{
    if (!caption) return nullptr;
    KiroMenuData* record = FindRecordByCaption(caption);
    if (!record) return nullptr;
    const auto handle = reinterpret_cast<HMENU>(record->m_commandId);
    return dynamic_cast<KiroMenu*>(CMenu::FromHandlePermanent(handle));
}

KiroMenu* KiroMenu::FindPopupByCaption(const char* caption)
{
    if (!caption) return nullptr;
    const std::u16string wide = WideFrom8Bit(caption);
    return FindPopupByCaption(wide.c_str());
}

CMenu* KiroMenu::FindPopupByText(const char* text)
{
    if (!text) return nullptr;
    const std::string wanted = core::FromCodePage(text);
    const int count = GetMenuItemCount();
    for (int i = 0; i < count; ++i) {
        // Owner-drawn items have no menu string: only plain text entries take part.
        MenuItemInfo info;
        info.fMask = MIIM_FTYPE;
        if (!GetMenuItemInfo(static_cast<UINT>(i), &info, TRUE)) continue;
        if (info.fType & (MF_OWNERDRAW | MF_SEPARATOR | MF_BITMAP)) continue;
        const std::string entry = platform::Utf16ToUtf8(CMenu::GetMenuString(static_cast<UINT>(i), MF_BYPOSITION));
        if (entry == wanted) return GetSubMenu(i);
    }
    return nullptr;
}

int KiroMenu::FindItemPosition(const WCHAR* caption)
{
    if (!caption) return -1;
    const int count = GetMenuItemCount();
    bool plainItem = false;
    for (int i = 0; i < count && !plainItem; ++i) plainItem = !(GetMenuState(i, MF_BYPOSITION) & MF_POPUP);
    if (!plainItem) return -1;
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->m_caption && SameCaption(m_items[i]->m_caption, caption)) return static_cast<int>(i);
    return -1;
}

int KiroMenu::FindItemPosition(const char* caption)
{
    if (!caption) return -1;
    const std::u16string wide = WideFrom8Bit(caption);
    return FindItemPosition(wide.c_str());
}
