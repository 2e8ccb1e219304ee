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

TEST(MoveNode, PutsTheNodeBehindSrcDirectlyBehindDestAndKeepsTheRestInOrder) {
  // Nodes are numbered from 0 behind the head, which is -1.
  const struct {
    int dest;
    int src;
    std::vector<std::size_t> order;
  } cases[] = {
      {-1, -1, {0, 1, 2, 3, 4, 5}},  // the same node: nothing moves
      {2, 2, {0, 1, 2, 3, 4, 5}},
      {4, 4, {0, 1, 2, 3, 4, 5}},   // ... also when the moved node is last
      {0, 2, {0, 3, 1, 2, 4, 5}},   // three places behind dest
      {-1, 1, {2, 0, 1, 3, 4, 5}},  // three places behind the head
      {2, 4, {0, 1, 2, 5, 3, 4}},   // the last node
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "move_node(" << c.dest << ", " << c.src << ")");
    RequestList list;
    fill(list, {0, 1, 2, 3, 4, 5});
    const auto before = entries(list.head());
    const auto at = [&](int index) -> RequestNode& {
      RequestNode* node = &list.head();
      for (; index >= 0; --index) {
        node = node->next;
      }
      return *node;
    };
    move_node(at(c.dest), at(c.src));
    std::vector<Entry> expected;
    for (const std::size_t index : c.order) {
      expected.push_back(before[index]);
    }
    EXPECT_EQ(entries(list.head()), expected);
  }
}

}  // namespace
}  // namespace iosort
