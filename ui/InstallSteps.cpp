#include "ui/InstallSteps.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "deploy/Deployment.h"
#include "deploy/InstallRecorder.h"
#include "host/Registration.h"
#include "platform/FileSystem.h"
#include "platform/FolderSecurity.h"
#include "platform/Registry.h"
#include "ui/BuildInfo.h"

namespace tx {

namespace {

// Names the installation puts into the installation folder besides the
// Data folder's own file names: the renamed libraries and the plug-in
// module that LOADER names (every module name has the same length).
const char* const kFixedInstalledNames[] = {
    "itextsharp.dll", "PdfSharp.Charting.dll", "PdfSharp.dll", "TX_BatchPlot2008.ARX"};

}  // namespace

const char* const kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TarnixBatchPlot";
const char* const kActiveSetupKey =
    "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\TarnixBatchPlot";
const char* const kActiveSetupVersion = TX_VERSION_COMMAS;

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
    PreparedFolder prepared = tx::PrepareInstallFolder(security_, cp_, chosen, installFolder);
    // Only a folder this run made is the uninstaller's to remove.
    if (prepared.readiness == FolderReadiness::Ready) {
        for (const std::string& level : prepared.created) recorder_.FolderCreated(level);
    }
    return prepared;
}

bool InstallSteps::DeployPayload(const std::string& installFolder, IProgress& progress) {
    PayloadTarget target(installFolder, progress, cp_);
    // The installation folder exists now: the record goes there.
    recorder_.Open(target.InstallFolder);
    return deployer_.DeployPayload(target);
}

void InstallSteps::RegisterRelease(CAcadInfo& info, const TickFlags& ticked) {
    registrar_.RegisterRelease(info, ticked);
}

void InstallSteps::DeploySupportFiles(const CAcadInfo& info, const TickFlags& ticked) {
    deployer_.DeploySupportFiles(info, ticked);
}

namespace {

long SetText(IRegistry& reg, RegHandle key, const char* name, const std::string& text) {
    return reg.SetValue(key, name, kRegSz, reinterpret_cast<const unsigned char*>(text.c_str()),
                        static_cast<std::uint32_t>(text.size() + 1));
}

long SetNumber(IRegistry& reg, RegHandle key, const char* name, std::uint32_t value) {
    const unsigned char data[4] = {static_cast<unsigned char>(value & 0xFF),
                                   static_cast<unsigned char>(value >> 8 & 0xFF),
                                   static_cast<unsigned char>(value >> 16 & 0xFF),
                                   static_cast<unsigned char>(value >> 24 & 0xFF)};
    return reg.SetValue(key, name, kRegDword, data, sizeof data);
}

}  // namespace

void InstallSteps::RegisterUninstall(const std::string& installFolder) {
    std::string folder = installFolder;
    if (cp_.EndsWithBackslash(folder)) folder.pop_back();
    recorder_.Open(folder);
    const std::string uninstaller = folder + "\\" + kUninstallerName;
    // Recorded first: a copy that stops half-way is still known.
    recorder_.UninstallerWritten(uninstaller);
    // The copy takes the program's attributes (read-only from a CD image)
    // and its download mark, which would make the shell warn before every
    // uninstall. Without it, an entry would name a program that is not there.
    ClearForOverwrite(fs_, uninstaller);
    if (!fs_.CopyFile(fs_.ModulePath(), uninstaller)) return;
    RemoveInternetMark(fs_, uninstaller);

    recorder_.UninstallEntryWritten(kUninstallKey);
    UniqueRegKey key(reg_);
    reg_.CreateKey(kHkeyLocalMachine, kUninstallKey, key.put());
    if (key) WriteUninstallEntry(key.get(), folder, uninstaller);
    RegisterActiveSetup(uninstaller);
}

void InstallSteps::WriteUninstallEntry(RegHandle entry, const std::string& folder,
                                       const std::string& uninstaller) {
    const std::string quoted = "\"" + uninstaller + "\"";
    SetText(reg_, entry, "DisplayName", "Tarnix批打印软件");
    SetText(reg_, entry, "DisplayVersion", kDisplayVersion);
    SetText(reg_, entry, "Publisher", "Tarnix");
    SetText(reg_, entry, "InstallLocation", folder);
    SetText(reg_, entry, "DisplayIcon", uninstaller);
    SetText(reg_, entry, "UninstallString", quoted);
    SetText(reg_, entry, "QuietUninstallString", quoted + " /S");
    const std::uint64_t kb = (recorder_.InstalledBytes() + 1023) / 1024;
    SetNumber(reg_, entry, "EstimatedSize",
              static_cast<std::uint32_t>(std::min<std::uint64_t>(kb, 0xFFFFFFFFu)));
    SetText(reg_, entry, "InstallDate", installDate_);
    SetNumber(reg_, entry, "NoModify", 1);
    SetNumber(reg_, entry, "NoRepair", 1);
}

void InstallSteps::RegisterActiveSetup(const std::string& uninstaller) {
    // Windows runs StubPath once for every user who logs on and whose own
    // copy of the key has an older Version (or none): that brings the
    // trusted path and the settings file to users the installation could
    // not reach. The program's manifest asks for elevation, which a user's
    // logon cannot grant, so the stub starts it under the RunAsInvoker
    // compatibility layer: with the user's own rights, as the step needs.
    recorder_.UninstallEntryWritten(kActiveSetupKey);
    UniqueRegKey machine(reg_);
    reg_.CreateKey(kHkeyLocalMachine, kActiveSetupKey, machine.put());
    if (machine) {
        SetText(reg_, machine.get(), "", "Tarnix批打印软件");
        SetText(reg_, machine.get(), "Version", kActiveSetupVersion);
        // REG_EXPAND_SZ: Windows expands %SystemRoot% before it runs the stub.
        const std::string stub = ActiveSetupStubPath(uninstaller);
        reg_.SetValue(machine.get(), "StubPath", kRegExpandSz,
                      reinterpret_cast<const unsigned char*>(stub.c_str()),
                      static_cast<std::uint32_t>(stub.size() + 1));
        SetNumber(reg_, machine.get(), "IsInstalled", 1);
    }
    // The installing user has had the per-user part already.
    recorder_.UninstallEntryWritten(std::string(kCurrentUserPrefix) + kActiveSetupKey);
    UniqueRegKey user(reg_);
    reg_.CreateKey(kHkeyCurrentUser, kActiveSetupKey, user.put());
    if (user) SetText(reg_, user.get(), "Version", kActiveSetupVersion);
}

std::string ActiveSetupStubPath(const std::string& uninstaller) {
    return "%SystemRoot%\\System32\\cmd.exe /d /c \"set __COMPAT_LAYER=RunAsInvoker&& \"" +
           uninstaller + "\" /USER\"";
}

}  // namespace tx
