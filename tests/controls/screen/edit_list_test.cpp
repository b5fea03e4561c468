// The editable records list: selecting a cell, editing it in place, and how its cells are drawn.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>
#include <wx/weakref.h>

#include "controls/EditListCtrl.h"
#include "platform/dialog_template.h"
#include "platform/gdi.h"
#include "resources/resource_ids.h"
#include "tests/support/pixel_canvas.h"
#include "tests/support/real_input.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::PixelCanvas;
using testing_support::WaitFor;

// The list with the cursor position under the test's control and its state in view.
class TestList : public CEditListCtrl {
public:
    using CEditListCtrl::CEditListCtrl;
    using CEditListCtrl::HeaderHeight;
    using CEditListCtrl::RowHeight;

    bool cursorInside = true;

    void PaintTo(wxDC& dc) { PaintList(dc); }
    int SelRow() const { return m_selRow; }
    int SelColumn() const { return m_selColumn; }
    bool CellSelected() const { return m_cellSelected != FALSE; }
    bool MousePressed() const { return m_mousePressed != FALSE; }
    CItemEdit& Editor() { return m_editor; }

protected:
    bool CursorInsideList() const override { return cursorInside; }
};

struct Cell {
    int row, column;
};

const wxColour kBk(204, 204, 204);  // the console's grey list background

COLORREF Sys(int index) { return platform::SysColor(index); }
// A colour as a focus rectangle's dot shows it: inverted.
COLORREF Inverted(COLORREF c) { return RGB(255 - GetRValue(c), 255 - GetGValue(c), 255 - GetBValue(c)); }

class EditListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        wasFixed = platform::UsingFixedSystemColors();
        platform::UseFixedSystemColors(true);
        frame = new wxDialog(nullptr, wxID_ANY, "list");
        list = new TestList(frame, 1010, wxPoint(0, 0), wxSize(420, 200));
        other = new wxTextCtrl(frame, wxID_ANY, "", wxPoint(0, 210), wxSize(100, 30));
        list->SetBkColor(kBk);
        const int widths[] = {60, 120, 150, 40};
        const char* headings[] = {"NUMBER", "POWER", "NOTE", "REF"};
        for (int c = 0; c < 4; ++c) list->InsertColumn(c, headings[c], platform::LVCFMT_LEFT, widths[c]);
        const char* texts[3][4] = {
            {"1", "-12.34", "first", "A"}, {"2", "-7.5", "", ""}, {"3", "0.01", "third note", "B"}};
        for (int r = 0; r < 3; ++r) {
            list->InsertItem(r, texts[r][0]);
            for (int c = 1; c < 4; ++c) list->SetItemText(r, c, texts[r][c]);
        }
        // The palette's colours must tell the states apart on the grey background.
        for (int index : {COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, COLOR_WINDOW})
            ASSERT_NE(Sys(index), platform::FromColour(kBk)) << index;
        ASSERT_NE(Sys(COLOR_HIGHLIGHT), Sys(COLOR_HIGHLIGHTTEXT));
    }
    void TearDown() override
    {
        if (frame) frame->Destroy();
        testing_support::PumpEvents(10);
        platform::UseFixedSystemColors(wasFixed);
    }

    wxRect CellRect(Cell c) const { return list->GetSubItemRect(c.row, c.column); }
    wxPoint Inside(Cell c) const
    {
        const wxRect r = CellRect(c);
        return wxPoint(r.x + r.width / 2, r.y + r.height / 2);
    }
    void Press(Cell c) { list->OnLButtonDown(0x0001, Inside(c)); }
    wxPoint EmptySpace() const
    {
        return wxPoint(10, list->HeaderHeight() + list->GetItemCount() * list->RowHeight() + 10);
    }

    // The list painted as its paint handler would, on a canvas as large as its client area.
    void Paint(PixelCanvas& canvas) { list->PaintTo(canvas.dc()); }
    std::unique_ptr<PixelCanvas> Painted()
    {
        const wxSize size = list->GetClientSize();
        auto canvas = std::make_unique<PixelCanvas>(size.x, size.y, RGB(1, 2, 3));
        Paint(*canvas);
        canvas->Finish();
        return canvas;
    }

    // Width of a text as the cell drawing measures it: in the list font on the canvas kind.
    int TextWidth(const std::string& text)
    {
        PixelCanvas canvas(4, 4);
        canvas.dc().SetFont(list->GetFont());
        return canvas.dc().GetTextExtent(wxString::FromUTF8(text)).x;
    }

    // Where the highlight of a cell must be: from the label's left + 4, text width + 6 (an
    // empty text counts 41), never past the label's right edge.
    wxRect ExpectedHighlight(Cell c)
    {
        const wxRect l = CellRect(c);
        const std::string text = list->GetItemText(c.row, c.column);
        const int w = text.empty() ? 41 : TextWidth(text);
        const int right = std::min(l.x + 4 + w + 6, l.x + l.width);
        return wxRect(l.x + 4, l.y, right - (l.x + 4), l.height);
    }

    void SendKey(wxWindow* target, int key)
    {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = key;
        event.SetEventObject(target);
        target->ProcessWindowEvent(event);
    }
    void SendKillFocus(wxWindow* target, wxWindow* next)
    {
        wxFocusEvent event(wxEVT_KILL_FOCUS, target->GetId());
        event.SetWindow(next);
        event.SetEventObject(target);
        target->ProcessWindowEvent(event);
    }

    bool wasFixed = false;
    wxDialog* frame = nullptr;
    TestList* list = nullptr;
    wxTextCtrl* other = nullptr;
};

