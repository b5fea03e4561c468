// The program's message boxes: wx dialogs behind the message-box service of core/.
#pragma once
#include "core/message_box.h"

namespace platform {

// wx dialogs: wxMessageDialog with the caption, text, buttons and icon asked for. Without a
// display, and while the program is ending (a ModalRuns refuses modal runs), no box is shown: the
// text goes to stderr and nothing is confirmed, as core::StderrMessageBoxService does.
class WxMessageBoxService : public core::IMessageBoxService {
public:
    int Show(const core::MessageBoxRequest& request) override;
};

// Makes the wx dialogs the default message-box service of the process.
void UseWxMessageBoxes();

// The wxMessageDialog style for a box style: buttons (MB_OK, MB_OKCANCEL) and icon.
long WxMessageStyle(UINT style);

}  // namespace platform
