// The detection record: everything the installer knows about the AutoCAD
// installations on the machine, and the folder it installs into.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "host/ReleaseTable.h"

namespace tx {

// Ordered, keeps duplicates.
using StringList = std::vector<std::string>;

class CAcadInfo {
public:
    // Installation folder; never ends with a backslash once set.
    std::string m_strInstallDir;
    // Per ReleaseIndex, parallel lists: "AcadLocation" text and the product
    // key path (relative to HKEY_LOCAL_MACHINE, ending with '\').
    std::array<StringList, kReleaseCount> m_arrAcadLocation;
    std::array<StringList, kReleaseCount> m_arrProductKey;
    // Working storage of the registry walk.
    std::string m_strValueName = "AcadLocation";
    StringList m_arrFoundKey;
    StringList m_arrFoundValue;

    bool IsDetected(int releaseIndex) const {
        return releaseIndex >= 0 && releaseIndex < kReleaseCount &&
               !m_arrAcadLocation[releaseIndex].empty();
    }
};

}  // namespace tx
