// The demo program's own faults: a --port it cannot use is refused before anything starts, and a
// failed step of the automatic run ends the program with its message and a failing exit status.
// The demo's port scan sees a fake tree of one port, a pseudo-terminal the test watches: nothing
// may reach it, and no test reaches a device of the machine.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/serial_ports.h"
#include "tests/support/pty.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_support.h"
#include "tests/support/xlsx_readback.h"
#include "tests/tools/screen/started_program.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

const std::string kDemo = std::string(QEL_BINARY_DIR) + "/tools/qel-demo";

struct DemoRun {
    bool exited = false;  // false: ended by a signal (or killed at the deadline)
    int code = -1;        // the exit status, or the signal
    std::string output;   // standard output and error together
};

// Runs the demo in the folder of the fake tree with the arguments, its port scan and its ports'
// lock files on that tree, and waits for its end (at most the deadline; then it is killed and
// counted as not exited).
DemoRun RunDemo(const TempDir& tree, const std::vector<std::string>& args, std::chrono::seconds deadline,
                const std::vector<std::string>& moreEnv = {})
{
    std::vector<std::string> env = {"QEL_DEMO_TTY_CLASS=" + tree.File("sys"), "QEL_DEMO_DEV=" + tree.File("dev"),
                                    "QEL_DEMO_LOCK_DIR=" + tree.File("lock")};
    env.insert(env.end(), moreEnv.begin(), moreEnv.end());
    Program demo(kDemo, args, tree.Path(), env);
    DemoRun run;
    if (demo.Pid() <= 0) return run;
    std::optional<int> status = demo.WaitForEnd(deadline);
    if (!status) {
        ::kill(demo.Pid(), SIGKILL);
        status = demo.WaitForEnd(std::chrono::seconds(60));
        run.output = "(killed at the deadline)\n";
    }
    if (!status) return run;
    run.exited = WIFEXITED(*status);
    run.code = run.exited ? WEXITSTATUS(*status) : WTERMSIG(*status);
    run.output += demo.Output();
    return run;
}

// A fake port tree of one port: sys/ttyFAKE0 with a device and a driver, and dev/ttyFAKE0 a link
// to a pseudo-terminal the test holds.
class DemoPorts : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(other.Ok());
        std::filesystem::create_directories(tree.File("sys/ttyFAKE0/device/driver"));
        std::filesystem::create_directories(tree.File("dev"));
        std::filesystem::create_directories(tree.File("lock"));
        std::filesystem::create_symlink(other.SlavePath(), tree.File("dev/ttyFAKE0"));
        core::SerialPortRoots roots;
        roots.sysClassTty = tree.File("sys");
        roots.dev = tree.File("dev");
        ASSERT_EQ(core::EnumerateSerialPorts(roots), std::vector<std::string>{tree.File("dev/ttyFAKE0")});
    }

    TempDir tree{"qel-demo-ports"};
    PtyPair other;  // the machine's other port
};

// The refusals, each of a path the console could not use: exit status 2 before anything starts
// (no working folder, no window, no display needed), the path and the reason named, and no
// byte on the meter's line or the other port.
TEST_F(DemoPorts, APortItCannotUseIsRefusedBeforeItStarts)
{
    PtyPair meter;
    ASSERT_TRUE(meter.Ok());
    // Relative to the tree's folder, where the demo runs: short paths but for the first.
    const std::string longFolder = "a-folder-whose-name-is-longer-than-the-port-table";
    std::filesystem::create_directories(tree.File(longFolder));
    std::filesystem::create_symlink(meter.SlavePath(), tree.File(longFolder + "/meter"));
    WriteFile(tree.File("plain"), "not a device");
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {longFolder + "/meter", "the path has 55 characters, the console's port table holds at most 29"},
        {"missing", "it does not exist"},
        {"plain", "it is not a terminal device"},
        {"/dev/null", "it is not a terminal device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string work = tree.File("work");
        const DemoRun run = RunDemo(tree, {"--auto", "--port", c.path, "--workdir", work}, std::chrono::seconds(30));
        EXPECT_TRUE(run.exited) << run.output;
        EXPECT_EQ(run.code, 2) << run.output;
        EXPECT_NE(run.output.find("cannot use the port \"" + c.path + "\": " + c.reason), std::string::npos)
            << run.output;
        EXPECT_FALSE(FileExists(work)) << run.output;
        EXPECT_EQ(meter.ReadUntilQuiet(), "");
        EXPECT_EQ(other.ReadUntilQuiet(), "");
    }
}

