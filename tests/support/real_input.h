// Real input on the shown windows: mouse and key events go through the display server (XTest),
// as a person's mouse and keyboard send them, never straight to a handler. Also the waits that
// go with them: on what a person would see, with a timeout, while the event loop runs.
//
// Needs no test framework, so the demo drives its road with it too.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include <wx/gdicmn.h>
#include <wx/timer.h>

class wxWindow;

namespace testing_support {

// ---- input
void MoveMouseTo(const wxPoint& screen);
void ClickAt(const wxPoint& screen);                       // left button, at a screen point
void ClickWindow(wxWindow* win);                           // left button, at the window's centre
void ClickWindowAt(wxWindow* win, const wxPoint& client);  // left button, at a point of its client area
void PressKey(int keyCode, int modifiers = 0);             // a key (WXK_... or a character), wxMOD_... held
void TypeText(const std::string& ascii);                   // printable ASCII, one key after another

// ---- what a person sees
// The screen rectangle of the affirmative button (OK) of the toolkit message box that is shown
// now; an empty rectangle when none is shown.
wxRect ShownMessageBoxButton();
// The text of the toolkit message box shown now; "" when none is shown.
std::string ShownMessageBoxText();
// The window that has the keyboard focus is `win` or one of its children.
bool HasFocusWithin(const wxWindow* win);

// Runs the event loop until done() holds or the time is up; false when the time ran out.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);

// ---- a road of steps, driven from a timer
// Each step waits until its condition holds (polled on every tick of the timer), then acts. The
// timer keeps ticking inside the modal loops the steps open (a message box, the main window's
// modal run), so a road can close a box it has made appear. A step that is not ready within its
// time ends the road as failed.
class InputRoad {
public:
    InputRoad();
    ~InputRoad();
    // Adds a step; `ready` may be empty (act at the next tick).
    void Then(const std::string& name, std::function<bool()> ready, std::function<void()> act, int timeoutMs = 10000);
    // Adds a step that acts (`nudge`, at most `maxNudges` times, a few ticks apart) until `done`
    // holds: pressing Tab until the focus reaches a control, as a person does.
    void Until(const std::string& name, std::function<bool()> done, std::function<void()> nudge, int maxNudges,
               int timeoutMs = 10000);
    // Starts the road; `onEnd` runs once when the last step acted or a step failed.
    void Start(std::function<void()> onEnd = nullptr, int tickMs = 30);
    void Stop();
    bool Finished() const { return m_finished; }
    bool Failed() const { return !m_failure.empty(); }
    // The failed step's name and why; "" while none failed.
    const std::string& Failure() const { return m_failure; }
    // Names of the steps that acted, in order.
    const std::vector<std::string>& Done() const { return m_done; }

private:
    struct Step {
        std::string name;
        std::function<bool()> ready;
        std::function<void()> act;
        int timeoutMs;
        int maxNudges = 0;  // > 0: an Until step; act is the nudge
    };
    void Tick(wxTimerEvent&);
    void End();

    std::vector<Step> m_steps;
    std::vector<std::string> m_done;
    size_t m_next = 0;
    long long m_stepStartMs = 0;
    long long m_lastNudgeMs = 0;
    int m_nudges = 0;
    bool m_inTick = false;
    bool m_finished = false;
    std::string m_failure;
    std::function<void()> m_onEnd;
    wxTimer m_timer;
};

// Counts what the toolkit and its libraries print on stderr while it is alive (warnings,
// criticals, "*** BUG ***" lines of the drawing library): stderr goes to a file meanwhile and is
// passed on to the real stderr when the capture ends.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    // What was written so far (the capture goes on).
    std::string Text() const;
    // The lines that are toolkit warnings, criticals or errors.
    std::vector<std::string> Warnings() const;

private:
    int m_saved = -1;
    std::string m_path;
};

}  // namespace testing_support
