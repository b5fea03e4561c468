// A worksheet of a workbook: its cells, values, formats, merges, columns, selection and print
// layout; and the cell-value helpers (plain numbers, formulas moved with their cell).
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numeric>
#include <unordered_map>
#include <vector>

#include "spreadsheet/text_fit.h"
#include "spreadsheet/workbook.h"
#include "spreadsheet/xml_part.h"

namespace spreadsheet {

using namespace xml;

namespace {

constexpr long long kMaxCellsPerChange = 2'000'000;

// The "_xHHHH_" escape of the file format for a character XML cannot carry.
std::string EscapeChar(unsigned code)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "_x%04X_", code);
    return buf;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Text as a cell can hold it: valid UTF-8 (bad bytes become U+FFFD), control characters escaped.
std::string CellTextForXml(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                out += EscapeChar(c);
            } else if (c == '_' && i + 6 < n && s[i + 1] == 'x' && IsHex(static_cast<char>(s[i + 2])) &&
                       IsHex(static_cast<char>(s[i + 3])) && IsHex(static_cast<char>(s[i + 4])) &&
                       IsHex(static_cast<char>(s[i + 5])) && s[i + 6] == '_') {
                out += "_x005F_";  // a literal that would read as an escape
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        int len = 0;
        unsigned code = 0;
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            code = c & 0x07;
        }
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                code = (code << 6) | (s[i + k] & 0x3F);
        }
        if (ok) {
            const unsigned minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
            ok = code >= minimum && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) && code != 0xFFFE &&
                 code != 0xFFFF;
        }
        if (ok) {
            out.append(text.substr(i, static_cast<std::size_t>(len)));
            i += static_cast<std::size_t>(len);
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string NumberText(double value)
{
    if (!std::isfinite(value)) throw XlsxError("A cell cannot hold an infinite or undefined number.");
    if (value == 0) value = 0;  // no "-0"
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// A row number as the file writes it: decimal digits only, from 1 to the last row of a sheet.
bool ParseRowNumber(std::string_view text, int& row)
{
    if (text.empty() || text.size() > 7) return false;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxRows) return false;
    row = static_cast<int>(value);
    return true;
}

}  // namespace

bool ParsePlainNumber(std::string_view text, double& value)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    int digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else if (text[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    if (digits == 0) return false;
    double v = 0;
    const auto res = std::from_chars(text.data() + start, text.data() + text.size(), v, std::chars_format::fixed);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || !std::isfinite(v)) return false;
    value = negative ? -v : v;
    return true;
}

