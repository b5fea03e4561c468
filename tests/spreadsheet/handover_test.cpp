// Showing the application hands its workbooks to the desktop through the real opener; on a desktop
// where no application takes workbooks the automation error names the saved file, which stays on
// disk as it was saved. GIO reads the desktop's folders once per process, so the desktop (made up in
// a temporary folder) is seen by a child process: this program run again on HandOverInChild.Show.
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/run_in_child.h"
#include "tests/support/xlsx_readback.h"

namespace sheet_test {
namespace {

namespace id = spreadsheet::dispid;

std::string Described(IDispatch* app)
{
    CallResult r = Invoke(app, id::kVisible, core::DISPATCH_PROPERTYPUT, {VARIANT::Bool(true)});
    if (r.hr != core::DISP_E_EXCEPTION) return "(the call gave " + std::to_string(r.hr) + ")";
    CallResult visible = Invoke(app, id::kVisible, core::DISPATCH_PROPERTYGET);
    return r.excep.description + (visible.value.boolVal ? " (and the application is visible)" : "");
}

class HandOver : public TempFolder {};

}  // namespace

TEST_F(HandOver, AFailedHandOverNamesTheSavedWorkbookAndKeepsIt)
{
    const std::string dir = m_dir.string();
    for (const char* sub : {"data", "config", "config-dirs", "system", "home", "runtime", "work", "work/savefile"})
        std::filesystem::create_directory(m_dir / sub);
    std::filesystem::permissions(m_dir / "runtime", std::filesystem::perms::owner_all);
    std::filesystem::create_directory_symlink("/usr/share/mime", m_dir / "system/mime");
    std::filesystem::copy_file(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx",
                               m_dir / "work/savefile/20261211093000.xlsx");

    // The machine's applications and defaults are not seen; the made-up desktop has none.
    const auto [status, log] =
        testing_support::RunChildTest("HandOverInChild.Show",
                                      {{"QEL_HANDOVER_CHILD", dir},
                                       {"XDG_DATA_HOME", dir + "/data"},
                                       {"XDG_CONFIG_HOME", dir + "/config"},
                                       {"XDG_CONFIG_DIRS", dir + "/config-dirs"},
                                       {"XDG_DATA_DIRS", dir + "/system"},
                                       {"XDG_RUNTIME_DIR", dir + "/runtime"},
                                       {"HOME", dir + "/home"},
                                       {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir + "/no-bus"},
                                       {"XDG_CURRENT_DESKTOP", std::nullopt},
                                       {"GTEST_OUTPUT", std::nullopt}},
                                      dir + "/work");
    ASSERT_EQ(status, 0) << log;
    ASSERT_TRUE(std::filesystem::exists(m_dir / "saved.txt")) << log;

    const std::string report = dir + "/work/savefile/20261211093000.xlsx";
    const std::string why = "no application is registered for files of the type "
                            "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
    EXPECT_EQ(ReadFile(dir + "/saved.txt"), "The workbook was saved as \"" + report +
                                                "\", but no application could open it: " + why +
                                                ". Open the file by hand.");
    // The report holds what was written before the hand-over.
    EXPECT_EQ(testing_support::RunOpenpyxl("print(wb.active['B3'].value, wb.active['F3'].value)", report),
              "Zhang Wei ACME Optics\n");

    // A new workbook was written to the hand-over folder first, and stays there.
    std::vector<std::string> books;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir / "runtime/qel"))
        books.push_back(entry.path().string());
    ASSERT_EQ(books.size(), 1u);
    EXPECT_EQ(ReadFile(dir + "/new.txt"), "The workbook was saved as \"" + books[0] +
                                              "\", but no application could open it: " + why +
                                              ". Open the file by hand.");
    EXPECT_EQ(testing_support::RunOpenpyxl("print(wb.active['A1'].value)", books[0]), "kept\n");
}

namespace {

// The child's side of the test above, a test only the child process has: a saved report (opened
// by a relative name, as the console names it) and a new workbook, each shown by its own
// application.
class ShowInChild : public ::testing::Test {
    void TestBody() override;
};

const bool g_inChild = testing_support::RegisterChildTest<ShowInChild>("QEL_HANDOVER_CHILD", "HandOverInChild", "Show",
                                                                       __FILE__, __LINE__);

void ShowInChild::TestBody()
{
    const std::string dir = std::getenv("QEL_HANDOVER_CHILD");
    {
        Session s = OpenBook("savefile/20261211093000.xlsx");
        ASSERT_TRUE(s.sheet);
        PutCell(s.sheet.get(), 3, 2, S("Zhang Wei"));
        PutCell(s.sheet.get(), 3, 6, S("ACME Optics"));
        Method(s.book.get(), id::kSave);
        WriteFile(dir + "/saved.txt", Described(s.app.get()));
    }
    {
        Session s = NewBook();
        PutCell(s.sheet.get(), 1, 1, S("kept"));
        WriteFile(dir + "/new.txt", Described(s.app.get()));
    }
}

}  // namespace

}  // namespace sheet_test
