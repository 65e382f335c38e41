// The uninstaller on the fakes: what it puts back, what it leaves alone,
// what it asks, and what it leaves for a second run or the next restart.
// Every case runs on a journal of each version: as the old program wrote
// it (version 1) and as this one does.
// The literals below are compiled to code page 936 bytes.
#include "engine/UninstallRun.h"
#include "engine/UninstallScope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deploy/ExitStatus.h"
#include "engine/actions/DemandLoadKey.h"
#include "engine/actions/FileReplaced.h"
#include "engine/actions/FileWrittenNew.h"
#include "engine/actions/FolderMade.h"
#include "engine/actions/MachineKeyMade.h"
#include "engine/actions/ProgramKey.h"
#include "engine/actions/TrustedPathsValue.h"
#include "engine/actions/UninstallerCopy.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeFolderSecurity.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeSelfRemover.h"
#include "tests/fakes/FakeWideText.h"
#include "tests/fakes/MemoryLog.h"

namespace tx {
namespace {

constexpr RegRoot kHklm = RegRoot::LocalMachine;
constexpr RegRoot kHkcu = RegRoot::CurrentUser;
const CodePage kGbk(936);
const std::string kParent = "C:\\Tarnix";
const std::string kFolder = "C:\\Tarnix\\Tarnix批打印软件";
const std::string kImage = kFolder + "\\Uninstall.exe";
const std::string kJournalPath = kFolder + "\\InstallRecord.txt";
const std::string kAcad = "C:\\Program Files (x86)\\AutoCAD 2008";
const std::string kProduct = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\";
const std::string kApps = kProduct + "Applications";
const std::string kDemand = kApps + "\\TX_BatchPlot2008";
const std::string kLoader = kFolder + "\\TX_BatchPlot2008.ARX";
const std::string kVars = "Software\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Profiles\\P\\Variables";
const std::string kVars2 = "Software\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Profiles\\Q\\Variables";
const std::string kEntry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TarnixBatchPlot";

using Names = std::vector<std::string>;

// What an installation journaled, kind by kind.
struct Record {
    struct File {
        std::string path;
        std::string backup;  // empty: written new
    };
    struct Trusted {
        std::string key;
        RegValueState before;
        RegValueState written;
    };
    Names folders;
    std::vector<File> files;
    Names machineKeys;
    std::vector<std::pair<std::string, std::string>> demandLoads;  // key, LOADER
    std::vector<Trusted> trustedPaths;
    Names entries;
    std::string uninstaller;

    // Kind by kind, as the old program wrote them: undone newest first, the
    // folders go last.
    ActionList Actions() const {
        ActionList a;
        for (const auto& f : folders) a.push_back(std::make_unique<FolderMade>(f, true));
        for (const auto& f : files) {
            if (f.backup.empty())
                a.push_back(std::make_unique<FileWrittenNew>("", f.path, ActionRole::Quiet, false));
            else
                a.push_back(std::make_unique<FileReplaced>("", f.path, f.backup, ActionRole::Quiet));
        }
        for (const auto& k : machineKeys) a.push_back(std::make_unique<MachineKeyMade>(k));
        for (const auto& d : demandLoads) a.push_back(std::make_unique<DemandLoadKey>(d.first, d.second));
        for (const auto& t : trustedPaths)
            a.push_back(std::make_unique<TrustedPathsValue>(t.key, t.before, t.written));
        for (const auto& e : entries)
            a.push_back(std::make_unique<ProgramKey>(e, std::vector<KeyValue>()));
        if (!uninstaller.empty()) a.push_back(std::make_unique<UninstallerCopy>(uninstaller, ""));
        return a;
    }
};

// Answers as a script says, and counts what it was told.
class Answers : public IUninstallObserver {
public:
    void JournalDamaged() override { ++damaged; }
    bool RetryWhileAcadRuns() override {
        ++acadRuns;
        if (onAcadRuns) onAcadRuns();
        if (retries.empty()) return false;
        const bool retry = retries.front();
        retries.pop_front();
        return retry;
    }
    bool ConfirmUninstall() override {
        ++confirms;
        return confirm;
    }
    void Done() override { ++done; }

