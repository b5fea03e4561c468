// A copy is saved as a new file: under its name where that is free, else under the next free
// numbered name beside it; whatever had the name stays exactly as it was. Two processes racing
// for one name each end with a file of their own, on every kind of file system a save knows.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "spreadsheet/package_io.h"
#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/processes.h"
#include "tests/support/xlsx_readback.h"

namespace sheet_test {
namespace {

namespace fs = std::filesystem;
namespace id = spreadsheet::dispid;

// What a save in a child process said: its result and the file it names.
struct Saved {
    HRESULT hr = -1;
    std::string path;
    std::string description;
};

// A child process that opens the template, writes its mark into A1 and saves a copy as target on
// the file system given; it starts saving when the gate (a pipe) is closed, so that several start
// together, and reports its result.
std::unique_ptr<testing_support::ReportingChild>
StartSaver(Files files, const std::string& tmpl, const std::string& target, const std::string& mark, const int gate[2])
{
    return std::make_unique<testing_support::ReportingChild>([=] {
        ::close(gate[1]);  // the gate opens when the test closes its end
        if (!Offer(files)) ::_exit(3);
        Session s = OpenBook(tmpl);
        PutCell(s.sheet.get(), 1, 1, S(mark));
        char ignored;
        while (::read(gate[0], &ignored, 1) < 0 && errno == EINTR) {}
        const CallResult r = Invoke(s.book.get(), id::kSaveCopyAs, core::DISPATCH_METHOD, {S(target)});
        const std::string saved = r.value.vt == core::VT_BSTR ? r.value.bstrVal : std::string("(no path)");
        return std::to_string(r.hr) + "\n" + saved + "\n" + r.excep.description;
    });
}

Saved Finish(testing_support::ReportingChild& saver)
{
    Saved saved;
    const std::optional<std::string> report = saver.Wait();
    const std::size_t first = report ? report->find('\n') : std::string::npos;
    const std::size_t second = first == std::string::npos ? first : report->find('\n', first + 1);
    if (second == std::string::npos) {
        saved.description = "the saver did not report";
        return saved;
    }
    saved.hr = static_cast<HRESULT>(std::stol(report->substr(0, first)));
    saved.path = report->substr(first + 1, second - first - 1);
    saved.description = report->substr(second + 1);
    return saved;
}

// Saves in a child on the file system given, at once.
Saved SaveCopyIn(Files files, const std::string& tmpl, const std::string& target, const std::string& mark)
{
    int gate[2];
    if (::pipe(gate) != 0) return {};
    const auto saver = StartSaver(files, tmpl, target, mark, gate);
    ::close(gate[0]);
    ::close(gate[1]);
    return Finish(*saver);
}

bool FileSystemMakesUnnamedFiles(const fs::path& folder)
{
    const int probe = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (probe < 0) return false;
    ::close(probe);
    return true;
}

std::string Mark(const std::string& path) { return testing_support::RunOpenpyxl("print(wb.active['A1'].value)", path); }

// What is at a name before the copy is saved there.
enum class AtTheName { Nothing, Workbook, TwoWorkbooks, DanglingLink, Folder, DesktopLock };

struct NameCase {
    const char* name;
    AtTheName at;
    const char* savedAs;  // the name the copy gets
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.name; }

std::string FilesName(Files files)
{
    switch (files) {
    case Files::Unnamed: return "Unnamed";
    case Files::NoUnnamed: return "NoUnnamed";
    case Files::Unnameable: return "Unnameable";
    case Files::NoRenameGuard: return "NoRenameGuard";
    }
    return "?";
}

class NewFile : public TempFolder, public ::testing::WithParamInterface<std::tuple<NameCase, Files>> {};

TEST_P(NewFile, TakesTheFirstFreeNameAndLeavesWhatHadTheNameAlone)
{
    const auto& [c, files] = GetParam();
    if (files == Files::Unnamed && !FileSystemMakesUnnamedFiles(m_dir)) GTEST_SKIP() << "no O_TMPFILE here";
    const std::string tmpl = Path("savemode.xlsx");
    fs::copy_file(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx", tmpl);
    const std::string target = Path("20261211115348.xlsx");
    switch (c.at) {
    case AtTheName::Nothing: break;
    case AtTheName::TwoWorkbooks: WriteForeignWorkbook(Path("20261211115348-2.xlsx")); [[fallthrough]];
    case AtTheName::Workbook: WriteForeignWorkbook(target); break;
    case AtTheName::DanglingLink: ASSERT_EQ(::symlink("nowhere.xlsx", target.c_str()), 0); break;
    case AtTheName::Folder: ASSERT_EQ(::mkdir(target.c_str(), 0755), 0); break;
    case AtTheName::DesktopLock:
        WriteFile(Path(".~lock.20261211115348.xlsx#"), "someone,host,/home/someone,11.12.2026 11:53,file:///;\n");
        break;
    }
    std::map<std::string, std::string> before;
    for (const std::string& name : Listing()) {
        if (fs::is_regular_file(fs::symlink_status(Path(name)))) before[name] = ReadFile(Path(name));
    }
    const std::vector<std::string> listingBefore = Listing();

    const Saved saved = SaveCopyIn(files, tmpl, target, "the copy");
    ASSERT_EQ(saved.hr, core::S_OK) << saved.description;
    EXPECT_EQ(saved.path, Path(c.savedAs)) << "the result names the file written";

    std::vector<std::string> expected = listingBefore;
    expected.push_back(c.savedAs);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listing(), expected) << "one new file, no temporary";
    for (const auto& [name, bytes] : before) EXPECT_EQ(ReadFile(Path(name)), bytes) << name << " is left alone";
    if (c.at == AtTheName::DanglingLink) {
        EXPECT_EQ(fs::read_symlink(target), "nowhere.xlsx");
    }
    EXPECT_EQ(Mark(Path(c.savedAs)), "the copy\n");
}

const NameCase kNames[] = {
    {"Free", AtTheName::Nothing, "20261211115348.xlsx"},
    {"AReportHasIt", AtTheName::Workbook, "20261211115348-2.xlsx"},
    {"TwoReportsHaveTheFirstNames", AtTheName::TwoWorkbooks, "20261211115348-3.xlsx"},
    {"ALinkHasIt", AtTheName::DanglingLink, "20261211115348-2.xlsx"},
    {"AFolderHasIt", AtTheName::Folder, "20261211115348-2.xlsx"},
    {"ADesktopSpreadsheetHoldsIt", AtTheName::DesktopLock, "20261211115348-2.xlsx"},
};

INSTANTIATE_TEST_SUITE_P(All, NewFile,
                         ::testing::Combine(::testing::ValuesIn(kNames),
                                            ::testing::Values(Files::Unnamed, Files::NoUnnamed, Files::Unnameable,
                                                              Files::NoRenameGuard)),
                         [](const ::testing::TestParamInfo<NewFile::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    FilesName(std::get<1>(info.param));
                         });

class RacingSaves : public TempFolder, public ::testing::WithParamInterface<Files> {};

// Processes saving a copy under one name at the same moment: each ends with a file of its own,
// whole, with its own content, and the names are the name and its next numbers.
TEST_P(RacingSaves, EachEndsWithAFileOfItsOwn)
{
    const Files files = GetParam();
    if (files == Files::Unnamed && !FileSystemMakesUnnamedFiles(m_dir)) GTEST_SKIP() << "no O_TMPFILE here";
    const std::string tmpl = Path("savemode.xlsx");
    fs::copy_file(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx", tmpl);
    const std::string target = Path("20261211115348.xlsx");
    constexpr int kSavers = 4;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (const std::string& name : Listing())
            if (name != "savemode.xlsx") fs::remove(Path(name));
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        std::vector<std::unique_ptr<testing_support::ReportingChild>> savers;
        for (int i = 0; i < kSavers; ++i) {
            savers.push_back(StartSaver(files, tmpl, target, "saver " + std::to_string(i), gate));
            ASSERT_TRUE(savers.back()->Started());
        }
        ::close(gate[0]);
        ::close(gate[1]);  // all start now
        std::map<std::string, int> byPath;
        for (int i = 0; i < kSavers; ++i) {
            const Saved saved = Finish(*savers[static_cast<std::size_t>(i)]);
            ASSERT_EQ(saved.hr, core::S_OK) << saved.description;
            EXPECT_TRUE(byPath.emplace(saved.path, i).second) << "two savers were told " << saved.path;
        }
        std::vector<std::string> expected = {"savemode.xlsx"};
        for (int n = 1; n <= kSavers; ++n)
            expected.push_back(fs::path(spreadsheet::NumberedName(target, n)).filename());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Listing(), expected);
        for (const auto& [path, saver] : byPath) EXPECT_EQ(Mark(path), "saver " + std::to_string(saver) + "\n") << path;
    }
}

INSTANTIATE_TEST_SUITE_P(All, RacingSaves,
                         ::testing::Values(Files::Unnamed, Files::NoUnnamed, Files::Unnameable, Files::NoRenameGuard),
                         [](const ::testing::TestParamInfo<Files>& info) { return FilesName(info.param); });

TEST(NumberedName, GoesBeforeTheExtension)
{
    EXPECT_EQ(spreadsheet::NumberedName("/a/20261211115348.xlsx", 1), "/a/20261211115348.xlsx");
    EXPECT_EQ(spreadsheet::NumberedName("/a/20261211115348.xlsx", 2), "/a/20261211115348-2.xlsx");
    EXPECT_EQ(spreadsheet::NumberedName("/a.b/report", 12), "/a.b/report-12");
    EXPECT_EQ(spreadsheet::NumberedName("/a/.hidden", 3), "/a/.hidden-3");
}

// Every numbered name taken: the save says so and leaves nothing.
TEST_F(TempFolder, ACopyWhoseNamesAreAllTakenIsRefused)
{
    const std::string tmpl = Path("savemode.xlsx");
    fs::copy_file(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx", tmpl);
    const std::string target = Path("r.xlsx");
    for (int n = 1; n <= 999; ++n) WriteFile(spreadsheet::NumberedName(target, n), "x");
    const std::vector<std::string> before = Listing();
    Session s = OpenBook(tmpl);
    const CallResult r = Invoke(s.book.get(), id::kSaveCopyAs, core::DISPATCH_METHOD, {S(target)});
    EXPECT_EQ(r.hr, core::DISP_E_EXCEPTION);
    EXPECT_NE(r.excep.description.find("are taken"), std::string::npos) << r.excep.description;
    EXPECT_NE(r.excep.description.find(Path("r-999.xlsx")), std::string::npos) << r.excep.description;
    EXPECT_EQ(Listing(), before);
}

}  // namespace
}  // namespace sheet_test
