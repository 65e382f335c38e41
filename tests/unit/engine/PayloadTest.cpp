// The literals below are compiled to code page 936 bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "deploy/Deployment.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeFolderSecurity.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeUserIo.h"

namespace tx {
namespace {

const std::string kCaption = "Tarnix软件安装";
const std::string kNoData =
    "未找到安装所需的Data文件夹 !\n\n可能安装文件下载后没有解压，\n\n请解压后再执行SetUp.exe !";
const std::string kData = "C:\\Pkg\\Data";
const std::string kInstall = "C:\\Program Files\\Tarnix\\Tarnix批打印软件";
const std::string kAppData = "C:\\Users\\u\\AppData\\Roaming";
const std::string kSettings = kAppData + "\\Tarnix";
const std::string kMark = ":Zone.Identifier";
const std::string kMarkText = "[ZoneTransfer]\r\nZoneId=3\r\n";

std::string CopyFailed(const std::string& target) {
    return "拷贝文件 " + target +
           " 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统";
}

class DeployPayloadTest : public ::testing::Test {
protected:
    DeployPayloadTest() {
        fs_.SetModulePath("C:\\Pkg\\SetUp.exe");
        fs_.AddFile("C:\\Pkg\\SetUp.exe", "exe");
        fs_.AddFolder(kData);
        fs_.AddFolder("C:\\Program Files\\Tarnix");
        fs_.AddFolder(kAppData);
        fs_.SetEnv("APPDATA", kAppData);
    }

    bool Deploy(const std::string& folder = kInstall) {
        return deployer_.DeployPayload(PayloadTarget(folder, bar_, cp_));
    }
    void AddData(const std::string& name, const std::string& content = "",
                 std::uint32_t attributes = kAttrArchive) {
        fs_.AddFile(kData + "\\" + name, content.empty() ? name : content, attributes);
    }
    std::vector<std::string> CopyTargets() const {
        std::vector<std::string> targets;
        for (const auto& c : fs_.CopyCalls()) targets.push_back(c.target);
        return targets;
    }

