// Removing the running uninstaller and its folders once it has ended.
#pragma once

#include <string>
#include <vector>

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

// The cleanup copy's work, from its split command line. Returns the exit
// status.
int RunCleanup(const std::vector<std::wstring>& args);

}  // namespace tx
