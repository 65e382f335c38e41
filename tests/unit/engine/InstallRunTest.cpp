// The setup dialog driving the real installation engine on a whole machine
// in memory: what a click on Install leaves on it, what an abort, an
// ignored copy or a skipped font leave, and that a second run and the
// uninstaller after it keep the machine whole. Literals are code page 936
// bytes, like the program's.
#include "engine/InstallEngine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deploy/ExitStatus.h"
#include "engine/Journal.h"
#include "host/AcadDetector.h"
#include "res/resource.h"
#include "tests/fakes/FakeMachine.h"
#include "tests/fakes/FakeSetupView.h"
#include "ui/SetupDialog.h"

namespace tx {
namespace {

const std::string kInstalled = "C:\\Tarnix\\Tarnix批打印软件";
const std::string kProducts = "SOFTWARE\\Autodesk\\AutoCAD\\";
const std::string k2024Key = kProducts + "R24.3\\ACAD-7101:804";
const std::string k2019Variables =
    "Software\\Autodesk\\AutoCAD\\R23.0\\ACAD-2001:804\\Profiles\\<<Unnamed Profile>>\\Variables";
const std::string kFont2008 = std::string(FakeMachine::kAcad2008) + "\\Fonts\\Tarnix_EN.shx";
const std::string kFont2019 = std::string(FakeMachine::kAcad2019) + "\\Fonts\\Tarnix_EN.shx";
const std::string kUserSettings = std::string(FakeMachine::kAppData) + "\\Tarnix\\Tarnix.Ini";

std::string CopyFailedText(const std::string& target) {
    return "拷贝文件 " + target +
           " 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统";
}

// One run of the program: its own detection, engine, window and dialog.
class ProgramRun {
public:
    explicit ProgramRun(FakeMachine& m) : engine(m.Services()) {
        AcadDetector(m.reg, m.cp).DetectAcadReleases(info);
        dlg = std::make_unique<Dlg_Setup>(view, info, engine, m.cp, run, 64);
        dlg->OnInitDialog();
    }
    // Types the folder (unless empty) and clicks Install.
    Dlg_Setup::Outcome Install(const std::string& typed = std::string()) {
        if (!typed.empty()) view.SetText(IDC_PATH, typed);
        dlg->OnInstall();
        return dlg->LastOutcome();
    }

    InstallEngine engine;
    FakeSetupView view;
    CAcadInfo info;
    InstallRun run;
    std::unique_ptr<Dlg_Setup> dlg;
};

class InstallRunTest : public ::testing::Test {
protected:
    bool Logged(const std::string& a, const std::string& b = std::string()) const {
        for (const std::string& line : m.log.Lines())
            if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) return true;
        return false;
    }
    // The machine as Snapshot() shows it, less the older installation's
    // demand-load key for 2024: an installation takes that key over, and
    // its uninstall deletes it instead of putting the older one back;
    // these tests are about the rest.
    std::string SnapshotBesidesOldKey() const {
        std::string kept;
        std::size_t begin = 0;
        const std::string all = m.Snapshot();
        while (begin < all.size()) {
            const std::size_t end = all.find('\n', begin);
            const std::string line = all.substr(begin, end == std::string::npos ? end : end - begin + 1);
            if (line.find("Applications\\TX_BatchPlot2024") == std::string::npos) kept += line;
            begin = end == std::string::npos ? all.size() : end + 1;
        }
        return kept;
    }
    std::string Loader(const std::string& productKey, int year) const {
        return m.reg
            .GetString(RegRoot::LocalMachine,
                       productKey + "\\Applications\\TX_BatchPlot" + std::to_string(year), "LOADER")
            .value_or("(none)");
    }