    std::deque<bool> retries;
    std::function<void()> onAcadRuns;
    bool confirm = true;
    int damaged = 0;
    int acadRuns = 0;
    int confirms = 0;
    int done = 0;
};

class UninstallRunTest : public ::testing::TestWithParam<int> {
protected:
    // The machine after an installation: a replaced and an added font in
    // AutoCAD 2008, the plug-in in its folder, a demand-load key below a
    // new Applications key, TRUSTEDPATHS extended in one profile and made in
    // another, the Programs and Features entry.
    void SetUp() override {
        fs_.SetModulePath(kImage);
        fs_.AddFile(kAcad + "\\acad.exe", "acad");
        fs_.AddFile(kAcad + "\\Fonts\\Tarnix_EN.shx", "our font");
        fs_.AddFile(kAcad + "\\Fonts\\Tarnix_HZ.shx", "our hz");
        fs_.AddFile(kAcad + "\\Drv\\pdfplot9.hdi", "our driver");
        fs_.AddFile(kLoader, "arx");
        fs_.AddFile(kFolder + "\\itextsharp.dll", "dll", kAttrReadOnly);
        fs_.AddFile(kImage, "exe");
        fs_.AddFile(kFolder + "\\Backup\\1-Tarnix_EN.shx", "their font", kAttrReadOnly);
        fs_.AddFile(kFolder + "\\Backup\\2-pdfplot9.hdi", "their driver");

        reg_.SetString(kHklm, kProduct, "AcadLocation", kAcad);
        reg_.SetDword(kHklm, kDemand, "LOADCTRLS", 2);
        reg_.SetString(kHklm, kDemand, "LOADER", kLoader);
        reg_.SetString(kHklm, kEntry, "DisplayName", "Tarnix批打印软件");
        reg_.SetString(kHkcu, kVars, "Other", "x");

        record_.folders = {kParent, kFolder, kFolder + "\\Backup"};
        record_.files = {{kLoader, ""},
                         {kFolder + "\\itextsharp.dll", ""},
                         {kAcad + "\\Fonts\\Tarnix_EN.shx", kFolder + "\\Backup\\1-Tarnix_EN.shx"},
                         {kAcad + "\\Fonts\\Tarnix_HZ.shx", ""},
                         {kAcad + "\\Drv\\pdfplot9.hdi", kFolder + "\\Backup\\2-pdfplot9.hdi"}};
        record_.machineKeys = {kApps};
        record_.demandLoads = {{kDemand, kLoader}};
        record_.trustedPaths = {Trusted(kVars, "D:\\Mine;e:\\also\\", "D:\\MINE;E:\\ALSO\\;" + kGbk.Upper(kFolder)),
                                Trusted(kVars2, std::nullopt, kFolder, /*keyBefore=*/false)};
        record_.entries = {kEntry};
        record_.uninstaller = kImage;
        WriteJournal();
    }

    void TearDown() override { EXPECT_EQ(0u, reg_.OpenHandles()); }

    // Sets the value as an installation leaves it and returns its record.
    Record::Trusted Trusted(const std::string& key, std::optional<std::string> before,
                            const std::string& written, bool keyBefore = true) {
        Record::Trusted t;
        t.key = key;
        if (before) reg_.SetString(kHkcu, key, "TRUSTEDPATHS", *before);
        t.before = keyBefore ? ReadValueState(reg_, kHkeyCurrentUser, key, "TRUSTEDPATHS") : RegValueState{};
        reg_.SetString(kHkcu, key, "TRUSTEDPATHS", written);
        t.written = ReadValueState(reg_, kHkeyCurrentUser, key, "TRUSTEDPATHS");
        return t;
    }
    std::string JournalText(ActionList extra = ActionList(), const std::string& folder = kFolder) const {
        ActionList actions = record_.Actions();
        for (auto& a : extra) actions.push_back(std::move(a));
        std::string text = FormatJournal(folder, actions);
        if (GetParam() == 1) text.replace(text.find("\t2\n"), 3, "\t1\n");
        return text;
    }
    void WriteJournal() { fs_.AddFile(kJournalPath, JournalText()); }

    int Run(bool silent = true) { return Run(answers_, silent); }
    int Run(Answers& answers, bool silent) {
        UninstallRun run(reg_, fs_, security_, procs_, self_, kGbk, wide_, log_);
        return run.Run(answers, silent);
    }
    std::optional<std::string> TrustedNow(const std::string& key) {
        return reg_.GetString(kHkcu, key, "TRUSTEDPATHS");
    }
    // The journal left behind, line by line.
    std::vector<std::vector<std::string>> Left() {
        JournalContent left;
        std::string error;
        EXPECT_TRUE(ParseJournal(fs_.Content(kJournalPath), &left, &error)) << error;
        EXPECT_EQ(kFolder, left.installFolder);
        std::vector<std::vector<std::string>> lines;
        for (const auto& a : left.actions) lines.push_back(a->Fields());
        return lines;
    }
    // Everything the uninstaller could change.
    std::string State() {
        std::string s = reg_.Dump();
        for (const std::string& p : fs_.Tree("C:")) s += p + "\n";
        for (const auto& [from, to] : fs_.PendingAtRestart()) s += "pending " + from + ">" + to + "\n";
        return s;
    }

