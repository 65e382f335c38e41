// The uninstaller on the fakes: what it puts back, what it leaves alone,
// what it says, and what it leaves for a second run or the next restart.
#include "deploy/Uninstaller.h"

#include <gtest/gtest.h>

#include "host/InstallJournal.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeUserIo.h"
#include "tests/fakes/FakeWideText.h"

namespace tx {
namespace {

constexpr RegRoot kHklm = RegRoot::LocalMachine;
constexpr RegRoot kHkcu = RegRoot::CurrentUser;
const CodePage kGbk(936);
const std::string kParent = "C:\\Tarnix";
const std::string kFolder = "C:\\Tarnix\\Tarnix批打印软件";
const std::string kImage = kFolder + "\\Uninstall.exe";
const std::string kRecordPath = kFolder + "\\InstallRecord.txt";
const std::string kAcad = "C:\\Program Files (x86)\\AutoCAD 2008";
const std::string kProduct = "SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\";
const std::string kApps = kProduct + "Applications";
const std::string kDemand = kApps + "\\TX_BatchPlot2008";
const std::string kLoader = kFolder + "\\TX_BatchPlot2008.ARX";
const std::string kVars = "Software\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Profiles\\P\\Variables";
const std::string kVars2 = "Software\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Profiles\\Q\\Variables";
const std::string kEntry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TarnixBatchPlot";

class FakeSelfRemover : public ISelfRemover {
public:
    bool RemoveAfterExit(const std::string& image, const std::vector<std::string>& folders) override {
        ++calls;
        this->image = image;
        this->folders = folders;
        return result;
    }
    int calls = 0;
    bool result = true;
    std::string image;
    std::vector<std::string> folders;
};

class UninstallerTest : public ::testing::Test {
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

        record_.installFolder = kFolder;
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
        record_.uninstallEntries = {kEntry};
        record_.uninstaller = kImage;
        WriteRecord();
    }

    void TearDown() override { EXPECT_EQ(0u, reg_.OpenHandles()); }

    // Sets the value as an installation leaves it and returns the record line.
    RecordedTrustedPaths Trusted(const std::string& key, std::optional<std::string> before,
                                 const std::string& written, bool keyBefore = true) {
        RecordedTrustedPaths t;
        t.key = key;
        if (before) reg_.SetString(kHkcu, key, "TRUSTEDPATHS", *before);
        t.before = keyBefore ? ReadValueState(reg_, kHkcuKey, key, "TRUSTEDPATHS") : RegValueState{};
        reg_.SetString(kHkcu, key, "TRUSTEDPATHS", written);
        t.written = ReadValueState(reg_, kHkcuKey, key, "TRUSTEDPATHS");
        return t;
    }
    void WriteRecord() { fs_.AddFile(kRecordPath, FormatRecord(record_)); }

    int Run(bool silent = false) {
        Uninstaller u(reg_, fs_, procs_, mb_, self_, kGbk, wide_);
        return u.Run(silent);
    }
    std::optional<std::string> TrustedNow(const std::string& key) {
        return reg_.GetString(kHkcu, key, "TRUSTEDPATHS");
    }
    // Everything the uninstaller could change.
    std::string State() {
        std::string s = reg_.Dump();
        for (const std::string& p : fs_.Tree("C:")) s += p + "\n";
        for (const auto& [from, to] : fs_.PendingAtRestart()) s += "pending " + from + ">" + to + "\n";
        return s;
    }