// The covered span of one pixel row of the cell: the first and last x whose pixel is not the
// list background (the highlight, its focus dots or, for a plain cell, nothing).
std::pair<int, int> CoveredSpan(const PixelCanvas& canvas, const wxRect& cell, int y)
{
    int first = -1, last = -1;
    for (int x = cell.x; x < cell.x + cell.width; ++x) {
        if (canvas.At(x, y) != platform::FromColour(kBk)) {
            if (first < 0) first = x;
            last = x;
        }
    }
    return {first, last};
}

int CountInRow(const PixelCanvas& canvas, int x0, int x1, int y, COLORREF c)
{
    return canvas.Count(wxRect(x0, y, x1 - x0 + 1, 1), c);
}

// ---- selecting a cell ----

TEST_F(EditListTest, FirstPressHighlightsTheCellWithItsFocusRectangle)
{
    struct Case {
        const char* what;
        Cell cell;
    };
    const Case cases[] = {
        {"a number", {0, 1}},
        {"the item text", {2, 0}},
        {"an empty cell: 47 pixels", {1, 2}},
        {"an empty narrow cell: up to the label's right edge", {1, 3}},
        {"a text wider than its cell", {2, 2}},
    };
    list->SetColumnWidth(2, 70);  // "third note" does not fit
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        Press(t.cell);
        EXPECT_EQ(list->SelRow(), t.cell.row);
        EXPECT_EQ(list->SelColumn(), t.cell.column);
        EXPECT_TRUE(list->CellSelected());
        EXPECT_TRUE(list->MousePressed());
        EXPECT_FALSE(list->IsEditingLabel());

        const wxRect h = ExpectedHighlight(t.cell);
        if (std::string(t.what).find("empty cell:") != std::string::npos) {
            EXPECT_EQ(h.width, 47);
        }
        const auto canvas = Painted();
        const wxRect cell = CellRect(t.cell);
        // Rows just inside the highlight's top and bottom edges hold no text: the highlight and
        // its focus dots cover exactly H there.
        for (int y : {h.y + 1, h.y + h.height - 2}) {
            EXPECT_EQ(CoveredSpan(*canvas, cell, y), std::make_pair(h.x, h.x + h.width - 1)) << "row " << y;
            EXPECT_EQ(CountInRow(*canvas, h.x + 1, h.x + h.width - 2, y, Sys(COLOR_HIGHLIGHT)), h.width - 2);
        }
        // The focus rectangle: every other pixel along the top and bottom edges inverts the
        // highlight under it.
        for (int y : {h.y, h.y + h.height - 1}) {
            EXPECT_GE(CountInRow(*canvas, h.x, h.x + h.width - 1, y, Sys(COLOR_HIGHLIGHT)), h.width / 2 - 1);
            EXPECT_GE(CountInRow(*canvas, h.x, h.x + h.width - 1, y, Inverted(Sys(COLOR_HIGHLIGHT))), h.width / 2 - 1);
        }
        // Text in the highlight-text colour; none in the window-text colour.
        const wxRect inner(h.x + 1, h.y + 1, h.width - 2, h.height - 2);
        if (!list->GetItemText(t.cell.row, t.cell.column).empty()) {
            EXPECT_GT(canvas->Count(inner, Sys(COLOR_HIGHLIGHTTEXT)), 0);
        }
        EXPECT_EQ(canvas->Count(inner, Sys(COLOR_WINDOWTEXT)), 0);

        // No other cell is highlighted.
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                if (r != t.cell.row || c != t.cell.column) {
                    EXPECT_EQ(canvas->Count(CellRect({r, c}), Sys(COLOR_HIGHLIGHT)), 0) << r << "," << c;
                }
    }
}

