#include "host/DetectionLog.h"

#include <cstddef>
#include <string>

namespace tx {

void LogDetection(ILog& log, const CAcadInfo& info) {
    bool any = false;
    for (int r = 0; r < kReleaseCount; ++r) {
        const StringList& folders = info.m_arrAcadLocation[r];
        const StringList& keys = info.m_arrProductKey[r];
        for (std::size_t i = 0; i < folders.size(); ++i) {
            const std::string key = i < keys.size() ? "HKLM\\" + keys[i] : std::string("unknown");
            log.Line("detected AutoCAD " + std::string(kReleases[r].yearText) + " key " + key +
                     " -> " + folders[i]);
            any = true;
        }
    }
    if (!any) log.Line("detected no AutoCAD installation");
}

}  // namespace tx
