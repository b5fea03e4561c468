// The message-box service: every message of the program reaches the user through it.
// The program makes wx dialogs the default (platform/message_box_wx.h); tests install a
// recording fake with scripted answers (tests/support). Without either, the text goes to stderr.
// A box asked for on another thread is shown by the UI thread while the asking thread waits.
#pragma once
#include <atomic>
#include <string>

#include "core/winapi.h"

class wxWindow;

namespace core {

struct MessageBoxRequest {
    wxWindow* owner = nullptr;  // nullptr: no owner window
    std::string text;           // UTF-8
    std::string caption;        // UTF-8
    UINT style = MB_OK;         // MB_OK / MB_OKCANCEL | MB_ICON...
};

class IMessageBoxService {
public:
    virtual ~IMessageBoxService() = default;
    // Runs on the UI thread; returns IDOK or IDCANCEL.
    virtual int Show(const MessageBoxRequest& request) = 0;
};

// Installs the service (not owned; nullptr restores the default one). Returns the previous one.
IMessageBoxService* SetMessageBoxService(IMessageBoxService* service);
IMessageBoxService& MessageBoxService();

// Makes a service (not owned) the default one; nullptr makes the text go to stderr again, with
// nothing confirmed (an OK/Cancel box answers IDCANCEL).
void SetDefaultMessageBoxService(IMessageBoxService* service);

// Shows a box. On a worker thread the box is shown by the UI thread through Ui() while the caller
// waits; abort (when given) gives the wait up and the result is IDCANCEL.
int ShowMessageBox(wxWindow* owner, const std::string& text, const std::string& caption, UINT style,
                   const std::atomic<bool>* abort = nullptr);

// No window system to show a box in: the text goes to stderr and nothing is confirmed.
class StderrMessageBoxService : public IMessageBoxService {
public:
    int Show(const MessageBoxRequest& request) override;
};

}  // namespace core
