// Runs the built iosort as a user or a shell would, comparing the bytes it
// writes and the status it ends with.
#include <fcntl.h>
#include <gmock/gmock.h>
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
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "test_support.hpp"

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

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

std::string contents(FILE* file) {
  std::rewind(file);
  std::string data;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    data.append(buffer, n);
  }
  return data;
}

enum class Output { kCaptured, kFullDevice, kReaderGone };

struct Launch {
  std::vector<std::string> args = {};
  std::string input = {};
  FILE* input_file = nullptr;     // read instead of `input` when set
  bool input_never_ends = false;  // a pipe no one writes to or closes
  Output output = Output::kCaptured;
  bool ignore_sigpipe = false;
  std::chrono::seconds limit = 30s;
};

struct Outcome {
  std::string out;
  std::string err;
  int exit_code = -1;  // -1 unless the program exited by itself
  int signal = 0;
  long max_rss_kib = 0;
};

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
        // The program itself keeps the write end open, so reads just wait.
        in = pipe(ends) == 0 ? ends[0] : -1;
      }
      if (launch.output == Output::kFullDevice) {
        out = open("/dev/full", O_WRONLY);
      } else if (launch.output == Output::kReaderGone) {
        out = pipe(ends) == 0 && close(ends[0]) == 0 ? ends[1] : -1;
      }
      if (in < 0 || out < 0 || dup2(in, STDIN_FILENO) < 0 ||
          dup2(out, STDOUT_FILENO) < 0 ||
          dup2(fileno(err_.get()), STDERR_FILENO) < 0) {
        _exit(126);
      }
      signal(SIGPIPE, launch.ignore_sigpipe ? SIG_IGN : SIG_DFL);
      execv(argv[0], argv.data());
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
            .max_rss_kib = usage.ru_maxrss};
  }

 private:
  std::chrono::seconds limit_;
  std::chrono::steady_clock::time_point started_;
  pid_t pid_ = -1;
  File out_ = temp_file();  // stays empty when the output goes elsewhere
  File err_ = temp_file();
};

Outcome run_iosort(Launch launch) { return Child(std::move(launch)).finish(); }

// What the menu writes when it answers each choice read with `responses`
// and then ends.
std::string session(const std::vector<std::string_view>& responses) {
  std::string out{kMenu};
  for (const std::string_view response : responses) {
    out.append(response).append(kMenu);
  }
  return out.append(kTerminating);
}

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

// The requests of one display. Each line must be the display's format filled
// with what it shows: the base left-justified in three columns, the label's
// index, the priority 100 - base, and a CR before the LF.
std::vector<Entry> parse_display(const std::string& text) {
  std::vector<std::string> lines = split(text, "\n");
  EXPECT_EQ(lines.back(), "") << "unterminated line";
  lines.pop_back();
  std::vector<Entry> shown;
  for (const std::string& line : lines) {
    int base = 0;
    int index = 0;
    if (std::sscanf(line.c_str(),
                    "Base Pri: %d | Filler: this is i/o request %d", &base,
                    &index) != 2) {
      ADD_FAILURE() << "not a request line: " << testing::PrintToString(line);
      continue;
    }
    const std::string label = "this is i/o request " + std::to_string(index);
    std::string base_field = std::to_string(base);
    base_field.resize(std::max<std::size_t>(base_field.size(), 3), ' ');
    EXPECT_EQ(line, "Base Pri: " + base_field + " | Filler: " + label +
                        " | Priority: " + std::to_string(100 - base) + " \r");
    shown.push_back({nullptr, base, label});
  }
  return shown;
}

