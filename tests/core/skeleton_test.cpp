#include <gtest/gtest.h>

#include "core/version.hpp"

TEST(Version, IsFiveDotZero) { EXPECT_DOUBLE_EQ(kesta::kVersion, 5.0); }
