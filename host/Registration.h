// Making the ticked releases load the plug-in, and trusting its folder in
// every AutoCAD profile of the current user.
#pragma once

#include <string>
#include <vector>

#include "host/AcadInfo.h"
#include "host/InstallJournal.h"
#include "platform/MbText.h"
#include "platform/Registry.h"

namespace tx {

class HostRegistrar {
public:
    // journal, when given, hears of every key and value written.
    HostRegistrar(IRegistry& registry, const CodePage& codePage, IInstallJournal* journal = nullptr)
        : reg_(registry), cp_(codePage), journal_(journal) {}

    // Demand-load entries for every ticked release, then AddTrustedPath.
    void RegisterRelease(CAcadInfo& info, const TickFlags& ticked);
    // The entry below every product key of one release (year 2007..2024).
    void RegisterDemandLoad(CAcadInfo& info, int year);
    // Adds info.m_strInstallDir to TRUSTEDPATHS in every profile. A value
    // that cannot be read whole, or would not fit its buffer once extended,
    // is left exactly as it was. A folder holding ';' or '"' cannot be one
    // entry of the list and is not added anywhere.
    void AddTrustedPath(CAcadInfo& info);
    // Appends the names of the direct subkeys of key that can be opened.
    void ListSubkeys(RegHandle key, StringList& names);

private:
    // Whether a TRUSTEDPATHS text already trusts folder: one of its
    // ';'-separated entries is the folder, or the folder followed by "\...",
    // letter case, surrounding quotes and one trailing '\' aside.
    bool HoldsFolder(const std::string& value, const std::string& folder) const;
    StringList CollectProfilesKeys();
    StringList CollectVariablesKeys(const StringList& profilesKeys);
    void UpdateTrustedPaths(const std::string& variablesKey, const std::string& folder,
                            std::vector<unsigned char>& buffer);
    std::string WithoutTrailingBackslash(std::string path) const;

    IRegistry& reg_;
    const CodePage& cp_;
    IInstallJournal* journal_;
};

}  // namespace tx
