// The system's version and desktop theme as the owner-drawn menus ask for them.
#include <gtest/gtest.h>

#include "platform/os_version.h"

using namespace platform;

TEST(OsVersionProvider, ThisSystemIsALaterNtSystemWithoutTheme)
{
    const OsVersion version = CurrentOsVersion();
    EXPECT_EQ(version.packed & 0x80000000u, 0u);  // the NT family
    ASSERT_TRUE(version.detailed.has_value());
    EXPECT_EQ(version.detailed->first, version.packed & 0xFF);
    EXPECT_EQ(version.detailed->second, (version.packed >> 8) & 0xFF);
    EXPECT_GE(version.detailed->first, 6u);  // later than every version the menus tell apart
    EXPECT_FALSE(CurrentDesktopTheme().has_value());
}

TEST(OsVersionProvider, TestsSetAndRestoreTheAnswers)
{
    SetOsVersionProvider([] { return OsVersion{Pack9xVersion(4, 90), std::nullopt}; });
    SetDesktopThemeProvider([] { return std::optional<std::string>("Luna.theme"); });
    EXPECT_EQ(CurrentOsVersion().packed, 0x80005A04u);
    EXPECT_FALSE(CurrentOsVersion().detailed.has_value());
    EXPECT_EQ(CurrentDesktopTheme().value_or(""), "Luna.theme");
    SetOsVersionProvider({});
    SetDesktopThemeProvider({});
    EXPECT_EQ(CurrentOsVersion().packed & 0x80000000u, 0u);
    EXPECT_FALSE(CurrentDesktopTheme().has_value());
}

TEST(OsVersionProvider, PackedWords)
{
    EXPECT_EQ(PackNtVersion(5, 1), 0x0105u);
    EXPECT_EQ(PackNtVersion(10, 0), 0x000Au);
    EXPECT_EQ(Pack9xVersion(4, 10), 0x80000A04u);
}
