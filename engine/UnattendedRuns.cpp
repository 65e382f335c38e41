#include "engine/UnattendedRuns.h"

#include "deploy/ExitStatus.h"
#include "deploy/UserSettings.h"
#include "host/HostRegistrar.h"

namespace tx {

namespace {

// A silent run's answers: any failure undoes the run.
class SilentObserver final : public IInstallObserver {
public:
    CopyFailedAnswer CopyFailed(const std::string&) override { return CopyFailedAnswer::Abort; }
    bool AllOrNothing() override { return true; }
    void NoDataFolder() override {}
    void RestartNeeded() override {}
    void Step() override {}
};

}  // namespace

int RunSilentInstall(const CommandLine& line, const CAcadInfo& info, IInstaller& installer,
                     const CodePage& codePage, ILog& log) {
    TickFlags detected{};
    for (int i = 0; i < kReleaseCount; ++i) detected[i] = info.IsDetected(i) ? 1 : 0;
    std::vector<int> skipped;
    InstallRequest request;
    request.ticks = RequestedTicks(line, detected, &skipped);
    for (int year : skipped)
        log.Line("release " + std::to_string(year) + " is not installed on this machine: skipped");

    // Without /D=, where the installation already is: adding a release or
    // repairing keeps it there.
    const std::string remembered = RememberedFolder(installer.InstalledFolder(), codePage);

    // Asked once, before anything is made: a deployment tool retries 1618.
    if (installer.IsAcadRunning()) {
        log.Line("AutoCAD is running: nothing changed");
        return kExitHostRunning;
    }

    std::string chosen;
    const FolderRefusal refusal =
        CheckFolderText(line.hasFolder ? line.folder : remembered, codePage,
                        installer.MaxInstallFolderLength(), &chosen, &request.folder);
    if (refusal != FolderRefusal::None) {
        log.Line("the installation folder was refused: nothing changed");
        return kExitBadCommandLine;
    }
    // Held until the run is over: what is copied and registered is the
    // folder checked here.
    PreparedFolder prepared = installer.PrepareInstallFolder(chosen, request.folder);
    if (prepared.readiness != FolderReadiness::Ready) {
        log.Line("the installation folder was refused: nothing changed");
        return kExitBadCommandLine;
    }
    request.madeLevels = prepared.created;
    request.hold = &prepared.hold;

    SilentObserver observer;
    switch (installer.Install(info, request, observer)) {
        case InstallResult::Completed: return kExitDone;
        // Like a running AutoCAD: a deployment tool tries again later.
        case InstallResult::RestartPending:
            log.Line("a restart is pending for files of this installation: nothing changed");
            return kExitHostRunning;
        case InstallResult::NoDataFolder: log.Line("no Data folder beside the program: nothing changed"); break;
        case InstallResult::Aborted:
        case InstallResult::Failed: log.Line("the package could not be installed: nothing changed"); break;
    }
    return kExitFailed;
}

int RunPerUserStep(const std::string& installFolder, IRegistry& registry, IFileSystem& fs,
                   const CodePage& codePage, const IWideText& wide, ILog& log) {
    HostRegistrar(registry, codePage, wide).AddTrustedPath(installFolder);
    const std::string settings = installFolder + "\\" + kSettingsFileName;
    if (!UserSettings(fs, codePage).CopyIfMissing(settings)) {
        log.Line("settings file not given to this user: " + settings);
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace tx
