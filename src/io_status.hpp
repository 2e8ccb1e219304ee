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

// Pushes out what standard output holds. A write that fails here, or that
// failed since the last flush, is a write failure. glibc drops what it held
// when a write fails, so this flush may have nothing left to fail on: the
// error flag and errno from that write then tell it, which holds as long as
// every batch of writes is flushed before anything else is done.
inline IoStatus flush_stdout() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    return {IoStatus::Failure::kWrite, errno};
  }
  return {};
}
