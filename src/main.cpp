// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string_view>

#include "io_status.hpp"
#include "menu.hpp"
#include "platform.hpp"
#include "self_test.hpp"

namespace {

// The one failure not returned to main. A new-handler that returns makes
// operator new try again, which only helps one that frees memory, and this
// program has none to free; throwing bad_alloc needs memory the runtime may
// not have. Writing to the unbuffered stderr and exiting takes none.
[[noreturn]] void out_of_memory() {
  static_cast<void>(std::fputs("iosort: out of memory\n", stderr));
  std::exit(EXIT_FAILURE);
}

}  // namespace

int main(int argc, char* argv[]) {
  iosort::platform::prepare_console();
  std::set_new_handler(out_of_memory);
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (argc > 1) {
    // Any other first argument ends the program at once, silently.
    return std::string_view{argv[1]} == "-test"
               ? iosort::finish_run(iosort::run_tests())
               : EXIT_SUCCESS;
  }
  return iosort::finish_run(iosort::run_menu(stdin));
}
