// SPDX-License-Identifier: MIT
#include "self_test.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "test_support.hpp"

namespace iosort {
namespace {

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
