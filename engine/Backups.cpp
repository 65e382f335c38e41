#include "engine/Backups.h"

#include <memory>
#include <vector>

#include "deploy/FileHelpers.h"
#include "engine/Journal.h"
#include "engine/actions/FileReplaced.h"
#include "engine/actions/UninstallerCopy.h"

namespace tx {

std::set<std::string> NamedBackups(const ActionList& actions, const CodePage& cp,
                                   bool withUninstaller) {
    std::set<std::string> named;
    for (const auto& a : actions) {
        if (const auto* f = dynamic_cast<const FileReplaced*>(a.get())) named.insert(cp.Lower(f->Backup()));
        const auto* u = dynamic_cast<const UninstallerCopy*>(a.get());
        if (withUninstaller && u != nullptr && !u->Backup().empty()) named.insert(cp.Lower(u->Backup()));
    }
    return named;
}

void RemoveUnnamedBackups(IFileSystem& fs, const CodePage& cp, const std::string& installFolder,
                          const std::set<std::string>& named, ILog& log) {
    // Only ours live there.
    const std::string backups = installFolder + "\\" + kBackupFolderName;
    FindEntry entry;
    std::unique_ptr<IFindHandle> listing = fs.FindFirst(backups + "\\*", &entry);
    std::vector<std::string> orphans;
    while (listing) {
        const std::string path = backups + "\\" + entry.name;
        if ((entry.attributes & kAttrDirectory) == 0 && named.count(cp.Lower(path)) == 0)
            orphans.push_back(path);
        if (!listing->Next(&entry)) break;
    }
    listing.reset();
    for (const std::string& orphan : orphans) {
        ClearReadOnly(fs, orphan);
        if (!fs.DeleteFile(orphan)) log.Line("backup left: " + orphan);
    }
}

}  // namespace tx
