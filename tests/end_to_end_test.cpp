// SPDX-License-Identifier: MIT
// Runs the built iosort as a user or a shell would, comparing the bytes it
// writes and the status it ends with.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "test_support.hpp"

namespace iosort {
namespace {

constexpr std::string_view kMenu =
    "\r\nPlease enter your choice:\r\n0) Exit\r\n1) Build List\r\n"
    "2) Sort List (ascending)\r\n3) Display List\r\n";
constexpr std::string_view kInvalid =
    "You have entered an invalid option. Please select an option between 0 "
    "and 3\r\n";
constexpr std::string_view kTerminating = "Terminating\r\n";

struct Launch {
  std::vector<std::string> args = {};
  std::string input = {};
  std::optional<FILE*> input_file = {};   // read instead of `input`
  std::optional<FILE*> output_file = {};  // instead of a file of our own
  rlim_t file_size_limit = 0;             // RLIMIT_FSIZE in bytes; 0: none
  rlim_t address_space_kib = 0;           // RLIMIT_AS; 0: none
  // RLIMIT_STACK, with an empty environment, which lies on the stack too and
  // which the program never reads. 0: the tests' limit and environment.
  rlim_t stack_kib = 0;
};

struct Outcome {
  std::string out;
  std::string err;
  int exit_code = -1;  // -1 unless the program exited by itself
  long max_rss_kib = 0;
  double cpu_seconds = 0;
};

// Starts the program at once, so that several can run side by side.
class Child {
 public:
  explicit Child(Launch launch) {
    const File input = temp_file(launch.input);
    std::vector<char*> argv{const_cast<char*>(IOSORT_BINARY)};
    for (std::string& arg : launch.args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) {
      throw std::system_error(errno, std::generic_category(), "fork");
    }
    if (pid_ == 0) {
      // A runaway program must not outlive a test binary killed on timeout,
      // and is stopped at half the test's time, so that the test can say so
      // (a native run takes a second at most): the alarm outlasts exec.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      alarm(IOSORT_TEST_TIMEOUT / 2);
      FILE* const in = launch.input_file.value_or(input.get());
      FILE* const out = launch.output_file.value_or(out_.get());
      if (dup2(fileno(in), STDIN_FILENO) < 0 ||
          dup2(fileno(out), STDOUT_FILENO) < 0 ||
          dup2(fileno(err_.get()), STDERR_FILENO) < 0) {
        _exit(126);
      }
      for (const auto& [resource, bytes] :
           {std::pair{RLIMIT_FSIZE, launch.file_size_limit},
            {RLIMIT_AS, launch.address_space_kib * 1024},
            {RLIMIT_STACK, launch.stack_kib * 1024}}) {
        const rlimit limit{bytes, bytes};
        if (bytes > 0 && setrlimit(resource, &limit) != 0) {
          _exit(126);
        }
      }
      // Past the size limit a write fails with EFBIG instead of killing.
      signal(SIGXFSZ, SIG_IGN);
      char* no_environment[] = {nullptr};
      execve(argv[0], argv.data(),
             launch.stack_kib > 0 ? no_environment : environ);
      _exit(127);
    }
  }

  // Waits for the program; one that ran out its time fails the test.
  Outcome finish() {
    int status = 0;
    rusage usage{};
    wait4(pid_, &status, 0, &usage);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
      ADD_FAILURE() << "iosort still ran after its time limit";
    }
    return {.out = contents(out_.get()),
            .err = contents(err_.get()),
            .exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            .max_rss_kib = usage.ru_maxrss,
            .cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec) / 1e6};
  }

 private:
  pid_t pid_ = -1;
  File out_ = temp_file();  // stays empty when the output goes elsewhere
  File err_ = temp_file();
};

Outcome run_iosort(Launch launch) { return Child(std::move(launch)).finish(); }

// gcc says so by a macro, clang by __has_feature.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAsan = true;
#elif defined(__has_feature)
constexpr bool kAsan = __has_feature(address_sanitizer);
#else
constexpr bool kAsan = false;
#endif

// The stack `ulimit -s 16` leaves: building, sorting 30000 requests and
// displaying must fit in it. The sanitizers' runtime needs more.
constexpr rlim_t kSmallStackKib = kAsan ? 0 : 16;

