// SPDX-License-Identifier: MIT
#include "io_status.hpp"

#include <cstdlib>
#include <cstring>

namespace iosort {

int finish_run(IoStatus status) {
  if (!status.failed()) {
    status = flush_stdout();
  }
  switch (status.failure) {
    case IoStatus::Failure::kNone:
      return EXIT_SUCCESS;
    case IoStatus::Failure::kTestsFailed:
      break;
    case IoStatus::Failure::kRead:
      static_cast<void>(
          std::fprintf(stderr, "iosort: read error on standard input: %s\n",
                       std::strerror(status.error)));
      break;
    case IoStatus::Failure::kWrite:
      static_cast<void>(
          std::fprintf(stderr, "iosort: write error on standard output%s%s\n",
                       status.error != 0 ? ": " : "",
                       status.error != 0 ? std::strerror(status.error) : ""));
      break;
  }
  return EXIT_FAILURE;
}

}  // namespace iosort
