// Making and holding the levels of the installation folder. AutoCAD loads
// the plug-in's modules from it for every user and it is one of AutoCAD's
// trusted folders, so only administrators may change what is in it, and
// no one may swap a level for another folder or a link while the
// installation writes into it and names it in the registry.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tx {

// Well-known owners, as SID strings.
constexpr const char* kSidAdministrators = "S-1-5-32-544";
constexpr const char* kSidLocalSystem = "S-1-5-18";
constexpr const char* kSidTrustedInstaller =
    "S-1-5-80-956008885-3425264553-2564283955-1183938283-3187853006";

// Whether a SID may hold an entry in the access list of an installation
// folder level: the well-known owners and the user running the installer.
inline bool IsTrustedSid(const std::string& sid, const std::string& currentUserSid) {
    if (sid.empty()) return false;
    return sid == kSidAdministrators || sid == kSidLocalSystem || sid == kSidTrustedInstaller ||
           sid == currentUserSid;
}

// Access rights on files and folders, as access masks carry them.
constexpr std::uint32_t kRightAddFile = 0x0002;          // a folder: make a file in it
constexpr std::uint32_t kRightAddSubdirectory = 0x0004;  // a folder: make a folder in it
constexpr std::uint32_t kRightWriteEa = 0x0010;
constexpr std::uint32_t kRightDeleteChild = 0x0040;  // delete anything in it, whatever that allows
constexpr std::uint32_t kRightWriteAttributes = 0x0100;
constexpr std::uint32_t kRightDelete = 0x00010000;  // delete or rename it
constexpr std::uint32_t kRightWriteDac = 0x00040000;
constexpr std::uint32_t kRightWriteOwner = 0x00080000;
// Everything a file or folder can grant (FILE_ALL_ACCESS).
constexpr std::uint32_t kRightsAll = 0x001F01FF;

enum class MakeFolderResult {
    Created,       // made now, with the protected descriptor
    AlreadyThere,  // something of that name exists (a folder, a file or a link)
    Failed,        // not made and not there (no parent, an invalid name, no access)
};

// What an opened level is.
struct FolderFacts {
    bool directory = false;
    bool reparsePoint = false;  // a junction, a symbolic link or another reparse point
    // The volume keeps owners and access lists (false on FAT, say).
    bool keepsAccessLists = true;
    std::string ownerSid;  // empty when the owner could not be read
    // False where the system keeps no owner and reports one made up: Wine
    // gives the running user for every file of its Unix account, and runs
    // every program as that one user, so there is no one else to keep out.
    bool ownerKept = true;
    // What the access list allows anyone but Administrators, SYSTEM,
    // TrustedInstaller and the running user, generic rights mapped to file
    // rights; kRightsAll when there is no list (everyone may do anything)
    // or it could not be read. Nothing when the volume keeps no lists.
    std::uint32_t othersRights = 0;
};

// One opened level; closing it (destroying this) lets others delete or
// rename the level again.
class IHeldFolder {
public:
    virtual ~IHeldFolder() = default;
};

class IFolderSecurity {
public:
    virtual ~IFolderSecurity() = default;

    // Makes one level with its own descriptor from the start: owner
    // Administrators; Administrators and SYSTEM full control, Users read and
    // execute, passed on to everything below it, nothing inherited from the
    // folder above.
    [[nodiscard]] virtual MakeFolderResult MakeProtectedFolder(const std::string& path) = 0;

    // Opens path itself (never what a link points to) so that, while the
    // result lives, no one can delete or rename it. Null when it cannot be
    // opened; otherwise *facts describes what was opened.
    [[nodiscard]] virtual std::unique_ptr<IHeldFolder> HoldFolder(const std::string& path,
                                                                  FolderFacts* facts) = 0;

    // As HoldFolder, and shared for reading only: while the result lives no
    // one can open the level for writing either, which turning a folder
    // into a junction takes. For a user's own folders, which the program
    // only writes files into.
    [[nodiscard]] virtual std::unique_ptr<IHeldFolder> HoldUserFolder(const std::string& path,
                                                                      FolderFacts* facts) = 0;

    // Looks at path itself (never what a link points to) without keeping
    // it open or stopping anyone else from opening it. False when it cannot
    // be opened; otherwise *facts describes it.
    [[nodiscard]] virtual bool InspectFolder(const std::string& path, FolderFacts* facts) = 0;

    // The SID string of the user the program runs as; empty when unknown.
    [[nodiscard]] virtual std::string CurrentUserSid() = 0;
};

}  // namespace tx
