// A whole machine in memory for the installation engine: files, registry,
// processes, folder security, one AutoCAD installation of each kind the
// installer treats apart, a package beside the program, and the runs of
// the installer and the uninstaller on it.
#pragma once

#include <memory>
#include <string>
#include <utility>
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
#include "tests/fakes/Stopper.h"
#include "tests/fakes/StoppingFileSystem.h"
#include "tests/fakes/StoppingRegistry.h"

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
    void RestartNeeded() override { ++restartNeeded; }
    void Step() override { ++steps; }

    CopyFailedAnswer copyAnswer = CopyFailedAnswer::Abort;
    bool allOrNothing = false;
    std::vector<std::string> failedCopies;
    int noData = 0;
    int restartNeeded = 0;
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

// One AutoCAD installation as its own installer leaves it: the product
// key, the folder with what AutoCAD brings there, and the user's profile.
struct AcadInstallation {
    std::string productKey;  // below SOFTWARE\Autodesk\AutoCAD, "R17.1\ACAD-6001:804"
    bool wow = false;        // a 32-bit release: below SOFTWARE\Wow6432Node
    std::string location;
    std::string productName;
    std::vector<std::string> folders;                           // below location
    std::vector<std::pair<std::string, std::string>> files;  // below location: content
};

class FakeMachine {
public:
    static constexpr const char* kPackage = "C:\\Pkg";
    static constexpr const char* kAppData = "C:\\Users\\u\\AppData\\Roaming";
    // AutoCAD 2008 (fonts and driver), 2019 (fonts only) and 2024 (neither
    // folder), each with a product key and one profile.
    static constexpr const char* kAcad2008 = "C:\\Program Files (x86)\\AutoCAD 2008";
    static constexpr const char* kAcad2019 = "C:\\Program Files\\Autodesk\\AutoCAD 2019";
    static constexpr const char* kAcad2024 = "C:\\Program Files\\Autodesk\\AutoCAD 2024";
    // The drives the machine has.
    static constexpr const char* kDrives[] = {"C:", "D:"};

    FakeMachine();

    // The three installations the machine starts with, 2008, 2019, 2024.
    static const std::vector<AcadInstallation>& StartingAcads();
    // What AutoCAD's own installer and uninstaller do: the product key,
    // the folder and the profile made; or the product key and the folder
    // taken away whole (the profile stays with the user). Either way the
    // detection record is made again, as the program does at its start.
    void AddAcad(const AcadInstallation& acad);
    void RemoveAcad(const AcadInstallation& acad);
    // The detection record made afresh from the registry.
    void Detect();

    // Runs from here on are cut off before their change number `at`
    // (counted over all of them) as `cut` says, until EndCutOff, which lets
    // the power go for a PowerCut and tells whether the stop was reached.
    void CutOffAt(long at, Cut cut);
    bool EndCutOff();

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
    // end (its cleanup copy included, unless the run was cut off before
    // it could start it); the exit status.
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

private:
    Cut cut_ = Cut::Crash;
    std::unique_ptr<Stopper> stopper_;
    std::unique_ptr<StoppingFileSystem> stoppingFs_;
    std::unique_ptr<StoppingRegistry> stoppingReg_;
};

}  // namespace tx
