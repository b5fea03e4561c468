// Item images of the owner-drawn menu family: bitmaps into image lists with the system-colour
// mapping, the process-wide image list and its copies, faded and shadow copies, disabled
// pictures, check-mark boxes, colour swatches, the toolbar reader and the top-level entries of a
// loaded menu.
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "controls/KiroMenu.h"
#include "controls/KiroMenuToolBar.h"
#include "platform/toolbar.h"
#include "tests/controls/menu_resources.h"
#include "tests/controls/menu_tree.h"
#include "tests/support/pixel_canvas.h"

using menu_resources::Bmp;
using menu_resources::Register;
using platform::ResType;
using testing_support::PixelCanvas;

namespace {

constexpr COLORREF kFace = RGB(212, 208, 200);  // the fixed palette's button face
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);

COLORREF At(const wxImage& image, int x, int y)
{
    return RGB(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
}

bool Transparent(const wxImage& image, int x, int y)
{
    if (image.HasMask() && image.GetRed(x, y) == image.GetMaskRed() && image.GetGreen(x, y) == image.GetMaskGreen() &&
        image.GetBlue(x, y) == image.GetMaskBlue())
        return true;
    return image.HasAlpha() && image.GetAlpha(x, y) == 0;
}

wxImage Solid(int w, int h, COLORREF c)
{
    wxImage image(w, h);
    image.SetRGB(wxRect(0, 0, w, h), GetRValue(c), GetGValue(c), GetBValue(c));
    return image;
}

// A 16 by 15 list holding one solid image per colour.
void FillList(CImageList& list, const std::vector<COLORREF>& colours)
{
    list.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
    for (COLORREF c : colours) list.Add(Solid(16, 15, c));
}

// The process-wide look and image list belong to the test while it runs.
class MenuImages : public ::testing::Test {
protected:
    void SetUp() override
    {
        Look(false, false);
        EmptyGlobalImages();
    }
    void TearDown() override { EmptyGlobalImages(); }
    static void EmptyGlobalImages()
    {
        KiroMenu::s_images.DeleteImageList();
        KiroMenu::s_imageCommandIds.clear();
    }
    // Flat draw mode (copies are made) or classic; the XP look (NT 5.1 without the classic theme)
    // or a later system.
    static void Look(bool flat, bool xp)
    {
        KiroMenu::SetDrawMode(flat ? 1 : 0);
        KiroMenu::s_shellType = xp ? 7 : 1;
        KiroMenu::s_themeRead = TRUE;
        KiroMenu::s_classicTheme = FALSE;
    }
    KiroMenu menu_;

private:
    menu_tree::SavedLook savedLook_;  // look settings and system colours put back afterwards
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Bitmap headers and the system-colour mapping

TEST_F(MenuImages, ColourCountOfABitmapHeader)
{
    struct Case {
        WORD bits;
        DWORD used;
        std::uint16_t want;
    };
    const Case cases[] = {{1, 0, 2},  {4, 0, 16},  {8, 0, 256}, {24, 0, 0},         {32, 0, 0},
                          {16, 0, 0}, {8, 16, 16}, {4, 5, 5},   {24, 0x10010, 0x10}};
    for (const Case& c : cases) {
        BITMAPINFOHEADER header;
        header.biSize = 40;
        header.biBitCount = c.bits;
        header.biClrUsed = c.used;
        EXPECT_EQ(KiroMenu::DibColorCount(&header), c.want) << c.bits << " bits, " << c.used << " used";
    }
    EXPECT_EQ(KiroMenu::DibColorCount(nullptr), 0);
}

TEST_F(MenuImages, SixteenColourBitmapsTakeTheSystemColours)
{
    platform::SetFixedSysColor(COLOR_BTNTEXT, RGB(10, 20, 30));
    platform::SetFixedSysColor(COLOR_BTNSHADOW, RGB(90, 90, 100));
    platform::SetFixedSysColor(COLOR_BTNHIGHLIGHT, RGB(250, 240, 230));
    // Black, dark grey, light grey, white and red in a row.
    const COLORREF row[] = {RGB(0, 0, 0), RGB(128, 128, 128), RGB(192, 192, 192), RGB(255, 255, 255), kRed};
    Register(ResType::Bitmap, 9101, Bmp(5, 2, 4, [&](int x, int) { return row[x]; }));
    Register(ResType::Bitmap, 9102,
             Bmp(5, 2, 8, [&](int x, int) { return row[x]; },
                 {RGB(0, 0, 0), RGB(128, 128, 128), RGB(192, 192, 192), RGB(255, 255, 255), kRed}));
    Register(ResType::Bitmap, 9103, Bmp(5, 2, 24, [&](int x, int) { return row[x]; }));

    const wxImage mapped = KiroMenu::LoadSysColorBitmap(9101);
    ASSERT_TRUE(mapped.IsOk());
    EXPECT_EQ(At(mapped, 0, 0), RGB(10, 20, 30));
    EXPECT_EQ(At(mapped, 1, 0), RGB(90, 90, 100));
    EXPECT_EQ(At(mapped, 2, 1), kFace);
    EXPECT_EQ(At(mapped, 3, 1), RGB(250, 240, 230));
    EXPECT_EQ(At(mapped, 4, 0), kRed);
    // Only bitmaps of exactly 16 colours are mapped here; a missing one gives nothing either.
    EXPECT_FALSE(KiroMenu::LoadSysColorBitmap(9102).IsOk());
    EXPECT_FALSE(KiroMenu::LoadSysColorBitmap(9103).IsOk());
    EXPECT_FALSE(KiroMenu::LoadSysColorBitmap(9199).IsOk());
}

// Which pixels of a bitmap with light grey (192) at x 0 and the button face at x 1 come out
// transparent, by the bitmap's colours, the button face and the image background.
TEST_F(MenuImages, TransparentPixelsOfLoadedBitmaps)
{
    struct Case {
        const char* name;
        int bits;
        COLORREF face;
        bool background192;
        bool greyTransparent;
        bool faceTransparent;
    };
    const Case cases[] = {
        {"16 colours", 4, kFace, false, true, false},
        {"16 colours, face 192", 4, RGB(192, 192, 192), false, true, true},
        {"256 colours", 8, kFace, false, false, true},
        {"256 colours, face 192", 8, RGB(192, 192, 192), false, true, true},
        {"24 bits", 24, kFace, false, false, true},
        {"16 colours, background 192", 4, kFace, true, false, false},
        {"16 colours, background 192, face 192", 4, RGB(192, 192, 192), true, true, true},
        {"256 colours, background 192", 8, kFace, true, true, false},
    };
    int id = 9110;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::RestoreFixedSystemColors();
        platform::SetFixedSysColor(COLOR_BTNFACE, c.face);
        // x 0 light grey, x 1 the face colour (in a 16-colour palette it stands for itself only
        // when it is one of the 16; else the nearest is kept out by using red).
        const COLORREF second = c.bits == 4 ? (c.face == RGB(192, 192, 192) ? RGB(192, 192, 192) : kRed) : c.face;
        std::vector<COLORREF> palette = menu_resources::SixteenColours();
        if (c.bits == 8) palette.push_back(c.face);
        Register(ResType::Bitmap, ++id,
                 Bmp(
                     16, 15, c.bits, [&](int x, int) { return x == 0   ? RGB(192, 192, 192)
                                                              : x == 1 ? second
                                                                       : kBlue; },
                     palette));
        KiroMenu menu;
        if (c.background192) menu.SetImageBackground(RGB(192, 192, 192));
        CImageList list;
        list.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
        ASSERT_TRUE(menu.AddBitmapToImageList(&list, static_cast<UINT>(id)));
        ASSERT_EQ(list.GetImageCount(), 1);
        const wxImage image = list.GetImage(0);
        EXPECT_EQ(Transparent(image, 0, 0), c.greyTransparent);
        if (c.bits != 4) {
            EXPECT_EQ(Transparent(image, 1, 0), c.faceTransparent);
        }
        EXPECT_FALSE(Transparent(image, 5, 5));
    }
}

TEST_F(MenuImages, AStripIsCutAtTheListWidthAndCopiesFollowIt)
{
    Register(ResType::Bitmap, 9130, menu_resources::ToolbarStrip(16, 15, {kRed, kBlue, kGreen}));
    for (bool flat : {false, true}) {
        SCOPED_TRACE(flat ? "copies" : "no copies");
        Look(flat, false);
        CImageList list;
        list.Create(16, 15, ILC_COLORDDB | ILC_MASK, 1, 1);
        ASSERT_TRUE(menu_.AddBitmapToImageList(&list, 9130));
        ASSERT_EQ(list.GetImageCount(), flat ? 5 : 3);
        EXPECT_EQ(At(list.GetImage(0), 5, 5), kRed);
        EXPECT_EQ(At(list.GetImage(1), 5, 5), kBlue);
        EXPECT_EQ(At(list.GetImage(2), 5, 5), kGreen);
        EXPECT_TRUE(Transparent(list.GetImage(0), 0, 0));
        EXPECT_FALSE(Transparent(list.GetImage(0), 5, 5));
        if (flat) {
            // After the strip, the copies of image 0, their ground the button face, transparent.
            EXPECT_EQ(At(list.GetImage(3), 5, 5), RGB(255, 76, 76));
            EXPECT_EQ(At(list.GetImage(4), 5, 5), RGB(190, 190, 190));
            EXPECT_TRUE(Transparent(list.GetImage(3), 0, 0));
            EXPECT_TRUE(Transparent(list.GetImage(4), 0, 0));
        }
    }
}

TEST_F(MenuImages, AMissingBitmapLeavesTheListAlone)
{
    CImageList list;
    FillList(list, {kRed});
    EXPECT_FALSE(menu_.AddBitmapToImageList(&list, 9198));
    EXPECT_EQ(list.GetImageCount(), 1);
    EXPECT_FALSE(menu_.AddBitmapToImageList(nullptr, 9130));
}

// ---------------------------------------------------------------------------------------------
// Faded and shadow copies

TEST_F(MenuImages, FadedCopyBlendsEachChannelTowardWhite)
{
    wxImage bitmap = Solid(4, 3, kFace);
    const COLORREF inputs[] = {RGB(0, 128, 255), RGB(128, 0, 0), RGB(255, 255, 255)};
    const COLORREF wants[] = {RGB(76, 166, 255), RGB(166, 76, 76), RGB(255, 255, 255)};
    for (int i = 0; i < 3; ++i) bitmap.SetRGB(i, 0, GetRValue(inputs[i]), GetGValue(inputs[i]), GetBValue(inputs[i]));
    menu_.FadeBitmap(&bitmap);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(At(bitmap, i, 0), wants[i]) << i;
    EXPECT_EQ(At(bitmap, 3, 2), kFace);  // the button face stays
}

TEST_F(MenuImages, ShadowCopyByLook)
{
    struct Case {
        bool xp;
        COLORREF want;
    };
    for (const Case& c : {Case{false, RGB(190, 190, 190)}, Case{true, RGB(128, 128, 128)}}) {
        Look(false, c.xp);
        wxImage bitmap = Solid(4, 3, kFace);
        bitmap.SetRGB(1, 1, 0, 0, 255);
        bitmap.SetRGB(2, 1, 255, 255, 255);
        menu_.ShadowBitmap(&bitmap);
        EXPECT_EQ(At(bitmap, 1, 1), c.want) << c.xp;
        EXPECT_EQ(At(bitmap, 2, 1), c.want) << c.xp;
        EXPECT_EQ(At(bitmap, 0, 0), kFace) << c.xp;
    }
}

TEST_F(MenuImages, ABitmapWithoutPixelOneOneChangesEveryPixel)
{
    for (const wxSize size : {wxSize(1, 5), wxSize(5, 1), wxSize(1, 1)}) {
        wxImage faded = Solid(size.x, size.y, kFace);
        menu_.FadeBitmap(&faded);
        EXPECT_EQ(At(faded, 0, 0), KiroMenu::BlendTowardWhite(kFace, 0.3)) << size.x << "x" << size.y;
        wxImage shadow = Solid(size.x, size.y, kFace);
        menu_.ShadowBitmap(&shadow);
        EXPECT_EQ(At(shadow, 0, 0), RGB(190, 190, 190)) << size.x << "x" << size.y;
    }
}

TEST_F(MenuImages, ImageBitmapIsTheMenuSizeOnTheButtonFace)
{
    CImageList list;
    list.Create(8, 8, ILC_COLORDDB | ILC_MASK, 1, 1);
    wxImage image = Solid(8, 8, kBlue);
    image.SetRGB(wxRect(0, 0, 4, 8), 255, 0, 255);
    list.Add(image, RGB(255, 0, 255));  // the left half transparent
    wxImage bitmap;
    ASSERT_TRUE(menu_.GetImageBitmap(&list, 0, &bitmap));
    ASSERT_EQ(bitmap.GetSize(), wxSize(16, 15));
    EXPECT_FALSE(bitmap.HasMask());
    EXPECT_EQ(At(bitmap, 1, 7), kFace);
    EXPECT_EQ(At(bitmap, 14, 7), kBlue);
    // No such image: the button face throughout.
    ASSERT_TRUE(menu_.GetImageBitmap(&list, 3, &bitmap));
    EXPECT_EQ(bitmap.GetSize(), wxSize(16, 15));
    EXPECT_EQ(At(bitmap, 14, 7), kFace);
}

// ---------------------------------------------------------------------------------------------
// The process-wide image list

TEST_F(MenuImages, TwoCommandsWithCopiesTakeThreeEntriesEach)
{
    Look(true, false);
    CImageList list;
    FillList(list, {kRed, kBlue});
    EXPECT_EQ(menu_.AddToGlobalImageList(&list, 0, 100), 0);
    EXPECT_EQ(menu_.AddToGlobalImageList(&list, 1, 101), 3);
    EXPECT_EQ(KiroMenu::s_images.GetImageCount(), 6);
    EXPECT_EQ(KiroMenu::s_imageCommandIds, (std::vector<int>{100, 100, 100, 101, 101, 101}));
    EXPECT_EQ(menu_.FindGlobalImage(100), 0);
    EXPECT_EQ(menu_.FindGlobalImage(101), 3);
    EXPECT_EQ(menu_.FindGlobalImage(102), -1);
    EXPECT_TRUE(menu_.HasImageCopies(0));
    EXPECT_TRUE(menu_.HasImageCopies(3));
    EXPECT_FALSE(menu_.HasImageCopies(1));
    EXPECT_FALSE(menu_.HasImageCopies(4));
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(3), 2, 2), kBlue);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(4), 2, 2), RGB(76, 76, 255));
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(5), 2, 2), RGB(190, 190, 190));
}

