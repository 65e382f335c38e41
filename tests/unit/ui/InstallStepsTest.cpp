// The install sequence with the real stages (detection, payload and support
// file deployment, registration) over the in-memory registry, file system
// and process list. Literals are code page 936 bytes, like the program's.
#include "ui/InstallSteps.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "deploy/Deployment.h"
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

    FakeFileSystem fs{936};
    FakeRegistry reg{936};
    FakeProcessList processes;
    FakeSetupView view;
    Deployer deployer{fs, processes, view.messages, kGbk};
    FakeWideText wide{936};
    HostRegistrar registrar{reg, kGbk, wide};
    FakeFolderSecurity security{&fs};
    InstallSteps steps{deployer, registrar, fs, security, kGbk};
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

TEST_F(InstallStepsTest, ProductFolderIsLockedDownOnceItExistsAndBeforeAnyCopy) {
    Open();
    dlg->OnInstall();
    ASSERT_EQ(1u, security.Calls().size());
    EXPECT_EQ("C:\\Tarnix\\Tarnix批打印软件", security.Calls()[0].folder);
    EXPECT_TRUE(security.Calls()[0].wasFolder);
    EXPECT_EQ(0u, security.Calls()[0].copiesBefore);
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

}  // namespace
}  // namespace tx
