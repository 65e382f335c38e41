// The backup folder of an installation folder: which of its files a
// journal still needs, and the sweep of the others (left by a run cut off
// between taking a backup and writing the line that names it, or by a
// move cut off before the old folder's copies went).
#pragma once

#include <set>
#include <string>

#include "engine/Action.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Log.h"

namespace tx {

// Lower-cased. withUninstaller: also the copy an uninstaller replaced,
// which only an installation that stays needs.
std::set<std::string> NamedBackups(const ActionList& actions, const CodePage& cp,
                                   bool withUninstaller);
// Deletes every file in installFolder's backup folder that named does
// not hold; a file that stays is logged.
void RemoveUnnamedBackups(IFileSystem& fs, const CodePage& cp, const std::string& installFolder,
                          const std::set<std::string>& named, ILog& log);

}  // namespace tx
