#include "engine/InstallFolder.h"

#include <utility>

#include "engine/PathRules.h"

namespace tx {

const char* const kProductSubfolder = "\\Tarnix批打印软件";
const char* const kDefaultFolder = "C:\\Tarnix";

std::string RememberedFolder(const std::string& installFolder, const CodePage& cp) {
    const std::string product = kProductSubfolder;
    if (installFolder.size() <= product.size()) return kDefaultFolder;
    const std::size_t at = installFolder.size() - product.size();
    // At a character's start: a trail byte is never a backslash, but the
    // byte before it may be a lead byte.
    if (!cp.EqualsNoCase(installFolder.substr(at), product) || cp.LastBackslash(installFolder) != at)
        return kDefaultFolder;
    std::string chosen = installFolder.substr(0, at);
    // "C:" alone is no folder text the dialog would accept back.
    if (chosen.size() == 2 && chosen[1] == ':') chosen += '\\';
    return chosen;
}

FolderRefusal CheckFolderText(const std::string& text, const CodePage& cp, std::size_t maxLength,
                              std::string* chosen, std::string* folder) {
    if (text.empty()) return FolderRefusal::Empty;
    *chosen = text;
    if (cp.EndsWithBackslash(*chosen)) chosen->pop_back();
    *folder = *chosen + kProductSubfolder;
    // Every byte counts: no DBCS code page has ';' as a trail byte, so one
    // after a lead byte is a broken pair that a conversion would still turn
    // into a separator.
    if (folder->find(';') != std::string::npos) return FolderRefusal::Semicolon;
    // Without a drive ("Tarnix", "D:Tarnix") the folder, the demand-load
    // entries and the trusted path would depend on the elevated process's
    // working directory; a name Windows trims or cannot hold ("C:\Tarnix ",
    // "C:\a\\b") would make another folder than the one registered.
    if (!IsWellFormedFolderPath(*folder, cp)) return FolderRefusal::Invalid;
    // Refused before anything exists: the payload's targets and the
    // demand-load entry are all built from this folder.
    if (folder->size() > maxLength) return FolderRefusal::TooLong;
    return FolderRefusal::None;
}

namespace {

// "E:" names the current folder of drive E, not its root.
std::string LevelPath(const std::string& path) {
    if (path.size() == 2 && path[1] == ':') return path + "\\";
    return path;
}

// What others must not be allowed on a level found in place. In the
// product's folder: nothing that adds, removes or changes anything in it
// or it. In the chosen folder: nothing that removes, renames or re-secures
// it or removes what is in it (adding folders of their own beside the
// product's is harmless).
constexpr std::uint32_t kRefusedOnProduct = kRightAddFile | kRightAddSubdirectory |
                                            kRightDeleteChild | kRightDelete | kRightWriteDac |
                                            kRightWriteOwner | kRightWriteEa |
                                            kRightWriteAttributes;
constexpr std::uint32_t kRefusedOnChosen =
    kRightDelete | kRightWriteDac | kRightWriteOwner | kRightDeleteChild;
// A folder above the chosen one: renamed or re-secured, the whole path
// could be made again by someone else.
constexpr std::uint32_t kRefusedAbove = kRightDelete | kRightWriteDac | kRightWriteOwner;

enum class Level { Chosen, Product };

FolderReadiness ReadyLevel(IFolderSecurity& security, const std::string& path, Level level,
                           InstallFolderHold& hold, std::vector<std::string>& created) {
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
    // Without access lists on the volume (FAT, exFAT) every user may change
    // anything on it, whoever made the folder.
    if (!facts.keepsAccessLists) return FolderReadiness::UnsafeExisting;
    if (facts.ownerKept && !IsTrustedOwner(facts.ownerSid)) return FolderReadiness::UnsafeExisting;
    // A level made now carries the protected list; one found in place
    // carries whatever it was given or passed on from above.
    const std::uint32_t refused = level == Level::Product ? kRefusedOnProduct : kRefusedOnChosen;
    if (made == MakeFolderResult::AlreadyThere && (facts.othersRights & refused) != 0) {
        return FolderReadiness::UnsafeExisting;
    }
    hold.Keep(std::move(held));
    return FolderReadiness::Ready;
}

// The folders above chosen, the drive root first, chosen itself not
// included; false when chosen does not start with a drive ("X:").
bool FoldersAbove(const CodePage& codePage, const std::string& chosen,
                  std::vector<std::string>* above) {
    above->clear();
    const char drive = chosen.empty() ? '\0' : chosen[0];
    const bool letter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    if (!letter || chosen.size() < 2 || chosen[1] != ':') return false;
    if (chosen.size() == 2) return true;  // the drive root itself
    if (chosen[2] != '\\') return false;
    above->push_back(chosen.substr(0, 3));
    // Every whole '\' after the root ends one folder above chosen; a trail
    // byte 0x5C is part of its character.
    std::size_t componentStart = 3;
    for (std::size_t i = 3; i < chosen.size();) {
        const std::size_t len = codePage.CharLength(chosen, i);
        if (len == 1 && chosen[i] == '\\') {
            if (i > componentStart) above->push_back(chosen.substr(0, i));
            componentStart = i + 1;
        }
        i += len;
    }
    return true;
}

// Whether others could remove, rename or re-secure a folder above the
// chosen one, or the drive root could let them remove what is in it.
FolderReadiness CheckFoldersAbove(IFolderSecurity& security, const CodePage& codePage,
                                  const std::string& chosen) {
    std::vector<std::string> above;
    if (!FoldersAbove(codePage, chosen, &above)) return FolderReadiness::Failed;
    for (std::size_t i = 0; i < above.size(); ++i) {
        FolderFacts facts;
        // Missing, or shut to administrators: the levels could not be made.
        if (!security.InspectFolder(above[i], &facts)) return FolderReadiness::Failed;
        const bool root = i == 0;
        if (!root && facts.reparsePoint) return FolderReadiness::UnsafeExisting;
        if (!facts.directory) return FolderReadiness::Failed;
        // Nothing made on such a volume could be kept from other users.
        if (!facts.keepsAccessLists) return FolderReadiness::UnsafeExisting;
        // Whoever may remove what is in a folder may remove the next level
        // down, whatever that level's own list says. The drive root cannot
        // be renamed, but a new list on it could allow exactly that.
        const std::uint32_t refused =
            kRightDeleteChild | (root ? kRightWriteDac | kRightWriteOwner : kRefusedAbove);
        if ((facts.othersRights & refused) != 0) return FolderReadiness::UnsafeExisting;
    }
    return FolderReadiness::Ready;
}

}  // namespace

bool IsTrustedOwner(const std::string& ownerSid) {
    return ownerSid == kSidAdministrators || ownerSid == kSidLocalSystem ||
           ownerSid == kSidTrustedInstaller;
}

PreparedFolder PrepareInstallFolder(IFolderSecurity& security, const CodePage& codePage,
                                    const std::string& chosen, const std::string& folder) {
    PreparedFolder out;
    // Before anything is made: a level made below a folder others may
    // rename is theirs to replace once the installation lets go of it.
    out.readiness = CheckFoldersAbove(security, codePage, chosen);
    if (out.readiness != FolderReadiness::Ready) return out;

    // The chosen folder is checked like the product's own: whoever owns it
    // could otherwise rename the product's folder later and put their own
    // in its place.
    const std::pair<std::string, Level> levels[] = {{LevelPath(chosen), Level::Chosen},
                                                    {folder, Level::Product}};
    for (const auto& level : levels) {
        out.readiness = ReadyLevel(security, level.first, level.second, out.hold, out.created);
        if (out.readiness != FolderReadiness::Ready) {
            out.hold.Release();
            return out;
        }
    }
    return out;
}

}  // namespace tx
