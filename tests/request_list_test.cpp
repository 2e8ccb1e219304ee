#include "request_list.hpp"

#include <gtest/gtest.h>
TEST(Smoke, Build) {
  RequestList l;
  build_list(l.head(), 10);
  std::int32_t n = 0;
  list_length(l.head(), n);
  EXPECT_EQ(n, 10);
}
