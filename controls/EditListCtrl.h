// CEditListCtrl: a report-view list in which the user selects a single cell (row and column),
// edits it in place with a second press, and whose every cell is drawn by the list itself.
// CItemEdit is its in-place editor, kept at the selected cell's left edge.
//
// Users call only the constructor, Create and the ReportList operations; everything else is
// driven by the window's events, which reach the handlers below. The handlers are public so that
// they can also be driven directly (with points, focus windows and notifications).
#pragma once
#include <string>

#include <wx/textctrl.h>

#include "core/winapi.h"
#include "platform/report_list.h"

class wxDC;
class CEditListCtrl;

// The list-view vocabulary of the label-edit and custom-draw notifications.
namespace listview {

constexpr UINT LVS_EDITLABELS = 0x0200;

constexpr UINT NM_CUSTOMDRAW = static_cast<UINT>(-12);
constexpr UINT LVN_BEGINLABELEDIT = static_cast<UINT>(-105);
constexpr UINT LVN_ENDLABELEDIT = static_cast<UINT>(-106);

// Draw stages and custom-draw results.
constexpr DWORD CDDS_PREPAINT = 0x00000001;
constexpr DWORD CDDS_POSTPAINT = 0x00000002;
constexpr DWORD CDDS_ITEM = 0x00010000;
constexpr DWORD CDDS_ITEMPREPAINT = CDDS_ITEM | CDDS_PREPAINT;
constexpr DWORD CDDS_ITEMPOSTPAINT = CDDS_ITEM | CDDS_POSTPAINT;
constexpr DWORD CDDS_SUBITEM = 0x00020000;
constexpr LRESULT CDRF_DODEFAULT = 0x00000000;
constexpr LRESULT CDRF_SKIPDEFAULT = 0x00000004;
constexpr LRESULT CDRF_NOTIFYITEMDRAW = 0x00000020;
constexpr LRESULT CDRF_NOTIFYSUBITEMDRAW = 0x00000020;

// Rectangle kinds of a cell.
constexpr int LVIR_BOUNDS = 0;
constexpr int LVIR_LABEL = 2;

struct NMHDR {
    wxWindow* hwndFrom = nullptr;
    int idFrom = 0;
    UINT code = 0;
};

// Label editing: the item whose label is edited; at the end of an edit, the text the user
// confirmed, or no text when the edit was cancelled.
struct NMLVDISPINFO : NMHDR {
    int iItem = -1;
    bool hasText = false;
    std::string text;
};

// One custom-draw notification: the stage, the device context, and for item stages the item,
// the sub-item and the cell's bounds.
struct NMLVCUSTOMDRAW : NMHDR {
    DWORD dwDrawStage = 0;
    wxDC* hdc = nullptr;
    int iItem = -1;
    int iSubItem = 0;
    wxRect rc;
};

// The new position of a window that is about to move or be sized (client coordinates of its
// parent); the handler may change it.
struct WINDOWPOS {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    int flags = 0;  // wxSIZE_* flags of the move
};

}  // namespace listview

// The in-place editor of CEditListCtrl: a single-line text field, a child of the list. Between
// SubclassWindow and UnsubclassWindow (the span of one cell edit) every move or resize keeps its
// left edge at m_fixedLeft.
class CItemEdit : public wxTextCtrl {
public:
    CItemEdit();  // no window yet
    ~CItemEdit() override;

    // Forces the x of the new position to m_fixedLeft.
    void OnWindowPosChanging(listview::WINDOWPOS* pos);

    // Takes over the list's label editor for one edit / gives it back. HasWindow is true in
    // between: the editor belongs to an edit in progress.
    void SubclassWindow();
    void UnsubclassWindow();
    bool HasWindow() const { return m_subclassed; }

    int m_fixedLeft;  // x (list client coordinates) of the editor's left edge; set when an edit begins

protected:
    void DoSetSize(int x, int y, int width, int height, int sizeFlags) override;

private:
    bool m_subclassed = false;
};

