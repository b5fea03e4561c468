#include "platform/menu_popup.h"

#include <algorithm>

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/dcbuffer.h>
#include <wx/dcgraph.h>
#include <wx/display.h>
#include <wx/evtloop.h>
#include <wx/graphics.h>
#include <wx/settings.h>
#include <wx/weakref.h>

#include "platform/gui_app.h"

namespace platform {

namespace {

constexpr int kBorder = 3;        // the popup's raised frame and its gap
constexpr int kCheckColumn = 18;  // plain items: room for the check mark
constexpr int kArrowColumn = 18;  // plain items: room for the popup arrow or accelerator gap
constexpr int kOwnerDrawDefault = 19;

std::function<void(MenuPopup&)>& TrackingHook()
{
    static std::function<void(MenuPopup&)> hook;
    return hook;
}

wxFont MenuFont() { return wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT); }

// The text of a plain item without its accelerator part, and the accelerator part.
std::pair<std::string, std::string> SplitAtTab(const std::u16string& text)
{
    const std::string utf8 = Utf16ToUtf8(text);
    const std::size_t tab = utf8.find('\t');
    if (tab == std::string::npos) return {utf8, std::string()};
    return {utf8.substr(0, tab), utf8.substr(tab + 1)};
}

// The position of the first plain text item whose text holds "&" and the character.
int DefaultMenuChar(const std::vector<std::u16string>& texts, UINT ch)
{
    const wxString key = (wxString("&") + wxString(static_cast<wchar_t>(ch))).Upper();
    for (std::size_t i = 0; i < texts.size(); ++i)
        if (wxString::FromUTF8(Utf16ToUtf8(texts[i])).Upper().Find(key) != wxNOT_FOUND) return static_cast<int>(i);
    return -1;
}

}  // namespace

void SetMenuTrackingHook(std::function<void(MenuPopup&)> hook) { TrackingHook() = std::move(hook); }

void DrawSubmenuArrow(wxDC& dc, const wxRect& item, COLORREF colour)
{
    const int x = item.GetRight() + 1 - 10;
    const int middle = item.y + item.height / 2;
    for (int k = 0; k < 4; ++k) FillSolidRect(dc, wxRect(x + k, middle - 3 + k, 1, 7 - 2 * k), colour);
}

MenuPopup::MenuPopup(wxWindow* parent, HMENU menu, std::shared_ptr<Tracking> tracking)
    : wxPopupTransientWindow(parent, wxBORDER_NONE), m_menu(menu),
      m_tracking(tracking ? std::move(tracking) : std::make_shared<Tracking>())
{
    if (!m_tracking->owner) m_tracking->owner = parent;
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetFont(MenuFont());
    Bind(wxEVT_PAINT, &MenuPopup::OnPaint, this);
    Bind(wxEVT_MOTION, &MenuPopup::OnMotion, this);
    Bind(wxEVT_LEFT_UP, &MenuPopup::OnLeftUp, this);
    Bind(wxEVT_KEY_DOWN, &MenuPopup::OnKey, this);
    Bind(wxEVT_CHAR, &MenuPopup::OnKey, this);
    Relayout();
}

MenuPopup::~MenuPopup()
{
    if (m_sub) {
        m_sub->m_parentPopup = nullptr;
        m_sub->Destroy();
        m_sub = nullptr;
    }
    if (m_parentPopup && m_parentPopup->m_sub == this) m_parentPopup->m_sub = nullptr;
}

