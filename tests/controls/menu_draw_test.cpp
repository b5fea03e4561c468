// The owner-drawn menu family's measuring and painting: pixel checks of the classic and the flat
// look on a canvas with the fixed system colours, the menu-character lookup and the popup test.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/dc.h>
#include <wx/dcgraph.h>
#include <wx/graphics.h>
#include <wx/image.h>

#include "controls/KiroMenu.h"
#include "tests/controls/menu_tree.h"
#include "tests/support/pixel_canvas.h"
#include "tests/support/test_support.h"

using platform::SysColor;
using testing_support::PixelCanvas;

namespace {

constexpr COLORREF kSentinel = RGB(1, 2, 3);  // what the canvas holds before a paint
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

wxImage Solid(int w, int h, COLORREF c)
{
    wxImage image(w, h);
    image.SetRGB(wxRect(0, 0, w, h), GetRValue(c), GetGValue(c), GetBValue(c));
    return image;
}

// A list of 16 x 15 solid images of the given colours.
CImageList* SolidList(const std::vector<COLORREF>& colours)
{
    auto* list = new CImageList;
    list->Create(16, 15, ILC_COLOR24 | ILC_MASK, 1, 1);
    for (COLORREF c : colours) list->Add(Solid(16, 15, c));
    return list;
}

// A DC over an image that reports a colour depth of its own (a palette device at 8 bits).
class DepthDCImpl : public wxGCDCImpl {
public:
    DepthDCImpl(wxDC* owner, wxGraphicsContext* gc, int depth) : wxGCDCImpl(owner, gc), m_depth(depth) {}
    int GetDepth() const override { return m_depth; }

private:
    int m_depth;
};

class DepthDC : public wxDC {
public:
    DepthDC(wxImage& image, int depth) : wxDC(new DepthDCImpl(this, MakeContext(image), depth)) {}

private:
    static wxGraphicsContext* MakeContext(wxImage& image)
    {
        wxGraphicsContext* gc = wxGraphicsContext::Create(image);
        gc->SetAntialiasMode(wxANTIALIAS_NONE);
        return gc;
    }
};

// The look settings and the system colours as a test left them are put back.
class MenuDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A recognised system without the XP look, classic drawing, no theme to read.
        KiroMenu::s_shellType = 2;
        KiroMenu::s_themeRead = TRUE;
        KiroMenu::s_classicTheme = FALSE;
        KiroMenu::SetDrawMode(0);
        menu.CreatePopupMenu();
    }
    // Paints the record's item of the menu at (x, y), w x h, in the given state.
    DRAWITEMSTRUCT Paint(wxDC& dc, KiroMenuData* record, UINT state, int w, int h, int x = 0, int y = 0,
                         bool viaDrawItem = true)
    {
        DRAWITEMSTRUCT item;
        item.CtlType = ODT_MENU;
        item.itemID = record ? static_cast<UINT>(record->m_commandId) : 0;
        item.itemState = state;
        item.hwndItem = menu.m_hMenu;
        item.hDC = &dc;
        item.rcItem = wxRect(x, y, w, h);
        item.itemData = reinterpret_cast<std::uintptr_t>(record);
        if (viaDrawItem)
            menu.DrawItem(&item);
        else
            menu.DrawItemClassic(&item);
        return item;
    }

    KiroMenu menu;

private:
    menu_tree::SavedLook savedLook_;  // look settings and system colours put back afterwards
};

