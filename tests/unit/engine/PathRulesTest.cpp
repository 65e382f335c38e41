// The literals below are compiled to code page 936 bytes.
#include "engine/PathRules.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeUserIo.h"
#include "ui/FolderPrompts.h"

namespace tx {
namespace {

const CodePage kGbk(936);
const CodePage kLatin(1252);

// One GBK character each, second byte '\' and '|'.
const std::string kTrail5C = "\x95\x5C";
const std::string kTrail7C = "\x81\x7C";

// The shared fake, counting every look at the disk.
class FolderFs : public FakeFileSystem {
public:
    FolderFs() { AddFolder("C:\\"); }
    int diskCalls = 0;
    std::uint32_t GetAttributes(const std::string& p) override {
        ++diskCalls;
        return FakeFileSystem::GetAttributes(p);
    }
    OsResult CreateDirectory(const std::string& p) override {
        ++diskCalls;
        return FakeFileSystem::CreateDirectory(p);
    }
    const std::vector<std::string>& created() const { return CreateDirectoryCalls(); }
};

std::string Invalid(const std::string& p) {
    return "The folder:\n\n" + p + "\n\nis invalid. Please reenter.";
}
std::string CannotCreate(const std::string& p) {
    return "The folder:\n\n" + p + "\n\ncan not be created. Please double check.";
}
std::string Question(const std::string& p) {
    return "The folder:\n\n" + p + "\n\ndoes not exist. Do you want the folder to be created?";
}

class PathRulesTest : public ::testing::Test {
protected:
    FolderFs fs;
    FakeMessageBox box;
    FolderPrompts prompts{box, "SetUp"};
    FolderRules rules{fs, prompts, kGbk};

