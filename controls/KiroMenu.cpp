#include "controls/KiroMenu.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <unordered_set>

#include <wx/app.h>
#include <wx/brush.h>
#include <wx/dc.h>
#include <wx/dcgraph.h>
#include <wx/font.h>
#include <wx/graphics.h>
#include <wx/image.h>
#include <wx/pen.h>
#include <wx/settings.h>

#include "core/codepage.h"
#include "platform/gui_app.h"
#include "platform/os_version.h"

// ---------------------------------------------------------------------------------------------
// Process-wide state. Built at static construction in this order and destroyed in the reverse
// order at exit; the draw modes and flags are constants-initialised.

CImageList KiroMenu::s_images;
std::vector<int> KiroMenu::s_imageCommandIds;
int KiroMenu::s_shellType = KiroMenu::DetectShellType();
std::vector<HMENU> KiroMenu::s_popupHandles;
int KiroMenu::s_drawModeXp = 1;
int KiroMenu::s_drawModeOther = 0;
const BOOL KiroMenu::s_selectDisabledClassic = TRUE;
const BOOL KiroMenu::s_selectDisabledFlat = FALSE;
const BOOL KiroMenu::s_flatImageEffects = TRUE;
BOOL KiroMenu::s_themeRead = FALSE;
BOOL KiroMenu::s_classicTheme = FALSE;

