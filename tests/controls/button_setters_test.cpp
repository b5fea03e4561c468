// The bitmap button's setters: their result codes, what they change and what a failure leaves.
#include <gtest/gtest.h>

#include <functional>

#include <wx/frame.h>

#include "controls/ButtonNX.h"
#include "tests/support/test_support.h"

namespace {

class ButtonSetters : public ::testing::Test {
protected:
    void SetUp() override { platform::UseFixedSystemColors(true); }
    void TearDown() override
    {
        platform::RestoreFixedSystemColors();
        platform::UseFixedSystemColors(false);
    }
};

TEST_F(ButtonSetters, ConstructionValues)
{
    CButtonNX b;
    EXPECT_EQ(b.m_imageMargin, wxPoint(3, 3));
    EXPECT_EQ(b.m_pressOffset, wxPoint(1, 1));
    EXPECT_TRUE(b.m_flat);
    EXPECT_FALSE(b.m_hover);
    EXPECT_FALSE(b.m_transparent);
    EXPECT_EQ(b.m_imageAlign, CButtonNX::ImageLeft);
    EXPECT_TRUE(b.m_drawBorder);
    EXPECT_FALSE(b.m_flatFocus);
    EXPECT_TRUE(b.m_trackAlways);
    EXPECT_EQ(b.m_checked, 0);
    EXPECT_EQ(b.m_linkTarget[0], '\0');
    EXPECT_EQ(b.m_menu.GetSafeHmenu(), nullptr);
    for (BYTE i : {0, 2, 4}) EXPECT_EQ(b.m_colors[i], RGB(212, 208, 200));
    for (BYTE i : {1, 3, 5}) EXPECT_EQ(b.m_colors[i], RGB(0, 0, 0));
    EXPECT_FALSE(b.m_icons[0].hIcon.IsOk());
    EXPECT_FALSE(b.m_bitmaps[0].hBitmap.IsOk());
}

TEST_F(ButtonSetters, ResultCodesAndWhatFailuresLeave)
{
    struct Case {
        const char* name;
        std::function<DWORD(CButtonNX&)> call;
        DWORD code;
        std::function<bool(const CButtonNX&)> after;
    };
    const Case cases[] = {
        {"align 3", [](CButtonNX& b) { return b.SetImageAlign(3, TRUE); }, 0,
         [](const CButtonNX& b) { return b.m_imageAlign == CButtonNX::ImageAtOrigin; }},
        {"align 4", [](CButtonNX& b) { return b.SetImageAlign(4, TRUE); }, 4,
         [](const CButtonNX& b) { return b.m_imageAlign == CButtonNX::ImageLeft; }},
        {"press style 1", [](CButtonNX& b) { return b.SetPressOffsetStyle(1, TRUE); }, 0,
         [](const CButtonNX& b) { return b.m_pressOffset == wxPoint(0, 2); }},
        {"press style 2", [](CButtonNX& b) { return b.SetPressOffsetStyle(2, TRUE); }, 6,
         [](const CButtonNX& b) { return b.m_pressOffset == wxPoint(1, 1); }},
        {"colour 5", [](CButtonNX& b) { return b.SetStateColor(5, RGB(1, 2, 3), TRUE); }, 0,
         [](const CButtonNX& b) { return b.m_colors[5] == RGB(1, 2, 3); }},
        {"colour 6", [](CButtonNX& b) { return b.SetStateColor(6, RGB(1, 2, 3), TRUE); }, 3,
         [](const CButtonNX& b) { return b.m_colors[5] == RGB(0, 0, 0); }},
        {"get colour 6",
         [](CButtonNX& b) {
             COLORREF c = 7;
             DWORD r = b.GetStateColor(6, &c);
             return c == 7 ? r : 99u;
         },
         3, nullptr},
        {"shade index 6", [](CButtonNX& b) { return b.ShadeStateColor(6, 10, TRUE); }, 3, nullptr},
        {"shade 256", [](CButtonNX& b) { return b.ShadeStateColor(0, 256, TRUE); }, 5,
         [](const CButtonNX& b) { return b.m_colors[0] == RGB(212, 208, 200); }},
        {"shade -256", [](CButtonNX& b) { return b.ShadeStateColor(0, -256, TRUE); }, 5,
         [](const CButtonNX& b) { return b.m_colors[0] == RGB(212, 208, 200); }},
        {"shade 255", [](CButtonNX& b) { return b.ShadeStateColor(0, 255, TRUE); }, 0,
         [](const CButtonNX& b) { return b.m_colors[0] == RGB(255, 251, 243); }},
        {"shade -255", [](CButtonNX& b) { return b.ShadeStateColor(0, -255, TRUE); }, 0,
         [](const CButtonNX& b) { return b.m_colors[0] == RGB(12, 8, 0); }},
        {"flat off", [](CButtonNX& b) { return b.SetFlatLook(FALSE, TRUE); }, 0,
         [](const CButtonNX& b) { return !b.m_flat; }},
        {"border off", [](CButtonNX& b) { return b.EnableBorder(FALSE, FALSE); }, 0,
         [](const CButtonNX& b) { return !b.m_drawBorder; }},
        {"flat focus", [](CButtonNX& b) { return b.EnableFlatFocus(TRUE, FALSE); }, 0,
         [](const CButtonNX& b) { return b.m_flatFocus == TRUE; }},
        {"capture while opaque",
         [](CButtonNX& b) {
             wxImage i(4, 4);
             return b.CaptureBackground(nullptr);
         },
         5, nullptr},
        {"capture without dc",
         [](CButtonNX& b) {
             b.EnableTransparency(FALSE);
             return b.CaptureBackground(nullptr);
         },
         5, [](const CButtonNX& b) { return b.m_transparent == TRUE; }},
        {"reset colours",
         [](CButtonNX& b) {
             b.SetStateColor(2, 1, FALSE);
             return b.ResetColors(FALSE);
         },
         0, [](const CButtonNX& b) { return b.m_colors[2] == RGB(212, 208, 200); }},
    };
    for (const Case& k : cases) {
        CButtonNX b;
        EXPECT_EQ(k.call(b), k.code) << k.name;
        if (k.after) {
            EXPECT_TRUE(k.after(b)) << k.name;
        }
    }
}

TEST_F(ButtonSetters, ShadeMovesAllComponentsAsFarAsTheNearestLimitAllows)
{
    struct {
        COLORREF from;
        short shade;
        COLORREF want;
    } cases[] = {
        {RGB(250, 100, 0), 20, RGB(255, 105, 5)},   {RGB(250, 100, 0), -20, RGB(250, 100, 0)},
        {RGB(100, 100, 100), -30, RGB(70, 70, 70)}, {RGB(255, 10, 10), 1, RGB(255, 10, 10)},
        {RGB(40, 50, 60), 0, RGB(40, 50, 60)},      {RGB(10, 200, 30), -15, RGB(0, 190, 20)},
    };
    for (const auto& k : cases) {
        CButtonNX b;
        b.SetStateColor(CButtonNX::IdleBack, k.from, FALSE);
        EXPECT_EQ(b.ShadeStateColor(CButtonNX::IdleBack, k.shade, FALSE), 0u);
        COLORREF got = 0;
        EXPECT_EQ(b.GetStateColor(CButtonNX::IdleBack, &got), 0u);
        EXPECT_EQ(got, k.want) << std::hex << k.from << " by " << std::dec << k.shade;
    }
}

TEST_F(ButtonSetters, DarkenColorOfTheButton)
{
    EXPECT_EQ(CButtonNX::DarkenColor(RGB(200, 100, 4), 0.25), RGB(150, 75, 3));
    EXPECT_EQ(CButtonNX::DarkenColor(RGB(200, 100, 4), 0), RGB(200, 100, 4));
    EXPECT_EQ(CButtonNX::DarkenColor(RGB(200, 100, 4), 1.5), RGB(200, 100, 4));
    EXPECT_EQ(CButtonNX::DarkenColor(RGB(200, 100, 4), 1), RGB(0, 0, 0));
}

// A 4 x 3 bitmap: magenta is its transparent colour.
wxImage Bitmap()
{
    wxImage img(4, 3);
    img.SetRGB(wxRect(0, 0, 4, 3), 200, 100, 4);
    img.SetRGB(0, 0, 255, 0, 255);
    img.SetRGB(3, 2, 255, 0, 255);
    img.SetRGB(1, 1, 0, 0, 255);
    return img;
}

COLORREF Pixel(const wxImage& img, int x, int y)
{
    return RGB(img.GetRed(x, y), img.GetGreen(x, y), img.GetBlue(x, y));
}

TEST_F(ButtonSetters, BitmapPairMasksAndSecondCopies)
{
    const COLORREF key = RGB(255, 0, 255);
    struct Case {
        int kind;
        COLORREF secondTransparent;
        COLORREF at00, at10, at11;  // second bitmap's pixels before masking: transparent, plain, blue
    } cases[] = {
        {CButtonNX::GreyCopy, RGB(1, 1, 1), 0, RGB(118, 118, 118), RGB(29, 29, 29)},
        {CButtonNX::DarkCopy, RGB(1, 1, 1), 0, RGB(150, 75, 3), RGB(0, 0, 191)},
    };
    for (const Case& k : cases) {
        CButtonNX b;
        ASSERT_EQ(b.SetBitmapPair(Bitmap(), key, k.kind, k.secondTransparent), 0u);
        SCOPED_TRACE(k.kind);
        const CButtonNX::ButtonBitmap& first = b.m_bitmaps[0];
        const CButtonNX::ButtonBitmap& second = b.m_bitmaps[1];
        ASSERT_TRUE(second.hBitmap.IsOk());
        EXPECT_EQ(first.width, 4u);
        EXPECT_EQ(first.height, 3u);
        EXPECT_EQ(second.transparentColor, key) << "the copy takes the first bitmap's colour";
        // Masks: white where the transparent colour was; those pixels black in the bitmap.
        EXPECT_EQ(Pixel(first.hMask, 0, 0), RGB(255, 255, 255));
        EXPECT_EQ(Pixel(first.hMask, 1, 0), RGB(0, 0, 0));
        EXPECT_EQ(Pixel(first.hBitmap, 0, 0), RGB(0, 0, 0));
        EXPECT_EQ(Pixel(first.hBitmap, 1, 0), RGB(200, 100, 4));
        EXPECT_EQ(Pixel(second.hMask, 3, 2), RGB(255, 255, 255)) << "transparent colour kept in the copy";
        EXPECT_EQ(Pixel(second.hBitmap, 3, 2), k.at00);
        EXPECT_EQ(Pixel(second.hBitmap, 1, 0), k.at10);
        EXPECT_EQ(Pixel(second.hBitmap, 1, 1), k.at11);
    }
}

TEST_F(ButtonSetters, ImageSettersReplaceEverything)
{
    QEL_REQUIRE_DISPLAY();  // icons are made through the toolkit's bitmaps
    CButtonNX b;
    ASSERT_EQ(b.SetBitmapPair(Bitmap(), RGB(255, 0, 255), Bitmap(), RGB(0, 0, 255)), 0u);
    EXPECT_TRUE(b.m_bitmaps[1].hBitmap.IsOk());
    EXPECT_EQ(Pixel(b.m_bitmaps[1].hBitmap, 1, 1), RGB(0, 0, 0)) << "the second's own colour is masked";

    ASSERT_EQ(b.SetIcons(153, CButtonNX::GreyCopy), 0u);
    EXPECT_FALSE(b.m_bitmaps[0].hBitmap.IsOk()) << "an icon setter drops the bitmaps";
    EXPECT_TRUE(b.m_icons[0].hIcon.IsOk());
    EXPECT_TRUE(b.m_icons[1].hIcon.IsOk());
    EXPECT_EQ(b.m_icons[0].width, static_cast<DWORD>(b.m_icons[0].image.GetWidth()));

    EXPECT_EQ(b.SetIcons(99999, 153), 0u) << "a missing first icon is no failure";
    EXPECT_FALSE(b.m_icons[0].hIcon.IsOk());
    EXPECT_FALSE(b.m_icons[1].hIcon.IsOk()) << "nor is the second kept";

    EXPECT_EQ(b.SetIcons(153, 24, 20, 147, 0, 0), 0u);
    EXPECT_EQ(b.m_icons[0].width, 24u);
    EXPECT_EQ(b.m_icons[0].height, 20u);
    EXPECT_TRUE(b.m_icons[1].hIcon.IsOk());

    EXPECT_EQ(b.SetIcons(wxIcon(), wxIcon()), 0u);
    EXPECT_FALSE(b.m_icons[0].hIcon.IsOk());
    EXPECT_EQ(b.SetBitmapPair(wxImage(), 0, CButtonNX::GreyCopy, 0), 0u);
    EXPECT_FALSE(b.m_bitmaps[0].hBitmap.IsOk());
}

TEST_F(ButtonSetters, GreyAndDarkIconsKeepBlackAndTransparency)
{
    QEL_REQUIRE_DISPLAY();
    wxImage src(4, 4);
    src.SetRGB(wxRect(0, 0, 4, 4), 200, 100, 4);
    src.SetRGB(1, 1, 0, 0, 0);
    src.InitAlpha();
    src.SetAlpha(0, 0, 0);
    for (int kind : {CButtonNX::GreyCopy, CButtonNX::DarkCopy}) {
        wxBitmap bmp(src);
        wxIcon icon;
        icon.CopyFromBitmap(bmp);
        CButtonNX b;
        ASSERT_EQ(b.SetIcons(icon, kind), 0u);
        const wxImage& second = b.m_icons[1].image;
        ASSERT_TRUE(second.IsOk());
        EXPECT_EQ(Pixel(second, 1, 1), RGB(0, 0, 0));
        EXPECT_EQ(Pixel(second, 2, 2), kind == CButtonNX::GreyCopy ? RGB(118, 118, 118) : RGB(150, 75, 3));
        ASSERT_TRUE(second.HasAlpha());
        EXPECT_EQ(second.GetAlpha(0, 0), 0);
        EXPECT_EQ(second.GetAlpha(2, 2), 255);
    }
}

TEST_F(ButtonSetters, FitToImage)
{
    QEL_REQUIRE_DISPLAY();
    wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "");
    CButtonNX* b = new CButtonNX(frame, 100, "", wxPoint(5, 6), wxSize(80, 30));
    b->FitToImage();
    EXPECT_EQ(b->GetSize(), wxSize(80, 30)) << "without an image nothing changes";
    EXPECT_EQ(b->m_imageMargin, wxPoint(3, 3));
    wxImage img(32, 32);
    wxIcon icon;
    icon.CopyFromBitmap(wxBitmap(img));
    ASSERT_EQ(b->SetIcons(icon, wxIcon()), 0u);
    b->FitToImage();
    EXPECT_EQ(b->GetSize(), wxSize(32, 32));
    EXPECT_EQ(b->GetPosition(), wxPoint(5, 6));
    EXPECT_EQ(b->m_imageMargin, wxPoint(0, 0));
    ASSERT_EQ(b->SetBitmapPair(wxImage(20, 10), RGB(1, 1, 1), wxImage(), 0), 0u);
    b->FitToImage();
    EXPECT_EQ(b->GetSize(), wxSize(20, 10));
    frame->Destroy();
}

}  // namespace
