// Builds owner-drawn menu trees for the menu family's tests the way the family puts items and
// popups into a menu: every item owner-drawn with its record as item data, record i at position
// i, each popup a KiroMenu on the heap owned by its parent and registered as the family's popup.
#pragma once
#include <algorithm>
#include <string>

#include "controls/KiroMenu.h"
#include "platform/gdi.h"

namespace menu_tree {

// True when the handle is among the family's registered popups.
inline bool Registered(HMENU handle)
{
    const auto& all = KiroMenu::s_popupHandles;
    return std::find(all.begin(), all.end(), handle) != all.end();
}

// A popup class that counts how many of its objects are deleted.
struct CountedMenu : KiroMenu {
    static inline int deleted = 0;
    ~CountedMenu() override { ++deleted; }
};

// Keeps the family's look settings and the system colours as they were, and puts them back:
// a drawing test sets them freely. The fixed palette is used meanwhile.
class SavedLook {
public:
    SavedLook()
        : fixed_(platform::UsingFixedSystemColors()), shell_(KiroMenu::s_shellType), xp_(KiroMenu::s_drawModeXp),
          other_(KiroMenu::s_drawModeOther), themeRead_(KiroMenu::s_themeRead), classic_(KiroMenu::s_classicTheme)
    {
        platform::UseFixedSystemColors(true);
    }
    ~SavedLook()
    {
        platform::RestoreFixedSystemColors();
        platform::UseFixedSystemColors(fixed_);
        KiroMenu::s_shellType = shell_;
        KiroMenu::s_drawModeXp = xp_;
        KiroMenu::s_drawModeOther = other_;
        KiroMenu::s_themeRead = themeRead_;
        KiroMenu::s_classicTheme = classic_;
    }
    SavedLook(const SavedLook&) = delete;
    SavedLook& operator=(const SavedLook&) = delete;

private:
    bool fixed_;
    int shell_, xp_, other_;
    BOOL themeRead_, classic_;
};

// An owner-drawn item of the family at the end of `menu`, its record kept by the menu (a
// separator has no caption: nullptr).
inline KiroMenuData* AppendRecord(KiroMenu& menu, UINT flags, UINT_PTR id, const char* caption)
{
    auto* record = new KiroMenuData;
    record->SetCaption(caption);
    record->m_flags = flags;
    record->m_commandId = id;
    menu.AppendMenu(flags, id, static_cast<const void*>(record));
    menu.m_items.push_back(record);
    return record;
}

inline KiroMenuData* AddItem(KiroMenu& menu, UINT id, const char* caption, UINT extraFlags = 0)
{
    return AppendRecord(menu, MF_OWNERDRAW | extraFlags, id, caption);
}

inline KiroMenuData* AddSeparator(KiroMenu& menu)
{
    return AppendRecord(menu, MF_OWNERDRAW | MF_SEPARATOR, 0, nullptr);
}

// A popup of the family under `parent`; Popup is KiroMenu or a class derived from it.
template <class Popup = KiroMenu>
Popup* AddPopup(KiroMenu& parent, const char* caption)
{
    auto* popup = new Popup;
    popup->CreatePopupMenu();
    popup->m_checkMarkId = parent.m_checkMarkId;
    popup->m_checkMarkSelectedId = parent.m_checkMarkSelectedId;
    popup->m_checkMarkImages = parent.m_checkMarkImages;
    popup->m_checkMarkImagesBorrowed = TRUE;
    AppendRecord(parent, MF_POPUP | MF_OWNERDRAW, reinterpret_cast<UINT_PTR>(popup->m_hMenu), caption);
    parent.m_popupHandles.push_back(popup->m_hMenu);
    KiroMenu::s_popupHandles.push_back(popup->m_hMenu);
    return popup;
}

}  // namespace menu_tree
