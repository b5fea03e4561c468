// The save-or-print sheet: a formatted sheet in a new workbook handed to the user, read back
// by openpyxl (formats, merges, fills, widths) and LibreOffice (values).
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <tuple>

#include <gtest/gtest.h>

#include "core/automation.h"
#include "resources/resource_ids.h"
#include "spreadsheet/server.h"
#include "tests/support/console_fixture.h"
#include "tests/support/meter_frames.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_support.h"
#include "tests/support/xlsx_readback.h"

using namespace testing_support;

namespace {

class Sheet : public ::testing::Test {
protected:
    void SetUp() override { QEL_REQUIRE_DISPLAY(); }
    void TearDown() override { spreadsheet::RegisterServer(); }

    static ConsoleOptions Language(const std::string& item)
    {
        ConsoleOptions o;
        o.languageFile = ShippedLanguageFile(item);
        return o;
    }
    static void Prepare(ConsoleHarness& h, int records)
    {
        CQELDlg& d = h.Dlg();
        for (int i = 1; i <= records; ++i) {
            RecordSpec r;
            r.number = i;
            r.values[0] = -1.25f * i;
            r.values[2] = -2.5f * i;
            h.Feed(RecordReply(r));
        }
        d.SetDlgItemText(IDC_EDIT_COMPANY, "Fibre Works");
        d.SetDlgItemText(IDC_EDIT_MODEL, "OPM-3");
        d.SetDlgItemText(IDC_EDIT_SERIALNO, "SN-77");
        d.SetDlgItemText(IDC_EDIT_OPERATOR, "Li Wei");
        d.SetDlgItemText(IDC_EDIT_NOTES, "span 3");
    }
    static std::string Handed(ConsoleHarness& h)
    {
        return h.Opener().paths.size() == 1 ? h.Opener().paths[0] : std::string();
    }
};

TEST_F(Sheet, ChineseSheetHasItsLayoutTextsAndOneRowPerRecord)
{
    ConsoleHarness h(Language("1"));
    Prepare(h, 3);
    h.Call([&] { h.Dlg().OnBnClickedSaveOrPrint(); });
    EXPECT_EQ(h.Boxes().Count(), 0u) << (h.Boxes().Count() ? h.Boxes().Last().text : "");
    const std::string path = Handed(h);
    ASSERT_FALSE(path.empty());

    std::string layout = RunOpenpyxl(R"(
ws = wb.worksheets[0]
print([int(ws.column_dimensions[c].width) for c in 'ABCDE'], 'F' in ws.column_dimensions, 'G' in ws.column_dimensions)
print(sorted(str(m) for m in ws.merged_cells.ranges))
def al(c): return (ws[c].alignment.horizontal, ws[c].alignment.vertical)
print(al('A1'), al('A2'), al('A4'), al('D3'), al('C3'), al('E2'), al('C40'), al('E1010'), al('F7'))
def fill(c): return ws[c].fill.fgColor.rgb if ws[c].fill.fill_type == 'solid' else None
print(fill('C2'), fill('C4'), fill('E3'), fill('A6'), fill('E6'), fill('F6'), fill('D2'))
print(ws['D6'].number_format, ws['D106'].number_format, ws['C6'].number_format, ws['C106'].number_format, ws['C107'].number_format, ws['D107'].number_format)
print(ws['A1'].alignment.wrap_text, ws['D3'].alignment.wrap_text)
print(ws['A7'].value, ws['A9'].value, ws['A7'].data_type, ws['A10'].value)
)",
                                     path);
    EXPECT_EQ(layout,
              "[10, 10, 13, 13, 20] False False\n"
              "['A1:E1', 'A2:B2', 'A3:B3', 'A4:B4']\n"
              "('center', 'center') ('right', 'center') ('right', 'center') ('right', 'center') ('left', 'center') "
              "('left', 'center') ('center', 'center') ('center', 'center') (None, None)\n"
              "FFCCFFFF FFCCFFFF FFCCFFFF FF008000 FF008000 None None\n"
              "@ @ 00.00 00.00 General General\n"
              "True True\n"
              "1 3 n None\n");

