#include "app/WizardApp.h"

#include "deploy/Deployment.h"
#include "host/Detection.h"
#include "host/Registration.h"
#include "platform/MbText.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32FolderSecurity.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "ui/InstallSteps.h"
#include "ui/SetupDialog.h"
#include "ui/win32/SetupWindow.h"
#include "ui/win32/Win32UserIo.h"

namespace tx {

BOOL CWizardApp::InitInstance(HINSTANCE instance, CAcadInfo& info) {
    const CodePage codePage(AnsiCodePageId());
    Win32Registry registry;
    Win32FileSystem fileSystem;
    Win32ProcessList processes;
    Win32MessageBox messages;

    // Once, before the dialog exists: its first view shows the result.
    AcadDetector(registry, codePage).DetectAcadReleases(info);

    Deployer deployer(fileSystem, processes, messages, codePage);
    HostRegistrar registrar(registry, codePage);
    Win32FolderSecurity folderSecurity;
    InstallSteps steps(deployer, registrar, fileSystem, folderSecurity, codePage);
    InstallRun run;

    {
        SetupWindow dialog(instance, nullptr, info, steps, codePage, run, fileSystem);
        dialog.DoModal();  // however it ended, the run is over
    }
    return FALSE;
}

}  // namespace tx
