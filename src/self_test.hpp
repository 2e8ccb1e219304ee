// SPDX-License-Identifier: MIT
// The "-test" mode: eight fixed cases against the list and the sort, and
// a coloured report on standard output.
#pragma once

#include <cstdint>

#include "io_status.hpp"
#include "request_list.hpp"

namespace iosort {

// Runs the eight cases with compute_priority and writes the report. Returns
// kTestsFailed when any case failed. Stops at the first report line that
// cannot be written to standard output, the title included, and returns
// that failure.
IoStatus run_tests();

// What the sort cases run: `sort` handed `priority_fn`, which their checks
// use too.
struct Sorting {
  void (*sort)(RequestNode& head, PriorityFn priority_fn);
  PriorityFn priority_fn;
};

// As run_tests, with `sorting` in every sort case.
IoStatus run_tests_with(const Sorting& sorting);

// Returns 1 when the list's effective priorities never decrease along the
// chain (an empty or one-node list included), else 0.
std::int32_t sorted(const RequestNode& head, PriorityFn priority_fn);

// Returns 1 when the list holds `expected` requests, else writes the case's
// "Invalid Length" report line under `label` and returns 0.
std::int32_t check_length(const RequestNode& head, std::int32_t expected,
                          const char* label);

}  // namespace iosort
