// CButtonNX: an owner-drawn push button. It paints itself completely from its own state: a
// background, a border, one of two images (icons, or bitmaps with a transparent colour), the
// caption and the focus rectangle, in a flat hot-tracking look or a 3-D look, with six state
// colours, optionally over a copy of its parent's background. A second image can be made from
// the first as a grey or a darker copy.
//
// It is a wxButton (a native GTK button, so clicks, keyboard activation and the default-button
// role stay the platform's, and every click reaches the parent as wxEVT_BUTTON) whose native
// drawing is replaced: each paint of the window calls DrawItem with the button's state, and
// DrawItem draws through five virtual layers that a derived class can replace one by one.
//
// The button owns its images: setters copy what they are given; every image setter first drops
// all images of both kinds.
#pragma once
#include <string>

#include <wx/button.h>
#include <wx/cursor.h>
#include <wx/icon.h>
#include <wx/image.h>

#include "controls/KiroMenu.h"
#include "platform/gdi.h"
#include "platform/winapi.h"

class wxToolTip;

class CButtonNX : public wxButton {
public:
    // Indices of m_colors.
    enum StateColor : BYTE { HotBack = 0, HotText = 1, IdleBack = 2, IdleText = 3, FocusBack = 4, FocusText = 5 };
    // Values of m_imageAlign.
    enum ImageAlign : BYTE { ImageLeft = 0, ImageTop = 1, ImageRight = 2, ImageAtOrigin = 3 };
    // Second-image identifiers: none, a grey copy of the first, a darker copy of the first.
    static constexpr int NoSecondImage = 0;
    static constexpr int GreyCopy = -2;
    static constexpr int DarkCopy = -3;

    // An icon: its size in pixels is the image's size.
    struct ButtonIcon {
        wxIcon hIcon;
        DWORD width = 0;
        DWORD height = 0;
        wxImage image;  // the icon's pixels (with alpha), as painted
    };
    // A bitmap with its transparent colour; once the mask is made, its transparent pixels are black.
    struct ButtonBitmap {
        wxImage hBitmap;
        DWORD width = 0;
        DWORD height = 0;
        wxImage hMask;  // white (1) where the pixel had the transparent colour, black (0) elsewhere
        COLORREF transparentColor = 0;
    };
    struct MenuNotify {
        wxWindow* hWnd = nullptr;
        UINT message = 0;
        LPARAM lParam = 0;
    };
    struct ButtonSound {
        char fileName[260] = {};
        const char* sound = nullptr;
        void* hModule = nullptr;
        DWORD flags = 0;
    };

    CButtonNX();
    CButtonNX(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos = wxDefaultPosition,
              const wxSize& size = wxDefaultSize, long style = 0);
    ~CButtonNX() override;

    bool Create(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& pos = wxDefaultPosition,
                const wxSize& size = wxDefaultSize, long style = 0);

    // ---- colours and looks (0 done, 3 colour index above 5, 4 alignment above 3, 5 bad
    // parameter, 6 press offset style other than 0 and 1)
    DWORD ResetColors(BOOL repaint = TRUE);
    DWORD SetStateColor(BYTE index, COLORREF colour, BOOL repaint = TRUE);
    DWORD GetStateColor(BYTE index, COLORREF* colour) const;
    DWORD ShadeStateColor(BYTE index, short shade, BOOL repaint = TRUE);
    DWORD SetFlatLook(BOOL flat, BOOL repaint = TRUE);
    DWORD SetImageAlign(BYTE align, BOOL repaint = TRUE);
    DWORD SetPressOffsetStyle(BYTE style, BOOL repaint = TRUE);
    DWORD EnableBorder(BOOL border, BOOL repaint = TRUE);
    DWORD EnableFlatFocus(BOOL focus, BOOL repaint = TRUE);
    void EnableTransparency(BOOL repaint = TRUE);
    // A new background copy from dc, a DC of the parent in its client coordinates; 5 when the
    // button is not transparent or dc is null.
    DWORD CaptureBackground(wxDC* dc);

    // ---- images (0 done, 1 an image cannot be read, 2 a bitmap's mask cannot be made)
    // Icon resources by id (second: 0 none, GreyCopy, DarkCopy or another icon resource); a size
    // of 0 takes the resource's own size.
    DWORD SetIcons(int iconId, int secondIconId);
    DWORD SetIcons(int iconId, int width, int height, int secondIconId, int secondWidth, int secondHeight);
    // The button takes copies; an invalid icon is no icon.
    DWORD SetIcons(const wxIcon& icon, const wxIcon& secondIcon);
    DWORD SetIcons(const wxIcon& icon, int secondKind);  // NoSecondImage, GreyCopy or DarkCopy
    DWORD SetBitmapPair(int bitmapId, COLORREF transparent, int secondBitmapId, COLORREF secondTransparent);
    DWORD SetBitmapPair(const wxImage& bitmap, COLORREF transparent, const wxImage& secondBitmap,
                        COLORREF secondTransparent);
    DWORD SetBitmapPair(const wxImage& bitmap, COLORREF transparent, int secondKind, COLORREF secondTransparent);
    // Resizes the window to the first image and sets the image margins to 0.
    void FitToImage();

