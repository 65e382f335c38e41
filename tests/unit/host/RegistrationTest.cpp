// The literals are compiled to code page 936.
#include "host/Registration.h"

#include <gtest/gtest.h>

#include "tests/fakes/FakeRegistry.h"

namespace tx {
namespace {

constexpr RegRoot kHklm = RegRoot::LocalMachine;
constexpr RegRoot kHkcu = RegRoot::CurrentUser;
const std::string kDir = "C:\\Program Files\\Tarnix批打印软件";

int Index(int year) { return year - 2007; }

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { info_.m_strInstallDir = kDir; }
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

    void Tick(std::initializer_list<int> years) {
        TickFlags flags{};
        for (int y : years) flags[Index(y)] = 1;
        registrar_.RegisterRelease(info_, flags);
    }

    FakeRegistry reg_;
    CodePage cp_{936};
    FakeWideText wide_{936};
    HostRegistrar registrar_{reg_, cp_, wide_};
    CAcadInfo info_;
};

TEST_F(RegistrationTest, KeyCarriesTheReleaseYearAndLoaderTheModuleYear) {
    const std::pair<int, int> moduleOf[] = {
        {2007, 2008}, {2008, 2008}, {2009, 2008}, {2010, 2010}, {2011, 2010}, {2012, 2010},
        {2013, 2013}, {2014, 2013}, {2015, 2015}, {2016, 2015}, {2017, 2017}, {2018, 2018},
        {2019, 2019}, {2020, 2019}, {2021, 2021}, {2022, 2021}, {2023, 2021}, {2024, 2021},
    };
    TickFlags all{};
    for (const auto& [year, module] : moduleOf) {
        Product(year, "P" + std::to_string(year));
        all[Index(year)] = 1;
    }
    registrar_.RegisterRelease(info_, all);

    for (const auto& [year, module] : moduleOf) {
        const std::string entry = Entry(info_.m_arrProductKey[Index(year)][0], year);
        const std::string loader = kDir + "\\TX_BatchPlot" + std::to_string(module) + ".ARX";
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

TEST_F(RegistrationTest, EveryProductKeyOfAReleaseIsWrittenInListOrder) {
    const std::string wow = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\R17.1\\ACAD-6001:804\\";
    reg_.CreatePath(kHklm, wow);
    info_.m_arrProductKey[Index(2008)].push_back(wow);
    const std::string native = Product(2008, "ACAD-6001:804");
    reg_.RecordWrites(true);
    Tick({2008});
    const std::string hklm = "HKLM\\";
    EXPECT_EQ((std::vector<std::string>{
                  "create " + hklm + Entry(wow, 2008),
                  "set " + hklm + Entry(wow, 2008) + " : LOADCTRLS",
                  "set " + hklm + Entry(wow, 2008) + " : LOADER",
                  "create " + hklm + Entry(native, 2008),
                  "set " + hklm + Entry(native, 2008) + " : LOADCTRLS",
                  "set " + hklm + Entry(native, 2008) + " : LOADER",
              }),
              reg_.Writes());
}

TEST_F(RegistrationTest, OldEntryIsReplacedByJustTheTwoValues) {
    const std::string entry = Entry(Product(2016, "ACAD-F001:804"), 2016);
    reg_.SetString(kHklm, entry, "LOADER", "D:\\old\\TX_BatchPlot2015.ARX");
    reg_.SetString(kHklm, entry, "Extra", "left by someone");
    reg_.SetDword(kHklm, entry, "LOADCTRLS", 14);
    Tick({2016});
    EXPECT_EQ((std::vector<std::string>{"LOADCTRLS", "LOADER"}), reg_.ValueNames(kHklm, entry));
    EXPECT_EQ(kDir + "\\TX_BatchPlot2015.ARX", reg_.GetString(kHklm, entry, "LOADER"));
    EXPECT_EQ(2u, reg_.GetDword(kHklm, entry, "LOADCTRLS"));

    // A second run in the same process gives the same result.
    Tick({2016});
    EXPECT_EQ((std::vector<std::string>{"LOADCTRLS", "LOADER"}), reg_.ValueNames(kHklm, entry));
}

TEST_F(RegistrationTest, EntryWithSubkeysSurvivesAndIsOnlyRewritten) {
    const std::string entry = Entry(Product(2021, "ACAD-5101:804"), 2021);
    reg_.SetString(kHklm, entry, "Extra", "kept");
    reg_.CreatePath(kHklm, entry + "\\Commands");
    Tick({2021});
    EXPECT_EQ((std::vector<std::string>{"Extra", "LOADCTRLS", "LOADER"}), reg_.ValueNames(kHklm, entry));
    EXPECT_EQ(kDir + "\\TX_BatchPlot2021.ARX", reg_.GetString(kHklm, entry, "LOADER"));
    EXPECT_TRUE(reg_.HasKey(kHklm, entry + "\\Commands"));
}

TEST_F(RegistrationTest, NoFlagSetWritesNoEntryButStillTrustsTheFolder) {
    Product(2010, "ACAD-8001:804");
    reg_.CreatePath(kHkcu, "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\<<未命名配置>>");
    Tick({});
    EXPECT_FALSE(reg_.HasKey(kHklm, Entry(info_.m_arrProductKey[Index(2010)][0], 2010)));
    EXPECT_EQ(kDir, reg_.GetString(kHkcu,
                                   "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Profiles\\"
                                   "<<未命名配置>>\\Variables",
                                   "TRUSTEDPATHS"));
}

TEST_F(RegistrationTest, OnlyTickedReleasesWithProductKeysAreWritten) {
    const std::string p2013 = Product(2013, "ACAD-B001:804");
    const std::string p2014 = Product(2014, "ACAD-D001:804");
    reg_.RecordWrites(true);
    Tick({2014, 2015});  // 2015 was not detected: no product key
    for (const std::string& w : reg_.Writes()) EXPECT_EQ(std::string::npos, w.find(p2013)) << w;
    EXPECT_TRUE(reg_.HasKey(kHklm, Entry(p2014, 2014)));
    EXPECT_EQ(3u, reg_.Writes().size());
}

TEST_F(RegistrationTest, KeysThatCannotBeOpenedOrCreatedAreSkipped) {
    // Detected once, gone since: not recreated.
    info_.m_arrProductKey[Index(2019)].push_back("SOFTWARE\\Autodesk\\AutoCAD\\R23.0\\Gone\\");
    const std::string locked = Product(2019, "Locked");
    const std::string blocked = Product(2019, "Blocked");
    const std::string fine = Product(2019, "Fine");
    reg_.SetFaults(kHklm, locked, FakeRegistry::kFailOpen);
    reg_.SetFaults(kHklm, Entry(blocked, 2019), FakeRegistry::kFailCreate);
    reg_.SetFaults(kHklm, Entry(fine, 2019), FakeRegistry::kFailWrite);  // ignored silently
    const std::string other = Product(2020, "Other");
    Tick({2019, 2020});
    EXPECT_FALSE(reg_.HasKey(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R23.0"));
    EXPECT_FALSE(reg_.HasKey(kHklm, Entry(locked, 2019)));
    EXPECT_FALSE(reg_.HasKey(kHklm, Entry(blocked, 2019)));
    EXPECT_TRUE(reg_.HasKey(kHklm, Entry(fine, 2019)));
    EXPECT_TRUE(reg_.ValueNames(kHklm, Entry(fine, 2019)).empty());
    EXPECT_EQ(kDir + "\\TX_BatchPlot2019.ARX", reg_.GetString(kHklm, Entry(other, 2020), "LOADER"));
}

TEST_F(RegistrationTest, LoaderThatWouldNotFitItsBufferIsNotWritten) {
    const std::string product = Product(2022, "ACAD-6101:804");
    const std::string entry = Entry(product, 2022);
    reg_.SetString(kHklm, entry, "LOADER", "D:\\old\\TX_BatchPlot2021.ARX");

    // 239 + 21 bytes: one too many for 259 bytes and the NUL.
    info_.m_strInstallDir = "C:\\" + std::string(236, 'x');
    Tick({2022});
    EXPECT_EQ((std::vector<std::string>{"LOADER"}), reg_.ValueNames(kHklm, entry)) << "old entry untouched";
    EXPECT_EQ("D:\\old\\TX_BatchPlot2021.ARX", reg_.GetString(kHklm, entry, "LOADER"));

    // 238 bytes, double-byte characters counted as two: fits exactly.
    info_.m_strInstallDir = "C:\\";
    for (int i = 0; i < 117; ++i) info_.m_strInstallDir += "长";
    info_.m_strInstallDir += "x";
    ASSERT_EQ(238u, info_.m_strInstallDir.size());
    Tick({2022});
    auto loader = reg_.GetString(kHklm, entry, "LOADER");
    ASSERT_TRUE(loader);
    EXPECT_EQ(259u, loader->size());
    EXPECT_EQ(info_.m_strInstallDir + "\\TX_BatchPlot2021.ARX", *loader);
}

TEST_F(RegistrationTest, YearsOutsideTheTableDoNothing) {
    Product(2007, "P");
    registrar_.RegisterDemandLoad(info_, 2006);
    registrar_.RegisterDemandLoad(info_, 2025);
    registrar_.RegisterDemandLoad(info_, 0);
    EXPECT_EQ(0u, reg_.Calls().Total());
}

TEST_F(RegistrationTest, ProductKeyWithATrailByteBackslashIsOpenedWhole) {
    const std::string product = Product(2023, "产品\x95\x5c");
    registrar_.RegisterDemandLoad(info_, 2023);
    EXPECT_EQ(kDir + "\\TX_BatchPlot2021.ARX",
              reg_.GetString(kHklm, Entry(product, 2023), "LOADER"));
    EXPECT_EQ((std::vector<std::string>{"产品\x95\x5c"}),
              reg_.Subkeys(kHklm, "SOFTWARE\\Autodesk\\AutoCAD\\R"));
}

}  // namespace
}  // namespace tx
