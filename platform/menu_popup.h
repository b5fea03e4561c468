// Popup menus of the menu model shown in a window of our own: GTK menus cannot be drawn by the
// program. A MenuPopup lays out the items of one HMENU, has owner-drawn items measured and drawn
// by the menu object attached to the handle (CMenu::MeasureItem / CMenu::DrawItem, so a family
// menu paints its own items), draws plain text items and separators itself, follows the mouse
// and the keys, opens the popups of popup items beside themselves and ends the tracking with the
// command chosen. TrackPopupMenu runs it modally.
//
// The owner window may answer the measuring and menu-character requests itself by deriving from
// MenuOwner (as a window that carries a drop-down menu does); drawing requests always go to the
// menu object. UI thread only.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include <wx/popupwin.h>

#include "platform/cmenu.h"
#include "platform/gdi.h"

namespace platform {

// TrackPopupMenu flags.
constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_TOPALIGN = 0x0000;
constexpr UINT TPM_VCENTERALIGN = 0x0010;
constexpr UINT TPM_BOTTOMALIGN = 0x0020;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

// The room a popup leaves at the right of an owner-drawn item that opens a popup, beside the width
// its menu measured, for the submenu arrow (as the platform adds room to owner-drawn items).
constexpr int kSubmenuArrowRoom = 12;

// The submenu arrow of an item that opens a popup: a solid triangle pointing right, 4 pixels wide
// and 7 high, centred on the item's height with its tip 7 pixels in from the item's right edge.
void DrawSubmenuArrow(wxDC& dc, const wxRect& item, COLORREF colour);

// A window that answers the requests of the popups it owns.
class MenuOwner {
public:
    virtual ~MenuOwner() = default;
    // Fills the request and returns true, or returns false for the default handling (the menu
    // object of `menu` measures its item).
    virtual bool OnMenuMeasureItem(MEASUREITEMSTRUCT* request, HMENU menu) = 0;
    // The WM_MENUCHAR answer for a character typed in the popup of `menu` (flags: MF_POPUP):
    // MNC_EXECUTE (2) or MNC_SELECT (3) in the high word with a position in the low word, or 0
    // for the default handling (the first plain text item with "&" and the character).
    virtual LRESULT OnMenuChar(UINT ch, UINT flags, HMENU menu) = 0;
};

class MenuPopup : public wxPopupTransientWindow {
public:
    // The tracking that a popup and the popups it opens share.
    struct Tracking {
        wxWindow* owner = nullptr;
        bool done = false;
        UINT result = 0;
        std::function<void()> onDone;  // ends the modal loop
        MenuPopup* root = nullptr;     // the first popup: it holds the keyboard while tracked
    };

    // A popup of the menu under `parent` (the owner window); `tracking` is shared with the popups
    // it opens, a new one when null.
    MenuPopup(wxWindow* parent, HMENU menu, std::shared_ptr<Tracking> tracking = nullptr);
    ~MenuPopup() override;

    HMENU GetMenu() const { return m_menu; }
    const Tracking& GetTracking() const { return *m_tracking; }

    // Layout (client coordinates). Measured when the popup is made; Relayout measures again.
    void Relayout();
    int GetItemCount() const { return static_cast<int>(m_items.size()); }
    wxRect GetItemRect(int position) const;
    int HitTest(const wxPoint& client) const;  // -1 outside every item

    // Selection: the highlighted item, -1 for none. Separators cannot be selected; the next
    // and previous selectable items wrap round.
    int GetSelection() const { return m_selection; }
    bool Select(int position);
    bool SelectNext();
    bool SelectPrevious();

    // Choosing: a command item ends the tracking with its id; a popup item opens its popup with
    // the popup's first selectable item selected. Disabled items, separators and bad positions
    // do nothing and give false.
    bool Choose(int position);
    bool ChooseSelection() { return Choose(m_selection); }
    MenuPopup* GetSubPopup() const { return m_sub; }
    void CloseSubPopup();
    // A character typed: the owner's WM_MENUCHAR answer (or the default) selects or chooses.
    bool MenuChar(UINT ch);
    // A key pressed while the menu is tracked, acted on by the deepest open popup as a menu does:
    // Down and Up move the selection (separators skipped, wrapping round), Right opens the
    // selected item's popup, Left and Escape close one level (Escape on the first level ends the
    // tracking choosing nothing), Return chooses, a character key is a menu character.
    // `unicode` is the key's character (WXK_NONE for none). False when the key means nothing here.
    bool HandleKey(int keyCode, int unicode);
    // Makes the display's keys arrive at this shown popup as its key events (the tracking does
    // this for its first popup).
    void HoldKeyboard();
    // Ends the tracking without a choice (result 0).
    void Cancel();
    // Hides the popup; a popup that goes away ends the tracking without a choice.
    void Dismiss() override;

    // Paints the border and every item onto dc (the paint handler, and tests on a canvas).
    void PaintItems(wxDC& dc);

    // Shows the popup with its top-left corner at the screen point.
    void ShowAt(const wxPoint& screen, bool transient);

protected:
    void OnDismiss() override;
    bool ProcessLeftDown(wxMouseEvent& event) override;

private:
    struct Item {
        UINT flags = 0;       // MF_ flags of the item (type and state)
        UINT id = 0;          // command id, 0 for a popup item
        HMENU sub = nullptr;  // the popup an item opens
        ULONG_PTR data = 0;   // owner-draw data
        std::u16string text;
        wxRect rect;
    };
    bool Selectable(int position) const;
    bool Enabled(int position) const;
    void Finish(UINT result);
    void OnPaint(wxPaintEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnLeftUp(wxMouseEvent& event);
    void OnKey(wxKeyEvent& event);
    MenuPopup* Deepest();

    HMENU m_menu;
    std::shared_ptr<Tracking> m_tracking;
    std::vector<Item> m_items;
    int m_selection = -1;
    MenuPopup* m_sub = nullptr;  // an open sub-popup (a child of the same owner)
    MenuPopup* m_parentPopup = nullptr;
};

// Shows the menu's popup at the screen point (aligned by the TPM_ flags), runs until an item is
// chosen or the popup is dismissed, and returns the chosen command id (0 for none; 0 at once for
// an invalid menu). Without TPM_RETURNCMD the chosen command also reaches the owner as a menu
// command event.
int TrackPopupMenu(HMENU menu, UINT flags, int x, int y, wxWindow* owner);

// Tests: called with the top-level popup once it is shown, from the tracking's event loop.
void SetMenuTrackingHook(std::function<void(MenuPopup&)> hook);

}  // namespace platform
