// Writes the report template savemode.xlsx: the title, the labels of the header cells the report
// fills (B3, B4, F3, F4, B5, C5), the record table's headings in row 10 and the column formats of
// the record rows 11 to 400, so the values the meter sends show as it formats them.
//
//   make-template [output path]     (default: data/savemode.xlsx)
#include <cstdio>
#include <string>

#include "spreadsheet/palette.h"
#include "spreadsheet/workbook.h"

namespace {

using spreadsheet::CellRect;
using Kind = spreadsheet::StyleChange::Kind;

std::string Rgb(int colorIndex)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%06X", static_cast<unsigned>(*spreadsheet::PaletteColor(colorIndex)));
    return buf;
}

void Build(spreadsheet::Worksheet& sheet)
{
    constexpr int kFirstRecordRow = 11;
    constexpr int kLastRecordRow = 400;

    const double widths[9] = {18, 12, 14, 16, 16, 11, 11, 11, 20};
    for (int c = 0; c < 9; ++c) sheet.SetColumnWidth(c + 1, c + 1, widths[c]);

    // Title.
    sheet.SetText(1, 1, "Optical Power Meter Test Report");
    sheet.Merge({1, 1, 1, 9}, false);
    sheet.ApplyStyle({1, 1, 1, 9}, {Kind::Horizontal, "center"});
    sheet.ApplyStyle({1, 1, 1, 9}, {Kind::Vertical, "center"});
    sheet.ApplyStyle({1, 1, 1, 1}, {Kind::Bold, "1"});
    sheet.ApplyStyle({1, 1, 1, 1}, {Kind::FontSize, "16"});

    // Header block: labels right-aligned beside the cells the report fills.
    const struct {
        int row, col;
        const char* text;
    } labels[] = {{3, 1, "Test operator:"},
                  {4, 1, "Instrument model:"},
                  {5, 1, "Meter ID / note:"},
                  {3, 5, "Company:"},
                  {4, 5, "Notes:"}};
    for (const auto& l : labels) {
        sheet.SetText(l.row, l.col, l.text);
        sheet.ApplyStyle({l.row, l.col, l.row, l.col}, {Kind::Horizontal, "right"});
        sheet.ApplyStyle({l.row, l.col, l.row, l.col}, {Kind::Bold, "1"});
    }
    const CellRect valueCells[] = {{3, 2, 4, 2}, {5, 2, 5, 3}, {3, 6, 4, 6}};
    for (const CellRect& r : valueCells) {
        sheet.ApplyStyle(r, {Kind::Horizontal, "left"});
        sheet.ApplyStyle(r, {Kind::Fill, Rgb(19)});  // light yellow
    }
    sheet.ApplyStyle({3, 1, 5, 9}, {Kind::Vertical, "center"});

    // Record table headings.
    const char* headings[9] = {"No.",     "Wavelength", "Power (dBm)", "Reading 1 (dBm)", "Reading 2 (dBm)",
                               "Value 1", "Value 2",    "Value 3",     "Date / Time"};
    for (int c = 0; c < 9; ++c) sheet.SetText(10, c + 1, headings[c]);
    const CellRect headingRow{10, 1, 10, 9};
    sheet.ApplyStyle(headingRow, {Kind::Bold, "1"});
    sheet.ApplyStyle(headingRow, {Kind::Fill, Rgb(20)});  // light turquoise
    sheet.ApplyStyle(headingRow, {Kind::Wrap, "1"});

    // Record rows: centred, with the meter's number formats.
    const CellRect table{10, 1, kLastRecordRow, 9};
    sheet.ApplyStyle(table, {Kind::Horizontal, "center"});
    sheet.ApplyStyle(table, {Kind::Vertical, "center"});
    sheet.ApplyStyle({kFirstRecordRow, 3, kLastRecordRow, 5}, {Kind::NumberFormat, "0.00"});
    sheet.ApplyStyle({kFirstRecordRow, 6, kLastRecordRow, 7}, {Kind::NumberFormat, "0.0"});
    sheet.ApplyStyle({kFirstRecordRow, 8, kLastRecordRow, 8}, {Kind::NumberFormat, "0.000"});
    sheet.ApplyStyle({kFirstRecordRow, 1, kLastRecordRow, 1}, {Kind::NumberFormat, "0"});
    sheet.Select({1, 1, 1, 1});
    sheet.SetPageSetup(true, true);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string path = argc > 1 ? argv[1] : "data/savemode.xlsx";
    try {
        auto book = spreadsheet::Workbook::CreateNew();
        Build(*book->SheetAt(0));
        book->SaveTo(path);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-template: %s\n", e.what());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