    CodePage cp_{936};
    FakeFileSystem fs_;
    FakeProcessList procs_;
    FakeMessageBox mb_;
    FakeProgress bar_;
    Deployer deployer_{fs_, procs_, mb_, cp_};
};

using Names = std::vector<std::string>;

TEST_F(DeployPayloadTest, DeploymentTableRenamesSkipsAndRoutesTheSettingsFile) {
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

    EXPECT_TRUE(Deploy());

    // The settings file also stays in the installation folder, for the
    // users who log on later.
    EXPECT_EQ((Names{"itextsharp.dll", "PdfSharp.Charting.dll", "PdfSharp.dll", "Tarnix.Ini",
                     "TX_BatchPlot2021.ARX", "批打印说明.txt"}),
              fs_.Children(kInstall));
    EXPECT_EQ("itext", fs_.Content(kInstall + "\\itextsharp.dll"));
    EXPECT_EQ("charting", fs_.Content(kInstall + "\\PdfSharp.Charting.dll"));
    EXPECT_EQ("pdfsharp", fs_.Content(kInstall + "\\PdfSharp.dll"));
    EXPECT_EQ("module", fs_.Content(kInstall + "\\TX_BatchPlot2021.ARX"));
    // The settings file keeps the letter case the listing gave it.
    EXPECT_EQ((Names{"tarnix.INI"}), fs_.Children(kSettings));
    EXPECT_EQ("settings", fs_.Content(kSettings + "\\tarnix.INI"));
    EXPECT_EQ(kSettings + "\\tarnix.INI", CopyTargets()[3]);
    EXPECT_TRUE(mb_.Calls().empty());
    EXPECT_EQ(0, fs_.OpenListings()) << "the listing is closed";
}

TEST_F(DeployPayloadTest, InstallFolderIsCreatedAndTheSettingsFolderOnlyWhenNeeded) {
    AddData("a.arx");
    EXPECT_TRUE(Deploy());
    EXPECT_EQ((Names{kInstall}), fs_.CreateDirectoryCalls());
    EXPECT_TRUE(fs_.IsFolder(kInstall));
    EXPECT_FALSE(fs_.Exists(kSettings));
    EXPECT_EQ(0, fs_.EnvironmentQueries());
}

TEST_F(DeployPayloadTest, SubFoldersAreSkippedWhateverTheirAttributes) {
    fs_.AddFolder(kData + "\\Tarnix.prt7", kAttrDirectory | kAttrReadOnly | kAttrArchive);
    fs_.AddFolder(kData + "\\Sub", kAttrDirectory | kAttrHidden);
    fs_.AddFile(kData + "\\Sub\\inner.arx");
    fs_.AddFolder(kData + "\\Tarnix.Ini");
    AddData("top.arx");

    EXPECT_TRUE(Deploy());

    EXPECT_EQ((Names{"top.arx"}), fs_.Children(kInstall));
    EXPECT_EQ((Names{kData + "\\top.arx"}), Names{fs_.CopyCalls().at(0).source});
    EXPECT_EQ(1u, fs_.CopyCalls().size());
    EXPECT_FALSE(fs_.Exists(kSettings));
}

TEST_F(DeployPayloadTest, ProgressStepsOncePerListingEntryPlusOne) {
    AddData("a.arx");
    AddData("SetUp.EXE");
    fs_.AddFolder(kData + "\\Sub");
    AddData("b.arx");
    // ".", "..", four entries, and the fetch that ends the listing.
    EXPECT_TRUE(Deploy());
    EXPECT_EQ(7, bar_.StepCount());
    for (const auto& call : bar_.Calls()) {
        EXPECT_EQ(FakeProgress::Op::StepIt, call.op) << "only StepIt reaches the bar";
    }
}

TEST_F(DeployPayloadTest, EveryFileOfALongListingIsDeployed) {
    for (int i = 0; i < 150; ++i) AddData("m" + std::to_string(i) + ".arx");
    EXPECT_TRUE(Deploy());
    ASSERT_EQ(150u, fs_.Children(kInstall).size());
    EXPECT_TRUE(fs_.Exists(kInstall + "\\m149.arx"));
    EXPECT_EQ(153, bar_.StepCount());
}

TEST_F(DeployPayloadTest, AbortAfterTwoGoodCopiesKeepsThemAndFails) {
    AddData("a.arx");
    AddData("b.arx");
    AddData("c.arx");
    AddData("d.arx");
    fs_.FailCopyTo(kInstall + "\\c.arx");
    mb_.Script({kIdAbort});

    EXPECT_FALSE(Deploy());

    EXPECT_EQ((Names{"a.arx", "b.arx"}), fs_.Children(kInstall));
    ASSERT_EQ(1u, mb_.Calls().size());
    EXPECT_EQ(CopyFailed(kInstall + "\\c.arx"), mb_.Calls()[0].text);
    EXPECT_EQ(kCaption, mb_.Calls()[0].caption);
    EXPECT_EQ(kMbAbortRetryIgnore, mb_.Calls()[0].style);
    EXPECT_EQ(0, fs_.OpenListings()) << "the listing is closed on Abort";
    EXPECT_EQ(5, bar_.StepCount()) << "\".\", \"..\", a, b, c";
}

TEST_F(DeployPayloadTest, RetryCopiesAgainUntilItWorks) {
    AddData("a.arx");
    AddData("b.arx");
    fs_.FailCopyTo(kInstall + "\\a.arx", 2);
    mb_.Script({kIdRetry, kIdRetry});

    EXPECT_TRUE(Deploy());

    EXPECT_EQ(2u, mb_.Calls().size());
    EXPECT_EQ(0, mb_.Unscripted());
    EXPECT_EQ((Names{"a.arx", "b.arx"}), fs_.Children(kInstall));
    EXPECT_EQ((Names{kInstall + "\\a.arx", kInstall + "\\a.arx", kInstall + "\\a.arx",
                     kInstall + "\\b.arx"}),
              CopyTargets());
}

TEST_F(DeployPayloadTest, IgnoreGivesUpOneFileAndTheRestStillSucceeds) {
    AddData("a.arx");
    AddData("b.arx");
    AddData("c.arx");
    fs_.FailCopyTo(kInstall + "\\b.arx");
    mb_.Script({kIdIgnore});

    EXPECT_TRUE(Deploy());

    EXPECT_EQ((Names{"a.arx", "c.arx"}), fs_.Children(kInstall));
    EXPECT_EQ(1u, mb_.Calls().size());
}

TEST_F(DeployPayloadTest, MissingDataFolderIsReportedAndNothingHappens) {
    fs_.SetModulePath("C:\\Elsewhere\\SetUp.exe");
    EXPECT_FALSE(Deploy());
    ASSERT_EQ(1u, mb_.Calls().size());
    EXPECT_EQ(kNoData, mb_.Calls()[0].text);
    EXPECT_EQ(kCaption, mb_.Calls()[0].caption);
    EXPECT_EQ(kMbOk, mb_.Calls()[0].style);
    EXPECT_TRUE(fs_.CreateDirectoryCalls().empty());
    EXPECT_TRUE(fs_.CopyCalls().empty());
    EXPECT_TRUE(bar_.Calls().empty());
}

TEST_F(DeployPayloadTest, AFileNamedDataIsNoDataFolder) {
    fs_.AddFile("C:\\Files\\Data", "not a folder");
    fs_.SetModulePath("C:\\Files\\SetUp.exe");
    EXPECT_FALSE(Deploy());
    ASSERT_EQ(1u, mb_.Calls().size());
    EXPECT_EQ(kNoData, mb_.Calls()[0].text);
    EXPECT_TRUE(fs_.CreateDirectoryCalls().empty());
    EXPECT_TRUE(fs_.CopyCalls().empty());
    EXPECT_EQ(0, bar_.StepCount());
}

TEST_F(DeployPayloadTest, ReadOnlySourcesAndTargetsEndUpReplacedAndWritable) {
    AddData("ro.arx", "new", kAttrReadOnly | kAttrArchive);
    AddData("Tarnix.prt7", "new dll");
    AddData("Tarnix.Ini", "new ini", kAttrReadOnly);
    fs_.AddFile(kInstall + "\\itextsharp.dll", "old dll", kAttrReadOnly | kAttrArchive);
    fs_.AddFile(kSettings + "\\Tarnix.Ini", "old ini", kAttrReadOnly);

    EXPECT_TRUE(Deploy());

    EXPECT_TRUE(mb_.Calls().empty());
    EXPECT_EQ("new", fs_.Content(kInstall + "\\ro.arx"));
    EXPECT_EQ("new dll", fs_.Content(kInstall + "\\itextsharp.dll"));
    EXPECT_EQ("new ini", fs_.Content(kSettings + "\\Tarnix.Ini"));
    for (const std::string& path :
         {kInstall + "\\ro.arx", kInstall + "\\itextsharp.dll", kSettings + "\\Tarnix.Ini",
          kData + "\\ro.arx", kData + "\\Tarnix.Ini"}) {
        EXPECT_EQ(0u, fs_.Attributes(path) & kAttrReadOnly) << path;
    }
}

TEST_F(DeployPayloadTest, SourcesOnReadOnlyMediaStillGiveWritableTargets) {
    // The source keeps its read-only bit and CopyFile carries it over.
    AddData("cd.arx", "cd", kAttrReadOnly);
    fs_.FailSetAttributes(kData + "\\cd.arx");
    EXPECT_TRUE(Deploy());
    EXPECT_EQ("cd", fs_.Content(kInstall + "\\cd.arx"));
    EXPECT_EQ(0u, fs_.Attributes(kInstall + "\\cd.arx") & kAttrReadOnly);
    EXPECT_NE(0u, fs_.Attributes(kData + "\\cd.arx") & kAttrReadOnly);
}

TEST_F(DeployPayloadTest, ProgramPathWithoutBackslashLooksForRootData) {
    fs_.SetModulePath("SetUp.exe");
    fs_.AddFile("\\Data\\a.arx", "a");
    EXPECT_TRUE(Deploy());
    EXPECT_EQ((Names{"a.arx"}), fs_.Children(kInstall));
    EXPECT_EQ("\\Data\\a.arx", fs_.CopyCalls().at(0).source);
}

TEST_F(DeployPayloadTest, UnreadableListingIsNoDataFolder) {
    AddData("a.arx");
    fs_.FailListing(kData);
    EXPECT_FALSE(Deploy()) << "nothing copied is no success";
    ASSERT_EQ(1u, mb_.Calls().size());
    EXPECT_EQ(kNoData, mb_.Calls()[0].text);
    EXPECT_EQ(kCaption, mb_.Calls()[0].caption);
    EXPECT_EQ(kMbOk, mb_.Calls()[0].style);
    EXPECT_TRUE(fs_.CopyCalls().empty());
    EXPECT_EQ(0, bar_.StepCount());
}

TEST_F(DeployPayloadTest, DataFolderWhoseListingPatternDoesNotFitIsNoDataFolder) {
    // 256 bytes: "\\*.*" makes 260, one more than a MAX_PATH buffer holds.
    const std::string dir = "C:\\" + std::string(248, 'p');
    fs_.SetModulePath(dir + "\\SetUp.exe");
    fs_.AddFile(dir + "\\Data\\a.arx", "a");
    ASSERT_EQ(256u, (dir + "\\Data").size());

    EXPECT_FALSE(Deploy());

    ASSERT_EQ(1u, mb_.Calls().size());
    EXPECT_EQ(kNoData, mb_.Calls()[0].text);
    EXPECT_TRUE(fs_.CopyCalls().empty());
    for (const std::string& pattern : fs_.FindFirstCalls()) {
        EXPECT_LT(pattern.size(), kMaxPath) << "no listing of a cut pattern";
    }
}

// --- Files extracted from a downloaded zip -------------------------------

TEST_F(DeployPayloadTest, InternetMarkIsRemovedFromEveryInstalledFileAndKeptOnTheSources) {
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

    EXPECT_TRUE(Deploy());

    EXPECT_TRUE(mb_.Calls().empty());
    const std::vector<std::string> installed = {
        kInstall + "\\TX_BatchPlot2021.ARX", kInstall + "\\itextsharp.dll",
        kSettings + "\\Tarnix.Ini", kInstall + "\\ro.arx"};
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

TEST_F(DeployPayloadTest, UnmarkedFilesAndFailedCopiesAreNoError) {
    AddData("plain.arx");
    AddData("b.arx");
    // A copy given up leaves the old target as it was, mark and all.
    fs_.AddFile(kInstall + "\\b.arx", "old");
    fs_.AddFile(kInstall + "\\b.arx" + kMark, kMarkText);
    fs_.FailCopyTo(kInstall + "\\b.arx");
    mb_.Script({kIdIgnore});

    EXPECT_TRUE(Deploy());

    EXPECT_EQ(1u, mb_.Calls().size()) << "only the failed copy asks";
    EXPECT_EQ("plain.arx", fs_.Content(kInstall + "\\plain.arx"));
    EXPECT_EQ(kMarkText, fs_.Content(kInstall + "\\b.arx" + kMark));
    EXPECT_EQ((Names{kInstall + "\\plain.arx" + kMark}), fs_.DeleteFileCalls());
}

// --- Hidden and system targets -------------------------------------------

TEST_F(DeployPayloadTest, HiddenDataFileInstallsAgainWithoutAQuestion) {
    const std::uint32_t hidden = kAttrHidden | kAttrSystem | kAttrArchive;
    AddData("desktop.ini", "first", hidden);
    AddData("Thumbs.db", "thumbs", kAttrHidden);
    ASSERT_TRUE(Deploy());
    // CopyFile carries the bits over: the installed copy is hidden too.
    ASSERT_EQ(hidden, fs_.Attributes(kInstall + "\\desktop.ini"));

    AddData("desktop.ini", "second", hidden);
    EXPECT_TRUE(Deploy());

    EXPECT_TRUE(mb_.Calls().empty()) << "no Abort / Retry / Ignore";
    EXPECT_EQ("second", fs_.Content(kInstall + "\\desktop.ini"));
    EXPECT_EQ("thumbs", fs_.Content(kInstall + "\\Thumbs.db"));
    for (const auto& copy : fs_.CopyCalls()) EXPECT_TRUE(copy.ok) << copy.target;
}

TEST_F(DeployPayloadTest, HiddenReadOnlySystemTargetsAreReplacedButFoldersLeftAlone) {
    AddData("a.arx", "new a");
    AddData("Tarnix.Ini", "new ini");
    AddData("b.arx", "new b");
    fs_.AddFile(kInstall + "\\a.arx", "old a", kAttrHidden | kAttrSystem | kAttrReadOnly);
    fs_.AddFile(kSettings + "\\Tarnix.Ini", "old ini", kAttrHidden);
    // A folder in the way stays as it is; its copy fails and is put to the user.
    fs_.AddFolder(kInstall + "\\b.arx", kAttrDirectory | kAttrHidden);
    mb_.Script({kIdIgnore});

    EXPECT_TRUE(Deploy());

    EXPECT_EQ("new a", fs_.Content(kInstall + "\\a.arx"));
    EXPECT_EQ(kAttrArchive, fs_.Attributes(kInstall + "\\a.arx")) << "the source's bits";
    EXPECT_EQ("new ini", fs_.Content(kSettings + "\\Tarnix.Ini"));
    ASSERT_EQ(1u, mb_.Calls().size());
    EXPECT_EQ(CopyFailed(kInstall + "\\b.arx"), mb_.Calls()[0].text);
    EXPECT_EQ(kAttrDirectory | kAttrHidden, fs_.Attributes(kInstall + "\\b.arx"));
}

TEST_F(DeployPayloadTest, SettingsFolderFallsBackToTheShellWhenAppDataIsUnset) {
    AddData("Tarnix.Ini", "ini");
    fs_.UnsetEnv("APPDATA");
    fs_.AddFolder("D:\\Roaming");
    fs_.SetRoamingAppData("D:\\Roaming");
    EXPECT_TRUE(Deploy());
    EXPECT_EQ("ini", fs_.Content("D:\\Roaming\\Tarnix\\Tarnix.Ini"));
    EXPECT_EQ(1, fs_.ShellQueries());
    EXPECT_TRUE(mb_.Calls().empty());
}

TEST_F(DeployPayloadTest, SettingsFolderFallsBackToTheShellWhenAppDataIsTooLong) {
    AddData("Tarnix.Ini", "ini");
    fs_.SetEnv("APPDATA", "C:\\" + std::string(300, 'x'));
    fs_.AddFolder("D:\\Roaming");
    fs_.SetRoamingAppData("D:\\Roaming");
    EXPECT_TRUE(Deploy());
    EXPECT_EQ("ini", fs_.Content("D:\\Roaming\\Tarnix\\Tarnix.Ini"));
    EXPECT_TRUE(mb_.Calls().empty());
}

TEST_F(DeployPayloadTest, NoKnownSettingsFolderIsAFailedCopyNotADriveRoot) {
    AddData("Tarnix.Ini", "ini");
    AddData("a.arx");
    fs_.UnsetEnv("APPDATA");
    fs_.SetRoamingAppData(std::nullopt);
    mb_.Script({kIdRetry, kIdIgnore});

    EXPECT_TRUE(Deploy());

    ASSERT_EQ(2u, mb_.Calls().size());
    EXPECT_EQ(CopyFailed("%APPDATA%\\Tarnix\\Tarnix.Ini"), mb_.Calls()[0].text);
    EXPECT_EQ(kMbAbortRetryIgnore, mb_.Calls()[1].style);
    EXPECT_EQ((Names{kInstall}), fs_.CreateDirectoryCalls()) << "no \\Tarnix folder";
    EXPECT_FALSE(fs_.Exists("C:\\Tarnix"));
    // Only the installation folder's copy of the settings file is made.
    EXPECT_EQ((Names{kInstall + "\\Tarnix.Ini", kInstall + "\\a.arx"}), CopyTargets());
}

TEST_F(DeployPayloadTest, SettingsFolderThatCannotBeCreatedRaisesTheCopyDialog) {
    AddData("Tarnix.Ini");
    fs_.FailCreateDirectory(kSettings);
    mb_.Script({kIdAbort});
    EXPECT_FALSE(Deploy());
    ASSERT_EQ(1u, mb_.Calls().size());
    EXPECT_EQ(CopyFailed(kSettings + "\\Tarnix.Ini"), mb_.Calls()[0].text);
}

TEST_F(DeployPayloadTest, TargetPathTooLongIsAFailedCopyShownInFull) {
    // 259 bytes fit a MAX_PATH buffer; the target inside does not.
    const std::string folder = "C:\\" + std::string(256, 'f');
    ASSERT_EQ(259u, folder.size());
    fs_.AddFolder(folder);
    AddData("a.arx");
    mb_.Script({kIdRetry, kIdIgnore});

    EXPECT_TRUE(Deploy(folder));

    ASSERT_EQ(2u, mb_.Calls().size());
    EXPECT_EQ(CopyFailed(folder + "\\a.arx"), mb_.Calls()[0].text) << "not cut short";
    EXPECT_TRUE(fs_.CopyCalls().empty()) << "no copy to a cut path";
    EXPECT_TRUE(fs_.SetAttributeCalls().empty());
}

TEST_F(DeployPayloadTest, InstallFolderTooLongIsNeverCreated) {
    AddData("a.arx");
    const std::string fits = "C:\\" + std::string(256, 'f');
    mb_.Script({kIdIgnore});
    EXPECT_TRUE(Deploy(fits + "\\"));
    EXPECT_EQ((Names{fits}), fs_.CreateDirectoryCalls());

    mb_.Script({kIdAbort});
    EXPECT_FALSE(Deploy(fits + "g"));
    EXPECT_EQ(1u, fs_.CreateDirectoryCalls().size()) << "260 bytes do not fit";
}

TEST_F(DeployPayloadTest, SourcePathTooLongIsAFailedCopy) {
    const std::string dir = "C:\\" + std::string(242, 'p');
    fs_.SetModulePath(dir + "\\SetUp.exe");
    fs_.AddFile(dir + "\\Data\\s.arx", "s");
    fs_.AddFile(dir + "\\Data\\a-rather-long-name.arx", "l");
    ASSERT_EQ(250u, (dir + "\\Data").size());
    mb_.Script({kIdIgnore});

    EXPECT_TRUE(Deploy());

    EXPECT_EQ((Names{"s.arx"}), fs_.Children(kInstall));
    ASSERT_EQ(1u, mb_.Calls().size());
    EXPECT_EQ(CopyFailed(kInstall + "\\a-rather-long-name.arx"), mb_.Calls()[0].text);
}

TEST_F(DeployPayloadTest, PayloadTargetDropsOneTrailingBackslash) {
    EXPECT_EQ("C:\\a", PayloadTarget("C:\\a\\", bar_, cp_).InstallFolder);
    EXPECT_EQ("C:\\a\\", PayloadTarget("C:\\a\\\\", bar_, cp_).InstallFolder);
    EXPECT_EQ("C:\\a", PayloadTarget("C:\\a", bar_, cp_).InstallFolder);
    // The 0x5C of a double-byte character is not a backslash.
    EXPECT_EQ("C:\\\x95\x5C", PayloadTarget("C:\\\x95\x5C", bar_, cp_).InstallFolder);
    EXPECT_THROW(PayloadTarget("", bar_, cp_), std::invalid_argument);
}

}  // namespace
}  // namespace tx

namespace tx {
namespace {

// An elevated installation writes the settings file into a folder its user
// owns: every level below the drive is held (no rename, no swap) for the
// copy, and a link on the way is not followed.
class SettingsFolderHoldTest : public DeployPayloadTest {
protected:
    FakeFolderSecurity security_{fs_};
    Deployer held_{fs_, procs_, mb_, cp_, nullptr, &security_};

