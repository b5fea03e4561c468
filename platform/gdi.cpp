#include "platform/gdi.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

#include <wx/app.h>
#include <wx/dcgraph.h>
#include <wx/graphics.h>
#include <wx/settings.h>

#include "platform/gui_app.h"

namespace platform {

// ---------------------------------------------------------------- system colours and metrics

namespace {

constexpr int kColourCount = 31;

constexpr std::array<COLORREF, kColourCount> kClassicPalette = {
    RGB(212, 208, 200),  // 0 scroll bar
    RGB(58, 110, 165),   // 1 desktop
    RGB(10, 36, 106),    // 2 active caption
    RGB(128, 128, 128),  // 3 inactive caption
    RGB(212, 208, 200),  // 4 menu
    RGB(255, 255, 255),  // 5 window
    RGB(0, 0, 0),        // 6 window frame
    RGB(0, 0, 0),        // 7 menu text
    RGB(0, 0, 0),        // 8 window text
    RGB(255, 255, 255),  // 9 caption text
    RGB(212, 208, 200),  // 10 active border
    RGB(212, 208, 200),  // 11 inactive border
    RGB(128, 128, 128),  // 12 application workspace
    RGB(10, 36, 106),    // 13 highlight
    RGB(255, 255, 255),  // 14 highlight text
    RGB(212, 208, 200),  // 15 button face
    RGB(128, 128, 128),  // 16 button shadow
    RGB(128, 128, 128),  // 17 grey text
    RGB(0, 0, 0),        // 18 button text
    RGB(212, 208, 200),  // 19 inactive caption text
    RGB(255, 255, 255),  // 20 button highlight
    RGB(64, 64, 64),     // 21 3-D dark shadow
    RGB(227, 225, 219),  // 22 3-D light: a colour of its own, so that what it draws can be seen
    RGB(0, 0, 0),        // 23 tooltip text
    RGB(255, 255, 225),  // 24 tooltip background
    RGB(181, 181, 181),  // 25 (unused)
    RGB(0, 0, 128),      // 26 hot-tracked item
    RGB(166, 202, 240),  // 27 gradient of the active caption
    RGB(192, 192, 192),  // 28 gradient of the inactive caption
    RGB(49, 106, 197),   // 29 menu highlight
    RGB(212, 208, 200),  // 30 menu bar
};

std::array<COLORREF, kColourCount> g_fixedPalette = kClassicPalette;
bool g_useFixed = false;

struct MetricEntry {
    int index;
    int fixed;
    wxSystemMetric wx;  // wxSYS_... or -1 for none
};

const MetricEntry kMetrics[] = {
    {SM_CXSCREEN, 1024, wxSYS_SCREEN_X},
    {SM_CYSCREEN, 768, wxSYS_SCREEN_Y},
    {SM_CXVSCROLL, 16, wxSYS_VSCROLL_X},
    {SM_CYHSCROLL, 16, wxSYS_HSCROLL_Y},
    {SM_CYCAPTION, 18, wxSYS_CAPTION_Y},
    {SM_CXBORDER, 1, wxSYS_BORDER_X},
    {SM_CYBORDER, 1, wxSYS_BORDER_Y},
    {SM_CXDLGFRAME, 3, wxSYS_FRAMESIZE_X},
    {SM_CYDLGFRAME, 3, wxSYS_FRAMESIZE_Y},
    {SM_CXICON, 32, wxSYS_ICON_X},
    {SM_CYICON, 32, wxSYS_ICON_Y},
    {SM_CXCURSOR, 32, wxSYS_CURSOR_X},
    {SM_CYCURSOR, 32, wxSYS_CURSOR_Y},
    {SM_CYMENU, 19, wxSYS_MENU_Y},
    {SM_CXFRAME, 4, wxSYS_FRAMESIZE_X},
    {SM_CYFRAME, 4, wxSYS_FRAMESIZE_Y},
    {SM_CXEDGE, 2, wxSYS_EDGE_X},
    {SM_CYEDGE, 2, wxSYS_EDGE_Y},
    {SM_CXSMICON, 16, wxSYS_SMALLICON_X},
    {SM_CYSMICON, 16, wxSYS_SMALLICON_Y},
    {SM_CXMENUSIZE, 18, static_cast<wxSystemMetric>(-1)},
    {SM_CYMENUSIZE, 18, static_cast<wxSystemMetric>(-1)},
    {SM_CXMENUCHECK, 13, static_cast<wxSystemMetric>(-1)},
    {SM_CYMENUCHECK, 13, static_cast<wxSystemMetric>(-1)},
};

}  // namespace

COLORREF SysColor(int index)
{
    if (index < 0 || index >= kColourCount) return 0;
    if (g_useFixed || !HaveGuiApp()) return g_fixedPalette[index];
    const wxColour c = wxSystemSettings::GetColour(static_cast<wxSystemColour>(index));
    return c.IsOk() ? FromColour(c) : g_fixedPalette[index];
}

int SysMetric(int index)
{
    for (const MetricEntry& m : kMetrics) {
        if (m.index != index) continue;
        if (g_useFixed || !HaveGuiApp() || static_cast<int>(m.wx) < 0) return m.fixed;
        const int v = wxSystemSettings::GetMetric(m.wx);
        return v > 0 ? v : m.fixed;
    }
    return 0;
}

void UseFixedSystemColors(bool fixed) { g_useFixed = fixed; }
bool UsingFixedSystemColors() { return g_useFixed; }

void SetFixedSysColor(int index, COLORREF colour)
{
    if (index >= 0 && index < kColourCount) g_fixedPalette[index] = colour;
}

void RestoreFixedSystemColors() { g_fixedPalette = kClassicPalette; }

// ---------------------------------------------------------------- rectangles and lines

namespace {

// Rectangles drawn from here on are filled with one colour and have no outline; the pen and brush
// the device context had come back when it goes.
class SolidFill {
public:
    SolidFill(wxDC& dc, COLORREF colour) : m_dc(dc), m_pen(dc.GetPen()), m_brush(dc.GetBrush())
    {
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(ToColour(colour)));
    }
    ~SolidFill()
    {
        m_dc.SetBrush(m_brush);
        m_dc.SetPen(m_pen);
    }
    SolidFill(const SolidFill&) = delete;
    SolidFill& operator=(const SolidFill&) = delete;

private:
    wxDC& m_dc;
    const wxPen m_pen;
    const wxBrush m_brush;
};

}  // namespace

