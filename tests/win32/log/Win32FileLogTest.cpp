// The literals below are compiled to code page 936 bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32/Win32FileLog.h"

namespace tx {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Spit(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

class FileLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + "tx_log_test";
        CreateDirectoryA(dir_.c_str(), nullptr);
        path_ = dir_ + "\\TarnixSetup.log";
        DeleteFileA(path_.c_str());
    }
    void TearDown() override {
        DeleteFileA(path_.c_str());
        DeleteFileA((dir_ + "\\victim.txt").c_str());
        RemoveDirectoryA(dir_.c_str());
    }
    std::string dir_;
    std::string path_;
};

TEST_F(FileLogTest, LinesAreUtf8WithATimeAndOverwrittenEachRun) {
    Spit(path_, "an older run\r\n");
    {
        Win32FileLog log(path_);
        ASSERT_TRUE(log.Ok());
        log.Line("安装目录 C:\\Tarnix\\Tarnix批打印软件");
        log.Line("exit 0");
    }
    const std::string text = Slurp(path_);
    EXPECT_EQ(text.find("an older run"), std::string::npos);
    // "安装目录" and "批打印软件" in UTF-8.
    EXPECT_NE(text.find("\xE5\xAE\x89\xE8\xA3\x85\xE7\x9B\xAE\xE5\xBD\x95 C:\\Tarnix\\Tarnix"
                        "\xE6\x89\xB9\xE6\x89\x93\xE5\x8D\xB0\xE8\xBD\xAF\xE4\xBB\xB6\r\n"),
              std::string::npos)
        << text;
    // "yyyy-mm-dd hh:mm:ss.mmm " before each line.
    ASSERT_GE(text.size(), 24u);
    EXPECT_EQ(text[4], '-');
    EXPECT_EQ(text[10], ' ');
    EXPECT_EQ(text[13], ':');
    EXPECT_EQ(text[19], '.');
    const std::size_t second = text.find("\r\n") + 2;
    EXPECT_EQ(text.substr(second + 24), "exit 0\r\n");
}

TEST_F(FileLogTest, AHardLinkPlantedUnderTheNameIsNotWrittenThrough) {
    const std::string victim = dir_ + "\\victim.txt";
    Spit(victim, "only administrators may change this\n");
    ASSERT_TRUE(CreateHardLinkA(path_.c_str(), victim.c_str(), nullptr));
    {
        Win32FileLog log(path_);
        log.Line("written");
        EXPECT_TRUE(log.Ok());  // the link was removed and a new file made
    }
    EXPECT_EQ(Slurp(victim), "only administrators may change this\n");
    EXPECT_NE(Slurp(path_).find("written"), std::string::npos);
}

TEST_F(FileLogTest, AnUnwritablePlaceGivesNoLogAndNoFailure) {
    Win32FileLog log("Q:\\no such drive\\TarnixSetup.log");
    EXPECT_FALSE(log.Ok());
    log.Line("nothing happens");  // and nothing breaks
    // A folder standing where the log goes.
    CreateDirectoryA(path_.c_str(), nullptr);
    Win32FileLog blocked(path_);
    EXPECT_FALSE(blocked.Ok());
    RemoveDirectoryA(path_.c_str());
}

// /LOG= may name any file, and whoever starts the elevated run chooses it:
// nothing there is deleted or cut short.
TEST_F(FileLogTest, NamedFileIsMadeNewOrAppendedToButNeverDeleted) {
    {
        Win32FileLog log(path_, LogPlace::Named);
        ASSERT_TRUE(log.Ok());
        log.Line("first run");
    }
    {
        Win32FileLog log(path_, LogPlace::Named);
        ASSERT_TRUE(log.Ok());
        log.Line("second run");
    }
    const std::string text = Slurp(path_);
    EXPECT_NE(text.find("first run\r\n"), std::string::npos) << text;
    EXPECT_LT(text.find("first run"), text.find("second run")) << text;

    Spit(path_, "someone's file\n");
    {
        Win32FileLog log(path_, LogPlace::Named);
        log.Line("appended");
    }
    EXPECT_EQ(0u, Slurp(path_).find("someone's file\n")) << "kept whole, first";
}

TEST_F(FileLogTest, NamedFileWithAnotherNameOrAFolderIsNotWrittenNorDeleted) {
    const std::string victim = dir_ + "\\victim.txt";
    Spit(victim, "only administrators may change this\n");
    ASSERT_TRUE(CreateHardLinkA(path_.c_str(), victim.c_str(), nullptr));
    {
        Win32FileLog log(path_, LogPlace::Named);
        EXPECT_FALSE(log.Ok());
        log.Line("written");
    }
    EXPECT_EQ(Slurp(victim), "only administrators may change this\n");
    EXPECT_EQ(Slurp(path_), "only administrators may change this\n") << "the link is still there";

    ASSERT_TRUE(DeleteFileA(path_.c_str()));
    ASSERT_TRUE(CreateDirectoryA(path_.c_str(), nullptr));
    Win32FileLog folder(path_, LogPlace::Named);
    EXPECT_FALSE(folder.Ok());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path_.c_str()));
    RemoveDirectoryA(path_.c_str());
}

TEST(FileLogDefault, IsInTheTemporaryFolder) {
    char temp[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(Win32FileLog::DefaultPath("TarnixSetup.log"), std::string(temp, n) + "TarnixSetup.log");
}

}  // namespace
}  // namespace tx
