// Exit status of the installer, the uninstaller and the per-user step
// alike: the values deployment tools know from Windows Installer.
#pragma once

namespace tx {

constexpr int kExitDone = 0;
constexpr int kExitCancelled = 1602;       // Cancel, close box, Abort, No
constexpr int kExitFailed = 1603;
constexpr int kExitHostRunning = 1618;     // AutoCAD runs; nothing was changed
constexpr int kExitBadCommandLine = 1639;  // nothing was changed
constexpr int kExitRestart = 3010;         // done; a restart finishes it

}  // namespace tx
