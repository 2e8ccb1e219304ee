// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string_view>

#include "io_status.hpp"
#include "menu.hpp"
#include "platform.hpp"
#include "self_test.hpp"

namespace {

using iosort::IoStatus;

// The one failure not returned to main: a new-handler cannot return, and
// throwing bad_alloc needs memory the C++ runtime may not have. Writing to
// the unbuffered stderr takes none.
[[noreturn]] void out_of_memory() {
  static_cast<void>(std::fputs("iosort: out of memory\n", stderr));
  std::exit(EXIT_FAILURE);
}

// Says on standard error why a mode stopped short, if it did, and gives the
// exit status. Should standard error fail too, there is no one left to tell.
int exit_status(const IoStatus& status) {
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

}  // namespace

int main(int argc, char* argv[]) {
  iosort::platform::prepare_console();
  std::set_new_handler(out_of_memory);
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  IoStatus status;
  if (argc > 1) {
    if (std::string_view{argv[1]} == "-test") {
      status = iosort::run_tests();
    }
  } else {
    status = iosort::run_menu(stdin);
  }
  // What a mode wrote last may still wait in the buffer.
  if (!status.failed()) {
    status = iosort::flush_stdout();
  }
  return exit_status(status);
}
