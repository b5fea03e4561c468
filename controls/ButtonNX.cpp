#include "controls/ButtonNX.h"

#include <algorithm>
#include <cstring>

#include <wx/dcclient.h>
#include <wx/dcgraph.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/tooltip.h>
#include <wx/toplevel.h>

#include "platform/dialog_template.h"
#include "platform/resources.h"

namespace {

// The toolkit's draw signal of the native button: the button paints itself instead (returning
// true keeps the native drawing from running).
int DrawSignal(void* /*widget*/, void* cairo, void* data)
{
    auto* button = static_cast<CButtonNX*>(data);
    wxGraphicsRenderer* renderer = wxGraphicsRenderer::GetCairoRenderer();
    const wxSize size = button->GetClientSize();
    if (renderer == nullptr || cairo == nullptr || size.x <= 0 || size.y <= 0) return 0;
    // Painted off screen first, on the same kind of DC the pixel tests use (a DC over a native
    // context knows no size of its own and clips text away), then shown in one piece. Smoothing
    // stays on, so the caption is drawn smoothed like the native texts beside it; the drawing
    // helpers fill whole pixels, which smoothing leaves exact.
    wxImage image(size);
    {
        wxGraphicsContext* off = wxGraphicsContext::Create(image);
        if (off == nullptr) return 0;
        off->SetAntialiasMode(wxANTIALIAS_DEFAULT);
        wxGCDC offDC(off);
        button->PaintWindow(offDC);
    }
    wxGraphicsContext* gc = renderer->CreateContextFromNativeContext(cairo);
    if (gc == nullptr) return 0;
    wxGCDC dc(gc);
    dc.DrawBitmap(wxBitmap(image), 0, 0, false);
    return 1;
}

wxImage Resized(wxImage image, int width, int height)
{
    if (!image.IsOk()) return image;
    const int w = width > 0 ? width : image.GetWidth();
    const int h = height > 0 ? height : image.GetHeight();
    if (w != image.GetWidth() || h != image.GetHeight()) image.Rescale(w, h, wxIMAGE_QUALITY_HIGH);
    return image;
}

wxIcon IconFromImage(const wxImage& image)
{
    wxIcon icon;
    if (image.IsOk()) icon.CopyFromBitmap(wxBitmap(image));
    return icon;
}

}  // namespace

// ---------------------------------------------------------------- construction

CButtonNX::CButtonNX() { Init(); }

CButtonNX::CButtonNX(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos, const wxSize& size,
                     long style)
{
    Init();
    Create(parent, id, label, pos, size, style);
}

void CButtonNX::Init()
{
    ResetColors(FALSE);
    SetPressOffsetStyle(0, FALSE);
    SetLinkTarget(nullptr);
    FreeImages(FALSE);
    m_menuNotify = MenuNotify{};
    m_sounds[0] = ButtonSound{};
    m_sounds[1] = ButtonSound{};
}

bool CButtonNX::Create(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos, const wxSize& size,
                       long style)
{
    // No native label: the caption is painted by the button (GetLabel still gives it).
    if (!wxButton::Create(parent, id, label, pos, size, style | wxBU_NOTEXT)) return false;
    wxButton::SetLabel(label);  // a button without native text does not keep the label given to Create
    GTKConnectWidget("draw", reinterpret_cast<wxGTKCallback>(&DrawSignal));
    Bind(wxEVT_LEFT_DOWN, &CButtonNX::OnMouse, this);
    Bind(wxEVT_LEFT_UP, &CButtonNX::OnMouse, this);
    Bind(wxEVT_LEFT_DCLICK, &CButtonNX::OnMouse, this);
    Bind(wxEVT_ENTER_WINDOW, &CButtonNX::OnMouse, this);
    Bind(wxEVT_LEAVE_WINDOW, &CButtonNX::OnMouse, this);
    Bind(wxEVT_MOTION, &CButtonNX::OnMouse, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) {
        m_mouseDown = false;
        Refresh();
        OnCancelMode();
    });
    Bind(wxEVT_SET_CURSOR, [this](wxSetCursorEvent& event) {
        if (OnSetCursor())
            event.SetCursor(m_hoverCursor);
        else
            event.Skip();
    });
    Bind(wxEVT_SYS_COLOUR_CHANGED, [this](wxSysColourChangedEvent& event) {
        event.Skip();  // the window's own handling as well
        OnSysColorChange();
    });
    Bind(wxEVT_KEY_DOWN, &CButtonNX::OnKey, this);
    Bind(wxEVT_KEY_UP, &CButtonNX::OnKey, this);
    Bind(wxEVT_SET_FOCUS, &CButtonNX::OnFocus, this);
    Bind(wxEVT_KILL_FOCUS, &CButtonNX::OnFocus, this);
    Bind(wxEVT_BUTTON, &CButtonNX::OnClicked, this);
    BindTopLevel();
    return true;
}

