// The application object: an automation exception that a handler lets through is shown under
// the application's title with a stop icon, and the rest of the handler is skipped.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>
#include <wx/event.h>

#include "console/QELApp.h"
#include "core/message_box.h"
#include "core/ui_dispatcher.h"
#include "report/automation_exception.h"
#include "tests/support/recording_message_boxes.h"
#include "tests/support/test_support.h"

namespace {

class Throwing : public wxEvtHandler {
public:
    void OnEvent(wxCommandEvent&)
    {
        before = true;
        if (code == 0) throw COleDispatchException("The file \"/x/savemode.xlsx\" does not exist.");
        throw COleException(code);
        after = true;  // never reached
    }
    core::HRESULT code = 0;
    bool before = false;
    bool after = false;
};

TEST(Application, EventDispatchShowsAnAutomationErrorInAStopBoxUnderTheTitle)
{
    struct Case {
        core::HRESULT code;
        std::string text;
    } cases[] = {
        {0, "The file \"/x/savemode.xlsx\" does not exist."},
        {core::E_OUTOFMEMORY, core::StatusText(core::E_OUTOFMEMORY)},
        {static_cast<core::HRESULT>(0x80001234), kAutomationGenericFailureText},
    };
    QEL_REQUIRE_DISPLAY();  // the application object exists with the window system only
    ASSERT_NE(dynamic_cast<CQELApp*>(wxTheApp), nullptr);
    for (const auto& c : cases) {
        testing_support::RecordingMessageBoxes boxes;
        Throwing handler;
        handler.code = c.code;
        handler.Bind(wxEVT_BUTTON, &Throwing::OnEvent, &handler);
        wxCommandEvent event(wxEVT_BUTTON, 1012);
        handler.ProcessEvent(event);
        EXPECT_TRUE(handler.before);
        EXPECT_FALSE(handler.after);
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(boxes.Last().text, c.text);
        EXPECT_FALSE(c.text.empty());
        EXPECT_EQ(boxes.Last().caption, CQELApp::AppTitle());
        EXPECT_EQ(boxes.Last().style, MB_OK | MB_ICONSTOP);
        EXPECT_EQ(boxes.Last().owner, nullptr);
    }
}

TEST(Application, GuardedCallsShowTheErrorAndOtherCallsRunThrough)
{
    testing_support::RecordingMessageBoxes boxes;
    int steps = 0;
    CQELApp::CallGuarded([&] { ++steps; });
    CQELApp::CallGuarded([&] {
        ++steps;
        throw COleDispatchException("locked");
    });
    EXPECT_EQ(steps, 2);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last().text, "locked");
}

TEST(Application, AWorkerCallRunsThroughTheApplicationObjectsEventQueue)
{
    // The dispatcher's waker posts to whatever application object the process has: the GUI one
    // with a display, a console one without. Only the application's pending events are processed
    // here, so the call runs through the waker or not at all.
    CQELApp::ConnectDispatcher();
    std::atomic<bool> abort{false};
    std::atomic<bool> ran{false};
    bool invoked = false;
    std::thread worker([&] { invoked = core::Ui().Invoke([&] { ran = true; }, abort); });
    wxAppConsole* app = wxAppConsole::GetInstance();
    ASSERT_NE(app, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!ran && std::chrono::steady_clock::now() < deadline) {
        app->ProcessPendingEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!ran) abort = true, core::Ui().NotifyAbort();
    worker.join();
    core::Ui().SetWaker(nullptr);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(invoked);
}

TEST(Application, TitleIsTheProgramFileNameWithoutExtension) { EXPECT_EQ(CQELApp::AppTitle(), "test_console"); }

}  // namespace
