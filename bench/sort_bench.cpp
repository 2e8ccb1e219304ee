// SPDX-License-Identifier: MIT
// Times the self-test's sort of a fresh list against the floor, sort_list's
// loop without its scouts: sort_list / floor is what the scouts buy. As built
// (ascending addresses, as the self-test finds its nodes) and shuffled, where
// the hardware's prefetcher, which follows address patterns, finds none.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "priority_sort.hpp"
#include "request_list.hpp"
#include "self_test.hpp"

namespace {

using namespace iosort;

// The self-test's call: sort_list handed compute_priority.
void sort_as_self_test(RequestNode& head) { sort_list(head, compute_priority); }

// sort_list's loop without its scouts. Out of line, as sort_list's is:
// inlined into the timing loop, the compiler would shape it differently.
[[gnu::noinline]] void floor_sort(RequestNode& head) {
  for (RequestNode* placed = &head; placed->next != nullptr;
       placed = placed->next) {
    RequestNode* min_prev = placed;
    const RequestNode* min_node = placed->next;
    for (RequestNode *prev = placed, *node = placed->next; node != nullptr;
         prev = node, node = node->next) {
      if (100 - node->base_priority < 100 - min_node->base_priority)
          [[unlikely]] {
        min_prev = prev;
        min_node = node;
      }
    }
    move_node(*placed, *min_prev);
  }
}

enum class Layout { kAsBuilt, kShuffled };

void build(RequestNode& head, std::int32_t count, Layout layout) {
  build_list(head, count);
  if (layout == Layout::kShuffled) {
    std::vector<RequestNode*> nodes;
    for (RequestNode* node = head.next; node != nullptr; node = node->next) {
      nodes.push_back(node);
    }
    std::shuffle(nodes.begin(), nodes.end(), std::mt19937{20261208});
    RequestNode* last = &head;
    for (RequestNode* node : nodes) {
      last = last->next = node;
    }
    last->next = nullptr;
  }
}

// The old list is freed and the new one built with the clock stopped.
// malloc_trim merges glibc's free lists back into one block: without it the
// next build would get its nodes in the scattered order the sort left the
// old ones in, not in the address order of the self-test's fresh process.
// A sort that skipped work would make every ratio a lie: the last list must
// come out in order.
void sort_fresh_list(benchmark::State& state, void (*sort)(RequestNode&),
                     Layout layout) {
  std::optional<RequestList> list;
  for (auto _ : state) {
    state.PauseTiming();
    list.reset();
    malloc_trim(0);
    build(list.emplace().head(), static_cast<std::int32_t>(state.range(0)),
          layout);
    state.ResumeTiming();
    sort(list->head());
  }
  if (list && sorted(list->head(), compute_priority) != 1) {
    state.SkipWithError("the list did not come out in order");
  }
}

// The figures quoted are medians; min and max give their range.
void with_range(benchmark::internal::Benchmark* bench) {
  bench->ComputeStatistics("min", [](const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
  });
  bench->ComputeStatistics("max", [](const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
  });
  bench->Unit(benchmark::kMillisecond);
}

// 256 requests stay in the first-level cache whatever the walk does.
void as_built(benchmark::internal::Benchmark* bench) {
  with_range(bench->Arg(256)->Arg(2000)->Arg(8000)->Arg(30000));
}
void shuffled(benchmark::internal::Benchmark* bench) {
  with_range(bench->Arg(2000)->Arg(30000));
}

BENCHMARK_CAPTURE(sort_fresh_list, sort_list, sort_as_self_test,
                  Layout::kAsBuilt)
    ->Apply(as_built);
BENCHMARK_CAPTURE(sort_fresh_list, floor, floor_sort, Layout::kAsBuilt)
    ->Apply(as_built);
BENCHMARK_CAPTURE(sort_fresh_list, sort_list_shuffled, sort_as_self_test,
                  Layout::kShuffled)
    ->Apply(shuffled);
BENCHMARK_CAPTURE(sort_fresh_list, floor_shuffled, floor_sort,
                  Layout::kShuffled)
    ->Apply(shuffled);

}  // namespace

BENCHMARK_MAIN();
