// The shipped language file: GBK bytes, English chosen, one fitting Chinese text for every key.
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "console/language_texts.h"
#include "core/codepage.h"
#include "core/profile.h"

namespace {

const std::string kPath = std::string(QEL_SOURCE_DIR) + "/data/language.ini";

std::string FileBytes()
{
    std::ifstream in(kPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(LanguageFile, IsGbkAndSelectsEnglish)
{
    const std::string bytes = FileBytes();
    ASSERT_FALSE(bytes.empty()) << kPath;
    EXPECT_FALSE(core::IsValidUtf8(bytes));
    // Every byte decodes: no replacement character comes out.
    EXPECT_EQ(core::FromCodePage(bytes).find("\xEF\xBF\xBD"), std::string::npos);
    EXPECT_EQ(core::GetPrivateProfileString("Section1", "Item", "", 80, kPath), "0");
}

TEST(LanguageFile, HoldsEveryKeyOnceWithAFittingChineseText)
{
    std::set<std::string> seen;
    for (size_t k = 0; k < LanguageTextSet::kCount; ++k) {
        const char* key = LanguageTextSet::Key(k);
        ASSERT_NE(key, nullptr);
        EXPECT_TRUE(seen.insert(key).second) << "duplicate key " << key;
        // Read without cutting, to see the whole text the file holds.
        const std::string text = core::GetPrivateProfileString("Section1", key, "Error", 256, kPath);
        EXPECT_NE(text, "Error") << key;
        const std::string gbk = core::ToGbk(text);
        EXPECT_LE(gbk.size(), 19u) << key;
        // The text is the file's GBK bytes decoded, and goes back to them.
        EXPECT_NE(FileBytes().find(std::string(key) + "=" + gbk + "\r\n"), std::string::npos) << key;
        // Some character beyond ASCII: a Chinese text.
        EXPECT_NE(gbk, text) << key;
        // The console reads 20-byte buffers: the text comes back whole.
        EXPECT_EQ(core::GetPrivateProfileString("Section1", key, "Error", 20, kPath), text) << key;
    }
    EXPECT_EQ(seen.size(), 42u);
}

TEST(LanguageFile, MessagesReadAsExpected)
{
    struct Case {
        const char* key;
        const char* text;
    };
    const Case cases[] = {
        {"connect", "\xE8\xBF\x9E\xE6\x8E\xA5"},                                          // 连接
        {"conok", "\xE8\xBF\x9E\xE6\x8E\xA5\xE6\x88\x90\xE5\x8A\x9F!"},                   // 连接成功!
        {"comnotopen", "\xE4\xB8\xB2\xE5\x8F\xA3\xE6\x9C\xAA\xE6\x89\x93\xE5\xBC\x80!"},  // 串口未打开!
        {"norecord", "\xE6\xB2\xA1\xE6\x9C\x89\xE8\xAE\xB0\xE5\xBD\x95!"},                // 没有记录!
        {"report",
         "\xE5\x85\x89\xE5\x8A\x9F\xE7\x8E\x87\xE6\xB5\x8B\xE8\xAF\x95\xE6\x8A\xA5\xE5\x91\x8A"},  // 光功率测试报告
    };
    for (const auto& c : cases) {
        EXPECT_EQ(core::GetPrivateProfileString("Section1", c.key, "Error", 20, kPath), c.text) << c.key;
    }
}

}  // namespace
