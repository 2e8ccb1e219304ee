// SPDX-License-Identifier: MIT
#include "menu.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "priority_sort.hpp"
#include "request_list.hpp"

namespace iosort {

namespace {

constexpr const char* kMenu =
    "\r\nPlease enter your choice:\r\n0) Exit\r\n1) Build List\r\n"
    "2) Sort List (ascending)\r\n3) Display List\r\n";
constexpr const char* kInvalidOption =
    "You have entered an invalid option. Please select an option between 0 "
    "and 3\r\n";
constexpr std::int32_t kRequestsPerBuild = 10;
// What a token that is no number reads as: a choice outside 0 to 3, which
// gets the same reply.
constexpr std::int32_t kNotANumber = -1;

bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// The next byte of `in`, or EOF at the end of input. A read that fails
// reads as EOF too, and leaves its errno in `status`. One byte at a time
// through stdio, so that a read from a terminal returns at each line end.
int next_byte(std::FILE* in, IoStatus& status) {
  const int c = std::getc(in);
  if (c == EOF && std::ferror(in) != 0) {
    status = {IoStatus::Failure::kRead, errno};
  }
  return c;
}

// Reads the next whitespace-separated token as a choice: the number it is
// when it is wholly an optional sign and decimal digits within the 32-bit
// range, else kNotANumber. The end of input reads as 0, so that it ends the
// menu as choice 0 does. The token is parsed as it streams past, never
// stored, so memory stays bounded however long it is.
std::int32_t read_choice(std::FILE* in, IoStatus& status) {
  constexpr std::int64_t kMaxMagnitude = std::int64_t{INT32_MAX} + 1;

  int c = next_byte(in, status);
  while (is_space(c)) {
    c = next_byte(in, status);
  }
  if (c == EOF) {
    return 0;
  }
  const bool negative = c == '-';
  if (c == '-' || c == '+') {
    c = next_byte(in, status);
  }
  bool has_digits = false;
  bool only_digits = true;
  std::int64_t magnitude = 0;
  for (; c != EOF && !is_space(c); c = next_byte(in, status)) {
    if (!is_digit(c)) {
      only_digits = false;
      continue;
    }
    has_digits = true;
    // Past the limit the exact value no longer matters; stop growing so
    // that a long run of digits cannot overflow.
    if (magnitude <= kMaxMagnitude) {
      magnitude = magnitude * 10 + (c - '0');
    }
  }
  const std::int64_t limit = negative ? kMaxMagnitude : kMaxMagnitude - 1;
  if (!has_digits || !only_digits || magnitude > limit) {
    return kNotANumber;
  }
  return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace

IoStatus run_menu(std::FILE* in) {
  RequestList list;
  for (;;) {
    static_cast<void>(std::fputs(kMenu, stdout));
    // The prompt must be out before we wait for an answer; and when it
    // cannot be written there is no one to answer, so stop.
    if (const IoStatus written = flush_stdout(); written.failed()) {
      return written;
    }
    IoStatus reading;
    const std::int32_t choice = read_choice(in, reading);
    if (reading.failed()) {
      return reading;
    }
    switch (choice) {
      case 0:
        static_cast<void>(std::fputs("Terminating\r\n", stdout));
        return {};
      case 1:
        build_list(list.head(), kRequestsPerBuild);
        break;
      case 2:
        sort_list(list.head(), compute_priority);
        break;
      case 3:
        display_list(list.head(), compute_priority);
        break;
      default:
        static_cast<void>(std::fputs(kInvalidOption, stdout));
        break;
    }
  }
}

}  // namespace iosort
