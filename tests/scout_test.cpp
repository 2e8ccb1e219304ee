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

namespace {

// The step of the sort at which each node of the list was last prefetched.
std::unordered_map<const RequestNode*, std::int64_t> prefetched_at;
std::int64_t step = 0;
std::int64_t node_prefetches = 0;

// Long enough to be scouted through most of its passes.
constexpr std::int32_t kLength = 3000;
constexpr std::int64_t kSteps = std::int64_t{kLength} * (kLength + 1) / 2;

// What the scan needs: each node on its way some trips to memory before the
// scan reaches it (a trip takes about 8 steps in the cache), yet recently
// enough to be still in a 32 KiB first-level cache (256 nodes' lines).
constexpr std::int64_t kSoonest = 8;
constexpr std::int64_t kLatest = 256;

std::vector<const RequestNode*> node_by_base;
std::int64_t calls = 0;
std::int64_t in_time = 0;

// Bases are the nodes' indexes, so the first call of each comparison, for
// the node the scan has reached, tells which node that is.
std::int32_t watching_priority(std::int32_t base) {
  if (calls++ % 2 == 0) {
    step = calls / 2;
    const std::int64_t lead =
        step - prefetched_at.at(node_by_base[static_cast<std::size_t>(base)]);
    in_time += lead >= kSoonest && lead <= kLatest ? 1 : 0;
  }
  return base;
}

void sort_watched(PriorityFn priority_fn) {
  RequestList list;
  std::vector<std::int32_t> bases(kLength);
  std::iota(bases.begin(), bases.end(), 0);
  std::shuffle(bases.begin(), bases.end(), std::mt19937{20261209});
  fill(list, bases);
  prefetched_at.clear();
  node_by_base.assign(bases.size(), nullptr);
  for (const Entry& entry : entries(list.head())) {
    prefetched_at[entry.node] = INT64_MIN / 2;
    node_by_base[static_cast<std::size_t>(entry.base)] = entry.node;
  }
  step = calls = in_time = node_prefetches = 0;
  sort_list(list.head(), priority_fn);
}

}  // namespace

void scout_probe(const RequestNode* node) {
  if (const auto found = prefetched_at.find(node);
      found != prefetched_at.end()) {
    found->second = step;
    ++node_prefetches;
  }
}

namespace {

TEST(Scouting, PrefetchesNearlyEveryNodeInTimeOnALongChain) {
  sort_watched(watching_priority);
  EXPECT_GT(static_cast<double>(in_time), 0.85 * kSteps);
}

// The program's own priority takes a scan of its own, with no calls to
// watch; it must prefetch as much.
TEST(Scouting, ScoutsAsMuchUnderComputePriority) {
  sort_watched(compute_priority);
  EXPECT_GT(static_cast<double>(node_prefetches), 0.85 * kSteps);
}

}  // namespace
