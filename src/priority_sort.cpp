#include "priority_sort.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>

namespace iosort {

std::int32_t compute_priority(std::int32_t base) { return 100 - base; }

#ifdef IOSORT_SCOUT_PROBE
// A test built with the probe sees every prefetch the scan issues.
void scout_probe(const RequestNode* node);
#endif

namespace {

// The scan prefetches along jump pointers kept from the previous pass.
//
// Each step of a scan waits for a node's `next` before it can ask for the
// node after it, so once the unplaced nodes outgrow the cache, every step
// waits out a trip to memory. But a pass leaves the chain as it found it,
// less the one node it placed, so the node it met every `gap` steps (a mark)
// is still within a node of where the next pass meets it. From the mark
// kLead segments ahead of the scan, a scout walks that segment, one node per
// kScouts steps of the scan, and prefetches each node it reaches: kScouts
// trips to memory in flight instead of one, wherever the nodes lie.
//
// What the scan relies on:
// - Scouts and marks only read links, of nodes of the list (a sort frees
//   none) or of `idle`; nothing they do decides the result.
// - marks[i] still holds the last pass's mark until this pass has read
//   marks[i] to launch a scout, which it does kLead segments before it
//   writes marks[i] afresh.
// - A mark that has since been placed only sends its scout along placed
//   nodes for one segment.

// Trips to memory in flight: one takes about 8 steps of a scan in the cache.
constexpr std::size_t kScouts = 8;
// A scout covers its segment while the scan covers kScouts of them, so it
// must start more than kScouts segments ahead; not many more, or what it
// prefetches leaves the first-level cache before the scan gets there.
constexpr std::size_t kLead = kScouts + 2;
static_assert(kLead > kScouts);
// The closest marks may be: a scout then starts 80 nodes ahead, time enough
// for a trip to memory, and close enough to stay in the cache (see below).
constexpr std::size_t kMinGap = kScouts;
// Enough marks at the smallest gap for the self-test's 30000 requests;
// longer chains spread them wider.
constexpr std::size_t kMarks = 4096;
static_assert(kMarks * kMinGap >= 30000);
// Up to this many nodes, a chain stays in a 32 KiB first-level cache from one
// pass to the next (nodes 128 bytes apart fill only half of its sets), and
// scouting would cost steps their time for nothing.
constexpr std::size_t kShortChain = 256;
static_assert(kLead * kMinGap < kShortChain);

// What one pass leaves for the next.
struct Trail {
  std::array<const RequestNode*, kMarks> marks{};  // the first `marked` are set
  std::size_t marked = 0;
  std::size_t walked = 0;  // the nodes the pass met
};

// 32 KiB, more than a small stack can spare, so it lives beside the stack:
// one per thread, untouched until a long chain needs it. A priority function
// has no side effects, so it never starts a second sort on this thread.
constinit thread_local Trail thread_trail;

// Where idle scouts wait: it leads back to itself, so they can always step.
constinit RequestNode idle{0, &idle, {}};

// A hint to start loading the cache line `node` starts on; it never faults.
void prefetch(const RequestNode* node) {
#ifdef IOSORT_SCOUT_PROBE
  scout_probe(node);
#endif
  __builtin_prefetch(node);
}

// The program's own policy, written into the scan: no call per comparison.
struct ComputePriority {
  std::int32_t operator()(std::int32_t base) const {
    return compute_priority(base);
  }
};

// The last pass's mark `index`, or `idle` where it left none.
const RequestNode* mark(const Trail& trail, std::size_t index) {
  return index < trail.marked ? trail.marks[index] : &idle;
}

// Returns the node before the first node of the lowest priority behind
// `placed`; leaves in `trail` the nodes it met and the marks it set.
template <bool kScout, typename Priority>
RequestNode* find_min_prev(RequestNode* placed, Priority priority,
                           Trail& trail) {
  const std::size_t gap = std::max(kMinGap, trail.walked / kMarks + 1);
  std::array<const RequestNode*, kScouts> scouts;
  scouts.fill(&idle);
  std::size_t marked = 0;
  std::size_t until_mark = 1;
  std::size_t step = 0;
  RequestNode* min_prev = placed;
  const RequestNode* min_node = placed->next;
  // Nodes are kept in locals, not read again through links: for all the
  // compiler knows, a mark written below changed a link, and each load more
  // per step leaves less room for the scouts' trips in flight.
  for (RequestNode *scan = placed, *node = placed->next; node != nullptr;
       scan = node, node = node->next, ++step) {
    if constexpr (kScout) {
      // The gap leaves room for every mark; the bound only makes sure.
      if (--until_mark == 0 && marked < kMarks) {
        until_mark = gap;
        scouts[marked % kScouts] = mark(trail, marked + kLead);
        // The next scout starts there: have its first node on the way.
        prefetch(mark(trail, marked + kLead + 1));
        trail.marks[marked++] = node;
      }
      const RequestNode*& scout = scouts[step % kScouts];
      scout = scout->next != nullptr ? scout->next : &idle;
      prefetch(scout);
    }
    const std::int32_t candidate = priority(node->base_priority);
    const std::int32_t minimum = priority(min_node->base_priority);
    // Strictly less: a tie keeps the earlier node, so the sort is stable.
    if (candidate < minimum) {
      // A fence for the compiler alone keeps this rare path a branch: as a
      // conditional move, every step would wait for the comparison before.
      std::atomic_signal_fence(std::memory_order_seq_cst);
      min_prev = scan;
      min_node = node;
    }
  }
  trail.marked = marked;
  trail.walked = step;
  return min_prev;
}

// Out of line, so that every build has the scouting scan as one function.
template <typename Priority>
[[gnu::noinline]] RequestNode* scout_min_prev(RequestNode* placed,
                                              Priority priority, Trail& trail) {
  return find_min_prev<true>(placed, priority, trail);
}

template <typename Priority>
void sort_with(RequestNode& head, Priority priority) {
  Trail& trail = thread_trail;
  // Marks from an earlier sort may lead to nodes freed since. The first pass
  // has none; it walks plain and counts the chain.
  trail.marked = 0;
  trail.walked = 0;
  for (RequestNode* placed = &head; placed->next != nullptr;
       placed = placed->next) {
    RequestNode* const min_prev =
        trail.walked > kShortChain
            ? scout_min_prev(placed, priority, trail)
            : find_min_prev<false>(placed, priority, trail);
    move_node(*placed, *min_prev);
  }
}

}  // namespace

void sort_list(RequestNode& head, PriorityFn priority_fn) {
  if (priority_fn == compute_priority) {
    sort_with(head, ComputePriority{});
  } else {
    sort_with(head, priority_fn);
  }
}

void move_node(RequestNode& dest_prev, RequestNode& src_prev) {
  RequestNode* const moved = src_prev.next;
  // Unlink before inserting: when both are the same node this leaves the
  // list as it was, where inserting first would link `moved` to itself.
  src_prev.next = moved->next;
  moved->next = dest_prev.next;
  dest_prev.next = moved;
}

}  // namespace iosort
