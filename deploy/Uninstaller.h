// The uninstaller: reads the install record beside its own program file and
// puts the machine back as it was before the first installation.
#pragma once

#include <string>
#include <vector>

#include "deploy/InstallRecord.h"
#include "platform/FileSystem.h"
#include "deploy/ExitStatus.h"
#include "platform/MbText.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/SelfRemover.h"
#include "platform/TextConversion.h"
#include "platform/UserIo.h"

namespace tx {


// Texts (code page 936).
extern const char* const kUninstallCaption;
extern const char* const kUninstallCloseAcad;
extern const char* const kUninstallConfirm;
extern const char* const kUninstallDone;
extern const char* const kUninstallDamaged;

class Uninstaller {
public:
    // wide: the same conversion and upper-casing the installation gave the
    // trusted-paths entry, to find that entry again.
    Uninstaller(IRegistry& registry, IFileSystem& fs, IProcessList& processes,
                IMessageBox& messages, ISelfRemover& selfRemover, const CodePage& codePage,
                const IWideText& wide)
        : reg_(registry), fs_(fs), procs_(processes), mb_(messages), self_(selfRemover),
          cp_(codePage), wide_(wide) {}

    // The whole uninstallation; returns the exit status. Silent: no message
    // box at all, and a running AutoCAD ends it at once.
    int Run(bool silent);

private:
    bool IsAcadRunning();
    // Each returns false when the item must stay in the record.
    bool RemoveDemandLoad(const RecordedDemandLoad& entry);
    bool RemoveMachineKey(const std::string& path);
    bool RestoreTrustedPaths(const RecordedTrustedPaths& entry);
    // The key (a recorded uninstall entry) names another installation
    // folder than this record's: a later installation elsewhere owns it.
    bool NamesAnotherFolder(const std::string& entry);
    bool UndoFile(const RecordedFile& file);
    bool RemoveFile(const std::string& path);
    bool InInstallFolder(const std::string& path) const;
    bool ContainsImage(const std::string& folder) const;

    IRegistry& reg_;
    IFileSystem& fs_;
    IProcessList& procs_;
    IMessageBox& mb_;
    ISelfRemover& self_;
    const CodePage& cp_;
    const IWideText& wide_;

    InstallRecord record_;
    std::string image_;
    bool restartPending_ = false;
};

}  // namespace tx
