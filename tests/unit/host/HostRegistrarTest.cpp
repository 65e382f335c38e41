// The registrar's names for the demand-load keys and the subkeys it walks.
// What the installation writes with them is in engine/DemandLoadTest and
// TrustedPathsTest. The literals are compiled to code page 936.
#include "host/HostRegistrar.h"

#include <gtest/gtest.h>

#include <iterator>

#include "tests/fakes/FakeRegistry.h"

namespace tx {
namespace {

constexpr RegRoot kHkcu = RegRoot::CurrentUser;
const std::string kDir = "C:\\Program Files\\Tarnix批打印软件";

TEST(HostRegistrarTest, KeyCarriesTheReleaseYearAndLoaderTheModuleYear) {
    const std::pair<int, int> moduleOf[] = {
        {2007, 2008}, {2008, 2008}, {2009, 2008}, {2010, 2010}, {2011, 2010}, {2012, 2010},
        {2013, 2013}, {2014, 2013}, {2015, 2015}, {2016, 2015}, {2017, 2017}, {2018, 2018},
        {2019, 2019}, {2020, 2019}, {2021, 2021}, {2022, 2021}, {2023, 2021}, {2024, 2021},
    };
    ASSERT_EQ(static_cast<std::size_t>(kReleaseCount), std::size(moduleOf));
    for (const auto& [year, module] : moduleOf) {
        EXPECT_EQ("Applications\\TX_BatchPlot" + std::to_string(year),
                  HostRegistrar::DemandLoadSubkey(year));
        EXPECT_EQ(kDir + "\\TX_BatchPlot" + std::to_string(module) + ".ARX",
                  HostRegistrar::LoaderFor(kDir, ReleaseIndexOfYear(year)))
            << year;
    }
}

TEST(HostRegistrarTest, LoaderThatWouldNotFitItsBufferIsEmpty) {
    const int r2022 = ReleaseIndexOfYear(2022);
    // 239 + 21 bytes: one too many for 259 bytes and the NUL.
    EXPECT_EQ("", HostRegistrar::LoaderFor("C:\\" + std::string(236, 'x'), r2022));

    // 238 bytes, double-byte characters counted as two: fits exactly.
    std::string folder = "C:\\";
    for (int i = 0; i < 117; ++i) folder += "长";
    folder += "x";
    ASSERT_EQ(238u, folder.size());
    const std::string loader = HostRegistrar::LoaderFor(folder, r2022);
    EXPECT_EQ(259u, loader.size());
    EXPECT_EQ(folder + "\\TX_BatchPlot2021.ARX", loader);
}

TEST(HostRegistrarTest, ListSubkeysKeepsOnlyWhatCanBeOpened) {
    FakeRegistry reg;
    CodePage cp(936);
    FakeWideText wide(936);
    HostRegistrar registrar(reg, cp, wide);
    reg.CreatePath(kHkcu, "K\\b");
    reg.CreatePath(kHkcu, "K\\a");
    reg.CreatePath(kHkcu, "K\\c");
    // 256 bytes: no room for its NUL in the name buffer.
    std::string longName;
    for (int i = 0; i < 128; ++i) longName += "长";
    reg.CreatePath(kHkcu, "K\\" + longName);
    reg.SetFaults(kHkcu, "K\\b", FakeRegistry::kFailOpen);
    {
        UniqueRegKey k(reg);
        ASSERT_EQ(kRegOk, reg.OpenKeyRead(kHkeyCurrentUser, "K", k.put()));
        StringList names{"kept"};
        registrar.ListSubkeys(k.get(), names);
        EXPECT_EQ((StringList{"kept", "a", "c"}), names);
    }
    EXPECT_EQ(0u, reg.OpenHandles()) << "a registry key was left open";
    EXPECT_EQ(0u, reg.BadHandleUses());
}

}  // namespace
}  // namespace tx
