#include "self_test.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "priority_sort.hpp"
#include "test_support.hpp"

namespace iosort {
namespace {

std::int32_t identity(std::int32_t base) { return base; }

TEST(Sorted, AcceptsExactlyTheNonDecreasingEffectivePriorities) {
  const struct {
    std::vector<std::int32_t> bases;
    PriorityFn priority_fn;
    std::int32_t expected;
  } cases[] = {
      {{7, 7}, identity, 1},
      {{10, 20, 30}, identity, 1},
      {{50, 50, 10}, identity, 0},
      {{10, 20, 15}, identity, 0},
      {{INT_MIN, INT_MAX}, identity, 1},
      {{INT_MAX, INT_MIN}, identity, 0},
      {{90, 50}, compute_priority, 1},  // effective 10, 50
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bases));
    RequestList list;
    fill(list, c.bases);
    EXPECT_EQ(sorted(list.head(), c.priority_fn), c.expected);
  }
}

// Under a priority that falls with every call no two neighbours look in
// order: every case with two or more requests fails its order check, which
// must not stop the run, and the others pass.
TEST(RunTests, FailingCasesDoNotStopTheRunAndTheVerdictTurnsRed) {
  static std::int32_t next_value;
  next_value = INT_MAX;
  const PriorityFn falling = [](std::int32_t) { return next_value--; };
  IoStatus status;
  EXPECT_EQ(stdout_of([&] { status = run_tests_with(falling); }), report(4));
  EXPECT_EQ(status.failure, IoStatus::Failure::kTestsFailed);
}

}  // namespace
}  // namespace iosort
