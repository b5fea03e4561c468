// A save killed while its temporary file exists: a child process saves, is stopped at a moment of
// the save (SIGSTOP from the save's own hook), looked at and killed there. The next save into the
// folder, of another name, leaves nothing of the killed one behind; the file the killed save
// would have replaced is whole, and so is the one the next save makes.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "spreadsheet/package_io.h"
#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/xlsx_readback.h"

namespace sheet_test {
namespace {

namespace fs = std::filesystem;
namespace id = spreadsheet::dispid;
using spreadsheet::SavePoint;

SavePoint g_stopAt = SavePoint::Written;

void StopHere(SavePoint point)
{
    if (point == g_stopAt) ::raise(SIGSTOP);
}

// Temporary files of a save, by their names.
std::vector<std::string> Temporaries(const std::vector<std::string>& names)
{
    std::vector<std::string> found;
    for (const std::string& n : names)
        if (n.find(".qelsave-") != std::string::npos) found.push_back(n);
    return found;
}

// The files without a name in the folder that the process holds open.
int UnnamedFilesHeld(pid_t pid, const std::string& folder)
{
    int count = 0;
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        const std::string deleted = " (deleted)";
        if (!ec && target.rfind(folder + "/", 0) == 0 && target.size() > deleted.size() &&
            target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0)
            ++count;
    }
    return count;
}

struct KillCase {
    const char* name;
    Files files;
    SavePoint stopAt;
    bool inPlace;  // the template saved in place (an old target), else a copy under a new name
};

void PrintTo(const KillCase& c, std::ostream* out) { *out << c.name; }

class KilledSave : public TempFolder, public ::testing::WithParamInterface<KillCase> {};

TEST_P(KilledSave, LeavesNothingAfterTheNextSaveAndNoFileHalfWritten)
{
    const KillCase c = GetParam();
    if (const int probe = ::open(m_dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600); probe >= 0) {
        ::close(probe);
    } else if (c.files != Files::NoUnnamed) {
        GTEST_SKIP() << "the file system of " << m_dir << " makes no files without a name";
    }
    const std::string tmpl = Path("savemode.xlsx");
    fs::copy_file(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx", tmpl);
    const std::string before = ReadFile(tmpl);
    const std::string target = c.inPlace ? tmpl : Path("20240101120000.xlsx");

    const pid_t saver = ::fork();
    ASSERT_GE(saver, 0);
    if (saver == 0) {
        if (!Offer(c.files)) ::_exit(3);
        g_stopAt = c.stopAt;
        spreadsheet::SetSavePointHook(StopHere);
        Session s = OpenBook(tmpl);
        PutCell(s.sheet.get(), 1, 1, S("killed save"));
        const CallResult r = c.inPlace ? Invoke(s.book.get(), id::kSave, core::DISPATCH_METHOD)
                                       : Invoke(s.book.get(), id::kSaveCopyAs, core::DISPATCH_METHOD, {S(target)});
        ::_exit(r.hr == core::S_OK ? 0 : 4);  // never reached when stopped and killed
    }
    int status = 0;
    ASSERT_EQ(::waitpid(saver, &status, WUNTRACED), saver);
    if (!WIFSTOPPED(status)) {
        ::kill(saver, SIGKILL);
        ::waitpid(saver, nullptr, 0);
        FAIL() << "the save did not stop at its moment (status " << status << ")";
    }

    // The moment: the temporary file exists, nameless or named, and is not in place.
    const std::vector<std::string> named = Temporaries(Listing());
    if (c.files == Files::Unnamed && c.stopAt == SavePoint::Written) {
        EXPECT_TRUE(named.empty());
        EXPECT_EQ(UnnamedFilesHeld(saver, m_dir.string()), 1);
    } else {
        if (c.files != Files::Unnamed) {
            EXPECT_EQ(UnnamedFilesHeld(saver, m_dir.string()), 0);
        }
        ASSERT_EQ(named.size(), 1u);
        EXPECT_EQ(named[0].rfind("." + spreadsheet::FileName(target) + ".qelsave-", 0), 0u) << named[0];
    }
    EXPECT_EQ(ReadFile(tmpl), before);
    EXPECT_EQ(fs::exists(target), c.inPlace);

    ::kill(saver, SIGKILL);
    ASSERT_EQ(::waitpid(saver, &status, 0), saver);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    EXPECT_EQ(Temporaries(Listing()), named);  // what a killed save leaves until the next one

    // The next save into the folder: the template copied under another name, as the next report.
    const std::string next = Path("20240101120500.xlsx");
    {
        Session s = OpenBook(tmpl);
        PutCell(s.sheet.get(), 1, 1, S("next save"));
        Method(s.book.get(), id::kSaveCopyAs, {S(next)});
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"20240101120500.xlsx", "savemode.xlsx"}));
    EXPECT_EQ(ReadFile(tmpl), before);
    EXPECT_EQ(testing_support::RunOpenpyxl("print(wb.active['A1'].value)", next), "next save\n");
    EXPECT_EQ(testing_support::RunOpenpyxl("print(len(wb.sheetnames), wb.active['A1'].value)", tmpl),
              testing_support::RunOpenpyxl("print(len(wb.sheetnames), wb.active['A1'].value)",
                                           std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx"));
}

INSTANTIATE_TEST_SUITE_P(
    Moments, KilledSave,
    ::testing::Values(KillCase{"UnnamedInPlaceBeforeItsName", Files::Unnamed, SavePoint::Written, true},
                      KillCase{"UnnamedCopyBeforeItsName", Files::Unnamed, SavePoint::Written, false},
                      KillCase{"UnnamedInPlaceBeforeTheRename", Files::Unnamed, SavePoint::Named, true},
                      KillCase{"NoUnnamedCopyWritten", Files::NoUnnamed, SavePoint::Written, false},
                      KillCase{"NoUnnamedInPlaceBeforeTheRename", Files::NoUnnamed, SavePoint::Named, true},
                      KillCase{"NoUnnamedCopyBeforeTheRename", Files::NoUnnamed, SavePoint::Named, false},
                      KillCase{"UnnameableInPlaceBeforeTheRename", Files::Unnameable, SavePoint::Named, true},
                      KillCase{"UnnameableCopyBeforeTheRename", Files::Unnameable, SavePoint::Named, false}),
    [](const ::testing::TestParamInfo<KillCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sheet_test
