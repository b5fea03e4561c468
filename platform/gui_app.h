// Whether the process runs with a GUI application object: a display and the toolkit are there.
//
// wxTheApp casts the application object to the GUI class whatever it is; without a display the
// object is a console application and that cast is undefined. The object is asked through its
// console base instead, which every application object is.
#pragma once
#include <wx/app.h>

namespace platform {

inline bool HaveGuiApp()
{
    const wxAppConsole* app = wxAppConsole::GetInstance();
    return app != nullptr && app->IsGUI();
}

}  // namespace platform
