// The setup dialog's logic against an in-memory window and a recording
// installer that plays the engine's questions back. Literals are compiled to code page 936 bytes, like the program's.
#include "ui/SetupDialog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "res/resource.h"
#include "tests/fakes/FakeSetupView.h"

namespace tx {
namespace {

const CodePage kGbk(936);
const std::string kSub = "\\Tarnix批打印软件";
const std::string kInvalid = "安装路径无效，请重新输入或选择安装路径 !";
const std::string kSemicolon = "安装路径中不能含有分号(;)，请重新选择安装路径 !";

const std::string kCopyTail =
    " 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统";
const std::string kNoData =
    "未找到安装所需的Data文件夹 !\n\n可能安装文件下载后没有解压，\n\n请解压后再执行SetUp.exe !";

// An installer that records what the dialog hands it and what the window
// looked like, and whose run plays a script of the engine's calls back.
class RecordingInstaller : public IInstaller {
public:
    // One call the run makes on its observer.
    struct Event {
        enum class Kind { Step, CopyFailed, NoDataFolder } kind;
        std::string target;  // CopyFailed: the file
        int failures = 1;    // CopyFailed: tries that fail before one works
    };

    explicit RecordingInstaller(FakeSetupView& view) : view_(view) {
        for (int i = 0; i < 11; ++i) script.push_back({Event::Kind::Step, "", 0});
    }

    bool IsAcadRunning() override {
        log.push_back("running?");
        return acadRunning;
    }
    std::size_t MaxInstallFolderLength() override { return maxFolder; }
    std::string InstalledFolder() override { return installed; }
    PreparedFolder PrepareInstallFolder(const std::string& chosen,
                                        const std::string& installFolder) override {
        folders.push_back(chosen);
        folders.push_back(installFolder);
        log.push_back("protect");
        PreparedFolder out;
        out.readiness = prepareResult;
        if (prepareResult == FolderReadiness::Ready) {
            out.hold.Keep(std::make_unique<Level>(*this));
            out.hold.Keep(std::make_unique<Level>(*this));
            out.created = createdLevels;
        }
        return out;
    }
    InstallResult Install(const CAcadInfo& info, const InstallRequest& request,
                          IInstallObserver& observer) override {
        log.push_back("install");
        requests.push_back(request);
        allOrNothing = observer.AllOrNothing();
        heldAtInstall = held;
        installDirAtInstall = info.m_strInstallDir;
        posAtInstall = view_.progress.Pos();
        rangeAtInstall = {view_.progress.Low(), view_.progress.High()};
        progressShownAtInstall = view_.Visible(IDC_PROGRESS);
        folderControlsShownAtInstall = view_.Visible(IDC_PATH) || view_.Visible(IDC_BROWSE) ||
                                       view_.Visible(IDC_HEAD_PATH);
        for (const Event& e : script) {
            switch (e.kind) {
                case Event::Kind::Step:
                    observer.Step();
                    posAfterSteps.push_back(view_.progress.Pos());
                    break;
                case Event::Kind::NoDataFolder:
                    observer.NoDataFolder();
                    return InstallResult::NoDataFolder;
                case Event::Kind::CopyFailed:
                    // As the engine does: Retry tries the copy again, Ignore
                    // goes on, Abort undoes the run.
                    for (int failed = 1;; ++failed) {
                        posAtCopyFailed.push_back(view_.progress.Pos());
                        const CopyFailedAnswer answer = observer.CopyFailed(e.target);
                        answers.push_back(answer);
                        if (answer == CopyFailedAnswer::Abort) return InstallResult::Aborted;
                        if (answer == CopyFailedAnswer::Ignore || failed >= e.failures) break;
                    }
                    break;
            }
        }
        return result;
    }

    // A run of n steps and nothing else.
    void Steps(int n) {
        script.clear();
        for (int i = 0; i < n; ++i) script.push_back({Event::Kind::Step, "", 0});
    }

    bool acadRunning = false;
    std::size_t maxFolder = 237;
    std::string installed;  // the folder of an installation found, if any
    FolderReadiness prepareResult = FolderReadiness::Ready;
    std::vector<std::string> createdLevels;
    std::vector<Event> script;
    InstallResult result = InstallResult::Completed;  // when the script runs to its end

    // Levels held now, and when the run started.
    int held = 0;
    int heldAtInstall = -1;
    std::size_t stagesAtRelease = 0;  // log entries when the last level was let go

    std::vector<std::string> log;
    std::vector<std::string> folders;
    std::vector<InstallRequest> requests;
    std::vector<CopyFailedAnswer> answers;
    bool allOrNothing = true;
    std::string installDirAtInstall;
    int posAtInstall = -1;
    std::pair<int, int> rangeAtInstall{-1, -1};
    std::vector<int> posAfterSteps;
    std::vector<int> posAtCopyFailed;
    bool progressShownAtInstall = false;
    bool folderControlsShownAtInstall = true;

private:
    // A held level: counted while it lives.
    class Level : public IHeldFolder {
    public:
        explicit Level(RecordingInstaller& installer) : installer_(installer) { ++installer_.held; }
        ~Level() override {
            --installer_.held;
            installer_.stagesAtRelease = installer_.log.size();
        }

