// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the menu as standard input, and checks its answers.

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "menu.hpp"

namespace {

constexpr std::string_view kMenu =
    "\r\nPlease enter your choice:\r\n0) Exit\r\n1) Build List\r\n"
    "2) Sort List (ascending)\r\n3) Display List\r\n";
constexpr std::string_view kSpaces = " \t\n\v\f\r";

// Where standard output goes, so that the menu's answers can be read back.
std::FILE* answers_file = nullptr;

// The choice a token stands for, if any, by another route than the menu's.
std::optional<std::int32_t> reference_choice(std::string_view token) {
  // from_chars takes a '-' but no '+'. A '+' before another sign must stay,
  // or "+-1" would pass as -1.
  if (token.starts_with('+') && token.find_first_of("+-", 1) != 1) {
    token.remove_prefix(1);
  }
  std::int32_t value = 0;
  const char* const end = token.data() + token.size();
  const auto [stop, error] = std::from_chars(token.data(), end, value);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

// What a prompt and the answer after it amount to.
const char* kind_of(std::string_view answer) {
  if (!answer.starts_with(kMenu)) return "no menu";
  answer.remove_prefix(kMenu.size());
  if (answer.empty()) return "nothing";
  if (answer == "Terminating\r\n") return "exit";
  if (answer.starts_with("You have entered an invalid")) return "invalid";
  return answer.starts_with("Base Pri: ") ? "display" : "something else";
}

// Reads the input token by token as the menu should, and stops the fuzzer at
// the first answer that does not follow from the token's reference choice.
void check_answers(std::string_view input, std::string_view output) {
  bool built = false;
  for (std::size_t nth = 1;; ++nth) {
    input.remove_prefix(
        std::min(input.find_first_not_of(kSpaces), input.size()));
    const auto token = input.substr(0, input.find_first_of(kSpaces));
    input.remove_prefix(token.size());
    // The end of input counts as choice 0.
    const auto choice = token.empty() ? 0 : reference_choice(token);
    const char* expected = "invalid";
    if (choice == 0) expected = "exit";
    if (choice == 1 || choice == 2 || choice == 3) expected = "nothing";
    if (choice == 3 && built) expected = "display";
    built = built || choice == 1;
    // Nothing may follow an exit, so its answer runs to the end.
    const auto answer =
        output.substr(0, choice == 0 ? output.npos : output.find(kMenu, 1));
    output.remove_prefix(answer.size());
    const char* const actual = kind_of(answer);
    if (std::string_view{actual} != expected) {
      // The input itself is what libFuzzer keeps, or the file replayed.
      std::fprintf(stderr, "menu_fuzz: token %zu: expected %s, got %s\n", nth,
                   expected, actual);
      std::abort();
    }
    if (choice == 0) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  answers_file = std::tmpfile();
  if (answers_file == nullptr ||
      dup2(fileno(answers_file), STDOUT_FILENO) < 0) {
    std::perror("menu_fuzz: standard output to a temporary file");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  // A fixed seed makes each input replay exactly, whatever ran before it.
  std::srand(1);
  // Each input's answers from the start of the file, which stdout shares
  // with `answers_file`.
  if (std::fflush(stdout) != 0 || ftruncate(STDOUT_FILENO, 0) != 0) {
    std::perror("menu_fuzz: emptying standard output");
    std::abort();
  }
  std::rewind(stdout);
  // The menu reads the bytes through stdio, as it reads standard input. The
  // stream only reads, so the input stays as libFuzzer handed it over.
  std::FILE* const in = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
  if (in == nullptr) {
    std::perror("menu_fuzz: fmemopen");
    std::abort();
  }
  static_cast<void>(iosort::run_menu(in));
  static_cast<void>(std::fclose(in));
  static_cast<void>(std::fflush(stdout));
  std::rewind(answers_file);
  std::string answers;
  for (int c; (c = std::getc(answers_file)) != EOF;) {
    answers.push_back(static_cast<char>(c));
  }
  check_answers({reinterpret_cast<const char*>(data), size}, answers);
  return 0;
}
