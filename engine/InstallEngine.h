// The installation: plans every change, writes each one's journal line to
// disk before making it, and undoes the run in reverse order when it is
// aborted or, in an all-or-nothing run, when any change fails. A run that
// completes merges its lines into the journal of the installations before.
#pragma once

#include <string>
#include <vector>

#include "deploy/UserSettings.h"
#include "engine/Installer.h"
#include "engine/Journal.h"
#include "engine/PackageManifest.h"
#include "platform/FileSystem.h"
#include "platform/FolderSecurity.h"
#include "platform/Log.h"
#include "platform/CodePage.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/WideText.h"

namespace tx {

struct EngineServices {
    EngineServices(IFileSystem& f, IRegistry& r, const IWideText& w, const CodePage& c,
                   IProcessList& p, IFolderSecurity& s, ILog& l)
        : fs(f), registry(r), wide(w), codePage(c), processes(p), folders(s), log(l) {}
    IFileSystem& fs;
    IRegistry& registry;
    const IWideText& wide;
    const CodePage& codePage;
    IProcessList& processes;
    IFolderSecurity& folders;
    ILog& log;
    // Holds the levels of the user's settings folder while copying into
    // it; null when the run is not elevated.
    IFolderSecurity* userFolders = nullptr;
    // yyyymmdd, for the Programs and Features entry.
    std::string installDate;
    // What the program carries to check the Data folder against; null for
    // none: the Data folder is installed as it is.
    const PackageManifest* manifest = nullptr;
};

class InstallEngine final : public IInstaller {
public:
    explicit InstallEngine(const EngineServices& services);

    bool IsAcadRunning() override;
    std::size_t MaxInstallFolderLength() override;
    PreparedFolder PrepareInstallFolder(const std::string& chosen,
                                        const std::string& installFolder) override;
    std::string InstalledFolder() override;
    InstallResult Install(const CAcadInfo& info, const InstallRequest& request,
                          IInstallObserver& observer) override;

private:
    struct Run;
    // Reads this folder's journal, and the one of an installation in
    // another folder, which moves here; false when the journals cannot be
    // told (nothing changed).
    bool ReadEarlier(Run& run);
    // Whether a restart still to come would rename or delete a path this
    // run writes.
    bool RestartPendsOn(const Run& run);
    // Before the first change: prepares every action whose preparation
    // writes nothing, and writes all their lines to disk with one flush.
    // False when the journal cannot be written.
    bool JournalAhead(Run& run);
    // Backs up the files of the replacements from action i on and writes
    // their lines together.
    void PrepareBatch(Run& run, std::size_t i);
    // The line of action i alone (one whose backup had to come first).
    OsResult JournalOne(Run& run, std::size_t i);
    // Undoes the actions made before action i that need it, now that it
    // was not made.
    void UndoDependents(Run& run, std::size_t i);
    // Undoes every action whose line was written (and every unjournaled
    // one made), newest first, and puts the journal back as it was.
    void RollBack(Run& run);
    // Merges this run into the journal and drops the backups it no longer
    // needs; then gives back what earlier runs made and this one did not
    // make again (a release not ticked, an earlier folder).
    void Commit(Run& run);
    // Removes the levels a run made, innermost first, letting go of them.
    void RemoveLevels(const std::vector<std::string>& levels, InstallFolderHold* hold);

    EngineServices s_;
    UserSettings settings_;
};

// Merges a journal's actions into one per thing changed: the first line of
// a file, folder or key stays (its backup is the machine's own), a value's
// first state before and last state written, a demand-load key's last
// LOADER. The backups of later lines no longer needed go to *dropped.
ActionList MergeJournal(ActionList actions, const CodePage& codePage,
                        std::vector<std::string>* dropped);

// What an action changes, for telling two lines about the same thing:
// its kind and lower-cased path; *backup gets a file line's backup.
std::string ThingOf(const Action& action, const CodePage& codePage, std::string* backup = nullptr);

}  // namespace tx
