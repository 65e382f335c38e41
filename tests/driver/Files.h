// File-system helpers that must see what the installer sees under Wine.
#pragma once

#include <string>

namespace txdrive {

// Prints the entries of a folder listing ("dir\*.*") in the order the
// platform's find operation returns them. False when nothing can be listed.
bool ListFolder(const std::string& dir);

// Opens (creating if needed) a file with no sharing, says "held", and keeps
// it open until the flag file exists or timeoutMs has passed. False when the
// file cannot be opened. deleteAccess: opens an existing file with delete
// access only, shared with everyone, instead.
bool HoldFile(const std::string& path, const std::string& flag, unsigned long timeoutMs,
              bool deleteAccess);

}  // namespace txdrive
