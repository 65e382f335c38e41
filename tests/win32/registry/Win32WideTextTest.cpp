// The literals are compiled to code page 936.
#include "platform/win32/Win32WideText.h"

#include <gtest/gtest.h>

#include "tests/win32/registry/WideTextContract.h"

namespace tx {
namespace {

INSTANTIATE_TEST_SUITE_P(
    Win32, WideTextContract,
    ::testing::Values(
        WideTextUnderTest{"AnsiCodePage", [] { return std::unique_ptr<IWideText>(new Win32WideText()); }},
        WideTextUnderTest{"CodePage936", [] { return std::unique_ptr<IWideText>(new Win32WideText(936)); }}),
    [](const ::testing::TestParamInfo<WideTextUnderTest>& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace tx
