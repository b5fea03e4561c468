// The profile-file reader: sections and keys, blanks, quotes, line endings, cutting to the buffer,
// the conversion of the file's bytes, a profile answering from the file as it was read, and the
// largest file read.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "core/codepage.h"
#include "core/profile.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using core::GetPrivateProfileString;
using core::Profile;

const std::string kConnectUtf8 = "\xE8\xBF\x9E\xE6\x8E\xA5";  // 连接
const std::string kConnectGbk = "\xC1\xAC\xBD\xD3";
const std::string kNoRecordUtf8 = "\xE6\xB2\xA1\xE6\x9C\x89\xE8\xAE\xB0\xE5\xBD\x95!";  // 没有记录!

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = temp_.Path();
        path_ = (dir_ / "language.ini").string();
    }
    void Write(const std::string& bytes)
    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    std::string Read(const std::string& section, const std::string& key, std::size_t size = 20,
                     const std::string& def = "Error")
    {
        return GetPrivateProfileString(section, key, def, size, path_);
    }

    fs::path dir_;
    testing_support::TempDir temp_{"qel-profile"};
    std::string path_;
};

TEST_F(ProfileFile, GbkFileIsDecoded)
{
    Write("[Section1]\r\nItem=1\r\nconnect=" + kConnectGbk + "\r\nnorecord=" + core::ToGbk(kNoRecordUtf8) + "\r\n");
    EXPECT_EQ(Read("Section1", "Item", 80), "1");
    EXPECT_EQ(Read("Section1", "connect"), kConnectUtf8);
    EXPECT_EQ(Read("Section1", "norecord"), kNoRecordUtf8);
}

TEST_F(ProfileFile, Utf8FileIsKept)
{
    for (const std::string bom : {"", "\xEF\xBB\xBF"}) {
        Write(bom + "[Section1]\nItem=2\nconnect=" + kConnectUtf8 + "\n");
        EXPECT_EQ(Read("Section1", "Item", 80), "2") << "BOM: " << !bom.empty();
        EXPECT_EQ(Read("Section1", "connect"), kConnectUtf8) << "BOM: " << !bom.empty();
    }
}

TEST_F(ProfileFile, EncodingIsDecidedForTheWholeFile)
{
    // "时" in GBK (CA B1) is also valid UTF-8; in a GBK file it is read as GBK.
    Write("[Section1]\nhour=\xCA\xB1\nconnect=" + kConnectGbk + "\n");
    EXPECT_EQ(Read("Section1", "hour"), "\xE6\x97\xB6");
    // In a UTF-8 file the same bytes are U+02B1.
    Write("[Section1]\nhour=\xCA\xB1\nconnect=" + kConnectUtf8 + "\n");
    EXPECT_EQ(Read("Section1", "hour"), "\xCA\xB1");
}

TEST_F(ProfileFile, ItemValues)
{
    struct Case {
        std::string line;
        std::string value;
    };
    const Case cases[] = {
        {"Item=1", "1"},         {"Item=12", "12"}, {"Item= 1", "1"}, {"Item=1 ", "1"},  {"Item\t=\t0", "0"},
        {"  Item  =  2  ", "2"}, {"Item=", ""},     {"Item=   ", ""}, {"Item=x1", "x1"},
    };
    for (const auto& c : cases) {
        Write("[Section1]\r\n" + c.line + "\r\n");
        EXPECT_EQ(Read("Section1", "Item", 80, "zz"), c.value) << c.line;
    }
}

TEST_F(ProfileFile, MissingFileSectionOrKeyGivesDefault)
{
    EXPECT_EQ(Read("Section1", "Item", 80, ""), "");
    EXPECT_EQ(Read("Section1", "connect"), "Error");

    Write("[Other]\nconnect=A\n[Section1]\ncut=B\n");
    EXPECT_EQ(Read("Section1", "connect"), "Error");
    EXPECT_EQ(Read("Section2", "cut"), "Error");
    EXPECT_EQ(Read("Section1", "cut"), "B");
    EXPECT_EQ(Read("Other", "connect"), "A");
    // A folder where the file should be.
    EXPECT_EQ(GetPrivateProfileString("Section1", "cut", "Error", 20, dir_.string()), "Error");
}