    static constexpr RegHandle kHkcuKey = kHkeyCurrentUser;
    FakeRegistry reg_;
    FakeWideText wide_{936};
    FakeFileSystem fs_;
    FakeProcessList procs_;
    FakeMessageBox mb_;
    FakeSelfRemover self_;
    InstallRecord record_;
};

TEST_F(UninstallerTest, PutsTheMachineBackAndSaysSo) {
    const RegValueState before = record_.trustedPaths[0].before;
    mb_.Script({kIdYes, kIdOk});
    EXPECT_EQ(kExitDone, Run());

    ASSERT_EQ(2u, mb_.Calls().size());
    EXPECT_EQ("确定要卸载Tarnix批打印软件吗？", mb_.Calls()[0].text);
    EXPECT_EQ("Tarnix软件卸载", mb_.Calls()[0].caption);
    EXPECT_EQ(kMbYesNo | kMbIconQuestion, mb_.Calls()[0].style);
    EXPECT_EQ("Tarnix批打印软件已成功卸载 !", mb_.Calls()[1].text);
    EXPECT_EQ("Tarnix软件卸载", mb_.Calls()[1].caption);
    EXPECT_EQ(kMbOk, mb_.Calls()[1].style);

    // AutoCAD's files: the replaced ones back with their attributes, ours gone.
    EXPECT_EQ("their font", fs_.Content(kAcad + "\\Fonts\\Tarnix_EN.shx"));
    EXPECT_TRUE(fs_.Attributes(kAcad + "\\Fonts\\Tarnix_EN.shx") & kAttrReadOnly);
    EXPECT_EQ("their driver", fs_.Content(kAcad + "\\Drv\\pdfplot9.hdi"));
    EXPECT_FALSE(fs_.Exists(kAcad + "\\Fonts\\Tarnix_HZ.shx"));
    EXPECT_TRUE(fs_.Exists(kAcad + "\\acad.exe"));
    // The installation folder: only the running program is left, for the remover.
    EXPECT_EQ((std::vector<std::string>{"Uninstall.exe"}), fs_.Children(kFolder));
    EXPECT_EQ(1, self_.calls);
    EXPECT_EQ(kImage, self_.image);
    EXPECT_EQ((std::vector<std::string>{kFolder, kParent}), self_.folders);
    EXPECT_TRUE(fs_.PendingAtRestart().empty());

    // The registry.
    EXPECT_FALSE(reg_.HasKey(kHklm, kApps)) << "made by the installation, empty again";
    EXPECT_TRUE(reg_.HasKey(kHklm, kProduct));
    EXPECT_FALSE(reg_.HasKey(kHklm, kEntry));
    const auto restored = reg_.GetValueWide(kHkcu, kVars, "TRUSTEDPATHS");
    ASSERT_TRUE(restored.has_value());
    EXPECT_EQ(before.data, restored->data) << "byte for byte";
    EXPECT_EQ("D:\\Mine;e:\\also\\", TrustedNow(kVars).value_or("?"));
    EXPECT_FALSE(reg_.HasKey(kHkcu, kVars2)) << "the key it made goes with the value";
}

TEST_F(UninstallerTest, EditedTrustedPathsLoseOnlyOurEntry) {
    // Since the installation the user added an entry and AutoCAD re-quoted ours.
    reg_.SetString(kHkcu, kVars, "TRUSTEDPATHS",
                   "D:\\MINE;E:\\ALSO\\;\"" + kFolder + "\\\";F:\\New");
    // Another profile: the user wrote our folder in lower case, plus one of theirs.
    reg_.SetString(kHkcu, kVars2, "TRUSTEDPATHS", "g:\\x;" + kGbk.Lower(kFolder));
    mb_.Script({kIdYes, kIdOk});
    EXPECT_EQ(kExitDone, Run());
    EXPECT_EQ("D:\\MINE;E:\\ALSO\\;F:\\New", TrustedNow(kVars).value_or("?"));
    EXPECT_EQ("g:\\x", TrustedNow(kVars2).value_or("?"));
    EXPECT_EQ("x", reg_.GetString(kHkcu, kVars, "Other").value_or("?"));
}

TEST_F(UninstallerTest, DemandLoadRewrittenByAnotherInstallationStays) {
    reg_.SetString(kHklm, kDemand, "LOADER", "D:\\Elsewhere\\TX_BatchPlot2008.ARX");
    mb_.Script({kIdYes, kIdOk});
    EXPECT_EQ(kExitDone, Run());
    EXPECT_EQ("D:\\Elsewhere\\TX_BatchPlot2008.ARX",
              reg_.GetString(kHklm, kDemand, "LOADER").value_or("?"));
    EXPECT_TRUE(reg_.HasKey(kHklm, kApps)) << "still holds that installation's key";
}

TEST_F(UninstallerTest, FileInUseIsLeftToTheRestartAndStaysInTheRecord) {
    fs_.SetInUse(kFolder + "\\itextsharp.dll");
    fs_.SetInUse(kAcad + "\\Drv\\pdfplot9.hdi");
    EXPECT_EQ(kExitRestart, Run(/*silent=*/true));
    EXPECT_TRUE(mb_.Calls().empty());
    EXPECT_EQ(0, self_.calls) << "the program stays with the record until the restart";
    EXPECT_FALSE(reg_.HasKey(kHklm, kEntry));

    InstallRecord left;
    ASSERT_TRUE(ParseRecord(fs_.Content(kRecordPath), kGbk, &left));
    ASSERT_EQ(2u, left.files.size());
    EXPECT_EQ(kAcad + "\\Drv\\pdfplot9.hdi", left.files[0].path);
    EXPECT_EQ(kFolder + "\\itextsharp.dll", left.files[1].path);
    EXPECT_TRUE(left.demandLoads.empty());
    EXPECT_TRUE(left.trustedPaths.empty());

    // The restart finishes it: the driver is back, nothing of ours is left.
    fs_.Restart();
    EXPECT_EQ("their driver", fs_.Content(kAcad + "\\Drv\\pdfplot9.hdi"));
    EXPECT_FALSE(fs_.Exists(kParent)) << ::testing::PrintToString(fs_.Tree("C:"));
}

TEST_F(UninstallerTest, ReplacedFileInUseOnAnotherDriveIsBackAfterTheRestart) {
    // AutoCAD on D:, the backups on C:: a restart can only rename within a
    // volume, so the backup itself cannot be what is moved into place.
    const std::string font = "D:\\AutoCAD 2024\\Fonts\\Tarnix_EN.shx";
    fs_.AddFile(font, "our font", kAttrHidden);
    fs_.AddFile(kFolder + "\\Backup\\3-Tarnix_EN.shx", "their D font");
    record_.files.push_back({font, kFolder + "\\Backup\\3-Tarnix_EN.shx"});
    WriteRecord();
    fs_.SetInUse(font);
    EXPECT_EQ(kExitRestart, Run(true));
    EXPECT_EQ("our font", fs_.Content(font));
    fs_.Restart();
    EXPECT_EQ("their D font", fs_.Content(font));
    EXPECT_FALSE(fs_.Exists(kParent)) << "backups and record gone with the restart";
    EXPECT_FALSE(fs_.Exists(font + ".tarnix-restore")) << "no staged copy left";
}

TEST_F(UninstallerTest, SecondRunBeforeTheRestartFinishesTheJob) {
    fs_.SetInUse(kFolder + "\\itextsharp.dll");
    EXPECT_EQ(kExitRestart, Run(true));
    fs_.SetInUse(kFolder + "\\itextsharp.dll", false);
    EXPECT_EQ(kExitDone, Run(true));
    EXPECT_FALSE(fs_.Exists(kFolder + "\\itextsharp.dll"));
    EXPECT_FALSE(fs_.Exists(kRecordPath));
    EXPECT_EQ(1, self_.calls);
}

TEST_F(UninstallerTest, WhatFailsStaysRecordedWithTheEntry) {
    reg_.SetFaults(kHklm, kDemand, FakeRegistry::kFailDelete);
    EXPECT_EQ(kExitFailed, Run(true));
    EXPECT_TRUE(reg_.HasKey(kHklm, kEntry)) << "still in Programs and Features";
    EXPECT_TRUE(fs_.Exists(kImage));
    EXPECT_EQ(0, self_.calls);
    InstallRecord left;
    ASSERT_TRUE(ParseRecord(fs_.Content(kRecordPath), kGbk, &left));
    ASSERT_EQ(1u, left.demandLoads.size());
    EXPECT_TRUE(left.files.empty());
    EXPECT_EQ(kImage, left.uninstaller);

    reg_.SetFaults(kHklm, kDemand, 0);
    EXPECT_EQ(kExitDone, Run(true));
    EXPECT_FALSE(reg_.HasKey(kHklm, kDemand));
    EXPECT_FALSE(reg_.HasKey(kHklm, kEntry));
}

TEST_F(UninstallerTest, MissingOrDamagedRecordChangesNothing) {
    const std::string good = fs_.Content(kRecordPath);
    for (const std::string& text : {good.substr(0, good.size() - 3), std::string("junk\n"),
                                    good + "folder\n"}) {
        fs_.AddFile(kRecordPath, text);
        const std::string before = State();
        FakeMessageBox mb;
        Uninstaller u(reg_, fs_, procs_, mb, self_, kGbk, wide_);
        EXPECT_EQ(kExitFailed, u.Run(false));
        ASSERT_EQ(1u, mb.Calls().size());
        EXPECT_EQ("卸载信息已损坏，无法卸载 !", mb.Calls()[0].text);
        EXPECT_EQ("Tarnix软件卸载", mb.Calls()[0].caption);
        EXPECT_EQ(kMbOk | kMbIconStop, mb.Calls()[0].style);
        EXPECT_EQ(before, State());
    }
    fs_.DeleteFile(kRecordPath);
    const std::string before = State();
    EXPECT_EQ(kExitFailed, Run(true));
    EXPECT_TRUE(mb_.Calls().empty()) << "silent";
    EXPECT_EQ(before, State());
    EXPECT_EQ(0, self_.calls);
}

TEST_F(UninstallerTest, NoCancelAndRunningAutoCadChangeNothing) {
    const std::string before = State();
    mb_.Script({kIdNo});
    EXPECT_EQ(kExitCancelled, Run());
    EXPECT_EQ(before, State());

    procs_.SetNames({"explorer.exe", "acad.exe"});
    mb_.Script({kIdRetry, kIdCancel});
    EXPECT_EQ(kExitCancelled, Run());
    ASSERT_EQ(3u, mb_.Calls().size());
    EXPECT_EQ("请关闭AutoCAD后再进行卸载 !", mb_.Calls()[1].text);
    EXPECT_EQ("Tarnix软件卸载", mb_.Calls()[1].caption);
    EXPECT_EQ(kMbRetryCancel | kMbIconExclamation, mb_.Calls()[1].style);
    EXPECT_EQ(mb_.Calls()[1].text, mb_.Calls()[2].text) << "Retry asks again";
    EXPECT_EQ(before, State());

    EXPECT_EQ(kExitHostRunning, Run(true));
    EXPECT_EQ(3u, mb_.Calls().size()) << "silent: no box";
    EXPECT_EQ(before, State());
    EXPECT_EQ(0, self_.calls);
}

TEST_F(UninstallerTest, RetryAfterAutoCadClosedGoesOn) {
    procs_.SetNames({"acad.exe"});
    // Closed while the box was up: the fake list is read again on Retry.
    class ClosingBox : public FakeMessageBox {
    public:
        explicit ClosingBox(FakeProcessList& p) : p_(p) {}
        int Show(const std::string& t, const std::string& c, unsigned s) override {
            p_.SetNames({});
            return FakeMessageBox::Show(t, c, s);
        }
        FakeProcessList& p_;
    } box(procs_);
    box.Script({kIdRetry, kIdYes, kIdOk});
    Uninstaller u(reg_, fs_, procs_, box, self_, kGbk, wide_);
    EXPECT_EQ(kExitDone, u.Run(false));
    EXPECT_EQ(3u, box.Calls().size());
    EXPECT_FALSE(reg_.HasKey(kHklm, kEntry));
}

TEST_F(UninstallerTest, HiddenReplacedFilesArePutBackAtOnce) {
    // A font or driver copied from a hidden Data file keeps that attribute,
    // and a user or tool may hide or mark as system what is there. Putting
    // the backups back must not depend on it: nothing is in use here.
    fs_.AddFile(kAcad + "\\Fonts\\Tarnix_EN.shx", "our font", kAttrHidden | kAttrArchive);
    fs_.AddFile(kAcad + "\\Drv\\pdfplot9.hdi", "our driver",
                kAttrHidden | kAttrReadOnly | kAttrArchive);
    EXPECT_EQ(kExitDone, Run(true));
    EXPECT_EQ("their font", fs_.Content(kAcad + "\\Fonts\\Tarnix_EN.shx"));
    EXPECT_EQ("their driver", fs_.Content(kAcad + "\\Drv\\pdfplot9.hdi"));
    EXPECT_TRUE(fs_.PendingAtRestart().empty()) << "nothing left to the restart";
    EXPECT_FALSE(fs_.Exists(kRecordPath));
}

TEST_F(UninstallerTest, FailedSelfRemovalFallsBackToTheRestart) {
    self_.result = false;
    EXPECT_EQ(kExitRestart, Run(true));
    ASSERT_EQ(3u, fs_.PendingAtRestart().size());
    EXPECT_EQ(kImage, fs_.PendingAtRestart()[0].first);
    EXPECT_EQ(kFolder, fs_.PendingAtRestart()[1].first);
    EXPECT_EQ(kParent, fs_.PendingAtRestart()[2].first);
    fs_.Restart();
    EXPECT_FALSE(fs_.Exists(kParent));
}

// The installation upper-cases the whole list with the system's mapping, so
// an entry that was there before may differ from its written form in letters
// beyond ASCII. Such an entry is the user's, not ours, when the value has been
// edited since.
TEST_F(UninstallerTest, EditedTrustedPathsKeepEntriesTheInstallationOnlyUpperCased) {
    RecordedTrustedPaths& t = record_.trustedPaths[0];
    reg_.SetWideString(kHkcu, kVars, "TRUSTEDPATHS", u"D:\\Ångström;E:\\дом");
    t.before = ReadValueState(reg_, kHkcuKey, kVars, "TRUSTEDPATHS");
    reg_.SetWideString(kHkcu, kVars, "TRUSTEDPATHS",
                       u"D:\\ÅNGSTRÖM;E:\\ДОМ;C:\\TARNIX\\TARNIX批打印软件");
    t.written = ReadValueState(reg_, kHkcuKey, kVars, "TRUSTEDPATHS");
    WriteRecord();
    // Then the user adds a folder of their own.
    reg_.SetWideString(kHkcu, kVars, "TRUSTEDPATHS",
                       u"D:\\ÅNGSTRÖM;E:\\ДОМ;C:\\TARNIX\\TARNIX批打印软件;F:\\New");
    const WideString expected = u"D:\\ÅNGSTRÖM;E:\\ДОМ;F:\\New";
    EXPECT_EQ(kExitDone, Run(true));
    const bool kept = reg_.GetWideString(kHkcu, kVars, "TRUSTEDPATHS") == expected;
    EXPECT_TRUE(kept) << "entries that were there before the installation stay";
}

// A later installation into another folder has taken over the shared keys:
// the demand-load key and the Programs and Features entry are that
// installation's now, and uninstalling this folder must leave both.
TEST_F(UninstallerTest, KeysTakenOverByAnInstallationElsewhereStay) {
    const std::string other = "D:\\Other\\Tarnix批打印软件";
    reg_.SetString(kHklm, kDemand, "LOADER", other + "\\TX_BatchPlot2008.ARX");
    reg_.SetString(kHklm, kEntry, "InstallLocation", other);
    reg_.SetString(kHklm, kEntry, "UninstallString", "\"" + other + "\\Uninstall.exe\"");
    EXPECT_EQ(kExitDone, Run(true));
    EXPECT_TRUE(reg_.HasKey(kHklm, kDemand));
    EXPECT_TRUE(reg_.HasKey(kHklm, kEntry)) << "the other installation's entry";
}

// A folder that could not be emptied because one of its files failed must
// stay in the record, or the second uninstall never removes it.
TEST_F(UninstallerTest, FolderOfAFailedFileStaysForTheSecondRun) {
    const std::string backup = kFolder + "\\Backup\\2-pdfplot9.hdi";
    fs_.SetInUse(backup);
    fs_.FailRestartMoves();
    EXPECT_EQ(kExitFailed, Run(true));
    ASSERT_TRUE(fs_.Exists(backup));

    fs_.SetInUse(backup, false);
    fs_.FailRestartMoves(false);
    EXPECT_EQ(kExitDone, Run(true));
    EXPECT_FALSE(fs_.Exists(backup));
    EXPECT_FALSE(fs_.Exists(kFolder + "\\Backup")) << ::testing::PrintToString(fs_.Tree("C:"));
}

}  // namespace
}  // namespace tx
