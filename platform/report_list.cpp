// The report-view list control: column and row model plus plain painting through virtual stages.
#include "platform/report_list.h"

#include <algorithm>

#include <wx/control.h>
#include <wx/dcclient.h>

namespace platform {
namespace {

// Fixed palette: the list paints the same on every desktop and in tests.
const wxColour kText(0, 0, 0);
const wxColour kHeaderFace(240, 240, 240);
const wxColour kHeaderEdge(160, 160, 160);
const wxColour kHeaderLight(255, 255, 255);
const wxColour kGrid(192, 192, 192);

constexpr int kTextMargin = 6;  // text starts this far right of a cell's left edge
constexpr int kScrollStepX = 8;

int Justify(int format) { return format & (LVCFMT_RIGHT | LVCFMT_CENTER); }

}  // namespace

ReportList::ReportList(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style)
{
    Create(parent, id, pos, size, style);
}

bool ReportList::Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style)
{
    if (!wxScrolledCanvas::Create(parent, id, pos, size, style | wxHSCROLL | wxVSCROLL | wxFULL_REPAINT_ON_RESIZE))
        return false;
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    // The header stays put while the rows scroll, so a scroll repaints the whole window instead
    // of moving its pixels.
    EnableScrolling(false, false);
    Bind(wxEVT_PAINT, &ReportList::OnPaint, this);
    UpdateVirtualSize();
    return true;
}

// ---- columns ----

int ReportList::InsertColumn(int index, const std::string& heading, int format, int width)
{
    if (index < 0) return -1;
    const int count = GetColumnCount();
    index = std::min(index, count);
    Column col;
    col.heading = heading;
    col.format = format;
    col.width = width >= 0 ? width : DefaultColumnWidth(heading);
    m_columns.insert(m_columns.begin() + index, col);
    UpdateVirtualSize();
    Refresh();
    return index;
}

bool ReportList::DeleteColumn(int index)
{
    if (index < 0 || index >= GetColumnCount()) return false;
    // The rows keep their texts: a column added again shows them again.
    m_columns.erase(m_columns.begin() + index);
    UpdateVirtualSize();
    Refresh();
    return true;
}

int ReportList::GetColumnCount() const { return static_cast<int>(m_columns.size()); }

bool ReportList::SetColumnWidth(int index, int width)
{
    if (index < 0 || index >= GetColumnCount()) return false;
    if (width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER) {
        int w = 0;
        for (std::size_t r = 0; r < m_rows.size(); ++r)
            w = std::max(w, TextWidth(GetItemText(static_cast<int>(r), index)) + 2 * kTextMargin);
        if (width == LVSCW_AUTOSIZE_USEHEADER || m_rows.empty())
            w = std::max(w, DefaultColumnWidth(m_columns[index].heading));
        width = w;
    }
    if (width < 0) return false;
    m_columns[index].width = width;
    UpdateVirtualSize();
    Refresh();
    return true;
}

int ReportList::GetColumnWidth(int index) const
{
    if (index < 0 || index >= GetColumnCount()) return 0;
    return m_columns[index].width;
}

std::string ReportList::GetColumnHeading(int index) const
{
    if (index < 0 || index >= GetColumnCount()) return std::string();
    return m_columns[index].heading;
}

int ReportList::GetColumnFormat(int index) const
{
    if (index < 0 || index >= GetColumnCount()) return 0;
    return m_columns[index].format;
}

// ---- rows ----

int ReportList::InsertItem(int index, const std::string& text)
{
    if (index < 0) return -1;
    index = std::min(index, GetItemCount());
    m_rows.insert(m_rows.begin() + index, std::vector<std::string>{text});
    UpdateVirtualSize();
    Refresh();
    return index;
}

bool ReportList::SetItemText(int row, int subitem, const std::string& text)
{
    if (row < 0 || row >= GetItemCount() || subitem < 0) return false;
    auto& cells = m_rows[row];
    if (static_cast<std::size_t>(subitem) >= cells.size()) cells.resize(subitem + 1);
    cells[subitem] = text;
    Refresh();
    return true;
}

std::string ReportList::GetItemText(int row, int subitem) const
{
    if (row < 0 || row >= GetItemCount() || subitem < 0) return std::string();
    const auto& cells = m_rows[row];
    if (static_cast<std::size_t>(subitem) >= cells.size()) return std::string();
    return cells[subitem];
}

int ReportList::GetItemCount() const { return static_cast<int>(m_rows.size()); }

