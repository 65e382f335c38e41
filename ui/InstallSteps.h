// The stages of an installation as the setup dialog drives them. The dialog
// decides the order and what a failure means; the work is done elsewhere.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "host/AcadInfo.h"
#include "host/ReleaseTable.h"
#include "platform/MbText.h"
#include "platform/Registry.h"
#include "platform/UserIo.h"
#include "ui/InstallFolder.h"

namespace tx {

class Deployer;
class HostRegistrar;
class IFileSystem;
class IFolderSecurity;
class IRegistry;
class InstallRecorder;

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
    // The uninstaller (a copy of this program) and the Programs and
    // Features entry that starts it.
    virtual void RegisterUninstall(const std::string& installFolder) = 0;
};

// The Programs and Features key below HKEY_LOCAL_MACHINE.
extern const char* const kUninstallKey;
// The Active Setup component, below HKEY_LOCAL_MACHINE and (as the mark
// of a user who has had the per-user part) below HKEY_CURRENT_USER.
extern const char* const kActiveSetupKey;
extern const char* const kActiveSetupVersion;
// What Windows runs at a user's logon: the uninstaller's per-user step,
// without the elevation its manifest asks for.
std::string ActiveSetupStubPath(const std::string& uninstaller);

// The real stages.
class InstallSteps : public IInstallSteps {
public:
    // deployer and registrar report to recorder, which writes the install
    // record; installDate is yyyymmdd.
    InstallSteps(Deployer& deployer, HostRegistrar& registrar, IFileSystem& fs,
                 IFolderSecurity& security, const CodePage& codePage, IRegistry& registry,
                 InstallRecorder& recorder, std::string installDate)
        : deployer_(deployer), registrar_(registrar), fs_(fs), security_(security), cp_(codePage),
          reg_(registry), recorder_(recorder), installDate_(std::move(installDate)) {}

    bool IsAcadRunning() override;
    std::size_t MaxInstallFolderLength() override;
    PreparedFolder PrepareInstallFolder(const std::string& chosen,
                                        const std::string& installFolder) override;
    bool DeployPayload(const std::string& installFolder, IProgress& progress) override;
    void RegisterRelease(CAcadInfo& info, const TickFlags& ticked) override;
    void DeploySupportFiles(const CAcadInfo& info, const TickFlags& ticked) override;
    void RegisterUninstall(const std::string& installFolder) override;

private:
    void WriteUninstallEntry(RegHandle entry, const std::string& folder,
                             const std::string& uninstaller);
    void RegisterActiveSetup(const std::string& uninstaller);
    Deployer& deployer_;
    HostRegistrar& registrar_;
    IFileSystem& fs_;
    IFolderSecurity& security_;
    const CodePage& cp_;
    IRegistry& reg_;
    InstallRecorder& recorder_;
    std::string installDate_;
};

}  // namespace tx