void MenuPopup::Relayout()
{
    m_items.clear();
    const int count = GetMenuItemCount(m_menu);
    CMenu* object = CMenu::FromHandlePermanent(m_menu);
    auto* owner = dynamic_cast<MenuOwner*>(m_tracking->owner);
    // Plain texts are measured off screen: the window need not be shown yet.
    wxImage canvas(1, 1);
    std::unique_ptr<wxGCDC> measure;
    int width = 0, y = kBorder;
    for (int i = 0; i < count; ++i) {
        Item item;
        MENUITEMINFOW info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_DATA;
        GetMenuItemInfo(m_menu, static_cast<UINT>(i), TRUE, &info);
        item.flags = info.fType | info.fState;
        item.sub = info.hSubMenu;
        item.id = item.sub ? 0 : info.wID;
        item.data = info.dwItemData;
        item.text = GetMenuString(m_menu, static_cast<UINT>(i), MF_BYPOSITION);
        int w = 0, h = 0;
        if (item.flags & MF_OWNERDRAW) {
            MEASUREITEMSTRUCT request;
            request.CtlType = ODT_MENU;
            request.itemID = item.sub ? static_cast<UINT>(reinterpret_cast<UINT_PTR>(item.sub)) : item.id;
            request.itemData = item.data;
            if (!(owner && owner->OnMenuMeasureItem(&request, m_menu)) && object) object->MeasureItem(&request);
            w = static_cast<int>(request.itemWidth);
            h = static_cast<int>(request.itemHeight);
            if (item.sub) w += kSubmenuArrowRoom;
            if (h <= 0 && !(item.flags & MF_SEPARATOR)) h = kOwnerDrawDefault;
        } else if (item.flags & MF_SEPARATOR) {
            h = SysMetric(SM_CYMENU) / 2;
        } else {
            if (!measure) {
                measure = std::make_unique<wxGCDC>(wxGraphicsContext::Create(canvas));
                measure->SetFont(GetFont());
            }
            const auto [text, accel] = SplitAtTab(item.text);
            wxRect calc(0, 0, 0, 0);
            DrawText(*measure, text + (accel.empty() ? "" : "    " + accel), calc, DT_CALCRECT | DT_SINGLELINE);
            w = kCheckColumn + calc.width + kArrowColumn;
            h = std::max(SysMetric(SM_CYMENU), calc.height + 4);
        }
        item.rect = wxRect(kBorder, y, w, h);
        width = std::max(width, w);
        y += h;
        m_items.push_back(std::move(item));
    }
    for (Item& item : m_items) item.rect.width = width;
    SetClientSize(width + 2 * kBorder, y + kBorder);
    if (m_selection >= GetItemCount()) m_selection = -1;
}

wxRect MenuPopup::GetItemRect(int position) const
{
    if (position < 0 || position >= GetItemCount()) return wxRect();
    return m_items[static_cast<std::size_t>(position)].rect;
}

int MenuPopup::HitTest(const wxPoint& client) const
{
    for (int i = 0; i < GetItemCount(); ++i)
        if (m_items[static_cast<std::size_t>(i)].rect.Contains(client)) return i;
    return -1;
}

bool MenuPopup::Selectable(int position) const
{
    return position >= 0 && position < GetItemCount() &&
           !(m_items[static_cast<std::size_t>(position)].flags & MF_SEPARATOR);
}

bool MenuPopup::Enabled(int position) const
{
    return Selectable(position) && !(m_items[static_cast<std::size_t>(position)].flags & (MF_GRAYED | MF_DISABLED));
}

bool MenuPopup::Select(int position)
{
    if (position != -1 && !Selectable(position)) return false;
    if (position != m_selection) {
        if (m_sub && position != -1) CloseSubPopup();
        m_selection = position;
        Refresh(false);
    }
    return true;
}

bool MenuPopup::SelectNext()
{
    const int n = GetItemCount();
    for (int step = 1; step <= n; ++step) {
        const int candidate = ((m_selection < 0 ? -1 : m_selection) + step + n) % n;
        if (Selectable(candidate)) return Select(candidate);
    }
    return false;
}

bool MenuPopup::SelectPrevious()
{
    const int n = GetItemCount();
    const int from = m_selection < 0 ? n : m_selection;
    for (int step = 1; step <= n; ++step) {
        const int candidate = ((from - step) % n + n) % n;
        if (Selectable(candidate)) return Select(candidate);
    }
    return false;
}

bool MenuPopup::Choose(int position)
{
    if (m_tracking->done || !Enabled(position)) return false;
    Select(position);
    const Item& item = m_items[static_cast<std::size_t>(position)];
    if (item.sub) {
        if (m_sub && m_sub->m_menu == item.sub) return true;
        CloseSubPopup();
        m_sub = new MenuPopup(m_tracking->owner, item.sub, m_tracking);
        m_sub->m_parentPopup = this;
        m_sub->SelectNext();
        const wxPoint corner = ClientToScreen(wxPoint(item.rect.GetRight(), item.rect.GetTop() - kBorder));
        m_sub->ShowAt(corner, false);
        // Showing a popup takes the pointer to it; the keys stay with the first popup.
        if (m_tracking->root && !m_tracking->done) m_tracking->root->HoldKeyboard();
        return true;
    }
    Finish(item.id);
    return true;
}