    auto rows = ReadSheetWithLibreOffice(path);
    EXPECT_EQ(CsvField(rows, 0, 0), "光功率测试报告");
    EXPECT_EQ(CsvField(rows, 1, 0), "公司名称");
    EXPECT_EQ(CsvField(rows, 2, 0), "仪表型号");
    EXPECT_EQ(CsvField(rows, 3, 0), "仪表编号");
    EXPECT_EQ(CsvField(rows, 1, 3), "测试人员");
    EXPECT_EQ(CsvField(rows, 2, 3), "备注");
    EXPECT_EQ(CsvField(rows, 1, 2), "Fibre Works");
    EXPECT_EQ(CsvField(rows, 2, 2), "OPM-3");
    EXPECT_EQ(CsvField(rows, 3, 2), "SN-77");
    EXPECT_EQ(CsvField(rows, 1, 4), "Li Wei");
    EXPECT_EQ(CsvField(rows, 2, 4), "span 3");
    const char* headings[6] = {"序号", "波长(nm)", "功率(dBm)", "参考值", "日期时间", "备注"};
    for (size_t c = 0; c < 6; ++c) EXPECT_EQ(CsvField(rows, 5, c), headings[c]) << c;
    auto& list = *h.Dlg().m_listRecords;
    for (int j = 0; j < 3; ++j) {
        const size_t r = 6 + static_cast<size_t>(j);
        EXPECT_EQ(CsvField(rows, r, 0), std::to_string(j + 1));
        for (int s = 1; s <= 6; ++s) {
            const std::string text = list.GetItemText(j, s);
            const std::string cell = CsvField(rows, r, static_cast<size_t>(s));
            if (s == 3) {
                EXPECT_EQ(cell, text) << "column D keeps the text as sent";
            } else if (s == 2) {
                EXPECT_EQ(cell, "-0" + text.substr(1)) << "column C shows the format 00.00";
            } else {
                EXPECT_DOUBLE_EQ(std::stod(cell), std::stod(text)) << "row " << r << " subitem " << s;
            }
        }
        EXPECT_EQ(CsvField(rows, r, 7), "");
    }
    EXPECT_EQ(CsvField(rows, 9, 0), "");
}

TEST_F(Sheet, WithoutRecordsEnglishSaysNoDataAndBuildsTheSheetWithoutTexts)
{
    ConsoleHarness h(Language("0"));
    Prepare(h, 0);
    h.Call([&] { h.Dlg().OnBnClickedSaveOrPrint(); });
    ASSERT_EQ(h.Boxes().Count(), 1u);
    EXPECT_EQ(h.Boxes().Last().text, "NO DATA!");
    EXPECT_EQ(h.Boxes().Last().style & MB_ICONMASK, MB_ICONEXCLAMATION);
    const std::string path = Handed(h);
    ASSERT_FALSE(path.empty());
    std::string got = RunOpenpyxl(R"(
ws = wb.worksheets[0]
print(ws['A1'].value, ws['A2'].value, ws['D2'].value, ws['A6'].value, ws['A7'].value, ws['C2'].value, ws['E3'].value)
print(ws['A6'].fill.fgColor.rgb, ws['C6'].number_format, len(ws.merged_cells.ranges))
)",
                                  path);
    EXPECT_EQ(got, "None None None None None Fibre Works span 3\nFF008000 00.00 4\n");
}

