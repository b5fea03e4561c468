// A termination signal ends the shown main window's run as EXIT does, whatever is open over it:
// the program's real message boxes (also one the monitor thread waits on, and one shown inside a
// hand-over of received bytes), an OK/Cancel confirmation (answered Cancel: no command goes to the
// meter), the About box, the dropped port list, the context menu. Real signals sent to this
// process, things opened with real input where a person can open them.
#include <signal.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/uiaction.h>

#include "console/AboutDlg.h"
#include "console/program_end.h"
#include "resources/resource_ids.h"
#include "tests/console/screen/console_on_screen.h"
#include "tests/support/pty.h"
#include "tests/support/screenshot.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

// The About box whose run goes on, or nullptr.
CAboutDlg* AboutShown()
{
    for (wxWindow* w : wxTopLevelWindows) {
        if (auto* about = dynamic_cast<CAboutDlg*>(w); about != nullptr && about->IsModal()) return about;
    }
    return nullptr;
}

// The main window watched by the program's end, with the termination signals handled from the
// start of the test (they get back what they had after it).
class ProgramEndOnScreen : public ConsoleOnScreen {
protected:
    void SetUp() override
    {
        ConsoleOnScreen::SetUp();
        if (IsSkipped()) return;
        for (size_t i = 0; i < 3; ++i) {
            sigaction(platform::kTerminationSignals[i], nullptr, &saved[i]);
            signal(platform::kTerminationSignals[i], SIG_DFL);
        }
        end = std::make_unique<CProgramEnd>();
        ASSERT_TRUE(end->Watch());
        end->SetMainDialog(&Dlg());
    }
    void TearDown() override
    {
        if (end) {
            end.reset();
            for (size_t i = 0; i < 3; ++i) sigaction(platform::kTerminationSignals[i], &saved[i], nullptr);
        }
        ConsoleOnScreen::TearDown();
    }

    // Runs the window modally while the road walks; returns how the run ended (-2: it did not
    // end within the limit, or the road stalled).
    int Run(InputRoad& road, int limitMs = 30000) { return RunRoad(road, limitMs); }
    // The ports' lock files now in the harness's lock folder.
    static std::vector<std::string> LockFiles()
    {
        std::vector<std::string> found;
        for (const std::string& name : ListFolder(CSerialPort::LockFolder()))
            if (name.rfind("LCK..", 0) == 0) found.push_back(name);
        return found;
    }

    std::unique_ptr<CProgramEnd> end;
    struct sigaction saved[3]{};
};

struct OpenThing {
    const char* name;
    int signal;
};
void PrintTo(const OpenThing& thing, std::ostream* out) { *out << thing.name << ", signal " << thing.signal; }

class WhatIsOpen : public ProgramEndOnScreen, public ::testing::WithParamInterface<OpenThing> {};

