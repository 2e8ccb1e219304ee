// SPDX-License-Identifier: MIT
// Times the self-test's sort of a fresh list against two references: the
// floor, the plain walk along the links with 100 - base written in, and the
// bound, each pass's comparisons on a dense array of the same bases with
// nothing relinked. As built (ascending addresses, as the self-test finds its
// nodes) and shuffled, where the hardware's prefetcher finds no pattern.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "platform.hpp"
#include "priority_sort.hpp"
#include "request_list.hpp"
#include "self_test.hpp"

namespace {

using namespace iosort;

// The self-test's call: sort_list handed compute_priority.
void sort_as_self_test(RequestNode& head) { sort_list(head, compute_priority); }

// Out of line, as sort_list's passes are: inlined into the timing loop, the
// compiler would shape them differently.
[[gnu::noinline]] void floor_sort(RequestNode& head) {
  for (RequestNode* placed = &head; placed->next != nullptr;
       placed = placed->next) {
    RequestNode* min_prev = placed;
    const RequestNode* min_node = placed->next;
    for (RequestNode *prev = placed, *node = placed->next; node != nullptr;
         prev = node, node = node->next) {
      if (100 - node->base_priority < 100 - min_node->base_priority) {
        min_prev = prev;
        min_node = node;
      }
    }
    move_node(*placed, *min_prev);
  }
}

// The highest of a pass's bases, as the compiler vectorises it for the
// widest vectors the program may use.
IOSORT_AVX2_CLONES std::int32_t bound_pass(const std::int32_t* bases,
                                           std::size_t count) {
  std::int32_t highest = INT32_MIN;
  for (std::size_t at = 0; at < count; ++at) {
    highest = std::max(highest, bases[at]);
  }
  return highest;
}

void bound_scan(RequestNode& head) {
  std::vector<std::int32_t> bases;
  for (const RequestNode* node = head.next; node != nullptr;
       node = node->next) {
    bases.push_back(node->base_priority);
  }
  for (std::size_t placed = 0; placed < bases.size(); ++placed) {
    benchmark::DoNotOptimize(
        bound_pass(bases.data() + placed, bases.size() - placed));
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
// come out in order (the bound sorts nothing).
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
  if (sort != bound_scan && sorted(list->head(), compute_priority) != 1) {
    state.SkipWithError("the list did not come out in order");
  }
}

// The figures quoted are medians; min and max give their range.
void sizes(benchmark::internal::Benchmark* bench) {
  bench->Arg(256)->Arg(2000)->Arg(8000)->Arg(30000);
  bench->ComputeStatistics("min", [](const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
  });
  bench->ComputeStatistics("max", [](const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
  });
  bench->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(sort_fresh_list, sort_list, sort_as_self_test,
                  Layout::kAsBuilt)
    ->Apply(sizes);
BENCHMARK_CAPTURE(sort_fresh_list, floor, floor_sort, Layout::kAsBuilt)
    ->Apply(sizes);
BENCHMARK_CAPTURE(sort_fresh_list, bound, bound_scan, Layout::kAsBuilt)
    ->Apply(sizes);
BENCHMARK_CAPTURE(sort_fresh_list, sort_list_shuffled, sort_as_self_test,
                  Layout::kShuffled)
    ->Apply(sizes);
BENCHMARK_CAPTURE(sort_fresh_list, floor_shuffled, floor_sort,
                  Layout::kShuffled)
    ->Apply(sizes);
BENCHMARK_CAPTURE(sort_fresh_list, bound_shuffled, bound_scan,
                  Layout::kShuffled)
    ->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