    FakeMachine m;
};

// --- One installation --------------------------------------------------------

TEST_F(InstallRunTest, FolderLimitLeavesRoomForTheLongestInstalledName) {
    InstallEngine engine(m.Services());
    // "PdfSharp.Charting.dll", 21 bytes, is the longest fixed name.
    EXPECT_EQ(259u - 1 - 21, engine.MaxInstallFolderLength());

    m.fs.AddFile(std::string(FakeMachine::kPackage) + "\\Data\\" + std::string(40, 'n') + ".arx");
    m.fs.AddFolder(std::string(FakeMachine::kPackage) + "\\Data\\" + std::string(90, 'd'));  // not deployed
    EXPECT_EQ(259u - 1 - 44, engine.MaxInstallFolderLength());
}

TEST_F(InstallRunTest, InstallPutsFilesEntriesAndFontsInPlace) {
    ProgramRun p(m);
    ASSERT_EQ(1, p.view.GetCheck(IDC_ACAD2024)) << "2024 detected";
    ASSERT_EQ(Dlg_Setup::Outcome::Completed, p.Install());

    EXPECT_TRUE(p.view.messages.Calls().empty());
    EXPECT_EQ(kInstalled, p.info.m_strInstallDir);
    EXPECT_EQ("module 2008", m.fs.Content(kInstalled + "\\TX_BatchPlot2008.ARX"));
    EXPECT_EQ("module 2021", m.fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ("itextsharp", m.fs.Content(kInstalled + "\\itextsharp.dll"));
    EXPECT_EQ("pdfsharp", m.fs.Content(kInstalled + "\\PdfSharp.dll"));
    EXPECT_EQ("settings", m.fs.Content(kUserSettings));
    // A copy stays for the users who log on later.
    EXPECT_EQ("settings", m.fs.Content(kInstalled + "\\Tarnix.Ini"));
    EXPECT_EQ("font en", m.fs.Content(kFont2008));
    EXPECT_EQ("font hz", m.fs.Content(std::string(FakeMachine::kAcad2019) + "\\Fonts\\Tarnix_HZ.shx"));
    EXPECT_EQ("driver", m.fs.Content(std::string(FakeMachine::kAcad2008) + "\\Drv\\pdfplot9.hdi"));
    EXPECT_FALSE(m.fs.Exists(std::string(FakeMachine::kAcad2024) + "\\Fonts"))
        << "an installation without its Fonts folder gets none";
    // The older installation's key now loads this one.
    EXPECT_EQ(kInstalled + "\\TX_BatchPlot2021.ARX", Loader(k2024Key, 2024));
    EXPECT_EQ("D:\\MINE\\BLOCKS;" + m.cp.Upper(kInstalled),
              m.reg.GetString(RegRoot::CurrentUser, k2019Variables, "TRUSTEDPATHS").value_or(""));
    EXPECT_TRUE(m.fs.Exists(kInstalled + "\\" + kJournalFileName));

    // Eight files, "." and ".." list as eleven steps; the payload in place,
    // the registration and the end are one more each. The bar ends full.
    EXPECT_EQ(11 + 3, p.view.progress.StepCount());
    EXPECT_EQ(50, p.view.progress.Pos());
    EXPECT_EQ(Dlg_Setup::Stage::Completed, p.dlg->CurrentStage());
    EXPECT_TRUE(p.view.Visible(IDC_DONE_NOTE));
    EXPECT_EQ(0u, m.reg.OpenHandles());
    for (const std::string& line : m.log.Lines())
        EXPECT_EQ(std::string::npos, line.find("failed")) << line;
}

TEST_F(InstallRunTest, BothLevelsAreMadeProtectedAndHeldAcrossEveryCopy) {
    ProgramRun p(m);
    ASSERT_EQ(Dlg_Setup::Outcome::Completed, p.Install());
    EXPECT_EQ((std::vector<std::string>{"C:\\Tarnix", kInstalled}), m.security.Made());
    ASSERT_EQ(2u, m.security.Holds().size());
    for (const FakeFolderSecurity::Hold& hold : m.security.Holds()) {
        SCOPED_TRACE(hold.path);
        EXPECT_EQ(0u, hold.copiesBefore);
        EXPECT_EQ(m.fs.CopyCalls().size(), hold.copiesAtRelease) << "held until the last copy";
    }
    EXPECT_GT(m.fs.CopyCalls().size(), 3u);
    EXPECT_EQ(0, m.security.HeldNow());
}

TEST_F(InstallRunTest, ProductFolderOfAnyUserStopsEverything) {
    m.fs.AddFolder(kInstalled);
    m.fs.AddFile(kInstalled + "\\TX_BatchPlot2021.ARX", "planted");
    m.security.SetOwner(kInstalled, "S-1-5-21-1004336348-1177238915-682003330-1002");
    ProgramRun p(m);
    m.reg.RecordWrites(true);
    EXPECT_EQ(Dlg_Setup::Outcome::FolderRefused, p.Install());
    ASSERT_EQ(1u, p.view.messages.Calls().size());
    EXPECT_EQ("安装目录已存在且不安全，请选择其他安装路径 !", p.view.messages.Calls()[0].text);
    EXPECT_TRUE(m.security.Made().empty());
    EXPECT_TRUE(m.fs.CreateDirectoryCalls().empty());
    EXPECT_TRUE(m.fs.CopyCalls().empty());
    EXPECT_TRUE(m.reg.Writes().empty());
    EXPECT_EQ("planted", m.fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
    EXPECT_FALSE(m.fs.Exists(std::string(FakeMachine::kAppData) + "\\Tarnix"));
    EXPECT_EQ(0, m.security.HeldNow());
    EXPECT_EQ(Dlg_Setup::Stage::Initial, p.dlg->CurrentStage());

    // Nor the user running the installer: their unelevated programs own
    // what they make under the same SID.
    m.security.SetOwner(kInstalled, m.security.CurrentUserSid());
    EXPECT_EQ(Dlg_Setup::Outcome::FolderRefused, p.Install());
    ASSERT_EQ(2u, p.view.messages.Calls().size());
    EXPECT_EQ("安装目录已存在且不安全，请选择其他安装路径 !", p.view.messages.Calls()[1].text);
    EXPECT_EQ("planted", m.fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));

    // The same folder once it belongs to Administrators (an elevated run made it).
    m.security.SetOwner(kInstalled, kSidAdministrators);
    EXPECT_EQ(Dlg_Setup::Outcome::Completed, p.Install());
    EXPECT_EQ(2u, p.view.messages.Calls().size());
    EXPECT_EQ("module 2021", m.fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
}

TEST_F(InstallRunTest, LongDataFileNameRefusesAFolderThatWouldOverflowIt) {
    m.fs.AddFile(std::string(FakeMachine::kPackage) + "\\Data\\" + std::string(96, 'n') + ".arx");  // 100 bytes
    ProgramRun p(m);
    m.reg.RecordWrites(true);
    // 159 bytes with the subfolder: fits a LOADER entry, not the long file.
    EXPECT_EQ(Dlg_Setup::Outcome::FolderRefused, p.Install("D:\\" + std::string(139, 'p')));
    ASSERT_EQ(1u, p.view.messages.Calls().size());
    EXPECT_EQ("安装路径过长，请选择较短的安装路径 !", p.view.messages.Calls()[0].text);
    EXPECT_TRUE(m.fs.CreateDirectoryCalls().empty());
    EXPECT_TRUE(m.fs.CopyCalls().empty());
    EXPECT_TRUE(m.reg.Writes().empty());
    EXPECT_EQ(Dlg_Setup::Stage::Initial, p.dlg->CurrentStage());

    m.fs.AddFolder("D:\\Other");
    // 158 bytes: the limit.
    EXPECT_EQ(Dlg_Setup::Outcome::Completed, p.Install("D:\\" + std::string(138, 'p')));
    EXPECT_EQ(1u, p.view.messages.Calls().size());
    EXPECT_TRUE(m.fs.Exists("D:\\" + std::string(138, 'p') + "\\Tarnix批打印软件\\" +
                            std::string(96, 'n') + ".arx"));
}

// --- Failures during the run ------------------------------------------------

class FailedRunTest : public InstallRunTest {
protected:
    FailedRunTest() {
        // A payload file listed after the settings file, so an abort at it
        // has the settings copy and the module copies to undo.
        m.fs.AddFile(std::string(FakeMachine::kPackage) + "\\Data\\Tarnix.prt8", "charting");
    }
    const std::string failing_ = kInstalled + "\\PdfSharp.Charting.dll";
};

TEST_F(FailedRunTest, AbortAfterAFailedCopyLeavesTheMachineAsItWas) {
    const std::string before = m.Snapshot(true);
    m.fs.FailCopyTo(failing_, 2);
    ProgramRun p(m);
    p.view.messages.Script({kIdRetry, kIdAbort});
    EXPECT_EQ(Dlg_Setup::Outcome::PayloadFailed, p.Install());

    ASSERT_EQ(2u, p.view.messages.Calls().size()) << "asked again after the retry";
    for (const FakeMessageBox::Call& call : p.view.messages.Calls()) {
        EXPECT_EQ(CopyFailedText(failing_), call.text);
        EXPECT_EQ("Tarnix软件安装", call.caption);
        EXPECT_EQ(kMbAbortRetryIgnore, call.style);
    }
    EXPECT_EQ(std::vector<int>{kIdCancel}, p.view.endResults);
    EXPECT_EQ(Dlg_Setup::Stage::Ended, p.dlg->CurrentStage());
    EXPECT_NE(50, p.view.progress.Pos());
    std::size_t made = 0;
    for (const FakeFileSystem::CopyCall& copy : m.fs.CopyCalls()) made += copy.ok ? 1 : 0;
    EXPECT_GE(made, 5u) << "the modules, libraries and settings were copied before the abort";
    EXPECT_EQ(before, m.Snapshot(true)) << "copies, settings, folders and journal all undone";
    EXPECT_TRUE(Logged("action failed: ", failing_ + " (error "));
    EXPECT_EQ(0, m.security.HeldNow());
    EXPECT_EQ(0u, m.reg.OpenHandles());
}

TEST_F(FailedRunTest, AbortOfAReinstallKeepsTheEarlierInstallationWhole) {
    const std::string pristine = SnapshotBesidesOldKey();
    {
        ProgramRun first(m);
        ASSERT_EQ(Dlg_Setup::Outcome::Completed, first.Install());
    }
    // A newer package whose run fails at its last payload copy: every
    // file it replaces differs from the one installed.
    const std::string data = std::string(FakeMachine::kPackage) + "\\Data\\";
    m.fs.AddFile(data + "TX_BatchPlot2021.ARX", "module 2021 v2");
    m.fs.AddFile(data + "Tarnix.Ini", "settings v2");
    m.fs.AddFile(data + "Tarnix_EN.shx", "font en v2");
    m.fs.AddFile(std::string(FakeMachine::kPackage) + "\\SetUp.exe", "setup program v2");
    const std::string installed = m.Snapshot(true);
    const std::string journal = m.fs.Content(kInstalled + "\\" + kJournalFileName);
    // Once: the copy that puts the earlier file back works.
    m.fs.FailCopyTo(failing_, 1);
    ProgramRun second(m);
    second.view.messages.Script({kIdAbort});
    EXPECT_EQ(Dlg_Setup::Outcome::PayloadFailed, second.Install());

    EXPECT_EQ(installed, m.Snapshot(true)) << "the earlier installation's files put back";
    EXPECT_EQ("module 2021", m.fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ(journal, m.fs.Content(kInstalled + "\\" + kJournalFileName));
    // And it still uninstalls to the machine before it (the package put
    // back as it was for the comparison).
    ASSERT_EQ(kExitDone, m.Uninstall());
    m.fs.AddFile(data + "TX_BatchPlot2021.ARX", "module 2021");
    m.fs.AddFile(data + "Tarnix.Ini", "settings");
    m.fs.AddFile(data + "Tarnix_EN.shx", "font en");
    m.fs.AddFile(std::string(FakeMachine::kPackage) + "\\SetUp.exe", "setup program");
    EXPECT_EQ(pristine, SnapshotBesidesOldKey());
}

TEST_F(FailedRunTest, IgnoreSkipsTheCopyAndTheRunGoesOn) {
    m.fs.FailCopyTo(failing_);
    ProgramRun p(m);
    p.view.messages.Script({kIdIgnore});
    EXPECT_EQ(Dlg_Setup::Outcome::Completed, p.Install());

    ASSERT_EQ(1u, p.view.messages.Calls().size());
    EXPECT_EQ(CopyFailedText(failing_), p.view.messages.Calls()[0].text);
    EXPECT_FALSE(m.fs.Exists(failing_));
    EXPECT_EQ("pdfsharp", m.fs.Content(kInstalled + "\\PdfSharp.dll"));
    EXPECT_EQ("font en", m.fs.Content(kFont2008));
    EXPECT_EQ(kInstalled + "\\TX_BatchPlot2021.ARX", Loader(k2024Key, 2024));
    EXPECT_TRUE(m.fs.Exists(kInstalled + "\\" + kUninstallerName));
    EXPECT_EQ(50, p.view.progress.Pos());
    EXPECT_EQ(Dlg_Setup::Stage::Completed, p.dlg->CurrentStage());
    EXPECT_TRUE(Logged("action failed: ", failing_ + " (error "));
}

TEST_F(InstallRunTest, FailedFontIsSkippedWithoutAWordButLogged) {
    m.fs.FailCopyTo(kFont2019);
    ProgramRun p(m);
    EXPECT_EQ(Dlg_Setup::Outcome::Completed, p.Install());

    EXPECT_TRUE(p.view.messages.Calls().empty());
    EXPECT_EQ(Dlg_Setup::Stage::Completed, p.dlg->CurrentStage());
    EXPECT_TRUE(p.view.Visible(IDC_DONE_NOTE));
    EXPECT_FALSE(m.fs.Exists(kFont2019));
    EXPECT_EQ("font hz", m.fs.Content(std::string(FakeMachine::kAcad2019) + "\\Fonts\\Tarnix_HZ.shx"))
        << "the next font is still copied";
    EXPECT_EQ("font en", m.fs.Content(kFont2008));
    EXPECT_TRUE(m.fs.Exists(kInstalled + "\\" + kUninstallerName));
    EXPECT_TRUE(Logged("action failed: ", kFont2019 + " (error "));
}

// --- Installing again, and giving the machine back --------------------------

TEST_F(InstallRunTest, InstallTwiceThenUninstallGivesTheMachineBack) {
    // AutoCAD's own font, read-only.
    m.fs.AddFile(kFont2008, "acad 2008 font", kAttrReadOnly);
    const std::string before = SnapshotBesidesOldKey();

    {
        ProgramRun first(m);
        ASSERT_EQ(Dlg_Setup::Outcome::Completed, first.Install());
    }
    const std::string entry = kUninstallKey;
    auto text = [&](const char* name) {
        return m.reg.GetString(RegRoot::LocalMachine, entry, name).value_or("(none)");
    };
    EXPECT_EQ("Tarnix批打印软件", text("DisplayName"));
    EXPECT_EQ("2023.12.18", text("DisplayVersion"));
    EXPECT_EQ("Tarnix", text("Publisher"));
    EXPECT_EQ(kInstalled, text("InstallLocation"));
    EXPECT_EQ(kInstalled + "\\Uninstall.exe", text("DisplayIcon"));
    EXPECT_EQ("\"" + kInstalled + "\\Uninstall.exe\"", text("UninstallString"));
    EXPECT_EQ("\"" + kInstalled + "\\Uninstall.exe\" /S", text("QuietUninstallString"));
    EXPECT_EQ("20240102", text("InstallDate"));
    EXPECT_EQ(1u, m.reg.GetDword(RegRoot::LocalMachine, entry, "NoModify").value_or(0));
    EXPECT_EQ(1u, m.reg.GetDword(RegRoot::LocalMachine, entry, "NoRepair").value_or(0));
    EXPECT_EQ(1u, m.reg.GetDword(RegRoot::LocalMachine, entry, "EstimatedSize").value_or(0))
        << "a few bytes round up to one KB";
    // Active Setup: every user who logs on gets the per-user step; this one
    // has had it.
    const std::string active = kActiveSetupKey;
    EXPECT_EQ("Tarnix批打印软件", m.reg.GetString(RegRoot::LocalMachine, active, "").value_or(""));
    EXPECT_EQ("2023,12,18,0", m.reg.GetString(RegRoot::LocalMachine, active, "Version").value_or(""));
    const std::string stub = m.reg.GetString(RegRoot::LocalMachine, active, "StubPath").value_or("");
    EXPECT_NE(std::string::npos, stub.find("\"" + kInstalled + "\\Uninstall.exe\" /USER")) << stub;
    EXPECT_NE(std::string::npos, stub.find("RunAsInvoker")) << stub;
    EXPECT_EQ(kRegExpandSz, m.reg.GetValue(RegRoot::LocalMachine, active, "StubPath")->type)
        << "%SystemRoot% is expanded";
    EXPECT_EQ("2023,12,18,0", m.reg.GetString(RegRoot::CurrentUser, active, "Version").value_or(""));
    EXPECT_EQ("setup program", m.fs.Content(kInstalled + "\\Uninstall.exe"));
    EXPECT_EQ("font en", m.fs.Content(kFont2008));

    // A second installation over the first, as a new run of the program.
    m.installDate = "20240103";
    {
        ProgramRun second(m);
        ASSERT_EQ(Dlg_Setup::Outcome::Completed, second.Install());
    }
    EXPECT_EQ("20240103", text("InstallDate"));
    // Only the backups of what the machine had before the first run stay:
    // AutoCAD's own font and driver, not the first run's own files.
    const std::vector<std::string> backups = m.fs.Children(kInstalled + "\\Backup");
    ASSERT_EQ(2u, backups.size());
    for (const std::string& name : backups) {
        const std::string content = m.fs.Content(kInstalled + "\\Backup\\" + name);
        EXPECT_TRUE(content == "acad 2008 font" || content == "acad 2008 driver") << name;
    }

    ASSERT_EQ(kExitDone, m.Uninstall());
    EXPECT_EQ(before, SnapshotBesidesOldKey());
    EXPECT_TRUE(m.fs.Attributes(kFont2008) & kAttrReadOnly);
}

TEST_F(InstallRunTest, ReinstallReplacesAReadOnlyUninstaller) {
    // Earlier installers copied SetUp.exe with its attributes: one that came
    // read-only (from a CD image, say) left a read-only Uninstall.exe, which
    // refuses being written over.
    const std::string program = std::string(FakeMachine::kPackage) + "\\SetUp.exe";
    m.fs.AddFile(program, "program 1", kAttrReadOnly);
    {
        ProgramRun first(m);
        ASSERT_EQ(Dlg_Setup::Outcome::Completed, first.Install());
    }
    ASSERT_EQ("program 1", m.fs.Content(kInstalled + "\\Uninstall.exe"));
    ASSERT_TRUE(m.fs.SetAttributes(kInstalled + "\\Uninstall.exe", kAttrReadOnly | kAttrHidden));

    // A later release installed over it must leave its own uninstaller.
    m.fs.AddFile(program, "program 2", kAttrReadOnly);
    ProgramRun second(m);
    ASSERT_EQ(Dlg_Setup::Outcome::Completed, second.Install());
    EXPECT_EQ("program 2", m.fs.Content(kInstalled + "\\Uninstall.exe"));
    EXPECT_TRUE(second.view.messages.Calls().empty());
}

// The program's file can be renamed while it runs and another put at its
// name (by whoever may delete in its folder, before the program holds it).
// The uninstaller, run elevated at every uninstall and by Active Setup at
// every logon, is the program that runs, read through the held handle.
TEST_F(InstallRunTest, UninstallerIsTheRunningProgramNotWhatIsNowAtItsName) {
    const std::string program = std::string(FakeMachine::kPackage) + "\\SetUp.exe";
    m.fs.SetHeldImage("the running program");
    m.fs.AddFile(program, "planted program");
    ProgramRun p(m);
    ASSERT_EQ(Dlg_Setup::Outcome::Completed, p.Install());
    EXPECT_EQ("the running program", m.fs.Content(kInstalled + "\\Uninstall.exe"));
    for (const auto& copy : m.fs.CopyCalls()) EXPECT_NE(program, copy.source) << copy.target;
}

}  // namespace
}  // namespace tx
