// Frames, edges, lines, the focus rectangle and state drawing, checked pixel by pixel.
#include <gtest/gtest.h>
#include <wx/graphics.h>

#include "platform/gdi.h"
#include "tests/support/pixel_canvas.h"

using testing_support::PixelCanvas;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

class GdiDrawing : public ::testing::Test {
protected:
    void SetUp() override { platform::UseFixedSystemColors(true); }
    void TearDown() override
    {
        platform::RestoreFixedSystemColors();
        platform::UseFixedSystemColors(false);
    }
};

TEST_F(GdiDrawing, FillAndFrameCoverExactlyTheirPixels)
{
    PixelCanvas c(20, 20);
    platform::FillSolidRect(c.dc(), wxRect(2, 3, 5, 4), kRed);
    platform::FrameRect(c.dc(), wxRect(10, 10, 6, 5), kBlue);
    platform::FillSolidRect(c.dc(), wxRect(0, 0, 0, 5), kBlue);  // empty: nothing
    c.Finish();
    EXPECT_EQ(c.InkBox(), wxRect(2, 3, 14, 12));
    EXPECT_EQ(c.Count(wxRect(2, 3, 5, 4), kRed), 20);
    EXPECT_EQ(c.Count(wxRect(0, 0, 20, 20), kRed), 20);
    // Frame: 2 * 6 + 2 * 3 pixels, the inside untouched.
    EXPECT_EQ(c.Count(wxRect(10, 10, 6, 5), kBlue), 18);
    EXPECT_EQ(c.Count(wxRect(11, 11, 4, 3), kWhite), 12);
    EXPECT_EQ(c.At(15, 14), kBlue);
    EXPECT_EQ(c.At(16, 14), kWhite);
}

TEST_F(GdiDrawing, Draw3dRectGivesTheFarCornersToTheSecondColour)
{
    PixelCanvas c(10, 10);
    platform::Draw3dRect(c.dc(), wxRect(1, 1, 5, 4), kRed, kBlue);
    c.Finish();
    struct {
        int x, y;
        COLORREF want;
    } cases[] = {
        {1, 1, kRed},  {4, 1, kRed},  {5, 1, kBlue},  // top-right corner: second colour
        {1, 3, kRed},  {1, 4, kBlue},                 // bottom-left corner: second colour
        {5, 4, kBlue}, {3, 4, kBlue}, {5, 2, kBlue}, {2, 2, kWhite}, {6, 1, kWhite}, {1, 5, kWhite},
    };
    for (const auto& k : cases) EXPECT_EQ(c.At(k.x, k.y), k.want) << k.x << "," << k.y;
}

TEST_F(GdiDrawing, LinesLeaveOutTheirEndPoint)
{
    struct Case {
        int x0, y0, x1, y1;
        wxRect ink;  // expected bounding box
        int count;
    } cases[] = {
        {2, 5, 8, 5, wxRect(2, 5, 6, 1), 6},  // rightwards: x = 2..7
        {8, 5, 2, 5, wxRect(3, 5, 6, 1), 6},  // leftwards: x = 8..3
        {4, 1, 4, 9, wxRect(4, 1, 1, 8), 8},  // down
        {4, 9, 4, 1, wxRect(4, 2, 1, 8), 8},  // up
        {1, 1, 5, 5, wxRect(1, 1, 4, 4), 4},  // diagonal: (1,1)..(4,4)
        {3, 3, 3, 3, wxRect(), 0},            // no length: nothing
    };
    for (const Case& k : cases) {
        PixelCanvas c(12, 12);
        platform::DrawLine(c.dc(), k.x0, k.y0, k.x1, k.y1, kRed);
        c.Finish();
        EXPECT_EQ(c.InkBox(), k.ink) << k.x0 << "," << k.y0 << " -> " << k.x1 << "," << k.y1;
        EXPECT_EQ(c.Count(wxRect(0, 0, 12, 12), kRed), k.count);
    }
}

TEST_F(GdiDrawing, PenMovesAndDrawsConnectedLines)
{
    PixelCanvas c(10, 10);
    platform::LinePen pen(c.dc(), kRed);
    pen.MoveTo(1, 8);
    pen.LineTo(1, 1);
    pen.LineTo(8, 1);
    c.Finish();
    EXPECT_EQ(c.At(1, 8), kRed);  // the start point is drawn
    EXPECT_EQ(c.At(1, 1), kRed);  // the corner: the second line's start
    EXPECT_EQ(c.At(7, 1), kRed);
    EXPECT_EQ(c.At(8, 1), kWhite);  // the last end point is not
    EXPECT_EQ(c.Count(wxRect(0, 0, 10, 10), kRed), 14);
}