void FillSolidRect(wxDC& dc, const wxRect& rect, COLORREF colour)
{
    if (rect.width <= 0 || rect.height <= 0) return;
    const SolidFill fill(dc, colour);
    dc.DrawRectangle(rect);
}

void FrameRect(wxDC& dc, const wxRect& r, COLORREF colour)
{
    if (r.width <= 0 || r.height <= 0) return;
    FillSolidRect(dc, wxRect(r.x, r.y, r.width, 1), colour);
    FillSolidRect(dc, wxRect(r.x, r.y + r.height - 1, r.width, 1), colour);
    FillSolidRect(dc, wxRect(r.x, r.y + 1, 1, r.height - 2), colour);
    FillSolidRect(dc, wxRect(r.x + r.width - 1, r.y + 1, 1, r.height - 2), colour);
}

void Draw3dRect(wxDC& dc, const wxRect& r, COLORREF topLeft, COLORREF bottomRight)
{
    if (r.width <= 0 || r.height <= 0) return;
    FillSolidRect(dc, wxRect(r.x, r.y, r.width - 1, 1), topLeft);
    FillSolidRect(dc, wxRect(r.x, r.y, 1, r.height - 1), topLeft);
    FillSolidRect(dc, wxRect(r.x + r.width - 1, r.y, 1, r.height), bottomRight);
    FillSolidRect(dc, wxRect(r.x, r.y + r.height - 1, r.width, 1), bottomRight);
}

