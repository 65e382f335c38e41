// The literals below are compiled to code page 936 bytes.
#include <gtest/gtest.h>

#include "deploy/Deployment.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeUserIo.h"

namespace tx {
namespace {

class FileHelpersTest : public ::testing::Test {
protected:
    CodePage cp_{936};
    FakeFileSystem fs_;
    FakeProcessList procs_;
    FakeMessageBox mb_;
    Deployer deployer_{fs_, procs_, mb_, cp_};
};

TEST_F(FileHelpersTest, IsAcadRunningMatchesAcadExeAnywhereInTheNameIgnoringCase) {
    procs_.SetNames({"System", "explorer.exe", "ACAD.EXE"});
    EXPECT_TRUE(deployer_.IsAcadRunning());
    procs_.SetNames({"Acad.exe"});
    EXPECT_TRUE(deployer_.IsAcadRunning());
    procs_.SetNames({"xacad.exe"});
    EXPECT_TRUE(deployer_.IsAcadRunning());
    procs_.SetNames({"acad.exe.old"});
    EXPECT_TRUE(deployer_.IsAcadRunning());
    procs_.SetNames({"批打印acad.exe"});
    EXPECT_TRUE(deployer_.IsAcadRunning());
}

TEST_F(FileHelpersTest, IsAcadRunningIgnoresOtherNames) {
    procs_.SetNames({"acadlt.exe"});
    EXPECT_FALSE(deployer_.IsAcadRunning());
    procs_.SetNames({"acad", "acad.ex", "explorer.exe"});
    EXPECT_FALSE(deployer_.IsAcadRunning());
    // 0x81 0x41 is one character whose second byte looks like 'A': neither
    // lower-casing nor the search may split it.
    procs_.SetNames({"\x81" "Acad.exe"});
    EXPECT_FALSE(deployer_.IsAcadRunning());
}

TEST_F(FileHelpersTest, IsAcadRunningIsFalseWithoutASnapshot) {
    procs_.SetNames({"acad.exe"});
    procs_.FailSnapshot();
    EXPECT_FALSE(deployer_.IsAcadRunning());
    procs_.FailSnapshot(false);
    procs_.SetNames({});
    EXPECT_FALSE(deployer_.IsAcadRunning());
    EXPECT_EQ(2, procs_.Queries());
}

TEST_F(FileHelpersTest, ClearReadOnlyChangesOnlyTheReadOnlyBit) {
    fs_.AddFile("C:\\d\\a.txt", "", kAttrReadOnly | kAttrHidden | kAttrArchive);
    deployer_.ClearReadOnly("C:\\d\\a.txt");
    EXPECT_EQ(kAttrHidden | kAttrArchive, fs_.Attributes("C:\\d\\a.txt"));

    fs_.AddFile("C:\\d\\b.txt", "", kAttrArchive);
    deployer_.ClearReadOnly("C:\\d\\b.txt");
    deployer_.ClearReadOnly("C:\\d\\missing.txt");
    deployer_.ClearReadOnly("C:\\nowhere\\x.txt");
    ASSERT_EQ(1u, fs_.SetAttributeCalls().size()) << "only the read-only file is written";
    EXPECT_EQ("C:\\d\\a.txt", fs_.SetAttributeCalls()[0].first);
    EXPECT_EQ(kAttrArchive, fs_.Attributes("C:\\d\\b.txt"));
    EXPECT_FALSE(fs_.Exists("C:\\d\\missing.txt"));
}

TEST_F(FileHelpersTest, FileExistsTellsNothingFileAndFolderApart) {
    fs_.AddFolder("C:\\Pkg\\Data");
    fs_.AddFile("C:\\Pkg\\Data\\Tarnix.Ini");
    fs_.AddFile("C:\\Other\\Data");
    EXPECT_EQ(kPathIsFolder, deployer_.FileExists("C:\\Pkg\\Data"));
    EXPECT_EQ(kPathIsFolder, deployer_.FileExists("c:\\pkg\\DATA"));
    EXPECT_EQ(kPathIsFile, deployer_.FileExists("C:\\Pkg\\Data\\tarnix.ini"));
    EXPECT_EQ(kPathIsFile, deployer_.FileExists("C:\\Other\\Data"));
    EXPECT_EQ(kPathMissing, deployer_.FileExists("C:\\Pkg\\Nothing"));
    EXPECT_EQ(kPathMissing, deployer_.FileExists("C:\\Nothing\\Data"));
    // Handed over unchanged: no trailing backslash is removed.
    EXPECT_EQ(kPathMissing, deployer_.FileExists("C:\\Pkg\\Data\\"));
    EXPECT_EQ(kPathMissing, deployer_.FileExists("C:\\"));
    EXPECT_EQ(kPathMissing, deployer_.FileExists(""));
    EXPECT_EQ(0, fs_.OpenListings()) << "every search handle is closed";
}

TEST_F(FileHelpersTest, GetDataFolderSitsBesideTheProgram) {
    fs_.SetModulePath("C:\\Pkg\\SetUp.exe");
    EXPECT_EQ("C:\\Pkg\\Data", deployer_.GetDataFolder());
    fs_.SetModulePath("D:\\下载\\Tarnix批打印\\SetUp.exe");
    EXPECT_EQ("D:\\下载\\Tarnix批打印\\Data", deployer_.GetDataFolder());
    fs_.SetModulePath("SetUp.exe");
    EXPECT_EQ("\\Data", deployer_.GetDataFolder());
}

TEST_F(FileHelpersTest, GetDataFolderSkipsABackslashThatIsASecondByte) {
    // 0x95 0x5C is one character; its 0x5C is not a separator.
    fs_.SetModulePath("C:\\Pkg\\\x95\x5C" "SetUp.exe");
    EXPECT_EQ("C:\\Pkg\\Data", deployer_.GetDataFolder());
    fs_.SetModulePath("\x95\x5C" "SetUp.exe");
    EXPECT_EQ("\\Data", deployer_.GetDataFolder());
}

}  // namespace
}  // namespace tx
