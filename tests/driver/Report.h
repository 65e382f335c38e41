// Output of the driver: one line per fact, UTF-8, flushed at once (the test
// scripts read the output file while the driver may still be running).
#pragma once

#include <string>

namespace txdrive {

// ANSI-code-page text as UTF-8 with \n, \r, \t and \xHH escapes, so that a
// value is always one line; backslashes are doubled unless asked not to be
// (registry key paths read better as they are).
std::string Shown(const std::string& ansi, bool doubleBackslashes = true);

// UTF-16 text as UTF-8 with the same escapes; a code unit UTF-8 cannot
// carry (an unpaired surrogate) appears as \uXXXX.
std::string ShownWide(const std::wstring& wide, bool doubleBackslashes = true);

void Say(const std::string& line);
// Diagnostics go to stderr so that reports stay parseable.
void Complain(const std::string& line);

std::string Hex(unsigned long long v);

}  // namespace txdrive