    FakeRegistry reg_;
    FakeWideText wide_{936};
    FakeFileSystem fs_;
    FakeFolderSecurity security_{fs_};
    FakeProcessList procs_;
    FakeSelfRemover self_;
    MemoryLog log_;
    Answers answers_;
    Record record_;
};

INSTANTIATE_TEST_SUITE_P(Versions, UninstallRunTest, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Version" + std::to_string(info.param);
                         });

TEST_P(UninstallRunTest, PutsTheMachineBackAndSaysSo) {
    const RegValueState before = record_.trustedPaths[0].before;
    EXPECT_EQ(kExitDone, Run(/*silent=*/false));

    EXPECT_EQ(1, answers_.confirms);
    EXPECT_EQ(1, answers_.done);
    EXPECT_EQ(0, answers_.acadRuns);

    // AutoCAD's files: the replaced ones back with their attributes, ours gone.
    EXPECT_EQ("their font", fs_.Content(kAcad + "\\Fonts\\Tarnix_EN.shx"));
    EXPECT_TRUE(fs_.Attributes(kAcad + "\\Fonts\\Tarnix_EN.shx") & kAttrReadOnly);
    EXPECT_EQ("their driver", fs_.Content(kAcad + "\\Drv\\pdfplot9.hdi"));
    EXPECT_FALSE(fs_.Exists(kAcad + "\\Fonts\\Tarnix_HZ.shx"));
    EXPECT_TRUE(fs_.Exists(kAcad + "\\acad.exe"));
    // The installation folder: only the running program is left, for the remover.
    EXPECT_EQ((Names{"Uninstall.exe"}), fs_.Children(kFolder));
    EXPECT_EQ(1, self_.calls);
    EXPECT_EQ(kImage, self_.image);
    EXPECT_EQ((Names{kFolder, kParent}), self_.folders);
    EXPECT_TRUE(fs_.PendingAtRestart().empty());
    self_.Exit(fs_);
    EXPECT_FALSE(fs_.Exists(kParent));

    // The registry.
    EXPECT_FALSE(reg_.HasKey(kHklm, kApps)) << "made by the installation, empty again";
    EXPECT_TRUE(reg_.HasKey(kHklm, kProduct));
    EXPECT_FALSE(reg_.HasKey(kHklm, kEntry));
    const auto restored = reg_.GetValueWide(kHkcu, kVars, "TRUSTEDPATHS");
    ASSERT_TRUE(restored.has_value());
    EXPECT_EQ(before.data, restored->data) << "byte for byte";
    EXPECT_EQ("D:\\Mine;e:\\also\\", TrustedNow(kVars).value_or("?"));
    EXPECT_EQ("x", reg_.GetString(kHkcu, kVars, "Other").value_or("?"));
    EXPECT_FALSE(reg_.HasKey(kHkcu, kVars2)) << "the key it made goes with the value";
}

TEST_P(UninstallRunTest, EditedTrustedPathsLoseOnlyOurEntry) {
    // Since the installation the user added an entry and AutoCAD re-quoted ours.
    reg_.SetString(kHkcu, kVars, "TRUSTEDPATHS",
                   "D:\\MINE;E:\\ALSO\\;\"" + kFolder + "\\\";F:\\New");
    // Another profile: the user wrote our folder in lower case, plus one of theirs.
    reg_.SetString(kHkcu, kVars2, "TRUSTEDPATHS", "g:\\x;" + kGbk.Lower(kFolder));
    EXPECT_EQ(kExitDone, Run());
    EXPECT_EQ("D:\\MINE;E:\\ALSO\\;F:\\New", TrustedNow(kVars).value_or("?"));
    EXPECT_EQ("g:\\x", TrustedNow(kVars2).value_or("?"));
    EXPECT_EQ("x", reg_.GetString(kHkcu, kVars, "Other").value_or("?"));
}

// The user trusted the folder before the installation and still does.
TEST_P(UninstallRunTest, EditedTrustedPathsKeepOurFolderWhenItWasThereBefore) {
    record_.trustedPaths[0] = Trusted(kVars, "D:\\Mine;" + kFolder, "D:\\MINE;" + kGbk.Upper(kFolder));
    WriteJournal();
    reg_.SetString(kHkcu, kVars, "TRUSTEDPATHS", "D:\\MINE;" + kGbk.Upper(kFolder) + ";F:\\New");
    EXPECT_EQ(kExitDone, Run());
    EXPECT_EQ("D:\\MINE;" + kGbk.Upper(kFolder) + ";F:\\New", TrustedNow(kVars).value_or("?"));
}

// The installation upper-cases the whole list with the system's mapping, so
// an entry that was there before may differ from its written form in letters
// beyond ASCII. Such an entry is the user's, not ours, when the value has been
// edited since.
TEST_P(UninstallRunTest, EditedTrustedPathsKeepEntriesTheInstallationOnlyUpperCased) {
    Record::Trusted& t = record_.trustedPaths[0];
    reg_.SetWideString(kHkcu, kVars, "TRUSTEDPATHS", u"D:\\Ångström;E:\\дом");
    t.before = ReadValueState(reg_, kHkeyCurrentUser, kVars, "TRUSTEDPATHS");
    reg_.SetWideString(kHkcu, kVars, "TRUSTEDPATHS",
                       u"D:\\ÅNGSTRÖM;E:\\ДОМ;C:\\TARNIX\\TARNIX批打印软件");
    t.written = ReadValueState(reg_, kHkeyCurrentUser, kVars, "TRUSTEDPATHS");
    WriteJournal();
    // Then the user adds a folder of their own.
    reg_.SetWideString(kHkcu, kVars, "TRUSTEDPATHS",
                       u"D:\\ÅNGSTRÖM;E:\\ДОМ;C:\\TARNIX\\TARNIX批打印软件;F:\\New");
    const WideString expected = u"D:\\ÅNGSTRÖM;E:\\ДОМ;F:\\New";
    EXPECT_EQ(kExitDone, Run());
    const bool kept = reg_.GetWideString(kHkcu, kVars, "TRUSTEDPATHS") == expected;
    EXPECT_TRUE(kept) << "entries that were there before the installation stay";
}

TEST_P(UninstallRunTest, DemandLoadRewrittenByAnotherInstallationStays) {
    reg_.SetString(kHklm, kDemand, "LOADER", "D:\\Elsewhere\\TX_BatchPlot2008.ARX");
    EXPECT_EQ(kExitDone, Run());
    EXPECT_EQ("D:\\Elsewhere\\TX_BatchPlot2008.ARX",
              reg_.GetString(kHklm, kDemand, "LOADER").value_or("?"));
    EXPECT_TRUE(reg_.HasKey(kHklm, kApps)) << "still holds that installation's key";
}

TEST_P(UninstallRunTest, DemandLoadStillPointingHereGoesWhateverItsQuotes) {
    reg_.SetString(kHklm, kDemand, "LOADER", "\"" + kGbk.Lower(kLoader) + "\"");
    EXPECT_EQ(kExitDone, Run());
    EXPECT_FALSE(reg_.HasKey(kHklm, kDemand));
    EXPECT_FALSE(reg_.HasKey(kHklm, kApps));
}

// A later installation into another folder has taken over the shared keys:
// the demand-load key and the Programs and Features entry are that
// installation's now, and uninstalling this folder must leave both.
TEST_P(UninstallRunTest, KeysTakenOverByAnInstallationElsewhereStay) {
    const std::string other = "D:\\Other\\Tarnix批打印软件";
    reg_.SetString(kHklm, kDemand, "LOADER", other + "\\TX_BatchPlot2008.ARX");
    reg_.SetString(kHklm, kEntry, "InstallLocation", other);
    reg_.SetString(kHklm, kEntry, "UninstallString", "\"" + other + "\\Uninstall.exe\"");
    EXPECT_EQ(kExitDone, Run());
    EXPECT_TRUE(reg_.HasKey(kHklm, kDemand));
    EXPECT_TRUE(reg_.HasKey(kHklm, kEntry)) << "the other installation's entry";
}

// --- Files in use: the restart finishes the job ---------------------------------

TEST_P(UninstallRunTest, FileInUseIsLeftToTheRestartAndStaysInTheJournal) {
    fs_.SetInUse(kFolder + "\\itextsharp.dll");
    fs_.SetInUse(kAcad + "\\Drv\\pdfplot9.hdi");
    EXPECT_EQ(kExitRestart, Run());
    EXPECT_EQ(1, answers_.done);
    EXPECT_EQ(0, self_.calls) << "the program stays with the journal until the restart";
    EXPECT_FALSE(reg_.HasKey(kHklm, kEntry));

    // In journal order: what waits for the restart, and the program.
    std::vector<std::vector<std::string>> files;
    for (const auto& line : Left())
        if (line[0].compare(0, 4, "file") == 0 || line[0] == "demand-load" || line[0] == "trusted-paths")
            files.push_back(line);
    EXPECT_EQ((std::vector<std::vector<std::string>>{
                  {"file-new", kFolder + "\\itextsharp.dll"},
                  {"file-replaced", kAcad + "\\Drv\\pdfplot9.hdi", kFolder + "\\Backup\\2-pdfplot9.hdi"}}),
              files);
    EXPECT_EQ((std::vector<std::string>{"uninstaller", kImage}), Left().back());

    // The restart finishes it: the driver is back, nothing of ours is left.
    fs_.Restart();
    EXPECT_EQ("their driver", fs_.Content(kAcad + "\\Drv\\pdfplot9.hdi"));
    EXPECT_FALSE(fs_.Exists(kParent)) << ::testing::PrintToString(fs_.Tree("C:"));
}

TEST_P(UninstallRunTest, ReplacedFileInUseOnAnotherDriveIsBackAfterTheRestart) {
    // AutoCAD on D:, the backups on C:: a restart can only rename within a
    // volume, so the backup itself cannot be what is moved into place.
    const std::string font = "D:\\AutoCAD 2024\\Fonts\\Tarnix_EN.shx";
    fs_.AddFile(font, "our font", kAttrHidden);
    fs_.AddFile(kFolder + "\\Backup\\3-Tarnix_EN.shx", "their D font");
    record_.files.push_back({font, kFolder + "\\Backup\\3-Tarnix_EN.shx"});
    WriteJournal();
    fs_.SetInUse(font);
    EXPECT_EQ(kExitRestart, Run());
    EXPECT_EQ("our font", fs_.Content(font));
    fs_.Restart();
    EXPECT_EQ("their D font", fs_.Content(font));
    EXPECT_FALSE(fs_.Exists(kParent)) << "backups and journal gone with the restart";
    EXPECT_FALSE(fs_.Exists(font + ".tarnix-restore")) << "no staged copy left";
}

TEST_P(UninstallRunTest, SecondRunBeforeTheRestartFinishesTheJob) {
    fs_.SetInUse(kFolder + "\\itextsharp.dll");
    EXPECT_EQ(kExitRestart, Run());
    fs_.SetInUse(kFolder + "\\itextsharp.dll", false);
    EXPECT_EQ(kExitDone, Run());
    EXPECT_FALSE(fs_.Exists(kFolder + "\\itextsharp.dll"));
    EXPECT_FALSE(fs_.Exists(kJournalPath));
    EXPECT_EQ(1, self_.calls);
}

TEST_P(UninstallRunTest, HiddenReplacedFilesArePutBackAtOnce) {
    // A font or driver copied from a hidden Data file keeps that attribute,
    // and a user or tool may hide or mark as system what is there. Putting
    // the backups back must not depend on it: nothing is in use here.
    fs_.AddFile(kAcad + "\\Fonts\\Tarnix_EN.shx", "our font", kAttrHidden | kAttrArchive);
    fs_.AddFile(kAcad + "\\Drv\\pdfplot9.hdi", "our driver",
                kAttrHidden | kAttrReadOnly | kAttrArchive);
    EXPECT_EQ(kExitDone, Run());
    EXPECT_EQ("their font", fs_.Content(kAcad + "\\Fonts\\Tarnix_EN.shx"));
    EXPECT_EQ("their driver", fs_.Content(kAcad + "\\Drv\\pdfplot9.hdi"));
    EXPECT_TRUE(fs_.PendingAtRestart().empty()) << "nothing left to the restart";
    EXPECT_FALSE(fs_.Exists(kJournalPath));
}

TEST_P(UninstallRunTest, FailedSelfRemovalFallsBackToTheRestart) {
    self_.result = false;
    EXPECT_EQ(kExitRestart, Run());
    ASSERT_EQ(3u, fs_.PendingAtRestart().size());
    EXPECT_EQ(kImage, fs_.PendingAtRestart()[0].first);
    EXPECT_EQ(kFolder, fs_.PendingAtRestart()[1].first);
    EXPECT_EQ(kParent, fs_.PendingAtRestart()[2].first);
    fs_.Restart();
    EXPECT_FALSE(fs_.Exists(kParent));
}

// --- What fails stays for a second run -----------------------------------

TEST_P(UninstallRunTest, WhatFailsStaysJournaledWithTheEntry) {
    reg_.SetFaults(kHklm, kDemand, FakeRegistry::kFailDelete);
    EXPECT_EQ(kExitFailed, Run());
    EXPECT_EQ(0, answers_.done);
    EXPECT_TRUE(reg_.HasKey(kHklm, kEntry)) << "still in Programs and Features";
    EXPECT_TRUE(fs_.Exists(kImage));
    EXPECT_EQ(0, self_.calls);
    std::vector<std::vector<std::string>> kept;
    for (const auto& line : Left())
        if (line[0] != "folder") kept.push_back(line);
    // The key it could not remove, the key above it that stays for it, the
    // entry and the program.
    EXPECT_EQ((std::vector<std::vector<std::string>>{{"machine-key", kApps},
                                                     {"demand-load", kDemand, kLoader},
                                                     {"uninstall-entry", kEntry},
                                                     {"uninstaller", kImage}}),
              kept);

    reg_.SetFaults(kHklm, kDemand, 0);
    EXPECT_EQ(kExitDone, Run());
    EXPECT_FALSE(reg_.HasKey(kHklm, kDemand));
    EXPECT_FALSE(reg_.HasKey(kHklm, kApps));
    EXPECT_FALSE(reg_.HasKey(kHklm, kEntry));
}

// A folder that could not be emptied because one of its files failed must
// stay in the journal, or the second uninstall never removes it.
TEST_P(UninstallRunTest, FolderOfAFailedFileStaysForTheSecondRun) {
    const std::string backup = kFolder + "\\Backup\\2-pdfplot9.hdi";
    fs_.SetInUse(backup);
    fs_.FailRestartMoves();
    EXPECT_EQ(kExitFailed, Run());
    ASSERT_TRUE(fs_.Exists(backup));

    fs_.SetInUse(backup, false);
    fs_.FailRestartMoves(false);
    EXPECT_EQ(kExitDone, Run());
    EXPECT_FALSE(fs_.Exists(backup));
    EXPECT_FALSE(fs_.Exists(kFolder + "\\Backup")) << ::testing::PrintToString(fs_.Tree("C:"));
}

// --- A journal it cannot trust ----------------------------------------------

TEST_P(UninstallRunTest, MissingOrDamagedJournalChangesNothing) {
    const std::string good = fs_.Content(kJournalPath);
    std::string runTogether = good;
    runTogether.erase(runTogether.find("\nmachine-key"), 1);
    std::string elsewhere = good;
    elsewhere.replace(elsewhere.find(kFolder), kFolder.size(), "D:\\Tarnix批打印软件");
    for (const std::string& text :
         {runTogether, std::string("junk\n"), good + "folder\n", good.substr(0, 30), elsewhere}) {
        fs_.AddFile(kJournalPath, text);
        const std::string before = State();
        Answers answers;
        EXPECT_EQ(kExitFailed, Run(answers, false));
        EXPECT_EQ(1, answers.damaged);
        EXPECT_EQ(0, answers.confirms);
        EXPECT_EQ(before, State());
    }
    ASSERT_TRUE(fs_.DeleteFile(kJournalPath));
    const std::string before = State();
    EXPECT_EQ(kExitFailed, Run());
    EXPECT_EQ(1, answers_.damaged);
    EXPECT_EQ(before, State());
    EXPECT_EQ(0, self_.calls);
}

// A run cut short by a power cut leaves its last line torn: that action
// never began, and everything before it is undone as usual.
TEST_P(UninstallRunTest, TornLastLineIsDroppedAndTheRestUndone) {
    fs_.AddFile(kJournalPath, JournalText() + "file-new\t" + kAcad + "\\Fonts\\Tar");
    fs_.AddFile(kAcad + "\\Fonts\\Tar", "AutoCAD's");
    EXPECT_EQ(kExitDone, Run());
    EXPECT_EQ(0, answers_.damaged);
    EXPECT_EQ("AutoCAD's", fs_.Content(kAcad + "\\Fonts\\Tar"));
    EXPECT_EQ("their font", fs_.Content(kAcad + "\\Fonts\\Tarnix_EN.shx"));
    EXPECT_FALSE(reg_.HasKey(kHklm, kEntry));
}

// --- Whose journal, and what it may name ------------------------------------

// A journal is trusted only where no one but an administrator can have
// written it. A folder the running user may change is theirs to forge a
// journal in, unless Programs and Features names it: then the installation
// into it had been accepted, and Windows runs its uninstaller anyway.
TEST_P(UninstallRunTest, JournalInAFolderTheUserMayChangeIsTrustedOnlyWhereRegistered) {
    // An administrator's folder that lets the user write into it (one the
    // user owns is never trusted, registered or not).
    std::vector<FakeAce> list = ProtectedFolderList();
    list.push_back({security_.CurrentUserSid(), kModify, kAceObjectInherit | kAceContainerInherit});
    security_.SetAccessList(kFolder, list, true);
    const std::string before = State();
    EXPECT_EQ(kExitFailed, Run(/*silent=*/false));
    EXPECT_EQ(1, answers_.damaged);
    EXPECT_EQ(0, answers_.confirms) << "not even asked";
    EXPECT_EQ(before, State());
    EXPECT_EQ(0, self_.calls);
    EXPECT_EQ(0, security_.HeldNow());

    reg_.SetString(kHklm, kEntry, "InstallLocation", kGbk.Lower(kFolder));
    EXPECT_EQ(kExitDone, Run());
    EXPECT_EQ("their font", fs_.Content(kAcad + "\\Fonts\\Tarnix_EN.shx"));
    EXPECT_EQ(0, security_.HeldNow()) << "the folders held during the run are let go";
}

// Malware of the user's copies the program, renamed Uninstall.exe, beside
// a journal of its own making that names what the real installation
// changed, and has the user start it elevated: nothing happens.
TEST_P(UninstallRunTest, CopyOfTheProgramBesideAJournalInAUsersFolderDoesNothing) {
    const std::string downloads = "C:\\Users\\u\\Downloads\\Tarnix";
    for (const std::string& level : {std::string("C:\\Users\\u"), downloads})
        security_.SetOwner(level, security_.CurrentUserSid());
    fs_.AddFile(downloads + "\\Uninstall.exe", "exe");
    fs_.AddFile(downloads + "\\InstallRecord.txt", JournalText(ActionList(), downloads));
    fs_.SetModulePath(downloads + "\\Uninstall.exe");
    reg_.SetString(kHklm, kEntry, "InstallLocation", kFolder);
    const std::string before = State();
    EXPECT_EQ(kExitFailed, Run());
    EXPECT_EQ(before, State());
    EXPECT_EQ(1, answers_.damaged);
    EXPECT_EQ(0, self_.calls);
}

// Lines no installation writes, in a journal that is trusted: each is left
// alone and said, the rest undone, and the uninstall fails with them kept.
TEST_P(UninstallRunTest, LinesNamingWhatNoInstallationChangesAreLeftAlone) {
    const std::string system = "C:\\Windows\\System32\\drivers\\x.sys";
    const std::string climbing = kFolder + "\\..\\..\\Windows\\win.ini";
    const std::string sam = "C:\\Windows\\System32\\config\\SAM";
    const std::string otherKey = kApps + "\\Other";
    const std::string policies = "Software\\Policies\\Autodesk\\Variables";
    const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    fs_.AddFile(system, "driver");
    fs_.AddFile("C:\\Windows\\win.ini", "ini");
    fs_.AddFile(sam, "sam");
    fs_.AddFolder("C:\\Windows\\Empty");
    reg_.SetString(kHklm, otherKey, "LOADER", kLoader);
    reg_.CreatePath(kHklm, "SOFTWARE\\Microsoft\\Empty");
    reg_.SetString(kHklm, run, "Tool", "tool.exe");
    const Record::Trusted value = Trusted(policies, std::nullopt, kFolder, false);
    ActionList extra;
    extra.push_back(std::make_unique<FileWrittenNew>("", system, ActionRole::Quiet, false));
    extra.push_back(std::make_unique<FileWrittenNew>("", climbing, ActionRole::Quiet, false));
    extra.push_back(std::make_unique<FileReplaced>("", kFolder + "\\a.dll", sam, ActionRole::Quiet));
    extra.push_back(std::make_unique<FolderMade>("C:\\Windows\\Empty", true));
    extra.push_back(std::make_unique<MachineKeyMade>("SOFTWARE\\Microsoft\\Empty"));
    extra.push_back(std::make_unique<DemandLoadKey>(otherKey, kLoader));
    extra.push_back(std::make_unique<TrustedPathsValue>(policies, value.before, value.written));
    extra.push_back(std::make_unique<ProgramKey>(run, std::vector<KeyValue>()));
    fs_.AddFile(kJournalPath, JournalText(std::move(extra)));

    EXPECT_EQ(kExitFailed, Run());

    EXPECT_EQ("driver", fs_.Content(system));
    EXPECT_EQ("ini", fs_.Content("C:\\Windows\\win.ini"));
    EXPECT_EQ("sam", fs_.Content(sam));
    EXPECT_FALSE(fs_.Exists(kFolder + "\\a.dll"));
    EXPECT_TRUE(fs_.IsFolder("C:\\Windows\\Empty"));
    EXPECT_TRUE(reg_.HasKey(kHklm, "SOFTWARE\\Microsoft\\Empty"));
    EXPECT_EQ(kLoader, reg_.GetString(kHklm, otherKey, "LOADER").value_or("?"));
    EXPECT_EQ(kFolder, reg_.GetString(kHkcu, policies, "TRUSTEDPATHS").value_or("?"));
    EXPECT_EQ("tool.exe", reg_.GetString(kHklm, run, "Tool").value_or("?"));
    for (const std::string& what : {system, climbing, kFolder + "\\a.dll", otherKey, policies, run}) {
        const auto& lines = log_.Lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.compare(0, 12, "left alone: ") == 0 && line.find(what) != std::string::npos;
        })) << what;
    }
    // What is the installation's is undone; the entry and the program stay
    // with the journal, which keeps what was left alone.
    EXPECT_EQ("their font", fs_.Content(kAcad + "\\Fonts\\Tarnix_EN.shx"));
    EXPECT_FALSE(reg_.HasKey(kHklm, kDemand));
    EXPECT_TRUE(reg_.HasKey(kHklm, kEntry));
    EXPECT_EQ(0, self_.calls);
    std::vector<std::vector<std::string>> kept;
    for (const auto& line : Left())
        if (line[0] != "folder" && line[0] != "uninstall-entry" && line[0] != "uninstaller") kept.push_back(line);
    // The two files, the file with a backup elsewhere, the keys and the
    // value; and the Applications key, which holds the key left alone.
    EXPECT_EQ(7u, kept.size()) << ::testing::PrintToString(kept);
    EXPECT_TRUE(reg_.HasKey(kHklm, kApps));
}

