// Hand-built lists, views of a chain, captured output and the self-test
// report, shared by the test files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "request_list.hpp"

struct Request {
  std::int32_t base = 0;
  std::string label;
};

// One node as the chain shows it: its identity and its contents.
struct Entry {
  const RequestNode* node = nullptr;
  std::int32_t base = 0;
  std::string label;
  bool operator==(const Entry&) const = default;
  friend void PrintTo(const Entry& entry, std::ostream* os) {
    *os << '{' << entry.base << ", \"" << entry.label << "\"}";
  }
};

// Appends the requests behind the last node. Each node is linked as soon as
// it exists, so the list owns it even if the next allocation throws.
inline void append(RequestList& list, const std::vector<Request>& requests) {
  RequestNode* last = &list.head();
  while (last->next != nullptr) {
    last = last->next;
  }
  for (const Request& request : requests) {
    last->next = new RequestNode{request.base, nullptr, {}};
    last = last->next;
    std::snprintf(last->filler.data(), last->filler.size(), "%s",
                  request.label.c_str());
  }
}

// As append, labelling the requests "r0", "r1", ... in order.
inline void append_bases(RequestList& list,
                         const std::vector<std::int32_t>& bases) {
  std::vector<Request> requests;
  for (const std::int32_t base : bases) {
    requests.push_back({base, "r" + std::to_string(requests.size())});
  }
  append(list, requests);
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

// A failed case's verdict, in red, before the reason.
inline const std::string kFail = "\33[1;31mFAIL\33[0m - ";
inline const std::string kSortFailed = kFail + "Sort Failed";

// One line of the self-test report: the case, padded, and its verdict.
inline std::string case_line(const std::string& label,
                             const std::string& verdict) {
  return "[ TEST ] " + label + std::string(25 - label.size(), ' ') +
         " :: " + verdict + "\r\n";
}

// The self-test report when the first `passing` cases pass and every later
// one fails its order check.
inline std::string report(std::size_t passing) {
  static const char* const kLabels[] = {
      "build_empty_list", "build_single_node_list", "empty_node_sort",
      "single_node_sort", "two_node_sort",          "same_prio_sort",
      "multi_node_sort",  "large_list_sort"};
  std::string text = "[ RUNNING TESTS ]\r\n\r\n";
  for (std::size_t i = 0; i < std::size(kLabels); ++i) {
    text +=
        case_line(kLabels[i], i < passing ? "\33[1;32mOK\33[0m" : kSortFailed);
  }
  return text + (passing == std::size(kLabels)
                     ? "\r\n\33[1;32m[ ALL TESTS PASSED ]\33[0m\r\n"
                     : "\r\n\33[1;31m[ TESTS FAILED ]\33[0m\r\n");
}
