// Integer resource names, as the toolbar reader and the sound player both take them: one
// definition, whichever header brings it.
#include <gtest/gtest.h>

#include "platform/sound.h"
#include "platform/toolbar.h"

TEST(ResourceName, IntegerNamesAreTheIdsBelow0x10000)
{
    EXPECT_TRUE(platform::IsIntResource(platform::MakeIntResource(1)));
    EXPECT_TRUE(platform::IsIntResource(platform::MakeIntResource(0xFFFF)));
    EXPECT_EQ(platform::IntResourceId(platform::MakeIntResource(0xFFFF)), 0xFFFF);
    // Only the low 16 bits of an id travel in a name.
    EXPECT_EQ(platform::IntResourceId(platform::MakeIntResource(0x12345)), 0x2345);
    EXPECT_FALSE(platform::IsIntResource(reinterpret_cast<const char*>(std::uintptr_t{0x10000})));
    static const char text[] = "TOOLS";
    EXPECT_FALSE(platform::IsIntResource(text));
}
