#include "app/WizardApp.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/InstallEngine.h"
#include "engine/Journal.h"
#include "engine/PackageManifest.h"
#include "engine/UninstallRun.h"
#include "engine/UnattendedRuns.h"
#include "host/AcadDetector.h"
#include "platform/CodePage.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32FolderSecurity.h"
#include "platform/win32/Win32HeldFile.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/Win32SelfRemover.h"
#include "deploy/ExitStatus.h"
#include "platform/win32/Handles.h"
#include "platform/win32/ProcessHardening.h"
#include "platform/win32/Win32FileLog.h"
#include "engine/BuildInfo.h"
#include "engine/CommandLine.h"
#include "host/DetectionLog.h"
#include "platform/Logging.h"
#include "platform/TextFormat.h"
#include "platform/win32/Win32WideText.h"
#include "ui/SetupDialog.h"
#include "ui/UninstallPrompts.h"
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

std::string FolderOf(const std::string& path, const CodePage& codePage) {
    const std::size_t slash = codePage.LastBackslash(path);
    return slash == CodePage::npos ? std::string() : path.substr(0, slash);
}

std::string Today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return ZeroPadded(now.wYear, 4) + ZeroPadded(now.wMonth, 2) + ZeroPadded(now.wDay, 2);
}

}  // namespace

BOOL CWizardApp::InitInstance(HINSTANCE instance, CAcadInfo& info, const char* commandLine) {
    const CodePage codePage(AnsiCodePageId());
    const bool uninstaller = NamedUninstaller(Win32FileSystem().ModulePath(), codePage);
    const ProgramRole role = uninstaller ? ProgramRole::Uninstaller : ProgramRole::Installer;
    // The uninstaller copied later is the program that runs now; and the
    // Data folder is looked for beside where the program really is, so that
    // a user's own junction on the way (a moved Downloads folder) needs no
    // following once junctions are refused below.
    const UniqueHandle ownImage = role == ProgramRole::Installer ? HoldOwnImage() : UniqueHandle();
    Win32FileSystem fileSystem(ownImage ? FinalAnsiPath(ownImage.get()) : std::string(),
                               ownImage ? ownImage.get() : nullptr);
    // What the Data folder must match, read through the held file: the
    // bytes the signature was checked on. A program file that cannot be
    // held cannot vouch for any Data folder.
    PackageManifest manifest;
    if (role == ProgramRole::Installer) {
        if (ownImage) {
            Win32HeldFile image(ownImage.get(), fileSystem.ModulePath());
            manifest = ReadImageManifest(image);
        } else {
            manifest.state = PackageManifest::State::Unreadable;
        }
    }
    const std::string fullLine = GetCommandLineA();
    (void)commandLine;
    const CommandLine line = ParseCommandLine(ArgumentsOf(fullLine), role);

    // Elevated, every path below a user's folders (the log in %TEMP%, the
    // settings in %APPDATA%) could be a junction that user made.
    const bool elevated = RunsElevated();
    const bool junctionsRefused = elevated && RefuseUserMadeJunctions();

    // The log never stops anything: when it cannot be made, nothing is written.
    const std::string logPath =
        line.hasLog ? line.logFile
                    : Win32FileLog::DefaultPath(uninstaller ? "TarnixUninstall.log" : "TarnixSetup.log");
    Win32FileLog log(logPath, line.hasLog ? LogPlace::Named : LogPlace::OwnName);
    log.Line(std::string("Tarnix批打印软件 ") + kDisplayVersion +
             (uninstaller ? " uninstaller" : " installer") + ", " + std::to_string(kBuildBits) +
             "-bit");
    const bool utf8 = codePage.Id() == 65001;
    log.Line("command line: " + ShownEscaped(fullLine, utf8));
    log.Line("ANSI code page " + std::to_string(codePage.Id()) +
             (elevated ? ", elevated" : ", not elevated"));
    if (elevated)
        log.Line(junctionsRefused ? "junctions made by other users: refused"
                                  : "junctions made by other users: not refused (not supported)");
    if (role == ProgramRole::Installer)
        log.Line(ownImage ? "program file held: " + fileSystem.ModulePath()
                          : std::string("program file: not held"));
    // Elevated, a file that cannot be held is one someone else may rename
    // and replace: what the run copies as the uninstaller would be theirs.
    const bool imageUnsafe = role == ProgramRole::Installer && elevated && !ownImage;
    exitStatus_ = Run(instance, info, line, role, codePage, fileSystem, manifest, log, imageUnsafe);
    log.Line("exit status " + std::to_string(exitStatus_));
    return FALSE;
}