namespace {

std::size_t WideLength(const WCHAR* text) { return platform::Utf16Length(text); }

bool SameWide(const WCHAR* a, const WCHAR* b)
{
    if (!a || !b) return false;
    std::size_t n = WideLength(a);
    return n == WideLength(b) && std::equal(a, a + n, b);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Item records

KiroMenuData::~KiroMenuData()
{
    delete m_ownImages;
    m_ownImages = nullptr;
    SetWideCaption(nullptr);
}

void KiroMenuData::SetWideCaption(const WCHAR* text)
{
    // The copy is made before the old caption goes: the text may be that caption itself.
    WCHAR* copy = nullptr;
    if (text) {
        const std::size_t n = WideLength(text);
        copy = new WCHAR[n + 1];
        std::copy(text, text + n, copy);
        copy[n] = 0;
    }
    delete[] m_caption;
    m_caption = copy;
}

void KiroMenuData::SetCaption(const char* text)
{
    if (!text) {
        SetWideCaption(nullptr);
        return;
    }
    // 8-bit text from outside may be in the system code page; text of the program is UTF-8.
    const std::u16string wide = platform::Utf8ToUtf16(core::FromCodePage(text));
    SetWideCaption(wide.c_str());
}

std::string KiroMenuData::GetCaption() const
{
    if (!m_caption) return std::string();
    return platform::Utf16ToUtf8(std::u16string(m_caption, WideLength(m_caption)));
}

// ---------------------------------------------------------------------------------------------
// The menu and its popups

KiroMenu::~KiroMenu() { KiroMenu::DestroyMenu(); }

BOOL KiroMenu::DestroyMenu() { return ReleaseMenu(); }

BOOL KiroMenu::ReleaseMenu()
{
    auto forget = [](HMENU handle) {
        s_popupHandles.erase(std::remove(s_popupHandles.begin(), s_popupHandles.end(), handle), s_popupHandles.end());
    };
    if (m_hMenu) forget(m_hMenu);
    // From the last popup to the first; each popup's destructor releases its own popups.
    // The object is looked up among the permanent ones, so a popup whose handle was destroyed
    // behind the family's back is still deleted.
    std::vector<HMENU> popups;
    popups.swap(m_popupHandles);
    for (auto it = popups.rbegin(); it != popups.rend(); ++it) {
        forget(*it);
        if (auto* popup = dynamic_cast<KiroMenu*>(CMenu::FromHandlePermanent(*it))) {
            if (popup != this) delete popup;
        }
    }
    for (KiroMenuData* record : m_items) delete record;
    m_items.clear();
    if (m_checkMarkImages && !m_checkMarkImagesBorrowed) {
        delete m_checkMarkImages;
        m_checkMarkImages = nullptr;
    }
    return CMenu::DestroyMenu();
}

CMenu* KiroMenu::GetSubMenu(int position) const
{
    HMENU sub = platform::GetSubMenu(m_hMenu, position);
    return sub ? CMenu::FromHandle(sub) : nullptr;
}

KiroMenu* KiroMenu::KiroSubMenu(int position) const { return dynamic_cast<KiroMenu*>(GetSubMenu(position)); }

// ---------------------------------------------------------------------------------------------
// Look selection

int KiroMenu::DetectShellType()
{
    const platform::OsVersion version = platform::CurrentOsVersion();
    const DWORD packed = version.packed;
    if (!(packed & 0x80000000u)) {
        if (!version.detailed) return 1;
        const auto [major, minor] = *version.detailed;
        if (major == 4) return 5;
        if (major == 5 && minor == 0) return 6;
        if (major == 5 && minor == 1) return 7;
        return 1;
    }
    if ((packed & 0xFF) < 4) return 0;
    if (!version.detailed) return 2;
    const auto [major, minor] = *version.detailed;
    if (major == 4 && minor == 10) return 3;
    if (major == 4 && minor == 90) return 4;
    return 2;
}

void KiroMenu::SetDrawMode(int mode)
{
    s_drawModeXp = mode;
    s_drawModeOther = mode;
}

BOOL KiroMenu::IsRecognisedShell() { return s_shellType >= 2 ? TRUE : FALSE; }

BOOL KiroMenu::IsClassicTheme()
{
    if (!s_themeRead) {
        s_themeRead = TRUE;
        static const char kClassic[] = "Windows Classic.theme";
        constexpr std::size_t kClassicLength = sizeof(kClassic) - 1;
        constexpr std::size_t kBuffer = 260;  // the value is read into this many bytes
        const std::optional<std::string> theme = platform::CurrentDesktopTheme();
        if (theme && theme->size() < kBuffer) {
            // The value ends at its first NUL, as a string read from the registry does.
            const std::string value(theme->c_str());
            if (value.size() >= kClassicLength) {
                const char* tail = value.c_str() + value.size() - kClassicLength;
                bool equal = true;
                for (std::size_t i = 0; i < kClassicLength && equal; ++i)
                    equal = std::tolower(static_cast<unsigned char>(tail[i])) ==
                            std::tolower(static_cast<unsigned char>(kClassic[i]));
                if (equal) s_classicTheme = TRUE;
            }
        }
    }
    return s_classicTheme;
}

BOOL KiroMenu::IsXpThemed() { return s_shellType == 7 && !IsClassicTheme() ? TRUE : FALSE; }

int KiroMenu::GetActiveDrawMode() { return IsXpThemed() ? s_drawModeXp : s_drawModeOther; }

BOOL KiroMenu::IsFlatDrawMode() { return GetActiveDrawMode() == 1 ? TRUE : FALSE; }

BOOL KiroMenu::GetActiveSelectDisabled() { return IsFlatDrawMode() ? s_selectDisabledFlat : s_selectDisabledClassic; }

// ---------------------------------------------------------------------------------------------
// Colours and glyphs

COLORREF KiroMenu::BlendTowardWhite(COLORREF colour, double factor)
{
    if (!(factor > 0.0 && factor <= 1.0)) return colour;
    COLORREF result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double c = static_cast<double>((colour >> shift) & 0xFF);
        const auto v = static_cast<COLORREF>(c + (255.0 - c) * factor);
        result |= (v & 0xFF) << shift;
    }
    return result;
}

COLORREF KiroMenu::ScaleTowardBlack(COLORREF colour, double factor)
{
    if (!(factor > 0.0 && factor <= 1.0)) return colour;
    COLORREF result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double c = static_cast<double>((colour >> shift) & 0xFF);
        const auto v = static_cast<COLORREF>(c - c * factor);
        result |= (v & 0xFF) << shift;
    }
    return result;
}

void KiroMenu::DrawCheckGlyph(wxDC& dc, int x, int y, COLORREF colour)
{
    // Seven strokes of three pixels each, drawn as one-pixel-wide rectangles.
    static const int kTop[7] = {2, 3, 4, 3, 2, 1, 0};
    const wxPen oldPen = dc.GetPen();
    const wxBrush oldBrush = dc.GetBrush();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(platform::ToColour(colour)));
    for (int k = 0; k < 7; ++k) dc.DrawRectangle(x + k, y + kTop[k], 1, 3);
    dc.SetPen(oldPen);
    dc.SetBrush(oldBrush);
}

