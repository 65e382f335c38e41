// A whole machine in memory for the installation engine: files, registry,
// processes, folder security, one AutoCAD installation of each kind the
// installer treats apart, a package beside the program, and the runs of
// the installer and the uninstaller on it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/InstallEngine.h"
#include "host/AcadInfo.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeFolderSecurity.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeSelfRemover.h"
#include "tests/fakes/FakeWideText.h"
#include "tests/fakes/MemoryLog.h"

namespace tx {

// Answers as a script says: a failed copy gets `copyAnswer`; allOrNothing
// makes it a silent run.
class ScriptedObserver : public IInstallObserver {
public:
    CopyFailedAnswer CopyFailed(const std::string& target) override {
        failedCopies.push_back(target);
        return copyAnswer;
    }
    bool AllOrNothing() override { return allOrNothing; }
    void NoDataFolder() override { ++noData; }
    void Step() override { ++steps; }

    CopyFailedAnswer copyAnswer = CopyFailedAnswer::Abort;
    bool allOrNothing = false;
    std::vector<std::string> failedCopies;
    int noData = 0;
    int steps = 0;
};

// Every file with its content and every key and value, for comparing two
// moments of a machine.
std::string MachineSnapshot(const FakeFileSystem& fs, const FakeRegistry& reg);

// A run as the dialog starts it: chosen and the installation folder in it
// readied and held, then the installation into them. *readiness says how
// the folder was found; a folder not ready is no run (Failed).
InstallResult InstallPrepared(IInstaller& installer, const CAcadInfo& info,
                              const std::string& chosen, const std::string& folder,
                              const TickFlags& ticks, IInstallObserver& observer,
                              FolderReadiness* readiness = nullptr);

class FakeMachine {
public:
    static constexpr const char* kPackage = "C:\\Pkg";
    static constexpr const char* kAppData = "C:\\Users\\u\\AppData\\Roaming";
    // AutoCAD 2008 (fonts and driver), 2019 (fonts only) and 2024 (neither
    // folder), each with a product key and one profile.
    static constexpr const char* kAcad2008 = "C:\\Program Files (x86)\\AutoCAD 2008";
    static constexpr const char* kAcad2019 = "C:\\Program Files\\Autodesk\\AutoCAD 2019";
    static constexpr const char* kAcad2024 = "C:\\Program Files\\Autodesk\\AutoCAD 2024";

    FakeMachine();

    // Files and registry as they stand, for comparing two moments; the
    // user's settings folder, which an uninstall leaves, only when asked.
    std::string Snapshot(bool withUserSettings = false) const;
    // The folder and its product subfolder as the dialog forms them.
    static std::string InstallFolder(const std::string& chosen = "C:\\Tarnix");

    // What an installation engine on this machine works with, for a run
    // driven by something other than Install (the setup dialog, say).
    EngineServices Services();

    // The manifest the package step would write for the Data folder as it
    // is now.
    PackageManifest SealPackage() const;

    // One installation run into chosen (every detected release ticked
    // unless ticks given); the program runs from the package.
    InstallResult Install(IInstallObserver& observer, const std::string& chosen = "C:\\Tarnix",
                          const TickFlags* ticks = nullptr);
    // The uninstaller of the installation in folder, run silently to its
    // end (its cleanup copy included); the exit status.
    int Uninstall(const std::string& folder = InstallFolder());

    FakeFileSystem fs{936};
    FakeRegistry reg{936};
    // What the runs work through: the machine's own, or a stand-in that
    // fails or stops on the way.
    IFileSystem* runFs = &fs;
    IRegistry* runReg = &reg;
    FakeProcessList processes;
    FakeFolderSecurity security{fs};
    FakeWideText wide{936};
    MemoryLog log;
    CAcadInfo info;
    const CodePage cp{936};
    std::string installDate = "20240102";
    // What the program carries to check its Data folder against (Install
    // and Services pass it on); null for none.
    const PackageManifest* manifest = nullptr;
};

}  // namespace tx
