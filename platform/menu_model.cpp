#include "platform/menu_model.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace platform {

namespace {

struct Item {
    UINT flags = 0;           // every flag but MF_BYPOSITION (popups keep MF_POPUP)
    UINT_PTR id = 0;          // command id; the submenu's handle value for a popup
    HMENU subMenu = nullptr;  // popups only
    std::u16string text;      // string items only
    ULONG_PTR data = 0;       // owner-draw data or bitmap value
    HBITMAP_HANDLE checkedBitmap = 0;
    HBITMAP_HANDLE uncheckedBitmap = 0;
};

struct Menu {
    bool popup = false;
    std::vector<Item> items;
};

// The flags an item keeps: MF_BYPOSITION only addresses, MF_ENABLED and friends are zero.
constexpr UINT kKeptFlags = MF_GRAYED | MF_DISABLED | MF_BITMAP | MF_CHECKED | MF_POPUP | MF_MENUBARBREAK |
                            MF_MENUBREAK | MF_HILITE | MF_OWNERDRAW | MFT_RADIOCHECK | MF_SEPARATOR | MF_DEFAULT |
                            MF_RIGHTJUSTIFY;
constexpr UINT kTypeFlags =
    MF_BITMAP | MF_MENUBARBREAK | MF_MENUBREAK | MF_OWNERDRAW | MFT_RADIOCHECK | MF_SEPARATOR | MF_RIGHTJUSTIFY;
constexpr UINT kStateFlags = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_HILITE | MF_DEFAULT;

// Handles start well above 16-bit command ids, so a popup's handle value never equals the
// command id of an item a menu template can hold.
constexpr std::uintptr_t kFirstHandle = 0x10000;

struct Registry {
    std::uintptr_t next = kFirstHandle;
    std::unordered_map<std::uintptr_t, Menu> menus;
};

Registry& Menus()
{
    static Registry registry;
    return registry;
}

Menu* Find(HMENU handle)
{
    auto& menus = Menus().menus;
    auto it = menus.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == menus.end() ? nullptr : &it->second;
}

HMENU NewMenu(bool popup)
{
    auto& registry = Menus();
    std::uintptr_t value = registry.next++;
    registry.menus[value].popup = popup;
    return reinterpret_cast<HMENU>(value);
}

// Where an item stands: the menu that holds it and its index there.
struct Place {
    HMENU menu = nullptr;
    Menu* data = nullptr;
    std::size_t index = 0;
    Item& item() const { return data->items[index]; }
};

// The depth-first search by command: an item inside a popup, or a plain item later in the
// menu, wins over the popup item whose handle value equals the id.
bool FindByCommand(HMENU handle, UINT id, Place& found, Place& fallback, std::unordered_set<HMENU>& visited)
{
    Menu* menu = Find(handle);
    if (!menu || !visited.insert(handle).second) return false;
    for (std::size_t i = 0; i < menu->items.size(); ++i) {
        Item& item = menu->items[i];
        if (item.flags & MF_POPUP) {
            if (FindByCommand(item.subMenu, id, found, fallback, visited)) return true;
            // The search above may have added menus; this one is still alive and unchanged.
            if (!fallback.data && static_cast<UINT>(item.id) == id) fallback = {handle, menu, i};
        } else if (static_cast<UINT>(item.id) == id) {
            found = {handle, menu, i};
            return true;
        }
    }
    return false;
}

bool Locate(HMENU handle, UINT item, UINT flags, Place& place)
{
    Menu* menu = Find(handle);
    if (!menu) return false;
    if (flags & MF_BYPOSITION) {
        if (item >= menu->items.size()) return false;
        place = {handle, menu, item};
        return true;
    }
    Place found, fallback;
    std::unordered_set<HMENU> visited;
    if (FindByCommand(handle, item, found, fallback, visited)) {
        place = found;
        return true;
    }
    if (fallback.data) {
        place = fallback;
        return true;
    }
    return false;
}

// True when `target` is `menu` or is reachable through the popups of `menu`.
bool Reaches(HMENU menu, HMENU target, std::unordered_set<HMENU>& visited)
{
    if (menu == target) return true;
    Menu* data = Find(menu);
    if (!data || !visited.insert(menu).second) return false;
    for (const Item& item : data->items)
        if ((item.flags & MF_POPUP) && Reaches(item.subMenu, target, visited)) return true;
    return false;
}

// The item the flags and the new-item value describe; false when they describe none.
bool MakeItem(HMENU owner, UINT flags, UINT_PTR idOrPopup, const void* newItem, Item& item)
{
    item = Item{};
    item.flags = flags & kKeptFlags;
    if (flags & MF_POPUP) {
        HMENU sub = reinterpret_cast<HMENU>(idOrPopup);
        if (!Find(sub)) return false;
        // A menu that would open itself, directly or through its popups, is refused: every
        // walk over the tree would never end.
        std::unordered_set<HMENU> visited;
        if (Reaches(sub, owner, visited)) return false;
        item.subMenu = sub;
        item.id = idOrPopup;
    } else {
        item.id = idOrPopup;
    }
    if (flags & MF_SEPARATOR) {
        // A separator carries no text; owner-drawn ones keep their data.
        if (flags & MF_OWNERDRAW) item.data = reinterpret_cast<ULONG_PTR>(newItem);
    } else if (flags & (MF_OWNERDRAW | MF_BITMAP)) {
        item.data = reinterpret_cast<ULONG_PTR>(newItem);
    } else if (newItem) {
        item.text = static_cast<const WCHAR*>(newItem);
    }
    return true;
}

void DestroyTree(HMENU handle)
{
    Menu* menu = Find(handle);
    if (!menu) return;
    std::vector<Item> items = std::move(menu->items);
    Menus().menus.erase(reinterpret_cast<std::uintptr_t>(handle));
    for (const Item& item : items)
        if (item.flags & MF_POPUP) DestroyTree(item.subMenu);
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& utf8)
{
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        char32_t c = 0;
        std::size_t len = 0;
        if (b < 0x80) {
            c = b;
            len = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1F;
            len = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0F;
            len = 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07;
            len = 4;
        }
        bool ok = len > 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                c = (c << 6) | (s[i + k] & 0x3F);
        }
        if (ok && len == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (ok && len == 4 && (c < 0x10000 || c > 0x10FFFF)) ok = false;
        if (!ok) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        AppendUtf16(out, c);
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& utf16)
{
    std::string out;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::size_t Utf16Length(const WCHAR* text)
{
    if (!text) return 0;
    std::size_t n = 0;
    while (text[n]) ++n;
    return n;
}

HMENU CreateMenu() { return NewMenu(false); }
HMENU CreatePopupMenu() { return NewMenu(true); }

BOOL DestroyMenu(HMENU menu)
{
    if (!Find(menu)) return FALSE;
    DestroyTree(menu);
    return TRUE;
}

BOOL IsMenu(HMENU menu) { return Find(menu) ? TRUE : FALSE; }

BOOL IsPopupMenu(HMENU menu)
{
    Menu* data = Find(menu);
    return data && data->popup ? TRUE : FALSE;
}

BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR idOrPopup, const void* newItem)
{
    Menu* data = Find(menu);
    Item item;
    if (!data || !MakeItem(menu, flags, idOrPopup, newItem, item)) return FALSE;
    data->items.push_back(std::move(item));
    return TRUE;
}

BOOL InsertMenu(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, const void* newItem)
{
    Menu* data = Find(menu);
    if (!data) return FALSE;
    Place place;
    if (flags & MF_BYPOSITION) {
        place = {menu, data, std::min<std::size_t>(position, data->items.size())};
    } else if (!Locate(menu, position, flags, place)) {
        return FALSE;
    }
    Item item;
    if (!MakeItem(place.menu, flags, idOrPopup, newItem, item)) return FALSE;
    place.data->items.insert(place.data->items.begin() + static_cast<std::ptrdiff_t>(place.index), std::move(item));
    return TRUE;
}

BOOL ModifyMenu(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, const void* newItem)
{
    Place place;
    if (!Locate(menu, position, flags, place)) return FALSE;
    HMENU oldSub = (place.item().flags & MF_POPUP) ? place.item().subMenu : nullptr;
    const HBITMAP_HANDLE checked = place.item().checkedBitmap;
    const HBITMAP_HANDLE unchecked = place.item().uncheckedBitmap;
    Item item;
    if ((flags & MF_POPUP) && oldSub && reinterpret_cast<HMENU>(idOrPopup) == oldSub) {
        // The item keeps opening its submenu: that one is no cycle.
        item.flags = flags & kKeptFlags;
        item.subMenu = oldSub;
        item.id = idOrPopup;
        if (flags & (MF_OWNERDRAW | MF_BITMAP))
            item.data = reinterpret_cast<ULONG_PTR>(newItem);
        else if (!(flags & MF_SEPARATOR) && newItem)
            item.text = static_cast<const WCHAR*>(newItem);
    } else {
        // The submenu that goes is taken out of the tree first, so it cannot be refused as a
        // cycle; it is destroyed once the new item stands.
        Item old = place.item();
        place.item() = Item{};
        if (!MakeItem(place.menu, flags, idOrPopup, newItem, item)) {
            Menu* holder = Find(place.menu);
            if (holder) holder->items[place.index] = std::move(old);
            return FALSE;
        }
    }
    Item& target = Find(place.menu)->items[place.index];
    item.checkedBitmap = checked;
    item.uncheckedBitmap = unchecked;
    target = std::move(item);
    if (oldSub && oldSub != target.subMenu) DestroyTree(oldSub);
    return TRUE;
}

BOOL RemoveMenu(HMENU menu, UINT position, UINT flags)
{
    Place place;
    if (!Locate(menu, position, flags, place)) return FALSE;
    place.data->items.erase(place.data->items.begin() + static_cast<std::ptrdiff_t>(place.index));
    return TRUE;
}

BOOL DeleteMenu(HMENU menu, UINT position, UINT flags)
{
    Place place;
    if (!Locate(menu, position, flags, place)) return FALSE;
    HMENU sub = (place.item().flags & MF_POPUP) ? place.item().subMenu : nullptr;
    place.data->items.erase(place.data->items.begin() + static_cast<std::ptrdiff_t>(place.index));
    if (sub) DestroyTree(sub);
    return TRUE;
}

int GetMenuItemCount(HMENU menu)
{
    Menu* data = Find(menu);
    return data ? static_cast<int>(data->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position)
{
    Menu* data = Find(menu);
    if (!data || position < 0 || static_cast<std::size_t>(position) >= data->items.size()) return MENU_FAILED;
    const Item& item = data->items[static_cast<std::size_t>(position)];
    if (item.flags & MF_POPUP) return MENU_FAILED;
    return static_cast<UINT>(item.id);
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags)
{
    Place place;
    if (!Locate(menu, item, flags, place)) return MENU_FAILED;
    const Item& it = place.item();
    if (it.flags & MF_POPUP) {
        int count = GetMenuItemCount(it.subMenu);
        return (it.flags & 0xFF) | (static_cast<UINT>(std::max(count, 0) & 0xFF) << 8);
    }
    return it.flags;
}

int GetMenuString(HMENU menu, UINT item, WCHAR* buffer, int maxCount, UINT flags)
{
    Place place;
    if (!Locate(menu, item, flags, place)) {
        if (buffer && maxCount > 0) buffer[0] = 0;
        return 0;
    }
    const Item& it = place.item();
    const bool hasText = !(it.flags & (MF_OWNERDRAW | MF_BITMAP | MF_SEPARATOR));
    const std::u16string empty;
    const std::u16string& text = hasText ? it.text : empty;
    if (!buffer || maxCount <= 0) return static_cast<int>(text.size());
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(maxCount - 1));
    std::copy_n(text.begin(), n, buffer);
    buffer[n] = 0;
    return static_cast<int>(n);
}

std::u16string GetMenuString(HMENU menu, UINT item, UINT flags)
{
    int length = GetMenuString(menu, item, nullptr, 0, flags);
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    int copied = GetMenuString(menu, item, text.data(), length + 1, flags);
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

HMENU GetSubMenu(HMENU menu, int position)
{
    Menu* data = Find(menu);
    if (!data || position < 0 || static_cast<std::size_t>(position) >= data->items.size()) return nullptr;
    const Item& item = data->items[static_cast<std::size_t>(position)];
    if (!(item.flags & MF_POPUP) || !Find(item.subMenu)) return nullptr;
    return item.subMenu;
}

BOOL GetMenuItemInfo(HMENU menu, UINT item, BOOL byPosition, MENUITEMINFOW* info)
{
    if (!info) return FALSE;
    Place place;
    if (!Locate(menu, item, byPosition ? MF_BYPOSITION : MF_BYCOMMAND, place)) return FALSE;
    const Item& it = place.item();
    const UINT mask = info->fMask;
    if (mask & (MIIM_TYPE | MIIM_FTYPE)) info->fType = it.flags & kTypeFlags;
    if (mask & MIIM_STATE) info->fState = it.flags & kStateFlags;
    if (mask & MIIM_ID) info->wID = static_cast<UINT>(it.id);
    if (mask & MIIM_SUBMENU) info->hSubMenu = (it.flags & MF_POPUP) ? it.subMenu : nullptr;
    if (mask & MIIM_CHECKMARKS) {
        info->hbmpChecked = it.checkedBitmap;
        info->hbmpUnchecked = it.uncheckedBitmap;
    }
    if (mask & MIIM_DATA) info->dwItemData = (it.flags & MF_OWNERDRAW) ? it.data : 0;
    if (mask & MIIM_BITMAP) info->hbmpItem = (it.flags & MF_BITMAP) ? it.data : 0;
    if (mask & (MIIM_STRING | MIIM_TYPE)) {
        const bool hasText = !(it.flags & (MF_OWNERDRAW | MF_BITMAP | MF_SEPARATOR));
        const std::u16string text = hasText ? it.text : std::u16string();
        if (info->dwTypeData && info->cch > 0) {
            std::size_t n = std::min<std::size_t>(text.size(), info->cch - 1);
            std::copy_n(text.begin(), n, info->dwTypeData);
            info->dwTypeData[n] = 0;
            info->cch = static_cast<UINT>(n);
        } else {
            info->cch = static_cast<UINT>(text.size());
        }
    }
    return TRUE;
}

ULONG_PTR GetMenuItemData(HMENU menu, UINT item, UINT flags)
{
    Place place;
    if (!Locate(menu, item, flags, place)) return 0;
    return place.item().data;
}

UINT CheckMenuItem(HMENU menu, UINT item, UINT flags)
{
    Place place;
    if (!Locate(menu, item, flags, place)) return MENU_FAILED;
    UINT old = place.item().flags & MF_CHECKED;
    place.item().flags = (place.item().flags & ~MF_CHECKED) | (flags & MF_CHECKED);
    return old;
}

UINT EnableMenuItem(HMENU menu, UINT item, UINT flags)
{
    Place place;
    if (!Locate(menu, item, flags, place)) return MENU_FAILED;
    constexpr UINT kBits = MF_GRAYED | MF_DISABLED;
    UINT old = place.item().flags & kBits;
    place.item().flags = (place.item().flags & ~kBits) | (flags & kBits);
    return old;
}

BOOL SetMenuItemBitmaps(HMENU menu, UINT item, UINT flags, HBITMAP_HANDLE unchecked, HBITMAP_HANDLE checked)
{
    Place place;
    if (!Locate(menu, item, flags, place)) return FALSE;
    place.item().uncheckedBitmap = unchecked;
    place.item().checkedBitmap = checked;
    return TRUE;
}

BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags)
{
    Place a, b;
    if (!Locate(menu, first, flags, a) || !Locate(menu, last, flags, b) || a.data != b.data) return FALSE;
    std::size_t lo = std::min(a.index, b.index), hi = std::max(a.index, b.index);
    Place target;
    bool hit = Locate(menu, check, flags, target) && target.data == a.data && target.index >= lo && target.index <= hi;
    for (std::size_t i = lo; i <= hi; ++i) {
        Item& item = a.data->items[i];
        if (item.flags & MF_POPUP) continue;
        if (hit && i == target.index)
            item.flags |= MF_CHECKED | MFT_RADIOCHECK;
        else
            item.flags &= ~MF_CHECKED;
    }
    return hit ? TRUE : FALSE;
}

std::size_t LiveMenuCount() { return Menus().menus.size(); }

}  // namespace platform
