// System32 DLLs loaded by the program itself, and the process-wide DLL
// search restricted to System32, against the real loader (under Wine).
// txplanted.dll lies beside this program: a DLL that leaves a marker file
// when it is loaded, like one planted in a Downloads folder.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "platform/win32/SystemLibrary.h"
#include "ui/win32/ShellApi.h"

namespace tx {
namespace {

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring SystemFolder() {
    wchar_t buf[MAX_PATH] = {};
    const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
    return Lower(std::wstring(buf, n < MAX_PATH ? n : 0));
}

std::wstring FolderOf(HMODULE module) {
    wchar_t buf[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(module, buf, MAX_PATH);
    std::wstring path(buf, n < MAX_PATH ? n : 0);
    const std::size_t slash = path.rfind(L'\\');
    return Lower(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash));
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A System32 DLL that nothing else in this program loads.
constexpr wchar_t kUnused[] = L"wtsapi32.dll";

TEST(SystemLibraryTest, LoadsFromTheSystemFolderEitherWay) {
    ASSERT_FALSE(SystemFolder().empty());
    for (const bool byFullPath : {false, true}) {
        const SystemLibrary library(L"version.dll", byFullPath);
        ASSERT_TRUE(library.Loaded()) << "by full path: " << byFullPath;
        EXPECT_EQ(SystemFolder(), FolderOf(library.get())) << "by full path: " << byFullPath;
    }
    const SystemLibrary chosen(L"version.dll");
    EXPECT_TRUE(chosen.Loaded());
}

TEST(SystemLibraryTest, HoldsOneReferenceThatMovesAndIsFreedOnce) {
    ASSERT_EQ(nullptr, GetModuleHandleW(kUnused)) << "precondition: not loaded yet";
    {
        SystemLibrary first(kUnused);
        ASSERT_TRUE(first.Loaded());
        const HMODULE module = first.get();

        SystemLibrary second(std::move(first));
        EXPECT_FALSE(first.Loaded());
        EXPECT_EQ(module, second.get());
        first.Reset();  // an empty owner frees nothing
        EXPECT_EQ(module, GetModuleHandleW(kUnused));

        SystemLibrary third(L"version.dll");
        third = std::move(second);  // drops third's own reference first
        EXPECT_EQ(module, third.get());
        EXPECT_EQ(module, GetModuleHandleW(kUnused));
    }
    EXPECT_EQ(nullptr, GetModuleHandleW(kUnused)) << "the last owner unloads it";
}

TEST(SystemLibraryTest, TypedLookupCallsTheExport) {
    const SystemLibrary comctl32(L"comctl32.dll");
    auto* init = comctl32.Proc<decltype(InitCommonControlsEx)>("InitCommonControlsEx");
    ASSERT_NE(nullptr, init);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    EXPECT_TRUE(init(&controls));
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetClassInfoExW(nullptr, L"msctls_progress32", &info))
        << "the progress bar's class is registered";

    EXPECT_EQ(nullptr, comctl32.Proc<void()>("NoSuchExportAnywhere"));
    const SystemLibrary empty;
    EXPECT_EQ(nullptr, empty.Proc<decltype(InitCommonControlsEx)>("InitCommonControlsEx"));
}

TEST(SystemLibraryTest, RefusesMissingDllsAndNamesWithAPath) {
    EXPECT_FALSE(SystemLibrary(L"tx-no-such-library.dll").Loaded());
    EXPECT_FALSE(SystemLibrary(L"tx-no-such-library.dll", true).Loaded());
    const std::wstring full = SystemFolder() + L"\\version.dll";
    ASSERT_TRUE(Exists(full));
    for (const bool byFullPath : {false, true}) {
        EXPECT_FALSE(SystemLibrary(full.c_str(), byFullPath).Loaded());
        EXPECT_FALSE(SystemLibrary(L"..\\system32\\version.dll", byFullPath).Loaded());
        EXPECT_FALSE(SystemLibrary(L"system32/version.dll", byFullPath).Loaded());
        EXPECT_FALSE(SystemLibrary(L"", byFullPath).Loaded());
        EXPECT_FALSE(SystemLibrary(nullptr, byFullPath).Loaded());
    }
}

TEST(SystemLibraryTest, ShellCallsLoadOnceAndAllTogether) {
    ShellApi shell;
    EXPECT_FALSE(shell.Ready());
    EXPECT_EQ(nullptr, shell.shBrowseForFolder);
    ASSERT_TRUE(shell.Load());
    EXPECT_TRUE(shell.Ready());
    EXPECT_NE(nullptr, shell.coInitializeEx);
    EXPECT_NE(nullptr, shell.coUninitialize);
    EXPECT_NE(nullptr, shell.shGetMalloc);
    EXPECT_NE(nullptr, shell.shBrowseForFolder);
    EXPECT_NE(nullptr, shell.shGetPathFromIdList);
    const auto first = shell.shBrowseForFolder;
    EXPECT_TRUE(shell.Load());
    EXPECT_EQ(first, shell.shBrowseForFolder);
    EXPECT_EQ(SystemFolder(), FolderOf(GetModuleHandleW(L"shell32.dll")));

    IMalloc* allocator = nullptr;
    ASSERT_TRUE(SUCCEEDED(shell.shGetMalloc(&allocator)));
    ASSERT_NE(nullptr, allocator);
    allocator->Release();
}

// Last: the restriction holds for the rest of the process.
TEST(SystemLibraryTest, ADllBesideTheProgramIsNeverTakenForASystemOne) {
    wchar_t self[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    std::wstring folder(self, n);
    folder.resize(folder.rfind(L'\\'));
    const std::wstring planted = folder + L"\\txplanted.dll";
    const std::wstring marker = planted + L".loaded";
    ASSERT_TRUE(Exists(planted)) << "the marker DLL is built beside the test";
    DeleteFileW(marker.c_str());

    for (const bool byFullPath : {false, true}) {
        EXPECT_FALSE(SystemLibrary(L"txplanted.dll", byFullPath).Loaded());
    }
    EXPECT_FALSE(Exists(marker));

    // The control: a bare-name load finds it, and its loading shows.
    HMODULE control = LoadLibraryW(L"txplanted.dll");
    ASSERT_NE(nullptr, control) << "the loader must find a DLL beside the program";
    EXPECT_EQ(Lower(folder), FolderOf(control));
    FreeLibrary(control);
    EXPECT_TRUE(Exists(marker));
    DeleteFileW(marker.c_str());

    EXPECT_TRUE(SystemSearchFlagSupported());
    EXPECT_TRUE(RestrictDllSearchToSystem32());
    EXPECT_EQ(nullptr, LoadLibraryW(L"txplanted.dll")) << "the program's folder is not searched";
    EXPECT_FALSE(Exists(marker));
    HMODULE system = LoadLibraryW(kUnused);
    EXPECT_NE(nullptr, system) << "System32 still is";
    if (system != nullptr) FreeLibrary(system);
}

}  // namespace
}  // namespace tx