namespace {

// A window-less run shows nothing; what it would have shown is logged.
class NoMessageBox final : public IMessageBox {
public:
    [[nodiscard]] int Show(const std::string&, const std::string&, unsigned) override {
        return kIdCancel;
    }
};

}  // namespace

int CWizardApp::Run(HINSTANCE instance, CAcadInfo& info, const CommandLine& line,
                    ProgramRole role, const CodePage& codePage, Win32FileSystem& fileSystem,
                    const PackageManifest& manifest, ILog& log, bool imageUnsafe) {
    Win32MessageBox windowed;
    NoMessageBox none;
    LoggingMessageBox messages(line.silent ? static_cast<IMessageBox&>(none) : windowed, log);
    const char* caption = role == ProgramRole::Uninstaller ? kUninstallCaption : kInstallCaption;

    if (!line.ok) {
        log.Line("command line error: " + ShownEscaped(line.error, codePage.Id() == 65001));
        Tell(messages, line.error + "\n\n" + UsageText(role), caption, kMbOk | kMbIconStop);
        return kExitBadCommandLine;
    }
    if (line.help) {
        Tell(messages, UsageText(role), caption, kMbOk);
        return kExitDone;
    }
    if (imageUnsafe) {
        log.Line("the program's own file cannot be held: nothing is changed");
        Tell(messages, kImageNotHeldMessage, caption, kMbOk | kMbIconStop);
        return kExitFailed;
    }

    Win32Registry realRegistry;
    // Every change the run makes is logged; reads are not.
    LoggingRegistry registry(realRegistry, log);
    LoggingFileSystem files(fileSystem, log);
    Win32WideText wideText;
    Win32ProcessList processes;

    if (role == ProgramRole::Uninstaller && line.perUser)
        return RunPerUserStep(FolderOf(fileSystem.ModulePath(), codePage), registry, files,
                              codePage, wideText, log);
    if (role == ProgramRole::Uninstaller) {
        Win32SelfRemover remover;
        Win32FolderSecurity realFolderSecurity;
        LoggingFolderSecurity folderSecurity(realFolderSecurity, log);
        UninstallPrompts prompts(messages, line.silent);
        return UninstallRun(registry, files, folderSecurity, processes, remover, codePage, wideText,
                            log)
            .Run(prompts, line.silent);
    }

    // Once, before the dialog exists: its first view shows the result.
    AcadDetector(realRegistry, codePage).DetectAcadReleases(info);
    LogDetection(log, info);

    Win32FolderSecurity realFolderSecurity;
    LoggingFolderSecurity folderSecurity(realFolderSecurity, log);
    EngineServices services{files, registry, wideText, codePage, processes, folderSecurity, log};
    services.userFolders = &folderSecurity;
    services.installDate = Today();
    services.manifest = &manifest;
    InstallEngine engine(services);
    if (line.silent) return RunSilentInstall(line, info, engine, codePage, log);

    InstallRun run;
    SetupWindow dialog(instance, nullptr, info, engine, codePage, run, fileSystem);
    LoggingMessageBox dialogBoxes(dialog.OwnMessages(), log);
    dialog.RouteMessagesThrough(dialogBoxes);
    if (line.hasFolder || line.hasReleases) {
        TickFlags detected{};
        for (int i = 0; i < kReleaseCount; ++i) detected[i] = info.IsDetected(i) ? 1 : 0;
        std::vector<int> skipped;
        const TickFlags ticks = RequestedTicks(line, detected, &skipped);
        for (int year : skipped)
            log.Line("release " + std::to_string(year) + " is not installed on this machine");
        dialog.Logic().Preset(line.hasFolder ? line.folder : dialog.Logic().FolderText(), ticks);
    }
    // The completion button ends it with IDOK; anything else is a cancel.
    return dialog.DoModal() == IDOK ? kExitDone : kExitCancelled;
}

}  // namespace tx
