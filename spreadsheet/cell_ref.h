// Cell and range references in A1 notation ("B3", "$A$1", "A1:L150000"), rows and columns counted
// from 1.
#pragma once
#include <string>
#include <string_view>

namespace spreadsheet {

constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

// An inclusive block of cells; top-left (row1, col1), bottom-right (row2, col2).
struct CellRect {
    int row1 = 1;
    int col1 = 1;
    int row2 = 1;
    int col2 = 1;

    int Rows() const { return row2 - row1 + 1; }
    int Columns() const { return col2 - col1 + 1; }
    long long CellCount() const { return static_cast<long long>(Rows()) * Columns(); }
    bool Contains(int row, int col) const { return row >= row1 && row <= row2 && col >= col1 && col <= col2; }
    bool Overlaps(const CellRect& o) const
    {
        return row1 <= o.row2 && o.row1 <= row2 && col1 <= o.col2 && o.col1 <= col2;
    }
    bool operator==(const CellRect&) const = default;
};

// "A" -> 1, "XFD" -> 16384; 0 when the text is no column name.
int ParseColumnName(std::string_view text);
std::string ColumnName(int col);
std::string CellName(int row, int col);
// "A1" for a single cell, else "A1:E1".
std::string RangeName(const CellRect& rect);

// A single cell ("B3", "$B$3"); false when the text is no cell inside the sheet.
bool ParseCellRef(std::string_view text, int& row, int& col);
// A cell or a block "A1:E1" (either corner order; the result is normalised).
bool ParseRangeRef(std::string_view text, CellRect& rect);

}  // namespace spreadsheet
