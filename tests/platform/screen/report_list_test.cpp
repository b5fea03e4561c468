// The report-view list: its column and row model, geometry and plain painting.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/dialog.h>
#include <wx/image.h>

#include "platform/report_list.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

namespace {

using platform::ReportList;

// A list that records the cells it is asked to paint and lets a test paint it on any DC.
class ProbeList : public ReportList {
public:
    using ReportList::HeaderHeight;
    using ReportList::ReportList;
    using ReportList::RowHeight;
    struct Painted {
        int row, subitem;
        wxRect rect;
    };
    std::vector<Painted> painted;
    int headers = 0;

    void PaintTo(wxDC& dc) { PaintList(dc); }

protected:
    void PaintCell(wxDC& dc, int row, int subitem, const wxRect& rect) override
    {
        painted.push_back({row, subitem, rect});
        ReportList::PaintCell(dc, row, subitem, rect);
    }
    void PaintHeader(wxDC& dc, int y, int height) override
    {
        ++headers;
        ReportList::PaintHeader(dc, y, height);
    }
};

class ReportListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        frame = new wxDialog(nullptr, wxID_ANY, "list");
        list = new ProbeList(frame, 1010, wxPoint(0, 0), wxSize(400, 200));
    }
    void TearDown() override
    {
        if (frame) frame->Destroy();
    }
    std::vector<std::string> Headings() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < list->GetColumnCount(); ++i) out.push_back(list->GetColumnHeading(i));
        return out;
    }
    std::vector<std::string> Column0() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < list->GetItemCount(); ++i) out.push_back(list->GetItemText(i, 0));
        return out;
    }
    // Paints the list's client area into an image.
    wxImage Paint()
    {
        const wxSize size = list->GetClientSize();
        wxBitmap bmp(size.x, size.y, 24);
        {
            wxMemoryDC dc(bmp);
            list->PaintTo(dc);
        }
        return bmp.ConvertToImage();
    }
    static wxColour Pixel(const wxImage& img, int x, int y)
    {
        return wxColour(img.GetRed(x, y), img.GetGreen(x, y), img.GetBlue(x, y));
    }

    wxDialog* frame = nullptr;
    ProbeList* list = nullptr;
};

TEST_F(ReportListTest, InsertItemClampsToTheEnd)
{
    struct Step {
        int index;
        const char* text;
        int expected;
    };
    const Step steps[] = {{0, "a", 0}, {5, "b", 1}, {1, "c", 1}, {0, "d", 0}, {4, "e", 4}, {-1, "x", -1}};
    for (const Step& s : steps) EXPECT_EQ(list->InsertItem(s.index, s.text), s.expected) << s.text;
    EXPECT_EQ(Column0(), (std::vector<std::string>{"d", "a", "c", "b", "e"}));
    EXPECT_EQ(list->GetItemCount(), 5);
}

TEST_F(ReportListTest, RowsKeepEverySubitemWhateverTheColumns)
{
    list->InsertColumn(0, "NUMBER");
    list->InsertColumn(1, "WAVE LENGTH");
    ASSERT_EQ(list->InsertItem(0, "1"), 0);
    EXPECT_TRUE(list->SetItemText(0, 13, "note text"));
    EXPECT_TRUE(list->SetItemText(0, 4, "26-01-02 03:04"));
    EXPECT_EQ(list->GetItemText(0, 0), "1");
    EXPECT_EQ(list->GetItemText(0, 13), "note text");
    EXPECT_EQ(list->GetItemText(0, 4), "26-01-02 03:04");
    EXPECT_EQ(list->GetItemText(0, 7), "");   // between given texts
    EXPECT_EQ(list->GetItemText(0, 14), "");  // beyond them
    EXPECT_EQ(list->GetItemText(1, 0), "");   // no such row
    EXPECT_EQ(list->GetItemText(0, -1), "");
    EXPECT_FALSE(list->SetItemText(1, 0, "x"));
    EXPECT_FALSE(list->SetItemText(-1, 0, "x"));
    EXPECT_FALSE(list->SetItemText(0, -1, "x"));
    EXPECT_TRUE(list->SetItemText(0, 0, "2"));  // subitem 0 is the item text
    EXPECT_EQ(list->GetItemText(0, 0), "2");

    // Deleting every column keeps the texts; new columns show them again.
    while (list->GetColumnCount() > 0) ASSERT_TRUE(list->DeleteColumn(0));
    EXPECT_EQ(list->GetItemText(0, 13), "note text");
    EXPECT_FALSE(list->DeleteColumn(0));
}

