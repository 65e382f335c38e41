// The literals below are compiled to code page 936 bytes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "deploy/FileHelpers.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeProcessList.h"

namespace tx {
namespace {

class FileHelpersTest : public ::testing::Test {
protected:
    CodePage cp_{936};
    FakeFileSystem fs_;
    FakeProcessList procs_;

    bool AcadRuns() { return IsAcadRunning(procs_, cp_); }
    // Into an AutoCAD folder, as the fonts' undo does.
    FileStatus Restore(const std::string& backup, const std::string& path) {
        return RestoreBackup(fs_, backup, path, FilePlace::Elsewhere).status;
    }
};

TEST_F(FileHelpersTest, IsAcadRunningMatchesAcadExeAnywhereInTheNameIgnoringCase) {
    procs_.SetNames({"System", "explorer.exe", "ACAD.EXE"});
    EXPECT_TRUE(AcadRuns());
    procs_.SetNames({"Acad.exe"});
    EXPECT_TRUE(AcadRuns());
    procs_.SetNames({"xacad.exe"});
    EXPECT_TRUE(AcadRuns());
    procs_.SetNames({"acad.exe.old"});
    EXPECT_TRUE(AcadRuns());
    procs_.SetNames({"批打印acad.exe"});
    EXPECT_TRUE(AcadRuns());
}

TEST_F(FileHelpersTest, IsAcadRunningIgnoresOtherNames) {
    procs_.SetNames({"acadlt.exe"});
    EXPECT_FALSE(AcadRuns());
    procs_.SetNames({"acad", "acad.ex", "explorer.exe"});
    EXPECT_FALSE(AcadRuns());
    // 0x81 0x41 is one character whose second byte looks like 'A': neither
    // lower-casing nor the search may split it.
    procs_.SetNames({"\x81" "Acad.exe"});
    EXPECT_FALSE(AcadRuns());
}

TEST_F(FileHelpersTest, IsAcadRunningIsFalseWithoutASnapshot) {
    procs_.SetNames({"acad.exe"});
    procs_.FailSnapshot();
    EXPECT_FALSE(AcadRuns());
    procs_.FailSnapshot(false);
    procs_.SetNames({});
    EXPECT_FALSE(AcadRuns());
    EXPECT_EQ(2, procs_.Queries());
}

TEST_F(FileHelpersTest, ClearReadOnlyChangesOnlyTheReadOnlyBit) {
    fs_.AddFile("C:\\d\\a.txt", "", kAttrReadOnly | kAttrHidden | kAttrArchive);
    ClearReadOnly(fs_, "C:\\d\\a.txt");
    EXPECT_EQ(kAttrHidden | kAttrArchive, fs_.Attributes("C:\\d\\a.txt"));

    fs_.AddFile("C:\\d\\b.txt", "", kAttrArchive);
    ClearReadOnly(fs_, "C:\\d\\b.txt");
    ClearReadOnly(fs_, "C:\\d\\missing.txt");
    ClearReadOnly(fs_, "C:\\nowhere\\x.txt");
    ASSERT_EQ(1u, fs_.SetAttributeCalls().size()) << "only the read-only file is written";
    EXPECT_EQ("C:\\d\\a.txt", fs_.SetAttributeCalls()[0].first);
    EXPECT_EQ(kAttrArchive, fs_.Attributes("C:\\d\\b.txt"));
    EXPECT_FALSE(fs_.Exists("C:\\d\\missing.txt"));
}

TEST_F(FileHelpersTest, FileExistsTellsNothingFileAndFolderApart) {
    fs_.AddFolder("C:\\Pkg\\Data");
    fs_.AddFile("C:\\Pkg\\Data\\Tarnix.Ini");
    fs_.AddFile("C:\\Other\\Data");
    EXPECT_EQ(kPathIsFolder, FileExists(fs_, "C:\\Pkg\\Data"));
    EXPECT_EQ(kPathIsFolder, FileExists(fs_, "c:\\pkg\\DATA"));
    EXPECT_EQ(kPathIsFile, FileExists(fs_, "C:\\Pkg\\Data\\tarnix.ini"));
    EXPECT_EQ(kPathIsFile, FileExists(fs_, "C:\\Other\\Data"));
    EXPECT_EQ(kPathMissing, FileExists(fs_, "C:\\Pkg\\Nothing"));
    EXPECT_EQ(kPathMissing, FileExists(fs_, "C:\\Nothing\\Data"));
    // Handed over unchanged: no trailing backslash is removed.
    EXPECT_EQ(kPathMissing, FileExists(fs_, "C:\\Pkg\\Data\\"));
    EXPECT_EQ(kPathMissing, FileExists(fs_, "C:\\"));
    EXPECT_EQ(kPathMissing, FileExists(fs_, ""));
    EXPECT_EQ(0, fs_.OpenListings()) << "every search handle is closed";
}

TEST_F(FileHelpersTest, GetDataFolderSitsBesideTheProgram) {
    fs_.SetModulePath("C:\\Pkg\\SetUp.exe");
    EXPECT_EQ("C:\\Pkg\\Data", DataFolderOf(fs_, cp_));
    fs_.SetModulePath("D:\\下载\\Tarnix批打印\\SetUp.exe");
    EXPECT_EQ("D:\\下载\\Tarnix批打印\\Data", DataFolderOf(fs_, cp_));
    fs_.SetModulePath("SetUp.exe");
    EXPECT_EQ("\\Data", DataFolderOf(fs_, cp_));
}

TEST_F(FileHelpersTest, GetDataFolderSkipsABackslashThatIsASecondByte) {
    // 0x95 0x5C is one character; its 0x5C is not a separator.
    fs_.SetModulePath("C:\\Pkg\\\x95\x5C" "SetUp.exe");
    EXPECT_EQ("C:\\Pkg\\Data", DataFolderOf(fs_, cp_));
    fs_.SetModulePath("\x95\x5C" "SetUp.exe");
    EXPECT_EQ("\\Data", DataFolderOf(fs_, cp_));
}

TEST_F(FileHelpersTest, ClearForOverwriteLiftsWhatBlocksCopyFileAndLeavesFoldersAlone) {
    fs_.AddFile("C:\\d\\desktop.ini", "", kAttrHidden | kAttrSystem | kAttrReadOnly | kAttrArchive);
    fs_.AddFile("C:\\d\\only.txt", "", kAttrHidden);
    fs_.AddFile("C:\\d\\plain.txt", "", kAttrArchive);
    fs_.AddFolder("C:\\d\\sub", kAttrDirectory | kAttrHidden | kAttrReadOnly);
    for (const char* path : {"C:\\d\\desktop.ini", "C:\\d\\only.txt", "C:\\d\\plain.txt",
                             "C:\\d\\sub", "C:\\d\\missing.txt"})
        ClearForOverwrite(fs_, path);
    EXPECT_EQ(kAttrArchive, fs_.Attributes("C:\\d\\desktop.ini"));
    // No bit left at all is written as "normal", which SetFileAttributes takes.
    EXPECT_EQ(kAttrNormal, fs_.Attributes("C:\\d\\only.txt"));
    EXPECT_EQ(kAttrDirectory | kAttrHidden | kAttrReadOnly, fs_.Attributes("C:\\d\\sub"));
    EXPECT_EQ(2u, fs_.SetAttributeCalls().size()) << "nothing written for what needs nothing";
}

TEST_F(FileHelpersTest, DeleteOrScheduleLeavesAFileInUseToTheRestart) {
    fs_.AddFile("C:\\d\\ro.dll", "", kAttrReadOnly);
    fs_.AddFile("C:\\d\\held.dll");
    fs_.AddFolder("C:\\d\\sub");
    fs_.SetInUse("C:\\d\\held.dll");

    EXPECT_EQ(FileStatus::Done, DeleteOrSchedule(fs_, "C:\\d\\ro.dll").status);
    EXPECT_FALSE(fs_.Exists("C:\\d\\ro.dll"));
    EXPECT_EQ(FileStatus::Done, DeleteOrSchedule(fs_, "C:\\d\\missing.dll").status);
    EXPECT_EQ(FileStatus::Done, DeleteOrSchedule(fs_, "C:\\d\\sub").status) << "no file of ours";
    EXPECT_TRUE(fs_.IsFolder("C:\\d\\sub"));

    EXPECT_EQ(FileStatus::AtRestart, DeleteOrSchedule(fs_, "C:\\d\\held.dll").status);
    ASSERT_EQ(1u, fs_.PendingAtRestart().size());
    EXPECT_EQ("C:\\d\\held.dll", fs_.PendingAtRestart()[0].first);
    EXPECT_EQ("", fs_.PendingAtRestart()[0].second);

    // Neither deleted nor scheduled: the refused schedule says why.
    fs_.FailRestartMoves();
    const FileOutcome refused = DeleteOrSchedule(fs_, "C:\\d\\held.dll");
    EXPECT_EQ(FileStatus::Failed, refused.status);
    EXPECT_EQ(kErrorAccessDenied, refused.error);
}

TEST_F(FileHelpersTest, RestoreBackupPutsTheOldContentBackOrStagesItForTheRestart) {
    fs_.AddFile("C:\\Acad\\Fonts\\a.shx", "ours", kAttrHidden | kAttrReadOnly);
    fs_.AddFile("C:\\B\\1-a.shx", "theirs", kAttrReadOnly | kAttrArchive);
    EXPECT_EQ(FileStatus::Done,
              Restore("C:\\B\\1-a.shx", "C:\\Acad\\Fonts\\a.shx"));
    EXPECT_EQ("theirs", fs_.Content("C:\\Acad\\Fonts\\a.shx"));
    EXPECT_EQ(kAttrReadOnly | kAttrArchive, fs_.Attributes("C:\\Acad\\Fonts\\a.shx"))
        << "the backup's attributes, as the file had them";
    EXPECT_FALSE(fs_.Exists("C:\\B\\1-a.shx"));
    // Put back by an earlier run already.
    EXPECT_EQ(FileStatus::Done,
              Restore("C:\\B\\1-a.shx", "C:\\Acad\\Fonts\\a.shx"));

    // In use, on another drive than the backup.
    fs_.AddFile("D:\\Acad\\Fonts\\b.shx", "ours");
    fs_.AddFile("C:\\B\\2-b.shx", "theirs b");
    fs_.SetInUse("D:\\Acad\\Fonts\\b.shx");
    EXPECT_EQ(FileStatus::AtRestart,
              Restore("C:\\B\\2-b.shx", "D:\\Acad\\Fonts\\b.shx"));
    EXPECT_EQ("ours", fs_.Content("D:\\Acad\\Fonts\\b.shx"));
    fs_.SetInUse("D:\\Acad\\Fonts\\b.shx", false);
    fs_.Restart();
    EXPECT_EQ("theirs b", fs_.Content("D:\\Acad\\Fonts\\b.shx"));
    EXPECT_FALSE(fs_.Exists("C:\\B\\2-b.shx"));
    EXPECT_EQ((std::vector<std::string>{"b.shx"}), fs_.Children("D:\\Acad\\Fonts"))
        << "no staged copy left";
}

// The backup goes only once the content put back is on disk: a power cut
// right after must leave the old content at its place, or the backup.
TEST_F(FileHelpersTest, RestoreBackupFlushesWhatItPutsBackBeforeTheBackupGoes) {
    fs_.AddFile("C:\\Acad\\Fonts\\a.shx", "ours");
    fs_.AddFile("C:\\B\\1-a.shx", "theirs", kAttrReadOnly | kAttrArchive);
    ASSERT_EQ(FileStatus::Done,
              Restore("C:\\B\\1-a.shx", "C:\\Acad\\Fonts\\a.shx"));
    fs_.PowerCut();
    EXPECT_EQ("theirs", fs_.Content("C:\\Acad\\Fonts\\a.shx"));
    EXPECT_EQ(kAttrReadOnly | kAttrArchive, fs_.Attributes("C:\\Acad\\Fonts\\a.shx"));

    // Staged for the restart: the staged copy is whole on disk before the
    // backup is given up.
    fs_.AddFile("D:\\Acad\\Fonts\\b.shx", "ours b");
    fs_.AddFile("C:\\B\\2-b.shx", "theirs b");
    fs_.SetInUse("D:\\Acad\\Fonts\\b.shx");
    ASSERT_EQ(FileStatus::AtRestart,
              Restore("C:\\B\\2-b.shx", "D:\\Acad\\Fonts\\b.shx"));
    fs_.PowerCut();
    fs_.SetInUse("D:\\Acad\\Fonts\\b.shx", false);
    fs_.Restart();
    EXPECT_EQ("theirs b", fs_.Content("D:\\Acad\\Fonts\\b.shx"));
}

// Outside the installation folder a link of the target's name (planted by
// whoever may write there) is never written through, nor is a linked
// source read: either would copy or change a file the link points to.
TEST_F(FileHelpersTest, CopiesElsewhereRefuseLinksAtEitherEnd) {
    const std::string font = "C:\\Acad\\Fonts\\a.shx";
    fs_.AddFile("C:\\Pkg\\Data\\a.shx", "new", kAttrArchive | kAttrReadOnly);
    fs_.AddFile(font, "", kAttrArchive | kAttrReparsePoint);  // a symbolic link
    OsResult copied = CopyTo(fs_, "C:\\Pkg\\Data\\a.shx", font, FilePlace::Elsewhere);
    EXPECT_EQ(kErrorCantAccessFile, copied.Code());
    EXPECT_EQ("", fs_.Content(font));
    EXPECT_EQ(kAttrArchive | kAttrReparsePoint, fs_.Attributes(font)) << "left as it was";

    // A hard link: a second name of some other file.
    fs_.AddFile(font, "system's", kAttrArchive);
    fs_.SetLinkCount(font, 2);
    copied = CopyTo(fs_, "C:\\Pkg\\Data\\a.shx", font, FilePlace::Elsewhere);
    EXPECT_EQ(kErrorCantAccessFile, copied.Code());
    EXPECT_EQ("system's", fs_.Content(font));

    // A plain file of one name is written, with the source's attributes as
    // CopyFile would give them.
    fs_.SetLinkCount(font, 1);
    ASSERT_TRUE(CopyTo(fs_, "C:\\Pkg\\Data\\a.shx", font, FilePlace::Elsewhere));
    EXPECT_EQ("new", fs_.Content(font));
    EXPECT_EQ(kAttrArchive | kAttrReadOnly, fs_.Attributes(font));

    // A source that is a second name of another file is not read.
    fs_.AddFile("C:\\Pkg\\Data\\b.shx", "secret");
    fs_.SetLinkCount("C:\\Pkg\\Data\\b.shx", 3);
    EXPECT_EQ(kErrorCantAccessFile,
              CopyTo(fs_, "C:\\Pkg\\Data\\b.shx", "C:\\Acad\\Fonts\\b.shx", FilePlace::Elsewhere)
                  .Code());
    EXPECT_FALSE(fs_.Exists("C:\\Acad\\Fonts\\b.shx"));
}

// A checked package file is read through its held handle wherever it
// goes; outside the installation folder a link at the target is refused as
// it is for a copy by name.
TEST_F(FileHelpersTest, HeldCopiesElsewhereRefuseALinkAtTheTarget) {
    const std::string font = "C:\\Acad\\Fonts\\a.shx";
    fs_.AddFile("C:\\Pkg\\Data\\a.shx", "new");
    std::unique_ptr<IHeldFile> held;
    ASSERT_TRUE(fs_.HoldForReading("C:\\Pkg\\Data\\a.shx", &held));
    fs_.AddFile(font, "", kAttrArchive | kAttrReparsePoint);
    EXPECT_EQ(kErrorCantAccessFile, CopyHeldTo(fs_, *held, font, FilePlace::Elsewhere).Code());
    EXPECT_EQ(kAttrArchive | kAttrReparsePoint, fs_.Attributes(font)) << "left as it was";
    fs_.AddFile(font, "system's", kAttrArchive);
    fs_.SetLinkCount(font, 2);
    EXPECT_EQ(kErrorCantAccessFile, CopyHeldTo(fs_, *held, font, FilePlace::Elsewhere).Code());
    EXPECT_EQ("system's", fs_.Content(font));

    fs_.SetLinkCount(font, 1);
    ASSERT_TRUE(CopyHeldTo(fs_, *held, font, FilePlace::Elsewhere));
    EXPECT_EQ("new", fs_.Content(font));
    // In its own folder the copy is the held file's own, date and all.
    fs_.AddFolder("C:\\Tarnix");
    ASSERT_TRUE(CopyHeldTo(fs_, *held, "C:\\Tarnix\\a.shx", FilePlace::OwnFolder));
    EXPECT_EQ("new", fs_.Content("C:\\Tarnix\\a.shx"));
    ASSERT_FALSE(fs_.CopyCalls().empty());
    EXPECT_TRUE(fs_.CopyCalls().back().fromHeld);
    EXPECT_EQ("C:\\Tarnix\\a.shx", fs_.CopyCalls().back().target);
}

TEST_F(FileHelpersTest, RestoreElsewhereRefusesALinkNowAndAtTheRestart) {
    const std::string font = "C:\\Acad\\Fonts\\a.shx";
    fs_.AddFile("C:\\B\\1-a.shx", "theirs");
    fs_.AddFile(font, "linked", kAttrArchive);
    fs_.SetLinkCount(font, 2);
    const FileOutcome restored = RestoreBackup(fs_, "C:\\B\\1-a.shx", font, FilePlace::Elsewhere);
    EXPECT_EQ(FileStatus::Failed, restored.status);
    EXPECT_EQ(kErrorCantAccessFile, restored.error);
    EXPECT_EQ("linked", fs_.Content(font));
    EXPECT_EQ("theirs", fs_.Content("C:\\B\\1-a.shx")) << "the backup stays for a later try";
    EXPECT_TRUE(fs_.PendingAtRestart().empty()) << "nothing staged to replace it at the restart";
}

}  // namespace
}  // namespace tx