void KiroMenu::DrawRadioGlyph(wxDC& dc, int x, int y, COLORREF colour)
{
    const wxPen oldPen = dc.GetPen();
    const wxBrush oldBrush = dc.GetBrush();
    dc.SetPen(wxPen(platform::ToColour(colour), 1));
    dc.SetBrush(wxBrush(platform::ToColour(colour)));
    dc.DrawEllipse(x, y, 6, 6);  // the bounding box (x, y) .. (x + 6, y + 6), its far edges left out
    dc.SetPen(oldPen);
    dc.SetBrush(oldBrush);
}

// ---------------------------------------------------------------------------------------------
// Settings of this menu

void KiroMenu::SetImageSize(int width, int height)
{
    m_imageWidth = width;
    m_imageHeight = height;
}

void KiroMenu::SetImageBackground(COLORREF colour)
{
    m_imageBackground = colour;
    m_hasImageBackground = TRUE;
}

void KiroMenu::ClearImageBackground() { m_hasImageBackground = FALSE; }
BOOL KiroMenu::GetDibDisabledImages() const { return m_dibDisabledImages; }
void KiroMenu::SetDibDisabledImages() { m_dibDisabledImages = TRUE; }
void KiroMenu::ClearDibDisabledImages() { m_dibDisabledImages = FALSE; }

// ---------------------------------------------------------------------------------------------
// Records across the popup tree

KiroMenu* KiroMenu::FindOwnerSkipping(UINT commandId, int& position, const std::vector<KiroMenu*>* menus,
                                      const std::vector<int>* positions)
{
    const int count = GetMenuItemCount();
    for (int i = 0; i < count; ++i) {
        if (KiroMenu* popup = KiroSubMenu(i)) {
            if (KiroMenu* owner = popup->FindOwnerSkipping(commandId, position, menus, positions)) return owner;
            continue;
        }
        if (GetMenuItemID(i) != commandId) continue;
        bool skipped = false;
        if (menus && positions) {
            const std::size_t n = std::min(menus->size(), positions->size());
            for (std::size_t j = 0; j < n && !skipped; ++j) skipped = (*menus)[j] == this && (*positions)[j] == i;
        }
        if (skipped) continue;
        position = i;
        return this;
    }
    position = -1;
    return nullptr;
}

KiroMenu* KiroMenu::FindOwner(UINT commandId, int& position)
{
    return FindOwnerSkipping(commandId, position, nullptr, nullptr);
}

KiroMenu* KiroMenu::FindNextOwner(UINT commandId, int& position, std::vector<KiroMenu*>& menus,
                                  std::vector<int>& positions)
{
    return FindOwnerSkipping(commandId, position, &menus, &positions);
}

// An owner-drawn item carries its record as item data. A plain text entry (the top level of a
// loaded menu) carries none: its record is the one with its command at its index past the leading
// entries, else the first with its command. A record that another item carries is never taken
// for it, since that item would be left with a record that is not its own.
std::vector<KiroMenuData*>::iterator KiroMenu::RecordOfItemAt(UINT position, UINT_PTR commandId)
{
    auto dataAt = [this](UINT at) {
        return reinterpret_cast<const KiroMenuData*>(platform::GetMenuItemData(m_hMenu, at, MF_BYPOSITION));
    };
    if (const KiroMenuData* own = dataAt(position)) {
        const auto it = std::find(m_items.begin(), m_items.end(), own);
        if (it != m_items.end()) return it;
    }
    std::unordered_set<const KiroMenuData*> carried;
    const int count = GetMenuItemCount();
    for (int i = 0; i < count; ++i) carried.insert(dataAt(static_cast<UINT>(i)));
    auto unclaimed = [&carried, commandId](const KiroMenuData* record) {
        return record->m_commandId == commandId && carried.count(record) == 0;
    };
    const long index = static_cast<long>(position) - GetMenuBarOffset();
    if (index >= 0 && static_cast<std::size_t>(index) < m_items.size() &&
        unclaimed(m_items[static_cast<std::size_t>(index)]))
        return m_items.begin() + index;
    return std::find_if(m_items.begin(), m_items.end(), unclaimed);
}

