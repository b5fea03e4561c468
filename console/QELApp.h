// The application object: starts the main dialog, runs it modally and ends the process.
#pragma once
#include <functional>
#include <string>

#include <wx/app.h>

#include "core/winapi.h"

class CProgramEnd;

class CQELApp : public wxApp {
public:
    bool OnInit() override;
    int OnRun() override;
    // Shows an automation exception that an event handler let through, under the application's
    // title with a stop icon; the rest of that handler is skipped.
    void HandleEvent(wxEvtHandler* handler, wxEventFunction func, wxEvent& event) const override;

    // Runs fn; an automation exception it lets through is shown as the event dispatch shows it.
    static void CallGuarded(const std::function<void()>& fn);
    // The program file's name without its extension.
    static std::string AppTitle();
    // Connects the UI dispatcher to wx's event loop on the calling (UI) thread.
    static void ConnectDispatcher();
    // Registers what the program runs with: wx message boxes, resources, the spreadsheet application.
    static void RegisterServices();

    // The end on a termination signal (console/program_end.h). InitInstance starts it watching;
    // it lives until the process ends, so that a signal in the last steps of the exit does no
    // harm.
    static CProgramEnd& ProgramEnd();

    // InitInstance: runs the main dialog modally (a termination signal ends the run as EXIT
    // does); the process then ends.
    BOOL InitInstance();
};
