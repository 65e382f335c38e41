// Where each file of the package's Data folder goes.
#pragma once

#include <string>

#include "platform/CodePage.h"

namespace tx {

enum class Destination { NotCopied, InstallFolder, SettingsFolder };

struct DeploymentRow {
    const char* name;
    Destination destination;
    const char* targetName;  // null: the name as found
};

// The row for a Data file's name (first match without letter case); any
// other file goes to the installation folder as named.
const DeploymentRow& LookUpDeployment(const CodePage& codePage, const std::string& name);

// Names the installation puts into the installation folder besides the
// Data folder's own file names: the renamed libraries and the plug-in
// module that LOADER names (every module name has the same length).
extern const char* const kFixedInstalledNames[4];

}  // namespace tx
