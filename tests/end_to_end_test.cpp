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
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "test_support.hpp"

namespace {

using namespace std::chrono_literals;
using iosort::report;

constexpr std::string_view kMenu =
    "\r\nPlease enter your choice:\r\n0) Exit\r\n1) Build List\r\n"
    "2) Sort List (ascending)\r\n3) Display List\r\n";
constexpr std::string_view kInvalid =
    "You have entered an invalid option. Please select an option between 0 "
    "and 3\r\n";
constexpr std::string_view kTerminating = "Terminating\r\n";

// Closes the file, which tmpfile() deletes once it is closed.
using File = std::unique_ptr<FILE, decltype([](FILE* file) { fclose(file); })>;

// A temporary file holding `data`, positioned at its start.
File temp_file(const std::string& data = "") {
  File file{std::tmpfile()};
  if (!file) {
    throw std::system_error(errno, std::generic_category(), "tmpfile");
  }
  std::fwrite(data.data(), 1, data.size(), file.get());
  std::rewind(file.get());
  return file;
}

// Standard input that every read fails on, with EISDIR.
File directory() { return File{std::fopen("/", "r")}; }

std::string contents(FILE* file) {
  std::rewind(file);
  std::string data;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    data.append(buffer, n);
  }
  return data;
}

struct Launch {
  std::vector<std::string> args = {};
  std::string input = {};
  FILE* input_file = nullptr;     // read instead of `input` when set
  bool input_never_ends = false;  // a pipe no one writes to or closes
  bool output_full = false;       // /dev/full: every write fails
  bool output_hung_up = false;    // a terminal with no other end: EIO
  rlim_t file_size_limit = 0;     // RLIMIT_FSIZE in bytes; 0: none
  rlim_t address_space_kib = 0;   // RLIMIT_AS; 0: none
  // RLIMIT_STACK, with an empty environment: the environment lies on the
  // stack too, and the program reads none. 0: the limit and environment of
  // the tests.
  rlim_t stack_kib = 0;
  std::chrono::seconds limit = 30s;
};

struct Outcome {
  std::string out;
  std::string err;
  int exit_code = -1;  // -1 unless the program exited by itself
  int signal = 0;
  long max_rss_kib = 0;
  double cpu_seconds = 0;
};

double seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) +
         static_cast<double>(time.tv_usec) / 1e6;
}

// Starts the program at once, so that several can run side by side.
class Child {
 public:
  explicit Child(Launch launch)
      : limit_(launch.limit), started_(std::chrono::steady_clock::now()) {
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
      // A runaway program must not outlive a test binary killed on timeout.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      int ends[2];
      int in = fileno(launch.input_file ? launch.input_file : input.get());
      int out = fileno(out_.get());
      if (launch.input_never_ends) {
        // The program itself keeps the write end open, so reads wait.
        in = pipe(ends) == 0 ? ends[0] : -1;
      }
      if (launch.output_full) {
        out = open("/dev/full", O_WRONLY);
      } else if (launch.output_hung_up) {
        const int other_end = posix_openpt(O_RDWR | O_NOCTTY);
        out = grantpt(other_end) == 0 && unlockpt(other_end) == 0
                  ? open(ptsname(other_end), O_WRONLY | O_NOCTTY)
                  : -1;
        close(other_end);
      }
      const rlimit file_size{launch.file_size_limit, launch.file_size_limit};
      const rlim_t address_bytes = launch.address_space_kib * 1024;
      const rlimit address_space{address_bytes, address_bytes};
      const rlimit stack{launch.stack_kib * 1024, launch.stack_kib * 1024};
      if (in < 0 || out < 0 || dup2(in, STDIN_FILENO) < 0 ||
          dup2(out, STDOUT_FILENO) < 0 ||
          dup2(fileno(err_.get()), STDERR_FILENO) < 0 ||
          (file_size.rlim_cur > 0 && setrlimit(RLIMIT_FSIZE, &file_size)) ||
          (address_bytes > 0 && setrlimit(RLIMIT_AS, &address_space)) ||
          (stack.rlim_cur > 0 && setrlimit(RLIMIT_STACK, &stack))) {
        _exit(126);
      }
      // Past the size limit a write fails with EFBIG instead of killing.
      signal(SIGXFSZ, SIG_IGN);
      char* no_environment[] = {nullptr};
      execve(argv[0], argv.data(),
             launch.stack_kib > 0 ? no_environment : environ);
      _exit(127);
    }
  }

  // Waits for the program; one still running at the limit is killed and
  // fails the test.
  Outcome finish() {
    int status = 0;
    rusage usage{};
    pid_t done = 0;
    while ((done = wait4(pid_, &status, WNOHANG, &usage)) == 0 &&
           std::chrono::steady_clock::now() - started_ < limit_) {
      std::this_thread::sleep_for(2ms);
    }
    if (done == 0) {
      kill(pid_, SIGKILL);
      wait4(pid_, &status, 0, &usage);
      ADD_FAILURE() << "iosort still ran after " << limit_.count() << " s";
    }
    return {.out = contents(out_.get()),
            .err = contents(err_.get()),
            .exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            .signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            .max_rss_kib = usage.ru_maxrss,
            .cpu_seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime)};
  }

 private:
  std::chrono::seconds limit_;
  std::chrono::steady_clock::time_point started_;
  pid_t pid_ = -1;
  File out_ = temp_file();  // stays empty when the output goes elsewhere
  File err_ = temp_file();
};

