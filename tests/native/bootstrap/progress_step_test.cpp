// The creeping progress bar: slow to half, faster beyond, never past complete.
#include "bootstrap/core/progress_step.h"

#include <gtest/gtest.h>

namespace qv::bootstrap {
namespace {

TEST(ProgressStep, CreepsSlowlyToHalfThenFasterAndStopsAtComplete) {
  EXPECT_EQ(NextCreepPosition(999), 1000);
  EXPECT_EQ(NextCreepPosition(1000), 1004);
  EXPECT_EQ(NextCreepPosition(1998), 2000);
  EXPECT_EQ(NextCreepPosition(2000), 2000);
}

}  // namespace
}  // namespace qv::bootstrap
