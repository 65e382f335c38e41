// Making and holding the levels of the installation folder. AutoCAD loads
// the plug-in's modules from it for every user and it is one of AutoCAD's
// trusted folders, so only administrators may change what is in it, and
// no one may swap a level for another folder or a link while the
// installation writes into it and names it in the registry.
#pragma once

#include <memory>
#include <string>

namespace tx {

// Well-known owners, as SID strings.
constexpr const char* kSidAdministrators = "S-1-5-32-544";
constexpr const char* kSidLocalSystem = "S-1-5-18";
constexpr const char* kSidTrustedInstaller =
    "S-1-5-80-956008885-3425264553-2564283955-1183938283-3187853006";

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
    virtual MakeFolderResult MakeProtectedFolder(const std::string& path) = 0;

    // Opens path itself (never what a link points to) so that, while the
    // result lives, no one can delete or rename it. Null when it cannot be
    // opened; otherwise *facts describes what was opened.
    virtual std::unique_ptr<IHeldFolder> HoldFolder(const std::string& path,
                                                    FolderFacts* facts) = 0;

    // The SID string of the user the program runs as; empty when unknown.
    virtual std::string CurrentUserSid() = 0;
};

}  // namespace tx