TEST_F(Sheet, MessagesByLanguageWhenTheApplicationCannotBeCreated)
{
    struct Case {
        const char* item;
        std::vector<std::string> texts;
    } cases[] = {
        {"2", {"NESSUN DATO!", "APPLICAZIONE EXCEL NON PUO ESSERE CREATO!"}},
        {"0", {"NO DATA!", "CANN'T CREAT Excel APPLATION!"}},
        {"1", {"没有记录!", "无法启动电子表格!"}},
        {"5", {}},
    };
    for (const auto& c : cases) {
        core::RegisterClassObject("Excel.Application", [](core::IDispatch** out) {
            *out = nullptr;
            return core::CO_E_SERVER_EXEC_FAILURE;
        });
        ConsoleHarness h(Language(c.item));
        h.Call([&] { h.Dlg().OnBnClickedSaveOrPrint(); });
        EXPECT_EQ(h.Texts(), c.texts) << c.item;
        EXPECT_TRUE(h.Opener().paths.empty());
        spreadsheet::RegisterServer();
    }
}

TEST_F(Sheet, RowsFollowTheLastRecordNumberAndMissingRowsGiveEmptyTexts)
{
    ConsoleHarness h(Language("8"));  // no language: no message, no texts of the file
    Prepare(h, 2);
    h.Dlg().m_lastRecordNo = 4;
    h.Call([&] { h.Dlg().OnBnClickedSaveOrPrint(); });
    EXPECT_EQ(h.Boxes().Count(), 0u);
    const std::string path = Handed(h);
    ASSERT_FALSE(path.empty());
    std::string got = RunOpenpyxl(R"(
ws = wb.worksheets[0]
print([ws.cell(row=r, column=1).value for r in range(7, 12)])
print([ws.cell(row=10, column=c).value for c in range(2, 8)], ws['B8'].value is not None, ws['A1'].value)
)",
                                  path);
    EXPECT_EQ(got, "[1, 2, 3, 4, None]\n[None, None, None, None, None, None] True None\n");
}

TEST_F(Sheet, EachClickMakesANewWorkbook)
{
    ConsoleHarness h(Language("0"));
    Prepare(h, 1);
    h.Call([&] { h.Dlg().OnBnClickedSaveOrPrint(); });
    h.Call([&] { h.Dlg().OnBnClickedSaveOrPrint(); });
    ASSERT_EQ(h.Opener().paths.size(), 2u);
    EXPECT_NE(h.Opener().paths[0], h.Opener().paths[1]);
    EXPECT_TRUE(FileExists(h.Opener().paths[0]));
    EXPECT_TRUE(FileExists(h.Opener().paths[1]));
}

// A word on a printed page and where it stands (points from the top left), as pdftotext finds it.
struct WordBox {
    std::string text;
    double left = 0, top = 0, bottom = 0;
};

std::vector<WordBox> WordsOnFirstPage(const std::string& pdf, const std::string& work)
{
    const std::string html = work + "/words.html";
    EXPECT_EQ(std::system(("pdftotext -f 1 -l 1 -bbox '" + pdf + "' '" + html + "'").c_str()), 0);
    const std::string page = ReadFile(html);
    std::vector<WordBox> words;
    const std::regex word(
        R"re(<word xMin="([-0-9.]+)" yMin="([-0-9.]+)" xMax="[-0-9.]+" yMax="([-0-9.]+)">([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), word); it != std::sregex_iterator(); ++it)
        words.push_back({(*it)[4], std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3])});
    return words;
}

