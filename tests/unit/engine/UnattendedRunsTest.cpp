// The runs without a window on the real engine over the fake machine: the
// silent installation, all or nothing, and the per-user step. Literals are
// code page 936 bytes, like the program's.
#include "engine/UnattendedRuns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deploy/ExitStatus.h"
#include "engine/InstallEngine.h"
#include "engine/InstallPlanner.h"
#include "tests/fakes/FakeMachine.h"

namespace tx {
namespace {

const std::string kInstalled = "C:\\Tarnix\\Tarnix批打印软件";
const std::string kProducts = "SOFTWARE\\Autodesk\\AutoCAD\\";
const std::string k2008Key = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804";
const std::string k2019Key = kProducts + "R23.0\\ACAD-2001:804";
const std::string k2024Key = kProducts + "R24.3\\ACAD-7101:804";
// A profile named in the code page, as a Chinese AutoCAD names its first one.
const std::string kVariables =
    "Software\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804\\Profiles\\<<未命名配置>>\\Variables";
const std::string kFont2008 = std::string(FakeMachine::kAcad2008) + "\\Fonts\\Tarnix_EN.shx";
const std::string kFont2019 = std::string(FakeMachine::kAcad2019) + "\\Fonts\\Tarnix_EN.shx";
const std::string kUserSettings = std::string(FakeMachine::kAppData) + "\\Tarnix\\Tarnix.Ini";

class SilentInstallTest : public ::testing::Test {
protected:
    SilentInstallTest() {
        m.reg.CreatePath(RegRoot::CurrentUser, kVariables);
        m.reg.RecordWrites(true);
    }

    int Run(const std::string& args) {
        const CommandLine line = ParseCommandLine(args, ProgramRole::Installer);
        EXPECT_TRUE(line.ok) << line.error;
        InstallEngine engine(m.Services());
        return RunSilentInstall(line, m.info, engine, m.cp, m.log);
    }
    bool HasDemandLoad(const std::string& productKey, int year) const {
        return m.reg.HasKey(RegRoot::LocalMachine,
                            productKey + "\\Applications\\TX_BatchPlot" + std::to_string(year));
    }
    std::string Loader(const std::string& productKey, int year) const {
        return m.reg
            .GetString(RegRoot::LocalMachine,
                       productKey + "\\Applications\\TX_BatchPlot" + std::to_string(year), "LOADER")
            .value_or("(none)");
    }
    // Snapshot(true) less the older installation's demand-load key for
    // 2024, which the run takes over: its undo deletes the key instead of
    // putting the older one back, and these tests are about the rest.
    std::string SnapshotBesidesOldKey() const {
        std::string kept;
        std::size_t begin = 0;
        const std::string all = m.Snapshot(true);
        while (begin < all.size()) {
            const std::size_t end = all.find('\n', begin);
            const std::string line = all.substr(begin, end == std::string::npos ? end : end - begin + 1);
            if (line.find("Applications\\TX_BatchPlot2024") == std::string::npos) kept += line;
            begin = end == std::string::npos ? all.size() : end + 1;
        }
        return kept;
    }
    bool Logged(const std::string& a, const std::string& b = std::string()) const {
        for (const std::string& line : m.log.Lines())
            if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) return true;
        return false;
    }