TEST_F(ReportListTest, ColumnsInsertedOutOfOrderEndInTableOrder)
{
    // The fourth heading goes to 4 while there are three columns (lands at 3), the fifth at 3
    // pushes it to 4.
    struct Step {
        int index;
        const char* heading;
        int expected;
    };
    const Step steps[] = {{0, "NUMBER", 0},    {1, "WAVE LENGTH", 1}, {2, "POWER", 2},
                          {4, "DATA/TIME", 3}, {3, "REF", 3},         {5, "NOTE", 5}};
    for (const Step& s : steps) EXPECT_EQ(list->InsertColumn(s.index, s.heading), s.expected) << s.heading;
    EXPECT_EQ(Headings(), (std::vector<std::string>{"NUMBER", "WAVE LENGTH", "POWER", "REF", "DATA/TIME", "NOTE"}));
    EXPECT_EQ(list->InsertColumn(-1, "bad"), -1);
    EXPECT_EQ(list->GetColumnCount(), 6);
}

TEST_F(ReportListTest, ColumnFormatsAndWidths)
{
    list->InsertColumn(0, "NUMBER", platform::LVCFMT_IMAGE, 60);
    list->InsertColumn(1, "POWER", platform::LVCFMT_LEFT, 100);
    list->InsertColumn(2, "a rather long heading");  // no width: fits the heading
    EXPECT_EQ(list->GetColumnFormat(0), platform::LVCFMT_IMAGE);
    EXPECT_EQ(list->GetColumnFormat(1), platform::LVCFMT_LEFT);
    EXPECT_EQ(list->GetColumnWidth(0), 60);
    EXPECT_EQ(list->GetColumnWidth(1), 100);
    EXPECT_GT(list->GetColumnWidth(2), list->GetTextExtent("a rather long heading").x);
    EXPECT_TRUE(list->SetColumnWidth(1, 150));
    EXPECT_EQ(list->GetColumnWidth(1), 150);
    EXPECT_FALSE(list->SetColumnWidth(3, 10));
    EXPECT_FALSE(list->SetColumnWidth(-1, 10));
    EXPECT_EQ(list->GetColumnWidth(3), 0);
    EXPECT_EQ(list->GetColumnHeading(3), "");

    // Auto-size fits the widest cell text.
    list->InsertItem(0, "1");
    list->SetItemText(0, 1, "-12.345 dBm and a longer tail");
    ASSERT_TRUE(list->SetColumnWidth(1, platform::LVSCW_AUTOSIZE));
    EXPECT_GT(list->GetColumnWidth(1), list->GetTextExtent("-12.345 dBm and a longer tail").x);
}

