// Colours and fonts of the setup dialog's controls.
#include "ui/SetupPaint.h"

#include <gtest/gtest.h>

#include <string>

#include "res/resource.h"

namespace tx {
namespace {

TEST(SetupPaintColours, AreCompiledAsColorRefs) {
    EXPECT_EQ(0x0096D2AAu, kBackgroundColour);
    EXPECT_EQ(0x0028460Au, kVersionTextColour);
    EXPECT_EQ(0u, kTextColour);
}

TEST(SetupPaintDecide, PlainControlsAreBlackOnTransparent) {
    for (int id : {0, -1, 1, 2, IDC_HEAD_RELEASES, IDC_HEAD_PATH, IDC_ACAD2010, IDC_DONE_NOTE,
                   IDC_PROGRESS}) {
        const CtlColorPaint p = DecideCtlColor(id);
        EXPECT_EQ(kTextColour, p.textColour) << id;
        EXPECT_TRUE(p.transparent) << id;
        EXPECT_FALSE(p.versionFont) << id;
    }
}

TEST(SetupPaintDecide, FolderEditKeepsAnOpaqueTextBackground) {
    const CtlColorPaint p = DecideCtlColor(IDC_PATH);
    EXPECT_FALSE(p.transparent);
    EXPECT_EQ(kTextColour, p.textColour);
    EXPECT_FALSE(p.versionFont);
}

TEST(SetupPaintDecide, VersionLineIsDarkGreenInItsOwnFont) {
    const CtlColorPaint p = DecideCtlColor(IDC_VERSION);
    EXPECT_EQ(kVersionTextColour, p.textColour);
    EXPECT_TRUE(p.transparent);
    EXPECT_TRUE(p.versionFont);
    EXPECT_EQ(12, kVersionFont.height);
    EXPECT_EQ(600, kVersionFont.weight);
    EXPECT_EQ(0u, kVersionFont.charset);
    EXPECT_EQ(std::string("\xCB\xCE\xCC\xE5"), kVersionFont.face) << "SimSun's name in code page 936";
}

}  // namespace
}  // namespace tx
