// The installer as a program: detect, show the setup dialog once, end.
#pragma once

#include <windows.h>

#include "host/AcadInfo.h"

namespace tx {

class CWizardApp {
public:
    // Detects the installed AutoCAD releases into info, runs the setup
    // dialog modally and returns FALSE: the process then ends without a
    // message loop, however the dialog was left.
    BOOL InitInstance(HINSTANCE instance, CAcadInfo& info);
};

}  // namespace tx
