// The in-memory file system's alternate data streams, overwrite rules,
// power cuts and error codes, which the deployment and journal tests rely
// on standing in for NTFS, CopyFile, the system cache and GetLastError.
#include "tests/fakes/FakeFileSystem.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tx {
namespace {

using Names = std::vector<std::string>;

const std::string kFile = "C:\\d\\f.txt";
const std::string kMark = kFile + ":Zone.Identifier";

std::vector<std::string> Listing(FakeFileSystem& fs, const std::string& pattern) {
    Names names;
    FindEntry entry;
    auto listing = fs.FindFirst(pattern, &entry);
    while (listing) {
        names.push_back(entry.name);
        if (!listing->Next(&entry)) break;
    }
    return names;
}

TEST(FakeFileSystemStreams, ColonNamesAStreamOfTheFileThatListingsDoNotShow) {
    FakeFileSystem fs;
    fs.AddFile(kFile, "body", kAttrHidden | kAttrArchive);
    fs.AddFile(kMark, "ZoneId=3");

    EXPECT_EQ("ZoneId=3", fs.Content(kMark));
    EXPECT_EQ("body", fs.Content(kFile));
    EXPECT_TRUE(fs.Exists("c:\\D\\F.TXT:zone.identifier")) << "names compare without case";
    EXPECT_TRUE(fs.Exists(kMark + ":$DATA"));
    EXPECT_FALSE(fs.Exists(kFile + ":Other"));
    EXPECT_FALSE(fs.Exists(kMark + ":$INDEX_ALLOCATION")) << "no data stream";
    EXPECT_EQ((Names{"Zone.Identifier"}), fs.StreamNames(kFile));
    EXPECT_EQ((Names{"f.txt"}), fs.Children("C:\\d"));
    EXPECT_EQ((Names{".", "..", "f.txt"}), Listing(fs, "C:\\d\\*.*"));
    // A stream reports its file's attributes; a missing one reports none.
    EXPECT_EQ(kAttrHidden | kAttrArchive, fs.GetAttributes(kMark));
    EXPECT_EQ(kInvalidAttributes, fs.GetAttributes(kFile + ":Other"));
    EXPECT_EQ(kInvalidAttributes, fs.GetAttributes(kFile + ":"));

    // Writing a stream of a missing file makes the file, empty.
    fs.AddFile("C:\\d\\new.txt:s", "x");
    EXPECT_TRUE(fs.Exists("C:\\d\\new.txt"));
    EXPECT_EQ("", fs.Content("C:\\d\\new.txt"));
    // No folder name holds a colon.
    EXPECT_EQ(kErrorInvalidName, fs.CreateDirectory("C:\\d\\x:y").Code());
    EXPECT_FALSE(fs.Exists("C:\\d\\x:y"));
}

TEST(FakeFileSystemStreams, CopyFileCarriesTheStreamsAndWritesTheTargetAfresh) {
    FakeFileSystem fs;
    fs.AddFile(kFile, "body");
    fs.AddFile(kMark, "ZoneId=3");
    fs.AddFile(kFile + ":Summary", "sum");
    fs.AddFile("C:\\t\\old.txt", "old");
    fs.AddFile("C:\\t\\old.txt:Stale", "stale");

    ASSERT_TRUE(fs.CopyFile(kFile, "C:\\t\\new.txt"));
    ASSERT_TRUE(fs.CopyFile(kFile, "C:\\t\\old.txt"));

    for (const std::string target : {"C:\\t\\new.txt", "C:\\t\\old.txt"}) {
        EXPECT_EQ("body", fs.Content(target));
        EXPECT_EQ((Names{"Summary", "Zone.Identifier"}), fs.StreamNames(target)) << target;
        EXPECT_EQ("ZoneId=3", fs.Content(target + ":Zone.Identifier"));
    }
    EXPECT_EQ(2u, fs.StreamNames(kFile).size()) << "the source keeps its streams";

    // A stream copied alone becomes a plain file; nothing is copied onto a stream.
    ASSERT_TRUE(fs.CopyFile(kMark, "C:\\t\\zone.txt"));
    EXPECT_EQ("ZoneId=3", fs.Content("C:\\t\\zone.txt"));
    EXPECT_TRUE(fs.StreamNames("C:\\t\\zone.txt").empty());
    EXPECT_FALSE(fs.CopyFile(kFile, "C:\\t\\new.txt:s"));
    EXPECT_EQ(kErrorFileNotFound, fs.CopyFile(kFile + ":Missing", "C:\\t\\other.txt").Code());
}

TEST(FakeFileSystemStreams, CopyFileRefusesHiddenAndReadOnlyTargetsOnly) {
    FakeFileSystem fs;
    fs.AddFile("C:\\s.txt", "new");
    fs.AddFile("C:\\t\\hidden.txt", "old", kAttrHidden);
    fs.AddFile("C:\\t\\readonly.txt", "old", kAttrReadOnly);
    fs.AddFile("C:\\t\\system.txt", "old", kAttrSystem);

    EXPECT_EQ(kErrorAccessDenied, fs.CopyFile("C:\\s.txt", "C:\\t\\hidden.txt").Code());
    EXPECT_EQ(kErrorAccessDenied, fs.CopyFile("C:\\s.txt", "C:\\t\\readonly.txt").Code());
    EXPECT_TRUE(fs.CopyFile("C:\\s.txt", "C:\\t\\system.txt"));
    EXPECT_EQ("old", fs.Content("C:\\t\\hidden.txt"));
    EXPECT_EQ("new", fs.Content("C:\\t\\system.txt"));
}

TEST(FakeFileSystemStreams, DeleteFileRemovesOneStreamOrTheFileWithAllOfThem) {
    FakeFileSystem fs;
    fs.AddFile(kFile, "body");
    fs.AddFile(kMark, "ZoneId=3");
    fs.AddFile(kFile + ":Summary", "sum");

    EXPECT_TRUE(fs.DeleteFile(kMark));
    EXPECT_FALSE(fs.Exists(kMark));
    EXPECT_EQ("body", fs.Content(kFile));
    EXPECT_EQ((Names{"Summary"}), fs.StreamNames(kFile));
    EXPECT_EQ(kErrorFileNotFound, fs.DeleteFile(kMark).Code()) << "gone already";

    // A read-only file keeps its streams, a folder is no file.
    fs.AddFile("C:\\d\\ro.txt", "ro", kAttrReadOnly);
    fs.AddFile("C:\\d\\ro.txt:Zone.Identifier", "z");
    EXPECT_EQ(kErrorAccessDenied, fs.DeleteFile("C:\\d\\ro.txt:Zone.Identifier").Code());
    EXPECT_TRUE(fs.Exists("C:\\d\\ro.txt:Zone.Identifier"));
    EXPECT_EQ(kErrorAccessDenied, fs.DeleteFile("C:\\d").Code());
    EXPECT_TRUE(fs.IsFolder("C:\\d"));

    EXPECT_TRUE(fs.DeleteFile(kFile));
    EXPECT_FALSE(fs.Exists(kFile));
    fs.AddFile(kFile, "again");
    EXPECT_TRUE(fs.StreamNames(kFile).empty()) << "the streams went with the file";
    EXPECT_EQ(kErrorFileNotFound, fs.DeleteFile("C:\\d\\missing.txt").Code());
}

// --- Power cuts ------------------------------------------------------------

TEST(FakeFileSystemPowerCut, CopiedDataIsLostUnlessFlushed) {
    FakeFileSystem fs;
    fs.AddFile("C:\\s\\a.dll", "new");
    fs.AddFile("C:\\s\\a.dll:Zone.Identifier", "ZoneId=3");
    fs.AddFile("C:\\t\\old.dll", "old");
    fs.AddFolder("C:\\t\\Sub");
    ASSERT_TRUE(fs.CopyFile("C:\\s\\a.dll", "C:\\t\\fresh.dll"));
    ASSERT_TRUE(fs.CopyFile("C:\\s\\a.dll", "C:\\t\\old.dll"));
    ASSERT_TRUE(fs.CopyFile("C:\\s\\a.dll", "C:\\t\\flushed.dll"));
    ASSERT_TRUE(fs.CopyFile("C:\\s\\a.dll", "C:\\t\\refused.dll"));
    EXPECT_TRUE(fs.FlushFile("C:\\t\\flushed.dll"));
    EXPECT_TRUE(fs.FlushFile("C:\\t\\flushed.dll:Zone.Identifier"));
    fs.FailFlush("C:\\t\\refused.dll");
    EXPECT_EQ(kErrorWriteFault, fs.FlushFile("C:\\t\\refused.dll").Code());
    EXPECT_EQ("new", fs.Content("C:\\t\\old.dll")) << "readers see the cache";

    fs.PowerCut();
    EXPECT_TRUE(fs.Exists("C:\\t\\fresh.dll")) << "the creation was journalled";
    EXPECT_EQ("", fs.Content("C:\\t\\fresh.dll"));
    EXPECT_TRUE(fs.Exists("C:\\t\\fresh.dll:Zone.Identifier"));
    EXPECT_EQ("", fs.Content("C:\\t\\fresh.dll:Zone.Identifier"));
    EXPECT_EQ("", fs.Content("C:\\t\\old.dll")) << "truncated on disk, the new data lost: neither";
    EXPECT_EQ("new", fs.Content("C:\\t\\flushed.dll"));
    EXPECT_EQ("ZoneId=3", fs.Content("C:\\t\\flushed.dll:Zone.Identifier"));
    EXPECT_EQ("", fs.Content("C:\\t\\refused.dll")) << "a failed flush wrote nothing";
    EXPECT_EQ("new", fs.Content("C:\\s\\a.dll")) << "the scene is on disk";

    // Only what can be opened for writing can be flushed.
    fs.AddFile("C:\\t\\ro.dll", "ro", kAttrReadOnly);
    fs.AddFile("C:\\t\\held.dll", "held");
    fs.SetInUse("C:\\t\\held.dll");
    EXPECT_EQ(kErrorFileNotFound, fs.FlushFile("C:\\t\\missing.dll").Code());
    EXPECT_EQ(kErrorAccessDenied, fs.FlushFile("C:\\t\\Sub").Code());
    EXPECT_EQ(kErrorAccessDenied, fs.FlushFile("C:\\t\\ro.dll").Code());
    EXPECT_EQ(kErrorSharingViolation, fs.FlushFile("C:\\t\\held.dll").Code());
    EXPECT_EQ(kErrorFileNotFound, fs.FlushFile("C:\\t\\flushed.dll:Missing").Code());
}

TEST(FakeFileSystemPowerCut, WritesAppendsAndMetadataAreOnDiskWhenTheCallReturns) {
    FakeFileSystem fs;
    fs.AddFile("C:\\t\\set.ini", "old");
    fs.AddFile("C:\\t\\gone.txt", "x");
    fs.AddFile("C:\\s\\a.dll", "AAAA");
    ASSERT_TRUE(fs.WriteWholeFile("C:\\t\\set.ini", "new"));
    ASSERT_TRUE(fs.WriteWholeFile("C:\\t\\made.ini", "made"));
    ASSERT_TRUE(fs.AppendToFile("C:\\t\\log.txt", "line 1\n"));
    ASSERT_TRUE(fs.AppendToFile("C:\\t\\log.txt", "line 2\n"));
    // An append flushes what was copied before it too.
    ASSERT_TRUE(fs.CopyFile("C:\\s\\a.dll", "C:\\t\\copy.txt"));
    ASSERT_TRUE(fs.AppendToFile("C:\\t\\copy.txt", "+"));
    ASSERT_TRUE(fs.CreateDirectory("C:\\t\\Sub"));
    ASSERT_TRUE(fs.DeleteFile("C:\\t\\gone.txt"));
    ASSERT_TRUE(fs.SetAttributes("C:\\t\\set.ini", kAttrHidden));
    ASSERT_TRUE(fs.MoveFileAtRestart("C:\\t\\made.ini", ""));

    fs.PowerCut();
    EXPECT_EQ("new", fs.Content("C:\\t\\set.ini"));
    EXPECT_EQ("made", fs.Content("C:\\t\\made.ini"));
    EXPECT_EQ("line 1\nline 2\n", fs.Content("C:\\t\\log.txt"));
    EXPECT_EQ("AAAA+", fs.Content("C:\\t\\copy.txt"));
    EXPECT_TRUE(fs.IsFolder("C:\\t\\Sub"));
    EXPECT_FALSE(fs.Exists("C:\\t\\gone.txt"));
    EXPECT_EQ(kAttrHidden, fs.Attributes("C:\\t\\set.ini"));
    ASSERT_EQ(1u, fs.PendingAtRestart().size()) << "restart operations are in the registry";
    fs.Restart();
    EXPECT_FALSE(fs.Exists("C:\\t\\made.ini"));
}

TEST(FakeFileSystemPowerCut, AnOrderlyRestartWritesTheCacheOut) {
    FakeFileSystem fs;
    fs.AddFile("C:\\s\\a.dll", "new");
    fs.AddFile("C:\\t\\a.dll", "old");
    ASSERT_TRUE(fs.CopyFile("C:\\s\\a.dll", "C:\\t\\a.dll"));
    fs.Restart();
    fs.PowerCut();
    EXPECT_EQ("new", fs.Content("C:\\t\\a.dll"));
}

TEST(FakeFileSystemReplace, ReplacesInOneStepThatAPowerCutKeeps) {
    FakeFileSystem fs;
    fs.AddFile("C:\\j\\State.dat", "v1");
    ASSERT_TRUE(fs.WriteWholeFile("C:\\j\\state.tmp", "v2"));
    ASSERT_TRUE(fs.ReplaceFile("C:\\j\\state.tmp", "C:\\j\\state.dat"));
    EXPECT_FALSE(fs.Exists("C:\\j\\state.tmp"));
    EXPECT_EQ("v2", fs.Content("C:\\j\\State.dat"));
    EXPECT_EQ("state.dat", fs.StoredName("C:\\j\\State.dat")) << "the name given to the move";
    EXPECT_EQ((Names{"state.dat"}), fs.Children("C:\\j"));
    fs.PowerCut();
    EXPECT_EQ("v2", fs.Content("C:\\j\\state.dat"));
    EXPECT_FALSE(fs.Exists("C:\\j\\state.tmp"));

    // The rename is on disk, the unflushed data it carries is not.
    fs.AddFile("C:\\s\\v3.dat", "v3");
    ASSERT_TRUE(fs.CopyFile("C:\\s\\v3.dat", "C:\\j\\state.tmp"));
    ASSERT_TRUE(fs.ReplaceFile("C:\\j\\state.tmp", "C:\\j\\state.dat"));
    EXPECT_EQ("v3", fs.Content("C:\\j\\state.dat"));
    fs.PowerCut();
    EXPECT_EQ("", fs.Content("C:\\j\\state.dat"));

    // Onto a missing name: the file moves with its attributes and streams.
    fs.AddFile("C:\\j\\a.tmp", "a", kAttrHidden | kAttrArchive);
    fs.AddFile("C:\\j\\a.tmp:Zone.Identifier", "z");
    ASSERT_TRUE(fs.ReplaceFile("C:\\j\\a.tmp", "C:\\j\\a.dat"));
    EXPECT_EQ(kAttrHidden | kAttrArchive, fs.Attributes("C:\\j\\a.dat"));
    EXPECT_EQ("z", fs.Content("C:\\j\\a.dat:Zone.Identifier"));
    EXPECT_FALSE(fs.Exists("C:\\j\\a.tmp"));
}

TEST(FakeFileSystemReplace, RefusalsLeaveBothFilesAsTheyWere) {
    FakeFileSystem fs;
    fs.AddFile("C:\\j\\new.tmp", "new");
    fs.AddFile("C:\\j\\state.dat", "old");
    fs.AddFile("D:\\j\\state.dat", "other drive");
    fs.AddFile("C:\\j\\ro.dat", "ro", kAttrReadOnly);
    fs.AddFile("C:\\j\\held.dat", "held");
    fs.AddFolder("C:\\j\\Folder");
    fs.SetInUse("C:\\j\\held.dat");
    const std::vector<std::string> before = fs.Tree("C:\\");

    const auto code = [&](const std::string& from, const std::string& to) {
        return fs.ReplaceFile(from, to).Code();
    };
    EXPECT_EQ(kErrorFileNotFound, code("C:\\j\\missing.tmp", "C:\\j\\state.dat"));
    EXPECT_EQ(kErrorNotSameDevice, code("C:\\j\\new.tmp", "D:\\j\\state.dat"));
    EXPECT_EQ(kErrorNotSameDevice, code("C:\\j\\new.tmp", "D:\\j\\fresh.dat"));
    EXPECT_EQ(kErrorAccessDenied, code("C:\\j\\new.tmp", "C:\\j\\ro.dat"));
    EXPECT_EQ(kErrorAccessDenied, code("C:\\j\\new.tmp", "C:\\j\\held.dat"));
    EXPECT_EQ(kErrorSharingViolation, code("C:\\j\\held.dat", "C:\\j\\state.dat"));
    EXPECT_EQ(kErrorAccessDenied, code("C:\\j\\new.tmp", "C:\\j\\Folder"));
    EXPECT_EQ(kErrorAccessDenied, code("C:\\j\\Folder", "C:\\j\\state.dat"));
    EXPECT_EQ(kErrorPathNotFound, code("C:\\j\\new.tmp", "C:\\j\\NoFolder\\state.dat"));
    fs.FailReplace("C:\\j\\state.dat");
    EXPECT_EQ(kErrorAccessDenied, code("C:\\j\\new.tmp", "C:\\J\\STATE.DAT"));

    EXPECT_EQ(before, fs.Tree("C:\\"));
    EXPECT_EQ("other drive", fs.Content("D:\\j\\state.dat"));
    EXPECT_FALSE(fs.Exists("D:\\j\\fresh.dat"));
}

// --- Error codes -------------------------------------------------------------

// What Windows says when a name is missing: ERROR_FILE_NOT_FOUND when its
// folder is there, ERROR_PATH_NOT_FOUND when the folder is missing too.
TEST(FakeFileSystemCodes, AMissingFileAndAMissingFolderAreToldApart) {
    FakeFileSystem fs;
    fs.AddFolder("C:\\d");
    fs.AddFile("C:\\f.txt", "f");
    std::string content;
    std::uint64_t size = 0;
    for (const auto& [path, code] : std::vector<std::pair<std::string, std::uint32_t>>{
             {"C:\\d\\missing.txt", kErrorFileNotFound},
             {"C:\\none\\missing.txt", kErrorPathNotFound},
             {"C:\\f.txt\\below.txt", kErrorPathNotFound},
             {"Q:\\missing.txt", kErrorPathNotFound}}) {
        EXPECT_EQ(code, fs.ReadWholeFile(path, &content).Code()) << path;
        EXPECT_EQ(code, fs.FileSize(path, &size).Code()) << path;
        EXPECT_EQ(code, fs.DeleteFile(path).Code()) << path;
        EXPECT_EQ(code, fs.SetAttributes(path, kAttrNormal).Code()) << path;
        EXPECT_EQ(code, fs.RemoveDirectory(path).Code()) << path;
        EXPECT_EQ(code, fs.FlushFile(path).Code()) << path;
        EXPECT_EQ(code, fs.CopyFile(path, "C:\\d\\copy.txt").Code()) << path;
        EXPECT_EQ(code, fs.ReplaceFile(path, "C:\\d\\copy.txt").Code()) << path;
    }
    // Creating fails only for a missing folder.
    EXPECT_EQ(kErrorPathNotFound, fs.WriteWholeFile("C:\\none\\new.txt", "x").Code());
    EXPECT_EQ(kErrorPathNotFound, fs.AppendToFile("C:\\none\\new.txt", "x").Code());
    EXPECT_EQ(kErrorPathNotFound, fs.CopyFile("C:\\f.txt", "C:\\none\\new.txt").Code());
    EXPECT_EQ(kErrorPathNotFound, fs.CreateDirectory("C:\\none\\Sub").Code());
    EXPECT_FALSE(fs.Exists("C:\\none"));
}

TEST(FakeFileSystemCodes, RefusalsCarryTheCodesWindowsGives) {
    FakeFileSystem fs;
    fs.AddFile("C:\\d\\f.txt", "f");
    fs.AddFile("C:\\d\\ro.txt", "ro", kAttrReadOnly);
    fs.AddFile("C:\\d\\hidden.txt", "h", kAttrHidden);
    fs.AddFile("C:\\d\\held.txt", "held");
    fs.SetInUse("C:\\d\\held.txt");
    std::string content;

    EXPECT_EQ(kErrorAlreadyExists, fs.CreateDirectory("C:\\d").Code());
    EXPECT_EQ(kErrorAlreadyExists, fs.CreateDirectory("C:\\d\\f.txt").Code());
    EXPECT_EQ(kErrorDirNotEmpty, fs.RemoveDirectory("C:\\d").Code());
    EXPECT_EQ(kErrorDirectory, fs.RemoveDirectory("C:\\d\\f.txt").Code()) << "no folder";
    EXPECT_EQ(kErrorAccessDenied, fs.ReadWholeFile("C:\\d", &content).Code()) << "no file";
    EXPECT_EQ(kErrorAccessDenied, fs.DeleteFile("C:\\d\\ro.txt").Code());
    EXPECT_EQ(kErrorSharingViolation, fs.DeleteFile("C:\\d\\held.txt").Code());
    EXPECT_EQ(kErrorSharingViolation, fs.CopyFile("C:\\d\\held.txt", "C:\\d\\c.txt").Code());
    EXPECT_EQ(kErrorSharingViolation, fs.CopyFile("C:\\d\\f.txt", "C:\\d\\held.txt").Code());
    EXPECT_EQ(kErrorAccessDenied, fs.CopyFile("C:\\d\\f.txt", "C:\\d").Code()) << "a folder";
    EXPECT_EQ(kErrorAccessDenied, fs.CopyFile("C:\\d", "C:\\d\\c.txt").Code()) << "a folder";
    // Both open the file OPEN_ALWAYS: a hidden file takes them and stays
    // hidden, a read-only one refuses them.
    EXPECT_TRUE(fs.WriteWholeFile("C:\\d\\hidden.txt", "x"));
    EXPECT_EQ(kAttrHidden | kAttrArchive, fs.Attributes("C:\\d\\hidden.txt"));
    EXPECT_TRUE(fs.AppendToFile("C:\\d\\hidden.txt", "x"));
    EXPECT_EQ(kErrorAccessDenied, fs.WriteWholeFile("C:\\d\\ro.txt", "x").Code());
    EXPECT_EQ(kErrorAccessDenied, fs.AppendToFile("C:\\d\\ro.txt", "x").Code());
    EXPECT_EQ(kErrorSharingViolation, fs.ReadWholeFile("C:\\d\\held.txt", &content).Code());
    // Opened as itself: a link, or a file with another name, is refused
    // before anything is read or truncated.
    fs.AddFile("C:\\d\\link.txt", "", kAttrArchive | kAttrReparsePoint);
    fs.AddFile("C:\\d\\named-twice.txt", "other's");
    fs.SetLinkCount("C:\\d\\named-twice.txt", 2);
    for (const char* linked : {"C:\\d\\link.txt", "C:\\d\\named-twice.txt"}) {
        EXPECT_EQ(kErrorCantAccessFile, fs.ReadWholeFile(linked, &content).Code()) << linked;
        EXPECT_EQ(kErrorCantAccessFile, fs.WriteWholeFile(linked, "x").Code()) << linked;
    }
    EXPECT_EQ("other's", fs.Content("C:\\d\\named-twice.txt"));
    EXPECT_EQ(kErrorSharingViolation, fs.WriteWholeFile("C:\\d\\held.txt", "x").Code());
    EXPECT_EQ(kErrorSharingViolation, fs.AppendToFile("C:\\d\\held.txt", "x").Code());

    // What is injected fails as the condition it stands for does.
    fs.FailCopyTo("C:\\d\\c.txt", 2);
    EXPECT_EQ(kErrorAccessDenied, fs.CopyFile("C:\\d\\f.txt", "C:\\d\\c.txt").Code());
    EXPECT_EQ(kErrorAccessDenied, fs.WriteWholeFile("C:\\d\\c.txt", "f").Code());
    EXPECT_TRUE(fs.CopyFile("C:\\d\\f.txt", "C:\\d\\c.txt")) << "twice only";
    fs.FailCreateDirectory("C:\\d\\Sub");
    EXPECT_EQ(kErrorAccessDenied, fs.CreateDirectory("C:\\d\\Sub").Code());
    fs.FailSetAttributes("C:\\d\\f.txt");
    EXPECT_EQ(kErrorWriteProtect, fs.SetAttributes("C:\\d\\f.txt", kAttrNormal).Code());
    fs.FailAppendsAfter("C:\\d\\log.txt", 1);
    EXPECT_TRUE(fs.AppendToFile("C:\\d\\log.txt", "1"));
    EXPECT_EQ(kErrorDiskFull, fs.AppendToFile("C:\\d\\log.txt", "2").Code());
    fs.FailRestartMoves();
    EXPECT_EQ(kErrorAccessDenied, fs.MoveFileAtRestart("C:\\d\\f.txt", "").Code());
    EXPECT_TRUE(fs.PendingAtRestart().empty());
}

// --- Names and identity ------------------------------------------------------

TEST(FakeFileSystemNames, ShortNamesAndTrimmedNamesReachTheFileTheyName) {
    FakeFileSystem fs;
    fs.AddFile("C:\\d\\InstallRecord.txt", "journal");
    fs.AddFile("C:\\d\\Install Notes.txt", "notes");
    fs.AddFile("C:\\d\\readme.txt", "readme");
    // NTFS: the first six characters, '~', the lowest free number, three of
    // the extension; a valid 8.3 name gets none.
    EXPECT_EQ("INSTAL~1.TXT", fs.ShortName("C:\\d\\InstallRecord.txt"));
    EXPECT_EQ("INSTAL~2.TXT", fs.ShortName("C:\\d\\Install Notes.txt"));
    EXPECT_EQ("", fs.ShortName("C:\\d\\readme.txt"));
    EXPECT_EQ("journal", fs.Content("C:\\d\\instal~1.txt"));
    EXPECT_EQ("notes", fs.Content("C:\\d\\INSTAL~2.TXT"));
    EXPECT_FALSE(fs.Exists("C:\\d\\INSTAL~3.TXT"));
    // Win32 paths drop the trailing dots and spaces of the last name.
    EXPECT_EQ("journal", fs.Content("C:\\d\\InstallRecord.txt. . "));
    EXPECT_TRUE(fs.CopyFile("C:\\d\\readme.txt", "C:\\d\\INSTAL~1.TXT."));
    EXPECT_EQ("readme", fs.Content("C:\\d\\InstallRecord.txt")) << "written through the short name";
    EXPECT_EQ((Names{"InstallRecord.txt", "Install Notes.txt", "readme.txt"}), fs.Children("C:\\d"));
    // A short name in a folder's place reaches what is below it.
    fs.AddFile("C:\\Program Files\\x.txt", "x");
    EXPECT_EQ("x", fs.Content("C:\\PROGRA~1\\x.txt"));

    // "\\?\" takes a name as it is: such a file is listed with its dot, and
    // a Win32 path cannot reach it.
    fs.AddFile("\\\\?\\C:\\d\\Uninstall.exe.", "dotted");
    EXPECT_EQ((Names{"InstallRecord.txt", "Install Notes.txt", "readme.txt", "Uninstall.exe."}),
              fs.Children("C:\\d"));
    EXPECT_FALSE(fs.Exists("C:\\d\\Uninstall.exe."));
    EXPECT_EQ("dotted", fs.Content("\\\\?\\C:\\d\\Uninstall.exe."));
}

TEST(FakeFileSystemNames, EveryNameOfAFileGivesOneIdentityThatRenamesKeep) {
    FakeFileSystem fs;
    fs.AddFile("C:\\d\\InstallRecord.txt", "journal");
    fs.AddFile("C:\\d\\other.txt", "other");
    fs.AddFolder("C:\\d\\Backup");
    fs.AddFile("C:\\d\\InstallRecord.txt:Zone.Identifier", "ZoneId=3");
    FileId journal, shortName, trimmed, stream, other, folder, drive2;
    ASSERT_TRUE(fs.FileIdentity("C:\\d\\InstallRecord.txt", &journal));
    ASSERT_TRUE(fs.FileIdentity("C:\\d\\INSTAL~1.TXT", &shortName));
    ASSERT_TRUE(fs.FileIdentity("c:\\D\\installrecord.txt .", &trimmed));
    ASSERT_TRUE(fs.FileIdentity("C:\\d\\InstallRecord.txt:Zone.Identifier", &stream));
    ASSERT_TRUE(fs.FileIdentity("C:\\d\\other.txt", &other));
    ASSERT_TRUE(fs.FileIdentity("C:\\d\\Backup", &folder));
    EXPECT_EQ(journal, shortName);
    EXPECT_EQ(journal, trimmed);
    EXPECT_EQ(journal, stream) << "a stream belongs to its file";
    EXPECT_NE(journal, other);
    EXPECT_NE(journal, folder);
    EXPECT_EQ(kErrorFileNotFound, fs.FileIdentity("C:\\d\\none.txt", &other).Code());
    EXPECT_EQ(kErrorPathNotFound, fs.FileIdentity("C:\\none\\x.txt", &other).Code());
    // The same place on another drive is another file.
    fs.AddFile("D:\\d\\InstallRecord.txt", "journal");
    ASSERT_TRUE(fs.FileIdentity("D:\\d\\InstallRecord.txt", &drive2));
    EXPECT_NE(journal, drive2);

    // Written over, or renamed over another file, it stays itself; a file
    // made anew under an old name is another.
    ASSERT_TRUE(fs.CopyFile("C:\\d\\other.txt", "C:\\d\\InstallRecord.txt"));
    FileId after;
    ASSERT_TRUE(fs.FileIdentity("C:\\d\\InstallRecord.txt", &after));
    EXPECT_EQ(journal, after);
    ASSERT_TRUE(fs.ReplaceFile("C:\\d\\InstallRecord.txt", "C:\\d\\other.txt"));
    ASSERT_TRUE(fs.FileIdentity("C:\\d\\other.txt", &after));
    EXPECT_EQ(journal, after);
    ASSERT_TRUE(fs.WriteWholeFile("C:\\d\\InstallRecord.txt", "new"));
    ASSERT_TRUE(fs.FileIdentity("C:\\d\\InstallRecord.txt", &after));
    EXPECT_NE(journal, after);
    EXPECT_EQ("INSTAL~1.TXT", fs.ShortName("C:\\d\\InstallRecord.txt")) << "free again";
}

// Read all through a held file's handle.
std::string ReadHeld(IHeldFile& file) {
    std::string all;
    char buffer[3];
    for (std::size_t got = 1; got != 0;) {
        EXPECT_TRUE(file.Read(all.size(), buffer, sizeof buffer, &got));
        all.append(buffer, got);
    }
    return all;
}

TEST(FakeFileSystemHeld, AHeldFileIsReadAsOpenedAndNobodyCanWriteRenameOrDeleteIt) {
    FakeFileSystem fs;
    fs.AddFile(kFile, "package bytes");
    fs.AddFile("C:\\other", "other");
    std::unique_ptr<IHeldFile> held;
    ASSERT_TRUE(fs.HoldForReading(kFile, &held));
    HeldFileFacts facts;
    ASSERT_TRUE(held->Facts(&facts));
    EXPECT_EQ(13u, facts.size);
    EXPECT_EQ(1u, facts.links);
    EXPECT_FALSE(facts.reparsePoint);
    EXPECT_FALSE(facts.directory);
    EXPECT_EQ(1, fs.HeldFiles());

    // FILE_SHARE_READ only: writers and DELETE access are refused.
    EXPECT_EQ(kErrorSharingViolation, fs.WriteWholeFile(kFile, "x").Code());
    EXPECT_EQ(kErrorSharingViolation, fs.AppendToFile(kFile, "x").Code());
    EXPECT_EQ(kErrorSharingViolation, fs.CopyFile("C:\\other", kFile).Code());
    EXPECT_EQ(kErrorSharingViolation, fs.DeleteFile(kFile).Code());
    EXPECT_EQ(kErrorSharingViolation, fs.ReplaceFile(kFile, "C:\\moved").Code());
    EXPECT_EQ(kErrorSharingViolation, fs.ReplaceFile("C:\\other", kFile).Code());
    EXPECT_EQ(kErrorSharingViolation, fs.FlushFile(kFile).Code());
    // Readers, copies from it and its attributes are not.
    std::string content;
    EXPECT_TRUE(fs.ReadWholeFile(kFile, &content));
    EXPECT_TRUE(fs.CopyFile(kFile, "C:\\copy"));
    EXPECT_TRUE(fs.SetAttributes(kFile, kAttrReadOnly));
    EXPECT_EQ("package bytes", ReadHeld(*held));

    // The name made to hold something else: the handle still reads the
    // file it opened.
    fs.AddFile(kFile, "something else");
    EXPECT_EQ("package bytes", ReadHeld(*held));

    held.reset();
    EXPECT_EQ(0, fs.HeldFiles());
    EXPECT_TRUE(fs.SetAttributes(kFile, kAttrNormal));
    EXPECT_TRUE(fs.DeleteFile(kFile));
}

TEST(FakeFileSystemHeld, OnlyAFileCanBeHeldAndItsLinksAreTold) {
    FakeFileSystem fs;
    fs.AddFolder("C:\\d\\sub");
    fs.AddFile("C:\\d\\busy", "x");
    fs.SetInUse("C:\\d\\busy");
    fs.AddFile("C:\\d\\link", "target bytes", kAttrArchive | kAttrReparsePoint);
    fs.AddFile("C:\\d\\twice", "x");
    fs.SetLinkCount("C:\\d\\twice", 2);
    std::unique_ptr<IHeldFile> held;
    EXPECT_EQ(kErrorAccessDenied, fs.HoldForReading("C:\\d\\sub", &held).Code());
    EXPECT_EQ(kErrorFileNotFound, fs.HoldForReading("C:\\d\\none", &held).Code());
    EXPECT_EQ(kErrorPathNotFound, fs.HoldForReading("C:\\none\\f", &held).Code());
    EXPECT_EQ(kErrorSharingViolation, fs.HoldForReading("C:\\d\\busy", &held).Code());
    EXPECT_EQ(nullptr, held);
    HeldFileFacts facts;
    ASSERT_TRUE(fs.HoldForReading("C:\\d\\link", &held));
    ASSERT_TRUE(held->Facts(&facts));
    EXPECT_TRUE(facts.reparsePoint);
    ASSERT_TRUE(fs.HoldForReading("C:\\d\\twice", &held));
    ASSERT_TRUE(held->Facts(&facts));
    EXPECT_EQ(2u, facts.links);
}

TEST(FakeFileSystemHeld, ACopyFromAHeldFileWritesItsBytesButNotItsAttributesOrStreams) {
    FakeFileSystem fs;
    fs.AddFile(kFile, "package bytes", kAttrReadOnly | kAttrHidden);
    fs.AddFile(kMark, "[ZoneTransfer]");
    fs.AddFile("C:\\t\\old", "old", kAttrArchive);
    fs.AddFile("C:\\t\\hidden", "old", kAttrHidden);
    std::unique_ptr<IHeldFile> held;
    ASSERT_TRUE(fs.HoldForReading(kFile, &held));

    ASSERT_TRUE(fs.CopyFromHeld(*held, "C:\\t\\new"));
    EXPECT_EQ("package bytes", fs.Content("C:\\t\\new"));
    EXPECT_EQ(kAttrArchive, fs.Attributes("C:\\t\\new"));
    EXPECT_TRUE(fs.StreamNames("C:\\t\\new").empty());
    ASSERT_TRUE(fs.CopyFromHeld(*held, "C:\\t\\old"));
    EXPECT_EQ("package bytes", fs.Content("C:\\t\\old"));
    // CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL over a hidden file.
    EXPECT_EQ(kErrorAccessDenied, fs.CopyFromHeld(*held, "C:\\t\\hidden").Code());
    EXPECT_EQ("old", fs.Content("C:\\t\\hidden"));
    EXPECT_EQ(kErrorPathNotFound, fs.CopyFromHeld(*held, "C:\\none\\f").Code());
    fs.FailCopyTo("C:\\t\\refused", 1);
    EXPECT_EQ(kErrorAccessDenied, fs.CopyFromHeld(*held, "C:\\t\\refused").Code());
    EXPECT_TRUE(fs.CopyFromHeld(*held, "C:\\t\\refused"));

    const std::vector<FakeFileSystem::CopyCall>& calls = fs.CopyCalls();
    ASSERT_EQ(6u, calls.size());
    EXPECT_EQ(kFile, calls[0].source);
    EXPECT_TRUE(calls[0].fromHeld);
    // The new data waits in the cache, as CopyFile's.
    fs.PowerCut();
    EXPECT_EQ("", fs.Content("C:\\t\\new"));
}

}  // namespace
}  // namespace tx
