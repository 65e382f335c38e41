// The stages of an installation as the setup dialog drives them. The dialog
// decides the order and what a failure means; the work is done elsewhere.
#pragma once

#include <cstddef>
#include <string>

#include "host/AcadInfo.h"
#include "host/ReleaseTable.h"
#include "platform/MbText.h"
#include "platform/UserIo.h"
#include "ui/InstallFolder.h"

namespace tx {

class Deployer;
class HostRegistrar;
class IFileSystem;
class IFolderSecurity;

class IInstallSteps {
public:
    virtual ~IInstallSteps() = default;
    virtual bool IsAcadRunning() = 0;
    // The longest installation folder (bytes) for which every path the
    // installation builds from it still fits MAX_PATH.
    virtual std::size_t MaxInstallFolderLength() = 0;
    // Makes or finds the chosen folder and the installation folder in it,
    // and checks them; when ready, the hold keeps both open until it is
    // destroyed, so neither can be renamed or replaced meanwhile.
    virtual PreparedFolder PrepareInstallFolder(const std::string& chosen,
                                                const std::string& installFolder) = 0;
    // False when the package's Data folder is missing or the user aborted.
    virtual bool DeployPayload(const std::string& installFolder, IProgress& progress) = 0;
    virtual void RegisterRelease(CAcadInfo& info, const TickFlags& ticked) = 0;
    virtual void DeploySupportFiles(const CAcadInfo& info, const TickFlags& ticked) = 0;
};

// The real stages.
class InstallSteps : public IInstallSteps {
public:
    InstallSteps(Deployer& deployer, HostRegistrar& registrar, IFileSystem& fs,
                 IFolderSecurity& security, const CodePage& codePage)
        : deployer_(deployer), registrar_(registrar), fs_(fs), security_(security), cp_(codePage) {}

    bool IsAcadRunning() override;
    std::size_t MaxInstallFolderLength() override;
    PreparedFolder PrepareInstallFolder(const std::string& chosen,
                                        const std::string& installFolder) override;
    bool DeployPayload(const std::string& installFolder, IProgress& progress) override;
    void RegisterRelease(CAcadInfo& info, const TickFlags& ticked) override;
    void DeploySupportFiles(const CAcadInfo& info, const TickFlags& ticked) override;

private:
    Deployer& deployer_;
    HostRegistrar& registrar_;
    IFileSystem& fs_;
    IFolderSecurity& security_;
    const CodePage& cp_;
};

}  // namespace tx