TEST_F(ProfileFile, NamesAreCaseInsensitiveAndTrimmed)
{
    Write("[ SECTION1 ]\nCONNECT=A\n  Cut  =B\n");
    EXPECT_EQ(Read("section1", "connect"), "A");
    EXPECT_EQ(Read("Section1", "cut"), "B");
    EXPECT_EQ(Read("Section1", "CUT"), "B");
}

TEST_F(ProfileFile, OnePairOfEnclosingQuotesIsRemoved)
{
    struct Case {
        std::string raw;
        std::string value;
    };
    const Case cases[] = {
        {"\"abc\"", "abc"}, {"'abc'", "abc"},       {"  \" a b \"  ", " a b "}, {"\"\"x\"\"", "\"x\""},
        {"\"abc", "\"abc"}, {"abc\"", "abc\""},     {"\"abc'", "\"abc'"},       {"\"\"", ""},
        {"\"", "\""},       {"a\"b\"c", "a\"b\"c"},
    };
    for (const auto& c : cases) {
        Write("[Section1]\nk=" + c.raw + "\n");
        EXPECT_EQ(Read("Section1", "k", 80), c.value) << c.raw;
    }
}

TEST_F(ProfileFile, LineEndingsCommentsAndOddLines)
{
    Write("[Section1]\rcut=A\rconnect=B\r");
    EXPECT_EQ(Read("Section1", "cut"), "A");
    EXPECT_EQ(Read("Section1", "connect"), "B");

    Write("; connect=commented\n[Section1]\n;connect=C\n  ; cut=D\njunk line\nconnect=E=F\n");
    EXPECT_EQ(Read("Section1", "connect"), "E=F");
    EXPECT_EQ(Read("Section1", "cut"), "Error");
    EXPECT_EQ(Read("Section1", "junk line"), "Error");

    // No expansion of variables, no escapes.
    Write("[Section1]\nk=$HOME\\n%PATH%\n");
    EXPECT_EQ(Read("Section1", "k", 80), "$HOME\\n%PATH%");
}

TEST_F(ProfileFile, FirstOfDuplicatedKeysWins)
{
    Write("[Section1]\nconnect=first\nCONNECT=second\n");
    EXPECT_EQ(Read("Section1", "connect"), "first");
    // A later section of the same name is not searched.
    Write("[Section1]\ncut=A\n[Section1]\ncut=B\nconnect=C\n");
    EXPECT_EQ(Read("Section1", "cut"), "A");
    EXPECT_EQ(Read("Section1", "connect"), "Error");
}

TEST_F(ProfileFile, LongValuesAreCutOnCharacterBoundaries)
{
    std::string gbkTen;
    std::string utf8Ten;
    for (int i = 0; i < 5; ++i) {
        gbkTen += kConnectGbk;
        utf8Ten += kConnectUtf8;
    }
    struct Case {
        const char* what;
        std::string raw;
        std::string expected;
    };
    const Case cases[] = {
        // 20 GBK bytes: 9 characters (18 bytes) fit into 19.
        {"GBK 20 bytes", gbkTen, utf8Ten.substr(0, 27)},
        // 21 GBK bytes starting with ASCII: "a" and 9 characters.
        {"GBK after ASCII", "a" + gbkTen, "a" + utf8Ten.substr(0, 27)},
        // 19 ASCII bytes and one GBK character: the character is dropped whole.
        {"GBK at the end", "0123456789012345678" + kConnectGbk, "0123456789012345678"},
        // 30 UTF-8 bytes: 6 characters (18 bytes).
        {"UTF-8 30 bytes", utf8Ten, utf8Ten.substr(0, 18)},
        {"UTF-8 after ASCII", "a" + utf8Ten, "a" + utf8Ten.substr(0, 18)},
        {"ASCII 25 bytes", "ABCDEFGHIJKLMNOPQRSTUVWXY", "ABCDEFGHIJKLMNOPQRS"},
        {"exactly 19 bytes", "ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNOPQRS"},
    };
    for (const auto& c : cases) {
        Write("[Section1]\ntext=" + c.raw + "\n");
        const std::string v = Read("Section1", "text");
        EXPECT_EQ(v, c.expected) << c.what;
        EXPECT_TRUE(core::IsValidUtf8(v)) << c.what;
    }
}

