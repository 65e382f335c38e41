// A DLL planted under a system DLL's name: loading it into a process leaves
// the marker file "<the DLL's own path>.loaded", naming the process. It
// exports nothing, so a program that meant the real DLL fails as well.
#include <windows.h>

#include "platform/win32/Handles.h"

namespace {

void LeaveMarker(HINSTANCE self) {
    wchar_t path[MAX_PATH + 16];
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const wchar_t suffix[] = L".loaded";
    for (DWORD i = 0; i < sizeof suffix / sizeof suffix[0]; ++i) path[n + i] = suffix[i];
    const tx::UniqueHandle marker(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (marker.get() == INVALID_HANDLE_VALUE) return;
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    char text[MAX_PATH * 3];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, program, static_cast<int>(length), text,
                                          sizeof text, nullptr, nullptr);
    DWORD written = 0;
    if (bytes > 0) WriteFile(marker.get(), text, static_cast<DWORD>(bytes), &written, nullptr);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) LeaveMarker(self);
    return TRUE;
}
