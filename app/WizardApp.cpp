#include "app/WizardApp.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "deploy/Deployment.h"
#include "deploy/InstallRecorder.h"
#include "deploy/Uninstaller.h"
#include "host/Detection.h"
#include "host/Registration.h"
#include "platform/MbText.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32FolderSecurity.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32SelfRemover.h"
#include "ui/InstallSteps.h"
#include "ui/SetupDialog.h"
#include "ui/win32/SetupWindow.h"
#include "ui/win32/Win32UserIo.h"

namespace tx {

namespace {

// The role comes from the program's own file name: the copy in the
// installation folder is Uninstall.exe.
bool NamedUninstaller(const std::string& modulePath, const CodePage& codePage) {
    const std::size_t slash = codePage.LastBackslash(modulePath);
    const std::string name = slash == CodePage::npos ? modulePath : modulePath.substr(slash + 1);
    return codePage.EqualsNoCase(name, kUninstallerName);
}

bool HasSilentSwitch(const char* commandLine) {
    std::string args = commandLine != nullptr ? commandLine : "";
    std::size_t start = 0;
    while (start < args.size()) {
        const std::size_t end = args.find_first_of(" \t", start);
        const std::string token = args.substr(start, end == std::string::npos ? end : end - start);
        if (token == "/S" || token == "/s") return true;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return false;
}

std::string Today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char date[16];
    std::snprintf(date, sizeof date, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    return date;
}

}  // namespace

BOOL CWizardApp::InitInstance(HINSTANCE instance, CAcadInfo& info, const char* commandLine) {
    // The setup dialog's template holds a progress bar.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    const CodePage codePage(AnsiCodePageId());
    Win32Registry registry;
    Win32FileSystem fileSystem;
    Win32ProcessList processes;
    Win32MessageBox messages;

    if (NamedUninstaller(fileSystem.ModulePath(), codePage)) {
        Win32SelfRemover remover;
        exitStatus_ = Uninstaller(registry, fileSystem, processes, messages, remover, codePage)
                          .Run(HasSilentSwitch(commandLine));
        return FALSE;
    }

    // Once, before the dialog exists: its first view shows the result.
    AcadDetector(registry, codePage).DetectAcadReleases(info);

    InstallRecorder recorder(fileSystem, codePage);
    Deployer deployer(fileSystem, processes, messages, codePage, &recorder);
    HostRegistrar registrar(registry, codePage, &recorder);
    Win32FolderSecurity folderSecurity;
    InstallSteps steps(deployer, registrar, fileSystem, folderSecurity, codePage, registry, recorder,
                       Today());
    InstallRun run;

    {
        SetupWindow dialog(instance, nullptr, info, steps, codePage, run, fileSystem);
        // The completion button ends it with IDOK; anything else is a cancel.
        exitStatus_ = dialog.DoModal() == IDOK ? kExitDone : kExitCancelled;
    }
    return FALSE;
}

}  // namespace tx