TEST_F(ProfileFile, DefaultAndTinyBuffersAreCutToo)
{
    EXPECT_EQ(Read("Section1", "connect", 4), "Err");
    EXPECT_EQ(Read("Section1", "connect", 1), "");
    EXPECT_EQ(Read("Section1", "connect", 0), "");
    Write("[Section1]\nconnect=" + kConnectGbk + "\n");
    EXPECT_EQ(Read("Section1", "connect", 4), kConnectUtf8.substr(0, 3));
    EXPECT_EQ(Read("Section1", "connect", 2), "");
}

TEST_F(ProfileFile, ALoadedProfileAnswersFromTheFileAsItWasRead)
{
    Write("[Section1]\nItem=1\nconnect=" + kConnectGbk + "\n");
    const Profile profile = Profile::Load(path_);
    auto answers = [&] {
        EXPECT_EQ(profile.GetString("Section1", "Item", "", 80), "1");
        EXPECT_EQ(profile.GetString("section1", "CONNECT", "Error", 20), kConnectUtf8);
        EXPECT_EQ(profile.GetString("Section1", "cut", "Error", 20), "Error");
    };
    answers();
    // Another file in its place, UTF-8 this time, with other values: the profile keeps what it
    // read, its encoding too.
    Write("[Section1]\nItem=2\nconnect=" + kNoRecordUtf8 + "\ncut=B\n");
    ASSERT_EQ(Read("Section1", "Item", 80), "2");
    answers();
    // No file at all.
    ASSERT_EQ(::unlink(path_.c_str()), 0);
    ASSERT_EQ(Read("Section1", "Item", 80, "none"), "none");
    answers();

    // A profile of a missing file, and one made without a file, give the defaults, cut to the buffer.
    for (const Profile& none : {Profile::Load(path_), Profile()}) {
        EXPECT_EQ(none.GetString("Section1", "Item", "", 80), "");
        EXPECT_EQ(none.GetString("Section1", "connect", "Error", 4), "Err");
    }
}

TEST_F(ProfileFile, AFileLargerThanTheLimitIsNotRead)
{
    // The value sits at the start; comment lines fill the file up to the size given.
    auto fileOf = [](std::size_t size) {
        std::string text = "[Section1]\nItem=1\n";
        const std::string comment = ";" + std::string(62, 'x') + "\n";
        while (text.size() + comment.size() < size) text += comment;
        text += ";" + std::string(size - text.size() - 1, 'y');
        return text;
    };
    const std::size_t limit = Profile::kMaxFileBytes;
    for (const std::size_t size : {limit - 1, limit}) {
        const std::string text = fileOf(size);
        ASSERT_EQ(text.size(), size);
        Write(text);
        EXPECT_EQ(Profile::Load(path_).GetString("Section1", "Item", "none", 80), "1") << size << " bytes";
    }
    for (const std::size_t size : {limit + 1, 8 * limit}) {
        Write(fileOf(size));
        EXPECT_EQ(Profile::Load(path_).GetString("Section1", "Item", "none", 80), "none") << size << " bytes";
        EXPECT_EQ(Read("Section1", "Item", 80, "none"), "none") << size << " bytes";
    }
}

}  // namespace
