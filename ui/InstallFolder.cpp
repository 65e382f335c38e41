#include "ui/InstallFolder.h"

#include <utility>

namespace tx {

namespace {

// "E:" names the current folder of drive E, not its root.
std::string LevelPath(const std::string& path) {
    if (path.size() == 2 && path[1] == ':') return path + "\\";
    return path;
}

FolderReadiness ReadyLevel(IFolderSecurity& security, const std::string& path,
                           const std::string& userSid, InstallFolderHold& hold,
                           std::vector<std::string>& created) {
    const MakeFolderResult made = security.MakeProtectedFolder(path);
    if (made == MakeFolderResult::Failed) return FolderReadiness::Failed;
    if (made == MakeFolderResult::Created) created.push_back(path);

    FolderFacts facts;
    std::unique_ptr<IHeldFolder> held = security.HoldFolder(path, &facts);
    // One that was there and shuts out an administrator cannot be checked.
    if (!held) {
        return made == MakeFolderResult::Created ? FolderReadiness::Failed
                                                 : FolderReadiness::UnsafeExisting;
    }
    // Also for a level made just now: between making and opening it someone
    // who may change the folder above could have put something else there.
    if (facts.reparsePoint) return FolderReadiness::UnsafeExisting;
    if (!facts.directory) return FolderReadiness::Failed;
    // Without access lists on the volume every user may change anything on
    // it, whoever made the folder; there is nothing to protect or to check.
    if (facts.keepsAccessLists && !IsTrustedOwner(facts.ownerSid, userSid)) {
        return FolderReadiness::UnsafeExisting;
    }
    hold.Keep(std::move(held));
    return FolderReadiness::Ready;
}

}  // namespace

bool IsTrustedOwner(const std::string& ownerSid, const std::string& currentUserSid) {
    if (ownerSid.empty()) return false;
    return ownerSid == kSidAdministrators || ownerSid == kSidLocalSystem ||
           ownerSid == kSidTrustedInstaller || ownerSid == currentUserSid;
}

PreparedFolder PrepareInstallFolder(IFolderSecurity& security, const std::string& chosen,
                                    const std::string& folder) {
    PreparedFolder out;
    const std::string userSid = security.CurrentUserSid();
    // The chosen folder is checked like the product's own: whoever owns it
    // could otherwise rename the product's folder later and put their own
    // in its place.
    for (const std::string& level : {LevelPath(chosen), folder}) {
        out.readiness = ReadyLevel(security, level, userSid, out.hold, out.created);
        if (out.readiness != FolderReadiness::Ready) {
            out.hold.Release();
            return out;
        }
    }
    return out;
}

}  // namespace tx
