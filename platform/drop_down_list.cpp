#include "platform/drop_down_list.h"

#include <wx/textctrl.h>

namespace platform {

DropDownList::DropDownList(wxWindow* parent, wxWindowID id, const wxString& value, const wxRect& r)
    : wxOwnerDrawnComboBox(parent, id, value, r.GetPosition(), wxSize(r.width, -1), 0, nullptr, wxCB_DROPDOWN)
{
    const int height = GetBestSize().y;
    SetSize(r.x, r.y, r.width, height);
    if (r.height > height) SetPopupMaxHeight(r.height - height);
    // Escape in the dropped list closes the list. The key would otherwise go on from the list up
    // through this control to the dialog, whose Escape ends the window.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_ESCAPE && IsPopupShown()) {
            Dismiss();
            return;
        }
        e.Skip();
    });
    // The selected entry is always the one whose text the field shows, or none: an edit of the
    // text leaves no entry selected unless the text then names one, which becomes the selection.
    Bind(wxEVT_TEXT, [this](wxCommandEvent& e) {
        if (m_destroying) return;
        KeepSelectionWithText();
        e.Skip();
    });
    if (wxTextCtrl* entry = GetTextCtrl()) {
        entry->Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent& e) {
            if (!IsPopupShown() && IsEnabled()) {
                SetFocus();
                Popup();
                return;
            }
            e.Skip();
        });
    }
}

DropDownList::~DropDownList()
{
    // The base class closes a dropped list only once this class is gone, and closing it puts the
    // chosen entry into the field: the text change would reach this class's handler, and the
    // window above, half destroyed. Closed here, while the control is whole, the change goes
    // nowhere.
    if (IsPopupShown()) {
        m_destroying = true;
        HidePopup(false);
    }
}

void DropDownList::KeepSelectionWithText()
{
    const wxString text = GetValue();
    const int selected = GetSelection();
    if (selected != wxNOT_FOUND && GetString(static_cast<unsigned>(selected)) == text) return;
    // Only the list's selection changes: the text stays as typed, with its cursor.
    EnsurePopupControl();
    GetVListBoxComboPopup()->SetSelection(FindString(text, true));
}

}  // namespace platform
