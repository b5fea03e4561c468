// Real termination signals sent to the real programs under the display: the demo holding a port
// (its lock file in a folder of the test's), the demo with the box that answers CONNECT shown,
// the demo in the middle of an upload and its report, the demo started with a signal ignored, and
// the console itself. Each ends within seconds with exit status 0, its lock file gone and the
// port free for the next program; a signal ignored at the start stays ignored.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/pty.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_support.h"
#include "tests/support/xlsx_readback.h"
#include "tests/tools/screen/started_program.h"
#include "tools/sim/meter_sim.h"
// Last: the window system's names (None, True, Success) are macros.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

extern char** environ;

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

const std::string kDemo = std::string(QEL_BINARY_DIR) + "/tools/qel-demo";
const std::string kConsole = std::string(QEL_BINARY_DIR) + "/console/qel";
// The longest a program may take to end after the signal.
constexpr auto kEndWithin = 15s;

std::string SignalName(int signal) { return signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : "SIGINT"; }

// What the tests say about a wait status.
std::string Describe(const std::optional<int>& status)
{
    if (!status) return "still running";
    if (WIFEXITED(*status)) return "exit status " + std::to_string(WEXITSTATUS(*status));
    if (WIFSIGNALED(*status)) return std::string("ended by ") + strsignal(WTERMSIG(*status));
    return "status " + std::to_string(*status);
}
constexpr const char* kClean = "exit status 0";

// The top-level windows of the display that are mapped and name pid as their process
// (_NET_WM_PID, which the toolkit sets on its windows and message boxes).
int MappedWindows(pid_t pid)
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 0;
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // a window gone meanwhile
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned count = 0;
    int found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        for (unsigned i = 0; i < count; ++i) {
            Atom type = None;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            XWindowAttributes attributes{};
            const bool owned = XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type,
                                                  &format, &items, &after, &data) == Success &&
                               type == XA_CARDINAL && items == 1 &&
                               static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid &&
                               XGetWindowAttributes(display, children[i], &attributes) != 0 &&
                               attributes.map_state == IsViewable;
            if (owned) ++found;
            if (data != nullptr) XFree(data);
        }
        if (children != nullptr) XFree(children);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return found;
}

// The demo in a folder of its own: its port scan sees no port of the machine, its lock files go
// to the folder's lock/.
class DemoSignals : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        std::filesystem::create_directories(folder.File("lock"));
    }
    std::unique_ptr<Program> StartDemo(const std::string& port, const std::string& until, int ignored = 0,
                                       const std::vector<std::string>& more = {})
    {
        std::vector<std::string> args = {"--port", port, "--workdir", folder.File("work"), "--auto-until", until};
        args.insert(args.end(), more.begin(), more.end());
        return std::make_unique<Program>(kDemo, args, folder.Path(),
                                         std::vector<std::string>{"QEL_DEMO_TTY_CLASS=" + folder.File("no-sys"),
                                                                  "QEL_DEMO_LOCK_DIR=" + folder.File("lock")},
                                         ignored);
    }
    std::vector<std::string> LockFiles() const { return ListFolder(folder.File("lock")); }
    // The demo holds the port: one lock file, naming it.
    void ExpectHolding(const Program& demo) const
    {
        const std::vector<std::string> files = LockFiles();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].rfind("LCK..", 0), 0u) << files[0];
        EXPECT_EQ(std::stoi(ReadFile(folder.File("lock/" + files[0]))), demo.Pid());
    }
    // After the end: no lock file, and the port opens and takes an exclusive lock at once.
    void ExpectPortFree(const std::string& port) const
    {
        EXPECT_EQ(LockFiles(), std::vector<std::string>{});
        const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << std::strerror(errno);
        ::close(fd);
    }

    TempDir folder{"qel-signals"};
};

struct SignalCase {
    const char* name;
    std::vector<int> signals;  // sent one after another, at once
};
void PrintTo(const SignalCase& c, std::ostream* out) { *out << c.name; }

class DemoHoldingThePort : public DemoSignals, public ::testing::WithParamInterface<SignalCase> {};

