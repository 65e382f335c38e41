// The fixed path buffers the installer's file operations were sized for.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace tx {

// A path fits a MAX_PATH buffer when its terminator fits too. Paths that do
// not are never cut short: the operation that needs them is treated as failed.
inline bool FitsPathBuffer(const std::string& path) { return path.size() < kMaxPath; }

}  // namespace tx
