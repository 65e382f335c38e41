#include "ui/UnattendedRuns.h"

#include "deploy/Deployment.h"
#include "deploy/ExitStatus.h"
#include "host/Registration.h"
#include "ui/HeadlessSetupView.h"
#include "ui/InstallSteps.h"
#include "ui/SetupDialog.h"

namespace tx {

int RunSilentInstall(const CommandLine& line, CAcadInfo& info, IInstallSteps& steps,
                     const CodePage& codePage, IMessageBox& answers, ILog& log) {
    TickFlags detected{};
    for (int i = 0; i < kReleaseCount; ++i) detected[i] = info.IsDetected(i) ? 1 : 0;
    std::vector<int> skipped;
    const TickFlags ticks = RequestedTicks(line, detected, &skipped);
    for (int year : skipped) {
        log.Line("release " + std::to_string(year) + " is not installed on this machine: skipped");
    }

    // Asked once, before anything is made: a deployment tool retries 1618.
    if (steps.IsAcadRunning()) {
        log.Line("AutoCAD is running: nothing changed");
        return kExitHostRunning;
    }

    HeadlessSetupView view(answers);
    InstallRun run;
    run.AcadCheckPending = false;
    Dlg_Setup dlg(view, info, steps, codePage, run);
    dlg.Preset(line.hasFolder ? line.folder : std::string(kDefaultFolder), ticks);
    dlg.OnInitDialog();
    dlg.OnInstall();
    switch (dlg.LastOutcome()) {
        case Dlg_Setup::Outcome::Completed:
            return kExitDone;
        case Dlg_Setup::Outcome::FolderRefused:
            log.Line("the installation folder was refused: nothing changed");
            return kExitBadCommandLine;
        case Dlg_Setup::Outcome::AcadRunning:
            return kExitHostRunning;
        case Dlg_Setup::Outcome::PayloadFailed:
        case Dlg_Setup::Outcome::None:
            break;
    }
    log.Line("the package could not be installed");
    return kExitFailed;
}

int RunPerUserStep(const std::string& installFolder, HostRegistrar& registrar,
                   Deployer& deployer, ILog& log) {
    CAcadInfo info;
    info.m_strInstallDir = installFolder;
    registrar.AddTrustedPath(info);
    const std::string settings = installFolder + "\\" + kSettingsFileName;
    if (!deployer.CopySettingsIfMissing(settings)) {
        log.Line("settings file not given to this user: " + settings);
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace tx
