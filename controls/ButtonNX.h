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
//
// Behaviour (ButtonNX_behaviour.cpp): attaching a dialog control (check-box and default-button
// roles), a double click taken as a second press, hover tracking in the flat look, tooltip, hover
// cursor, hover and click sounds, check-box toggling, link target, and the style and state
// messages. A click runs the button's own handling first and then goes on to the parent as
// wxEVT_BUTTON.
#pragma once
#include <functional>
#include <string>

#include <wx/button.h>
#include <wx/cursor.h>
#include <wx/icon.h>
#include <wx/image.h>

#include "controls/KiroMenu.h"
#include "core/winapi.h"
#include "platform/gdi.h"
#include "platform/menu_popup.h"
#include "platform/sound.h"

class wxToolTip;

// Button types and styles (the low five bits of a button's style word are its type).
constexpr DWORD BS_PUSHBUTTON = 0x00000000;
constexpr DWORD BS_DEFPUSHBUTTON = 0x00000001;
constexpr DWORD BS_CHECKBOX = 0x00000002;
constexpr DWORD BS_AUTOCHECKBOX = 0x00000003;
constexpr DWORD BS_RADIOBUTTON = 0x00000004;
constexpr DWORD BS_3STATE = 0x00000005;
constexpr DWORD BS_AUTO3STATE = 0x00000006;
constexpr DWORD BS_GROUPBOX = 0x00000007;
constexpr DWORD BS_AUTORADIOBUTTON = 0x00000009;
constexpr DWORD BS_OWNERDRAW = 0x0000000B;
constexpr DWORD BS_TYPEMASK = 0x0000001F;
// Button messages handled by number (CButtonNX::WindowProc).
constexpr UINT WM_GETDLGCODE = 0x0087;
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_SETSTYLE = 0x00F4;
constexpr WPARAM BST_UNCHECKED = 0;
constexpr WPARAM BST_CHECKED = 1;
constexpr WPARAM BST_INDETERMINATE = 2;
// Dialog codes.
constexpr UINT DLGC_DEFPUSHBUTTON = 0x0010;
constexpr UINT DLGC_UNDEFPUSHBUTTON = 0x0020;
constexpr UINT DLGC_BUTTON = 0x2000;
// Activation states.
constexpr UINT WA_INACTIVE = 0;
constexpr UINT WA_ACTIVE = 1;
constexpr UINT WA_CLICKACTIVE = 2;
// Mouse key flags.
constexpr UINT MK_LBUTTON = 0x0001;
// Tooltip styles.
constexpr DWORD TTS_ALWAYSTIP = 0x01;
constexpr DWORD TTS_NOPREFIX = 0x02;
constexpr DWORD TTS_BALLOON = 0x40;
// The system's hand cursor, for CButtonNX::SetHoverCursor.
constexpr int IDC_HAND = 32649;

// The message a button sends before its drop-down menu opens (CButtonNX::SetMenuNotify): a
// command event processed at once by the window given, with the id = the message number,
// GetClientData() = the popup's menu object (CMenu*, whose items the receiver may change) and
// GetExtraLong() = the lParam given. Bind it with the message number as id.
wxDECLARE_EVENT(wxEVT_BUTTONNX_MENU_NOTIFY, wxCommandEvent);

// The tracking flags of the drop-down menu: under the button's lower-left corner, the command
// returned.
constexpr UINT kDropDownTrackFlags = platform::TPM_LEFTALIGN | platform::TPM_TOPALIGN | platform::TPM_RIGHTBUTTON |
                                     platform::TPM_NONOTIFY | platform::TPM_RETURNCMD;

class CButtonNX : public wxButton, public platform::MenuOwner {
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
        platform::HMODULE hModule = nullptr;
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

    // ---- behaviour (0 done; 1 a cursor resource cannot be loaded; 5 a sound file name longer
    // than 259 bytes)
    // Converts the attached control into an owner-drawn button. style: the control's button
    // style word (ButtonStyleOf); any type with the BS_CHECKBOX bit makes a check box,
    // BS_DEFPUSHBUTTON the default button.
    void PreSubclassWindow(DWORD style);
    // The button style word of a dialog control: BS_PUSHBUTTON or BS_DEFPUSHBUTTON (the dialog's
    // default item) for a push button, BS_AUTOCHECKBOX or BS_AUTO3STATE for a check box,
    // BS_AUTORADIOBUTTON for a radio button; BS_PUSHBUTTON for anything else.
    static DWORD ButtonStyleOf(wxWindow* control);
    // The button's style word now: its type is BS_OWNERDRAW once attached.
    DWORD GetButtonStyle() const { return m_buttonStyle; }

    // Check box only: m_checked = 1 when checked is non-zero, else 0.
    DWORD SetCheckState(BOOL checked, BOOL repaint = TRUE);
    int GetCheckState() const { return m_checked; }
    // The button's check messages: BST_CHECKED and BST_INDETERMINATE check a check box.
    void SetCheck(int check) { WindowProc(BM_SETCHECK, static_cast<WPARAM>(check), 0); }
    int GetCheck() { return static_cast<int>(WindowProc(BM_GETCHECK, 0, 0)); }
    BOOL IsDefaultButton() const { return m_defaultButton; }
    DWORD SetTrackAlways(BOOL always);

    // Tooltip: one tool (the button, id 1) whose text the later calls replace; inactive until
    // activated. Text is 8-bit (UTF-8 or the system code page); null does nothing.
    void SetTipText(const char* text, BOOL activate = FALSE);
    // A string resource; a missing or empty string does nothing.
    void SetTipText(int stringId, BOOL activate = FALSE);
    void ActivateTip(BOOL activate);
    // The balloon style, for a tooltip created after the call.
    DWORD UseBalloonTip();
    bool TipHasTool() const { return m_tipHasTool; }
    bool IsTipActive() const { return m_tipActive; }
    // The tip text of the tool (empty without one), and the style the tooltip was created with.
    wxString GetTipText() const;
    DWORD GetTipCreationStyle() const { return m_tipCreatedStyle; }

