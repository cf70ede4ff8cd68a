// The built program end to end: arguments, standard output, the error report and exit status.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/options.h"
#include "support/test_support.h"

namespace tollwick {
namespace {

using testing::RunTollwickBinary;
using testing::TempDir;

using testing::ExpectedReport;
using testing::NormalizedReport;

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
      {{"--headers=0"}, ExpectedReport("EConvertError", "'' is not a valid integer value.")},
      {{"--headers=0", "--all"},
       ExpectedReport("EConvertError", "'--' is not a valid integer value.")},
      {{"--help", "--all"}, ExpectedReport("EConvertError", "'--' is not a valid integer value.")},
      {{"--start", "31022009", "--end", "01012010"},
       ExpectedReport("EConvertError", "Invalid argument to date encode.")},
      {{"--start", "01012009", "--end", "01650010"},
       ExpectedReport("EConvertError", "Invalid argument to date encode.")},
      {{"--start", "01012009", "--end"},
       ExpectedReport("EConvertError", "'' is not a valid integer value.")},
  };
  for (const auto& c : cases) {
    auto result = RunTollwickBinary(c.args, dir.path());
    EXPECT_EQ(result.status, 1) << c.args[0];
    EXPECT_EQ(result.out, "") << c.args[0];
    EXPECT_EQ(NormalizedReport(result.err), c.report) << c.args[0];
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

// Standard output on /dev/full, and on a pipe whose reader has gone: exit 1, not a signal.
TEST(RunBinary, FailedWritesEndWithTheReport) {
  TempDir dir;
  int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  ::close(pipe_fds[0]);
  const struct {
    std::vector<std::string> args;
    int fd;
    const char* reason;
  } cases[] = {{{"--all"}, full, "No space left on device"},
               {{}, full, "No space left on device"},
               {{}, pipe_fds[1], "Broken pipe"}};
  for (const auto& c : cases) {
    auto result = testing::RunBinary({.args = c.args, .cwd = dir.path(), .stdout_fd = c.fd});
    EXPECT_EQ(result.status, 1) << c.reason;
    EXPECT_EQ(NormalizedReport(result.err),
              ExpectedReport("EInOutError",
                             std::string("Write to standard output failed: ") + c.reason + "."));
  }
  ::close(full);
  ::close(pipe_fds[1]);
}

}  // namespace
}  // namespace tollwick
