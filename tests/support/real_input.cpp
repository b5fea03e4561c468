#include "tests/support/real_input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <wx/app.h>
#include <wx/stopwatch.h>
#include <wx/uiaction.h>
#include <wx/utils.h>
#include <wx/window.h>

#include "platform/toolkit_symbol.h"

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

// The toolkit's calls for its own message boxes, looked up by name: the toolkit is in the
// process already (wx runs on it), its headers are not part of the build.
struct ToolkitBoxes {
    struct List {
        void* data;
        List* next;
        List* prev;
    };
    using ListToplevels = List* (*)();
    using ListFree = void (*)(List*);
    using TypeGetter = unsigned long (*)();
    using IsA = int (*)(void*, unsigned long);
    using IsVisible = int (*)(void*);
    using ForResponse = void* (*)(void*, int);
    using Translate = int (*)(void*, void*, int, int, int*, int*);
    using GetWindow = void* (*)(void*);
    using Origin = int (*)(void*, int*, int*);
    using Allocated = int (*)(void*);
    using ObjectGet = void (*)(void*, const char*, ...);
    using Free = void (*)(void*);

    ListToplevels listToplevels = platform::ToolkitSymbol<ListToplevels>("gtk_window_list_toplevels");
    ListFree listFree = platform::ToolkitSymbol<ListFree>("g_list_free");
    TypeGetter messageDialogType = platform::ToolkitSymbol<TypeGetter>("gtk_message_dialog_get_type");
    IsA isA = platform::ToolkitSymbol<IsA>("g_type_check_instance_is_a");
    IsVisible isMapped = platform::ToolkitSymbol<IsVisible>("gtk_widget_get_mapped");
    ForResponse forResponse = platform::ToolkitSymbol<ForResponse>("gtk_dialog_get_widget_for_response");
    Translate translate = platform::ToolkitSymbol<Translate>("gtk_widget_translate_coordinates");
    GetWindow widgetWindow = platform::ToolkitSymbol<GetWindow>("gtk_widget_get_window");
    Origin origin = platform::ToolkitSymbol<Origin>("gdk_window_get_origin");
    Allocated width = platform::ToolkitSymbol<Allocated>("gtk_widget_get_allocated_width");
    Allocated height = platform::ToolkitSymbol<Allocated>("gtk_widget_get_allocated_height");
    ObjectGet objectGet = platform::ToolkitSymbol<ObjectGet>("g_object_get");
    Free gFree = platform::ToolkitSymbol<Free>("g_free");

    bool Ok() const
    {
        return listToplevels && listFree && messageDialogType && isA && isMapped && forResponse && translate &&
               widgetWindow && origin && width && height && objectGet && gFree;
    }
    static const ToolkitBoxes& Get()
    {
        static const ToolkitBoxes tk;
        return tk;
    }
    // The message box that is mapped now, or nullptr.
    void* ShownBox() const
    {
        if (!Ok()) return nullptr;
        List* all = listToplevels();
        void* found = nullptr;
        for (List* l = all; l != nullptr && found == nullptr; l = l->next) {
            if (isA(l->data, messageDialogType()) && isMapped(l->data)) found = l->data;
        }
        listFree(all);
        return found;
    }
};

}  // namespace

wxRect ShownMessageBoxButton()
{
    constexpr int kResponseOk = -5;   // GTK_RESPONSE_OK
    constexpr int kResponseYes = -8;  // GTK_RESPONSE_YES
    const ToolkitBoxes& tk = ToolkitBoxes::Get();
    void* box = tk.ShownBox();
    if (box == nullptr) return wxRect();
    void* button = tk.forResponse(box, kResponseOk);
    if (button == nullptr) button = tk.forResponse(box, kResponseYes);
    if (button == nullptr || !tk.isMapped(button)) return wxRect();
    int x = 0, y = 0, ox = 0, oy = 0;
    if (!tk.translate(button, box, 0, 0, &x, &y)) return wxRect();
    void* window = tk.widgetWindow(box);
    if (window == nullptr) return wxRect();
    tk.origin(window, &ox, &oy);
    return wxRect(ox + x, oy + y, tk.width(button), tk.height(button));
}

std::string ShownMessageBoxText()
{
    const ToolkitBoxes& tk = ToolkitBoxes::Get();
    void* box = tk.ShownBox();
    if (box == nullptr) return std::string();
    char* text = nullptr;
    tk.objectGet(box, "text", &text, static_cast<void*>(nullptr));
    std::string result = text != nullptr ? text : "";
    tk.gFree(text);
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
