// Times the self-test's sort against the plain walk of the same chain.
//
// Every iteration sorts a list fresh from build_list and times only the
// sort. The floor is sort_list's algorithm with `100 - base` written in and
// nothing else: one node after the other, each step waiting for the last
// one's `next`. sort_list / floor is what the prefetching in sort_list buys,
// on two layouts of the same nodes:
// - as built: a fresh heap hands build_list ascending addresses, as the
//   self-test finds it;
// - shuffled: the nodes relinked in random address order, where the
//   hardware's own prefetcher, which follows address patterns, finds none.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <vector>

#include "priority_sort.hpp"
#include "request_list.hpp"

namespace {

using namespace iosort;

// The self-test's call: sort_list handed compute_priority.
void sort_as_self_test(RequestNode& head) { sort_list(head, compute_priority); }

// sort_list's passes and comparisons with the effective priority written in
// and the relink spelled out, kept out of line as sort_list's scan is: inlined
// into the timing loop, the compiler would shape it differently.
[[gnu::noinline]] void floor_sort(RequestNode& head) {
  for (RequestNode* placed = &head; placed->next != nullptr;
       placed = placed->next) {
    RequestNode* min_prev = placed;
    for (RequestNode* scan = placed; scan->next != nullptr; scan = scan->next) {
      const std::int32_t candidate = 100 - scan->next->base_priority;
      const std::int32_t minimum = 100 - min_prev->next->base_priority;
      if (candidate < minimum) {
        min_prev = scan;
      }
    }
    RequestNode* const moved = min_prev->next;
    min_prev->next = moved->next;
    moved->next = placed->next;
    placed->next = moved;
  }
}

std::vector<RequestNode*> chain_of(RequestNode& head) {
  std::vector<RequestNode*> nodes;
  for (RequestNode* node = head.next; node != nullptr; node = node->next) {
    nodes.push_back(node);
  }
  return nodes;
}

void relink(RequestNode& head, const std::vector<RequestNode*>& order) {
  RequestNode* last = &head;
  for (RequestNode* node : order) {
    last->next = node;
    last = node;
  }
  last->next = nullptr;
}

enum class Layout { kAsBuilt, kShuffled };

void build(RequestNode& head, std::int32_t count, Layout layout) {
  build_list(head, count);
  if (layout == Layout::kShuffled) {
    std::vector<RequestNode*> nodes = chain_of(head);
    std::shuffle(nodes.begin(), nodes.end(), std::mt19937{20261208});
    relink(head, nodes);
  }
}

// Runs `timed` on a fresh list in every iteration and times only that: the
// old list is freed and the new one `prepare`d with the clock stopped.
// Freeing merges glibc's free lists back into one block (malloc_trim);
// without that the next build would get its nodes in the scattered order
// the sort left the old ones in, not in the address order of the self-test's
// fresh process.
template <typename Prepare, typename Timed>
void time_on_fresh_list(benchmark::State& state, Prepare prepare, Timed timed) {
  std::optional<RequestList> list;
  for (auto _ : state) {
    state.PauseTiming();
    list.reset();
    malloc_trim(0);
    RequestNode& head = list.emplace().head();
    prepare(head);
    state.ResumeTiming();
    timed(head);
  }
}

void time_sort(benchmark::State& state, void (*sort)(RequestNode&),
               Layout layout) {
  const auto count = static_cast<std::int32_t>(state.range(0));
  time_on_fresh_list(
      state, [&](RequestNode& head) { build(head, count, layout); }, sort);
  state.SetComplexityN(state.range(0));
  // An inverted rate: the time of one sort divided by its n(n+1)/2
  // comparisons, in seconds (the console shows it in ns).
  const double comparisons =
      static_cast<double>(count) * (static_cast<double>(count) + 1.0) / 2.0;
  state.counters["time_per_cmp"] = benchmark::Counter(
      comparisons, benchmark::Counter::kIsIterationInvariantRate |
                       benchmark::Counter::kInvert);
}

void BM_sort_list(benchmark::State& state) {
  time_sort(state, sort_as_self_test, Layout::kAsBuilt);
}
void BM_floor(benchmark::State& state) {
  time_sort(state, floor_sort, Layout::kAsBuilt);
}
void BM_sort_list_shuffled(benchmark::State& state) {
  time_sort(state, sort_as_self_test, Layout::kShuffled);
}
void BM_floor_shuffled(benchmark::State& state) {
  time_sort(state, floor_sort, Layout::kShuffled);
}

void BM_build_list(benchmark::State& state) {
  const auto count = static_cast<std::int32_t>(state.range(0));
  time_on_fresh_list(
      state, [](RequestNode&) {},
      [&](RequestNode& head) { build_list(head, count); });
}

// The quoted figures are medians; min and max give their range.
double smallest(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}
double largest(const std::vector<double>& values) {
  return *std::max_element(values.begin(), values.end());
}
void with_range(benchmark::internal::Benchmark* bench) {
  bench->ComputeStatistics("min", smallest)
      ->ComputeStatistics("max", largest)
      ->Unit(benchmark::kMillisecond);
}

// 256 requests stay in the first-level cache whatever the walk does: their
// rate per comparison is the reference for what prefetching can reach.
void as_built_sizes(benchmark::internal::Benchmark* bench) {
  for (const std::int64_t count : {256, 1000, 2000, 4000, 8000, 16000, 30000}) {
    bench->Arg(count);
  }
  with_range(bench->Complexity(benchmark::oNSquared));
}

void shuffled_sizes(benchmark::internal::Benchmark* bench) {
  for (const std::int64_t count : {1000, 10000, 30000}) {
    bench->Arg(count);
  }
  with_range(bench);
}

BENCHMARK(BM_sort_list)->Apply(as_built_sizes);
BENCHMARK(BM_floor)->Apply(as_built_sizes);
BENCHMARK(BM_sort_list_shuffled)->Apply(shuffled_sizes);
BENCHMARK(BM_floor_shuffled)->Apply(shuffled_sizes);
BENCHMARK(BM_build_list)->Arg(30000)->Apply(with_range);

// A floor that skipped or reordered work would make every ratio a lie, so
// before anything is timed both sorts must leave one list in the same order.
bool floor_sorts_like_sort_list() {
  RequestList list;
  build(list.head(), 2000, Layout::kShuffled);
  const std::vector<RequestNode*> built = chain_of(list.head());
  sort_list(list.head(), compute_priority);
  const std::vector<RequestNode*> by_sort_list = chain_of(list.head());
  relink(list.head(), built);
  floor_sort(list.head());
  return chain_of(list.head()) == by_sort_list;
}

}  // namespace

int main(int argc, char** argv) {
  if (!floor_sorts_like_sort_list()) {
    std::fputs("iosort_bench: the floor does not sort like sort_list\n",
               stderr);
    return EXIT_FAILURE;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return EXIT_FAILURE;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return EXIT_SUCCESS;
}
