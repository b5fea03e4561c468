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
    SetEscapeId(wxID_ANY);
}

int CAboutDlg::DoModal()
{
    CentreOnParent();
    return ShowModal();
}

void CAboutDlg::OnOk(wxCommandEvent&) { EndModal(IDOK); }
