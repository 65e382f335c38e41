// The payload part of an installation run: the Data folder's files into
// the installation folder and the user's settings folder, as the engine
// plans and makes them.
// The literals below are compiled to code page 936 bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/InstallEngine.h"
#include "engine/InstallFolder.h"
#include "engine/Journal.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeFolderSecurity.h"
#include "tests/fakes/FakeMachine.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeWideText.h"
#include "tests/fakes/MemoryLog.h"

namespace tx {
namespace {

const std::string kData = "C:\\Pkg\\Data";
const std::string kChosen = "C:\\Program Files\\Tarnix";
const std::string kInstall = kChosen + "\\Tarnix批打印软件";
const std::string kAppData = "C:\\Users\\u\\AppData\\Roaming";
const std::string kSettings = kAppData + "\\Tarnix";
const std::string kMark = ":Zone.Identifier";
const std::string kMarkText = "[ZoneTransfer]\r\nZoneId=3\r\n";

using Names = std::vector<std::string>;

// Answers failed copies from a script (Abort once it runs out).
class Answers : public IInstallObserver {
public:
    CopyFailedAnswer CopyFailed(const std::string& target) override {
        failedCopies.push_back(target);
        if (onCopyFailed) onCopyFailed(target);
        if (script.empty()) {
            ++unscripted;
            return CopyFailedAnswer::Abort;
        }
        const CopyFailedAnswer answer = script.front();
        script.pop_front();
        return answer;
    }
    bool AllOrNothing() override { return allOrNothing; }
    void NoDataFolder() override { ++noData; }
    void RestartNeeded() override {}
    void Step() override { ++steps; }

    std::deque<CopyFailedAnswer> script;
    std::function<void(const std::string&)> onCopyFailed;
    bool allOrNothing = false;
    Names failedCopies;
    int unscripted = 0;
    int noData = 0;
    int steps = 0;
};

class PayloadTest : public ::testing::Test {
protected:
    PayloadTest() {
        reg_.AddWindowsKeys();
        fs_.SetModulePath("C:\\Pkg\\SetUp.exe");
        fs_.AddFile("C:\\Pkg\\SetUp.exe", "exe");
        fs_.AddFolder(kData);
        fs_.AddFolder(kChosen);
        fs_.AddFolder(kAppData);
        fs_.SetEnv("APPDATA", kAppData);
    }

    EngineServices Services() {
        EngineServices s{fs_, reg_, wide_, cp_, procs_, security_, log_};
        s.userFolders = userFolders_;
        s.installDate = "20240102";
        return s;
    }
    // A run as the dialog starts it: the two levels readied and held, then
    // the installation into them (no release ticked).
    InstallResult Install() {
        InstallEngine engine(Services());
        FolderReadiness readiness = FolderReadiness::Failed;
        const InstallResult result =
            InstallPrepared(engine, info_, kChosen, kInstall, TickFlags{}, answers_, &readiness);
        EXPECT_EQ(FolderReadiness::Ready, readiness);
        return result;
    }
    // Straight into a folder that is there already.
    InstallResult InstallInto(const std::string& folder) {
        InstallEngine engine(Services());
        InstallRequest request;
        request.folder = folder;
        return engine.Install(info_, request, answers_);
    }
    void AddData(const std::string& name, const std::string& content = "",
                 std::uint32_t attributes = kAttrArchive) {
        fs_.AddFile(kData + "\\" + name, content.empty() ? name : content, attributes);
    }
    // The installation folder less the journal, the uninstaller and the
    // backups.
    Names Payload() const {
        Names names;
        for (const std::string& n : fs_.Children(kInstall))
            if (n != kJournalFileName && n != kUninstallerName && n != kBackupFolderName)
                names.push_back(n);
        return names;
    }
    // Copies from a Data folder, in order.
    std::vector<FakeFileSystem::CopyCall> PayloadCopies() const {
        std::vector<FakeFileSystem::CopyCall> copies;
        for (const auto& c : fs_.CopyCalls())
            if (c.source.find("\\Data\\") != std::string::npos) copies.push_back(c);
        return copies;
    }
    Names PayloadTargets() const {
        Names targets;
        for (const auto& c : PayloadCopies()) targets.push_back(c.target);
        return targets;
    }
    // Everything a run could change.
    std::string State() const { return MachineSnapshot(fs_, reg_); }

