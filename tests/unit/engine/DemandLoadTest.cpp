// The demand-load keys of an installation: planned from the detection
// record and the ticks, made as a run makes them (prepared, then applied in
// plan order), and undone. The literals are compiled to code page 936.
#include "engine/actions/DemandLoadKey.h"

#include <gtest/gtest.h>

#include "engine/InstallPlanner.h"
#include "engine/actions/MachineKeyMade.h"
#include "engine/actions/TrustedPathsValue.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeMachine.h"
#include "tests/fakes/FakeRegistry.h"

namespace tx {
namespace {

constexpr RegRoot kHklm = RegRoot::LocalMachine;
constexpr RegRoot kHkcu = RegRoot::CurrentUser;
const std::string kDir = "C:\\Program Files\\Tarnix批打印软件";

int Index(int year) { return year - 2007; }

bool IsDemandLoad(const Action& a) {
    return dynamic_cast<const DemandLoadKey*>(&a) != nullptr ||
           dynamic_cast<const MachineKeyMade*>(&a) != nullptr;
}

class DemandLoadTest : public ::testing::Test {
protected:
    DemandLoadTest() {
        fs_.SetModulePath("C:\\Pkg\\SetUp.exe");
        fs_.AddFile("C:\\Pkg\\Data\\TX_BatchPlot2021.ARX", "module");
    }
    void TearDown() override {
        EXPECT_EQ(0u, reg_.OpenHandles()) << "a registry key was left open";
        EXPECT_EQ(0u, reg_.BadHandleUses());
    }

    // A product key as detection records it (trailing backslash).
    std::string Product(int year, const std::string& name) {
        const std::string path = "SOFTWARE\\Autodesk\\AutoCAD\\R\\" + name + "\\";
        reg_.CreatePath(kHklm, path);
        info_.m_arrProductKey[Index(year)].push_back(path);
        info_.m_arrAcadLocation[Index(year)].push_back("C:\\" + name);
        return path;
    }

    static std::string Entry(const std::string& product, int year) {
        return product + "Applications\\TX_BatchPlot" + std::to_string(year);
    }

    InstallPlan PlanAll(std::initializer_list<int> years,
                        const JournalContent& earlier = JournalContent()) {
        InstallRequest request;
        request.folder = folder_;
        for (int y : years) request.ticks[Index(y)] = 1;
        InstallPlan plan;
        EXPECT_TRUE(InstallPlanner(fs_, reg_, wide_, cp_, settings_).Plan(info_, request, earlier, &plan));
        return plan;
    }

    // The demand-load part of the plan, in plan order.
    ActionList Plan(std::initializer_list<int> years, const JournalContent& earlier = JournalContent()) {
        ActionList out;
        for (PlannedAction& p : PlanAll(years, earlier).actions)
            if (IsDemandLoad(*p.action)) out.push_back(std::move(p.action));
        return out;
    }

    ActionContext Context() { return ActionContext{fs_, reg_, wide_, cp_, folder_, std::string()}; }

    // Prepared and applied in order, each failure passed over as an
    // interactive run does; whether each was made.
    std::vector<bool> Apply(ActionList& actions) {
        ActionContext ctx = Context();
        std::vector<bool> made;
        for (auto& a : actions) {
            ActionResult r = a->Prepare(ctx);
            if (r.ok()) r = a->Apply(ctx);
            made.push_back(r.ok());
        }
        return made;
    }

    void UndoAll(ActionList& actions) {
        ActionContext ctx = Context();
        for (auto a = actions.rbegin(); a != actions.rend(); ++a) {
            const ActionResult r = (*a)->Undo(ctx);
            EXPECT_TRUE(r.ok()) << (*a)->Describe();
        }
    }

    ActionList Tick(std::initializer_list<int> years) {
        ActionList actions = Plan(years);
        Apply(actions);
        return actions;
    }