KiroMenuData* KiroMenu::FindRecordByCommand(UINT commandId)
{
    auto firstWith = [commandId](const std::vector<KiroMenuData*>& items) -> KiroMenuData* {
        for (KiroMenuData* record : items)
            if (record->m_commandId == static_cast<UINT_PTR>(commandId)) return record;
        return nullptr;
    };
    if (KiroMenuData* own = firstWith(m_items)) return own;
    int position = -1;
    KiroMenu* owner = FindOwner(commandId, position);
    return owner ? firstWith(owner->m_items) : nullptr;
}

KiroMenuData* KiroMenu::FindRecordByCaption(const WCHAR* caption)
{
    const int count = GetMenuItemCount();
    bool ownSearched = false;
    for (int i = 0; i < count; ++i) {
        if (KiroMenu* popup = KiroSubMenu(i)) {
            if (KiroMenuData* found = popup->FindRecordByCaption(caption)) return found;
            continue;
        }
        // Every plain item scans the same list; once scanned in vain it holds nothing more.
        if (ownSearched) continue;
        ownSearched = true;
        for (KiroMenuData* record : m_items)
            if (record->m_caption && SameWide(record->m_caption, caption)) return record;
    }
    return nullptr;
}

void KiroMenu::AlignAccelerators()
{
    // Fonts need the toolkit. Without a GUI application there is no menu font: every character
    // counts as one unit, which lines the accelerators up in a fixed-pitch font.
    if (!platform::HaveGuiApp()) {
        AlignAccelerators([](const std::string& text) { return static_cast<int>(platform::Utf8ToUtf16(text).size()); });
        return;
    }
    // The menu font, measured off screen: a graphics context over an image needs no window.
    wxImage canvas(1, 1);
    wxGraphicsContext* gc = wxGraphicsContext::Create(canvas);
    if (!gc) return;
    wxGCDC dc(gc);
    dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
    AlignAccelerators([&dc](const std::string& text) { return dc.GetTextExtent(wxString::FromUTF8(text)).GetWidth(); });
}

void KiroMenu::AlignAccelerators(const std::function<int(const std::string&)>& textWidth)
{
    const int count = GetMenuItemCount();
    auto captionAt = [this](int position) -> std::string {
        const auto index = static_cast<std::size_t>(position);
        return index < m_items.size() ? m_items[index]->GetCaption() : std::string();
    };
    int widest = -1;
    for (int i = 0; i < count; ++i) {
        const std::string caption = captionAt(i);
        const std::string left = caption.substr(0, caption.find('\t'));
        widest = std::max(widest, textWidth(left + " "));
    }
    for (int i = 0; i < count; ++i) {
        const std::string caption = captionAt(i);
        const std::size_t tab = caption.find('\t');
        if (tab == std::string::npos) continue;
        std::string left = caption.substr(0, tab);
        int width = textWidth(left);
        // A space that adds no width would pad for ever: stop when the text stops growing.
        while (width < widest) {
            left += ' ';
            const int wider = textWidth(left);
            if (wider <= width) break;
            width = wider;
        }
        const std::string aligned = left + caption.substr(tab);
        m_items[static_cast<std::size_t>(i)]->SetCaption(aligned.c_str());
    }
}

KiroMenuData* KiroMenu::AttachNewRecord(UINT position, UINT flags, UINT_PTR commandId, const std::string& caption)
{
    auto* record = new KiroMenuData;
    record->SetCaption(caption.c_str());
    record->m_flags = flags;
    record->m_commandId = commandId;
    const void* data = (flags & MF_OWNERDRAW) ? static_cast<const void*>(record) : nullptr;
    CMenu::ModifyMenu(position, flags, commandId, data);
    return record;
}

void KiroMenu::SetSyncMarks(int value)
{
    for (KiroMenuData* record : m_items) record->m_synced = value;
}

KiroMenuData* KiroMenu::ClaimRecord(UINT_PTR commandId)
{
    for (KiroMenuData* record : m_items) {
        if (record->m_commandId == commandId && record->m_synced == 0) {
            record->m_synced = 1;
            return record;
        }
    }
    return nullptr;
}

