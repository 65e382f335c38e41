// Readying the two levels of the installation folder (the chosen folder,
// then the product's subfolder in it) before anything is copied into it,
// and keeping them open until the installation is over.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/FolderSecurity.h"
#include "platform/CodePage.h"

namespace tx {

// The product's folder inside the chosen one, with its leading backslash.
extern const char* const kProductSubfolder;
// The folder text the dialog starts with.
extern const char* const kDefaultFolder;

// The folder text a run starts with: the one chosen for the installation
// found on the machine (installFolder, less the product's subfolder), or
// the default when there is none.
std::string RememberedFolder(const std::string& installFolder, const CodePage& codePage);

// Why a folder text is refused before anything is made.
enum class FolderRefusal {
    None,
    Empty,
    // ';' separates the entries of AutoCAD's trusted paths: such a folder
    // could never be trusted as a whole.
    Semicolon,
    // Without a drive, or a name Windows trims or cannot hold.
    Invalid,
    // Some path built from it would not fit MAX_PATH.
    TooLong,
};

// The folder text as typed: *chosen is it less one trailing backslash,
// *folder that plus the product's subfolder. maxLength: the longest
// installation folder the package allows.
FolderRefusal CheckFolderText(const std::string& text, const CodePage& codePage,
                              std::size_t maxLength, std::string* chosen, std::string* folder);

enum class FolderReadiness {
    Ready,           // both levels made or found, checked and held
    UnsafeExisting,  // a level is there but is a link, cannot be opened,
                     // belongs to someone who is not to be trusted or lets
                     // others change it; or a folder above it lets others
                     // rename it or is a link; or the volume keeps no
                     // access lists
    Failed,          // a level could not be made, opened as made, or is no folder
};

// The held levels, outermost first; released when destroyed.
class InstallFolderHold {
public:
    InstallFolderHold() = default;
    InstallFolderHold(InstallFolderHold&&) noexcept = default;
    InstallFolderHold& operator=(InstallFolderHold&&) noexcept = default;
    InstallFolderHold(const InstallFolderHold&) = delete;
    InstallFolderHold& operator=(const InstallFolderHold&) = delete;

    void Keep(std::unique_ptr<IHeldFolder> level) { levels_.push_back(std::move(level)); }
    std::size_t Levels() const { return levels_.size(); }
    void Release() { levels_.clear(); }

private:
    std::vector<std::unique_ptr<IHeldFolder>> levels_;
};

struct PreparedFolder {
    FolderReadiness readiness = FolderReadiness::Failed;
    InstallFolderHold hold;  // empty unless ready
    std::vector<std::string> created;  // levels made by this call, outermost first
};

// Whether a level's owner may keep it: Administrators (what an elevated
// run makes is theirs), SYSTEM or TrustedInstaller. Not the user running
// the installer: under UAC that user's unelevated programs own what they
// make under the same SID, and could have made the folder with an access
// list of their own.
bool IsTrustedOwner(const std::string& ownerSid);

// Checks that no one else may rename or re-secure the folders above the
// chosen one, then makes each level that is missing, with the protected
// descriptor, opens it and checks what was opened (a level found in place
// also for what its access list lets others do); stops at the first level
// that fails and then holds nothing. chosen is the folder as typed or
// chosen, less one trailing backslash ("E:" for a drive root), in
// codePage; folder is chosen plus the product's subfolder.
PreparedFolder PrepareInstallFolder(IFolderSecurity& security, const CodePage& codePage,
                                    const std::string& chosen, const std::string& folder);

}  // namespace tx
