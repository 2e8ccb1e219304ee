// SPDX-License-Identifier: MIT
// Lists, chains, files, captured output and reports, for every test file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "request_list.hpp"

namespace iosort {

// A request as the chain shows it: its node and its contents.
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
// "r1", ... in order, and returns its nodes, the head first. Each node is
// linked as soon as it exists, so the list owns it even if the next
// allocation throws.
inline std::vector<RequestNode*> fill(RequestList& list,
                                      const std::vector<std::int32_t>& bases) {
  std::vector<RequestNode*> nodes{&list.head()};
  for (std::size_t i = 0; i < bases.size(); ++i) {
    RequestNode* const last = nodes.back()->next =
        new RequestNode{bases[i], nullptr, {}};
    std::snprintf(last->filler.data(), last->filler.size(), "r%zu", i);
    nodes.push_back(last);
  }
  return nodes;
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

// Closes the file, which tmpfile() deletes once it is closed.
using File = std::unique_ptr<FILE, decltype([](FILE* file) { fclose(file); })>;

// A temporary file holding `data`, positioned at its start.
inline File temp_file(std::string_view data = "") {
  File file{std::tmpfile()};
  if (!file) {
    throw std::system_error(errno, std::generic_category(), "tmpfile");
  }
  std::fwrite(data.data(), 1, data.size(), file.get());
  std::rewind(file.get());
  return file;
}

// Everything the file holds.
inline std::string contents(FILE* file) {
  std::rewind(file);
  std::string data;
  for (int c; (c = std::getc(file)) != EOF;) {
    data.push_back(static_cast<char>(c));
  }
  return data;
}

// What `action` writes to `stream` (stdout or stderr), by stdio or straight
// to the descriptor. A write that failed leaves the stream as good again.
template <typename Action>
std::string output_of(FILE* stream, Action action) {
  const File file = temp_file();
  std::fflush(stream);
  const int saved = dup(fileno(stream));
  dup2(fileno(file.get()), fileno(stream));
  action();
  std::fflush(stream);
  std::clearerr(stream);
  dup2(saved, fileno(stream));
  close(saved);
  return contents(file.get());
}

// One line on stderr, "iosort: <what>: <reason>".
inline std::string failure(std::string_view what, int error) {
  return "iosort: " + std::string(what) + ": " + std::strerror(error) + "\n";
}

constexpr std::string_view kWrite = "write error on standard output";

// The self-test report when the first `passing` cases pass and every later
// one fails with `failure`.
inline std::string report(std::size_t passing,
                          std::string_view failure = "Sort Failed") {
  constexpr std::string_view kLabels[] = {
      "build_empty_list", "build_single_node_list", "empty_node_sort",
      "single_node_sort", "two_node_sort",          "same_prio_sort",
      "multi_node_sort",  "large_list_sort"};
  std::string text = "[ RUNNING TESTS ]\r\n\r\n";
  for (std::size_t i = 0; i < std::size(kLabels); ++i) {
    text.append("[ TEST ] ").append(kLabels[i]);
    text.append(25 - kLabels[i].size(), ' ').append(" :: ");
    if (i < passing) {
      text.append("\33[1;32mOK\33[0m\r\n");
    } else {
      text.append("\33[1;31mFAIL\33[0m - ").append(failure).append("\r\n");
    }
  }
  return text + (passing == std::size(kLabels)
                     ? "\r\n\33[1;32m[ ALL TESTS PASSED ]\33[0m\r\n"
                     : "\r\n\33[1;31m[ TESTS FAILED ]\33[0m\r\n");
}

}  // namespace iosort