TEST_F(MenuImages, ReplacingAnImageKeepsTheFormTheCommandHas)
{
    CImageList list;
    FillList(list, {kRed, kBlue});
    // Entered without copies: a later replacement with copies adds none.
    Look(false, false);
    EXPECT_EQ(menu_.AddToGlobalImageList(&list, 0, 200), 0);
    Look(true, false);
    EXPECT_EQ(menu_.AddToGlobalImageList(&list, 1, 200), 0);
    EXPECT_EQ(KiroMenu::s_images.GetImageCount(), 1);
    EXPECT_FALSE(menu_.HasImageCopies(0));
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(0), 2, 2), kBlue);

    // Entered with copies, replaced with copies: the copies follow the new picture.
    EXPECT_EQ(menu_.AddToGlobalImageList(&list, 0, 201), 1);
    EXPECT_EQ(menu_.AddToGlobalImageList(&list, 1, 201), 1);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(2), 2, 2), RGB(76, 76, 255));

    // Replaced while copies are no longer made: the image changes, the copies keep the old one.
    Look(false, false);
    EXPECT_EQ(menu_.AddToGlobalImageList(&list, 0, 201), 1);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(1), 2, 2), kRed);
    EXPECT_EQ(At(KiroMenu::s_images.GetImage(2), 2, 2), RGB(76, 76, 255));
    EXPECT_TRUE(menu_.HasImageCopies(1));
    EXPECT_EQ(KiroMenu::s_images.GetImageCount(), 4);
}

