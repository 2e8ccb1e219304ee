// SPDX-License-Identifier: MIT
#include "priority_sort.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <latch>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "test_support.hpp"

namespace iosort {
namespace {

std::int64_t priority_calls = 0;

std::int32_t counted_identity(std::int32_t base) {
  ++priority_calls;
  return base;
}

// A priority function may sort a list of its own.
std::int32_t sorting_identity(std::int32_t base) {
  RequestList own;
  fill(own, {base, 7, base});
  sort_list(own.head(), compute_priority);
  sort_list(own.head(), counted_identity);
  return base;
}

std::int32_t descending(std::int32_t base) { return 100 - base; }

// Random bases in [lowest, highest], and the list's entries as std::stable_sort
// orders them by `priority`.
struct Drawn {
  std::vector<std::int32_t> bases;
  std::vector<Entry> sorted;
};
Drawn draw(RequestList& list, std::size_t length, std::int32_t lowest,
           std::int32_t highest, std::int32_t (*priority)(std::int32_t)) {
  static std::mt19937 rng(20240611);
  std::uniform_int_distribution<std::int32_t> uniform(lowest, highest);
  Drawn drawn{std::vector<std::int32_t>(length), {}};
  std::generate(drawn.bases.begin(), drawn.bases.end(),
                [&] { return uniform(rng); });
  fill(list, drawn.bases);
  drawn.sorted = entries(list.head());
  std::stable_sort(drawn.sorted.begin(), drawn.sorted.end(),
                   [&](const Entry& a, const Entry& b) {
                     return priority(a.base) < priority(b.base);
                   });
  return drawn;
}

// The sort must agree with std::stable_sort on the same nodes: none lost,
// added or altered, ties in their old order. Under compute_priority it scans
// a copy of the bases in blocks of 64, which lengths to 140 cross with ties
// in every place; past its capacity it walks the links (once, as that takes
// seconds). Sorting the result again must leave it as it is.
TEST(SortList, MatchesStableSortAndLeavesSortedListsAlone) {
  std::vector<std::size_t> short_lengths(141);
  std::iota(short_lengths.begin(), short_lengths.end(), 0);
  // The longest first, while the allocator hands out nodes in address order.
  const std::vector<std::size_t> capacity = {32769, 32768, 32767};
  const struct {
    PriorityFn priority_fn;
    std::int32_t (*expected)(std::int32_t);  // the priority it should give
    std::int32_t lowest, highest;            // of the bases drawn
    const std::vector<std::size_t>& lengths;
    int rounds = 2;
  } cases[] = {
      {compute_priority, descending, 0, 2, short_lengths},
      {compute_priority, descending, 0, 99, capacity, 1},
      {compute_priority, descending, INT32_MIN + 101, INT32_MAX, short_lengths},
      {counted_identity, counted_identity, 0, 9, short_lengths},
      // Priorities whose difference overflows.
      {counted_identity, counted_identity, INT32_MIN, INT32_MAX, short_lengths},
      {sorting_identity, counted_identity, 0, 9, short_lengths},
  };
  for (const auto& c : cases) {
    for (const std::size_t length : c.lengths) {
      SCOPED_TRACE(testing::Message()
                   << "case " << &c - cases << ", length " << length);
      RequestList list;
      const Drawn drawn = draw(list, length, c.lowest, c.highest, c.expected);
      for (const std::int32_t base : drawn.bases) {
        ASSERT_EQ(c.priority_fn(base), c.expected(base)) << "base " << base;
      }
      const auto n = static_cast<std::int64_t>(length);
      for (int round = 0; round < c.rounds; ++round) {
        priority_calls = 0;
        sort_list(list.head(), c.priority_fn);
        EXPECT_EQ(entries(list.head()), drawn.sorted);
        // Both sides of every one of the n(n+1)/2 comparisons, afresh.
        if (c.priority_fn == counted_identity) {
          EXPECT_EQ(priority_calls, n * (n + 1));
        }
      }
    }
  }
}

// Each comparison asks for the scanned node's priority, then the minimum's.
TEST(SortList, AsksForTheScannedPriorityThenTheMinimums) {
  static std::vector<std::int32_t> asked;
  asked.clear();
  RequestList list;
  fill(list, {3, 1, 2});
  sort_list(list.head(), [](std::int32_t base) {
    asked.push_back(base);
    return base;
  });
  EXPECT_EQ(asked, (std::vector<std::int32_t>{3, 3, 1, 3, 2, 1,  // 3 1 2
                                              3, 3, 2, 3,        // 1 3 2
                                              3, 3}));           // 1 2 3
}

// One of two sorts at once, as a rule, finds the copy's storage taken and
// walks the links instead.
TEST(SortList, TwoThreadsAtOnceEachGetTheirListSorted) {
  RequestList lists[2];
  Drawn drawn[2];
  std::latch start(2);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < 2; ++i) {
    drawn[i] = draw(lists[i], 10000, 0, 99, descending);
    threads.emplace_back([&, i] {
      start.arrive_and_wait();
      sort_list(lists[i].head(), compute_priority);
    });
  }
  for (std::size_t i = 0; i < 2; ++i) {
    threads[i].join();
    EXPECT_EQ(entries(lists[i].head()), drawn[i].sorted) << i;
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