void DrawLine(wxDC& dc, int x0, int y0, int x1, int y1, COLORREF colour)
{
    if (x0 == x1 && y0 == y1) return;
    if (y0 == y1) {
        const int left = x0 < x1 ? x0 : x1 + 1;
        FillSolidRect(dc, wxRect(left, y0, std::abs(x1 - x0), 1), colour);
        return;
    }
    if (x0 == x1) {
        const int top = y0 < y1 ? y0 : y1 + 1;
        FillSolidRect(dc, wxRect(x0, top, 1, std::abs(y1 - y0)), colour);
        return;
    }
    // Bresenham, the end point left out.
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    int x = x0, y = y0;
    while (!(x == x1 && y == y1)) {
        FillSolidRect(dc, wxRect(x, y, 1, 1), colour);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

namespace {

// One ring of an edge: the sides in `flags`, with Draw3dRect's corner rule.
void EdgeRing(wxDC& dc, const wxRect& r, UINT flags, int lt, int rb)
{
    if (r.width <= 0 || r.height <= 0) return;
    if (lt >= 0) {
        const COLORREF c = SysColor(lt);
        if (flags & BF_TOP) FillSolidRect(dc, wxRect(r.x, r.y, r.width - 1, 1), c);
        if (flags & BF_LEFT) FillSolidRect(dc, wxRect(r.x, r.y, 1, r.height - 1), c);
    }
    if (rb >= 0) {
        const COLORREF c = SysColor(rb);
        if (flags & BF_RIGHT) FillSolidRect(dc, wxRect(r.x + r.width - 1, r.y, 1, r.height), c);
        if (flags & BF_BOTTOM) FillSolidRect(dc, wxRect(r.x, r.y + r.height - 1, r.width, 1), c);
    }
}

wxRect ShrinkSides(const wxRect& r, UINT flags)
{
    wxRect out = r;
    if (flags & BF_LEFT) {
        ++out.x;
        --out.width;
    }
    if (flags & BF_TOP) {
        ++out.y;
        --out.height;
    }
    if (flags & BF_RIGHT) --out.width;
    if (flags & BF_BOTTOM) --out.height;
    return out;
}

}  // namespace

bool DrawEdge(wxDC& dc, wxRect& rect, UINT edge, UINT flags)
{
    const bool soft = (flags & BF_SOFT) != 0;
    int ltOuter = -1, rbOuter = -1, ltInner = -1, rbInner = -1;
    if (edge & BDR_RAISEDOUTER) {
        ltOuter = soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT;
        rbOuter = COLOR_3DDKSHADOW;
    } else if (edge & BDR_SUNKENOUTER) {
        ltOuter = soft ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW;
        rbOuter = COLOR_BTNHIGHLIGHT;
    }
    if (edge & BDR_RAISEDINNER) {
        ltInner = soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT;
        rbInner = COLOR_BTNSHADOW;
    } else if (edge & BDR_SUNKENINNER) {
        ltInner = soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW;
        rbInner = COLOR_3DLIGHT;
    }
    const bool hasOuter = ltOuter >= 0, hasInner = ltInner >= 0;
    if (flags & (BF_FLAT | BF_MONO)) {
        const int outer = (flags & BF_MONO) ? COLOR_WINDOWFRAME : COLOR_BTNSHADOW;
        const int inner = (flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE;
        if (hasOuter) ltOuter = rbOuter = outer;
        if (hasInner) ltInner = rbInner = inner;
    }

    wxRect r = rect;
    if (hasOuter) {
        EdgeRing(dc, r, flags, ltOuter, rbOuter);
        r = ShrinkSides(r, flags);
    }
    if (hasInner) {
        EdgeRing(dc, r, flags, ltInner, rbInner);
        r = ShrinkSides(r, flags);
    }
    if (flags & BF_MIDDLE) FillSolidRect(dc, r, SysColor((flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE));
    if (flags & BF_ADJUST) rect = r;
    return true;
}

void DrawFocusRect(wxDC& dc, const wxRect& r)
{
    if (r.width <= 0 || r.height <= 0) return;
    // White composed by difference is the inversion (|255 - c|); a device context without a
    // graphics context inverts through its logical function.
    wxGraphicsContext* gc = dc.GetGraphicsContext();
    const wxCompositionMode composition = gc != nullptr ? gc->GetCompositionMode() : wxCOMPOSITION_OVER;
    const bool difference = gc != nullptr && gc->SetCompositionMode(wxCOMPOSITION_DIFF);
    const wxRasterOperationMode function = dc.GetLogicalFunction();
    if (!difference) dc.SetLogicalFunction(wxINVERT);
    const SolidFill fill(dc, RGB(255, 255, 255));
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0) dc.DrawRectangle(x, y, 1, 1);
    };
    const int right = r.x + r.width - 1, bottom = r.y + r.height - 1;
    for (int x = r.x; x <= right; ++x) {
        dot(x, r.y);
        if (bottom != r.y) dot(x, bottom);
    }
    for (int y = r.y + 1; y < bottom; ++y) {
        dot(r.x, y);
        if (right != r.x) dot(right, y);
    }
    if (difference)
        gc->SetCompositionMode(composition);
    else
        dc.SetLogicalFunction(function);
}

// ---------------------------------------------------------------- text

namespace {

std::size_t Utf8Len(const std::string& s, std::size_t i)
{
    std::size_t n = 1;
    while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
    return n;
}

int TextWidth(wxDC& dc, const std::string& s)
{
    if (s.empty()) return 0;
    wxCoord w = 0, h = 0;
    dc.GetTextExtent(wxString::FromUTF8(s), &w, &h);
    return w;
}

struct Line {
    std::string text;
    std::size_t start;  // byte offset of text in the display string
};

// Lines of `display` broken at "\n" and, when width > 0, at the last blank that fits.
std::vector<Line> BreakLines(wxDC& dc, const std::string& display, int width)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (true) {
        std::size_t nl = display.find('\n', pos);
        std::size_t end = nl == std::string::npos ? display.size() : nl;
        std::size_t paraEnd = end;
        if (paraEnd > pos && display[paraEnd - 1] == '\r') --paraEnd;
        const std::string para = display.substr(pos, paraEnd - pos);
        if (width <= 0 || TextWidth(dc, para) <= width) {
            lines.push_back({para, pos});
        } else {
            std::size_t start = 0, i = 0;
            std::size_t blank = std::string::npos;  // last blank of the current line
            while (i < para.size()) {
                if (para[i] == ' ') {  // a blank never makes a line too wide
                    blank = i++;
                    continue;
                }
                const std::size_t n = Utf8Len(para, i);
                if (i > start && TextWidth(dc, para.substr(start, i + n - start)) > width) {
                    if (blank != std::string::npos && blank >= start) {
                        lines.push_back({para.substr(start, blank - start), pos + start});
                        start = blank + 1;
                        blank = std::string::npos;
                        continue;  // this character measured again on the new line
                    }
                    lines.push_back({para.substr(start, i - start), pos + start});
                    start = i;
                }
                i += n;
            }
            lines.push_back({para.substr(start), pos + start});
        }
        if (nl == std::string::npos) break;
        pos = nl + 1;
    }
    return lines;
}

// The text without its & prefixes; underline = byte offset of the (last) prefixed character.
std::string StripPrefix(const std::string& text, std::size_t& underline)
{
    underline = std::string::npos;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
                continue;
            }
            if (i + 1 < text.size()) underline = out.size();
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string Ellipsize(wxDC& dc, const std::string& line, int width)
{
    if (TextWidth(dc, line) <= width) return line;
    std::string best = "...";
    std::string cur;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t n = Utf8Len(line, i);
        cur += line.substr(i, n);
        i += n;
        if (TextWidth(dc, cur + "...") > width) break;
        best = cur + "...";
    }
    return best;
}

}  // namespace

