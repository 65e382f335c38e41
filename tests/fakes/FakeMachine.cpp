#include "tests/fakes/FakeMachine.h"

#include "deploy/ExitStatus.h"
#include "engine/Journal.h"
#include "engine/UninstallRun.h"
#include "host/AcadDetector.h"
#include "platform/Sha256.h"

namespace tx {

namespace {

class SilentUninstall final : public IUninstallObserver {
public:
    void JournalDamaged() override {}
    bool RetryWhileAcadRuns() override { return false; }
    bool ConfirmUninstall() override { return true; }
    void Done() override {}
};

const char kProducts[] = "SOFTWARE\\Autodesk\\AutoCAD\\";
const char kProducts32[] = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\";
const char kProfiles[] = "Software\\Autodesk\\AutoCAD\\";

// Deletes a key below HKEY_LOCAL_MACHINE with everything below it.
void DeleteKeyTree(FakeRegistry& reg, const std::string& path) {
    for (const std::string& sub : reg.Subkeys(RegRoot::LocalMachine, path))
        DeleteKeyTree(reg, path + "\\" + sub);
    (void)reg.DeleteKey(kHkeyLocalMachine, path.c_str());
}

// Deletes a folder with everything in it.
void DeleteTree(FakeFileSystem& fs, const std::string& folder) {
    for (const std::string& name : fs.Children(folder)) {
        const std::string path = folder + "\\" + name;
        if (fs.IsFolder(path)) {
            DeleteTree(fs, path);
        } else {
            (void)fs.SetAttributes(path, kAttrNormal);
            (void)fs.DeleteFile(path);
        }
    }
    (void)fs.RemoveDirectory(folder);
}

}  // namespace

FakeMachine::FakeMachine() {
    reg.AddWindowsKeys();
    fs.SetModulePath(std::string(kPackage) + "\\SetUp.exe");
    fs.AddFile(std::string(kPackage) + "\\SetUp.exe", "setup program");
    const std::string data = std::string(kPackage) + "\\Data";
    fs.AddFile(data + "\\TX_BatchPlot2008.ARX", "module 2008");
    fs.AddFile(data + "\\TX_BatchPlot2021.ARX", "module 2021");
    fs.AddFile(data + "\\Tarnix.prt7", "itextsharp");
    fs.AddFile(data + "\\Tarnix.prt9", "pdfsharp");
    fs.AddFile(data + "\\Tarnix.Ini", "settings");
    fs.AddFile(data + "\\Tarnix_EN.shx", "font en");
    fs.AddFile(data + "\\Tarnix_HZ.shx", "font hz");
    fs.AddFile(data + "\\Tarnix.prt5", "driver");
    fs.SetEnv("APPDATA", kAppData);
    fs.AddFolder(kAppData);

    // A second drive, for installations and AutoCAD there.
    fs.AddFolder("D:\\");
    for (const AcadInstallation& acad : StartingAcads()) AddAcad(acad);
    // A user who trusts a folder of their own already.
    reg.SetWideString(RegRoot::CurrentUser,
                      std::string(kProfiles) + "R23.0\\ACAD-2001:804\\Profiles\\<<Unnamed Profile>>\\Variables",
                      "TRUSTEDPATHS", u"D:\\Mine\\Blocks");
    // An older installation's demand-load key, with a value of its own.
    reg.SetString(RegRoot::LocalMachine,
                  std::string(kProducts) + "R24.3\\ACAD-7101:804\\Applications\\TX_BatchPlot2024",
                  "LOADER", "D:\\Old\\TX_BatchPlot2021.ARX");
    reg.SetDword(RegRoot::LocalMachine,
                 std::string(kProducts) + "R24.3\\ACAD-7101:804\\Applications\\TX_BatchPlot2024",
                 "STALE", 7);
    // Parents that every Windows has.
    reg.CreatePath(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    reg.CreatePath(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Active Setup\\Installed Components");
    reg.CreatePath(RegRoot::CurrentUser, "Software\\Microsoft\\Active Setup\\Installed Components");
    Detect();
}

const std::vector<AcadInstallation>& FakeMachine::StartingAcads() {
    static const std::vector<AcadInstallation> acads = {
        // AutoCAD's own font of the same name, and its own driver.
        {"R17.1\\ACAD-6001:804", true, kAcad2008, "AutoCAD 2008", {},
         {{"Fonts\\Tarnix_EN.shx", "acad 2008 font"}, {"Drv\\pdfplot9.hdi", "acad 2008 driver"}}},
        {"R23.0\\ACAD-2001:804", false, kAcad2019, "AutoCAD 2019 - 简体中文 (Simplified Chinese)",
         {"Fonts"}, {}},
        {"R24.3\\ACAD-7101:804", false, kAcad2024, "AutoCAD 2024 - 简体中文 (Simplified Chinese)", {}, {}},
    };
    return acads;
}

void FakeMachine::AddAcad(const AcadInstallation& acad) {
    const std::string key = (acad.wow ? kProducts32 : kProducts) + acad.productKey;
    reg.SetString(RegRoot::LocalMachine, key, "AcadLocation", acad.location);
    reg.SetString(RegRoot::LocalMachine, key, "ProductName", acad.productName);
    reg.CreatePath(RegRoot::CurrentUser,
                   std::string(kProfiles) + acad.productKey + "\\Profiles\\<<Unnamed Profile>>\\Variables");
    fs.AddFolder(acad.location);
    for (const std::string& folder : acad.folders) fs.AddFolder(acad.location + "\\" + folder);
    for (const auto& [file, content] : acad.files) fs.AddFile(acad.location + "\\" + file, content);
    Detect();
}

void FakeMachine::RemoveAcad(const AcadInstallation& acad) {
    const std::string key = (acad.wow ? kProducts32 : kProducts) + acad.productKey;
    DeleteKeyTree(reg, key);
    // The release's key goes with its last product.
    const std::string release = key.substr(0, key.rfind('\\'));
    if (reg.Subkeys(RegRoot::LocalMachine, release).empty()) DeleteKeyTree(reg, release);
    DeleteTree(fs, acad.location);
    Detect();
}

void FakeMachine::Detect() {
    info = CAcadInfo();
    AcadDetector(reg, cp).DetectAcadReleases(info);
}

void FakeMachine::CutOffAt(long at, Cut cut) {
    cut_ = cut;
    stopper_ = std::make_unique<Stopper>(at, cut != Cut::Crash);
    stoppingFs_ = std::make_unique<StoppingFileSystem>(fs, *stopper_);
    stoppingReg_ = std::make_unique<StoppingRegistry>(reg, *stopper_);
    runFs = stoppingFs_.get();
    runReg = stoppingReg_.get();
}

bool FakeMachine::EndCutOff() {
    runFs = &fs;
    runReg = &reg;
    const bool stopped = stopper_ != nullptr && stopper_->Stopped();
    if (stopped && cut_ == Cut::PowerCut) fs.PowerCut();
    stoppingFs_.reset();
    stoppingReg_.reset();
    stopper_.reset();
    return stopped;
}

std::string FakeMachine::InstallFolder(const std::string& chosen) {
    return chosen + "\\Tarnix批打印软件";
}

std::string FakeMachine::Snapshot(bool withUserSettings) const {
    std::string out = reg.Dump();
    const std::string settings = cp.Lower(std::string(kAppData) + "\\Tarnix");
    for (const char* drive : kDrives) {
        for (const std::string& path : fs.Tree(drive)) {
            if (!withUserSettings && cp.Lower(path).compare(0, settings.size(), settings) == 0) continue;
            out += path + "\n";
        }
    }
    return out;
}

EngineServices FakeMachine::Services() {
    EngineServices services{fs, reg, wide, cp, processes, security, log};
    services.installDate = installDate;
    services.manifest = manifest;
    return services;
}

PackageManifest FakeMachine::SealPackage() const {
    PackageManifest sealed;
    sealed.state = PackageManifest::State::Present;
    const std::string data = std::string(kPackage) + "\\Data";
    for (const std::string& name : fs.Children(data)) {
        if (fs.IsFolder(data + "\\" + name)) continue;
        const std::string content = fs.Content(data + "\\" + name);
        sealed.files.push_back({name, content.size(), Sha256::HexOf(content)});
    }
    return sealed;
}

InstallResult InstallPrepared(IInstaller& installer, const CAcadInfo& info,
                              const std::string& chosen, const std::string& folder,
                              const TickFlags& ticks, IInstallObserver& observer,
                              FolderReadiness* readiness) {
    PreparedFolder prepared = installer.PrepareInstallFolder(chosen, folder);
    if (readiness != nullptr) *readiness = prepared.readiness;
    if (prepared.readiness != FolderReadiness::Ready) return InstallResult::Failed;
    InstallRequest request;
    request.folder = folder;
    request.madeLevels = prepared.created;
    request.hold = &prepared.hold;
    request.ticks = ticks;
    return installer.Install(info, request, observer);
}

std::string MachineSnapshot(const FakeFileSystem& fs, const FakeRegistry& reg) {
    std::string s = reg.Dump();
    for (const std::string& p : fs.Tree("C:\\")) s += p + "\n";
    return s;
}

InstallResult FakeMachine::Install(IInstallObserver& observer, const std::string& chosen,
                                   const TickFlags* ticks) {
    fs.SetModulePath(std::string(kPackage) + "\\SetUp.exe");
    EngineServices services(*runFs, *runReg, wide, cp, processes, security, log);
    services.installDate = installDate;
    services.manifest = manifest;
    InstallEngine engine(services);
    TickFlags detected{};
    for (int i = 0; i < kReleaseCount; ++i) detected[i] = info.IsDetected(i) ? 1 : 0;
    return InstallPrepared(engine, info, chosen, InstallFolder(chosen),
                           ticks != nullptr ? *ticks : detected, observer);
}

int FakeMachine::Uninstall(const std::string& folder) {
    fs.SetModulePath(folder + "\\" + kUninstallerName);
    FakeSelfRemover remover;
    SilentUninstall answers;
    const int status = UninstallRun(*runReg, *runFs, security, processes, remover, cp, wide, log)
                           .Run(answers, true);
    // A run cut off never got to start its cleanup copy.
    if (stopper_ == nullptr || !stopper_->Stopped()) remover.Exit(fs);
    fs.SetModulePath(std::string(kPackage) + "\\SetUp.exe");
    return status;
}

}  // namespace tx
