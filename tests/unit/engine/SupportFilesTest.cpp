// The fonts and the plot driver an installation puts into the AutoCAD
// installations of the ticked releases, as the engine plans and makes them.
// The literals below are compiled to code page 936 bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/InstallEngine.h"
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
const std::string kChosen = "C:\\Tarnix";
const std::string kInstall = kChosen + "\\Tarnix批打印软件";

using Names = std::vector<std::string>;

class SupportFilesTest : public ::testing::Test {
protected:
    SupportFilesTest() {
        reg_.AddWindowsKeys();
        fs_.SetModulePath("C:\\Pkg\\SetUp.exe");
        fs_.AddFile("C:\\Pkg\\SetUp.exe", "exe");
        fs_.AddFile(kData + "\\Tarnix_EN.shx", "en");
        fs_.AddFile(kData + "\\Tarnix_HZ.shx", "hz");
        fs_.AddFile(kData + "\\Tarnix.prt5", "driver");
        fs_.AddFile(kData + "\\TX_BatchPlot2021.ARX", "module");
    }

    // An AutoCAD installation with its Fonts and Drv folders.
    std::string AddAcad(int year, const std::string& folder) {
        fs_.AddFolder(folder + "\\Fonts");
        fs_.AddFolder(folder + "\\Drv");
        Detect(year, folder);
        return folder;
    }
    void Detect(int year, const std::string& folder) {
        info_.m_arrAcadLocation[ReleaseIndexOfYear(year)].push_back(folder);
    }
    void Tick(int year) { ticked_[ReleaseIndexOfYear(year)] = 1; }

    InstallResult Install() {
        EngineServices services{fs_, reg_, wide_, cp_, procs_, security_, log_};
        services.installDate = "20240102";
        InstallEngine engine(services);
        FolderReadiness readiness = FolderReadiness::Failed;
        const InstallResult result =
            InstallPrepared(engine, info_, kChosen, kInstall, ticked_, answers_, &readiness);
        EXPECT_EQ(FolderReadiness::Ready, readiness);
        return result;
    }

    bool HasFonts(const std::string& folder) const {
        return fs_.Content(folder + "\\Fonts\\Tarnix_EN.shx") == "en" &&
               fs_.Content(folder + "\\Fonts\\Tarnix_HZ.shx") == "hz";
    }
    bool HasDriver(const std::string& folder) const {
        return fs_.Content(folder + "\\Drv\\pdfplot9.hdi") == "driver";
    }
    // Writes of the fonts and the driver, in order: read whole from the
    // package and written through one handle on the target, never copied
    // by name into AutoCAD's folders.
    Names SupportTargets() const {
        Names targets;
        for (const auto& w : fs_.WriteCalls()) {
            if (w.target.find("\\Backup\\") != std::string::npos) continue;
            for (const std::string name : {"\\Tarnix_EN.shx", "\\Tarnix_HZ.shx", "\\pdfplot9.hdi"}) {
                const std::size_t at = w.target.size() - std::min(w.target.size(), name.size());
                if (w.target.compare(at, std::string::npos, name) == 0) targets.push_back(w.target);
            }
        }
        for (const auto& c : fs_.CopyCalls())
            EXPECT_EQ(std::string::npos, c.source.find(".shx")) << "copied by name: " << c.target;
        return targets;
    }
    std::string State() const { return MachineSnapshot(fs_, reg_); }

    CodePage cp_{936};
    FakeFileSystem fs_;
    FakeRegistry reg_;
    FakeWideText wide_{936};
    FakeProcessList procs_;
    FakeFolderSecurity security_{fs_};
    MemoryLog log_;
    ScriptedObserver answers_;
    CAcadInfo info_;
    TickFlags ticked_{};
};

