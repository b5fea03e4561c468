#include "tests/support/real_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/stopwatch.h>
#include <wx/uiaction.h>
#include <wx/utils.h>
#include <wx/window.h>

namespace testing_support {

// ---- input

void MoveMouseTo(const wxPoint& screen)
{
    wxUIActionSimulator sim;
    sim.MouseMove(screen);
}

void ClickAt(const wxPoint& screen)
{
    wxUIActionSimulator sim;
    sim.MouseMove(screen);
    sim.MouseClick(wxMOUSE_BTN_LEFT);
}

void ClickWindow(wxWindow* win)
{
    if (win == nullptr) return;
    const wxRect r = win->GetScreenRect();
    ClickAt(wxPoint(r.x + r.width / 2, r.y + r.height / 2));
}

void ClickWindowAt(wxWindow* win, const wxPoint& client)
{
    if (win == nullptr) return;
    ClickAt(win->ClientToScreen(client));
}

void PressKey(int keyCode, int modifiers)
{
    wxUIActionSimulator sim;
    sim.Char(keyCode, modifiers);
}

void TypeText(const std::string& ascii)
{
    wxUIActionSimulator sim;
    for (char c : ascii) {
        const int modifiers = (c >= 'A' && c <= 'Z') ? wxMOD_SHIFT : wxMOD_NONE;
        sim.Char(static_cast<unsigned char>(c), modifiers);
    }
}

// ---- what a person sees

namespace {

// The message box of the toolkit that is mapped now, or nullptr.
GtkWidget* ShownBox()
{
    GList* all = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* l = all; l != nullptr && found == nullptr; l = l->next) {
        auto* widget = static_cast<GtkWidget*>(l->data);
        if (GTK_IS_MESSAGE_DIALOG(widget) && gtk_widget_get_mapped(widget)) found = widget;
    }
    g_list_free(all);
    return found;
}

}  // namespace

wxRect ShownMessageBoxButton()
{
    GtkWidget* box = ShownBox();
    if (box == nullptr) return wxRect();
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    if (button == nullptr) button = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_YES);
    if (button == nullptr || !gtk_widget_get_mapped(button)) return wxRect();
    int x = 0, y = 0, ox = 0, oy = 0;
    if (!gtk_widget_translate_coordinates(button, box, 0, 0, &x, &y)) return wxRect();
    GdkWindow* window = gtk_widget_get_window(box);
    if (window == nullptr) return wxRect();
    gdk_window_get_origin(window, &ox, &oy);
    return wxRect(ox + x, oy + y, gtk_widget_get_allocated_width(button), gtk_widget_get_allocated_height(button));
}

std::string ShownMessageBoxText()
{
    GtkWidget* box = ShownBox();
    if (box == nullptr) return std::string();
    gchar* text = nullptr;
    g_object_get(box, "text", &text, nullptr);
    std::string result = text != nullptr ? text : "";
    g_free(text);
    return result;
}

bool HasFocusWithin(const wxWindow* win)
{
    for (const wxWindow* w = wxWindow::FindFocus(); w != nullptr; w = w->GetParent()) {
        if (w == win) return true;
        if (w->IsTopLevel()) break;
    }
    return false;
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    wxStopWatch watch;
    while (!done()) {
        if (watch.Time() > timeoutMs) return false;
        if (wxTheApp != nullptr) wxTheApp->Yield(true);
        wxMilliSleep(5);
    }
    return true;
}

// ---- the road

InputRoad::InputRoad() { m_timer.Bind(wxEVT_TIMER, &InputRoad::Tick, this); }

InputRoad::~InputRoad() { m_timer.Stop(); }

void InputRoad::Then(const std::string& name, std::function<bool()> ready, std::function<void()> act, int timeoutMs)
{
    m_steps.push_back(Step{name, std::move(ready), std::move(act), timeoutMs});
}

void InputRoad::Until(const std::string& name, std::function<bool()> done, std::function<void()> nudge, int maxNudges,
                      int timeoutMs)
{
    m_steps.push_back(Step{name, std::move(done), std::move(nudge), timeoutMs, maxNudges > 0 ? maxNudges : 1});
}

void InputRoad::Start(std::function<void()> onEnd, int tickMs)
{
    m_onEnd = std::move(onEnd);
    m_next = 0;
    m_nudges = 0;
    m_lastNudgeMs = 0;
    m_finished = false;
    m_failure.clear();
    m_done.clear();
    m_stepStartMs = wxGetLocalTimeMillis().GetValue();
    m_timer.Start(tickMs);
}

void InputRoad::Stop() { m_timer.Stop(); }

void InputRoad::Tick(wxTimerEvent&)
{
    if (m_inTick || m_finished) return;
    m_inTick = true;
    if (m_next >= m_steps.size()) {
        End();
    } else {
        Step& step = m_steps[m_next];
        const long long now = wxGetLocalTimeMillis().GetValue();
        constexpr long long kNudgeGapMs = 150;  // time for a key's effect to show before the next
        if (step.maxNudges > 0) {
            if (step.ready()) {
                m_done.push_back(step.name);
                ++m_next;
                m_nudges = 0;
                m_stepStartMs = now;
                if (m_next >= m_steps.size()) End();
            } else if (m_nudges >= step.maxNudges && now - m_lastNudgeMs > kNudgeGapMs) {
                m_failure = "step \"" + step.name + "\" not done after " + std::to_string(m_nudges) + " tries";
                End();
            } else if (m_nudges < step.maxNudges && now - m_lastNudgeMs > kNudgeGapMs) {
                step.act();
                ++m_nudges;
                m_lastNudgeMs = now;
            }
        } else if (!step.ready || step.ready()) {
            if (step.act) step.act();
            m_done.push_back(step.name);
            ++m_next;
            m_stepStartMs = wxGetLocalTimeMillis().GetValue();
            if (m_next >= m_steps.size()) End();
        } else if (now - m_stepStartMs > step.timeoutMs) {
            m_failure = "step \"" + step.name + "\" did not become ready in " + std::to_string(step.timeoutMs) + " ms";
            End();
        }
    }
    m_inTick = false;
}

void InputRoad::End()
{
    m_timer.Stop();
    m_finished = true;
    if (m_onEnd) {
        auto onEnd = m_onEnd;
        onEnd();
    }
}

// ---- stderr

StderrCapture::StderrCapture()
{
    char path[] = "/tmp/qel-stderr-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return;
    m_path = path;
    std::fflush(stderr);
    m_saved = dup(2);
    dup2(fd, 2);
    close(fd);
}

StderrCapture::~StderrCapture()
{
    if (m_saved < 0) return;
    std::fflush(stderr);
    dup2(m_saved, 2);
    close(m_saved);
    const std::string text = Text();
    if (!text.empty()) {
        if (write(2, text.data(), text.size()) < 0) {}
    }
    std::remove(m_path.c_str());
}

std::string StderrCapture::Text() const
{
    std::fflush(stderr);
    std::ifstream in(m_path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> StderrCapture::Warnings() const
{
    static const char* const kMarks[] = {"-WARNING", "-CRITICAL", "-ERROR", "*** BUG ***", "pixman", "Gtk-Message"};
    std::vector<std::string> found;
    std::istringstream lines(Text());
    std::string line;
    while (std::getline(lines, line)) {
        for (const char* mark : kMarks) {
            if (line.find(mark) != std::string::npos) {
                found.push_back(line);
                break;
            }
        }
    }
    return found;
}

}  // namespace testing_support