    FakeRegistry reg_;
    FakeFileSystem fs_;
    CodePage cp_{936};
    FakeWideText wide_{936};
    UserSettings settings_{fs_, cp_};
    CAcadInfo info_;
    std::string folder_ = kDir;
};

TEST_F(DemandLoadTest, KeyCarriesTheReleaseYearAndLoaderTheModuleYear) {
    for (int year = 2007; year <= 2024; ++year) Product(year, "P" + std::to_string(year));
    Tick({2007, 2008, 2009, 2010, 2011, 2012, 2013, 2014, 2015, 2016, 2017, 2018, 2019, 2020, 2021,
          2022, 2023, 2024});

    for (int year = 2007; year <= 2024; ++year) {
        const std::string entry = Entry(info_.m_arrProductKey[Index(year)][0], year);
        const std::string loader = HostRegistrar::LoaderFor(kDir, Index(year));
        ASSERT_FALSE(loader.empty());
        auto value = reg_.GetValue(kHklm, entry, "LOADER");
        ASSERT_TRUE(value) << entry;
        EXPECT_EQ(kRegSz, value->type);
        EXPECT_EQ(loader.size() + 1, value->data.size()) << "the NUL is part of the data";
        EXPECT_EQ(loader, reg_.GetString(kHklm, entry, "LOADER")) << year;
        auto ctrls = reg_.GetValue(kHklm, entry, "LOADCTRLS");
        ASSERT_TRUE(ctrls);
        EXPECT_EQ(kRegDword, ctrls->type);
        EXPECT_EQ(2u, reg_.GetDword(kHklm, entry, "LOADCTRLS"));
    }
}

// The Applications key is made on its own, so that its undo can take it
// away again; LOADER is written first, so that a key cut off half-way
// already names its owner.
TEST_F(DemandLoadTest, EveryProductKeyOfAReleaseIsWrittenInListOrder) {
    const std::string wow = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\";
    reg_.CreatePath(kHklm, wow);
    info_.m_arrProductKey[Index(2008)].push_back(wow);
    const std::string native = Product(2008, "ACAD-6001:804");
    reg_.RecordWrites(true);
    Tick({2008});
    const std::string hklm = "HKLM\\";
    EXPECT_EQ((std::vector<std::string>{
                  "create " + hklm + wow + "Applications",
                  "create " + hklm + Entry(wow, 2008),
                  "set " + hklm + Entry(wow, 2008) + " : LOADER",
                  "set " + hklm + Entry(wow, 2008) + " : LOADCTRLS",
                  "create " + hklm + native + "Applications",
                  "create " + hklm + Entry(native, 2008),
                  "set " + hklm + Entry(native, 2008) + " : LOADER",
                  "set " + hklm + Entry(native, 2008) + " : LOADCTRLS",
              }),
              reg_.Writes());
}

TEST_F(DemandLoadTest, OldEntryIsReplacedByJustTheTwoValuesAndComesBackWithTheUndo) {
    const std::string entry = Entry(Product(2016, "ACAD-F001:804"), 2016);
    reg_.SetString(kHklm, entry, "LOADER", "D:\\old\\TX_BatchPlot2015.ARX");
    reg_.SetString(kHklm, entry, "Extra", "left by someone");
    reg_.SetDword(kHklm, entry, "LOADCTRLS", 14);
    const std::string before = reg_.Dump();
    ActionList first = Tick({2016});
    EXPECT_EQ((std::vector<std::string>{"LOADCTRLS", "LOADER"}), reg_.ValueNames(kHklm, entry));
    EXPECT_EQ(kDir + "\\TX_BatchPlot2015.ARX", reg_.GetString(kHklm, entry, "LOADER"));
    EXPECT_EQ(2u, reg_.GetDword(kHklm, entry, "LOADCTRLS"));

    // A second run in the same process gives the same result.
    ActionList second = Tick({2016});
    EXPECT_EQ((std::vector<std::string>{"LOADCTRLS", "LOADER"}), reg_.ValueNames(kHklm, entry));

    // Undone newest first, the earlier entry is back as it was, its own
    // values included.
    UndoAll(second);
    UndoAll(first);
    EXPECT_EQ(before, reg_.Dump());
}

TEST_F(DemandLoadTest, EntryWithSubkeysSurvivesAndIsOnlyRewritten) {
    const std::string entry = Entry(Product(2021, "ACAD-5101:804"), 2021);
    reg_.SetString(kHklm, entry, "Extra", "kept");
    reg_.CreatePath(kHklm, entry + "\\Commands");
    ActionList actions = Plan({2021});
    const std::vector<bool> made = Apply(actions);
    EXPECT_EQ((std::vector<bool>{true}), made) << "Applications was there: only the key";
    EXPECT_EQ((std::vector<std::string>{"Extra", "LOADCTRLS", "LOADER"}), reg_.ValueNames(kHklm, entry));
    EXPECT_EQ(kDir + "\\TX_BatchPlot2021.ARX", reg_.GetString(kHklm, entry, "LOADER"));
    EXPECT_TRUE(reg_.HasKey(kHklm, entry + "\\Commands"));
}

// RegDeleteKey cannot delete a key that has subkeys: the undo puts the
// values back in place, and an uninstall does not fail on it forever.
TEST_F(DemandLoadTest, EntryWithSubkeysGetsItsOwnValuesBackWithTheUndo) {
    const std::string entry = Entry(Product(2021, "ACAD-5101:804"), 2021);
    reg_.SetString(kHklm, entry, "Extra", "kept");
    reg_.SetDword(kHklm, entry, "LOADCTRLS", 14);
    reg_.CreatePath(kHklm, entry + "\\Commands");
    const std::string before = reg_.Dump();
    ActionList actions = Tick({2021});
    ASSERT_EQ(kDir + "\\TX_BatchPlot2021.ARX", reg_.GetString(kHklm, entry, "LOADER"));
    UndoAll(actions);
    EXPECT_EQ(before, reg_.Dump());

    // A key that was not there and has gained a subkey since: only the
    // values written go.
    const std::string fresh = Entry(Product(2022, "ACAD-6101:804"), 2022);
    ActionList again = Tick({2022});
    reg_.CreatePath(kHklm, fresh + "\\Commands");
    UndoAll(again);
    EXPECT_TRUE(reg_.ValueNames(kHklm, fresh).empty());
    EXPECT_TRUE(reg_.HasKey(kHklm, fresh + "\\Commands"));
}

TEST_F(DemandLoadTest, NoTickPlansNoEntryButStillTrustsTheFolder) {
    const std::string product = Product(2010, "ACAD-8001:804");
    const std::string variables =
        "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<未命名配置>>\\Variables";
    reg_.CreatePath(kHkcu, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<未命名配置>>");
    InstallPlan plan = PlanAll({});
    ActionContext ctx = Context();
    int trusted = 0;
    for (PlannedAction& p : plan.actions) {
        EXPECT_FALSE(IsDemandLoad(*p.action)) << p.action->Describe();
        if (dynamic_cast<TrustedPathsValue*>(p.action.get()) == nullptr) continue;
        ++trusted;
        EXPECT_TRUE(p.action->Apply(ctx).ok());
    }
    EXPECT_EQ(1, trusted);
    EXPECT_FALSE(reg_.HasKey(kHklm, product + "Applications"));
    EXPECT_EQ(kDir, reg_.GetString(kHkcu, variables, "TRUSTEDPATHS"));
}

TEST_F(DemandLoadTest, OnlyTickedReleasesWithProductKeysAreWritten) {
    const std::string p2013 = Product(2013, "ACAD-B001:804");
    const std::string p2014 = Product(2014, "ACAD-D001:804");
    reg_.RecordWrites(true);
    Tick({2014, 2015});  // 2015 was not detected: no product key
    const std::string hklm = "HKLM\\";
    EXPECT_EQ((std::vector<std::string>{
                  "create " + hklm + p2014 + "Applications",
                  "create " + hklm + Entry(p2014, 2014),
                  "set " + hklm + Entry(p2014, 2014) + " : LOADER",
                  "set " + hklm + Entry(p2014, 2014) + " : LOADCTRLS",
              }),
              reg_.Writes());
    EXPECT_FALSE(reg_.HasKey(kHklm, p2013 + "Applications"));
}

TEST_F(DemandLoadTest, KeysThatCannotBeOpenedAreNotPlannedAndFailedWritesAreUndone) {
    // Detected once, gone since: not recreated.
    info_.m_arrProductKey[Index(2019)].push_back("SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\Gone\\");
    const std::string locked = Product(2019, "Locked");
    const std::string blocked = Product(2019, "Blocked");
    const std::string fine = Product(2019, "Fine");
    reg_.SetFaults(kHklm, locked, FakeRegistry::kFailOpen);
    reg_.SetFaults(kHklm, Entry(blocked, 2019), FakeRegistry::kFailCreate);
    reg_.SetFaults(kHklm, Entry(fine, 2019), FakeRegistry::kFailWrite);
    const std::string other = Product(2020, "Other");
    const std::string before = reg_.Dump();

    ActionList actions = Plan({2019, 2020});
    std::vector<std::string> planned;
    for (const auto& a : actions) planned.push_back(a->Describe());
    EXPECT_EQ((std::vector<std::string>{
                  "machine-key " + blocked + "Applications",
                  "demand-load " + Entry(blocked, 2019),
                  "machine-key " + fine + "Applications",
                  "demand-load " + Entry(fine, 2019),
                  "machine-key " + other + "Applications",
                  "demand-load " + Entry(other, 2020),
              }),
              planned);
    EXPECT_EQ((std::vector<bool>{true, false, true, false, true, true}), Apply(actions));
    EXPECT_FALSE(reg_.HasKey(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R23.0"));
    EXPECT_FALSE(reg_.HasKey(kHklm, locked + "Applications"));
    EXPECT_FALSE(reg_.HasKey(kHklm, Entry(blocked, 2019)));
    EXPECT_TRUE(reg_.ValueNames(kHklm, Entry(fine, 2019)).empty());
    EXPECT_EQ(kDir + "\\TX_BatchPlot2019.ARX", reg_.GetString(kHklm, Entry(other, 2020), "LOADER"));

    // The key made without its values is still ours, and goes with the rest.
    UndoAll(actions);
    EXPECT_EQ(before, reg_.Dump());
}

TEST_F(DemandLoadTest, LoaderThatWouldNotFitItsBufferIsNotPlanned) {
    const std::string product = Product(2022, "ACAD-6101:804");
    const std::string entry = Entry(product, 2022);
    reg_.SetString(kHklm, entry, "LOADER", "D:\\old\\TX_BatchPlot2021.ARX");

    // 239 + 21 bytes: one too many for 259 bytes and the NUL.
    folder_ = "C:\\" + std::string(236, 'x');
    EXPECT_TRUE(Plan({2022}).empty());
    EXPECT_EQ((std::vector<std::string>{"LOADER"}), reg_.ValueNames(kHklm, entry)) << "old entry untouched";

    // 238 bytes, double-byte characters counted as two: fits exactly.
    folder_ = "C:\\";
    for (int i = 0; i < 117; ++i) folder_ += "长";
    folder_ += "x";
    ASSERT_EQ(238u, folder_.size());
    Tick({2022});
    auto loader = reg_.GetString(kHklm, entry, "LOADER");
    ASSERT_TRUE(loader);
    EXPECT_EQ(259u, loader->size());
    EXPECT_EQ(folder_ + "\\TX_BatchPlot2021.ARX", *loader);
}

TEST_F(DemandLoadTest, ProductKeyWithATrailByteBackslashIsOpenedWhole) {
    const std::string product = Product(2023, "产品\x95\x5c");
    Tick({2023});
    EXPECT_EQ(kDir + "\\TX_BatchPlot2021.ARX",
              reg_.GetString(kHklm, Entry(product, 2023), "LOADER"));
    EXPECT_EQ((std::vector<std::string>{"产品\x95\x5c"}),
              reg_.Subkeys(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R"));
}

// The first line's undo is the one that counts: its key held what the
// machine had before any installation into this folder.
TEST_F(DemandLoadTest, KeyTheJournalNamesWithThisLoaderIsNotJournaledAgain) {
    const std::string product = Product(2024, "ACAD-7101:804");
    const std::string loader = HostRegistrar::LoaderFor(kDir, Index(2024));
    const auto journaledWith = [&](const std::string& path, const std::string& earlierLoader) {
        JournalContent earlier;
        earlier.installFolder = kDir;
        earlier.actions.push_back(std::make_unique<DemandLoadKey>(path, earlierLoader));
        for (const auto& a : Plan({2024}, earlier))
            if (dynamic_cast<const DemandLoadKey*>(a.get()) != nullptr) return !a->Fields().empty();
        ADD_FAILURE() << "no demand-load key planned";
        return false;
    };
    EXPECT_FALSE(journaledWith(Entry(product, 2024), loader));
    EXPECT_FALSE(journaledWith(cp_.Lower(Entry(product, 2024)), loader)) << "key names have no case";
    EXPECT_TRUE(journaledWith(Entry(product, 2024), "D:\\Other\\TX_BatchPlot2021.ARX"));
    EXPECT_TRUE(journaledWith(Entry(product, 2023), loader));
}

// On a whole machine: an older installation's entry stands in the way.
TEST(DemandLoadOnMachineTest, ReinstallThenUninstallPutsTheOlderEntryBack) {
    FakeMachine m;
    const std::string entry =
        "SOFTWARE\\Autodesk\\AutoCAD\\R24.3\\ACAD-7101:804\\Applications\\TX_BatchPlot2024";
    const std::string before = m.Snapshot();
    ScriptedObserver silent;
    silent.allOrNothing = true;
    ASSERT_EQ(InstallResult::Completed, m.Install(silent));
    ASSERT_EQ(InstallResult::Completed, m.Install(silent));
    EXPECT_EQ(FakeMachine::InstallFolder() + "\\TX_BatchPlot2021.ARX",
              m.reg.GetString(kHklm, entry, "LOADER"));
    EXPECT_FALSE(m.reg.GetDword(kHklm, entry, "STALE").has_value());
    m.Uninstall();
    EXPECT_EQ("D:\\Old\\TX_BatchPlot2021.ARX", m.reg.GetString(kHklm, entry, "LOADER"));
    EXPECT_EQ(7u, m.reg.GetDword(kHklm, entry, "STALE"));
    EXPECT_EQ(before, m.Snapshot());
}

TEST(DemandLoadOnMachineTest, SilentRunThatFailsLaterPutsTheOlderEntryBack) {
    FakeMachine m;
    const std::string before = m.Snapshot(true);
    m.fs.FailCopyTo(FakeMachine::InstallFolder() + "\\" + kUninstallerName);
    ScriptedObserver silent;
    silent.allOrNothing = true;
    ASSERT_EQ(InstallResult::Failed, m.Install(silent));
    EXPECT_EQ(before, m.Snapshot(true));
    EXPECT_EQ(0u, m.reg.OpenHandles());
}

}  // namespace
}  // namespace tx
