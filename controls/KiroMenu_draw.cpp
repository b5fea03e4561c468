// The owner-drawn menu family: measuring items, the classic and the flat painters, the
// menu-character lookup and the popup test of an owner window's handlers.
//
// Every colour is read from the system colours at each paint; every pen, brush and font is
// made for one call. The item's device context comes in DRAWITEMSTRUCT::hDC and the menu's
// handle in hwndItem.
#include <algorithm>
#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcgraph.h>
#include <wx/font.h>
#include <wx/graphics.h>
#include <wx/settings.h>

#include "controls/KiroMenu.h"
#include "controls/KiroMenuMemDC.h"
#include "platform/gui_app.h"
#include "platform/menu_popup.h"

using platform::SysColor;

namespace {

using platform::HaveGuiApp;

// The menu font; an invalid font without a GUI application (fonts need the toolkit).
wxFont MenuFont()
{
    if (!HaveGuiApp()) return wxFont();
    return wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
}

// Truncation toward zero, then no less than 0.
int HalfOffset(int room)
{
    const int v = static_cast<int>(room / 2.0 + 0.5);
    return v < 0 ? 0 : v;
}

wxRect Box(int l, int t, int r, int b) { return wxRect(l, t, r - l, b - t); }

// An image of a list drawn with its transparency; nothing from a null list or a bad index.
void DrawListImage(wxDC& dc, const CImageList* list, int index, int x, int y)
{
    if (!list || index < 0) return;
    const wxImage image = list->GetImage(index);
    if (!image.IsOk()) return;
    dc.DrawBitmap(wxBitmap(image), x, y, true);
}

// The caption split at its tabs: the text before the first and the text after the last.
struct CaptionParts {
    std::string left, right;
    bool hasTab = false;
};

CaptionParts SplitCaption(const std::string& caption)
{
    CaptionParts parts;
    const std::size_t first = caption.find('\t');
    if (first == std::string::npos) {
        parts.left = caption;
        return parts;
    }
    parts.hasTab = true;
    parts.left = caption.substr(0, first);
    parts.right = caption.substr(caption.rfind('\t') + 1);
    return parts;
}

// Draws the caption's parts into the text rectangle: the left part left-aligned, the right part
// right-aligned, both centred vertically on one line.
void DrawCaption(wxDC& dc, const CaptionParts& parts, wxRect rect)
{
    wxRect left = rect;
    platform::DrawText(dc, parts.left, left, DT_VCENTER | DT_SINGLELINE);
    if (parts.hasTab) {
        wxRect right = rect;
        platform::DrawText(dc, parts.right, right, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    }
}

// Keeps the DC's text colour and background mode and puts them back at the end of a paint.
class TextState {
public:
    explicit TextState(wxDC& dc) : m_dc(dc), m_colour(dc.GetTextForeground()), m_mode(dc.GetBackgroundMode()) {}
    ~TextState()
    {
        m_dc.SetTextForeground(m_colour);
        m_dc.SetBackgroundMode(m_mode);
    }

private:
    wxDC& m_dc;
    wxColour m_colour;
    int m_mode;
};

// What the painters draw for one item.
struct ItemLook {
    int imageMark = -1;          // the record's image id, 0 for an image of s_images
    CImageList* list = nullptr;  // the item's image
    int index = -1;
    std::string caption;
    bool customCheck = false;
    bool selectedImage = false;
    bool grayedImage = false;
    bool plainImage = false;
    bool AnyImage() const { return selectedImage || grayedImage || plainImage; }
};

// The check-mark classification shared by both painters.
void Classify(ItemLook& look, UINT state, const KiroMenu& menu)
{
    const bool checked = (state & ODS_CHECKED) != 0, selected = (state & ODS_SELECTED) != 0,
               grayed = (state & ODS_GRAYED) != 0;
    if (checked && look.imageMark < 0 && ((selected && menu.m_checkMarkSelectedId > 0) || menu.m_checkMarkId > 0)) {
        look.customCheck = true;
    } else if (look.imageMark != -1) {
        if (selected && !grayed)
            look.selectedImage = true;
        else if (grayed)
            look.grayedImage = true;
        else
            look.plainImage = true;
    }
}

// Whether the item's check mark is a radio bullet: the item carries a checked bitmap (as the
// framework's radio check sets) or the radio-check type.
bool IsRadioCheck(const DRAWITEMSTRUCT* item)
{
    MenuItemInfo info;
    info.fMask = MIIM_CHECKMARKS | MIIM_FTYPE;
    const auto menu = static_cast<HMENU>(item->hwndItem);
    if (!platform::GetMenuItemInfo(menu, item->itemID, FALSE, &info)) return false;
    return info.hbmpChecked != 0 || (info.fType & MFT_RADIOCHECK) != 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Choosing the painter and measuring

BOOL KiroMenu::IsPaletteDevice(const wxDC& dc)
{
    const int depth = dc.GetDepth();
    return depth > 0 && depth <= 8 ? TRUE : FALSE;
}

void KiroMenu::DrawItem(DRAWITEMSTRUCT* item)
{
    if (!item || !item->hDC) return;
    if (IsPaletteDevice(*item->hDC)) {
        DrawItemClassic(item);
        return;
    }
    if (GetActiveDrawMode() == 1)
        DrawItemFlat(item);
    else
        DrawItemClassic(item);
}

void KiroMenu::MeasureItem(MEASUREITEMSTRUCT* item)
{
    if (!item) return;
    const auto* record = reinterpret_cast<const KiroMenuData*>(item->itemData);
    const int W = m_imageWidth, H = m_imageHeight;
    const bool flat = IsFlatDrawMode() != FALSE;
    const int margin = flat && s_flatImageEffects ? 7 : 4;
    const int menuHeight = platform::SysMetric(SM_CYMENU);

    if (record && (record->m_flags & MF_SEPARATOR)) {
        item->itemWidth = 0;
        item->itemHeight = static_cast<UINT>(std::max(menuHeight >> 1, (H + margin) / 2));
        return;
    }

    // An item without a record is measured as one without a caption.
    const std::u16string wide = record && record->m_caption ? std::u16string(record->m_caption) : std::u16string();
    UINT tw = 0;
    if (HaveGuiApp()) {
        // Measured off screen: a graphics context over an image needs no window.
        wxImage canvas(1, 1);
        wxGraphicsContext* gc = wxGraphicsContext::Create(canvas);
        if (gc) {
            wxGCDC dc(gc);
            dc.SetFont(IsRecognisedShell() ? MenuFont() : *wxNORMAL_FONT);
            if (s_shellType != 0) {
                tw = static_cast<UINT>(dc.GetTextExtent(wxString::FromUTF8(platform::Utf16ToUtf8(wide))).GetWidth());
            } else {
                wxRect calc(0, 0, 0, 0);
                platform::DrawText(dc, platform::Utf16ToUtf8(wide), calc, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
                tw = static_cast<UINT>(calc.width) + 3;
                // The width grows by three average characters; an empty caption has none.
                if (!wide.empty()) tw += 3 * (tw / static_cast<UINT>(wide.size()));
            }
        }
    } else {
        // Without the toolkit there are no fonts: one unit per character.
        tw = static_cast<UINT>(wide.size());
    }

    if (flat)
        item->itemWidth = static_cast<UINT>(W + margin) + tw + 8;
    else
        item->itemWidth = tw + static_cast<UINT>(2 * W + 1);
    item->itemHeight = static_cast<UINT>(std::max(menuHeight, H + margin));
}

void KiroMenu::DrawDisabledImage(wxDC& dc, CImageList* list, int index, int x, int y, COLORREF background)
{
    // Rendered into a scratch bitmap, which the embossing may overwrite.
    wxImage bitmap;
    GetImageBitmap(list, index, &bitmap);
    if (m_dibDisabledImages)
        DrawEmbossedImageDib(dc, x, y, m_imageWidth, m_imageHeight, bitmap, 0, 0, background);
    else
        DrawEmbossedImage(dc, x, y, m_imageWidth, m_imageHeight, &bitmap, 0, 0, background);
}

// ---------------------------------------------------------------------------------------------
// The classic look

void KiroMenu::DrawItemClassic(DRAWITEMSTRUCT* item)
{
    if (!item || !item->hDC) return;
    wxDC& dc = *item->hDC;
    const CRect R(item->rcItem);
    const int L = R.left, T = R.top, Rt = R.right, B = R.bottom, h = R.Height();
    const int W = m_imageWidth, H = m_imageHeight;
    const auto* record = reinterpret_cast<const KiroMenuData*>(item->itemData);

    const COLORREF bg = IsXpThemed() ? SysColor(COLOR_BTNFACE) : SysColor(COLOR_MENU);
    if ((item->itemState & ODS_GRAYED) && !s_selectDisabledClassic) item->itemState &= ~ODS_SELECTED;
    const UINT state = item->itemState;
    const bool selected = (state & ODS_SELECTED) != 0, grayed = (state & ODS_GRAYED) != 0,
               checked = (state & ODS_CHECKED) != 0;

    if (record && (record->m_flags & MF_SEPARATOR)) {
        platform::FillSolidRect(dc, R.ToWx(), bg);
        wxRect edge = Box(L, T + h / 2, Rt, B);
        platform::DrawEdge(dc, edge, EDGE_ETCHED, BF_TOP);
        return;
    }

    TextState keep(dc);
    COLORREF textColour = SysColor(COLOR_MENUTEXT);
    ItemLook look;
    if (record) {
        look.imageMark = record->m_ownImageId;
        look.caption = record->GetCaption();
        look.list = record->m_ownImages;
        look.index = record->m_imageIndex;
        if (look.imageMark < 0 && record->m_globalImageIndex >= 0) {
            look.list = &s_images;
            look.index = record->m_globalImageIndex;
            look.imageMark = 0;
        }
    }
    Classify(look, state, *this);

    if (selected) {
        if (look.customCheck || look.AnyImage() || checked)
            platform::FillSolidRect(dc, Box(L + W + 5, T, Rt, B), SysColor(COLOR_HIGHLIGHT));
        else
            platform::FillSolidRect(dc, R.ToWx(), SysColor(COLOR_HIGHLIGHT));
        textColour = SysColor(COLOR_HIGHLIGHTTEXT);
    } else {
        platform::FillSolidRect(dc, R.ToWx(), bg);
    }

    int dy = (h - 4 - H) / 2;
    if (dy < 0) dy = 0;

    if (look.customCheck || look.AnyImage()) {
        const wxRect inner = Box(L + 1, T + dy + 1, L + W + 3, T + H + dy + 3);
        const wxRect outer = Box(L, T + dy, L + W + 4, T + H + dy + 4);
        const int px = L + 2, py = T + dy + 2;
        const COLORREF shadow = SysColor(COLOR_BTNSHADOW), light = SysColor(COLOR_BTNHIGHLIGHT);
        platform::Draw3dRect(dc, inner, bg, bg);
        if (look.customCheck && m_checkMarkImages) {
            platform::FillSolidRect(dc, inner, bg);
            platform::Draw3dRect(dc, outer, bg, bg);
            DrawListImage(dc, m_checkMarkImages, selected ? 1 : 0, px, py);
        } else if (look.grayedImage) {
            platform::Draw3dRect(dc, outer, bg, bg);
            DrawDisabledImage(dc, look.list, look.index, px, py, bg);
        } else if (look.selectedImage) {
            platform::FillSolidRect(dc, inner, bg);
            if (IsRecognisedShell()) {
                if (checked)
                    platform::Draw3dRect(dc, outer, shadow, light);
                else
                    platform::Draw3dRect(dc, outer, light, shadow);
            }
            DrawListImage(dc, look.list, look.index, px, py);
        } else {
            if (checked) {
                platform::FillSolidRect(dc, inner, BlendTowardWhite(bg, 0.6));
                if (IsRecognisedShell()) platform::Draw3dRect(dc, outer, shadow, light);
            } else {
                platform::FillSolidRect(dc, inner, bg);
                platform::Draw3dRect(dc, outer, bg, bg);
            }
            DrawListImage(dc, look.list, look.index, px, py);
        }
    }

    if (look.imageMark < 0 && checked && !look.customCheck) {
        const CRect box(L + 1, T + dy + 2, L + W + 1, T + H + dy + 2);
        DrawClassicCheckBox(dc, box, selected ? TRUE : FALSE, IsRadioCheck(item) ? TRUE : FALSE);
    }

    if (!look.caption.empty()) {
        const CaptionParts parts = SplitCaption(look.caption);
        CRect text(L + W + 9, T - 1, Rt, B - 1);
        if (parts.hasTab) text.right -= W;
        dc.SetBackgroundMode(wxTRANSPARENT);
        if (!grayed) {
            dc.SetTextForeground(platform::ToColour(textColour));
            DrawCaption(dc, parts, text.ToWx());
        } else if (!selected) {
            CRect lit = text;
            lit.OffsetRect(1, 1);
            dc.SetTextForeground(platform::ToColour(SysColor(COLOR_BTNHIGHLIGHT)));
            DrawCaption(dc, parts, lit.ToWx());
            dc.SetTextForeground(platform::ToColour(SysColor(COLOR_GRAYTEXT)));
            DrawCaption(dc, parts, text.ToWx());
        } else {
            dc.SetTextForeground(platform::ToColour(bg));
            DrawCaption(dc, parts, text.ToWx());
        }
    }

    // The submenu arrow of a popup entry, in the caption's colours.
    if (record && (record->m_flags & MF_POPUP)) {
        if (grayed && !selected)
            platform::DrawSubmenuArrow(dc, Box(L + 1, T + 1, Rt + 1, B + 1), SysColor(COLOR_BTNHIGHLIGHT));
        platform::DrawSubmenuArrow(dc, R.ToWx(), !grayed ? textColour : selected ? bg : SysColor(COLOR_GRAYTEXT));
    }
}

// ---------------------------------------------------------------------------------------------
// The flat look

void KiroMenu::DrawItemFlat(DRAWITEMSTRUCT* item)
{
    if (!item || !item->hDC) return;
    const CRect R(item->rcItem);
    const int L = R.left, T = R.top, Rt = R.right, B = R.bottom, h = R.Height();
    const int W = m_imageWidth, H = m_imageHeight;
    const auto* record = reinterpret_cast<const KiroMenuData*>(item->itemData);

    const int pad = s_flatImageEffects ? 7 : 4;
    const int barWidth = W + pad;
    const int dx = HalfOffset(barWidth - W), dy = HalfOffset(h - H);
    const wxRect bar = Box(L, T, L + barWidth, B);

    const bool xp = IsXpThemed() != FALSE;
    const COLORREF wc = SysColor(COLOR_WINDOW);
    const COLORREF tint = xp ? SysColor(COLOR_BTNFACE) : BlendTowardWhite(SysColor(COLOR_BTNFACE), 0.25);
    const COLORREF hc = SysColor(COLOR_HIGHLIGHT);
    const COLORREF sc = BlendTowardWhite(hc, xp ? 0.7 : 0.85);
    const COLORREF checkedFill = BlendTowardWhite(hc, 0.85);

    // A disabled item that is never highlighted is composed off screen in the menu font.
    std::unique_ptr<KiroMenuMemDC> offScreen;
    if ((item->itemState & ODS_GRAYED) && !s_selectDisabledFlat) {
        item->itemState &= ~ODS_SELECTED;
        offScreen = std::make_unique<KiroMenuMemDC>(item->hDC, &R);
        const wxFont font = MenuFont();
        if (font.IsOk()) offScreen->GetDC().SetFont(font);
    }
    wxDC& dc = offScreen ? offScreen->GetDC() : *item->hDC;
    const UINT state = item->itemState;
    const bool selected = (state & ODS_SELECTED) != 0, grayed = (state & ODS_GRAYED) != 0,
               checked = (state & ODS_CHECKED) != 0;

    if (record && (record->m_flags & MF_SEPARATOR)) {
        platform::FillSolidRect(dc, R.ToWx(), wc);
        wxRect edge = Box(L + barWidth + pad, T + (h >> 1), Rt, B);
        platform::DrawEdge(dc, edge, EDGE_ETCHED, BF_TOP);
        platform::FillSolidRect(dc, bar, tint);
        platform::Draw3dRect(dc, bar, tint, tint);
        return;  // the off-screen picture goes onto the item's context here
    }

    TextState keep(dc);
    ItemLook look;
    int faded = 1, shadowIndex = 2;
    bool copies = false;
    if (record) {
        look.imageMark = record->m_ownImageId;
        look.caption = record->GetCaption();
        look.list = record->m_ownImages;
        look.index = record->m_imageIndex;
        copies = record->m_imageIndex == 0 && s_flatImageEffects && record->m_ownImages &&
                 record->m_ownImages->GetImageCount() > 2;
        if (look.imageMark < 0 && record->m_imageIndex < 0 && record->m_globalImageIndex >= 0) {
            const int g = record->m_globalImageIndex;
            look.list = &s_images;
            look.index = g;
            look.imageMark = 0;
            copies = s_flatImageEffects && HasImageCopies(g);
            faded = g + 1;
            shadowIndex = g + 2;
        }
    }
    Classify(look, state, *this);

    if (selected) {
        platform::FillSolidRect(dc, R.ToWx(), sc);
        platform::Draw3dRect(dc, R.ToWx(), hc, hc);
    } else {
        platform::FillSolidRect(dc, R.ToWx(), wc);
        platform::FillSolidRect(dc, bar, tint);
        platform::Draw3dRect(dc, R.ToWx(), wc, wc);
        platform::Draw3dRect(dc, bar, tint, tint);
    }

    if (look.customCheck || look.AnyImage()) {
        const wxRect box = Box(L + 1, T + 1, L + barWidth - 1, B - 1);
        int px = L + dx, py = T + dy;
        if (look.customCheck && m_checkMarkImages) {
            platform::FillSolidRect(dc, box, tint);
            DrawListImage(dc, m_checkMarkImages, selected ? 1 : 0, px, py);
        } else if (look.grayedImage) {
            DrawDisabledImage(dc, look.list, look.index, px, py, selected ? sc : tint);
            if (selected) platform::Draw3dRect(dc, R.ToWx(), hc, hc);
        } else if (look.selectedImage) {
            platform::FillSolidRect(dc, box, sc);
            if (checked) {
                platform::Draw3dRect(dc, box, hc, hc);
                --px;
                --py;
            }
            if (copies && !checked) {
                DrawListImage(dc, look.list, shadowIndex, px + 1, py + 1);
                DrawListImage(dc, look.list, look.index, px - 1, py - 1);
            } else {
                DrawListImage(dc, look.list, look.index, px, py);
            }
        } else if (checked) {
            platform::FillSolidRect(dc, box, checkedFill);
            platform::Draw3dRect(dc, box, hc, hc);
            DrawListImage(dc, look.list, look.index, px - 1, py - 1);
        } else {
            platform::FillSolidRect(dc, box, tint);
            platform::Draw3dRect(dc, box, tint, tint);
            DrawListImage(dc, look.list, copies ? faded : look.index, px, py);
        }
    }

    if (look.imageMark < 0 && checked && !look.customCheck) {
        const int oy = HalfOffset(h - 16), ox = HalfOffset(barWidth - 16);
        const CRect box(L + ox, T + oy, L + ox + 16, T + oy + 16);
        DrawFlatCheckBox(dc, box, IsRadioCheck(item) ? TRUE : FALSE, hc);
    }

    if (!look.caption.empty()) {
        const CaptionParts parts = SplitCaption(look.caption);
        CRect text(L + barWidth + 8, T - 1, Rt, B - 1);
        if (parts.hasTab) text.right -= W;
        COLORREF colour = SysColor(COLOR_MENUTEXT);
        if (grayed) {
            colour = SysColor(COLOR_GRAYTEXT);
            if (!xp && !selected) colour = BlendTowardWhite(colour, 0.4);
        }
        dc.SetBackgroundMode(wxTRANSPARENT);
        dc.SetTextForeground(platform::ToColour(colour));
        DrawCaption(dc, parts, text.ToWx());
    }

    // The submenu arrow of a popup entry, in the caption's colour.
    if (record && (record->m_flags & MF_POPUP)) {
        COLORREF arrow = SysColor(COLOR_MENUTEXT);
        if (grayed)
            arrow = !xp && !selected ? BlendTowardWhite(SysColor(COLOR_GRAYTEXT), 0.4) : SysColor(COLOR_GRAYTEXT);
        platform::DrawSubmenuArrow(dc, R.ToWx(), arrow);
    }
}

// ---------------------------------------------------------------------------------------------
// Menu characters and the popup registry

LRESULT KiroMenu::FindMenuChar(UINT ch, UINT flags, CMenu* menu)
{
    auto* kiro = dynamic_cast<KiroMenu*>(menu);
    if (!kiro || !(flags & MF_POPUP)) return 0;
    const wxString key = (wxString("&") + wxString(static_cast<wchar_t>(ch & 0xFF))).Upper();
    const int count = kiro->GetMenuItemCount();
    if (count != static_cast<int>(kiro->m_items.size())) kiro->Resync();
    for (int i = 0; i < kiro->GetMenuItemCount(); ++i) {
        std::string text;
        if (!kiro->GetItemText(static_cast<UINT>(i), text, MF_BYPOSITION)) continue;
        if (wxString::FromUTF8(text).Upper().Find(key) != wxNOT_FOUND)
            return static_cast<LRESULT>((static_cast<DWORD>(MNC_EXECUTE) << 16) | static_cast<DWORD>(i & 0xFFFF));
    }
    return 0;
}

BOOL KiroMenu::IsOwnedPopup(HMENU menu)
{
    for (HMENU handle : s_popupHandles)
        if (handle == menu) return TRUE;
    return FALSE;
}

BOOL KiroMenu::IsOwnedPopup(CMenu* menu) { return menu ? IsOwnedPopup(menu->m_hMenu) : FALSE; }
