// The literals are compiled to code page 936.
#include "tests/fakes/FakeWideText.h"

#include <gtest/gtest.h>

#include "tests/win32/registry/WideTextContract.h"

namespace tx {
namespace {

INSTANTIATE_TEST_SUITE_P(
    Fake, WideTextContract,
    ::testing::Values(WideTextUnderTest{
        "Fake", [] { return std::unique_ptr<IWideText>(new FakeWideText(936)); }}),
    [](const ::testing::TestParamInfo<WideTextUnderTest>& info) { return std::string(info.param.label); });

TEST(FakeWideText1252, UndefinedBytesMapToControlCharactersAsOnWindows) {
    FakeWideText text(1252);
    WideString wide;
    ASSERT_TRUE(text.ToWide("\x81\x80\xE9", &wide));
    EXPECT_EQ(u"\u0081\u20AC\u00E9", wide);
    std::string back;
    EXPECT_TRUE(text.FromWide(wide, &back));
    EXPECT_EQ("\x81\x80\xE9", back);
    EXPECT_FALSE(text.FromWide(u"中", &back));
    EXPECT_EQ("?", back);
}

TEST(FakeWideTextBytes, Utf16LittleEndianRoundTrip) {
    const WideString text = u"A中😀";
    const std::vector<unsigned char> bytes = Utf16Bytes(text);
    EXPECT_EQ((std::vector<unsigned char>{0x41, 0, 0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}), bytes);
    EXPECT_EQ(text + u'\0', FromUtf16Bytes(bytes));
    EXPECT_EQ(u"A", FromUtf16Bytes(std::vector<unsigned char>{0x41, 0, 0x42})) << "odd byte dropped";
}

}  // namespace
}  // namespace tx
