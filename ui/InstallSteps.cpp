#include "ui/InstallSteps.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "deploy/Deployment.h"
#include "host/Registration.h"
#include "platform/FileSystem.h"
#include "platform/FolderSecurity.h"

namespace tx {

namespace {

// Names the installation puts into the installation folder besides the
// Data folder's own file names: the renamed libraries and the plug-in
// module that LOADER names (every module name has the same length).
const char* const kFixedInstalledNames[] = {
    "itextsharp.dll", "PdfSharp.Charting.dll", "PdfSharp.dll", "TX_BatchPlot2008.ARX"};

}  // namespace

bool InstallSteps::IsAcadRunning() { return deployer_.IsAcadRunning(); }

std::size_t InstallSteps::MaxInstallFolderLength() {
    std::size_t longest = 0;
    for (const char* name : kFixedInstalledNames) longest = std::max(longest, std::strlen(name));

    // Any file of the Data folder may be copied under its own name (all of
    // them, however many); a name that is copied elsewhere or not at all
    // only makes this stricter.
    FindEntry entry;
    std::unique_ptr<IFindHandle> listing =
        fs_.FindFirst(deployer_.GetDataFolder() + "\\*.*", &entry);
    while (listing) {
        if ((entry.attributes & kAttrDirectory) == 0) {
            longest = std::max(longest, entry.name.size());
        }
        if (!listing->Next(&entry)) break;
    }

    // "<folder>\<name>" within MAX_PATH - 1 bytes of text.
    const std::size_t maxText = kMaxPath - 1;
    return longest + 1 >= maxText ? 0 : maxText - 1 - longest;
}

PreparedFolder InstallSteps::PrepareInstallFolder(const std::string& chosen,
                                                  const std::string& installFolder) {
    return tx::PrepareInstallFolder(security_, chosen, installFolder);
}

bool InstallSteps::DeployPayload(const std::string& installFolder, IProgress& progress) {
    PayloadTarget target(installFolder, progress, cp_);
    return deployer_.DeployPayload(target);
}

void InstallSteps::RegisterRelease(CAcadInfo& info, const TickFlags& ticked) {
    registrar_.RegisterRelease(info, ticked);
}

void InstallSteps::DeploySupportFiles(const CAcadInfo& info, const TickFlags& ticked) {
    deployer_.DeploySupportFiles(info, ticked);
}

}  // namespace tx