bool ReportList::DeleteItem(int row)
{
    if (row < 0 || row >= GetItemCount()) return false;
    m_rows.erase(m_rows.begin() + row);
    UpdateVirtualSize();
    Refresh();
    return true;
}

bool ReportList::DeleteAllItems()
{
    m_rows.clear();
    UpdateVirtualSize();
    Refresh();
    return true;
}

// ---- look ----

bool ReportList::SetBkColor(const wxColour& colour)
{
    if (!colour.IsOk()) return false;
    m_bk = colour;
    Refresh();
    return true;
}

wxColour ReportList::GetBkColor() const { return m_bk; }

unsigned ReportList::SetExtendedStyle(unsigned style)
{
    const unsigned previous = m_exStyle;
    m_exStyle = style;
    Refresh();
    return previous;
}

unsigned ReportList::GetExtendedStyle() const { return m_exStyle; }

void ReportList::SetListFont(const wxFont& font, bool redraw)
{
    if (!font.IsOk()) return;
    SetFont(font);
    UpdateVirtualSize();
    if (redraw) Refresh();
}

wxFont ReportList::GetListFont() const { return GetFont(); }

// ---- geometry ----

bool ReportList::SetFont(const wxFont& font)
{
    m_charHeight = -1;
    return wxScrolledCanvas::SetFont(font);
}

// Measuring makes a device context and a text layout: a row inserted for every record of an
// upload must not pay for that.
int ReportList::CharHeight() const
{
    if (m_charHeight < 0) m_charHeight = GetCharHeight();
    return m_charHeight;
}

int ReportList::RowHeight() const { return std::max(1, CharHeight() + 4); }

int ReportList::HeaderHeight() const { return CharHeight() + 8; }

int ReportList::TotalColumnWidth() const
{
    int w = 0;
    for (const Column& c : m_columns) w += c.width;
    return w;
}

int ReportList::TextWidth(const std::string& text) const
{
    if (text.empty()) return 0;
    return GetTextExtent(wxString::FromUTF8(text)).x;
}

int ReportList::DefaultColumnWidth(const std::string& heading) const
{
    return TextWidth(heading) + 2 * kTextMargin + 6;
}

wxPoint ReportList::ScrollOffset() const
{
    int ux = 0, uy = 0;
    GetScrollPixelsPerUnit(&ux, &uy);
    int vx = 0, vy = 0;
    GetViewStart(&vx, &vy);
    return wxPoint(vx * ux, vy * uy);
}

wxRect ReportList::GetSubItemRect(int row, int subitem) const
{
    if (row < 0 || row >= GetItemCount() || subitem < 0 || subitem >= GetColumnCount()) return wxRect();
    const wxPoint off = ScrollOffset();
    int x = -off.x;
    for (int c = 0; c < subitem; ++c) x += m_columns[c].width;
    const int y = HeaderHeight() + row * RowHeight() - off.y;
    return wxRect(x, y, m_columns[subitem].width, RowHeight());
}

bool ReportList::SubItemHitTest(const wxPoint& point, int* row, int* subitem) const
{
    if (row) *row = -1;
    if (subitem) *subitem = -1;
    if (point.y < HeaderHeight()) return false;
    const wxPoint off = ScrollOffset();
    const int y = point.y + off.y - HeaderHeight();
    const int r = y / RowHeight();
    if (y < 0 || r >= GetItemCount()) return false;
    int x = point.x + off.x;
    if (x < 0) return false;
    for (int c = 0; c < GetColumnCount(); ++c) {
        if (x < m_columns[c].width) {
            if (row) *row = r;
            if (subitem) *subitem = c;
            return true;
        }
        x -= m_columns[c].width;
    }
    return false;
}

bool ReportList::Show(bool show)
{
    const bool changed = wxScrolledCanvas::Show(show);
    if (show && m_virtualSizeStale) UpdateVirtualSize();
    return changed;
}

void ReportList::UpdateVirtualSize()
{
    if (!GetHandle()) return;
    // A hidden list has no scroll bars to keep up: its size is brought up to date when it is
    // shown, so a list that nothing shows pays nothing per row it is given.
    if (!IsShown()) {
        m_virtualSizeStale = true;
        return;
    }
    m_virtualSizeStale = false;
    SetScrollRate(kScrollStepX, RowHeight());
    SetVirtualSize(TotalColumnWidth(), HeaderHeight() + GetItemCount() * RowHeight());
}

// ---- painting ----

void ReportList::OnPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    PaintList(dc);
}

