// The demo's automatic run: the console with the simulated meter, walked with real input on the shown window,
// ends with a report that LibreOffice reads with the records in it.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/console_fixture.h"
#include "tests/support/test_support.h"
#include "tests/support/xlsx_readback.h"

using namespace testing_support;

namespace {

TEST(Demo, AutomaticRunOnScreenEndsWithTheReportPath)
{
    QEL_REQUIRE_DISPLAY();
    TempDir work;
    // The port scan sees no port of the machine: the list holds the simulator alone. The lock
    // file of its line goes to a folder of the test's own, not the machine's.
    ASSERT_EQ(mkdir(work.File("lock").c_str(), 0755), 0);
    const std::string command =
        "QEL_DEMO_TTY_CLASS=" + work.File("no-sys") + " QEL_DEMO_LOCK_DIR=" + work.File("lock") + " timeout 120 " +
        std::string(QEL_BINARY_DIR) + "/tools/qel-demo --auto --records 4 --workdir " + work.File("demo") + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr) output += buf;
    const int status = pclose(pipe);
    ASSERT_EQ(status, 0) << output;

    std::string last = output.substr(0, output.size() - 1);
    last = last.substr(last.find_last_of('\n') + 1);
    EXPECT_EQ(last.rfind(work.File("demo/savefile/"), 0), 0u) << output;
    ASSERT_TRUE(FileExists(last)) << output;
    EXPECT_NE(output.find("CONNECT SUCESS!"), std::string::npos) << output;
    for (const char* warning : {"-WARNING", "-CRITICAL", "*** BUG ***"}) {
        EXPECT_EQ(output.find(warning), std::string::npos) << output;  // the toolkit complained on the way
    }

    auto rows = ReadSheetWithLibreOffice(last);
    EXPECT_EQ(CsvField(rows, 2, 1), "Demo Technician");
    EXPECT_EQ(CsvField(rows, 4, 1), "OPM-3 SIM");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(CsvField(rows, 10 + 2 * static_cast<size_t>(i), 0), std::to_string(i + 1));
        EXPECT_EQ(CsvField(rows, 11 + 2 * static_cast<size_t>(i), 1), "1550nm");
    }
    EXPECT_EQ(CsvField(rows, 18, 0), "");
}

}  // namespace