TEST_F(MenuImages, AnImageTheListDoesNotHaveAddsNothing)
{
    CImageList list;
    FillList(list, {kRed});
    EXPECT_EQ(menu_.AddToGlobalImageList(&list, 1, 300), -1);
    EXPECT_EQ(menu_.AddToGlobalImageList(&list, -1, 300), -1);
    EXPECT_EQ(menu_.AddToGlobalImageList(nullptr, 0, 300), -1);
    EXPECT_NE(KiroMenu::s_images.GetSafeHandle(), 0u);  // created all the same
    EXPECT_EQ(KiroMenu::s_images.GetImageCount(), 0);
    EXPECT_TRUE(KiroMenu::s_imageCommandIds.empty());
}

TEST_F(MenuImages, TheGlobalListKeepsTheSizeOfTheFirstMenu)
{
    KiroMenu large;
    large.SetImageSize(24, 22);
    CImageList list;
    FillList(list, {kRed});
    EXPECT_EQ(large.AddToGlobalImageList(&list, 0, 400), 0);
    EXPECT_EQ(menu_.AddToGlobalImageList(&list, 0, 401), 1);
    int cx = 0, cy = 0;
    KiroMenu::s_images.GetImageSize(&cx, &cy);
    EXPECT_EQ(wxSize(cx, cy), wxSize(24, 22));
    EXPECT_EQ(KiroMenu::s_images.GetImage(1).GetSize(), wxSize(24, 22));  // scaled as it enters
}

