#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <new>
#include <string_view>

#include "menu.hpp"
#include "self_test.hpp"

namespace {

// Output that never reached its destination is a failure, not a success:
// push out what is buffered and report any write error. Called as soon as
// a mode returns: both stop at the first failed flush, and glibc drops the
// buffer there, so errno from that failure is the only reason left.
int finish_output() {
  const int earlier_error = std::ferror(stdout) != 0 ? errno : 0;
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
    return EXIT_SUCCESS;
  }
  const int reason = errno != 0 ? errno : earlier_error;
  // Should standard error fail too, there is no one left to tell.
  static_cast<void>(std::fprintf(
      stderr, "iosort: write error on standard output%s%s\n",
      reason != 0 ? ": " : "", reason != 0 ? std::strerror(reason) : ""));
  return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  try {
    if (argc > 1) {
      if (std::string_view{argv[1]} == "-test") {
        run_tests();
      }
    } else {
      run_menu(*std::cin.rdbuf());
    }
  } catch (const std::bad_alloc&) {
    static_cast<void>(std::fputs("iosort: out of memory\n", stderr));
    return EXIT_FAILURE;
  }
  return finish_output();
}