    // The cursor shown over the button: a cursor resource, or the system hand for IDC_HAND when
    // the program has no cursor of that id; 0 removes it (0 at once, no repaint). 1 when no
    // cursor could be loaded: the button then has none.
    DWORD SetHoverCursor(int cursorId, BOOL repaint = TRUE);
    // Opened through core::Opener() on a click; null or "" is no link. Cut to 259 bytes,
    // never inside a character.
    DWORD SetLinkTarget(const char* url);
    // The drop-down menu: the first popup of menu resource menuId (0: no menu), in the menu
    // family's draw mode drawMode (for every menu of the family), with the images of toolbar
    // toolbarId (0: none) at the size and transparent colour given. A click shows it under the
    // button; the chosen command is posted to owner as wxEVT_MENU. 1 when the menu or the
    // toolbar's images cannot be loaded (the button then has no menu), else 0.
    DWORD AttachMenu(UINT menuId, wxWindow* owner, int drawMode, UINT toolbarId, int imageWidth, int imageHeight,
                     COLORREF imageBackground, BOOL repaint = TRUE);
    // Sent (wxEVT_BUTTONNX_MENU_NOTIFY) to hWnd before the drop-down menu opens; null: none.
    DWORD SetMenuNotify(wxWindow* hWnd, UINT message, LPARAM lParam);
    // The hover sound (clickSound FALSE) or the click sound: a file name when module is null
    // (copied; a name longer than 259 bytes is refused with 5 and leaves no sound), else a
    // resource name or platform::MakeIntResource id of module (not copied: it must outlive the
    // button). Null sound removes the sound.
    DWORD SetSounds(const char* sound, platform::HMODULE module, BOOL clickSound, BOOL async);

    // ---- message handlers (the window's events call them; tests may call them directly)
    // The messages handled by number: BM_SETSTYLE, BM_SETCHECK, BM_GETCHECK, WM_GETDLGCODE; 0 for
    // any other.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnSetCursor();
    void OnKillFocus();
    // flags: MK_LBUTTON when the left button is down; point in client coordinates.
    void OnMouseMove(UINT flags, const wxPoint& point);
    void OnSysColorChange();
    // The click: focus, click sound, then toggle / drop-down menu / link. FALSE: the click goes
    // on to the parent.
    BOOL OnBnClicked();
    void OnActivate(UINT state);
    void OnEnable(BOOL enable);
    void OnCancelMode();
    UINT OnGetDlgCode();
    LRESULT OnSetStyleMsg(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCheckMsg(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetCheckMsg(WPARAM wParam, LPARAM lParam);
    // The drop-down popup's requests while it is tracked: items of the menu family's popups are
    // measured and searched by the family; others take the default handling (false / 0).
    bool OnMeasureItem(MEASUREITEMSTRUCT* request);
    LRESULT OnMenuChar(UINT ch, UINT flags, HMENU menu) override;
    bool OnMenuMeasureItem(MEASUREITEMSTRUCT* request, HMENU menu) override;
    // Ends the hover of the flat look (repainted).
    void EndHover();

    // Desktop queries of the hover tracking; tests replace them. The window under a screen point
    // (of this program's windows), and whether the program has an active window.
    static std::function<wxWindow*(const wxPoint&)> s_windowFromPoint;
    static std::function<bool()> s_hasActiveWindow;

    // ---- state the painting reads
    // The owner-draw state of the window as it is now (ODS_SELECTED, ODS_FOCUS, ODS_DISABLED).
    UINT CurrentItemState() const;

    // wxButton
    void SetLabel(const wxString& label) override;
    wxWindow* SetDefault() override;
    bool Enable(bool enable = true) override;

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
    wxToolTip* m_toolTip = nullptr;  // owned by the button; the window shows its text while active
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
    void CreateTip();
    void ShowDropDown();
    void ApplyTip();
    void SyncDefaultRole();
    void BindTopLevel();

    // Window events that keep the paint state current.
    void OnMouse(wxMouseEvent& event);
    void OnKey(wxKeyEvent& event);
    void OnFocus(wxFocusEvent& event);
    void OnClicked(wxCommandEvent& event);
    void OnTopLevelActivate(wxActivateEvent& event);

protected:
    // Every event of the button passes here first: the tooltip is created, and a double click is
    // turned into a press, so a double click works as two clicks and nobody sees it as one.
    bool TryBefore(wxEvent& event) override;

public:
    // The paint of the native widget (called from the toolkit's draw signal).
    void PaintWindow(wxDC& dc);

private:
    bool m_mouseDown = false;  // left button pressed on the button and not released
    bool m_mouseInside = false;
    bool m_keyDown = false;               // space held while focused
    DWORD m_buttonStyle = BS_PUSHBUTTON;  // the window's button style word
    bool m_tipHasTool = false;
    bool m_tipActive = false;
    DWORD m_tipCreatedStyle = 0;
    wxRect m_tipRect;                   // the client rectangle when the tool was added
    wxWindow* m_seenDefault = nullptr;  // the dialog's default item at the last look
    wxWindow* m_topLevel = nullptr;     // whose activation ends the hover
};

// Replaces the dialog's plain push button `id` by a CButtonNX in place (same id, rectangle,
// caption, visibility, tab position and default-button role). Null when the dialog has no such
// button.
CButtonNX* AttachButtonNX(wxWindow* dialog, int id);
