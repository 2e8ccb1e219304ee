// The "-test" mode: eight fixed cases against the list and the sort, and
// a coloured report on standard output.
#pragma once

#include <cstdint>

#include "io_status.hpp"
#include "request_list.hpp"

// Runs the eight cases with compute_priority and writes the report. Stops at
// the first report line that cannot be written to standard output, the
// title included, and returns that failure; the verdict may still wait in
// stdout's buffer.
IoStatus run_tests();

// As run_tests, with `priority_fn` handed to every sort case and its check.
IoStatus run_tests_with(PriorityFn priority_fn);

// The cases. Each owns and frees its list, returns 1 when its checks hold,
// and otherwise writes its failure line and returns 0.
std::int32_t build_empty_list();
std::int32_t build_single_node_list();
std::int32_t empty_list_sort(PriorityFn priority_fn);
std::int32_t single_node_sort(PriorityFn priority_fn);
std::int32_t two_node_sort(PriorityFn priority_fn);
std::int32_t same_prio_sort(PriorityFn priority_fn);
std::int32_t multi_node_sort(PriorityFn priority_fn);
std::int32_t large_list_sort(PriorityFn priority_fn);

// Returns 1 when the list's effective priorities never decrease along the
// chain (an empty or one-node list included), else 0.
std::int32_t sorted(const RequestNode& head, PriorityFn priority_fn);

// The length check the cases use: returns 1 when the list holds `expected`
// requests, else writes the "Invalid Length" line for `label`, returns 0.
std::int32_t check_length(const RequestNode& head, std::int32_t expected,
                          const char* label);
