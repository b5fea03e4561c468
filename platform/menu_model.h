// The menu model: menus as opaque handles with items, the way the owner-drawn menu family and
// the window code expect menus to behave. GTK menus cannot be drawn by the program, so menus
// live here and a popup window of our own shows them.
//
// - A handle is never reused: once a menu is destroyed its handle stays invalid (IsMenu false)
//   for the rest of the run, and every operation on it fails.
// - Item captions are UTF-16 (char16_t), the family's own form; Utf8ToUtf16/Utf16ToUtf8 convert.
// - An item is addressed by position (MF_BYPOSITION) or by command (MF_BYCOMMAND): the command
//   search goes depth-first through the popups, so it finds an item of a submenu and acts on
//   the submenu that holds it. A popup item's command id is its submenu's handle value; a popup
//   matches its own handle only when nothing inside it or later in its menu matches.
// - Used on the UI thread only; nothing is locked.
#pragma once
#include <cstdint>
#include <string>

#include "core/winapi.h"

struct HMENU__ {
    int unused;
};
using HMENU = HMENU__*;
using WCHAR = char16_t;
using ULONG_PTR = std::uintptr_t;
using HBITMAP_HANDLE = std::uintptr_t;  // an opaque bitmap value kept with an item

// Item flags.
constexpr UINT MF_INSERT = 0x0000;
constexpr UINT MF_CHANGE = 0x0080;
constexpr UINT MF_APPEND = 0x0100;
constexpr UINT MF_DELETE = 0x0200;
constexpr UINT MF_REMOVE = 0x1000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_USECHECKBITMAPS = 0x0200;
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_BITMAP = 0x0004;
constexpr UINT MF_OWNERDRAW = 0x0100;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_MENUBARBREAK = 0x0020;
constexpr UINT MF_MENUBREAK = 0x0040;
constexpr UINT MF_UNHILITE = 0x0000;
constexpr UINT MF_HILITE = 0x0080;
constexpr UINT MF_DEFAULT = 0x1000;
constexpr UINT MF_SYSMENU = 0x2000;
constexpr UINT MF_HELP = 0x4000;
constexpr UINT MF_RIGHTJUSTIFY = 0x4000;
constexpr UINT MF_END = 0x0080;  // menu templates: last item of a level

constexpr UINT MFT_RADIOCHECK = 0x0200;

// GetMenuItemInfo masks.
constexpr UINT MIIM_STATE = 0x0001;
constexpr UINT MIIM_ID = 0x0002;
constexpr UINT MIIM_SUBMENU = 0x0004;
constexpr UINT MIIM_CHECKMARKS = 0x0008;
constexpr UINT MIIM_TYPE = 0x0010;
constexpr UINT MIIM_DATA = 0x0020;
constexpr UINT MIIM_STRING = 0x0040;
constexpr UINT MIIM_BITMAP = 0x0080;
constexpr UINT MIIM_FTYPE = 0x0100;

constexpr UINT MENU_FAILED = 0xFFFFFFFFu;  // GetMenuItemID of a popup or a bad position, GetMenuState of no item

// An item as GetMenuItemInfo reports it. fType holds the type flags (MF_STRING, MF_BITMAP,
// MF_OWNERDRAW, MF_SEPARATOR, MF_MENUBREAK, MF_MENUBARBREAK, MFT_RADIOCHECK, MF_POPUP is not
// a type: a popup has hSubMenu), fState the state flags (MF_GRAYED, MF_DISABLED, MF_CHECKED,
// MF_HILITE, MF_DEFAULT). With MIIM_STRING or MIIM_TYPE and a string item, the caption is copied
// to dwTypeData (at most cch - 1 characters and a terminator) and cch becomes its length; with
// dwTypeData null only cch is set.
struct MENUITEMINFOW {
    UINT cbSize = sizeof(MENUITEMINFOW);
    UINT fMask = 0;
    UINT fType = 0;
    UINT fState = 0;
    UINT wID = 0;
    HMENU hSubMenu = nullptr;
    HBITMAP_HANDLE hbmpChecked = 0;
    HBITMAP_HANDLE hbmpUnchecked = 0;
    ULONG_PTR dwItemData = 0;
    WCHAR* dwTypeData = nullptr;
    UINT cch = 0;
    HBITMAP_HANDLE hbmpItem = 0;
};

namespace platform {

// UTF-8 <-> UTF-16. Invalid UTF-8 bytes and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& utf8);
std::string Utf16ToUtf8(const std::u16string& utf16);
std::size_t Utf16Length(const WCHAR* text);  // 0 for null

HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys the menu and, depth-first, every submenu its popup items open.
BOOL DestroyMenu(HMENU menu);
BOOL IsMenu(HMENU menu);
BOOL IsPopupMenu(HMENU menu);  // made by CreatePopupMenu

// newItem is read by the flags: the caption (UTF-16, null gives an empty caption) for a string
// item, the item data for MF_OWNERDRAW, the bitmap value for MF_BITMAP; it is ignored for
// MF_SEPARATOR. With MF_POPUP, idOrPopup is the submenu's handle, which must be a valid menu
// other than this one or one that holds it.
BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR idOrPopup, const void* newItem);
// Inserts before the item at position (-1 or a position past the end appends) or before the
// item with that command (in the menu that holds it); FALSE when there is no such item.
BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, const void* newItem);
// Replaces the item. A submenu the item opened is destroyed unless the new item opens it too.
BOOL ModifyMenu(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, const void* newItem);
// Takes the item out; its submenu lives on.
BOOL RemoveMenu(HMENU menu, UINT position, UINT flags);
// Takes the item out and destroys its submenu.
BOOL DeleteMenu(HMENU menu, UINT position, UINT flags);

int GetMenuItemCount(HMENU menu);  // -1 for an invalid handle
// The command id at the position; MENU_FAILED for a popup item or no item.
UINT GetMenuItemID(HMENU menu, int position);
// The item's flags; for a popup the low byte holds its flags and the next byte the submenu's
// item count. MENU_FAILED when there is no such item.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
// Copies the caption of a string item (at most maxCount - 1 characters and a terminator) and
// returns the number copied; with a null buffer or maxCount 0 returns the caption's length.
// 0 for an item without a string or no item.
int GetMenuString(HMENU menu, UINT item, WCHAR* buffer, int maxCount, UINT flags);
std::u16string GetMenuString(HMENU menu, UINT item, UINT flags);
// The submenu the popup item at the position opens; null for any other item or an invalid menu.
HMENU GetSubMenu(HMENU menu, int position);
BOOL GetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, MENUITEMINFOW* info);
// The owner-draw item data (or bitmap value) of the item; 0 when none.
ULONG_PTR GetMenuItemData(HMENU menu, UINT item, UINT flags);

// Check, enable and check-mark bitmaps. CheckMenuItem and EnableMenuItem return the previous
// MF_CHECKED (resp. MF_GRAYED | MF_DISABLED) bits, MENU_FAILED when there is no such item.
UINT CheckMenuItem(HMENU menu, UINT item, UINT flags);
UINT EnableMenuItem(HMENU menu, UINT item, UINT flags);
BOOL SetMenuItemBitmaps(HMENU menu, UINT item, UINT flags, HBITMAP_HANDLE unchecked, HBITMAP_HANDLE checked);
// Checks item `check` (radio form) and clears the check of the others of first..last, all
// by position or all by command in one menu.
BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags);

// The number of live menus (for tests of leaks).
std::size_t LiveMenuCount();

}  // namespace platform