std::string ShiftFormula(std::string_view formula, int rows, int cols)
{
    auto isWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; };
    std::string out;
    std::size_t i = 0;
    while (i < formula.size()) {
        const char c = formula[i];
        if (c == '"' || c == '\'') {  // texts and quoted sheet names are copied as they are
            std::size_t j = i + 1;
            while (j < formula.size()) {
                if (formula[j] == c) {
                    if (j + 1 < formula.size() && formula[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            j = std::min(j + 1, formula.size());
            out.append(formula.substr(i, j - i));
            i = j;
            continue;
        }
        const bool boundary = i == 0 || !isWord(formula[i - 1]);
        if (boundary && (c == '$' || std::isalpha(static_cast<unsigned char>(c)))) {
            // [$]letters[$]digits, not followed by a name character or "(".
            std::size_t j = i;
            const bool colAbs = formula[j] == '$';
            if (colAbs) ++j;
            const std::size_t lettersAt = j;
            while (j < formula.size() && std::isalpha(static_cast<unsigned char>(formula[j]))) ++j;
            const std::size_t letters = j - lettersAt;
            const bool rowAbs = j < formula.size() && formula[j] == '$';
            if (rowAbs) ++j;
            const std::size_t digitsAt = j;
            while (j < formula.size() && std::isdigit(static_cast<unsigned char>(formula[j]))) ++j;
            const bool follows = j < formula.size() && (isWord(formula[j]) || formula[j] == '(');
            const int col = ParseColumnName(formula.substr(lettersAt, letters));
            if (letters > 0 && letters <= 3 && j > digitsAt && !follows && col > 0) {
                long row = std::strtol(std::string(formula.substr(digitsAt, j - digitsAt)).c_str(), nullptr, 10);
                const int newCol = colAbs ? col : col + cols;
                const long newRow = rowAbs ? row : row + rows;
                if (newCol < 1 || newCol > kMaxColumns || newRow < 1 || newRow > kMaxRows) {
                    out += "#REF!";
                } else {
                    out += (colAbs ? "$" : "") + ColumnName(newCol) + (rowAbs ? "$" : "") + std::to_string(newRow);
                }
                i = j;
                continue;
            }
            // A name or function: copy the whole word.
            std::size_t k = i + (colAbs ? 1 : 0);
            while (k < formula.size() && isWord(formula[k])) ++k;
            out.append(formula.substr(i, std::max<std::size_t>(k - i, 1)));
            i = std::max(k, i + 1);
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

double ColumnWidthForCharacters(double characters)
{
    // The stored width adds the cell padding to the characters of the default font's digit
    // width (7 pixels, 5 pixels of padding), in 1/256 steps.
    if (characters <= 0) return 0;
    constexpr double digit = 7.0;
    return std::trunc((characters * digit + 5.0) / digit * 256.0) / 256.0;
}

Worksheet::Worksheet(Workbook& book, std::string partName, pugi::xml_document doc, xml::XmlBudget* budget)
    : m_book(book), m_part(std::move(partName)), m_doc(std::move(doc))
{
    m_root = m_doc.child("worksheet");
    if (!m_root) throw XlsxError("the part " + m_part + " is no worksheet");
    m_sheetData = Child("sheetData");
    Index(budget);
}

pugi::xml_node Worksheet::Child(const char* name) { return OrderedChild(m_root, name, WorksheetOrder()); }

void Worksheet::SetPageSetup(bool landscape, bool fitToWidth)
{
    pugi::xml_node sheetPr = Child("sheetPr");
    pugi::xml_node fit = sheetPr.child("pageSetUpPr");
    if (!fit) fit = sheetPr.append_child("pageSetUpPr");
    SetAttr(fit, "fitToPage", fitToWidth ? "1" : "0");
    pugi::xml_node margins = Child("pageMargins");
    const char* names[] = {"left", "right", "top", "bottom", "header", "footer"};
    const char* values[] = {"0.5", "0.5", "0.6", "0.6", "0.3", "0.3"};
    for (int i = 0; i < 6; ++i) {
        if (!margins.attribute(names[i])) SetAttr(margins, names[i], values[i]);
    }
    pugi::xml_node setup = Child("pageSetup");
    SetAttr(setup, "orientation", landscape ? "landscape" : "portrait");
    SetAttr(setup, "fitToWidth", "1");
    SetAttr(setup, "fitToHeight", "0");
    Touch(false);
}

Worksheet::Cells::const_iterator Worksheet::FirstFrom(const Cells& cells, int col)
{
    return std::lower_bound(cells.begin(), cells.end(), col,
                            [](const std::pair<int, pugi::xml_node>& cell, int c) { return cell.first < c; });
}

void Worksheet::Index(xml::XmlBudget* budget)
{
    auto addRef = [&](pugi::xml_node node, const std::string& ref) {
        if (budget) budget->ChargeAttributes(1);
        SetAttr(node, "r", ref);
    };
    int lastRow = 0;
    for (pugi::xml_node row = m_sheetData.child("row"); row;) {
        pugi::xml_node nextRow = row.next_sibling("row");
        int r = lastRow + 1;
        if (pugi::xml_attribute ref = row.attribute("r")) {
            if (!ParseRowNumber(ref.value(), r))
                throw XlsxError("the part " + m_part + " holds a bad row reference (\"" + ref.value() + "\")");
        }
        if (r > kMaxRows || r <= lastRow) throw XlsxError("the part " + m_part + " holds rows out of order");
        if (!row.attribute("r")) addRef(row, std::to_string(r));
        lastRow = r;
        Row& entry = m_rows.emplace_hint(m_rows.end(), r, Row{row, {}})->second;
        int lastCol = 0;
        for (pugi::xml_node c = row.child("c"); c; c = c.next_sibling("c")) {
            int cr = r, cc = lastCol + 1;
            if (pugi::xml_attribute ref = c.attribute("r")) {
                if (!ParseCellRef(ref.value(), cr, cc) || cr != r)
                    throw XlsxError("the part " + m_part + " holds a bad cell reference");
            } else {
                addRef(c, CellName(r, cc));
            }
            if (cc <= lastCol) throw XlsxError("the part " + m_part + " holds cells out of order");
            lastCol = cc;
            entry.cells.emplace_back(cc, c);
            if (c.child("f")) m_hasFormulas = true;
        }
        entry.cells.shrink_to_fit();
        row = nextRow;
    }
}

pugi::xml_node Worksheet::FindCell(int row, int col) const
{
    const auto r = m_rows.find(row);
    if (r == m_rows.end()) return {};
    const auto c = FirstFrom(r->second.cells, col);
    return c == r->second.cells.end() || c->first != col ? pugi::xml_node() : c->second;
}

pugi::xml_node Worksheet::CellNode(int row, int col)
{
    if (row < 1 || row > kMaxRows || col < 1 || col > kMaxColumns)
        throw XlsxError("The cell at row " + std::to_string(row) + ", column " + std::to_string(col) +
                        " lies outside the sheet.");
    auto rowIt = m_rows.find(row);
    if (rowIt == m_rows.end()) {
        const auto next = m_rows.upper_bound(row);
        pugi::xml_node node = next == m_rows.end() ? m_sheetData.append_child("row")
                                                   : m_sheetData.insert_child_before("row", next->second.node);
        node.append_attribute("r") = row;
        rowIt = m_rows.emplace(row, Row{node, {}}).first;
    }
    Row& entry = rowIt->second;
    const auto next = FirstFrom(entry.cells, col);
    if (next != entry.cells.end() && next->first == col) return next->second;
    entry.node.remove_attribute("spans");  // a hint that may no longer hold
    pugi::xml_node cell =
        next == entry.cells.end() ? entry.node.append_child("c") : entry.node.insert_child_before("c", next->second);
    cell.append_attribute("r") = CellName(row, col).c_str();
    // A new cell takes the format of its row, else of its column.
    int style = 0;
    if (entry.node.attribute("customFormat").as_bool()) {
        style = IntAttr(entry.node, "s", 0);
    } else {
        for (pugi::xml_node c : m_root.child("cols").children("col")) {
            if (col >= IntAttr(c, "min", 0) && col <= IntAttr(c, "max", 0)) {
                style = IntAttr(c, "style", 0);
                break;
            }
        }
    }
    if (style != 0) cell.append_attribute("s") = style;
    entry.cells.emplace(next, col, cell);
    return cell;
}

void Worksheet::ResetValue(pugi::xml_node cell)
{
    if (pugi::xml_node formula = cell.child("f")) {
        m_book.NoteFormulaRemoved();
        if (std::string_view(formula.attribute("t").value()) == "shared" && formula.attribute("ref"))
            HandOverSharedFormula(cell, formula);
    }
    while (pugi::xml_node child = cell.first_child()) cell.remove_child(child);
    if (*cell.value()) cell.text().set("");  // text straight in the cell, kept in its node
    cell.remove_attribute("t");
}

// The cell that holds a shared formula is being overwritten: the first cell that shares it
// becomes its holder, with the formula as it reads there.
void Worksheet::HandOverSharedFormula(pugi::xml_node master, pugi::xml_node formula)
{
    CellRect area;
    int row0 = 0, col0 = 0;
    if (!ParseRangeRef(formula.attribute("ref").value(), area) ||
        !ParseCellRef(master.attribute("r").value(), row0, col0))
        return;
    const std::string si = formula.attribute("si").value();
    pugi::xml_node heir;
    int heirRow = 0, heirCol = 0;
    CellRect rest;
    for (auto it = m_rows.lower_bound(area.row1); it != m_rows.end() && it->first <= area.row2; ++it) {
        for (auto c = FirstFrom(it->second.cells, area.col1); c != it->second.cells.end() && c->first <= area.col2;
             ++c) {
            pugi::xml_node f = c->second.child("f");
            if (c->second == master || !f || std::string_view(f.attribute("t").value()) != "shared" ||
                si != f.attribute("si").value())
                continue;
            if (!heir) {
                heir = c->second;
                heirRow = it->first;
                heirCol = c->first;
                rest = {heirRow, heirCol, heirRow, heirCol};
            }
            rest.row2 = std::max(rest.row2, it->first);
            rest.col1 = std::min(rest.col1, c->first);
            rest.col2 = std::max(rest.col2, c->first);
        }
    }
    if (!heir) return;
    pugi::xml_node f = heir.child("f");
    f.text().set(ShiftFormula(formula.text().get(), heirRow - row0, heirCol - col0).c_str());
    SetAttr(f, "ref", RangeName(rest));
}

void Worksheet::Touch(bool valueChanged)
{
    m_dirty = true;
    m_book.NoteChange(valueChanged);
}

void Worksheet::SetValueFromText(int row, int col, std::string_view text)
{
    double number = 0;
    if (!m_book.CellStyles().IsTextFormat(CellStyle(row, col)) && ParsePlainNumber(text, number)) {
        SetNumber(row, col, number);
    } else {
        SetText(row, col, text);
    }
}

void Worksheet::SetText(int row, int col, std::string_view text)
{
    if (text.empty()) {
        ClearValue(row, col);
        return;
    }
    pugi::xml_node cell = CellNode(row, col);
    ResetValue(cell);
    cell.append_attribute("t") = "inlineStr";
    const std::string clean = CellTextForXml(text);
    pugi::xml_node t = cell.append_child("is").append_child("t");
    if (!clean.empty() && (std::isspace(static_cast<unsigned char>(clean.front())) ||
                           std::isspace(static_cast<unsigned char>(clean.back()))))
        t.append_attribute("xml:space") = "preserve";
    t.text().set(clean.c_str());
    Touch(true);
}

void Worksheet::SetNumber(int row, int col, double value)
{
    const std::string text = NumberText(value);
    pugi::xml_node cell = CellNode(row, col);
    ResetValue(cell);
    cell.append_child("v").text().set(text.c_str());
    Touch(true);
}

void Worksheet::SetBool(int row, int col, bool value)
{
    pugi::xml_node cell = CellNode(row, col);
    ResetValue(cell);
    cell.append_attribute("t") = "b";
    cell.append_child("v").text().set(value ? "1" : "0");
    Touch(true);
}

void Worksheet::ClearValue(int row, int col)
{
    pugi::xml_node cell = FindCell(row, col);
    if (!cell) {
        CellNode(row, col);  // validates the position; an empty cell changes nothing else
        return;
    }
    ResetValue(cell);
    Touch(true);
}

void Worksheet::CheckRect(const CellRect& rect) const
{
    if (rect.row1 < 1 || rect.col1 < 1 || rect.row2 > kMaxRows || rect.col2 > kMaxColumns || rect.row1 > rect.row2 ||
        rect.col1 > rect.col2)
        throw XlsxError("The range lies outside the sheet.");
}

void Worksheet::SetColumnWidth(int col1, int col2, double characters)
{
    if (col1 < 1 || col2 > kMaxColumns || col1 > col2) throw XlsxError("The columns lie outside the sheet.");
    if (!(characters >= 0 && characters <= 255))
        throw XlsxError("A column width must lie between 0 and 255 characters.");
    pugi::xml_node cols = Child("cols");
    // Split the column spans at the edges of the block, so each span lies inside or outside it.
    std::vector<pugi::xml_node> spans(cols.children("col").begin(), cols.children("col").end());
    for (pugi::xml_node span : spans) {
        int lo = IntAttr(span, "min", 0), hi = IntAttr(span, "max", 0);
        if (lo < col1 && hi >= col1) {
            pugi::xml_node left = cols.insert_copy_before(span, span);
            SetAttr(left, "max", std::to_string(col1 - 1));
            SetAttr(span, "min", std::to_string(col1));
            lo = col1;
        }
        if (lo <= col2 && hi > col2) {
            pugi::xml_node right = cols.insert_copy_after(span, span);
            SetAttr(right, "min", std::to_string(col2 + 1));
            SetAttr(span, "max", std::to_string(col2));
        }
    }
    const std::string width = NumberText(ColumnWidthForCharacters(characters));
    int col = col1;
    pugi::xml_node span = cols.child("col");
    while (col <= col2) {
        while (span && IntAttr(span, "max", 0) < col) span = span.next_sibling("col");
        if (span && IntAttr(span, "min", 0) <= col) {
            SetAttr(span, "width", width);
            SetAttr(span, "customWidth", "1");
            col = IntAttr(span, "max", 0) + 1;
            span = span.next_sibling("col");
            continue;
        }
        const int end = span ? std::min(col2, IntAttr(span, "min", 0) - 1) : col2;
        pugi::xml_node added = span ? cols.insert_child_before("col", span) : cols.append_child("col");
        added.append_attribute("min") = col;
        added.append_attribute("max") = end;
        added.append_attribute("width") = width.c_str();
        added.append_attribute("customWidth") = 1;
        col = end + 1;
    }
    Touch(false);
}

void Worksheet::Merge(const CellRect& rect, bool across)
{
    CheckRect(rect);
    std::vector<CellRect> blocks;
    if (across) {
        for (int r = rect.row1; r <= rect.row2; ++r) blocks.push_back({r, rect.col1, r, rect.col2});
    } else {
        blocks.push_back(rect);
    }
    std::erase_if(blocks, [](const CellRect& b) { return b.CellCount() < 2; });
    if (blocks.empty()) return;
    pugi::xml_node merges = Child("mergeCells");
    for (pugi::xml_node m = merges.child("mergeCell"); m;) {
        pugi::xml_node next = m.next_sibling("mergeCell");
        CellRect existing;
        if (ParseRangeRef(m.attribute("ref").value(), existing) &&
            std::any_of(blocks.begin(), blocks.end(), [&](const CellRect& b) { return b.Overlaps(existing); }))
            merges.remove_child(m);
        m = next;
    }
    for (const CellRect& b : blocks) merges.append_child("mergeCell").append_attribute("ref") = RangeName(b).c_str();
    SetAttr(merges, "count",
            std::to_string(std::distance(merges.children("mergeCell").begin(), merges.children("mergeCell").end())));
    Touch(false);
}

void Worksheet::ApplyStyle(const CellRect& rect, const StyleChange& change)
{
    CheckRect(rect);
    if (rect.CellCount() > kMaxCellsPerChange)
        throw XlsxError("The range " + RangeName(rect) + " is too large to format cell by cell.");
    Styles& styles = m_book.CellStyles();
    for (int r = rect.row1; r <= rect.row2; ++r) {
        for (int c = rect.col1; c <= rect.col2; ++c) {
            pugi::xml_node cell = CellNode(r, c);
            const int style = styles.Derive(IntAttr(cell, "s", 0), change);
            if (style == 0)
                cell.remove_attribute("s");
            else
                SetAttr(cell, "s", std::to_string(style));
        }
    }
    Touch(false);
}

void Worksheet::Select(const CellRect& rect)
{
    CheckRect(rect);
    pugi::xml_node views = Child("sheetViews");
    pugi::xml_node view = views.child("sheetView");
    if (!view) {
        view = views.append_child("sheetView");
        view.append_attribute("workbookViewId") = 0;
    }
    std::string pane;
    if (pugi::xml_node p = view.child("pane")) pane = p.attribute("activePane").as_string("topLeft");
    pugi::xml_node selection;
    for (pugi::xml_node s : view.children("selection")) {
        if (pane == s.attribute("pane").as_string(pane.empty() ? "" : "topLeft")) {
            selection = s;
            break;
        }
    }
    if (!selection) {
        pugi::xml_node before = view.child("pivotSelection");
        if (!before) before = view.child("extLst");
        selection = before ? view.insert_child_before("selection", before) : view.append_child("selection");
        if (!pane.empty()) selection.append_attribute("pane") = pane.c_str();
    }
    selection.remove_attribute("activeCellId");
    SetAttr(selection, "activeCell", CellName(rect.row1, rect.col1));
    SetAttr(selection, "sqref", RangeName(rect));
    Touch(false);
}

CellRect Worksheet::UsedRange() const
{
    bool any = false;
    CellRect used;
    auto include = [&](const CellRect& r) {
        if (!any) {
            used = r;
            any = true;
            return;
        }
        used.row1 = std::min(used.row1, r.row1);
        used.col1 = std::min(used.col1, r.col1);
        used.row2 = std::max(used.row2, r.row2);
        used.col2 = std::max(used.col2, r.col2);
    };
    for (const auto& [row, entry] : m_rows) {
        if (entry.cells.empty()) continue;
        include({row, entry.cells.front().first, row, entry.cells.back().first});
    }
    for (pugi::xml_node m : m_root.child("mergeCells").children("mergeCell")) {
        CellRect r;
        if (ParseRangeRef(m.attribute("ref").value(), r)) include(r);
    }
    return any ? used : CellRect{};
}

std::string Worksheet::CellText(int row, int col) const
{
    pugi::xml_node cell = FindCell(row, col);
    if (!cell) return {};
    const std::string type = cell.attribute("t").value();
    if (type == "inlineStr") return InlineText(cell.child("is"));
    if (type == "s") return m_book.SharedString(cell.child("v").text().as_int(-1));
    return cell.child("v").text().get();
}

bool Worksheet::CellIsNumber(int row, int col) const
{
    pugi::xml_node cell = FindCell(row, col);
    const std::string type = cell.attribute("t").value();
    return cell && cell.child("v") && (type.empty() || type == "n");
}

int Worksheet::CellStyle(int row, int col) const
{
    if (pugi::xml_node cell = FindCell(row, col)) return IntAttr(cell, "s", 0);
    // A cell that does not exist yet shows the format it would get.
    const auto r = m_rows.find(row);
    if (r != m_rows.end() && r->second.node.attribute("customFormat").as_bool()) return IntAttr(r->second.node, "s", 0);
    for (pugi::xml_node c : m_root.child("cols").children("col"))
        if (col >= IntAttr(c, "min", 0) && col <= IntAttr(c, "max", 0)) return IntAttr(c, "style", 0);
    return 0;
}

void Worksheet::DropFormulaResults()
{
    if (!m_hasFormulas) return;
    for (auto& [row, entry] : m_rows) {
        for (auto& [col, cell] : entry.cells) {
            if (!cell.child("f")) continue;
            cell.remove_child("v");
            cell.remove_attribute("t");
        }
    }
    m_dirty = true;
}

namespace {

// The pixels each column of a sheet shows, from its stored widths: a column takes the width of
// the first column span that holds it (none where the span is hidden), a column without one the
// sheet's default width. Running sums of them give the width of a block of columns with one
// subtraction, however wide it is.
class ColumnPixelTable {
public:
    ColumnPixelTable(pugi::xml_node format, pugi::xml_node cols);
    // The pixels of column col (clamped to the sheet's columns).
    double Column(int col) const { return m_pixelsOf[std::clamp(col, 1, kMaxColumns)]; }
    // The pixels of the columns first to last together (first clamped to the sheet's columns,
    // last to those from first on).
    double Columns(int first, int last) const
    {
        first = std::clamp(first, 1, kMaxColumns);
        last = std::clamp(last, first, kMaxColumns);
        return m_pixelsBefore[last + 1] - m_pixelsBefore[first];
    }

private:
    std::vector<double> m_pixelsOf;      // by column number, 1 to kMaxColumns
    std::vector<double> m_pixelsBefore;  // by column number: the sum of the columns left of it
};

ColumnPixelTable::ColumnPixelTable(pugi::xml_node format, pugi::xml_node cols)
{
    // The width of a column without a stored one.
    double defaultWidth = format.attribute("baseColWidth").as_double(8) + 5.0 / 7.0;
    if (pugi::xml_attribute w = format.attribute("defaultColWidth")) defaultWidth = w.as_double(defaultWidth);
    if (!(defaultWidth >= 0 && defaultWidth <= 256)) defaultWidth = 8 + 5.0 / 7.0;
    struct Span {
        int min, max;
        double width;
    };
    std::vector<Span> spans;
    for (pugi::xml_node c : cols.children("col")) {
        const double w = c.attribute("width").as_double(defaultWidth);
        spans.push_back({IntAttr(c, "min", 0), IntAttr(c, "max", 0),
                         c.attribute("hidden").as_bool() ? 0.0 : (w >= 0 && w <= 256 ? w : defaultWidth)});
    }
    // Each column is given its width once: spans already given skip to the next column still
    // open.
    m_pixelsOf.assign(kMaxColumns + 1, ColumnPixels(defaultWidth));
    std::vector<int> open(kMaxColumns + 2);
    std::iota(open.begin(), open.end(), 0);
    const auto nextOpen = [&](int c) {
        while (open[c] != c) {
            open[c] = open[open[c]];
            c = open[c];
        }
        return c;
    };
    for (const Span& span : spans) {
        const int last = std::min(span.max, kMaxColumns);
        for (int c = nextOpen(std::clamp(span.min, 1, kMaxColumns + 1)); c <= last; c = nextOpen(c)) {
            m_pixelsOf[c] = ColumnPixels(span.width);
            open[c] = c + 1;
        }
    }
    m_pixelsBefore.assign(kMaxColumns + 2, 0.0);
    for (int c = 1; c <= kMaxColumns; ++c) m_pixelsBefore[c + 1] = m_pixelsBefore[c] + m_pixelsOf[c];
}

// The merges of a sheet, met on the way down its rows: those that have begun by the row reached
// are kept by their first column; one that has ended is dropped when it is met. Merges do not
// overlap, so the merge that may hold a cell is the one that begins nearest to its left.
class MergeSweep {
public:
    explicit MergeSweep(pugi::xml_node mergeCells);
    // Goes down to row (rows come in rising order): the merges that begin by it are taken in.
    void ReachRow(int row);
    // The merge that holds the cell of the row reached in column col, or nullptr.
    const CellRect* Holding(int col);

private:
    std::vector<CellRect> m_merges;        // by first row
    std::size_t m_next = 0;                // the first merge not taken in yet
    std::multimap<int, CellRect> m_begun;  // by first column
    int m_row = 0;
};

MergeSweep::MergeSweep(pugi::xml_node mergeCells)
{
    for (pugi::xml_node m : mergeCells.children("mergeCell")) {
        CellRect r;
        if (ParseRangeRef(m.attribute("ref").value(), r)) m_merges.push_back(r);
    }
    std::sort(m_merges.begin(), m_merges.end(), [](const CellRect& a, const CellRect& b) { return a.row1 < b.row1; });
}

void MergeSweep::ReachRow(int row)
{
    m_row = row;
    while (m_next < m_merges.size() && m_merges[m_next].row1 <= row) {
        m_begun.emplace(m_merges[m_next].col1, m_merges[m_next]);
        ++m_next;
    }
}

const CellRect* MergeSweep::Holding(int col)
{
    for (;;) {
        auto it = m_begun.upper_bound(col);
        if (it == m_begun.begin()) return nullptr;
        --it;
        if (it->second.row2 < m_row) {
            m_begun.erase(it);
            continue;
        }
        return col <= it->second.col2 ? &it->second : nullptr;
    }
}

}  // namespace

void Worksheet::FitWrappedRows()
{
    const Styles* styles = m_book.ExistingStyles();
    if (!styles) return;
    const double defaultPoints = styles->DefaultFontPoints();
    const pugi::xml_node format = m_root.child("sheetFormatPr");
    double defaultHeight = format.attribute("defaultRowHeight").as_double(15);
    if (!(defaultHeight > 0 && defaultHeight <= 409)) defaultHeight = 15;
    const ColumnPixelTable columns(format, m_root.child("cols"));
    MergeSweep merges(m_root.child("mergeCells"));

    std::unordered_map<int, TextLook> looks;
    for (auto& [row, entry] : m_rows) {
        merges.ReachRow(row);
        if (entry.node.attribute("customHeight").as_bool() || entry.node.attribute("hidden").as_bool()) continue;
        double needed = 0;
        for (const auto& [col, cell] : entry.cells) {
            const std::string_view type = cell.attribute("t").value();
            if (type != "inlineStr" && type != "s" && type != "str") continue;
            const int xf = IntAttr(cell, "s", 0);
            auto look = looks.find(xf);
            if (look == looks.end()) look = looks.emplace(xf, styles->Look(xf)).first;
            if (!look->second.wrap) continue;
            // A merged cell shows its text across its columns; merged over several rows, the
            // row is not fitted to it (nor is a cell the merge hides).
            double pixels = columns.Column(col);
            if (const CellRect* merge = merges.Holding(col)) {
                if (merge->row1 != merge->row2 || merge->col1 != col) continue;
                pixels = columns.Columns(merge->col1, merge->col2);
            }
            const std::string text = CellText(row, col);
            if (text.empty()) continue;
            const double area = TextDigitsInPixels(pixels) * defaultPoints / look->second.points;
            const int lines = WrappedLineCount(text, area, look->second.bold);
            needed = std::max(needed, RowHeightForLines(lines, look->second.points));
        }
        const double current = entry.node.attribute("ht").as_double(defaultHeight);
        if (needed > current + 1e-6) SetAttr(entry.node, "ht", NumberText(needed));
    }
}

std::string Worksheet::Serialize(std::size_t sizeHint)
{
    FitWrappedRows();
    if (pugi::xml_node dimension = m_root.child("dimension")) SetAttr(dimension, "ref", RangeName(UsedRange()));
    return DocumentBytes(m_doc, sizeHint);
}

}  // namespace spreadsheet