TEST_F(GdiDrawing, EdgesTakeTheSystemColoursOfEachRing)
{
    const COLORREF light = platform::SysColor(COLOR_3DLIGHT), dark = platform::SysColor(COLOR_3DDKSHADOW);
    const COLORREF hi = platform::SysColor(COLOR_BTNHIGHLIGHT), shadow = platform::SysColor(COLOR_BTNSHADOW);
    struct Case {
        UINT edge, flags;
        COLORREF outerTL, outerBR, innerTL, innerBR;
    } cases[] = {
        {EDGE_RAISED, BF_RECT, light, dark, hi, shadow},
        {EDGE_SUNKEN, BF_RECT, shadow, hi, dark, light},
        {EDGE_ETCHED, BF_RECT, shadow, hi, hi, shadow},
        {EDGE_BUMP, BF_RECT, light, dark, dark, light},
        {EDGE_RAISED, BF_RECT | BF_SOFT, hi, dark, light, shadow},
        {EDGE_SUNKEN, BF_RECT | BF_FLAT, shadow, shadow, platform::SysColor(COLOR_BTNFACE),
         platform::SysColor(COLOR_BTNFACE)},
    };
    for (const Case& k : cases) {
        PixelCanvas c(12, 12);
        wxRect r(1, 1, 10, 10);
        EXPECT_TRUE(platform::DrawEdge(c.dc(), r, k.edge, k.flags));
        EXPECT_EQ(r, wxRect(1, 1, 10, 10)) << "without BF_ADJUST the rectangle stays";
        c.Finish();
        SCOPED_TRACE(testing::Message() << "edge " << k.edge << " flags " << k.flags);
        EXPECT_EQ(c.At(1, 5), k.outerTL);
        EXPECT_EQ(c.At(5, 1), k.outerTL);
        EXPECT_EQ(c.At(10, 5), k.outerBR);
        EXPECT_EQ(c.At(5, 10), k.outerBR);
        EXPECT_EQ(c.At(2, 5), k.innerTL);
        EXPECT_EQ(c.At(5, 2), k.innerTL);
        EXPECT_EQ(c.At(9, 5), k.innerBR);
        EXPECT_EQ(c.At(5, 9), k.innerBR);
        EXPECT_EQ(c.At(5, 5), kWhite);  // no BF_MIDDLE: the inside untouched
    }
}

TEST_F(GdiDrawing, EdgeAdjustMiddleAndPartialSides)
{
    PixelCanvas c(30, 12);
    wxRect r(1, 1, 10, 10);
    platform::DrawEdge(c.dc(), r, EDGE_SUNKEN, BF_RECT | BF_ADJUST | BF_MIDDLE);
    EXPECT_EQ(r, wxRect(3, 3, 6, 6));
    wxRect top(15, 1, 10, 10);
    platform::DrawEdge(c.dc(), top, BDR_RAISEDINNER, BF_TOP | BF_ADJUST);
    EXPECT_EQ(top, wxRect(15, 2, 10, 9));
    c.Finish();
    EXPECT_EQ(c.At(5, 5), platform::SysColor(COLOR_BTNFACE));
    EXPECT_EQ(c.At(17, 1), platform::SysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(c.At(15, 5), kWhite);   // no left side
    EXPECT_EQ(c.At(17, 10), kWhite);  // no bottom side
}

TEST_F(GdiDrawing, FocusRectangleInvertsTheDotsAndASecondDrawErasesIt)
{
    // Over two backgrounds, with smoothing off and on: every other pixel of the frame is
    // inverted exactly, nothing else changes, and drawing again puts the pixels back.
    const COLORREF face = RGB(212, 208, 200), highlight = RGB(10, 36, 106);
    auto inverted = [](COLORREF c) { return RGB(255 - GetRValue(c), 255 - GetGValue(c), 255 - GetBValue(c)); };
    EXPECT_EQ(inverted(face), RGB(43, 47, 55));
    const wxRect r(3, 4, 11, 7);
    for (const wxAntialiasMode mode : {wxANTIALIAS_NONE, wxANTIALIAS_DEFAULT}) {
        SCOPED_TRACE(mode == wxANTIALIAS_NONE ? "smoothing off" : "smoothing on");
        auto background = [&](int x, int) { return x < 8 ? face : highlight; };
        PixelCanvas once(20, 20), twice(20, 20);
        for (PixelCanvas* c : {&once, &twice}) {
            c->dc().GetGraphicsContext()->SetAntialiasMode(mode);
            platform::FillSolidRect(c->dc(), wxRect(0, 0, 8, 20), face);
            platform::FillSolidRect(c->dc(), wxRect(8, 0, 12, 20), highlight);
            platform::DrawFocusRect(c->dc(), r);
        }
        platform::DrawFocusRect(twice.dc(), r);
        platform::FillSolidRect(once.dc(), wxRect(0, 19, 1, 1), face);  // the DC still paints after it
        once.Finish();
        twice.Finish();
        int dots = 0;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                const bool onFrame =
                    r.Contains(x, y) && (x == r.x || y == r.y || x == r.GetRight() || y == r.GetBottom());
                const bool dot = onFrame && (x + y) % 2 == 0;
                ASSERT_EQ(once.At(x, y), dot ? inverted(background(x, y)) : background(x, y)) << x << "," << y;
                ASSERT_EQ(twice.At(x, y), background(x, y)) << x << "," << y;
                if (dot) ++dots;
            }
        }
        EXPECT_EQ(dots, 16);
    }
}