// An AutoCAD uninstalled before the plug-in took its keys and folders with
// it, perhaps leaving only what others put into them: its lines are still
// the installation's, judged by what they name, not by what is there.
TEST_P(UninstallRunTest, LinesOfAnAutoCadUninstalledSinceStillCount) {
    const std::string gone = "C:\\Program Files\\Autodesk\\AutoCAD 2024";
    const std::string product = "SOFTWARE\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804\\Applications";
    const std::string wow = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications";
    fs_.AddFile(gone + "\\Fonts\\Tarnix_HZ.shx", "our font, left behind");
    ActionList extra;
    extra.push_back(std::make_unique<MachineKeyMade>(product));
    extra.push_back(std::make_unique<DemandLoadKey>(product + "\\TX_BatchPlot2024", kLoader));
    extra.push_back(std::make_unique<MachineKeyMade>(wow));
    extra.push_back(std::make_unique<DemandLoadKey>(wow + "\\TX_BatchPlot2008", kLoader));
    extra.push_back(std::make_unique<FileWrittenNew>("", gone + "\\Fonts\\Tarnix_EN.shx", ActionRole::Quiet, false));
    extra.push_back(std::make_unique<FileWrittenNew>("", gone + "\\Fonts\\Tarnix_HZ.shx", ActionRole::Quiet, false));
    extra.push_back(std::make_unique<TrustedPathsValue>(
        "Software\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804\\Profiles\\<<Unnamed Profile>>\\Variables",
        RegValueState{}, Trusted(kVars2, std::nullopt, kFolder, false).written));
    fs_.AddFile(kJournalPath, JournalText(std::move(extra)));
    EXPECT_EQ(kExitDone, Run());
    EXPECT_FALSE(fs_.Exists(gone + "\\Fonts\\Tarnix_HZ.shx"));
    EXPECT_FALSE(fs_.Exists(kJournalPath));
}

