#include "console/AboutDlg.h"

#include <wx/button.h>

#include "core/winapi.h"
#include "platform/dialog_template.h"
#include "resources/resource_ids.h"

CAboutDlg::CAboutDlg(wxWindow* parent)
{
    const platform::DialogTemplate* tmpl = platform::FindDialogTemplate(IDD_ABOUTBOX);
    Create(parent, wxID_ANY, wxString::FromUTF8(tmpl ? tmpl->title : std::string()), wxDefaultPosition, wxDefaultSize,
           wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
    if (tmpl != nullptr) platform::BuildDialog(this, *tmpl);
    Bind(wxEVT_BUTTON, &CAboutDlg::OnOk, this, IDOK);
    // Escape cancels the box, as in every dialog; its one button is no "Cancel" the toolkit
    // would find for the key by itself.
    SetEscapeId(wxID_NONE);
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE && IsModal()) {
            EndModal(IDCANCEL);
            return;
        }
        event.Skip();
    });
}

int CAboutDlg::DoModal()
{
    CentreOnParent();
    return ShowModal();
}

void CAboutDlg::OnOk(wxCommandEvent&) { EndModal(IDOK); }
