// Pixel transforms on images and the system colour provider.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/settings.h>

#include "platform/gdi.h"
#include "platform/gui_app.h"

namespace {

COLORREF Pixel(const wxImage& img, int x, int y)
{
    return RGB(img.GetRed(x, y), img.GetGreen(x, y), img.GetBlue(x, y));
}

TEST(GdiColours, GreyValuesTruncateTheWeightedSum)
{
    struct {
        COLORREF c;
        int grey;
    } cases[] = {
        {RGB(255, 0, 0), 76},      {RGB(0, 255, 0), 149}, {RGB(0, 0, 255), 29}, {RGB(255, 255, 255), 255},
        {RGB(128, 128, 128), 127}, {RGB(1, 1, 1), 0},     {RGB(0, 0, 0), 0},
    };
    for (const auto& k : cases) EXPECT_EQ(platform::GreyValue(k.c), k.grey) << std::hex << k.c;
}

TEST(GdiColours, DarkenColorByAFactor)
{
    struct {
        COLORREF c;
        double factor;
        COLORREF want;
    } cases[] = {
        {RGB(200, 100, 4), 0.25, RGB(150, 75, 3)},       {RGB(255, 255, 255), 0.25, RGB(191, 191, 191)},
        {RGB(200, 100, 4), 0.0, RGB(200, 100, 4)},       {RGB(200, 100, 4), 1.5, RGB(200, 100, 4)},
        {RGB(200, 100, 4), -0.5, RGB(200, 100, 4)},      {RGB(200, 100, 4), 1.0, RGB(0, 0, 0)},
        {0xFF000000u | RGB(8, 8, 8), 0.5, RGB(4, 4, 4)},  // the top byte is cleared
    };
    for (const auto& k : cases) EXPECT_EQ(platform::DarkenColor(k.c, k.factor), k.want) << k.factor;
}

TEST(GdiColours, FixedPaletteAndMetrics)
{
    platform::UseFixedSystemColors(true);
    EXPECT_EQ(platform::SysColor(COLOR_BTNFACE), RGB(212, 208, 200));
    EXPECT_EQ(platform::SysColor(COLOR_BTNSHADOW), RGB(128, 128, 128));
    EXPECT_EQ(platform::SysColor(COLOR_BTNHILIGHT), RGB(255, 255, 255));
    EXPECT_EQ(platform::SysColor(COLOR_3DDKSHADOW), RGB(64, 64, 64));
    EXPECT_EQ(platform::SysColor(COLOR_BTNTEXT), RGB(0, 0, 0));
    EXPECT_EQ(platform::SysColor(COLOR_HIGHLIGHT), RGB(10, 36, 106));
    EXPECT_EQ(platform::SysColor(-1), 0u);
    EXPECT_EQ(platform::SysColor(31), 0u);
    EXPECT_EQ(platform::SysMetric(SM_CXICON), 32);
    EXPECT_EQ(platform::SysMetric(SM_CYSMICON), 16);
    EXPECT_EQ(platform::SysMetric(SM_CXEDGE), 2);
    EXPECT_EQ(platform::SysMetric(9999), 0);
    platform::SetFixedSysColor(COLOR_BTNFACE, RGB(1, 2, 3));
    EXPECT_EQ(platform::SysColor(COLOR_BTNFACE), RGB(1, 2, 3));
    platform::RestoreFixedSystemColors();
    EXPECT_EQ(platform::SysColor(COLOR_BTNFACE), RGB(212, 208, 200));
    platform::UseFixedSystemColors(false);
}

TEST(GdiColours, LiveColoursComeFromTheDesktopOnlyWithADisplay)
{
    platform::UseFixedSystemColors(false);
    const COLORREF face = platform::SysColor(COLOR_BTNFACE);
    if (platform::HaveGuiApp()) {
        EXPECT_EQ(face, platform::FromColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
    } else {
        EXPECT_EQ(face, RGB(212, 208, 200));  // no display: the fixed palette, no crash
    }
    EXPECT_GT(platform::SysMetric(SM_CXICON), 0);
}

// A 3 x 2 image: red, green, blue / white, the key colour, black; alpha on (1, 0).
wxImage Sample()
{
    wxImage img(3, 2);
    img.SetRGB(0, 0, 255, 0, 0);
    img.SetRGB(1, 0, 0, 255, 0);
    img.SetRGB(2, 0, 0, 0, 255);
    img.SetRGB(0, 1, 255, 255, 255);
    img.SetRGB(1, 1, 255, 0, 255);
    img.SetRGB(2, 1, 0, 0, 0);
    img.InitAlpha();
    img.SetAlpha(1, 0, 77);
    return img;
}

TEST(GdiImages, GreyAndDarkerCopiesKeepTheKeyColourAndAlpha)
{
    const COLORREF key = RGB(255, 0, 255);
    const wxImage src = Sample();
    const wxImage grey = platform::GreyCopy(src, true, key);
    EXPECT_EQ(Pixel(grey, 0, 0), RGB(76, 76, 76));
    EXPECT_EQ(Pixel(grey, 1, 0), RGB(149, 149, 149));
    EXPECT_EQ(Pixel(grey, 2, 0), RGB(29, 29, 29));
    EXPECT_EQ(Pixel(grey, 1, 1), key);
    EXPECT_EQ(Pixel(grey, 2, 1), RGB(0, 0, 0));
    EXPECT_EQ(grey.GetAlpha(1, 0), 77);
    EXPECT_EQ(Pixel(src, 0, 0), RGB(255, 0, 0)) << "the source is not changed";

    const wxImage dark = platform::DarkerCopy(src, 0.25, true, key);
    EXPECT_EQ(Pixel(dark, 0, 0), RGB(191, 0, 0));
    EXPECT_EQ(Pixel(dark, 0, 1), RGB(191, 191, 191));
    EXPECT_EQ(Pixel(dark, 1, 1), key);

    const wxImage greyAll = platform::GreyCopy(src);
    EXPECT_EQ(Pixel(greyAll, 1, 1), RGB(105, 105, 105));  // without a key colour every pixel turns grey
}

TEST(GdiImages, ImageMaskColourIsKeptByTheCopies)
{
    wxImage src = Sample();
    src.SetMaskColour(255, 0, 255);
    EXPECT_EQ(Pixel(platform::GreyCopy(src), 1, 1), RGB(255, 0, 255));
    EXPECT_TRUE(platform::GreyCopy(src).HasMask());
}

TEST(GdiImages, MaskFromATransparentColourBlackensThosePixels)
{
    wxImage img = Sample();
    const wxImage mask = platform::MakeColourMask(img, RGB(255, 0, 255));
    ASSERT_TRUE(mask.IsOk());
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(Pixel(mask, x, y), (x == 1 && y == 1) ? RGB(255, 255, 255) : RGB(0, 0, 0)) << x << "," << y;
    EXPECT_EQ(Pixel(img, 1, 1), RGB(0, 0, 0));
    EXPECT_EQ(Pixel(img, 0, 0), RGB(255, 0, 0));

    const wxImage masked = platform::ApplyMask(img, mask);
    EXPECT_EQ(masked.GetAlpha(1, 1), 0);
    EXPECT_EQ(masked.GetAlpha(0, 0), 255);
    EXPECT_EQ(masked.GetAlpha(1, 0), 77);

    wxImage none;
    EXPECT_FALSE(platform::MakeColourMask(none, 0).IsOk());
}

TEST(GdiImages, FadeShadowAndEmboss)
{
    const wxImage src = Sample();
    const wxImage half = platform::FadeCopy(src, RGB(255, 255, 255), 50);
    EXPECT_EQ(Pixel(half, 0, 0), RGB(255, 127, 127));
    EXPECT_EQ(Pixel(platform::FadeCopy(src, RGB(9, 9, 9), 100), 2, 0), RGB(9, 9, 9));
    EXPECT_EQ(Pixel(platform::FadeCopy(src, RGB(9, 9, 9), 0), 2, 0), RGB(0, 0, 255));

    const wxImage shadow = platform::ShadowCopy(src, RGB(10, 20, 30));
    EXPECT_EQ(Pixel(shadow, 0, 0), RGB(10, 20, 30));
    EXPECT_EQ(shadow.GetAlpha(0, 0), 255);
    EXPECT_EQ(shadow.GetAlpha(1, 0), 0) << "alpha 77 is outside the shape";

    const wxImage emb = platform::EmbossCopy(src, RGB(255, 255, 254), RGB(128, 128, 128));
    ASSERT_EQ(emb.GetWidth(), 4);
    ASSERT_EQ(emb.GetHeight(), 3);
    EXPECT_EQ(Pixel(emb, 0, 0), RGB(128, 128, 128));  // ink in place: shadow
    EXPECT_EQ(emb.GetAlpha(1, 0), 0);                 // not in the shape
    EXPECT_EQ(emb.GetAlpha(0, 1), 0);                 // white is no ink
    EXPECT_EQ(Pixel(emb, 3, 2), RGB(255, 255, 254));  // ink (2, 1) shifted: highlight
    EXPECT_EQ(Pixel(emb, 1, 1), RGB(128, 128, 128));  // shadow drawn over the highlight of (0, 0)
}

}  // namespace
