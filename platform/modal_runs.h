// The modal runs of the program's dialogs as they nest, and what closes them and the other
// windows that run a loop of their own (a popped-up menu) or float over a window (a dropped
// list) when the program ends on its own.
#pragma once
#include <vector>

#include <wx/modalhook.h>

class wxDialog;
class wxMenu;
class wxWindow;

namespace platform {

// Follows the modal run of every dialog while it is alive: a wx dialog's ShowModal and a
// toolkit message box's (wxMessageDialog runs the toolkit's own dialog loop). No other hook may
// refuse a run after this one let it start (the program registers none).
class ModalRuns : public wxModalDialogHook {
public:
    ModalRuns();
    ~ModalRuns() override;

    // The dialogs whose modal run goes on, the outermost first.
    const std::vector<wxDialog*>& Open() const { return m_open; }
    // Whether a run goes on that started inside dialog's run (any run, when dialog has none).
    bool AnyInside(const wxDialog* dialog) const;
    // Answers every run that started inside dialog's run (every run, when dialog has none) as
    // if its window were closed, the innermost first: a toolkit message box gets the response of
    // its window's close button (a box with OK and Cancel answers Cancel), a wx dialog ends its
    // run with wxID_CANCEL. Each loop returns when control comes back to it, the innermost
    // first; calling this again for a run already answered does nothing more.
    void AnswerInside(const wxDialog* dialog);
    // From now on no modal run starts: ShowModal returns wxID_CANCEL at once and shows nothing.
    void Refuse();
    bool Refusing() const { return m_refusing; }

    // Whether some ModalRuns refuses runs now (the program is ending).
    static bool AnyRefusing();

private:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;

    std::vector<wxDialog*> m_open;
    bool m_refusing = false;
};

// Closes every drop-down list among the window's descendants that is dropped down, as Escape
// in the list closes it.
void CloseDroppedLists(wxWindow* window);
// Whether the menu is popped up (wxWindow::PopupMenu runs a loop of its own until it closes).
bool MenuPoppedUp(const wxMenu* menu);
// Closes the popped-up menu as Escape closes it: no entry is chosen and PopupMenu returns.
void ClosePoppedUpMenu(const wxMenu* menu);

}  // namespace platform
