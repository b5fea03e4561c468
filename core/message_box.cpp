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

}  // namespace core
