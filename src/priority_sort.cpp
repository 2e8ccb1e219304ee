#include "priority_sort.hpp"

std::int32_t compute_priority(std::int32_t base) { return 100 - base; }

void sort_list(RequestNode& head, PriorityFn priority_fn) {
  for (RequestNode* placed = &head; placed->next != nullptr;
       placed = placed->next) {
    RequestNode* min_prev = placed;
    for (RequestNode* scan = placed; scan->next != nullptr; scan = scan->next) {
      const std::int32_t candidate = priority_fn(scan->next->base_priority);
      const std::int32_t minimum = priority_fn(min_prev->next->base_priority);
      // Strictly less: a tie keeps the earlier node, which makes the sort
      // stable.
      if (candidate < minimum) {
        min_prev = scan;
      }
    }
    move_node(*placed, *min_prev);
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
