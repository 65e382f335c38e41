// An installation's plan read as data: which changes, in which order, for a
// machine as it stands.
#include "engine/InstallPlanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/Journal.h"
#include "tests/fakes/FakeMachine.h"

namespace tx {
namespace {

const std::string kFolder = "C:\\Tarnix\\Tarnix批打印软件";
const std::string k2008 = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\Applications";
const std::string k2019 = "SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\ACAD-2001:804\\Applications";
const std::string k2024 = "SOFTWARE\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804\\Applications";
const std::string kProfile = "\\Profiles\\<<Unnamed Profile>>\\Variables";
const std::string kEntry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TarnixBatchPlot";
const std::string kActiveSetup = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\TarnixBatchPlot";

std::vector<std::string> PlanOf(FakeMachine& m, std::vector<std::string> madeLevels) {
    UserSettings settings(m.fs, m.cp);
    InstallPlanner planner(m.fs, m.reg, m.wide, m.cp, settings);
    InstallRequest request;
    request.folder = kFolder;
    request.madeLevels = std::move(madeLevels);
    for (int i = 0; i < kReleaseCount; ++i) request.ticks[i] = m.info.IsDetected(i) ? 1 : 0;
    JournalContent earlier;
    std::string text;
    if (m.fs.ReadWholeFile(kFolder + "\\" + kJournalFileName, &text)) {
        EXPECT_TRUE(ParseJournal(text, &earlier));
    }
    InstallPlan plan;
    EXPECT_TRUE(planner.Plan(m.info, request, earlier, &plan));
    return plan.Describe();
}

TEST(InstallPlanTest, FirstInstallationInTheOrderOfItsStages) {
    FakeMachine m;
    const std::string acad2008 = FakeMachine::kAcad2008;
    const std::string acad2019 = FakeMachine::kAcad2019;
    const std::vector<std::string> expected = {
        // The folder levels this run made; the entries, so that the next run
        // and Programs and Features find the installation from its first
        // change on, and the uninstaller they name; then the payload in
        // listing order.
        "folder C:\\Tarnix",
        "folder " + kFolder,
        "uninstall-entry " + kEntry,
        "uninstall-entry " + kActiveSetup,
        "uninstall-entry HKCU\\" + kActiveSetup,
        "uninstaller " + kFolder + "\\Uninstall.exe",
        "file-new " + kFolder + "\\TX_BatchPlot2008.ARX",
        "file-new " + kFolder + "\\TX_BatchPlot2021.ARX",
        "file-new " + kFolder + "\\itextsharp.dll",
        "file-new " + kFolder + "\\PdfSharp.dll",
        "user-settings C:\\Users\\u\\AppData\\Roaming\\Tarnix\\Tarnix.Ini",
        "file-new " + kFolder + "\\Tarnix.Ini",
        // Demand-load keys, an Applications key made where none was.
        "machine-key " + k2008,
        "demand-load " + k2008 + "\\TX_BatchPlot2008",
        "machine-key " + k2019,
        "demand-load " + k2019 + "\\TX_BatchPlot2019",
        "demand-load " + k2024 + "\\TX_BatchPlot2024",
        // Every profile's trusted paths, with their lengths before and after.
        "trusted-paths SOFTWARE\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804" + kProfile +
            " (none -> 21 characters)",
        "trusted-paths SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\ACAD-2001:804" + kProfile +
            " (14 -> 36 characters)",
        "trusted-paths SOFTWARE\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804" + kProfile +
            " (none -> 21 characters)",
        // Fonts and driver: AutoCAD's own kept in a backup first; 2024 has
        // no Fonts folder and gets nothing.
        "folder " + kFolder + "\\Backup",
        "file-replaced " + acad2008 + "\\Fonts\\Tarnix_EN.shx",
        "file-new " + acad2008 + "\\Fonts\\Tarnix_HZ.shx",
        "file-replaced " + acad2008 + "\\Drv\\pdfplot9.hdi",
        "file-new " + acad2019 + "\\Fonts\\Tarnix_EN.shx",
        "file-new " + acad2019 + "\\Fonts\\Tarnix_HZ.shx",
    };
    m.fs.AddFolder(kFolder);
    EXPECT_EQ(expected, PlanOf(m, {"C:\\Tarnix", kFolder}));
}

TEST(InstallPlanTest, ReinstallationBacksUpItsOwnFilesAndKeepsTheKeysItJournaled) {
    FakeMachine m;
    ScriptedObserver observer;
    ASSERT_EQ(InstallResult::Completed, m.Install(observer));
    const std::vector<std::string> plan = PlanOf(m, {});
    const auto has = [&](const std::string& line) {
        return std::find(plan.begin(), plan.end(), line) != plan.end();
    };
    // Nothing made anew: the folders are there.
    EXPECT_FALSE(has("folder C:\\Tarnix"));
    EXPECT_TRUE(has("file-replaced " + kFolder + "\\TX_BatchPlot2021.ARX"));
    EXPECT_TRUE(has("file-replaced " + std::string(FakeMachine::kAcad2008) + "\\Fonts\\Tarnix_HZ.shx"));
    EXPECT_TRUE(has("uninstaller " + kFolder + "\\Uninstall.exe"));
    // The keys are rewritten, but their lines from the first run stay the
    // ones an undo of this run must not touch.
    EXPECT_TRUE(has("demand-load " + k2019 + "\\TX_BatchPlot2019 (journaled before)"));
    EXPECT_TRUE(has("uninstall-entry " + kEntry + " (journaled before)"));
    EXPECT_FALSE(has("machine-key " + k2019));
    // A value that holds the folder, upper-cased already, is left alone.
    for (const std::string& line : plan)
        EXPECT_EQ(std::string::npos, line.find("R23.0\\ACAD-2001:804" + kProfile)) << line;
}

}  // namespace
}  // namespace tx