TEST_F(SupportFilesTest, EveryFolderOfEveryTickedReleaseGetsFontsAndOnly2008TheDriver) {
    const auto a2007 = AddAcad(2007, "C:\\ACAD2007");
    const auto a2008 = AddAcad(2008, "C:\\ACAD2008");
    const auto b2008 = AddAcad(2008, "D:\\AutoCAD 2008");
    const auto a2010 = AddAcad(2010, "C:\\ACAD2010");
    const auto a2024 = AddAcad(2024, "C:\\Program Files\\Autodesk\\AutoCAD 2024");
    Tick(2007);
    Tick(2008);
    Tick(2009);  // ticked, nothing detected
    Tick(2024);

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_TRUE(HasFonts(a2007));
    EXPECT_TRUE(HasFonts(a2008));
    EXPECT_TRUE(HasFonts(b2008));
    EXPECT_TRUE(HasFonts(a2024));
    EXPECT_TRUE(HasDriver(a2008));
    EXPECT_TRUE(HasDriver(b2008));
    EXPECT_FALSE(fs_.Exists(a2007 + "\\Drv\\pdfplot9.hdi"));
    EXPECT_FALSE(fs_.Exists(a2024 + "\\Drv\\pdfplot9.hdi"));
    EXPECT_TRUE(fs_.Children(a2010 + "\\Fonts").empty()) << "not ticked";
    // In release order, then detection order; fonts before the driver.
    EXPECT_EQ((Names{a2007 + "\\Fonts\\Tarnix_EN.shx", a2007 + "\\Fonts\\Tarnix_HZ.shx",
                     a2008 + "\\Fonts\\Tarnix_EN.shx", a2008 + "\\Fonts\\Tarnix_HZ.shx",
                     a2008 + "\\Drv\\pdfplot9.hdi", b2008 + "\\Fonts\\Tarnix_EN.shx",
                     b2008 + "\\Fonts\\Tarnix_HZ.shx", b2008 + "\\Drv\\pdfplot9.hdi",
                     a2024 + "\\Fonts\\Tarnix_EN.shx", a2024 + "\\Fonts\\Tarnix_HZ.shx"}),
              SupportTargets());
    EXPECT_TRUE(answers_.failedCopies.empty());
    // Nothing of the package's support files lands in the installation folder.
    Names installed = fs_.Children(kInstall);
    std::sort(installed.begin(), installed.end());
    EXPECT_EQ((Names{"InstallRecord.txt", "TX_BatchPlot2021.ARX", "Uninstall.exe"}), installed);
}

TEST_F(SupportFilesTest, NothingTickedCopiesNothing) {
    AddAcad(2008, "C:\\ACAD2008");
    AddAcad(2021, "C:\\ACAD2021");
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_TRUE(SupportTargets().empty());
}

TEST_F(SupportFilesTest, MissingFontsFolderIsNotCreatedAndTheDriverStillArrives) {
    fs_.AddFolder("C:\\ACAD2008\\Drv");
    Detect(2008, "C:\\ACAD2008");
    Tick(2008);
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_FALSE(fs_.Exists("C:\\ACAD2008\\Fonts"));
    for (const std::string& made : fs_.CreateDirectoryCalls())
        EXPECT_EQ(0u, made.find(kChosen)) << made;
    EXPECT_TRUE(HasDriver("C:\\ACAD2008"));
    EXPECT_TRUE(answers_.failedCopies.empty());
    EXPECT_EQ((Names{"C:\\ACAD2008\\Drv\\pdfplot9.hdi"}), SupportTargets());
}

TEST_F(SupportFilesTest, InstallationWithoutEitherFolderGetsNothingAndNoFailure) {
    fs_.AddFolder("C:\\ACAD2008");
    Detect(2008, "C:\\ACAD2008");
    Tick(2008);
    answers_.allOrNothing = true;
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_TRUE(SupportTargets().empty());
    EXPECT_TRUE(fs_.Children("C:\\ACAD2008").empty());
}

TEST_F(SupportFilesTest, TrailingBackslashInALocationIsUsedAsFormed) {
    fs_.AddFolder("C:\\ACAD2008\\Fonts");
    fs_.AddFolder("C:\\ACAD2008\\Drv");
    Detect(2008, "C:\\ACAD2008\\");
    Tick(2008);
    EXPECT_EQ(InstallResult::Completed, Install());
    const Names targets = SupportTargets();
    ASSERT_EQ(3u, targets.size());
    EXPECT_EQ("C:\\ACAD2008\\\\Fonts\\Tarnix_EN.shx", targets[0]);
    EXPECT_EQ("C:\\ACAD2008\\\\Drv\\pdfplot9.hdi", targets[2]);
    EXPECT_TRUE(HasFonts("C:\\ACAD2008"));
    EXPECT_TRUE(HasDriver("C:\\ACAD2008"));
}

