// The uninstaller: reads the journal beside its own program file and undoes
// every action in it, newest first, so the machine is as it was before the
// first installation. It runs elevated, so it trusts a journal only in a
// folder no one but an administrator can have written (CheckInstalledFolder),
// and acts only on what an installation changes (UninstallScope).
#pragma once

#include <string>
#include <vector>

#include "engine/Journal.h"
#include "engine/UninstallObserver.h"
#include "platform/FileSystem.h"
#include "platform/FolderSecurity.h"
#include "platform/Log.h"
#include "platform/CodePage.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/SelfRemover.h"
#include "platform/WideText.h"

namespace tx {

class UninstallRun {
public:
    UninstallRun(IRegistry& registry, IFileSystem& fs, IFolderSecurity& security,
                 IProcessList& processes, ISelfRemover& selfRemover, const CodePage& codePage,
                 const IWideText& wide, ILog& log)
        : reg_(registry), fs_(fs), security_(security), procs_(processes), self_(selfRemover),
          cp_(codePage), wide_(wide), log_(log) {}

    // The whole uninstallation; returns the exit status. silent: a running
    // AutoCAD ends it at once.
    int Run(IUninstallObserver& observer, bool silent);

private:
    void RemoveUnnamedBackups(const JournalContent& journal);
    bool ContainsImage(const std::string& folder) const;

    IRegistry& reg_;
    IFileSystem& fs_;
    IFolderSecurity& security_;
    IProcessList& procs_;
    ISelfRemover& self_;
    const CodePage& cp_;
    const IWideText& wide_;
    ILog& log_;
    std::string image_;
};

}  // namespace tx
