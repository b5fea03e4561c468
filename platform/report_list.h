// A report-view list control: columns with headings and widths, rows of texts (item text and
// subitems). A row keeps every subitem text it is given; the list shows those that have a column.
// The operations carry the names the console's code uses.
#pragma once
#include <string>
#include <vector>

#include <wx/colour.h>
#include <wx/font.h>
#include <wx/scrolwin.h>

namespace platform {

// List column formats and extended styles.
constexpr int LVCFMT_LEFT = 0x0000;
constexpr int LVCFMT_RIGHT = 0x0001;
constexpr int LVCFMT_CENTER = 0x0002;
constexpr int LVCFMT_IMAGE = 0x0800;
constexpr unsigned LVS_EX_GRIDLINES = 0x00000001;
constexpr unsigned LVS_EX_FULLROWSELECT = 0x00000020;
// Special widths of SetColumnWidth: fit the cells' texts, or the cells' texts and the heading.
constexpr int LVSCW_AUTOSIZE = -1;
constexpr int LVSCW_AUTOSIZE_USEHEADER = -2;

class ReportList : public wxScrolledCanvas {
public:
    ReportList() = default;
    ReportList(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style = wxBORDER_SUNKEN);
    bool Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style = wxBORDER_SUNKEN);

    // Columns. InsertColumn places the column at min(index, count) and returns its index (-1 for a
    // negative index); a negative width gives a width that fits the heading.
    int InsertColumn(int index, const std::string& heading, int format = LVCFMT_LEFT, int width = -1);
    bool DeleteColumn(int index);
    int GetColumnCount() const;
    bool SetColumnWidth(int index, int width);
    int GetColumnWidth(int index) const;
    std::string GetColumnHeading(int index) const;
    int GetColumnFormat(int index) const;

    // Rows. InsertItem places the row at min(index, count) and returns its index, -1 on failure.
    int InsertItem(int index, const std::string& text);
    bool SetItemText(int row, int subitem, const std::string& text);  // false: no such row
    std::string GetItemText(int row, int subitem) const;              // "" when none
    int GetItemCount() const;
    bool DeleteItem(int row);
    bool DeleteAllItems();

    // Look.
    bool SetBkColor(const wxColour& colour);
    wxColour GetBkColor() const;
    unsigned SetExtendedStyle(unsigned style);  // returns the previous style
    unsigned GetExtendedStyle() const;
    void SetListFont(const wxFont& font, bool redraw = true);
    wxFont GetListFont() const;
    // Any change of the font (also the window's own SetFont) is seen by the rows' height.
    bool SetFont(const wxFont& font) override;
    bool Show(bool show = true) override;

    // Geometry, in client coordinates of the scrolled list (for derived lists that select cells).
    // GetSubItemRect: the cell's bounds, an empty rectangle when there is no such row or column.
    wxRect GetSubItemRect(int row, int subitem) const;
    // The cell under point; false (and -1, -1) over the header, empty space or no row.
    bool SubItemHitTest(const wxPoint& point, int* row, int* subitem) const;

protected:
    struct Column {
        std::string heading;
        int format = LVCFMT_LEFT;
        int width = 0;
    };
    std::vector<Column> m_columns;
    std::vector<std::vector<std::string>> m_rows;  // [row][subitem]
    wxColour m_bk = *wxWHITE;
    unsigned m_exStyle = 0;
    mutable int m_charHeight = -1;    // -1: not measured for the current font
    bool m_virtualSizeStale = false;  // rows or columns changed while the list was hidden

    // Painting stages; a derived list draws cells its own way by overriding them. PaintList (the
    // whole paint) fills the background, calls PaintCell for every visible cell (clipped to the
    // area below the header; rect is the cell's bounds), draws the grid lines when
    // LVS_EX_GRIDLINES is set, and last calls PaintHeader for the fixed header band.
    virtual void PaintList(wxDC& dc);
    virtual void PaintHeader(wxDC& dc, int y, int height);
    virtual void PaintCell(wxDC& dc, int row, int subitem, const wxRect& rect);
    int RowHeight() const;
    int HeaderHeight() const;
    int TotalColumnWidth() const;
    int TextWidth(const std::string& text) const;  // in the list font
    wxPoint ScrollOffset() const;                  // pixels scrolled away, x and y
    void UpdateVirtualSize();

private:
    int CharHeight() const;  // of the list font, measured once per font
    int DefaultColumnWidth(const std::string& heading) const;
    void OnPaint(wxPaintEvent& event);
};

}  // namespace platform