COLORREF MenuBg() { return SysColor(COLOR_MENU); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Measuring

TEST_F(MenuDraw, MeasuredHeightsOfSeparatorsAndItems)
{
    struct Case {
        const char* name;
        int drawMode;
        int imageHeight;
        bool separator;
        UINT height;
    };
    // The fixed menu height is 19.
    const std::vector<Case> cases = {
        {"classic separator", 0, 15, true, 9},
        {"flat separator", 1, 15, true, 11},
        {"classic item", 0, 15, false, 19},
        {"flat item", 1, 15, false, 22},
        {"classic separator, tall images", 0, 20, true, 12},
        {"classic item, tall images", 0, 20, false, 24},
        {"flat item, small images", 1, 8, false, 19},
        {"flat separator, small images", 1, 4, true, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KiroMenu::SetDrawMode(c.drawMode);
        menu.SetImageSize(16, c.imageHeight);
        KiroMenuData record;
        record.SetCaption("Open");
        if (c.separator) record.m_flags = MF_OWNERDRAW | MF_SEPARATOR;
        MEASUREITEMSTRUCT m;
        m.itemWidth = 77;
        m.itemData = reinterpret_cast<std::uintptr_t>(&record);
        menu.MeasureItem(&m);
        EXPECT_EQ(m.itemHeight, c.height);
        if (c.separator) {
            EXPECT_EQ(m.itemWidth, 0u);
        }
    }
}

TEST_F(MenuDraw, MeasuredWidthAddsTheImageColumnToTheText)
{
    // The text width as the measuring context's font gives it (one unit per character without
    // the toolkit's fonts).
    auto textWidth = [](const std::string& text) -> UINT {
        if (!testing_support::HaveDisplay()) return static_cast<UINT>(platform::Utf8ToUtf16(text).size());
        wxImage canvas(1, 1);
        wxGCDC dc(wxGraphicsContext::Create(canvas));
        dc.SetFont(*wxNORMAL_FONT);
        return static_cast<UINT>(dc.GetTextExtent(wxString::FromUTF8(text)).GetWidth());
    };
    KiroMenu::s_shellType = 1;  // measured in the context's own font
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        KiroMenu::SetDrawMode(mode);
        KiroMenuData record;
        record.SetCaption("Open file");
        MEASUREITEMSTRUCT m;
        m.itemData = reinterpret_cast<std::uintptr_t>(&record);
        menu.MeasureItem(&m);
        const UINT tw = textWidth("Open file");
        EXPECT_EQ(m.itemWidth, mode == 1 ? 16 + 7 + tw + 8 : tw + 2 * 16 + 1);
    }
    // An item without a caption, or without a record, is as wide as the image columns.
    KiroMenu::SetDrawMode(0);
    KiroMenuData empty;
    MEASUREITEMSTRUCT m;
    m.itemData = reinterpret_cast<std::uintptr_t>(&empty);
    menu.MeasureItem(&m);
    EXPECT_EQ(m.itemWidth, 33u);
    MEASUREITEMSTRUCT none;
    menu.MeasureItem(&none);
    EXPECT_EQ(none.itemWidth, 33u);
    EXPECT_EQ(none.itemHeight, 19u);
}

TEST_F(MenuDraw, OnTheOldestSystemsTheTextGrowsByThreeAverageCharacters)
{
    QEL_REQUIRE_DISPLAY();
    KiroMenu::s_shellType = 0;
    KiroMenuData record;
    record.SetCaption("Open");
    MEASUREITEMSTRUCT m;
    m.itemData = reinterpret_cast<std::uintptr_t>(&record);
    menu.MeasureItem(&m);
    wxImage canvas(1, 1);
    wxGCDC dc(wxGraphicsContext::Create(canvas));
    dc.SetFont(*wxNORMAL_FONT);
    wxRect calc(0, 0, 0, 0);
    platform::DrawText(dc, std::string("Open"), calc, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
    UINT tw = static_cast<UINT>(calc.width) + 3;
    tw += 3 * (tw / 4);
    EXPECT_EQ(m.itemWidth, tw + 33);

    // An empty caption has no average character: the width is the rectangle's and 3.
    KiroMenuData empty;
    empty.SetCaption("");
    MEASUREITEMSTRUCT e;
    e.itemData = reinterpret_cast<std::uintptr_t>(&empty);
    menu.MeasureItem(&e);
    EXPECT_EQ(e.itemWidth, 3u + 33u);
}

// ---------------------------------------------------------------------------------------------
// The classic look

TEST_F(MenuDraw, ClassicSeparatorIsAnEtchedLineAcrossTheMiddle)
{
    KiroMenuData* sep = menu_tree::AddSeparator(menu);
    PixelCanvas c(60, 9, kSentinel);
    Paint(c.dc(), sep, 0, 60, 9);
    c.Finish();
    EXPECT_EQ(c.At(30, 3), MenuBg());
    EXPECT_EQ(c.At(30, 4), SysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(c.At(30, 5), SysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(c.At(30, 8), MenuBg());
    EXPECT_EQ(c.Count(wxRect(0, 0, 60, 9), kSentinel), 0);
}

TEST_F(MenuDraw, ClassicSelectionAndTheImageBox)
{
    struct Case {
        const char* name;
        int height;
        int dy;
    };
    const std::vector<Case> cases = {{"23 high", 23, 2}, {"20 high", 20, 0}, {"19 high", 19, 0}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        KiroMenuData* record = menu_tree::AddItem(menu, 1, nullptr);
        record->m_ownImages = SolidList({kRed});
        record->m_imageIndex = 0;
        record->m_ownImageId = 5;
        PixelCanvas c(80, k.height, kSentinel);
        Paint(c.dc(), record, ODS_SELECTED, 80, k.height);
        c.Finish();
        const COLORREF hi = SysColor(COLOR_HIGHLIGHT);
        // The highlight starts 21 pixels in; the strip left of it is left to the image box.
        EXPECT_EQ(c.At(21, 0), hi);
        EXPECT_EQ(c.At(79, k.height - 1), hi);
        EXPECT_EQ(c.At(20, 0), kSentinel);
        // The outer box (20 x 19) is raised: light top and left, shadow bottom and right.
        EXPECT_EQ(c.At(0, k.dy), SysColor(COLOR_BTNHIGHLIGHT));
        EXPECT_EQ(c.At(19, k.dy + 18), SysColor(COLOR_BTNSHADOW));
        EXPECT_EQ(c.At(0, k.dy + 17), SysColor(COLOR_BTNHIGHLIGHT));
        EXPECT_EQ(c.At(19, k.dy + 1), SysColor(COLOR_BTNSHADOW));
        // The image at (2, dy + 2) inside the inner box framed in the background.
        EXPECT_EQ(c.At(1, k.dy + 1), MenuBg());
        EXPECT_EQ(c.At(2, k.dy + 2), kRed);
        EXPECT_EQ(c.At(17, k.dy + 16), kRed);
        EXPECT_EQ(c.At(18, k.dy + 17), MenuBg());
        menu.RemoveItem(0, MF_BYPOSITION);
    }
}

TEST_F(MenuDraw, ClassicImageBoxByState)
{
    const COLORREF bg = MenuBg(), light = SysColor(COLOR_BTNHIGHLIGHT), shadow = SysColor(COLOR_BTNSHADOW);
    struct Case {
        const char* name;
        int shell;
        UINT state;
        COLORREF outerTopLeft;  // at the outer box's corner (0, 2)
        COLORREF innerFill;     // a pixel of the inner box the image leaves free
    };
    const COLORREF checkedFill = KiroMenu::BlendTowardWhite(bg, 0.6);
    const std::vector<Case> cases = {
        {"plain", 2, 0, bg, bg},
        {"checked: sunken, paler", 2, ODS_CHECKED, shadow, checkedFill},
        {"selected and checked: sunken", 2, ODS_SELECTED | ODS_CHECKED, shadow, bg},
        {"later system: checked without 3-D frame", 1, ODS_CHECKED, bg, checkedFill},
        {"later system: selected without 3-D frame", 1, ODS_SELECTED, kSentinel, bg},
    };
    (void)light;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        KiroMenu::s_shellType = k.shell;
        KiroMenuData* record = menu_tree::AddItem(menu, 1, nullptr);
        auto* list = new CImageList;
        list->Create(16, 15, ILC_COLOR24 | ILC_MASK, 1, 1);
        wxImage image = Solid(16, 15, kRed);
        image.SetMaskColour(0, 0, 255);
        image.SetRGB(wxRect(0, 0, 4, 4), 0, 0, 255);  // a transparent corner
        list->Add(image);
        record->m_ownImages = list;
        record->m_imageIndex = 0;
        record->m_ownImageId = 5;
        PixelCanvas c(60, 23, kSentinel);
        Paint(c.dc(), record, k.state, 60, 23);
        c.Finish();
        EXPECT_EQ(c.At(0, 2), k.outerTopLeft);
        EXPECT_EQ(c.At(2, 4), k.innerFill);  // under the transparent corner
        EXPECT_EQ(c.At(10, 10), kRed);
        menu.RemoveItem(0, MF_BYPOSITION);
    }
}

TEST_F(MenuDraw, ClassicStandardCheckMark)
{
    const COLORREF bg = MenuBg();
    struct Case {
        const char* name;
        UINT state;
        bool radio;
        COLORREF fill;
    };
    const std::vector<Case> cases = {
        {"tick", ODS_CHECKED, false, KiroMenu::BlendTowardWhite(bg, 0.6)},
        {"tick, selected", ODS_CHECKED | ODS_SELECTED, false, bg},
        {"radio", ODS_CHECKED, true, KiroMenu::BlendTowardWhite(bg, 0.6)},
    };
    std::vector<int> inkCounts;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        KiroMenuData* record = menu_tree::AddItem(menu, 7, nullptr);
        menu_tree::AddItem(menu, 8, nullptr);
        if (k.radio) platform::CheckMenuRadioItem(menu.m_hMenu, 0, 1, 0, MF_BYPOSITION);
        PixelCanvas c(60, 23, kSentinel);
        Paint(c.dc(), record, k.state, 60, 23);
        c.Finish();
        // The box (1, 4) .. (17, 19) with the glyph in the menu text colour.
        const wxRect box(1, 4, 16, 15);
        EXPECT_EQ(c.At(8, 17), k.fill);
        const int ink = c.Count(box, SysColor(COLOR_MENUTEXT));
        EXPECT_GT(ink, 0);
        inkCounts.push_back(ink);
        if (k.state & ODS_SELECTED) {
            EXPECT_EQ(c.At(21, 0), SysColor(COLOR_HIGHLIGHT));
            EXPECT_EQ(c.At(20, 0), kSentinel);  // checked: the strip is not highlighted
        }
        menu.RemoveItem(0, MF_BYPOSITION);
        menu.RemoveItem(0, MF_BYPOSITION);
    }
    EXPECT_EQ(inkCounts[0], inkCounts[1]);
    EXPECT_NE(inkCounts[0], inkCounts[2]);  // the radio glyph is another shape
}

TEST_F(MenuDraw, ClassicCustomCheckMarkImages)
{
    menu.m_checkMarkImages = SolidList({kGreen, kBlue});
    menu.m_checkMarkId = 300;
    menu.m_checkMarkSelectedId = 301;
    KiroMenuData* record = menu_tree::AddItem(menu, 7, nullptr);
    for (UINT state : {UINT(ODS_CHECKED), UINT(ODS_CHECKED | ODS_SELECTED)}) {
        PixelCanvas c(60, 23, kSentinel);
        Paint(c.dc(), record, state, 60, 23);
        c.Finish();
        EXPECT_EQ(c.At(2, 4), (state & ODS_SELECTED) ? kBlue : kGreen);
        EXPECT_EQ(c.At(0, 2), MenuBg());  // the outer box framed in the background
        EXPECT_EQ(c.Count(wxRect(0, 0, 20, 23), SysColor(COLOR_MENUTEXT)), 0);  // no tick
    }
}

TEST_F(MenuDraw, ClassicDisabledImageIsEmbossedAndKeepsTheHighlight)
{
    KiroMenuData* record = menu_tree::AddItem(menu, 1, nullptr);
    record->m_ownImages = SolidList({kRed});
    record->m_imageIndex = 0;
    record->m_ownImageId = 5;
    for (BOOL dib : {FALSE, TRUE}) {
        SCOPED_TRACE(dib ? "one-bit picture" : "embossed copy");
        menu.m_dibDisabledImages = dib;
        PixelCanvas c(60, 23, kSentinel);
        const DRAWITEMSTRUCT item = Paint(c.dc(), record, ODS_GRAYED | ODS_SELECTED, 60, 23);
        c.Finish();
        EXPECT_EQ(item.itemState, UINT(ODS_GRAYED | ODS_SELECTED));  // selection is kept
        EXPECT_EQ(c.At(21, 5), SysColor(COLOR_HIGHLIGHT));
        // The figure in the shadow colour at the image point, nothing of its own colour.
        EXPECT_EQ(c.At(2, 4), SysColor(COLOR_BTNSHADOW));
        EXPECT_EQ(c.Count(wxRect(0, 0, 60, 23), kRed), 0);
        EXPECT_EQ(c.At(0, 2), MenuBg());
    }
}

TEST_F(MenuDraw, ItemsWithoutRecordArePlain)
{
    PixelCanvas c(40, 19, kSentinel);
    Paint(c.dc(), nullptr, ODS_SELECTED | ODS_CHECKED, 40, 19);
    c.Finish();
    // Checked without record: a tick box, the highlight right of it.
    EXPECT_EQ(c.At(30, 10), SysColor(COLOR_HIGHLIGHT));
    PixelCanvas p(40, 19, kSentinel);
    Paint(p.dc(), nullptr, 0, 40, 19);
    p.Finish();
    EXPECT_EQ(p.Count(wxRect(0, 0, 40, 19), MenuBg()), 40 * 19);
}

TEST_F(MenuDraw, PaletteDevicesAreAlwaysPaintedClassic)
{
    KiroMenu::SetDrawMode(1);
    KiroMenuData* record = menu_tree::AddItem(menu, 1, nullptr);
    for (int depth : {8, 24}) {
        SCOPED_TRACE(depth);
        wxImage image(40, 19);
        {
            DepthDC dc(image, depth);
            EXPECT_EQ(KiroMenu::IsPaletteDevice(dc), depth <= 8 ? TRUE : FALSE);
            Paint(dc, record, 0, 40, 19);
        }
        const COLORREF at = RGB(image.GetRed(2, 5), image.GetGreen(2, 5), image.GetBlue(2, 5));
        // Classic: the menu colour; flat: the tinted bar.
        EXPECT_EQ(at, depth <= 8 ? MenuBg() : KiroMenu::BlendTowardWhite(SysColor(COLOR_BTNFACE), 0.25));
    }
}

TEST_F(MenuDraw, ClassicCaptionPlacesAndColours)
{
    QEL_REQUIRE_DISPLAY();
    const COLORREF bg = MenuBg();
    struct Case {
        const char* name;
        UINT state;
        std::vector<COLORREF> present;
        std::vector<COLORREF> absent;
    };
    const COLORREF hi = SysColor(COLOR_HIGHLIGHT);
    const std::vector<Case> cases = {
        {"plain", 0, {SysColor(COLOR_MENUTEXT)}, {hi}},
        {"selected", ODS_SELECTED, {SysColor(COLOR_HIGHLIGHTTEXT), hi}, {SysColor(COLOR_MENUTEXT)}},
        {"disabled", ODS_GRAYED, {SysColor(COLOR_GRAYTEXT), SysColor(COLOR_BTNHIGHLIGHT)}, {hi}},
        {"disabled and selected: the background colour on the highlight",
         ODS_GRAYED | ODS_SELECTED,
         {bg, hi},
         {SysColor(COLOR_GRAYTEXT), SysColor(COLOR_HIGHLIGHTTEXT)}},
    };
    KiroMenuData* record = menu_tree::AddItem(menu, 1, "Open");
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PixelCanvas c(120, 19, kSentinel);
        Paint(c.dc(), record, k.state, 120, 19);
        c.Finish();
        const wxRect text(25, 0, 95, 19);
        for (COLORREF want : k.present) EXPECT_GT(c.Count(text, want), 0) << std::hex << want;
        for (COLORREF not_ : k.absent) EXPECT_EQ(c.Count(text, not_), 0) << std::hex << not_;
        // The caption starts 25 pixels in.
        const COLORREF ground = (k.state & ODS_SELECTED) ? hi : bg;
        EXPECT_EQ(c.Count(wxRect(21, 0, 4, 19), ground), 4 * 19);
    }
}

TEST_F(MenuDraw, TabsSplitTheCaptionIntoTwoAlignedParts)
{
    QEL_REQUIRE_DISPLAY();
    const COLORREF bg = MenuBg();
    auto paint = [&](const char* caption) {
        KiroMenuData* record = menu_tree::AddItem(menu, 1, caption);
        PixelCanvas c(160, 19, bg);
        Paint(c.dc(), record, 0, 160, 19);
        c.Finish();
        menu.RemoveItem(0, MF_BYPOSITION);
        return c.image().Copy();
    };
    auto inkBox = [&](const wxImage& image, int from, int to) {
        int l = to, r = -1;
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = from; x < to; ++x)
                if (RGB(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)) != bg) {
                    l = std::min(l, x);
                    r = std::max(r, x);
                }
        return std::make_pair(l, r);
    };
    const wxImage open = paint("Open\tCtrl+O");
    const auto left = inkBox(open, 0, 80);
    const auto right = inkBox(open, 80, 160);
    EXPECT_GE(left.first, 25);
    EXPECT_LE(left.first, 27);
    // Right-aligned in a rectangle that ends W (16) pixels short of the item's right edge.
    EXPECT_LE(right.second, 160 - 16 - 1);
    EXPECT_GE(right.second, 160 - 16 - 3);

    // Only the texts before the first and after the last tab are shown.
    const wxImage three = paint("X\tY\tZ");
    const wxImage two = paint("X\tZ");
    EXPECT_TRUE(std::equal(three.GetData(), three.GetData() + 160 * 19 * 3, two.GetData()));
}

