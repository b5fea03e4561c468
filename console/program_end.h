// The console's end on a termination signal (SIGTERM, SIGHUP, SIGINT; see
// platform/termination_signals.h): the program ends as EXIT ends it.
//
// What a signal does, on the UI thread: from then on no modal run starts (no box is shown: a
// box's text goes to stderr, nothing is confirmed); what is open over the main window is closed,
// the innermost first: the message boxes and dialogs running inside the main window's run are
// answered as if closed (an OK/Cancel confirmation answers Cancel, so its command is not sent),
// a dropped-down list and the popped-up context menu close. The main window's run is ended, as
// EXIT ends it, by a later call, once every run and loop inside it has returned. The window is
// then destroyed as after EXIT: the port is closed and its lock file removed. A signal while the
// program already ends changes nothing.
#pragma once
#include <wx/timer.h>

#include "platform/modal_runs.h"
#include "platform/termination_signals.h"

class CQELDlg;

class CProgramEnd {
public:
    CProgramEnd();
    // Stops watching: the signals get back the dispositions they had.
    ~CProgramEnd();
    CProgramEnd(const CProgramEnd&) = delete;
    CProgramEnd& operator=(const CProgramEnd&) = delete;

    // Starts watching the termination signals; one ignored now stays ignored. False when they
    // cannot be watched: they then end the program as they did before.
    bool Watch();
    const platform::TerminationSignals& Signals() const { return m_signals; }
    // The main window whose run a signal ends: set for the time of its run, nullptr otherwise.
    // A run that would start after the signal does not start.
    void SetMainDialog(CQELDlg* dlg);
    // The signal that began the end; 0 while none came.
    int Signal() const { return m_signal; }

private:
    void OnSignal(int signal);
    // Answers the runs inside the main window's, closes its dropped lists and its context menu.
    void CloseWhatIsOpen();
    // The later call: ends the main window's run once nothing runs inside it any more.
    void Step();

    platform::TerminationSignals m_signals;
    platform::ModalRuns m_runs;
    wxTimer m_steps;
    CQELDlg* m_dlg = nullptr;
    int m_signal = 0;
};