void CButtonNX::BindTopLevel()
{
    // The hover ends when the window's top-level window is deactivated.
    m_topLevel = wxGetTopLevelParent(this);
    if (m_topLevel != nullptr && m_topLevel != this)
        m_topLevel->Bind(wxEVT_ACTIVATE, &CButtonNX::OnTopLevelActivate, this);
    else
        m_topLevel = nullptr;
}

CButtonNX::~CButtonNX()
{
    if (m_topLevel != nullptr) m_topLevel->Unbind(wxEVT_ACTIVATE, &CButtonNX::OnTopLevelActivate, this);
    FreeImages(TRUE);
    m_hoverCursor = wxCursor();
    if (m_menu.GetSafeHmenu() != nullptr) m_menu.DestroyMenu();
    m_bgBitmap = wxBitmap();
    delete m_toolTip;
    m_toolTip = nullptr;
}

void CButtonNX::Repaint(BOOL repaint)
{
    if (repaint && GetHandle() != nullptr) Refresh(true);
}

// ---------------------------------------------------------------- colours and looks

DWORD CButtonNX::ResetColors(BOOL repaint)
{
    const COLORREF face = platform::SysColor(COLOR_BTNFACE), text = platform::SysColor(COLOR_BTNTEXT);
    m_colors[HotBack] = face;
    m_colors[IdleBack] = face;
    m_colors[FocusBack] = face;
    m_colors[HotText] = text;
    m_colors[IdleText] = text;
    m_colors[FocusText] = text;
    Repaint(repaint);
    return 0;
}

DWORD CButtonNX::SetStateColor(BYTE index, COLORREF colour, BOOL repaint)
{
    if (index > 5) return 3;
    m_colors[index] = colour;
    Repaint(repaint);
    return 0;
}

DWORD CButtonNX::GetStateColor(BYTE index, COLORREF* colour) const
{
    if (index > 5) return 3;
    if (colour != nullptr) *colour = m_colors[index];
    return 0;
}

