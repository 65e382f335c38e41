// Running the program under test from the driver and watching it.
#pragma once

#include <string>
#include <vector>

namespace txdrive {

// Starts commandLine (ANSI), polls every few milliseconds for visible
// top-level windows of that process until it ends or timeoutMs passes,
// and reports "exit=N" and "windows=N" (plus each window seen). False when
// it could not be started or did not end in time.
bool RunWatched(const std::string& commandLine, unsigned timeoutMs);

// The command line stored in a REG_SZ / REG_EXPAND_SZ value (read with the
// wide call, environment variables expanded), run as RunWatched does.
bool RunRegistryCommand(const std::string& keyPath, const std::string& valueName,
                        unsigned timeoutMs);

// Starts commandLine (ANSI) and ends it with TerminateProcess, as a power
// cut or a crash would, as soon as flagFile exists (or, with whenGone, no
// longer exists): polled every millisecond. Reports "killed=1" then, or
// "killed=0" and "exit=N" when the program ended first. False when it could
// not be started or neither happened within timeoutMs.
bool RunKilledWhen(const std::string& commandLine, const std::string& flagFile, bool whenGone,
                   unsigned timeoutMs);

}  // namespace txdrive