    FakeMachine m;
};

TEST_F(SilentInstallTest, DefaultsInstallEveryDetectedReleaseIntoTheDefaultFolder) {
    EXPECT_EQ(kExitDone, Run("/S"));
    EXPECT_EQ("module 2021", m.fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ("settings", m.fs.Content(kUserSettings));
    // A copy stays for the users who log on later.
    EXPECT_EQ("settings", m.fs.Content(kInstalled + "\\Tarnix.Ini"));
    EXPECT_EQ(kInstalled + "\\TX_BatchPlot2008.ARX", Loader(k2008Key, 2008));
    EXPECT_TRUE(HasDemandLoad(k2019Key, 2019));
    EXPECT_EQ(kInstalled + "\\TX_BatchPlot2021.ARX", Loader(k2024Key, 2024));
    EXPECT_EQ("font en", m.fs.Content(kFont2008));
    EXPECT_EQ("font en", m.fs.Content(kFont2019));
    // A profile without the value gets the folder as it is.
    EXPECT_EQ(kInstalled, m.reg.GetString(RegRoot::CurrentUser, kVariables, "TRUSTEDPATHS").value_or(""));
    EXPECT_EQ("D:\\MINE\\BLOCKS;" + m.cp.Upper(kInstalled),
              m.reg.GetString(RegRoot::CurrentUser,
                              "Software\\Autodesk\\AutoCAD\\R23.0\\ACAD-2001:804\\Profiles\\"
                              "<<Unnamed Profile>>\\Variables",
                              "TRUSTEDPATHS")
                  .value_or(""));
    EXPECT_TRUE(m.fs.Exists(kInstalled + "\\" + kUninstallerName));
    EXPECT_EQ(0u, m.reg.OpenHandles());
    EXPECT_EQ(0, m.security.HeldNow());
}

TEST_F(SilentInstallTest, FolderAndReleasesComeFromTheCommandLine) {
    m.fs.AddFolder("D:\\");
    EXPECT_EQ(kExitDone, Run("/S /RELEASES=2008,2016 /D=D:\\CAD Tools\\"));
    EXPECT_TRUE(Logged("2016")) << "a release that is not installed is named";
    const std::string folder = "D:\\CAD Tools\\Tarnix批打印软件";
    EXPECT_EQ("module 2008", m.fs.Content(folder + "\\TX_BatchPlot2008.ARX"));
    EXPECT_FALSE(m.fs.Exists(kInstalled));
    EXPECT_EQ(folder + "\\TX_BatchPlot2008.ARX", Loader(k2008Key, 2008));
    EXPECT_FALSE(HasDemandLoad(k2019Key, 2019));
    EXPECT_EQ("D:\\Old\\TX_BatchPlot2021.ARX", Loader(k2024Key, 2024)) << "not ticked: left alone";
    EXPECT_EQ("font en", m.fs.Content(kFont2008));
    EXPECT_FALSE(m.fs.Exists(kFont2019));
}

TEST_F(SilentInstallTest, RefusalsChangeNothingAndSayWhy) {
    const std::string before = m.Snapshot(true);
    m.processes.SetNames({"explorer.exe", "ACAD.EXE"});
    EXPECT_EQ(kExitHostRunning, Run("/S"));
    m.processes.SetNames({});
    // A folder the dialog would refuse: relative, with ';', or too long.
    EXPECT_EQ(kExitBadCommandLine, Run("/S /D=Tarnix"));
    EXPECT_EQ(kExitBadCommandLine, Run("/S /D=C:\\a;b"));
    EXPECT_EQ(kExitBadCommandLine, Run("/S /D=C:\\" + std::string(240, 'x')));
    EXPECT_EQ(before, m.Snapshot(true));
    // A folder that is there but belongs to someone else.
    m.fs.AddFolder("C:\\Planted\\Tarnix批打印软件");
    m.security.SetOwner("C:\\Planted\\Tarnix批打印软件", "S-1-5-21-1004336348-1177238915-682003330-1002");
    const std::string planted = m.Snapshot(true);
    EXPECT_EQ(kExitBadCommandLine, Run("/S /D=C:\\Planted"));
    EXPECT_EQ(planted, m.Snapshot(true));
    EXPECT_TRUE(m.fs.CopyCalls().empty());
    EXPECT_TRUE(m.fs.CreateDirectoryCalls().empty());
    EXPECT_TRUE(m.security.Made().empty());
    EXPECT_TRUE(m.reg.Writes().empty());
    EXPECT_TRUE(Logged("AutoCAD is running"));
    EXPECT_TRUE(Logged("refused"));
}

// A silent run is all or nothing: whatever fails, the machine is left as
// it was before the run.
TEST_F(SilentInstallTest, FailedCopyUndoesTheWholeRun) {
    const std::string before = m.Snapshot(true);
    const std::string failing = kInstalled + "\\PdfSharp.dll";
    m.fs.FailCopyTo(failing);
    EXPECT_EQ(kExitFailed, Run("/S"));
    // Behaviour changed on purpose: the copies made before are undone too.
    EXPECT_EQ(before, m.Snapshot(true));
    EXPECT_TRUE(Logged("action failed: file-new " + failing + " (error 5)"));
    EXPECT_TRUE(Logged("nothing changed"));
    EXPECT_EQ(0u, m.reg.OpenHandles());
    EXPECT_EQ(0, m.security.HeldNow());
}

TEST_F(SilentInstallTest, FailedFontUndoesTheWholeRun) {
    const std::string before = SnapshotBesidesOldKey();
    m.fs.FailCopyTo(kFont2019);
    EXPECT_EQ(kExitFailed, Run("/S"));
    EXPECT_EQ(before, SnapshotBesidesOldKey()) << "payload, keys, values and the other fonts undone";
    EXPECT_TRUE(Logged("action failed: ", kFont2019 + " (error 5)"));
}

TEST_F(SilentInstallTest, DemandLoadKeyThatCannotBeWrittenUndoesTheWholeRun) {
    const std::string before = m.Snapshot(true);
    const std::string key = k2019Key + "\\Applications\\TX_BatchPlot2019";
    m.reg.SetFaults(RegRoot::LocalMachine, key, FakeRegistry::kFailWrite);
    EXPECT_EQ(kExitFailed, Run("/S"));
    // The 2008 key and the Applications key made for 2019 go again.
    EXPECT_EQ(before, m.Snapshot(true));
    EXPECT_TRUE(Logged("action failed: demand-load " + key + " (error "));
    EXPECT_EQ(0u, m.reg.OpenHandles());
}

TEST_F(SilentInstallTest, MissingDataFolderFailsAndChangesNothing) {
    const std::string before = m.Snapshot(true);
    m.fs.SetModulePath("C:\\Elsewhere\\SetUp.exe");  // no Data folder beside it
    EXPECT_EQ(kExitFailed, Run("/S"));
    EXPECT_EQ(before, m.Snapshot(true)) << "the folder levels made for the run are gone again";
    EXPECT_TRUE(Logged("no Data folder"));
    EXPECT_TRUE(m.reg.Writes().empty());
}

TEST_F(SilentInstallTest, ActiveSetupIsRegisteredForEveryUserAndMarkedDoneForThisOne) {
    ASSERT_EQ(kExitDone, Run("/S"));
    const std::string key = kActiveSetupKey;
    EXPECT_EQ("Tarnix批打印软件", m.reg.GetString(RegRoot::LocalMachine, key, "").value_or(""));
    EXPECT_EQ("2023,12,18,0", m.reg.GetString(RegRoot::LocalMachine, key, "Version").value_or(""));
    const std::string stub = m.reg.GetString(RegRoot::LocalMachine, key, "StubPath").value_or("");
    EXPECT_NE(std::string::npos, stub.find("\"" + kInstalled + "\\Uninstall.exe\" /USER")) << stub;
    EXPECT_NE(std::string::npos, stub.find("RunAsInvoker")) << stub;
    EXPECT_EQ(kRegExpandSz, m.reg.GetValue(RegRoot::LocalMachine, key, "StubPath")->type)
        << "%SystemRoot% is expanded";
    EXPECT_EQ("2023,12,18,0", m.reg.GetString(RegRoot::CurrentUser, key, "Version").value_or(""));
}

class PerUserStepTest : public SilentInstallTest {
protected:
    int RunUser() { return RunPerUserStep(kInstalled, m.reg, m.fs, m.cp, m.wide, m.log); }
};

TEST_F(PerUserStepTest, TrustsTheFolderAndGivesSettingsOnlyToAUserWithout) {
    ASSERT_EQ(kExitDone, Run("/S"));
    // Another user: no trusted path, no settings yet.
    m.reg.SetString(RegRoot::CurrentUser, kVariables, "TRUSTEDPATHS", "D:\\MINE");
    ASSERT_TRUE(m.fs.DeleteFile(kUserSettings));

    EXPECT_EQ(kExitDone, RunUser());
    EXPECT_EQ("D:\\MINE;" + m.cp.Upper(kInstalled),
              m.reg.GetString(RegRoot::CurrentUser, kVariables, "TRUSTEDPATHS").value_or(""));
    EXPECT_EQ("settings", m.fs.Content(kUserSettings));

    // Run again (a new version of the component): the user's own settings stay.
    m.fs.AddFile(kUserSettings, "edited by the user");
    EXPECT_EQ(kExitDone, RunUser());
    EXPECT_EQ("edited by the user", m.fs.Content(kUserSettings));
    EXPECT_EQ("D:\\MINE;" + m.cp.Upper(kInstalled),
              m.reg.GetString(RegRoot::CurrentUser, kVariables, "TRUSTEDPATHS").value_or(""));
    EXPECT_EQ(0u, m.reg.OpenHandles());
}

TEST_F(PerUserStepTest, MissingSettingsFileFailsAndSaysWhich) {
    ASSERT_EQ(kExitDone, Run("/S"));
    ASSERT_TRUE(m.fs.DeleteFile(kUserSettings));
    ASSERT_TRUE(m.fs.DeleteFile(kInstalled + "\\Tarnix.Ini"));
    EXPECT_EQ(kExitFailed, RunUser());
    EXPECT_TRUE(Logged("settings file not given", kInstalled + "\\Tarnix.Ini"));
    EXPECT_FALSE(m.fs.Exists(kUserSettings));
}

}  // namespace
}  // namespace tx
