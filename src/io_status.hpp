// SPDX-License-Identifier: MIT
// How a mode ended, for main to report.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace iosort {

// How a mode ended: kNone when it ran to its end; kRead or kWrite at the
// first read of standard input or write of standard output that failed, with
// errno as that call left it in `error`; kTestsFailed when a self-test case
// failed, which main need not tell again, since the report already says so.
struct [[nodiscard]] IoStatus {
  enum class Failure : std::uint8_t { kNone, kRead, kWrite, kTestsFailed };
  Failure failure = Failure::kNone;
  int error = 0;

  [[nodiscard]] bool failed() const { return failure != Failure::kNone; }
};

// Pushes out what standard output holds, and reports a write that failed
// now or since the last flush: glibc drops what it held when a write fails,
// so the error flag and that write's errno may be all that is left of it.
// Callers flush after each batch of writes, before errno can change.
inline IoStatus flush_stdout() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    return {IoStatus::Failure::kWrite, errno};
  }
  return {};
}

// Ends a run of either mode: pushes out what it left in standard output's
// buffer, unless it already failed; says on standard error why it stopped
// short, if it did (a failed self-test has said so in its report); and
// returns the exit status, 0 or 1. A message standard error refuses is
// dropped: there is nowhere left to say so, and status 1 still tells.
[[nodiscard]] int finish_run(IoStatus status);

}  // namespace iosort
