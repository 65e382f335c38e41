// The installation engine on a whole machine in memory: what one run
// changes, and that its uninstall gives the machine back.
#include "engine/InstallEngine.h"

#include <gtest/gtest.h>

#include "deploy/ExitStatus.h"
#include "engine/Journal.h"
#include "engine/actions/FileWrittenNew.h"
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

namespace tx {
namespace {

TEST(InstallEngineTest, AFileThatTurnsUpAfterThePlanIsNeitherOverwrittenNorUndone) {
    // Planned where nothing was; by the time of the copy a file of someone
    // else's is there. The copy is refused, and neither a rollback nor a
    // later uninstall may take that file for the installation's.
    FakeMachine m;
    const std::string target = std::string(FakeMachine::kAcad2019) + "\\Fonts\\Tarnix_HZ.shx";
    FileWrittenNew action(std::string(FakeMachine::kPackage) + "\\Data\\Tarnix_HZ.shx", target,
                          ActionRole::Quiet, false);
    ActionContext ctx{m.fs, m.reg, m.wide, m.cp, FakeMachine::InstallFolder(), std::string()};
    m.fs.AddFile(target, "someone else's");
    const ActionResult applied = action.Apply(ctx);
    EXPECT_EQ(ActionResult::Status::Failed, applied.status());
    EXPECT_EQ(80u, applied.error()) << "ERROR_FILE_EXISTS";
    EXPECT_TRUE(action.LeftAlone());
    EXPECT_TRUE(action.Undo(ctx).ok());
    EXPECT_EQ("someone else's", m.fs.Content(target));
}

TEST(InstallEngineTest, UserSettingsReadThroughLevelsThatCannotBeHeldAreNeverWrittenBack) {
    // Elevated, the user's folder is read only through held levels: what
    // was read through a level the user could swap may be another folder's
    // file, and a rollback must not write it into the user's.
    FakeMachine m;
    const std::string folder = std::string(FakeMachine::kAppData) + "\\Tarnix";
    m.fs.AddFile(folder + "\\Tarnix.Ini", "mine");
    UserSettings settings(m.fs, m.cp, &m.security);
    m.security.DenyOpen(folder);
    const UserSettings::Saved saved = settings.Save();
    EXPECT_FALSE(saved.held);
    m.fs.AddFile(folder + "\\Tarnix.Ini", "changed since");
    EXPECT_TRUE(settings.Restore(saved));
    EXPECT_EQ("changed since", m.fs.Content(folder + "\\Tarnix.Ini"));

    // Held, the file comes back as it was.
    FakeMachine held;
    held.fs.AddFile(folder + "\\Tarnix.Ini", "mine");
    UserSettings heldSettings(held.fs, held.cp, &held.security);
    const UserSettings::Saved kept = heldSettings.Save();
    EXPECT_TRUE(kept.held);
    held.fs.AddFile(folder + "\\Tarnix.Ini", "the package's");
    EXPECT_TRUE(heldSettings.Restore(kept));
    EXPECT_EQ("mine", held.fs.Content(folder + "\\Tarnix.Ini"));
}

}  // namespace
}  // namespace tx
