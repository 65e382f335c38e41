// Making the ticked releases load the plug-in, and trusting its folder in
// every AutoCAD profile of the current user.
#pragma once

#include <string>
#include <vector>

#include "host/AcadInfo.h"
#include "host/InstallJournal.h"
#include "platform/MbText.h"
#include "platform/Registry.h"
#include "platform/TextConversion.h"

namespace tx {

class HostRegistrar {
public:
    // journal, when given, hears of every key and value written.
    HostRegistrar(IRegistry& registry, const CodePage& codePage, const IWideText& wideText,
                  IInstallJournal* journal = nullptr)
        : reg_(registry), cp_(codePage), wide_(wideText), journal_(journal) {}

    // Demand-load entries for every ticked release, then AddTrustedPath.
    void RegisterRelease(CAcadInfo& info, const TickFlags& ticked);
    // The entry below every product key of one release (year 2007..2024).
    void RegisterDemandLoad(CAcadInfo& info, int year);
    // Adds info.m_strInstallDir to TRUSTEDPATHS in every profile. The value
    // is read, composed and written as UTF-16, so entries in any script
    // survive (only their letter case may change), and keeps its type
    // (REG_SZ or REG_EXPAND_SZ). A value of another type, one that cannot be
    // read whole, or one that would not fit its buffer once extended, is
    // left exactly as it was. A folder holding ';' or '"' cannot be one entry
    // of the list, and one that is no text of the code page cannot be
    // written as it is: neither is added anywhere.
    void AddTrustedPath(CAcadInfo& info);
    // Appends the names of the direct subkeys of key that can be opened.
    void ListSubkeys(RegHandle key, StringList& names);

private:
    // Whether an upper-cased TRUSTEDPATHS text already trusts the
    // upper-cased folder: one of its ';'-separated entries is the folder, or
    // the folder followed by "\...", surrounding quotes and one trailing '\'
    // aside.
    static bool HoldsFolder(const WideString& upperValue, const WideString& upperFolder);
    StringList CollectProfilesKeys();
    StringList CollectVariablesKeys(const StringList& profilesKeys);
    void UpdateTrustedPaths(const std::string& variablesKey, const WideString& folder,
                            std::vector<unsigned char>& buffer);
    std::string WithoutTrailingBackslash(std::string path) const;

    IRegistry& reg_;
    const CodePage& cp_;
    const IWideText& wide_;
    IInstallJournal* journal_;
};

}  // namespace tx