// A meter that never answers: the run stops at the box that does not come, tells the step and
// ends with status 1, no signal. The connect command went to the meter's line, nothing to the
// other port.
TEST_F(DemoPorts, AMeterThatDoesNotAnswerEndsTheRunWithItsStep)
{
    QEL_REQUIRE_DISPLAY();
    PtyPair meter;
    ASSERT_TRUE(meter.Ok());
    const DemoRun run = RunDemo(tree, {"--auto", "--port", meter.SlavePath(), "--workdir", tree.File("work")},
                                std::chrono::seconds(90));
    EXPECT_TRUE(run.exited) << run.output;
    EXPECT_EQ(run.code, 1) << run.output;
    EXPECT_NE(run.output.find("qel-demo: step \"click OK in the box\" did not become ready"), std::string::npos)
        << run.output;
    EXPECT_EQ(meter.ReadUntilQuiet(), std::string("\x10\x03\x01\xEC\x01", 5));
    EXPECT_EQ(other.ReadUntilQuiet(), "");
}

// The report cannot be saved (the working folder's savefile is a file): the error box is told
// and closed and the run ends with status 1 at once, not at the end of the report's wait.
TEST_F(DemoPorts, AReportThatCannotBeSavedEndsTheRunWithTheBox)
{
    QEL_REQUIRE_DISPLAY();
    meter_sim::Options options;
    options.records = meter_sim::SampleRecords(2);
    meter_sim::MeterSimulator sim(options);
    const std::string work = tree.File("work");
    std::filesystem::create_directories(work);
    WriteFile(work + "/savefile", "not a folder");
    const auto start = std::chrono::steady_clock::now();
    const DemoRun run =
        RunDemo(tree, {"--auto", "--port", sim.DevicePath(), "--workdir", work}, std::chrono::seconds(90));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << run.output;
    EXPECT_TRUE(run.exited) << run.output;
    EXPECT_EQ(run.code, 1) << run.output;
    EXPECT_NE(run.output.find("qel-demo: no report was made: "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(work + "/savefile"), std::string::npos) << run.output;
    EXPECT_GE(sim.CommandCount(), 2u);  // connect and upload
    EXPECT_EQ(other.ReadUntilQuiet(), "");
}

// Two copies of the program in one working folder, each with its own meter (3 and 5 records),
// making their reports in the same second: the second never replaces the first. It takes the
// next free name, names the file it went to, and each report holds its own records.
TEST_F(DemoPorts, TwoCopiesInOneFolderInTheSameSecondEachKeepTheirReport)
{
    QEL_REQUIRE_DISPLAY();
    const std::string work = tree.File("work");
    std::filesystem::create_directories(work);
    std::vector<std::string> reports;
    for (const int records : {3, 5}) {
        SCOPED_TRACE(std::to_string(records) + " records");
        meter_sim::Options options;
        options.records = meter_sim::SampleRecords(records);
        meter_sim::MeterSimulator sim(options);
        const DemoRun run = RunDemo(tree, {"--auto", "--port", sim.DevicePath(), "--workdir", work},
                                    std::chrono::seconds(90), {"QEL_DEMO_REPORT_TIME=1796989628"});
        ASSERT_TRUE(run.exited) << run.output;
        ASSERT_EQ(run.code, 0) << run.output;
        const std::string output = run.output.substr(0, run.output.find_last_not_of('\n') + 1);
        const std::string report = output.substr(output.rfind('\n') + 1);
        EXPECT_NE(run.output.find("[open] " + report + "\n"), std::string::npos)
            << "the report handed over is the one made: " << run.output;
        reports.push_back(report);
    }
    ASSERT_EQ(reports.size(), 2u);
    const std::string first = reports[0];
    ASSERT_GT(first.size(), 5u);
    EXPECT_EQ(first.rfind(work + "/savefile/", 0), 0u) << first;
    EXPECT_EQ(reports[1], first.substr(0, first.size() - 5) + "-2.xlsx");
    EXPECT_EQ(ListFolder(work + "/savefile").size(), 2u);
    // Column A numbers the records, from row 11 on, one number every second row.
    const std::string count = "print(sum(1 for r in range(11, 300) if isinstance(wb.active.cell(r, 1).value, int)))";
    EXPECT_EQ(RunOpenpyxl(count, reports[0]), "3\n");
    EXPECT_EQ(RunOpenpyxl(count, reports[1]), "5\n");
}

}  // namespace