// The pieces of `text` around each `separator`, the last one included.
std::vector<std::string> split(std::string_view text,
                               std::string_view separator) {
  std::vector<std::string> parts;
  for (std::size_t at; (at = text.find(separator)) != text.npos;
       text.remove_prefix(at + separator.size())) {
    parts.emplace_back(text.substr(0, at));
  }
  parts.emplace_back(text);
  return parts;
}

TEST(MenuInput, MultiMegabyteTokenIsOneInvalidChoiceInBoundedMemory) {
  // Written piecemeal: a forked child's peak memory counts what this process
  // holds, which would hide the program's own.
  constexpr int kMiB = 32;
  const File input = temp_file();
  const std::string chunk(1 << 20, '7');
  for (int i = 0; i < kMiB; ++i) {
    std::fputs(chunk.c_str(), input.get());
  }
  std::fputs(" 3 0", input.get());
  std::rewind(input.get());

  const Outcome small = run_iosort({.input = "0"});
  const Outcome big = run_iosort({.input_file = input.get()});
  EXPECT_EQ(
      big.out,
      std::string(kMenu).append(kInvalid).append(kMenu).append(kMenu).append(
          kTerminating));
  EXPECT_EQ(big.exit_code, 0);
  EXPECT_LT(big.max_rss_kib - small.max_rss_kib, kMiB * 1024 / 4);
}

// A second build replaces the first; the sort shows the same ten lines again
// from the highest base priority down, ties in label order. A run started a
// second later draws other requests (the same ten by chance: 1 in 10^20).
TEST(MenuSession, RebuildThenSortShowsTheSameTenRequestsByDescendingBase) {
  const Outcome run =
      run_iosort({.input = "1 1 3 2 3 0", .stack_kib = kSmallStackKib});
  const std::time_t seeded_by = std::time(nullptr);
  while (std::time(nullptr) == seeded_by) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const Outcome later = run_iosort({.input = "1 1 3 0"});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exit_code, 0);
  const auto parts = split(run.out, kMenu);
  ASSERT_EQ(parts.size(), 7u) << run.out;
  EXPECT_EQ(parts[0] + parts[1] + parts[2] + parts[4], "");
  EXPECT_EQ(parts[6], kTerminating);

  auto lines = split(parts[3], "\r\n");  // the last one empty
  ASSERT_EQ(lines.size(), 11u) << parts[3];
  std::stable_sort(lines.begin(), lines.end() - 1,
                   [](const std::string& a, const std::string& b) {
                     // By what follows "Base Pri: "; unit tests pin the rest.
                     return std::stoi(a.substr(10)) > std::stoi(b.substr(10));
                   });
  EXPECT_EQ(split(parts[5], "\r\n"), lines);
  EXPECT_NE(split(later.out, kMenu).at(3), parts[3]);
}

// A terminal with no other end: every write to it fails with EIO.
File hung_up_terminal() {
  const int other_end = posix_openpt(O_RDWR | O_NOCTTY);
  File terminal{grantpt(other_end) == 0 && unlockpt(other_end) == 0
                    ? std::fopen(ptsname(other_end), "w")
                    : nullptr};
  close(other_end);
  return terminal;
}

