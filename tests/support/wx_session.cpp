#include "tests/support/wx_session.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>

#include "core/ui_dispatcher.h"
#include "tests/support/leak_check.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_support.h"

namespace testing_support {

namespace {
bool g_display = false;
}  // namespace

bool HaveDisplay() { return g_display; }

void RunTestsUnderWx(int argc, char** argv, const std::function<wxApp*()>& makeApp, const std::function<void()>& setUp)
{
    ::testing::InitGoogleTest(&argc, argv);
    // The user's runtime folder of the test program, a private one of its own: what the program
    // hands to the desktop there (new workbooks, as BookN.xlsx) goes with the program's end
    // instead of piling up in the machine's folder. Set before any thread reads the environment.
    auto runtime = std::make_unique<TempDir>("qel-test-runtime");
    ::chmod(runtime->Path().c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime->Path().c_str(), 1);
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
            wxApp::SetInstance(makeApp());
            started = wxEntryStart(argc, argv);
            if (!started) wxMilliSleep(100);
        }
        if (!started) {
            std::fprintf(stderr, "cannot open the display %s\n", display);
            std::_Exit(2);
        }
        if (wxTheApp) wxTheApp->CallOnInit();
    } else {
        started = wxInitialize();
    }
    if (!started) std::_Exit(2);
    delete wxLog::SetActiveTarget(new wxLogStderr);  // the application may have made its own
    wxInitAllImageHandlers();
    core::Ui().BindToCurrentThread();
    if (setUp) setUp();
    const int rc = WithLeakCheck(RUN_ALL_TESTS());
    runtime.reset();
    // Leave without tearing GTK down: some tests leave windows whose destruction at exit is noisy.
    std::fflush(nullptr);
    std::_Exit(rc);
}

}  // namespace testing_support
