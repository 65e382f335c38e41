#include "tests/driver/Files.h"

#include <windows.h>

#include "tests/driver/Handles.h"
#include "tests/driver/Report.h"
#include "tests/driver/Windows.h"

namespace txdrive {

bool ListFolder(const std::string& dir) {
    WIN32_FIND_DATAA fd{};
    UniqueFind find(FindFirstFileA((dir + "\\*.*").c_str(), &fd));
    if (!find.Valid()) return false;
    do {
        const bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        Say(std::string(folder ? "dir " : "file ") + Shown(fd.cFileName));
    } while (FindNextFileA(find.Get(), &fd));
    return true;
}

bool HoldFile(const std::string& path, const std::string& flag, unsigned long timeoutMs,
              bool deleteAccess) {
    // With delete access a process may rename the file (a running program's
    // too); shared with everyone, it keeps no one else from opening it,
    // except for an open that does not share deleting.
    UniqueFile file(deleteAccess
                        ? CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                        : CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        Complain("cannot open " + Shown(path) + ": error " + std::to_string(GetLastError()));
        return false;
    }
    Say("held " + Shown(path));
    const bool released =
        PollUntil(timeoutMs, [&] { return GetFileAttributesA(flag.c_str()) != INVALID_FILE_ATTRIBUTES; });
    Say(released ? "released" : "hold timed out");
    return true;
}

}  // namespace txdrive
