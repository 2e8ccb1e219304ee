// SPDX-License-Identifier: MIT
#include "request_list.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "test_support.hpp"

// This test binary's own operator new and delete, so that tests see what the
// code frees and how it copes with std::bad_alloc: live_allocations() counts
// the blocks not yet given back, and fail_allocation(nth) makes the `nth`
// allocation from now on throw (1: the next one; 0 disarms).
namespace {

std::int64_t live = 0;
std::int64_t countdown = 0;  // 0: never fail

void* allocate(std::size_t size) {
  if (countdown > 0 && --countdown == 0) {
    throw std::bad_alloc();
  }
  void* const block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  ++live;
  return block;
}

void release(void* block) noexcept {
  if (block != nullptr) {
    --live;
    std::free(block);
  }
}

}  // namespace

std::int64_t live_allocations() { return live; }

void fail_allocation(std::int64_t nth) { countdown = nth; }

// The scalar forms, nothrow new among them (std::stable_sort's buffer): under
// a sanitizer each block must go back to the allocator it came from. The array
// forms stay the library's own pair.
void* operator new(std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept {
  release(block);
}

namespace iosort {
namespace {

// Every node is freed too: those a build replaces and, when the list goes,
// its whole chain, however long. The draws are seeded, so that they are the
// same in every run: the 30000 reach all 100 base priorities.
TEST(BuildList, ReplacesTheWholeListWithCountNewRequestsOrLeavesIt) {
  const struct {
    std::int32_t count;
    std::vector<std::int32_t> bases_before;
  } cases[] = {
      {0, {5, 6, 7}}, {-1, {5, 6, 7}}, {INT_MIN, {5, 6, 7}},
      {1, {}},        {10, {5, 6, 7}}, {30000, {}},
  };
  std::srand(1);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "count " << c.count << " over "
                                    << testing::PrintToString(c.bases_before));
    const std::int64_t live_without_list = live_allocations();
    {
      RequestList list;
      fill(list, c.bases_before);
      const auto before = entries(list.head());
      const std::int64_t live = live_allocations();
      build_list(list.head(), c.count);
      const std::int64_t added = live_allocations() - live;
      const auto after = entries(list.head());
      std::int32_t length = -1;
      list_length(list.head(), length);
      EXPECT_EQ(length, std::ssize(after));
      EXPECT_EQ(added, std::ssize(after) - std::ssize(before));
      if (c.count <= 0) {
        EXPECT_EQ(after, before);
      } else {
        // An old node still linked would show by its "r" label, even at an
        // address the allocator handed out again.
        EXPECT_EQ(std::ssize(after), c.count);
        std::set<std::int32_t> bases;
        for (std::size_t i = 0; i < after.size(); ++i) {
          ASSERT_EQ(after[i].label, "this is i/o request " + std::to_string(i));
          bases.insert(after[i].base);
        }
        EXPECT_GE(*bases.begin(), 0);
        EXPECT_LE(*bases.rbegin(), 99);
        if (c.count == 30000) {
          EXPECT_EQ(bases.size(), 100u);
        }
      }
    }
    EXPECT_EQ(live_allocations(), live_without_list);
  }
}

TEST(BuildList, FailedAllocationLeavesTheListAsItWasAndLeaksNothing) {
  RequestList list;
  build_list(list.head(), 10);
  const auto before = entries(list.head());
  for (std::int64_t nth = 1; nth <= 10; ++nth) {
    SCOPED_TRACE(testing::Message() << "allocation " << nth << " fails");
    const std::int64_t live = live_allocations();
    fail_allocation(nth);
    EXPECT_THROW(build_list(list.head(), 10), std::bad_alloc);
    fail_allocation(0);
    EXPECT_EQ(live_allocations(), live);
    EXPECT_EQ(entries(list.head()), before);
  }
}

TEST(DisplayList, WritesOneLinePerRequestInListOrderWithTheGivenPriority) {
  RequestList list;
  const PriorityFn ninety_three = [](std::int32_t) { return 93; };
  EXPECT_EQ(output_of(stdout, [&] { display_list(list.head(), ninety_three); }),
            "");

  fill(list, {7, 100});
  EXPECT_EQ(output_of(stdout, [&] { display_list(list.head(), ninety_three); }),
            "Base Pri: 7   | Filler: r0 | Priority: 93 \r\n"
            "Base Pri: 100 | Filler: r1 | Priority: 93 \r\n");
}

}  // namespace
}  // namespace iosort
