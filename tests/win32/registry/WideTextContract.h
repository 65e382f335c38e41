// Behaviour every IWideText must show under code page 936, run against the
// fake natively and against the system under Wine, so that the fake keeps
// copying what Windows does. The narrow literals are compiled to code page
// 936; the u"" literals are UTF-16, and those holding characters outside
// code page 936 stay out of the assertion macros, which quote their
// arguments as narrow text.
//
// A program includes this once and instantiates WideTextContract with its
// implementation.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/WideText.h"

namespace tx {

struct WideTextUnderTest {
    const char* label;
    std::function<std::unique_ptr<IWideText>()> make;
};

inline std::string PrintToString(const WideTextUnderTest& w) { return w.label; }

class WideTextContract : public ::testing::TestWithParam<WideTextUnderTest> {
protected:
    void SetUp() override { text_ = GetParam().make(); }
    std::unique_ptr<IWideText> text_;
};

TEST_P(WideTextContract, CodePageTextConvertsBothWaysWhole) {
    WideString wide;
    // "\x95\x5c" is one character whose trail byte looks like '\'.
    const std::string ansi = std::string("C:\\Tarnix批打印软件\\\x95\x5c") + std::string(1, '\0') + "x";
    ASSERT_TRUE(text_->ToWide(ansi, &wide));
    EXPECT_EQ(WideString(u"C:\\Tarnix批打印软件\\昞") + u'\0' + u"x", wide) << "embedded NUL kept";
    std::string back;
    EXPECT_TRUE(text_->FromWide(wide, &back));
    EXPECT_EQ(ansi, back);

    EXPECT_TRUE(text_->ToWide("", &wide));
    EXPECT_TRUE(wide.empty());
    ASSERT_TRUE(text_->ToWide("\x80", &wide)) << "the euro sign of code page 936";
    EXPECT_EQ(u"\u20AC", wide);
}

TEST_P(WideTextContract, BytesThatAreNoCharacterAreReported) {
    // 0x30 cannot follow the lead byte 0x81.
    WideString wide;
    EXPECT_FALSE(text_->ToWide("C:\\\x81\x30", &wide));
    EXPECT_EQ(u"C:\\", wide.substr(0, 3)) << "what comes before is converted";
}

TEST_P(WideTextContract, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    const WideString latinAndHangul = u"D:\\Ångström;C:\\한국어";
    const WideString greek = u"Ελληνικά";
    std::string ansi;
    EXPECT_FALSE(text_->FromWide(latinAndHangul, &ansi));
    EXPECT_EQ("D:\\?ngstr?m;C:\\???", ansi);
    // Greek without accents is in code page 936, with them it is not.
    EXPECT_FALSE(text_->FromWide(greek, &ansi));
    EXPECT_EQ("Ελληνικ?", ansi);
    EXPECT_FALSE(text_->FromWide(WideString(1, u'\xD800'), &ansi)) << "an unpaired surrogate";
    EXPECT_EQ("?", ansi);
}

TEST_P(WideTextContract, UpperCaseChangesOnlyLettersAndNeverTheLength) {
    const WideString text = u"d:\\ångström;c:\\한국어;e:\\ελληνικά;ｔａｒｎｉｘ;ж;ё;straße;ÿ;😀;批打印";
    const WideString want = u"D:\\ÅNGSTRÖM;C:\\한국어;E:\\ΕΛΛΗΝΙΚΆ;ＴＡＲＮＩＸ;Ж;Ё;STRAßE;Ÿ;😀;批打印";
    const WideString upper = text_->UpperWide(text);
    EXPECT_EQ(want, upper);
    EXPECT_EQ(upper, text_->UpperWide(upper));
    EXPECT_TRUE(text_->UpperWide(u"").empty());
}

}  // namespace tx
