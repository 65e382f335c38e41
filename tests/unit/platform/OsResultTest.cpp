#include "platform/OsResult.h"

#include <gtest/gtest.h>

namespace tx {
namespace {

// A failure can never pass for success, nor lose its reason.
TEST(OsResult, AFailureAlwaysCarriesACode) {
    EXPECT_TRUE(OsResult::Ok());
    EXPECT_EQ(0u, OsResult::Ok().Code());

    EXPECT_FALSE(OsResult::Fail(kErrorSharingViolation));
    EXPECT_EQ(kErrorSharingViolation, OsResult::Fail(kErrorSharingViolation).Code());
    // A call that failed without setting a code is still a failure.
    EXPECT_FALSE(OsResult::Fail(0));
    EXPECT_EQ(kErrorGenFailure, OsResult::Fail(0).Code());
}

}  // namespace
}  // namespace tx