TEST_F(SupportFilesTest, ReadOnlyTargetsAreReplacedAndLeftWritable) {
    const auto acad = AddAcad(2008, "C:\\ACAD2008");
    Tick(2008);
    fs_.AddFile(acad + "\\Fonts\\Tarnix_EN.shx", "old", kAttrReadOnly | kAttrArchive);
    fs_.AddFile(acad + "\\Fonts\\Tarnix_HZ.shx", "old", kAttrReadOnly);
    fs_.AddFile(acad + "\\Drv\\pdfplot9.hdi", "old", kAttrReadOnly | kAttrHidden);
    fs_.AddFile(kData + "\\Tarnix_EN.shx", "en", kAttrReadOnly);

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_TRUE(HasFonts(acad));
    EXPECT_TRUE(HasDriver(acad));
    for (const std::string& path :
         {acad + "\\Fonts\\Tarnix_EN.shx", acad + "\\Fonts\\Tarnix_HZ.shx",
          acad + "\\Drv\\pdfplot9.hdi", kData + "\\Tarnix_EN.shx"}) {
        EXPECT_EQ(0u, fs_.Attributes(path) & kAttrReadOnly) << path;
    }
    for (const auto& c : fs_.CopyCalls()) EXPECT_TRUE(c.ok) << c.target;
    // AutoCAD's own files are kept as they were, for the uninstaller.
    EXPECT_EQ("old", fs_.Content(kInstall + "\\Backup\\1-pdfplot9.hdi"));
    EXPECT_EQ(kAttrReadOnly | kAttrHidden, fs_.Attributes(kInstall + "\\Backup\\1-pdfplot9.hdi"));
}

TEST_F(SupportFilesTest, MissingDriverSourceIsPassedOverSilently) {
    ASSERT_TRUE(fs_.DeleteFile(kData + "\\Tarnix.prt5"));
    AddAcad(2008, "C:\\ACAD2008");
    Tick(2008);

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_TRUE(fs_.Children("C:\\ACAD2008\\Drv").empty());
    EXPECT_EQ("hz", fs_.Content("C:\\ACAD2008\\Fonts\\Tarnix_HZ.shx"));
    EXPECT_TRUE(answers_.failedCopies.empty());
}

// An interactive run goes on without the file; a silent one is all or
// nothing.
TEST_F(SupportFilesTest, FontThatCannotBeCopiedIsSkippedOrUndoesASilentRun) {
    const auto acad = AddAcad(2008, "C:\\ACAD2008");
    Tick(2008);
    // A folder in the way is no file of AutoCAD's to keep.
    fs_.AddFolder(acad + "\\Fonts\\Tarnix_HZ.shx");
    const std::string before = State();

    answers_.allOrNothing = true;
    EXPECT_EQ(InstallResult::Failed, Install());
    EXPECT_EQ(before, State());

    answers_.allOrNothing = false;
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_TRUE(answers_.failedCopies.empty());
    EXPECT_EQ("en", fs_.Content(acad + "\\Fonts\\Tarnix_EN.shx"));
    EXPECT_TRUE(fs_.IsFolder(acad + "\\Fonts\\Tarnix_HZ.shx"));
    EXPECT_TRUE(HasDriver(acad));
}

TEST_F(SupportFilesTest, PathsThatDoNotFitAreSkipped) {
    // "\Fonts\Tarnix_EN.shx" is 20 bytes: 239 + 20 = 259 fits, 240 + 20 does not.
    const std::string fits = "C:\\" + std::string(236, 'a');
    const std::string tooLong = "C:\\" + std::string(237, 'b');
    fs_.AddFolder(fits + "\\Fonts");
    fs_.AddFolder(tooLong + "\\Fonts");
    Detect(2010, fits);
    Detect(2010, tooLong);
    Tick(2010);

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_EQ("en", fs_.Content(fits + "\\Fonts\\Tarnix_EN.shx"));
    for (const std::string& target : SupportTargets())
        EXPECT_EQ(0u, target.find(fits)) << "no copy to a path cut short: " << target;
    EXPECT_TRUE(fs_.Children(tooLong + "\\Fonts").empty());
    EXPECT_TRUE(answers_.failedCopies.empty());
}

