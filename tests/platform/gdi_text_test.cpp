// DrawText formats: measuring, alignment, breaking, the ellipsis, clipping and the & prefix.
#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "tests/support/pixel_canvas.h"
#include "tests/support/test_support.h"

using testing_support::PixelCanvas;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

int Width(wxDC& dc, const char* text)
{
    wxCoord w = 0, h = 0;
    dc.GetTextExtent(wxString::FromUTF8(text), &w, &h);
    return w;
}

TEST(GdiText, CalcRectMeasuresWithoutDrawing)
{
    QEL_REQUIRE_DISPLAY();
    PixelCanvas c(300, 100);
    const int line = c.dc().GetCharHeight();
    wxRect r(10, 20, 200, 5);
    EXPECT_EQ(platform::DrawText(c.dc(), std::string("Upload"), r, DT_CALCRECT | DT_SINGLELINE), line);
    EXPECT_EQ(r.x, 10);
    EXPECT_EQ(r.y, 20);
    EXPECT_EQ(r.width, Width(c.dc(), "Upload"));
    EXPECT_EQ(r.height, line);

    wxRect two(0, 0, 200, 5);
    platform::DrawText(c.dc(), std::string("Save\nor print"), two, DT_CALCRECT);
    EXPECT_EQ(two.height, 2 * line);
    EXPECT_EQ(two.width, Width(c.dc(), "or print"));

    wxRect prefixed(0, 0, 200, 5);
    platform::DrawText(c.dc(), std::string("&Exit"), prefixed, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(prefixed.width, Width(c.dc(), "Exit"));
    c.Finish();
    EXPECT_EQ(c.InkBox(), wxRect()) << "DT_CALCRECT draws nothing";
}

TEST(GdiText, WordBreakBreaksAtTheLastBlankThatFits)
{
    QEL_REQUIRE_DISPLAY();
    PixelCanvas c(300, 100);
    const int line = c.dc().GetCharHeight();
    const int w = Width(c.dc(), "Delete all") + 2;
    struct {
        const char* text;
        int lines;
    } cases[] = {
        {"Delete all records", 2},
        {"Delete all", 1},
        {"Delete all Delete all", 2},
        {"a b c d e f g h i j k l m n o p q r s t u v w x y z a b c d e f g h i j", 0},
        {"", 1},
    };
    for (const auto& k : cases) {
        wxRect r(0, 0, w, 5);
        platform::DrawText(c.dc(), std::string(k.text), r, DT_CALCRECT | DT_WORDBREAK | DT_CENTER);
        if (k.lines > 0)
            EXPECT_EQ(r.height, k.lines * line) << k.text;
        else
            EXPECT_GT(r.height, 2 * line) << k.text;
        EXPECT_LE(r.width, w) << k.text;
    }
    wxRect single(0, 0, w, 5);
    platform::DrawText(c.dc(), std::string("Delete all records"), single, DT_CALCRECT | DT_SINGLELINE | DT_WORDBREAK);
    EXPECT_EQ(single.height, line) << "a single line never breaks";
}

TEST(GdiText, AlignmentFlagsPlaceTheInk)
{
    QEL_REQUIRE_DISPLAY();
    struct Case {
        UINT format;
        const char* name;
    } cases[] = {
        {DT_SINGLELINE | DT_LEFT, "left"},     {DT_SINGLELINE | DT_CENTER, "center"},
        {DT_SINGLELINE | DT_RIGHT, "right"},   {DT_SINGLELINE | DT_VCENTER | DT_CENTER, "vcenter"},
        {DT_SINGLELINE | DT_BOTTOM, "bottom"},
    };
    const wxRect box(20, 10, 200, 60);
    for (const Case& k : cases) {
        PixelCanvas c(240, 80);
        wxRect r = box;
        platform::DrawText(c.dc(), std::string("MMMM"), r, k.format);
        c.Finish();
        const wxRect ink = c.InkBox();
        ASSERT_FALSE(ink.IsEmpty()) << k.name;
        const int left = ink.x - box.x, right = box.GetRight() - ink.GetRight();
        const int top = ink.y - box.y, bottom = box.GetBottom() - ink.GetBottom();
        SCOPED_TRACE(k.name);
        if (k.format & DT_CENTER)
            EXPECT_LE(std::abs(left - right), 3);
        else if (k.format & DT_RIGHT)
            EXPECT_LE(right, 3);
        else
            EXPECT_LE(left, 3);
        if (k.format & DT_VCENTER)
            EXPECT_LE(std::abs(top - bottom), 6);
        else if (k.format & DT_BOTTOM)
            EXPECT_LT(bottom, 10);
        else
            EXPECT_LT(top, 10);
    }
}

TEST(GdiText, VerticalCentringNeedsASingleLine)
{
    QEL_REQUIRE_DISPLAY();
    PixelCanvas c(240, 80);
    wxRect r(0, 0, 240, 80);
    platform::DrawText(c.dc(), std::string("MMMM"), r, DT_VCENTER);
    c.Finish();
    EXPECT_LT(c.InkBox().y, 10);
}

TEST(GdiText, EndEllipsisCutsWhatDoesNotFit)
{
    QEL_REQUIRE_DISPLAY();
    PixelCanvas c(300, 40);
    const int w = Width(c.dc(), "Calibrate");
    wxRect measure(0, 0, w, 20);
    platform::DrawText(c.dc(), std::string("Calibrate the power meter"), measure,
                       DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_LE(measure.width, w);
    wxRect r(0, 0, w, 20);
    platform::DrawText(c.dc(), std::string("Calibrate the power meter"), r, DT_SINGLELINE | DT_END_ELLIPSIS);
    c.Finish();
    const wxRect ink = c.InkBox();
    EXPECT_LE(ink.GetRight(), w - 1);
    EXPECT_GT(ink.width, w / 2);

    // The cut text ends in three dots: its last columns match those of a drawn "...".
    PixelCanvas dots(300, 40);
    const int cutWidth = measure.width;
    const int dotsWidth = Width(dots.dc(), "...");
    wxRect d(cutWidth - dotsWidth, 0, 100, 20);
    platform::DrawText(dots.dc(), std::string("..."), d, DT_SINGLELINE | DT_NOCLIP);
    dots.Finish();
    for (int y = 0; y < 20; ++y)
        for (int x = cutWidth - dotsWidth; x < cutWidth; ++x) ASSERT_EQ(c.At(x, y), dots.At(x, y)) << x << "," << y;
}

TEST(GdiText, TextIsClippedUnlessNoClip)
{
    QEL_REQUIRE_DISPLAY();
    for (const bool noClip : {false, true}) {
        PixelCanvas c(300, 40);
        wxRect r(10, 5, 12, 20);
        platform::DrawText(c.dc(), std::string("MMMMMMMM"), r, DT_SINGLELINE | (noClip ? DT_NOCLIP : 0));
        c.Finish();
        if (noClip)
            EXPECT_GT(c.InkBox().GetRight(), 30);
        else
            EXPECT_LE(c.InkBox().GetRight(), 21);
    }
}

TEST(GdiText, PrefixUnderlinesItsCharacter)
{
    QEL_REQUIRE_DISPLAY();
    auto draw = [](const char* text, UINT format) {
        auto c = std::make_unique<PixelCanvas>(200, 40);
        wxRect r(0, 0, 200, 40);
        platform::DrawText(c->dc(), std::string(text), r, DT_SINGLELINE | format);
        c->Finish();
        return c;
    };
    auto plain = draw("Exit", 0);
    auto prefixed = draw("&Exit", 0);
    auto hidden = draw("&Exit", DT_HIDEPREFIX);
    auto noPrefix = draw("&Exit", DT_NOPREFIX);
    const wxRect a = plain->InkBox(), b = prefixed->InkBox();
    for (int y = a.y; y <= a.GetBottom(); ++y)
        for (int x = a.x; x <= a.GetRight(); ++x)
            ASSERT_EQ(prefixed->At(x, y), plain->At(x, y)) << "the & takes no room: " << x << "," << y;
    EXPECT_GT(b.GetBottom(), a.GetBottom()) << "an underline below the text";
    // The underline spans the E only.
    const int row = b.GetBottom();
    int first = -1, last = -1;
    for (int x = 0; x < 200; ++x)
        if (prefixed->At(x, row) != kWhite) {
            if (first < 0) first = x;
            last = x;
        }
    EXPECT_LE(last, b.x + b.width / 2);
    EXPECT_EQ(hidden->InkBox(), a);
    EXPECT_GT(noPrefix->InkBox().width, a.width) << "DT_NOPREFIX shows the &";
    auto amp = draw("A&&B", 0);
    auto ampPlain = draw("A&B", DT_NOPREFIX);
    EXPECT_EQ(amp->InkBox(), ampPlain->InkBox());
}

TEST(GdiText, StateTextDisabledIsDrawnTwice)
{
    QEL_REQUIRE_DISPLAY();
    platform::UseFixedSystemColors(true);
    PixelCanvas c(100, 40, RGB(0, 128, 0));
    platform::DrawStateText(c.dc(), "Reset", 5, 5, DSS_DISABLED);
    c.Finish();
    EXPECT_GT(c.Count(wxRect(0, 0, 100, 40), platform::SysColor(COLOR_BTNHIGHLIGHT)), 5);
    EXPECT_GT(c.Count(wxRect(0, 0, 100, 40), platform::SysColor(COLOR_BTNSHADOW)), 5);
    platform::UseFixedSystemColors(false);
}

}  // namespace
