// Putting the package's files in place: payload, per-release support files,
// and the small file and process helpers they need.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/AcadInfo.h"
#include "host/InstallJournal.h"
#include "platform/FileSystem.h"
#include "platform/FolderSecurity.h"
#include "platform/MbText.h"
#include "platform/Processes.h"
#include "platform/UserIo.h"

namespace tx {

// FileExists results.
constexpr int kPathMissing = 0;
constexpr int kPathIsFile = 1;
constexpr int kPathIsFolder = 2;

// What the install sequence hands to DeployPayload.
struct PayloadTarget {
    // One trailing backslash of folder is dropped; an empty folder throws
    // std::invalid_argument.
    PayloadTarget(const std::string& folder, IProgress& progressBar, const CodePage& codePage);
    std::string InstallFolder;
    IProgress& ProgressBar;
};

// The settings file: a copy of the package's goes to each user's folder,
// and one stays in the installation folder for users who come later.
constexpr const char* kSettingsFileName = "Tarnix.Ini";

// Before a copy over path: CopyFile refuses a hidden or read-only target,
// so a hidden desktop.ini copied once would block every later installation
// (and every restore of a hidden file). Folders are left alone.
void ClearForOverwrite(IFileSystem& fs, const std::string& path);
// After a copy to path: files extracted from a downloaded zip carry the
// "downloaded from the internet" stream and CopyFile copies it, which keeps
// .NET from loading the installed libraries and makes the shell warn before
// it starts a copied program. None is no error.
void RemoveInternetMark(IFileSystem& fs, const std::string& path);

class Deployer {
public:
    // journal, when given, hears of every file about to be written outside
    // the per-user settings folder. userFolders, when given (an elevated
    // run), holds every level of the settings folder while the settings
    // file is copied into it: the folder is the user's, and a level swapped
    // for a link would send the copy elsewhere.
    Deployer(IFileSystem& fs, IProcessList& processes, IMessageBox& messages,
             const CodePage& codePage, IInstallJournal* journal = nullptr,
             IFolderSecurity* userFolders = nullptr)
        : fs_(fs), procs_(processes), mb_(messages), cp_(codePage), journal_(journal),
          userFolders_(userFolders) {}

    bool IsAcadRunning();
    void ClearReadOnly(std::string path);
    void ClearForOverwrite(const std::string& path) { tx::ClearForOverwrite(fs_, path); }
    void RemoveInternetMark(const std::string& path) { tx::RemoveInternetMark(fs_, path); }
    int FileExists(std::string path);
    std::string GetDataFolder();
    bool DeployPayload(const PayloadTarget& target);
    void DeploySupportFiles(const CAcadInfo& info, const TickFlags& ticked);
    void CopySupportFiles(const std::string& acadLocation, bool withDriver);
    // The per-user step: source into this user's settings folder, unless a
    // settings file is there already. False when it could not be put there.
    bool CopySettingsIfMissing(const std::string& source);

private:
    void KeepSettingsCopy(const std::string& source, const std::string& target);
    // The per-user settings folder ("...\Tarnix"), created when its path
    // fits; empty when no application-data folder is known.
    std::string SettingsFolder();
    // Opens every level of folder below its root so that none can be
    // renamed, replaced or be a link meanwhile; false (nothing held) when
    // one cannot be held that way.
    bool HoldUserFolder(const std::string& folder,
                        std::vector<std::unique_ptr<IHeldFolder>>* held);
    // One payload copy with the Abort / Retry / Ignore dialog; false on Abort.
    // journaled: reported to the journal first (the settings file is not).
    bool CopyPayloadFile(const std::string& source, const std::string& target, bool usable,
                         bool journaled);
    void CopySupportFile(const std::string& source, const std::string& target);

    IFileSystem& fs_;
    IProcessList& procs_;
    IMessageBox& mb_;
    const CodePage& cp_;
    IInstallJournal* journal_;
    IFolderSecurity* userFolders_;
};

}  // namespace tx