int DrawText(wxDC& dc, const wxString& text, wxRect& rect, UINT format)
{
    return DrawText(dc, std::string(text.utf8_str()), rect, format);
}

int DrawText(wxDC& dc, const std::string& text, wxRect& rect, UINT format)
{
    std::size_t underline = std::string::npos;
    std::string display = (format & DT_NOPREFIX) ? text : StripPrefix(text, underline);
    if (format & DT_HIDEPREFIX) underline = std::string::npos;
    const bool single = (format & DT_SINGLELINE) != 0;
    if (single) {
        for (char& c : display) {
            if (c == '\n' || c == '\r') c = ' ';
        }
    }
    const int breakWidth = (!single && (format & DT_WORDBREAK)) ? std::max(rect.width, 1) : 0;
    std::vector<Line> lines = BreakLines(dc, display, breakWidth);
    const int lineHeight = dc.GetCharHeight();
    const int total = lineHeight * static_cast<int>(lines.size());

    if (format & DT_END_ELLIPSIS) {
        for (Line& l : lines) {
            const std::string cut = Ellipsize(dc, l.text, rect.width);
            if (cut != l.text) {
                if (underline != std::string::npos && underline >= l.start && underline - l.start + 3 > cut.size()) {
                    underline = std::string::npos;  // the prefixed character was cut away
                }
                l.text = cut;
            }
        }
    }

    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const Line& l : lines) widest = std::max(widest, TextWidth(dc, l.text));
        rect.width = widest;
        rect.height = total;
        return total;
    }

    int y = rect.y;
    if (single && (format & DT_VCENTER))
        y = rect.y + (rect.height - lineHeight) / 2;
    else if (single && (format & DT_BOTTOM))
        y = rect.y + rect.height - lineHeight;

    std::unique_ptr<wxDCClipper> clip;
    if (!(format & DT_NOCLIP)) clip = std::make_unique<wxDCClipper>(dc, rect);

    for (const Line& l : lines) {
        const int w = TextWidth(dc, l.text);
        int x = rect.x;
        if (format & DT_CENTER)
            x = rect.x + (rect.width - w) / 2;
        else if (format & DT_RIGHT)
            x = rect.x + rect.width - w;
        if (!l.text.empty()) dc.DrawText(wxString::FromUTF8(l.text), x, y);
        if (underline != std::string::npos && underline >= l.start && underline < l.start + l.text.size()) {
            const std::size_t off = underline - l.start;
            const int ux = x + TextWidth(dc, l.text.substr(0, off));
            const int uw = TextWidth(dc, l.text.substr(off, Utf8Len(l.text, off)));
            wxCoord tw = 0, th = 0, descent = 0;
            dc.GetTextExtent(wxString::FromUTF8(l.text), &tw, &th, &descent);
            FillSolidRect(dc, wxRect(ux, y + th - descent + 1, uw, 1), FromColour(dc.GetTextForeground()));
        }
        y += lineHeight;
    }
    if (single && (format & DT_VCENTER)) return (rect.height - lineHeight) / 2 + lineHeight;
    return total;
}

