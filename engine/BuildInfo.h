// Build constants shown in the version line, written into the Programs and
// Features entry and carried by the version resource (engine/Version.h).
#pragma once

#include <climits>

#include "engine/Version.h"

namespace tx {

// Year, month, day.
constexpr int kVersionNumber = TX_VERSION_YEAR * 10000 + TX_VERSION_MONTH * 100 + TX_VERSION_DAY;
static_assert(kVersionNumber == 20231218, "the version line and the resource must agree");
// As the Programs and Features entry shows it.
constexpr const char* kDisplayVersion = TX_VERSION_TEXT;
// Word width of this build; a 32-bit build cannot load the plug-in's modules
// for 2017 and later, so it does not offer them.
constexpr int kBuildBits = static_cast<int>(sizeof(void*) * CHAR_BIT);

}  // namespace tx
