// SPDX-License-Identifier: MIT
#include "request_list.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace iosort {

namespace {

// Frees a chain front to back. A loop, not recursion: a chain can be tens
// of thousands of nodes long.
void free_chain(RequestNode* first) {
  while (first != nullptr) {
    RequestNode* const following = first->next;
    delete first;
    first = following;
  }
}

struct ChainDeleter {
  void operator()(RequestNode* first) const { free_chain(first); }
};
using Chain = std::unique_ptr<RequestNode, ChainDeleter>;

}  // namespace

RequestList::~RequestList() { free_chain(head_.next); }

void build_list(RequestNode& head, std::int32_t count) {
  if (count <= 0) {
    return;
  }
  // The new chain is complete before the list sees it, so a failed
  // allocation leaves the list untouched and frees the partial chain.
  Chain fresh;
  RequestNode* last = nullptr;
  for (std::int32_t i = 0; i < count; ++i) {
    auto* node = new RequestNode{std::rand() % 100, nullptr, {}};
    // The label always fits: the filler has room for any 32-bit index.
    static_cast<void>(std::snprintf(node->filler.data(), node->filler.size(),
                                    "this is i/o request %d", i));
    if (last == nullptr) {
      fresh.reset(node);
    } else {
      last->next = node;
    }
    last = node;
  }
  const Chain replaced{head.next};
  head.next = fresh.release();
}

void list_length(const RequestNode& head, std::int32_t& out_count) {
  std::int32_t count = 0;
  for (const RequestNode* node = head.next; node != nullptr;
       node = node->next) {
    ++count;
  }
  out_count = count;
}

void display_list(const RequestNode& head, PriorityFn priority_fn) {
  for (const RequestNode* node = head.next; node != nullptr;
       node = node->next) {
    const std::int32_t priority = priority_fn(node->base_priority);
    static_cast<void>(
        std::printf("Base Pri: %-3d | Filler: %s | Priority: %d \r\n",
                    node->base_priority, node->filler.data(), priority));
  }
}

}  // namespace iosort
