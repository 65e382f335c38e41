// The in-memory file system's alternate data streams and overwrite rules,
// which the deployment tests rely on standing in for NTFS and CopyFile.
#include "tests/fakes/FakeFileSystem.h"

#include <gtest/gtest.h>

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
    EXPECT_FALSE(fs.CreateDirectory("C:\\d\\x:y"));
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
    EXPECT_FALSE(fs.CopyFile(kFile + ":Missing", "C:\\t\\other.txt"));
}

TEST(FakeFileSystemStreams, CopyFileRefusesHiddenAndReadOnlyTargetsOnly) {
    FakeFileSystem fs;
    fs.AddFile("C:\\s.txt", "new");
    fs.AddFile("C:\\t\\hidden.txt", "old", kAttrHidden);
    fs.AddFile("C:\\t\\readonly.txt", "old", kAttrReadOnly);
    fs.AddFile("C:\\t\\system.txt", "old", kAttrSystem);

    EXPECT_FALSE(fs.CopyFile("C:\\s.txt", "C:\\t\\hidden.txt"));
    EXPECT_FALSE(fs.CopyFile("C:\\s.txt", "C:\\t\\readonly.txt"));
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
    EXPECT_FALSE(fs.DeleteFile(kMark)) << "gone already";

    // A read-only file keeps its streams, a folder is no file.
    fs.AddFile("C:\\d\\ro.txt", "ro", kAttrReadOnly);
    fs.AddFile("C:\\d\\ro.txt:Zone.Identifier", "z");
    EXPECT_FALSE(fs.DeleteFile("C:\\d\\ro.txt:Zone.Identifier"));
    EXPECT_TRUE(fs.Exists("C:\\d\\ro.txt:Zone.Identifier"));
    EXPECT_FALSE(fs.DeleteFile("C:\\d"));
    EXPECT_TRUE(fs.IsFolder("C:\\d"));

    EXPECT_TRUE(fs.DeleteFile(kFile));
    EXPECT_FALSE(fs.Exists(kFile));
    fs.AddFile(kFile, "again");
    EXPECT_TRUE(fs.StreamNames(kFile).empty()) << "the streams went with the file";
    EXPECT_FALSE(fs.DeleteFile("C:\\d\\missing.txt"));
}

}  // namespace
}  // namespace tx
