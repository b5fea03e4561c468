#include "tests/support/screenshot.h"

#include <chrono>

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/utils.h>
#include <wx/window.h>

namespace testing_support {

void PumpEvents(int ms)
{
    if (wxTheApp == nullptr) return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        wxTheApp->Yield(true);
        wxMilliSleep(10);
    } while (std::chrono::steady_clock::now() < end);
    wxTheApp->Yield(true);
}

wxImage CaptureWindow(wxWindow* win)
{
    if (win == nullptr || !win->IsShownOnScreen()) return wxImage();
    win->Update();
    PumpEvents();
    // The screen holds what the window and its children painted; there is no compositor under
    // Xvfb, so the root window's pixels are the window's.
    const wxRect r(win->ClientToScreen(wxPoint(0, 0)), win->GetClientSize());
    if (r.width <= 0 || r.height <= 0) return wxImage();
    wxBitmap bmp(r.width, r.height, 24);
    {
        wxScreenDC screen;
        wxMemoryDC mem(bmp);
        if (!mem.Blit(0, 0, r.width, r.height, &screen, r.x, r.y)) return wxImage();
    }
    return bmp.ConvertToImage();
}

bool SaveWindowPng(wxWindow* win, const std::string& path)
{
    wxImage image = CaptureWindow(win);
    if (!image.IsOk()) return false;
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) wxInitAllImageHandlers();
    return image.SaveFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG);
}

}  // namespace testing_support
