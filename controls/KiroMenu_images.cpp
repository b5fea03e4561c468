// Item images of the owner-drawn menu family: bitmaps loaded into image lists (with the system
// colours mapped for 16-colour bitmaps), the process-wide image list keyed by command id, the faded
// and shadow copies of the flat look, the embossed picture of a disabled image, the check-mark
// boxes, the colour swatch, and keeping the top-level popup entries of a loaded menu in line with
// the records.
//
// Bitmaps are wxImage pixels throughout: no memory DC is needed (nor is there one without a
// display), and the copies are made pixel by pixel once, when an image enters a list.
#include <algorithm>
#include <optional>

#include "controls/KiroMenu.h"
#include "controls/KiroMenuToolBar.h"
#include "platform/resources.h"
#include "platform/toolbar.h"

namespace {

constexpr COLORREF kInvalidColour = 0xFFFFFFFFu;  // the colour read back from a pixel that is not there

COLORREF PixelAt(const wxImage& image, int x, int y)
{
    return RGB(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
}

void PutPixel(wxImage& image, int x, int y, COLORREF c)
{
    image.SetRGB(x, y, GetRValue(c), GetGValue(c), GetBValue(c));
}

// A plain image of w by h in one colour.
wxImage SolidImage(int w, int h, COLORREF colour)
{
    wxImage image(std::max(w, 1), std::max(h, 1), false);
    image.SetRGB(wxRect(0, 0, image.GetWidth(), image.GetHeight()), GetRValue(colour), GetGValue(colour),
                 GetBValue(colour));
    return image;
}

// Paints an opaque image onto dc at (x, y), run by run of equal colours: pixel-exact on every DC.
void PaintImage(wxDC& dc, const wxImage& image, int x, int y)
{
    for (int py = 0; py < image.GetHeight(); ++py) {
        int run = 0;
        while (run < image.GetWidth()) {
            const COLORREF c = PixelAt(image, run, py);
            int end = run + 1;
            while (end < image.GetWidth() && PixelAt(image, end, py) == c) ++end;
            platform::FillSolidRect(dc, wxRect(x + run, y + py, end - run, 1), c);
            run = end;
        }
    }
}

// Paints colour onto dc at (x, y) wherever figure is true (a w by h grid, row-major).
void PaintFigure(wxDC& dc, const std::vector<bool>& figure, int w, int h, int x, int y, COLORREF colour)
{
    for (int py = 0; py < h; ++py) {
        int px = 0;
        while (px < w) {
            if (!figure[static_cast<std::size_t>(py * w + px)]) {
                ++px;
                continue;
            }
            int end = px + 1;
            while (end < w && figure[static_cast<std::size_t>(py * w + end)]) ++end;
            platform::FillSolidRect(dc, wxRect(x + px, y + py, end - px, 1), colour);
            px = end;
        }
    }
}

// Adds a bitmap to a list as the list cuts bitmaps: one image per list width of the bitmap (at
// least one), each as wide and high as the list's images, taken from the bitmap's top-left part and
// padded with the transparent colour where the bitmap is smaller. The index of the first image
// added, -1 when nothing was added.
int AddStrip(CImageList& list, const wxImage& bitmap, COLORREF transparent)
{
    int cx = 0, cy = 0;
    if (!bitmap.IsOk() || !list.GetImageSize(&cx, &cy)) return -1;
    const int count = std::max(1, bitmap.GetWidth() / cx);
    int first = -1;
    for (int k = 0; k < count; ++k) {
        wxImage piece = SolidImage(cx, cy, transparent);
        const int w = std::min(cx, bitmap.GetWidth() - k * cx);
        const int h = std::min(cy, bitmap.GetHeight());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) PutPixel(piece, x, y, PixelAt(bitmap, k * cx + x, y));
        const int index = list.Add(piece, transparent);
        if (index < 0) break;
        if (first < 0) first = index;
    }
    return first;
}

bool CopiesAreMade() { return KiroMenu::IsFlatDrawMode() && KiroMenu::s_flatImageEffects; }

}  // namespace