// ---------------------------------------------------------------- pixel transforms

BYTE GreyValue(COLORREF c)
{
    const double g = 0.299 * GetRValue(c) + 0.587 * GetGValue(c) + 0.114 * GetBValue(c);
    return static_cast<BYTE>(static_cast<int>(g));
}

COLORREF DarkenColor(COLORREF c, double factor)
{
    if (factor <= 0.0 || factor > 1.0) return c;
    auto dark = [factor](BYTE v) { return static_cast<BYTE>(static_cast<int>(v - v * factor)); };
    return RGB(dark(GetRValue(c)), dark(GetGValue(c)), dark(GetBValue(c)));
}

namespace {

template <class F>
wxImage MapPixels(const wxImage& image, bool keepColour, COLORREF keep, F f)
{
    if (!image.IsOk()) return wxImage();
    wxImage out = image.Copy();
    unsigned char* p = out.GetData();
    const bool hasMask = out.HasMask();
    const COLORREF maskColour = hasMask ? RGB(out.GetMaskRed(), out.GetMaskGreen(), out.GetMaskBlue()) : 0;
    const long n = static_cast<long>(out.GetWidth()) * out.GetHeight();
    for (long i = 0; i < n; ++i, p += 3) {
        const COLORREF c = RGB(p[0], p[1], p[2]);
        if ((keepColour && c == keep) || (hasMask && c == maskColour)) continue;
        const COLORREF m = f(c);
        p[0] = GetRValue(m);
        p[1] = GetGValue(m);
        p[2] = GetBValue(m);
    }
    return out;
}

// Whether pixel i is part of the image's shape.
bool Opaque(const wxImage& image, int x, int y)
{
    if (image.HasAlpha() && image.GetAlpha(x, y) < 128) return false;
    if (image.HasMask() && image.GetRed(x, y) == image.GetMaskRed() && image.GetGreen(x, y) == image.GetMaskGreen() &&
        image.GetBlue(x, y) == image.GetMaskBlue())
        return false;
    return true;
}

wxImage TransparentImage(int w, int h)
{
    wxImage out(w, h);
    out.SetAlpha();
    std::fill(out.GetAlpha(), out.GetAlpha() + static_cast<long>(w) * h, 0);
    return out;
}

void SetPixel(wxImage& image, int x, int y, COLORREF c)
{
    image.SetRGB(x, y, GetRValue(c), GetGValue(c), GetBValue(c));
    image.SetAlpha(x, y, 255);
}

}  // namespace

