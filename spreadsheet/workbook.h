// The workbook engine: an .xlsx package loaded into memory, changed cell by cell and saved back.
// Every part of the package that is not changed is written back byte for byte, so a template's
// titles, styles, merges, page setup and anything else this engine does not know survive.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "spreadsheet/cell_ref.h"
#include "spreadsheet/package_io.h"

namespace spreadsheet {

// A failure with a description meant for the user (it names the file where there is one).
class XlsxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Workbook;
namespace xml {
class XmlBudget;
}

// Horizontal and vertical alignment as the file stores them ("center", "right", ...); empty
// removes the setting (general / bottom).
using AlignValue = std::string;

// One change of a cell's format; a new cell format combines the cell's format with it.
struct StyleChange {
    enum class Kind { NumberFormat, Horizontal, Vertical, Wrap, Fill, Bold, FontSize };
    Kind kind;
    // format code, alignment value, "1"/"0" for wrap and bold, "RRGGBB" or "" for fill, the
    // font size in points
    std::string value;
};

class Worksheet {
public:
    // The references the sheet lacks are added to it, charged against the budget when there is one.
    Worksheet(Workbook& book, std::string partName, pugi::xml_document doc, xml::XmlBudget* budget = nullptr);
    Worksheet(const Worksheet&) = delete;
    Worksheet& operator=(const Worksheet&) = delete;

    // A typed value: text that reads as a plain decimal number becomes a number unless the
    // cell's number format is text ("@").
    void SetValueFromText(int row, int col, std::string_view text);
    void SetText(int row, int col, std::string_view text);
    void SetNumber(int row, int col, double value);
    void SetBool(int row, int col, bool value);
    void ClearValue(int row, int col);

    void SetColumnWidth(int col1, int col2, double characters);
    // Merges the block (one merge per row when across is true); merges it overlaps are undone.
    void Merge(const CellRect& rect, bool across);
    void ApplyStyle(const CellRect& rect, const StyleChange& change);
    void Select(const CellRect& rect);
    // Print layout: orientation, and the sheet scaled to one page wide (any number of pages tall).
    void SetPageSetup(bool landscape, bool fitToWidth);
    // The block from the first to the last cell that exists (values or formats) or is merged;
    // A1 for an empty sheet.
    CellRect UsedRange() const;

    // Reading, for callers that check what was written.
    std::string CellText(int row, int col) const;  // the stored value as text; "" when none
    bool CellIsNumber(int row, int col) const;
    int CellStyle(int row, int col) const;  // the cell format index; 0 when none

    const std::string& PartName() const { return m_part; }
    bool Dirty() const { return m_dirty; }
    // Drops the cached results of formulas (their inputs changed).
    void DropFormulaResults();
    // Grows each row whose wrapped text needs more height than the row has, as a desktop
    // spreadsheet fits a row to the wrapped text written into it. Rows whose height was set on
    // purpose (customHeight), hidden rows and cells merged over several rows are left as they are.
    void FitWrappedRows();
    // The sheet as XML; sizeHint is about the size it takes (its bytes as read).
    std::string Serialize(std::size_t sizeHint = 0);

private:
    // The cells of a row by column, in column order (as the row holds them).
    using Cells = std::vector<std::pair<int, pugi::xml_node>>;
    struct Row {
        pugi::xml_node node;
        Cells cells;
    };
    static Cells::const_iterator FirstFrom(const Cells& cells, int col);  // the first at or after col

    void Index(xml::XmlBudget* budget);
    pugi::xml_node FindCell(int row, int col) const;
    pugi::xml_node CellNode(int row, int col);  // creates the row and cell when missing
    void ResetValue(pugi::xml_node cell);
    void HandOverSharedFormula(pugi::xml_node master, pugi::xml_node formula);
    void Touch(bool valueChanged);
    pugi::xml_node Child(const char* name);  // creates it at its place in the sheet
    void CheckRect(const CellRect& rect) const;

    Workbook& m_book;
    std::string m_part;
    pugi::xml_document m_doc;
    pugi::xml_node m_root;
    pugi::xml_node m_sheetData;
    std::map<int, Row> m_rows;
    bool m_dirty = false;
    bool m_hasFormulas = false;
};

// What wrapping a cell's text depends on: whether its format wraps, and its font.
struct TextLook {
    bool wrap = false;
    double points = 11;
    bool bold = false;
};

// The cell formats of styles.xml, with new formats made on demand and equal formats shared.
class Styles {
public:
    Styles() = default;
    void Load(pugi::xml_document doc);
    int Derive(int xfIndex, const StyleChange& change);
    bool IsTextFormat(int xfIndex) const;
    TextLook Look(int xfIndex) const;
    // The size of the default font (the first one), which column widths are counted in.
    double DefaultFontPoints() const;
    int XfCount() const { return static_cast<int>(m_xfs.size()); }
    bool Dirty() const { return m_dirty; }
    std::string Serialize() const;
    static std::string MinimalPart();

private:
    pugi::xml_node Section(const char* name);
    int NumberFormatId(const std::string& code);
    int FillId(const std::string& rgb);
    int FontId(int base, const StyleChange& change);
    // The index of an entry equal to `entry` in the counted section, the entry added at its end
    // when there is none yet.
    int Intern(const char* section, pugi::xml_node entry, std::unordered_map<std::string, int>& byKey);
    std::string Key(pugi::xml_node node) const;

