// The program's hold on its own file, against the real file system (under
// Wine): a running program's file can be renamed away and replaced, which
// the hold must stop, while copies of it still work.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/PackageManifest.h"
#include "platform/win32/ProcessHardening.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32HeldFile.h"

namespace tx {
namespace {

std::wstring OwnPath() {
    wchar_t buf[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return std::wstring(buf, n < MAX_PATH ? n : 0);
}

TEST(OwnImageHoldTest, RunningProgramCanBeRenamedWithoutIt) {
    const std::wstring self = OwnPath();
    const std::wstring moved = self + L".moved";
    ASSERT_TRUE(MoveFileExW(self.c_str(), moved.c_str(), 0)) << GetLastError();
    EXPECT_TRUE(MoveFileExW(moved.c_str(), self.c_str(), 0)) << GetLastError();
}

TEST(OwnImageHoldTest, HeldProgramCannotBeRenamedOrWrittenButCanBeCopied) {
    const std::wstring self = OwnPath();
    const std::wstring moved = self + L".moved";
    const std::wstring copy = self + L".copy";
    {
        const UniqueHandle hold = HoldOwnImage();
        ASSERT_TRUE(hold) << GetLastError();
        EXPECT_FALSE(MoveFileExW(self.c_str(), moved.c_str(), 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        const UniqueHandle writer(CreateFileW(self.c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_EQ(INVALID_HANDLE_VALUE, writer.get());
        // What the installer does with it: copy it as the uninstaller.
        EXPECT_TRUE(CopyFileW(self.c_str(), copy.c_str(), FALSE)) << GetLastError();
        DeleteFileW(copy.c_str());
    }
    // Released with the handle.
    ASSERT_TRUE(MoveFileExW(self.c_str(), moved.c_str(), 0)) << GetLastError();
    EXPECT_TRUE(MoveFileExW(moved.c_str(), self.c_str(), 0)) << GetLastError();
}

// What the elevated installer meets when another process holds its file
// with delete access (as one that means to rename it does): the hold is
// refused, and that process can then rename the running program away and
// put another in its place.
TEST(OwnImageHoldTest, HoldFailsWhileAnotherHoldsTheFileWithDeleteAccess) {
    const std::wstring self = OwnPath();
    const std::wstring moved = self + L".moved";
    {
        const UniqueHandle other(CreateFileW(self.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(INVALID_HANDLE_VALUE, other.get()) << GetLastError();
        const UniqueHandle hold = HoldOwnImage();
        EXPECT_FALSE(hold);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
        // Through its handle, the other process renames the program away.
        std::vector<BYTE> info(sizeof(FILE_RENAME_INFO) + moved.size() * sizeof(wchar_t));
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(info.data());
        rename->ReplaceIfExists = FALSE;
        rename->RootDirectory = nullptr;
        rename->FileNameLength = static_cast<DWORD>(moved.size() * sizeof(wchar_t));
        std::copy(moved.begin(), moved.end(), rename->FileName);
        EXPECT_TRUE(SetFileInformationByHandle(other.get(), FileRenameInfo, rename,
                                               static_cast<DWORD>(info.size())))
            << GetLastError();
    }
    if (GetFileAttributesW(moved.c_str()) != INVALID_FILE_ATTRIBUTES) {
        ASSERT_TRUE(MoveFileExW(moved.c_str(), self.c_str(), 0)) << GetLastError();
    }
}

// The uninstaller is written from what the held handle reads: the bytes of
// the file the program holds, from the start however often it is read.
TEST(OwnImageHoldTest, ProgramImageIsReadWholeThroughTheHeldHandle) {
    const UniqueHandle hold = HoldOwnImage();
    ASSERT_TRUE(hold);
    char started[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, started, MAX_PATH), 0u);
    Win32FileSystem files(started, hold.get());
    std::string first, second, byName;
    ASSERT_TRUE(files.ReadProgramImage(&first));
    ASSERT_TRUE(files.ReadProgramImage(&second));
    ASSERT_TRUE(Win32FileSystem().ReadWholeFile(started, &byName)) << "shared for reading";
    EXPECT_GT(first.size(), 1000u);
    EXPECT_EQ(0, first.compare(0, 2, "MZ"));
    EXPECT_EQ(byName, first);
    EXPECT_EQ(first, second);

    // Not held: read by name, as it is now.
    std::string unheld;
    ASSERT_TRUE(Win32FileSystem(started).ReadProgramImage(&unheld));
    EXPECT_EQ(byName, unheld);
}

TEST(FinalPathTest, HeldProgramNamesItselfAsAFullDrivePath) {
    const UniqueHandle hold = HoldOwnImage();
    ASSERT_TRUE(hold);
    const std::string final = FinalAnsiPath(hold.get());
    char started[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, started, MAX_PATH);
    ASSERT_GT(n, 0u);
    // Without links on the way, the same file under the same name, less
    // the "\\?\" prefix the call gives.
    EXPECT_EQ(0, lstrcmpiA(final.c_str(), started)) << final;
    EXPECT_EQ(':', final.size() > 1 ? final[1] : '\0');
}

TEST(OwnImageManifestTest, AProgramBuiltWithoutOneReadsAsCarryingNone) {
    // A real image's headers, through the held file: a test program, like
    // a developer build, carries no manifest; unreadable would refuse any
    // Data folder.
    const UniqueHandle hold = HoldOwnImage();
    ASSERT_TRUE(hold);
    Win32HeldFile image(hold.get(), "self");
    EXPECT_EQ(PackageManifest::State::None, ReadImageManifest(image).state);
    // The borrowed handle stays the holder's.
    EXPECT_NE(0u, GetFileSize(hold.get(), nullptr));
}

TEST(FinalPathTest, NoFileNoPath) {
    EXPECT_EQ("", FinalAnsiPath(INVALID_HANDLE_VALUE));
}

}  // namespace
}  // namespace tx
