// Installations from a package whose program carries a manifest: the Data
// folder is installed only when it matches, each file from the handle it
// was checked through. Literals are code page 936 bytes, like the program's.
#include "engine/HeldPayload.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "deploy/ExitStatus.h"
#include "engine/InstallEngine.h"
#include "engine/UnattendedRuns.h"
#include "tests/fakes/FakeMachine.h"

namespace tx {
namespace {

const std::string kData = std::string(FakeMachine::kPackage) + "\\Data";
const std::string kInstalled = "C:\\Tarnix\\Tarnix批打印软件";
const std::string kFont2008 = std::string(FakeMachine::kAcad2008) + "\\Fonts\\Tarnix_EN.shx";
const std::string kFont2019 = std::string(FakeMachine::kAcad2019) + "\\Fonts\\Tarnix_EN.shx";
const std::string kDriver = std::string(FakeMachine::kAcad2008) + "\\Drv\\pdfplot9.hdi";
const std::string kUserSettings = std::string(FakeMachine::kAppData) + "\\Tarnix\\Tarnix.Ini";

bool Logged(const FakeMachine& m, const std::string& text) {
    for (const std::string& line : m.log.Lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// Runs something once the package is checked and planned, before the
// first change: at the first progress step.
class FirstStepObserver : public ScriptedObserver {
public:
    void Step() override {
        if (steps == 0 && atFirstStep) atFirstStep();
        ScriptedObserver::Step();
    }
    std::function<void()> atFirstStep;
};

TEST(CheckedPackageTest, AMatchingPackageInstallsAsBeforeEveryFileFromItsHeldHandle) {
    FakeMachine checked;
    const PackageManifest sealed = checked.SealPackage();
    checked.manifest = &sealed;
    FakeMachine plain;
    ScriptedObserver a, b;
    ASSERT_EQ(InstallResult::Completed, checked.Install(a));
    ASSERT_EQ(InstallResult::Completed, plain.Install(b));

    EXPECT_EQ(plain.Snapshot(true), checked.Snapshot(true));
    EXPECT_TRUE(Logged(checked, "package verified: 8 files match the program's manifest"));
    EXPECT_TRUE(Logged(plain, "package unverified: the program carries no manifest"));
    // Modules and settings in the installation folder: copied from the held
    // file, never by name. The user's settings, fonts and driver go
    // elsewhere, written whole from the held file (the swap below shows it
    // is the held one), so a link at their names is refused.
    int held = 0;
    for (const FakeFileSystem::CopyCall& c : checked.fs.CopyCalls()) {
        if (c.source.compare(0, kData.size(), kData) != 0) continue;
        EXPECT_TRUE(c.fromHeld) << c.source << " -> " << c.target;
        ++held;
    }
    EXPECT_EQ(4 + 1, held);
    int elsewhere = 0;
    for (const FakeFileSystem::CopyCall& c : checked.fs.WriteCalls())
        if (c.ok && c.target.compare(0, kInstalled.size(), kInstalled) != 0) ++elsewhere;
    EXPECT_EQ(1 + 4 + 1, elsewhere);
    for (const FakeFileSystem::CopyCall& c : plain.fs.CopyCalls()) EXPECT_FALSE(c.fromHeld);
    EXPECT_EQ(0, checked.fs.HeldFiles()) << "every file is let go when the run ends";
}

struct Tamper {
    const char* what;
    std::function<void(FakeMachine&)> apply;
    std::string logged;
};

TEST(CheckedPackageTest, AnyDifferenceFromTheManifestInstallsNothingAndChangesNothing) {
    const std::vector<Tamper> tampers = {
        {"a file changed, same size",
         [](FakeMachine& m) { m.fs.AddFile(kData + "\\TX_BatchPlot2021.ARX", "module 2022"); },
         "TX_BatchPlot2021.ARX has changed"},
        {"a file grown",
         [](FakeMachine& m) { m.fs.AddFile(kData + "\\Tarnix.prt5", "driver!"); },
         "Tarnix.prt5 has changed"},
        {"a file added", [](FakeMachine& m) { m.fs.AddFile(kData + "\\Extra.ARX", "x"); },
         "Extra.ARX is not in the manifest"},
        {"a folder added", [](FakeMachine& m) { m.fs.AddFolder(kData + "\\Extras"); },
         "Extras is not in the manifest"},
        {"a file removed",
         [](FakeMachine& m) { ASSERT_TRUE(m.fs.DeleteFile(kData + "\\Tarnix_HZ.shx")); },
         "Tarnix_HZ.shx is missing"},
        {"a file with a second name",
         [](FakeMachine& m) { m.fs.SetLinkCount(kData + "\\Tarnix.Ini", 2); },
         "Tarnix.Ini has more than one name"},
        // Windows only: Wine shows no symbolic link as a reparse point.
        {"a symbolic link to the same bytes",
         [](FakeMachine& m) {
             m.fs.AddFile(kData + "\\Tarnix_EN.shx", "font en", kAttrArchive | kAttrReparsePoint);
         },
         "Tarnix_EN.shx is a link"},
        {"a file another program holds",
         [](FakeMachine& m) { m.fs.SetInUse(kData + "\\Tarnix.prt9"); },
         "Tarnix.prt9 cannot be opened (error 32)"},
        {"a folder in a file's place",
         [](FakeMachine& m) {
             ASSERT_TRUE(m.fs.DeleteFile(kData + "\\TX_BatchPlot2008.ARX"));
             m.fs.AddFolder(kData + "\\TX_BatchPlot2008.ARX");
         },
         "TX_BatchPlot2008.ARX cannot be opened (error 5)"},
    };
    for (const Tamper& t : tampers) {
        SCOPED_TRACE(t.what);
        FakeMachine m;
        const PackageManifest sealed = m.SealPackage();
        m.manifest = &sealed;
        t.apply(m);
        const std::string before = m.Snapshot(true);
        ScriptedObserver observer;
        EXPECT_EQ(InstallResult::NoDataFolder, m.Install(observer));
        EXPECT_EQ(1, observer.noData);
        // The folders made for the run are gone again.
        EXPECT_EQ(before, m.Snapshot(true));
        EXPECT_TRUE(m.fs.CopyCalls().empty());
        EXPECT_TRUE(Logged(m, "package refused: " + t.logged));
        EXPECT_EQ(0, m.fs.HeldFiles());
    }
}

TEST(CheckedPackageTest, AManifestThatCannotBeReadInstallsNothing) {
    FakeMachine m;
    PackageManifest unreadable;
    unreadable.state = PackageManifest::State::Unreadable;
    m.manifest = &unreadable;
    const std::string before = m.Snapshot(true);
    ScriptedObserver observer;
    EXPECT_EQ(InstallResult::NoDataFolder, m.Install(observer));
    EXPECT_EQ(before, m.Snapshot(true));
    EXPECT_TRUE(Logged(m, "package refused: the program's manifest cannot be read"));
}

TEST(CheckedPackageTest, ASilentRunOfAChangedPackageEndsWith1603) {
    FakeMachine m;
    const PackageManifest sealed = m.SealPackage();
    m.manifest = &sealed;
    m.fs.AddFile(kData + "\\Tarnix.Ini", "settings of someone else");
    const std::string before = m.Snapshot(true);
    InstallEngine engine(m.Services());
    const CommandLine line = ParseCommandLine("/S", ProgramRole::Installer);
    ASSERT_TRUE(line.ok);
    EXPECT_EQ(kExitFailed, RunSilentInstall(line, m.info, engine, m.cp, m.log));
    EXPECT_EQ(1603, kExitFailed);
    EXPECT_EQ(before, m.Snapshot(true));
}

// What the name of every file that goes to a protected place comes to hold
// once the package is checked. Through the file system, while the files
// are held, nothing can change them.
void SwapAfterTheCheck(FakeMachine& m, bool held) {
    m.fs.AddFile("C:\\evil", "evil");
    for (const char* name : {"TX_BatchPlot2021.ARX", "Tarnix.prt7", "Tarnix.Ini", "Tarnix_EN.shx",
                             "Tarnix.prt5"}) {
        const std::string path = kData + "\\" + name;
        if (held) {
            EXPECT_EQ(kErrorSharingViolation, m.fs.WriteWholeFile(path, "evil").Code()) << name;
            EXPECT_EQ(kErrorSharingViolation, m.fs.DeleteFile(path).Code()) << name;
            EXPECT_EQ(kErrorSharingViolation, m.fs.ReplaceFile("C:\\evil", path).Code()) << name;
            EXPECT_EQ(kErrorSharingViolation, m.fs.CopyFile("C:\\evil", path).Code()) << name;
        }
        // Stands for the name coming to mean another file all the same.
        m.fs.AddFile(path, std::string("evil ") + name);
    }
}

TEST(CheckedPackageTest, AFileSwappedBetweenItsCheckAndItsCopyIsNotInstalled) {
    FakeMachine m;
    const PackageManifest sealed = m.SealPackage();
    m.manifest = &sealed;
    FirstStepObserver observer;
    observer.atFirstStep = [&] { SwapAfterTheCheck(m, true); };
    ASSERT_EQ(InstallResult::Completed, m.Install(observer));

    ASSERT_EQ("evil Tarnix.prt5", m.fs.Content(kData + "\\Tarnix.prt5")) << "the swap happened";
    EXPECT_EQ("module 2021", m.fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ("itextsharp", m.fs.Content(kInstalled + "\\itextsharp.dll"));
    EXPECT_EQ("settings", m.fs.Content(kInstalled + "\\Tarnix.Ini"));
    EXPECT_EQ("settings", m.fs.Content(kUserSettings));
    EXPECT_EQ("font en", m.fs.Content(kFont2008));
    EXPECT_EQ("font en", m.fs.Content(kFont2019));
    EXPECT_EQ("driver", m.fs.Content(kDriver));
}

TEST(CheckedPackageTest, WithoutAManifestTheSameSwapIsInstalled) {
    // What the held copy keeps out: a copy by name takes what is there.
    FakeMachine m;
    FirstStepObserver observer;
    observer.atFirstStep = [&] { SwapAfterTheCheck(m, false); };
    ASSERT_EQ(InstallResult::Completed, m.Install(observer));
    EXPECT_EQ("evil TX_BatchPlot2021.ARX", m.fs.Content(kInstalled + "\\TX_BatchPlot2021.ARX"));
    EXPECT_EQ("evil Tarnix.prt5", m.fs.Content(kDriver));
}

TEST(CheckedPackageTest, AFileTheManifestDoesNotNameIsNeverCopiedByName) {
    // The font is planned for AutoCAD's folders whatever Data holds; one
    // that turns up after the check is not the package's.
    FakeMachine m;
    ASSERT_TRUE(m.fs.DeleteFile(kData + "\\Tarnix_EN.shx"));
    const PackageManifest sealed = m.SealPackage();
    m.manifest = &sealed;
    FirstStepObserver observer;
    observer.atFirstStep = [&] { m.fs.AddFile(kData + "\\Tarnix_EN.shx", "late font"); };
    ASSERT_EQ(InstallResult::Completed, m.Install(observer));
    EXPECT_EQ("acad 2008 font", m.fs.Content(kFont2008));
    EXPECT_FALSE(m.fs.Exists(kFont2019));
    EXPECT_TRUE(Logged(m, "action failed: file-new " + kFont2019 + " (error 2)"));
}

TEST(HeldPayloadTest, ACheckedPackageHoldsEachFileAndNamesNoOther) {
    FakeMachine m;
    const PackageManifest sealed = m.SealPackage();
    HeldPayload payload;
    ASSERT_TRUE(payload.Check(m.fs, m.cp, m.log, &sealed, kData));
    EXPECT_TRUE(payload.Verified());
    EXPECT_EQ(8, m.fs.HeldFiles());
    IHeldFile* held = nullptr;
    ASSERT_TRUE(payload.Source(kData + "\\tarnix.INI", m.cp, &held));
    ASSERT_NE(nullptr, held);
    EXPECT_EQ(kData + "\\Tarnix.Ini", held->Path());
    EXPECT_EQ(kErrorFileNotFound, payload.Source(kData + "\\Late.ARX", m.cp, &held).Code());
    EXPECT_EQ(nullptr, held);

    // Nothing to check against: nothing held, every copy by name.
    PackageManifest none;
    const PackageManifest* const nothing[] = {nullptr, &none};
    for (const PackageManifest* manifest : nothing) {
        HeldPayload unchecked;
        ASSERT_TRUE(unchecked.Check(m.fs, m.cp, m.log, manifest, kData));
        EXPECT_FALSE(unchecked.Verified());
        EXPECT_TRUE(unchecked.Source(kData + "\\Late.ARX", m.cp, &held));
        EXPECT_EQ(nullptr, held);
    }
    EXPECT_EQ(8, m.fs.HeldFiles());
}

}  // namespace
}  // namespace tx
