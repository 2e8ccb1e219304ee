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
#include <system_error>
#include <thread>
#include <vector>

#include "test_support.hpp"

namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

const std::string kMenu =
    "\r\nPlease enter your choice:\r\n0) Exit\r\n1) Build List\r\n"
    "2) Sort List (ascending)\r\n3) Display List\r\n";
const std::string kInvalid =
    "You have entered an invalid option. Please select an option between 0 "
    "and 3\r\n";
const std::string kTerminating = "Terminating\r\n";

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
std::string session(const std::vector<std::string>& responses) {
  std::string out = kMenu;
  for (const std::string& response : responses) {
    out += response + kMenu;
  }
  return out + kTerminating;
}

// The pieces of `text` around each `separator`, the last one included.
std::vector<std::string> split(const std::string& text,
                               const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(separator, from)) != std::string::npos;
       from = at + separator.size()) {
    parts.push_back(text.substr(from, at - from));
  }
  parts.push_back(text.substr(from));
  return parts;
}

struct Shown {
  int base;
  int index;
  bool operator==(const Shown&) const = default;
  friend void PrintTo(const Shown& shown, std::ostream* os) {
    *os << shown.base << '#' << shown.index;
  }
};

// The requests of one display. Each line must be the display's format filled
// with what it shows: the base left-justified in three columns, the label's
// index, the priority 100 - base, and a CR before the LF.
std::vector<Shown> parse_display(const std::string& text) {
  std::vector<std::string> lines = split(text, "\n");
  EXPECT_EQ(lines.back(), "") << "unterminated line";
  lines.pop_back();
  std::vector<Shown> shown;
  for (const std::string& line : lines) {
    Shown request{};
    if (std::sscanf(line.c_str(),
                    "Base Pri: %d | Filler: this is i/o request %d",
                    &request.base, &request.index) != 2) {
      ADD_FAILURE() << "not a request line: " << testing::PrintToString(line);
      continue;
    }
    std::string base = std::to_string(request.base);
    base.resize(std::max<std::size_t>(base.size(), 3), ' ');
    EXPECT_EQ(line, "Base Pri: " + base + " | Filler: this is i/o request " +
                        std::to_string(request.index) + " | Priority: " +
                        std::to_string(100 - request.base) + " \r");
    shown.push_back(request);
  }
  return shown;
}

struct MenuCase {
  const char* name;
  std::string input;
  std::vector<std::string> responses;
  friend void PrintTo(const MenuCase& c, std::ostream* os) {
    *os << testing::PrintToString(c.input);
  }
};

class MenuInput : public testing::TestWithParam<MenuCase> {};

TEST_P(MenuInput, AnswersEveryTokenAndTerminates) {
  const Outcome run = run_iosort({.input = GetParam().input});
  EXPECT_EQ(run.out, session(GetParam().responses));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exit_code, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Transcripts, MenuInput,
    testing::Values(
        MenuCase{"ZeroExits", "0\n", {}},
        MenuCase{"EmptyInputEndsAsZeroDoes", "", {}},
        MenuCase{"BlankInputEndsAsZeroDoes", " \t\r\n\n", {}},
        MenuCase{"EndOfInputAfterAChoiceEndsAsZeroDoes", "3", {""}},
        MenuCase{
            "DisplayAndSortOfAnEmptyListWriteNothing", "3\n2\n0\n", {"", ""}},
        MenuCase{"NumbersOutsideZeroToThreeAreInvalid",
                 "4\n-1\n100\n0\n",
                 {kInvalid, kInvalid, kInvalid}},
        MenuCase{"TokensNotWhollyADecimalNumberAreInvalid",
                 "abc 3abc 3- --1 +-1 + - 0x3 3.0 0",
                 std::vector<std::string>(9, kInvalid)},
        // Wrapped to 32 bits these would read as 0 or 3.
        MenuCase{"NumbersBeyond32BitsAreInvalidNotWrapped",
                 "99999999999 2147483648 -2147483649 4294967296 4294967299 "
                 "-4294967296 18446744073709551616 0",
                 std::vector<std::string>(7, kInvalid)},
        MenuCase{"The32BitLimitsAreReadAsInvalidChoices",
                 "2147483647 -2147483648 0",
                 {kInvalid, kInvalid}},
        // -0 ends the run, so the 4 is never read.
        MenuCase{"SignsAndLeadingZerosAreRead",
                 "+2 00000000000000000000003 -0 4",
                 {"", ""}},
        MenuCase{"PlusZeroExits", "+0 4", {}},
        MenuCase{
            "SeveralChoicesOnOneLine", "3 2\t4\v\f0\n", {"", "", kInvalid}},
        MenuCase{"ReadingGoesOnAfterAnInvalidToken",
                 "abc\n3\n-x",
                 {kInvalid, "", kInvalid}}),
    [](const testing::TestParamInfo<MenuCase>& test) {
      return std::string(test.param.name);
    });

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

TEST(MenuSession, SortShowsTheSameRequestsByDescendingBaseTiesInLabelOrder) {
  const Outcome run = run_iosort({.input = "1\n3\n2\n3\n0\n"});
  EXPECT_EQ(run.exit_code, 0);
  const auto parts = split(run.out, kMenu);
  ASSERT_EQ(parts.size(), 6u) << run.out;
  EXPECT_EQ(parts[0] + parts[1] + parts[3], "");
  EXPECT_EQ(parts[5], kTerminating);

  const auto built = parse_display(parts[2]);
  ASSERT_EQ(built.size(), 10u);
  for (std::size_t i = 0; i < built.size(); ++i) {
    EXPECT_EQ(built[i].index, static_cast<int>(i));
    EXPECT_THAT(built[i].base, testing::AllOf(testing::Ge(0), testing::Le(99)));
  }
  auto expected = built;
  std::stable_sort(
      expected.begin(), expected.end(),
      [](const Shown& a, const Shown& b) { return a.base > b.base; });
  EXPECT_EQ(parse_display(parts[4]), expected);
}

TEST(MenuSession, RebuildReplacesTheListInsteadOfGrowingIt) {
  const Outcome run = run_iosort({.input = "1 1 3 0"});
  const auto parts = split(run.out, kMenu);
  ASSERT_EQ(parts.size(), 5u) << run.out;
  const auto shown = parse_display(parts[3]);
  ASSERT_EQ(shown.size(), 10u);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(shown[i].index, static_cast<int>(i));
  }
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
  // With nowhere to write the report, it must stop before the long cases.
  Child full({.args = {"-test"}, .output = Output::kFullDevice, .limit = 10s});
  for (Child* child : {&plain, &extra}) {
    const Outcome run = child->finish();
    EXPECT_EQ(run.out, report(8));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_code, 0);
  }
  expect_write_error(full.finish(), ENOSPC);
}

// Standard input never ends in these runs, so a program that waited for a
// choice would hang until the limit.
TEST(WriteErrors, MenuOnAFullDeviceFailsWithoutWaitingForInput) {
  expect_write_error(
      run_iosort({.input_never_ends = true, .output = Output::kFullDevice}),
      ENOSPC);
}

TEST(WriteErrors, MenuEndsWhenItsReaderHasGone) {
  const Outcome killed =
      run_iosort({.input_never_ends = true, .output = Output::kReaderGone});
  EXPECT_TRUE(killed.signal == SIGPIPE || killed.exit_code == 1)
      << "signal " << killed.signal << ", status " << killed.exit_code;

  expect_write_error(run_iosort({.input_never_ends = true,
                                 .output = Output::kReaderGone,
                                 .ignore_sigpipe = true}),
                     EPIPE);
}

}  // namespace
