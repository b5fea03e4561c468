// The editable records list: cell selection, in-place editing and cell drawing.
#include "controls/EditListCtrl.h"

#include <algorithm>

#include <wx/dc.h>

#include "platform/gdi.h"

using namespace listview;

namespace {

constexpr int kEmptyTextWidth = 41;  // an empty cell's text counts as this wide
constexpr int kHighlightInset = 4;   // highlight and editor start this far right of the label's left
constexpr int kHighlightExtra = 6;   // the highlight is this much wider than the text
constexpr int kTextInset = 6;        // cell text starts this far right of the label's left
constexpr int kEditorSlack = 8;      // room for the caret beyond the text and the field's padding
constexpr int kEditorMinWidth = 24;

}  // namespace

// ---- CItemEdit ----

CItemEdit::CItemEdit() : m_fixedLeft(0) {}

CItemEdit::~CItemEdit() = default;

void CItemEdit::SubclassWindow() { m_subclassed = true; }

void CItemEdit::UnsubclassWindow() { m_subclassed = false; }

void CItemEdit::OnWindowPosChanging(WINDOWPOS* pos)
{
    pos->x = m_fixedLeft;
    // The x is given: -1 is a position like any other, not "keep the current one".
    pos->flags |= wxSIZE_ALLOW_MINUS_ONE;
}

void CItemEdit::DoSetSize(int x, int y, int width, int height, int sizeFlags)
{
    if (m_subclassed) {
        // Whatever moves or sizes the editor, its left edge stays put; the other coordinates that
        // the caller leaves out are the current ones.
        const wxRect now = GetRect();
        const bool keepUnset = !(sizeFlags & wxSIZE_ALLOW_MINUS_ONE);
        WINDOWPOS pos;
        pos.x = x;
        pos.y = (keepUnset && y == wxDefaultCoord) ? now.y : y;
        pos.cx = (keepUnset && width == wxDefaultCoord) ? now.width : width;
        pos.cy = (keepUnset && height == wxDefaultCoord) ? now.height : height;
        pos.flags = sizeFlags;
        OnWindowPosChanging(&pos);
        wxTextCtrl::DoSetSize(pos.x, pos.y, pos.cx, pos.cy, pos.flags);
        return;
    }
    wxTextCtrl::DoSetSize(x, y, width, height, sizeFlags);
}

// ---- CEditListCtrl: construction ----

CEditListCtrl::CEditListCtrl() : m_selColumn(-1), m_selRow(-1), m_cellSelected(FALSE), m_mousePressed(FALSE) {}

CEditListCtrl::CEditListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style)
    : CEditListCtrl()
{
    Create(parent, id, pos, size, style);
}

CEditListCtrl::~CEditListCtrl()
{
    // The editor goes first (it is a member, destroyed before the list's window); none of its
    // events may reach the half-destroyed list any more.
    if (m_editorBound) {
        m_editor.Unbind(wxEVT_CHAR_HOOK, &CEditListCtrl::OnEditorKey, this);
        m_editor.Unbind(wxEVT_KILL_FOCUS, &CEditListCtrl::OnEditorFocusLost, this);
        m_editor.Unbind(wxEVT_TEXT, &CEditListCtrl::OnEditorText, this);
        m_editorBound = false;
    }
    m_editRow = -1;
}

bool CEditListCtrl::Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style)
{
    if (!ReportList::Create(parent, id, pos, size, style)) return false;
    Bind(wxEVT_LEFT_DOWN, &CEditListCtrl::OnMouseLeftDown, this);
    Bind(wxEVT_KILL_FOCUS, &CEditListCtrl::OnFocusLost, this);
    Bind(wxEVT_SET_FOCUS, &CEditListCtrl::OnFocusGained, this);
    for (const auto& type :
         {wxEVT_SCROLLWIN_TOP, wxEVT_SCROLLWIN_BOTTOM, wxEVT_SCROLLWIN_LINEUP, wxEVT_SCROLLWIN_LINEDOWN,
          wxEVT_SCROLLWIN_PAGEUP, wxEVT_SCROLLWIN_PAGEDOWN, wxEVT_SCROLLWIN_THUMBTRACK, wxEVT_SCROLLWIN_THUMBRELEASE})
        Bind(type, &CEditListCtrl::OnScrolled, this);
    Bind(wxEVT_MOUSEWHEEL, [this](wxMouseEvent& event) {
        if (IsEditingLabel()) EndEditLabel(false);
        event.Skip();
    });
    PreSubclassWindow();
    return true;
}

void CEditListCtrl::PreSubclassWindow() { m_editLabels = true; }