// Each thing is opened inside the window's run, then the signal comes: the thing goes, the run
// ends as EXIT ends it (IDOK), and nothing of the thing is left on the screen.
TEST_P(WhatIsOpen, GoesAndTheRunEndsAsExitEndsIt)
{
    const OpenThing c = GetParam();
    const std::string name = c.name;
    PtyPair meter;  // a meter that never answers
    ASSERT_TRUE(meter.Ok());
    std::unique_ptr<meter_sim::MeterSimulator> sim;
    if (name == "reply box") sim = std::make_unique<meter_sim::MeterSimulator>(meter_sim::Options());
    const bool portOpen = name == "confirmation" || name == "failure box" || name == "reply box";
    if (portOpen) {
        ASSERT_TRUE(harness->OpenPort(sim ? sim->DevicePath() : meter.SlavePath()));
        EXPECT_EQ(LockFiles().size(), 1u);
    }

    // The window's empty client area, below the progress bar.
    const wxRect bar = Item(IDC_PROGRESS)->GetScreenRect();
    const wxPoint empty(bar.x + bar.width / 2, bar.GetBottom() + 8);
    std::function<void()> open;
    std::function<bool()> isOpen = [] { return BoxShown(); };
    if (name == "box") {  // CONNECT with the port closed
        open = [&] { ClickWindow(Item(IDC_CONNECT)); };
    } else if (name == "confirmation") {  // its button is hidden: the handler the button would call
        open = [&] { Dlg().CallAfter([&] { Dlg().OnBnClickedDeleteAll(); }); };
        isOpen = [] { return ShownMessageBoxText() == "DELETE ALL DATA?"; };
    } else if (name == "failure box") {  // the meter's line hangs up: the monitor waits on its box
        open = [&] { meter.CloseMaster(); };
        isOpen = [] { return ShownMessageBoxText().rfind("WARNING:  ReadFile() Failed", 0) == 0; };
    } else if (name == "reply box") {  // shown inside the hand-over of the reply's bytes
        open = [&] { ClickWindow(Item(IDC_CONNECT)); };
        isOpen = [] { return ShownMessageBoxText() == "CONNECT SUCESS!"; };
    } else if (name == "About box") {  // the context menu's one entry, by keys
        open = [&] {
            MoveMouseTo(empty);
            wxUIActionSimulator().MouseClick(wxMOUSE_BTN_RIGHT);
        };
        isOpen = [] { return AboutShown() != nullptr && AboutShown()->IsShownOnScreen(); };
    } else if (name == "port list") {
        open = [&] { ClickAt(ArrowOf(Dlg().m_comboPort)); };
        isOpen = [&] { return Dlg().m_comboPort->IsPopupShown(); };
    } else if (name == "context menu") {
        open = [&] {
            MoveMouseTo(empty);
            wxUIActionSimulator().MouseClick(wxMOUSE_BTN_RIGHT);
        };
        isOpen = [&] { return platform::MenuPoppedUp(Dlg().SystemMenu()); };
    }

    // The input is sent from a call of its own, after the road's step: what it opens runs a loop
    // of its own (a box, a menu), in which the road's next steps are to run.
    const auto later = [](std::function<void()> input) { return [input] { wxTheApp->CallAfter(input); }; };
    InputRoad road;
    road.Then(
        "open it", [&] { return Dlg().IsShownOnScreen(); }, later(open));
    if (name == "About box") {
        road.Then(
            "choose About", [&] { return platform::MenuPoppedUp(Dlg().SystemMenu()); }, later([] {
                PressKey(WXK_DOWN);
                PressKey(WXK_RETURN);
            }));
    }
    road.Then("send the signal", isOpen, [&] {
        PumpEvents(100);
        if (name == "confirmation") SaveWindowPng(&Dlg(), std::string(QEL_BINARY_DIR) + "/signal-over-a-box.png");
        ASSERT_EQ(kill(getpid(), c.signal), 0);
    });
    EXPECT_EQ(Run(road), IDOK);
    EXPECT_EQ(end->Signal(), c.signal);
    EXPECT_FALSE(isOpen());
    EXPECT_TRUE(ShownMessageBoxButton().IsEmpty());
    EXPECT_EQ(AboutShown(), nullptr);
    EXPECT_FALSE(Dlg().m_comboPort->IsPopupShown());
    EXPECT_FALSE(platform::MenuPoppedUp(Dlg().SystemMenu()));
    if (name == "confirmation") {
        EXPECT_EQ(meter.ReadUntilQuiet(), "") << "a command went to the meter";
    }
    if (name == "failure box") {
        // Let go of its box, the monitor closed the port itself and gave its lock file up.
        EXPECT_TRUE(PumpUntil([&] { return !Dlg().m_serialPort.IsOpen(); }));
        EXPECT_EQ(LockFiles(), std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(Signal, WhatIsOpen,
                         ::testing::Values(OpenThing{"box", SIGTERM}, OpenThing{"confirmation", SIGINT},
                                           OpenThing{"failure box", SIGHUP}, OpenThing{"reply box", SIGTERM},
                                           OpenThing{"About box", SIGHUP}, OpenThing{"port list", SIGINT},
                                           OpenThing{"context menu", SIGTERM}),
                         [](const ::testing::TestParamInfo<OpenThing>& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (ch == ' ') ch = '_';
                             return name;
                         });

// Signals while the end goes on change nothing: the run ends once, as the first signal asked.
// Meanwhile and afterwards no box is shown: a box's text goes to stderr, nothing is confirmed.
TEST_F(ProgramEndOnScreen, LaterSignalsChangeNothingAndNoBoxIsShownAnyMore)
{
    InputRoad road;
    road.Then(
        "click CONNECT with the port closed", [&] { return Dlg().IsShownOnScreen(); },
        [&] { wxTheApp->CallAfter([&] { ClickWindow(Item(IDC_CONNECT)); }); });
    road.Then(
        "send SIGTERM", [] { return BoxShown(); }, [] { kill(getpid(), SIGTERM); });
    road.Then(
        "send SIGHUP and SIGINT once the end goes on", [&] { return end->Signal() != 0; },
        [] {
            kill(getpid(), SIGHUP);
            kill(getpid(), SIGINT);
        });
    StderrCapture err;
    EXPECT_EQ(Run(road), IDOK);
    EXPECT_EQ(end->Signal(), SIGTERM);

    kill(getpid(), SIGTERM);
    PumpEvents(200);
    EXPECT_EQ(end->Signal(), SIGTERM);
    EXPECT_FALSE(Dlg().IsShown());
    EXPECT_EQ(core::ShowMessageBox(&Dlg(), "LATE QUESTION?", "QEL", MB_OKCANCEL), IDCANCEL);
    EXPECT_TRUE(ShownMessageBoxButton().IsEmpty());
    EXPECT_NE(err.Text().find("QEL: LATE QUESTION?\n"), std::string::npos) << err.Text();
}

// A signal that came before the window's run: the run does not start, nothing is shown.
TEST_F(ProgramEndOnScreen, ASignalBeforeTheRunKeepsItFromStarting)
{
    kill(getpid(), SIGHUP);
    ASSERT_TRUE(PumpUntil([&] { return end->Signal() == SIGHUP; }));
    bool shown = false;
    wxTimer watch;
    watch.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { shown = shown || Dlg().IsShownOnScreen(); });
    watch.Start(10);
    EXPECT_EQ(Dlg().DoModal(), wxID_CANCEL);
    PumpEvents(100);
    watch.Stop();
    EXPECT_FALSE(shown);
}

}  // namespace
