// CButtonNX: attaching, messages, hover tracking, tooltip, cursor, sounds, check box and link.
#include <cstring>

#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/tooltip.h>
#include <wx/toplevel.h>

#include "controls/ButtonNX.h"
#include "core/codepage.h"
#include "core/opener.h"
#include "platform/dialog_template.h"
#include "platform/resources.h"

wxDEFINE_EVENT(wxEVT_BUTTONNX_MENU_NOTIFY, wxCommandEvent);

std::function<wxWindow*(const wxPoint&)> CButtonNX::s_windowFromPoint = [](const wxPoint& screen) {
    return wxFindWindowAtPoint(screen);
};
std::function<bool()> CButtonNX::s_hasActiveWindow = [] { return wxGetActiveWindow() != nullptr; };

namespace {

void PlayButtonSound(const CButtonNX::ButtonSound& slot)
{
    if (slot.sound != nullptr) platform::PlaySound(slot.sound, slot.hModule, slot.flags);
}

}  // namespace

// ---------------------------------------------------------------- attaching

void CButtonNX::PreSubclassWindow(DWORD style)
{
    // The check-box test is on the one bit: every type that has it is taken as a check box.
    if (style & BS_CHECKBOX) m_checkBox = TRUE;
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) m_defaultButton = TRUE;
    // From now on the button draws itself.
    m_buttonStyle = (style & ~BS_TYPEMASK) | BS_OWNERDRAW;
    Repaint(TRUE);
}

DWORD CButtonNX::ButtonStyleOf(wxWindow* control)
{
    if (auto* check = dynamic_cast<wxCheckBox*>(control)) return check->Is3State() ? BS_AUTO3STATE : BS_AUTOCHECKBOX;
    if (dynamic_cast<wxRadioButton*>(control) != nullptr) return BS_AUTORADIOBUTTON;
    if (auto* nx = dynamic_cast<CButtonNX*>(control)) return nx->m_buttonStyle;
    if (dynamic_cast<wxButton*>(control) != nullptr) {
        auto* tlw = dynamic_cast<wxTopLevelWindow*>(wxGetTopLevelParent(control));
        if (tlw != nullptr && tlw->GetDefaultItem() == control) return BS_DEFPUSHBUTTON;
    }
    return BS_PUSHBUTTON;
}

// ---------------------------------------------------------------- check box and default role

DWORD CButtonNX::SetCheckState(BOOL checked, BOOL repaint)
{
    if (m_checkBox) {
        m_checked = checked ? 1 : 0;
        Repaint(repaint);
    }
    return 0;
}

DWORD CButtonNX::SetTrackAlways(BOOL always)
{
    m_trackAlways = always;
    return 0;
}

void CButtonNX::SyncDefaultRole()
{
    // The dialog's default item is the dialog manager's word: when it moves, the button hears of
    // it as the style message the manager sends.
    auto* tlw = dynamic_cast<wxTopLevelWindow*>(wxGetTopLevelParent(this));
    if (tlw == nullptr) return;
    wxWindow* current = tlw->GetDefaultItem();
    if (current == m_seenDefault) return;
    m_seenDefault = current;
    const BOOL isDefault = current == this ? TRUE : FALSE;
    if (isDefault != m_defaultButton) OnSetStyleMsg(isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, FALSE);
}

wxWindow* CButtonNX::SetDefault()
{
    wxWindow* old = wxButton::SetDefault();
    m_seenDefault = this;
    OnSetStyleMsg(BS_DEFPUSHBUTTON, TRUE);
    if (old != nullptr && old != this) {
        if (auto* nx = dynamic_cast<CButtonNX*>(old))
            nx->OnSetStyleMsg(BS_PUSHBUTTON, TRUE);
        else
            old->Refresh();
    }
    return old;
}

// ---------------------------------------------------------------- messages by number

LRESULT CButtonNX::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_GETDLGCODE: return OnGetDlgCode();
    case BM_SETSTYLE: return OnSetStyleMsg(wParam, lParam);
    case BM_SETCHECK: return OnSetCheckMsg(wParam, lParam);
    case BM_GETCHECK: return OnGetCheckMsg(wParam, lParam);
    default: return 0;
    }
}

