// How a mode ended, for main to report.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>

// As it should, or at the first read of standard input or write of standard
// output that failed, with errno as that call left it.
struct IoStatus {
  enum class Failure : std::uint8_t { kNone, kRead, kWrite };
  Failure failure = Failure::kNone;
  int error = 0;

  bool failed() const { return failure != Failure::kNone; }
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