TEST_F(EditListTest, PressOnEmptySpaceClearsTheHighlightButKeepsTheFocusRectangle)
{
    const Cell cell{0, 1};
    Press(cell);
    list->OnLButtonDown(0x0001, EmptySpace());
    EXPECT_FALSE(list->CellSelected());
    EXPECT_TRUE(list->MousePressed());
    EXPECT_EQ(list->SelRow(), 0);
    EXPECT_EQ(list->SelColumn(), 1);

    const auto canvas = Painted();
    const wxRect h = ExpectedHighlight(cell);
    EXPECT_EQ(canvas->Count(CellRect(cell), Sys(COLOR_HIGHLIGHT)), 0);
    // The dots are still there, inverting the plain background now; inside them the plain cell.
    EXPECT_GE(canvas->Count(wxRect(h.x, h.y, h.width, 1), Inverted(platform::FromColour(kBk))), h.width / 2 - 1);
    EXPECT_EQ(canvas->At(h.x + 2, h.y + 1), platform::FromColour(kBk));

    // A press on the same cell again selects it (it is not a second press on a selected cell).
    Press(cell);
    EXPECT_TRUE(list->CellSelected());
    EXPECT_FALSE(list->IsEditingLabel());

    // With the editor open, a press on empty space ends the edit and the cell stays selected.
    Press(cell);
    ASSERT_TRUE(list->IsEditingLabel());
    list->OnLButtonDown(0x0001, EmptySpace());
    EXPECT_FALSE(list->IsEditingLabel());
    EXPECT_TRUE(list->CellSelected());
    EXPECT_GT(Painted()->Count(CellRect(cell), Sys(COLOR_HIGHLIGHT)), 0);
}

TEST_F(EditListTest, HitTestThatFindsNoCellCountsAsEmptySpace)
{
    const wxRect last = CellRect({2, 3});
    const wxPoint misses[] = {
        {last.x + last.width + 5, last.y + 2},  // right of the last column
        {10, 2},                                // on the header
        EmptySpace(),
    };
    for (const wxPoint& p : misses) {
        Press({2, 3});
        ASSERT_TRUE(list->CellSelected());
        list->OnLButtonDown(0x0001, p);
        EXPECT_FALSE(list->CellSelected()) << p.x << "," << p.y;
        EXPECT_FALSE(list->IsEditingLabel());
    }
}

// ---- editing ----

TEST_F(EditListTest, SecondPressOpensTheEditorOnTheCellWithItsText)
{
    const Cell cells[] = {{0, 1}, {2, 2}, {1, 2}, {2, 0}};
    for (const Cell& c : cells) {
        SCOPED_TRACE(testing::Message() << c.row << "," << c.column);
        Press(c);
        EXPECT_FALSE(list->IsEditingLabel());
        Press(c);
        ASSERT_TRUE(list->IsEditingLabel());
        CItemEdit* edit = list->GetEditControl();
        ASSERT_EQ(edit, &list->Editor());
        EXPECT_TRUE(edit->HasWindow());
        EXPECT_TRUE(edit->IsShown());
        EXPECT_EQ(edit->GetValue().utf8_string(), list->GetItemText(c.row, c.column));
        const wxRect cell = CellRect(c);
        EXPECT_EQ(edit->GetRect().x, cell.x + 4);
        EXPECT_EQ(edit->GetRect().y, cell.y);
        // The selection stays while editing.
        EXPECT_TRUE(list->CellSelected());
        SendKey(edit, WXK_ESCAPE);
        EXPECT_FALSE(list->IsEditingLabel());
        EXPECT_FALSE(edit->IsShown());
        EXPECT_FALSE(edit->HasWindow());
    }
}

