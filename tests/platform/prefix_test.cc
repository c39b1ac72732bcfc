#include "norwin/platform/prefix.h"

#include <gtest/gtest.h>

#include "support/temp_prefix.h"

namespace norwin::platform {
namespace {

using norwin::testing::ScopedEnv;

TEST(PrefixTest, FollowsEnvironmentInOrder) {
  {
    ScopedEnv prefix("NORWIN_PREFIX", "/srv/norwin");
    EXPECT_EQ(PrefixDir(), "/srv/norwin");
  }
  ScopedEnv empty("NORWIN_PREFIX", "");
  {
    ScopedEnv data("XDG_DATA_HOME", "/data");
    EXPECT_EQ(PrefixDir(), "/data/norwin");
  }
  ScopedEnv no_data("XDG_DATA_HOME", "");
  ScopedEnv home("HOME", "/home/pat");
  EXPECT_EQ(PrefixDir(), "/home/pat/.local/share/norwin");
}

}  // namespace
}  // namespace norwin::platform