// ---- geometry ----

wxRect CEditListCtrl::GetCellLabelRect(int row, int subitem) const { return GetSubItemRect(row, subitem); }

bool CEditListCtrl::CursorInsideList() const { return GetScreenRect().Contains(wxGetMousePosition()); }

// ---- the press ----

void CEditListCtrl::DefaultButtonDown()
{
    // A press in the list ends an open edit (keeping its text) and gives the list the focus.
    if (IsEditingLabel()) EndEditLabel(false);
    if (IsShownOnScreen()) SetFocus();
}

void CEditListCtrl::OnLButtonDown(UINT /*nFlags*/, const wxPoint& point)
{
    m_mousePressed = TRUE;
    int row = -1, column = -1;
    if (SubItemHitTest(point, &row, &column)) {
        DefaultButtonDown();
        if (m_cellSelected && row == m_selRow && column == m_selColumn) {
            EditLabel(m_selRow);
            return;
        }
        m_selRow = row;
        m_selColumn = column;
        m_cellSelected = TRUE;
    } else {
        if (!m_editor.HasWindow()) m_cellSelected = FALSE;
        DefaultButtonDown();
    }
    Refresh(true);
}

void CEditListCtrl::OnMouseLeftDown(wxMouseEvent& event)
{
    UINT flags = 0x0001;  // MK_LBUTTON
    if (event.ShiftDown()) flags |= 0x0004;
    if (event.ControlDown()) flags |= 0x0008;
    OnLButtonDown(flags, event.GetPosition());
}

// ---- focus ----

void CEditListCtrl::OnKillFocus(wxWindow* pNewWnd)
{
    if (CursorInsideList()) return;
    // The focus moving into the list's own editor is no loss: the edit keeps its cell.
    if (pNewWnd != nullptr && pNewWnd == &m_editor) return;
    if (pNewWnd != nullptr) {
        m_selRow = -1;
        m_selColumn = -1;
        m_mousePressed = FALSE;
        m_cellSelected = FALSE;
        Refresh(true);
    }
}

void CEditListCtrl::OnSetFocus(wxWindow* /*pOldWnd*/) {}

void CEditListCtrl::OnFocusLost(wxFocusEvent& event)
{
    event.Skip();  // the default handling
    wxWindow* next = event.GetWindow();
    if (next == nullptr) {
        next = wxWindow::FindFocus();
        if (next == this) next = nullptr;
    }
    OnKillFocus(next);
}

void CEditListCtrl::OnFocusGained(wxFocusEvent& event)
{
    OnSetFocus(event.GetWindow());  // and no default handling
}

void CEditListCtrl::OnScrolled(wxScrollWinEvent& event)
{
    // The editor does not scroll with the cells: a scroll ends the edit, keeping its text.
    if (IsEditingLabel()) EndEditLabel(false);
    event.Skip();
}

// ---- label editing ----

LRESULT CEditListCtrl::Notify(NMHDR& nm, UINT code)
{
    nm.hwndFrom = this;
    nm.idFrom = GetId();
    nm.code = code;
    LRESULT result = 0;
    if (code == LVN_BEGINLABELEDIT)
        OnBeginLabelEdit(&nm, &result);
    else if (code == LVN_ENDLABELEDIT)
        OnEndLabelEdit(&nm, &result);
    else if (code == NM_CUSTOMDRAW)
        OnCustomDraw(&nm, &result);
    return result;
}

CItemEdit* CEditListCtrl::GetEditControl() { return IsEditingLabel() ? &m_editor : nullptr; }

CItemEdit* CEditListCtrl::EditLabel(int row)
{
    if (IsEditingLabel()) EndEditLabel(row < 0);
    if (row < 0 || row >= GetItemCount() || !m_editLabels) return nullptr;

    // The editor opens on the row's label with the row's text, hidden until the begin
    // notification has had its say.
    if (!m_editorBound) {
        if (!m_editor.Create(this, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                             wxTE_PROCESS_ENTER | wxBORDER_SIMPLE))
            return nullptr;
        m_editor.Hide();
        m_editor.Bind(wxEVT_CHAR_HOOK, &CEditListCtrl::OnEditorKey, this);
        m_editor.Bind(wxEVT_KILL_FOCUS, &CEditListCtrl::OnEditorFocusLost, this);
        m_editor.Bind(wxEVT_TEXT, &CEditListCtrl::OnEditorText, this);
        m_editorBound = true;
    }
    m_editor.SetFont(GetFont());
    const wxRect label = GetCellLabelRect(row, 0);
    m_editor.SetSize(label.x, label.y, std::max(label.width, kEditorMinWidth), label.height);
    m_editor.ChangeValue(wxString::FromUTF8(GetItemText(row, 0)));

    NMLVDISPINFO info;
    info.iItem = row;
    m_editRow = row;
    if (Notify(info, LVN_BEGINLABELEDIT) != 0) {
        m_editRow = -1;
        if (m_editor.HasWindow()) m_editor.UnsubclassWindow();
        m_editor.Hide();
        return nullptr;
    }
    SizeEditor();
    m_editor.Show();
    m_editor.SetFocus();
    m_editor.SetInsertionPointEnd();
    m_editor.SelectAll();
    return &m_editor;
}

