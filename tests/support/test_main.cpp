// Entry point of every test program: initialises wx (with a GTK application when a display is
// there, else the base library only), sends log messages to stderr so that none opens a modal
// box, binds the UI dispatcher to the test's main thread and runs the tests.
#include <cstdlib>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>

#include "platform/ui_dispatcher.h"
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
    if (g_display) {
        wxApp::SetInstance(new TestApp);
        started = wxEntryStart(argc, argv);
        if (started && wxTheApp) wxTheApp->CallOnInit();
        if (!started) g_display = false;
    }
    if (!started) {
        started = wxInitialize();
    }
    if (!started) return 2;
    delete wxLog::SetActiveTarget(new wxLogStderr);
    wxInitAllImageHandlers();
    platform::Ui().BindToCurrentThread();
    resources::RegisterAll();
    int rc = RUN_ALL_TESTS();
    // Leave without tearing GTK down: some tests leave windows whose destruction at exit is noisy.
    std::fflush(nullptr);
    std::_Exit(rc);
}
