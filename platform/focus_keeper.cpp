#include "platform/focus_keeper.h"

namespace platform {

FocusKeeper::FocusKeeper(wxWindow* dialog)
    : wxWindow(dialog, wxID_ANY, wxPoint(0, 0), wxSize(1, 1), wxBORDER_NONE | wxWANTS_CHARS)
{
    SetBackgroundColour(dialog->GetBackgroundColour());
}

void FocusKeeper::EnableControl(wxWindow* control, bool enable)
{
    const wxWindow* focus = wxWindow::FindFocus();
    const bool hadFocus = !enable && control->IsThisEnabled() && focus != nullptr &&
                          (focus == control || control->IsDescendant(const_cast<wxWindow*>(focus)));
    control->Enable(enable);
    if (hadFocus) HoldFor(control);
    if (enable) GiveBack(control);
}

void FocusKeeper::HoldFor(wxWindow* control)
{
    m_heldFor = control;
    MoveAfterInTabOrder(control);
    SetFocus();
}

void FocusKeeper::GiveBack(wxWindow* control)
{
    if (m_heldFor != control) return;
    m_heldFor = nullptr;
    if (wxWindow::FindFocus() == this) control->SetFocus();
}

}  // namespace platform
