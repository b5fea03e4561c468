#include "tests/support/screenshot.h"

#include <chrono>

#include <gtk/gtk.h>
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
    // Through the console base: without a display the application object is a console one.
    wxAppConsole* app = wxAppConsole::GetInstance();
    if (app == nullptr) return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        app->Yield(true);
        wxMilliSleep(10);
    } while (std::chrono::steady_clock::now() < end);
    app->Yield(true);
}

namespace {

// The screen's pixels read fresh from the display server each time, through the toolkit's own
// calls. A screen device context keeps what it read first, so a second capture in one process
// would show the first one again.
wxImage ReadScreen(const wxRect& r)
{
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) return wxImage();
    gdk_display_sync(display);
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), r.x, r.y, r.width, r.height);
    if (pixbuf == nullptr) return wxImage();
    wxImage image(r.width, r.height);
    const guchar* src = gdk_pixbuf_get_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    const int n = gdk_pixbuf_get_n_channels(pixbuf);
    for (int y = 0; y < r.height; ++y) {
        for (int x = 0; x < r.width; ++x) {
            const guchar* p = src + y * stride + x * n;
            image.SetRGB(x, y, p[0], p[1], p[2]);
        }
    }
    g_object_unref(pixbuf);
    return image;
}

}  // namespace

wxImage CaptureWindow(wxWindow* win)
{
    if (win == nullptr || !win->IsShownOnScreen()) return wxImage();
    win->Update();
    PumpEvents();
    // The screen holds what the window and its children painted; there is no compositor under
    // Xvfb, so the root window's pixels are the window's.
    const wxRect r(win->ClientToScreen(wxPoint(0, 0)), win->GetClientSize());
    if (r.width <= 0 || r.height <= 0) return wxImage();
    wxImage fresh = ReadScreen(r);
    if (fresh.IsOk()) return fresh;
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
