#include <windows.h>
#include <tlhelp32.h>

#include "platform/win32/Handles.h"
#include "platform/win32/Win32Processes.h"

namespace tx {

#ifdef _WIN64
static_assert(sizeof(PROCESSENTRY32) == 304, "the 64-bit ANSI process entry");
#endif

bool Win32ProcessList::ExecutableNames(std::vector<std::string>* names) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.get() == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    if (!Process32First(snapshot.get(), &entry)) return false;
    do {
        names->emplace_back(entry.szExeFile);
    } while (Process32Next(snapshot.get(), &entry));
    return true;
}

}  // namespace tx
