// SPDX-License-Identifier: MIT
#include "self_test.hpp"

#include <cstdio>

#include "priority_sort.hpp"

namespace iosort {

namespace {

// The labels the report shows. The empty-list sort reports under
// "empty_node_sort", not under its own name.
constexpr const char* kBuildEmptyList = "build_empty_list";
constexpr const char* kBuildSingleNodeList = "build_single_node_list";
constexpr const char* kEmptyListSort = "empty_node_sort";
constexpr const char* kSingleNodeSort = "single_node_sort";
constexpr const char* kTwoNodeSort = "two_node_sort";
constexpr const char* kSamePrioSort = "same_prio_sort";
constexpr const char* kMultiNodeSort = "multi_node_sort";
constexpr const char* kLargeListSort = "large_list_sort";

// The verdicts a report line ends in.
constexpr const char* kOk = "\33[1;32mOK\33[0m";
constexpr const char* kInvalidLength = "\33[1;31mFAIL\33[0m - Invalid Length";
constexpr const char* kSortFailed = "\33[1;31mFAIL\33[0m - Sort Failed";

// Writes a case's report line; record() pushes it out.
void report(const char* label, const char* verdict) {
  static_cast<void>(std::printf("[ TEST ] %-25s :: %s\r\n", label, verdict));
}

// The case that builds `count` requests and checks the list's length.
std::int32_t run_build_case(std::int32_t count, const char* label) {
  RequestList list;
  build_list(list.head(), count);
  return check_length(list.head(), count, label);
}

// Sorts the list of `count` requests, and checks that it kept them all (a
// list cut short could still be in order) and put them in order.
std::int32_t sort_and_check(RequestNode& head, std::int32_t count,
                            const Sorting& sorting, const char* label) {
  sorting.sort(head, sorting.priority_fn);
  if (check_length(head, count, label) == 0) {
    return 0;
  }
  if (sorted(head, sorting.priority_fn) == 1) {
    return 1;
  }
  report(label, kSortFailed);
  return 0;
}

// The case that builds `count` requests, sorts them and checks them.
std::int32_t run_sort_case(std::int32_t count, const Sorting& sorting,
                           const char* label) {
  RequestList list;
  build_list(list.head(), count);
  return sort_and_check(list.head(), count, sorting, label);
}

// The eight cases. Each owns and frees its list, returns 1 when its checks
// hold, and otherwise writes its failure line and returns 0.
std::int32_t build_empty_list() { return run_build_case(0, kBuildEmptyList); }

std::int32_t build_single_node_list() {
  return run_build_case(1, kBuildSingleNodeList);
}

std::int32_t empty_list_sort(const Sorting& sorting) {
  RequestList list;
  build_list(list.head(), 0);
  if (check_length(list.head(), 0, kEmptyListSort) == 0) {
    return 0;
  }
  return sort_and_check(list.head(), 0, sorting, kEmptyListSort);
}

std::int32_t single_node_sort(const Sorting& sorting) {
  return run_sort_case(1, sorting, kSingleNodeSort);
}

std::int32_t two_node_sort(const Sorting& sorting) {
  return run_sort_case(2, sorting, kTwoNodeSort);
}

std::int32_t same_prio_sort(const Sorting& sorting) {
  RequestList list;
  // Each node is linked as soon as it exists, so the list owns it even if
  // the next allocation fails.
  list.head().next = new RequestNode{50, nullptr, {"Test content"}};
  list.head().next->next = new RequestNode{50, nullptr, {"Test content 2"}};
  return sort_and_check(list.head(), 2, sorting, kSamePrioSort);
}

std::int32_t multi_node_sort(const Sorting& sorting) {
  return run_sort_case(10, sorting, kMultiNodeSort);
}

std::int32_t large_list_sort(const Sorting& sorting) {
  return run_sort_case(30000, sorting, kLargeListSort);
}

// The cases passed so far, and how the report's last flush went.
struct Tally {
  std::int32_t passed = 0;
  IoStatus status;
};

// Counts a passed case and writes its line (a failed case has written its
// own), then pushes the line out at once, so that a reader at the other end
// of a pipe sees the cases pass one by one, not all at the end. Returns
// whether the report could still be written.
bool record(std::int32_t outcome, const char* label, Tally& tally) {
  if (outcome == 1) {
    report(label, kOk);
    ++tally.passed;
  }
  tally.status = flush_stdout();
  return !tally.status.failed();
}

}  // namespace

std::int32_t sorted(const RequestNode& head, PriorityFn priority_fn) {
  if (head.next == nullptr) {
    return 1;
  }
  for (const RequestNode* node = head.next; node->next != nullptr;
       node = node->next) {
    const std::int32_t current = priority_fn(node->base_priority);
    const std::int32_t following = priority_fn(node->next->base_priority);
    if (current > following) {
      return 0;
    }
  }
  return 1;
}

std::int32_t check_length(const RequestNode& head, std::int32_t expected,
                          const char* label) {
  std::int32_t length = 0;
  list_length(head, length);
  if (length == expected) {
    return 1;
  }
  report(label, kInvalidLength);
  return 0;
}

IoStatus run_tests_with(const Sorting& sorting) {
  constexpr std::int32_t kExpected = 8;
  Tally tally;
  static_cast<void>(std::fputs("[ RUNNING TESTS ]\r\n\r\n", stdout));
  tally.status = flush_stdout();
  // A report that cannot be written has no reader left: stop at the first
  // line that fails, before any longer case.
  const bool written =
      !tally.status.failed() &&
      record(build_empty_list(), kBuildEmptyList, tally) &&
      record(build_single_node_list(), kBuildSingleNodeList, tally) &&
      record(empty_list_sort(sorting), kEmptyListSort, tally) &&
      record(single_node_sort(sorting), kSingleNodeSort, tally) &&
      record(two_node_sort(sorting), kTwoNodeSort, tally) &&
      record(same_prio_sort(sorting), kSamePrioSort, tally) &&
      record(multi_node_sort(sorting), kMultiNodeSort, tally) &&
      record(large_list_sort(sorting), kLargeListSort, tally);
  if (!written) {
    return tally.status;
  }
  const bool passed = tally.passed == kExpected;
  static_cast<void>(
      std::fputs(passed ? "\r\n\33[1;32m[ ALL TESTS PASSED ]\33[0m\r\n"
                        : "\r\n\33[1;31m[ TESTS FAILED ]\33[0m\r\n",
                 stdout));
  // The verdict goes out here, so that a failure to write it is reported
  // rather than hidden behind the failing verdict's status.
  if (const IoStatus flushed = flush_stdout(); flushed.failed() || passed) {
    return flushed;
  }
  return {IoStatus::Failure::kTestsFailed};
}

IoStatus run_tests() { return run_tests_with({sort_list, compute_priority}); }

}  // namespace iosort