// A popup entry carries the submenu arrow at its right end, in its caption's colour, in both
// looks; a command item has none.
TEST_F(MenuDraw, PopupEntriesShowTheSubmenuArrowInTheCaptionsColour)
{
    QEL_REQUIRE_DISPLAY();
    const COLORREF bg = MenuBg(), grey = SysColor(COLOR_GRAYTEXT);
    struct Case {
        const char* name;
        int drawMode;
        UINT state;
        COLORREF arrow;
    };
    const std::vector<Case> cases = {
        {"classic", 0, 0, SysColor(COLOR_MENUTEXT)},
        {"classic selected", 0, ODS_SELECTED, SysColor(COLOR_HIGHLIGHTTEXT)},
        {"classic disabled", 0, ODS_GRAYED, grey},
        {"classic disabled and selected", 0, ODS_GRAYED | ODS_SELECTED, bg},
        {"flat", 1, 0, SysColor(COLOR_MENUTEXT)},
        {"flat selected", 1, ODS_SELECTED, SysColor(COLOR_MENUTEXT)},
        {"flat disabled", 1, ODS_GRAYED, KiroMenu::BlendTowardWhite(grey, 0.4)},
    };
    menu_tree::AddPopup(menu, "More");
    KiroMenuData* entry = menu.m_items.back();
    KiroMenuData* command = menu_tree::AddItem(menu, 7, "Open");
    constexpr int kWidth = 120, kHeight = 20;
    const int x = kWidth - 10, middle = kHeight / 2;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        KiroMenu::SetDrawMode(k.drawMode);
        PixelCanvas c(kWidth, kHeight, kSentinel);
        Paint(c.dc(), entry, k.state, kWidth, kHeight);
        c.Finish();
        for (int y = middle - 3; y <= middle + 3; ++y) EXPECT_EQ(c.At(x, y), k.arrow) << "first column, y " << y;
        EXPECT_EQ(c.At(x + 3, middle), k.arrow) << "the tip";
        EXPECT_NE(c.At(x + 3, middle - 1), k.arrow);
        EXPECT_NE(c.At(x - 1, middle), k.arrow);
        if (k.drawMode == 0 && k.state == ODS_GRAYED) {
            EXPECT_EQ(c.At(x + 1, middle + 4), SysColor(COLOR_BTNHIGHLIGHT)) << "embossed like the caption";
        }

        PixelCanvas plain(kWidth, kHeight, kSentinel);
        Paint(plain.dc(), command, k.state, kWidth, kHeight);
        plain.Finish();
        EXPECT_EQ(plain.At(x, middle), plain.At(x - 3, middle)) << "no arrow on a command item";
    }
}