void KiroMenu::DeleteUnsyncedRecords()
{
    // The pointers stay in m_items until Resync puts the new list in place; they are nulled
    // here so that nothing can reach a deleted record in between.
    for (KiroMenuData*& record : m_items) {
        if (record && record->m_synced == 0) {
            delete record;
            record = nullptr;
        }
    }
}

KiroMenuData* KiroMenu::ClaimCarriedRecord(UINT position, UINT_PTR commandId)
{
    const auto* carried =
        reinterpret_cast<const KiroMenuData*>(platform::GetMenuItemData(m_hMenu, position, MF_BYPOSITION));
    if (!carried) return nullptr;
    for (KiroMenuData* record : m_items) {
        if (record != carried || record->m_synced != 0) continue;
        record->m_synced = 1;
        record->m_commandId = commandId;
        return record;
    }
    return nullptr;
}

void KiroMenu::Resync()
{
    SetSyncMarks(0);
    std::vector<KiroMenuData*> fresh;
    for (int i = 0; i < GetMenuItemCount(); ++i) {
        const UINT position = static_cast<UINT>(i);
        const UINT state = GetMenuState(position, MF_BYPOSITION);
        KiroMenuData* record = nullptr;
        // An item that carries one of the records keeps it: the records left unclaimed are
        // deleted below, and the item would be left with a freed one.
        if (state & MF_POPUP) {
            const HMENU handle = platform::GetSubMenu(m_hMenu, i);
            const auto handleValue = reinterpret_cast<UINT_PTR>(handle);
            const std::string caption = platform::Utf16ToUtf8(CMenu::GetMenuString(position, MF_BYPOSITION));
            record = ClaimCarriedRecord(position, handleValue);
            if (!record) record = ClaimRecord(handleValue);
            const UINT flags = (state & 0xFF) | MF_BYPOSITION | MF_POPUP | MF_OWNERDRAW;
            if (!record) {
                record = AttachNewRecord(position, flags, handleValue, caption);
            } else {
                if (!caption.empty()) record->SetCaption(caption.c_str());
                // An owner-drawn entry carrying some other data is given its record.
                MenuItemInfo info;
                info.fMask = MIIM_FTYPE | MIIM_DATA;
                if (GetMenuItemInfo(position, &info, TRUE) && (info.fType & MF_OWNERDRAW) &&
                    info.dwItemData != reinterpret_cast<ULONG_PTR>(record))
                    CMenu::ModifyMenu(position, flags, handleValue, static_cast<const void*>(record));
            }
        } else if (state & MF_SEPARATOR) {
            record = ClaimCarriedRecord(position, 0);
            if (!record) record = ClaimRecord(0);
            if (!record) {
                record =
                    AttachNewRecord(position, state | MF_BYPOSITION | MF_SEPARATOR | MF_OWNERDRAW, 0, std::string());
            } else {
                // It stays an owner-drawn separator, whatever the flags of the record it claimed
                // (a record of command 0 may come from a plain item). Always by position: command
                // 0 would change the first separator of the tree instead of this one.
                record->m_flags = (record->m_flags & ~MF_POPUP) | MF_SEPARATOR | MF_OWNERDRAW;
                CMenu::ModifyMenu(position, record->m_flags | MF_BYPOSITION, 0, static_cast<const void*>(record));
            }
        } else {
            const UINT id = GetMenuItemID(i);
            const std::string caption = platform::Utf16ToUtf8(CMenu::GetMenuString(position, MF_BYPOSITION));
            record = ClaimCarriedRecord(position, id);
            if (!record) record = ClaimRecord(id);
            const UINT flags = state | MF_BYPOSITION | MF_OWNERDRAW;
            if (!record) {
                record = AttachNewRecord(position, flags, id, caption);
            } else {
                record->m_flags = flags;
                if (!caption.empty()) record->SetCaption(caption.c_str());
                CMenu::ModifyMenu(position, flags, id, static_cast<const void*>(record));
            }
        }
        fresh.push_back(record);
    }
    DeleteUnsyncedRecords();
    m_items.clear();
    m_items.swap(fresh);
}

void KiroMenu::ResyncMenu(CMenu* menu)
{
    if (auto* kiro = dynamic_cast<KiroMenu*>(menu)) kiro->Resync();
}