// A copy onto the journal or the uninstaller is refused before it is made,
// but a run cut short may have journaled it: such a line undoes nothing, or
// it would take the running program away at the restart.
TEST_P(UninstallRunTest, LinesNamingTheInstallationsOwnFilesUndoNothing) {
    fs_.SetInUse(kImage);  // the running program
    ActionList extra;
    extra.push_back(std::make_unique<FileWrittenNew>("", kFolder + "\\Uninstall.exe.", ActionRole::Quiet, false));
    extra.push_back(std::make_unique<FileWrittenNew>("", kFolder + "\\UNINST~1.EXE", ActionRole::Quiet, false));
    extra.push_back(std::make_unique<FileReplaced>("", kFolder + "\\INSTAL~1.TXT",
                                                   kFolder + "\\Backup\\3-INSTAL~1.TXT",
                                                   ActionRole::Quiet));
    fs_.AddFile(kFolder + "\\Backup\\3-INSTAL~1.TXT", "an earlier journal");
    fs_.AddFile(kJournalPath, JournalText(std::move(extra)));
    EXPECT_EQ(kExitDone, Run());
    EXPECT_TRUE(fs_.PendingAtRestart().empty()) << ::testing::PrintToString(fs_.PendingAtRestart());
    EXPECT_EQ(1, self_.calls);
    EXPECT_EQ("their font", fs_.Content(kAcad + "\\Fonts\\Tarnix_EN.shx"));
    EXPECT_EQ((Names{"Uninstall.exe"}), fs_.Children(kFolder)) << "its backup went too";
}

