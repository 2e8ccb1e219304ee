// Built with the sort's probe, which reports every prefetch the scan issues:
// scouting only buys speed, so no other test would notice it gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <unordered_map>
#include <vector>

#include "priority_sort.hpp"
#include "test_support.hpp"

namespace iosort {
namespace {

// Each node of the list under test, and the step it was last prefetched at.
std::unordered_map<const RequestNode*, std::int64_t> prefetched_at;
std::vector<const RequestNode*> node_of_base;
std::int64_t calls = 0;
std::int64_t prefetches = 0;  // of nodes of the list
std::int64_t in_time = 0;     // steps that reached a node prefetched in time

// Bases are the nodes' indexes, so the first call of each comparison names
// the node the scan has reached. In time: a trip to memory (some 8 steps in
// the cache) or more before, yet at most 256 steps, so that it is still in
// a 32 KiB first-level cache.
std::int32_t watching(std::int32_t base) {
  if (calls++ % 2 == 0) {
    const auto node = node_of_base.at(static_cast<std::size_t>(base));
    const std::int64_t lead = calls / 2 - prefetched_at.at(node);
    in_time += lead >= 8 && lead <= 256 ? 1 : 0;
  }
  return base;
}

}  // namespace

void scout_probe(const RequestNode* node) {
  if (const auto found = prefetched_at.find(node);
      found != prefetched_at.end()) {
    found->second = calls / 2;
    ++prefetches;
  }
}

namespace {

TEST(Scouting, LongChainsArePrefetchedInTimeUnderEitherScan) {
  constexpr std::int32_t kLength = 3000;  // scouted in most of its passes
  constexpr double kSteps = kLength * (kLength + 1.0) / 2;
  for (const PriorityFn priority_fn : {watching, compute_priority}) {
    std::vector<std::int32_t> bases(kLength);
    std::iota(bases.begin(), bases.end(), 0);
    std::shuffle(bases.begin(), bases.end(), std::mt19937{20261209});
    RequestList list;
    fill(list, bases);
    prefetched_at.clear();
    node_of_base.assign(bases.size(), nullptr);
    for (const Entry& entry : entries(list.head())) {
      prefetched_at[entry.node] = INT64_MIN / 2;
      node_of_base[static_cast<std::size_t>(entry.base)] = entry.node;
    }
    calls = prefetches = in_time = 0;
    sort_list(list.head(), priority_fn);
    // compute_priority's own scan makes no call to watch: count instead.
    const auto seen = priority_fn == watching ? in_time : prefetches;
    EXPECT_GT(static_cast<double>(seen), 0.85 * kSteps);
  }
}

}  // namespace
}  // namespace iosort