void MenuPopup::CloseSubPopup()
{
    if (!m_sub) return;
    MenuPopup* sub = m_sub;
    sub->CloseSubPopup();
    m_sub = nullptr;
    sub->m_parentPopup = nullptr;
    sub->Hide();
    // Deleted once the event that closed it is over: that event may be the popup's own.
    if (wxTheApp)
        wxTheApp->ScheduleForDestruction(sub);
    else
        sub->Destroy();
    // Hiding a popup lets go of the display's keyboard and pointer; the first popup holds the
    // keyboard again (wx hands the pointer back to it).
    if (m_tracking->root && !m_tracking->done) m_tracking->root->HoldKeyboard();
}

MenuPopup* MenuPopup::Deepest()
{
    MenuPopup* p = this;
    while (p->m_sub) p = p->m_sub;
    return p;
}

bool MenuPopup::MenuChar(UINT ch)
{
    auto* owner = dynamic_cast<MenuOwner*>(m_tracking->owner);
    LRESULT answer = owner ? owner->OnMenuChar(ch, MF_POPUP, m_menu) : 0;
    int position = -1;
    bool execute = true;
    if (answer != 0) {
        const auto code = static_cast<DWORD>(answer) >> 16;
        position = static_cast<int>(answer & 0xFFFF);
        if (code == 1) {  // close
            Cancel();
            return true;
        }
        if (code != 2 && code != 3) return false;
        execute = code == 2;
    } else {
        std::vector<std::u16string> texts;
        for (const Item& item : m_items)
            texts.push_back(item.flags & (MF_OWNERDRAW | MF_SEPARATOR | MF_BITMAP) ? std::u16string() : item.text);
        position = DefaultMenuChar(texts, ch);
    }
    if (!Selectable(position)) return false;
    return execute ? Choose(position) : Select(position);
}

void MenuPopup::Cancel() { Finish(0); }

void MenuPopup::Finish(UINT result)
{
    if (m_tracking->done) return;
    m_tracking->done = true;
    m_tracking->result = result;
    if (m_tracking->onDone) m_tracking->onDone();
}