    CodePage cp_{936};
    FakeFileSystem fs_;
    FakeRegistry reg_;
    FakeWideText wide_{936};
    FakeProcessList procs_;
    FakeFolderSecurity security_{fs_};
    IFolderSecurity* userFolders_ = nullptr;
    MemoryLog log_;
    CAcadInfo info_;
    Answers answers_;
};

TEST_F(PayloadTest, DeploymentTableRenamesSkipsAndRoutesTheSettingsFile) {
    AddData("TARNIX.PRT7", "itext");
    AddData("tarnix.prt8", "charting");
    AddData("Tarnix.prt9", "pdfsharp");
    AddData("tarnix.INI", "settings");
    AddData("setup.exe");
    AddData("Tarnix_EN.shx");
    AddData("TARNIX_HZ.SHX");
    AddData("tarnix.PRT5");
    AddData("TX_BatchPlot2021.ARX", "module");
    AddData("批打印说明.txt", "readme");

    EXPECT_EQ(InstallResult::Completed, Install());

    // The settings file also stays in the installation folder, for the
    // users who log on later.
    EXPECT_EQ((Names{"itextsharp.dll", "PdfSharp.Charting.dll", "PdfSharp.dll", "Tarnix.Ini",
                     "TX_BatchPlot2021.ARX", "批打印说明.txt"}),
              Payload());
    EXPECT_TRUE(fs_.Exists(kInstall + "\\InstallRecord.txt"));
    EXPECT_TRUE(fs_.Exists(kInstall + "\\Uninstall.exe"));
    EXPECT_EQ("itext", fs_.Content(kInstall + "\\itextsharp.dll"));
    EXPECT_EQ("charting", fs_.Content(kInstall + "\\PdfSharp.Charting.dll"));
    EXPECT_EQ("pdfsharp", fs_.Content(kInstall + "\\PdfSharp.dll"));
    EXPECT_EQ("module", fs_.Content(kInstall + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ("settings", fs_.Content(kInstall + "\\Tarnix.Ini"));
    // The settings file keeps the letter case the listing gave it.
    EXPECT_EQ((Names{"tarnix.INI"}), fs_.Children(kSettings));
    EXPECT_EQ("settings", fs_.Content(kSettings + "\\tarnix.INI"));
    // Into the user's folder it is written whole, not copied by name.
    Names written;
    for (const auto& w : fs_.WriteCalls()) written.push_back(w.target);
    EXPECT_NE(written.end(), std::find(written.begin(), written.end(), kSettings + "\\tarnix.INI"));
    EXPECT_TRUE(answers_.failedCopies.empty());
    EXPECT_EQ(0, fs_.OpenListings()) << "the listing is closed";
}

TEST_F(PayloadTest, InstallFolderIsCreatedAndTheSettingsFolderOnlyWhenNeeded) {
    AddData("a.arx");
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_EQ((Names{kInstall}), fs_.CreateDirectoryCalls());
    EXPECT_TRUE(fs_.IsFolder(kInstall));
    EXPECT_FALSE(fs_.Exists(kSettings));
    EXPECT_EQ(0, fs_.EnvironmentQueries());
}

TEST_F(PayloadTest, SubFoldersAreSkippedWhateverTheirAttributes) {
    fs_.AddFolder(kData + "\\Tarnix.prt7", kAttrDirectory | kAttrReadOnly | kAttrArchive);
    fs_.AddFolder(kData + "\\Sub", kAttrDirectory | kAttrHidden);
    fs_.AddFile(kData + "\\Sub\\inner.arx");
    fs_.AddFolder(kData + "\\Tarnix.Ini");
    AddData("top.arx");

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_EQ((Names{"top.arx"}), Payload());
    ASSERT_EQ(1u, PayloadCopies().size());
    EXPECT_EQ(kData + "\\top.arx", PayloadCopies()[0].source);
    EXPECT_FALSE(fs_.Exists(kSettings));
}

// --- Progress --------------------------------------------------------------

TEST_F(PayloadTest, ProgressStepsOncePerListingEntryPlusOne) {
    AddData("a.arx");
    AddData("SetUp.EXE");
    fs_.AddFolder(kData + "\\Sub");
    AddData("b.arx");
    EXPECT_EQ(InstallResult::Completed, Install());
    // ".", "..", four entries and the fetch that ends the listing; then one
    // step each once the payload is in place, once registered, and at the end.
    EXPECT_EQ(7 + 3, answers_.steps);
}

TEST_F(PayloadTest, EveryFileOfALongListingIsDeployed) {
    for (int i = 0; i < 150; ++i) AddData("m" + std::to_string(i) + ".arx");
    EXPECT_EQ(InstallResult::Completed, Install());
    ASSERT_EQ(150u, Payload().size());
    EXPECT_TRUE(fs_.Exists(kInstall + "\\m149.arx"));
    EXPECT_EQ(153 + 3, answers_.steps);
}

// --- A copy that fails ------------------------------------------------------

TEST_F(PayloadTest, AbortAfterTwoGoodCopiesUndoesTheRun) {
    AddData("a.arx");
    AddData("b.arx");
    AddData("c.arx");
    AddData("d.arx");
    fs_.FailCopyTo(kInstall + "\\c.arx");
    answers_.script = {CopyFailedAnswer::Abort};
    const std::string before = State();

    EXPECT_EQ(InstallResult::Aborted, Install());

    // The copies made so far and the folder made for them are gone again.
    EXPECT_EQ(before, State());
    EXPECT_EQ((Names{kInstall + "\\c.arx"}), answers_.failedCopies);
    EXPECT_EQ(0, fs_.OpenListings()) << "the listing is closed on Abort";
    EXPECT_EQ(5, answers_.steps) << "\".\", \"..\", a, b, c";
}

TEST_F(PayloadTest, RetryCopiesAgainUntilItWorks) {
    AddData("a.arx");
    AddData("b.arx");
    fs_.FailCopyTo(kInstall + "\\a.arx", 2);
    answers_.script = {CopyFailedAnswer::Retry, CopyFailedAnswer::Retry};

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_EQ(2u, answers_.failedCopies.size());
    EXPECT_EQ(0, answers_.unscripted);
    EXPECT_EQ((Names{"a.arx", "b.arx"}), Payload());
    EXPECT_EQ((Names{kInstall + "\\a.arx", kInstall + "\\a.arx", kInstall + "\\a.arx",
                     kInstall + "\\b.arx"}),
              PayloadTargets());
}

TEST_F(PayloadTest, IgnoreGivesUpOneFileAndTheRestStillSucceeds) {
    AddData("a.arx");
    AddData("b.arx");
    AddData("c.arx");
    fs_.FailCopyTo(kInstall + "\\b.arx");
    answers_.script = {CopyFailedAnswer::Ignore};

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_EQ((Names{"a.arx", "c.arx"}), Payload());
    EXPECT_EQ(1u, answers_.failedCopies.size());
}

TEST_F(PayloadTest, SilentRunUndoesEverythingWhenACopyFails) {
    AddData("a.arx");
    AddData("Tarnix.Ini", "ini");
    AddData("b.arx");
    fs_.FailCopyTo(kInstall + "\\b.arx");
    answers_.allOrNothing = true;
    const std::string before = State();

    EXPECT_EQ(InstallResult::Failed, Install());

    EXPECT_EQ(before, State()) << "the settings folder made for the run is gone too";
    EXPECT_TRUE(answers_.failedCopies.empty()) << "nothing is asked";
    const std::string said = "action failed: file-new " + kInstall + "\\b.arx (error ";
    const auto& lines = log_.Lines();
    EXPECT_NE(lines.end(), std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
                  return line.compare(0, said.size(), said) == 0;
              }));
}

// A payload target held open by another program: its backup cannot be made
// while it is held, so the copy fails and is put to the user; on Retry,
// once it is free, the backup is made and the copy goes through.
TEST_F(PayloadTest, RetryMakesTheBackupOnceTheFileIsFree) {
    const std::string held = kInstall + "\\itextsharp.dll";
    AddData("Tarnix.prt7", "library");
    fs_.AddFile(held, "someone's");
    fs_.SetInUse(held);
    answers_.onCopyFailed = [&](const std::string&) { fs_.SetInUse(held, false); };
    answers_.script = {CopyFailedAnswer::Retry};

    ASSERT_EQ(InstallResult::Completed, Install());

    EXPECT_EQ((Names{held}), answers_.failedCopies);
    EXPECT_EQ("library", fs_.Content(held));
    JournalContent journal;
    ASSERT_TRUE(ParseJournal(fs_.Content(kInstall + "\\InstallRecord.txt"), &journal));
    bool named = false;
    for (const auto& a : journal.actions) {
        const std::vector<std::string> f = a->Fields();
        if (f[0] != "file-replaced") continue;
        named = true;
        EXPECT_EQ(held, f[1]);
        EXPECT_EQ("someone's", fs_.Content(f[2]));
    }
    EXPECT_TRUE(named);
}

// --- No Data folder ------------------------------------------------------------

TEST_F(PayloadTest, MissingDataFolderIsReportedAndNothingChanges) {
    fs_.SetModulePath("C:\\Elsewhere\\SetUp.exe");
    const std::string before = State();
    EXPECT_EQ(InstallResult::NoDataFolder, Install());
    EXPECT_EQ(1, answers_.noData);
    // The installation folder readied for the run is removed again.
    EXPECT_EQ(before, State());
    EXPECT_TRUE(fs_.CopyCalls().empty());
    EXPECT_EQ(0, answers_.steps);
}

TEST_F(PayloadTest, AFileNamedDataIsNoDataFolder) {
    fs_.AddFile("C:\\Files\\Data", "not a folder");
    fs_.SetModulePath("C:\\Files\\SetUp.exe");
    const std::string before = State();
    EXPECT_EQ(InstallResult::NoDataFolder, Install());
    EXPECT_EQ(1, answers_.noData);
    EXPECT_EQ(before, State());
    EXPECT_TRUE(fs_.CopyCalls().empty());
    EXPECT_EQ(0, answers_.steps);
}

TEST_F(PayloadTest, UnreadableListingIsNoDataFolder) {
    AddData("a.arx");
    fs_.FailListing(kData);
    const std::string before = State();
    EXPECT_EQ(InstallResult::NoDataFolder, Install()) << "nothing copied is no success";
    EXPECT_EQ(1, answers_.noData);
    EXPECT_EQ(before, State());
    EXPECT_TRUE(fs_.CopyCalls().empty());
    EXPECT_EQ(0, answers_.steps);
}

TEST_F(PayloadTest, DataFolderWhoseListingPatternDoesNotFitIsNoDataFolder) {
    // 256 bytes: "\\*.*" makes 260, one more than a MAX_PATH buffer holds.
    const std::string dir = "C:\\" + std::string(248, 'p');
    fs_.SetModulePath(dir + "\\SetUp.exe");
    fs_.AddFile(dir + "\\Data\\a.arx", "a");
    ASSERT_EQ(256u, (dir + "\\Data").size());

    EXPECT_EQ(InstallResult::NoDataFolder, Install());

    EXPECT_EQ(1, answers_.noData);
    EXPECT_TRUE(fs_.CopyCalls().empty());
    for (const std::string& pattern : fs_.FindFirstCalls()) {
        EXPECT_LT(pattern.size(), kMaxPath) << "no listing of a cut pattern";
    }
}

// --- Attributes -------------------------------------------------------------

TEST_F(PayloadTest, ReadOnlySourcesAndTargetsEndUpReplacedAndWritable) {
    AddData("ro.arx", "new", kAttrReadOnly | kAttrArchive);
    AddData("Tarnix.prt7", "new dll");
    AddData("Tarnix.Ini", "new ini", kAttrReadOnly);
    fs_.AddFile(kInstall + "\\itextsharp.dll", "old dll", kAttrReadOnly | kAttrArchive);
    fs_.AddFile(kSettings + "\\Tarnix.Ini", "old ini", kAttrReadOnly);

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_TRUE(answers_.failedCopies.empty());
    EXPECT_EQ("new", fs_.Content(kInstall + "\\ro.arx"));
    EXPECT_EQ("new dll", fs_.Content(kInstall + "\\itextsharp.dll"));
    EXPECT_EQ("new ini", fs_.Content(kSettings + "\\Tarnix.Ini"));
    for (const std::string& path :
         {kInstall + "\\ro.arx", kInstall + "\\itextsharp.dll", kSettings + "\\Tarnix.Ini",
          kData + "\\ro.arx", kData + "\\Tarnix.Ini"}) {
        EXPECT_EQ(0u, fs_.Attributes(path) & kAttrReadOnly) << path;
    }
    // What was there is kept as it was, for the uninstaller to put back.
    const std::string backup = kInstall + "\\Backup\\1-itextsharp.dll";
    EXPECT_EQ("old dll", fs_.Content(backup));
    EXPECT_NE(0u, fs_.Attributes(backup) & kAttrReadOnly);
}

TEST_F(PayloadTest, SourcesOnReadOnlyMediaStillGiveWritableTargets) {
    // The source keeps its read-only bit and CopyFile carries it over.
    AddData("cd.arx", "cd", kAttrReadOnly);
    fs_.FailSetAttributes(kData + "\\cd.arx");
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_EQ("cd", fs_.Content(kInstall + "\\cd.arx"));
    EXPECT_EQ(0u, fs_.Attributes(kInstall + "\\cd.arx") & kAttrReadOnly);
    EXPECT_NE(0u, fs_.Attributes(kData + "\\cd.arx") & kAttrReadOnly);
}

TEST_F(PayloadTest, ProgramPathWithoutBackslashLooksForRootData) {
    fs_.SetModulePath("SetUp.exe");
    fs_.AddFile("\\Data\\a.arx", "a");
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_EQ((Names{"a.arx"}), Payload());
    ASSERT_FALSE(PayloadCopies().empty());
    EXPECT_EQ("\\Data\\a.arx", PayloadCopies()[0].source);
}

// --- Files extracted from a downloaded zip -------------------------------

TEST_F(PayloadTest, InternetMarkIsRemovedFromEveryInstalledFileAndKeptOnTheSources) {
    AddData("TX_BatchPlot2021.ARX", "module");
    AddData("Tarnix.prt7", "itext");
    AddData("Tarnix.Ini", "settings");
    // Read-only on read-only media: the target is read-only until cleared
    // after the copy, and a read-only file's streams cannot be deleted.
    AddData("ro.arx", "ro", kAttrReadOnly | kAttrArchive);
    fs_.FailSetAttributes(kData + "\\ro.arx");
    const std::vector<std::string> sources = {"TX_BatchPlot2021.ARX", "Tarnix.prt7", "Tarnix.Ini",
                                              "ro.arx"};
    for (const std::string& name : sources) fs_.AddFile(kData + "\\" + name + kMark, kMarkText);
    fs_.AddFile(kData + "\\TX_BatchPlot2021.ARX:Summary", "kept");

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_TRUE(answers_.failedCopies.empty());
    const std::vector<std::string> installed = {
        kInstall + "\\TX_BatchPlot2021.ARX", kInstall + "\\itextsharp.dll",
        kSettings + "\\Tarnix.Ini", kInstall + "\\Tarnix.Ini", kInstall + "\\ro.arx"};
    for (const std::string& path : installed) {
        EXPECT_TRUE(fs_.Exists(path)) << path;
        EXPECT_FALSE(fs_.Exists(path + kMark)) << path;
    }
    EXPECT_EQ("module", fs_.Content(kInstall + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ("kept", fs_.Content(kInstall + "\\TX_BatchPlot2021.ARX:Summary"))
        << "only the mark goes";
    for (const std::string& name : sources) {
        EXPECT_EQ(kMarkText, fs_.Content(kData + "\\" + name + kMark)) << name;
    }
}

TEST_F(PayloadTest, UnmarkedFilesAndFailedCopiesAreNoError) {
    AddData("plain.arx");
    AddData("b.arx");
    // A copy given up leaves the old target as it was, mark and all.
    fs_.AddFile(kInstall + "\\b.arx", "old");
    fs_.AddFile(kInstall + "\\b.arx" + kMark, kMarkText);
    fs_.FailCopyTo(kInstall + "\\b.arx");
    answers_.script = {CopyFailedAnswer::Ignore};

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_EQ(1u, answers_.failedCopies.size()) << "only the failed copy asks";
    EXPECT_EQ("plain.arx", fs_.Content(kInstall + "\\plain.arx"));
    EXPECT_EQ("old", fs_.Content(kInstall + "\\b.arx"));
    EXPECT_EQ(kMarkText, fs_.Content(kInstall + "\\b.arx" + kMark));
    // The uninstaller comes from the package too, and first.
    EXPECT_EQ((Names{kInstall + "\\Uninstall.exe" + kMark, kInstall + "\\plain.arx" + kMark}),
              fs_.DeleteFileCalls());
}

// --- Hidden and system targets -------------------------------------------

TEST_F(PayloadTest, HiddenDataFileInstallsAgainWithoutAQuestion) {
    const std::uint32_t hidden = kAttrHidden | kAttrSystem | kAttrArchive;
    AddData("desktop.ini", "first", hidden);
    AddData("Thumbs.db", "thumbs", kAttrHidden);
    ASSERT_EQ(InstallResult::Completed, Install());
    // CopyFile carries the bits over: the installed copy is hidden too.
    ASSERT_EQ(hidden, fs_.Attributes(kInstall + "\\desktop.ini"));

    AddData("desktop.ini", "second", hidden);
    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_TRUE(answers_.failedCopies.empty()) << "no Abort / Retry / Ignore";
    EXPECT_EQ("second", fs_.Content(kInstall + "\\desktop.ini"));
    EXPECT_EQ("thumbs", fs_.Content(kInstall + "\\Thumbs.db"));
    for (const auto& copy : fs_.CopyCalls()) EXPECT_TRUE(copy.ok) << copy.target;
    // The reinstall's backups of the first run's files are dropped at the end.
    EXPECT_TRUE(fs_.Children(kInstall + "\\Backup").empty());
}

TEST_F(PayloadTest, HiddenReadOnlySystemTargetsAreReplacedButFoldersLeftAlone) {
    AddData("a.arx", "new a");
    AddData("Tarnix.Ini", "new ini");
    AddData("b.arx", "new b");
    fs_.AddFile(kInstall + "\\a.arx", "old a", kAttrHidden | kAttrSystem | kAttrReadOnly);
    fs_.AddFile(kSettings + "\\Tarnix.Ini", "old ini", kAttrHidden);
    // A folder in the way stays as it is; its copy fails and is put to the user.
    fs_.AddFolder(kInstall + "\\b.arx", kAttrDirectory | kAttrHidden);
    answers_.script = {CopyFailedAnswer::Ignore};

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_EQ("new a", fs_.Content(kInstall + "\\a.arx"));
    EXPECT_EQ(kAttrArchive, fs_.Attributes(kInstall + "\\a.arx")) << "the source's bits";
    EXPECT_EQ("new ini", fs_.Content(kSettings + "\\Tarnix.Ini"));
    EXPECT_EQ((Names{kInstall + "\\b.arx"}), answers_.failedCopies);
    EXPECT_EQ(kAttrDirectory | kAttrHidden, fs_.Attributes(kInstall + "\\b.arx"));
}

// --- The user's settings folder --------------------------------------------

TEST_F(PayloadTest, SettingsFolderFallsBackToTheShellWhenAppDataIsUnset) {
    AddData("Tarnix.Ini", "ini");
    fs_.UnsetEnv("APPDATA");
    fs_.AddFolder("D:\\Roaming");
    fs_.SetRoamingAppData("D:\\Roaming");
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_EQ("ini", fs_.Content("D:\\Roaming\\Tarnix\\Tarnix.Ini"));
    EXPECT_LE(1, fs_.ShellQueries());
    EXPECT_TRUE(answers_.failedCopies.empty());
}

TEST_F(PayloadTest, SettingsFolderFallsBackToTheShellWhenAppDataIsTooLong) {
    AddData("Tarnix.Ini", "ini");
    fs_.SetEnv("APPDATA", "C:\\" + std::string(300, 'x'));
    fs_.AddFolder("D:\\Roaming");
    fs_.SetRoamingAppData("D:\\Roaming");
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_EQ("ini", fs_.Content("D:\\Roaming\\Tarnix\\Tarnix.Ini"));
    EXPECT_TRUE(answers_.failedCopies.empty());
}

TEST_F(PayloadTest, NoKnownSettingsFolderIsAFailedCopyNotADriveRoot) {
    AddData("Tarnix.Ini", "ini");
    AddData("a.arx");
    fs_.UnsetEnv("APPDATA");
    fs_.SetRoamingAppData(std::nullopt);
    answers_.script = {CopyFailedAnswer::Retry, CopyFailedAnswer::Ignore};

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_EQ((Names{"%APPDATA%\\Tarnix\\Tarnix.Ini", "%APPDATA%\\Tarnix\\Tarnix.Ini"}),
              answers_.failedCopies);
    EXPECT_EQ((Names{kInstall}), fs_.CreateDirectoryCalls()) << "no \\Tarnix folder";
    EXPECT_FALSE(fs_.Exists("C:\\Tarnix"));
    // Only the installation folder's copy of the settings file is made.
    EXPECT_EQ((Names{kInstall + "\\Tarnix.Ini", kInstall + "\\a.arx"}), PayloadTargets());
}

TEST_F(PayloadTest, SettingsFolderThatCannotBeCreatedRaisesTheCopyQuestion) {
    AddData("Tarnix.Ini");
    fs_.FailCreateDirectory(kSettings);
    answers_.script = {CopyFailedAnswer::Abort};
    EXPECT_EQ(InstallResult::Aborted, Install());
    EXPECT_EQ((Names{kSettings + "\\Tarnix.Ini"}), answers_.failedCopies);
}

// --- Paths that do not fit -----------------------------------------------------

TEST_F(PayloadTest, TargetPathTooLongIsAFailedCopyShownInFull) {
    // The source fits a MAX_PATH buffer; the target, one byte longer, does not.
    const std::string name = std::string(kMaxPath - 1 - kInstall.size(), 'n');
    const std::string target = kInstall + "\\" + name;
    ASSERT_EQ(kMaxPath, target.size());
    AddData(name);
    answers_.script = {CopyFailedAnswer::Retry, CopyFailedAnswer::Ignore};

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_EQ((Names{target, target}), answers_.failedCopies) << "not cut short";
    EXPECT_TRUE(PayloadCopies().empty()) << "no copy to a cut path";
    for (const auto& call : fs_.SetAttributeCalls()) EXPECT_NE(target, call.first);
}

TEST_F(PayloadTest, SourcePathTooLongIsAFailedCopy) {
    const std::string dir = "C:\\" + std::string(242, 'p');
    fs_.SetModulePath(dir + "\\SetUp.exe");
    fs_.AddFile(dir + "\\Data\\s.arx", "s");
    fs_.AddFile(dir + "\\Data\\a-rather-long-name.arx", "l");
    ASSERT_EQ(250u, (dir + "\\Data").size());
    answers_.script = {CopyFailedAnswer::Ignore};

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_EQ((Names{"s.arx"}), Payload());
    EXPECT_EQ((Names{kInstall + "\\a-rather-long-name.arx"}), answers_.failedCopies);
}

TEST_F(PayloadTest, FolderLimitLeavesRoomForEveryInstalledName) {
    AddData("a.arx");
    InstallEngine engine(Services());
    // "PdfSharp.Charting.dll" and "InstallRecord.txt.new", 21 bytes, are
    // the longest names.
    const std::size_t limit = engine.MaxInstallFolderLength();
    EXPECT_EQ(kMaxPath - 1 - 1 - 21, limit);

    // A folder at the limit takes every file.
    const std::string subfolder = kProductSubfolder;
    const std::string chosen = "C:\\" + std::string(limit - 3 - subfolder.size(), 'f');
    std::string checked;
    std::string folder;
    ASSERT_EQ(FolderRefusal::None, CheckFolderText(chosen, cp_, limit, &checked, &folder));
    ASSERT_EQ(limit, folder.size());
    FolderReadiness readiness = FolderReadiness::Failed;
    EXPECT_EQ(InstallResult::Completed,
              InstallPrepared(engine, info_, checked, folder, TickFlags{}, answers_, &readiness));
    ASSERT_EQ(FolderReadiness::Ready, readiness);
    EXPECT_TRUE(answers_.failedCopies.empty());
    EXPECT_EQ("a.arx", fs_.Content(folder + "\\a.arx"));

    // One byte more is refused before anything is made.
    const std::size_t made = fs_.CreateDirectoryCalls().size();
    EXPECT_EQ(FolderRefusal::TooLong, CheckFolderText(chosen + "g", cp_, limit, &checked, &folder));
    EXPECT_EQ(made, fs_.CreateDirectoryCalls().size());

    // A longer Data file name takes its room.
    AddData(std::string(40, 'n') + ".arx");
    fs_.AddFolder(kData + "\\" + std::string(90, 'd'));  // not copied
    EXPECT_EQ(kMaxPath - 1 - 1 - 44, engine.MaxInstallFolderLength());
}

TEST_F(PayloadTest, FolderTextLosesOneTrailingBackslashOnly) {
    std::string chosen;
    std::string folder;
    EXPECT_EQ(FolderRefusal::None, CheckFolderText("C:\\a\\", cp_, 200, &chosen, &folder));
    EXPECT_EQ("C:\\a", chosen);
    EXPECT_EQ("C:\\a\\Tarnix批打印软件", folder);
    EXPECT_EQ(FolderRefusal::None, CheckFolderText("C:\\a", cp_, 200, &chosen, &folder));
    EXPECT_EQ("C:\\a", chosen);
    // The 0x5C of a double-byte character is not a backslash.
    EXPECT_EQ(FolderRefusal::None, CheckFolderText("C:\\\x95\x5C", cp_, 200, &chosen, &folder));
    EXPECT_EQ("C:\\\x95\x5C", chosen);
    EXPECT_NE(FolderRefusal::None, CheckFolderText("C:\\a\\\\", cp_, 200, &chosen, &folder))
        << "a second one would make an empty name";
    EXPECT_EQ(FolderRefusal::Empty, CheckFolderText("", cp_, 200, &chosen, &folder));
}

}  // namespace
}  // namespace tx

namespace tx {
namespace {

// An elevated installation writes the settings file into a folder its user
// owns: every level below the drive is held (no rename, no swap) for the
// copy, and a link on the way is not followed.
class SettingsFolderHoldTest : public PayloadTest {
protected:
    SettingsFolderHoldTest() { userFolders_ = &userSecurity_; }
    FakeFolderSecurity userSecurity_{fs_};
};

TEST_F(SettingsFolderHoldTest, EveryLevelIsHeldAcrossTheCopyAndLetGoAfter) {
    AddData("a.arx");
    AddData("Tarnix.Ini", "ini");
    ASSERT_EQ(InstallResult::Completed, Install());
    Names targets;
    for (const auto& c : fs_.WriteCalls()) targets.push_back(c.target);
    const auto at = std::find(targets.begin(), targets.end(), kSettings + "\\Tarnix.Ini");
    ASSERT_NE(targets.end(), at);
    const std::size_t write = static_cast<std::size_t>(at - targets.begin());

    Names levels;
    for (const FakeFolderSecurity::Hold& h : userSecurity_.Holds()) {
        levels.push_back(h.path);
        EXPECT_LE(h.writesBefore, write) << h.path;
        EXPECT_GT(h.writesAtRelease, write) << h.path << " held until the file was written";
        EXPECT_NE(FakeFolderSecurity::kStillHeld, h.writesAtRelease) << h.path;
        // Shared for reading only: no one may open a level for writing
        // meanwhile, which turning it into a junction takes.
        EXPECT_FALSE(h.othersMayWrite) << h.path;
    }
    EXPECT_EQ((Names{"C:\\Users", "C:\\Users\\u", "C:\\Users\\u\\AppData", kAppData, kSettings}),
              levels);
    EXPECT_EQ(0, userSecurity_.HeldNow());
    EXPECT_EQ("ini", fs_.Content(kSettings + "\\Tarnix.Ini"));
}

TEST_F(SettingsFolderHoldTest, LinkOnTheWayIsAFailedCopyAndNothingIsWrittenThroughIt) {
    AddData("Tarnix.Ini", "ini");
    AddData("a.arx");
    fs_.AddFolder(kSettings);
    ASSERT_TRUE(fs_.SetAttributes(kAppData, kAttrDirectory | kAttrReparsePoint));
    answers_.script = {CopyFailedAnswer::Retry, CopyFailedAnswer::Ignore};

    EXPECT_EQ(InstallResult::Completed, Install()) << "Ignore goes on";
    EXPECT_EQ((Names{kSettings + "\\Tarnix.Ini", kSettings + "\\Tarnix.Ini"}), answers_.failedCopies);
    const Names targets = PayloadTargets();
    EXPECT_EQ(targets.end(), std::find(targets.begin(), targets.end(), kSettings + "\\Tarnix.Ini"));
    EXPECT_FALSE(fs_.Exists(kSettings + "\\Tarnix.Ini"));
    EXPECT_TRUE(fs_.Exists(kInstall + "\\a.arx"));
    EXPECT_EQ(0, userSecurity_.HeldNow());
}

// The settings file's own name may be a link the user made: a symbolic
// link, or a second name of a file only administrators may read or write.
// Written through, the elevated run would change that file; read for the
// rollback, it would later write its content where the user can read it.
TEST_F(SettingsFolderHoldTest, SettingsFileThatIsALinkIsNeitherWrittenThroughNorPutBack) {
    AddData("Tarnix.Ini", "ini");
    AddData("a.arx");
    const std::string file = kSettings + "\\Tarnix.Ini";
    fs_.AddFolder(kSettings);
    fs_.AddFile(file, "administrators' file", kAttrArchive);
    fs_.SetLinkCount(file, 2);
    answers_.script = {CopyFailedAnswer::Ignore};
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_EQ((Names{file}), answers_.failedCopies);
    EXPECT_EQ("administrators' file", fs_.Content(file));

    // A symbolic link, and the run aborted: the undo leaves it as it was.
    fs_.SetLinkCount(file, 1);
    fs_.AddFile(file, "", kAttrArchive | kAttrReparsePoint);
    answers_.script = {CopyFailedAnswer::Abort};
    answers_.failedCopies.clear();
    EXPECT_EQ(InstallResult::Aborted, Install());
    EXPECT_EQ((Names{file}), answers_.failedCopies);
    EXPECT_EQ(kAttrArchive | kAttrReparsePoint, fs_.Attributes(file));
    for (const auto& w : fs_.WriteCalls()) {
        if (w.target != file) continue;
        EXPECT_FALSE(w.ok) << "nothing written through it";
    }
}

}  // namespace
}  // namespace tx