TEST(MenuInput, AnswersEveryTokenAndEndsAtZeroOrTheEndOfInput) {
  const std::vector<std::string_view> nine_invalid(9, kInvalid);
  const struct {
    std::string input;
    std::vector<std::string_view> responses;
  } cases[] = {
      {"0\n", {}},
      {"", {}},
      {" \t\r\n\n", {}},
      {"3", {""}},
      {"3\n2\n0\n", {"", ""}},  // an empty list shows and sorts to nothing
      {"4\n-1\n100\n0\n", {kInvalid, kInvalid, kInvalid}},
      {"abc 3abc 3- --1 +-1 + - 0x3 3.0 0", nine_invalid},
      // Wrapped to 32 bits these would read as 0 or 3.
      {"99999999999 2147483648 -2147483649 4294967296 4294967299 "
       "-4294967296 18446744073709551616 2147483647 -2147483648 0",
       nine_invalid},
      // Signs and leading zeros are read; -0 ends the run before the 4.
      {"+2 00000000000000000000003 -0 4", {"", ""}},
      {"+0 4", {}},
      {"3 2\t4\v\f0\n", {"", "", kInvalid}},
      {"abc\n3\n-x", {kInvalid, "", kInvalid}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.input));
    const Outcome run = run_iosort({.input = c.input});
    EXPECT_EQ(run.out, session(c.responses));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_code, 0);
  }
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
  EXPECT_EQ(big.out, session({kInvalid, ""}));
  EXPECT_EQ(big.exit_code, 0);
  EXPECT_LT(big.max_rss_kib - small.max_rss_kib, kMiB * 1024 / 4);
}

// A second build replaces the first; the sort shows the same ten requests
// again from the highest base priority down, ties in label order.
TEST(MenuSession, RebuildThenSortShowsTheSameTenRequestsByDescendingBase) {
  const Outcome run = run_iosort({.input = "1 1 3 2 3 0"});
  EXPECT_EQ(run.exit_code, 0);
  const auto parts = split(run.out, kMenu);
  ASSERT_EQ(parts.size(), 7u) << run.out;
  EXPECT_EQ(parts[0] + parts[1] + parts[2] + parts[4], "");
  EXPECT_EQ(parts[6], kTerminating);

  const auto built = parse_display(parts[3]);
  ASSERT_EQ(built.size(), 10u);
  for (std::size_t i = 0; i < built.size(); ++i) {
    EXPECT_EQ(built[i].label, "this is i/o request " + std::to_string(i));
    EXPECT_THAT(built[i].base, testing::AllOf(testing::Ge(0), testing::Le(99)));
  }
  auto expected = built;
  std::stable_sort(
      expected.begin(), expected.end(),
      [](const Entry& a, const Entry& b) { return a.base > b.base; });
  EXPECT_EQ(parse_display(parts[5]), expected);
}

TEST(Arguments, AFirstArgumentOtherThanDashTestEndsAtOnceInSilence) {
  for (const char* arg : {"-TEST", "test", "--test", "-test ", ""}) {
    SCOPED_TRACE(testing::PrintToString(std::string(arg)));
    const Outcome run = run_iosort({.args = {arg}, .input = "1 3 0"});
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(run.exit_code, 0);
  }
}

void expect_write_error(const Outcome& run, int error) {
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_TRUE(run.err.ends_with('\n'));
  EXPECT_THAT(run.err, HasSubstr(std::strerror(error)));
}

TEST(SelfTestMode, WritesTheReportWhateverFollowsAndFailsOnAFullDevice) {
  // Each run sorts 30000 requests; side by side they take the time of one.
  constexpr auto kSlow = 240s;  // under the CTest limit, for a clear failure
  Child plain({.args = {"-test"}, .limit = kSlow});
  Child extra({.args = {"-test", "extra", "args"}, .limit = kSlow});
  // With nowhere to write the report, it must stop at once, long before the
  // others have sorted their 30000 requests.
  Child full({.args = {"-test"}, .output = Output::kFullDevice, .limit = 2s});
  expect_write_error(full.finish(), ENOSPC);
  for (Child* child : {&plain, &extra}) {
    const Outcome run = child->finish();
    EXPECT_EQ(run.out, report(8));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_code, 0);
  }
}

// Standard input never ends in these runs, so a program that waited for a
// choice would hang until the limit; side by side, they share that wait.
TEST(WriteErrors, MenuStopsAtOnceWhenItsOutputFails) {
  Child full({.input_never_ends = true, .output = Output::kFullDevice});
  Child gone({.input_never_ends = true,
              .output = Output::kReaderGone,
              .ignore_sigpipe = true});
  Child signalled({.input_never_ends = true, .output = Output::kReaderGone});
  expect_write_error(full.finish(), ENOSPC);
  expect_write_error(gone.finish(), EPIPE);
  const Outcome killed = signalled.finish();
  EXPECT_TRUE(killed.signal == SIGPIPE || killed.exit_code == 1)
      << "signal " << killed.signal << ", status " << killed.exit_code;
}

}  // namespace