TEST_F(EditListTest, TheEditorKeepsItsLeftEdgeHoweverItIsMoved)
{
    const Cell c{0, 2};
    Press(c);
    Press(c);
    CItemEdit* edit = list->GetEditControl();
    ASSERT_NE(edit, nullptr);
    const int left = CellRect(c).x + 4;
    edit->SetSize(7, CellRect(c).y, 90, CellRect(c).height);
    EXPECT_EQ(edit->GetRect().x, left);
    EXPECT_EQ(edit->GetRect().width, 90);
    edit->Move(0, 40);
    EXPECT_EQ(edit->GetPosition(), wxPoint(left, 40));
    edit->SetSize(wxDefaultCoord, wxDefaultCoord, 60, wxDefaultCoord);
    EXPECT_EQ(edit->GetRect().x, left);
    EXPECT_EQ(edit->GetRect().width, 60);
    // Typing makes the list size the editor to its text: it grows to the right only.
    edit->SetValue("a much longer text than before");
    EXPECT_EQ(edit->GetRect().x, left);
    EXPECT_GT(edit->GetRect().width, TextWidth("a much longer text than before"));
    SendKey(edit, WXK_ESCAPE);
}

TEST_F(EditListTest, EndingAnEditWritesTheSelectedCellOrNothing)
{
    struct Case {
        const char* how;
        bool written;
        std::function<void(wxTextCtrl*)> end;
    };
    const Case cases[] = {
        {"Enter", true, [this](wxTextCtrl* e) { SendKey(e, WXK_RETURN); }},
        {"keypad Enter", true, [this](wxTextCtrl* e) { SendKey(e, WXK_NUMPAD_ENTER); }},
        {"Escape", false, [this](wxTextCtrl* e) { SendKey(e, WXK_ESCAPE); }},
        {"focus to another control", true, [this](wxTextCtrl* e) { SendKillFocus(e, other); }},
        {"focus out of the program", true, [this](wxTextCtrl* e) { SendKillFocus(e, nullptr); }},
        {"press on another cell", true,
         [this](wxTextCtrl*) {
             Press({0, 1});
         }},
        {"press on empty space", true, [this](wxTextCtrl*) { list->OnLButtonDown(0x0001, EmptySpace()); }},
        {"scrolling", true,
         [this](wxTextCtrl*) {
             wxScrollWinEvent event(wxEVT_SCROLLWIN_LINEDOWN, 0, wxVERTICAL);
             event.SetEventObject(list);
             list->ProcessWindowEvent(event);
         }},
        {"the list's cancel", false, [this](wxTextCtrl*) { list->CancelEditLabel(); }},
        {"editing another row", true,
         [this](wxTextCtrl*) {
             list->EditLabel(0);
             list->CancelEditLabel();
         }},
    };
    const Cell edited{2, 2};
    for (const Case& t : cases) {
        SCOPED_TRACE(t.how);
        // Every row's texts before the edit.
        std::vector<std::vector<std::string>> before(3, std::vector<std::string>(4));
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) before[r][c] = list->GetItemText(r, c);
        list->OnLButtonDown(0x0001, EmptySpace());  // a fresh selection
        Press(edited);
        Press(edited);
        CItemEdit* edit = list->GetEditControl();
        ASSERT_NE(edit, nullptr);
        const std::string typed = std::string("typed by ") + t.how;
        edit->SetValue(wxString::FromUTF8(typed));
        t.end(edit);
        EXPECT_FALSE(list->IsEditingLabel());
        EXPECT_FALSE(list->Editor().IsShown());

        auto expected = before;
        if (t.written) expected[edited.row][edited.column] = typed;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) EXPECT_EQ(list->GetItemText(r, c), expected[r][c]) << r << "," << c;
    }
}

