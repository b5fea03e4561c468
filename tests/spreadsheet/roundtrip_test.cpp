// Open, change, save and reopen: what the server did not change stays byte for byte, what it
// changed reads back in LibreOffice and openpyxl.
#include <set>

#include "spreadsheet/workbook.h"
#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/xlsx_readback.h"

namespace sheet_test {
namespace {

namespace id = spreadsheet::dispid;
using testing_support::CsvField;
using testing_support::ReadSheetWithLibreOffice;
using testing_support::RunOpenpyxl;

class RoundTrip : public TempFolder {};

TEST_F(RoundTrip, SaveKeepsEveryUntouchedPartAndTheTemplateLayout)
{
    const std::string path = Path("foreign.xlsx");
    WriteForeignWorkbook(path);
    const Parts before = ReadPackage(path);
    {
        Session s = OpenBook(path);
        PutCell(s.sheet.get(), 2, 1, S("5"));  // the formula's input: typed text, a number
        PutCell(s.sheet.get(), 3, 2, S("operator"));
        Ref c3 = RangeOf(s.sheet.get(), "C3");
        Put(c3.get(), id::kNumberFormat, {S("0.000")});  // the template's own custom format
        Put(c3.get(), id::kValue2, {S("1.23456")});
        Ref width = RangeOf(s.sheet.get(), "C1", "D100");
        Put(width.get(), id::kColumnWidth, {I(20)});
        Method(s.book.get(), id::kSave);
    }
    const Parts after = ReadPackage(path);
    const std::set<std::string> changed = {"xl/worksheets/sheet1.xml", "xl/workbook.xml", "xl/styles.xml"};
    for (const auto& [name, bytes] : before) {
        ASSERT_TRUE(after.count(name)) << name << " was lost";
        if (!changed.count(name)) {
            EXPECT_EQ(after.at(name), bytes) << name << " changed";
        }
    }
    EXPECT_EQ(after.size(), before.size());
    // The cached result of the formula is gone and the reader is told to recalculate.
    EXPECT_EQ(after.at("xl/worksheets/sheet1.xml").find("<v>42</v>"), std::string::npos);
    EXPECT_NE(after.at("xl/workbook.xml").find("fullCalcOnLoad=\"1\""), std::string::npos);
    // The existing custom format is reused, not added again.
    const std::string& styles = after.at("xl/styles.xml");
    EXPECT_EQ(styles.find("formatCode=\"0.000\""), styles.rfind("formatCode=\"0.000\""));

    const auto rows = ReadSheetWithLibreOffice(path);
    EXPECT_EQ(CsvField(rows, 0, 0), "Title");
    EXPECT_EQ(CsvField(rows, 1, 0), "5");
    EXPECT_EQ(CsvField(rows, 1, 1), "10.000");  // recalculated from the new input, in its format
    EXPECT_EQ(CsvField(rows, 2, 1), "operator");
    EXPECT_EQ(CsvField(rows, 2, 2), "1.235");

    const std::string out = RunOpenpyxl(R"(
ws = wb.worksheets[0]
print(wb.sheetnames)
print(sorted(str(r) for r in ws.merged_cells.ranges))
print(ws.page_setup.orientation, ws.page_setup.paperSize)
print(ws.oddHeader.center.text)
print(sorted((d.min, d.max, d.width) for d in ws.column_dimensions.values()))
print(ws["A1"].font.b, ws["C3"].number_format, type(ws["A2"].value).__name__, ws["B2"].value)
print(wb.worksheets[1]["A1"].value)
)",
                                        path);
    EXPECT_EQ(out, "['Report', 'Notes']\n"
                   "['A1:D1']\n"
                   "landscape 9\n"
                   "Title page\n"
                   "[(1, 2, 12.7109375), (3, 4, 20.7109375), (5, 6, 12.7109375)]\n"
                   "True 0.000 int =A2*2\n"
                   "Notes text\n");
}

TEST_F(RoundTrip, ColumnSpanKeepsItsStyleWhenSplit)
{
    const std::string path = Path("foreign.xlsx");
    WriteForeignWorkbook(path);
    {
        Session s = OpenBook(path);
        Ref d = RangeOf(s.sheet.get(), "D1");
        Put(d.get(), id::kColumnWidth, {I(5)});
        PutCell(s.sheet.get(), 5, 5, S("bold by column"));  // a new cell takes its column's format
        Ref b2 = RangeOf(s.sheet.get(), "B2");
        Put(b2.get(), id::kWrapText, {VARIANT::Bool(true)});  // an existing cell keeps its own
        Method(s.book.get(), id::kSave);
    }
    const std::string out = RunOpenpyxl(R"(
ws = wb.worksheets[0]
print(sorted((d.min, d.max, d.width) for d in ws.column_dimensions.values()))
print(ws["E5"].font.b, ws["B2"].font.b, ws["B2"].number_format, ws["B2"].alignment.wrap_text)
)",
                                        path);
    EXPECT_EQ(out, "[(1, 3, 12.7109375), (4, 4, 5.7109375), (5, 6, 12.7109375)]\nTrue False 0.000 True\n");
}

TEST_F(RoundTrip, SaveCopyAsWritesTheStateAndLeavesTheWorkbookBoundToItsFile)
{
    const std::string path = Path("template.xlsx");
    const std::string copy = Path("copy.xlsx");
    WriteForeignWorkbook(path);
    {
        Session s = OpenBook(path);
        PutCell(s.sheet.get(), 4, 1, S("first"));
        Method(s.book.get(), id::kSaveCopyAs, {S(copy)});
        PutCell(s.sheet.get(), 4, 1, S("second"));
        Method(s.book.get(), id::kSave);
    }
    EXPECT_EQ(CsvField(ReadSheetWithLibreOffice(copy), 3, 0), "first");
    EXPECT_EQ(CsvField(ReadSheetWithLibreOffice(path), 3, 0), "second");
}