    private:
        RecordingInstaller& installer_;
    };

    FakeSetupView& view_;
};

class SetupDialogTest : public ::testing::Test {
protected:
    void Detect(int year) {
        const int i = ReleaseIndexOfYear(year);
        ASSERT_GE(i, 0) << year;
        info.m_arrAcadLocation[i].push_back("C:\\Program Files\\AutoCAD " + std::to_string(year));
        info.m_arrProductKey[i].push_back("SOFTWARE\\Autodesk\\AutoCAD\\R\\ACAD-1:804\\");
    }
    void DetectAll() {
        for (const Release& r : kReleases) Detect(r.year);
    }
    Dlg_Setup& Open(int buildBits = 64) {
        dlg = std::make_unique<Dlg_Setup>(view, info, installer, kGbk, run, buildBits);
        EXPECT_TRUE(dlg->OnInitDialog());
        return *dlg;
    }
    int Box(int year) { return kReleaseCheckboxIds[ReleaseIndexOfYear(year)]; }
    // Types a folder and clicks Install.
    void InstallInto(const std::string& folder) {
        view.SetText(IDC_PATH, folder);
        dlg->OnInstall();
    }
    bool InInitialView() {
        return view.Visible(IDC_PATH) && view.Visible(IDC_BROWSE) && view.Visible(IDC_HEAD_PATH) &&
               !view.Visible(IDC_PROGRESS) && view.Visible(IDC_INSTALL) &&
               view.Visible(kIdCancel) && !view.Visible(kIdOk) && view.moves.empty() &&
               view.endResults.empty() && dlg->CurrentStage() == Dlg_Setup::Stage::Initial;
    }