    int Check(const char* p) { return rules.CheckOrCreatePath(p, true); }
    int Create(const char* p) { return rules.CheckOrCreatePath(p, false); }
};

TEST(PathComponent, RejectsEmptyEdgesAndEachForbiddenCharacter) {
    EXPECT_FALSE(IsValidPathComponent(nullptr, kGbk));
    EXPECT_FALSE(IsValidPathComponent("", kGbk));
    for (char edge : {'\t', ' ', '.'}) {
        const std::string e(1, edge);
        EXPECT_FALSE(IsValidPathComponent((e + "name").c_str(), kGbk)) << int(edge);
        EXPECT_FALSE(IsValidPathComponent(("name" + e).c_str(), kGbk)) << int(edge);
        EXPECT_TRUE(IsValidPathComponent(("na" + e + "me").c_str(), kGbk)) << int(edge);
    }
    for (char bad : std::string("\"*/:<>?\\|")) {
        EXPECT_FALSE(IsValidPathComponent(("ab" + std::string(1, bad) + "cd").c_str(), kGbk))
            << bad;
    }
    EXPECT_TRUE(IsValidPathComponent("Program Files", kGbk));
    EXPECT_TRUE(IsValidPathComponent("Tarnix批打印软件", kGbk));
    EXPECT_TRUE(IsValidPathComponent("a-b_c(1)#~", kGbk));
}

TEST(PathComponent, DoubleByteTrailBytesAreNotForbiddenCharacters) {
    for (const std::string& ch : {kTrail5C, kTrail7C}) {
        EXPECT_TRUE(IsValidPathComponent(ch.c_str(), kGbk));
        EXPECT_TRUE(IsValidPathComponent(("a" + ch + "b").c_str(), kGbk));
        EXPECT_FALSE(IsValidPathComponent(("a" + ch + "|").c_str(), kGbk))
            << "a real '|' after the character still counts";
        EXPECT_FALSE(IsValidPathComponent(ch.c_str(), kLatin)) << "single-byte: a byte each";
    }
    // A name ending in a full stop right after a double-byte character.
    EXPECT_FALSE(IsValidPathComponent(("a" + kTrail5C + ".").c_str(), kGbk));
}

TEST_F(PathRulesTest, SyntaxNeedsLetterColonBackslash) {
    EXPECT_EQ(kPathInvalid, Check(nullptr));
    EXPECT_EQ(kPathInvalid, Check(""));
    EXPECT_EQ(kPathInvalid, Check("C:"));
    EXPECT_EQ(kPathInvalid, Check("C:Tarnix"));
    EXPECT_EQ(kPathInvalid, Check("C:/Tarnix"));
    EXPECT_EQ(kPathInvalid, Check("\\\\server\\share"));
    EXPECT_EQ(kPathInvalid, Check("1:\\Tarnix"));
    EXPECT_EQ(kPathInvalid, Check("Tarnix"));
    EXPECT_EQ(kPathValid, Check("c:\\Tarnix"));
    EXPECT_EQ(kPathValid, Check("z:\\"));
    EXPECT_EQ(kPathValid, Check("C:\\Program Files\\My App"));
    EXPECT_EQ(0, fs.diskCalls) << "check-only mode never looks at the disk";
}

TEST_F(PathRulesTest, EmptyNamesAndTrailingBackslashAreInvalid) {
    EXPECT_EQ(kPathInvalid, Check("C:\\Tarnix\\"));
    EXPECT_EQ(kPathInvalid, Check("C:\\\\Tarnix"));
    EXPECT_EQ(kPathInvalid, Check("C:\\a\\\\b"));
    EXPECT_EQ(kPathInvalid, Check("C:\\a\\ b"));
    EXPECT_EQ(kPathInvalid, Check("C:\\a.\\b"));
    EXPECT_EQ(kPathInvalid, Check("C:\\a\\b*"));
}

TEST_F(PathRulesTest, SplitsAtBackslashCharactersNotTrailBytes) {
    const std::string endsIn5C = "C:\\a" + kTrail5C;
    EXPECT_EQ(kPathValid, Check(endsIn5C.c_str())) << "not a trailing backslash";
    const std::string inside = "C:\\x" + kTrail5C + "y\\z" + kTrail7C;
    ASSERT_EQ(kPathValid, Create(inside.c_str()));
    const std::vector<std::string> levels = {"C:\\x" + kTrail5C + "y", inside};
    EXPECT_EQ(levels, fs.created());

    FolderRules latin(fs, prompts, kLatin);
    EXPECT_EQ(kPathInvalid, latin.CheckOrCreatePath(endsIn5C.c_str(), true));
}

TEST_F(PathRulesTest, OverlongPathIsInvalidNotCut) {
    std::string p = "C:\\" + std::string(kMaxPath - 4, 'a');  // 259 bytes
    EXPECT_EQ(kPathValid, Check(p.c_str()));
    p += 'a';
    EXPECT_EQ(kPathInvalid, Check(p.c_str()));
}

TEST(WellFormedFolderPath, JudgesTheSyntaxAtAnyLength) {
    const std::string longFolder = "D:\\" + std::string(400, 'a') + "\\批打印";
    EXPECT_TRUE(IsWellFormedFolderPath(longFolder, kGbk)) << "length is not its business";
    EXPECT_TRUE(IsWellFormedFolderPath("C:\\", kGbk));
    EXPECT_TRUE(IsWellFormedFolderPath("C:\\a" + kTrail5C + "\\b", kGbk));
    for (const std::string bad : {"", "C:", "C:a", "\\\\srv\\share", "C:\\a\\", "C:\\a\\\\b",
                                   "C:\\a ", "C:\\a;b\\c:", "C:/a"}) {
        EXPECT_FALSE(IsWellFormedFolderPath(bad, kGbk)) << bad;
    }
    EXPECT_FALSE(IsWellFormedFolderPath(longFolder + "\\", kGbk));
    EXPECT_FALSE(IsWellFormedFolderPath("C:\\a" + kTrail5C, kLatin)) << "0x5C ends the text";
}

TEST_F(PathRulesTest, DriveRootMustExistOnlyWhenCreating) {
    EXPECT_EQ(kPathValid, Create("C:\\"));
    EXPECT_EQ(kPathCannotCreate, Create("Q:\\"));
    EXPECT_TRUE(fs.created().empty()) << "a root is never made";

    EXPECT_EQ(kPathValid, rules.ConfirmFolder("C:\\"));
    EXPECT_TRUE(box.Calls().empty());
}

TEST_F(PathRulesTest, CreatesThreeMissingLevelsTopDown) {
    box.Script({kIdYes});
    EXPECT_EQ(kPathValid, rules.ConfirmFolder("C:\\One\\Two\\Three"));
    const std::vector<std::string> order = {"C:\\One", "C:\\One\\Two", "C:\\One\\Two\\Three"};
    EXPECT_EQ(order, fs.created());
    EXPECT_TRUE(fs.IsFolder("C:\\One\\Two\\Three"));
    ASSERT_EQ(1u, box.Calls().size());
    EXPECT_EQ(Question("C:\\One\\Two\\Three"), box.Calls()[0].text);
    EXPECT_EQ("SetUp", box.Calls()[0].caption);
    EXPECT_EQ(0x24u, box.Calls()[0].style);
}

TEST_F(PathRulesTest, ExistingLevelsAreKeptAndLowerCaseDriveWorks) {
    fs.AddFolder("C:\\Tarnix");
    box.Script({kIdYes});
    EXPECT_EQ(kPathValid, rules.ConfirmFolder("c:\\tarnix\\新建"));
    EXPECT_TRUE(fs.IsFolder("C:\\Tarnix\\新建"));
}

TEST_F(PathRulesTest, AnythingButYesDeclinesAndCreatesNothing) {
    for (int answer : {kIdNo, kIdCancel}) {
        box = FakeMessageBox();
        box.Script({answer});
        EXPECT_EQ(kPathDeclined, rules.ConfirmFolder("C:\\New\\Folder"));
        EXPECT_EQ(1u, box.Calls().size()) << "the question only";
        EXPECT_TRUE(fs.created().empty());
    }
}

TEST_F(PathRulesTest, LevelThatCannotBeCreatedStopsAndKeepsEarlierLevels) {
    fs.FailCreateDirectory("C:\\A\\B");
    box.Script({kIdYes});
    EXPECT_EQ(kPathCannotCreate, rules.ConfirmFolder("C:\\A\\B\\C"));
    EXPECT_TRUE(fs.IsFolder("C:\\A"));
    const std::vector<std::string> order = {"C:\\A", "C:\\A\\B"};
    EXPECT_EQ(order, fs.created()) << "nothing tried after the failing level";
    ASSERT_EQ(2u, box.Calls().size());
    EXPECT_EQ(CannotCreate("C:\\A\\B\\C"), box.Calls()[1].text);
    EXPECT_EQ("SetUp", box.Calls()[1].caption);
    EXPECT_EQ(0x30u, box.Calls()[1].style);
}

TEST_F(PathRulesTest, MissingDriveCannotBeCreated) {
    box.Script({kIdYes});
    EXPECT_EQ(kPathCannotCreate, rules.ConfirmFolder("Q:\\Tarnix"));
    ASSERT_EQ(2u, box.Calls().size());
    EXPECT_EQ(CannotCreate("Q:\\Tarnix"), box.Calls()[1].text);

    box = FakeMessageBox();
    box.Script({kIdYes});
    EXPECT_EQ(kPathCannotCreate, rules.ConfirmFolder("Q:\\"));
    ASSERT_EQ(2u, box.Calls().size());
    EXPECT_EQ(CannotCreate("Q:\\"), box.Calls()[1].text);
}

TEST_F(PathRulesTest, FileInTheWayOfALevelCannotBeCreated) {
    fs.AddFile("C:\\data.bin");
    box.Script({kIdYes});
    EXPECT_EQ(kPathCannotCreate, rules.ConfirmFolder("C:\\data.bin\\sub"));
}

TEST_F(PathRulesTest, ExistingFileOrFolderIsAcceptedWithoutQuestion) {
    fs.AddFile("C:\\readme.txt");
    fs.AddFolder("C:\\Program Files");
    EXPECT_EQ(kPathValid, rules.ConfirmFolder("C:\\readme.txt"));
    EXPECT_EQ(kPathValid, rules.ConfirmFolder("C:\\Program Files"));
    EXPECT_TRUE(box.Calls().empty());
    EXPECT_TRUE(fs.created().empty());
}

TEST_F(PathRulesTest, InvalidPathIsReportedEvenWhenTheFolderExists) {
    fs.AddFolder("C:\\Tarnix");
    fs.AddFolder("C:\\ lead");
    for (const char* p : {"C:\\Tarnix\\", "C:\\ lead", "C:", ""}) {
        box = FakeMessageBox();
        EXPECT_EQ(kPathInvalid, rules.ConfirmFolder(p)) << p;
        ASSERT_EQ(1u, box.Calls().size()) << p;
        EXPECT_EQ(Invalid(p), box.Calls()[0].text);
        EXPECT_EQ("SetUp", box.Calls()[0].caption);
        EXPECT_EQ(0x30u, box.Calls()[0].style);
    }
    EXPECT_TRUE(fs.created().empty());
}

TEST(AppTitle, ProgramFileNameWithoutExtension) {
    EXPECT_EQ("SetUp", AppTitleFromModulePath("C:\\Pkg\\SetUp.exe", kGbk));
    EXPECT_EQ("SetUp", AppTitleFromModulePath("C:\\v1.2\\SetUp", kGbk));
    EXPECT_EQ("my.setup", AppTitleFromModulePath("C:\\x\\my.setup.exe", kGbk));
    EXPECT_EQ("SetUp", AppTitleFromModulePath("C:\\安装" + kTrail5C + "\\SetUp.EXE", kGbk));
    EXPECT_EQ(kTrail5C + "x", AppTitleFromModulePath("C:\\" + kTrail5C + "x.exe", kGbk));
}

}  // namespace
}  // namespace tx
