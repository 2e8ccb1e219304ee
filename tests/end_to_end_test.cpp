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
#include <cstring>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
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

void check(bool ok, const char* what) {
  if (!ok) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
  }
}

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Fd() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

void write_all(const Fd& fd, const std::string& data) {
  for (std::size_t done = 0; done < data.size();) {
    const ssize_t n = write(fd.get(), data.data() + done, data.size() - done);
    check(n > 0, "write");
    done += static_cast<std::size_t>(n);
  }
}

// An unlinked temporary file holding `data`, positioned at its start.
Fd temp_file(const std::string& data = "") {
  char path[] = "/tmp/iosort-test-XXXXXX";
  Fd fd{mkostemp(path, O_CLOEXEC)};
  check(fd.get() >= 0, "mkostemp");
  unlink(path);
  write_all(fd, data);
  lseek(fd.get(), 0, SEEK_SET);
  return fd;
}

std::string contents(const Fd& fd) {
  std::string data;
  char buffer[4096];
  lseek(fd.get(), 0, SEEK_SET);
  ssize_t n = 0;
  while ((n = read(fd.get(), buffer, sizeof buffer)) > 0) {
    data.append(buffer, static_cast<std::size_t>(n));
  }
  return data;
}

std::pair<Fd, Fd> make_pipe() {
  int ends[2];
  check(pipe2(ends, O_CLOEXEC) == 0, "pipe2");
  return {Fd{ends[0]}, Fd{ends[1]}};
}

struct Launch {
  std::vector<std::string> args = {};
  std::string input = {};
  Fd input_file = {};             // read instead of `input` when open
  bool input_never_ends = false;  // a pipe no one writes to or closes
  const char* output_path = nullptr;
  bool reader_gone = false;  // a pipe whose read end is closed
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

class Child {
 public:
  explicit Child(Launch launch) : limit_(launch.limit) {
    Fd in;
    if (launch.input_never_ends) {
      std::tie(in, held_open_) = make_pipe();
    } else if (launch.input_file.get() >= 0) {
      in = std::move(launch.input_file);
    } else {
      in = temp_file(launch.input);
    }
    Fd out;  // where the program writes when its output is not kept
    if (launch.output_path != nullptr) {
      out = Fd{open(launch.output_path, O_WRONLY | O_CLOEXEC)};
      check(out.get() >= 0, launch.output_path);
    } else if (launch.reader_gone) {
      out = std::move(make_pipe().second);
    } else {
      out_ = temp_file();
    }
    err_ = temp_file();

    std::vector<char*> argv{const_cast<char*>(IOSORT_BINARY)};
    for (std::string& arg : launch.args) {
      argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    check(pid_ >= 0, "fork");
    if (pid_ == 0) {
      // A runaway program must not outlive a test binary killed on timeout.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(in.get(), STDIN_FILENO);
      dup2(out_.get() >= 0 ? out_.get() : out.get(), STDOUT_FILENO);
      dup2(err_.get(), STDERR_FILENO);
      signal(SIGPIPE, launch.ignore_sigpipe ? SIG_IGN : SIG_DFL);
      execv(argv[0], argv.data());
      _exit(127);
    }
    started_ = std::chrono::steady_clock::now();
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
    Outcome outcome;
    outcome.out = out_.get() >= 0 ? contents(out_) : "";
    outcome.err = contents(err_);
    outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    outcome.max_rss_kib = usage.ru_maxrss;
    return outcome;
  }

 private:
  std::chrono::seconds limit_;
  std::chrono::steady_clock::time_point started_;
  pid_t pid_ = -1;
  Fd out_;
  Fd err_;
  Fd held_open_;
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

std::vector<std::string> between_menus(const std::string& out) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = out.find(kMenu, from)) != std::string::npos;
       from = at + kMenu.size()) {
    parts.push_back(out.substr(from, at - from));
  }
  parts.push_back(out.substr(from));
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

// The requests of one display, each line checked against the format: the
// base left-justified in three columns, the priority 100 - base.
std::vector<Shown> parse_display(const std::string& text) {
  static const std::regex kLine(
      R"(Base Pri: (?=[\d ]{3} \|)(\d+) * \| Filler: this is i/o request (\d+) )"
      R"(\| Priority: (\d+) \r)");
  std::vector<Shown> shown;
  std::size_t from = 0;
  for (std::size_t end; (end = text.find('\n', from)) != std::string::npos;
       from = end + 1) {
    const std::string line = text.substr(from, end - from);
    std::smatch match;
    if (!std::regex_match(line, match, kLine)) {
      ADD_FAILURE() << "not a request line: " << testing::PrintToString(line);
      continue;
    }
    shown.push_back({std::stoi(match[1]), std::stoi(match[2])});
    EXPECT_EQ(std::stoi(match[3]), 100 - shown.back().base) << line;
  }
  EXPECT_EQ(from, text.size()) << "unterminated line";
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
  Fd input = temp_file();
  const std::string chunk(1 << 20, '7');
  for (int i = 0; i < kMiB; ++i) {
    write_all(input, chunk);
  }
  write_all(input, " 3 0");
  lseek(input.get(), 0, SEEK_SET);

  const Outcome small = run_iosort({.input = "0"});
  const Outcome big = run_iosort({.input_file = std::move(input)});
  EXPECT_EQ(big.out, session({kInvalid, ""}));
  EXPECT_EQ(big.exit_code, 0);
  EXPECT_LT(big.max_rss_kib - small.max_rss_kib, kMiB * 1024 / 4);
}

TEST(MenuSession, SortShowsTheSameRequestsByDescendingBaseTiesInLabelOrder) {
  const Outcome run = run_iosort({.input = "1\n3\n2\n3\n0\n"});
  EXPECT_EQ(run.exit_code, 0);
  const auto parts = between_menus(run.out);
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
  const auto parts = between_menus(run.out);
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
  Child full({.args = {"-test"}, .output_path = "/dev/full", .limit = 10s});
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
      run_iosort({.input_never_ends = true, .output_path = "/dev/full"}),
      ENOSPC);
}

TEST(WriteErrors, MenuEndsWhenItsReaderHasGone) {
  const Outcome killed =
      run_iosort({.input_never_ends = true, .reader_gone = true});
  EXPECT_TRUE(killed.signal == SIGPIPE || killed.exit_code == 1)
      << "signal " << killed.signal << ", status " << killed.exit_code;

  expect_write_error(run_iosort({.input_never_ends = true,
                                 .reader_gone = true,
                                 .ignore_sigpipe = true}),
                     EPIPE);
}

}  // namespace