// The faded and the shadow copy of the list's first image, added after it.
void KiroMenu::AddEffectCopiesOfFirst(CImageList* list)
{
    const COLORREF face = platform::SysColor(COLOR_BTNFACE);
    wxImage faded, shadow;
    GetImageBitmap(list, 0, &faded);
    FadeBitmap(&faded);
    list->Add(faded, face);
    GetImageBitmap(list, 0, &shadow);
    ShadowBitmap(&shadow);
    list->Add(shadow, face);
}

// ---------------------------------------------------------------------------------------------
// The toolbar reader

KiroMenuToolBar::~KiroMenuToolBar() = default;

// ---------------------------------------------------------------------------------------------
// Bitmaps into image lists

COLORREF KiroMenu::ImageTransparentColour() const
{
    return m_hasImageBackground ? m_imageBackground : platform::SysColor(COLOR_BTNFACE);
}

std::uint16_t KiroMenu::DibColorCount(const BITMAPINFOHEADER* header)
{
    if (header == nullptr) return 0;
    if (header->biClrUsed != 0) return static_cast<std::uint16_t>(header->biClrUsed & 0xFFFF);
    switch (header->biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

wxImage KiroMenu::LoadSysColorBitmap(UINT bitmapId)
{
    const platform::ResourceEntry* entry =
        platform::FindResource(platform::ResType::Bitmap, static_cast<int>(bitmapId));
    if (entry == nullptr) return wxImage();
    const std::optional<BITMAPINFOHEADER> header = platform::ReadBitmapInfoHeader(*entry);
    if (!header || DibColorCount(&*header) != 16) return wxImage();
    return platform::LoadSysColorBitmap(*entry);
}

BOOL KiroMenu::AddBitmapToImageList(CImageList* list, UINT bitmapId)
{
    if (list == nullptr) return FALSE;
    const COLORREF transparent = ImageTransparentColour();
    wxImage bitmap = LoadSysColorBitmap(bitmapId);
    if (!bitmap.IsOk()) bitmap = platform::LoadImageResource(platform::ResType::Bitmap, static_cast<int>(bitmapId));
    const bool added = bitmap.IsOk() && AddStrip(*list, bitmap, transparent) >= 0;
    if (added && CopiesAreMade()) AddEffectCopiesOfFirst(list);
    return added ? TRUE : FALSE;
}

BOOL KiroMenu::GetImageBitmap(CImageList* list, int index, wxImage* bitmap)
{
    if (bitmap == nullptr) return FALSE;
    const int w = m_imageWidth, h = m_imageHeight;
    const COLORREF face = platform::SysColor(COLOR_BTNFACE);
    *bitmap = SolidImage(w, h, face);
    wxImage icon = list ? list->GetImage(index) : wxImage();
    if (!icon.IsOk()) return TRUE;
    if (icon.GetWidth() != w || icon.GetHeight() != h) icon.Rescale(w, h, wxIMAGE_QUALITY_NEAREST);
    const bool masked = icon.HasMask();
    const unsigned char mr = masked ? icon.GetMaskRed() : 0, mg = masked ? icon.GetMaskGreen() : 0,
                        mb = masked ? icon.GetMaskBlue() : 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned char r = icon.GetRed(x, y), g = icon.GetGreen(x, y), b = icon.GetBlue(x, y);
            if (masked && r == mr && g == mg && b == mb) continue;
            if (icon.HasAlpha()) {
                const unsigned a = icon.GetAlpha(x, y);
                auto mix = [a](unsigned v, unsigned under) {
                    return static_cast<BYTE>((v * a + under * (255 - a) + 127) / 255);
                };
                PutPixel(*bitmap, x, y, RGB(mix(r, GetRValue(face)), mix(g, GetGValue(face)), mix(b, GetBValue(face))));
            } else {
                PutPixel(*bitmap, x, y, RGB(r, g, b));
            }
        }
    }
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// The process-wide image list

int KiroMenu::AddToGlobalImageList(CImageList* list, int index, UINT commandId)
{
    if (!s_images.GetSafeHandle()) s_images.Create(m_imageWidth, m_imageHeight, ILC_COLORDDB | ILC_MASK, 1, 1);
    const wxImage icon = list ? list->GetImage(index) : wxImage();
    if (!icon.IsOk()) return -1;
    const bool copies = CopiesAreMade();
    wxImage faded, shadow;
    if (copies) {
        GetImageBitmap(list, index, &faded);
        FadeBitmap(&faded);
        GetImageBitmap(list, index, &shadow);
        ShadowBitmap(&shadow);
    }
    const COLORREF face = platform::SysColor(COLOR_BTNFACE);
    const int key = static_cast<int>(commandId);
    const auto found = std::find(s_imageCommandIds.begin(), s_imageCommandIds.end(), key);
    if (found != s_imageCommandIds.end()) {
        const int p = static_cast<int>(found - s_imageCommandIds.begin());
        s_images.Replace(p, icon);
        if (copies && HasImageCopies(p)) {
            CImageList temporary;
            temporary.Create(m_imageWidth, m_imageHeight, ILC_COLORDDB | ILC_MASK, 1, 1);
            temporary.Add(faded, face);
            temporary.Add(shadow, face);
            const wxImage fadedIcon = temporary.GetImage(0), shadowIcon = temporary.GetImage(1);
            if (fadedIcon.IsOk()) s_images.Replace(p + 1, fadedIcon);
            if (shadowIcon.IsOk()) s_images.Replace(p + 2, shadowIcon);
        }
        return p;
    }
    const int result = static_cast<int>(s_imageCommandIds.size());
    // The ids and the images grow together: an id is kept only for an image that went in.
    if (s_images.Add(icon) < 0) return -1;
    s_imageCommandIds.push_back(key);
    if (copies) {
        if (s_images.Add(faded, face) >= 0) s_imageCommandIds.push_back(key);
        if (s_images.Add(shadow, face) >= 0) s_imageCommandIds.push_back(key);
    }
    return result;
}

int KiroMenu::FindGlobalImage(UINT commandId)
{
    const auto found = std::find(s_imageCommandIds.begin(), s_imageCommandIds.end(), static_cast<int>(commandId));
    return found == s_imageCommandIds.end() ? -1 : static_cast<int>(found - s_imageCommandIds.begin());
}

BOOL KiroMenu::HasImageCopies(int index)
{
    if (index < 0) return FALSE;
    const auto n = s_imageCommandIds.size();
    const auto i = static_cast<std::size_t>(index);
    if (i + 2 >= n) return FALSE;
    return s_imageCommandIds[i + 1] == s_imageCommandIds[i] && s_imageCommandIds[i + 2] == s_imageCommandIds[i] ? TRUE
                                                                                                                : FALSE;
}

BOOL KiroMenu::CopyImageToList(CImageList* source, int index, CImageList* target)
{
    if (source == nullptr || target == nullptr || index < 0) return FALSE;
    // An image the source does not have gives nothing to copy, and no copies made of nothing.
    const wxImage icon = source->GetImage(index);
    if (!icon.IsOk()) return FALSE;
    int cx = 0, cy = 0;
    source->GetImageSize(&cx, &cy);
    target->DeleteImageList();
    if (!target->Create(cx, cy, ILC_COLORDDB | ILC_MASK, 1, 1)) return FALSE;
    target->Add(icon);
    if (CopiesAreMade()) AddEffectCopiesOfFirst(target);
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Faded and shadow copies

void KiroMenu::RecolourFigure(wxImage* bitmap, const std::function<COLORREF(COLORREF)>& colourOf)
{
    if (bitmap == nullptr || !bitmap->IsOk()) return;
    const int w = bitmap->GetWidth(), h = bitmap->GetHeight();
    // The button face as it reads back from a bitmap of this format; a bitmap without a pixel
    // (1, 1) reads back no colour at all, so every pixel changes.
    const COLORREF reference = (w >= 2 && h >= 2) ? platform::SysColor(COLOR_BTNFACE) : kInvalidColour;
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            const COLORREF c = PixelAt(*bitmap, x, y);
            if (c != reference) PutPixel(*bitmap, x, y, colourOf(c));
        }
}

void KiroMenu::FadeBitmap(wxImage* bitmap)
{
    RecolourFigure(bitmap, [](COLORREF c) { return BlendTowardWhite(c, 0.3); });
}

void KiroMenu::ShadowBitmap(wxImage* bitmap)
{
    const COLORREF shadow = platform::SysColor(COLOR_BTNSHADOW);
    const COLORREF colour = IsXpThemed() ? shadow : BlendTowardWhite(shadow, 0.49);
    RecolourFigure(bitmap, [colour](COLORREF) { return colour; });
}

// ---------------------------------------------------------------------------------------------
// Disabled images

void KiroMenu::DrawEmbossedImage(wxDC& dc, int x, int y, int width, int height, wxImage* bitmap, int srcX, int srcY,
                                 COLORREF background)
{
    if (bitmap == nullptr || !bitmap->IsOk() || width <= 0 || height <= 0) return;
    const COLORREF face = platform::SysColor(COLOR_BTNFACE);
    const COLORREF hilight = platform::SysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = platform::SysColor(COLOR_BTNSHADOW);
    // The figure: every pixel that is neither the button face nor the highlight colour.
    std::vector<bool> figure(static_cast<std::size_t>(width * height), false);
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px) {
            const int sx = srcX + px, sy = srcY + py;
            if (sx < 0 || sy < 0 || sx >= bitmap->GetWidth() || sy >= bitmap->GetHeight()) continue;
            const COLORREF c = PixelAt(*bitmap, sx, sy);
            figure[static_cast<std::size_t>(py * width + px)] = c != face && c != hilight;
        }
    auto figureAt = [&](int px, int py) {
        return px >= 0 && py >= 0 && px < width && py < height && figure[static_cast<std::size_t>(py * width + px)];
    };
    // The bitmap becomes the work surface: background, then the highlight figure in place.
    wxImage work = SolidImage(width, height, background);
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px)
            if (figureAt(px, py)) PutPixel(work, px, py, hilight);
    PaintImage(dc, work, x + 1, y + 1);
    // Then the highlight figure one pixel to the right and below, and the shadow figure in place.
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px) {
            if (figureAt(px, py))
                PutPixel(work, px, py, shadow);
            else if (figureAt(px - 1, py - 1))
                PutPixel(work, px, py, hilight);
        }
    PaintImage(dc, work, x, y);
    for (int py = 0; py < std::min(height, bitmap->GetHeight()); ++py)
        for (int px = 0; px < std::min(width, bitmap->GetWidth()); ++px)
            PutPixel(*bitmap, px, py, PixelAt(work, px, py));
}

