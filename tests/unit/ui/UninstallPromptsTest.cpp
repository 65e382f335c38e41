// What the uninstaller says in its message boxes, and that a silent
// uninstall says nothing and goes ahead.
// The literals below are compiled to code page 936 bytes.
#include "ui/UninstallPrompts.h"

#include <gtest/gtest.h>

#include "tests/fakes/FakeUserIo.h"

namespace tx {
namespace {

const char kCaption[] = "Tarnix软件卸载";

TEST(UninstallPromptsTest, AsksAndReportsInItsOwnWords) {
    FakeMessageBox mb;
    UninstallPrompts prompts(mb, false);

    mb.Script({kIdYes, kIdNo});
    EXPECT_TRUE(prompts.ConfirmUninstall());
    EXPECT_FALSE(prompts.ConfirmUninstall());
    mb.Script({kIdRetry, kIdCancel});
    EXPECT_TRUE(prompts.RetryWhileAcadRuns());
    EXPECT_FALSE(prompts.RetryWhileAcadRuns());
    mb.Script({kIdOk, kIdOk});
    prompts.Done();
    prompts.JournalDamaged();

    ASSERT_EQ(6u, mb.Calls().size());
    for (const auto& call : mb.Calls()) EXPECT_EQ(kCaption, call.caption);
    EXPECT_EQ("确定要卸载Tarnix批打印软件吗？", mb.Calls()[0].text);
    EXPECT_EQ(kMbYesNo | kMbIconQuestion, mb.Calls()[0].style);
    EXPECT_EQ("请关闭AutoCAD后再进行卸载 !", mb.Calls()[2].text);
    EXPECT_EQ(kMbRetryCancel | kMbIconExclamation, mb.Calls()[2].style);
    EXPECT_EQ(mb.Calls()[2].text, mb.Calls()[3].text) << "Retry asks again";
    EXPECT_EQ("Tarnix批打印软件已成功卸载 !", mb.Calls()[4].text);
    EXPECT_EQ(kMbOk, mb.Calls()[4].style);
    EXPECT_EQ("卸载信息已损坏，无法卸载 !", mb.Calls()[5].text);
    EXPECT_EQ(kMbOk | kMbIconStop, mb.Calls()[5].style);
    EXPECT_EQ(0, mb.Unscripted());
}

TEST(UninstallPromptsTest, ABoxThatFailsIsNoYesAndNoRetry) {
    FakeMessageBox mb;
    mb.Script({0, 0});
    UninstallPrompts prompts(mb, false);
    EXPECT_FALSE(prompts.ConfirmUninstall());
    EXPECT_FALSE(prompts.RetryWhileAcadRuns());
}

TEST(UninstallPromptsTest, SilentShowsNothingGoesAheadAndNeverWaitsForAutoCad) {
    FakeMessageBox mb;
    UninstallPrompts prompts(mb, true);
    EXPECT_TRUE(prompts.ConfirmUninstall());
    EXPECT_FALSE(prompts.RetryWhileAcadRuns());
    prompts.Done();
    prompts.JournalDamaged();
    EXPECT_TRUE(mb.Calls().empty());
}

}  // namespace
}  // namespace tx
