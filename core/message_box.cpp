#include "core/message_box.h"

#include <cstdio>
#include <memory>

#include "core/service_slot.h"
#include "core/ui_dispatcher.h"

namespace core {

namespace {

StderrMessageBoxService g_stderrService;
// The service used while none is installed: the stderr one until the program makes its own the
// default.
constinit ServiceSlot<IMessageBoxService> g_default{[]() -> IMessageBoxService& { return g_stderrService; }};
constinit ServiceSlot<IMessageBoxService> g_service{[]() -> IMessageBoxService& { return g_default.Get(); }};

}  // namespace

IMessageBoxService* SetMessageBoxService(IMessageBoxService* service) { return g_service.Set(service); }

IMessageBoxService& MessageBoxService() { return g_service.Get(); }

void SetDefaultMessageBoxService(IMessageBoxService* service) { g_default.Set(service); }

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
    const bool ran =
        ui.Invoke([request, answer] { answer->store(MessageBoxService().Show(request)); }, abort ? *abort : never);
    return ran ? answer->load() : IDCANCEL;
}

int StderrMessageBoxService::Show(const MessageBoxRequest& request)
{
    std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
    return (request.style & MB_TYPEMASK) == MB_OKCANCEL ? IDCANCEL : IDOK;
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

}  // namespace core