void MenuPopup::PaintItems(wxDC& dc)
{
    const wxSize size = GetClientSize();
    FillSolidRect(dc, wxRect(0, 0, size.x, size.y), SysColor(COLOR_MENU));
    wxRect frame(0, 0, size.x, size.y);
    DrawEdge(dc, frame, EDGE_RAISED, BF_RECT);
    CMenu* object = CMenu::FromHandlePermanent(m_menu);
    dc.SetFont(GetFont());
    for (int i = 0; i < GetItemCount(); ++i) {
        const Item& item = m_items[static_cast<std::size_t>(i)];
        const bool selected = i == m_selection;
        const bool grayed = (item.flags & (MF_GRAYED | MF_DISABLED)) != 0;
        if (item.flags & MF_OWNERDRAW) {
            DRAWITEMSTRUCT request;
            request.CtlType = ODT_MENU;
            request.itemID = item.id;
            request.itemAction = ODA_DRAWENTIRE;
            request.itemState = (selected ? ODS_SELECTED : 0) | ((item.flags & MF_GRAYED) ? ODS_GRAYED : 0) |
                                ((item.flags & MF_DISABLED) ? ODS_DISABLED : 0) |
                                ((item.flags & MF_CHECKED) ? ODS_CHECKED : 0);
            request.hwndItem = m_menu;
            request.hDC = &dc;
            request.rcItem = item.rect;
            request.itemData = item.data;
            if (object) object->DrawItem(&request);
            continue;
        }
        if (item.flags & MF_SEPARATOR) {
            wxRect line(item.rect.x, item.rect.y + item.rect.height / 2, item.rect.width, item.rect.height);
            DrawEdge(dc, line, EDGE_ETCHED, BF_TOP);
            continue;
        }
        const COLORREF fill = selected ? SysColor(COLOR_HIGHLIGHT) : SysColor(COLOR_MENU);
        FillSolidRect(dc, item.rect, fill);
        COLORREF text = selected ? SysColor(COLOR_HIGHLIGHTTEXT) : SysColor(COLOR_MENUTEXT);
        if (grayed) text = SysColor(COLOR_GRAYTEXT);
        dc.SetBackgroundMode(wxTRANSPARENT);
        dc.SetTextForeground(ToColour(text));
        const auto [caption, accel] = SplitAtTab(item.text);
        wxRect r(item.rect.x + kCheckColumn, item.rect.y, item.rect.width - kCheckColumn - kArrowColumn,
                 item.rect.height);
        DrawText(dc, caption, r, DT_SINGLELINE | DT_VCENTER);
        if (!accel.empty()) DrawText(dc, accel, r, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
        if (item.flags & MF_CHECKED) {
            wxRect mark(item.rect.x + 4, item.rect.y, kCheckColumn - 4, item.rect.height);
            DrawText(dc, std::string("\xE2\x9C\x93"), mark, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        }
        if (item.sub) DrawSubmenuArrow(dc, item.rect, text);
    }
}

void MenuPopup::ShowAt(const wxPoint& screen, bool transient)
{
    wxPoint at = screen;
    const wxSize size = GetSize();
    const wxRect display = wxDisplay(wxDisplay::GetFromPoint(screen) == wxNOT_FOUND
                                         ? 0u
                                         : static_cast<unsigned>(wxDisplay::GetFromPoint(screen)))
                               .GetGeometry();
    at.x = std::max(display.x, std::min(at.x, display.GetRight() + 1 - size.x));
    at.y = std::max(display.y, std::min(at.y, display.GetBottom() + 1 - size.y));
    Move(at);
    if (transient)
        Popup();
    else
        Show();
}

void MenuPopup::Dismiss()
{
    wxPopupTransientWindow::Dismiss();
    Finish(0);
}

void MenuPopup::OnDismiss()
{
    // A click outside, or the owner losing the focus, ends the tracking without a choice.
    Finish(0);
}

bool MenuPopup::ProcessLeftDown(wxMouseEvent& event)
{
    // A click in an open sub-popup belongs to it: the transient window would take it for a
    // click outside.
    const wxPoint screen = ClientToScreen(event.GetPosition());
    for (MenuPopup* p = m_sub; p; p = p->m_sub) {
        if (p->GetScreenRect().Contains(screen)) {
            p->Choose(p->HitTest(p->ScreenToClient(screen)));
            return true;
        }
    }
    return false;
}

void MenuPopup::OnPaint(wxPaintEvent&)
{
    wxAutoBufferedPaintDC dc(this);
    PaintItems(dc);
}

void MenuPopup::OnMotion(wxMouseEvent& event)
{
    const int hit = HitTest(event.GetPosition());
    if (hit != -1 && hit != m_selection) Select(hit);
    event.Skip();
}

void MenuPopup::OnLeftUp(wxMouseEvent& event)
{
    const int hit = HitTest(event.GetPosition());
    if (hit != -1) Choose(hit);
    event.Skip();
}

void MenuPopup::OnKey(wxKeyEvent& event)
{
    // A key that means nothing as a press comes back as a character: a menu character.
    if (event.GetEventType() == wxEVT_CHAR) {
        HandleKey(WXK_NONE, static_cast<int>(event.GetUnicodeKey()));
        return;
    }
    if (!HandleKey(event.GetKeyCode(), WXK_NONE)) event.Skip();
}

bool MenuPopup::HandleKey(int keyCode, int unicode)
{
    if (m_tracking->done) return false;
    MenuPopup* target = Deepest();
    switch (keyCode) {
    case WXK_DOWN:
    case WXK_NUMPAD_DOWN: return target->SelectNext();
    case WXK_UP:
    case WXK_NUMPAD_UP: return target->SelectPrevious();
    case WXK_RIGHT:
    case WXK_NUMPAD_RIGHT: {
        const int selection = target->m_selection;
        if (!target->Selectable(selection) || !target->m_items[static_cast<std::size_t>(selection)].sub) return false;
        return target->Choose(selection);
    }
    case WXK_LEFT:
    case WXK_NUMPAD_LEFT:
        if (!target->m_parentPopup) return false;
        target->m_parentPopup->CloseSubPopup();
        return true;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER: return target->ChooseSelection();
    case WXK_ESCAPE:
        if (target->m_parentPopup)
            target->m_parentPopup->CloseSubPopup();
        else
            Cancel();
        return true;
    default: break;
    }
    if (unicode == WXK_NONE || unicode < 32 || unicode == WXK_DELETE) return false;
    return target->MenuChar(static_cast<UINT>(unicode));
}

// Keys reach a popup window only when it holds the keyboard. A window manager never gives the
// keyboard focus to a popup (an override-redirect window), so the keys would go to the window
// under the menu; and the toolkit hands a key that does arrive at a popup to the window of its
// latest grab (each shown popup grabs, so the deepest open one) and there only to that window's
// focus widget, which a popup does not have. So while the menu is tracked the first popup grabs
// the display's keyboard, as the toolkit's own menus do, and every open popup's client area is
// its window's focus widget: every key then arrives as a key event of one of the tracking's
// popups (which hand it to the deepest), whatever window had the focus and whatever the window
// manager, and no key reaches the window under the menu. Hiding the first popup ends the grab.
void MenuPopup::HoldKeyboard()
{
    if (!GetHandle() || !IsShown()) return;
    for (MenuPopup* p = this; p; p = p->m_sub) {
        if (!p->GetHandle() || !p->m_wxwindow) continue;
        gtk_widget_set_can_focus(p->m_wxwindow, TRUE);
        gtk_window_set_focus(GTK_WINDOW(p->GetHandle()), p->m_wxwindow);
    }
    GdkWindow* window = gtk_widget_get_window(GetHandle());
    GdkSeat* seat = window ? gdk_display_get_default_seat(gdk_window_get_display(window)) : nullptr;
    if (seat) gdk_seat_grab(seat, window, GDK_SEAT_CAPABILITY_KEYBOARD, FALSE, nullptr, nullptr, nullptr, nullptr);
}

int TrackPopupMenu(HMENU menu, UINT flags, int x, int y, wxWindow* owner)
{
    if (!IsMenu(menu) || !HaveGuiApp()) return 0;
    auto tracking = std::make_shared<MenuPopup::Tracking>();
    tracking->owner = owner;
    wxWindow* parent = owner ? owner : wxTheApp->GetTopWindow();
    auto* popup = new MenuPopup(parent, menu, tracking);
    const wxSize size = popup->GetSize();
    wxPoint at(x, y);
    if (flags & TPM_RIGHTALIGN)
        at.x -= size.x;
    else if (flags & TPM_CENTERALIGN)
        at.x -= size.x / 2;
    if (flags & TPM_BOTTOMALIGN)
        at.y -= size.y;
    else if (flags & TPM_VCENTERALIGN)
        at.y -= size.y / 2;

    // The window with the keyboard focus gets it back when the menu is gone, as after a platform
    // menu: showing the popup may have moved the display's focus to it (without a window manager
    // it keeps it, and when it goes the focus falls back to no window of the program).
    const wxWeakRef<wxWindow> focused(wxWindow::FindFocus());
    wxGUIEventLoop loop;
    tracking->onDone = [&loop] {
        if (loop.IsRunning()) loop.Exit(0);
    };
    tracking->root = popup;
    popup->ShowAt(at, true);
    popup->HoldKeyboard();
    if (TrackingHook()) {
        auto hook = TrackingHook();
        popup->CallAfter([hook, popup, tracking] {
            if (!tracking->done) hook(*popup);
        });
    }
    if (!tracking->done) loop.Run();
    tracking->onDone = nullptr;
    popup->CloseSubPopup();
    if (popup->IsShown()) popup->Dismiss();
    popup->Destroy();
    if (focused && focused->IsShownOnScreen()) {
        if (wxWindow* top = wxGetTopLevelParent(focused.get())) top->Raise();
        focused->SetFocus();
    }

    const UINT result = tracking->result;
    if (result != 0 && owner && !(flags & TPM_RETURNCMD)) {
        wxCommandEvent command(wxEVT_MENU, static_cast<int>(result));
        command.SetEventObject(owner);
        owner->GetEventHandler()->ProcessEvent(command);
    }
    return static_cast<int>(result);
}

}  // namespace platform
