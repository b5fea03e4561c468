// CMenu: a menu object over a handle of the menu model (platform/menu_model.h).
//
// An object attached to a handle (CreateMenu, CreatePopupMenu, Attach) is the handle's
// permanent object: FromHandle returns it while it stays attached. For a handle without one,
// FromHandle returns a temporary object that the menu code owns; temporaries live until
// DeleteTempMap (or the end of the run) and are never deleted by a caller.
#pragma once
#include "platform/menu_model.h"

struct DRAWITEMSTRUCT;  // platform/gdi.h: for a menu item, hwndItem carries the menu's handle

// A request to measure an owner-drawn item: the owner fills the width and height.
struct MEASUREITEMSTRUCT {
    UINT CtlType = 0;  // ODT_MENU for a menu item
    UINT CtlID = 0;
    UINT itemID = 0;  // a menu item's command id
    UINT itemWidth = 0;
    UINT itemHeight = 0;
    std::uintptr_t itemData = 0;
};

class CMenu {
public:
    CMenu() = default;
    virtual ~CMenu();
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    // The class name for dynamic type tests ("CMenu", "KiroMenu", ...).
    virtual const char* GetRuntimeClassName() const { return "CMenu"; }

    HMENU m_hMenu = nullptr;
    HMENU GetSafeHmenu() const { return m_hMenu; }
    operator HMENU() const { return m_hMenu; }

    BOOL CreateMenu();
    BOOL CreatePopupMenu();
    // Destroys the attached menu (and its submenus) and detaches; FALSE when there is none.
    // Virtual, so a menu class that owns more than its handle releases it also when it is
    // destroyed through a CMenu pointer.
    virtual BOOL DestroyMenu();
    BOOL Attach(HMENU menu);  // FALSE when this object holds a menu already or menu is invalid
    HMENU Detach();

    static CMenu* FromHandle(HMENU menu);           // null for an invalid handle
    static CMenu* FromHandlePermanent(HMENU menu);  // null without a permanent object
    static void DeleteTempMap();

    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const WCHAR* text = nullptr);
    BOOL AppendMenu(UINT flags, UINT_PTR id, const void* newItem);
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR id = 0, const WCHAR* text = nullptr);
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR id, const void* newItem);
    BOOL ModifyMenu(UINT position, UINT flags, UINT_PTR id = 0, const WCHAR* text = nullptr);
    BOOL ModifyMenu(UINT position, UINT flags, UINT_PTR id, const void* newItem);
    BOOL RemoveMenu(UINT position, UINT flags);
    BOOL DeleteMenu(UINT position, UINT flags);
    int GetMenuItemCount() const;
    UINT GetMenuItemID(int position) const;
    UINT GetMenuState(UINT id, UINT flags) const;
    int GetMenuString(UINT id, WCHAR* buffer, int maxCount, UINT flags) const;
    std::u16string GetMenuString(UINT id, UINT flags) const;
    BOOL GetMenuItemInfo(UINT item, MENUITEMINFOW* info, BOOL byPosition = FALSE) const;
    UINT CheckMenuItem(UINT id, UINT check);
    UINT EnableMenuItem(UINT id, UINT enable);
    // The menu object of the popup at the position (the permanent one, else a temporary one);
    // null when the position holds no popup.
    CMenu* GetSubMenu(int position) const;

    // Owner drawing: called for the owner-drawn items of a menu attached to this object.
    virtual void DrawItem(DRAWITEMSTRUCT* drawItem);
    virtual void MeasureItem(MEASUREITEMSTRUCT* measureItem);
};
