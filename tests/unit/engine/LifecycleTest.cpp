// The installation's later life, one readable case each: the folder found
// again, a move to another folder and its originals, a restart still owed,
// the Active Setup version, the folder text a run starts with. The random
// lives of ConvergenceTest cover the combinations. Literals are code page
// 936 bytes, like the program's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "deploy/ExitStatus.h"
#include "engine/CommandLine.h"
#include "engine/InstallEngine.h"
#include "engine/InstallFolder.h"
#include "engine/InstallPlanner.h"
#include "engine/Journal.h"
#include "engine/UnattendedRuns.h"
#include "tests/fakes/FakeMachine.h"

namespace tx {
namespace {

const std::string kDriver = std::string(FakeMachine::kAcad2008) + "\\Drv\\pdfplot9.hdi";
const std::string kFont = std::string(FakeMachine::kAcad2008) + "\\Fonts\\Tarnix_EN.shx";
const std::string kVariables2008 =
    "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Profiles\\<<Unnamed Profile>>\\Variables";
const std::string k2008Key =
    "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications\\TX_BatchPlot2008";

TEST(RememberedFolderTest, TheChosenFolderIsTheTextBeforeTheProductFolder) {
    const CodePage cp(936);
    EXPECT_EQ("D:\\CAD", RememberedFolder("D:\\CAD\\Tarnix批打印软件", cp));
    EXPECT_EQ("D:\\CAD", RememberedFolder("D:\\CAD\\tarnix批打印软件", cp)) << "any letter case";
    EXPECT_EQ("C:\\", RememberedFolder("C:\\Tarnix批打印软件", cp)) << "a drive alone is no folder text";
    // Anything else is no folder of ours: the default.
    EXPECT_EQ(kDefaultFolder, RememberedFolder("", cp));
    EXPECT_EQ(kDefaultFolder, RememberedFolder("D:\\Other", cp));
    EXPECT_EQ(kDefaultFolder, RememberedFolder("D:\\CADTarnix批打印软件", cp));
}

class LifecycleTest : public ::testing::Test {
protected:
    LifecycleTest() {
        m.fs.AddFile(kDriver, "acad 2008 driver");
        m.fs.AddFile(kFont, "acad 2008 font");
    }
    std::string Entry(const char* name) const {
        return m.reg.GetString(RegRoot::LocalMachine, kUninstallKey, name).value_or("(none)");
    }
    int Silent(const std::string& args) {
        InstallEngine engine(m.Services());
        return RunSilentInstall(ParseCommandLine(args, ProgramRole::Installer), m.info, engine, m.cp,
                                m.log);
    }

