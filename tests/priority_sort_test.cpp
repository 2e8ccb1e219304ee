#include "priority_sort.hpp"

#include <gtest/gtest.h>
TEST(Smoke, Priority) { EXPECT_EQ(compute_priority(7), 93); }
