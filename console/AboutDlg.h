// The About box (template 100).
#pragma once
#include <wx/dialog.h>

class CAboutDlg : public wxDialog {
public:
    explicit CAboutDlg(wxWindow* parent);
    int DoModal();

private:
    void OnOk(wxCommandEvent& event);
};
