// Screenshots of real windows, for tests that look at what a user sees (under Xvfb).
#pragma once
#include <string>

class wxWindow;
class wxImage;

namespace testing_support {

// Runs the event loop until pending events and paints are done (about `ms` milliseconds at most).
void PumpEvents(int ms = 200);

// The current on-screen pixels of the window (with its children), taken from the screen after the
// pending paints ran. An invalid image when the window is not shown.
wxImage CaptureWindow(wxWindow* win);

// CaptureWindow saved as a PNG file; false when nothing could be captured or saved.
bool SaveWindowPng(wxWindow* win, const std::string& path);

}  // namespace testing_support