void KiroMenu::DrawEmbossedImageDib(wxDC& dc, int x, int y, int width, int height, const wxImage& bitmap, int srcX,
                                    int srcY, COLORREF background)
{
    if (!bitmap.IsOk() || width <= 0 || height <= 0) return;
    // To one bit per pixel by the nearer of black and white: dark pixels are the figure, light
    // ones (the button face among them) the ground. Pixels outside the bitmap are ground.
    std::vector<bool> figure(static_cast<std::size_t>(width * height), false);
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px) {
            const int sx = srcX + px, sy = srcY + py;
            if (sx < 0 || sy < 0 || sx >= bitmap.GetWidth() || sy >= bitmap.GetHeight()) continue;
            figure[static_cast<std::size_t>(py * width + px)] = platform::GreyValue(PixelAt(bitmap, sx, sy)) < 128;
        }
    platform::FillSolidRect(dc, wxRect(x, y, width, height), background);
    PaintFigure(dc, figure, width, height, x + 1, y + 1, platform::SysColor(COLOR_BTNHIGHLIGHT));
    PaintFigure(dc, figure, width, height, x, y, platform::SysColor(COLOR_BTNSHADOW));
}

// ---------------------------------------------------------------------------------------------
// Check-mark boxes

BOOL KiroMenu::DrawClassicCheckBox(wxDC& dc, const CRect& rect, BOOL selected, BOOL radio)
{
    COLORREF colour = platform::SysColor(IsXpThemed() ? COLOR_BTNFACE : COLOR_MENU);
    if (!selected) colour = BlendTowardWhite(colour, 0.6);
    platform::FillSolidRect(dc, rect.ToWx(), colour);
    if (IsRecognisedShell()) {
        wxRect edge = rect.ToWx();
        platform::DrawEdge(dc, edge, BDR_SUNKENOUTER, BF_RECT);
    }
    const COLORREF text = platform::SysColor(COLOR_MENUTEXT);
    if (radio)
        DrawRadioGlyph(dc, rect.left + 5, rect.top + 4, text);
    else
        DrawCheckGlyph(dc, rect.left + 4, rect.top + 4, text);
    return TRUE;
}

