#include "platform/win32/SystemLibrary.h"

#include <cwchar>

namespace tx {

namespace {

using SetDefaultDllDirectoriesFn = BOOL WINAPI(DWORD);

// Looked up rather than imported: the program must still start where the
// call does not exist. Kernel32 is in every process, so nothing is loaded.
SetDefaultDllDirectoriesFn* FindSetDefaultDllDirectories() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<SetDefaultDllDirectoriesFn*>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
}

bool IsBareFileName(const wchar_t* name) {
    return name != nullptr && name[0] != L'\0' && std::wcspbrk(name, L"\\/:") == nullptr;
}

HMODULE LoadFromSystemFolder(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const UINT folder = GetSystemDirectoryW(path, MAX_PATH);
    const std::size_t nameLength = std::wcslen(name);
    if (folder == 0 || folder + 1 + nameLength >= MAX_PATH) return nullptr;
    path[folder] = L'\\';
    std::wmemcpy(path + folder + 1, name, nameLength + 1);
    // The altered search starts the DLL's own dependencies in System32 too.
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

bool RestrictDllSearchToSystem32() {
    if (SetDefaultDllDirectoriesFn* setDefault = FindSetDefaultDllDirectories()) {
        if (setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
    }
    SetDllDirectoryW(L"");
    return false;
}

bool SystemSearchFlagSupported() { return FindSetDefaultDllDirectories() != nullptr; }

SystemLibrary::SystemLibrary(const wchar_t* name)
    : SystemLibrary(name, !SystemSearchFlagSupported()) {}

SystemLibrary::SystemLibrary(const wchar_t* name, bool byFullPath) {
    if (!IsBareFileName(name)) return;
    module_ = byFullPath ? LoadFromSystemFolder(name)
                         : LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void SystemLibrary::Reset() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
}

}  // namespace tx