DWORD CButtonNX::ShadeStateColor(BYTE index, short shade, BOOL repaint)
{
    if (index > 5) return 3;
    if (shade < -255 || shade > 255) return 5;
    const COLORREF c = m_colors[index];
    const int comp[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
    int step = shade;
    for (int v : comp) {
        if (shade > 0) {
            const int room = v + shade <= 255 ? shade : 255 - v;
            step = std::min(step, room);
        } else {
            const int room = v + shade >= 0 ? shade : -v;
            step = std::max(step, room);
        }
    }
    m_colors[index] =
        RGB(static_cast<BYTE>(comp[0] + step), static_cast<BYTE>(comp[1] + step), static_cast<BYTE>(comp[2] + step));
    Repaint(repaint);
    return 0;
}

DWORD CButtonNX::SetFlatLook(BOOL flat, BOOL repaint)
{
    m_flat = flat;
    if (!flat) m_hover = FALSE;  // hover is a state of the flat look only
    Repaint(repaint);
    return 0;
}

DWORD CButtonNX::SetImageAlign(BYTE align, BOOL repaint)
{
    if (align > ImageAtOrigin) return 4;
    m_imageAlign = align;
    Repaint(repaint);
    return 0;
}

DWORD CButtonNX::SetPressOffsetStyle(BYTE style, BOOL repaint)
{
    if (style == 0)
        m_pressOffset = wxPoint(1, 1);
    else if (style == 1)
        m_pressOffset = wxPoint(0, 2);
    else
        return 6;
    Repaint(repaint);
    return 0;
}

DWORD CButtonNX::EnableBorder(BOOL border, BOOL repaint)
{
    m_drawBorder = border;
    Repaint(repaint);
    return 0;
}

DWORD CButtonNX::EnableFlatFocus(BOOL focus, BOOL repaint)
{
    m_flatFocus = focus;
    Repaint(repaint);
    return 0;
}

void CButtonNX::DropBackgroundCopy() { m_bgBitmap = wxBitmap(); }

void CButtonNX::EnableTransparency(BOOL repaint)
{
    m_transparent = TRUE;
    DropBackgroundCopy();
    Repaint(repaint);
}

DWORD CButtonNX::CaptureBackground(wxDC* dc)
{
    if (!m_transparent || dc == nullptr) return 5;
    DropBackgroundCopy();
    const wxSize client = GetHandle() != nullptr ? GetClientSize() : GetSize();
    const wxPoint at = GetHandle() != nullptr ? GetPosition() : wxPoint();
    if (client.x <= 0 || client.y <= 0) return 0;
    wxBitmap copy(client.x, client.y);
    {
        wxMemoryDC mem(copy);
        mem.Blit(0, 0, client.x, client.y, dc, at.x, at.y);
    }
    m_bgBitmap = copy;
    return 0;
}

void CButtonNX::PaintParentBackground(wxDC& dc)
{
    wxWindow* parent = GetParent();
    const wxSize client = GetClientSize();
    if (!m_bgBitmap.IsOk() && parent != nullptr && client.x > 0 && client.y > 0) {
        // GTK 3 window DCs cannot be read back: the copy is the parent's background as it paints
        // it (its background colour). CaptureBackground takes real pixels from a DC given.
        wxBitmap copy(client.x, client.y);
        {
            wxMemoryDC mem(copy);
            mem.SetBackground(wxBrush(parent->GetBackgroundColour()));
            mem.Clear();
        }
        m_bgBitmap = copy;
    }
    if (m_bgBitmap.IsOk()) dc.DrawBitmap(m_bgBitmap, 0, 0, false);
}

// ---------------------------------------------------------------- images

void CButtonNX::FreeImages(BOOL /*destroy*/)
{
    // The images are values: dropping the records releases them.
    for (ButtonIcon& i : m_icons) i = ButtonIcon{};
    for (ButtonBitmap& b : m_bitmaps) b = ButtonBitmap{};
}

COLORREF CButtonNX::DarkenColor(COLORREF colour, double factor) { return platform::DarkenColor(colour, factor); }

wxIcon CButtonNX::MakeGreyIcon(const wxImage& icon)
{
    if (!icon.IsOk()) return wxIcon();
    return IconFromImage(platform::GreyCopy(icon, true, RGB(0, 0, 0)));
}

wxIcon CButtonNX::MakeDarkIcon(const wxImage& icon)
{
    if (!icon.IsOk()) return wxIcon();
    return IconFromImage(platform::DarkerCopy(icon, 0.25, true, RGB(0, 0, 0)));
}

wxImage CButtonNX::MakeGreyBitmap(const wxImage& bitmap, DWORD width, DWORD height, COLORREF transparent)
{
    if (!bitmap.IsOk() || width == 0 || height == 0) return wxImage();
    wxImage part = bitmap.GetSubImage(
        wxRect(0, 0, std::min<int>(width, bitmap.GetWidth()), std::min<int>(height, bitmap.GetHeight())));
    return platform::GreyCopy(part, true, transparent);
}

wxImage CButtonNX::MakeDarkBitmap(const wxImage& bitmap, DWORD width, DWORD height, COLORREF transparent)
{
    if (!bitmap.IsOk() || width == 0 || height == 0) return wxImage();
    wxImage part = bitmap.GetSubImage(
        wxRect(0, 0, std::min<int>(width, bitmap.GetWidth()), std::min<int>(height, bitmap.GetHeight())));
    return platform::DarkerCopy(part, 0.25, true, transparent);
}

wxImage CButtonNX::MakeBitmapMask(wxImage& bitmap, DWORD width, DWORD height, COLORREF colour)
{
    if (!bitmap.IsOk() || width == 0 || height == 0) return wxImage();
    return platform::MakeColourMask(bitmap, colour);
}

DWORD CButtonNX::SetIcons(int iconId, int secondIconId) { return SetIcons(iconId, 0, 0, secondIconId, 0, 0); }

DWORD CButtonNX::SetIcons(int iconId, int width, int height, int secondIconId, int secondWidth, int secondHeight)
{
    const wxImage first = Resized(platform::LoadImageResource(platform::ResType::Icon, iconId), width, height);
    // Without a first icon the second one is not loaded at all.
    wxImage second;
    const bool copy = secondIconId == GreyCopy || secondIconId == DarkCopy;
    if (first.IsOk() && secondIconId != NoSecondImage && !copy) {
        second = Resized(platform::LoadImageResource(platform::ResType::Icon, secondIconId), secondWidth, secondHeight);
    }
    return SetIconImages(first, second, copy ? secondIconId : NoSecondImage);
}

DWORD CButtonNX::SetIcons(const wxIcon& icon, const wxIcon& secondIcon)
{
    if (!icon.IsOk()) return SetIconImages(wxImage(), wxImage(), NoSecondImage);
    const wxImage first = platform::ToImage(icon);
    const wxImage second = secondIcon.IsOk() ? platform::ToImage(secondIcon) : wxImage();
    if (!first.IsOk() || (secondIcon.IsOk() && !second.IsOk())) {
        FreeImages(TRUE);
        return 1;
    }
    return SetIconImages(first, second, NoSecondImage);
}

DWORD CButtonNX::SetIcons(const wxIcon& icon, int secondKind)
{
    if (!icon.IsOk()) return SetIconImages(wxImage(), wxImage(), NoSecondImage);
    const wxImage first = platform::ToImage(icon);
    if (!first.IsOk()) {
        FreeImages(TRUE);
        return 1;
    }
    return SetIconImages(first, wxImage(), secondKind);
}

// The handle form of the icon setter over decoded images.
DWORD CButtonNX::SetIconImages(const wxImage& icon, const wxImage& second, int secondKind)
{
    FreeImages(TRUE);
    if (!icon.IsOk()) {
        Repaint(TRUE);
        return 0;
    }
    m_icons[0].image = icon;
    m_icons[0].hIcon = IconFromImage(icon);
    if (!m_icons[0].hIcon.IsOk()) {
        FreeImages(TRUE);
        return 1;
    }
    m_icons[0].width = icon.GetWidth();
    m_icons[0].height = icon.GetHeight();

    wxImage secondImage;
    if (secondKind == GreyCopy || secondKind == DarkCopy) {
        const wxIcon made = secondKind == GreyCopy ? MakeGreyIcon(icon) : MakeDarkIcon(icon);
        if (!made.IsOk()) {
            FreeImages(TRUE);
            return 1;
        }
        secondImage = secondKind == GreyCopy ? platform::GreyCopy(icon, true, RGB(0, 0, 0))
                                             : platform::DarkerCopy(icon, 0.25, true, RGB(0, 0, 0));
        m_icons[1].hIcon = made;
    } else if (second.IsOk()) {
        secondImage = second;
        m_icons[1].hIcon = IconFromImage(second);
        if (!m_icons[1].hIcon.IsOk()) {
            FreeImages(TRUE);
            return 1;
        }
    }
    if (secondImage.IsOk()) {
        m_icons[1].image = secondImage;
        m_icons[1].width = secondImage.GetWidth();
        m_icons[1].height = secondImage.GetHeight();
    }
    Repaint(TRUE);
    return 0;
}

DWORD CButtonNX::SetBitmapPair(int bitmapId, COLORREF transparent, int secondBitmapId, COLORREF secondTransparent)
{
    const wxImage first = platform::LoadImageResource(platform::ResType::Bitmap, bitmapId);
    wxImage second;
    const bool copy = secondBitmapId == GreyCopy || secondBitmapId == DarkCopy;
    if (first.IsOk() && secondBitmapId != NoSecondImage && !copy)
        second = platform::LoadImageResource(platform::ResType::Bitmap, secondBitmapId);
    return SetBitmapImages(first, transparent, second, copy ? secondBitmapId : NoSecondImage, secondTransparent);
}

DWORD CButtonNX::SetBitmapPair(const wxImage& bitmap, COLORREF transparent, const wxImage& secondBitmap,
                               COLORREF secondTransparent)
{
    return SetBitmapImages(bitmap, transparent, secondBitmap, NoSecondImage, secondTransparent);
}

DWORD CButtonNX::SetBitmapPair(const wxImage& bitmap, COLORREF transparent, int secondKind, COLORREF secondTransparent)
{
    return SetBitmapImages(bitmap, transparent, wxImage(), secondKind, secondTransparent);
}

DWORD CButtonNX::SetBitmapImages(const wxImage& bitmap, COLORREF transparent, const wxImage& second, int secondKind,
                                 COLORREF secondTransparent)
{
    FreeImages(TRUE);
    if (!bitmap.IsOk()) {
        Repaint(TRUE);
        return 0;
    }
    ButtonBitmap& b0 = m_bitmaps[0];
    b0.hBitmap = bitmap.Copy();
    if (b0.hBitmap.HasAlpha()) b0.hBitmap.ClearAlpha();
    b0.transparentColor = transparent;
    b0.width = bitmap.GetWidth();
    b0.height = bitmap.GetHeight();
    if (b0.width == 0 || b0.height == 0) {
        FreeImages(TRUE);
        return 1;
    }
    // A copy is made from the first bitmap before its mask blackens its transparent pixels; it
    // takes the first bitmap's transparent colour.
    wxImage secondImage;
    COLORREF secondKey = secondTransparent;
    if (secondKind == GreyCopy || secondKind == DarkCopy) {
        secondImage = secondKind == GreyCopy ? MakeGreyBitmap(b0.hBitmap, b0.width, b0.height, transparent)
                                             : MakeDarkBitmap(b0.hBitmap, b0.width, b0.height, transparent);
        secondKey = transparent;
    } else if (second.IsOk()) {
        secondImage = second.Copy();
        if (secondImage.HasAlpha()) secondImage.ClearAlpha();
    }
    b0.hMask = MakeBitmapMask(b0.hBitmap, b0.width, b0.height, transparent);
    if (!b0.hMask.IsOk()) {
        FreeImages(TRUE);
        return 2;
    }
    if (!secondImage.IsOk()) {  // no second bitmap, or a copy that could not be made
        Repaint(TRUE);
        return 0;
    }
    ButtonBitmap& b1 = m_bitmaps[1];
    b1.hBitmap = secondImage;
    b1.transparentColor = secondKey;
    b1.width = secondImage.GetWidth();
    b1.height = secondImage.GetHeight();
    if (b1.width == 0 || b1.height == 0) {
        FreeImages(TRUE);
        return 1;
    }
    b1.hMask = MakeBitmapMask(b1.hBitmap, b1.width, b1.height, secondKey);
    if (!b1.hMask.IsOk()) {
        FreeImages(TRUE);
        return 2;
    }
    Repaint(TRUE);
    return 0;
}

void CButtonNX::FitToImage()
{
    DWORD w = 0, h = 0;
    if (m_icons[0].hIcon.IsOk()) {
        w = m_icons[0].width;
        h = m_icons[0].height;
    } else if (m_bitmaps[0].hBitmap.IsOk()) {
        w = m_bitmaps[0].width;
        h = m_bitmaps[0].height;
    } else {
        return;
    }
    m_imageMargin = wxPoint(0, 0);
    if (GetHandle() != nullptr) SetSize(wxDefaultCoord, wxDefaultCoord, w, h, wxSIZE_USE_EXISTING);
}

// ---------------------------------------------------------------- painting

UINT CButtonNX::CurrentItemState() const
{
    UINT state = 0;
    if ((m_mouseDown && m_mouseInside) || m_keyDown) state |= ODS_SELECTED;
    if (HasFocus()) state |= ODS_FOCUS;
    if (!IsEnabled()) state |= ODS_DISABLED;
    return state;
}

void CButtonNX::PaintWindow(wxDC& dc)
{
    SyncDefaultRole();
    dc.SetFont(GetFont());
    dc.SetTextForeground(*wxBLACK);
    dc.SetTextBackground(*wxWHITE);
    DRAWITEMSTRUCT dis;
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = static_cast<UINT>(GetId());
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = CurrentItemState();
    dis.hwndItem = this;
    dis.hDC = &dc;
    dis.rcItem = wxRect(GetClientSize());
    DrawItem(dis);
}

void CButtonNX::DrawItem(const DRAWITEMSTRUCT& dis)
{
    if (dis.hDC == nullptr) return;
    wxDC& dc = *dis.hDC;
    const UINT state = dis.itemState;
    if (m_checkBox) {
        m_pressed = (state & ODS_SELECTED) || m_checked;
    } else {
        m_pressed = (state & ODS_SELECTED) || (m_menu.GetSafeHmenu() != nullptr && m_menuShown);
    }
    m_focused = (state & ODS_FOCUS) != 0;
    m_disabled = (state & ODS_DISABLED) != 0;

    const CRect itemRect(dis.rcItem);
    CRect rect = itemRect;
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);

    if (m_transparent)
        PaintParentBackground(dc);
    else
        PaintBackground(dc, rect);
    PaintBorder(dc, rect);

    const std::string caption(GetLabel().utf8_str());
    CRect captionRect = itemRect;
    if (m_icons[0].hIcon.IsOk()) PaintIcon(dc, !caption.empty(), itemRect, captionRect, m_pressed, m_disabled);
    if (m_bitmaps[0].hBitmap.IsOk()) {
        dc.SetTextBackground(*wxWHITE);
        PaintBitmap(dc, !caption.empty(), itemRect, captionRect, m_pressed, m_disabled);
    }
    if (!caption.empty()) PaintCaption(dc, caption, itemRect, captionRect, m_pressed, m_disabled);

    if (m_focused && (!m_flat || m_flatFocus)) {
        CRect focus = rect;
        focus.DeflateRect(3, 3);
        platform::DrawFocusRect(dc, focus.ToWx());
    }
}

