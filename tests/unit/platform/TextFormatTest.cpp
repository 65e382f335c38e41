// The literals below are compiled to code page 936 bytes.
#include "platform/TextFormat.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace tx {
namespace {

TEST(TextFormatTest, WritesTextsAndNumbersAsPrintfDoes) {
    EXPECT_EQ("Tarnix批打印软件 V2023.12.18 (64位版本)",
              FormatText("Tarnix批打印软件 V%d.%d.%d (%d位版本)", {2023, 12, 18, 64}));
    EXPECT_EQ("C:\\长路径\\TX_BatchPlot2021.ARX",
              FormatText("%s\\TX_BatchPlot%d.ARX", {"C:\\长路径", 2021}));
    EXPECT_EQ("Applications\\TX_BatchPlot2007", FormatText("Applications\\TX_BatchPlot%d", {2007}));
    EXPECT_EQ("0 -1 2147483647 -2147483648",
              FormatText("%d %d %d %d", {0, -1, INT_MAX, INT_MIN}));
    EXPECT_EQ("[]", FormatText("[%s]", {""}));
    EXPECT_EQ("[]", FormatText("[%s]", {static_cast<const char*>(nullptr)}));
    EXPECT_EQ("100% 5%", FormatText("%d%% %d%%", {100, 5}));
    EXPECT_EQ("no conversions", FormatText("no conversions", {}));
}

TEST(TextFormatTest, LeavesConversionsWithoutAFittingArgumentAsWritten) {
    EXPECT_EQ("1 %d", FormatText("%d %d", {1}));
    EXPECT_EQ("%s", FormatText("%s", {}));
    // A text for %d is not taken, so it is still there for the %s after it.
    EXPECT_EQ("%d x", FormatText("%d %s", {"x"}));
    EXPECT_EQ("%s 7", FormatText("%s %d", {7}));
    EXPECT_EQ("%x %5d 3", FormatText("%x %5d %d", {3}));
    EXPECT_EQ("end %", FormatText("end %", {1}));
    // Arguments left over are ignored.
    EXPECT_EQ("a", FormatText("%s", {"a", "b", 3}));
}

TEST(TextFormatTest, KeepsLongTextsWhole) {
    const std::string folder = "D:\\" + std::string(300, 'x');
    const std::string out = FormatText("%s\\TX_BatchPlot%d.ARX", {folder.c_str(), 2021});
    EXPECT_EQ(folder.size() + 21, out.size());
    EXPECT_EQ(folder + "\\TX_BatchPlot2021.ARX", out);
}

}  // namespace
}  // namespace tx

namespace tx {
namespace {

TEST(TextFormatTest, ZeroPaddedAndHexAsTheirPrintfFormats) {
    EXPECT_EQ("2026", ZeroPadded(2026, 4));
    EXPECT_EQ("0007", ZeroPadded(7, 4));
    EXPECT_EQ("000", ZeroPadded(0, 3));
    EXPECT_EQ("12345", ZeroPadded(12345, 2)) << "never cut";
    EXPECT_EQ("0x0", HexText(0));
    EXPECT_EQ("0x1F01FF", HexText(0x1F01FF));
    EXPECT_EQ("0xFFFFFFFF", HexText(0xFFFFFFFFu));
}

// A command line can hold anything: shown escaped, it can neither start a
// log line of its own nor steer a terminal.
TEST(TextFormatTest, ShownEscapedLeavesNoControlCharacterStanding) {
    EXPECT_EQ("SetUp.exe /S \"/LOG=C:\\长 路径\\a.log\" %TEMP% \\x no",
              ShownEscaped("SetUp.exe /S \"/LOG=C:\\长 路径\\a.log\" %TEMP% \\x no", false));
    EXPECT_EQ("/D=C:\\x\\x0D\\x0A2024-01-01 exit status 0",
              ShownEscaped("/D=C:\\x\r\n2024-01-01 exit status 0", false));
    EXPECT_EQ("\\x1B[2J\\x00\\x09\\x7F", ShownEscaped(std::string("\x1B[2J\0\t\x7F", 7), false));
    // Under UTF-8 the C1 controls, separators, direction overrides and the
    // byte-order mark; other characters stay.
    const std::string utf8 = "a\xC2\x85" "b\xE2\x80\xA8" "c\xE2\x80\xAE" "d\xE2\x81\xA6" "e\xEF\xBB\xBF" "f\xC3\xA9\xE4\xB8\xAD";
    EXPECT_EQ("a\\xC2\\x85b\\xE2\\x80\\xA8c\\xE2\\x80\\xAEd\\xE2\\x81\\xA6e\\xEF\\xBB\\xBFf\xC3\xA9\xE4\xB8\xAD",
              ShownEscaped(utf8, true));
    // The same bytes are other characters in code page 936, and stay.
    EXPECT_EQ("\xE2\x80\xAE", ShownEscaped("\xE2\x80\xAE", false));
}

}  // namespace
}  // namespace tx