TEST_F(RoundTrip, NewWorkbookIsAValidPackage)
{
    const std::string path = Path("new.xlsx");
    auto book = spreadsheet::Workbook::CreateNew();
    ASSERT_EQ(book->SheetCount(), 1u);
    book->SheetAt(0)->SetValueFromText(1, 1, "hello");
    book->SheetAt(0)->SetValueFromText(2, 1, "-12.5");
    book->SaveTo(path);
    const auto rows = ReadSheetWithLibreOffice(path);
    EXPECT_EQ(CsvField(rows, 0, 0), "hello");
    EXPECT_EQ(CsvField(rows, 1, 0), "-12.5");
    EXPECT_EQ(RunOpenpyxl("ws = wb.active\nprint(wb.sheetnames, ws['A1'].value, ws['A2'].value)", path),
              "['Sheet1'] hello -12.5\n");
    // Loaded again by the engine itself.
    auto again = spreadsheet::Workbook::Load(path);
    EXPECT_EQ(again->SheetAt(0)->CellText(1, 1), "hello");
    EXPECT_TRUE(again->SheetAt(0)->CellIsNumber(2, 1));
}

// Typed text becomes a number where a desktop spreadsheet would make one, unless the cell's
// format is text.
struct TypedCase {
    const char* text;
    bool number;
    const char* shown;  // as LibreOffice exports it (general format)
};

TEST_F(RoundTrip, TypedTextBecomesANumberOnlyWhenItIsAPlainDecimal)
{
    const std::vector<TypedCase> cases = {
        {"12", true, "12"},
        {"-3.50", true, "-3.5"},
        {".5", true, "0.5"},
        {"+7", true, "7"},
        {"007", true, "7"},
        {"1310nm", false, "1310nm"},
        {"1e3", false, "1e3"},
        {" 12", false, " 12"},
        {"12 ", false, "12 "},
        {"1.2.3", false, "1.2.3"},
        {"-", false, "-"},
        {".", false, "."},
        {"2024-01-02", false, "2024-01-02"},
        {"0x10", false, "0x10"},
        {"-0.00", true, "0"},
    };
    const std::string path = Path("typed.xlsx");
    {
        Session s = NewBook();
        Ref textColumn = RangeOf(s.sheet.get(), "B1", "B100");
        Put(textColumn.get(), id::kNumberFormat, {S("@")});
        for (std::size_t i = 0; i < cases.size(); ++i) {
            PutCell(s.sheet.get(), static_cast<int>(i) + 1, 1, S(cases[i].text));
            PutCell(s.sheet.get(), static_cast<int>(i) + 1, 2, S(cases[i].text));
        }
        Method(s.book.get(), id::kSaveCopyAs, {S(path)});
    }
    auto book = spreadsheet::Workbook::Load(path);
    const auto rows = ReadSheetWithLibreOffice(path);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        EXPECT_EQ(book->SheetAt(0)->CellIsNumber(row, 1), cases[i].number) << cases[i].text;
        EXPECT_FALSE(book->SheetAt(0)->CellIsNumber(row, 2)) << cases[i].text << " in a text cell";
        EXPECT_EQ(book->SheetAt(0)->CellText(row, 2), cases[i].text);
        EXPECT_EQ(CsvField(rows, i, 0), cases[i].shown) << cases[i].text;
        EXPECT_EQ(CsvField(rows, i, 1), cases[i].text);
    }
}

TEST_F(RoundTrip, TextIsKeptExactlyAndMadeSafeForTheFile)
{
    const std::string path = Path("texts.xlsx");
    {
        Session s = NewBook();
        PutCell(s.sheet.get(), 1, 1, S("测试员 Zhang"));
        PutCell(s.sheet.get(), 2, 1, S("  padded  "));
        PutCell(s.sheet.get(), 3, 1, S("a<b>&\"c\""));
        PutCell(s.sheet.get(), 4, 1,
                S("bad\xff"
                  "byte"));
        PutCell(s.sheet.get(), 5, 1,
                S("bell\x07"
                  "char"));
        PutCell(s.sheet.get(), 6, 1, S("_x0041_"));
        PutCell(s.sheet.get(), 7, 1, VARIANT::Bool(true));
        PutCell(s.sheet.get(), 8, 1, VARIANT::R8(2.25));
        Method(s.book.get(), id::kSaveCopyAs, {S(path)});
    }
    const std::string out = RunOpenpyxl(R"(
ws = wb.active
for r in [1, 2, 3, 4, 7, 8]:
    print(repr(ws.cell(row=r, column=1).value))
)",
                                        path);
    EXPECT_EQ(out, "'测试员 Zhang'\n'  padded  '\n'a<b>&\"c\"'\n'bad\xef\xbf\xbd"
                   "byte'\nTrue\n2.25\n");
    // Characters XML cannot hold travel escaped as the file format has it (openpyxl leaves
    // such escapes in inline texts as they are; LibreOffice reads them).
    const auto rows = ReadSheetWithLibreOffice(path);
    EXPECT_EQ(CsvField(rows, 0, 0), "测试员 Zhang");
    EXPECT_EQ(CsvField(rows, 4, 0), "bell\x07"
                                    "char");
    EXPECT_EQ(CsvField(rows, 5, 0), "_x0041_");
}

}  // namespace
}  // namespace sheet_test
