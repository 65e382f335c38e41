#include "platform/win32/Win32SelfRemover.h"

#include "platform/win32/AnsiText.h"

#include <windows.h>
#include <sddl.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <type_traits>
#include <vector>

#include "platform/win32/Handles.h"
#include "platform/win32/ProcessHardening.h"
#include "platform/win32/Win32FileSystem.h"

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
    // Enough to wait for this process and to ask which program it runs.
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &raw,
                         SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0)) {
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

CleanupOrder ReadCleanupOrder(const std::vector<std::wstring>& args) {
    CleanupOrder order;
    // args: program, switch, parent handle, image, folders...
    if (args.size() < 4 || args[1] != kCleanupSwitch) return order;
    wchar_t* end = nullptr;
    const std::uintptr_t value = std::wcstoull(args[2].c_str(), &end, 10);
    if (end == args[2].c_str() || *end != L'\0' || value == 0) return order;
    order.parent.reset(reinterpret_cast<HANDLE>(value));
    // Anything but a process handle of this process's own table is refused
    // here: started by hand, the copy holds no handle of that number, or
    // one of another kind. The pseudo-handle of the process itself is no
    // parent either.
    if (reinterpret_cast<HANDLE>(value) == GetCurrentProcess() ||
        GetProcessId(order.parent.get()) == 0 ||
        GetProcessId(order.parent.get()) == GetCurrentProcessId()) {
        order.parent.release();
        return order;
    }
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(name.size());
        if (QueryFullProcessImageNameW(order.parent.get(), 0, &name[0], &size)) {
            name.resize(size);
            break;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || name.size() >= 32768) return order;
        name.resize(name.size() * 2);
    }
    order.parentImage = ExactAnsi(name);
    order.ownImage = ExactAnsi(OwnImagePath());
    order.image = ExactAnsi(args[3]);
    for (std::size_t i = 4; i < args.size(); ++i) order.folders.push_back(ExactAnsi(args[i]));
    // Read now, while the parent still runs it: what is deleted later must
    // be this file.
    if (order.image.empty() || !Win32FileSystem().FileIdentity(order.image, &order.imageId))
        return order;
    order.ok = !order.parentImage.empty() && !order.ownImage.empty();
    return order;
}

namespace {

// FILE_ID_INFO of an open file (Windows 8 and later; the build targets 7).
bool IdentityOfOpen(HANDLE file, FileId* id) {
    struct {
        ULONGLONG volumeSerialNumber;
        BYTE fileId[16];
    } info{};
    if (GetFileInformationByHandleEx(file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(18), &info,
                                     sizeof info)) {
        id->volume = info.volumeSerialNumber;
        std::memcpy(id->id.data(), info.fileId, sizeof info.fileId);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION basic{};
    if (!GetFileInformationByHandle(file, &basic)) return false;
    *id = FileId();
    id->volume = basic.dwVolumeSerialNumber;
    const DWORD index[2] = {basic.nFileIndexLow, basic.nFileIndexHigh};
    std::memcpy(id->id.data(), index, sizeof index);
    return true;
}

}  // namespace

bool DeleteIfStill(const std::wstring& path, const FileId& id) {
    // Opened as itself, then checked and deleted through the same handle:
    // nothing can be swapped in between.
    UniqueHandle file(CreateFileW(path.c_str(),
                                  DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    FileId found;
    if (!IdentityOfOpen(file.get(), &found) || found != id) return false;
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        (void)SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

int RunCleanup(CleanupOrder& order) {
    // However long its last message box stays open: deleting the program
    // meanwhile, or leaving it to the restart, would take a later
    // installation's uninstaller with it.
    WaitForSingleObject(order.parent.get(), INFINITE);

    // The image may stay locked a moment after its process ended.
    const std::wstring image = AnsiToWide(order.image);
    bool deleted = false;
    for (int attempt = 0; attempt < 50 && !deleted; ++attempt) {
        FileId now;
        // Gone, or another file by now: nothing of ours to delete.
        if (!Win32FileSystem().FileIdentity(order.image, &now) || now != order.imageId) break;
        deleted = DeleteIfStill(image, order.imageId);
        if (!deleted) Sleep(100);
    }
    FileId left;
    const bool stillOurs =
        !deleted && Win32FileSystem().FileIdentity(order.image, &left) && left == order.imageId;
    if (stillOurs) AtRestart(image);
    for (const std::string& f : order.folders) {
        const std::wstring folder = AnsiToWide(f);
        // A folder someone else put files in meanwhile stays.
        if (!RemoveDirectoryW(folder.c_str()) && stillOurs) AtRestart(folder);
    }

    // This copy cannot delete itself either: the restart takes it.
    const std::wstring self = OwnImagePath();
    AtRestart(self);
    const std::size_t slash = self.rfind(L'\\');
    if (slash != std::wstring::npos) AtRestart(self.substr(0, slash));
    return 0;
}

}  // namespace tx
