#include <windows.h>
#include <tlhelp32.h>

#include "platform/win32/Win32Processes.h"

namespace tx {

namespace {

#ifdef _WIN64
static_assert(sizeof(PROCESSENTRY32) == 304, "the 64-bit ANSI process entry");
#endif

// Owns the snapshot handle.
class Snapshot {
public:
    Snapshot() : h_(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)) {}
    ~Snapshot() {
        if (valid()) CloseHandle(h_);
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

}  // namespace

bool Win32ProcessList::ExecutableNames(std::vector<std::string>* names) {
    Snapshot snapshot;
    if (!snapshot.valid()) return false;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    if (!Process32First(snapshot.get(), &entry)) return false;
    do {
        names->emplace_back(entry.szExeFile);
    } while (Process32Next(snapshot.get(), &entry));
    return true;
}

}  // namespace tx
