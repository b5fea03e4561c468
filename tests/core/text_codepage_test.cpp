// The 8-bit code page: UTF-8 validation, GBK decoding and encoding, cutting on character
// boundaries.
#include <string>

#include <gtest/gtest.h>

#include "core/codepage.h"

namespace {

using core::CutToBytes;
using core::FromCodePage;
using core::IsValidUtf8;
using core::ToGbk;

// "中文" in both encodings.
const std::string kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";
const std::string kReplacement = "\xEF\xBF\xBD";

struct Utf8Case {
    const char* what;
    std::string bytes;
    bool valid;
};

TEST(CodePage, Utf8ValidationIsStrict)
{
    const Utf8Case cases[] = {
        {"empty", "", true},
        {"ASCII", "COM IS NOT OPEN!", true},
        {"two-byte", "\xC2\xA9", true},
        {"CJK", kZhongWenUtf8, true},
        {"highest BMP", "\xEF\xBF\xBF", true},
        {"last code point U+10FFFF", "\xF4\x8F\xBF\xBF", true},
        {"emoji", "\xF0\x9F\x98\x80", true},
        {"overlong NUL", std::string("\xC0\x80", 2), false},
        {"overlong two-byte C1", "\xC1\xBF", false},
        {"overlong three-byte", "\xE0\x80\xAF", false},
        {"overlong four-byte", "\xF0\x80\x80\xAF", false},
        {"surrogate D800", "\xED\xA0\x80", false},
        {"surrogate DFFF", "\xED\xBF\xBF", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"F5 lead", "\xF5\x80\x80\x80", false},
        {"lone continuation", "a\x80", false},
        {"truncated at the end", "\xE4\xB8", false},
        {"truncated before ASCII",
         "\xE4\xB8"
         "a",
         false},
        {"FF byte", "\xFF", false},
        {"GBK text", kZhongWenGbk, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.what;
    }
}

struct DecodeCase {
    const char* what;
    std::string bytes;
    std::string utf8;
};

TEST(CodePage, FromCodePageKeepsUtf8AndDecodesGbk)
{
    const DecodeCase cases[] = {
        {"empty", "", ""},
        {"ASCII", "Error", "Error"},
        {"UTF-8 kept", kZhongWenUtf8, kZhongWenUtf8},
        {"GBK decoded", kZhongWenGbk, kZhongWenUtf8},
        {"GBK with ASCII", "dBm " + kZhongWenGbk + "!", "dBm " + kZhongWenUtf8 + "!"},
        // "功率(dBm)" in GBK
        {"GBK mixed", "\xB9\xA6\xC2\xCA(dBm)", "\xE5\x8A\x9F\xE7\x8E\x87(dBm)"},
        {"GBK euro sign", "\x80", "\xE2\x82\xAC"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FromCodePage(c.bytes), c.utf8) << c.what;
    }
}

TEST(CodePage, FromCodePageReplacesUndecodableBytesAndGoesOn)
{
    const DecodeCase cases[] = {
        {"FF between characters", "\xD6\xD0\xFF\xCE\xC4", "\xE4\xB8\xAD" + kReplacement + "\xE6\x96\x87"},
        {"lead byte cut off at the end", "\xD6\xD0\xD6", "\xE4\xB8\xAD" + kReplacement},
        {"lead byte before a blank", "\x81 ok", kReplacement + " ok"},
        {"lead byte before DEL",
         "\x81\x7F"
         "a",
         kReplacement + "\x7F"
                        "a"},
        {"several bad bytes",
         "\xFF\xFF"
         "a",
         kReplacement + kReplacement + "a"},
    };
    for (const auto& c : cases) {
        const std::string out = FromCodePage(c.bytes);
        EXPECT_EQ(out, c.utf8) << c.what;
        EXPECT_TRUE(IsValidUtf8(out)) << c.what;
    }
}

TEST(CodePage, ToGbkEncodesAndMarksUnmappableCharacters)
{
    EXPECT_EQ(ToGbk(""), "");
    EXPECT_EQ(ToGbk("CONNECT"), "CONNECT");
    EXPECT_EQ(ToGbk(kZhongWenUtf8), kZhongWenGbk);
    // An emoji and a Hangul syllable missing from GBK each become one '?'.
    EXPECT_EQ(ToGbk("a\xF0\x9F\x98\x80"
                    "b"),
              "a?b");
    EXPECT_EQ(ToGbk("\xEA\xB0\x80" + kZhongWenUtf8), "?" + kZhongWenGbk);
    // Bytes that are no UTF-8 at all do not stop the conversion.
    EXPECT_EQ(ToGbk("x\xFF"
                    "y"),
              "x?y");
    EXPECT_EQ(ToGbk("x\xE4\xB8"), "x?");
}

TEST(CodePage, GbkRoundTrips)
{
    const std::string texts[] = {
        kZhongWenUtf8,
        "\xE5\x85\x89\xE5\x8A\x9F\xE7\x8E\x87\xE6\xB5\x8B\xE8\xAF\x95\xE6\x8A\xA5\xE5\x91\x8A",  // 光功率测试报告
        "\xE8\xBF\x9E\xE6\x8E\xA5\xE6\x88\x90\xE5\x8A\x9F!",                                     // 连接成功!
        "\xE6\x97\xB6\xE9\x97\xB4 12:30",                                                        // 时间 12:30
        "\xE5\x88\x86",                                                                          // 分
    };
    for (const auto& t : texts) {
        const std::string gbk = ToGbk(t);
        EXPECT_FALSE(IsValidUtf8(gbk)) << t;
        EXPECT_EQ(FromCodePage(gbk), t);
    }
}

struct CutCase {
    const char* what;
    std::string bytes;
    std::size_t max;
    std::string cut;
};

TEST(CodePage, CutToBytesKeepsWholeCharacters)
{
    const CutCase cases[] = {
        {"short text unchanged", "abc", 19, "abc"},
        {"exact length unchanged", "abc", 3, "abc"},
        {"ASCII cut", "abcdef", 4, "abcd"},
        {"zero bytes", "abc", 0, ""},
        {"UTF-8 whole character fits", kZhongWenUtf8, 3, "\xE4\xB8\xAD"},
        {"UTF-8 inside the second character", kZhongWenUtf8, 5, "\xE4\xB8\xAD"},
        {"UTF-8 inside the first character", kZhongWenUtf8, 2, ""},
        {"UTF-8 after ASCII", "a" + kZhongWenUtf8, 3, "a"},
        {"UTF-8 four-byte character", "ab\xF0\x9F\x98\x80", 5, "ab"},
        {"GBK pair kept together", kZhongWenGbk, 3, "\xD6\xD0"},
        {"GBK after ASCII", "a" + kZhongWenGbk, 2, "a"},
        {"GBK after ASCII, room for one pair", "a" + kZhongWenGbk, 3, "a\xD6\xD0"},
        {"GBK single lead byte at the cut",
         "\xD6\xD0"
         "ab\xCE\xC4",
         4,
         "\xD6\xD0"
         "ab"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CutToBytes(c.bytes, c.max), c.cut) << c.what;
    }
}

TEST(CodePage, KnownEncodingOverridesTheGuess)
{
    // "时" in GBK is CA B1, which is valid UTF-8 as well (U+02B1).
    const std::string shiGbk = "\xCA\xB1";
    ASSERT_TRUE(IsValidUtf8(shiGbk));
    EXPECT_EQ(FromCodePage(shiGbk), shiGbk);
    EXPECT_EQ(core::DecodeGbk(shiGbk), "\xE6\x97\xB6");
    EXPECT_EQ(core::DecodeGbk("\xD6\xD0\xFF"), "\xE4\xB8\xAD" + kReplacement);

    // The bytes of "中文" in UTF-8 read as GBK pairs: E4B8 ADE6 9687.
    EXPECT_EQ(core::CutUtf8ToBytes(kZhongWenUtf8, 4), kZhongWenUtf8.substr(0, 3));
    EXPECT_EQ(core::CutGbkToBytes(kZhongWenUtf8, 4), kZhongWenUtf8.substr(0, 4));
    EXPECT_EQ(core::CutGbkToBytes(kZhongWenUtf8, 3), kZhongWenUtf8.substr(0, 2));
}

TEST(CodePage, CutToBytesOfTwentyByteTexts)
{
    // Ten two-byte GBK characters (20 bytes) into 19 bytes: nine characters.
    std::string gbk;
    for (int i = 0; i < 10; ++i) gbk += kZhongWenGbk.substr(0, 2);
    const std::string cut = CutToBytes(gbk, 19);
    EXPECT_EQ(cut.size(), 18u);
    EXPECT_EQ(cut, gbk.substr(0, 18));

    // Seven three-byte UTF-8 characters (21 bytes) into 19 bytes: six characters.
    std::string utf8;
    for (int i = 0; i < 7; ++i) utf8 += kZhongWenUtf8.substr(0, 3);
    const std::string cutUtf8 = CutToBytes(utf8, 19);
    EXPECT_EQ(cutUtf8.size(), 18u);
    EXPECT_TRUE(IsValidUtf8(cutUtf8));
}

}  // namespace
