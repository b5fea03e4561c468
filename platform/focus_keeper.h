// The keeper of the keyboard focus for a control that was disabled while it had it.
#pragma once
#include <wx/window.h>

namespace platform {

// A 1-pixel window of the dialog that holds the keyboard focus for a control disabled while it
// had it, as a dialog of the system keeps the focus on the disabled control: keys then reach no
// control (a second Space on a button just pressed ends nothing), and the control gets the focus
// back when it is enabled again, if the focus has stayed here meanwhile. It takes the focus only
// while it holds it for a control, and never from the keyboard. It sits just after the control
// in the dialog's tab order, but the toolkit's own focus chain (which Tab follows) holds only the
// controls that take the focus from the keyboard: from here Tab goes to the first of them and
// Shift+Tab to the last.
class FocusKeeper : public wxWindow {
public:
    explicit FocusKeeper(wxWindow* dialog);
    bool AcceptsFocus() const override { return m_heldFor != nullptr; }
    bool AcceptsFocusFromKeyboard() const override { return false; }

    // Enables or disables `control` (a child of the dialog): a control disabled while the focus
    // is in it leaves the focus here, and one enabled again takes it back from here.
    void EnableControl(wxWindow* control, bool enable);

private:
    // Takes the focus in place of `control`, just after it in the tab order.
    void HoldFor(wxWindow* control);
    // `control` is enabled again: it gets the focus back if the focus is still here.
    void GiveBack(wxWindow* control);

    wxWindow* m_heldFor = nullptr;
};

}  // namespace platform