TEST_F(ReportListTest, DeleteItemsAndAllItems)
{
    for (const char* t : {"a", "b", "c"}) list->InsertItem(list->GetItemCount(), t);
    list->SetItemText(2, 3, "kept");
    EXPECT_TRUE(list->DeleteItem(0));
    EXPECT_EQ(Column0(), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(list->GetItemText(1, 3), "kept");  // texts move with their row
    EXPECT_FALSE(list->DeleteItem(2));
    EXPECT_FALSE(list->DeleteItem(-1));
    EXPECT_TRUE(list->DeleteAllItems());
    EXPECT_EQ(list->GetItemCount(), 0);
    EXPECT_TRUE(list->DeleteAllItems());  // already empty
    EXPECT_EQ(list->InsertItem(3, "z"), 0);
    EXPECT_EQ(list->GetItemText(0, 3), "");  // a new row does not inherit old texts
}

TEST_F(ReportListTest, LookSettings)
{
    EXPECT_EQ(list->GetExtendedStyle(), 0u);
    const unsigned both = platform::LVS_EX_GRIDLINES | platform::LVS_EX_FULLROWSELECT;
    EXPECT_EQ(list->SetExtendedStyle(both), 0u);
    EXPECT_EQ(list->SetExtendedStyle(platform::LVS_EX_GRIDLINES), both);
    EXPECT_EQ(list->GetExtendedStyle(), platform::LVS_EX_GRIDLINES);
    EXPECT_TRUE(list->SetBkColor(wxColour(204, 204, 204)));
    EXPECT_EQ(list->GetBkColor(), wxColour(204, 204, 204));

    wxFont font = list->GetListFont();
    ASSERT_TRUE(font.IsOk());
    const int rowBefore = list->RowHeight();
    font.SetPointSize(font.GetPointSize() * 2);
    list->SetListFont(font);
    EXPECT_EQ(list->GetListFont().GetPointSize(), font.GetPointSize());
    EXPECT_GT(list->RowHeight(), rowBefore);  // rows grow with the font
}

// Also for a list given its rows while hidden (as the console's records list is): it is sized
// when it is shown.
TEST_F(ReportListTest, VirtualSizeCoversColumnsAndRows)
{
    for (const bool hidden : {false, true}) {
        SCOPED_TRACE(hidden);
        list->DeleteAllItems();
        while (list->GetColumnCount() > 0) list->DeleteColumn(0);
        if (hidden) list->Hide();
        list->InsertColumn(0, "A", platform::LVCFMT_LEFT, 300);
        list->InsertColumn(1, "B", platform::LVCFMT_LEFT, 250);
        for (int i = 0; i < 40; ++i) list->InsertItem(i, std::to_string(i));
        if (hidden) list->Show();
        const wxSize v = list->GetVirtualSize();
        EXPECT_EQ(v.x, 550);
        EXPECT_EQ(v.y, list->HeaderHeight() + 40 * list->RowHeight());
        list->DeleteAllItems();
        EXPECT_LE(list->GetVirtualSize().y, std::max(list->HeaderHeight(), list->GetClientSize().y));
    }
}

TEST_F(ReportListTest, CellGeometryAndHitTest)
{
    list->InsertColumn(0, "A", platform::LVCFMT_LEFT, 60);
    list->InsertColumn(1, "B", platform::LVCFMT_LEFT, 100);
    list->InsertColumn(2, "C", platform::LVCFMT_LEFT, 80);
    for (int i = 0; i < 3; ++i) list->InsertItem(i, std::to_string(i));
    const int h = list->HeaderHeight(), rh = list->RowHeight();
    EXPECT_EQ(list->GetSubItemRect(1, 2), wxRect(160, h + rh, 80, rh));
    EXPECT_EQ(list->GetSubItemRect(0, 0), wxRect(0, h, 60, rh));
    EXPECT_TRUE(list->GetSubItemRect(3, 0).IsEmpty());
    EXPECT_TRUE(list->GetSubItemRect(0, 3).IsEmpty());

    struct Hit {
        wxPoint p;
        bool hit;
        int row, sub;
    };
    const Hit hits[] = {
        {{10, h + 1}, true, 0, 0},
        {{61, h + rh + 2}, true, 1, 1},
        {{239, h + 2 * rh + 1}, true, 2, 2},
        {{240, h + 1}, false, -1, -1},          // right of the columns
        {{10, h - 1}, false, -1, -1},           // on the header
        {{10, h + 3 * rh + 1}, false, -1, -1},  // below the last row
    };
    for (const Hit& t : hits) {
        int row = 7, sub = 7;
        EXPECT_EQ(list->SubItemHitTest(t.p, &row, &sub), t.hit) << t.p.x << "," << t.p.y;
        EXPECT_EQ(row, t.row);
        EXPECT_EQ(sub, t.sub);
    }
}

TEST_F(ReportListTest, PaintsWithNoColumnsAtAll)
{
    list->SetBkColor(wxColour(204, 204, 204));
    list->InsertItem(0, "1");  // a row but no column: nothing to show of it
    const wxImage img = Paint();
    ASSERT_TRUE(img.IsOk());
    EXPECT_TRUE(list->painted.empty());
    EXPECT_EQ(list->headers, 1);
    const wxSize size = list->GetClientSize();
    EXPECT_EQ(Pixel(img, size.x / 2, size.y - 2), wxColour(204, 204, 204));
    EXPECT_NE(Pixel(img, size.x / 2, 2), wxColour(204, 204, 204));  // the header band
}

TEST_F(ReportListTest, PaintsVisibleCellsThroughTheHook)
{
    list->InsertColumn(0, "NUMBER", platform::LVCFMT_IMAGE, 60);
    list->InsertColumn(1, "POWER", platform::LVCFMT_LEFT, 100);
    list->InsertColumn(2, "FAR", platform::LVCFMT_LEFT, 100);
    list->InsertColumn(3, "WIDE", platform::LVCFMT_LEFT, 300);  // starts at 260, runs past the edge
    const int visibleRows = (list->GetClientSize().y - list->HeaderHeight()) / list->RowHeight() + 1;
    for (int i = 0; i < visibleRows + 20; ++i) list->InsertItem(i, std::to_string(i + 1));
    list->SetItemText(0, 1, "WWWW");
    list->painted.clear();
    const wxImage img = Paint();

    // Only rows that meet the client area are painted, each cell with its own rectangle.
    ASSERT_FALSE(list->painted.empty());
    int maxRow = 0;
    for (const auto& p : list->painted) {
        EXPECT_EQ(p.rect, list->GetSubItemRect(p.row, p.subitem));
        maxRow = std::max(maxRow, p.row);
    }
    EXPECT_LE(maxRow, visibleRows);
    EXPECT_EQ(list->painted.size(), static_cast<std::size_t>((maxRow + 1) * 4));

    // The cell with text has ink in it; the empty cell beside it is plain background.
    auto inked = [&](const wxRect& r) {
        for (int y = r.y + 1; y < r.GetBottom(); ++y)
            for (int x = r.x + 1; x < r.GetRight(); ++x)
                if (Pixel(img, x, y) != list->GetBkColor()) return true;
        return false;
    };
    EXPECT_TRUE(inked(list->GetSubItemRect(0, 1)));
    EXPECT_FALSE(inked(list->GetSubItemRect(0, 2)));
}

TEST_F(ReportListTest, GridLinesOnlyWhenAsked)
{
    list->SetBkColor(*wxWHITE);
    list->InsertColumn(0, "A", platform::LVCFMT_LEFT, 60);
    list->InsertColumn(1, "B", platform::LVCFMT_LEFT, 100);
    list->InsertItem(0, "");
    const int y = list->HeaderHeight() + list->RowHeight() / 2;
    const wxImage plain = Paint();
    EXPECT_EQ(Pixel(plain, 59, y), *wxWHITE);
    list->SetExtendedStyle(platform::LVS_EX_GRIDLINES | platform::LVS_EX_FULLROWSELECT);
    const wxImage grid = Paint();
    EXPECT_NE(Pixel(grid, 59, y), *wxWHITE);   // right edge of column 0
    EXPECT_NE(Pixel(grid, 159, y), *wxWHITE);  // right edge of column 1
    EXPECT_EQ(Pixel(grid, 30, y), *wxWHITE);   // inside a cell
    const int rowLine = list->HeaderHeight() + list->RowHeight() - 1;
    EXPECT_NE(Pixel(grid, 30, rowLine), *wxWHITE);                      // under the row
    EXPECT_NE(Pixel(grid, 30, rowLine + list->RowHeight()), *wxWHITE);  // below the rows too
    EXPECT_EQ(Pixel(grid, 200, rowLine), *wxWHITE);                     // not right of the columns
}

TEST_F(ReportListTest, ScrolledPaintKeepsTheHeaderAndMovesTheRows)
{
    list->InsertColumn(0, "A", platform::LVCFMT_LEFT, 60);
    for (int i = 0; i < 100; ++i) list->InsertItem(i, std::to_string(i));
    list->Scroll(0, 10);
    testing_support::PumpEvents(20);
    list->painted.clear();
    list->headers = 0;
    Paint();
    ASSERT_FALSE(list->painted.empty());
    EXPECT_EQ(list->painted.front().row, 10);
    EXPECT_EQ(list->painted.front().rect.y, list->HeaderHeight());
    EXPECT_EQ(list->headers, 1);
    int row = -1, sub = -1;
    ASSERT_TRUE(list->SubItemHitTest(wxPoint(5, list->HeaderHeight() + 1), &row, &sub));
    EXPECT_EQ(row, 10);
}

TEST_F(ReportListTest, OnScreenPaintWithNoColumns)
{
    frame->SetClientSize(420, 220);
    frame->Show();
    testing_support::PumpEvents(100);
    const wxImage shot = testing_support::CaptureWindow(list);
    ASSERT_TRUE(shot.IsOk());
    EXPECT_GT(list->headers, 0);  // the real paint handler ran through the stages
    frame->Hide();
}

}  // namespace