// The demo has opened the port by real input and waits: the signal ends it cleanly. Nothing went
// to the meter's line on the way out. More signals at once end it just the same.
TEST_P(DemoHoldingThePort, EndsCleanly)
{
    PtyPair meter;
    ASSERT_TRUE(meter.Ok());
    auto demo = StartDemo(meter.SlavePath(), "click CONNECT");
    ASSERT_TRUE(demo->WaitForOutput("[hold] click CONNECT")) << demo->Output();
    ExpectHolding(*demo);
    const std::set<int> caught = demo->Signals("SigCgt");
    for (int s : {SIGTERM, SIGHUP, SIGINT}) EXPECT_EQ(caught.count(s), 1u) << SignalName(s);

    for (int s : GetParam().signals) ASSERT_EQ(::kill(demo->Pid(), s), 0);
    EXPECT_EQ(Describe(demo->WaitForEnd(kEndWithin)), kClean) << demo->Output();
    EXPECT_NE(demo->Output().find("ended by signal " + std::to_string(GetParam().signals[0])), std::string::npos)
        << demo->Output();
    ExpectPortFree(meter.SlavePath());
    EXPECT_EQ(meter.ReadUntilQuiet(), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, DemoHoldingThePort,
                         ::testing::Values(SignalCase{"SIGTERM", {SIGTERM}}, SignalCase{"SIGHUP", {SIGHUP}},
                                           SignalCase{"SIGINT", {SIGINT}},
                                           SignalCase{"SIGTERM_SIGHUP_SIGINT", {SIGTERM, SIGHUP, SIGINT}}),
                         [](const auto& info) { return std::string(info.param.name); });

// The box that answers CONNECT is shown (inside the hand-over of the reply's bytes, the monitor
// thread waiting for it): the box goes and the demo ends cleanly; no command but CONNECT went to
// the meter.
TEST_F(DemoSignals, ABoxOnTheScreenGoesAndTheDemoEndsCleanly)
{
    meter_sim::MeterSimulator sim{meter_sim::Options()};
    auto demo = StartDemo(sim.DevicePath(), "click OK in the box");
    ASSERT_TRUE(demo->WaitForOutput("[hold] click OK in the box")) << demo->Output();
    ExpectHolding(*demo);
    EXPECT_EQ(MappedWindows(demo->Pid()), 2);  // the window and the box
    ASSERT_EQ(::kill(demo->Pid(), SIGTERM), 0);
    EXPECT_EQ(Describe(demo->WaitForEnd(kEndWithin)), kClean) << demo->Output();
    ExpectPortFree(sim.DevicePath());
    EXPECT_EQ(sim.CommandCount(), 1u);
}

// The meter's line hangs up while the demo holds the port: the monitor thread shows its failure
// box and waits for it. The signal answers the box; the demo ends cleanly and no lock file stays.
TEST_F(DemoSignals, TheMonitorsFailureBoxGoesAndTheDemoEndsCleanly)
{
    PtyPair meter;
    ASSERT_TRUE(meter.Ok());
    auto demo = StartDemo(meter.SlavePath(), "click CONNECT");
    ASSERT_TRUE(demo->WaitForOutput("[hold] click CONNECT")) << demo->Output();
    ExpectHolding(*demo);
    meter.CloseMaster();
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (MappedWindows(demo->Pid()) < 2 && !demo->Ended() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(MappedWindows(demo->Pid()), 2) << demo->Output();
    ASSERT_EQ(::kill(demo->Pid(), SIGINT), 0);
    EXPECT_EQ(Describe(demo->WaitForEnd(kEndWithin)), kClean) << demo->Output();
    EXPECT_EQ(LockFiles(), std::vector<std::string>{});
}

// A step that the road does not have is refused before the window opens, with exit status 2.
TEST_F(DemoSignals, AStepTheRoadDoesNotHaveIsRefused)
{
    PtyPair meter;
    ASSERT_TRUE(meter.Ok());
    auto demo = StartDemo(meter.SlavePath(), "click nowhere");
    EXPECT_EQ(Describe(demo->WaitForEnd(60s)), "exit status 2") << demo->Output();
    EXPECT_NE(demo->Output().find("qel-demo: the road has no step \"click nowhere\""), std::string::npos)
        << demo->Output();
    EXPECT_EQ(meter.ReadUntilQuiet(), "");
}

class DemoStartedIgnoring : public DemoSignals, public ::testing::WithParamInterface<int> {};

// Started with a signal ignored (SIGINT in a background job of a script, SIGHUP under nohup):
// that signal stays ignored and does not end the demo; SIGTERM then does, cleanly.
TEST_P(DemoStartedIgnoring, ThatSignalStaysIgnored)
{
    const int ignored = GetParam();
    PtyPair meter;
    ASSERT_TRUE(meter.Ok());
    auto demo = StartDemo(meter.SlavePath(), "click CONNECT", ignored);
    ASSERT_TRUE(demo->WaitForOutput("[hold] click CONNECT")) << demo->Output();
    EXPECT_EQ(demo->Signals("SigIgn").count(ignored), 1u);
    const std::set<int> caught = demo->Signals("SigCgt");
    for (int s : {SIGTERM, SIGHUP, SIGINT}) EXPECT_EQ(caught.count(s), s == ignored ? 0u : 1u) << SignalName(s);

    ASSERT_EQ(::kill(demo->Pid(), ignored), 0);
    EXPECT_EQ(Describe(demo->WaitForEnd(500ms)), "still running") << demo->Output();
    ExpectHolding(*demo);
    ASSERT_EQ(::kill(demo->Pid(), SIGTERM), 0);
    EXPECT_EQ(Describe(demo->WaitForEnd(kEndWithin)), kClean) << demo->Output();
    ExpectPortFree(meter.SlavePath());
}

INSTANTIATE_TEST_SUITE_P(Signals, DemoStartedIgnoring, ::testing::Values(SIGINT, SIGHUP),
                         [](const auto& info) { return SignalName(info.param); });

// When the signal comes during the upload and its report.
enum class Moment {
    Upload,      // while the records come
    ReportMade,  // as soon as the create step's report file is there
    FillOpens,   // as the fill step opens that file to fill it
};
void PrintTo(Moment m, std::ostream* out)
{
    *out << (m == Moment::Upload ? "Upload" : m == Moment::ReportMade ? "ReportMade" : "FillOpens");
}

class DemoDuringTheReport : public DemoSignals, public ::testing::WithParamInterface<Moment> {};

// A signal during the upload or the report ends the demo cleanly, and savefile/ holds only whole
// workbooks: a report filled with every record, or the create step's copy of the template that
// no fill step reached (EXIT at that moment leaves it too); never a temporary file of a save.
TEST_P(DemoDuringTheReport, LeavesOnlyWholeReports)
{
    constexpr int kRecords = 40;
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(kRecords);
    options.pace = true;  // about 0.7 s on the wire
    meter_sim::MeterSimulator sim(options);
    const std::string savefile = folder.File("work/savefile");
    auto demo =
        StartDemo(sim.DevicePath(), "click EXIT when the report is made", 0, {"--records", std::to_string(kRecords)});
    ASSERT_TRUE(demo->WaitForOutput("upload started")) << demo->Output();

    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, savefile.c_str(), IN_OPEN | IN_CREATE | IN_MOVED_TO), 0);
    // The report file's events: created (linked in place), then opened by the fill step.
    bool made = false, opened = false;
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (GetParam() != Moment::Upload && std::chrono::steady_clock::now() < end && !demo->Ended()) {
        alignas(inotify_event) char buf[4096];
        const ssize_t n = ::read(watch, buf, sizeof buf);
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buf + at);
            const std::string name = event->len > 0 ? event->name : "";
            if (name.size() > 5 && name.compare(name.size() - 5, 5, ".xlsx") == 0) {
                if (event->mask & (IN_CREATE | IN_MOVED_TO)) made = true;
                if (made && (event->mask & IN_OPEN)) opened = true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        if ((GetParam() == Moment::ReportMade && made) || opened) break;
        if (n <= 0) std::this_thread::sleep_for(1ms);
    }
    ::close(watch);
    ASSERT_EQ(::kill(demo->Pid(), SIGHUP), 0);
    EXPECT_EQ(Describe(demo->WaitForEnd(kEndWithin)), kClean) << demo->Output();
    EXPECT_NE(demo->Output().find("ended by signal"), std::string::npos) << demo->Output();
    ExpectPortFree(sim.DevicePath());

    for (const std::string& name : ListFolder(savefile)) {
        SCOPED_TRACE(name);
        EXPECT_EQ(name.find(".qelsave-"), std::string::npos);
        ASSERT_NE(name.front(), '.');
        ASSERT_EQ(name.compare(name.size() - 5, 5, ".xlsx"), 0);
        // The operator's cell of the header and the records' numbers in column A from row 11.
        const std::string read = RunOpenpyxl("ws = wb.worksheets[0]\n"
                                             "n = 0\n"
                                             "while ws.cell(row=11 + 2 * n, column=1).value == n + 1: n += 1\n"
                                             "print(ws['B3'].value, n)",
                                             savefile + "/" + name);
        EXPECT_TRUE(read == "Demo Technician " + std::to_string(kRecords) + "\n" || read == "None 0\n") << read;
    }
}

