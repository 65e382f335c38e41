#include "tests/driver/Processes.h"

#include <windows.h>

#include <set>
#include <vector>

#include "tests/driver/Report.h"
#include "tests/driver/Windows.h"

namespace txdrive {

namespace {

struct Watch {
    DWORD pid;
    std::set<HWND>* seen;
};

BOOL CALLBACK NoteVisible(HWND hwnd, LPARAM param) {
    Watch* w = reinterpret_cast<Watch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == w->pid && IsWindowVisible(hwnd)) w->seen->insert(hwnd);
    return TRUE;
}

bool Watched(PROCESS_INFORMATION& pi, unsigned timeoutMs) {
    CloseHandle(pi.hThread);
    std::set<HWND> seen;
    std::vector<std::string> titles;
    Watch watch{pi.dwProcessId, &seen};
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    bool ended = false;
    while (!ended && GetTickCount64() < deadline) {
        const std::size_t before = seen.size();
        EnumWindows(NoteVisible, reinterpret_cast<LPARAM>(&watch));
        if (seen.size() != before) {
            for (HWND h : seen) titles.push_back(DescribeWindow(h));
        }
        ended = WaitForSingleObject(pi.hProcess, 5) == WAIT_OBJECT_0;
    }
    DWORD code = 0;
    if (!ended) {
        TerminateProcess(pi.hProcess, 1);
        Complain("the program did not end in time");
    }
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    Say("exit=" + std::to_string(code));
    Say("windows=" + std::to_string(seen.size()));
    for (const std::string& t : titles) Say("  " + t);
    return ended;
}

// Starts commandLine; a failure is said, with the system's code.
bool Started(const std::string& commandLine, PROCESS_INFORMATION* pi) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, pi))
        return true;
    Complain("cannot start: " + Shown(commandLine) + " (error " + std::to_string(GetLastError()) + ")");
    return false;
}

}  // namespace

bool RunWatched(const std::string& commandLine, unsigned timeoutMs) {
    PROCESS_INFORMATION pi{};
    if (!Started(commandLine, &pi)) return false;
    return Watched(pi, timeoutMs);
}

bool RunKilledWhen(const std::string& commandLine, const std::string& flagFile, bool whenGone,
                   unsigned timeoutMs) {
    PROCESS_INFORMATION pi{};
    if (!Started(commandLine, &pi)) return false;
    CloseHandle(pi.hThread);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    bool killed = false;
    bool ended = false;
    while (!killed && !ended && GetTickCount64() < deadline) {
        const bool exists = GetFileAttributesA(flagFile.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (exists != whenGone) {
            killed = TerminateProcess(pi.hProcess, 1) != 0;
            WaitForSingleObject(pi.hProcess, 10000);
            break;
        }
        ended = WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0;
    }
    if (!killed && !ended) {
        TerminateProcess(pi.hProcess, 1);
        Complain("the program did not reach the point in time");
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    Say(std::string("killed=") + (killed ? "1" : "0"));
    if (!killed) Say("exit=" + std::to_string(code));
    return killed || ended;
}

bool RunRegistryCommand(const std::string& keyPath, const std::string& valueName,
                        unsigned timeoutMs) {
    HKEY root = HKEY_LOCAL_MACHINE;
    std::string sub = keyPath;
    if (sub.rfind("HKLM\\", 0) == 0) {
        sub = sub.substr(5);
    } else if (sub.rfind("HKCU\\", 0) == 0) {
        root = HKEY_CURRENT_USER;
        sub = sub.substr(5);
    } else {
        Complain("key must start with HKLM\\ or HKCU\\");
        return false;
    }
    auto widen = [](const std::string& s) {
        const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
        std::wstring w(n > 0 ? n : 1, L'\0');
        if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
        w.resize(w.size() - 1);
        return w;
    };
    const std::wstring wsub = widen(sub);
    const std::wstring wname = widen(valueName);
    DWORD size = 0;
    if (RegGetValueW(root, wsub.c_str(), wname.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     nullptr, nullptr, &size) != ERROR_SUCCESS) {
        Complain("no such value: " + keyPath + " : " + valueName);
        return false;
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    // Expanded as Active Setup and the shell do.
    if (RegGetValueW(root, wsub.c_str(), wname.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     nullptr, &value[0], &size) != ERROR_SUCCESS) {
        return false;
    }
    value.resize(wcslen(value.c_str()));
    std::vector<wchar_t> expanded(32768);
    const DWORD n = ExpandEnvironmentStringsW(value.c_str(), expanded.data(),
                                              static_cast<DWORD>(expanded.size()));
    if (n == 0 || n > expanded.size()) return false;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, expanded.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        Complain("cannot start the value's command (error " + std::to_string(GetLastError()) + ")");
        return false;
    }
    return Watched(pi, timeoutMs);
}

}  // namespace txdrive
