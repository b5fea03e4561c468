// Building and editing the contents of an owner-drawn menu: reading a menu template resource,
// appending and inserting items with their records and images, new captions and images for
// existing items, item texts, the check-mark images and the images of a toolbar resource.
//
// Every item added here is owner-drawn with its record as the item data; record i of m_items
// belongs to position i, except on the top level of a loaded menu, whose records follow the
// leading entries that have none (GetMenuBarOffset).
#include <algorithm>
#include <optional>

#include "controls/KiroMenu.h"
#include "controls/KiroMenuToolBar.h"
#include "core/codepage.h"
#include "platform/resources.h"
#include "platform/toolbar.h"

namespace {

// 8-bit caption -> UTF-16, as the records convert it; nothing for a null caption.
std::optional<std::u16string> Wide(const char* text)
{
    if (text == nullptr) return std::nullopt;
    return platform::Utf8ToUtf16(core::FromCodePage(text));
}
const WCHAR* Ptr(const std::optional<std::u16string>& text) { return text ? text->c_str() : nullptr; }

// One item of a menu template.
struct TemplateEntry {
    UINT flags;  // the option word without MF_END
    UINT id;     // 0 for a popup
    bool popup;
    bool last;  // MF_END: the last item of its level
    std::u16string caption;
};

// The deepest popup nesting a template may have. Far more than a person can walk through, and it
// keeps every walk over the tree that recurses into the popups (search by command, release,
// removal) on a small stack.
constexpr std::size_t kMaxMenuDepth = 64;

// The items of a standard menu template, in order, read up to the item that closes the top
// level. Nothing for an extended template (version 1), a template that runs past the end of its
// resource before every level is closed, or popups nested more than kMaxMenuDepth deep.
std::optional<std::vector<TemplateEntry>> ReadMenuTemplate(const platform::ResourceEntry& entry)
{
    const unsigned char* data = entry.data;
    const std::size_t size = data ? entry.size : 0;
    auto word = [&](std::size_t at) { return static_cast<UINT>(data[at]) | (static_cast<UINT>(data[at + 1]) << 8); };
    if (size < 4) return std::nullopt;
    if (word(0) != 0) return std::nullopt;  // extended templates are another format
    std::size_t at = 4 + word(2);
    std::vector<TemplateEntry> items;
    std::vector<bool> ends{false};
    while (!ends.empty()) {
        if (at + 2 > size) return std::nullopt;
        const UINT option = word(at);
        at += 2;
        TemplateEntry item{option & ~MF_END, 0, (option & MF_POPUP) != 0, (option & MF_END) != 0, {}};
        if (!item.popup) {
            if (at + 2 > size) return std::nullopt;
            item.id = word(at);
            at += 2;
        }
        for (;;) {
            if (at + 2 > size) return std::nullopt;
            const auto c = static_cast<char16_t>(word(at));
            at += 2;
            if (c == 0) break;
            item.caption.push_back(c);
        }
        if (item.last) ends.back() = true;
        if (item.popup) {
            if (ends.size() > kMaxMenuDepth) return std::nullopt;
            ends.push_back(false);
        } else {
            while (!ends.empty() && ends.back()) ends.pop_back();
        }
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shared steps

UINT KiroMenu::ApplyFlagRule(UINT flags, UINT_PTR id)
{
    if (id == 0) return MF_SEPARATOR | MF_OWNERDRAW | (flags & MF_BYPOSITION);
    return flags | MF_OWNERDRAW;
}

KiroMenuData* KiroMenu::NewRecord(const WCHAR* caption)
{
    auto* record = new KiroMenuData;
    record->SetWideCaption(caption);
    record->m_ownImageId = -1;
    record->m_imageIndex = -1;
    return record;
}

void KiroMenu::SetToolbarOrSharedImage(KiroMenuData* record, UINT commandId, int toolbarId)
{
    if (toolbarId >= 0)
        SetToolbarSourceImage(record, commandId, toolbarId);
    else
        record->m_globalImageIndex = FindGlobalImage(commandId);
}

UINT KiroMenu::InsertionPoint(UINT position) const
{
    const auto count = static_cast<UINT>(std::max(GetMenuItemCount(), 0));
    return position == static_cast<UINT>(-1) || position >= count ? count : position;
}

BOOL KiroMenu::AddItemWithRecord(std::optional<UINT> position, std::size_t slot, const WCHAR* caption, UINT flags,
                                 UINT_PTR id, const std::function<void(KiroMenuData*)>& setImage)
{
    NotePopup(flags, id);
    KiroMenuData* record = NewRecord(caption);
    slot = std::min(slot, m_items.size());
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(slot), record);
    setImage(record);
    record->m_flags = flags;
    record->m_commandId = id;
    const void* data = record;
    return position ? CMenu::InsertMenu(*position, flags, id, data) : CMenu::AppendMenu(flags, id, data);
}

void KiroMenu::SetToolbarSourceImage(KiroMenuData* record, UINT commandId, int toolbarId)
{
    int imageIndex = 0;
    GetToolbarImageOffset(commandId, static_cast<UINT>(toolbarId), &imageIndex);
    CImageList list;
    list.Create(m_imageWidth, m_imageHeight, ILC_COLORDDB | ILC_MASK, 1, 1);
    if (AddBitmapToImageList(&list, static_cast<UINT>(toolbarId)))
        record->m_globalImageIndex = AddToGlobalImageList(&list, imageIndex, commandId);
}

BOOL KiroMenu::FillFromBitmap(CImageList& list, const wxImage& bitmap)
{
    if (!list.Create(m_imageWidth, m_imageHeight, ILC_COLORDDB | ILC_MASK, 1, 1)) return FALSE;
    wxImage image = bitmap;
    if (image.GetWidth() != m_imageWidth || image.GetHeight() != m_imageHeight) {
        // As a list takes a bitmap: its top-left part, the rest of the image transparent.
        const COLORREF t = ImageTransparentColour();
        wxImage cut(m_imageWidth, m_imageHeight);
        cut.SetRGB(wxRect(0, 0, m_imageWidth, m_imageHeight), GetRValue(t), GetGValue(t), GetBValue(t));
        cut.Paste(image, 0, 0);
        image = cut;
    }
    return list.Add(image, ImageTransparentColour()) >= 0 ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------------
// Loading a menu template

BOOL KiroMenu::LoadMenu(UINT resourceId) { return LoadMenu(platform::MakeIntResource(resourceId & 0xFFFF)); }

BOOL KiroMenu::LoadMenu(const char* resourceName)
{
    const platform::ResourceEntry* entry = platform::FindResourceByName(platform::ResType::Menu, resourceName);
    if (entry == nullptr) return FALSE;
    // The whole template is read before anything changes: a resource that cannot be read
    // leaves the menu as it was.
    const std::optional<std::vector<TemplateEntry>> items = ReadMenuTemplate(*entry);
    if (!items) return FALSE;
    DestroyMenu();
    if (!CreateMenu()) return FALSE;

    std::vector<KiroMenu*> menus{this};
    std::vector<int> ends{0};
    for (const TemplateEntry& item : *items) {
        if (menus.empty()) break;
        KiroMenu* top = menus.back();
        if (item.popup) {
            if (item.last) ends.back() = 1;
            auto* popup = new KiroMenu;
            popup->m_checkMarkId = top->m_checkMarkId;
            popup->m_checkMarkSelectedId = top->m_checkMarkSelectedId;
            popup->m_checkMarkImages = top->m_checkMarkImages;
            popup->m_checkMarkImagesBorrowed = TRUE;
            popup->CreatePopupMenu();
            top->AppendItem(item.caption.c_str(), item.flags, reinterpret_cast<UINT_PTR>(popup->m_hMenu), -1);
            menus.push_back(popup);
            ends.push_back(0);
        } else {
            top->AppendItem(item.caption.c_str(), item.flags, item.id, -1);
            if (item.last) ends.back() = 1;
            while (!menus.empty() && ends.back()) {
                menus.back()->AlignAccelerators();
                menus.pop_back();
                ends.pop_back();
            }
        }
    }

    // The top level is a menu bar: its entries are drawn as text by the system.
    const int count = GetMenuItemCount();
    for (int i = 0; i < count && static_cast<std::size_t>(i) < m_items.size(); ++i) {
        KiroMenuData* record = m_items[static_cast<std::size_t>(i)];
        const std::u16string text = platform::Utf8ToUtf16(record->GetCaption());
        const UINT position = static_cast<UINT>(i);
        if (const HMENU popup = platform::GetSubMenu(m_hMenu, i)) {
            record->m_flags = MF_BYPOSITION | MF_POPUP;
            CMenu::ModifyMenu(position, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(popup), text.c_str());
        } else {
            record->m_flags = MF_BYPOSITION;
            CMenu::ModifyMenu(position, MF_BYPOSITION, record->m_commandId, text.c_str());
        }
    }
    m_loaded = TRUE;
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Appending

void KiroMenu::NotePopup(UINT flags, UINT_PTR id)
{
    if ((flags & MF_POPUP) == 0) return;
    s_popupHandles.push_back(reinterpret_cast<HMENU>(id));
    m_popupHandles.push_back(reinterpret_cast<HMENU>(id));
}

BOOL KiroMenu::AppendItem(const WCHAR* caption, UINT flags, UINT_PTR id, int toolbarId)
{
    flags = ApplyFlagRule(flags, id);
    const BOOL result = AddItemWithRecord(std::nullopt, m_items.size(), caption, flags, id,
                                          [this, id, toolbarId](KiroMenuData* record) {
                                              SetToolbarOrSharedImage(record, static_cast<UINT>(id), toolbarId);
                                          });
    if (m_loaded) SyncMenuBarPopups();
    return result;
}

BOOL KiroMenu::AppendItem(const WCHAR* caption, UINT flags, UINT_PTR id, CImageList* images, int index)
{
    flags = ApplyFlagRule(flags, id);
    return AddItemWithRecord(std::nullopt, m_items.size(), caption, flags, id,
                             [this, images, index](KiroMenuData* record) {
                                 if (!images) return;
                                 record->m_ownImageId = 0;
                                 record->m_imageIndex = 0;
                                 record->m_ownImages = new CImageList;
                                 CopyImageToList(images, index, record->m_ownImages);
                             });
}

BOOL KiroMenu::AppendItem(const char* caption, UINT flags, UINT_PTR id, int toolbarId)
{
    return AppendItem(Ptr(Wide(caption)), flags, id, toolbarId);
}
BOOL KiroMenu::AppendItem(const char* caption, UINT flags, UINT_PTR id, CImageList* images, int index)
{
    return AppendItem(Ptr(Wide(caption)), flags, id, images, index);
}
BOOL KiroMenu::AppendItem(UINT flags, UINT_PTR id, const char* caption, int toolbarId)
{
    return AppendItem(caption, flags, id, toolbarId);
}
BOOL KiroMenu::AppendItem(UINT flags, UINT_PTR id, const WCHAR* caption, int toolbarId)
{
    return AppendItem(caption, flags, id, toolbarId);
}
BOOL KiroMenu::AppendItem(UINT flags, UINT_PTR id, const char* caption, CImageList* images, int index)
{
    return AppendItem(caption, flags, id, images, index);
}
BOOL KiroMenu::AppendItem(UINT flags, UINT_PTR id, const WCHAR* caption, CImageList* images, int index)
{
    return AppendItem(caption, flags, id, images, index);
}
BOOL KiroMenu::AppendItem(UINT flags, UINT_PTR id, const char* caption, const wxImage* bitmap)
{
    return AppendItem(flags, id, Ptr(Wide(caption)), bitmap);
}
BOOL KiroMenu::AppendItem(UINT flags, UINT_PTR id, const WCHAR* caption, const wxImage* bitmap)
{
    if (bitmap == nullptr) return AppendItem(caption, flags, id, static_cast<CImageList*>(nullptr), 0);
    CImageList list;
    FillFromBitmap(list, *bitmap);
    return AppendItem(caption, flags, id, &list, 0);
}

KiroMenu* KiroMenu::AppendPopup(const WCHAR* caption)
{
    auto* popup = new KiroMenu;
    popup->m_checkMarkId = m_checkMarkId;
    popup->m_checkMarkSelectedId = m_checkMarkSelectedId;
    popup->m_checkMarkImages = m_checkMarkImages;
    popup->m_checkMarkImagesBorrowed = TRUE;
    popup->CreatePopupMenu();
    AppendItem(caption, MF_POPUP, reinterpret_cast<UINT_PTR>(popup->m_hMenu), -1);
    return popup;
}

KiroMenu* KiroMenu::AppendPopup(const char* caption) { return AppendPopup(Ptr(Wide(caption))); }

// ---------------------------------------------------------------------------------------------
// Inserting

BOOL KiroMenu::InsertItem(UINT position, const WCHAR* caption, UINT flags, UINT_PTR id, int toolbarId)
{
    if (!(flags & MF_BYPOSITION)) {
        int at = -1;
        KiroMenu* owner = FindOwner(position, at);
        if (owner == nullptr) return FALSE;
        return owner->InsertItem(static_cast<UINT>(at), caption, flags | MF_BYPOSITION, id, toolbarId);
    }
    flags = ApplyFlagRule(flags, id);
    int offset = 0;
    if (flags & MF_POPUP) {
        offset = m_loaded ? GetMenuBarOffset() : 0;
        if (position != static_cast<UINT>(-1) && static_cast<int>(position) < offset) offset = 0;
    }
    position = InsertionPoint(position);
    const BOOL result = AddItemWithRecord(position, position - static_cast<UINT>(offset), caption, flags, id,
                                          [this, id, toolbarId](KiroMenuData* record) {
                                              SetToolbarOrSharedImage(record, static_cast<UINT>(id), toolbarId);
                                          });
    if (m_loaded) SyncMenuBarPopups();
    return result;
}

BOOL KiroMenu::InsertItem(UINT position, const WCHAR* caption, UINT flags, UINT_PTR id, CImageList* images, int index)
{
    if (!(flags & MF_BYPOSITION)) {
        int at = -1;
        KiroMenu* owner = FindOwner(position, at);
        if (owner == nullptr) return FALSE;
        return owner->InsertItem(static_cast<UINT>(at), caption, flags | MF_BYPOSITION, id, images, index);
    }
    flags = ApplyFlagRule(flags, id);
    position = InsertionPoint(position);
    return AddItemWithRecord(position, position, caption, flags, id, [this, id, images, index](KiroMenuData* record) {
        if (images) record->m_globalImageIndex = AddToGlobalImageList(images, index, static_cast<UINT>(id));
    });
}

BOOL KiroMenu::InsertItem(UINT position, const char* caption, UINT flags, UINT_PTR id, int toolbarId)
{
    return InsertItem(position, Ptr(Wide(caption)), flags, id, toolbarId);
}
BOOL KiroMenu::InsertItem(UINT position, const char* caption, UINT flags, UINT_PTR id, CImageList* images, int index)
{
    return InsertItem(position, Ptr(Wide(caption)), flags, id, images, index);
}
BOOL KiroMenu::InsertItem(UINT position, UINT flags, UINT_PTR id, const char* caption, int toolbarId)
{
    return InsertItem(position, caption, flags, id, toolbarId);
}
BOOL KiroMenu::InsertItem(UINT position, UINT flags, UINT_PTR id, const WCHAR* caption, int toolbarId)
{
    return InsertItem(position, caption, flags, id, toolbarId);
}
BOOL KiroMenu::InsertItem(UINT position, UINT flags, UINT_PTR id, const char* caption, CImageList* images, int index)
{
    return InsertItem(position, caption, flags, id, images, index);
}
BOOL KiroMenu::InsertItem(UINT position, UINT flags, UINT_PTR id, const WCHAR* caption, CImageList* images, int index)
{
    return InsertItem(position, caption, flags, id, images, index);
}
BOOL KiroMenu::InsertItem(UINT position, UINT flags, UINT_PTR id, const char* caption, const wxImage* bitmap)
{
    return InsertItem(position, flags, id, Ptr(Wide(caption)), bitmap);
}
BOOL KiroMenu::InsertItem(UINT position, UINT flags, UINT_PTR id, const WCHAR* caption, const wxImage* bitmap)
{
    if (bitmap == nullptr) return InsertItem(position, caption, flags, id, static_cast<CImageList*>(nullptr), 0);
    CImageList list;
    FillFromBitmap(list, *bitmap);
    return InsertItem(position, caption, flags, id, &list, 0);
}

// ---------------------------------------------------------------------------------------------
// Modifying

BOOL KiroMenu::ModifyEveryItem(const WCHAR* caption, UINT id, const std::function<void(KiroMenuData*)>& setImage)
{
    // A copy of the caption: it may be the caption of one of the records changed here, which
    // the first change frees.
    const std::optional<std::u16string> text =
        caption ? std::optional<std::u16string>(std::u16string(caption, platform::Utf16Length(caption))) : std::nullopt;
    auto update = [&](KiroMenuData* record) {
        if (text) record->SetWideCaption(text->c_str());
        record->m_ownImageId = -1;
        record->m_imageIndex = -1;
        setImage(record);
        // The item is a plain one: a popup flag its record took from a top-level entry it was
        // once lined up with would make the change fail.
        record->m_flags = (record->m_flags & ~(MF_BYPOSITION | MF_POPUP)) | MF_OWNERDRAW;
        record->m_commandId = id;
    };
    int position = -1;
    KiroMenu* owner = FindOwner(id, position);
    if (owner == nullptr) {
        // No item of the family holds the command: the record stays at the end of the list.
        auto* record = new KiroMenuData;
        m_items.push_back(record);
        update(record);
        return CMenu::ModifyMenu(id, record->m_flags, id, static_cast<const void*>(record));
    }
    // Each item is changed in its own menu and carries that menu's record: a record is deleted
    // with its menu or its item, so an item carrying another menu's record would be left with a
    // freed one.
    std::vector<KiroMenu*> menus;
    std::vector<int> positions;
    std::optional<BOOL> first;
    while (owner) {
        const auto at = static_cast<UINT>(position);
        KiroMenuData* record = nullptr;
        if (const auto found = owner->RecordOfItemAt(at, id); found != owner->m_items.end()) {
            record = *found;
        } else {
            record = new KiroMenuData;
            owner->m_items.push_back(record);
        }
        update(record);
        const BOOL result =
            owner->CMenu::ModifyMenu(at, record->m_flags | MF_BYPOSITION, id, static_cast<const void*>(record));
        if (!first) first = result;
        menus.push_back(owner);
        positions.push_back(position);
        owner = FindNextOwner(id, position, menus, positions);
    }
    return *first;
}

BOOL KiroMenu::ModifyItem(const WCHAR* caption, UINT id, int toolbarId)
{
    return ModifyEveryItem(caption, id, [this, id, toolbarId](KiroMenuData* record) {
        if (toolbarId >= 0) {
            delete record->m_ownImages;
            record->m_ownImages = nullptr;
        }
        SetToolbarOrSharedImage(record, id, toolbarId);
    });
}

BOOL KiroMenu::ModifyItem(const WCHAR* caption, UINT id, CImageList* images, int index)
{
    return ModifyEveryItem(caption, id, [this, id, images, index](KiroMenuData* record) {
        if (!images) return;
        delete record->m_ownImages;
        record->m_ownImages = nullptr;
        record->m_globalImageIndex = AddToGlobalImageList(images, index, id);
    });
}

BOOL KiroMenu::ModifyItem(const WCHAR* caption, UINT id, const wxImage* bitmap)
{
    if (bitmap == nullptr) return ModifyItem(caption, id, static_cast<CImageList*>(nullptr), 0);
    CImageList list;
    FillFromBitmap(list, *bitmap);
    return ModifyItem(caption, id, &list, 0);
}

BOOL KiroMenu::ModifyItem(const WCHAR* caption, const WCHAR* findCaption, int bitmapId)
{
    KiroMenuData* record = FindRecordByCaption(findCaption);
    if (record == nullptr) return FALSE;
    if (caption) record->SetWideCaption(caption);
    record->m_ownImageId = bitmapId;
    record->m_imageIndex = -1;
    if (bitmapId >= 0) {
        record->m_imageIndex = 0;
        if (record->m_ownImages)
            record->m_ownImages->DeleteImageList();
        else
            record->m_ownImages = new CImageList;
        record->m_ownImages->Create(m_imageWidth, m_imageHeight, ILC_COLORDDB | ILC_MASK, 1, 1);
        if (!AddBitmapToImageList(record->m_ownImages, static_cast<UINT>(bitmapId))) {
            delete record->m_ownImages;
            record->m_ownImages = nullptr;
            record->m_ownImageId = -1;
            record->m_imageIndex = -1;
        }
    }
    return TRUE;
}

BOOL KiroMenu::ModifyItem(const char* caption, UINT id, int toolbarId)
{
    return ModifyItem(Ptr(Wide(caption)), id, toolbarId);
}
BOOL KiroMenu::ModifyItem(const char* caption, UINT id, CImageList* images, int index)
{
    return ModifyItem(Ptr(Wide(caption)), id, images, index);
}
BOOL KiroMenu::ModifyItem(const char* caption, UINT id, const wxImage* bitmap)
{
    return ModifyItem(Ptr(Wide(caption)), id, bitmap);
}
BOOL KiroMenu::ModifyItem(const char* caption, const char* findCaption, int bitmapId)
{
    const std::optional<std::u16string> find = Wide(findCaption);
    return ModifyItem(Ptr(Wide(caption)), Ptr(find), bitmapId);
}

BOOL KiroMenu::ModifyItemSwatch(const WCHAR* caption, UINT id, COLORREF fill, COLORREF border, int hatchStyle,
                                const wxSize* swatchSize)
{
    const wxSize size = swatchSize ? *swatchSize : wxSize(m_imageWidth, m_imageHeight);
    wxImage bitmap;
    CreateSwatchBitmap(&bitmap, size.x, size.y, m_imageWidth, m_imageHeight, fill, border, hatchStyle);
    return ModifyItem(caption, id, &bitmap);
}

BOOL KiroMenu::ModifyItemSwatch(const char* caption, UINT id, COLORREF fill, COLORREF border, int hatchStyle,
                                const wxSize* swatchSize)
{
    return ModifyItemSwatch(Ptr(Wide(caption)), id, fill, border, hatchStyle, swatchSize);
}

// ---------------------------------------------------------------------------------------------
// Item texts

BOOL KiroMenu::GetItemText(UINT item, std::string& text, UINT flags)
{
    if (flags & MF_BYPOSITION) {
        if (item >= m_items.size()) return FALSE;
        text = m_items[item]->GetCaption();
        return TRUE;
    }
    int position = -1;
    KiroMenu* owner = FindOwner(item, position);
    if (owner == nullptr || position < 0) return FALSE;
    return owner->GetItemText(static_cast<UINT>(position), text, MF_BYPOSITION);
}

BOOL KiroMenu::SetItemText(UINT item, const std::string& text, UINT flags)
{
    if (flags & MF_BYPOSITION) {
        if (item >= m_items.size()) return FALSE;
        m_items[item]->SetCaption(text.c_str());
        return TRUE;
    }
    int position = -1;
    KiroMenu* owner = FindOwner(item, position);
    if (owner == nullptr || position < 0) return FALSE;
    return owner->SetItemText(static_cast<UINT>(position), text, MF_BYPOSITION);
}

// ---------------------------------------------------------------------------------------------
// Check marks and toolbar images

void KiroMenu::SetCheckMarkImages(UINT checkMarkId, UINT selectedCheckMarkId)
{
    if (static_cast<int>(checkMarkId) <= 0 || static_cast<int>(selectedCheckMarkId) <= 0) return;
    m_checkMarkSelectedId = static_cast<int>(selectedCheckMarkId);
    m_checkMarkId = static_cast<int>(checkMarkId);
    // A popup that borrows its parent's images gets a list of its own: the parent's stays.
    if (m_checkMarkImages && !m_checkMarkImagesBorrowed)
        m_checkMarkImages->DeleteImageList();
    else
        m_checkMarkImages = new CImageList;
    m_checkMarkImagesBorrowed = FALSE;
    m_checkMarkImages->Create(m_imageWidth, m_imageHeight, ILC_MASK, 2, 1);
    const BOOL checkLoaded = AddBitmapToImageList(m_checkMarkImages, checkMarkId);
    const BOOL selectedLoaded = AddBitmapToImageList(m_checkMarkImages, selectedCheckMarkId);
    if (!checkLoaded || !selectedLoaded) {
        delete m_checkMarkImages;
        m_checkMarkImages = nullptr;
    }
}

BOOL KiroMenu::LoadToolbarImages(UINT toolbarId)
{
    KiroMenuToolBar toolbar;
    toolbar.Create(nullptr, WS_CHILD | WS_VISIBLE | CBRS_TOP, AFX_IDW_TOOLBAR);
    if (!toolbar.LoadToolBar(toolbarId)) return FALSE;
    int width = 0, height = 0;
    toolbar.GetImageSize(width, height);
    m_imageWidth = std::max(m_imageWidth, width);
    m_imageHeight = std::max(m_imageHeight, height);
    CImageList list;
    list.Create(m_imageWidth, m_imageHeight, ILC_COLORDDB | ILC_MASK, 1, 1);
    if (!AddBitmapToImageList(&list, toolbarId)) return FALSE;
    for (int i = 0; i < toolbar.GetCount(); ++i) {
        const UINT id = toolbar.GetItemID(i);
        if (id == 0 || GetMenuState(id, MF_BYCOMMAND) == MENU_FAILED) continue;
        UINT buttonId = 0, style = 0;
        int image = 0;
        toolbar.GetButtonInfo(toolbar.CommandToIndex(id), buttonId, style, image);
        ModifyItem(static_cast<const WCHAR*>(nullptr), id, &list, image);
    }
    return TRUE;
}

BOOL KiroMenu::LoadToolbarImages(const UINT* toolbarIds, int count)
{
    BOOL all = TRUE;
    for (int i = 0; toolbarIds && i < count; ++i)
        if (!LoadToolbarImages(toolbarIds[i])) all = FALSE;
    return all;
}
