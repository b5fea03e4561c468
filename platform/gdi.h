// Drawing helpers for owner-drawn controls: the drawing calls of the old window system that wx has
// no counterpart for, on any wxDC (a paint DC, a memory DC, a wxGCDC over a wxImage).
//
// Lines and frames are drawn as filled one-pixel rectangles (no pen, no antialiasing question), so
// they come out pixel-exact on every DC; a line leaves out its end point. Raster operations do not
// exist on GTK 3 device contexts: masks, grey and darker copies, embossing and shadows are pixel
// transforms on wxImage. Colours are COLORREF values (0x00BBGGRR); system colours and metrics come
// from a provider that reads wxSystemSettings in the program and a fixed palette in tests.
#pragma once
#include <string>

#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/dc.h>
#include <wx/gdicmn.h>
#include <wx/icon.h>
#include <wx/image.h>

#include "core/winapi.h"

// ---- colours
using COLORREF = DWORD;
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b)
{
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

// System colour indices (the values wxSystemColour shares).
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_HOTLIGHT = 26;
constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr int COLOR_MENUHILIGHT = 29;
constexpr int COLOR_MENUBAR = 30;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;
constexpr int COLOR_3DSHADOW = COLOR_BTNSHADOW;
constexpr int COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_3DHILIGHT = COLOR_BTNHIGHLIGHT;
constexpr int COLOR_BTNHILIGHT = COLOR_BTNHIGHLIGHT;

// System metric indices.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
constexpr int SM_CXMENUSIZE = 54;
constexpr int SM_CYMENUSIZE = 55;
constexpr int SM_CXMENUCHECK = 71;
constexpr int SM_CYMENUCHECK = 72;

// ---- DrawText formats
constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;  // with DT_SINGLELINE only
constexpr UINT DT_BOTTOM = 0x0008;   // with DT_SINGLELINE only
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_EXPANDTABS = 0x0040;
constexpr UINT DT_NOCLIP = 0x0100;
constexpr UINT DT_CALCRECT = 0x0400;
constexpr UINT DT_NOPREFIX = 0x0800;
constexpr UINT DT_END_ELLIPSIS = 0x8000;
constexpr UINT DT_HIDEPREFIX = 0x00100000;

// ---- DrawEdge edges and flags
constexpr UINT BDR_RAISEDOUTER = 0x0001;
constexpr UINT BDR_SUNKENOUTER = 0x0002;
constexpr UINT BDR_RAISEDINNER = 0x0004;
constexpr UINT BDR_SUNKENINNER = 0x0008;
constexpr UINT BDR_OUTER = BDR_RAISEDOUTER | BDR_SUNKENOUTER;
constexpr UINT BDR_INNER = BDR_RAISEDINNER | BDR_SUNKENINNER;
constexpr UINT EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr UINT EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr UINT EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr UINT BF_LEFT = 0x0001;
constexpr UINT BF_TOP = 0x0002;
constexpr UINT BF_RIGHT = 0x0004;
constexpr UINT BF_BOTTOM = 0x0008;
constexpr UINT BF_TOPLEFT = BF_TOP | BF_LEFT;
constexpr UINT BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT;
constexpr UINT BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr UINT BF_MIDDLE = 0x0800;  // fill the inside with COLOR_BTNFACE
constexpr UINT BF_SOFT = 0x1000;    // the outer light edge in the highlight colour
constexpr UINT BF_ADJUST = 0x2000;  // shrink the rectangle by the edges drawn
constexpr UINT BF_FLAT = 0x4000;    // one-colour edges: COLOR_BTNSHADOW outside, COLOR_BTNFACE inside
constexpr UINT BF_MONO = 0x8000;    // one-colour edges: COLOR_WINDOWFRAME outside, COLOR_WINDOW inside

// ---- DrawState flags
constexpr UINT DSS_NORMAL = 0x0000;
constexpr UINT DSS_UNION = 0x0010;     // dithered look: every other pixel left out
constexpr UINT DSS_DISABLED = 0x0020;  // embossed: highlight shape at (1, 1), shadow shape in place
constexpr UINT DSS_MONO = 0x0080;      // the shape in one colour (the DC's text colour)

// ---- owner-draw requests
constexpr UINT ODT_MENU = 1;
constexpr UINT ODT_LISTBOX = 2;
constexpr UINT ODT_COMBOBOX = 3;
constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODT_STATIC = 5;
constexpr UINT ODT_LISTVIEW = 102;
constexpr UINT ODA_DRAWENTIRE = 0x0001;
constexpr UINT ODA_SELECT = 0x0002;
constexpr UINT ODA_FOCUS = 0x0004;
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_GRAYED = 0x0002;
constexpr UINT ODS_DISABLED = 0x0004;
constexpr UINT ODS_CHECKED = 0x0008;
constexpr UINT ODS_FOCUS = 0x0010;
constexpr UINT ODS_DEFAULT = 0x0020;
constexpr UINT ODS_HOTLIGHT = 0x0040;
constexpr UINT ODS_NOACCEL = 0x0100;
constexpr UINT ODS_NOFOCUSRECT = 0x0200;

// A rectangle by its edges, right and bottom exclusive, as the drawing code of owner-drawn controls
// computes with it; converts to and from wxRect.
struct CRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    CRect() = default;
    CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    explicit CRect(const wxRect& r) : left(r.x), top(r.y), right(r.x + r.width), bottom(r.y + r.height) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    wxRect ToWx() const { return wxRect(left, top, right - left, bottom - top); }
    void OffsetRect(int dx, int dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    void DeflateRect(int dx, int dy)
    {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
    }
    bool operator==(const CRect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// The record of one owner-draw request.
struct DRAWITEMSTRUCT {
    UINT CtlType = 0;
    UINT CtlID = 0;
    UINT itemID = 0;
    UINT itemAction = ODA_DRAWENTIRE;
    UINT itemState = 0;
    void* hwndItem = nullptr;  // the control (wxWindow*), or for a menu item the menu (HMENU)
    wxDC* hDC = nullptr;
    wxRect rcItem;  // left, top, width, height
    std::uintptr_t itemData = 0;
};

namespace platform {

// ---- colour conversion
inline wxColour ToColour(COLORREF c) { return wxColour(GetRValue(c), GetGValue(c), GetBValue(c)); }
inline COLORREF FromColour(const wxColour& c) { return c.IsOk() ? RGB(c.Red(), c.Green(), c.Blue()) : 0; }

// ---- system colours and metrics
// The colour of a COLOR_* index (black for an unknown index). Reads wxSystemSettings while a GUI
// application runs with a display and the fixed palette is not in use; the fixed palette otherwise.
COLORREF SysColor(int index);
// A SM_* metric (0 for an unknown index); the fixed value where the platform gives none.
int SysMetric(int index);
// Tests: true switches every later SysColor/SysMetric to the fixed palette (the classic grey one:
// face RGB(212, 208, 200), shadow RGB(128, 128, 128), highlight white, dark shadow RGB(64, 64, 64) ...).
void UseFixedSystemColors(bool fixed);
bool UsingFixedSystemColors();
// Tests: changes one colour of the fixed palette (a system-colour change); RestoreFixedSystemColors
// puts the palette back as it was.
void SetFixedSysColor(int index, COLORREF colour);
void RestoreFixedSystemColors();

// ---- rectangles and lines (solid, one pixel)
// Fills rect; an empty rect draws nothing.
void FillSolidRect(wxDC& dc, const wxRect& rect, COLORREF colour);
// A one-pixel frame along the inside of rect.
void FrameRect(wxDC& dc, const wxRect& rect, COLORREF colour);
// A one-pixel frame: top and left edges in topLeft, right and bottom edges in bottomRight
// (the top-right and bottom-left corner pixels belong to bottomRight).
void Draw3dRect(wxDC& dc, const wxRect& rect, COLORREF topLeft, COLORREF bottomRight);
// A line from (x0, y0) to (x1, y1) without its end point; horizontal and vertical lines are one
// rectangle, others are set pixel by pixel.
void DrawLine(wxDC& dc, int x0, int y0, int x1, int y1, COLORREF colour);

// A pen position for drawing as a move and lines (each line leaves out its end point).
class LinePen {
public:
    LinePen(wxDC& dc, COLORREF colour) : m_dc(dc), m_colour(colour) {}
    void MoveTo(int x, int y)
    {
        m_x = x;
        m_y = y;
    }
    void LineTo(int x, int y)
    {
        DrawLine(m_dc, m_x, m_y, x, y, m_colour);
        m_x = x;
        m_y = y;
    }
    void SetColour(COLORREF colour) { m_colour = colour; }

private:
    wxDC& m_dc;
    COLORREF m_colour;
    int m_x = 0, m_y = 0;
};

// The edges of a 3-D border (BDR_* / EDGE_* edge, BF_* flags) in the current system colours.
// With BF_ADJUST rect shrinks by the edges drawn. Returns true.
bool DrawEdge(wxDC& dc, wxRect& rect, UINT edge, UINT flags);

// A dotted one-pixel frame along the inside of rect: every other pixel (those with x + y even) is
// inverted, each colour component c becoming 255 - c, so the dots show on any background and
// drawing the same rectangle again erases it.
void DrawFocusRect(wxDC& dc, const wxRect& rect);

// ---- text
// Draws text (UTF-8) in the DC's font and text colour (the DC's background mode decides whether
// the text background is filled) into rect with DT_* formats. Returns the height of the text.
// DT_CALCRECT draws nothing and sets rect to the text's extent: the widest line's width from
// rect's left (or, with DT_WORDBREAK, the lines as broken at rect's width) and the lines' height
// from rect's top. Lines break at "\n"; DT_WORDBREAK also breaks at the last blank that fits
// (between characters in a word wider than the rectangle); DT_SINGLELINE shows line breaks as
// blanks. DT_VCENTER and DT_BOTTOM apply to single lines only. "&x" underlines x, "&&" shows one
// "&" (unless DT_NOPREFIX; DT_HIDEPREFIX hides the underline). DT_END_ELLIPSIS cuts a line that
// does not fit and ends it in "...". The text is clipped to rect unless DT_NOCLIP.
int DrawText(wxDC& dc, const std::string& text, wxRect& rect, UINT format);
int DrawText(wxDC& dc, const wxString& text, wxRect& rect, UINT format);

// ---- pixel transforms on wxImage (alpha and mask colour are kept as they are)
// The grey value of a colour: 0.299 R + 0.587 G + 0.114 B in double precision, truncated.
BYTE GreyValue(COLORREF colour);
// Each component v becomes v - v * factor, truncated; factor not above 0 or above 1: unchanged.
COLORREF DarkenColor(COLORREF colour, double factor);
// Copies with every pixel in its grey value / darkened by factor, except pixels of colour keep
// (when keepColour is true).
wxImage GreyCopy(const wxImage& image, bool keepColour = false, COLORREF keep = 0);
wxImage DarkerCopy(const wxImage& image, double factor, bool keepColour = false, COLORREF keep = 0);
// Every pixel moved toward colour by percent (0: unchanged, 100: colour).
wxImage FadeCopy(const wxImage& image, COLORREF colour, int percent);
// The image's shape (its opaque pixels: alpha at least 128, not the mask colour) in one colour.
wxImage ShadowCopy(const wxImage& image, COLORREF colour);
// The embossed (disabled) look: one pixel wider and higher, transparent but for the image's ink
// (shape pixels that are not white) in hilight shifted by (1, 1) and in shadow in place.
wxImage EmbossCopy(const wxImage& image, COLORREF hilight, COLORREF shadow);
// The monochrome mask of a transparent colour: white (1) where a pixel has that colour, black (0)
// elsewhere; those pixels of image become black. An invalid image when image is invalid.
wxImage MakeColourMask(wxImage& image, COLORREF transparent);
// A copy of image that leaves out the pixels whose mask pixel is white (an alpha channel of 0).
wxImage ApplyMask(const wxImage& image, const wxImage& mask);
// An image of an icon or bitmap, with alpha where it has transparency.
wxImage ToImage(const wxIcon& icon);
wxImage ToImage(const wxBitmap& bitmap);

// ---- state drawing
// Draws image at (x, y), clipped to cx by cy (0: the image's own size): DSS_NORMAL as it is,
// DSS_DISABLED embossed in COLOR_BTNHIGHLIGHT and COLOR_BTNSHADOW, DSS_MONO as its shape in the
// DC's text colour, DSS_UNION with every other pixel left out.
void DrawState(wxDC& dc, const wxImage& image, int x, int y, int cx, int cy, UINT flags);
void DrawState(wxDC& dc, const wxIcon& icon, int x, int y, int cx, int cy, UINT flags);
void DrawState(wxDC& dc, const wxBitmap& bitmap, int x, int y, int cx, int cy, UINT flags);
// Text at (x, y) (with the & prefix): DSS_NORMAL in the DC's text colour, DSS_DISABLED twice, in
// COLOR_BTNHIGHLIGHT at (x + 1, y + 1) and in COLOR_BTNSHADOW at (x, y).
void DrawStateText(wxDC& dc, const std::string& text, int x, int y, UINT flags);

}  // namespace platform