    FakeMachine m;
    ScriptedObserver dialog;
    const std::string kOld = FakeMachine::InstallFolder("C:\\Tarnix");
    const std::string kNew = FakeMachine::InstallFolder("D:\\CAD");
};

TEST_F(LifecycleTest, AnotherFolderMovesTheInstallationAndKeepsTheOriginals) {
    const std::string before = m.Snapshot();
    ASSERT_EQ(InstallResult::Completed, m.Install(dialog, "C:\\Tarnix"));
    InstallEngine engine(m.Services());
    EXPECT_EQ(kOld, engine.InstalledFolder());

    ASSERT_EQ(InstallResult::Completed, m.Install(dialog, "D:\\CAD"));
    // Nothing of the old folder is left, not even the folders it made.
    EXPECT_FALSE(m.fs.Exists("C:\\Tarnix"));
    EXPECT_EQ(kNew, Entry("InstallLocation"));
    EXPECT_EQ(kNew + "\\TX_BatchPlot2008.ARX",
              m.reg.GetString(RegRoot::LocalMachine, k2008Key, "LOADER").value_or("(none)"));
    std::string trusted;
    ASSERT_TRUE(m.wide.FromWide(
        m.reg.GetWideString(RegRoot::CurrentUser, kVariables2008, "TRUSTEDPATHS").value_or(u""), &trusted));
    EXPECT_EQ(std::string::npos, m.cp.Upper(trusted).find(m.cp.Upper(kOld)));
    EXPECT_NE(std::string::npos, m.cp.Upper(trusted).find(m.cp.Upper(kNew)));
    // AutoCAD's own files came along as the backups of the new folder.
    std::vector<std::string> kept;
    for (const std::string& name : m.fs.Children(kNew + "\\Backup")) kept.push_back(m.fs.Content(kNew + "\\Backup\\" + name));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ((std::vector<std::string>{"acad 2008 driver", "acad 2008 font"}), kept);

    EXPECT_EQ(kExitDone, m.Uninstall(kNew));
    EXPECT_EQ("acad 2008 driver", m.fs.Content(kDriver));
    EXPECT_EQ("acad 2008 font", m.fs.Content(kFont));
    EXPECT_EQ(before, m.Snapshot());
}

TEST_F(LifecycleTest, AbortedMoveLeavesTheOldInstallationWhole) {
    ASSERT_EQ(InstallResult::Completed, m.Install(dialog, "C:\\Tarnix"));
    const std::string installed = m.Snapshot(true);
    m.fs.FailCopyTo(kNew + "\\PdfSharp.dll");
    dialog.copyAnswer = CopyFailedAnswer::Abort;
    ASSERT_EQ(InstallResult::Aborted, m.Install(dialog, "D:\\CAD"));
    EXPECT_EQ(installed, m.Snapshot(true));
    EXPECT_EQ(kOld, Entry("InstallLocation"));
}

TEST_F(LifecycleTest, SilentRunWithoutAFolderInstallsWhereTheInstallationIs) {
    ASSERT_EQ(InstallResult::Completed, m.Install(dialog, "D:\\CAD"));
    ASSERT_EQ(kExitDone, Silent("/S"));
    EXPECT_FALSE(m.fs.Exists("C:\\Tarnix"));
    EXPECT_EQ(kNew, Entry("InstallLocation"));
}

TEST_F(LifecycleTest, RestartOwedByAnUninstallRefusesBeforeAnything) {
    ASSERT_EQ(InstallResult::Completed, m.Install(dialog, "C:\\Tarnix"));
    m.fs.SetInUse(kOld + "\\PdfSharp.dll");
    ASSERT_EQ(kExitRestart, m.Uninstall(kOld));
    m.fs.SetInUse(kOld + "\\PdfSharp.dll", false);
    const std::string owed = m.Snapshot(true);

    // Into the same folder or another one: the restart would delete files
    // of it, or the folder it empties may be the one chosen.
    EXPECT_EQ(kExitHostRunning, Silent("/S"));
    EXPECT_EQ(kExitHostRunning, Silent("/S /D=D:\\CAD"));
    EXPECT_EQ(InstallResult::RestartPending, m.Install(dialog, "C:\\Tarnix"));
    EXPECT_EQ(1, dialog.restartNeeded);
    EXPECT_EQ(owed, m.Snapshot(true));

    m.fs.Restart();
    EXPECT_EQ(InstallResult::Completed, m.Install(dialog, "C:\\Tarnix"));
    EXPECT_EQ("pdfsharp", m.fs.Content(kOld + "\\PdfSharp.dll"));
}

TEST_F(LifecycleTest, EveryRunRaisesTheActiveSetupVersion) {
    ASSERT_EQ(InstallResult::Completed, m.Install(dialog));
    const std::string first = m.reg.GetString(RegRoot::LocalMachine, kActiveSetupKey, "Version").value_or("");
    EXPECT_EQ(kActiveSetupVersion, first);
    ASSERT_EQ(InstallResult::Completed, m.Install(dialog));
    const std::string second = m.reg.GetString(RegRoot::LocalMachine, kActiveSetupKey, "Version").value_or("");
    EXPECT_EQ(first.substr(0, first.rfind(',')) + ",1", second);
    // The installing user has had the per-user part of this version.
    EXPECT_EQ(second, m.reg.GetString(RegRoot::CurrentUser, kActiveSetupKey, "Version").value_or(""));
}

TEST_F(LifecycleTest, UninstallAfterAutoCadWentGivesBackTheRest) {
    // The machine as it would be had the plug-in never been there.
    FakeMachine never;
    never.fs.AddFile(kDriver, "acad 2008 driver");
    never.fs.AddFile(kFont, "acad 2008 font");
    never.RemoveAcad(FakeMachine::StartingAcads()[0]);

    ASSERT_EQ(InstallResult::Completed, m.Install(dialog));
    m.RemoveAcad(FakeMachine::StartingAcads()[0]);
    EXPECT_EQ(kExitDone, m.Uninstall());
    EXPECT_EQ(never.Snapshot(), m.Snapshot());
}

}  // namespace
}  // namespace tx
