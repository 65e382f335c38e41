// What makes the ticked releases load the plug-in, and what trusts its
// folder in the AutoCAD profiles of the current user: the keys and values
// an installation writes there, composed from what the registry holds.
#pragma once

#include <string>
#include <vector>

#include "host/AcadInfo.h"
#include "host/RegValueState.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "platform/WideText.h"

namespace tx {

// One TRUSTEDPATHS value to write: where, as it is, and as it is to be.
struct TrustedPathsChange {
    std::string variablesKey;  // below HKEY_CURRENT_USER
    RegValueState before;
    RegValueState written;
};

class HostRegistrar {
public:
    HostRegistrar(IRegistry& registry, const CodePage& codePage, const IWideText& wideText)
        : reg_(registry), cp_(codePage), wide_(wideText) {}

    // The demand-load key's path below a product key, for a release year.
    static std::string DemandLoadSubkey(int year);
    // LOADER for a release: the module in installFolder; empty when it would
    // not fit its buffer (a cut path would load nothing, or the wrong file).
    static std::string LoaderFor(const std::string& installFolder, int releaseIndex);

    // The changes that add installFolder to TRUSTEDPATHS in every profile.
    // The value is read, composed and written as UTF-16, so entries in any
    // script survive (only their letter case may change), and keeps its type
    // (REG_SZ or REG_EXPAND_SZ). A value of another type, one that cannot be
    // read whole, or one that would not fit its buffer once extended, is
    // left exactly as it was, as is one that needs no change. A folder
    // holding ';' or '"' cannot be one entry of the list, and one that is
    // no text of the code page cannot be written as it is: neither is added
    // anywhere.
    // withUnchanged: also the profiles that need no change (already
    // trusting the folder), for a caller that changes more.
    std::vector<TrustedPathsChange> PlanTrustedPath(const std::string& installFolder,
                                                    bool withUnchanged = false);
    // Writes one change; the registry's status.
    long WriteTrustedPaths(const TrustedPathsChange& change);
    // PlanTrustedPath, written at once: the per-user step.
    void AddTrustedPath(const std::string& installFolder);

    // Appends the names of the direct subkeys of key that can be opened.
    void ListSubkeys(RegHandle key, StringList& names);

private:
    StringList CollectProfilesKeys();
    StringList CollectVariablesKeys(const StringList& profilesKeys);
    bool ComposeTrustedPaths(const std::string& variablesKey, const WideString& folder,
                             std::vector<unsigned char>& buffer, TrustedPathsChange* change);
    std::string WithoutTrailingBackslash(std::string path) const;

    IRegistry& reg_;
    const CodePage& cp_;
    const IWideText& wide_;
};

}  // namespace tx