// --- The cleanup copy ------------------------------------------------------

// The copy that removes the uninstaller after it ends acts only for the
// uninstaller that started it, on its program file and its two folders.
TEST(CleanupCopyTest, ActsOnlyForItsParentUninstallerAndItsFolders) {
    FakeFileSystem fs;
    const std::string copy = "C:\\Windows\\Temp\\TarnixCleanup-1\\cleanup.exe";
    fs.AddFile(kImage, "program");
    fs.AddFile(copy, "program");
    fs.AddFile("C:\\Users\\u\\Downloads\\Uninstall.exe", "program");
    fs.AddFile("C:\\Users\\u\\Downloads\\other.exe", "another program");
    fs.AddFile("C:\\Windows\\System32\\drivers\\x.sys", "program");
    const std::vector<std::string> levels = {kFolder, kParent};
    const auto allowed = [&](const std::string& parent, const std::string& image,
                             const std::vector<std::string>& folders) {
        return CleanupAllowed(fs, kGbk, parent, copy, image, folders);
    };
    EXPECT_TRUE(allowed(kImage, kImage, levels));
    EXPECT_TRUE(allowed(kImage, kImage, {kFolder}));
    EXPECT_TRUE(allowed(kImage, kImage, {}));
    // However each is spelled: the system may name the parent's file with
    // its short names, the uninstaller itself too.
    EXPECT_TRUE(allowed("C:\\TARNIX\\TARNIX~1\\UNINST~1.EXE", kGbk.Lower(kImage),
                        {kFolder + "\\", "c:\\tarnix"}));

    // Another file than the parent runs, or one not named Uninstall.exe.
    EXPECT_FALSE(allowed(kImage, "C:\\Windows\\System32\\drivers\\x.sys", {}));
    EXPECT_FALSE(allowed("C:\\Windows\\System32\\drivers\\x.sys", "C:\\Windows\\System32\\drivers\\x.sys", {}));
    EXPECT_FALSE(allowed(kImage, "C:\\Users\\u\\Downloads\\Uninstall.exe", {}));
    // A parent running another program.
    EXPECT_FALSE(allowed("C:\\Users\\u\\Downloads\\other.exe", "C:\\Users\\u\\Downloads\\other.exe", {}));
    fs.AddFile(kImage, "another program");
    EXPECT_FALSE(allowed(kImage, kImage, levels));
    fs.AddFile(kImage, "program");
    // Folders that are not the installation's two.
    EXPECT_FALSE(allowed(kImage, kImage, {kFolder, "C:\\Windows"}));
    EXPECT_FALSE(allowed(kImage, kImage, {"C:\\"}));
    EXPECT_FALSE(allowed(kImage, kImage, {kFolder + "\\Backup"}));
    EXPECT_FALSE(allowed(kImage, kImage, {"C:\\Missing"}));
    // Nothing known of the parent.
    EXPECT_FALSE(allowed("", kImage, levels));
}

