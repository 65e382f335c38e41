// The literals below are compiled to code page 936 bytes.
#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace tx {
namespace {

const CodePage kGbk(936);
const CodePage kLatin(1252);

// "表" is 0xB1 0xED; "\x95\x5C"-style pairs carry a 0x5C trail byte.
const std::string kTrail5C = "\x95\x5C";  // one GBK character, second byte '\'
const std::string kTrail7C = "\x95\x7C";  // one GBK character, second byte '|'

TEST(CodePageLeadBytes, Cp936PairsAreOneCharacter) {
    EXPECT_TRUE(kGbk.IsLeadByte(0x81));
    EXPECT_TRUE(kGbk.IsLeadByte(0xFE));
    EXPECT_FALSE(kGbk.IsLeadByte(0x80));
    EXPECT_FALSE(kGbk.IsLeadByte(0xFF));
    EXPECT_EQ(2u, kGbk.CharLength(kTrail5C, 0));
    EXPECT_EQ(1u, kGbk.CharLength(std::string("\x95"), 0)) << "a lone lead byte at the end";
    EXPECT_EQ(1u, kLatin.CharLength(kTrail5C, 0));
}

TEST(CodePageLastBackslash, TrailByteIsNotABackslash) {
    std::string path = "C:\\a\\" + kTrail5C;
    EXPECT_EQ(4u, kGbk.LastBackslash(path));
    EXPECT_EQ(path.size() - 1, kLatin.LastBackslash(path)) << "single-byte: every 0x5C counts";
    EXPECT_EQ(CodePage::npos, kGbk.LastBackslash(kTrail5C));
    EXPECT_FALSE(kGbk.EndsWithBackslash(path));
    EXPECT_TRUE(kGbk.EndsWithBackslash(path + "\\"));
    EXPECT_TRUE(kLatin.EndsWithBackslash(path));
}

TEST(CodePageFind, MatchesStartOnCharacterBoundariesOnly) {
    // The trail byte 0x5C followed by "abc" must not match "\\abc".
    std::string hay = "x" + kTrail5C + "abc";
    EXPECT_EQ(CodePage::npos, kGbk.Find(hay, "\\abc"));
    EXPECT_EQ(2u, kLatin.Find(hay, "\\abc"));
    EXPECT_EQ(3u, kGbk.Find(hay, "abc"));
    EXPECT_EQ(0u, kGbk.Find(hay, ""));
    // "AutoCAD 2010" style classification: first occurrence only.
    EXPECT_EQ(8u, kGbk.Find("AutoCAD 2010 2010", "2010"));
    EXPECT_EQ(13u, kGbk.Find("AutoCAD 2010 2010", "2010", 9));
    EXPECT_EQ(CodePage::npos, kGbk.Find("20", "2010"));
}

TEST(CodePageFind, ChineseNeedleInChineseText) {
    std::string hay = "C:\\Tarnix\\Tarnix批打印软件";
    EXPECT_EQ(10u, kGbk.Find(hay, "Tarnix批"));
    EXPECT_EQ(16u, kGbk.Find(hay, "批打印"));
}

TEST(CodePageCase, AsciiLettersMapInEveryCodePage) {
    EXPECT_EQ("C:\\TARNIX", kGbk.Upper("c:\\Tarnix"));
    EXPECT_EQ("acad.exe", kLatin.Lower("ACAD.EXE"));
    EXPECT_EQ("\xE9", kLatin.Upper("\xE9")) << "only a-z change";
}

TEST(CodePageCase, TrailBytesThatLookLikeLettersAreKept) {
    // 0xB1 0x61: the trail byte equals 'a' and must not be upper-cased.
    std::string s = std::string("\xB1\x61") + "a";
    EXPECT_EQ(std::string("\xB1\x61") + "A", kGbk.Upper(s));
    EXPECT_EQ("\xB1\x41" "A", kLatin.Upper(s));
}

TEST(CodePageCase, FullWidthAndGreekLettersMapUnder936) {
    EXPECT_EQ("ＡＢＣ", kGbk.Upper("ａｂｃ"));
    EXPECT_EQ("ａｂｃ", kGbk.Lower("ＡＢＣ"));
    EXPECT_EQ("ΑΩ", kGbk.Upper("αω"));
    EXPECT_EQ("я", kGbk.Lower("Я"));
    EXPECT_EQ("批打印软件", kGbk.Upper("批打印软件"));
}

TEST(CodePageCompare, CaseSensitiveAndInsensitive) {
    EXPECT_EQ(0, kGbk.Compare("Tarnix.Ini", "Tarnix.Ini"));
    EXPECT_NE(0, kGbk.Compare("Tarnix.Ini", "TARNIX.INI"));
    EXPECT_EQ(0, kGbk.CompareNoCase("Tarnix.Ini", "TARNIX.INI"));
    EXPECT_EQ(0, kGbk.CompareNoCase("批Ａ", "批ａ"));
    EXPECT_LT(kGbk.Compare("a", "b"), 0);
    EXPECT_GT(kGbk.Compare("ab", "a"), 0);
    EXPECT_LT(kGbk.CompareNoCase("a", "B"), 0);
    // A double-byte character sorts after any single byte.
    EXPECT_GT(kGbk.Compare("批", "z"), 0);
    // Under 936 a 0x5C trail byte is not case-folded against anything.
    EXPECT_NE(0, kGbk.CompareNoCase("\x95\x5C", "\x95\x7C"));
}

}  // namespace
}  // namespace tx