INSTANTIATE_TEST_SUITE_P(Moments, DemoDuringTheReport,
                         ::testing::Values(Moment::Upload, Moment::ReportMade, Moment::FillOpens),
                         [](const auto& info) {
                             std::ostringstream name;
                             PrintTo(info.param, &name);
                             return name.str();
                         });

// The console itself, in a working folder prepared as the installation notes say, its window
// shown: SIGTERM ends it with exit status 0.
TEST(ConsoleSignals, SigtermEndsTheConsoleCleanly)
{
    QEL_REQUIRE_DISPLAY();
    TempDir work{"qel-console"};
    for (const char* file : {"language.ini", "savemode.xlsx"})
        WriteFile(work.File(file), ReadFile(std::string(QEL_SOURCE_DIR) + "/data/" + file));
    std::filesystem::create_directories(work.File("savefile"));
    Program console(kConsole, {}, work.Path(), {});
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (MappedWindows(console.Pid()) == 0 && !console.Ended() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(MappedWindows(console.Pid()), 1) << Describe(console.WaitForEnd(0ms)) << "\n" << console.Output();
    const std::set<int> caught = console.Signals("SigCgt");
    for (int s : {SIGTERM, SIGHUP, SIGINT}) EXPECT_EQ(caught.count(s), 1u) << SignalName(s);

    ASSERT_EQ(::kill(console.Pid(), SIGTERM), 0);
    EXPECT_EQ(Describe(console.WaitForEnd(kEndWithin)), kClean) << console.Output();
    EXPECT_EQ(ListFolder(work.File("savefile")), std::vector<std::string>{});
}

}  // namespace
