// The literals are compiled to code page 936.
#include "platform/win32/Win32Registry.h"

#include <gtest/gtest.h>

#include "platform/win32/Win32CodePage.h"
#include "tests/win32/registry/RegistryContract.h"

namespace tx {
namespace {

TEST(Win32RegistryEnvironment, RunsUnderCodePage936) {
    // Otherwise the double-byte cases below prove nothing.
    EXPECT_EQ(936u, AnsiCodePageId());
}

INSTANTIATE_TEST_SUITE_P(
    Win32, RegistryContract,
    ::testing::Values(RegistryUnderTest{
        "Win32", [] { return std::unique_ptr<IRegistry>(new Win32Registry()); }, nullptr}),
    [](const ::testing::TestParamInfo<RegistryUnderTest>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace tx
