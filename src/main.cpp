#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <streambuf>
#include <string_view>

#include "menu.hpp"
#include "self_test.hpp"

namespace {

// Both failures below end the program at once, without unwinding: throwing
// takes memory, and when memory has run out from the start the C++ runtime
// has none to throw with and would abort instead. Writing to the unbuffered
// stderr takes none, and the program holds nothing but memory.

[[noreturn]] void out_of_memory() {
  static_cast<void>(std::fputs("iosort: out of memory\n", stderr));
  std::exit(EXIT_FAILURE);
}

// Standard input as the menu reads it: through stdio, one character at a
// time, so that a read from a terminal returns at the end of each line.
// Unlike std::cin's buffer it does not take a failed read for the end of
// input: it reports the failure and ends the program, acting on nothing
// more. The menu has flushed its prompt before every read.
class StdinBuffer : public std::streambuf {
 protected:
  int_type underflow() override {
    const int c = std::getc(stdin);
    if (c != EOF) {
      current_ = static_cast<char>(c);
      setg(&current_, &current_, &current_ + 1);
      return traits_type::to_int_type(current_);
    }
    if (std::ferror(stdin) != 0) {
      static_cast<void>(
          std::fprintf(stderr, "iosort: read error on standard input: %s\n",
                       std::strerror(errno)));
      std::exit(EXIT_FAILURE);
    }
    return traits_type::eof();
  }

 private:
  char current_ = 0;
};

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
  std::set_new_handler(out_of_memory);
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (argc > 1) {
    if (std::string_view{argv[1]} == "-test") {
      run_tests();
    }
  } else {
    StdinBuffer input;
    run_menu(input);
  }
  return finish_output();
}
