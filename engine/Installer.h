// What the setup dialog and the silent run need of the installation.
#pragma once

#include <cstddef>
#include <string>

#include "engine/InstallFolder.h"
#include "engine/InstallObserver.h"
#include "engine/InstallPlanner.h"
#include "host/AcadInfo.h"

namespace tx {

enum class InstallResult {
    Completed,     // every change made (an interactive run may have skipped some)
    NoDataFolder,  // nothing changed
    Aborted,       // the user aborted after a failed copy: undone
    Failed,        // a change failed in an all-or-nothing run: undone
    RestartPending,  // a restart still to come would change files of it: nothing changed
};

class IInstaller {
public:
    virtual ~IInstaller() = default;
    virtual bool IsAcadRunning() = 0;
    // The longest installation folder (bytes) for which every path the
    // installation builds from it still fits MAX_PATH.
    virtual std::size_t MaxInstallFolderLength() = 0;
    // Makes or finds the chosen folder and the installation folder in it,
    // and checks them; when ready, the hold keeps both open until it is
    // destroyed, so neither can be renamed or replaced meanwhile.
    virtual PreparedFolder PrepareInstallFolder(const std::string& chosen,
                                                const std::string& installFolder) = 0;
    // The folder of the installation on this machine, as its Programs and
    // Features entry names it; empty when there is none.
    virtual std::string InstalledFolder() = 0;
    // The whole installation into a prepared folder. An installation in
    // another folder moves there; one in the same folder is completed or
    // repaired; releases not ticked lose what an earlier run gave them.
    virtual InstallResult Install(const CAcadInfo& info, const InstallRequest& request,
                                  IInstallObserver& observer) = 0;
};

}  // namespace tx