void CEditListCtrl::SizeEditor()
{
    if (!IsEditingLabel()) return;
    const wxRect label = GetCellLabelRect(m_editRow, 0);
    const int textWidth = m_editor.GetTextExtent(m_editor.GetValue()).x;
    // Room for the text, the field's own padding and the caret, however the theme pads it.
    const int width = std::max(kEditorMinWidth, m_editor.GetSizeFromTextSize(textWidth).x + kEditorSlack);
    m_editor.SetSize(label.x, label.y, width, label.height);
}

void CEditListCtrl::CancelEditLabel()
{
    if (IsEditingLabel()) EndEditLabel(true);
}

void CEditListCtrl::EndEditLabel(bool cancel, bool refocus)
{
    if (!IsEditingLabel() || m_ending) return;
    m_ending = true;
    NMLVDISPINFO info;
    info.iItem = m_editRow;
    info.hasText = !cancel;
    if (!cancel) info.text = m_editor.GetValue().utf8_string();
    const bool hadFocus = refocus && wxWindow::FindFocus() == &m_editor;
    const LRESULT accept = Notify(info, LVN_ENDLABELEDIT);
    // A non-zero answer lets the list take the text as the row's own label.
    if (accept != 0 && info.hasText) SetItemText(info.iItem, 0, info.text);
    m_editRow = -1;
    if (m_editor.HasWindow()) m_editor.UnsubclassWindow();
    if (hadFocus && IsShownOnScreen()) SetFocus();
    m_editor.Hide();
    m_ending = false;
    Refresh(true);
}

void CEditListCtrl::OnEditorKey(wxKeyEvent& event)
{
    switch (event.GetKeyCode()) {
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER: EndEditLabel(false); break;
    case WXK_ESCAPE: EndEditLabel(true); break;
    default: event.Skip();
    }
}

void CEditListCtrl::OnEditorFocusLost(wxFocusEvent& event)
{
    event.Skip();
    // The focus leaving the editor ends the edit and keeps what was typed.
    // The focus is on its way elsewhere: the list does not take it back.
    if (IsEditingLabel() && !m_ending) EndEditLabel(false, false);
}

void CEditListCtrl::OnEditorText(wxCommandEvent& event)
{
    event.Skip();
    SizeEditor();  // the editor grows with its text
}

void CEditListCtrl::OnBeginLabelEdit(NMHDR* pNMHDR, LRESULT* pResult)
{
    auto* info = static_cast<NMLVDISPINFO*>(pNMHDR);
    if (m_selColumn >= 0) {
        const wxRect bounds = GetSubItemRect(info->iItem, m_selColumn);  // LVIR_BOUNDS
        CItemEdit* edit = GetEditControl();
        if (edit != nullptr) {
            edit->SubclassWindow();
            m_editor.m_fixedLeft = bounds.x + kHighlightInset;
            m_editor.ChangeValue(wxString::FromUTF8(GetItemText(info->iItem, m_selColumn)));
        }
    }
    *pResult = 0;
}

void CEditListCtrl::OnEndLabelEdit(NMHDR* pNMHDR, LRESULT* pResult)
{
    auto* info = static_cast<NMLVDISPINFO*>(pNMHDR);
    if (m_selColumn >= 0) {
        if (info->hasText) SetItemText(info->iItem, m_selColumn, info->text);
        m_editor.UnsubclassWindow();
        *pResult = 0;
    }
    if (!CursorInsideList()) {
        m_selRow = -1;
        m_selColumn = -1;
        m_mousePressed = FALSE;
        m_cellSelected = FALSE;
    }
}

// ---- painting ----

void CEditListCtrl::PaintList(wxDC& dc) { OnPaint(dc); }

