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

// Thrown by StdinBuffer when reading fails; `error` is the errno value.
struct ReadError {
  int error;
};

// Standard input as the menu reads it: through stdio, one character at a
// time, so that a read from a terminal returns at the end of each line. A
// failed read throws ReadError instead of looking like the end of input, so
// that it is reported rather than taken for a normal end.
class StdinBuffer : public std::streambuf {
 protected:
  int_type underflow() override {
    const int c = std::getc(stdin);
    if (c == EOF) {
      if (std::ferror(stdin) != 0) {
        throw ReadError{errno};
      }
      return traits_type::eof();
    }
    current_ = static_cast<char>(c);
    setg(&current_, &current_, &current_ + 1);
    return traits_type::to_int_type(current_);
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

// Ends the program inside the allocation that failed rather than by throwing
// std::bad_alloc: when memory runs out from the start, the C++ runtime has
// none left to throw an exception in and would abort instead. Writing to the
// unbuffered stderr needs no memory.
[[noreturn]] void out_of_memory() {
  static_cast<void>(std::fputs("iosort: out of memory\n", stderr));
  std::exit(EXIT_FAILURE);
}

}  // namespace

int main(int argc, char* argv[]) {
  std::set_new_handler(out_of_memory);
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (argc > 1) {
    if (std::string_view{argv[1]} == "-test") {
      run_tests();
    }
    return finish_output();
  }
  try {
    StdinBuffer input;
    run_menu(input);
  } catch (const ReadError& failure) {
    static_cast<void>(std::fprintf(stderr,
                                   "iosort: read error on standard input: %s\n",
                                   std::strerror(failure.error)));
    return EXIT_FAILURE;
  }
  return finish_output();
}