void ReportList::PaintList(wxDC& dc)
{
    const wxSize client = GetClientSize();
    const wxPoint off = ScrollOffset();
    const int headerH = HeaderHeight();
    const int rowH = RowHeight();

    dc.SetFont(GetFont());
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(m_bk));
    dc.DrawRectangle(0, 0, client.x, client.y);

    // Rows that meet the area below the header.
    const int count = GetItemCount();
    const int first = std::max(0, off.y / rowH);
    const int last = std::min(count - 1, (off.y + std::max(0, client.y - headerH)) / rowH);
    if (!m_columns.empty()) {
        dc.SetClippingRegion(0, headerH, client.x, std::max(0, client.y - headerH));
        for (int r = first; r <= last; ++r) {
            int x = -off.x;
            const int y = headerH + r * rowH - off.y;
            for (int c = 0; c < GetColumnCount(); ++c) {
                const int w = m_columns[c].width;
                if (w > 0 && x + w > 0 && x < client.x) PaintCell(dc, r, c, wxRect(x, y, w, rowH));
                x += w;
            }
        }
        if (m_exStyle & LVS_EX_GRIDLINES) {
            dc.SetPen(*wxTRANSPARENT_PEN);
            dc.SetBrush(wxBrush(kGrid));
            // Vertical lines at the right edge of each column, horizontal lines under each row,
            // over the whole client area as a list view draws them.
            int x = -off.x;
            for (const Column& c : m_columns) {
                x += c.width;
                if (x - 1 >= 0 && x - 1 < client.x) dc.DrawRectangle(x - 1, headerH, 1, client.y - headerH);
            }
            const int right = std::min(client.x, TotalColumnWidth() - off.x);
            for (int y = headerH + (first + 1) * rowH - off.y - 1; y < client.y; y += rowH) {
                if (right > 0) dc.DrawRectangle(0, y, right, 1);
            }
        }
        dc.DestroyClippingRegion();
    }

    PaintHeader(dc, 0, headerH);
}

void ReportList::PaintHeader(wxDC& dc, int y, int height)
{
    const wxSize client = GetClientSize();
    const wxPoint off = ScrollOffset();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(kHeaderFace));
    dc.DrawRectangle(0, y, client.x, height);
    dc.SetBrush(wxBrush(kHeaderEdge));
    dc.DrawRectangle(0, y + height - 1, client.x, 1);

    dc.SetFont(GetFont());
    dc.SetTextForeground(kText);
    int x = -off.x;
    for (const Column& c : m_columns) {
        const wxRect cell(x, y, c.width, height - 1);
        x += c.width;
        if (c.width <= 0 || cell.GetRight() < 0 || cell.x >= client.x) continue;
        dc.SetBrush(wxBrush(kHeaderLight));
        dc.DrawRectangle(cell.x, y, 1, height - 1);
        dc.SetBrush(wxBrush(kHeaderEdge));
        dc.DrawRectangle(cell.GetRight(), y + 2, 1, height - 5);
        const wxRect text(cell.x + kTextMargin, cell.y, std::max(0, cell.width - 2 * kTextMargin), cell.height);
        if (text.width <= 0) continue;
        dc.SetClippingRegion(text);
        const wxString s = wxControl::Ellipsize(wxString::FromUTF8(c.heading), dc, wxELLIPSIZE_END, text.width);
        const int align = Justify(c.format) == LVCFMT_RIGHT    ? wxALIGN_RIGHT
                          : Justify(c.format) == LVCFMT_CENTER ? wxALIGN_CENTRE_HORIZONTAL
                                                               : wxALIGN_LEFT;
        dc.DrawLabel(s, text, align | wxALIGN_CENTRE_VERTICAL);
        dc.DestroyClippingRegion();
    }
}

void ReportList::PaintCell(wxDC& dc, int row, int subitem, const wxRect& rect)
{
    const std::string text = GetItemText(row, subitem);
    if (text.empty()) return;
    const wxRect inner(rect.x + kTextMargin, rect.y, std::max(0, rect.width - 2 * kTextMargin), rect.height);
    if (inner.width <= 0) return;
    dc.SetTextForeground(kText);
    const wxString s = wxControl::Ellipsize(wxString::FromUTF8(text), dc, wxELLIPSIZE_END, inner.width);
    const int justify = Justify(GetColumnFormat(subitem));
    const int align = justify == LVCFMT_RIGHT    ? wxALIGN_RIGHT
                      : justify == LVCFMT_CENTER ? wxALIGN_CENTRE_HORIZONTAL
                                                 : wxALIGN_LEFT;
    dc.DrawLabel(s, inner, align | wxALIGN_CENTRE_VERTICAL);
}

}  // namespace platform
