// Entry point of SetUp.exe.
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <cwchar>

#include "app/WizardApp.h"
#include "host/AcadInfo.h"
#include "platform/win32/Win32SelfRemover.h"

namespace {

// The program's two process-wide objects, constructed in this order before
// WinMain and destroyed in reverse at exit. The application object holds no
// state; the detection record is the one record every stage reads.
tx::CWizardApp theApp;
tx::CAcadInfo theAcadInfo;

}  // namespace

#if defined(__GNUC__) && !defined(__clang__)
// The GNU runtime's default terminate handler prints the exception's type
// to stderr, which a GUI program does not have, and drags the symbol
// demangler (about 50 KB) into the static program. Ending at once is all
// it could do here.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // The uninstaller's cleanup copy does nothing else.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv != nullptr) {
        const bool cleanup = argc >= 2 && std::wcscmp(argv[1], tx::kCleanupSwitch) == 0;
        const int status = cleanup ? tx::RunCleanup(argc, argv) : 0;
        LocalFree(argv);
        if (cleanup) return status;
    }
    theApp.InitInstance(instance, theAcadInfo, commandLine);
    return theApp.ExitStatus();
}