TEST_F(EditListTest, EndOfAnEditClearsTheSelectionOnlyWithTheCursorOutside)
{
    for (bool inside : {true, false}) {
        SCOPED_TRACE(inside ? "cursor over the list" : "cursor outside");
        list->cursorInside = true;
        Press({0, 2});
        Press({0, 2});
        ASSERT_TRUE(list->IsEditingLabel());
        list->cursorInside = inside;
        SendKey(list->GetEditControl(), WXK_RETURN);
        EXPECT_EQ(list->SelRow(), inside ? 0 : -1);
        EXPECT_EQ(list->SelColumn(), inside ? 2 : -1);
        EXPECT_EQ(list->CellSelected(), inside);
        EXPECT_EQ(list->MousePressed(), inside);
    }
}

TEST_F(EditListTest, ThePartOfTheCellRightOfTheEditorShowsTheWindowColour)
{
    const Cell c{0, 2};  // 150 pixels wide, a short text
    const wxRect cell = CellRect(c);
    const int y = cell.y + cell.height / 2;
    const auto plain = Painted();
    EXPECT_EQ(plain->At(cell.x + cell.width - 3, y), platform::FromColour(kBk));

    Press(c);
    Press(c);
    CItemEdit* edit = list->GetEditControl();
    ASSERT_NE(edit, nullptr);
    const wxRect er = edit->GetRect();
    ASSERT_LT(er.x + er.width, cell.x + cell.width - 4);
    const auto editing = Painted();
    for (int x = er.x + er.width; x < cell.x + cell.width; ++x)
        for (int yy : {cell.y, y, cell.y + cell.height - 1})
            ASSERT_EQ(editing->At(x, yy), Sys(COLOR_WINDOW)) << x << "," << yy;
    // Only that part: the next cell and the row below keep the background.
    EXPECT_EQ(editing->At(cell.x + cell.width + 1, y), plain->At(cell.x + cell.width + 1, y));
    EXPECT_NE(editing->At(cell.x + cell.width - 1, cell.y + cell.height), Sys(COLOR_WINDOW));

    // An editor as wide as the cell leaves nothing to fill.
    edit->SetSize(wxDefaultCoord, wxDefaultCoord, cell.width, wxDefaultCoord);
    const auto wide = Painted();
    EXPECT_EQ(wide->Count(wxRect(cell.x + cell.width, cell.y, 30, cell.height), Sys(COLOR_WINDOW)), 0);
    SendKey(edit, WXK_ESCAPE);
    // Once the edit is over, the cell is drawn as a selected cell again.
    const auto after = Painted();
    const wxRect h = ExpectedHighlight(c);
    const wxRect rightOfHighlight(h.x + h.width, cell.y, cell.x + cell.width - (h.x + h.width), cell.height);
    EXPECT_EQ(after->Count(rightOfHighlight, Sys(COLOR_WINDOW)), 0);
    EXPECT_GT(after->Count(h, Sys(COLOR_HIGHLIGHT)), 0);
}

// ---- focus ----

TEST_F(EditListTest, LosingTheFocusClearsTheSelectionOnlyWithTheCursorOutside)
{
    struct Case {
        const char* what;
        bool cursorInside;
        bool toOther;  // the focus goes to another control of the window, else out of the program
        bool cleared;
    };
    const Case cases[] = {
        {"another control, cursor outside", false, true, true},
        {"another control, cursor over the list", true, true, false},
        {"out of the program, cursor outside", false, false, false},
        {"out of the program, cursor over the list", true, false, false},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        list->cursorInside = true;
        Press({2, 1});
        list->cursorInside = t.cursorInside;
        SendKillFocus(list, t.toOther ? other : nullptr);
        EXPECT_EQ(list->SelRow(), t.cleared ? -1 : 2);
        EXPECT_EQ(list->SelColumn(), t.cleared ? -1 : 1);
        EXPECT_EQ(list->CellSelected(), !t.cleared);
        EXPECT_EQ(list->MousePressed(), !t.cleared);
        // What a repaint shows: the highlight, or no trace of the cell (not even its focus dots).
        const auto canvas = Painted();
        const wxRect h = ExpectedHighlight({2, 1});
        if (t.cleared) {
            EXPECT_EQ(CoveredSpan(*canvas, CellRect({2, 1}), h.y), std::make_pair(-1, -1));
        } else {
            EXPECT_GT(canvas->Count(CellRect({2, 1}), Sys(COLOR_HIGHLIGHT)), 0);
        }
    }
}

