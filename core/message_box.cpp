#include "core/message_box.h"

#include <cstdio>
#include <memory>

#include <wx/app.h>
#include <wx/msgdlg.h>

#include "core/ui_dispatcher.h"

namespace platform {

namespace {

WxMessageBoxService& WxService()
{
    static WxMessageBoxService service;
    return service;
}

std::atomic<IMessageBoxService*> g_service{nullptr};

}  // namespace

IMessageBoxService* SetMessageBoxService(IMessageBoxService* service)
{
    IMessageBoxService* previous = g_service.exchange(service);
    return previous ? previous : &WxService();
}

IMessageBoxService& MessageBoxService()
{
    IMessageBoxService* service = g_service.load();
    return service ? *service : WxService();
}

int ShowMessageBox(wxWindow* owner, const std::string& text, const std::string& caption, UINT style,
                   const std::atomic<bool>* abort)
{
    MessageBoxRequest request;
    request.owner = owner;
    request.text = text;
    request.caption = caption;
    request.style = style;

    UiDispatcher& ui = Ui();
    if (ui.IsUiThread()) return MessageBoxService().Show(request);

    // The answer is owned by the queued call as well: the box may still be shown after this
    // thread gave up waiting.
    auto answer = std::make_shared<std::atomic<int>>(IDCANCEL);
    static const std::atomic<bool> never{false};
    const bool ran = ui.Invoke([request, answer] { answer->store(MessageBoxService().Show(request)); },
                               abort ? *abort : never);
    return ran ? answer->load() : IDCANCEL;
}

long WxMessageStyle(UINT style)
{
    long wxStyle = (style & MB_TYPEMASK) == MB_OKCANCEL ? (wxOK | wxCANCEL) : wxOK;
    switch (style & MB_ICONMASK) {
    case MB_ICONSTOP: wxStyle |= wxICON_ERROR; break;
    case MB_ICONQUESTION: wxStyle |= wxICON_QUESTION; break;
    case MB_ICONEXCLAMATION: wxStyle |= wxICON_EXCLAMATION; break;
    case MB_ICONINFORMATION: wxStyle |= wxICON_INFORMATION; break;
    default: wxStyle |= wxICON_NONE; break;
    }
    return wxStyle;
}

int WxMessageBoxService::Show(const MessageBoxRequest& request)
{
    const bool okCancel = (request.style & MB_TYPEMASK) == MB_OKCANCEL;
    if (!wxTheApp || !wxTheApp->IsGUI()) {
        // No window system to show it in: the text goes to stderr and nothing is confirmed.
        std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
        return okCancel ? IDCANCEL : IDOK;
    }
    wxMessageDialog dialog(request.owner, wxString::FromUTF8(request.text),
                           wxString::FromUTF8(request.caption), WxMessageStyle(request.style));
    const int result = dialog.ShowModal();
    if (!okCancel) return IDOK;  // a box with one OK button answers OK however it is closed
    return result == wxID_OK ? IDOK : IDCANCEL;
}

RecordingMessageBoxes::RecordingMessageBoxes() : m_previous(SetMessageBoxService(this)) {}

RecordingMessageBoxes::~RecordingMessageBoxes() { SetMessageBoxService(m_previous); }

int RecordingMessageBoxes::Show(const MessageBoxRequest& request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_boxes.push_back(request);
    if (m_answers.empty()) return IDOK;
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void RecordingMessageBoxes::Script(std::initializer_list<int> answers)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.insert(m_answers.end(), answers.begin(), answers.end());
}

std::vector<MessageBoxRequest> RecordingMessageBoxes::Boxes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}

size_t RecordingMessageBoxes::Count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes.size();
}

MessageBoxRequest RecordingMessageBoxes::Last() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes.empty() ? MessageBoxRequest{} : m_boxes.back();
}

void RecordingMessageBoxes::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_boxes.clear();
}

}  // namespace platform
