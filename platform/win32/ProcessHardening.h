// What the elevated program does to itself before it touches anything a
// user may have prepared.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/Handles.h"

namespace tx {

// The program's own file, whole however long; empty when unknown.
[[nodiscard]] std::wstring OwnImagePath();

// True when the process token is elevated.
bool RunsElevated();

// Makes every file-system call of the process refuse junctions that a
// non-administrator made (RedirectionGuard), so that a user-owned folder
// such as %APPDATA% or %TEMP% cannot send an elevated write elsewhere.
// False where Windows does not have it (before Windows 10 21H2) or refuses.
[[nodiscard]] bool RefuseUserMadeJunctions();

// Opens the program's own file for reading and shares it for reading only.
// While the handle is held, nobody can rename or replace the file, which a
// running program's file otherwise allows: what is later copied from that
// path (the uninstaller) is the program that runs. Empty on failure.
[[nodiscard]] UniqueHandle HoldOwnImage();

// The path the file system gives an open file, every link on the way
// resolved, in the ANSI code page ("C:\..." or "\\server\share\...");
// empty when there is none or the code page cannot spell it.
[[nodiscard]] std::string FinalAnsiPath(HANDLE file);

}  // namespace tx