DWORD CButtonNX::PaintBackground(wxDC& dc, CRect& rect)
{
    if (!m_flat && (m_focused || m_defaultButton)) {
        platform::FrameRect(dc, rect.ToWx(), RGB(0, 0, 0));
        rect.DeflateRect(1, 1);
    }
    COLORREF back = m_colors[IdleBack];
    if (m_hover || m_pressed)
        back = m_colors[HotBack];
    else if (m_focused)
        back = m_colors[FocusBack];
    platform::FillSolidRect(dc, rect.ToWx(), back);
    return 0;
}

DWORD CButtonNX::PaintBorder(wxDC& dc, CRect& rect)
{
    const int L = rect.left, T = rect.top, R = rect.right, B = rect.bottom;
    const COLORREF hi = platform::SysColor(COLOR_BTNHIGHLIGHT), shadow = platform::SysColor(COLOR_BTNSHADOW);
    if (m_pressed) {
        if (!m_flat)
            platform::FrameRect(dc, rect.ToWx(), shadow);
        else if (m_drawBorder)
            platform::Draw3dRect(dc, rect.ToWx(), shadow, hi);
        return 0;
    }
    if (!m_flat) {
        platform::LinePen pen(dc, hi);
        pen.MoveTo(L, B - 1);
        pen.LineTo(L, T);
        pen.LineTo(R, T);
        pen.SetColour(platform::SysColor(COLOR_3DLIGHT));
        pen.MoveTo(L + 1, B - 1);
        pen.LineTo(L + 1, T + 1);
        pen.LineTo(R, T + 1);
        pen.SetColour(platform::SysColor(COLOR_3DDKSHADOW));
        pen.MoveTo(L, B - 1);
        pen.LineTo(R - 1, B - 1);
        pen.LineTo(R - 1, T - 1);
        pen.SetColour(shadow);
        pen.MoveTo(L + 1, B - 2);
        pen.LineTo(R - 2, B - 2);
        pen.LineTo(R - 2, T);
    } else if (m_hover && m_drawBorder) {
        platform::Draw3dRect(dc, rect.ToWx(), hi, shadow);
    }
    return 0;
}

