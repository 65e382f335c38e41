// The runs without a window: the silent installation and the per-user step.
#pragma once

#include <string>

#include "host/AcadInfo.h"
#include "platform/Log.h"
#include "platform/MbText.h"
#include "platform/UserIo.h"
#include "ui/CommandLine.h"

namespace tx {

class Deployer;
class HostRegistrar;
class IInstallSteps;

// SetUp.exe /S: what the dialog would do with its defaults (or the command
// line's folder text and releases), every question answered by answers
// (which must show nothing). Returns the exit status: 0 done, 1618 AutoCAD
// runs (nothing changed), 1639 the folder is refused (nothing changed),
// 1603 no Data folder or a copy failed (the copies made so far stay, the
// registry is untouched, as after Abort).
int RunSilentInstall(const CommandLine& line, CAcadInfo& info, IInstallSteps& steps,
                     const CodePage& codePage, IMessageBox& answers, ILog& log);

// Uninstall.exe /USER, as the user who logs on: trusts installFolder in
// every AutoCAD profile of this user and gives the user the settings file
// kept in installFolder unless the user has one. Returns the exit status.
int RunPerUserStep(const std::string& installFolder, HostRegistrar& registrar,
                   Deployer& deployer, ILog& log);

}  // namespace tx