    pugi::xml_document m_doc;
    pugi::xml_node m_root;
    std::vector<pugi::xml_node> m_xfs;
    std::unordered_map<std::string, int> m_xfByKey;
    std::unordered_map<std::string, int> m_fillByKey;
    std::unordered_map<std::string, int> m_fontByKey;
    std::map<int, std::string> m_numFmts;  // custom id -> code
    std::map<std::pair<int, std::string>, int> m_derived;
    bool m_dirty = false;
};

// How much XML a workbook reads. The XML parts it parses (the relationships, the workbook part,
// its worksheets, styles, shared strings and content types) are held parsed together, so they
// are bounded together: by what they unpack to and by the elements, texts and attributes they
// hold, counted on their bytes before any of them is parsed. Each element or text takes a
// 64-byte node in memory (plus a place in the sheet's index when it is a cell) and each
// attribute 40 bytes, besides the bytes themselves; the defaults keep a workbook that reaches
// all of them, in a package that reaches its own bounds, under 1 GB of memory.
struct XmlLimits {
    std::uint64_t bytes = kXmlBytes;
    std::uint64_t nodes = 4'000'000;
    std::uint64_t attributes = 4'000'000;
};

// Everything a workbook file may unpack to.
struct ReadLimits {
    PackageLimits package;
    XmlLimits xml;
};

class Workbook {
public:
    // Throws XlsxError for a file that is missing, unreadable or not a valid workbook, and for
    // one that unpacks past the limits.
    static std::unique_ptr<Workbook> Load(const std::string& path, const ReadLimits& limits = {});
    // A new workbook with one empty sheet "Sheet1".
    static std::unique_ptr<Workbook> CreateNew();
    ~Workbook();

    std::size_t SheetCount() const { return m_sheets.size(); }
    const std::string& SheetName(std::size_t index) const { return m_sheets.at(index).name; }
    // nullptr for a sheet that is not a worksheet (a chart sheet).
    Worksheet* SheetAt(std::size_t index);

    // Writes the workbook to path atomically (see WriteFileAtomically). Throws XlsxError; on
    // failure nothing is left behind and the old file is intact.
    void SaveTo(const std::string& path);
    // Writes the workbook to a new file, path or the first free numbered name beside it (see
    // WriteNewFile), and returns the path written. An existing file is never replaced.
    std::string SaveAsNew(const std::string& path);
    // True when something changed since the last load or save.
    bool Modified() const { return m_modified; }
    void ClearModified() { m_modified = false; }

    // The raw bytes of a package part (empty when absent), as they are until the part changes.
    const std::string& PartBytes(const std::string& name) const;

    Styles& CellStyles();
    // The styles when the package has them (nullptr otherwise); never makes a styles part.
    const Styles* ExistingStyles() const { return m_styles.get(); }
    std::string SharedString(int index) const;
    void NoteChange(bool valueChanged);
    void NoteFormulaRemoved() { m_formulaRemoved = true; }

private:
    Workbook() = default;
    void Parse(const XmlLimits& limits);
    std::string Build();
    void SetPart(const std::string& name, std::string bytes);
    void AddRelationshipAndType(const std::string& target, const std::string& type, const std::string& contentType);

    struct SheetEntry {
        std::string name;
        std::string part;
        std::unique_ptr<Worksheet> sheet;
    };

    std::vector<std::string> m_order;
    std::unordered_map<std::string, std::string> m_parts;
    std::string m_workbookPart;
    std::string m_stylesPart;
    std::string m_sharedStringsPart;
    std::vector<SheetEntry> m_sheets;
    std::unique_ptr<Styles> m_styles;
    mutable std::optional<std::vector<std::string>> m_sharedStrings;
    bool m_modified = false;
    bool m_valuesChanged = false;
    bool m_formulaRemoved = false;
    void DropCalculationChain();
};

// Helpers shared with the automation objects.
// True when the text is a plain decimal number ("12", "-3.50", ".5"); value receives it.
bool ParsePlainNumber(std::string_view text, double& value);
// The stored width of a column that shows the given number of characters.
double ColumnWidthForCharacters(double characters);
// A formula with its relative A1 references moved by rows and columns (as a formula copied
// from one cell to another).
std::string ShiftFormula(std::string_view formula, int rows, int cols);

}  // namespace spreadsheet
