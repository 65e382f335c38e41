// Entry point of SetUp.exe.
#include <windows.h>


#include <cstdlib>
#include <string>
#include <vector>

#include "app/WizardApp.h"
#include "engine/UninstallScope.h"
#include "host/AcadInfo.h"
#include "platform/CodePage.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32FileSystem.h"
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
    // First of all: the program runs elevated from a folder its user can
    // write, so no DLL may be looked for there (nor in the current one).
    // Where the search cannot be System32 only, SystemLibrary loads by full
    // path.
    (void)tx::RestrictDllSearchToSystem32();
    // The uninstaller's cleanup copy does nothing else, and only for the
    // uninstaller that started it: started by anyone else, by hand or with
    // other paths, it does nothing at all.
    std::vector<std::wstring> args = tx::SplitCommandLine(GetCommandLineW());
    if (args.size() >= 2 && args[1] == tx::kCleanupSwitch) {
        tx::CleanupOrder order = tx::ReadCleanupOrder(args);
        tx::Win32FileSystem files;
        const tx::CodePage codePage(tx::AnsiCodePageId());
        if (!order.ok || !tx::CleanupAllowed(files, codePage, order.parentImage, order.ownImage,
                                             order.image, order.folders))
            return 1;
        return tx::RunCleanup(order);
    }
    theApp.InitInstance(instance, theAcadInfo, commandLine);
    return theApp.ExitStatus();
}