Outcome run_iosort(Launch launch) { return Child(std::move(launch)).finish(); }

// The stack `ulimit -s 16` leaves: building, sorting 30000 requests and
// displaying must fit in it. The sanitizers' runtime needs more.
#if defined(__SANITIZE_ADDRESS__)
constexpr rlim_t kSmallStackKib = 0;
#else
constexpr rlim_t kSmallStackKib = 16;
#endif

// The pieces of `text` around each `separator`, the last one included.
std::vector<std::string> split(const std::string& text,
                               std::string_view separator) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(separator, from)) != std::string::npos;
       from = at + separator.size()) {
    parts.push_back(text.substr(from, at - from));
  }
  parts.push_back(text.substr(from));
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

// The base priority a display line shows; the unit tests pin the rest.
int base_shown(const std::string& line) {
  return std::stoi(line.substr(std::strlen("Base Pri: ")));
}

// A second build replaces the first; the sort shows the same ten lines again
// from the highest base priority down, ties in label order. A run started in
// a later second draws other requests (ten equal draws by chance: about 1 in
// 10^20).
TEST(MenuSession, RebuildThenSortShowsTheSameTenRequestsByDescendingBase) {
  const Outcome run =
      run_iosort({.input = "1 1 3 2 3 0", .stack_kib = kSmallStackKib});
  const std::time_t seeded_by = std::time(nullptr);
  while (std::time(nullptr) == seeded_by) {
    std::this_thread::sleep_for(10ms);
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
                     return base_shown(a) > base_shown(b);
                   });
  EXPECT_EQ(split(parts[5], "\r\n"), lines);
  EXPECT_NE(split(later.out, kMenu).at(3), parts[3]);
}

TEST(Arguments, AFirstArgumentOtherThanDashTestEndsAtOnceInSilence) {
  for (const char* arg : {"-TEST", "test", "--test", "-test ", ""}) {
    SCOPED_TRACE(testing::PrintToString(std::string(arg)));
    const Outcome run = run_iosort({.args = {arg}, .input = "1 3 0"});
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(run.exit_code, 0);
  }
}

// One line on stderr, "iosort: <what>: <reason>", and status 1.
void expect_failure(const Outcome& run, std::string_view what, int error) {
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "iosort: " + std::string(what) + ": " +
                         std::strerror(error) + "\n");
}

constexpr std::string_view kWriteError = "write error on standard output";
constexpr std::string_view kReadError = "read error on standard input";

