#include "request_list.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "alloc_hook.hpp"
#include "test_support.hpp"

namespace {

using ::testing::AllOf;
using ::testing::Each;
using ::testing::Field;
using ::testing::Ge;
using ::testing::Le;

std::int32_t length_of(const RequestNode& head) {
  std::int32_t length = -1;
  list_length(head, length);
  return length;
}

std::vector<std::string> built_labels(std::int32_t count) {
  std::vector<std::string> labels;
  for (std::int32_t i = 0; i < count; ++i) {
    labels.push_back("this is i/o request " + std::to_string(i));
  }
  return labels;
}

std::vector<std::string> labels_of(const RequestNode& head) {
  std::vector<std::string> labels;
  for (const Entry& entry : entries(head)) {
    labels.push_back(entry.label);
  }
  return labels;
}

TEST(BuildList, CountOfZeroOrLessLeavesTheListUntouched) {
  for (const std::int32_t count : {0, -1, INT_MIN}) {
    SCOPED_TRACE(count);
    RequestList empty;
    build_list(empty.head(), count);
    EXPECT_EQ(empty.head().next, nullptr);

    RequestList list;
    append_bases(list, {5, 6, 7});
    const auto before = entries(list.head());
    build_list(list.head(), count);
    EXPECT_EQ(entries(list.head()), before);
  }
}

TEST(BuildList, GivesCountRequestsLabelledFromIndexZero) {
  for (const std::int32_t count : {1, 10}) {
    SCOPED_TRACE(count);
    RequestList list;
    build_list(list.head(), count);
    EXPECT_EQ(length_of(list.head()), count);
    EXPECT_EQ(labels_of(list.head()), built_labels(count));
  }
}

TEST(BuildList, DrawsBasePrioritiesAcrossZeroTo99) {
  RequestList list;
  build_list(list.head(), 2000);
  std::set<std::int32_t> bases;
  for (const Entry& entry : entries(list.head())) {
    bases.insert(entry.base);
  }
  EXPECT_THAT(bases, Each(AllOf(Ge(0), Le(99))));
  // A constant or a wrong modulus shows as few distinct values.
  EXPECT_GT(bases.size(), 90u);
}

TEST(BuildList, RebuildLeavesOnlyTheNewRequestsAndFreesTheOldOnes) {
  RequestList list;
  build_list(list.head(), 10);
  // No fresh node carries these marks, so an old node still linked after the
  // rebuild shows even if the allocator hands out its address again.
  for (RequestNode* node = list.head().next; node != nullptr;
       node = node->next) {
    node->base_priority = -1;
    std::snprintf(node->filler.data(), node->filler.size(), "stale");
  }
  const std::int64_t live = live_allocations();
  build_list(list.head(), 10);
  EXPECT_EQ(live_allocations(), live);
  EXPECT_EQ(labels_of(list.head()), built_labels(10));
  EXPECT_THAT(entries(list.head()), Each(Field(&Entry::base, Ge(0))));
}

TEST(BuildList, FailedAllocationLeavesTheListAsItWasAndLeaksNothing) {
  RequestList list;
  build_list(list.head(), 10);
  const auto before = entries(list.head());
  for (std::int64_t nth = 1; nth <= 10; ++nth) {
    SCOPED_TRACE(testing::Message() << "allocation " << nth << " fails");
    const std::int64_t live = live_allocations();
    bool threw = false;
    fail_allocation(nth);
    try {
      build_list(list.head(), 10);
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    fail_allocation(0);
    EXPECT_EQ(live_allocations(), live);
    EXPECT_TRUE(threw);
    EXPECT_EQ(entries(list.head()), before);
  }
}

TEST(RequestList, DestructionFreesEveryNodeOfALongChain) {
  const std::int64_t live = live_allocations();
  {
    RequestList list;
    build_list(list.head(), 30000);
  }
  EXPECT_EQ(live_allocations(), live);
}

TEST(DisplayList, WritesOneLinePerRequestInListOrderWithTheGivenPriority) {
  RequestList list;
  const PriorityFn ninety_three = [](std::int32_t) { return 93; };
  EXPECT_EQ(stdout_of([&] { display_list(list.head(), ninety_three); }), "");

  append(list, {{7, "this is i/o request 3"}, {100, "x"}});
  EXPECT_EQ(stdout_of([&] { display_list(list.head(), ninety_three); }),
            "Base Pri: 7   | Filler: this is i/o request 3 | Priority: 93 \r\n"
            "Base Pri: 100 | Filler: x | Priority: 93 \r\n");
}

}  // namespace
