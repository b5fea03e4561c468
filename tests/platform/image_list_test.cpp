// Image lists: one image size per list, images by index, handles never reused.
#include <set>

#include <gtest/gtest.h>
#include <wx/image.h>

#include "platform/image_list.h"

namespace {

wxImage Solid(int w, int h, unsigned char r, unsigned char g, unsigned char b)
{
    wxImage image(w, h);
    image.SetRGB(wxRect(0, 0, w, h), r, g, b);
    return image;
}

}  // namespace

TEST(ImageList, HoldsNothingWithoutAHandle)
{
    CImageList list;
    EXPECT_EQ(list.GetSafeHandle(), 0u);
    EXPECT_EQ(list.GetImageCount(), 0);
    EXPECT_EQ(list.Add(Solid(16, 15, 1, 2, 3)), -1);
    EXPECT_FALSE(list.Replace(0, Solid(16, 15, 1, 2, 3)));
    EXPECT_FALSE(list.Remove(-1));
    EXPECT_FALSE(list.DeleteImageList());
    EXPECT_FALSE(list.GetImage(0).IsOk());
    int cx = 0, cy = 0;
    EXPECT_FALSE(list.GetImageSize(&cx, &cy));
}

TEST(ImageList, CreateRefusesABadSizeOrASecondList)
{
    CImageList list;
    EXPECT_FALSE(list.Create(0, 15, ILC_MASK, 1, 1));
    EXPECT_FALSE(list.Create(16, -1, ILC_MASK, 1, 1));
    ASSERT_TRUE(list.Create(16, 15, ILC_COLORDDB | ILC_MASK, 4, 4));
    EXPECT_FALSE(list.Create(8, 8, ILC_MASK, 1, 1));
    int cx = 0, cy = 0;
    ASSERT_TRUE(list.GetImageSize(&cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 15);
    EXPECT_EQ(list.GetFlags(), ILC_COLORDDB | ILC_MASK);
}

TEST(ImageList, ImagesByIndex)
{
    CImageList list;
    ASSERT_TRUE(list.Create(16, 15, ILC_COLOR24, 0, 4));
    EXPECT_EQ(list.Add(Solid(16, 15, 255, 0, 0)), 0);
    EXPECT_EQ(list.Add(Solid(32, 30, 0, 255, 0)), 1);  // made the list's size
    EXPECT_EQ(list.Add(wxImage()), -1);
    EXPECT_EQ(list.GetImageCount(), 2);
    EXPECT_EQ(list.GetImage(1).GetWidth(), 16);
    EXPECT_EQ(list.GetImage(1).GetHeight(), 15);
    EXPECT_EQ(list.GetImage(1).GetGreen(3, 3), 255);
    ASSERT_TRUE(list.Replace(0, Solid(16, 15, 0, 0, 255)));
    EXPECT_EQ(list.GetImage(0).GetBlue(0, 0), 255);
    EXPECT_FALSE(list.Replace(2, Solid(16, 15, 0, 0, 0)));
    ASSERT_TRUE(list.Remove(0));
    EXPECT_EQ(list.GetImageCount(), 1);
    EXPECT_EQ(list.GetImage(0).GetGreen(0, 0), 255);
    EXPECT_FALSE(list.Remove(5));
    ASSERT_TRUE(list.Remove(-1));
    EXPECT_EQ(list.GetImageCount(), 0);
}

TEST(ImageList, AMaskedListTakesTheTransparentColour)
{
    CImageList list;
    ASSERT_TRUE(list.Create(4, 4, ILC_MASK, 1, 1));
    wxImage image = Solid(4, 4, 192, 192, 192);
    ASSERT_EQ(list.Add(image, 0x00C0C0C0u), 0);
    const wxImage kept = list.GetImage(0);
    ASSERT_TRUE(kept.HasMask());
    EXPECT_EQ(kept.GetMaskRed(), 192);
    EXPECT_FALSE(image.HasMask());  // the caller's image is not changed
}

TEST(ImageList, HandlesAreNeverReusedAndCountedWhileAlive)
{
    const std::size_t live = CImageList::LiveCount();
    std::set<HIMAGELIST> seen;
    for (int i = 0; i < 20; ++i) {
        CImageList list;
        ASSERT_TRUE(list.Create(16, 15, ILC_MASK, 1, 1));
        EXPECT_TRUE(seen.insert(list.GetSafeHandle()).second);
        EXPECT_EQ(CImageList::LiveCount(), live + 1);
        if (i % 2) {
            EXPECT_TRUE(list.DeleteImageList());
        }
    }
    EXPECT_EQ(CImageList::LiveCount(), live);
}
