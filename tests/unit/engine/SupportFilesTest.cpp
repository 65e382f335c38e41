// The literals below are compiled to code page 936 bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deploy/Deployment.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeUserIo.h"

namespace tx {
namespace {

const std::string kData = "C:\\Pkg\\Data";

class SupportFilesTest : public ::testing::Test {
protected:
    SupportFilesTest() {
        fs_.SetModulePath("C:\\Pkg\\SetUp.exe");
        fs_.AddFile(kData + "\\Tarnix_EN.shx", "en");
        fs_.AddFile(kData + "\\Tarnix_HZ.shx", "hz");
        fs_.AddFile(kData + "\\Tarnix.prt5", "driver");
    }

    // An AutoCAD installation with its Fonts and Drv folders.
    std::string AddAcad(int year, const std::string& folder) {
        fs_.AddFolder(folder + "\\Fonts");
        fs_.AddFolder(folder + "\\Drv");
        info_.m_arrAcadLocation[ReleaseIndexOfYear(year)].push_back(folder);
        return folder;
    }
    void Tick(int year) { ticked_[ReleaseIndexOfYear(year)] = 1; }
    bool HasFonts(const std::string& folder) const {
        return fs_.Content(folder + "\\Fonts\\Tarnix_EN.shx") == "en" &&
               fs_.Content(folder + "\\Fonts\\Tarnix_HZ.shx") == "hz";
    }
    bool HasDriver(const std::string& folder) const {
        return fs_.Content(folder + "\\Drv\\pdfplot9.hdi") == "driver";
    }

    CodePage cp_{936};
    FakeFileSystem fs_;
    FakeProcessList procs_;
    FakeMessageBox mb_;
    Deployer deployer_{fs_, procs_, mb_, cp_};
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