// ---------------------------------------------------------------------------------------------
// The flat look

class FlatDraw : public MenuDraw {
protected:
    void SetUp() override
    {
        MenuDraw::SetUp();
        KiroMenu::SetDrawMode(1);
        platform::SetFixedSysColor(COLOR_HIGHLIGHT, RGB(49, 106, 197));
    }
    COLORREF Tint() const { return RGB(222, 219, 213); }  // button face (212, 208, 200) blended 0.25
    COLORREF Selection() const { return RGB(224, 232, 246); }
};

TEST_F(FlatDraw, BarAndSelectionColours)
{
    KiroMenuData* record = menu_tree::AddItem(menu, 1, nullptr);
    {
        PixelCanvas c(80, 22, kSentinel);
        Paint(c.dc(), record, 0, 80, 22);
        c.Finish();
        EXPECT_EQ(c.At(22, 10), Tint());  // the bar is 23 pixels wide
        EXPECT_EQ(c.At(23, 10), SysColor(COLOR_WINDOW));
        EXPECT_EQ(c.At(0, 0), Tint());  // the bar's frame over the item's frame
        EXPECT_EQ(c.At(40, 0), SysColor(COLOR_WINDOW));
        EXPECT_EQ(c.At(79, 21), SysColor(COLOR_WINDOW));
        EXPECT_EQ(c.At(1, 1), Tint());
    }
    {
        PixelCanvas c(80, 22, kSentinel);
        Paint(c.dc(), record, ODS_SELECTED, 80, 22);
        c.Finish();
        EXPECT_EQ(c.At(10, 10), Selection());
        EXPECT_EQ(c.At(40, 10), Selection());
        EXPECT_EQ(c.At(0, 0), RGB(49, 106, 197));
        EXPECT_EQ(c.At(79, 21), RGB(49, 106, 197));
    }
    // With the XP look the bar is the button face and the selection paler by 0.7 only.
    KiroMenu::s_shellType = 7;
    {
        PixelCanvas c(80, 22, kSentinel);
        Paint(c.dc(), record, ODS_SELECTED, 80, 22);
        c.Finish();
        EXPECT_EQ(c.At(40, 10), RGB(193, 210, 237));
    }
    {
        PixelCanvas c(80, 22, kSentinel);
        Paint(c.dc(), record, 0, 80, 22);
        c.Finish();
        EXPECT_EQ(c.At(10, 10), SysColor(COLOR_BTNFACE));
    }
}

