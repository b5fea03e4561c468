// Entry point of the test programs of the window libraries (platform, controls, resources):
// initialises wx (with a GTK application when a display is there, else the base library only),
// sends log messages to stderr so that none opens a modal box, binds the UI dispatcher to the
// test's main thread, registers the program's resources and runs the tests.
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>

#include "core/ui_dispatcher.h"
#include "resources/resource_ids.h"
#include "tests/support/test_support.h"

namespace {

class TestApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

bool g_display = false;

}  // namespace

namespace testing_support {
bool HaveDisplay() { return g_display; }
}  // namespace testing_support

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    g_display = display != nullptr && *display != '\0';
    bool started = false;
    // Log messages go to stderr from the start: a message of a failed start-up must never wait
    // in a log window for a box that nobody closes.
    delete wxLog::SetActiveTarget(new wxLogStderr);
    if (g_display) {
        // Many test programs start at once on one virtual display; a connection it refuses at
        // that moment is tried again rather than taken for a missing display.
        for (int attempt = 0; attempt < 50 && !started; ++attempt) {
            wxApp::SetInstance(new TestApp);
            started = wxEntryStart(argc, argv);
            if (!started) wxMilliSleep(100);
        }
        if (!started) {
            std::fprintf(stderr, "cannot open the display %s\n", display);
            return 2;
        }
        if (wxTheApp) wxTheApp->CallOnInit();
    } else {
        started = wxInitialize();
    }
    if (!started) return 2;
    delete wxLog::SetActiveTarget(new wxLogStderr);  // the application may have made its own
    wxInitAllImageHandlers();
    platform::Ui().BindToCurrentThread();
    resources::RegisterAll();
    int rc = RUN_ALL_TESTS();
    // Leave without tearing GTK down: some tests leave windows whose destruction at exit is noisy.
    std::fflush(nullptr);
    std::_Exit(rc);
}