UINT CButtonNX::OnGetDlgCode()
{
    SyncDefaultRole();
    return DLGC_BUTTON | (m_defaultButton ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
}

LRESULT CButtonNX::OnSetStyleMsg(WPARAM wParam, LPARAM lParam)
{
    const DWORD style = static_cast<DWORD>(wParam);
    const DWORD type = style & BS_TYPEMASK;
    if (type == BS_DEFPUSHBUTTON)
        m_defaultButton = TRUE;
    else if (type == BS_PUSHBUTTON)
        m_defaultButton = FALSE;
    // The window keeps drawing itself whatever type it is given; lParam asks for a redraw.
    m_buttonStyle = (style & ~BS_TYPEMASK) | BS_OWNERDRAW;
    if (lParam) Repaint(TRUE);
    return 0;
}

LRESULT CButtonNX::OnMouseLeave(WPARAM, LPARAM)
{
    EndHover();
    return 0;
}

LRESULT CButtonNX::OnSetCheckMsg(WPARAM wParam, LPARAM)
{
    SetCheckState(wParam == BST_CHECKED || wParam == BST_INDETERMINATE ? TRUE : FALSE, TRUE);
    return 0;
}

LRESULT CButtonNX::OnGetCheckMsg(WPARAM, LPARAM) { return GetCheckState(); }

// ---------------------------------------------------------------- hover

void CButtonNX::EndHover()
{
    if (m_flat && m_hover) {
        m_hover = FALSE;
        Repaint(TRUE);
    }
}

void CButtonNX::OnMouseMove(UINT flags, const wxPoint& point)
{
    wxWindow* under = nullptr;
    if (s_windowFromPoint && GetHandle() != nullptr) {
        // (A window not on the screen has no screen position; it gets no real mouse moves.)
        under = s_windowFromPoint(IsShownOnScreen() ? ClientToScreen(point) : point);
    }
    // Not lit with the left button held down (but a lit button is put out below).
    if ((flags & MK_LBUTTON) && !m_hover) return;
    if (!m_flat) return;
    const bool active = m_trackAlways || (s_hasActiveWindow && s_hasActiveWindow());
    if (under == this && active) {
        if (!m_hover) {
            m_hover = TRUE;
            Repaint(TRUE);
            PlayButtonSound(m_sounds[0]);
            // The window reports the mouse leaving by itself (wxEVT_LEAVE_WINDOW).
        }
        return;
    }
    EndHover();
}

void CButtonNX::OnKillFocus() { EndHover(); }

void CButtonNX::OnActivate(UINT state)
{
    if (state == WA_INACTIVE) EndHover();
}

void CButtonNX::OnCancelMode() { EndHover(); }

void CButtonNX::OnTopLevelActivate(wxActivateEvent& event)
{
    OnActivate(event.GetActive() ? WA_ACTIVE : WA_INACTIVE);
    event.Skip();
}

// ---------------------------------------------------------------- enabling

bool CButtonNX::Enable(bool enable)
{
    const bool changed = wxButton::Enable(enable);
    if (changed) OnEnable(enable ? TRUE : FALSE);
    return changed;
}

void CButtonNX::OnEnable(BOOL enable)
{
    if (enable) return;
    // The focus goes on to the next control of the parent's tab order (after the button, coming
    // round from the first), or to the parent, whether or not the button had it.
    if (wxWindow* parent = GetParent()) {
        const wxWindowList& children = parent->GetChildren();
        wxWindow* next = nullptr;
        bool after = false;
        for (int pass = 0; pass < 2 && next == nullptr; ++pass) {
            for (wxWindow* w : children) {
                if (w == this) {
                    if (pass == 1) break;
                    after = true;
                    continue;
                }
                if ((after || pass == 1) && !w->IsTopLevel() && w->CanAcceptFocus()) {
                    next = w;
                    break;
                }
            }
        }
        if (next != nullptr)
            next->SetFocus();
        else
            parent->SetFocus();
    }
    EndHover();
}

// ---------------------------------------------------------------- system colours

void CButtonNX::OnSysColorChange()
{
    DropBackgroundCopy();
    ResetColors(TRUE);
}

// ---------------------------------------------------------------- tooltip

bool CButtonNX::TryBefore(wxEvent& event)
{
    CreateTip();
    // A double click is a second press: the button never reports a double click.
    if (event.GetEventType() == wxEVT_LEFT_DCLICK) event.SetEventType(wxEVT_LEFT_DOWN);
    return wxButton::TryBefore(event);
}

void CButtonNX::CreateTip()
{
    if (m_toolTip != nullptr) return;
    // Created inactive. (Tips wrap by themselves: the toolkit gives them no width to set.)
    m_toolTip = new wxToolTip(wxString());
    m_tipCreatedStyle = m_toolTipStyle;
    m_tipActive = false;
}

void CButtonNX::ApplyTip()
{
    if (GetHandle() == nullptr) return;
    if (m_toolTip != nullptr && m_tipHasTool && m_tipActive)
        SetToolTip(m_toolTip->GetTip());
    else if (GetToolTip() != nullptr)
        UnsetToolTip();
}

void CButtonNX::SetTipText(const char* text, BOOL activate)
{
    if (text == nullptr) return;
    CreateTip();
    if (!m_tipHasTool) {
        m_tipHasTool = true;
        m_tipRect = GetHandle() != nullptr ? GetClientRect() : wxRect();
    }
    m_toolTip->SetTip(wxString::FromUTF8(core::FromCodePage(text)));
    m_tipActive = activate != FALSE;
    ApplyTip();
}

void CButtonNX::SetTipText(int stringId, BOOL activate)
{
    const std::string text = platform::LoadStringResource(stringId);
    if (!text.empty()) SetTipText(text.c_str(), activate);
}

void CButtonNX::ActivateTip(BOOL activate)
{
    if (!m_tipHasTool) return;
    m_tipActive = activate != FALSE;
    ApplyTip();
}

DWORD CButtonNX::UseBalloonTip()
{
    m_toolTipStyle |= TTS_BALLOON;
    return 0;
}

wxString CButtonNX::GetTipText() const
{
    return m_toolTip != nullptr && m_tipHasTool ? m_toolTip->GetTip() : wxString();
}

// ---------------------------------------------------------------- cursor

DWORD CButtonNX::SetHoverCursor(int cursorId, BOOL repaint)
{
    m_hoverCursor = wxCursor();
    if (cursorId == 0) return 0;
    const wxImage image = platform::LoadImageResource(platform::ResType::Cursor, cursorId);
    if (image.IsOk())
        m_hoverCursor = wxCursor(image);
    else if (cursorId == IDC_HAND)
        m_hoverCursor = wxCursor(wxCURSOR_HAND);
    Repaint(repaint);
    return m_hoverCursor.IsOk() ? 0 : 1;
}

BOOL CButtonNX::OnSetCursor() { return m_hoverCursor.IsOk() ? TRUE : FALSE; }

// ---------------------------------------------------------------- link, notify, sounds

DWORD CButtonNX::SetLinkTarget(const char* url)
{
    std::memset(m_linkTarget, 0, sizeof m_linkTarget);
    if (url != nullptr) {
        const std::string cut = core::CutToBytes(url, sizeof m_linkTarget - 1);
        std::memcpy(m_linkTarget, cut.data(), cut.size());
    }
    return 0;
}

DWORD CButtonNX::SetMenuNotify(wxWindow* hWnd, UINT message, LPARAM lParam)
{
    m_menuNotify.hWnd = hWnd;
    m_menuNotify.message = message;
    m_menuNotify.lParam = lParam;
    return 0;
}

DWORD CButtonNX::SetSounds(const char* sound, platform::HMODULE module, BOOL clickSound, BOOL async)
{
    ButtonSound& slot = m_sounds[clickSound ? 1 : 0];
    slot = ButtonSound{};
    if (sound == nullptr) return 0;
    if (module != nullptr) {
        slot.sound = sound;  // a resource name or id: the caller's, not copied
    } else {
        // A file name must fit the record whole: a cut name would name another file.
        if (platform::IsIntResource(sound)) return 5;
        const std::size_t length = std::strlen(sound);
        if (length >= sizeof slot.fileName) return 5;
        std::memcpy(slot.fileName, sound, length);
        slot.sound = slot.fileName;
    }
    slot.hModule = module;
    slot.flags = platform::SND_NOWAIT | platform::SND_NODEFAULT;
    slot.flags |= module != nullptr ? platform::SND_RESOURCE : platform::SND_FILENAME;
    if (async) slot.flags |= platform::SND_ASYNC;
    return 0;
}

// ---------------------------------------------------------------- the click

BOOL CButtonNX::OnBnClicked()
{
    if (GetHandle() != nullptr) SetFocus();
    // Without SND_ASYNC the click waits until the sound has played.
    PlayButtonSound(m_sounds[1]);
    if (m_checkBox) {
        m_checked = m_checked ? 0 : 1;
        Repaint(TRUE);
    } else if (m_menu.GetSafeHmenu() != nullptr) {
        ShowDropDown();
    } else if (m_linkTarget[0] != '\0') {
        core::Opener().Open(m_linkTarget);  // nothing is reported when it cannot be opened
    }
    return FALSE;  // the parent hears of the click as well
}

// ---------------------------------------------------------------- drop-down menu

DWORD CButtonNX::AttachMenu(UINT menuId, wxWindow* owner, int drawMode, UINT toolbarId, int imageWidth, int imageHeight,
                            COLORREF imageBackground, BOOL repaint)
{
    if (m_menu.GetSafeHmenu() != nullptr) {
        m_menu.DestroyMenu();
        m_menuOwner = nullptr;
        m_menuShown = FALSE;
    }
    if (menuId != 0) {
        KiroMenu::SetDrawMode(drawMode);
        if (!m_menu.LoadMenu(menuId)) return 1;
        if (toolbarId != 0) {
            m_menu.SetImageBackground(imageBackground);
            m_menu.SetImageSize(imageWidth, imageHeight);
            if (!m_menu.LoadToolbarImages(toolbarId)) {
                m_menu.DestroyMenu();
                return 1;
            }
        }
        m_menuOwner = owner;
    }
    Repaint(repaint);
    return 0;
}

void CButtonNX::ShowDropDown()
{
    const wxRect rect = GetHandle() != nullptr && IsShownOnScreen() ? GetScreenRect() : GetRect();
    m_menuShown = TRUE;  // drawn pressed while the menu is open
    Repaint(TRUE);
    CMenu* popup = m_menu.GetSubMenu(0);
    if (m_menuNotify.hWnd != nullptr) {
        // At once, so the receiver can change the popup's items before it is shown.
        wxCommandEvent notify(wxEVT_BUTTONNX_MENU_NOTIFY, static_cast<int>(m_menuNotify.message));
        notify.SetEventObject(this);
        notify.SetClientData(popup);
        notify.SetExtraLong(static_cast<long>(m_menuNotify.lParam));
        m_menuNotify.hWnd->GetEventHandler()->ProcessEvent(notify);
    }
    // A loaded menu without a popup has nothing to drop down.
    const int command = popup != nullptr ? platform::TrackPopupMenu(popup->GetSafeHmenu(), kDropDownTrackFlags,
                                                                    rect.GetLeft(), rect.GetBottom() + 1, this)
                                         : 0;
    m_menuShown = FALSE;
    Repaint(TRUE);
    if (command != 0 && m_menuOwner != nullptr) {
        // Posted, as a menu command of the owner.
        auto* chosen = new wxCommandEvent(wxEVT_MENU, command & 0xFFFF);
        chosen->SetEventObject(m_menuOwner);
        m_menuOwner->GetEventHandler()->QueueEvent(chosen);
    }
}

bool CButtonNX::OnMeasureItem(MEASUREITEMSTRUCT* request)
{
    if (request == nullptr || request->CtlType != ODT_MENU) return false;
    auto* menu = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(request->itemID));
    if (!platform::IsMenu(menu) || !KiroMenu::IsOwnedPopup(menu)) return false;
    m_menu.MeasureItem(request);
    return true;
}

