#include "engine/OwnFiles.h"

#include <algorithm>

#include "engine/Journal.h"

namespace tx {

namespace {

// The path less the dots and spaces Windows drops from its end (neither
// byte is ever the trail byte of a double-byte character).
std::string AsWindowsReadsIt(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && (path[end - 1] == '.' || path[end - 1] == ' ')) --end;
    return path.substr(0, end);
}

}  // namespace

OwnFiles::OwnFiles(IFileSystem& fs, const CodePage& codePage, const std::string& installFolder)
    : fs_(fs), cp_(codePage) {
    for (const std::string& own :
         {std::string(kJournalFileName), std::string(kJournalFileName) + kJournalRewriteSuffix,
          std::string(kUninstallerName), std::string(kBackupFolderName)})
        paths_.push_back(installFolder + "\\" + own);
}

bool OwnFiles::Holds(const std::string& path) {
    const std::string read = AsWindowsReadsIt(path);
    for (const std::string& own : paths_)
        if (cp_.EqualsNoCase(read, own)) return true;
    // Nothing there: nothing it could be but a new file.
    FileId id;
    if (!fs_.FileIdentity(path, &id)) return false;
    if (!identitiesRead_) {
        for (const std::string& own : paths_) {
            FileId ours;
            if (fs_.FileIdentity(own, &ours)) identities_.push_back(ours);
        }
        identitiesRead_ = true;
    }
    return std::find(identities_.begin(), identities_.end(), id) != identities_.end();
}

}  // namespace tx
