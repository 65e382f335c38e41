// The runs without a window: the silent installation and the per-user step.
#pragma once

#include <string>

#include "engine/CommandLine.h"
#include "engine/Installer.h"
#include "host/AcadInfo.h"
#include "platform/FileSystem.h"
#include "platform/Log.h"
#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "platform/WideText.h"

namespace tx {

// SetUp.exe /S: what the dialog would do with its defaults (or the command
// line's folder text and releases), all or nothing. Returns the exit
// status: 0 done, 1618 AutoCAD runs, 1639 the folder is refused, 1603 no
// Data folder or a change failed; in every case but 0 nothing is changed.
int RunSilentInstall(const CommandLine& line, const CAcadInfo& info, IInstaller& installer,
                     const CodePage& codePage, ILog& log);

// Uninstall.exe /USER, as the user who logs on: trusts installFolder in
// every AutoCAD profile of this user and gives the user the settings file
// kept in installFolder unless the user has one. Returns the exit status.
int RunPerUserStep(const std::string& installFolder, IRegistry& registry, IFileSystem& fs,
                   const CodePage& codePage, const IWideText& wide, ILog& log);

}  // namespace tx