TEST_F(EditListTest, FocusMovingIntoTheListsOwnEditorKeepsTheEdit)
{
    Press({1, 1});
    Press({1, 1});
    ASSERT_TRUE(list->IsEditingLabel());
    list->cursorInside = false;
    SendKillFocus(list, list->GetEditControl());
    EXPECT_TRUE(list->IsEditingLabel());
    EXPECT_EQ(list->SelColumn(), 1);
    list->GetEditControl()->SetValue("-8.0");
    SendKey(list->GetEditControl(), WXK_RETURN);
    EXPECT_EQ(list->GetItemText(1, 1), "-8.0");
}

// ---- drawing ----

TEST_F(EditListTest, ALongTextIsCutWithAnEllipsisInsideItsCell)
{
    list->SetItemText(0, 2, "-12.345678 dBm at 1550 nm, measured twice");
    list->SetItemText(0, 3, "");
    const wxRect cell = CellRect({0, 2});
    ASSERT_GT(TextWidth(list->GetItemText(0, 2)), cell.width);
    const auto canvas = Painted();
    const COLORREF bk = platform::FromColour(kBk);
    // The text starts 6 pixels in and reaches close to the right edge, but not past it.
    int first = -1, last = -1;
    for (int x = cell.x; x < cell.x + cell.width + 40; ++x)
        for (int y = cell.y; y < cell.y + cell.height; ++y)
            if (canvas->At(x, y) != bk) {
                if (first < 0) first = x;
                last = x;
            }
    ASSERT_GE(first, 0);
    EXPECT_GE(first, cell.x + 6);
    EXPECT_LT(last, cell.x + cell.width);
    EXPECT_GT(last, cell.x + cell.width - 12);
    // The cut ends in dots: the last few columns of ink are only a short band at the baseline.
    const int dotsWidth = TextWidth("...");
    int top = cell.y + cell.height, bottom = -1;
    for (int x = last - dotsWidth / 2; x <= last; ++x)
        for (int y = cell.y; y < cell.y + cell.height; ++y)
            if (canvas->At(x, y) != bk) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(bottom, 0);
    EXPECT_LE(bottom - top + 1, std::max(3, list->GetCharHeight() / 4));
    EXPECT_GT(top, cell.y + cell.height / 2);
}

TEST_F(EditListTest, CellsAreDrawnInTheWindowTextColourAndVerticallyCentred)
{
    const Cell c{2, 2};  // "third note"
    const auto canvas = Painted();
    const wxRect cell = CellRect(c);
    const wxRect ink = [&] {
        int l = 1 << 20, t = 1 << 20, r = -1, b = -1;
        for (int y = cell.y; y < cell.y + cell.height; ++y)
            for (int x = cell.x; x < cell.x + cell.width; ++x)
                if (canvas->At(x, y) != platform::FromColour(kBk)) {
                    l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), b = std::max(b, y);
                }
        return r < 0 ? wxRect() : wxRect(l, t, r - l + 1, b - t + 1);
    }();
    ASSERT_FALSE(ink.IsEmpty());
    EXPECT_GT(canvas->Count(cell, Sys(COLOR_WINDOWTEXT)), 0);
    EXPECT_GE(ink.x, cell.x + 6);
    EXPECT_LE(ink.x, cell.x + 8);
    // No background of its own: a plain cell is the list's background around its text.
    EXPECT_EQ(canvas->At(cell.x + 2, cell.y + 1), platform::FromColour(kBk));
    // Centred: the ink's middle lies within a few pixels of the cell's middle.
    EXPECT_NEAR(ink.y + ink.height / 2.0, cell.y + cell.height / 2.0, 3.0);
}

// ---- the window ----