int CButtonNX::ChooseImage(BOOL pressed, bool haveSecond) const
{
    const bool first = (m_checkBox && pressed) || (!m_checkBox && (pressed || m_hover));
    if (first) return 0;
    return haveSecond ? 1 : 0;
}

void CButtonNX::PlaceImage(BOOL hasCaption, const CRect& itemRect, CRect& captionRect, BOOL pressed, DWORD imageWidth,
                           DWORD imageHeight, CRect& imageRect) const
{
    const int w = static_cast<int>(imageWidth), h = static_cast<int>(imageHeight);
    imageRect = itemRect;
    auto centreX = [&] { imageRect.left += (imageRect.Width() - w) / 2; };
    auto centreY = [&] { imageRect.top += (imageRect.Height() - h) / 2; };
    switch (m_imageAlign) {
    case ImageLeft:
        if (!hasCaption) {
            centreX();
        } else {
            imageRect.left += m_imageMargin.x;
            captionRect.left += w + m_imageMargin.x;
        }
        centreY();
        break;
    case ImageTop:
        centreX();
        if (!hasCaption) {
            centreY();
        } else {
            imageRect.top = m_imageMargin.y;
            captionRect.top += h;
        }
        break;
    case ImageRight:
        if (!hasCaption) {
            centreX();
        } else {
            const int clientRight = GetHandle() != nullptr ? GetClientSize().x : itemRect.right;
            captionRect.right = captionRect.Width() - w - m_imageMargin.x;
            captionRect.left = m_imageMargin.x;
            imageRect.left = clientRight - w - m_imageMargin.x;
            centreY();
        }
        break;
    default:  // ImageAtOrigin: the image at the item's corner, the caption over the whole button
        break;
    }
    if (pressed && !m_checkBox) imageRect.OffsetRect(m_pressOffset.x, m_pressOffset.y);
}

