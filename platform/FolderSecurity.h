// Locking down the installation folder. AutoCAD loads the plug-in's modules
// from it for every user and it is one of AutoCAD's trusted folders, so only
// administrators may change what is in it; a folder made below a drive root
// would otherwise let every signed-in user replace those modules.
#pragma once

#include <string>

namespace tx {

class IFolderSecurity {
public:
    virtual ~IFolderSecurity() = default;

    // Gives folder Administrators as owner and an access list of its own,
    // not inherited from above: full control for Administrators and SYSTEM,
    // read and execute for Users, passed on to everything below it. Whatever
    // already lies below (someone may have made the folder first) is given
    // Administrators as owner and only what it inherits from folder. The
    // folder above is never touched, and links are never followed.
    // False when folder is not an existing folder, is a link, or it or
    // something below it could not be changed.
    virtual bool ProtectInstallFolder(const std::string& folder) = 0;
};

}  // namespace tx
