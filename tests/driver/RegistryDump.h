// A sorted, line-per-fact dump of registry subtrees, for comparing the state
// before and after a run and with expected files.
#pragma once

#include <string>

namespace txdrive {

// path: HKLM\... or HKCU\... (also HKEY_LOCAL_MACHINE\..., HKEY_CURRENT_USER\...).
// Returns false when the root is not understood.
// wide: names and text values are read through the wide calls and shown
// as every character they hold, not as the ANSI code page sees them.
bool DumpRegistry(const std::string& path, bool wide = false);

}  // namespace txdrive
