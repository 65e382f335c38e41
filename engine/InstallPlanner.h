// Builds an installation's plan from the detection record, the ticks, the
// installation folder, the package's Data folder and what the machine holds
// now: the payload, the settings file, the demand-load keys, the trusted
// paths, the fonts and the driver, then the uninstaller and its entries.
#pragma once

#include <string>
#include <vector>

#include "deploy/UserSettings.h"
#include "engine/InstallPlan.h"
#include "engine/InstallFolder.h"
#include "engine/Journal.h"
#include "host/AcadInfo.h"
#include "host/HostRegistrar.h"
#include "platform/FileSystem.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"

namespace tx {

// The Programs and Features key below HKEY_LOCAL_MACHINE.
extern const char* const kUninstallKey;
// The Active Setup component, below HKEY_LOCAL_MACHINE and (as the mark
// of a user who has had the per-user part) below HKEY_CURRENT_USER.
extern const char* const kActiveSetupKey;
// The product's Active Setup Version; a run raises its last part.
extern const char* const kActiveSetupVersion;
// What Windows runs at a user's logon: the uninstaller's per-user step,
// without the elevation its manifest asks for.
std::string ActiveSetupStubPath(const std::string& uninstaller);
// The installation folder the Programs and Features entry names (without
// a trailing backslash); empty when there is no entry.
std::string EntryInstallLocation(IRegistry& registry, const CodePage& codePage);

struct InstallRequest {
    std::string folder;  // the installation folder, without a trailing backslash
    // Levels of it this run made before anything else, outermost first.
    std::vector<std::string> madeLevels;
    // The open levels, which keep anyone from removing them: let go of
    // before an undone run removes the levels it made.
    InstallFolderHold* hold = nullptr;
    TickFlags ticks{};
    std::string installDate;  // yyyymmdd
};

class InstallPlanner {
public:
    InstallPlanner(IFileSystem& fs, IRegistry& registry, const IWideText& wide,
                   const CodePage& codePage, UserSettings& settings)
        : fs_(fs), reg_(registry), cp_(codePage), wide_(wide), registrar_(registry, codePage, wide),
          settings_(settings) {}

    // False when the Data folder cannot be listed (nothing planned).
    // earlier: the journal of the installations into this folder so far.
    bool Plan(const CAcadInfo& info, const InstallRequest& request, const JournalContent& earlier,
              InstallPlan* plan);

private:
    struct State;
    void Add(State& s, std::unique_ptr<Action> action, int needs = -1);
    // A file action for one copy: new, replaced with a backup, or a second
    // copy onto a target this plan writes already.
    void AddFileWrite(State& s, const std::string& source, const std::string& target,
                      ActionRole role);
    std::string NextBackup(State& s, const std::string& target);
    void PlanPayload(State& s, const std::string& data);
    void PlanDemandLoads(State& s, const CAcadInfo& info);
    void PlanSupportFiles(State& s, const CAcadInfo& info, const std::string& data);
    // Copies into this folder's backups the originals another folder's
    // installation backed up, for the files this plan writes again.
    void PlanCarriedBackups(State& s);
    void PlanUninstaller(State& s);
    // The trusted paths, without the entries of the folders the
    // installation moved from (unless a value held one before).
    void PlanTrustedPaths(State& s);
    std::string NextActiveSetupVersion();

    IFileSystem& fs_;
    IRegistry& reg_;
    const CodePage& cp_;
    const IWideText& wide_;
    HostRegistrar registrar_;
    UserSettings& settings_;
};

}  // namespace tx