TEST(SelfTestMode, WritesItsReportWhateverFollowsAndStopsAtALineItCannotWrite) {
  // The whole run sorts 30000 requests; side by side with it, the others
  // must stop before the long cases. Nowhere to write the title; room for
  // the title (and for the error on stderr) but not for the first case's
  // line.
  Child whole({.args = {"-test", "extra", "args"},
               .stack_kib = kSmallStackKib,
               .limit = 240s});
  Child full({.args = {"-test"}, .output_full = true});
  Child cut({.args = {"-test"}, .file_size_limit = 64});
  const Outcome passing = whole.finish();
  EXPECT_EQ(passing.out, report(8));
  EXPECT_EQ(passing.err, "");
  EXPECT_EQ(passing.exit_code, 0);
  const Outcome no_room = full.finish();
  const Outcome cut_short = cut.finish();
  expect_failure(no_room, kWriteError, ENOSPC);
  expect_failure(cut_short, kWriteError, EFBIG);
  EXPECT_EQ(cut_short.out, report(8).substr(0, 64));
  // CPU time, unlike the wall clock, does not stretch on a busy machine.
  for (const Outcome& run : {no_room, cut_short}) {
    EXPECT_LT(run.cpu_seconds * 10, passing.cpu_seconds);
  }
}

// A failed read or write ends the menu at once: no choice is acted on after
// a failed read, and none is waited for after a failed write, although
// standard input never ends there.
TEST(MenuFailures, AFailedReadOrWriteIsReportedAndEndsTheRun) {
  // Line-buffered, the prompt's write fails inside fputs, not in the flush.
  const Outcome unwritten =
      run_iosort({.input_never_ends = true, .output_hung_up = true});
  expect_failure(unwritten, kWriteError, EIO);
  const Outcome unread = run_iosort({.input_file = directory().get()});
  expect_failure(unread, kReadError, EISDIR);
  EXPECT_EQ(unread.out, kMenu);
  // Room for the menu, not for the last line.
  const Outcome unended =
      run_iosort({.input = "0", .file_size_limit = kMenu.size()});
  expect_failure(unended, kWriteError, EFBIG);
}

// The smallest RLIMIT_AS, in KiB, under which the loader can map the program
// and its libraries; below it the loader fails with status 127.
rlim_t least_address_space_to_load() {
  const auto loads = [](rlim_t kib) {
    return run_iosort({.input = "0", .address_space_kib = kib}).exit_code !=
           127;
  };
  rlim_t fails = 1024;
  rlim_t enough = 64 * 1024;
  EXPECT_TRUE(loads(enough));
  while (enough - fails > 1) {
    const rlim_t half = fails + (enough - fails) / 2;
    (loads(half) ? enough : fails) = half;
  }
  return enough;
}

// For some 90 KiB above the address space that loading takes, no allocation
// succeeds, not even the C++ runtime's reserve for throwing an exception;
// further up, the self-test still runs out. Running out of memory, or a read
// error there, must end in the program's message and status 1.
TEST(OutOfMemory, LimitsJustAboveWhatLoadingTakesEndInAStatusNotASignal) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer runtime needs more address space than this";
#endif
  const rlim_t least = least_address_space_to_load();
  const File root = directory();
  const Launch launches[] = {
      {.input = "1 3 0"}, {.args = {"-test"}}, {.input_file = root.get()}};
  const std::string read_error = "iosort: read error on standard input: " +
                                 std::string(std::strerror(EISDIR)) + "\n";
  for (const Launch& launch : launches) {
    for (const rlim_t above : {0U, 32U, 64U, 96U, 256U}) {
      Launch limited = launch;
      limited.address_space_kib = least + above;
      const Outcome run = run_iosort(limited);
      EXPECT_TRUE(run.exit_code == 0
                      ? run.err.empty() && launch.input_file == nullptr
                      : run.exit_code == 1 &&
                            (run.err == "iosort: out of memory\n" ||
                             run.err == read_error))
          << "launch " << &launch - launches << " at " << above
          << " KiB above: signal " << run.signal << ", status " << run.exit_code
          << ", " << testing::PrintToString(run.err);
    }
  }
}

}  // namespace
