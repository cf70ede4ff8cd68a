// The workbook of --workbook=FILE: read back, it holds what standard output shows, with typed
// cells; standard output stays as it is; FILE appears only when the whole run succeeded.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>

#include "app/run.h"
#include "base/file_bytes.h"
#include "support/checks.h"
#include "support/faulty_writes.h"
#include "support/test_support.h"

namespace tollwick::testing {
namespace {

namespace fs = std::filesystem;

// The workbook as the text of a run with headers, from workbook_text.py, or the fault it found.
std::string WorkbookText(const std::string& path) {
  std::string command =
      std::string(TOLLWICK_PYTHON) + " " + TOLLWICK_WORKBOOK_TEXT + " '" + path + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
  return ::pclose(pipe) == 0 ? text : "workbook_text.py: " + text;
}

// Titles with bytes no workbook holds, read back with each as its Latin-1 character, NUL U+FFFD.
using namespace std::string_view_literals;
const std::pair<std::string_view, std::string_view> kOddTitles[] = {
    {"Nul\0l"sv, "Nul\xEF\xBF\xBDl"sv},
    {"Caf\xE9 au lait", "Caf\xC3\xA9 au lait"},                            // Latin-1
    {"Lo\xC1\xBFng", "Lo\xC3\x81\xC2\xBFng"},                              // overlong, 2 bytes
    {"Ov\xE0\x9F\xBF\x65r", "Ov\xC3\xA0\xC2\x9F\xC2\xBF\x65r"},            // overlong, 3 bytes
    {"Ov4\xF0\x8F\xBF\xBF", "Ov4\xC3\xB0\xC2\x8F\xC2\xBF\xC2\xBF"},        // overlong, 4 bytes
    {"Sur\xED\xA0\x80", "Sur\xC3\xAD\xC2\xA0\xC2\x80"},                    // a surrogate
    {"Big\xF4\x90\x80\x80", "Big\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},        // above U+10FFFF
    {"Bigger\xF5\x80\x80\x80", "Bigger\xC3\xB5\xC2\x80\xC2\x80\xC2\x80"},  // the same
    {"Non\xEF\xBF\xBE", "Non\xC3\xAF\xC2\xBF\xC2\xBE"},                    // U+FFFE
    {"Cut\xE2\x82", "Cut\xC3\xA2\xC2\x82"},                                // cut short
    {"Ok\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
     "Ok\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},  // the limits
};

// An archived report with awkward titles (with `every_title` each once), prices in three
// currencies and one that never sells, three years of sales, empty SKU and purchase ids.
void WriteRandomTree(const TempDir& dir, std::mt19937& rng, bool every_title) {
  std::vector<std::string> titles = {"Chess", "ChessMaster", "Go", "Go;Pro", "Atlas", "Birds"};
  for (const auto& [odd, read_back] : kOddTitles) titles.emplace_back(odd);
  static const char* kMarkets[] = {"US", "DE", "FR"};
  static const char* kPrices[] = {"EUR", "USD", "JPY", ""};
  auto pick = [&rng](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  auto id = [](const char* prefix, size_t i) { return i == 0 ? "" : prefix + std::to_string(i); };
  std::vector<std::vector<std::string>> skus, sales;
  std::string prices;
  for (size_t i = 0, n = 3 + pick(25) + (every_title ? titles.size() : 0); i < n; ++i) {
    const std::string sku = id("S", i);
    const std::string& title =
        every_title && i < titles.size() ? titles[i] : titles[pick(titles.size())];
    skus.push_back({sku, title, std::to_string(pick(3)) + ".0", "",
                    pick(2) ? "Professional" : "Standard", kMarkets[pick(3)]});
    if (const char* currency = kPrices[pick(4)]; *currency)
      prices += sku + ";" + currency + ";" + std::to_string(int(pick(2000)) - 100) + "\r\n";
  }
  for (size_t i = 0, n = pick(400); i < n; ++i)
    sales.push_back({id("S", pick(skus.size() + 1)), id("P", i % 150), "", "", "",
                     std::to_string(2008 + pick(3)) + "-" + std::to_string(1 + pick(12)) + "-" +
                         std::to_string(1 + pick(28)) + "T10:00:00Z",
                     ""});
  WriteFile(dir / "reports/a.zip",
            MakeZip({Stored("fulfillmentreport.xml", MakeReport(skus, sales))}));
  WriteFile(dir / "prices.csv", prices + "NO-SUCH-SKU;GBP;100\r\n");
  WriteFile(dir / "currency.txt",
            "EUR 1.00 = USD 1.3000\r\nEUR 1.00 = EUR 1\r\nEUR 1.00 = JPY 160.5\r\n");
}

TEST(Workbook, ReadBackEqualsStandardOutput) {
  if (std::string(TOLLWICK_PYTHON).empty())
    GTEST_SKIP() << "no python3 with openpyxl (python3-openpyxl) found: no workbook read back";
  const std::vector<std::vector<std::string>> switch_sets = {
      {"--all"},
      {"--all", "--markets=0", "--currency-total=usd"},
      {"--all", "--currencies=0", "--date-year=0"},
      {"from", "25122009", "to", "03012010", "--markets=0", "--currencies=0", "--prices=0"},
      {"from", "25121899", "to", "03031900", "--date-total=0", "--date-year=0"},
  };
  std::mt19937 rng(20100305);
  for (int tree = 0; tree < 6; ++tree) {
    SCOPED_TRACE("tree " + std::to_string(tree));
    TempDir dir;
    if (tree == 0)
      fs::copy(fs::path(TOLLWICK_SOURCE_DIR) / "examples", dir.path(), fs::copy_options::recursive);
    else
      WriteRandomTree(dir, rng, tree == 1);
    std::vector<std::string> args = switch_sets[tree % switch_sets.size()];
    RunResult plain = RunBinary({args, dir.path()});
    args.push_back("--workbook= out.XLSX ");  // trimmed, its case kept
    RunResult with = RunBinary({args, dir.path()});
    ASSERT_EQ(with.status, 0) << with.err;
    EXPECT_EQ(with.out, plain.out);
    std::string expected = with.out;
    for (const auto& [odd, read_back] : kOddTitles)
      expected = ReplaceAll(expected, std::string(odd), std::string(read_back));
    EXPECT_EQ(WorkbookText(dir / "out.XLSX"), expected);
    // Without headers in the text, the sheets still have theirs.
    args.push_back("--headers=0");
    ASSERT_EQ(RunBinary({args, dir.path()}).status, 0);
    EXPECT_EQ(WorkbookText(dir / "out.XLSX"), expected);
  }
}

TEST(Workbook, FileAppearsOnlyAfterACompleteRun) {
  const struct Case {
    std::string name;
    std::vector<std::string> args;  // the last one names the file, relative to the tree
    std::string kind;               // of the error report; empty for a run that succeeds
    std::string message;            // "@" standing for the tree's path
    int titles = 1;                 // of the report, each with its own SKU
    uint64_t file_size_limit = 0;
    bool stdout_closed = false;
  } cases[] = {
      // clang-format off
      {"replaces", {"--all", "--workbook=old.xlsx"}, "", ""},
      {"fifo", {"--all", "--workbook=fifo.xlsx"}, "EFOpenError",
       "Cannot create file \"@/fifo.xlsx\". Not a regular file"},
      {"link to a new file", {"--all", "--workbook=fresh.xlsx"}, "", ""},
      // A link leads only to a workbook, never to a report or anything else.
      {"link to a report", {"--all", "--workbook=to-report.xlsx"}, "EFOpenError",
       "Cannot create file \"@/report.zip\". The name must end in \".xlsx\""},
      {"link to a folder", {"--all", "--workbook=to-folder.xlsx"}, "EFOpenError",
       "Cannot create file \"@/dir.xlsx\". Is a directory"},
      // The workbook takes its name only once standard output is written.
      {"standard output closed", {"--all", "--workbook=old.xlsx"}, "EInOutError",
       "Write to standard output failed: Bad file descriptor", 1, 0, true},
      {"too wide", {"--all", "--workbook=old.xlsx"}, "EInOutError",
       "Cannot write file \"@/old.xlsx\". The sheet \"Total\" needs more than the 1048576 rows "
       "or 16384 columns a sheet can hold", 5500},
      {"file size limit", {"--all", "--headers=0", "--prices=0", "--date-year=0",
       "--date-month=0", "--date-day=0", "--workbook=old.xlsx"}, "EInOutError",
       "Cannot write file \"@/old.xlsx\". File too large", 2000, 65536},
      {"file size limit, packing the days", {"--start", "01012010", "--end", "01012013",
       "--prices=0", "--workbook=old.xlsx"}, "EInOutError",
       "Cannot write file \"@/old.xlsx\". File too large", 300, 65536},
      {"file size limit, in the zip file", {"--all", "--workbook=old.xlsx"}, "EInOutError",
       "Cannot write file \"@/old.xlsx\". File too large", 1, 4096},
      // The library meets the limit writing the sheets, and does not check those writes.
      {"file size limit, at the end", {"--all", "--prices=0", "--workbook=old.xlsx"},
       "EInOutError", "Cannot write file \"@/old.xlsx\". File too large", 300, 65536},
      {"missing folder", {"--all", "--workbook=none/out.xlsx"}, "EFOpenError",
       "Cannot create file \"@/none/out.xlsx\". No such file or directory"},
      {"read-only folder", {"--all", "--workbook=locked/out.xlsx"}, "EFOpenError",
       "Cannot create file \"@/locked/out.xlsx\". Permission denied"},
      {"other ending", {"--all", "--workbook=out.csv"}, "EFOpenError",
       "Cannot create file \"@/out.csv\". The name of a workbook ends in \".xlsx\""},
      {"page through a link", {"--all", "--HTML=link.html"}, "", ""},
      {"page of another ending", {"--all", "--html=link.xlsx"}, "EFOpenError",
       "Cannot create file \"@/old.xlsx\". The name must end in \".html\" or \".htm\""},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool unprivileged = c.name == "read-only folder";
    if (unprivileged && !CanRunUnprivileged()) continue;
    TempDir dir;
    std::vector<std::vector<std::string>> skus;
    for (int i = 1; i <= c.titles; ++i)
      skus.push_back({"X" + std::to_string(i), "Alpha" + std::to_string(i), "1.0", "", "", "US"});
    const std::string report =
        MakeReport(skus, {{"X1", "P1", "", "", "", "2010-01-15T10:00:00Z", ""}});
    WriteFile(dir / "report.zip", MakeZip({Stored("fulfillmentreport.xml", report)}));
    WriteFile(dir / "old.xlsx", "an older workbook");
    WriteFile(dir / "old.html", "an older page");
    for (auto [link, target] : {std::pair{"link.xlsx", "old.xlsx"},
                                {"link.html", "old.html"},
                                {"fresh.xlsx", "made.xlsx"},
                                {"to-report.xlsx", "report.zip"},
                                {"to-folder.xlsx", "dir.xlsx"}})
      fs::create_symlink(target, dir / link);
    ASSERT_EQ(::mkfifo((dir / "fifo.xlsx").c_str(), 0644), 0);
    WriteFile(dir / "prices.csv", "X1;EUR;100\r\n");
    WriteFile(dir / "currency.txt", "EUR 1.00 = EUR 1\r\n");
    fs::create_directories(dir / "dir.xlsx");
    fs::create_directories(dir / "locked");
    if (unprivileged) {
      GiveToUnprivileged(dir.path());
      fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    }
    auto before = Snapshot(dir.path());
    const FileDescriptor sink(::open("/dev/null", O_WRONLY | O_CLOEXEC));  // no size limit there
    BinaryRun run{c.args, dir.path(), unprivileged};
    run.stdout_fd = sink.get();
    run.file_size_limit = c.file_size_limit;
    run.close_stdout = c.stdout_closed;
    auto result = RunBinary(run);
    // An unwritable path stops the run before the archive is renamed.
    auto expected =
        c.kind == "EFOpenError" ? before : Renamed(before, "report.zip", "report_(1).zip");
    if (c.kind.empty()) {
      EXPECT_EQ(result.status, 0) << result.err;
      const std::string& option = c.args.back();
      const std::string written = fs::relative(
          fs::canonical(dir / option.substr(option.find('=') + 1)), fs::canonical(dir.path()));
      expected[written] = ReadFile(dir / written);
      EXPECT_EQ(expected[written].substr(0, 2), option.starts_with("--workbook=") ? "PK" : "<!");
    } else {
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(
          NormalizedReport(result.err),
          ExpectedReport(c.kind, ReplaceAll(c.message, "@", fs::canonical(dir.path())) + "."));
    }
    // Nothing else changed, and no temporary file is left.
    EXPECT_EQ(TreeDiff(expected, Snapshot(dir.path())), "");
  }
}

// A signal at any point of writing a large workbook, SIGKILL included, leaves the folder as it
// was, or the finished workbook.
TEST(Workbook, SignalLeavesNoTemporaryFile) {
  TempDir dir;
  // 150 titles over three years: a Days sheet of 450 columns, whose packing takes a while.
  std::vector<std::vector<std::string>> skus, sales;
  for (int i = 0; i < 150; ++i)
    skus.push_back({"S" + std::to_string(i), "Title" + std::to_string(i), "1", "", "", "US"});
  for (int i = 0; i < 3000; ++i)
    sales.push_back({"S" + std::to_string(i % 150), "P" + std::to_string(i), "", "", "",
                     std::to_string(2008 + i % 3) + "-" + std::to_string(1 + i % 12) + "-" +
                         std::to_string(1 + i % 28) + "T10:00:00Z",
                     ""});
  WriteFile(dir / "a.xml", MakeReport(skus, sales));
  WriteFile(dir / "old.xlsx", "an older workbook");
  const auto before = Snapshot(dir.path());
  using Clock = std::chrono::steady_clock;
  const BinaryRun whole{{"--all", "--workbook=old.xlsx"}, dir.path()};
  Clock::time_point start = Clock::now();
  ASSERT_EQ(RunBinary(whole).status, 0);
  const auto duration = Clock::now() - start;
  WriteFile(dir / "old.xlsx", "an older workbook");
  int stopped = 0;  // runs that the signal ended before the workbook was in place
  for (int signal : {SIGKILL, SIGTERM, SIGINT, SIGHUP, SIGQUIT})
    for (int tenths : {0, 2, 4, 6, 8}) {
      SCOPED_TRACE("signal " + std::to_string(signal) + " at " + std::to_string(tenths) + "/10");
      BinaryRun run = whole;
      run.signal = signal;
      start = Clock::now();
      run.signal_when = [&] { return Clock::now() - start >= duration * tenths / 10; };
      const int status = RunBinary(run).status;
      EXPECT_TRUE(status == 0 || status == 128 + signal) << status;
      Tree after = Snapshot(dir.path());
      if (after["old.xlsx"].starts_with("PK")) {  // finished (the signal may come after that)
        after["old.xlsx"] = before.at("old.xlsx");
        WriteFile(dir / "old.xlsx", "an older workbook");
      } else {
        EXPECT_EQ(status, 128 + signal);
        ++stopped;
      }
      EXPECT_EQ(TreeDiff(before, after), "");
    }
  EXPECT_GE(stopped, 5) << "signals came while the workbook was written";
}

// Without unnamed files the workbook and packed rows take hidden names, the rows' one gone at
// once and the workbook's one renamed over the old file.
TEST(Workbook, WithoutUnnamedFilesHiddenOnesLeaveNothing) {
  TempDir dir;
  WriteOneSaleTree(dir.path());
  WriteFile(dir / "currency.txt", "EUR 1.00 = EUR 1\r\n");
  WriteFile(dir / "old.xlsx", "an older workbook");
  Tree expected = Snapshot(dir.path());
  FaultyWrites files;
  files.no_unnamed_files = true;
  size_t hidden = 0;
  files.before_rename = [&] { hidden = Snapshot(dir.path()).size() - expected.size(); };
  RunState state;
  state.Files = &files;
  ScopedChdir here(dir.path());
  EXPECT_EQ(ErrorOf([&] { RunTollwick({"--all", "--workbook=old.xlsx"}, state); }), "");
  EXPECT_EQ(hidden, 1u) << "the workbook's hidden name, the rows' one gone at once";
  expected["old.xlsx"] = ReadFile(dir / "old.xlsx");
  EXPECT_EQ(TreeDiff(expected, Snapshot(dir.path())), "");
  if (!std::string(TOLLWICK_PYTHON).empty()) {
    EXPECT_EQ(WorkbookText(dir / "old.xlsx"), state.Output.text());
  }
}

}  // namespace
}  // namespace tollwick::testing
