// A sheet laid out call by call in a new workbook, as the save-or-print sheet does, handed to the
// desktop and read back: widths, merges, alignments, wrap, fills, number formats and values.
#include <cstdlib>

#include <sys/stat.h>

#include "core/opener.h"
#include "spreadsheet/palette.h"
#include "spreadsheet/workbook.h"
#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/recording_opener.h"
#include "tests/support/xlsx_readback.h"

namespace sheet_test {
namespace {

namespace id = spreadsheet::dispid;
using testing_support::CsvField;
using testing_support::ReadSheetWithLibreOffice;
using testing_support::RunOpenpyxl;

class Layout : public TempFolder {
protected:
    void SetUp() override
    {
        TempFolder::SetUp();
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        m_oldRuntime = old ? old : "";
        m_hadRuntime = old != nullptr;
        ::setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
    }
    void TearDown() override
    {
        if (m_hadRuntime)
            ::setenv("XDG_RUNTIME_DIR", m_oldRuntime.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        TempFolder::TearDown();
    }

    void Format(IDispatch* sheet, const std::string& a, const std::string& b, core::DISPID member, VARIANT v)
    {
        Ref r = RangeOf(sheet, a, b);
        Put(r.get(), member, {std::move(v)});
    }
    void Fill(IDispatch* sheet, const std::string& a, const std::string& b, int colorIndex)
    {
        Ref r = RangeOf(sheet, a, b);
        Ref interior = Get(r.get(), id::kInterior);
        Put(interior.get(), id::kColorIndex, {I(colorIndex)});
    }

    // The sheet of the save-or-print button with the given number of records; labels only when
    // withLabels is set.
    void BuildSheet(IDispatch* sheet, int records, bool withLabels)
    {
        const int widths[5] = {10, 10, 13, 13, 20};
        for (int c = 0; c < 5; ++c) {
            const std::string col(1, static_cast<char>('A' + c));
            Format(sheet, col + "1", col + "100", id::kColumnWidth, I(widths[c]));
        }
        for (const auto& [a, b] : {std::pair{"A1", "E1"}, {"A2", "B2"}, {"A3", "B3"}, {"A4", "B4"}}) {
            Ref r = RangeOf(sheet, a, b);
            Method(r.get(), id::kMerge, {I(0)});
        }
        if (withLabels) {
            PutCell(sheet, 1, 1, S("测试报告"));
            PutCell(sheet, 2, 1, S("公司"));
            PutCell(sheet, 2, 4, S("测试员"));
        }
        {
            Ref used = Get(sheet, id::kUsedRange);
            Put(used.get(), id::kWrapText, {I(1)});
        }
        const char* aligns[][3] = {
            {"A1", "E1", "c"}, {"A2", "B4", "r"}, {"D2", "D3", "r"}, {"C2", "C4", "l"}, {"E2", "E3", "l"}};
        for (const auto& a : aligns) {
            const int h = a[2][0] == 'c' ? id::kAlignCenter : a[2][0] == 'r' ? id::kAlignRight : id::kAlignLeft;
            Format(sheet, a[0], a[1], id::kHorizontalAlignment, I(h));
            Format(sheet, a[0], a[1], id::kVerticalAlignment, I(id::kAlignCenter));
        }
        Fill(sheet, "C2", "C4", 20);
        Fill(sheet, "E2", "E3", 20);
        Fill(sheet, "A6", "E6", 10);
        const char* header[][2] = {
            {"C2", "ACME Optics"}, {"C3", "OPM-35"}, {"C4", "SN0042"}, {"E2", "Zhang"}, {"E3", "bench 3"}};
        for (const auto& h : header) {
            Ref r = RangeOf(sheet, h[0]);
            Put(r.get(), id::kValue2, {S(h[1])});
        }
        Format(sheet, "D6", "D106", id::kNumberFormat, S("@"));
        for (int j = 0; j < records; ++j) {
            const int r = j + 7;
            PutCell(sheet, r, 1, I(j + 1));
            PutCell(sheet, r, 2, S("1310"));
            PutCell(sheet, r, 3, S(j % 2 ? "-3.5" : "12.345"));
            PutCell(sheet, r, 4, S("-10.20"));
            PutCell(sheet, r, 5, S("2024-05-06 07:08"));
            PutCell(sheet, r, 6, S("0.5"));
            PutCell(sheet, r, 7, S("note"));
        }
        Format(sheet, "A6", "E1010", id::kHorizontalAlignment, I(id::kAlignCenter));
        Format(sheet, "A6", "E1010", id::kVerticalAlignment, I(id::kAlignCenter));
        Format(sheet, "C6", "C106", id::kNumberFormat, S("00.00"));
    }

    std::string m_oldRuntime;
    bool m_hadRuntime = false;
};

TEST_F(Layout, SaveOrPrintSheetIsHandedOverAndReadsBackAsLaidOut)
{
    testing_support::RecordingOpener opener;
    {
        Session s = NewBook();
        BuildSheet(s.sheet.get(), 120, true);
        Put(s.app.get(), id::kVisible, {VARIANT::Bool(true)});
        Put(s.app.get(), id::kUserControl, {VARIANT::Bool(true)});
        CallResult userControl = Invoke(s.app.get(), id::kUserControl, core::DISPATCH_PROPERTYGET);
        EXPECT_EQ(userControl.value.vt, core::VT_BOOL);
        EXPECT_TRUE(userControl.value.boolVal);
    }
    ASSERT_EQ(opener.paths.size(), 1u);
    const std::string path = opener.paths[0];
    EXPECT_EQ(path.rfind((m_dir / "qel").string() + "/Book", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.size() - 5), ".xlsx");
    struct stat st {};
    ASSERT_EQ(::stat((m_dir / "qel").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const std::string out = RunOpenpyxl(R"(
ws = wb.active
print(sorted(str(r) for r in ws.merged_cells.ranges))
print(sorted((d.min, d.max, d.width) for d in ws.column_dimensions.values()))
for ref in ["A1", "A2", "A4", "C2", "D3", "E3", "A6", "E1010", "C50"]:
    a = ws[ref].alignment
    print(ref, a.horizontal, a.vertical, a.wrap_text)
for ref in ["C2", "C4", "E2", "E3", "A6", "E6", "F6", "D2"]:
    f = ws[ref].fill
    print(ref, f.fill_type, f.fgColor.rgb if f.fill_type else None)
print(ws["C6"].number_format, ws["C106"].number_format, ws["C107"].number_format)
print(ws["D6"].number_format, ws["D106"].number_format, ws["D107"].number_format)
print(repr(ws["A7"].value), repr(ws["C7"].value), repr(ws["D7"].value), repr(ws["B7"].value))
print("few formats" if len(wb._cell_styles) < 40 else len(wb._cell_styles))
)",
                                        path);
    EXPECT_EQ(out,
              "['A1:E1', 'A2:B2', 'A3:B3', 'A4:B4']\n"
              "[(1, 1, 10.7109375), (2, 2, 10.7109375), (3, 3, 13.7109375), (4, 4, 13.7109375), (5, 5, 20.7109375)]\n"
              "A1 center center True\n"
              "A2 right center True\n"
              "A4 right center True\n"
              "C2 left center True\n"
              "D3 right center True\n"
              "E3 left center True\n"
              "A6 center center None\n"
              "E1010 center center None\n"
              "C50 center center None\n"
              "C2 solid FFCCFFFF\n"
              "C4 solid FFCCFFFF\n"
              "E2 solid FFCCFFFF\n"
              "E3 solid FFCCFFFF\n"
              "A6 solid FF008000\n"
              "E6 solid FF008000\n"
              "F6 None None\n"
              "D2 None None\n"
              "00.00 00.00 General\n"
              "@ @ General\n"
              "1 12.345 '-10.20' 1310\n"
              "few formats\n");

    const auto rows = ReadSheetWithLibreOffice(path);
    EXPECT_EQ(CsvField(rows, 0, 0), "测试报告");
    EXPECT_EQ(CsvField(rows, 1, 2), "ACME Optics");
    EXPECT_EQ(CsvField(rows, 1, 3), "测试员");
    EXPECT_EQ(CsvField(rows, 3, 2), "SN0042");
    EXPECT_EQ(CsvField(rows, 2, 4), "bench 3");
    EXPECT_EQ(CsvField(rows, 6, 0), "1");
    EXPECT_EQ(CsvField(rows, 6, 2), "12.35");  // "00.00"
    EXPECT_EQ(CsvField(rows, 7, 2), "-03.50");
    EXPECT_EQ(CsvField(rows, 6, 3), "-10.20");  // text: kept as typed
    EXPECT_EQ(CsvField(rows, 6, 4), "2024-05-06 07:08");
    EXPECT_EQ(CsvField(rows, 125, 0), "120");
    EXPECT_EQ(CsvField(rows, 125, 2), "-3.5");  // row 126 lies below the "00.00" block
    EXPECT_EQ(CsvField(rows, 125, 6), "note");
}

TEST_F(Layout, UsedRangeWithoutLabelsIsTheMergedBlock)
{
    const std::string path = Path("nolabels.xlsx");
    {
        Session s = NewBook();
        BuildSheet(s.sheet.get(), 0, false);
        Method(s.book.get(), id::kSaveCopyAs, {S(path)});
    }
    const std::string out = RunOpenpyxl(R"(
ws = wb.active
print(ws["A1"].alignment.wrap_text, ws["E4"].alignment.wrap_text, ws["E5"].alignment.wrap_text, ws["A7"].value)
)",
                                        path);
    EXPECT_EQ(out, "True True None None\n");
}

TEST_F(Layout, EqualFormatsAreShared)
{
    auto book = spreadsheet::Workbook::CreateNew();
    spreadsheet::Worksheet& sheet = *book->SheetAt(0);
    using Kind = spreadsheet::StyleChange::Kind;
    for (int round = 0; round < 3; ++round) {
        sheet.ApplyStyle({6, 1, 1010, 5}, {Kind::Horizontal, "center"});
        sheet.ApplyStyle({6, 1, 1010, 5}, {Kind::Vertical, "center"});
        sheet.ApplyStyle({6, 3, 106, 3}, {Kind::NumberFormat, "00.00"});
    }
    // Default, centred, centred both ways, plus the number format on top.
    EXPECT_EQ(book->CellStyles().XfCount(), 4);
    EXPECT_EQ(sheet.CellStyle(6, 1), sheet.CellStyle(1010, 5));
    EXPECT_NE(sheet.CellStyle(6, 3), sheet.CellStyle(6, 4));
    EXPECT_EQ(sheet.CellStyle(107, 3), sheet.CellStyle(6, 4));
    // Undoing a change leads back to the format that was there.
    sheet.ApplyStyle({6, 1, 6, 1}, {Kind::Horizontal, ""});
    sheet.ApplyStyle({6, 1, 6, 1}, {Kind::Vertical, ""});
    EXPECT_EQ(sheet.CellStyle(6, 1), 0);
}

TEST_F(Layout, FillPaletteAndNoFill)
{
    const std::string path = Path("fills.xlsx");
    {
        Session s = NewBook();
        const int indexes[] = {1, 3, 6, 15, 20, 10, 56};
        for (int k = 0; k < 7; ++k) Fill(s.sheet.get(), spreadsheet::CellName(1, k + 1), "", indexes[k]);
        Fill(s.sheet.get(), "A2", "B2", 20);
        Fill(s.sheet.get(), "B2", "", spreadsheet::kColorIndexNone);
        Method(s.book.get(), id::kSaveCopyAs, {S(path)});
    }
    const std::string out = RunOpenpyxl(R"(
ws = wb.active
print(" ".join(ws.cell(row=1, column=c).fill.fgColor.rgb for c in range(1, 8)))
print(ws["A2"].fill.fill_type, ws["B2"].fill.fill_type)
)",
                                        path);
    EXPECT_EQ(out, "FF000000 FFFF0000 FFFFFF00 FFC0C0C0 FFCCFFFF FF008000 FF333333\nsolid None\n");
}

TEST_F(Layout, HandOverOfASavedWorkbookOpensItsFile)
{
    const std::string path = Path("report.xlsx");
    WriteForeignWorkbook(path);
    testing_support::RecordingOpener opener;
    Session s = OpenBook(path);
    Put(s.app.get(), id::kVisible, {VARIANT::Bool(true)});
    ASSERT_EQ(opener.paths.size(), 1u);
    EXPECT_EQ(opener.paths[0], path);
    // Already visible: no second hand-over.
    Put(s.app.get(), id::kVisible, {VARIANT::Bool(true)});
    EXPECT_EQ(opener.paths.size(), 1u);
}

TEST_F(Layout, NewWorkbooksAreNumberedAndAFailedHandOverIsReported)
{
    testing_support::RecordingOpener opener;
    {
        Session a = NewBook();
        Session b = NewBook();
        Put(a.app.get(), id::kVisible, {VARIANT::Bool(true)});
        Put(b.app.get(), id::kVisible, {VARIANT::Bool(true)});
    }
    ASSERT_EQ(opener.paths.size(), 2u);
    const auto number = [](const std::string& p) {
        const std::size_t at = p.rfind("/Book");
        return std::stoi(p.substr(at + 5));
    };
    EXPECT_GT(number(opener.paths[1]), number(opener.paths[0]));
    EXPECT_TRUE(std::filesystem::exists(opener.paths[0]));

    // Another running program has handed over the next books already: their files are kept and
    // this one takes a name of its own.
    const std::string folder = spreadsheet::HandOverFolder();
    std::vector<std::string> others;
    for (int n = number(opener.paths[1]) + 1; n <= number(opener.paths[1]) + 3; ++n) {
        others.push_back(folder + "/Book" + std::to_string(n) + ".xlsx");
        if (!std::filesystem::exists(others.back())) {
            std::FILE* f = std::fopen(others.back().c_str(), "w");
            ASSERT_NE(f, nullptr);
            std::fputs("another program's book", f);
            std::fclose(f);
        }
    }
    const std::string before = [&] {
        std::FILE* f = std::fopen(others[0].c_str(), "r");
        char buf[64] = {};
        size_t n = f ? std::fread(buf, 1, sizeof buf - 1, f) : 0;
        if (f) std::fclose(f);
        return std::string(buf, n);
    }();
    {
        Session d = NewBook();
        Put(d.app.get(), id::kVisible, {VARIANT::Bool(true)});
    }
    ASSERT_EQ(opener.paths.size(), 3u);
    for (const std::string& other : others) EXPECT_NE(opener.paths[2], other);
    std::FILE* f = std::fopen(others[0].c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[64] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(buf, n), before);

    opener.result = false;
    Session c = NewBook();
    CallResult r = Invoke(c.app.get(), id::kVisible, core::DISPATCH_PROPERTYPUT, {VARIANT::Bool(true)});
    EXPECT_EQ(r.hr, core::DISP_E_EXCEPTION);
    // The book was written before the hand-over failed: the message says where it is.
    ASSERT_EQ(opener.paths.size(), 4u);
    EXPECT_EQ(r.excep.description, "The workbook was saved as \"" + opener.paths[3] +
                                       "\", but no application could open it: the test opener refused it. Open the "
                                       "file by hand.");
    EXPECT_TRUE(std::filesystem::exists(opener.paths[3]));
    CallResult visible = Invoke(c.app.get(), id::kVisible, core::DISPATCH_PROPERTYGET);
    EXPECT_FALSE(visible.value.boolVal);
}

}  // namespace
}  // namespace sheet_test
