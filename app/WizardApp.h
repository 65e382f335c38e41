// The installer as a program: detect, show the setup dialog once, end. The
// same program, named Uninstall.exe, is the uninstaller.
#pragma once

#include <windows.h>

#include "host/AcadInfo.h"
#include "platform/Log.h"
#include "platform/CodePage.h"
#include "engine/CommandLine.h"
#include "engine/PackageManifest.h"

namespace tx {

class Win32FileSystem;

class CWizardApp {
public:
    // Detects the installed AutoCAD releases into info, runs the setup
    // dialog modally and returns FALSE: the process then ends without a
    // message loop, however the dialog was left. Run under the file name
    // Uninstall.exe it uninstalls instead. The command line may ask for a
    // run without any window (/S), preset the dialog (/D=, /RELEASES=),
    // name the log (/LOG=) or, for Uninstall.exe, the per-user step (/USER).
    BOOL InitInstance(HINSTANCE instance, CAcadInfo& info, const char* commandLine);
    // The process exit status (see the README's table).
    int ExitStatus() const { return exitStatus_; }

private:
    // One role's run; returns the exit status. imageUnsafe: an elevated
    // installer that could not hold its own file, which stops at once.
    int Run(HINSTANCE instance, CAcadInfo& info, const CommandLine& line, ProgramRole role,
            const CodePage& codePage, Win32FileSystem& fileSystem, const PackageManifest& manifest,
            ILog& log, bool imageUnsafe);

    int exitStatus_ = 0;
};

}  // namespace tx