// How each run must end. The self-test stops at the first report line it
// cannot write, before its long cases: the runs marked kQuick take less
// than half the whole self-test's CPU time (which, unlike the wall clock,
// does not stretch on a busy machine), where one that ran on would take it
// all; the whole is only some 50 ms. A failed read or write ends
// the menu at once: no choice is acted on after a failed read, and none is
// waited for after a failed write, although standard input never ends there.
// A run whose device this machine lacks is skipped alone.
TEST(Runs, EndWithTheirOutputMessageAndStatus) {
  const File directory{std::fopen("/", "r")};     // every read: EISDIR
  const File full{std::fopen("/dev/full", "w")};  // every write: ENOSPC
  const File terminal = hung_up_terminal();
  // Standard input that never ends: this process keeps the write end.
  int ends[2];
  const File waiting{pipe(ends) == 0 ? fdopen(ends[0], "r") : nullptr};
  const std::string whole = report(8);
  const std::string_view cut = std::string_view(whole).substr(0, 64);
  const std::string enospc = failure(kWrite, ENOSPC);
  const std::string efbig = failure(kWrite, EFBIG);
  const std::string eio = failure(kWrite, EIO);
  const std::string eisdir = failure("read error on standard input", EISDIR);
  constexpr bool kQuick = true;
  const struct {
    Launch launch;
    int exit_code;
    std::string_view err;
    std::optional<std::string_view> out;  // not checked when absent
    bool quick = false;
  } cases[] = {
      {{.args = {"-test", "extra", "args"}, .stack_kib = kSmallStackKib},
       0,
       "",
       whole},
      // No room for the title; room for the title but not the first case.
      {{.args = {"-test"}, .output_file = full.get()}, 1, enospc, "", kQuick},
      {{.args = {"-test"}, .file_size_limit = 64}, 1, efbig, cut, kQuick},
      // Line-buffered, the prompt's write fails inside fputs, not in the
      // flush.
      {{.input_file = waiting.get(), .output_file = terminal.get()},
       1,
       eio,
       ""},
      {{.input_file = directory.get()}, 1, eisdir, kMenu},
      // Room for the menu, not for the last line.
      {{.input = "0", .file_size_limit = kMenu.size()}, 1, efbig, kMenu},
      // A first argument other than "-test" ends the program at once.
      {{.args = {"-TEST"}, .input = "1 3 0"}, 0, "", ""},
      {{.args = {"test"}, .input = "1 3 0"}, 0, "", ""},
      {{.args = {"-test "}, .input = "1 3 0"}, 0, "", ""},
      {{.args = {""}, .input = "1 3 0"}, 0, "", ""},
  };
  // Side by side: the short runs end while the whole self-test runs. A run
  // that names a device this machine could not open, a null FILE*, is skipped.
  const std::optional<FILE*> missing{nullptr};
  std::vector<std::optional<Child>> children;
  for (const auto& c : cases) {
    const Launch& run = c.launch;
    const bool ready = run.input_file != missing && run.output_file != missing;
    children.emplace_back(ready ? std::optional<Child>(run) : std::nullopt);
  }
  double whole_cpu_seconds = 0;
  for (std::size_t i = 0; i < children.size(); ++i) {
    const auto& c = cases[i];
    if (!children[i]) {
      std::printf("case %zu skipped: a device it needs cannot be opened\n", i);
      continue;
    }
    SCOPED_TRACE(testing::Message() << "case " << i);
    const Outcome run = children[i]->finish();
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.err, c.err);
    if (c.out) {
      EXPECT_EQ(run.out, *c.out);
    }
    whole_cpu_seconds = i == 0 ? run.cpu_seconds : whole_cpu_seconds;
    if (c.quick) {
      EXPECT_LT(run.cpu_seconds * 2, whole_cpu_seconds);
    }
  }
}

// The smallest RLIMIT_AS, in KiB, under which the program, with whatever
// this environment preloads into it, runs a session that takes no memory of
// its own ("0") to its end.
rlim_t least_address_space_to_run() {
  const auto runs = [](rlim_t kib) {
    return run_iosort({.input = "0", .address_space_kib = kib}).exit_code == 0;
  };
  rlim_t fails = 1024;
  rlim_t enough = 64 * 1024;
  EXPECT_TRUE(runs(enough));
  while (enough - fails > 1) {
    const rlim_t half = fails + (enough - fails) / 2;
    (runs(half) ? enough : fails) = half;
  }
  return enough;
}

// For some 90 KiB above that, no allocation succeeds, not even the C++
// runtime's reserve for throwing an exception; further up, the self-test's
// 30000 requests still do not fit. Either way the program must end with its
// message and status 1, not by a signal.
TEST(OutOfMemory, TheSelfTestEndsWithAMessageAndStatusOneAtAnyLimitTooSmall) {
  if (kAsan) {
    GTEST_SKIP() << "the sanitizer runtime needs more address space than this";
  }
  const rlim_t least = least_address_space_to_run();
  for (const rlim_t above : {0U, 32U, 64U, 96U, 256U, 1024U}) {
    SCOPED_TRACE(testing::Message() << above << " KiB above");
    const Outcome run =
        run_iosort({.args = {"-test"}, .address_space_kib = least + above});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "iosort: out of memory\n");
  }
}

}  // namespace
}  // namespace iosort