TEST_F(GdiDrawing, ShapesAndImagesComeOutTheSameWithSmoothingOn)
{
    // The helpers fill whole pixels: a caller may leave smoothing on (for its text) and still
    // get exactly the pixels it gets with smoothing off.
    wxImage image(5, 4);
    image.SetRGB(wxRect(0, 0, 5, 4), 0, 128, 0);
    image.SetRGB(2, 1, 255, 255, 255);
    auto paint = [&image](wxDC& dc) {
        platform::FillSolidRect(dc, wxRect(1, 1, 30, 20), RGB(212, 208, 200));
        platform::FrameRect(dc, wxRect(2, 2, 12, 9), kBlue);
        platform::Draw3dRect(dc, wxRect(16, 2, 10, 8), kRed, kBlue);
        platform::DrawLine(dc, 3, 14, 12, 19, kRed);
        platform::DrawLine(dc, 20, 19, 28, 12, kBlue);
        wxRect edge(2, 22, 14, 8);
        platform::DrawEdge(dc, edge, EDGE_SUNKEN, BF_RECT | BF_MIDDLE);
        wxRect etched(18, 24, 12, 4);
        platform::DrawEdge(dc, etched, EDGE_ETCHED, BF_TOP);
        platform::DrawState(dc, image, 4, 4, 0, 0, DSS_NORMAL);
        platform::DrawState(dc, image, 18, 13, 0, 0, DSS_DISABLED);
        platform::DrawFocusRect(dc, wxRect(1, 1, 30, 20));
    };
    PixelCanvas off(32, 32), on(32, 32);
    on.dc().GetGraphicsContext()->SetAntialiasMode(wxANTIALIAS_DEFAULT);
    paint(off.dc());
    paint(on.dc());
    off.Finish();
    on.Finish();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(on.At(x, y), off.At(x, y)) << x << "," << y;
    EXPECT_GT(off.Count(wxRect(0, 0, 32, 32), kRed), 10);  // something was drawn
}

// A 4 x 3 image: red ink, one white pixel, one fully transparent pixel.
wxImage SmallImage()
{
    wxImage img(4, 3);
    img.SetRGB(wxRect(0, 0, 4, 3), 255, 0, 0);
    img.InitAlpha();
    img.SetRGB(1, 1, 255, 255, 255);
    img.SetAlpha(2, 2, 0);
    return img;
}

TEST_F(GdiDrawing, StateDrawingNormalAndEmbossed)
{
    const COLORREF bg = RGB(0, 128, 0);
    const COLORREF hi = platform::SysColor(COLOR_BTNHIGHLIGHT), shadow = platform::SysColor(COLOR_BTNSHADOW);
    {
        PixelCanvas c(10, 10, bg);
        platform::DrawState(c.dc(), SmallImage(), 2, 2, 0, 0, DSS_NORMAL);
        c.Finish();
        EXPECT_EQ(c.At(2, 2), kRed);
        EXPECT_EQ(c.At(3, 3), kWhite);
        EXPECT_EQ(c.At(4, 4), bg);  // transparent pixel
        EXPECT_EQ(c.InkBox(bg), wxRect(2, 2, 4, 3));
    }
    {
        PixelCanvas c(10, 10, bg);
        platform::DrawState(c.dc(), SmallImage(), 2, 2, 0, 0, DSS_DISABLED);
        c.Finish();
        EXPECT_EQ(c.At(2, 2), shadow);  // ink in the shadow colour in place
        EXPECT_EQ(c.At(6, 5), hi);      // ink (3, 2) shifted by (1, 1) in the highlight
        EXPECT_EQ(c.At(6, 2), bg);
        EXPECT_EQ(c.At(3, 3), hi);  // white is no ink: only the highlight of ink (0, 0) lands there
        EXPECT_EQ(c.At(4, 4), bg);  // transparent, and its upper-left neighbour is white: nothing
    }
}

TEST_F(GdiDrawing, StateDrawingClipsToTheExtent)
{
    PixelCanvas c(10, 10);
    platform::DrawState(c.dc(), SmallImage(), 1, 1, 2, 2, DSS_NORMAL);
    c.Finish();
    EXPECT_EQ(c.InkBox(), wxRect(1, 1, 2, 2));
}

}  // namespace