// --- No, and AutoCAD running ----------------------------------------------------

TEST_P(UninstallRunTest, NoCancelAndRunningAutoCadChangeNothing) {
    const std::string before = State();
    answers_.confirm = false;
    EXPECT_EQ(kExitCancelled, Run(false));
    EXPECT_EQ(before, State());

    procs_.SetNames({"explorer.exe", "acad.exe"});
    answers_.retries = {true, false};
    EXPECT_EQ(kExitCancelled, Run(false));
    EXPECT_EQ(2, answers_.acadRuns) << "Retry asks again";
    EXPECT_EQ(1, answers_.confirms) << "not asked while AutoCAD runs";
    EXPECT_EQ(before, State());

    // Silent: no question, and the status deployment tools know.
    answers_.retries = {true};
    EXPECT_EQ(kExitHostRunning, Run(true));
    EXPECT_EQ(2, answers_.acadRuns);
    EXPECT_EQ(before, State());
    EXPECT_EQ(0, self_.calls);
    EXPECT_EQ(0, answers_.done);
}

TEST_P(UninstallRunTest, RetryAfterAutoCadClosedGoesOn) {
    procs_.SetNames({"acad.exe"});
    // Closed while the question was up: the list is read again on Retry.
    answers_.onAcadRuns = [&] { procs_.SetNames({}); };
    answers_.retries = {true};
    EXPECT_EQ(kExitDone, Run(false));
    EXPECT_EQ(1, answers_.acadRuns);
    EXPECT_EQ(1, answers_.confirms);
    EXPECT_EQ(1, answers_.done);
    EXPECT_FALSE(reg_.HasKey(kHklm, kEntry));
}

}  // namespace
}  // namespace tx
