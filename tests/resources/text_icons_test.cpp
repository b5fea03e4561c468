// The embedded icons and the meter picture: present under their ids, decodable, of the expected
// size, drawn (not blank) and all different.
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <wx/image.h>

#include "platform/resources.h"
#include "resources/resource_ids.h"
#include "tests/support/test_support.h"

namespace {

struct Picture {
    platform::ResType type;
    int id;
    int width;
    int height;
};

const Picture kPictures[] = {
    {platform::ResType::Icon, IDR_MAINFRAME, 32, 32},   {platform::ResType::Icon, IDI_PORT_OPEN, 32, 32},
    {platform::ResType::Icon, IDI_PORT_CLOSED, 32, 32}, {platform::ResType::Icon, IDI_METER_ON, 32, 32},
    {platform::ResType::Icon, IDI_METER_OFF, 32, 32},   {platform::ResType::Icon, IDI_SAVE_PRINT, 32, 32},
    {platform::ResType::Icon, IDI_TIME_SET, 32, 32},    {platform::ResType::Icon, IDI_DELETE_ALL, 32, 32},
    {platform::ResType::Icon, IDI_EXPORT, 32, 32},      {platform::ResType::Icon, IDI_EXIT, 32, 32},
    {platform::ResType::Icon, IDI_RESET, 32, 32},       {platform::ResType::Icon, IDI_CALIBRATE, 32, 32},
    {platform::ResType::Icon, IDI_UPLOAD, 32, 32},      {platform::ResType::Bitmap, IDB_PICTURE, 96, 64},
};

std::string Pixels(const wxImage& img)
{
    std::string s(reinterpret_cast<const char*>(img.GetData()),
                  static_cast<std::size_t>(img.GetWidth() * img.GetHeight() * 3));
    if (img.HasAlpha())
        s.append(reinterpret_cast<const char*>(img.GetAlpha()),
                 static_cast<std::size_t>(img.GetWidth() * img.GetHeight()));
    return s;
}

TEST(EmbeddedPictures, DecodeWithSizeAndTransparency)
{
    std::set<std::string> seen;
    for (const auto& p : kPictures) {
        SCOPED_TRACE(p.id);
        const wxImage img = platform::LoadImageResource(p.type, p.id);
        ASSERT_TRUE(img.IsOk());
        EXPECT_EQ(img.GetWidth(), p.width);
        EXPECT_EQ(img.GetHeight(), p.height);
        ASSERT_TRUE(img.HasAlpha());
        int clear = 0;
        int opaque = 0;
        for (int y = 0; y < img.GetHeight(); ++y) {
            for (int x = 0; x < img.GetWidth(); ++x) {
                const unsigned char a = img.GetAlpha(x, y);
                if (a == 0) ++clear;
                if (a == 255) ++opaque;
            }
        }
        // A drawn picture on a transparent ground: a good share of each.
        const int area = img.GetWidth() * img.GetHeight();
        EXPECT_GT(opaque, area / 4);
        EXPECT_GT(clear, 0);
        EXPECT_TRUE(seen.insert(Pixels(img)).second) << "same picture as another";
    }
}

TEST(EmbeddedPictures, IconsLoadAsIcons)
{
    QEL_REQUIRE_DISPLAY();
    const wxIcon icon = platform::LoadIconResource(IDI_PORT_OPEN);
    ASSERT_TRUE(icon.IsOk());
    EXPECT_EQ(icon.GetWidth(), 32);
    EXPECT_EQ(icon.GetHeight(), 32);
}

}  // namespace