TEST_F(FlatDraw, SeparatorLeavesTheBarAndEtchesTheRest)
{
    KiroMenuData* sep = menu_tree::AddSeparator(menu);
    PixelCanvas c(80, 11, kSentinel);
    Paint(c.dc(), sep, 0, 80, 11);
    c.Finish();
    EXPECT_EQ(c.At(10, 5), Tint());
    EXPECT_EQ(c.At(22, 5), Tint());
    EXPECT_EQ(c.At(29, 5), SysColor(COLOR_WINDOW));  // the line starts pad (7) right of the bar
    EXPECT_EQ(c.At(30, 5), SysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(c.At(30, 6), SysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(c.At(30, 4), SysColor(COLOR_WINDOW));
    EXPECT_EQ(c.Count(wxRect(0, 0, 80, 11), kSentinel), 0);
}

TEST_F(FlatDraw, CheckBoxIsSixteenSquareInTheBar)
{
    KiroMenuData* record = menu_tree::AddItem(menu, 1, nullptr);
    PixelCanvas c(80, 22, kSentinel);
    Paint(c.dc(), record, ODS_CHECKED, 80, 22);
    c.Finish();
    const COLORREF hc = RGB(49, 106, 197);
    EXPECT_EQ(c.At(3, 3), Tint());
    EXPECT_EQ(c.At(4, 3), hc);    // starts 3 below the top, 4 in
    EXPECT_EQ(c.At(19, 18), hc);  // 16 x 16
    EXPECT_EQ(c.At(20, 18), Tint());
    EXPECT_EQ(c.At(5, 17), KiroMenu::BlendTowardWhite(hc, 0.85));
    EXPECT_GT(c.Count(wxRect(4, 3, 16, 16), SysColor(COLOR_MENUTEXT)), 0);
}

TEST_F(FlatDraw, ImagesRaisedOverTheirShadowUnderThePointerAndFadedElsewhere)
{
    const COLORREF faded = RGB(255, 128, 128), shadow = RGB(90, 90, 90);
    KiroMenuData* record = menu_tree::AddItem(menu, 1, nullptr);
    record->m_ownImages = SolidList({kRed, faded, shadow});
    record->m_imageIndex = 0;
    record->m_ownImageId = 5;
    const COLORREF hc = RGB(49, 106, 197);
    // h = 22: the image point is (4, 4).
    {
        PixelCanvas c(80, 22, kSentinel);
        Paint(c.dc(), record, ODS_SELECTED, 80, 22);
        c.Finish();
        EXPECT_EQ(c.At(3, 3), kRed);  // the image one pixel left and up
        EXPECT_EQ(c.At(18, 17), kRed);
        EXPECT_EQ(c.At(20, 19), shadow);  // the shadow one pixel right and down
        EXPECT_EQ(c.At(2, 2), Selection());
    }
    {
        PixelCanvas c(80, 22, kSentinel);
        Paint(c.dc(), record, ODS_SELECTED | ODS_CHECKED, 80, 22);
        c.Finish();
        EXPECT_EQ(c.At(3, 3), kRed);
        EXPECT_EQ(c.Count(wxRect(0, 0, 80, 22), shadow), 0);  // no shadow when checked
        EXPECT_EQ(c.At(1, 1), hc);                            // the box framed in the highlight
        EXPECT_EQ(c.At(21, 20), hc);
    }
    {
        PixelCanvas c(80, 22, kSentinel);
        Paint(c.dc(), record, 0, 80, 22);
        c.Finish();
        EXPECT_EQ(c.At(4, 4), faded);
        EXPECT_EQ(c.Count(wxRect(0, 0, 80, 22), kRed), 0);
    }
    {
        PixelCanvas c(80, 22, kSentinel);
        Paint(c.dc(), record, ODS_CHECKED, 80, 22);
        c.Finish();
        EXPECT_EQ(c.At(3, 3), kRed);  // checked: the image itself, one pixel left and up
        EXPECT_EQ(c.At(1, 1), hc);
        EXPECT_EQ(c.At(20, 19), KiroMenu::BlendTowardWhite(hc, 0.85));
    }
}

TEST_F(FlatDraw, DisabledItemsAreNeverHighlightedAndComposedOffScreen)
{
    KiroMenuData* record = menu_tree::AddItem(menu, 1, nullptr);
    record->m_ownImages = SolidList({kRed});
    record->m_imageIndex = 0;
    record->m_ownImageId = 5;
    // The item in the middle of a larger canvas: nothing outside its rectangle changes.
    PixelCanvas c(100, 40, kSentinel);
    const DRAWITEMSTRUCT item = Paint(c.dc(), record, ODS_GRAYED | ODS_SELECTED, 80, 22, 10, 9);
    c.Finish();
    EXPECT_EQ(item.itemState, UINT(ODS_GRAYED));
    EXPECT_EQ(c.Count(wxRect(10, 9, 80, 22), Selection()), 0);
    EXPECT_EQ(c.At(10 + 40, 9 + 10), SysColor(COLOR_WINDOW));
    EXPECT_EQ(c.At(10 + 1, 9 + 1), Tint());
    EXPECT_EQ(c.At(10 + 4, 9 + 4), SysColor(COLOR_BTNSHADOW));  // the embossed figure
    EXPECT_EQ(c.Count(wxRect(0, 0, 100, 40), kRed), 0);
    EXPECT_EQ(c.Count(wxRect(0, 0, 100, 40), kSentinel), 100 * 40 - 80 * 22);
}

TEST_F(FlatDraw, CaptionStartsRightOfTheBarInTheTextColours)
{
    QEL_REQUIRE_DISPLAY();
    KiroMenuData* record = menu_tree::AddItem(menu, 1, "Open");
    struct Case {
        const char* name;
        UINT state;
        COLORREF text;
    };
    const std::vector<Case> cases = {
        {"plain", 0, SysColor(COLOR_MENUTEXT)},
        {"selected: the same text colour", ODS_SELECTED, SysColor(COLOR_MENUTEXT)},
        {"disabled", ODS_GRAYED, RGB(178, 178, 178)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PixelCanvas c(120, 22, kSentinel);
        Paint(c.dc(), record, k.state, 120, 22);
        c.Finish();
        EXPECT_GT(c.Count(wxRect(31, 0, 89, 22), k.text), 0);
        EXPECT_EQ(c.Count(wxRect(23, 1, 8, 20), k.text), 0);  // nothing before 31
    }
}

// ---------------------------------------------------------------------------------------------
// Menu characters and the popup registry

TEST(KiroMenuChar, FindsTheFirstCaptionWithTheHotKey)
{
    KiroMenu menu;
    menu.CreatePopupMenu();
    for (const char* caption : {"&Open", "Save &As", "E&xit", "R&&D", "&open again", "Plain"})
        menu_tree::AddItem(menu, 10, caption);
    struct Case {
        UINT ch;
        LRESULT want;
    };
    auto hit = [](int position) { return static_cast<LRESULT>((MNC_EXECUTE << 16) | position); };
    const std::vector<Case> cases = {
        {'o', hit(0)}, {'O', hit(0)}, {'a', hit(1)},
        {'X', hit(2)}, {'d', hit(3)}, {0x100 | 'x', hit(2)},  // only the low byte counts
        {'p', 0},      {'z', 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ch);
        EXPECT_EQ(KiroMenu::FindMenuChar(c.ch, MF_POPUP, &menu), c.want);
    }
    EXPECT_EQ(KiroMenu::FindMenuChar('o', 0, &menu), 0);
    EXPECT_EQ(KiroMenu::FindMenuChar('o', MF_SYSMENU, &menu), 0);
    CMenu plain;
    plain.CreatePopupMenu();
    plain.AppendMenu(MF_STRING, 1, u"&Open");
    EXPECT_EQ(KiroMenu::FindMenuChar('o', MF_POPUP, &plain), 0);
    EXPECT_EQ(KiroMenu::FindMenuChar('o', MF_POPUP, nullptr), 0);
}

TEST(KiroMenuChar, ItemsWithoutRecordsAreResynchronisedFirst)
{
    KiroMenu menu;
    menu.CreatePopupMenu();
    menu_tree::AddItem(menu, 1, "&Open");
    menu.AppendMenu(MF_STRING, 2, u"&Zoom");  // no record yet
    EXPECT_EQ(KiroMenu::FindMenuChar('z', MF_POPUP, &menu), static_cast<LRESULT>((MNC_EXECUTE << 16) | 1));
    ASSERT_EQ(menu.m_items.size(), 2u);
    EXPECT_EQ(menu.m_items[1]->GetCaption(), "&Zoom");
}

TEST(KiroMenuChar, OwnedPopupsAreTheRegisteredOnes)
{
    KiroMenu menu;
    menu.CreatePopupMenu();
    KiroMenu* popup = menu_tree::AddPopup(menu, "File");
    EXPECT_TRUE(KiroMenu::IsOwnedPopup(popup));
    EXPECT_TRUE(KiroMenu::IsOwnedPopup(popup->m_hMenu));
    EXPECT_FALSE(KiroMenu::IsOwnedPopup(&menu));
    EXPECT_FALSE(KiroMenu::IsOwnedPopup(static_cast<CMenu*>(nullptr)));
    EXPECT_FALSE(KiroMenu::IsOwnedPopup(static_cast<HMENU>(nullptr)));
    const HMENU handle = popup->m_hMenu;
    menu.DeleteItem(0, MF_BYPOSITION);
    EXPECT_FALSE(KiroMenu::IsOwnedPopup(handle));
}