    FakeSetupView view;
    RecordingInstaller installer{view};
    CAcadInfo info;
    InstallRun run;
    std::unique_ptr<Dlg_Setup> dlg;
};

// --- Opening the dialog ---------------------------------------------------

TEST_F(SetupDialogTest, NothingDetectedDisablesAndUnticksEveryBox) {
    Open();
    for (int id : kReleaseCheckboxIds) {
        EXPECT_FALSE(view.Enabled(id)) << id;
        EXPECT_EQ(0, view.GetCheck(id)) << id;
        EXPECT_TRUE(view.Visible(id)) << id;
    }
    EXPECT_FALSE(view.Enabled(kIdOk));
    EXPECT_TRUE(view.Enabled(IDC_INSTALL));
    EXPECT_EQ("C:\\Tarnix", view.GetText(IDC_PATH));
    EXPECT_EQ("Tarnix批打印软件 V2023.12.18 (64位版本)", view.GetText(IDC_VERSION));
    EXPECT_EQ(std::vector<int>{IDI_APP}, view.iconRequests);
    EXPECT_TRUE(view.messages.Calls().empty());
}

TEST_F(SetupDialogTest, Only2010DetectedEnablesBox1027NotBox1026) {
    Detect(2010);
    Open();
    EXPECT_EQ(1027, Box(2010));
    for (int id : kReleaseCheckboxIds) {
        const bool is2010 = id == 1027;
        EXPECT_EQ(is2010, view.Enabled(id)) << id;
        EXPECT_EQ(is2010 ? 1 : 0, view.GetCheck(id)) << id;
    }
    EXPECT_TRUE(view.Enabled(kIdOk));
    EXPECT_EQ(1, dlg->m_bRelease[3]);
    EXPECT_EQ(0, dlg->m_bRelease[4]);
}

TEST_F(SetupDialogTest, ThirtyTwoBitBuildHidesAndUnticks2017OnEvenWhenInstalled) {
    DetectAll();
    Open(32);
    for (const Release& r : kReleases) {
        const bool offered = r.year < 2017;
        EXPECT_EQ(offered, view.Visible(Box(r.year))) << r.year;
        EXPECT_EQ(offered ? 1 : 0, view.GetCheck(Box(r.year))) << r.year;
        EXPECT_EQ(offered ? 1 : 0, dlg->m_bRelease[ReleaseIndexOfYear(r.year)]) << r.year;
    }
    EXPECT_EQ("Tarnix批打印软件 V2023.12.18 (32位版本)", view.GetText(IDC_VERSION));
}

TEST_F(SetupDialogTest, SixtyFourBitBuildOffersEveryDetectedRelease) {
    DetectAll();
    Open(64);
    for (int id : kReleaseCheckboxIds) {
        EXPECT_TRUE(view.Visible(id)) << id;
        EXPECT_TRUE(view.Enabled(id)) << id;
        EXPECT_EQ(1, view.GetCheck(id)) << id;
    }
}

// --- The completion button follows the ticks ----------------------------

TEST_F(SetupDialogTest, UntickingEveryBoxDisablesOnlyTheCompletionButton) {
    Detect(2008);
    Detect(2024);
    Open();
    ASSERT_TRUE(view.Enabled(kIdOk));

    view.SetCheck(Box(2008), 0);
    dlg->OnReleaseClicked();
    EXPECT_TRUE(view.Enabled(kIdOk)) << "2024 is still ticked";

    view.SetCheck(Box(2024), 0);
    dlg->OnReleaseClicked();
    EXPECT_FALSE(view.Enabled(kIdOk));
    EXPECT_TRUE(view.Enabled(IDC_INSTALL));
    EXPECT_EQ(0, dlg->m_bRelease[ReleaseIndexOfYear(2024)]);

    view.SetCheck(Box(2008), 1);
    dlg->OnReleaseClicked();
    EXPECT_TRUE(view.Enabled(kIdOk));
    EXPECT_TRUE(view.Enabled(IDC_INSTALL));
}

TEST_F(SetupDialogTest, BrowseStartsFromTypedTextAndKeepsItOnCancel) {
    Open();
    view.SetText(IDC_PATH, "E:\\Tools");
    dlg->OnBrowse();
    ASSERT_EQ(1u, view.chooserStarts.size());
    EXPECT_EQ("E:\\Tools", view.chooserStarts[0]);
    EXPECT_EQ("E:\\Tools", dlg->m_strPath);
    EXPECT_EQ("E:\\Tools", view.GetText(IDC_PATH));
}

TEST_F(SetupDialogTest, BrowseAcceptedFolderReplacesTheEditAndRechecksTicks) {
    Detect(2010);
    Open();
    ASSERT_TRUE(view.Enabled(kIdOk));
    view.chooserAccepts = true;
    view.chooserAnswer = "D:\\新建\\Plug";
    for (int id : kReleaseCheckboxIds) view.SetCheck(id, 0);
    dlg->OnBrowse();
    EXPECT_EQ("D:\\新建\\Plug", dlg->m_strPath);
    EXPECT_EQ("D:\\新建\\Plug", view.GetText(IDC_PATH));
    EXPECT_FALSE(view.Enabled(kIdOk)) << "the completion button follows the ticks after Browse";
}

// --- Install: refusals ----------------------------------------------------

TEST_F(SetupDialogTest, RunningAutoCadRefusesTheFirstClickOnly) {
    Detect(2018);
    Open();
    installer.acadRunning = true;

    dlg->OnInstall();
    ASSERT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ("请关闭AutoCAD后再进行安装 !", view.messages.Calls()[0].text);
    EXPECT_EQ("Tarnix软件安装", view.messages.Calls()[0].caption);
    EXPECT_EQ(kMbOk, view.messages.Calls()[0].style);
    EXPECT_TRUE(installer.folders.empty());
    EXPECT_EQ(std::vector<std::string>{"running?"}, installer.log);
    EXPECT_TRUE(InInitialView());
    EXPECT_FALSE(run.AcadCheckPending);

    dlg->OnInstall();  // AutoCAD still runs: not asked again
    EXPECT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ((std::vector<std::string>{"running?", "protect", "install"}), installer.log);
    EXPECT_EQ(Dlg_Setup::Stage::Completed, dlg->CurrentStage());
}

TEST_F(SetupDialogTest, RefusalIsRememberedForTheWholeRun) {
    // The flag belongs to the run, not to one dialog object.
    run.AcadCheckPending = false;
    installer.acadRunning = true;
    Open();
    dlg->OnInstall();
    EXPECT_TRUE(view.messages.Calls().empty());
    EXPECT_EQ("protect", installer.log.at(0)) << "no AutoCAD check once refused";
}

TEST_F(SetupDialogTest, EmptyFolderTextIsRefusedWithoutCreatingAnything) {
    Detect(2015);
    Open();
    InstallInto("");
    ASSERT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ("Tarnix软件安装", view.messages.Calls()[0].caption);
    EXPECT_EQ(kMbOk | kMbIconStop, view.messages.Calls()[0].style);
    EXPECT_FALSE(view.messages.Calls()[0].text.empty());
    EXPECT_TRUE(installer.folders.empty());
    EXPECT_EQ(std::vector<std::string>{"running?"}, installer.log);
    EXPECT_TRUE(view.progress.Calls().empty());
    EXPECT_TRUE(info.m_strInstallDir.empty());
    EXPECT_TRUE(InInitialView());

    InstallInto("D:\\Apps");  // the dialog still works
    EXPECT_EQ("D:\\Apps" + kSub, info.m_strInstallDir);
}

TEST_F(SetupDialogTest, TooLongFolderIsRefusedAtTheFirstByteOver) {
    Detect(2021);
    Open();
    installer.maxFolder = 238;
    ASSERT_EQ(17u, kSub.size());
    const std::string fits = "D:\\" + std::string(238 - 17 - 3, 'a');  // 238 with the subfolder
    const std::string over = fits + "b";

    InstallInto(over + "\\");  // a trailing backslash is not counted
    ASSERT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ("安装路径过长，请选择较短的安装路径 !", view.messages.Calls()[0].text);
    EXPECT_EQ("Tarnix软件安装", view.messages.Calls()[0].caption);
    EXPECT_EQ(kMbOk, view.messages.Calls()[0].style);
    EXPECT_TRUE(installer.folders.empty());
    EXPECT_TRUE(InInitialView());
    EXPECT_EQ(over + "\\", view.GetText(IDC_PATH)) << "the typed text is left for correcting";

    InstallInto(fits + "\\");
    EXPECT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ(238u, info.m_strInstallDir.size());
    EXPECT_EQ(fits + kSub, info.m_strInstallDir);
}

TEST_F(SetupDialogTest, FolderLengthIsCountedInBytes) {
    Open();
    installer.maxFolder = 40;
    // Ten double-byte characters: 40 bytes with the subfolder, but 25
    // characters; one more character is 42 bytes.
    InstallInto("D:\\批打印批打印批打印批打");
    ASSERT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ("安装路径过长，请选择较短的安装路径 !", view.messages.Calls()[0].text);
    EXPECT_TRUE(installer.folders.empty());

    InstallInto("D:\\批打印批打印批打印批");
    EXPECT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ(40u, info.m_strInstallDir.size());
}

// --- Install: folders that cannot work ------------------------------------

class FolderRefusalTest : public SetupDialogTest {
protected:
    // One click on the folder typed: refused with the message, nothing made
    // or handed on, the initial view and the typed text left for correcting.
    void ExpectRefused(const std::string& typed, const std::string& message) {
        SCOPED_TRACE(typed);
        const std::size_t boxes = view.messages.Calls().size();
        InstallInto(typed);
        ASSERT_EQ(boxes + 1, view.messages.Calls().size());
        const FakeMessageBox::Call& box = view.messages.Calls().back();
        EXPECT_EQ(message, box.text);
        EXPECT_EQ("Tarnix软件安装", box.caption);
        EXPECT_EQ(kMbOk | kMbIconStop, box.style);
        EXPECT_TRUE(installer.folders.empty());
        EXPECT_TRUE(installer.requests.empty());
        EXPECT_TRUE(info.m_strInstallDir.empty());
        EXPECT_TRUE(view.progress.Calls().empty());
        EXPECT_TRUE(InInitialView());
        EXPECT_EQ(typed, view.GetText(IDC_PATH));
    }
};

TEST_F(FolderRefusalTest, FoldersWithoutADriveOrWithNamesWindowsCannotHoldAreRefused) {
    Detect(2016);
    Open();
    for (const std::string typed :
         {"Tarnix", "D:Tarnix", "C:\\Tarnix ", "C:\\Tarnix.", "C:\\ Tarnix", "C:\\a\\\\b",
          "\\\\server\\share", "\\Tarnix", "C:/Tarnix", "C:\\a/b", "1:\\Tarnix", "批:\\Tarnix",
          "C:\\a<b>", "C:\\a|b", "C:\\a*", "C:\\a?", "\"C:\\Tarnix\"", "C:\\a:b", "C:\\\\"}) {
        ExpectRefused(typed, kInvalid);
    }
    // The checks did not use up anything: a good folder still installs.
    InstallInto("C:\\Tarnix");
    EXPECT_EQ("C:\\Tarnix" + kSub, info.m_strInstallDir);
    EXPECT_EQ(Dlg_Setup::Stage::Completed, dlg->CurrentStage());
}

TEST_F(FolderRefusalTest, FolderHoldingASemicolonIsRefusedWithItsOwnMessage) {
    Open();
    ExpectRefused("C:\\a;b", kSemicolon);
    ExpectRefused("D:\\Tools;", kSemicolon);
    // Named first, also where the folder is bad in other ways as well.
    ExpectRefused("Tarnix;C:\\x", kSemicolon);
    ExpectRefused("C:\\a ;\\", kSemicolon);
    // A lead byte before ';' is no pair in 936 (no trail byte is below
    // 0x40): the ';' is still there for the list to split at.
    ExpectRefused("C:\\a\x89;b", kSemicolon);
    ExpectRefused("C\\a:\x89;b", kSemicolon);
}

TEST_F(FolderRefusalTest, SyntaxIsJudgedBeforeLength) {
    Open();
    installer.maxFolder = 20;
    ExpectRefused("C:\\a;" + std::string(300, 'x'), kSemicolon);
    ExpectRefused(std::string(300, 'x'), kInvalid);
    InstallInto("C:\\" + std::string(300, 'x'));
    ASSERT_FALSE(view.messages.Calls().empty());
    EXPECT_EQ("安装路径过长，请选择较短的安装路径 !", view.messages.Calls().back().text)
        << "a well-formed long folder gets the length message";
    EXPECT_TRUE(installer.folders.empty());
}

TEST_F(FolderRefusalTest, DriveRootsAndDoubleByteNamesStillInstall) {
    Open();
    InstallInto("C:\\");
    EXPECT_EQ((std::vector<std::string>{"C:", "C:" + kSub}), installer.folders);
    EXPECT_EQ("C:\\Tarnix批打印软件", info.m_strInstallDir);
    EXPECT_TRUE(view.messages.Calls().empty());
}

TEST_F(FolderRefusalTest, ValidFoldersInEveryFormPass) {
    for (const std::string typed :
         {"c:\\tarnix", "D:", "Z:\\a b\\c.d", "D:\\批打印\x95\x5C", "E:\\a\x81\x7C", "C:\\Program Files (x86)\\T"}) {
        SCOPED_TRACE(typed);
        FakeSetupView fresh;
        RecordingInstaller recorded(fresh);
        CAcadInfo record;
        InstallRun once;
        Dlg_Setup d(fresh, record, recorded, kGbk, once);
        ASSERT_TRUE(d.OnInitDialog());
        fresh.SetText(IDC_PATH, typed);
        d.OnInstall();
        EXPECT_TRUE(fresh.messages.Calls().empty());
        EXPECT_EQ(typed + kSub, record.m_strInstallDir);
    }
}

// --- Install: forming the folder -----------------------------------------

TEST_F(SetupDialogTest, DefaultFolderGetsTheProductSubfolderAndBothLevelsAreMade) {
    Detect(2013);
    Open();
    dlg->OnInstall();
    EXPECT_EQ((std::vector<std::string>{"C:\\Tarnix", "C:\\Tarnix" + kSub}), installer.folders);
    ASSERT_EQ(1u, installer.requests.size());
    EXPECT_EQ("C:\\Tarnix" + kSub, installer.requests[0].folder);
    EXPECT_EQ("C:\\Tarnix" + kSub, installer.installDirAtInstall);
    EXPECT_EQ("C:\\Tarnix" + kSub, dlg->m_strPath);
}

TEST_F(SetupDialogTest, BothLevelsAreHeldThroughTheWholeRun) {
    Detect(2018);
    Open();
    InstallInto("E:\\Shared\\");
    EXPECT_EQ((std::vector<std::string>{"E:\\Shared", "E:\\Shared" + kSub}), installer.folders);
    EXPECT_EQ(2, installer.heldAtInstall);
    EXPECT_EQ(0, installer.held) << "let go once the installation is over";
    EXPECT_EQ(installer.log.size(), installer.stagesAtRelease);
    EXPECT_EQ(Dlg_Setup::Stage::Completed, dlg->CurrentStage());
}

TEST_F(SetupDialogTest, LevelsAreLetGoWhenTheRunIsAborted) {
    Open();
    installer.script = {{RecordingInstaller::Event::Kind::CopyFailed, "C:\\x.arx", 1}};
    view.messages.Script({kIdAbort});
    dlg->OnInstall();
    EXPECT_EQ(2, installer.heldAtInstall);
    EXPECT_EQ(0, installer.held);
    EXPECT_EQ(std::vector<int>{kIdCancel}, view.endResults);
}

TEST_F(SetupDialogTest, RefusedInstallsLockDownNothing) {
    Open();
    installer.acadRunning = true;
    dlg->OnInstall();  // refused: AutoCAD runs
    InstallInto("");   // refused: empty
    installer.maxFolder = 10;
    InstallInto("C:\\A folder too long for the limit");
    EXPECT_TRUE(installer.folders.empty());
    EXPECT_TRUE(installer.requests.empty());
}

TEST_F(SetupDialogTest, FolderThatIsNotSafeOrNotMadeIsRefusedAndTheInitialViewStays) {
    Detect(2012);
    Open();
    const struct {
        FolderReadiness readiness;
        const char* text;
    } cases[] = {
        {FolderReadiness::UnsafeExisting, "安装目录已存在且不安全，请选择其他安装路径 !"},
        {FolderReadiness::Failed, "无法创建安装目录，请选择其他安装路径 !"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::size_t before = view.messages.Calls().size();
        installer.log.clear();
        installer.prepareResult = c.readiness;
        InstallInto("D:\\Planted\\");
        ASSERT_EQ(before + 1, view.messages.Calls().size());
        EXPECT_EQ(c.text, view.messages.Calls().back().text);
        EXPECT_EQ("Tarnix软件安装", view.messages.Calls().back().caption);
        EXPECT_EQ(kMbOk | kMbIconStop, view.messages.Calls().back().style);
        // Nothing copied or registered, the bar never started.
        EXPECT_EQ((std::vector<std::string>{"running?", "protect"}), installer.log);
        EXPECT_TRUE(view.progress.Calls().empty());
        EXPECT_TRUE(info.m_strInstallDir.empty());
        EXPECT_TRUE(InInitialView());
        EXPECT_EQ("D:\\Planted\\", view.GetText(IDC_PATH)) << "left for choosing another";
        EXPECT_EQ("D:\\Planted\\", dlg->m_strPath);
    }

    // Another folder then installs.
    installer.prepareResult = FolderReadiness::Ready;
    InstallInto("D:\\Safe");
    EXPECT_EQ(Dlg_Setup::Stage::Completed, dlg->CurrentStage());
    EXPECT_EQ("D:\\Safe" + kSub, info.m_strInstallDir);
}

TEST_F(SetupDialogTest, OneTrailingBackslashIsDropped) {
    Open();
    InstallInto("D:\\Soft\\");
    EXPECT_EQ((std::vector<std::string>{"D:\\Soft", "D:\\Soft" + kSub}), installer.folders);
    EXPECT_EQ("D:\\Soft" + kSub, info.m_strInstallDir);
}

TEST_F(SetupDialogTest, DriveRootPutsTheSubfolderDirectlyBelowIt) {
    Open();
    InstallInto("E:\\");
    EXPECT_EQ((std::vector<std::string>{"E:", "E:" + kSub}), installer.folders);
    EXPECT_EQ("E:" + kSub, info.m_strInstallDir);
}

TEST_F(SetupDialogTest, OnlyOneOfTwoTrailingBackslashesIsDroppedAndTheRestIsRefused) {
    Open();
    // The one left would put an empty name before the subfolder.
    InstallInto("D:\\Soft\\\\");
    ASSERT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ(kInvalid, view.messages.Calls()[0].text);
    EXPECT_TRUE(installer.folders.empty());
    EXPECT_TRUE(info.m_strInstallDir.empty());
    EXPECT_TRUE(InInitialView());
}

TEST_F(SetupDialogTest, TrailByteThatLooksLikeABackslashIsKept) {
    Open();
    // 0x95 0x5C is one GBK character whose second byte is '\'.
    const std::string folder = "D:\\Soft\x95\x5C";
    InstallInto(folder);
    EXPECT_EQ(folder, installer.folders.at(0));
    EXPECT_EQ(folder + kSub, info.m_strInstallDir);
}

TEST_F(SetupDialogTest, FolderAlreadyNamedLikeTheSubfolderGetsItAgain) {
    Open();
    InstallInto("C:\\Tarnix" + kSub);
    EXPECT_EQ("C:\\Tarnix" + kSub + kSub, info.m_strInstallDir);
    EXPECT_EQ("C:\\Tarnix" + kSub, installer.folders.at(0));
}

// --- Install: the run -------------------------------------------------------

TEST_F(SetupDialogTest, TheRunGetsTheTicksTheFolderAndTheLevelsMadeForIt) {
    Detect(2007);
    Detect(2019);
    Detect(2020);
    Open();
    installer.createdLevels = {"C:\\Tarnix", "C:\\Tarnix" + kSub};
    view.SetCheck(Box(2020), 0);  // unticked without a click: read at Install
    dlg->OnInstall();

    EXPECT_EQ((std::vector<std::string>{"running?", "protect", "install"}), installer.log);
    ASSERT_EQ(1u, installer.requests.size());
    const InstallRequest& request = installer.requests[0];
    TickFlags expected{};
    expected[ReleaseIndexOfYear(2007)] = 1;
    expected[ReleaseIndexOfYear(2019)] = 1;
    EXPECT_EQ(expected, request.ticks);
    EXPECT_EQ("C:\\Tarnix" + kSub, request.folder);
    EXPECT_EQ("C:\\Tarnix" + kSub, installer.installDirAtInstall);
    EXPECT_EQ(installer.createdLevels, request.madeLevels) << "what the run undoes on an abort";
    EXPECT_FALSE(installer.allOrNothing) << "the dialog asks; only a silent run is all or nothing";
    EXPECT_EQ(Dlg_Setup::Outcome::Completed, dlg->LastOutcome());
}

TEST_F(SetupDialogTest, ProgressStartsAtZeroWithTheBarShownFollowsEachStepAndEndsFull) {
    Detect(2016);
    Open();
    installer.Steps(11);
    dlg->OnInstall();

    EXPECT_TRUE(installer.progressShownAtInstall);
    EXPECT_FALSE(installer.folderControlsShownAtInstall);
    EXPECT_EQ(0, installer.posAtInstall);
    EXPECT_EQ((std::pair<int, int>{0, 50}), installer.rangeAtInstall);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), installer.posAfterSteps)
        << "one bar step for each of the run's steps";
    EXPECT_EQ(50, view.progress.Pos());
    EXPECT_EQ(11, view.progress.StepCount());
}

TEST_F(SetupDialogTest, ProgressEndsFullAfterAnOverrunPayload) {
    Open();
    installer.Steps(73);  // more steps than the range holds: the bar wraps
    dlg->OnInstall();
    EXPECT_EQ(73, view.progress.StepCount());
    EXPECT_EQ(50, view.progress.Pos());
}

TEST_F(SetupDialogTest, FailedCopyIsPutToTheUserWhoseAbortCancelsTheDialog) {
    Detect(2022);
    Open();
    const std::string target = "C:\\Tarnix" + kSub + "\\TX_BatchPlot2021.ARX";
    installer.script = {{RecordingInstaller::Event::Kind::Step, "", 0},
                        {RecordingInstaller::Event::Kind::Step, "", 0},
                        {RecordingInstaller::Event::Kind::CopyFailed, target, 1},
                        {RecordingInstaller::Event::Kind::Step, "", 0}};
    view.messages.Script({kIdAbort});
    dlg->OnInstall();

    ASSERT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ("拷贝文件 " + target + kCopyTail, view.messages.Calls()[0].text);
    EXPECT_EQ("Tarnix软件安装", view.messages.Calls()[0].caption);
    EXPECT_EQ(kMbAbortRetryIgnore, view.messages.Calls()[0].style);
    EXPECT_EQ(std::vector<CopyFailedAnswer>{CopyFailedAnswer::Abort}, installer.answers);
    EXPECT_EQ(std::vector<int>{2}, installer.posAtCopyFailed) << "asked over the bar as it stood";
    EXPECT_EQ(2, view.progress.Pos()) << "not filled for a run that was undone";
    EXPECT_EQ(std::vector<int>{kIdCancel}, view.endResults);
    EXPECT_EQ((std::vector<std::string>{"running?", "protect", "install"}), installer.log);
    EXPECT_FALSE(view.Visible(kIdOk));
    EXPECT_FALSE(view.Visible(IDC_MENU_PICTURE));
    EXPECT_FALSE(view.Visible(IDC_DONE_NOTE));
    EXPECT_TRUE(view.moves.empty());
    EXPECT_EQ(Dlg_Setup::Stage::Ended, dlg->CurrentStage());
    EXPECT_EQ(Dlg_Setup::Outcome::PayloadFailed, dlg->LastOutcome());

    dlg->OnInstall();  // an ended dialog starts nothing more
    EXPECT_EQ(1u, installer.requests.size());
}

TEST_F(SetupDialogTest, RetryAsksAgainUntilTheCopyWorksAndIgnoreGoesOn) {
    Detect(2019);
    Open();
    const std::string first = "C:\\Tarnix" + kSub + "\\itextsharp.dll";
    const std::string second = "C:\\Tarnix" + kSub + "\\pdfsharp.dll";
    installer.script = {{RecordingInstaller::Event::Kind::CopyFailed, first, 3},
                        {RecordingInstaller::Event::Kind::Step, "", 0},
                        {RecordingInstaller::Event::Kind::CopyFailed, second, 5},
                        {RecordingInstaller::Event::Kind::Step, "", 0}};
    view.messages.Script({kIdRetry, kIdRetry, kIdRetry, kIdIgnore});
    dlg->OnInstall();

    // The third retry of the first copy works; the second copy is skipped.
    std::vector<std::string> texts;
    for (const FakeMessageBox::Call& call : view.messages.Calls()) {
        texts.push_back(call.text);
        EXPECT_EQ("Tarnix软件安装", call.caption);
        EXPECT_EQ(kMbAbortRetryIgnore, call.style);
    }
    EXPECT_EQ((std::vector<std::string>{"拷贝文件 " + first + kCopyTail, "拷贝文件 " + first + kCopyTail,
                                        "拷贝文件 " + first + kCopyTail, "拷贝文件 " + second + kCopyTail}),
              texts);
    EXPECT_EQ((std::vector<CopyFailedAnswer>{CopyFailedAnswer::Retry, CopyFailedAnswer::Retry,
                                             CopyFailedAnswer::Retry, CopyFailedAnswer::Ignore}),
              installer.answers);
    EXPECT_EQ(0, view.messages.Unscripted());
    EXPECT_EQ(Dlg_Setup::Stage::Completed, dlg->CurrentStage());
    EXPECT_EQ(Dlg_Setup::Outcome::Completed, dlg->LastOutcome());
    EXPECT_EQ(50, view.progress.Pos());
    EXPECT_TRUE(view.endResults.empty());
}

TEST_F(SetupDialogTest, ABoxThatCannotBeShownAbortsTheRun) {
    Open();
    installer.script = {{RecordingInstaller::Event::Kind::CopyFailed, "C:\\x.arx", 1}};
    view.messages.Script({0});  // MessageBox failed
    dlg->OnInstall();
    EXPECT_EQ(std::vector<CopyFailedAnswer>{CopyFailedAnswer::Abort}, installer.answers);
    EXPECT_EQ(std::vector<int>{kIdCancel}, view.endResults);
    EXPECT_EQ(Dlg_Setup::Outcome::PayloadFailed, dlg->LastOutcome());
}

TEST_F(SetupDialogTest, MissingDataFolderIsShownAndCancelsTheDialog) {
    Detect(2024);
    Open();
    installer.script = {{RecordingInstaller::Event::Kind::NoDataFolder, "", 0}};
    dlg->OnInstall();

    ASSERT_EQ(1u, view.messages.Calls().size());
    EXPECT_EQ(kNoData, view.messages.Calls()[0].text);
    EXPECT_EQ("Tarnix软件安装", view.messages.Calls()[0].caption);
    EXPECT_EQ(kMbOk, view.messages.Calls()[0].style);
    EXPECT_EQ(0, view.progress.StepCount());
    EXPECT_EQ(0, view.progress.Pos());
    EXPECT_EQ(std::vector<int>{kIdCancel}, view.endResults);
    EXPECT_FALSE(view.Visible(IDC_DONE_NOTE));
    EXPECT_TRUE(view.moves.empty());
    EXPECT_EQ(Dlg_Setup::Stage::Ended, dlg->CurrentStage());
    EXPECT_EQ(Dlg_Setup::Outcome::PayloadFailed, dlg->LastOutcome());
}

TEST_F(SetupDialogTest, ARunThatFailsWithoutAQuestionAlsoCancelsTheDialog) {
    Open();
    installer.result = InstallResult::Failed;
    dlg->OnInstall();
    EXPECT_TRUE(view.messages.Calls().empty());
    EXPECT_EQ(std::vector<int>{kIdCancel}, view.endResults);
    EXPECT_FALSE(view.Visible(IDC_DONE_NOTE));
    EXPECT_EQ(Dlg_Setup::Outcome::PayloadFailed, dlg->LastOutcome());
}

TEST_F(SetupDialogTest, NothingTickedStillInstallsAndLeavesTheCompletionButtonDisabled) {
    Detect(2009);
    Open();
    view.SetCheck(Box(2009), 0);
    dlg->OnReleaseClicked();
    dlg->OnInstall();

    EXPECT_EQ((std::vector<std::string>{"running?", "protect", "install"}), installer.log);
    ASSERT_EQ(1u, installer.requests.size());
    EXPECT_EQ(TickFlags{}, installer.requests[0].ticks);
    EXPECT_TRUE(view.Visible(kIdOk));
    EXPECT_FALSE(view.Enabled(kIdOk));
}

// --- Completion view ---------------------------------------------------------

TEST_F(SetupDialogTest, CompletionViewShowsOnlyNotePictureAndCompletionButton) {
    Detect(2023);
    Open();
    dlg->OnInstall();

    EXPECT_TRUE(view.Visible(IDC_DONE_NOTE));
    EXPECT_TRUE(view.Visible(IDC_MENU_PICTURE));
    EXPECT_TRUE(view.Visible(kIdOk));
    EXPECT_TRUE(view.Enabled(kIdOk));
    EXPECT_TRUE(view.Visible(IDC_VERSION));
    for (int id : {IDC_HEAD_RELEASES, IDC_PROGRESS, IDC_INSTALL, kIdCancel, IDC_HEAD_PATH, IDC_PATH,
                   IDC_BROWSE}) {
        EXPECT_FALSE(view.Visible(id)) << id;
    }
    for (int id : kReleaseCheckboxIds) EXPECT_FALSE(view.Visible(id)) << id;
    EXPECT_EQ("C:\\Tarnix" + kSub, view.GetText(IDC_PATH)) << "fields written back";
    EXPECT_TRUE(view.endResults.empty());
}

TEST_F(SetupDialogTest, CompletionViewShortensTheWindowToTheCompletionButton) {
    Open();
    const Rect before = view.window;
    dlg->OnInstall();

    ASSERT_EQ(1u, view.moves.size());
    const Rect after = view.moves[0];
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.top, after.top);
    EXPECT_EQ(before.right, after.right);
    // Bottoms at 228 and 276 dialog units: 48 units, 72 pixels here.
    EXPECT_EQ(before.bottom - 72, after.bottom);
}

TEST_F(SetupDialogTest, CompletionButtonEndsTheDialogAsDone) {
    Detect(2011);
    Open();
    dlg->OnInstall();
    dlg->OnOK();
    EXPECT_EQ(std::vector<int>{kIdOk}, view.endResults);
}

TEST_F(SetupDialogTest, EnterBeforeInstallingDoesNotEndTheDialog) {
    Detect(2011);
    Open();
    dlg->OnOK();  // Enter in the folder edit arrives as IDOK
    EXPECT_TRUE(view.endResults.empty());
    dlg->OnCancel();
    EXPECT_EQ(std::vector<int>{kIdCancel}, view.endResults);
}

}  // namespace
}  // namespace tx
