#include "priority_sort.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "test_support.hpp"

namespace iosort {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;

std::int64_t priority_calls = 0;

std::int32_t counted_priority(std::int32_t base) {
  ++priority_calls;
  return compute_priority(base);
}

// The sort must agree with std::stable_sort on the same nodes at every
// length up to 50 and at a few thousand: none lost, added or altered, ties in
// their old order, and both sides of every one of the n(n+1)/2 comparisons
// computed afresh. Sorting the result again must leave it as it is.
TEST(SortList, MatchesStableSortAndLeavesSortedListsAlone) {
  std::mt19937 rng(20240611);
  std::vector<std::size_t> sizes(51);
  std::iota(sizes.begin(), sizes.end(), 0);
  sizes.push_back(3000);
  for (const std::size_t size : sizes) {
    SCOPED_TRACE(testing::Message() << "size " << size);
    // A narrow range of bases makes ties, and so stability, common.
    std::uniform_int_distribution<std::int32_t> draw(0, size % 2 == 0 ? 9 : 99);
    std::vector<std::int32_t> bases(size);
    std::generate(bases.begin(), bases.end(), [&] { return draw(rng); });
    RequestList list;
    fill(list, bases);
    auto expected = entries(list.head());
    std::stable_sort(
        expected.begin(), expected.end(), [](const Entry& a, const Entry& b) {
          return compute_priority(a.base) < compute_priority(b.base);
        });
    const auto n = static_cast<std::int64_t>(size);
    for (int round = 0; round < 2; ++round) {
      priority_calls = 0;
      sort_list(list.head(), counted_priority);
      EXPECT_EQ(priority_calls, n * (n + 1));
      EXPECT_EQ(entries(list.head()), expected);
    }
  }
}

TEST(SortList, PutsTheHighestBasePriorityFirstUnderComputePriority) {
  RequestList list;
  fill(list, {10, 99, 50});
  sort_list(list.head(), compute_priority);
  EXPECT_THAT(entries(list.head()),
              ElementsAre(Field(&Entry::base, 99), Field(&Entry::base, 50),
                          Field(&Entry::base, 10)));
}

TEST(SortList, OrdersExtremePrioritiesWithoutOverflow) {
  RequestList list;
  fill(list, {INT_MAX, 0, INT_MIN, -1});
  sort_list(list.head(), [](std::int32_t base) { return base; });
  EXPECT_THAT(
      entries(list.head()),
      ElementsAre(Field(&Entry::base, INT_MIN), Field(&Entry::base, -1),
                  Field(&Entry::base, 0), Field(&Entry::base, INT_MAX)));
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