TEST_F(EditListTest, EditLabelsStyleAndTheEditorsWindowLifetime)
{
    EXPECT_TRUE(list->HasEditLabelsStyle());
    EXPECT_EQ(list->GetEditControl(), nullptr);
    EXPECT_FALSE(list->Editor().HasWindow());
    EXPECT_EQ(list->EditLabel(3), nullptr);  // no such row
    EXPECT_EQ(list->EditLabel(-1), nullptr);
    EXPECT_FALSE(list->IsEditingLabel());

    // The window goes while an edit is open: nothing is left behind and nothing is called on a
    // list half gone.
    Press({0, 1});
    Press({0, 1});
    ASSERT_TRUE(list->IsEditingLabel());
    wxWeakRef<wxWindow> editor(list->GetEditControl());
    wxWeakRef<wxWindow> listWindow(list);
    ASSERT_TRUE(editor);
    const size_t topLevels = wxTopLevelWindows.GetCount();
    frame->Destroy();
    frame = nullptr;
    testing_support::PumpEvents(20);
    EXPECT_FALSE(listWindow) << "the list is gone";
    EXPECT_FALSE(editor) << "the editor went with it";
    EXPECT_EQ(wxTopLevelWindows.GetCount(), topLevels - 1) << "no window of the edit is left behind";
}

// Shown on the shared display, where the keyboard focus matters: it runs alone.
TEST_F(EditListTest, MouseEventsReachThePressHandlerOnScreen)
{
    frame->SetClientSize(440, 260);
    frame->Show();
    testing_support::PumpEvents(50);
    auto click = [&](const wxPoint& p) {
        wxMouseEvent event(wxEVT_LEFT_DOWN);
        event.SetPosition(p);
        event.SetEventObject(list);
        list->ProcessWindowEvent(event);
    };
    click(Inside({1, 1}));
    EXPECT_EQ(list->SelRow(), 1);
    EXPECT_EQ(list->SelColumn(), 1);
    click(Inside({1, 1}));
    ASSERT_TRUE(list->IsEditingLabel());
    EXPECT_EQ(list->GetEditControl()->GetValue(), "-7.5");
    testing_support::PumpEvents(50);
    ASSERT_TRUE(list->IsEditingLabel());
    SendKey(list->GetEditControl(), WXK_ESCAPE);
    EXPECT_EQ(list->GetItemText(1, 1), "-7.5");
    frame->Hide();
}

// On the shown list, clicked with the display's mouse: the dots of the focus rectangle invert the
// highlight under them, and the cells' texts are smoothed like the toolkit's own.
TEST_F(EditListTest, AClickedCellShowsInvertingDotsAndSmoothedTextsOnScreen)
{
    frame->SetClientSize(440, 260);
    frame->Show();
    frame->Raise();
    ASSERT_TRUE(WaitFor([this] { return list->IsShownOnScreen(); }, 3000));
    testing_support::PumpEvents(100);
    const Cell cell{0, 2};  // "first"
    wxUIActionSimulator sim;
    const wxPoint target = list->ClientToScreen(Inside(cell));
    sim.MouseMove(target);
    ASSERT_TRUE(WaitFor([&] { return wxGetMousePosition() == target; }, 3000));
    sim.MouseClick();
    ASSERT_TRUE(
        WaitFor([this] { return list->CellSelected() && list->SelRow() == 0 && list->SelColumn() == 2; }, 3000));
    testing_support::PumpEvents(100);
    const wxImage shot = testing_support::CaptureWindow(list);
    ASSERT_TRUE(shot.IsOk());
    testing_support::SaveWindowPng(frame, std::string(QEL_BINARY_DIR) + "/records-list-focus.png");
    auto at = [&shot](int x, int y) { return RGB(shot.GetRed(x, y), shot.GetGreen(x, y), shot.GetBlue(x, y)); };

    const wxRect h = ExpectedHighlight(cell);
    const COLORREF highlight = Sys(COLOR_HIGHLIGHT);
    for (int y : {h.y, h.y + h.height - 1})
        for (int x = h.x; x < h.x + h.width; ++x)
            ASSERT_EQ(at(x, y), (x + y) % 2 == 0 ? Inverted(highlight) : highlight) << x << "," << y;
    // A cell not selected: its text in the window-text colour with shades toward the background.
    const wxRect other = CellRect({2, 2});
    const COLORREF back = platform::FromColour(kBk), ink = Sys(COLOR_WINDOWTEXT);
    int shades = 0, inked = 0;
    for (int y = other.y; y < other.GetBottom(); ++y)
        for (int x = other.x; x < other.GetRight(); ++x) {
            if (at(x, y) == ink)
                ++inked;
            else if (at(x, y) != back)
                ++shades;
        }
    EXPECT_GT(inked, 0);
    EXPECT_GT(shades, 10) << "smoothed text";
    frame->Hide();
}