TEST_F(MenuImages, CopyingAnImageToAListOfItsOwn)
{
    CImageList source;
    FillList(source, {kRed, kBlue});
    for (bool flat : {false, true}) {
        Look(flat, false);
        CImageList target;
        ASSERT_TRUE(menu_.CopyImageToList(&source, 1, &target));
        ASSERT_EQ(target.GetImageCount(), flat ? 3 : 1);
        EXPECT_EQ(At(target.GetImage(0), 3, 3), kBlue);
        if (flat) {
            EXPECT_EQ(At(target.GetImage(1), 3, 3), RGB(76, 76, 255));
            EXPECT_EQ(At(target.GetImage(2), 3, 3), RGB(190, 190, 190));
        }
    }
    CImageList target;
    EXPECT_FALSE(menu_.CopyImageToList(nullptr, 0, &target));
    EXPECT_FALSE(menu_.CopyImageToList(&source, 0, nullptr));
    EXPECT_FALSE(menu_.CopyImageToList(&source, -1, &target));
    EXPECT_FALSE(menu_.CopyImageToList(&source, 2, &target));  // no such image: no copies of nothing
    EXPECT_EQ(target.GetSafeHandle(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Disabled pictures

namespace {

// A 4 by 3 bitmap: button face, a black pixel at (1, 1), a highlight pixel at (2, 1) and a
// dark red one at (2, 2).
wxImage DisabledSource()
{
    wxImage image = Solid(4, 3, kFace);
    image.SetRGB(1, 1, 0, 0, 0);
    image.SetRGB(2, 1, 255, 255, 255);
    image.SetRGB(2, 2, 128, 0, 0);
    return image;
}

}  // namespace

TEST_F(MenuImages, EmbossedImageOverTheBackground)
{
    const COLORREF bg = RGB(0, 100, 0);
    const COLORREF hi = platform::SysColor(COLOR_BTNHIGHLIGHT), shadow = platform::SysColor(COLOR_BTNSHADOW);
    PixelCanvas canvas(10, 10, RGB(1, 1, 1));
    wxImage scratch = DisabledSource();
    menu_.DrawEmbossedImage(canvas.dc(), 2, 2, 4, 3, &scratch, 0, 0, bg);
    canvas.Finish();
    EXPECT_EQ(canvas.At(3, 3), shadow);  // the black pixel
    EXPECT_EQ(canvas.At(4, 4), shadow);  // the dark red pixel
    EXPECT_EQ(canvas.At(4, 3), bg);      // the highlight pixel is no figure
    EXPECT_EQ(canvas.At(5, 5), hi);      // the edge of (2, 2)
    EXPECT_EQ(canvas.At(2, 2), bg);
    // One column and one row beyond the area: what the first copy put there.
    EXPECT_EQ(canvas.At(6, 3), bg);
    EXPECT_EQ(canvas.At(5, 5), hi);
    EXPECT_EQ(canvas.At(7, 5), RGB(1, 1, 1));
    EXPECT_EQ(canvas.InkBox(RGB(1, 1, 1)), wxRect(2, 2, 5, 4));
    // The bitmap was the work surface.
    EXPECT_EQ(At(scratch, 1, 1), shadow);
    EXPECT_EQ(At(scratch, 0, 0), bg);
}

TEST_F(MenuImages, EmbossedImageFromAOneBitPictureLeavesTheBitmap)
{
    const COLORREF bg = RGB(0, 100, 0);
    const COLORREF hi = platform::SysColor(COLOR_BTNHIGHLIGHT), shadow = platform::SysColor(COLOR_BTNSHADOW);
    PixelCanvas canvas(10, 10, RGB(1, 1, 1));
    const wxImage source = DisabledSource();
    menu_.DrawEmbossedImageDib(canvas.dc(), 2, 2, 4, 3, source, 0, 0, bg);
    canvas.Finish();
    EXPECT_EQ(canvas.At(3, 3), shadow);
    EXPECT_EQ(canvas.At(4, 4), shadow);        // dark red is dark
    EXPECT_EQ(canvas.At(4, 3), bg);            // white is not
    EXPECT_EQ(canvas.At(2, 2), bg);            // nor is the button face
    EXPECT_EQ(canvas.At(5, 5), hi);            // the edge of (2, 2), one pixel beyond the area
    EXPECT_EQ(canvas.At(6, 3), RGB(1, 1, 1));  // the fill covers the area only
    EXPECT_EQ(At(source, 1, 1), RGB(0, 0, 0));
}

// ---------------------------------------------------------------------------------------------
// Check-mark boxes

TEST_F(MenuImages, ClassicCheckBoxColours)
{
    struct Case {
        const char* name;
        bool xp;
        bool selected;
        COLORREF want;
    };
    platform::SetFixedSysColor(COLOR_MENU, RGB(128, 128, 128));
    platform::SetFixedSysColor(COLOR_MENUTEXT, RGB(0, 0, 0));
    const Case cases[] = {
        {"unselected", false, false, RGB(204, 204, 204)},
        {"selected", false, true, RGB(128, 128, 128)},
        {"XP, unselected", true, false, KiroMenu::BlendTowardWhite(kFace, 0.6)},
        {"XP, selected", true, true, kFace},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Look(false, c.xp);
        PixelCanvas canvas(20, 20);
        EXPECT_TRUE(menu_.DrawClassicCheckBox(canvas.dc(), CRect(2, 2, 18, 17), c.selected, FALSE));
        canvas.Finish();
        EXPECT_EQ(canvas.At(2, 2), c.xp ? platform::SysColor(COLOR_BTNSHADOW) : c.want);  // NT 5.1 draws the edge
        EXPECT_EQ(canvas.At(15, 15), c.want);
        EXPECT_EQ(canvas.At(18, 17), RGB(255, 255, 255));
        // The tick starts at (left + 4, top + 4): its first stroke is x 6, y 8 to 10.
        EXPECT_EQ(canvas.At(6, 8), RGB(0, 0, 0));
        EXPECT_EQ(canvas.At(5, 8), c.want);
    }
}

TEST_F(MenuImages, FlatCheckBoxFrameAndFill)
{
    platform::SetFixedSysColor(COLOR_MENUTEXT, RGB(0, 0, 0));
    const COLORREF frame = RGB(0, 0, 128);
    PixelCanvas canvas(20, 20);
    EXPECT_TRUE(menu_.DrawFlatCheckBox(canvas.dc(), CRect(1, 1, 17, 16), FALSE, frame));
    canvas.Finish();
    EXPECT_EQ(canvas.At(1, 1), frame);
    EXPECT_EQ(canvas.At(16, 15), frame);
    EXPECT_EQ(canvas.At(2, 2), RGB(216, 216, 235));
    EXPECT_EQ(canvas.At(6, 7), RGB(0, 0, 0));  // the tick at (left + 5, top + 4), first stroke y 7 to 9
    EXPECT_EQ(canvas.At(5, 7), RGB(216, 216, 235));
}

// ---------------------------------------------------------------------------------------------
// Colour swatch

TEST_F(MenuImages, SwatchRectangleCentredOnTheMenuColour)
{
    const COLORREF menuColour = platform::SysColor(COLOR_MENU);
    wxImage swatch;
    menu_.CreateSwatchBitmap(&swatch, 10, 10, 16, 15, kRed, kBlue, -1);
    ASSERT_EQ(swatch.GetSize(), wxSize(16, 15));
    EXPECT_EQ(At(swatch, 2, 2), menuColour);
    EXPECT_EQ(At(swatch, 3, 2), kBlue);  // (3, 2) .. (13, 12), the far edges left out
    EXPECT_EQ(At(swatch, 12, 11), kBlue);
    EXPECT_EQ(At(swatch, 13, 11), menuColour);
    EXPECT_EQ(At(swatch, 12, 12), menuColour);
    EXPECT_EQ(At(swatch, 4, 3), kRed);
    EXPECT_EQ(At(swatch, 11, 10), kRed);

    // Larger than the bitmap: starts at (-2, -2), so the frame lies outside and the fill is all
    // that shows.
    menu_.CreateSwatchBitmap(&swatch, 21, 20, 16, 15, kRed, kBlue, -1);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(At(swatch, x, y), kRed) << x << "," << y;

    // As large as the bitmap: the frame on its edges.
    menu_.CreateSwatchBitmap(&swatch, 16, 15, 16, 15, kRed, kBlue, -1);
    EXPECT_EQ(At(swatch, 0, 0), kBlue);
    EXPECT_EQ(At(swatch, 15, 14), kBlue);
    EXPECT_EQ(At(swatch, 1, 1), kRed);
}

TEST_F(MenuImages, HatchedSwatchShowsGapsBetweenItsLines)
{
    wxImage swatch;
    menu_.CreateSwatchBitmap(&swatch, 16, 15, 16, 15, kRed, kBlue, HS_HORIZONTAL);
    EXPECT_EQ(At(swatch, 5, 8), kRed);  // a hatch line every 8 rows
    EXPECT_EQ(At(swatch, 5, 5), RGB(255, 255, 255));
    EXPECT_EQ(At(swatch, 0, 5), kBlue);
    menu_.CreateSwatchBitmap(&swatch, 16, 15, 16, 15, kRed, kBlue, HS_CROSS);
    EXPECT_EQ(At(swatch, 8, 5), kRed);
    EXPECT_EQ(At(swatch, 5, 8), kRed);
    EXPECT_EQ(At(swatch, 5, 5), RGB(255, 255, 255));
}

// ---------------------------------------------------------------------------------------------
// Toolbar resources

TEST_F(MenuImages, ToolbarReaderLoadsButtonsSizesAndBitmap)
{
    Register(ResType::Toolbar, 9140, menu_resources::Toolbar(16, 15, {0, 100, 0, 101}));
    Register(ResType::Bitmap, 9140, menu_resources::ToolbarStrip(16, 15, {kRed, kBlue}));
    KiroMenuToolBar toolbar;
    int w = -1, h = -1;
    toolbar.GetImageSize(w, h);
    EXPECT_EQ(wxSize(w, h), wxSize(0, 0));
    ASSERT_TRUE(toolbar.LoadToolBar(9140u));
    toolbar.GetImageSize(w, h);
    EXPECT_EQ(wxSize(w, h), wxSize(16, 15));
    EXPECT_EQ(toolbar.m_sizeButton, wxSize(23, 22));
    EXPECT_EQ(toolbar.GetCount(), 4);
    EXPECT_EQ(toolbar.CommandToIndex(101), 3);
    UINT id = 0, style = 0;
    int image = -1;
    toolbar.GetButtonInfo(3, id, style, image);
    EXPECT_EQ(id, 101u);
    EXPECT_EQ(image, 1);
    toolbar.GetButtonInfo(2, id, style, image);
    EXPECT_EQ(style, TBBS_SEPARATOR);
    EXPECT_NE(toolbar.m_hRsrcImageWell, nullptr);
    EXPECT_EQ(toolbar.m_bitmap.GetSize(), wxSize(32, 15));

    // By name as well.
    Register(ResType::Toolbar, 0, menu_resources::Toolbar(8, 8, {7}), "TOOLS");
    Register(ResType::Bitmap, 0, menu_resources::ToolbarStrip(8, 8, {kRed}), "TOOLS");
    KiroMenuToolBar named;
    EXPECT_TRUE(named.LoadToolBar("TOOLS"));
    EXPECT_EQ(named.m_buttonImageWidth, 8);
}

TEST_F(MenuImages, ToolbarReaderFailures)
{
    // Missing toolbar; a count that promises more ids than the resource holds; a missing bitmap
    // (the sizes are set by then); a bitmap deeper than 8 bits per pixel; an image side past 256
    // pixels (refused before any size is taken).
    Register(ResType::Toolbar, 9141, menu_resources::Bytes{1, 0, 16, 0, 15, 0, 9, 0, 100, 0});
    Register(ResType::Toolbar, 9142, menu_resources::Toolbar(20, 18, {100}));
    Register(ResType::Toolbar, 9143, menu_resources::Toolbar(16, 15, {100}));
    Register(ResType::Bitmap, 9143, Bmp(16, 15, 24, [](int, int) { return kRed; }));
    Register(ResType::Toolbar, 9144, menu_resources::Bytes{1, 0, 16});
    Register(ResType::Toolbar, 9145, menu_resources::Toolbar(16, 257, {100}));
    Register(ResType::Bitmap, 9145, menu_resources::ToolbarStrip(16, 15, {kRed}));
    struct Case {
        UINT id;
        int width;
    };
    for (const Case& c : {Case{9149, 0}, Case{9141, 0}, Case{9144, 0}, Case{9142, 20}, Case{9143, 16}, Case{9145, 0}}) {
        KiroMenuToolBar toolbar;
        EXPECT_FALSE(toolbar.LoadToolBar(c.id)) << c.id;
        EXPECT_EQ(toolbar.m_buttonImageWidth, c.width) << c.id;
    }
}

TEST_F(MenuImages, ToolbarImageOffsetOfACommand)
{
    Register(ResType::Toolbar, 9150, menu_resources::Toolbar(16, 15, {0, 100, 0, 101, 100}));
    Register(ResType::Bitmap, 9150, menu_resources::ToolbarStrip(16, 15, {kRed, kBlue, kGreen}));
    struct Case {
        UINT command;
        UINT toolbar;
        BOOL result;
        int offset;
    };
    const Case cases[] = {
        {100, 9150, TRUE, 7},  // image 0: the caller's value stays
        {101, 9150, TRUE, 1},
        {102, 9150, FALSE, 7},  // no button
        {100, 9159, FALSE, 7},  // no toolbar
    };
    for (const Case& c : cases) {
        int offset = 7;
        EXPECT_EQ(menu_.GetToolbarImageOffset(c.command, c.toolbar, &offset), c.result) << c.command;
        EXPECT_EQ(offset, c.offset) << c.command;
    }
}

TEST_F(MenuImages, ToolbarItemImagesGiveEachItemItsOwnList)
{
    Register(ResType::Toolbar, 9160, menu_resources::Toolbar(16, 15, {100, 0, 101, 102}));
    Register(ResType::Bitmap, 9160, menu_resources::ToolbarStrip(16, 15, {kRed, kBlue, kGreen}));
    KiroMenu menu;
    menu.CreatePopupMenu();
    KiroMenuData* first = menu_tree::AddItem(menu, 100, "First");
    KiroMenu* popup = menu_tree::AddPopup(menu, "More");
    KiroMenuData* second = menu_tree::AddItem(*popup, 101, "Second");
    first->m_flags |= MF_CHECKED;
    CToolBar toolbar;
    ASSERT_TRUE(toolbar.LoadToolBar(9160u));
    menu.SetToolbarItemImages(&toolbar, 9160);
    for (KiroMenuData* record : {first, second}) {
        ASSERT_NE(record->m_ownImages, nullptr);
        EXPECT_EQ(record->m_ownImages->GetImageCount(), 3);
        EXPECT_EQ(record->m_ownImageId, 9160);
        EXPECT_EQ(record->m_flags, MF_OWNERDRAW);
    }
    EXPECT_EQ(first->m_imageIndex, 0);
    EXPECT_EQ(second->m_imageIndex, 1);
    EXPECT_EQ(menu.m_items.size(), 2u);  // command 102 is not in the menu: skipped
    EXPECT_EQ(platform::GetMenuItemData(menu.m_hMenu, 101, MF_BYCOMMAND), reinterpret_cast<ULONG_PTR>(second));

    // A bitmap that cannot be loaded: no own list, but still owner-drawn with the record.
    menu.SetToolbarItemImages(&toolbar, 9169);
    EXPECT_EQ(first->m_ownImages, nullptr);
    EXPECT_EQ(first->m_ownImageId, -1);
    EXPECT_EQ(first->m_imageIndex, -1);
    EXPECT_EQ(platform::GetMenuState(menu.m_hMenu, 100, MF_BYCOMMAND) & MF_OWNERDRAW, MF_OWNERDRAW);
}

// ---------------------------------------------------------------------------------------------
// Top-level entries of a loaded menu

namespace {

KiroMenuData* Record(KiroMenu& menu, const char* caption)
{
    auto* record = new KiroMenuData;
    record->SetCaption(caption);
    menu.m_items.push_back(record);
    return record;
}

void TextEntry(KiroMenu& menu, const char* text, UINT id)
{
    const std::u16string wide = platform::Utf8ToUtf16(text);
    menu.AppendMenu(MF_STRING, id, wide.c_str());
}

}  // namespace

TEST_F(MenuImages, ToolbarItemImagesGoToTheRecordEachItemCarries)
{
    Register(ResType::Toolbar, 9161, menu_resources::Toolbar(16, 15, {100, 101}));
    Register(ResType::Bitmap, 9161, menu_resources::ToolbarStrip(16, 15, {kRed, kBlue}));
    KiroMenu menu;
    menu.CreatePopupMenu();
    KiroMenuData* a = menu_tree::AddItem(menu, 100, "A");
    KiroMenuData* b = menu_tree::AddItem(menu, 101, "B");
    std::swap(menu.m_items[0], menu.m_items[1]);  // the records out of position order
    CToolBar toolbar;
    ASSERT_TRUE(toolbar.LoadToolBar(9161u));
    menu.SetToolbarItemImages(&toolbar, 9161);
    auto dataAt = [&menu](UINT position) { return platform::GetMenuItemData(menu.m_hMenu, position, MF_BYPOSITION); };
    EXPECT_EQ(dataAt(0), reinterpret_cast<ULONG_PTR>(a));
    EXPECT_EQ(dataAt(1), reinterpret_cast<ULONG_PTR>(b));
    EXPECT_EQ(a->m_imageIndex, 0);
    EXPECT_EQ(b->m_imageIndex, 1);
    // Taking out one item leaves the other its own record.
    ASSERT_TRUE(menu.DeleteItem(1, MF_BYPOSITION));
    ASSERT_EQ(menu.m_items.size(), 1u);
    EXPECT_EQ(menu.m_items[0], a);
    MEASUREITEMSTRUCT measure;
    measure.itemData = dataAt(0);
    menu.MeasureItem(&measure);
    EXPECT_EQ(a->GetCaption(), "A");
}

TEST_F(MenuImages, MenuBarOffsetCountsLeadingEntriesWithoutRecords)
{
    struct Case {
        const char* name;
        std::vector<const char*> entries;
        std::vector<const char*> records;
        BOOL loaded;
        int want;
    };
    const std::vector<Case> cases = {
        {"one extra entry in front", {"System", "File", "Edit"}, {"File", "Edit"}, TRUE, 1},
        {"no extra entry", {"File", "Edit"}, {"File", "Edit"}, TRUE, 0},
        {"empty and unmatched entries tried in turn", {"", "Other", "Edit"}, {"File", "Edit"}, TRUE, 1},
        {"match before its record's index", {"Edit", "File"}, {"File", "Edit"}, TRUE, 0},
        {"no match at all", {"A", "B"}, {"File"}, TRUE, 0},
        {"case matters", {"file", "File"}, {"File"}, TRUE, 1},
        {"not loaded", {"System", "File"}, {"File"}, FALSE, 0},
    };
    for (const Case& c : cases) {
        KiroMenu menu;
        menu.CreateMenu();
        UINT id = 1;
        for (const char* e : c.entries) TextEntry(menu, e, id++);
        for (const char* r : c.records) Record(menu, r);
        menu.m_loaded = c.loaded;
        EXPECT_EQ(menu.GetMenuBarOffset(), c.want) << c.name;
    }
}

TEST_F(MenuImages, PopupEntriesOfTheTopLevelTakeTheRecordCaptions)
{
    // Entries "System", a popup shown as "Old", "Plain"; records "&File" (the popup) and "Plain".
    struct Built {
        KiroMenu menu;
        HMENU sub = nullptr;
        KiroMenuData* popupRecord = nullptr;
        KiroMenuData* plainRecord = nullptr;
    };
    auto build = [](Built& b, BOOL loaded) {
        b.menu.CreateMenu();
        TextEntry(b.menu, "System", 1);
        b.sub = platform::CreatePopupMenu();
        b.menu.AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(b.sub), u"Old");
        TextEntry(b.menu, "Plain", 2);
        b.popupRecord = Record(b.menu, "&File");
        b.plainRecord = Record(b.menu, "Plain");
        b.popupRecord->m_flags = MF_POPUP | MF_OWNERDRAW;
        b.plainRecord->m_flags = MF_OWNERDRAW;
        b.menu.m_loaded = loaded;
    };
    {
        // Loaded: "Plain" at 2 is record 1, so the records start at 1 and "&File" goes to the popup.
        Built b;
        build(b, TRUE);
        b.menu.SyncMenuBarPopups();
        EXPECT_EQ(platform::Utf16ToUtf8(b.menu.GetMenuString(1, MF_BYPOSITION)), "&File");
        EXPECT_EQ(b.popupRecord->m_flags, MF_POPUP | MF_BYPOSITION);
        EXPECT_EQ(b.plainRecord->m_flags, MF_OWNERDRAW);
        EXPECT_EQ(platform::GetSubMenu(b.menu.m_hMenu, 1), b.sub);
        EXPECT_EQ(b.menu.GetMenuState(1, MF_BYPOSITION) & MF_OWNERDRAW, 0u);
        EXPECT_EQ(platform::Utf16ToUtf8(b.menu.GetMenuString(0, MF_BYPOSITION)), "System");
        EXPECT_EQ(platform::Utf16ToUtf8(b.menu.GetMenuString(2, MF_BYPOSITION)), "Plain");
    }
    {
        // Not loaded: no offset, record i goes to entry i, so the popup shows record 1's caption.
        Built b;
        build(b, FALSE);
        b.menu.SyncMenuBarPopups();
        EXPECT_EQ(platform::Utf16ToUtf8(b.menu.GetMenuString(1, MF_BYPOSITION)), "Plain");
        EXPECT_EQ(b.plainRecord->m_flags, MF_POPUP | MF_BYPOSITION);
        EXPECT_EQ(b.popupRecord->m_flags, MF_POPUP | MF_OWNERDRAW);
        EXPECT_EQ(platform::GetSubMenu(b.menu.m_hMenu, 1), b.sub);
    }
}
