// Rows grow to the wrapped text written into them when a workbook is saved: how many lines a
// text takes in a column, the height of those lines, and which rows are left as they are.
#include <map>

#include <pugixml.hpp>

#include "spreadsheet/text_fit.h"
#include "spreadsheet/workbook.h"
#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/xlsx_readback.h"

namespace sheet_test {
namespace {

TEST(TextFit, LinesOfWrappedText)
{
    const struct {
        const char* text;
        double area;  // digits
        int lines;
    } cases[] = {
        {"", 10, 1},
        {"OPM-3", 13, 1},
        {"Demo Fibre Networks", 13, 2},  // breaks at the second space
        {"Demo Fibre Networks", 20, 1},
        {"acceptance test, span A-B", 20, 2},  // about 20.6 digits
        {"acceptance test, span A-B", 21, 1},
        {"one\ntwo", 20, 2},  // a line feed starts a line
        {"one\n\nthree", 20, 3},
        {"AAAAAAAAAAAAAAAAAAAA", 6, 4},  // 20 letters of 1.075 digits, broken between them
        {"光功率测试报告", 10, 2},       // wide characters: two digits each, a break after each
        {"span A-B", 5.2, 2},            // after the hyphen: "span A-" fits, "B" does not
        {"word     word", 4.5, 2},       // spaces at the end of a line take no room
    };
    for (const auto& c : cases) {
        EXPECT_EQ(spreadsheet::WrappedLineCount(c.text, c.area, false), c.lines) << c.text << " in " << c.area;
    }
    // Bold text is wider.
    EXPECT_EQ(spreadsheet::WrappedLineCount("Demo Fibre Net", 13, false), 1);
    EXPECT_EQ(spreadsheet::WrappedLineCount("Demo Fibre Net", 13, true), 2);
}

// A column set to n characters holds a line of n digits: its stored width rounds to whole
// pixels, as a spreadsheet shows it, and the line fits exactly.
TEST(TextFit, ALineThatFitsItsColumnTakesOneLine)
{
    auto digits = [](int n) { return std::string(static_cast<std::size_t>(n), '7'); };
    auto wide = [](int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += "光";
        return out;
    };
    const struct {
        double width;  // characters, as a column width is set
        std::string text;
        int lines;
    } cases[] = {
        {20, digits(20), 1},  {20, digits(21), 2},  {20, digits(40), 2},   {20, digits(41), 3},   {20, wide(10), 1},
        {20, wide(11), 2},    {13, digits(13), 1},  {13, digits(14), 2},   {10, digits(10), 1},   {10, digits(11), 2},
        {8.43, digits(8), 1}, {8.43, digits(9), 2}, {255, digits(255), 1}, {255, digits(256), 2},
    };
    for (const auto& c : cases) {
        const double area = spreadsheet::ColumnTextDigits(spreadsheet::ColumnWidthForCharacters(c.width));
        EXPECT_EQ(spreadsheet::WrappedLineCount(c.text, area, false), c.lines)
            << c.text.size() << " bytes in a column of " << c.width;
    }
    EXPECT_DOUBLE_EQ(spreadsheet::ColumnPixels(spreadsheet::ColumnWidthForCharacters(20)), 145);
    EXPECT_DOUBLE_EQ(spreadsheet::ColumnPixels(0), 0);
}

TEST(TextFit, HeightsOfLinesInWholePixelsUpToTheTallestRow)
{
    const struct {
        int lines;
        double points;  // font size
        double height;
    } cases[] = {
        {1, 11, 15},   {2, 11, 30},   {3, 11, 45},   {0, 11, 15},        {1, 14, 19.5},  // 19.09 up to the next pixel
        {27, 11, 405}, {28, 11, 409}, {45, 11, 409}, {1000000, 11, 409}, {21, 14, 401.25}, {22, 14, 409},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(spreadsheet::RowHeightForLines(c.lines, c.points), c.height) << c.lines << " x " << c.points;
}

class RowFit : public TempFolder {
protected:
    // A workbook of one sheet with the given columns, rows and merges, and three cell formats:
    // 0 plain, 1 wrapped, 2 wrapped in a font of 22 points.
    static void WriteSheetPackage(const std::string& path, const std::string& cols, const std::string& rows,
                                  const std::string& merges)
    {
        WritePackage(path, OneSheetParts("<styleSheet><fonts><font><sz val=\"11\"/></font><font><sz val=\"22\"/>"
                                         "</font></fonts><cellXfs><xf fontId=\"0\"/><xf fontId=\"0\"><alignment "
                                         "wrapText=\"1\"/></xf><xf fontId=\"1\"><alignment wrapText=\"1\"/></xf>"
                                         "</cellXfs></styleSheet>",
                                         "<worksheet><cols>" + cols + "</cols><sheetData>" + rows +
                                             "</sheetData><mergeCells>" + merges + "</mergeCells></worksheet>"));
    }
    // The row heights of the sheet saved at path, by row number ("" where none is stored).
    static std::map<int, std::string> SavedHeights(const std::string& path)
    {
        const std::string sheetXml = spreadsheet::Workbook::Load(path)->PartBytes("xl/worksheets/sheet1.xml");
        pugi::xml_document doc;
        std::map<int, std::string> heights;
        if (!doc.load_string(sheetXml.c_str())) return heights;
        for (pugi::xml_node row : doc.child("worksheet").child("sheetData").children("row"))
            heights[row.attribute("r").as_int()] = row.attribute("ht").value();
        return heights;
    }
};

// A sheet whose rows each test one rule, written as a file from elsewhere; one value written by
// automation makes the engine save the sheet, and the rows are read back from the saved file.
TEST_F(RowFit, OnlyRowsThatNeedMoreRoomForWrappedTextGrow)
{
    const std::string wrapped = "Demo Fibre Networks";  // two lines in 13 digits
    auto cell = [](const char* ref, int style, const std::string& text) {
        return std::string("<c r=\"") + ref + "\" s=\"" + std::to_string(style) + "\" t=\"inlineStr\"><is><t>" + text +
               "</t></is></c>";
    };
    const std::string rows = "<row r=\"1\" ht=\"12\" customHeight=\"1\">" + cell("A1", 1, wrapped) +
                             "</row>"  // set on purpose
                             "<row r=\"2\" hidden=\"1\">" +
                             cell("A2", 1, wrapped) +
                             "</row>"  // hidden
                             "<row r=\"3\">" +
                             cell("A3", 1, wrapped) +
                             "</row>"  // grows to 2 lines
                             "<row r=\"4\" ht=\"60\">" +
                             cell("A4", 1, wrapped) +
                             "</row>"  // already taller
                             "<row r=\"5\">" +
                             cell("A5", 0, wrapped) +
                             "</row>"  // no wrap
                             "<row r=\"6\">" +
                             cell("A6", 1, wrapped) +
                             "</row><row r=\"7\"/>"  // merged A6:A7
                             "<row r=\"8\">" +
                             cell("A8", 1, wrapped) +
                             "</row>"  // merged A8:C8: fits
                             "<row r=\"9\"><c r=\"A9\" s=\"1\"><v>123456789012345678</v></c></row>"  // a number
                             "<row r=\"10\">" +
                             cell("A10", 2, wrapped) + "</row>";  // 22 points: 6.5 of its digits, 4 lines
    const std::string path = Path("rows.xlsx");
    WriteSheetPackage(path, "<col min=\"1\" max=\"3\" width=\"13.7109375\" customWidth=\"1\"/>", rows,
                      "<mergeCell ref=\"A6:A7\"/><mergeCell ref=\"A8:C8\"/>");

    auto book = spreadsheet::Workbook::Load(path);
    book->SheetAt(0)->SetText(20, 1, "written");
    const std::string saved = Path("saved.xlsx");
    book->SaveTo(saved);

    const std::string sheetXml = spreadsheet::Workbook::Load(saved)->PartBytes("xl/worksheets/sheet1.xml");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(sheetXml.c_str()));
    std::map<int, std::string> heights;
    for (pugi::xml_node row : doc.child("worksheet").child("sheetData").children("row"))
        heights[row.attribute("r").as_int()] = row.attribute("ht").value();
    const std::map<int, std::string> expected = {{1, "12"}, {2, ""}, {3, "30"}, {4, "60"},   {5, ""}, {6, ""},
                                                 {7, ""},   {8, ""}, {9, ""},   {10, "120"}, {20, ""}};
    EXPECT_EQ(heights, expected);
    EXPECT_EQ(doc.child("worksheet")
                  .child("sheetData")
                  .find_child_by_attribute("row", "r", "3")
                  .attribute("customHeight")
                  .value(),
              std::string());
}

// The header values of the save-or-print sheet, in its column of width 20, written by automation
// and read back by openpyxl: a row grows to its wrapped text, no taller than 409 points, and a
// value exactly as wide as the column keeps its row at one line.
TEST_F(RowFit, WrappedValuesGrowTheirRowNoTallerThanDesktopsAllow)
{
    namespace id = spreadsheet::dispid;
    auto wide = [](int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += "光";
        return out;
    };
    const struct {
        std::string text;
        const char* height;  // as openpyxl reads it
    } rows[] = {
        {wide(400), "409.0"},                                                                  // 40 lines of 10
        {std::string(20, '7'), "None"}, {std::string(21, '7'), "30.0"}, {wide(270), "405.0"},  // 27 lines
        {wide(271), "409.0"},                                                                  // 28 lines
    };
    const std::string path = Path("header.xlsx");
    {
        Session s = NewBook();
        Put(RangeOf(s.sheet.get(), "E1", "E100").get(), id::kColumnWidth, {I(20)});
        Put(RangeOf(s.sheet.get(), "E1", "E10").get(), id::kNumberFormat, {S("@")});
        Put(RangeOf(s.sheet.get(), "E1", "E10").get(), id::kWrapText, {I(1)});
        for (std::size_t i = 0; i < std::size(rows); ++i)
            PutCell(s.sheet.get(), static_cast<int>(i) + 2, 5, S(rows[i].text));
        Method(s.book.get(), id::kSaveCopyAs, {S(path)});
    }
    std::string expected;
    for (std::size_t i = 0; i < std::size(rows); ++i)
        expected += std::to_string(i + 2) + " " + rows[i].height + " " + std::to_string(rows[i].text.size()) + "\n";
    const std::string out = testing_support::RunOpenpyxl(R"(
ws = wb.active
for r in range(2, 7):
    print(r, ws.row_dimensions[r].height, len(ws.cell(row=r, column=5).value.encode("utf-8")))
)",
                                                         path);
    EXPECT_EQ(out, expected);
}

// Every wrapped cell of a sheet with many merges is fitted by the merge that holds it, as the
// rows are met: single-row merges three columns wide (the text fits), rows without a merge (two
// lines), a merge down every row beside them and one across every column of its row, under many
// column spans. Fitting meets each merge once on its way down the rows rather than scanning every
// merge for every wrapped cell, which at the reader's bounds takes many minutes.
TEST_F(RowFit, ManyMergesAreFittedRowByRow)
{
    constexpr int kRows = 60000;
    const std::string wrapped = "Demo Fibre Networks";  // two lines in 13 digits, one in 39
    std::string rows, merges = "<mergeCell ref=\"E1:E" + std::to_string(kRows) + "\"/>";
    for (int r = 1; r <= kRows; ++r) {
        const std::string n = std::to_string(r);
        rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" s=\"1\" t=\"inlineStr\"><is><t>" + wrapped +
                "</t></is></c></row>";
        if (r % 2 == 0) merges += "<mergeCell ref=\"A" + n + ":C" + n + "\"/>";
    }
    rows += "<row r=\"" + std::to_string(kRows + 1) + "\"><c r=\"A" + std::to_string(kRows + 1) +
            "\" s=\"1\" t=\"inlineStr\"><is><t>" + wrapped + "</t></is></c></row>";
    merges += "<mergeCell ref=\"A" + std::to_string(kRows + 1) + ":XFD" + std::to_string(kRows + 1) + "\"/>";
    std::string cols;  // many spans, the first of which give the columns their widths
    for (int c = 1; c <= 3; ++c)
        cols += "<col min=\"" + std::to_string(c) + "\" max=\"" + std::to_string(c) + "\" width=\"13.7109375\"/>";
    for (int i = 0; i < 2000; ++i) cols += "<col min=\"1\" max=\"16384\" width=\"2\"/>";
    const std::string path = Path("merges.xlsx");
    WriteSheetPackage(path, cols, rows, merges);

    auto book = spreadsheet::Workbook::Load(path);
    book->SheetAt(0)->SetText(kRows + 5, 1, "written");
    const std::string saved = Path("saved.xlsx");
    book->SaveTo(saved);
    const auto heights = SavedHeights(saved);
    int grown = 0, kept = 0;
    for (int r = 1; r <= kRows + 1; ++r) {
        const auto it = heights.find(r);
        ASSERT_NE(it, heights.end()) << r;
        if (r % 2 == 1 && r <= kRows) {
            grown += it->second == "30" ? 1 : 0;
        } else {
            kept += it->second.empty() ? 1 : 0;
        }
    }
    EXPECT_EQ(grown, kRows / 2);
    EXPECT_EQ(kept, kRows / 2 + 1);
}

}  // namespace
}  // namespace sheet_test
