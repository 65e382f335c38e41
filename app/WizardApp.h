// The installer as a program: detect, show the setup dialog once, end. The
// same program, named Uninstall.exe, is the uninstaller.
#pragma once

#include <windows.h>

#include "host/AcadInfo.h"

namespace tx {

class CWizardApp {
public:
    // Detects the installed AutoCAD releases into info, runs the setup
    // dialog modally and returns FALSE: the process then ends without a
    // message loop, however the dialog was left. Run under the file name
    // Uninstall.exe it uninstalls instead ("/S": without any window).
    BOOL InitInstance(HINSTANCE instance, CAcadInfo& info, const char* commandLine);
    // The process exit status (see the README's table).
    int ExitStatus() const { return exitStatus_; }

private:
    int exitStatus_ = 0;
};

}  // namespace tx
