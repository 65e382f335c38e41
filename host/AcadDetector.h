// Finding the installed AutoCAD releases in HKEY_LOCAL_MACHINE.
#pragma once

#include <string>

#include "host/AcadInfo.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"

namespace tx {

class AcadDetector {
public:
    AcadDetector(IRegistry& registry, const CodePage& codePage)
        : reg_(registry), cp_(codePage) {}

    // Both passes: the 32-bit tree (2007-2009) first, then the native tree.
    void DetectAcadReleases(CAcadInfo& info);

    // One pass over treePath (below HKEY_LOCAL_MACHINE); classifies product
    // names against the releases 0..lastIndex. releaseKeyFormat has one "%s"
    // for the release key's name and gives the base path of what is recorded.
    void ScanAcadTree(CAcadInfo& info, const char* treePath, const char* releaseKeyFormat,
                      int lastIndex);

    // Depth-first walk for info.m_strValueName from parent\subkey (an empty
    // subkey is parent itself); stops descending at a key that holds it.
    void CollectValueKeys(CAcadInfo& info, RegHandle parent, const std::string& subkey,
                          const std::string& relativePath, const std::string& basePath);

    // ReleaseIndex named by a product name among 0..lastIndex, or -1.
    int ClassifyProductName(const std::string& productName, int lastIndex) const;

private:
    IRegistry& reg_;
    const CodePage& cp_;
};

}  // namespace tx
