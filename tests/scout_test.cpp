// SPDX-License-Identifier: MIT
// Built with the sort's probe, which reports which scan each sort runs and
// every prefetch: both only buy speed, so no other test would see them go.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "menu.hpp"
#include "priority_sort.hpp"
#include "self_test.hpp"
#include "test_support.hpp"

namespace iosort {
namespace {

// For each node of the list under test, by its base, which is its index: the
// step it was last prefetched at, and the prefetch (counted from the sort's
// start) that last reached the node before it in the chain.
struct Seen {
  std::int64_t step = INT64_MIN / 2;
  std::int64_t predecessor = INT64_MIN / 2;
};
std::vector<Seen> seen;
Seen& seen_of(std::int32_t base) {
  return seen.at(static_cast<std::size_t>(base));
}
bool probing = false;  // prefetches are followed only while set
std::int64_t calls, prefetches, in_time, paced;
std::int64_t specialised_sorts, generic_sorts;

// The first call of each comparison names the node the scan has reached. In
// time: a trip to memory (some 8 steps in the cache) or more before, yet at
// most 256 steps, so that it is still in a 32 KiB first-level cache.
std::int32_t watching(std::int32_t base) {
  if (calls++ % 2 == 0) {
    const std::int64_t lead = calls / 2 - seen_of(base).step;
    in_time += lead >= 8 && lead <= 256 ? 1 : 0;
  }
  return base;
}

}  // namespace

void probe_scan(bool specialised) {
  ++(specialised ? specialised_sorts : generic_sorts);
}

// Paced: eight scouts take turns, one step each, so a scout's next prefetch
// comes eight prefetches after its last (nine past a mark's); a scout that
// stepped alone would issue it one after.
void probe_prefetch(const RequestNode* node) {
  if (!probing) {
    return;
  }
  ++prefetches;
  if (node->next == node) {
    return;  // an idle scout, which leads back to itself
  }
  const std::int64_t since =
      prefetches - seen_of(node->base_priority).predecessor;
  paced += since >= 8 && since <= 16 ? 1 : 0;
  seen_of(node->base_priority).step = calls / 2;
  if (node->next != nullptr) {
    seen_of(node->next->base_priority).predecessor = prefetches;
  }
}

namespace {

TEST(Scouting, LongChainsArePrefetchedInTimeByPacedScoutsUnderEitherScan) {
  constexpr std::int32_t kLength = 3000;  // scouted in most of its passes
  constexpr double kSteps = kLength * (kLength + 1.0) / 2;
  for (const PriorityFn priority_fn : {watching, compute_priority}) {
    std::vector<std::int32_t> bases(kLength);
    std::iota(bases.begin(), bases.end(), 0);
    std::shuffle(bases.begin(), bases.end(), std::mt19937{20261209});
    RequestList list;
    fill(list, bases);
    seen.assign(bases.size(), {});
    calls = prefetches = in_time = paced = 0;
    probing = true;
    sort_list(list.head(), priority_fn);
    probing = false;
    // compute_priority's own scan makes no call to watch.
    if (priority_fn == watching) {
      EXPECT_GT(static_cast<double>(in_time), 0.85 * kSteps);
    }
    EXPECT_GT(static_cast<double>(paced), 0.85 * kSteps);
  }
}

// Handed any other function, even one that calls compute_priority, the sort
// calls it twice per comparison.
TEST(Scouting, TheSelfTestAndTheMenuSortUnderComputePrioritysOwnScan) {
  specialised_sorts = generic_sorts = 0;
  output_of(stdout, [] { static_cast<void>(run_tests()); });
  const File choices = temp_file("1 2 0 ");  // build, sort, quit
  output_of(stdout, [&] { static_cast<void>(run_menu(choices.get())); });
  EXPECT_EQ(generic_sorts, 0);
  EXPECT_EQ(specialised_sorts, 7);  // six of the self-test's cases, one menu's
}

}  // namespace
}  // namespace iosort
