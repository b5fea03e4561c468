// Files the server cannot use: each call fails with the automation exception, a description that
// names the file, and nothing written beside it.
#include <algorithm>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/processes.h"
#include "tests/support/xlsx_readback.h"

namespace sheet_test {
namespace {

namespace id = spreadsheet::dispid;

struct Outcome {
    HRESULT hr = 0;
    std::string description;
    std::string saved;  // the file a copy went to, as the result names it
};

Outcome OpenFile(const std::string& path)
{
    Ref app(spreadsheet::CreateApplication());
    Ref books = Get(app.get(), id::kWorkbooks);
    CallResult r = Invoke(books.get(), id::kOpen, core::DISPATCH_METHOD, OpenArgs(path));
    return {r.hr, r.excep.description, {}};
}

Outcome SaveCopy(const std::string& source, const std::string& target)
{
    Session s = OpenBook(source);
    CallResult r = Invoke(s.book.get(), id::kSaveCopyAs, core::DISPATCH_METHOD, {S(target)});
    return {r.hr, r.excep.description, r.value.vt == core::VT_BSTR ? r.value.bstrVal : std::string()};
}

Outcome SaveInPlace(const std::string& path)
{
    Session s = OpenBook(path);
    PutCell(s.sheet.get(), 9, 9, S("changed"));
    CallResult r = Invoke(s.book.get(), id::kSave, core::DISPATCH_METHOD);
    return {r.hr, r.excep.description, {}};
}

// Runs the call as a user without rights on the test's files: as root, in a child process that
// gives up its rights (root reads and writes anything); else in this process.
Outcome AsUnprivileged(const std::function<Outcome()>& call)
{
    const std::optional<std::string> msg = testing_support::AsAnotherUser([&] {
        const Outcome o = call();
        return std::to_string(o.hr) + "\n" + o.description;
    });
    if (!msg) return {0, "cannot drop privileges", {}};
    const std::size_t nl = msg->find('\n');
    if (nl == std::string::npos) return {0, "child failed", {}};
    return {static_cast<HRESULT>(std::stol(msg->substr(0, nl))), msg->substr(nl + 1), {}};
}

class Errors : public TempFolder {
protected:
    void ExpectFailure(const Outcome& o, const std::string& path, const std::string& reason)
    {
        EXPECT_EQ(o.hr, core::DISP_E_EXCEPTION) << o.description;
        EXPECT_NE(o.description.find(path), std::string::npos) << o.description;
        EXPECT_NE(o.description.find(reason), std::string::npos) << o.description;
    }
};

struct BadFile {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* reason;
};

TEST_F(Errors, OpenRejectsFilesThatAreNoWorkbook)
{
    const std::vector<BadFile> cases = {
        {"missing.xlsx", [](const std::string&) {}, "does not exist"},
        {"nofolder/missing.xlsx", [](const std::string&) {}, "the folder"},
        {"text.xlsx", [](const std::string& p) { WriteFile(p, "name,value\n1,2\n"); }, "not a valid .xlsx"},
        {"empty.xlsx", [](const std::string& p) { WriteFile(p, ""); }, "not a valid .xlsx"},
        {"folder.xlsx", [](const std::string& p) { std::filesystem::create_directory(p); }, "is a folder"},
        {"plainzip.xlsx",
         [](const std::string& p) {
             WritePackage(p, {{"readme.txt", "hello"}});
         },
         "not a valid .xlsx"},
        {"nosheet.xlsx",
         [](const std::string& p) {
             WritePackage(p, {{"[Content_Types].xml", "<Types/>"},
                              {"_rels/.rels", "<Relationships><Relationship Id=\"r\" Type=\"x/officeDocument\" "
                                              "Target=\"xl/workbook.xml\"/></Relationships>"},
                              {"xl/workbook.xml", "<workbook><sheets/></workbook>"},
                              {"xl/_rels/workbook.xml.rels", "<Relationships/>"}});
         },
         "no sheet"},
        {"brokenxml.xlsx",
         [](const std::string& p) {
             WritePackage(p, {{"[Content_Types].xml", "<Types/>"},
                              {"_rels/.rels", "<Relationships><Relationship Id=\"r\" Type=\"x/officeDocument\" "
                                              "Target=\"xl/workbook.xml\"/></Relationships>"},
                              {"xl/workbook.xml", "<workbook><sheets>"}});
         },
         "not well-formed"},
        {"truncated.xlsx",
         [](const std::string& p) {
             const std::string src = std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx";
             const std::string bytes = ReadFile(src);
             WriteFile(p, bytes.substr(0, bytes.size() / 2));
         },
         "not a valid .xlsx"},
    };
    for (const BadFile& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path(c.name);
        c.make(path);
        const auto listing = Listing();
        ExpectFailure(OpenFile(path), path, c.reason);
        EXPECT_EQ(Listing(), listing);
    }
}

// A row or cell reference past the sheet's limits is a bad reference; rows that are only out
// of order are said to be so.
TEST_F(Errors, ReferencesPastTheSheetAreBadReferences)
{
    auto sheetWith = [](const std::string& path, const std::string& rows) {
        WritePackage(
            path,
            {{"[Content_Types].xml", "<Types/>"},
             {"_rels/.rels", "<Relationships><Relationship Id=\"r\" Type=\"x/officeDocument\" "
                             "Target=\"xl/workbook.xml\"/></Relationships>"},
             {"xl/workbook.xml", "<workbook xmlns:r=\"rel\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/>"
                                 "</sheets></workbook>"},
             {"xl/_rels/workbook.xml.rels", "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" "
                                            "Target=\"worksheets/sheet1.xml\"/></Relationships>"},
             {"xl/worksheets/sheet1.xml", "<worksheet><sheetData>" + rows + "</sheetData></worksheet>"}});
    };
    const struct {
        const char* name;
        const char* rows;
        const char* reason;
    } cases[] = {
        {"last row", "<row r=\"1048576\"><c r=\"A1048576\"><v>1</v></c></row>", nullptr},
        {"row past the last", "<row r=\"1048577\"/>", "bad row reference"},
        {"negative row", "<row r=\"-3\"/>", "bad row reference"},
        {"zero row", "<row r=\"0\"/>", "bad row reference"},
        {"20-digit row", "<row r=\"18446744073709551617\"/>", "bad row reference"},
        {"row with a sign", "<row r=\"+5\"/>", "bad row reference"},
        {"cell past the last row", "<row r=\"2\"><c r=\"A1048577\"/></row>", "bad cell reference"},
        {"cell with a 20-digit row", "<row r=\"2\"><c r=\"B18446744073709551617\"/></row>", "bad cell reference"},
        {"rows out of order", "<row r=\"7\"/><row r=\"5\"/>", "rows out of order"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path("refs.xlsx");
        sheetWith(path, c.rows);
        const Outcome o = OpenFile(path);
        if (!c.reason) {
            EXPECT_EQ(o.hr, core::S_OK) << o.description;
            continue;
        }
        ExpectFailure(o, path, c.reason);
    }
}

TEST_F(Errors, SaveCopyIntoAMissingFolderWritesNothing)
{
    const std::string source = Path("book.xlsx");
    WriteForeignWorkbook(source);
    const std::string target = Path("nofolder/copy.xlsx");
    const auto listing = Listing();
    ExpectFailure(SaveCopy(source, target), target, "the folder");
    EXPECT_EQ(Listing(), listing);
}

TEST_F(Errors, LockedWorkbookOpensButIsNotOverwritten)
{
    const std::string path = Path("report.xlsx");
    WriteForeignWorkbook(path);
    WriteFile(Path(".~lock.report.xlsx#"), "someone,host,/home/someone,10.12.2024 10:00,file:///home/someone;\n");
    const std::string before = ReadFile(path);
    const auto listing = Listing();

    // Opening reads only: it is allowed.
    EXPECT_EQ(OpenFile(path).hr, core::S_OK);
    ExpectFailure(SaveInPlace(path), path, "lock file");
    // A copy under the locked file's name leaves it alone too: a copy is a new file, and this
    // name is taken, so it goes to the next free one; a copy elsewhere works.
    const std::string other = Path("other.xlsx");
    WriteForeignWorkbook(other);
    auto withOther = Listing();
    const Outcome copy = SaveCopy(other, path);
    EXPECT_EQ(copy.hr, core::S_OK) << copy.description;
    EXPECT_EQ(copy.saved, Path("report-2.xlsx"));
    EXPECT_EQ(ReadFile(path), before);
    withOther.push_back("report-2.xlsx");
    std::sort(withOther.begin(), withOther.end());
    EXPECT_EQ(Listing(), withOther);
    EXPECT_EQ(SaveCopy(path, Path("free.xlsx")).hr, core::S_OK);
    (void)listing;
}

TEST_F(Errors, UnreadableFileIsReported)
{
    const std::string path = Path("secret.xlsx");
    WriteForeignWorkbook(path);
    ::chmod(path.c_str(), 0);
    ::chmod(m_dir.c_str(), 0755);
    ExpectFailure(AsUnprivileged([&] { return OpenFile(path); }), path, "permission denied");
}

TEST_F(Errors, UnwritableFolderAndFileAreReportedAndLeftAlone)
{
    const std::string source = Path("book.xlsx");
    WriteForeignWorkbook(source);
    const std::string readOnly = Path("readonly.xlsx");
    WriteForeignWorkbook(readOnly);
    ::chmod(source.c_str(), 0644);
    ::chmod(readOnly.c_str(), 0444);
    ::chmod(m_dir.c_str(), 0555);
    const std::string before = ReadFile(readOnly);
    const auto listing = Listing();
    const std::string target = Path("copy.xlsx");
    ExpectFailure(AsUnprivileged([&] { return SaveCopy(source, target); }), target, "permission denied");
    ExpectFailure(AsUnprivileged([&] { return SaveInPlace(readOnly); }), readOnly, "permission denied");
    EXPECT_EQ(Listing(), listing);
    EXPECT_EQ(ReadFile(readOnly), before);
}

TEST_F(Errors, SaveOfANeverSavedWorkbookAndCallsOnAClosedOne)
{
    Session s = NewBook();
    CallResult save = Invoke(s.book.get(), id::kSave, core::DISPATCH_METHOD);
    EXPECT_EQ(save.hr, core::DISP_E_EXCEPTION);
    EXPECT_NE(save.excep.description.find("never been saved"), std::string::npos) << save.excep.description;

    Method(s.app.get(), id::kQuit);  // closes without saving
    CallResult afterQuit = Invoke(s.book.get(), id::kSaveCopyAs, core::DISPATCH_METHOD, {S(Path("x.xlsx"))});
    EXPECT_EQ(afterQuit.hr, core::DISP_E_EXCEPTION);
    EXPECT_NE(afterQuit.excep.description.find("closed"), std::string::npos) << afterQuit.excep.description;
    CallResult cell = Invoke(s.sheet.get(), id::kCells, core::DISPATCH_PROPERTYGET);
    EXPECT_EQ(cell.hr, core::DISP_E_EXCEPTION);
    EXPECT_FALSE(std::filesystem::exists(Path("x.xlsx")));
}

TEST_F(Errors, CloseSavesOnlyWhenAsked)
{
    const std::string path = Path("book.xlsx");
    WriteForeignWorkbook(path);
    const std::string before = ReadFile(path);
    {
        Session s = OpenBook(path);
        PutCell(s.sheet.get(), 1, 1, S("dropped"));
        Method(s.book.get(), id::kClose, {Missing(), S(path), Missing()});
    }
    EXPECT_EQ(ReadFile(path), before);
    {
        Session s = OpenBook(path);
        PutCell(s.sheet.get(), 1, 1, S("kept"));
        Method(s.book.get(), id::kClose, {VARIANT::Bool(true), Missing(), Missing()});
    }
    EXPECT_EQ(testing_support::CsvField(testing_support::ReadSheetWithLibreOffice(path), 0, 0), "kept");
    // A new workbook closed with saving goes to the file name given.
    {
        Session s = NewBook();
        PutCell(s.sheet.get(), 1, 1, S("new"));
        Method(s.book.get(), id::kClose, {VARIANT::Bool(true), S(Path("named.xlsx")), Missing()});
    }
    EXPECT_EQ(testing_support::CsvField(testing_support::ReadSheetWithLibreOffice(Path("named.xlsx")), 0, 0), "new");
}

}  // namespace
}  // namespace sheet_test
