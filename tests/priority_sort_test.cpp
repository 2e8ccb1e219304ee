// SPDX-License-Identifier: MIT
#include "priority_sort.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "test_support.hpp"

namespace iosort {
namespace {

std::int64_t priority_calls = 0;

std::int32_t counted_identity(std::int32_t base) {
  ++priority_calls;
  return base;
}

// The sort must agree with std::stable_sort on the same nodes, under the
// program's policy (which the sort runs through a scan of its own) and under
// any other function: none lost, added or altered, ties in their old order.
// Lengths run up to 50, then past the point where the sort starts to scout.
// Sorting the result again must leave it as it is.
TEST(SortList, MatchesStableSortAndLeavesSortedListsAlone) {
  const struct {
    PriorityFn priority_fn;
    std::int32_t (*expected)(std::int32_t);  // the priority it should give
    std::int32_t lowest, highest;            // of the bases drawn
  } cases[] = {
      // A narrow range makes ties, and so stability, common.
      {compute_priority, [](std::int32_t base) { return 100 - base; }, 0, 9},
      {compute_priority, [](std::int32_t base) { return 100 - base; }, 0, 99},
      {counted_identity, [](std::int32_t base) { return base; }, 0, 9},
      // Priorities whose difference overflows.
      {counted_identity, [](std::int32_t base) { return base; }, INT32_MIN,
       INT32_MAX},
  };
  std::vector<std::size_t> lengths(51);
  std::iota(lengths.begin(), lengths.end(), 0);
  lengths.insert(lengths.end(), {300, 3000});
  std::mt19937 rng(20240611);
  for (const auto& c : cases) {
    std::uniform_int_distribution<std::int32_t> draw(c.lowest, c.highest);
    for (const std::size_t length : lengths) {
      SCOPED_TRACE(testing::Message()
                   << "case " << &c - cases << ", length " << length);
      std::vector<std::int32_t> bases(length);
      std::generate(bases.begin(), bases.end(), [&] { return draw(rng); });
      RequestList list;
      fill(list, bases);
      auto expected = entries(list.head());
      std::stable_sort(expected.begin(), expected.end(),
                       [&](const Entry& a, const Entry& b) {
                         return c.expected(a.base) < c.expected(b.base);
                       });
      for (const std::int32_t base : bases) {
        ASSERT_EQ(c.priority_fn(base), c.expected(base)) << "base " << base;
      }
      const auto n = static_cast<std::int64_t>(length);
      for (int round = 0; round < 2; ++round) {
        priority_calls = 0;
        sort_list(list.head(), c.priority_fn);
        EXPECT_EQ(entries(list.head()), expected);
        // Both sides of every one of the n(n+1)/2 comparisons, afresh.
        if (c.priority_fn == counted_identity) {
          EXPECT_EQ(priority_calls, n * (n + 1));
        }
      }
    }
  }
}

// Positions count from the head, 0. Unlinking first makes a move to where the
// node already is change nothing; inserting first would link it to itself.
TEST(MoveNode, PutsTheNodeAfterSrcPrevDirectlyBehindDestPrev) {
  const struct {
    std::size_t dest_prev, src_prev;
    std::vector<std::int32_t> bases;
  } cases[] = {{2, 2, {0, 1, 2, 3, 4}},   // the same node
               {1, 3, {0, 3, 1, 2, 4}},   // one three places behind
               {0, 4, {4, 0, 1, 2, 3}}};  // the last to the front
  for (const auto& c : cases) {
    RequestList list;
    const auto nodes = fill(list, {0, 1, 2, 3, 4});
    move_node(*nodes.at(c.dest_prev), *nodes.at(c.src_prev));
    std::vector<std::int32_t> bases;
    for (const Entry& entry : entries(list.head())) {
      bases.push_back(entry.base);
    }
    EXPECT_EQ(bases, c.bases) << c.dest_prev << ", " << c.src_prev;
  }
}

}  // namespace
}  // namespace iosort
