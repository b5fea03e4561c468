#include "console/QELApp.h"

#include <unistd.h>

#include <climits>
#include <string>

#include <wx/image.h>
#include <wx/log.h>

#include "console/QELDlg.h"
#include "console/program_end.h"
#include "core/message_box.h"
#include "core/ui_dispatcher.h"
#include "platform/message_box_wx.h"
#include "report/automation_exception.h"
#include "resources/resource_ids.h"
#include "spreadsheet/server.h"

bool CQELApp::OnInit()
{
    // The application's title comes from the program file's name, not from a name of its own.
    SetAppName(AppTitle());
    SetAppDisplayName(AppTitle());
    wxInitAllImageHandlers();
    ConnectDispatcher();
    RegisterServices();
    return true;
}

int CQELApp::OnRun()
{
    InitInstance();
    return 0;
}

BOOL CQELApp::InitInstance()
{
    // From here on a termination signal ends the program as EXIT does (a program of the tree
    // that runs no main window keeps the signals as they are).
    ProgramEnd().Watch();
    CQELDlg dlg(nullptr);
    SetTopWindow(&dlg);
    ProgramEnd().SetMainDialog(&dlg);
    dlg.DoModal();
    ProgramEnd().SetMainDialog(nullptr);
    SetTopWindow(nullptr);
    return FALSE;
}

CProgramEnd& CQELApp::ProgramEnd()
{
    // Never destroyed: the handlers stay until the process ends.
    static CProgramEnd* end = new CProgramEnd;
    return *end;
}

void CQELApp::HandleEvent(wxEvtHandler* handler, wxEventFunction func, wxEvent& event) const
{
    CallGuarded([&] { wxApp::HandleEvent(handler, func, event); });
}

void CQELApp::CallGuarded(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const CAutomationException& e) {
        core::ShowMessageBox(nullptr, e.GetErrorMessage(), AppTitle(), MB_OK | MB_ICONSTOP);
    }
}

std::string CQELApp::AppTitle()
{
    char buf[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
    std::string path = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string("qel");
    std::string name = path.substr(path.find_last_of('/') + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

void CQELApp::ConnectDispatcher()
{
    core::Ui().BindToCurrentThread();
    core::Ui().SetWaker([] {
        // Through the console base: the waker may run before a GUI application object exists.
        if (wxAppConsole* app = wxAppConsole::GetInstance()) app->CallAfter([] { core::Ui().RunPending(); });
    });
}

void CQELApp::RegisterServices()
{
    platform::UseWxMessageBoxes();
    resources::RegisterAll();
    spreadsheet::RegisterServer();
}
