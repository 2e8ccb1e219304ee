// SPDX-License-Identifier: MIT
#include "priority_sort.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <type_traits>

#include "platform.hpp"

namespace iosort {

std::int32_t compute_priority(std::int32_t base) { return 100 - base; }

#ifdef IOSORT_SCOUT_PROBE
// A probe build tells its test which scan each sort runs, and every prefetch.
void probe_scan(bool specialised);
void probe_prefetch(const RequestNode* node);
#endif

namespace {

// Scouting. Once the chain outgrows the cache, each step of a scan waits out
// a trip to memory for the next link. But a pass leaves the chain as it found
// it, less one node, so the nodes it met every `gap` steps (marks) are within
// a node of where the next pass meets them. A scout walks the segment from
// the mark kLead ahead, one node every kScouts steps, prefetching each:
// kScouts trips in flight instead of one. Invariants: scouts only read links,
// of the list's nodes (a sort frees none) or of `idle`, so they cannot change
// the result; marks are cleared as a sort starts, so none leads to an earlier
// sort's nodes; marks[i] is read kLead marks before this pass rewrites it.
constexpr std::size_t kScouts = 8;  // a trip takes ~8 steps in the cache
// More than kScouts segments ahead, or the scout is late; not many more, or
// its nodes leave the first-level cache before the scan gets there.
constexpr std::size_t kLead = kScouts + 2;
constexpr std::size_t kMinGap = kScouts;
constexpr std::size_t kMarks = 4096;  // every 8th node of 30000 requests
// A chain this short stays in a 32 KiB first-level cache from one pass to
// the next (nodes 128 bytes apart fill half its sets): scouts only cost.
constexpr std::size_t kShortChain = 256;
static_assert(kLead * kMinGap < kShortChain);

// 32 KiB, more than a small stack can spare: one per thread, beside it.
struct Trail {
  std::array<const RequestNode*, kMarks> marks{};
  std::size_t marked = 0;  // by the last pass
  bool in_use = false;     // by a sort on this thread
};
constinit thread_local Trail thread_trail;

// Holds the thread's trail for one sort. A sort started inside a priority
// function would overwrite the marks that the outer sort's scouts follow,
// with nodes that may be freed before the outer sort ends.
class TrailInUse {
 public:
  TrailInUse() {
    assert(!thread_trail.in_use && "a priority function started a sort");
    thread_trail.in_use = true;
  }
  ~TrailInUse() { thread_trail.in_use = false; }
  TrailInUse(const TrailInUse&) = delete;
  TrailInUse& operator=(const TrailInUse&) = delete;
};

// Where idle scouts wait: it leads back to itself, so they can always step.
constinit RequestNode idle{0, &idle, {}};

// One pass's scouts over a chain of `length` nodes.
class Scouts {
 public:
  Scouts(Trail& trail, std::size_t length)
      : trail_(trail), gap_(std::max(kMinGap, length / kMarks + 1)) {}

  void step(const RequestNode* node) {
    // The gap leaves room for every mark; the bound only makes sure.
    if (--until_mark_ == 0 && marked_ < kMarks) {
      until_mark_ = gap_;
      scouts_[marked_ % kScouts] = mark(marked_ + kLead);
      prefetch(mark(marked_ + kLead + 1));  // the next scout's first node
      trail_.marks[marked_++] = node;
    }
    const RequestNode*& scout = scouts_[step_++ % kScouts];
    scout = scout->next != nullptr ? scout->next : &idle;
    prefetch(scout);
  }

  // Leaves the marks for the next pass, which meets one node fewer.
  void finish([[maybe_unused]] std::size_t length) {
    assert(step_ == length && "the scouts stepped once per node");
    assert(marked_ == (length + gap_ - 1) / gap_ && "a mark every gap nodes");
    trail_.marked = marked_;
  }

 private:
  [[nodiscard]] const RequestNode* mark(std::size_t index) const {
    return index < trail_.marked ? trail_.marks[index] : &idle;
  }

  static void prefetch(const RequestNode* node) {
#ifdef IOSORT_SCOUT_PROBE
    probe_prefetch(node);
#endif
    platform::prefetch(node);
  }

  Trail& trail_;
  std::size_t gap_;
  std::size_t until_mark_ = 1;
  std::size_t marked_ = 0;
  std::size_t step_ = 0;
  std::array<const RequestNode*, kScouts> scouts_{&idle, &idle, &idle, &idle,
                                                  &idle, &idle, &idle, &idle};
};

struct NoScouts {
  void step(const RequestNode* /*node*/) {}
};

// The program's own policy, written into the scan: no call per comparison.
struct ComputePriority {
  std::int32_t operator()(std::int32_t base) const {
    return compute_priority(base);
  }
};

// The node before the first of the lowest priority behind `placed`.
template <typename Priority, typename Scout>
RequestNode* find_min_prev(RequestNode* placed, Priority priority,
                           Scout&& scout) {
  RequestNode* min_prev = placed;
  const RequestNode* min_node = placed->next;
  // Nodes stay in locals: a mark written may alias a link for all the
  // compiler knows, so each read again through a link is a load per step.
  for (RequestNode *prev = placed, *node = placed->next; node != nullptr;
       prev = node, node = node->next) {
    scout.step(node);
    const std::int32_t candidate = priority(node->base_priority);
    const std::int32_t minimum = priority(min_node->base_priority);
    // Strictly less keeps the earlier of equals: the sort is stable. A branch,
    // as a conditional move would chain every step to the comparison before.
    if (candidate < minimum) [[unlikely]] {
      min_prev = prev;
      min_node = node;
    }
  }
  return min_prev;
}

// Kept out of line, as `iosort -test` ran some 5 % faster that way.
// scripts/check-sort-code.sh finds the pass by this name.
template <typename Priority>
IOSORT_NOINLINE RequestNode* scout_pass(RequestNode* placed, Priority priority,
                                        std::size_t length) {
  Scouts scouts(thread_trail, length);
  RequestNode* const min_prev = find_min_prev(placed, priority, scouts);
  scouts.finish(length);
  return min_prev;
}

template <typename Priority>
void sort_with(RequestNode& head, Priority priority) {
#ifdef IOSORT_SCOUT_PROBE
  probe_scan(std::is_same_v<Priority, ComputePriority>);
#endif
  const TrailInUse in_use;
  thread_trail.marked = 0;  // an earlier sort's marks may lead to freed nodes
  std::int32_t count = 0;
  list_length(head, count);
  auto length = static_cast<std::size_t>(count);
  for (RequestNode* placed = &head; placed->next != nullptr;
       placed = placed->next, --length) {
    RequestNode* const min_prev =
        length > kShortChain ? scout_pass(placed, priority, length)
                             : find_min_prev(placed, priority, NoScouts{});
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
  assert(src_prev.next != nullptr);
  RequestNode* const moved = src_prev.next;
  // Unlink before inserting: when both are the same node this leaves the
  // list as it was, where inserting first would link `moved` to itself.
  src_prev.next = moved->next;
  moved->next = dest_prev.next;
  dest_prev.next = moved;
}

}  // namespace iosort