    bool DeployHeld() { return held_.DeployPayload(PayloadTarget(kInstall, bar_, cp_)); }
};

TEST_F(SettingsFolderHoldTest, EveryLevelIsHeldAcrossTheCopyAndLetGoAfter) {
    AddData("a.arx");
    AddData("Tarnix.Ini", "ini");
    ASSERT_TRUE(DeployHeld());
    const Names targets = CopyTargets();
    const auto at = std::find(targets.begin(), targets.end(), kSettings + "\\Tarnix.Ini");
    ASSERT_NE(targets.end(), at);
    const std::size_t copy = static_cast<std::size_t>(at - targets.begin());

    Names levels;
    for (const FakeFolderSecurity::Hold& h : security_.Holds()) {
        levels.push_back(h.path);
        EXPECT_LE(h.copiesBefore, copy) << h.path;
        EXPECT_GT(h.copiesAtRelease, copy) << h.path << " held until the copy was made";
        EXPECT_NE(FakeFolderSecurity::kStillHeld, h.copiesAtRelease) << h.path;
    }
    EXPECT_EQ((Names{"C:\\Users", "C:\\Users\\u", "C:\\Users\\u\\AppData", kAppData, kSettings}),
              levels);
    EXPECT_EQ(0, security_.HeldNow());
    EXPECT_EQ("ini", fs_.Content(kSettings + "\\Tarnix.Ini"));
}

TEST_F(SettingsFolderHoldTest, LinkOnTheWayIsAFailedCopyAndNothingIsWrittenThroughIt) {
    AddData("Tarnix.Ini", "ini");
    AddData("a.arx");
    fs_.AddFolder(kSettings);
    fs_.SetAttributes(kAppData, kAttrDirectory | kAttrReparsePoint);
    mb_.Script({kIdRetry, kIdIgnore});

    EXPECT_TRUE(DeployHeld()) << "Ignore goes on";
    ASSERT_EQ(2u, mb_.Calls().size());
    EXPECT_EQ(CopyFailed(kSettings + "\\Tarnix.Ini"), mb_.Calls()[0].text);
    const Names targets = CopyTargets();
    EXPECT_EQ(targets.end(), std::find(targets.begin(), targets.end(), kSettings + "\\Tarnix.Ini"));
    EXPECT_FALSE(fs_.Exists(kSettings + "\\Tarnix.Ini"));
    EXPECT_TRUE(fs_.Exists(kInstall + "\\a.arx"));
    EXPECT_EQ(0, security_.HeldNow());
}

}  // namespace
}  // namespace tx
