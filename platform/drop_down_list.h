// The dialog builder's drop-down combo box, drawn and run by wx itself.
#pragma once
#include <wx/odcombo.h>

namespace platform {

// The drop-down combo box with an edit field that the builder makes: drawn and run by wx itself
// rather than by the toolkit's combo box. Its drop-down notification comes before the list is
// measured and shown, so a handler that refills the list there sees its entries in the list that
// opens; the arrow stays live while the list is empty (the toolkit's combo greys it); Alt+Down
// and F4 drop it down, and a click on the edit field drops it down as a click on the arrow does;
// Escape in the dropped list closes the list only. The selection follows the field's text: the
// entry whose text the field shows exactly, or none.
// The template's height is that of the control with its dropped list, as for the system's combo.
// A list still dropped down when the control is destroyed (its window ended meanwhile) closes
// without a notification to the window.
class DropDownList : public wxOwnerDrawnComboBox {
public:
    DropDownList(wxWindow* parent, wxWindowID id, const wxString& value, const wxRect& rect);
    ~DropDownList() override;
    // The selected entry's text (not the edit field's selected characters).
    wxString GetStringSelection() const override { return wxItemContainer::GetStringSelection(); }

private:
    void KeepSelectionWithText();

    bool m_destroying = false;
};

}  // namespace platform
