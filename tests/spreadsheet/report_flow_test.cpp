// The automatic report's two steps against the shipped template, call by call as the console
// makes them: the create step (open, select, save in place, save a copy, close, quit) and the
// fill step (open the copy, write header and record cells, save, show).
#include <filesystem>

#include "core/opener.h"
#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/recording_opener.h"
#include "tests/support/xlsx_readback.h"

namespace sheet_test {
namespace {

namespace id = spreadsheet::dispid;
using testing_support::CsvField;
using testing_support::ReadSheetWithLibreOffice;
using testing_support::RunOpenpyxl;

class ReportFlow : public TempFolder {
protected:
    void SetUp() override
    {
        TempFolder::SetUp();
        m_template = Path("savemode.xlsx");
        std::filesystem::copy_file(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx", m_template);
        std::filesystem::create_directory(m_dir / "savefile");
        m_report = Path("savefile/20240506070809.xlsx");
    }

    void CreateStep()
    {
        Session s = OpenBook(m_template);
        Ref range = RangeOf(s.sheet.get(), "A1", "L150000");
        Method(range.get(), id::kSelect);
        Method(s.book.get(), id::kSave);
        Method(s.book.get(), id::kSaveCopyAs, {S(m_report)});
        Method(s.book.get(), id::kClose, {Missing(), S(m_template), Missing()});
        Put(s.app.get(), id::kVisible, {VARIANT::Bool(false)});
        Method(s.books.get(), id::kClose);
        Method(s.app.get(), id::kQuit);
        // Nothing of the server holds the objects the step got.
        EXPECT_TRUE(range.Last());
        EXPECT_TRUE(s.sheet.Last());
        EXPECT_TRUE(s.sheets.Last());
        EXPECT_TRUE(s.book.Last());
        EXPECT_TRUE(s.books.Last());
        EXPECT_TRUE(s.app.Last());
    }

    void FillStep(int records)
    {
        Session s = OpenBook(m_report);
        Ref range = RangeOf(s.sheet.get(), "A1", "L150000");
        IDispatch* r = range.get();
        auto put = [&](int row, int col, VARIANT v) { Put(r, id::kItem, {I(row), I(col), std::move(v)}); };
        put(3, 2, S("Zhang Wei"));
        put(4, 2, S("OPM-35"));
        put(3, 6, S("ACME Optics"));
        put(4, 6, S("batch 7"));
        put(5, 2, S("QEL-0042"));
        put(5, 3, S("fibre A"));
        for (int i = 0; i < records; ++i) {
            const int row = 11 + 2 * i;
            put(row, 1, I(i + 1));
            put(row, 2, S("1310nm"));
            put(row + 1, 2, S("1550nm"));
            put(row, 3, S("-3.50"));
            put(row + 1, 3, S("-7.25"));
            put(row, 4, S("-3.50"));
            put(row + 1, 4, S("-7.25"));
            put(row, 5, S("-12.00"));
            put(row + 1, 5, S("-13.10"));
            put(row, 6, S("1.5"));
            put(row + 1, 6, S("2.0"));
            put(row, 7, S("30.2"));
            put(row + 1, 7, S("31.0"));
            put(row, 8, S("0.125"));
            put(row, 9, S("24-5-6 7:8"));
        }
        Method(s.book.get(), id::kSave);
        Put(s.app.get(), id::kVisible, {VARIANT::Bool(true)});
    }

    std::string m_template;
    std::string m_report;
};

TEST_F(ReportFlow, CreateStepRewritesTheTemplateAndCopiesItWithTheSelection)
{
    const Parts before = ReadPackage(m_template);
    CreateStep();
    ASSERT_TRUE(std::filesystem::exists(m_report));
    // The template's only change is its selection; the copy is the same workbook.
    const Parts tpl = ReadPackage(m_template);
    const Parts report = ReadPackage(m_report);
    EXPECT_EQ(tpl, report);
    for (const auto& [name, bytes] : before)
        if (name != "xl/worksheets/sheet1.xml") {
            EXPECT_EQ(tpl.at(name), bytes) << name;
        }
    const std::string out = RunOpenpyxl(R"(
ws = wb.active
s = ws.sheet_view.selection[0]
print(s.activeCell, s.sqref)
print(ws["A1"].value, ws["A10"].value, ws["C11"].number_format)
)",
                                        m_report);
    EXPECT_EQ(out, "A1 A1:L150000\nOptical Power Meter Test Report No. 0.00\n");
}

TEST_F(ReportFlow, FillStepWritesHeaderAndRecordsInTheTemplateFormats)
{
    CreateStep();
    testing_support::RecordingOpener opener;
    FillStep(127);
    ASSERT_EQ(opener.paths.size(), 1u);
    EXPECT_EQ(opener.paths[0], m_report);

    const auto rows = ReadSheetWithLibreOffice(m_report);
    EXPECT_EQ(CsvField(rows, 0, 0), "Optical Power Meter Test Report");
    EXPECT_EQ(CsvField(rows, 2, 0), "Test operator:");
    EXPECT_EQ(CsvField(rows, 2, 1), "Zhang Wei");
    EXPECT_EQ(CsvField(rows, 3, 1), "OPM-35");
    EXPECT_EQ(CsvField(rows, 2, 5), "ACME Optics");
    EXPECT_EQ(CsvField(rows, 3, 5), "batch 7");
    EXPECT_EQ(CsvField(rows, 4, 1), "QEL-0042");
    EXPECT_EQ(CsvField(rows, 4, 2), "fibre A");
    const std::vector<std::string> first = {"1",   "1310nm", "-3.50", "-3.50",     "-12.00",
                                            "1.5", "30.2",   "0.125", "24-5-6 7:8"};
    const std::vector<std::string> second = {"", "1550nm", "-7.25", "-7.25", "-13.10", "2.0", "31.0", "", ""};
    for (std::size_t c = 0; c < first.size(); ++c) {
        EXPECT_EQ(CsvField(rows, 10, c), first[c]) << "column " << c;
        EXPECT_EQ(CsvField(rows, 11, c), second[c]) << "column " << c;
    }
    EXPECT_EQ(CsvField(rows, 262, 0), "127");
    EXPECT_EQ(CsvField(rows, 263, 3), "-7.25");
    EXPECT_EQ(CsvField(rows, 264, 1), "");  // nothing below the last record

    const std::string out = RunOpenpyxl(R"(
ws = wb.active
print(type(ws["C11"].value).__name__, ws["C11"].value, ws["C11"].number_format, ws["G12"].number_format)
print(ws["I11"].value, ws["C11"].alignment.horizontal)
)",
                                        m_report);
    EXPECT_EQ(out, "float -3.5 0.00 0.0\n24-5-6 7:8 center\n");
}

TEST_F(ReportFlow, CreateStepWithoutTheTemplateFailsAtTheOpening)
{
    std::filesystem::remove(m_template);
    Ref app(spreadsheet::CreateApplication());
    Ref books = Get(app.get(), id::kWorkbooks);
    CallResult r = Invoke(books.get(), id::kOpen, core::DISPATCH_METHOD, OpenArgs(m_template));
    EXPECT_EQ(r.hr, core::DISP_E_EXCEPTION);
    EXPECT_EQ(r.excep.source, spreadsheet::kApplicationName);
    EXPECT_NE(r.excep.description.find(m_template), std::string::npos) << r.excep.description;
    EXPECT_TRUE(std::filesystem::is_empty(m_dir / "savefile"));
}

TEST_F(ReportFlow, CreateStepWithoutTheOutputFolderFailsAtTheCopy)
{
    std::filesystem::remove(m_dir / "savefile");
    Session s = OpenBook(m_template);
    Ref range = RangeOf(s.sheet.get(), "A1", "L150000");
    Method(range.get(), id::kSelect);
    Method(s.book.get(), id::kSave);
    CallResult r = Invoke(s.book.get(), id::kSaveCopyAs, core::DISPATCH_METHOD, {S(m_report)});
    EXPECT_EQ(r.hr, core::DISP_E_EXCEPTION);
    EXPECT_NE(r.excep.description.find("does not exist"), std::string::npos) << r.excep.description;
    EXPECT_NE(r.excep.description.find(m_report), std::string::npos) << r.excep.description;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "savefile"));
}

}  // namespace
}  // namespace sheet_test
