#include "spreadsheet/cell_ref.h"

#include <algorithm>

namespace spreadsheet {

int ParseColumnName(std::string_view text)
{
    if (text.empty() || text.size() > 3) return 0;
    int col = 0;
    for (char ch : text) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        if (ch < 'A' || ch > 'Z') return 0;
        col = col * 26 + (ch - 'A' + 1);
    }
    return col <= kMaxColumns ? col : 0;
}

std::string ColumnName(int col)
{
    std::string name;
    while (col > 0) {
        const int rem = (col - 1) % 26;
        name.insert(name.begin(), static_cast<char>('A' + rem));
        col = (col - 1) / 26;
    }
    return name;
}

std::string CellName(int row, int col) { return ColumnName(col) + std::to_string(row); }

std::string RangeName(const CellRect& rect)
{
    std::string name = CellName(rect.row1, rect.col1);
    if (rect.row1 != rect.row2 || rect.col1 != rect.col2) name += ":" + CellName(rect.row2, rect.col2);
    return name;
}

bool ParseCellRef(std::string_view text, int& row, int& col)
{
    std::size_t i = 0;
    if (i < text.size() && text[i] == '$') ++i;
    const std::size_t colStart = i;
    while (i < text.size() && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z'))) ++i;
    const int c = ParseColumnName(text.substr(colStart, i - colStart));
    if (c == 0) return false;
    if (i < text.size() && text[i] == '$') ++i;
    if (i >= text.size() || text[i] == '0') return false;
    long long r = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        r = r * 10 + (text[i] - '0');
        if (r > kMaxRows) return false;
    }
    row = static_cast<int>(r);
    col = c;
    return true;
}

bool ParseRangeRef(std::string_view text, CellRect& rect)
{
    const std::size_t colon = text.find(':');
    int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
    if (colon == std::string_view::npos) {
        if (!ParseCellRef(text, r1, c1)) return false;
        rect = {r1, c1, r1, c1};
        return true;
    }
    if (!ParseCellRef(text.substr(0, colon), r1, c1) || !ParseCellRef(text.substr(colon + 1), r2, c2)) return false;
    rect = {std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
    return true;
}

}  // namespace spreadsheet