bool CButtonNX::OnMenuMeasureItem(MEASUREITEMSTRUCT* request, HMENU) { return OnMeasureItem(request); }

LRESULT CButtonNX::OnMenuChar(UINT ch, UINT flags, HMENU menu)
{
    CMenu* object = CMenu::FromHandle(menu);
    if (object != nullptr && KiroMenu::IsOwnedPopup(object)) return KiroMenu::FindMenuChar(ch, flags, object);
    return 0;
}

// ---------------------------------------------------------------- attaching a dialog control

CButtonNX* AttachButtonNX(wxWindow* dialog, int id)
{
    if (dialog == nullptr) return nullptr;
    wxWindow* old = nullptr;
    for (wxWindow* child : dialog->GetChildren()) {
        if (child->GetId() != id || dynamic_cast<CButtonNX*>(child) != nullptr) continue;
        if (dynamic_cast<wxButton*>(child) != nullptr || dynamic_cast<wxCheckBox*>(child) != nullptr) {
            old = child;
            break;
        }
    }
    if (old == nullptr) return nullptr;
    const DWORD style = CButtonNX::ButtonStyleOf(old);
    auto* check = dynamic_cast<wxCheckBox*>(old);
    const bool checked = check != nullptr && check->Get3StateValue() != wxCHK_UNCHECKED;
    auto* button = new CButtonNX(dialog, wxID_ANY, old->GetLabel(), old->GetPosition(), old->GetSize());
    button->SetFont(old->GetFont());
    if (!platform::SwapControl(dialog, id, button)) {
        button->Destroy();
        return nullptr;
    }
    button->PreSubclassWindow(style);
    // A check box keeps the state it had.
    if (checked) button->SetCheckState(TRUE, TRUE);
    return button;
}