    deployer_.DeploySupportFiles(info_, ticked_);

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
    std::vector<std::string> targets;
    for (const auto& c : fs_.CopyCalls()) targets.push_back(c.target);
    EXPECT_EQ((std::vector<std::string>{
                  a2007 + "\\Fonts\\Tarnix_EN.shx", a2007 + "\\Fonts\\Tarnix_HZ.shx",
                  a2008 + "\\Fonts\\Tarnix_EN.shx", a2008 + "\\Fonts\\Tarnix_HZ.shx",
                  a2008 + "\\Drv\\pdfplot9.hdi", b2008 + "\\Fonts\\Tarnix_EN.shx",
                  b2008 + "\\Fonts\\Tarnix_HZ.shx", b2008 + "\\Drv\\pdfplot9.hdi",
                  a2024 + "\\Fonts\\Tarnix_EN.shx", a2024 + "\\Fonts\\Tarnix_HZ.shx"}),
              targets);
    EXPECT_TRUE(mb_.Calls().empty());
}

TEST_F(SupportFilesTest, NothingTickedCopiesNothing) {
    AddAcad(2008, "C:\\ACAD2008");
    AddAcad(2021, "C:\\ACAD2021");
    deployer_.DeploySupportFiles(info_, ticked_);
    EXPECT_TRUE(fs_.CopyCalls().empty());
}

TEST_F(SupportFilesTest, MissingFontsFolderIsNotCreatedAndTheDriverStillArrives) {
    fs_.AddFolder("C:\\ACAD2008\\Drv");
    info_.m_arrAcadLocation[ReleaseIndexOfYear(2008)].push_back("C:\\ACAD2008");
    Tick(2008);
    deployer_.DeploySupportFiles(info_, ticked_);
    EXPECT_FALSE(fs_.Exists("C:\\ACAD2008\\Fonts"));
    EXPECT_TRUE(fs_.CreateDirectoryCalls().empty());
    EXPECT_TRUE(HasDriver("C:\\ACAD2008"));
}

TEST_F(SupportFilesTest, TrailingBackslashInALocationIsUsedAsFormed) {
    fs_.AddFolder("C:\\ACAD2008\\Fonts");
    fs_.AddFolder("C:\\ACAD2008\\Drv");
    deployer_.CopySupportFiles("C:\\ACAD2008\\", true);
    ASSERT_EQ(3u, fs_.CopyCalls().size());
    EXPECT_EQ("C:\\ACAD2008\\\\Fonts\\Tarnix_EN.shx", fs_.CopyCalls()[0].target);
    EXPECT_EQ("C:\\ACAD2008\\\\Drv\\pdfplot9.hdi", fs_.CopyCalls()[2].target);
    EXPECT_TRUE(HasFonts("C:\\ACAD2008"));
    EXPECT_TRUE(HasDriver("C:\\ACAD2008"));
}

TEST_F(SupportFilesTest, ReadOnlyTargetsAreReplacedAndLeftWritable) {
    const auto acad = AddAcad(2008, "C:\\ACAD2008");
    fs_.AddFile(acad + "\\Fonts\\Tarnix_EN.shx", "old", kAttrReadOnly | kAttrArchive);
    fs_.AddFile(acad + "\\Fonts\\Tarnix_HZ.shx", "old", kAttrReadOnly);
    fs_.AddFile(acad + "\\Drv\\pdfplot9.hdi", "old", kAttrReadOnly | kAttrHidden);
    fs_.AddFile(kData + "\\Tarnix_EN.shx", "en", kAttrReadOnly);

    deployer_.CopySupportFiles(acad, true);

    EXPECT_TRUE(HasFonts(acad));
    EXPECT_TRUE(HasDriver(acad));
    for (const std::string& path :
         {acad + "\\Fonts\\Tarnix_EN.shx", acad + "\\Fonts\\Tarnix_HZ.shx",
          acad + "\\Drv\\pdfplot9.hdi", kData + "\\Tarnix_EN.shx"}) {
        EXPECT_EQ(0u, fs_.Attributes(path) & kAttrReadOnly) << path;
    }
    for (const auto& c : fs_.CopyCalls()) EXPECT_TRUE(c.ok) << c.target;
}

TEST_F(SupportFilesTest, MissingDriverSourceIsPassedOverSilently) {
    FakeFileSystem bare;
    bare.SetModulePath("C:\\Pkg\\SetUp.exe");
    bare.AddFile(kData + "\\Tarnix_EN.shx", "en");
    bare.AddFile(kData + "\\Tarnix_HZ.shx", "hz");
    bare.AddFolder("C:\\ACAD2008\\Fonts");
    bare.AddFolder("C:\\ACAD2008\\Drv");
    Deployer deployer(bare, procs_, mb_, cp_);

    deployer.CopySupportFiles("C:\\ACAD2008", true);

    EXPECT_TRUE(bare.Children("C:\\ACAD2008\\Drv").empty());
    EXPECT_EQ("hz", bare.Content("C:\\ACAD2008\\Fonts\\Tarnix_HZ.shx"));
    EXPECT_TRUE(mb_.Calls().empty());
}

TEST_F(SupportFilesTest, PathsThatDoNotFitAreSkipped) {
    // "\Fonts\Tarnix_EN.shx" is 20 bytes: 239 + 20 = 259 fits, 240 + 20 does not.
    const std::string fits = "C:\\" + std::string(236, 'a');
    const std::string tooLong = "C:\\" + std::string(237, 'b');
    fs_.AddFolder(fits + "\\Fonts");
    fs_.AddFolder(tooLong + "\\Fonts");

    deployer_.CopySupportFiles(fits, false);
    EXPECT_EQ("en", fs_.Content(fits + "\\Fonts\\Tarnix_EN.shx"));

    const std::size_t before = fs_.CopyCalls().size();
    deployer_.CopySupportFiles(tooLong, false);
    EXPECT_EQ(before, fs_.CopyCalls().size()) << "no copy to a path cut short";
    EXPECT_TRUE(fs_.Children(tooLong + "\\Fonts").empty());
}

TEST_F(SupportFilesTest, HiddenAndSystemFontsAndDriverAreReplaced) {
    const auto acad = AddAcad(2008, "C:\\ACAD2008");
    fs_.AddFile(acad + "\\Fonts\\Tarnix_EN.shx", "old", kAttrHidden | kAttrArchive);
    fs_.AddFile(acad + "\\Fonts\\Tarnix_HZ.shx", "old", kAttrHidden | kAttrSystem);
    fs_.AddFile(acad + "\\Drv\\pdfplot9.hdi", "old", kAttrSystem | kAttrHidden | kAttrReadOnly);

    deployer_.CopySupportFiles(acad, true);

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

    deployer_.DeploySupportFiles(info_, ticked_);

    ASSERT_TRUE(HasFonts(acad));
    ASSERT_TRUE(HasDriver(acad));
    for (const std::string& target : {acad + "\\Fonts\\Tarnix_EN.shx", acad + "\\Fonts\\Tarnix_HZ.shx",
                                      acad + "\\Drv\\pdfplot9.hdi"}) {
        EXPECT_TRUE(fs_.StreamNames(target).empty()) << target;
    }
    for (const char* name : {"Tarnix_EN.shx", "Tarnix_HZ.shx", "Tarnix.prt5"})
        EXPECT_EQ("ZoneId=3", fs_.Content(kData + "\\" + name + mark)) << name;
}

}  // namespace
}  // namespace tx
