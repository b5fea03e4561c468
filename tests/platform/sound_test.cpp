// The sound player: which player is installed, the files sound resources are played from, and
// what the desktop player refuses before it reaches the sound service.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/resources.h"
#include "platform/sound.h"
#include "tests/support/recording_sound_player.h"

namespace {

const unsigned char kWaveA[] = "RIFF\x24\x00\x00\x00WAVEfmt a-sound";
const unsigned char kWaveB[] = "RIFF\x24\x00\x00\x00WAVEfmt another-sound, longer";

const platform::ResourceEntry kSounds[] = {
    {platform::ResType::Sound, 9601, nullptr, kWaveA, sizeof kWaveA - 1},
    {platform::ResType::Sound, 0, "../CHIME", kWaveB, sizeof kWaveB - 1},
    {platform::ResType::Sound, 9602, nullptr, kWaveB, 0},
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SoundResources : public ::testing::Test {
protected:
    void SetUp() override { platform::RegisterResources(kSounds, std::size(kSounds)); }
};

TEST_F(SoundResources, ResourcesAreWrittenOnceIntoAFolderOfTheUsersOwn)
{
    const struct {
        const char* name;
        const unsigned char* bytes;
        std::size_t size;
    } cases[] = {
        {platform::MakeIntResource(9601), kWaveA, sizeof kWaveA - 1},
        {"../CHIME", kWaveB, sizeof kWaveB - 1},
    };
    for (const auto& c : cases) {
        const std::string path = platform::SoundResourceFile(c.name);
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(ReadFile(path), std::string(reinterpret_cast<const char*>(c.bytes), c.size));
        // A name never becomes part of the path.
        EXPECT_EQ(path.find(".."), std::string::npos) << path;
        const std::string folder = path.substr(0, path.rfind('/'));
        struct stat st {};
        ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, ::getuid());
        EXPECT_EQ(st.st_mode & 077, 0u) << "nobody else may write or read the folder";

        // Asked again: the same file, written back when someone changed it.
        EXPECT_EQ(platform::SoundResourceFile(c.name), path);
        {
            std::ofstream(path, std::ios::binary | std::ios::trunc) << "spoiled";
        }
        EXPECT_EQ(platform::SoundResourceFile(c.name), path);
        EXPECT_EQ(ReadFile(path).size(), c.size);
    }
    EXPECT_NE(platform::SoundResourceFile(platform::MakeIntResource(9601)), platform::SoundResourceFile("../CHIME"));
}

TEST_F(SoundResources, UnknownAndEmptyResourcesHaveNoFile)
{
    EXPECT_TRUE(platform::SoundResourceFile(platform::MakeIntResource(9699)).empty());
    EXPECT_TRUE(platform::SoundResourceFile("NO-SUCH-SOUND").empty());
    EXPECT_TRUE(platform::SoundResourceFile(platform::MakeIntResource(9602)).empty()) << "no bytes";
    EXPECT_TRUE(platform::SoundResourceFile(nullptr).empty());
}

TEST_F(SoundResources, DesktopPlayerRefusesWhatItCannotPlay)
{
    platform::CanberraSoundPlayer player;
    const DWORD file = platform::SND_FILENAME | platform::SND_NODEFAULT | platform::SND_NOWAIT;
    const DWORD resource = platform::SND_RESOURCE | platform::SND_NODEFAULT | platform::SND_NOWAIT;
    const struct {
        const char* what;
        const char* sound;
        platform::HMODULE module;
        DWORD flags;
    } cases[] = {
        {"no sound", nullptr, nullptr, file},
        {"missing file", "/nonexistent/qel/click.wav", nullptr, file},
        {"a folder", "/tmp", nullptr, file},
        {"empty name", "", nullptr, file | platform::SND_ASYNC},
        {"an id as a file name", platform::MakeIntResource(9601), nullptr, file},
        {"unknown resource", platform::MakeIntResource(9699), platform::AppResourceModule(), resource},
        {"resource without a module", platform::MakeIntResource(9601), nullptr, resource},
    };
    for (const auto& c : cases) EXPECT_FALSE(player.PlaySound(c.sound, c.module, c.flags)) << c.what;
}

TEST(SoundPlayer, RecordingPlayerInstallsItselfAndRestoresThePrevious)
{
    platform::ISoundPlayer* desktop = &platform::SoundPlayer();
    {
        testing_support::RecordingSoundPlayer outer;
        EXPECT_EQ(&platform::SoundPlayer(), &outer);
        {
            testing_support::RecordingSoundPlayer inner;
            inner.result = false;
            EXPECT_FALSE(platform::PlaySound("a.wav", nullptr, platform::SND_FILENAME));
            EXPECT_FALSE(platform::PlaySound(platform::MakeIntResource(12), platform::AppResourceModule(),
                                             platform::SND_RESOURCE | platform::SND_ASYNC));
            ASSERT_EQ(inner.calls.size(), 2u);
            EXPECT_EQ(inner.calls[0].sound, "a.wav");
            EXPECT_EQ(inner.calls[0].resourceId, 0);
            EXPECT_EQ(inner.calls[1].sound, "");
            EXPECT_EQ(inner.calls[1].resourceId, 12);
            EXPECT_EQ(inner.calls[1].module, platform::AppResourceModule());
            EXPECT_EQ(inner.calls[1].flags, platform::SND_RESOURCE | platform::SND_ASYNC);
        }
        EXPECT_EQ(&platform::SoundPlayer(), &outer);
        EXPECT_TRUE(outer.calls.empty());
    }
    EXPECT_EQ(&platform::SoundPlayer(), desktop);
}

TEST(SoundPlayer, IntResourceNames)
{
    EXPECT_TRUE(platform::IsIntResource(platform::MakeIntResource(1)));
    EXPECT_TRUE(platform::IsIntResource(platform::MakeIntResource(65535)));
    EXPECT_EQ(platform::IntResourceId(platform::MakeIntResource(4321)), 4321);
    static const char name[] = "CLICK";
    EXPECT_FALSE(platform::IsIntResource(name));
}

}  // namespace
