// Times the self-test's sort against the fastest walk of the same chain.
//
// Both sort benchmarks get, every iteration, a list fresh from build_list in
// a heap laid out as the self-test finds it, and only the sort is timed.
// Their ratio at the same n is what the numbers are for: the floor is the
// same algorithm with `100 - base` written into the loop, so anything the
// function pointer costs shows up as a ratio above 1.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "priority_sort.hpp"
#include "request_list.hpp"

namespace {

// Frees the list and merges glibc's free lists back into one block. Without
// the merge the next build would be handed its nodes in the scattered order
// the sort left the old ones in, and every pass would chase pointers across
// the heap instead of walking it in address order the way the self-test's
// fresh process does.
void release(std::optional<RequestList>& list) {
  list.reset();
  malloc_trim(0);
}

// Both sorts stay out of line, as sort_list is in iosort. Inlined into the
// timing loop the compiler shapes the same loop differently (conditional
// moves instead of a branch), which would time code the self-test never runs.

// The call the self-test makes: the library's sort_list handed
// compute_priority.
[[gnu::noinline]] void sort_as_self_test(RequestNode& head) {
  sort_list(head, compute_priority);
}

// sort_list's passes and comparisons with the effective priority written in
// and the relink spelled out: nothing for the compiler to see through.
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

void time_sort(benchmark::State& state, void (*sort)(RequestNode&)) {
  const auto count = static_cast<std::int32_t>(state.range(0));
  std::optional<RequestList> list;
  for (auto _ : state) {
    state.PauseTiming();
    release(list);
    build_list(list.emplace().head(), count);
    state.ResumeTiming();
    sort(list->head());
  }
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
  time_sort(state, sort_as_self_test);
}

void BM_floor(benchmark::State& state) { time_sort(state, floor_sort); }

// Only the build is timed, not the freeing of the list before it.
void BM_build_list(benchmark::State& state) {
  const auto count = static_cast<std::int32_t>(state.range(0));
  std::optional<RequestList> list;
  for (auto _ : state) {
    state.PauseTiming();
    release(list);
    RequestNode& head = list.emplace().head();
    state.ResumeTiming();
    build_list(head, count);
  }
}

void sort_sizes(benchmark::internal::Benchmark* bench) {
  for (const std::int64_t count : {1000, 2000, 4000, 8000, 16000, 30000}) {
    bench->Arg(count);
  }
  bench->Complexity(benchmark::oNSquared)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_sort_list)->Apply(sort_sizes);
BENCHMARK(BM_floor)->Apply(sort_sizes);
BENCHMARK(BM_build_list)->Arg(30000)->Unit(benchmark::kMillisecond);

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

// A floor that skipped or reordered work would make every ratio a lie, so
// before anything is timed both sorts must leave one list in the same order.
bool floor_sorts_like_sort_list() {
  RequestList list;
  build_list(list.head(), 2000);
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
