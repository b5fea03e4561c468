#include "platform/message_box_wx.h"

#include <wx/app.h>
#include <wx/msgdlg.h>

#include "platform/gui_app.h"
#include "platform/modal_runs.h"

namespace platform {

void UseWxMessageBoxes()
{
    static WxMessageBoxService service;
    SetDefaultMessageBoxService(&service);
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

int WxMessageBoxService::Show(const core::MessageBoxRequest& request)
{
    const bool okCancel = (request.style & MB_TYPEMASK) == MB_OKCANCEL;
    if (!HaveGuiApp() || ModalRuns::AnyRefusing()) {
        // No window system to show it in, or the program is ending: the text goes to stderr and
        // nothing is confirmed.
        return core::StderrMessageBoxService().Show(request);
    }
    wxMessageDialog dialog(request.owner, wxString::FromUTF8(request.text), wxString::FromUTF8(request.caption),
                           WxMessageStyle(request.style));
    const int result = dialog.ShowModal();
    if (!okCancel) return IDOK;  // a box with one OK button answers OK however it is closed
    return result == wxID_OK ? IDOK : IDCANCEL;
}

}  // namespace platform
