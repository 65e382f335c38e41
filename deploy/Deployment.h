// Putting the package's files in place: payload, per-release support files,
// and the small file and process helpers they need.
#pragma once

#include <string>

#include "host/AcadInfo.h"
#include "host/InstallJournal.h"
#include "platform/FileSystem.h"
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
    // the per-user settings folder.
    Deployer(IFileSystem& fs, IProcessList& processes, IMessageBox& messages,
             const CodePage& codePage, IInstallJournal* journal = nullptr)
        : fs_(fs), procs_(processes), mb_(messages), cp_(codePage), journal_(journal) {}

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
};

}  // namespace tx
