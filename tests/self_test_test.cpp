#include "self_test.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "priority_sort.hpp"
#include "test_support.hpp"

namespace {

std::int32_t next_value = INT_MAX;

// Falls with every call, so no two neighbours ever look in order.
std::int32_t falling(std::int32_t) { return next_value--; }

std::int32_t identity(std::int32_t base) { return base; }

class SelfTest : public testing::Test {
 protected:
  void SetUp() override { next_value = INT_MAX; }
};

TEST(Sorted, AcceptsExactlyTheNonDecreasingEffectivePriorities) {
  const struct {
    std::vector<std::int32_t> bases;
    PriorityFn priority_fn;
    std::int32_t expected;
  } cases[] = {
      {{}, identity, 1},
      {{42}, identity, 1},
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
    append_bases(list, c.bases);
    EXPECT_EQ(sorted(list.head(), c.priority_fn), c.expected);
  }
}

TEST_F(SelfTest, SortCaseReportsSortFailedWhenTheOrderCheckFails) {
  const struct {
    std::int32_t (*run)(PriorityFn);
    PriorityFn priority_fn;
    std::int32_t outcome;
    std::string output;
  } cases[] = {
      {two_node_sort, falling, 0, case_line("two_node_sort", kSortFailed)},
      {same_prio_sort, falling, 0, case_line("same_prio_sort", kSortFailed)},
      {multi_node_sort, falling, 0, case_line("multi_node_sort", kSortFailed)},
      // No neighbours to compare.
      {empty_list_sort, falling, 1, ""},
      {single_node_sort, falling, 1, ""},
      {two_node_sort, compute_priority, 1, ""},
      {same_prio_sort, compute_priority, 1, ""},
      {multi_node_sort, compute_priority, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    std::int32_t outcome = -1;
    EXPECT_EQ(stdout_of([&] { outcome = c.run(c.priority_fn); }), c.output);
    EXPECT_EQ(outcome, c.outcome);
  }
}

TEST(CheckLength, PassesSilentlyOnlyOnTheExpectedLength) {
  RequestList list;
  append_bases(list, {1, 2});
  for (const std::int32_t expected : {0, 1, 2, 3}) {
    SCOPED_TRACE(expected);
    std::int32_t outcome = -1;
    const std::string output = stdout_of([&] {
      outcome = check_length(list.head(), expected, "multi_node_sort");
    });
    EXPECT_EQ(outcome, expected == 2 ? 1 : 0);
    EXPECT_EQ(output, expected == 2 ? ""
                                    : case_line("multi_node_sort",
                                                kFail + "Invalid Length"));
  }
}

TEST_F(SelfTest, FailingCasesDoNotStopTheRunAndTheVerdictTurnsRed) {
  EXPECT_EQ(stdout_of([] { run_tests_with(falling); }), report(4));
}

}  // namespace
