#include "platform/win32/Win32SelfRemover.h"

#include "platform/win32/AnsiText.h"

#include <windows.h>
#include <sddl.h>

#include <cstdlib>
#include <cwchar>
#include <memory>
#include <type_traits>
#include <vector>

#include "platform/win32/Handles.h"
#include "platform/win32/ProcessHardening.h"

namespace tx {

const wchar_t* const kCleanupSwitch = L"/cleanup-after";

namespace {

// A new folder below %SystemRoot%\Temp that only SYSTEM and Administrators
// can use, made with that access list so nobody gets in between.
std::wstring MakeProtectedFolder() {
    wchar_t windows[MAX_PATH];
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1, &raw, nullptr))
        return std::wstring();
    LocalPtr<void> descriptor(raw);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    const std::wstring base = std::wstring(windows) + L"\\Temp\\TarnixCleanup-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-";
    for (unsigned i = 0; i < 100; ++i) {
        const std::wstring folder = base + std::to_wstring(GetTickCount() + i);
        // Fails on anything already there, whoever made it.
        if (CreateDirectoryW(folder.c_str(), &attributes)) return folder;
    }
    return std::wstring();
}

// DeleteProcThreadAttributeList once the process has been started.
struct AttributeListDeleter {
    void operator()(LPPROC_THREAD_ATTRIBUTE_LIST list) const {
        if (list != nullptr) DeleteProcThreadAttributeList(list);
    }
};
using ProcThreadAttributeList =
    std::unique_ptr<std::remove_pointer_t<LPPROC_THREAD_ATTRIBUTE_LIST>, AttributeListDeleter>;

void AtRestart(const std::wstring& path) {
    MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

namespace {

// The restart removes them instead, in this order. Only when the cleanup
// copy cannot do it: an entry left over would delete a later
// installation's files at the restart.
bool ScheduleAll(const std::string& image, const std::vector<std::string>& folders) {
    bool scheduled = MoveFileExA(image.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    for (const std::string& f : folders)
        scheduled = MoveFileExA(f.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0 && scheduled;
    return scheduled;
}

}  // namespace

bool Win32SelfRemover::RemoveAfterExit(const std::string& image,
                                       const std::vector<std::string>& folders) {
    const std::wstring self = OwnImagePath();
    const std::wstring folder = self.empty() ? std::wstring() : MakeProtectedFolder();
    if (folder.empty()) return ScheduleAll(image, folders);
    const std::wstring copy = folder + L"\\cleanup.exe";
    if (!CopyFileW(self.c_str(), copy.c_str(), TRUE)) {
        RemoveDirectoryW(folder.c_str());
        return ScheduleAll(image, folders);
    }

    HANDLE raw = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &raw,
                         SYNCHRONIZE, TRUE, 0)) {
        AtRestart(copy);
        AtRestart(folder);
        return ScheduleAll(image, folders);
    }
    UniqueHandle parent(raw);
    std::wstring command = L"\"" + copy + L"\" " + kCleanupSwitch + L" " +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(raw)) + L" \"" +
                           AnsiToWide(image) + L"\"";
    for (const std::string& f : folders) command += L" \"" + AnsiToWide(f) + L"\"";

    // Only the handle meant for it is passed on, whatever else this process
    // may hold as inheritable.
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<unsigned char> listBuffer(listSize);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBuffer.data());
    HANDLE inherited[] = {raw};
    const bool listed = listSize > 0 && InitializeProcThreadAttributeList(list, 1, 0, &listSize);
    const ProcThreadAttributeList owned(listed ? list : nullptr);
    if (listed && UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                            sizeof inherited, nullptr, nullptr)) {
        startup.lpAttributeList = list;
    }
    PROCESS_INFORMATION process{};
    // Started in the Windows folder so it holds no other folder open.
    wchar_t windows[MAX_PATH] = L"C:\\";
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    const DWORD flags =
        CREATE_NO_WINDOW | (startup.lpAttributeList != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0);
    const BOOL started =
        CreateProcessW(copy.c_str(), &command[0], nullptr, nullptr, TRUE, flags, nullptr, windows,
                       &startup.StartupInfo, &process);
    if (!started) {
        DeleteFileW(copy.c_str());
        RemoveDirectoryW(folder.c_str());
        return ScheduleAll(image, folders);
    }
    UniqueHandle childProcess(process.hProcess);
    UniqueHandle childThread(process.hThread);
    return true;
}

std::vector<std::wstring> SplitCommandLine(const wchar_t* line) {
    // The cleanup copy's own line quotes every path, and no path it names
    // holds a quote or ends with a backslash: quotes group, and that is all.
    std::vector<std::wstring> args;
    std::wstring current;
    bool quoted = false;
    bool any = false;
    for (const wchar_t* p = line != nullptr ? line : L""; *p != L'\0'; ++p) {
        if (*p == L'"') {
            quoted = !quoted;
            any = true;
        } else if ((*p == L' ' || *p == L'\t') && !quoted) {
            if (any) args.push_back(current);
            current.clear();
            any = false;
        } else {
            current += *p;
            any = true;
        }
    }
    if (any) args.push_back(current);
    return args;
}

int RunCleanup(const std::vector<std::wstring>& args) {
    // args: program, switch, parent handle, image, folders...
    if (args.size() < 4) return 1;
    const std::uintptr_t value = std::wcstoull(args[2].c_str(), nullptr, 10);
    UniqueHandle parent(reinterpret_cast<HANDLE>(value));
    // However long its last message box stays open: deleting the program
    // meanwhile, or leaving it to the restart, would take a later
    // installation's uninstaller with it.
    if (parent.get() != nullptr) WaitForSingleObject(parent.get(), INFINITE);

    // The image may stay locked a moment after its process ended.
    const wchar_t* image = args[3].c_str();
    bool deleted = false;
    for (int attempt = 0; attempt < 50 && !deleted; ++attempt) {
        const DWORD attributes = GetFileAttributesW(image);
        if (attributes == INVALID_FILE_ATTRIBUTES) break;
        if (attributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(image, attributes & ~FILE_ATTRIBUTE_READONLY);
        deleted = DeleteFileW(image) != 0;
        if (!deleted) Sleep(100);
    }
    if (!deleted && GetFileAttributesW(image) != INVALID_FILE_ATTRIBUTES) AtRestart(image);
    for (std::size_t i = 4; i < args.size(); ++i) {
        // A folder someone else put files in meanwhile stays.
        if (!RemoveDirectoryW(args[i].c_str()) && !deleted) AtRestart(args[i]);
    }

    // This copy cannot delete itself either: the restart takes it.
    const std::wstring self = OwnImagePath();
    AtRestart(self);
    const std::size_t slash = self.rfind(L'\\');
    if (slash != std::wstring::npos) AtRestart(self.substr(0, slash));
    return 0;
}

}  // namespace tx
