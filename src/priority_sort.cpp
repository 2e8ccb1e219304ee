#include "priority_sort.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>

namespace {

// A hint to start loading the cache line that `node` starts on. It never
// faults and changes nothing, so a node the scan does not reach after all
// costs one instruction slot; compilers without the builtin get no hint.
inline void prefetch(const RequestNode* node) {
#ifdef __has_builtin
#if __has_builtin(__builtin_prefetch)
  __builtin_prefetch(node);
#endif
#endif
  static_cast<void>(node);
}

// Where scouts wait when they have nowhere to go. It leads back to itself,
// so a scout can always take one more step.
constinit RequestNode idle{0, &idle, {}};

// Brings the nodes a scan is about to reach into the cache before it gets
// there.
//
// A scan must wait for each node's `next` before it can ask for the node
// after it, so once the unplaced nodes no longer fit in the cache, every
// step waits out a trip to memory, one after the other. But one pass leaves
// the chain as the last one found it, less the one node it placed: every
// `gap_`-th node the last pass passed (its marks) is within one node of
// where this pass will meet it. A few scouts, each sent from a mark some
// segments ahead of the scan, walk their segments one node per kScouts
// steps of the scan and prefetch each node they reach. That keeps kScouts
// trips in flight at once, and it follows the links, so it does not matter
// where in memory the nodes are.
//
// Nothing here decides anything or writes to a node: marks and scouts only
// read links, of nodes of the list, which a sort never frees, or of `idle`.
// A mark that has since been placed only sends its scout along placed
// nodes for one segment.
class ScanAhead {
 public:
  // For a chain of `length` nodes, as the first pass counted them.
  explicit ScanAhead(std::size_t length)
      : length_(length), gap_(std::max(kMinGap, length / kMarks + 1)) {
    scouts_.fill(&idle);
  }
  ScanAhead(const ScanAhead&) = delete;
  ScanAhead& operator=(const ScanAhead&) = delete;

  // Whether the last pass found a chain short enough to stay in the cache
  // without help.
  bool chain_is_short() const { return length_ <= kShortChain; }

  // The scouting of one pass. Kept apart from the arrays so that the
  // compiler holds its counters in registers: as members beside them, they
  // were loaded and stored again at every step.
  class Pass {
   public:
    explicit Pass(ScanAhead& ahead) : ahead_(ahead) {}
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
    ~Pass() { ahead_.length_ = steps_; }

    // Called with each node the scan reaches, in order.
    void step(const RequestNode* node) {
      ++steps_;
      if (--until_mark_ == 0) {
        enter_segment(node);
      }
      const RequestNode*& scout = ahead_.scouts_[steps_ % kScouts];
      const RequestNode* const reached = scout->next;
      scout = reached != nullptr ? reached : &idle;
      prefetch(scout);
    }

   private:
    void enter_segment(const RequestNode* node) {
      until_mark_ = ahead_.gap_;
      if (segment_ == kMarks) {
        return;
      }
      ahead_.marks_[segment_] = node;
      ahead_.marked_ = std::max(ahead_.marked_, segment_ + 1);
      ahead_.scouts_[segment_ % kScouts] = ahead_.mark(segment_ + kLead);
      // The next scout starts here: have its first node on the way.
      prefetch(ahead_.mark(segment_ + kLead + 1));
      ++segment_;
    }

    ScanAhead& ahead_;
    std::size_t until_mark_ = 1;
    std::size_t segment_ = 0;
    std::size_t steps_ = 0;
  };

 private:
  static constexpr std::size_t kScouts = 8;
  // How many segments ahead of the scan a scout starts: far enough that it
  // has walked its segment before the scan gets there, near enough that
  // what it prefetched is still in the first-level cache.
  static constexpr std::size_t kLead = kScouts + 2;
  // 32 KiB of stack, left unwritten until a long chain needs it; enough for
  // a gap of kMinGap in chains up to 32768 nodes.
  static constexpr std::size_t kMarks = 4096;
  static constexpr std::size_t kMinGap = 8;
  static constexpr std::size_t kShortChain = 384;

  const RequestNode* mark(std::size_t index) const {
    return index < marked_ ? marks_[index] : &idle;
  }

  std::array<const RequestNode*, kMarks> marks_;  // the first marked_ are set
  std::array<const RequestNode*, kScouts> scouts_;
  std::size_t marked_ = 0;
  std::size_t length_;
  // The marks spread over the chain the first pass found.
  const std::size_t gap_;
};

// Returns the node before the first node of the lowest priority behind
// `placed`, handing `visit` each node the scan reaches.
template <typename Visit>
RequestNode* find_min_prev(RequestNode* placed, PriorityFn priority_fn,
                           Visit visit) {
  RequestNode* min_prev = placed;
  for (RequestNode* scan = placed; scan->next != nullptr; scan = scan->next) {
    visit(scan->next);
    const std::int32_t candidate = priority_fn(scan->next->base_priority);
    const std::int32_t minimum = priority_fn(min_prev->next->base_priority);
    // Strictly less: a tie keeps the earlier node, which makes the sort
    // stable.
    if (candidate < minimum) {
      // A fence for the compiler alone, on this rare path, keeps the
      // choice of the minimum a branch: as a conditional move it would
      // make every step of the scan wait for the comparison before.
      std::atomic_signal_fence(std::memory_order_seq_cst);
      min_prev = scan;
    }
  }
  return min_prev;
}

}  // namespace

std::int32_t compute_priority(std::int32_t base) { return 100 - base; }

void sort_list(RequestNode& head, PriorityFn priority_fn) {
  if (head.next == nullptr) {
    return;
  }
  // The first pass counts the chain for the scouts, who have no marks to
  // start from yet; a chain short enough is then sorted without them.
  std::size_t length = 0;
  const auto count = [&length](const RequestNode*) { ++length; };
  move_node(head, *find_min_prev(&head, priority_fn, count));
  ScanAhead ahead(length);
  RequestNode* placed = head.next;
  for (; placed->next != nullptr && !ahead.chain_is_short();
       placed = placed->next) {
    ScanAhead::Pass pass(ahead);
    const auto scout = [&pass](const RequestNode* node) { pass.step(node); };
    move_node(*placed, *find_min_prev(placed, priority_fn, scout));
  }
  for (; placed->next != nullptr; placed = placed->next) {
    const auto unscouted = [](const RequestNode*) {};
    move_node(*placed, *find_min_prev(placed, priority_fn, unscouted));
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