TEST_F(SupportFilesTest, HiddenAndSystemFontsAndDriverAreReplaced) {
    const auto acad = AddAcad(2008, "C:\\ACAD2008");
    Tick(2008);
    fs_.AddFile(acad + "\\Fonts\\Tarnix_EN.shx", "old", kAttrHidden | kAttrArchive);
    fs_.AddFile(acad + "\\Fonts\\Tarnix_HZ.shx", "old", kAttrHidden | kAttrSystem);
    fs_.AddFile(acad + "\\Drv\\pdfplot9.hdi", "old", kAttrSystem | kAttrHidden | kAttrReadOnly);

    EXPECT_EQ(InstallResult::Completed, Install());

    EXPECT_TRUE(HasFonts(acad));
    EXPECT_TRUE(HasDriver(acad));
    for (const auto& c : fs_.CopyCalls()) EXPECT_TRUE(c.ok) << c.target;
    EXPECT_EQ(kAttrArchive, fs_.Attributes(acad + "\\Fonts\\Tarnix_EN.shx")) << "the source's bits";
}

TEST_F(SupportFilesTest, InternetMarkIsRemovedFromFontsAndDriverAndKeptInData) {
    const std::string mark = ":Zone.Identifier";
    for (const char* name : {"Tarnix_EN.shx", "Tarnix_HZ.shx", "Tarnix.prt5"})
        fs_.AddFile(kData + "\\" + name + mark, "ZoneId=3");
    const auto acad = AddAcad(2008, "C:\\ACAD2008");
    Tick(2008);

    EXPECT_EQ(InstallResult::Completed, Install());

    ASSERT_TRUE(HasFonts(acad));
    ASSERT_TRUE(HasDriver(acad));
    for (const std::string& target : {acad + "\\Fonts\\Tarnix_EN.shx", acad + "\\Fonts\\Tarnix_HZ.shx",
                                      acad + "\\Drv\\pdfplot9.hdi"}) {
        EXPECT_TRUE(fs_.StreamNames(target).empty()) << target;
    }
    for (const char* name : {"Tarnix_EN.shx", "Tarnix_HZ.shx", "Tarnix.prt5"})
        EXPECT_EQ("ZoneId=3", fs_.Content(kData + "\\" + name + mark)) << name;
}

// A font's or the driver's name in AutoCAD's folder may be a link made by
// whoever may write there. Written through, the elevated run would change
// the file it points to; backed up, that file's content would land where
// users may read it and be written back at the uninstall.
TEST_F(SupportFilesTest, FontOrDriverThatIsALinkIsNeitherBackedUpNorWrittenThrough) {
    const auto acad = AddAcad(2008, "C:\\ACAD2008");
    Tick(2008);
    const std::string font = acad + "\\Fonts\\Tarnix_EN.shx";
    const std::string driver = acad + "\\Drv\\pdfplot9.hdi";
    fs_.AddFile(font, "", kAttrArchive | kAttrReparsePoint);  // a symbolic link
    fs_.AddFile(driver, "a system file", kAttrArchive);        // its second name
    fs_.SetLinkCount(driver, 2);
    const std::string before = State();

    answers_.allOrNothing = true;
    EXPECT_EQ(InstallResult::Failed, Install());
    EXPECT_EQ(before, State());

    answers_.allOrNothing = false;
    EXPECT_EQ(InstallResult::Completed, Install());
    EXPECT_EQ(kAttrArchive | kAttrReparsePoint, fs_.Attributes(font));
    EXPECT_EQ("a system file", fs_.Content(driver));
    EXPECT_EQ("hz", fs_.Content(acad + "\\Fonts\\Tarnix_HZ.shx")) << "the plain one is written";
    for (const std::string& name : fs_.Children(kInstall + "\\Backup"))
        EXPECT_EQ(std::string::npos, fs_.Content(kInstall + "\\Backup\\" + name).find("system"));
    for (const auto& w : fs_.WriteCalls()) {
        if (w.target != font && w.target != driver) continue;
        EXPECT_FALSE(w.ok) << w.target;
    }
}

}  // namespace
}  // namespace tx
