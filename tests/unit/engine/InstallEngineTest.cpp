// The installation engine on a whole machine in memory: what one run
// changes, and that its uninstall gives the machine back.
#include "engine/InstallEngine.h"

#include <gtest/gtest.h>

#include "deploy/ExitStatus.h"
#include "engine/Journal.h"
#include "tests/fakes/FakeMachine.h"

namespace tx {
namespace {

TEST(InstallEngineTest, InstallThenUninstallGivesTheMachineBack) {
    FakeMachine m;
    const std::string before = m.Snapshot();
    ScriptedObserver silent;
    silent.allOrNothing = true;
    ASSERT_EQ(InstallResult::Completed, m.Install(silent));
    const std::string folder = FakeMachine::InstallFolder();
    EXPECT_EQ("module 2021", m.fs.Content(folder + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ("itextsharp", m.fs.Content(folder + "\\itextsharp.dll"));
    EXPECT_EQ("font en", m.fs.Content(std::string(FakeMachine::kAcad2008) + "\\Fonts\\Tarnix_EN.shx"));
    EXPECT_EQ("driver", m.fs.Content(std::string(FakeMachine::kAcad2008) + "\\Drv\\pdfplot9.hdi"));
    EXPECT_EQ("settings", m.fs.Content(std::string(FakeMachine::kAppData) + "\\Tarnix\\Tarnix.Ini"));
    EXPECT_TRUE(m.fs.Exists(folder + "\\" + kUninstallerName));
    EXPECT_EQ(0u, m.reg.OpenHandles());
    for (const auto& line : m.log.Lines()) EXPECT_EQ(std::string::npos, line.find("failed")) << line;

    ASSERT_EQ(kExitDone, m.Uninstall());
    std::string after = m.Snapshot();
    EXPECT_EQ(before, after);
}

}  // namespace
}  // namespace tx
