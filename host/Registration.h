// Making the ticked releases load the plug-in, and trusting its folder in
// every AutoCAD profile of the current user.
#pragma once

#include "host/AcadInfo.h"
#include "platform/MbText.h"
#include "platform/Registry.h"

namespace tx {

class HostRegistrar {
public:
    HostRegistrar(IRegistry& registry, const CodePage& codePage)
        : reg_(registry), cp_(codePage) {}

    // Demand-load entries for every ticked release, then AddTrustedPath.
    void RegisterRelease(CAcadInfo& info, const TickFlags& ticked);
    // The entry below every product key of one release (year 2007..2024).
    void RegisterDemandLoad(CAcadInfo& info, int year);
    // Adds info.m_strInstallDir to TRUSTEDPATHS in every profile.
    void AddTrustedPath(CAcadInfo& info);
    // Appends the names of the direct subkeys of key that can be opened.
    void ListSubkeys(RegHandle key, StringList& names);

private:
    IRegistry& reg_;
    const CodePage& cp_;
};

}  // namespace tx
