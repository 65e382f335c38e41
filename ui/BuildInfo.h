// Build constants shown in the version line. The program carries no version
// resource: these are its only version data.
#pragma once

#include <climits>

namespace tx {

// Year, month, day.
constexpr int kVersionNumber = 20231218;
// Word width of this build; a 32-bit build cannot load the plug-in's modules
// for 2017 and later, so it does not offer them.
constexpr int kBuildBits = static_cast<int>(sizeof(void*) * CHAR_BIT);

}  // namespace tx
