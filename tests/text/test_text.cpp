#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/text/Text.h"

using namespace qtext;

namespace {
// 中文 in GBK.
const std::string kGbkChinese = "\xD6\xD0\xCE\xC4";
}  // namespace

TEST(Text, Utf8Validation) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain"));
    EXPECT_TRUE(isValidUtf8("中文 \xF0\x9F\x8E\xB5"));
    EXPECT_FALSE(isValidUtf8(kGbkChinese));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE4\xB8"));          // truncated
}

TEST(Text, OneRuleKeepsUtf8DecodesGbkFallsBackToLatin1) {
    EXPECT_EQ(toUtf8("中文"), "中文");
    EXPECT_EQ(toUtf8(kGbkChinese), "中文");
    EXPECT_EQ(toUtf8("abc" + kGbkChinese + "xyz"), "abc中文xyz");
    // 0xFF never starts a GBK character; 0x80 alone neither: both Latin-1.
    EXPECT_EQ(toUtf8("\xFF"), "\xC3\xBF");
    EXPECT_EQ(toUtf8(kGbkChinese + "\xFF"), "中文\xC3\xBF");
    // A lead byte at the very end is incomplete: kept as Latin-1, not dropped.
    EXPECT_EQ(toUtf8(kGbkChinese + "\xD6"), "中文\xC3\x96");
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_TRUE(isValidUtf8(toUtf8(one))) << b;
        EXPECT_TRUE(isValidUtf8(toUtf8(one + one))) << b;
    }
}

TEST(Text, GbkRoundTripAndStrictness) {
    EXPECT_EQ(utf8ToGbk("中文"), kGbkChinese);
    EXPECT_EQ(gbkToUtf8(utf8ToGbk("皮肤 选择")), "皮肤 选择");
    EXPECT_EQ(gbkToUtf8Strict(kGbkChinese), std::optional<std::string>("中文"));
    EXPECT_EQ(gbkToUtf8Strict("\xFF\xFF"), std::nullopt);
    // Characters GBK cannot hold become one '?' each.
    EXPECT_EQ(utf8ToGbk("a\xF0\x9F\x8E\xB5"
                        "b"),
              "a?b");
}

TEST(Text, Utf16BothOrders) {
    const std::string le("A\0\x2D\x4E", 4);  // "A中" little-endian
    const std::string be("\0A\x4E\x2D", 4);
    EXPECT_EQ(utf16ToUtf8(le, false), "A中");
    EXPECT_EQ(utf16ToUtf8(be, true), "A中");
    EXPECT_EQ(utf16ToUtf8(std::string("\x3C\xD8\xB5\xDF", 4), false), "\xF0\x9F\x8E\xB5");  // pair
    EXPECT_EQ(utf16ToUtf8(std::string("\x3C\xD8"
                                      "A\0",
                                      4),
                          false),
              "\xEF\xBF\xBD"
              "A");                                                    // lone high
    EXPECT_EQ(utf16ToUtf8(std::string("A\0\0\0B\0", 6), false), "A");  // stops at NUL
    EXPECT_EQ(utf16ToUtf8(std::string("A\0B", 3), false), "A");        // odd byte
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16le("中\xF0\x9F\x8E\xB5x"), false), "中\xF0\x9F\x8E\xB5x");
}

TEST(Text, TrimmingAndCaseFolding) {
    EXPECT_EQ(trimControl("\t\r\n  Title \x01\x00"), "Title");
    EXPECT_EQ(trimControl(" \x1F "), "");
    EXPECT_EQ(trimSpaces("  a b  "), "a b");
    EXPECT_EQ(asciiUpper("false 中"), "FALSE 中");
    EXPECT_TRUE(equalsIgnoreAsciiCase("Quillet.xml", "quillet.XML"));
    EXPECT_FALSE(equalsIgnoreAsciiCase("a", "ab"));
    EXPECT_LT(compareIgnoreAsciiCase("apple", "Banana"), 0);
    EXPECT_GT(compareIgnoreAsciiCase("b", "A"), 0);
}

TEST(Text, GbkSortKeyOrdersChineseByPinyinTable) {
    std::vector<std::string> words = {"吃", "啊", "不", "Zebra", "apple"};
    std::sort(words.begin(), words.end(),
              [](const std::string& a, const std::string& b) { return gbkSortKey(a) < gbkSortKey(b); });
    EXPECT_EQ(words, (std::vector<std::string>{"apple", "Zebra", "啊", "不", "吃"}));
}

TEST(Text, CutToBytesNeverSplitsACharacter) {
    EXPECT_EQ(cutToBytes("中文", 6), "中文");
    EXPECT_EQ(cutToBytes("中文", 5), "中");
    EXPECT_EQ(cutToBytes("中文", 3), "中");
    EXPECT_EQ(cutToBytes("中文", 2), "");
    EXPECT_EQ(cutToBytes("ab", 1), "a");
    EXPECT_EQ(countChars("a中\xF0\x9F\x8E\xB5"), 3u);
}

TEST(Text, RepairKeepsGoodUtf8AroundDamage) {
    EXPECT_EQ(repairUtf8("中\xFF文"), "中\xC3\xBF文");
    EXPECT_EQ(repairUtf8("\xE4\xB8"), "\xC3\xA4\xC2\xB8");  // truncated character: two Latin-1 bytes
    EXPECT_TRUE(isMostlyUtf8("中文歌曲\xFF"));
    EXPECT_FALSE(isMostlyUtf8(kGbkChinese));
}
