// The runs without a window over the real stages on the in-memory machine.
// Literals are code page 936 bytes, like the program's.
#include "ui/UnattendedRuns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deploy/Deployment.h"
#include "deploy/ExitStatus.h"
#include "deploy/InstallRecorder.h"
#include "host/Detection.h"
#include "host/Registration.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeFolderSecurity.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeWideText.h"
#include "ui/HeadlessSetupView.h"
#include "ui/InstallSteps.h"

namespace tx {
namespace {

const CodePage kGbk(936);
const std::string k2016Key = "SOFTWARE\\Autodesk\\AutoCAD\\R20.1\\ACAD-F001:804";
const std::string k2024Key = "SOFTWARE\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804";
const std::string kInstalled = "C:\\Tarnix\\Tarnix批打印软件";
const std::string kAppData = "C:\\Users\\u\\AppData\\Roaming";
const std::string kVariables =
    "SOFTWARE\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804\\Profiles\\<<未命名配置>>\\Variables";

class LinesLog : public ILog {
public:
    void Line(const std::string& text) override { lines.push_back(text); }
    bool Has(const std::string& part) const {
        for (const std::string& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> lines;
};

class SilentInstallTest : public ::testing::Test {
protected:
    SilentInstallTest() {
        fs.SetModulePath("C:\\Pkg\\SetUp.exe");
        fs.AddFile("C:\\Pkg\\SetUp.exe", "program");
        fs.SetEnv("APPDATA", kAppData);
        fs.AddFolder(kAppData);
        fs.AddFolder("C:\\Acad2016\\Fonts");
        fs.AddFolder("C:\\Acad2024\\Fonts");
        fs.AddFile("C:\\Pkg\\Data\\TX_BatchPlot2015.ARX", "module 2015");
        fs.AddFile("C:\\Pkg\\Data\\TX_BatchPlot2021.ARX", "module 2021");
        fs.AddFile("C:\\Pkg\\Data\\Tarnix.Ini", "settings");
        fs.AddFile("C:\\Pkg\\Data\\Tarnix_EN.shx", "font");
        Product(k2016Key, "C:\\Acad2016", "AutoCAD 2016 - 简体中文 (Simplified Chinese)");
        Product(k2024Key, "C:\\Acad2024", "AutoCAD 2024 - 简体中文 (Simplified Chinese)");
        reg.CreatePath(RegRoot::CurrentUser, kVariables);
        AcadDetector(reg, kGbk).DetectAcadReleases(info);
        reg.RecordWrites(true);
    }

    void Product(const std::string& key, const std::string& location, const std::string& name) {
        reg.SetString(RegRoot::LocalMachine, key, "AcadLocation", location);
        reg.SetString(RegRoot::LocalMachine, key, "ProductName", name);
    }

    int Run(const std::string& args) {
        const CommandLine line = ParseCommandLine(args, ProgramRole::Installer);
        EXPECT_TRUE(line.ok) << line.error;
        return RunSilentInstall(line, info, steps, kGbk, answers, log);
    }

    bool HasDemandLoad(const std::string& productKey, int year) {
        return reg.HasKey(RegRoot::LocalMachine,
                          productKey + "\\Applications\\TX_BatchPlot" + std::to_string(year));
    }

    FakeFileSystem fs{936};
    FakeRegistry reg{936};
    FakeProcessList processes;
    SilentAnswers answers;
    LinesLog log;
    InstallRecorder recorder{fs, kGbk};
    Deployer deployer{fs, processes, answers, kGbk, &recorder};
    FakeWideText wide{936};
    HostRegistrar registrar{reg, kGbk, wide, &recorder};
    FakeFolderSecurity security{fs};
    InstallSteps steps{deployer, registrar, fs, security, kGbk, reg, recorder, "20240102"};
    CAcadInfo info;
};

TEST_F(SilentInstallTest, DefaultsInstallEveryDetectedReleaseIntoTheDefaultFolder) {
    EXPECT_EQ(kExitDone, Run("/S"));
    EXPECT_EQ(0, answers.Shown());
    EXPECT_EQ(kInstalled, info.m_strInstallDir);
    EXPECT_EQ("module 2021", fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ("settings", fs.Content(kAppData + "\\Tarnix\\Tarnix.Ini"));
    // A copy stays for the users who log on later.
    EXPECT_EQ("settings", fs.Content(kInstalled + "\\Tarnix.Ini"));
    EXPECT_TRUE(HasDemandLoad(k2016Key, 2016));
    EXPECT_TRUE(HasDemandLoad(k2024Key, 2024));
    EXPECT_EQ("font", fs.Content("C:\\Acad2016\\Fonts\\Tarnix_EN.shx"));
    EXPECT_TRUE(reg.GetString(RegRoot::CurrentUser, kVariables, "TRUSTEDPATHS").has_value());
    EXPECT_EQ(0u, reg.OpenHandles());
}

TEST_F(SilentInstallTest, FolderAndReleasesComeFromTheCommandLine) {
    fs.AddFolder("D:\\");
    EXPECT_EQ(kExitDone, Run("/S /RELEASES=2016,2019 /D=D:\\CAD Tools\\"));
    EXPECT_TRUE(log.Has("2019")) << "a release that is not installed is named";
    EXPECT_EQ("D:\\CAD Tools\\Tarnix批打印软件", info.m_strInstallDir);
    EXPECT_TRUE(HasDemandLoad(k2016Key, 2016));
    EXPECT_FALSE(HasDemandLoad(k2024Key, 2024));
    EXPECT_EQ("font", fs.Content("C:\\Acad2016\\Fonts\\Tarnix_EN.shx"));
    EXPECT_FALSE(fs.Exists("C:\\Acad2024\\Fonts\\Tarnix_EN.shx"));
}

TEST_F(SilentInstallTest, RefusalsChangeNothingAndSayWhy) {
    processes.SetNames({"explorer.exe", "ACAD.EXE"});
    EXPECT_EQ(kExitHostRunning, Run("/S"));
    processes.SetNames({});
    // A folder the dialog would refuse: relative, with ';', or too long.
    EXPECT_EQ(kExitBadCommandLine, Run("/S /D=Tarnix"));
    EXPECT_EQ(kExitBadCommandLine, Run("/S /D=C:\\a;b"));
    EXPECT_EQ(kExitBadCommandLine, Run("/S /D=C:\\" + std::string(240, 'x')));
    EXPECT_TRUE(fs.CopyCalls().empty());
    EXPECT_TRUE(fs.CreateDirectoryCalls().empty());
    EXPECT_TRUE(security.Made().empty());
    EXPECT_TRUE(reg.Writes().empty());
    EXPECT_TRUE(log.Has("AutoCAD is running"));
    EXPECT_TRUE(log.Has("refused"));
}

TEST_F(SilentInstallTest, MissingDataOrAFailedCopyFailsWithoutTouchingTheRegistry) {
    fs.FailCopyTo(kInstalled + "\\TX_BatchPlot2021.ARX");
    EXPECT_EQ(kExitFailed, Run("/S"));
    EXPECT_EQ(1, answers.Shown()) << "the copy failure, answered Abort at once";
    EXPECT_EQ("module 2015", fs.Content(kInstalled + "\\TX_BatchPlot2015.ARX"))
        << "copies made before stay";
    EXPECT_FALSE(HasDemandLoad(k2016Key, 2016));
    EXPECT_FALSE(fs.Exists("C:\\Acad2016\\Fonts\\Tarnix_EN.shx"));
    for (const std::string& w : reg.Writes()) {
        EXPECT_EQ(std::string::npos, w.find("Autodesk")) << w;
    }

    fs.SetModulePath("C:\\Elsewhere\\SetUp.exe");  // no Data folder beside it
    EXPECT_EQ(kExitFailed, Run("/S"));
    EXPECT_EQ(2, answers.Shown());
}

TEST(SilentAnswers, AnswerLikeSomeoneWhoTakesNoRisk) {
    SilentAnswers answers;
    EXPECT_EQ(kIdAbort, answers.Show("copy failed", "c", kMbAbortRetryIgnore));
    EXPECT_EQ(kIdNo, answers.Show("sure?", "c", kMbYesNo | kMbIconQuestion));
    EXPECT_EQ(kIdCancel, answers.Show("close AutoCAD", "c", kMbRetryCancel | kMbIconExclamation));
    EXPECT_EQ(kIdOk, answers.Show("done", "c", kMbOk | kMbIconStop));
    EXPECT_EQ(4, answers.Shown());
}

TEST(HeadlessProgress, WrapsAsTheControlDoes) {
    HeadlessProgress bar;
    bar.SetRange(0, 50);
    bar.SetStep(1);
    bar.SetPos(49);
    bar.StepIt();
    EXPECT_EQ(50, bar.Pos());
    bar.StepIt();
    EXPECT_EQ(1, bar.Pos());
}

class PerUserStepTest : public SilentInstallTest {
protected:
    int RunUser() {
        HostRegistrar userRegistrar(reg, kGbk, wide);
        Deployer userDeployer(fs, processes, answers, kGbk);
        return RunPerUserStep(kInstalled, userRegistrar, userDeployer, log);
    }
};

TEST_F(PerUserStepTest, TrustsTheFolderAndGivesSettingsOnlyToAUserWithout) {
    ASSERT_EQ(kExitDone, Run("/S"));
    const std::string userSettings = kAppData + "\\Tarnix\\Tarnix.Ini";
    // Another user: no trusted path, no settings yet.
    reg.SetString(RegRoot::CurrentUser, kVariables, "TRUSTEDPATHS", "D:\\MINE");
    ASSERT_TRUE(fs.DeleteFile(userSettings));

    EXPECT_EQ(kExitDone, RunUser());
    EXPECT_EQ("D:\\MINE;" + kGbk.Upper(kInstalled),
              reg.GetString(RegRoot::CurrentUser, kVariables, "TRUSTEDPATHS").value_or(""));
    EXPECT_EQ("settings", fs.Content(userSettings));

    // Run again (a new version of the component): the user's own settings stay.
    fs.AddFile(userSettings, "edited by the user");
    EXPECT_EQ(kExitDone, RunUser());
    EXPECT_EQ("edited by the user", fs.Content(userSettings));
    EXPECT_EQ("D:\\MINE;" + kGbk.Upper(kInstalled),
              reg.GetString(RegRoot::CurrentUser, kVariables, "TRUSTEDPATHS").value_or(""));
    EXPECT_EQ(0, answers.Shown());
}

TEST_F(SilentInstallTest, ActiveSetupIsRegisteredForEveryUserAndMarkedDoneForThisOne) {
    ASSERT_EQ(kExitDone, Run("/S"));
    const std::string key = kActiveSetupKey;
    EXPECT_EQ("Tarnix批打印软件", reg.GetString(RegRoot::LocalMachine, key, "").value_or(""));
    EXPECT_EQ("2023,12,18,0", reg.GetString(RegRoot::LocalMachine, key, "Version").value_or(""));
    const std::string stub = reg.GetString(RegRoot::LocalMachine, key, "StubPath").value_or("");
    EXPECT_NE(std::string::npos, stub.find("\"" + kInstalled + "\\Uninstall.exe\" /USER")) << stub;
    EXPECT_NE(std::string::npos, stub.find("RunAsInvoker")) << stub;
    EXPECT_EQ(kRegExpandSz, reg.GetValue(RegRoot::LocalMachine, key, "StubPath")->type)
        << "%SystemRoot% is expanded";
    EXPECT_EQ("2023,12,18,0", reg.GetString(RegRoot::CurrentUser, key, "Version").value_or(""));
}

}  // namespace
}  // namespace tx
