// Formula cells around changed cells: cached results dropped, shared formulas kept working when
// the cell that holds them is overwritten, the calculation chain dropped when it goes stale.
#include "spreadsheet/workbook.h"
#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/xlsx_readback.h"

namespace sheet_test {
namespace {

namespace id = spreadsheet::dispid;
using testing_support::CsvField;

TEST(ShiftFormula, MovesRelativeReferencesOnly)
{
    const struct {
        const char* formula;
        int rows, cols;
        const char* expected;
    } cases[] = {
        {"A1*2", 1, 0, "A2*2"},
        {"$A$1+A$1+$A1+A1", 2, 1, "$A$1+B$1+$A3+B3"},
        {"SUM(A1:B2)", 0, 2, "SUM(C1:D2)"},
        {"LOG10(A1)", 1, 1, "LOG10(B2)"},
        {"\"A1\"&A1", 1, 0, "\"A1\"&A2"},
        {"'My A1'!A1+Sheet2!B3", 1, 0, "'My A1'!A2+Sheet2!B4"},
        {"A1", -1, 0, "#REF!"},
        {"1E5+A1", 0, 1, "1E5+B1"},
        {"TRUE+R1C1", 1, 1, "TRUE+R1C1"},
        {"XFD1+A1", 0, 1, "#REF!+B1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(spreadsheet::ShiftFormula(c.formula, c.rows, c.cols), c.expected) << c.formula;
}

class Formulas : public TempFolder {};

TEST_F(Formulas, OverwritingTheHolderOfASharedFormulaKeepsTheOthers)
{
    const std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    const std::string path = Path("shared.xlsx");
    WritePackage(
        path,
        {
            {"[Content_Types].xml", x +
                                        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                                        "<Default Extension=\"rels\" "
                                        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                                        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                                        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
                                        ct +
                                        "sheet.main+xml\"/>"
                                        "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" +
                                        ct +
                                        "worksheet+xml\"/>"
                                        "<Override PartName=\"/xl/calcChain.xml\" ContentType=\"" +
                                        ct + "calcChain+xml\"/></Types>"},
            {"_rels/.rels",
             x +
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
                 "Id=\"rId1\" Type=\"" +
                 rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
            {"xl/workbook.xml", x + "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel +
                                    "\"><sheets><sheet name=\"S\" sheetId=\"1\" "
                                    "r:id=\"rId1\"/></sheets></workbook>"},
            {"xl/_rels/workbook.xml.rels",
             x +
                 "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
                 "Id=\"rId1\" Type=\"" +
                 rel +
                 "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
                 "Type=\"" +
                 rel + "/calcChain\" Target=\"calcChain.xml\"/></Relationships>"},
            {"xl/worksheets/sheet1.xml", x + "<worksheet xmlns=\"" + main +
                                             "\"><sheetData>"
                                             "<row r=\"1\" spans=\"1:2\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><f "
                                             "t=\"shared\" ref=\"B1:B3\" si=\"0\">A1*2</f><v>2</v></c></row>"
                                             "<row r=\"2\" spans=\"1:2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\"><f "
                                             "t=\"shared\" si=\"0\"/><v>4</v></c></row>"
                                             "<row r=\"3\" spans=\"1:2\"><c r=\"A3\"><v>3</v></c><c r=\"B3\"><f "
                                             "t=\"shared\" si=\"0\"/><v>6</v></c></row>"
                                             "</sheetData></worksheet>"},
            {"xl/calcChain.xml",
             x + "<calcChain xmlns=\"" + main + "\"><c r=\"B1\" i=\"1\"/><c r=\"B2\"/><c r=\"B3\"/></calcChain>"},
        });
    {
        Session s = OpenBook(path);
        PutCell(s.sheet.get(), 1, 2, S("replaced"));
        PutCell(s.sheet.get(), 3, 1, S("10"));
        PutCell(s.sheet.get(), 2, 4, S("beyond the spans"));
        Method(s.book.get(), id::kSave);
    }
    const Parts parts = ReadPackage(path);
    EXPECT_FALSE(parts.count("xl/calcChain.xml"));
    EXPECT_EQ(parts.at("xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
    EXPECT_EQ(parts.at("[Content_Types].xml").find("calcChain"), std::string::npos);
    const auto rows = testing_support::ReadSheetWithLibreOffice(path);
    EXPECT_EQ(CsvField(rows, 0, 1), "replaced");
    EXPECT_EQ(CsvField(rows, 1, 1), "4");
    EXPECT_EQ(CsvField(rows, 2, 1), "20");  // recalculated from the changed input
    EXPECT_EQ(CsvField(rows, 1, 3), "beyond the spans");
    EXPECT_EQ(testing_support::RunOpenpyxl("ws = wb.active\nprint(ws['B2'].value, ws['B3'].value)", path),
              "=A2*2 =A3*2\n");
}

}  // namespace
}  // namespace sheet_test
