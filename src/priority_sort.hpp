// SPDX-License-Identifier: MIT
// Ordering a request list by effective priority.
#pragma once

#include <cstdint>

#include "request_list.hpp"

namespace iosort {

// The program's priority policy: 100 - base, so a higher base priority
// sorts earlier. Defined for bases from INT32_MIN + 101 up; the program's
// are 0..99.
std::int32_t compute_priority(std::int32_t base);

// Sorts the list by ascending `priority_fn(base_priority)`, keeping equal
// requests in their order. Only the links change; nothing is allocated.
// `priority_fn` is called twice per comparison, so it must be cheap and give
// the same value for a base every time; handed compute_priority, the sort
// compares the bases themselves and calls nothing.
void sort_list(RequestNode& head, PriorityFn priority_fn);

// Moves the node after `src_prev` to directly after `dest_prev`. `src_prev`
// is `dest_prev` or a node behind it, and `src_prev.next` is not null.
void move_node(RequestNode& dest_prev, RequestNode& src_prev);

}  // namespace iosort
