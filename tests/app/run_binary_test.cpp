// The built program end to end: the usage text word for word, the mode word, failed writes.
#include <fcntl.h>
#include <unistd.h>

#include <dirent.h>
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace tollwick::testing {
namespace {

// The usage text as users know it, line by line.
const char* const kUsage[] = {
    "Tollwick v1.0",
    "",
    "Usage:",
    "",
    "Tollwick --all [format options]",
    "  Outputs all statistics",
    "",
    "Tollwick --start DDMMYYYY --end DDMMYYYY [format options]",
    "  Outputs all statistics between start and end date.",
    "  Please take care to note the date format.",
    "  The end date itself is NOT INCLUDED. So to get all",
    "  statistics over 2009, use:",
    "    --start 01012009 --end 01012010",
    "",
    "Format options:",
    "  --headers=0/1        Output headers, default 1",
    "  --prices=0/1         Output product info, default 1",
    "  --date-total=0/1     Output sales totals, default 1",
    "  --date-year=0/1      Output sales per year, default 1",
    "  --date-month=0/1     Output sales per month, default 1",
    "  --date-day=0/1       Output sales per day, default 1",
    "  --markets=0/1        Output sales per market, default 1",
    "  --currencies=0/1     Output sales per currency, default 1",
    "  --currency-total=XXX Selects the currency for totals, default EUR",
    "",
    "Minimalist example:",
    "",
    ("Tollwick --all --headers=0 --prices=0 --date-total=1 --date-year=0 --date-month=0 "
     "--date-day=0 --markets=0 --currencies=0 --currency-total=USD > out.csv"),
    "",
};

// What --help and -h print after the usage text: the options it does not name.
const char* const kFurtherOptions[] = {
    "Further options:",
    "  --workbook=FILE      Also writes the statistics to the workbook FILE (.xlsx),",
    "                       with typed cells and a sheet of charts",
    "  --html=FILE          Also writes the sales page FILE (.html or .htm): charts",
    "                       and tables to filter by title, market and months, in",
    "                       any browser, offline",
    "  --version            Outputs the version",
    "  --help, -h           Outputs this text",
    "",
};

// The lines of a text that ends every line with CR LF.
std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start != text.size()) lines.push_back("(no CR LF) " + text.substr(start));
  return lines;
}

TEST(RunBinary, UsageTextWordForWord) {
  TempDir dir;
  WriteFile(dir / "report.zip", "not an archive");
  const std::vector<std::string> usage(std::begin(kUsage), std::end(kUsage));
  std::vector<std::string> help = usage;
  help.insert(help.end(), std::begin(kFurtherOptions), std::end(kFurtherOptions));
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--help"}, {"-h"}, {"--version"}}) {
    auto result = RunBinary({args, dir.path()});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    if (args.empty())
      EXPECT_EQ(CrLfLines(result.out), usage);
    else if (args[0] != "--version")
      EXPECT_EQ(CrLfLines(result.out), help);
    else
      EXPECT_EQ(result.out, "Tollwick v1.0\r\n");
    EXPECT_EQ(ListTree(dir.path()), std::vector<std::string>{"report.zip"});  // nothing renamed
  }
}

// Without a second thread to be had (the user may start no more processes), reports are read
// one by one, with the same result: not an abort.
TEST(RunBinary, NoThreadToBeHadChangesNothing) {
  if (!CanRunUnprivileged() || UnderAddressSanitizer())
    GTEST_SKIP() << "needs a user that process limits apply to, and no leak checker's thread";
  TempDir dir;
  for (const char* name : {"a.xml", "b.xml", "c.xml"})
    WriteFile(dir / name, MakeReport({{"X1", "Alpha", "1.0", "", "Professional", "US"}},
                                     {{"X1", name, "", "", "", "2010-03-05T10:00:00", ""}}));
  GiveToUnprivileged(dir.path());
  auto expected = RunBinary({{"--all"}, dir.path(), /*unprivileged=*/true});
  BinaryRun limited{{"--all"}, dir.path(), /*unprivileged=*/true};
  limited.process_limit = 1;
  auto result = RunBinary(limited);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, expected.err);
  EXPECT_EQ(result.out, expected.out);
}

// A chain of `depth` folders named `name` below the open folder `at`, with a report at its end.
void MakeChain(int at, const std::string& name, int depth, const std::string& report) {
  int fd = ::dup(at);
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(fd = next, 0);
  }
  const int file = ::openat(fd, "r.xml", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(::write(file, report.data(), report.size()), ssize_t(report.size()));
  ::close(file);
  ::close(fd);
}

// Removes such a chain, whose paths are too long for the usual ways: each level's folder is moved
// up to `at` before the level is removed.
void RemoveChain(int at, std::string name) {
  for (int i = 0; !name.empty(); ++i) {
    DIR* level = ::fdopendir(::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY));
    ASSERT_NE(level, nullptr);
    std::string next;
    while (const dirent* entry = ::readdir(level)) {
      const std::string entry_name = entry->d_name;
      if (entry_name == "." || entry_name == "..") continue;
      if (::unlinkat(::dirfd(level), entry_name.c_str(), 0) == 0) continue;
      next = "up" + std::to_string(i);
      ASSERT_EQ(::renameat(::dirfd(level), entry_name.c_str(), at, next.c_str()), 0);
    }
    ::closedir(level);
    ASSERT_EQ(::unlinkat(at, name.c_str(), AT_REMOVEDIR), 0);
    name = next;
  }
}

// 4,000 folders deep (names of 200 letters: paths far beyond what the system takes whole) and
// 600 reports beside them, read with 16 descriptors and 256 MB of address space: the walk's
// memory and descriptors do not grow with the depth, and running out of descriptors means
// fewer files read ahead, not an error.
TEST(RunBinary, DeepTreeAndFewDescriptors) {
  TempDir dir;
  auto report = [](const std::string& id) {
    return MakeReport({{"X1", "Alpha", "1.0", "", "Professional", "US"}},
                      {{"X1", id, "", "", "", "2010-03-05T10:00:00", ""}});
  };
  for (int i = 0; i < 600; ++i)
    WriteFile(dir / ("d" + std::to_string(i % 20) + "/r" + std::to_string(i) + ".xml"),
              report("P" + std::to_string(i)));
  WriteFile(dir / "prices.csv", "X1;EUR;100\n");
  const int top = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  MakeChain(top, std::string(200, 'n'), 4000, report("DEEP"));
  auto expected = RunBinary({{"--all", "--date-day=0"}, dir.path()});
  BinaryRun limited{{"--all", "--date-day=0"}, dir.path()};
  limited.open_files = 16;
  limited.address_space = uint64_t{256} << 20;
  auto result = RunBinary(limited);
  RemoveChain(top, std::string(200, 'n'));
  ::close(top);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, expected.out);
  EXPECT_NE(result.out.find(";601;"), std::string::npos);  // every purchase counted
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
    auto result = RunBinary({.args = c.args, .cwd = dir.path(), .stdout_fd = c.fd});
    EXPECT_EQ(result.status, 1) << c.reason;
    const std::string warning =
        c.args.empty() ? "" : "tollwick: warning: no purchase found under \"" + dir.path() + "\"\n";
    EXPECT_EQ(NormalizedReport(result.err),
              warning + ExpectedReport("EInOutError", std::string("Write to standard output "
                                                                  "failed: ") +
                                                          c.reason + "."));
  }
  ::close(full);
  ::close(pipe_fds[1]);
}

}  // namespace
}  // namespace tollwick::testing