void CButtonNX::PaintIcon(wxDC& dc, BOOL hasCaption, const CRect& itemRect, CRect& captionRect, BOOL pressed,
                          BOOL disabled)
{
    const ButtonIcon& icon = m_icons[ChooseImage(pressed, m_icons[1].hIcon.IsOk())];
    CRect imageRect;
    PlaceImage(hasCaption, itemRect, captionRect, pressed, icon.width, icon.height, imageRect);
    platform::DrawState(dc, icon.image, imageRect.left, imageRect.top, imageRect.Width(), imageRect.Height(),
                        disabled ? DSS_DISABLED : DSS_NORMAL);
}

void CButtonNX::PaintBitmap(wxDC& dc, BOOL hasCaption, const CRect& itemRect, CRect& captionRect, BOOL pressed,
                            BOOL disabled)
{
    const ButtonBitmap& bmp = m_bitmaps[ChooseImage(pressed, m_bitmaps[1].hBitmap.IsOk())];
    CRect imageRect;
    PlaceImage(hasCaption, itemRect, captionRect, pressed, bmp.width, bmp.height, imageRect);
    const int w = static_cast<int>(bmp.width), h = static_cast<int>(bmp.height);
    if (disabled) {
        // White where the mask is set, the bitmap's colours elsewhere; then the embossed look,
        // in which white is left out.
        wxImage scratch = bmp.hBitmap.Copy();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (bmp.hMask.GetRed(x, y) >= 128) scratch.SetRGB(x, y, 255, 255, 255);
        platform::DrawState(dc, scratch, imageRect.left, imageRect.top, w, h, DSS_DISABLED);
        return;
    }
    const wxImage shown = platform::ApplyMask(bmp.hBitmap, bmp.hMask);
    wxDCClipper clip(dc, wxRect(imageRect.left, imageRect.top, w, h));
    dc.DrawBitmap(wxBitmap(shown), imageRect.left, imageRect.top, true);
}

