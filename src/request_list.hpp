// SPDX-License-Identifier: MIT
// The request record, the head-node list it forms, and the list's owner.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace iosort {

// Room for the longest label the program writes ("this is i/o request "
// plus an index) with plenty to spare.
inline constexpr std::size_t kFillerCapacity = 100;

// One I/O request. A list is a head node whose `next` leads to the first
// request; the head's own `base_priority` and `filler` are never used.
// `base_priority` and `next` come first so that a walk along the chain
// touches one cache line per node.
struct RequestNode {
  std::int32_t base_priority = 0;
  RequestNode* next = nullptr;
  std::array<char, kFillerCapacity> filler = {};
};

// Maps a base priority to the effective priority the list is ordered by.
// Called afresh at every use, so it must be cheap and free of side effects.
using PriorityFn = std::int32_t (*)(std::int32_t);

// Owns a head node and every node chained behind it; destroying the list
// frees the chain. Nodes linked behind head() must come from `new`.
class RequestList {
 public:
  RequestList() = default;
  ~RequestList();
  RequestList(const RequestList&) = delete;
  RequestList& operator=(const RequestList&) = delete;
  RequestList(RequestList&&) = delete;
  RequestList& operator=(RequestList&&) = delete;

  RequestNode& head() { return head_; }
  [[nodiscard]] const RequestNode& head() const { return head_; }

 private:
  RequestNode head_;
};

// Replaces the list's content with `count` new requests, labelled
// "this is i/o request <i>" for i = 0, 1, ... and drawn base priorities 0..99.
// A count of 0 or less leaves the list as it was. If an allocation fails,
// throws std::bad_alloc and the list remains unaltered.
void build_list(RequestNode& head, std::int32_t count);

// Stores the number of requests behind `head` in `out_count`.
void list_length(const RequestNode& head, std::int32_t& out_count);

// Writes one line per request to standard output, in list order, with the
// effective priority `priority_fn` gives it. An empty list writes nothing.
void display_list(const RequestNode& head, PriorityFn priority_fn);

}  // namespace iosort
