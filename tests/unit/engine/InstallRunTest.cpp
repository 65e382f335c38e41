// The install sequence with the real stages (detection, payload and support
// file deployment, registration) over the in-memory registry, file system
// and process list. Literals are code page 936 bytes, like the program's.
#include "ui/InstallSteps.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deploy/Deployment.h"
#include "deploy/InstallRecorder.h"
#include "deploy/Uninstaller.h"
#include "host/Detection.h"
#include "host/Registration.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeFolderSecurity.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeSetupView.h"
#include "ui/SetupDialog.h"

namespace tx {
namespace {

const CodePage kGbk(936);
const std::string kProductKey = "SOFTWARE\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804";
const std::string kInstalled = "C:\\Tarnix\\Tarnix批打印软件";

class InstallStepsTest : public ::testing::Test {
protected:
    InstallStepsTest() {
        fs.SetModulePath("C:\\Pkg\\SetUp.exe");
        fs.SetEnv("APPDATA", "C:\\Users\\u\\AppData\\Roaming");
        fs.AddFolder("C:\\Users\\u\\AppData\\Roaming");
        fs.AddFolder("C:\\Acad2024\\Fonts");
        reg.SetString(RegRoot::LocalMachine, kProductKey, "AcadLocation", "C:\\Acad2024");
        reg.SetString(RegRoot::LocalMachine, kProductKey, "ProductName",
                      "AutoCAD 2024 - 简体中文 (Simplified Chinese)");
    }

    void AddPayload() {
        fs.AddFile("C:\\Pkg\\Data\\TX_BatchPlot2021.ARX", "module");
        fs.AddFile("C:\\Pkg\\Data\\Tarnix.prt7", "library");
        fs.AddFile("C:\\Pkg\\Data\\Tarnix_EN.shx", "font");
    }

    Dlg_Setup& Open() {
        AcadDetector(reg, kGbk).DetectAcadReleases(info);
        dlg = std::make_unique<Dlg_Setup>(view, info, steps, kGbk, run, 64);
        dlg->OnInitDialog();
        reg.RecordWrites(true);
        return *dlg;
    }

    // Another run of the program on the same machine, clicked through to
    // the end; its stage then.
    Dlg_Setup::Stage InstallAgain() {
        CAcadInfo info2;
        InstallRecorder recorder2{fs, kGbk};
        Deployer deployer2{fs, processes, view.messages, kGbk, &recorder2};
        HostRegistrar registrar2{reg, kGbk, wide, &recorder2};
        InstallSteps steps2{deployer2, registrar2, fs, security, kGbk, reg, recorder2, "20240103"};
        FakeSetupView view2;
        InstallRun run2;
        AcadDetector(reg, kGbk).DetectAcadReleases(info2);
        Dlg_Setup dlg2(view2, info2, steps2, kGbk, run2, 64);
        dlg2.OnInitDialog();
        dlg2.OnInstall();
        return dlg2.CurrentStage();
    }