wxImage GreyCopy(const wxImage& image, bool keepColour, COLORREF keep)
{
    return MapPixels(image, keepColour, keep, [](COLORREF c) {
        const BYTE g = GreyValue(c);
        return RGB(g, g, g);
    });
}

wxImage DarkerCopy(const wxImage& image, double factor, bool keepColour, COLORREF keep)
{
    return MapPixels(image, keepColour, keep, [factor](COLORREF c) { return DarkenColor(c, factor); });
}

wxImage FadeCopy(const wxImage& image, COLORREF colour, int percent)
{
    percent = std::clamp(percent, 0, 100);
    return MapPixels(image, false, 0, [colour, percent](COLORREF c) {
        auto mix = [percent](int v, int t) { return static_cast<BYTE>(v + (t - v) * percent / 100); };
        return RGB(mix(GetRValue(c), GetRValue(colour)), mix(GetGValue(c), GetGValue(colour)),
                   mix(GetBValue(c), GetBValue(colour)));
    });
}

wxImage ShadowCopy(const wxImage& image, COLORREF colour)
{
    if (!image.IsOk()) return wxImage();
    const int w = image.GetWidth(), h = image.GetHeight();
    wxImage out = TransparentImage(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (Opaque(image, x, y)) SetPixel(out, x, y, colour);
    return out;
}

wxImage EmbossCopy(const wxImage& image, COLORREF hilight, COLORREF shadow)
{
    if (!image.IsOk()) return wxImage();
    const int w = image.GetWidth(), h = image.GetHeight();
    wxImage out = TransparentImage(w + 1, h + 1);
    auto ink = [&](int x, int y) {
        return Opaque(image, x, y) &&
               !(image.GetRed(x, y) == 255 && image.GetGreen(x, y) == 255 && image.GetBlue(x, y) == 255);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (ink(x, y)) SetPixel(out, x + 1, y + 1, hilight);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (ink(x, y)) SetPixel(out, x, y, shadow);
    return out;
}

wxImage MakeColourMask(wxImage& image, COLORREF transparent)
{
    if (!image.IsOk()) return wxImage();
    const int w = image.GetWidth(), h = image.GetHeight();
    wxImage mask(w, h);
    unsigned char* p = image.GetData();
    unsigned char* m = mask.GetData();
    const long n = static_cast<long>(w) * h;
    for (long i = 0; i < n; ++i, p += 3, m += 3) {
        const bool t = RGB(p[0], p[1], p[2]) == transparent;
        m[0] = m[1] = m[2] = t ? 255 : 0;
        if (t) p[0] = p[1] = p[2] = 0;
    }
    return mask;
}

wxImage ApplyMask(const wxImage& image, const wxImage& mask)
{
    if (!image.IsOk()) return wxImage();
    wxImage out = image.Copy();
    if (!out.HasAlpha()) {
        out.SetAlpha();
        std::fill(out.GetAlpha(), out.GetAlpha() + static_cast<long>(out.GetWidth()) * out.GetHeight(), 255);
    }
    if (!mask.IsOk()) return out;
    const int w = std::min(out.GetWidth(), mask.GetWidth()), h = std::min(out.GetHeight(), mask.GetHeight());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (mask.GetRed(x, y) >= 128) out.SetAlpha(x, y, 0);
    return out;
}

wxImage ToImage(const wxIcon& icon)
{
    if (!icon.IsOk()) return wxImage();
    wxBitmap bmp;
    bmp.CopyFromIcon(icon);
    return ToImage(bmp);
}

wxImage ToImage(const wxBitmap& bitmap)
{
    if (!bitmap.IsOk()) return wxImage();
    return bitmap.ConvertToImage();
}

// ---------------------------------------------------------------- state drawing

void DrawState(wxDC& dc, const wxImage& image, int x, int y, int cx, int cy, UINT flags)
{
    if (!image.IsOk()) return;
    if (cx <= 0) cx = image.GetWidth();
    if (cy <= 0) cy = image.GetHeight();
    wxImage shown;
    if (flags & DSS_DISABLED) {
        shown = EmbossCopy(image, SysColor(COLOR_BTNHIGHLIGHT), SysColor(COLOR_BTNSHADOW));
    } else if (flags & DSS_MONO) {
        shown = ShadowCopy(image, FromColour(dc.GetTextForeground()));
    } else {
        shown = image.Copy();
    }
    if (flags & DSS_UNION) {
        if (!shown.HasAlpha()) shown.InitAlpha();
        for (int py = 0; py < shown.GetHeight(); ++py)
            for (int px = 0; px < shown.GetWidth(); ++px)
                if (((px + py) & 1) != 0) shown.SetAlpha(px, py, 0);
    }
    // DSS_DISABLED's highlight reaches one pixel beyond the extent, as the platform draws it.
    const int extraX = (flags & DSS_DISABLED) ? 1 : 0, extraY = extraX;
    wxDCClipper clip(dc, wxRect(x, y, cx + extraX, cy + extraY));
    dc.DrawBitmap(wxBitmap(shown), x, y, true);
}

void DrawState(wxDC& dc, const wxIcon& icon, int x, int y, int cx, int cy, UINT flags)
{
    DrawState(dc, ToImage(icon), x, y, cx, cy, flags);
}

void DrawState(wxDC& dc, const wxBitmap& bitmap, int x, int y, int cx, int cy, UINT flags)
{
    DrawState(dc, ToImage(bitmap), x, y, cx, cy, flags);
}

void DrawStateText(wxDC& dc, const std::string& text, int x, int y, UINT flags)
{
    const wxColour old = dc.GetTextForeground();
    wxRect r(x, y, 1, 1);
    wxRect calc = r;
    DrawText(dc, text, calc, DT_CALCRECT | DT_SINGLELINE);
    r = wxRect(x, y, calc.width, calc.height);
    if (flags & DSS_DISABLED) {
        wxRect lit(x + 1, y + 1, r.width, r.height);
        dc.SetTextForeground(ToColour(SysColor(COLOR_BTNHIGHLIGHT)));
        DrawText(dc, text, lit, DT_SINGLELINE | DT_NOCLIP);
        dc.SetTextForeground(ToColour(SysColor(COLOR_BTNSHADOW)));
    }
    DrawText(dc, text, r, DT_SINGLELINE | DT_NOCLIP);
    dc.SetTextForeground(old);
}

}  // namespace platform
