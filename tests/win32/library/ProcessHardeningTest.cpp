// The program's hold on its own file, against the real file system (under
// Wine): a running program's file can be renamed away and replaced, which
// the hold must stop, while copies of it still work.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/PackageManifest.h"
#include "platform/win32/ProcessHardening.h"
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