    FakeFileSystem fs{936};
    FakeRegistry reg{936};
    FakeProcessList processes;
    FakeSetupView view;
    InstallRecorder recorder{fs, kGbk};
    Deployer deployer{fs, processes, view.messages, kGbk, &recorder};
    FakeWideText wide{936};
    HostRegistrar registrar{reg, kGbk, wide, &recorder};
    FakeFolderSecurity security{fs};
    InstallSteps steps{deployer, registrar, fs, security, kGbk, reg, recorder, "20240102"};
    CAcadInfo info;
    InstallRun run;
    std::unique_ptr<Dlg_Setup> dlg;
};

TEST_F(InstallStepsTest, FolderLimitLeavesRoomForTheLongestInstalledName) {
    // "PdfSharp.Charting.dll", 21 bytes, is the longest fixed name.
    EXPECT_EQ(259u - 1 - 21, steps.MaxInstallFolderLength());

    fs.AddFile("C:\\Pkg\\Data\\" + std::string(40, 'n') + ".arx");
    fs.AddFolder("C:\\Pkg\\Data\\" + std::string(90, 'd'));  // not deployed
    EXPECT_EQ(259u - 1 - 44, steps.MaxInstallFolderLength());
}

TEST_F(InstallStepsTest, InstallPutsFilesEntriesAndFontsInPlace) {
    AddPayload();
    Open();
    ASSERT_EQ(1, view.GetCheck(IDC_ACAD2024)) << "2024 detected";
    dlg->OnInstall();

    EXPECT_TRUE(view.messages.Calls().empty());
    EXPECT_EQ(kInstalled, info.m_strInstallDir);
    EXPECT_EQ("module", fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ("library", fs.Content(kInstalled + "\\itextsharp.dll"));
    EXPECT_EQ("font", fs.Content("C:\\Acad2024\\Fonts\\Tarnix_EN.shx"));
    EXPECT_EQ(kInstalled + "\\TX_BatchPlot2021.ARX",
              reg.GetString(RegRoot::LocalMachine,
                            kProductKey + "\\Applications\\TX_BatchPlot2024", "LOADER")
                  .value_or("(none)"));
    EXPECT_EQ(50, view.progress.Pos());
    EXPECT_EQ(Dlg_Setup::Stage::Completed, dlg->CurrentStage());
    EXPECT_EQ(0u, reg.OpenHandles());
}

TEST_F(InstallStepsTest, BothLevelsAreMadeProtectedAndHeldAcrossEveryCopy) {
    AddPayload();
    Open();
    dlg->OnInstall();
    EXPECT_EQ((std::vector<std::string>{"C:\\Tarnix", kInstalled}), security.Made());
    ASSERT_EQ(2u, security.Holds().size());
    for (const FakeFolderSecurity::Hold& hold : security.Holds()) {
        SCOPED_TRACE(hold.path);
        EXPECT_EQ(0u, hold.copiesBefore);
        EXPECT_EQ(fs.CopyCalls().size(), hold.copiesAtRelease) << "held until the last copy";
    }
    EXPECT_GT(fs.CopyCalls().size(), 3u);
    EXPECT_EQ(0, security.HeldNow());
    EXPECT_EQ(Dlg_Setup::Stage::Completed, dlg->CurrentStage());
}

TEST_F(InstallStepsTest, ProductFolderOfAnotherUserStopsEverything) {
    AddPayload();
    fs.AddFolder(kInstalled);
    fs.AddFile(kInstalled + "\\TX_BatchPlot2021.ARX", "planted");
    security.SetOwner(kInstalled, "S-1-5-21-1004336348-1177238915-682003330-1002");
    Open();
    dlg->OnInstall();
    ASSERT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ("安装目录已存在且不安全，请选择其他安装路径 !", view.messages.Calls()[0].text);
    EXPECT_TRUE(security.Made().empty());
    EXPECT_TRUE(fs.CreateDirectoryCalls().empty());
    EXPECT_TRUE(fs.CopyCalls().empty());
    EXPECT_TRUE(reg.Writes().empty());
    EXPECT_EQ("planted", fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
    EXPECT_FALSE(fs.Exists("C:\\Users\\u\\AppData\\Roaming\\Tarnix"));
    EXPECT_EQ(0, security.HeldNow());
    EXPECT_EQ(Dlg_Setup::Stage::Initial, dlg->CurrentStage());

    // The same folder once it belongs to the user running the installer.
    security.SetOwner(kInstalled, security.CurrentUserSid());
    dlg->OnInstall();
    EXPECT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ("module", fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ(Dlg_Setup::Stage::Completed, dlg->CurrentStage());
}

TEST_F(InstallStepsTest, LongDataFileNameRefusesAFolderThatWouldOverflowIt) {
    AddPayload();
    fs.AddFile("C:\\Pkg\\Data\\" + std::string(96, 'n') + ".arx");  // 100 bytes
    Open();
    // 159 bytes with the subfolder: fits a LOADER entry, not the long file.
    view.SetText(IDC_PATH, "D:\\" + std::string(139, 'p'));
    dlg->OnInstall();
    ASSERT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ("安装路径过长，请选择较短的安装路径 !", view.messages.Calls()[0].text);
    EXPECT_TRUE(fs.CreateDirectoryCalls().empty());
    EXPECT_TRUE(fs.CopyCalls().empty());
    EXPECT_TRUE(reg.Writes().empty());
    EXPECT_EQ(Dlg_Setup::Stage::Initial, dlg->CurrentStage());

    view.SetText(IDC_PATH, "D:\\" + std::string(138, 'p'));  // 158 bytes: the limit
    fs.AddFolder("D:\\Other");
    dlg->OnInstall();
    EXPECT_EQ(1u, view.messages.Calls().size());
    EXPECT_TRUE(fs.Exists("D:\\" + std::string(138, 'p') + "\\Tarnix批打印软件\\" +
                          std::string(96, 'n') + ".arx"));
}


class NoSelfRemoval : public ISelfRemover {
public:
    bool RemoveAfterExit(const std::string& image, const std::vector<std::string>& folders) override {
        this->image = image;
        this->folders = folders;
        return true;
    }
    std::string image;
    std::vector<std::string> folders;
};

TEST_F(InstallStepsTest, InstallTwiceThenUninstallGivesTheMachineBack) {
    AddPayload();
    fs.AddFile("C:\\Pkg\\SetUp.exe", "program");
    fs.AddFile("C:\\Acad2024\\Fonts\\Tarnix_EN.shx", "their font", kAttrReadOnly);
    const std::string vars = "Software\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804\\Profiles\\p\\Variables";
    reg.SetString(RegRoot::CurrentUser, vars, "TRUSTEDPATHS", "d:\\mine");
    reg.CreatePath(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    // Every Windows has these; the program adds only its own component.
    reg.CreatePath(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Active Setup\\Installed Components");
    reg.CreatePath(RegRoot::CurrentUser, "Software\\Microsoft\\Active Setup\\Installed Components");
    const std::string registryBefore = reg.Dump();
    const std::vector<std::string> filesBefore = fs.Tree("C:");

    Open();
    dlg->OnInstall();
    ASSERT_EQ(Dlg_Setup::Stage::Completed, dlg->CurrentStage());
    const std::string entry = kUninstallKey;
    auto text = [&](const char* name) {
        return reg.GetString(RegRoot::LocalMachine, entry, name).value_or("(none)");
    };
    EXPECT_EQ("Tarnix批打印软件", text("DisplayName"));
    EXPECT_EQ("2023.12.18", text("DisplayVersion"));
    EXPECT_EQ("Tarnix", text("Publisher"));
    EXPECT_EQ(kInstalled, text("InstallLocation"));
    EXPECT_EQ(kInstalled + "\\Uninstall.exe", text("DisplayIcon"));
    EXPECT_EQ("\"" + kInstalled + "\\Uninstall.exe\"", text("UninstallString"));
    EXPECT_EQ("\"" + kInstalled + "\\Uninstall.exe\" /S", text("QuietUninstallString"));
    EXPECT_EQ("20240102", text("InstallDate"));
    EXPECT_EQ(1u, reg.GetDword(RegRoot::LocalMachine, entry, "NoModify").value_or(0));
    EXPECT_EQ(1u, reg.GetDword(RegRoot::LocalMachine, entry, "NoRepair").value_or(0));
    EXPECT_EQ(1u, reg.GetDword(RegRoot::LocalMachine, entry, "EstimatedSize").value_or(0))
        << "a few bytes round up to one KB";
    EXPECT_EQ("program", fs.Content(kInstalled + "\\Uninstall.exe"));
    EXPECT_EQ("font", fs.Content("C:\\Acad2024\\Fonts\\Tarnix_EN.shx"));

    // A second installation over the first, as a new run of the program.
    ASSERT_EQ(Dlg_Setup::Stage::Completed, InstallAgain());
    EXPECT_EQ(1u, fs.Children(kInstalled + "\\Backup").size()) << "one backup, the first";

    fs.SetModulePath(kInstalled + "\\Uninstall.exe");
    FakeMessageBox boxes;
    NoSelfRemoval self;
    Uninstaller uninstaller(reg, fs, processes, boxes, self, kGbk, wide);
    EXPECT_EQ(kExitDone, uninstaller.Run(true));
    // What the remover takes after the exit, then compare: only the user's
    // settings file stays.
    ASSERT_TRUE(fs.DeleteFile(self.image));
    for (const std::string& f : self.folders) ASSERT_TRUE(fs.RemoveDirectory(f)) << f;
    std::vector<std::string> filesAfter;
    for (const std::string& p : fs.Tree("C:"))
        if (p.find("AppData\\Roaming\\Tarnix") == std::string::npos) filesAfter.push_back(p);
    EXPECT_EQ(filesBefore, filesAfter);
    EXPECT_EQ(registryBefore, reg.Dump());
    EXPECT_TRUE(fs.Attributes("C:\\Acad2024\\Fonts\\Tarnix_EN.shx") & kAttrReadOnly);
}

TEST_F(InstallStepsTest, ReinstallReplacesAReadOnlyUninstaller) {
    // CopyFile gives the copy the source's attributes: a SetUp.exe that came
    // read-only (from a CD image, say) leaves a read-only Uninstall.exe, and
    // copying over a read-only or hidden target fails.
    AddPayload();
    fs.AddFile("C:\\Pkg\\SetUp.exe", "program 1", kAttrReadOnly);
    Open();
    dlg->OnInstall();
    ASSERT_EQ(Dlg_Setup::Stage::Completed, dlg->CurrentStage());
    ASSERT_EQ("program 1", fs.Content(kInstalled + "\\Uninstall.exe"));

    // A later release installed over it must leave its own uninstaller.
    fs.AddFile("C:\\Pkg\\SetUp.exe", "program 2", kAttrReadOnly);
    ASSERT_EQ(Dlg_Setup::Stage::Completed, InstallAgain());
    EXPECT_EQ("program 2", fs.Content(kInstalled + "\\Uninstall.exe"));
}

}  // namespace
}  // namespace tx