// The vertical extent of a left-aligned cell value on the page: the words from its first word
// on, to the right of it and above the given line, that are pieces of the value. They must
// spell the whole value (however the reader broke it into lines).
std::pair<double, double> Extent(const std::vector<WordBox>& words, const std::string& value, double above)
{
    const std::string first = value.substr(0, value.find(' '));
    const auto anchor = std::find_if(words.begin(), words.end(), [&](const WordBox& w) { return w.text == first; });
    if (anchor == words.end()) {
        ADD_FAILURE() << "\"" << first << "\" is not on the page";
        return {0, 0};
    }
    std::vector<WordBox> pieces;
    for (const WordBox& w : words)
        if (!w.text.empty() && w.top < above && w.left >= anchor->left - 0.5 && value.find(w.text) != std::string::npos)
            pieces.push_back(w);
    std::sort(pieces.begin(), pieces.end(),
              [](const WordBox& a, const WordBox& b) { return std::tie(a.top, a.left) < std::tie(b.top, b.left); });
    std::string spelled, expected;
    std::pair<double, double> extent{1e9, -1e9};
    for (const WordBox& w : pieces) {
        spelled += w.text;
        extent = {std::min(extent.first, w.top), std::max(extent.second, w.bottom)};
    }
    for (const char c : value)
        if (c != ' ') expected += c;
    EXPECT_EQ(spelled, expected) << value;
    return extent;
}

// Long header values wrap in their cells, and their rows grow to hold them: LibreOffice's
// printed sheet shows each value inside its own rows, above the next one. The first page is
// kept as save-or-print-sheet.png in the build tree.
TEST_F(Sheet, WrappedHeaderValuesGetRowsThatHoldThemWhenPrinted)
{
    ConsoleHarness h(Language("1"));
    Prepare(h, 2);
    CQELDlg& d = h.Dlg();
    d.SetDlgItemText(IDC_EDIT_COMPANY, "Demo Fibre Networks");
    d.SetDlgItemText(IDC_EDIT_NOTES, "acceptance test, span A-B");
    h.Call([&] { d.OnBnClickedSaveOrPrint(); });
    const std::string path = Handed(h);
    ASSERT_FALSE(path.empty());

    // Rows 2 (C2 needs two lines in column C) and 3 (E3 needs two in column E) grow; the title
    // row and row 4 hold one line each and keep the default height.
    const std::string heights = RunOpenpyxl(R"(
ws = wb.worksheets[0]
for r in range(1, 8):
    h = ws.row_dimensions[r].height
    print(r, 'default' if h is None or h <= 15.75 else ('two lines' if 27 <= h <= 36 else h))
)",
                                            path);
    EXPECT_EQ(heights, "1 default\n2 two lines\n3 two lines\n4 default\n5 default\n6 default\n7 default\n");

    TempDir work("qel-pdf");
    const std::string convert = "cd '" + work.Path() + "' && timeout 180 soffice -env:UserInstallation=file://" +
                                work.Path() + "/profile --headless --norestore --nologo --convert-to pdf --outdir '" +
                                work.Path() + "' '" + path + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(convert.c_str()), 0);
    const std::string pdf = work.File(std::filesystem::path(path).stem().string() + ".pdf");
    ASSERT_TRUE(FileExists(pdf));
    const std::string png = std::string(QEL_BINARY_DIR) + "/save-or-print-sheet";
    EXPECT_EQ(std::system(("pdftoppm -f 1 -l 1 -r 110 -png -singlefile '" + pdf + "' '" + png + "'").c_str()), 0);
    EXPECT_TRUE(FileExists(png + ".png"));

    const std::vector<WordBox> words = WordsOnFirstPage(pdf, work.Path());
    const auto heading = std::find_if(words.begin(), words.end(), [](const WordBox& w) { return w.text == "序号"; });
    ASSERT_NE(heading, words.end());
    const double header = heading->top;
    const auto company = Extent(words, "Demo Fibre Networks", header);
    const auto model = Extent(words, "OPM-3", header);
    const auto serial = Extent(words, "SN-77", header);
    const auto oper = Extent(words, "Li Wei", header);
    const auto notes = Extent(words, "acceptance test, span A-B", header);
    // Each value ends above the text of the row below it: column C rows 2, 3, 4; column E rows
    // 2 and 3, and row 3 against row 4 (column C holds its text).
    EXPECT_LE(company.second, model.first);
    EXPECT_LE(model.second, serial.first);
    EXPECT_LE(oper.second, notes.first);
    EXPECT_LE(notes.second, serial.first);
}

}  // namespace