// ---- swapping it in for the dialog's plain list ----

TEST(EditListSwap, TakesThePlainListsPlaceAndKeepsTheListOperations)
{
    QEL_REQUIRE_DISPLAY();
    auto* dialog = new wxDialog(nullptr, wxID_ANY, "console");
    const platform::DialogTemplate* tmpl = platform::FindDialogTemplate(IDD_QEL_DIALOG);
    ASSERT_NE(tmpl, nullptr);
    platform::BuildDialog(dialog, *tmpl);
    wxWindow* plain = dialog->FindWindow(IDC_LIST_RECORDS);
    ASSERT_NE(dynamic_cast<platform::ReportList*>(plain), nullptr);
    const wxRect rect = plain->GetRect();
    const bool shown = plain->IsShown();
    wxWindowList& children = dialog->GetChildren();
    const int position = children.IndexOf(plain);

    auto* edit = new CEditListCtrl(dialog, wxID_ANY, wxDefaultPosition, wxDefaultSize);
    ASSERT_TRUE(platform::SwapControl(dialog, IDC_LIST_RECORDS, edit));
    EXPECT_EQ(dialog->FindWindow(IDC_LIST_RECORDS), edit);
    EXPECT_EQ(edit->GetRect(), rect);
    EXPECT_EQ(edit->IsShown(), shown);
    EXPECT_EQ(children.IndexOf(edit), position);
    EXPECT_TRUE(edit->HasEditLabelsStyle());

    // The console's own calls, through the base class it holds.
    auto* records = dynamic_cast<platform::ReportList*>(dialog->FindWindow(IDC_LIST_RECORDS));
    ASSERT_EQ(records, edit);
    records->SetBkColor(wxColour(204, 204, 204));
    records->SetExtendedStyle(platform::LVS_EX_GRIDLINES | platform::LVS_EX_FULLROWSELECT);
    for (int c = 0; c < 12; ++c) records->InsertColumn(c, "H" + std::to_string(c), platform::LVCFMT_LEFT, 50);
    const int row = records->InsertItem(0, "1");
    ASSERT_EQ(row, 0);
    for (int s = 1; s <= 13; ++s) records->SetItemText(row, s, "v" + std::to_string(s));
    EXPECT_EQ(records->GetItemText(0, 13), "v13");
    EXPECT_EQ(records->GetColumnCount(), 12);
    EXPECT_EQ(records->GetBkColor(), wxColour(204, 204, 204));
    while (records->DeleteColumn(0)) {}
    EXPECT_EQ(records->GetColumnCount(), 0);
    EXPECT_TRUE(records->DeleteAllItems());
    EXPECT_EQ(records->GetItemCount(), 0);

    // And it edits in place as a list of its own.
    records->InsertColumn(0, "NUMBER", platform::LVCFMT_LEFT, 80);
    records->InsertColumn(1, "POWER", platform::LVCFMT_LEFT, 80);
    records->InsertItem(0, "1");
    records->SetItemText(0, 1, "-3.2");
    const wxRect cell = records->GetSubItemRect(0, 1);
    const wxPoint p(cell.x + 10, cell.y + 3);
    edit->OnLButtonDown(0x0001, p);
    edit->OnLButtonDown(0x0001, p);
    ASSERT_NE(edit->GetEditControl(), nullptr);
    edit->GetEditControl()->SetValue("-3.3");
    edit->EditLabel(-1);  // cancels
    EXPECT_EQ(records->GetItemText(0, 1), "-3.2");
    dialog->Destroy();
    testing_support::PumpEvents(10);
}

}  // namespace
