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

#include "test_support.hpp"

namespace iosort {
namespace {

std::int32_t identity(std::int32_t base) { return base; }

// The bases are the priorities here; out of order only at the end too.
TEST(Sorted, PassesOnlyPrioritiesThatNeverDecrease) {
  const struct {
    std::vector<std::int32_t> priorities;
    std::int32_t in_order;
  } cases[] = {{{}, 1},
               {{50}, 1},
               {{50, 50}, 1},
               {{10, 20, 30}, 1},
               {{10, 20, 15}, 0},
               {{50, 50, 10}, 0},
               {{1, 2, 3, 4, 0}, 0}};
  for (const auto& c : cases) {
    RequestList list;
    fill(list, c.priorities);
    EXPECT_EQ(sorted(list.head(), identity), c.in_order)
        << testing::PrintToString(c.priorities);
  }
}

TEST(CheckLength, PassesTheExpectedLengthOnlyElseSaysInvalidLength) {
  const std::string invalid =
      "[ TEST ] two_node_sort             :: "
      "\33[1;31mFAIL\33[0m - Invalid Length\r\n";
  const struct {
    std::size_t length;
    std::int32_t expected, result;
  } cases[] = {{0, 0, 1}, {2, 2, 1}, {1, 0, 0}, {3, 2, 0}, {1, 2, 0}};
  for (const auto& c : cases) {
    RequestList list;
    fill(list, std::vector<std::int32_t>(c.length));
    std::int32_t result = -1;
    EXPECT_EQ(output_of(stdout,
                        [&] {
                          result = check_length(list.head(), c.expected,
                                                "two_node_sort");
                        }),
              c.result == 1 ? "" : invalid);
    EXPECT_EQ(result, c.result) << c.length << " for " << c.expected;
  }
}

// Under a priority that falls with every call no two neighbours look in
// order: every case with two or more requests fails its order check, which
// must not stop the run, and the others pass. When the verdict's line cannot
// be written, that failure is what the run reports.
TEST(RunTests, FailingCasesDoNotStopTheRunAndTheVerdictTurnsRed) {
  static std::int32_t next_value;
  const PriorityFn falling = [](std::int32_t) { return next_value--; };
  const std::string whole = report(4);
  const std::size_t verdict = whole.rfind("\r\n\r\n") + 2;
  const struct {
    rlim_t room;  // RLIMIT_FSIZE in bytes
    IoStatus status;
  } cases[] = {{RLIM_INFINITY, {IoStatus::Failure::kTestsFailed}},
               {verdict, {IoStatus::Failure::kWrite, EFBIG}}};
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, SIG_IGN);  // past the limit a write fails instead
  for (const auto& c : cases) {
    next_value = INT_MAX;
    IoStatus status;
    const rlimit room{std::min(c.room, saved.rlim_max), saved.rlim_max};
    const std::string out = output_of(stdout, [&] {
      setrlimit(RLIMIT_FSIZE, &room);
      status = run_tests_with(falling);
      setrlimit(RLIMIT_FSIZE, &saved);
    });
    EXPECT_EQ(out, whole.substr(0, c.room));
    EXPECT_EQ(status.failure, c.status.failure);
    EXPECT_EQ(status.error, c.status.error);
  }
}

// What main returns and says on standard error for each way a run can end.
TEST(FinishRun, GivesTheExitStatusAndSaysWhyOnStandardError) {
  using enum IoStatus::Failure;
  const struct {
    IoStatus status;
    int exit_code;
    std::string err;
  } cases[] = {
      {{}, 0, ""},
      {{kTestsFailed}, 1, ""},  // the report has said so
      {{kRead, EISDIR},
       1,
       "iosort: read error on standard input: Is a directory\n"},
      {{kWrite, ENOSPC},
       1,
       "iosort: write error on standard output: No space left on device\n"},
      {{kWrite, 0}, 1, "iosort: write error on standard output\n"},
  };
  for (const auto& c : cases) {
    int exit_code = -1;
    EXPECT_EQ(output_of(stderr, [&] { exit_code = finish_run(c.status); }),
              c.err);
    EXPECT_EQ(exit_code, c.exit_code) << c.err;
  }
}

}  // namespace
}  // namespace iosort
