// Removing the running uninstaller and its folders once it has ended.
#pragma once

#include <string>
#include <vector>

// <windows.h> first: FileSystem.h then takes back the names it maps.
#include "platform/win32/Handles.h"
#include "platform/FileSystem.h"
#include "platform/SelfRemover.h"

namespace tx {

// The uninstaller starts a copy of itself from a fresh folder that only
// administrators and the system may write, below the Windows folder. The
// copy waits on the uninstaller's process handle (inherited, so no process
// id can be reused in between), deletes the image and removes the folders,
// and leaves only itself for the restart. What it cannot delete, and
// everything when no copy can be started, is scheduled for the restart
// instead. Nothing is run from a folder a user could write to.
class Win32SelfRemover : public ISelfRemover {
public:
    [[nodiscard]] bool RemoveAfterExit(const std::string& image,
                                       const std::vector<std::string>& folders) override;
};

// The command-line switch of the cleanup copy.
extern const wchar_t* const kCleanupSwitch;

// A command line split into its arguments (the program's own name first).
std::vector<std::wstring> SplitCommandLine(const wchar_t* line);

// What the cleanup copy is told, read from its split command line:
//   <copy> /cleanup-after <handle> "<image>" ["<folder>"...]
// Its parent is the handle, when that is a process handle it inherited;
// the paths are in the ANSI code page, as the uninstaller named them.
struct CleanupOrder {
    bool ok = false;  // false: no such line, or the handle is no process's
    UniqueHandle parent;
    std::string parentImage;  // the parent's program file, as the system names it
    std::string ownImage;     // this copy's
    std::string image;
    FileId imageId;
    std::vector<std::string> folders;
};
CleanupOrder ReadCleanupOrder(const std::vector<std::wstring>& args);

// The cleanup copy's work, for an order found allowed: waits for the
// parent to end, deletes the image while it is still the file it was when
// read, removes the folders that are empty. Returns the exit status.
int RunCleanup(CleanupOrder& order);

// Deletes the file at path if it is still the one id names (a link of that
// name is deleted as itself, never what it points to); a read-only file
// too. False when it is another file, or cannot be deleted now.
bool DeleteIfStill(const std::wstring& path, const FileId& id);

}  // namespace tx
