// What an installation keeps for itself in its folder: the journal, the
// file a rewrite of it writes first, the uninstaller and the backups'
// folder. No package file is ever copied onto one of them, and no line of
// a journal undoes one, whatever name it gives them.
#pragma once

#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace tx {

class OwnFiles {
public:
    OwnFiles(IFileSystem& fs, const CodePage& codePage, const std::string& installFolder);

    // Whether path is one of them: by its name as Windows reads it (letter
    // case aside, the trailing dots and spaces of its last name dropped),
    // or, when something is there, by its identity, which also catches a
    // short name ("INSTAL~1.TXT") or a spelling the code page folds
    // otherwise than the file system. The identities of ours are read on
    // the first such question and kept: ask a new OwnFiles after any of
    // them may have been made or replaced.
    bool Holds(const std::string& path);

private:
    IFileSystem& fs_;
    const CodePage& cp_;
    std::vector<std::string> paths_;
    bool identitiesRead_ = false;
    std::vector<FileId> identities_;
};

}  // namespace tx
