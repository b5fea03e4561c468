// The signals that ask the program to end (SIGTERM from a desktop logging out or from kill,
// SIGHUP from the terminal it was started from going away, SIGINT from Ctrl+C), carried to the UI
// thread.
//
// The handler does nothing but write the signal's number as one byte to a pipe of the process
// (both ends close-on-exec and non-blocking); the pipe's read end is watched by GLib's default
// main context, which the toolkit's event loop runs and so does every nested modal loop (a
// toolkit message box, a wx modal dialog, a popped-up menu). What a signal asks for therefore runs
// on the UI thread, between two events, also while a box is shown. While the UI thread is busy
// (a report being saved) the byte waits in the pipe: the call comes after the work has returned.
#pragma once
#include <signal.h>

#include <functional>
#include <vector>

namespace platform {

// The termination signals, in the order they are installed.
inline constexpr int kTerminationSignals[] = {SIGTERM, SIGHUP, SIGINT};

class TerminationSignals {
public:
    TerminationSignals() = default;
    // Stops watching.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Installs the handler for each termination signal whose disposition is not SIG_IGN now (a
    // background job of a non-interactive shell has SIGINT ignored, nohup ignores SIGHUP: those
    // stay ignored) and watches the pipe from the default main context: onSignal(signal) runs on
    // the thread that runs that context, once for each signal that came. False, with nothing
    // changed, when the pipe or a handler cannot be made or another object watches already.
    // While it watches, a write to a pipe whose reader has gone (standard error into a pager
    // closed with the terminal) fails with EPIPE instead of ending the program before it has
    // given its port up: SIGPIPE gets a handler that does nothing (a handler rather than
    // SIG_IGN, which a program started from here would inherit), unless it is ignored already.
    bool Start(std::function<void(int)> onSignal);
    // Gives each signal back the disposition it had before Start and stops watching the pipe;
    // a signal that came and was not yet handled is dropped.
    void Stop();
    bool Watching() const { return m_source != 0; }
    // The signals Start installed the handler for.
    const std::vector<int>& Handled() const { return m_handled; }

private:
    // Runs the calls for the bytes the pipe holds; from the main context.
    void Drain();

    std::function<void(int)> m_onSignal;
    std::vector<int> m_handled;
    std::vector<struct sigaction> m_previous;  // one per handled signal, in the same order
    struct sigaction m_previousPipe {};        // SIGPIPE's, when it was given the handler
    bool m_pipeHandled = false;
    unsigned m_source = 0;  // the main context's source of the pipe
};

}  // namespace platform
