// Hand-built lists, views of a chain, captured output and the self-test
// report, shared by the test files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "request_list.hpp"

namespace iosort {

// A request as the chain or a display shows it: its node, where known, and
// its contents.
struct Entry {
  const RequestNode* node = nullptr;
  std::int32_t base = 0;
  std::string label;
  bool operator==(const Entry&) const = default;
  friend void PrintTo(const Entry& entry, std::ostream* os) {
    *os << '{' << entry.base << ", \"" << entry.label << "\"}";
  }
};

// Fills an empty list with requests of these base priorities, labelled "r0",
// "r1", ... in order. Each node is linked as soon as it exists, so the list
// owns it even if the next allocation throws.
inline void fill(RequestList& list, const std::vector<std::int32_t>& bases) {
  RequestNode* last = &list.head();
  for (std::size_t i = 0; i < bases.size(); ++i) {
    last->next = new RequestNode{bases[i], nullptr, {}};
    last = last->next;
    std::snprintf(last->filler.data(), last->filler.size(), "r%zu", i);
  }
}

// The chain behind `head`, front to back. A chain that never ends (a node
// linked to itself, say) fails the test instead of hanging it.
inline std::vector<Entry> entries(const RequestNode& head) {
  constexpr std::size_t kLongest = 1'000'000;
  std::vector<Entry> chain;
  for (const RequestNode* node = head.next; node != nullptr;
       node = node->next) {
    if (chain.size() == kLongest) {
      ADD_FAILURE() << "the chain does not end";
      break;
    }
    chain.push_back({node, node->base_priority, node->filler.data()});
  }
  return chain;
}

template <typename Action>
std::string stdout_of(Action action) {
  testing::internal::CaptureStdout();
  action();
  return testing::internal::GetCapturedStdout();
}

inline constexpr std::string_view kOk = "\33[1;32mOK\33[0m";
inline constexpr std::string_view kSortFailed =
    "\33[1;31mFAIL\33[0m - Sort Failed";

// One line of the self-test report: the case, padded, and its verdict.
inline std::string case_line(std::string_view label, std::string_view verdict) {
  std::string line = "[ TEST ] ";
  line.append(label).append(25 - label.size(), ' ').append(" :: ");
  return line.append(verdict).append("\r\n");
}

// The self-test report when the first `passing` cases pass and every later
// one fails its order check.
inline std::string report(std::size_t passing) {
  constexpr std::string_view kLabels[] = {
      "build_empty_list", "build_single_node_list", "empty_node_sort",
      "single_node_sort", "two_node_sort",          "same_prio_sort",
      "multi_node_sort",  "large_list_sort"};
  std::string text = "[ RUNNING TESTS ]\r\n\r\n";
  for (std::size_t i = 0; i < std::size(kLabels); ++i) {
    text += case_line(kLabels[i], i < passing ? kOk : kSortFailed);
  }
  return text + (passing == std::size(kLabels)
                     ? "\r\n\33[1;32m[ ALL TESTS PASSED ]\33[0m\r\n"
                     : "\r\n\33[1;31m[ TESTS FAILED ]\33[0m\r\n");
}

}  // namespace iosort