void CEditListCtrl::OnPaint(wxDC& dc)
{
    wxRect keep;  // the part of the edited cell right of the editor
    if (m_selColumn >= 0 && m_editor.HasWindow()) {
        const wxRect editor = m_editor.GetRect();
        const wxRect cell = GetCellLabelRect(m_selRow, m_selColumn);
        const int editorRight = editor.x + editor.width;
        const int cellRight = cell.x + cell.width;
        if (editorRight < cellRight) keep = wxRect(editorRight, cell.y, cellRight - editorRight, cell.height);
        // The header band stays the header's.
        keep.Intersect(wxRect(0, HeaderHeight(), GetClientSize().x, std::max(0, GetClientSize().y - HeaderHeight())));
    }
    DefaultPaint(dc);
    // The kept part shows the window colour whatever the default painting put there.
    if (!keep.IsEmpty()) platform::FillSolidRect(dc, keep, platform::SysColor(COLOR_WINDOW));
}

void CEditListCtrl::DefaultPaint(wxDC& dc)
{
    NMLVCUSTOMDRAW cd;
    cd.dwDrawStage = CDDS_PREPAINT;
    cd.hdc = &dc;
    m_paintRequest = Notify(cd, NM_CUSTOMDRAW);
    m_itemRow = -1;
    m_itemRequest = CDRF_DODEFAULT;
    dc.SetTextForeground(platform::ToColour(platform::SysColor(COLOR_WINDOWTEXT)));
    ReportList::PaintList(dc);
}

void CEditListCtrl::PaintCell(wxDC& dc, int row, int subitem, const wxRect& rect)
{
    if (m_paintRequest & CDRF_NOTIFYITEMDRAW) {
        if (row != m_itemRow) {
            NMLVCUSTOMDRAW cd;
            cd.dwDrawStage = CDDS_ITEMPREPAINT;
            cd.hdc = &dc;
            cd.iItem = row;
            cd.iSubItem = 0;
            cd.rc = rect;
            m_itemRow = row;
            m_itemRequest = Notify(cd, NM_CUSTOMDRAW);
        }
        if (m_itemRequest & CDRF_SKIPDEFAULT) return;
        if (m_itemRequest & CDRF_NOTIFYSUBITEMDRAW) {
            NMLVCUSTOMDRAW cd;
            cd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
            cd.hdc = &dc;
            cd.iItem = row;
            cd.iSubItem = subitem;
            cd.rc = rect;
            if (Notify(cd, NM_CUSTOMDRAW) & CDRF_SKIPDEFAULT) return;
        }
    }
    ReportList::PaintCell(dc, row, subitem, rect);
}

void CEditListCtrl::OnCustomDraw(NMHDR* pNMHDR, LRESULT* pResult)
{
    auto* cd = static_cast<NMLVCUSTOMDRAW*>(pNMHDR);
    switch (cd->dwDrawStage) {
    case CDDS_PREPAINT: *pResult = CDRF_NOTIFYITEMDRAW; break;
    case CDDS_ITEMPREPAINT: *pResult = CDRF_NOTIFYSUBITEMDRAW; break;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        DrawCell(*cd->hdc, cd->iItem, cd->iSubItem);
        *pResult = CDRF_SKIPDEFAULT;
        break;
    default: *pResult = CDRF_DODEFAULT;
    }
}

void CEditListCtrl::DrawCell(wxDC& dc, int row, int subitem)
{
    const std::string text = GetItemText(row, subitem);
    const wxRect label = GetCellLabelRect(row, subitem);
    const wxString wtext = wxString::FromUTF8(text);
    const int w = text.empty() ? kEmptyTextWidth : dc.GetTextExtent(wtext).x;

    const int left = label.x + kHighlightInset;
    const int right = std::min(left + w + kHighlightExtra, label.x + label.width);
    const wxRect highlight(left, label.y, std::max(0, right - left), label.height);

    const wxColour saved = dc.GetTextForeground();
    if (m_mousePressed && row == m_selRow && subitem == m_selColumn) {
        if (m_cellSelected) {
            dc.SetTextForeground(platform::ToColour(platform::SysColor(COLOR_HIGHLIGHTTEXT)));
            // The fill leaves its colour as the background colour, as a solid fill does.
            platform::FillSolidRect(dc, highlight, platform::SysColor(COLOR_HIGHLIGHT));
            dc.SetTextBackground(platform::ToColour(platform::SysColor(COLOR_HIGHLIGHT)));
        }
        platform::DrawFocusRect(dc, highlight);
    }
    wxRect textRect = label;
    textRect.x += kTextInset;
    textRect.width -= kTextInset;
    platform::DrawText(dc, wtext, textRect, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOCLIP);
    dc.SetTextForeground(saved);
}
