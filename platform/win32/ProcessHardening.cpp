#include "platform/win32/ProcessHardening.h"

#include "platform/win32/AnsiText.h"

#include <string>

namespace tx {

namespace {

using SetPolicyFn = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);

}  // namespace

std::wstring OwnImagePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        // A full buffer means the name was cut short.
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768) return std::wstring();
        path.resize(path.size() * 2);
    }
}

bool RunsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const UniqueHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

bool RefuseUserMadeJunctions() {
    // Windows 8 and later have the call; older kernel32 does not export it.
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) return false;
    auto setPolicy =
        reinterpret_cast<SetPolicyFn>(reinterpret_cast<void*>(GetProcAddress(kernel32, "SetProcessMitigationPolicy")));
    if (setPolicy == nullptr) return false;
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy{};
    policy.EnforceRedirectionTrust = 1;
    return setPolicy(ProcessRedirectionTrustPolicy, &policy, sizeof policy) != 0;
}

UniqueHandle HoldOwnImage() {
    const std::wstring path = OwnImagePath();
    if (path.empty()) return UniqueHandle();
    // No FILE_SHARE_DELETE: a rename needs DELETE access, and Windows then
    // refuses it with a sharing violation; no FILE_SHARE_WRITE: nor can it
    // be written. Copies, which open it for reading, still can.
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return UniqueHandle();
    return file;
}

std::string FinalAnsiPath(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= path.size()) {
        path.assign(n + 1, L'\0');
        n = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n >= path.size()) return std::string();
    }
    if (n == 0) return std::string();
    path.resize(n);
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        path = L"\\" + path.substr(7);
    } else if (path.compare(0, 4, L"\\\\?\\") == 0) {
        path = path.substr(4);
    }
    // Only a text that converts back to the same path names this file.
    return ExactAnsi(path);
}

}  // namespace tx