void CButtonNX::PaintCaption(wxDC& dc, const std::string& caption, const CRect& /*itemRect*/, CRect& captionRect,
                             BOOL /*pressed*/, BOOL /*disabled*/)
{
    if (m_pressed && !m_checkBox) captionRect.OffsetRect(m_pressOffset.x, m_pressOffset.y);
    const CRect center = captionRect;
    wxRect measure = captionRect.ToWx();
    platform::DrawText(dc, caption, measure, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
    captionRect = CRect(measure);
    captionRect.OffsetRect((center.Width() - captionRect.Width()) / 2, (center.Height() - captionRect.Height()) / 2);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    if (m_disabled) {
        captionRect.OffsetRect(1, 1);
        dc.SetTextForeground(platform::ToColour(platform::SysColor(COLOR_BTNHIGHLIGHT)));
        wxRect r = captionRect.ToWx();
        platform::DrawText(dc, caption, r, DT_WORDBREAK | DT_CENTER);
        captionRect.OffsetRect(-1, -1);
        dc.SetTextForeground(platform::ToColour(platform::SysColor(COLOR_BTNSHADOW)));
        r = captionRect.ToWx();
        platform::DrawText(dc, caption, r, DT_WORDBREAK | DT_CENTER);
        return;
    }
    StateColor text = IdleText, back = IdleBack;
    if (m_hover || m_pressed) {
        text = HotText;
        back = HotBack;
    } else if (m_focused) {
        text = FocusText;
        back = FocusBack;
    }
    dc.SetTextForeground(platform::ToColour(m_colors[text]));
    dc.SetTextBackground(platform::ToColour(m_colors[back]));
    wxRect r = captionRect.ToWx();
    platform::DrawText(dc, caption, r, DT_WORDBREAK | DT_CENTER);
}

// ---------------------------------------------------------------- window state

void CButtonNX::SetLabel(const wxString& label)
{
    wxButton::SetLabel(label);
    Refresh();
}

void CButtonNX::OnMouse(wxMouseEvent& event)
{
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_LEFT_DOWN || type == wxEVT_LEFT_DCLICK) {
        m_mouseDown = true;
        m_mouseInside = true;
        Refresh();
    } else if (type == wxEVT_LEFT_UP) {
        m_mouseDown = false;
        Refresh();
    } else if (type == wxEVT_ENTER_WINDOW || type == wxEVT_MOTION) {
        const bool inside = wxRect(GetClientSize()).Contains(event.GetPosition());
        if (inside != m_mouseInside) {
            m_mouseInside = inside;
            if (m_mouseDown) Refresh();
        }
        OnMouseMove(event.LeftIsDown() ? MK_LBUTTON : 0, event.GetPosition());
    } else if (type == wxEVT_LEAVE_WINDOW) {
        m_mouseInside = false;
        if (m_mouseDown) Refresh();
        OnMouseLeave(0, 0);
    }
    event.Skip();
}

void CButtonNX::OnKey(wxKeyEvent& event)
{
    if (event.GetKeyCode() == WXK_SPACE) {
        m_keyDown = event.GetEventType() == wxEVT_KEY_DOWN;
        Refresh();
    }
    event.Skip();
}

void CButtonNX::OnFocus(wxFocusEvent& event)
{
    if (event.GetEventType() == wxEVT_KILL_FOCUS) {
        m_keyDown = false;
        OnKillFocus();
    }
    Refresh();
    event.Skip();
}

void CButtonNX::OnClicked(wxCommandEvent& event)
{
    m_mouseDown = false;
    m_keyDown = false;
    Refresh();
    // The button's own click handling, then the parent's handler.
    if (event.GetEventObject() == this && OnBnClicked()) return;
    event.Skip();
}