    // ---- painting
    // Paints the whole button for one owner-draw request (rcItem in dc's coordinates).
    virtual void DrawItem(const DRAWITEMSTRUCT& drawItem);
    virtual DWORD PaintBackground(wxDC& dc, CRect& rect);
    virtual DWORD PaintBorder(wxDC& dc, CRect& rect);
    virtual void PaintIcon(wxDC& dc, BOOL hasCaption, const CRect& itemRect, CRect& captionRect, BOOL pressed,
                           BOOL disabled);
    virtual void PaintBitmap(wxDC& dc, BOOL hasCaption, const CRect& itemRect, CRect& captionRect, BOOL pressed,
                             BOOL disabled);
    virtual void PaintCaption(wxDC& dc, const std::string& caption, const CRect& itemRect, CRect& captionRect,
                              BOOL pressed, BOOL disabled);

    // ---- state the painting reads
    BOOL IsDefaultButton() const { return m_defaultButton; }
    // The owner-draw state of the window as it is now (ODS_SELECTED, ODS_FOCUS, ODS_DISABLED).
    UINT CurrentItemState() const;

    // wxButton
    void SetLabel(const wxString& label) override;
    wxWindow* SetDefault() override;

    // Non-virtual helpers of the painting and of the image setters.
    void PlaceImage(BOOL hasCaption, const CRect& itemRect, CRect& captionRect, BOOL pressed, DWORD imageWidth,
                    DWORD imageHeight, CRect& imageRect) const;
    void FreeImages(BOOL destroy);
    static wxImage MakeBitmapMask(wxImage& bitmap, DWORD width, DWORD height, COLORREF colour);
    static wxIcon MakeGreyIcon(const wxImage& icon);
    static wxIcon MakeDarkIcon(const wxImage& icon);
    static wxImage MakeGreyBitmap(const wxImage& bitmap, DWORD width, DWORD height, COLORREF transparent);
    static wxImage MakeDarkBitmap(const wxImage& bitmap, DWORD width, DWORD height, COLORREF transparent);
    static COLORREF DarkenColor(COLORREF colour, double factor);
    void PaintParentBackground(wxDC& dc);

    // ---- members, in declaration order
    wxPoint m_imageMargin{3, 3};
    wxPoint m_pressOffset{1, 1};
    BOOL m_flat = TRUE;
    BOOL m_hover = FALSE;
    BOOL m_transparent = FALSE;
    BOOL m_pressed = FALSE;
    BOOL m_focused = FALSE;
    BOOL m_disabled = FALSE;
    BOOL m_defaultButton = FALSE;
    BOOL m_checkBox = FALSE;
    BYTE m_imageAlign = ImageLeft;
    BOOL m_drawBorder = TRUE;
    BOOL m_flatFocus = FALSE;
    COLORREF m_colors[6] = {};
    wxWindow* m_menuOwner = nullptr;
    BOOL m_menuShown = FALSE;
    KiroMenu m_menu;
    wxCursor m_hoverCursor;
    wxToolTip* m_toolTip = nullptr;  // owned by the window once set
    // The copy of the parent's background (the memory DC and its former bitmap of the old
    // drawing model have no counterpart: a bitmap is drawn as it is).
    wxBitmap m_bgBitmap;
    BOOL m_trackAlways = TRUE;
    int m_checked = 0;
    DWORD m_toolTipStyle = 0;
    char m_linkTarget[260] = {};
    ButtonIcon m_icons[2];
    ButtonBitmap m_bitmaps[2];
    MenuNotify m_menuNotify;
    ButtonSound m_sounds[2];

private:
    void Init();
    void Repaint(BOOL repaint);
    void DropBackgroundCopy();
    DWORD SetIconImages(const wxImage& icon, const wxImage& second, int secondKind);
    DWORD SetBitmapImages(const wxImage& bitmap, COLORREF transparent, const wxImage& second, int secondKind,
                          COLORREF secondTransparent);
    int ChooseImage(BOOL pressed, bool haveSecond) const;
    void EndHover();

    // Window events that keep the paint state current.
    void OnMouse(wxMouseEvent& event);
    void OnKey(wxKeyEvent& event);
    void OnFocus(wxFocusEvent& event);
    void OnClicked(wxCommandEvent& event);

public:
    // The paint of the native widget (called from the toolkit's draw signal).
    void PaintWindow(wxDC& dc);

private:
    bool m_mouseDown = false;    // left button pressed on the button and not released
    bool m_mouseInside = false;
    bool m_keyDown = false;      // space held while focused
};

// Replaces the dialog's plain push button `id` by a CButtonNX in place (same id, rectangle,
// caption, visibility, tab position and default-button role). Null when the dialog has no such
// button.
CButtonNX* AttachButtonNX(wxWindow* dialog, int id);