class CEditListCtrl : public platform::ReportList {
public:
    CEditListCtrl();
    CEditListCtrl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                  long style = wxBORDER_SUNKEN);
    ~CEditListCtrl() override;
    bool Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style = wxBORDER_SUNKEN);

    // Called once the window exists: adds the edit-labels style.
    virtual void PreSubclassWindow();
    bool HasEditLabelsStyle() const { return m_editLabels; }

    // Label editing of a row, as the list offers it: the editor opens over the row (the begin
    // notification decides which cell and text) and gets the focus; Enter confirms, Escape
    // cancels, the editor losing the focus confirms. Editing a row while another edit is open
    // confirms that one first; row -1 cancels the open edit. Returns the editor, or nullptr when
    // no edit began (no such row, no edit-labels style, or the begin notification refused).
    CItemEdit* EditLabel(int row);
    CItemEdit* GetEditControl();  // the editor while an edit is open, else nullptr
    void CancelEditLabel();       // ends the open edit as cancelled
    bool IsEditingLabel() const { return m_editRow >= 0; }

    // The label rectangle of a cell (the whole cell: the list shows no icons).
    wxRect GetCellLabelRect(int row, int subitem) const;

    // Window-event handlers.
    void OnLButtonDown(UINT nFlags, const wxPoint& point);
    void OnPaint(wxDC& dc);
    void OnKillFocus(wxWindow* pNewWnd);
    void OnSetFocus(wxWindow* pOldWnd);
    // Notification handlers (reflected to the list itself).
    void OnBeginLabelEdit(listview::NMHDR* pNMHDR, LRESULT* pResult);
    void OnEndLabelEdit(listview::NMHDR* pNMHDR, LRESULT* pResult);
    void OnCustomDraw(listview::NMHDR* pNMHDR, LRESULT* pResult);

protected:
    // Whether the mouse cursor lies inside the list's window rectangle.
    virtual bool CursorInsideList() const;

    // Painting goes through OnPaint; cells through the custom-draw notifications.
    void PaintList(wxDC& dc) override;
    void PaintCell(wxDC& dc, int row, int subitem, const wxRect& rect) override;

    int m_selColumn;      // column of the selected cell; -1 for none
    int m_selRow;         // row of the selected cell; -1 for none
    BOOL m_cellSelected;  // TRUE while the cell (m_selRow, m_selColumn) is selected
    BOOL m_mousePressed;  // TRUE from the first press in the list until the selection is cleared
    CItemEdit m_editor;   // the in-place editor; it has a window only while a cell is edited

private:
    void DrawCell(wxDC& dc, int row, int subitem);
    void DefaultPaint(wxDC& dc);
    void DefaultButtonDown();
    // Ends the open edit: the end notification, then the editor goes. refocus: the list takes
    // the focus back when the editor had it.
    void EndEditLabel(bool cancel, bool refocus = true);
    void SizeEditor();
    LRESULT Notify(listview::NMHDR& nm, UINT code);

    void OnMouseLeftDown(wxMouseEvent& event);
    void OnFocusLost(wxFocusEvent& event);
    void OnFocusGained(wxFocusEvent& event);
    void OnScrolled(wxScrollWinEvent& event);
    void OnEditorKey(wxKeyEvent& event);
    void OnEditorFocusLost(wxFocusEvent& event);
    void OnEditorText(wxCommandEvent& event);

    // The list's own label-edit and custom-draw state.
    bool m_editLabels = false;
    int m_editRow = -1;          // row whose label is being edited; -1 when none
    bool m_ending = false;       // an edit is being ended (the editor's focus loss must not end it twice)
    bool m_editorBound = false;  // the editor's window exists and its events reach the list
    LRESULT m_paintRequest = listview::CDRF_DODEFAULT;  // answer to the paint's pre-paint stage
    LRESULT m_itemRequest = listview::CDRF_DODEFAULT;   // answer to the current row's item stage
    int m_itemRow = -1;                                 // row whose item stage was sent in this paint
};
