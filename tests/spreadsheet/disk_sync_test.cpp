// A save is on disk when it says so: the file's bytes (fsync of the file) before it takes its name,
// and the folder's entry (fsync of the folder) after, for a new file and for one replaced. Seen in
// the system calls of a child process that saves, traced by strace.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/run_in_child.h"

namespace sheet_test {
namespace {

namespace id = spreadsheet::dispid;

class SaveInChild : public ::testing::Test {
public:
    void TestBody() override
    {
        const std::string dir = std::getenv("QEL_SYNC_CHILD");
        Session s = OpenBook(dir + "/savemode.xlsx");
        ASSERT_TRUE(s.sheet);
        PutCell(s.sheet.get(), 1, 1, S("saved"));
        Method(s.book.get(), id::kSave);
        Method(s.book.get(), id::kSaveCopyAs, {S(dir + "/20261211115348.xlsx")});
    }
};

[[maybe_unused]] const bool g_inChild =
    testing_support::RegisterChildTest<SaveInChild>("QEL_SYNC_CHILD", "SaveInChild", "Save", __FILE__, __LINE__);

TEST_F(TempFolder, ASavedFileAndItsFolderEntryGoToDisk)
{
    const std::string dir = m_dir.string();
    std::filesystem::copy_file(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx", m_dir / "savemode.xlsx");
    const testing_support::TracedChild traced =
        testing_support::TraceChildTest("SaveInChild.Save", {{"QEL_SYNC_CHILD", dir}, {"GTEST_OUTPUT", std::nullopt}},
                                        dir, "fsync,fdatasync,link,linkat,rename,renameat,renameat2");
    ASSERT_EQ(traced.status, 0) << traced.output;
    for (const char* name : {"savemode.xlsx", "20261211115348.xlsx"}) {
        SCOPED_TRACE(name);
        const testing_support::NamingInTrace naming = testing_support::FindNaming(traced.calls, dir, name);
        ASSERT_GE(naming.named, 0) << "no call gave the file its name";
        EXPECT_GE(naming.fileSynced, 0) << "the file's bytes were not synced before it took its name";
        EXPECT_GT(naming.folderSynced, naming.named) << "the folder was not synced after the file took its name";
    }
}

// A disk that fails its writes: the file's fsync fails, and the save says so, naming the file.
// Nothing is put in place: the template is as it was, no copy is made, no temporary is left.
class FailingSyncInChild : public ::testing::Test {
public:
    void TestBody() override
    {
        const std::string dir = std::getenv("QEL_FAILING_SYNC_CHILD");
        Session s = OpenBook(dir + "/savemode.xlsx");
        ASSERT_TRUE(s.sheet);
        PutCell(s.sheet.get(), 1, 1, S("never on disk"));
        ASSERT_TRUE(FailSyncs(EIO));
        std::string said;
        for (const std::string& target : {std::string(), dir + "/20261211115348.xlsx"}) {
            const CallResult r = target.empty()
                                     ? Invoke(s.book.get(), id::kSave, core::DISPATCH_METHOD)
                                     : Invoke(s.book.get(), id::kSaveCopyAs, core::DISPATCH_METHOD, {S(target)});
            said += std::to_string(r.hr) + " " + r.excep.description + "\n";
        }
        WriteFile(dir + "/said.txt", said);
    }
};

[[maybe_unused]] const bool g_failingSyncChild = testing_support::RegisterChildTest<FailingSyncInChild>(
    "QEL_FAILING_SYNC_CHILD", "FailingSyncInChild", "Save", __FILE__, __LINE__);

TEST_F(TempFolder, ASaveWhoseFileCannotReachTheDiskFailsAndPutsNothingInPlace)
{
    const std::string dir = m_dir.string();
    std::filesystem::copy_file(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx", m_dir / "savemode.xlsx");
    const std::string before = ReadFile(dir + "/savemode.xlsx");
    const auto [status, output] = testing_support::RunChildTest(
        "FailingSyncInChild.Save", {{"QEL_FAILING_SYNC_CHILD", dir}, {"GTEST_OUTPUT", std::nullopt}}, dir);
    ASSERT_EQ(status, 0) << output;
    const std::string said = ReadFile(dir + "/said.txt");
    const std::string exception = std::to_string(core::DISP_E_EXCEPTION) + " ";
    EXPECT_EQ(said, exception + "Cannot save \"" + dir + "/savemode.xlsx\": Input/output error.\n" + exception +
                        "Cannot save \"" + dir + "/20261211115348.xlsx\": Input/output error.\n");
    EXPECT_EQ(ReadFile(dir + "/savemode.xlsx"), before);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"child.log", "said.txt", "savemode.xlsx"}));
}

}  // namespace
}  // namespace sheet_test