BOOL KiroMenu::DrawFlatCheckBox(wxDC& dc, const CRect& rect, BOOL radio, const COLORREF& frameColour)
{
    platform::FillSolidRect(dc, rect.ToWx(), BlendTowardWhite(frameColour, 0.85));
    platform::Draw3dRect(dc, rect.ToWx(), frameColour, frameColour);
    const COLORREF text = platform::SysColor(COLOR_MENUTEXT);
    if (radio)
        DrawRadioGlyph(dc, rect.left + 5, rect.top + 4, text);
    else
        DrawCheckGlyph(dc, rect.left + 5, rect.top + 4, text);
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Colour swatch

namespace {

// Whether the hatch of a style passes through the pixel (x, y) of the bitmap: lines 8 pixels
// apart, laid from the bitmap's origin.
bool OnHatch(int style, int x, int y)
{
    const int u = ((x % 8) + 8) % 8, v = ((y % 8) + 8) % 8;
    switch (style) {
    case HS_HORIZONTAL: return v == 0;
    case HS_VERTICAL: return u == 0;
    case HS_FDIAGONAL: return u == v;
    case HS_BDIAGONAL: return (u + v) % 8 == 7;
    case HS_CROSS: return u == 0 || v == 0;
    case HS_DIAGCROSS: return u == v || (u + v) % 8 == 7;
    default: return true;  // an unknown style paints like a solid brush
    }
}

}  // namespace

void KiroMenu::CreateSwatchBitmap(wxImage* bitmap, int width, int height, int bitmapWidth, int bitmapHeight,
                                  COLORREF fill, COLORREF border, int hatchStyle)
{
    if (bitmap == nullptr) return;
    const COLORREF background = platform::SysColor(IsXpThemed() ? COLOR_BTNFACE : COLOR_MENU);
    // A new bitmap of a memory context holds black until something is painted on it.
    *bitmap = SolidImage(bitmapWidth, bitmapHeight, RGB(0, 0, 0));
    int left = 0, top = 0;
    if (width != bitmapWidth || height != bitmapHeight) {
        *bitmap = SolidImage(bitmapWidth, bitmapHeight, background);
        left = (bitmapWidth - width) / 2;
        top = (bitmapHeight - height) / 2;
    }
    const int right = left + width, bottom = top + height;
    const int bw = bitmap->GetWidth(), bh = bitmap->GetHeight();
    // The hatch's gaps show the context's background colour, white.
    const COLORREF gap = RGB(255, 255, 255);
    for (int y = std::max(top, 0); y < std::min(bottom, bh); ++y)
        for (int x = std::max(left, 0); x < std::min(right, bw); ++x) {
            const bool edge = x == left || x == right - 1 || y == top || y == bottom - 1;
            COLORREF c = border;
            if (!edge) c = (hatchStyle == -1 || OnHatch(hatchStyle, x, y)) ? fill : gap;
            PutPixel(*bitmap, x, y, c);
        }
}

// ---------------------------------------------------------------------------------------------
// Top-level entries of a loaded menu

int KiroMenu::GetMenuBarOffset()
{
    if (!m_loaded) return 0;
    const int count = GetMenuItemCount();
    for (int i = 0; i < count; ++i) {
        const std::string text = platform::Utf16ToUtf8(CMenu::GetMenuString(static_cast<UINT>(i), MF_BYPOSITION));
        if (text.empty()) continue;
        for (std::size_t j = 0; j < m_items.size(); ++j) {
            if (m_items[j]->GetCaption() != text) continue;
            const int jj = static_cast<int>(j);
            return i >= jj ? i - jj : 0;
        }
    }
    return 0;
}

void KiroMenu::SyncMenuBarPopups()
{
    int p = GetMenuBarOffset();
    std::size_t j = 0;
    const std::size_t records = m_items.size();
    while (p < GetMenuItemCount()) {
        if (j < records) {
            KiroMenuData* record = m_items[j];
            const HMENU popup = platform::GetSubMenu(m_hMenu, p);
            if (popup) {
                record->m_flags = MF_POPUP | MF_BYPOSITION;
                const std::u16string caption = platform::Utf8ToUtf16(record->GetCaption());
                CMenu::ModifyMenu(static_cast<UINT>(p), MF_POPUP | MF_BYPOSITION, reinterpret_cast<UINT_PTR>(popup),
                                  caption.c_str());
            }
        }
        ++p;
        ++j;
    }
}

// ---------------------------------------------------------------------------------------------
// Toolbar images for the items of its commands

BOOL KiroMenu::GetToolbarImageOffset(UINT commandId, UINT toolbarId, int* imageOffset)
{
    CToolBar toolbar;
    toolbar.Create(nullptr);
    if (!toolbar.LoadToolBar(toolbarId)) return FALSE;
    const int index = toolbar.CommandToIndex(commandId);
    if (index < 0) return FALSE;
    UINT id = 0, style = 0;
    int image = 0;
    toolbar.GetButtonInfo(index, id, style, image);
    if (image > 0 && imageOffset) *imageOffset = image;
    return TRUE;
}

void KiroMenu::SetToolbarItemImages(CToolBar* toolbar, UINT bitmapId)
{
    if (toolbar == nullptr) return;
    for (int i = 0; i < toolbar->GetCount(); ++i) {
        UINT id = 0, style = 0;
        int image = 0;
        toolbar->GetButtonInfo(i, id, style, image);
        if (id == 0 || GetMenuState(id, MF_BYCOMMAND) == MENU_FAILED) continue;
        int position = -1;
        KiroMenu* owner = FindOwner(id, position);
        // The record the item carries, kept by the item's own menu; a new one when it has none,
        // kept by this menu when no family menu holds the item.
        const bool inFamily = owner != nullptr && position >= 0;
        KiroMenu* keeper = inFamily ? owner : this;
        KiroMenuData* record = nullptr;
        if (inFamily) {
            const auto found = owner->RecordOfItemAt(static_cast<UINT>(position), id);
            if (found != owner->m_items.end()) record = *found;
        }
        if (record == nullptr) {
            record = new KiroMenuData;
            keeper->m_items.push_back(record);
        }
        record->m_ownImageId = static_cast<int>(bitmapId);
        record->m_commandId = id;
        record->m_flags = MF_OWNERDRAW;
        record->m_imageIndex = image;
        if (record->m_ownImages)
            record->m_ownImages->DeleteImageList();
        else
            record->m_ownImages = new CImageList;
        record->m_ownImages->Create(m_imageWidth, m_imageHeight, ILC_COLORDDB | ILC_MASK, 1, 1);
        if (!AddBitmapToImageList(record->m_ownImages, bitmapId)) {
            delete record->m_ownImages;
            record->m_ownImages = nullptr;
            record->m_ownImageId = -1;
            record->m_imageIndex = -1;
        }
        if (inFamily)
            owner->CMenu::ModifyMenu(static_cast<UINT>(position), MF_BYPOSITION | record->m_flags, id,
                                     static_cast<const void*>(record));
        else
            CMenu::ModifyMenu(id, MF_BYCOMMAND | record->m_flags, id, static_cast<const void*>(record));
    }
}
