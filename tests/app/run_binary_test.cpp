// The built program end to end: arguments, standard output, the error report and exit status.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <regex>

#include "app/options.h"
#include "support/test_support.h"

namespace tollwick {
namespace {

using testing::RunTollwickBinary;
using testing::TempDir;

// The report with its address (which tests must not depend on) replaced by "ADDRESS".
std::string Normalized(const std::string& report) {
  return std::regex_replace(report, std::regex(" at [0-9A-F]{8}\\."), " at ADDRESS.");
}

std::string Report(const std::string& kind, const std::string& message) {
  return "Exception " + kind + " in module tollwick at ADDRESS.\r\n" + message + "\r\n\r\n";
}

TEST(RunBinary, UsageVersionAndHelpTouchNothing) {
  TempDir dir;
  testing::WriteFile(dir / "report.zip", "not an archive");
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{}, UsageText()},
      {{"--help"}, UsageText()},
      {{"-h"}, UsageText()},
      {{"--version"}, "Tollwick v1.0\r\n"},
  };
  for (const auto& c : cases) {
    auto result = RunTollwickBinary(c.args, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(testing::ListTree(dir.path()), std::vector<std::string>{"report.zip"});
  }
}

TEST(RunBinary, RangeErrorsEndWithTheReport) {
  TempDir dir;
  const struct {
    std::vector<std::string> args;
    std::string report;
  } cases[] = {
      {{"--headers=0"}, Report("EConvertError", "'' is not a valid integer value.")},
      {{"--headers=0", "--all"}, Report("EConvertError", "'--' is not a valid integer value.")},
      {{"--help", "--all"}, Report("EConvertError", "'--' is not a valid integer value.")},
      {{"--start", "31022009", "--end", "01012010"},
       Report("EConvertError", "Invalid argument to date encode.")},
      {{"--start", "01012009", "--end", "01650010"},
       Report("EConvertError", "Invalid argument to date encode.")},
      {{"--start", "01012009", "--end"},
       Report("EConvertError", "'' is not a valid integer value.")},
  };
  for (const auto& c : cases) {
    auto result = RunTollwickBinary(c.args, dir.path());
    EXPECT_EQ(result.status, 1) << c.args[0];
    EXPECT_EQ(result.out, "") << c.args[0];
    EXPECT_EQ(Normalized(result.err), c.report) << c.args[0];
  }
}

TEST(RunBinary, ModeWordInAnyCaseAndSectionsOff) {
  TempDir dir;
  for (const char* word : {"--all", "--ALL", "--All"}) {
    for (const char* prices : {"--prices=1", "--prices=0"}) {
      auto result = RunTollwickBinary(
          {word, prices, "--date-total=0", "--date-year=0", "--date-month=0", "--date-day=0"},
          dir.path());
      EXPECT_EQ(result.status, 0) << word;
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(result.out, prices[9] == '1'
                                ? "SKUID;Title;Market;Version;OS Type;Currency;Amount;\r\n\r\n"
                                : "");
    }
  }
}

// Runs the binary with standard output on `out_fd`; gives the exit status (128 + signal).
int RunWithStdout(const std::vector<std::string>& args, const std::string& cwd, int out_fd,
                  std::string& err) {
  TempDir capture;
  std::string err_path = capture / "stderr";
  pid_t pid = ::fork();
  if (pid == 0) {
    int err_fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (err_fd < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(127);
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    std::vector<std::string> copies(args);
    std::vector<char*> argv{const_cast<char*>(TOLLWICK_BINARY)};
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(TOLLWICK_BINARY, argv.data());
    ::_exit(127);
  }
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  err = testing::ReadFile(err_path);
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

TEST(RunBinary, FullDeviceFailsTheRun) {
  TempDir dir;
  int full = ::open("/dev/full", O_WRONLY);
  if (full < 0) GTEST_SKIP() << "no /dev/full here";
  std::string err;
  for (const auto& args : {std::vector<std::string>{"--all"}, std::vector<std::string>{}}) {
    EXPECT_EQ(RunWithStdout(args, dir.path(), full, err), 1);
    EXPECT_EQ(Normalized(err), Report("EInOutError",
                                      "Write to standard output failed: No space "
                                      "left on device."));
  }
  ::close(full);
}

TEST(RunBinary, ClosedPipeIsAnErrorNotASignal) {
  TempDir dir;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  std::string err;
  EXPECT_EQ(RunWithStdout({}, dir.path(), fds[1], err), 1);
  EXPECT_EQ(Normalized(err),
            Report("EInOutError", "Write to standard output failed: Broken pipe."));
  ::close(fds[1]);
}

}  // namespace
}  // namespace tollwick
