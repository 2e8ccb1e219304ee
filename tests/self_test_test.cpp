// SPDX-License-Identifier: MIT
#include "self_test.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "priority_sort.hpp"
#include "test_support.hpp"

namespace iosort {
namespace {

// The bases are the priorities: the first four lists are in order, the
// others not, the last only at its end.
TEST(Sorted, PassesOnlyPrioritiesThatNeverDecrease) {
  const std::vector<std::int32_t> lists[] = {
      {},           {50},         {50, 50},       {10, 20, 30},
      {10, 20, 15}, {50, 50, 10}, {1, 2, 3, 4, 0}};
  for (std::size_t i = 0; i < std::size(lists); ++i) {
    RequestList list;
    fill(list, lists[i]);
    EXPECT_EQ(sorted(list.head(), [](std::int32_t base) { return base; }),
              i < 4 ? 1 : 0)
        << i;
  }
}

TEST(CheckLength, PassesTheExpectedLengthOnlyElseSaysInvalidLength) {
  const std::string invalid =
      "[ TEST ] two_node_sort             :: "
      "\33[1;31mFAIL\33[0m - Invalid Length\r\n";
  for (const std::size_t length : {1U, 2U, 3U}) {
    RequestList list;
    fill(list, std::vector<std::int32_t>(length));
    std::int32_t result = -1;
    const std::string out = output_of(stdout, [&] {
      result = check_length(list.head(), 2, "two_node_sort");
    });
    EXPECT_EQ(result, length == 2 ? 1 : 0) << length;
    EXPECT_EQ(out, length == 2 ? "" : invalid);
  }
}

// Every case of two requests or more fails without stopping the run, and
// main exits with 1; when the verdict's line cannot be written, main says so
// instead. Unsorted under a priority that falls with every call, the cases
// fail their order check; cut to their first node, their length check.
TEST(RunTests, FailingCasesDoNotStopTheRunAndMainExitsWithOne) {
  static std::int32_t next_value;
  const Sorting unsorted = {[](RequestNode&, PriorityFn) {},
                            [](std::int32_t) { return next_value--; }};
  const Sorting cut_short = {[](RequestNode& head, PriorityFn) {
                               if (head.next != nullptr) {
                                 RequestList rest;
                                 rest.head().next = head.next->next;
                                 head.next->next = nullptr;
                               }
                             },
                             compute_priority};
  const std::string whole = report(4);
  const struct {
    Sorting sorting;
    rlim_t room;  // RLIMIT_FSIZE in bytes: all but the verdict, or no limit
    std::string report, err;
  } cases[] = {
      {unsorted, RLIM_INFINITY, whole, ""},
      {unsorted, whole.rfind("\r\n\r\n") + 2, whole, failure(kWrite, EFBIG)},
      {cut_short, RLIM_INFINITY, report(4, "Invalid Length"), ""},
  };
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  // Past the limit a write fails instead, until the disposition is restored.
  const auto saved_xfsz = std::signal(SIGXFSZ, SIG_IGN);
  for (const auto& c : cases) {
    next_value = INT_MAX;
    const rlimit room{std::min(c.room, saved.rlim_max), saved.rlim_max};
    IoStatus status;
    EXPECT_EQ(output_of(stdout,
                        [&] {
                          setrlimit(RLIMIT_FSIZE, &room);
                          status = run_tests_with(c.sorting);
                          setrlimit(RLIMIT_FSIZE, &saved);
                        }),
              c.report.substr(0, c.room));
    int exit_code = -1;
    EXPECT_EQ(output_of(stderr, [&] { exit_code = finish_run(status); }),
              c.err);
    EXPECT_EQ(exit_code, 1);
  }
  std::signal(SIGXFSZ, saved_xfsz);
}

}  // namespace
}  // namespace iosort
