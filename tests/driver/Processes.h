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

}  // namespace txdrive
