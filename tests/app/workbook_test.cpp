// The workbook of --workbook=FILE: read back, it holds what standard output shows, with typed
// cells; standard output stays as it is; FILE appears only when the whole run succeeded.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>

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

// "" when equal, else the first line that differs in each.
std::string FirstDifference(const std::string& actual, const std::string& expected) {
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  if (at == actual.size() && at == expected.size()) return "";
  auto line = [at](const std::string& text) {
    size_t start = text.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    return text.substr(start, text.find('\n', at) - start);
  };
  return "workbook: " + line(actual) + "\nstdout:   " + line(expected);
}

#define SKIP_WITHOUT_OPENPYXL()                                                        \
  if (std::string(TOLLWICK_PYTHON).empty())                                            \
  GTEST_SKIP() << "no python3 with openpyxl (Debian python3-openpyxl) was found when " \
                  "configuring: workbooks are not read back"

// Titles that begin other titles, a ";" and a Latin-1 byte in titles, prices in three
// currencies (some SKUs without a price), a fourth currency that never sells and has no rate,
// sales over three years.
void WriteRandomTree(const TempDir& dir, std::mt19937& rng) {
  static const char* kTitles[] = {"Chess", "ChessMaster", "Go",   "Go;Pro", "Caf\xE9",
                                  "Atlas", "Birds",       "Cars", "Dice",   "Eggs",
                                  "Ferns", "Gems",        "Harp", "Ink"};
  static const char* kMarkets[] = {"US", "DE", "FR"};
  static const char* kPrices[] = {"EUR", "USD", "JPY", ""};
  auto pick = [&rng](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  std::vector<std::vector<std::string>> skus, sales;
  std::string prices;
  for (size_t i = 0, n = 3 + pick(25); i < n; ++i) {
    std::string id = "S" + std::to_string(i);
    skus.push_back({id, kTitles[pick(14)], std::to_string(pick(3)) + ".0", "",
                    pick(2) ? "Professional" : "Standard", kMarkets[pick(3)]});
    if (const char* currency = kPrices[pick(4)]; *currency)
      prices += id + ";" + currency + ";" + std::to_string(int(pick(2000)) - 100) + "\r\n";
  }
  for (size_t i = 0, n = pick(400); i < n; ++i)
    sales.push_back({"S" + std::to_string(pick(skus.size() + 1)), "P" + std::to_string(i), "", "",
                     "",
                     std::to_string(2008 + pick(3)) + "-" + std::to_string(1 + pick(12)) + "-" +
                         std::to_string(1 + pick(28)) + "T10:00:00Z",
                     ""});
  WriteFile(dir / "reports/a.xml", MakeReport(skus, sales));
  WriteFile(dir / "prices.csv", prices + "NO-SUCH-SKU;GBP;100\r\n");
  WriteFile(dir / "currency.txt",
            "EUR 1.00 = USD 1.3000\r\nEUR 1.00 = EUR 1\r\nEUR 1.00 = JPY 160.5\r\n");
}

TEST(Workbook, ReadBackEqualsStandardOutput) {
  SKIP_WITHOUT_OPENPYXL();
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
      WriteRandomTree(dir, rng);
    std::vector<std::string> args = switch_sets[tree % switch_sets.size()];
    RunResult plain = RunBinary({args, dir.path()});
    args.push_back("--workbook= out.XLSX ");  // trimmed, its case kept
    RunResult with = RunBinary({args, dir.path()});
    ASSERT_EQ(with.status, 0) << with.err;
    EXPECT_EQ(with.out, plain.out);
    // The workbook shows the Latin-1 byte as its UTF-8 character.
    std::string expected = with.out;
    for (size_t at; (at = expected.find('\xE9')) != std::string::npos;)
      expected.replace(at, 1, "\xC3\xA9");
    EXPECT_EQ(FirstDifference(WorkbookText(dir / "out.XLSX"), expected), "");
    // Without headers in the text, the sheets still have theirs.
    args.push_back("--headers=0");
    ASSERT_EQ(RunBinary({args, dir.path()}).status, 0);
    EXPECT_EQ(FirstDifference(WorkbookText(dir / "out.XLSX"), expected), "");
  }
}

TEST(Workbook, FileAppearsOnlyAfterACompleteRun) {
  const std::string kReport = MakeReport({{"X1", "Alpha", "1.0", "", "Professional", "US"}},
                                         {{"X1", "P1", "", "", "", "2010-01-15T10:00:00Z", ""}});
  const struct {
    std::string name;
    std::vector<std::string> args;  // besides --workbook=<workbook>
    std::string workbook;           // relative to the tree
    std::string kind;               // of the error report; empty for a run that succeeds
    std::string message;            // "$" standing for the tree's path
  } cases[] = {
      {"replaces", {"--all"}, "old.xlsx", "", ""},
      {"missing folder",
       {"--all"},
       "none/out.xlsx",
       "EFOpenError",
       "Cannot create file \"$/none/out.xlsx\". No such file or directory"},
      {"directory",
       {"--all"},
       "dir.xlsx",
       "EFOpenError",
       "Cannot create file \"$/dir.xlsx\". Is a directory"},
      {"read-only folder",
       {"--all"},
       "locked/out.xlsx",
       "EFOpenError",
       "Cannot create file \"$/locked/out.xlsx\". Permission denied"},
      {"other ending",
       {"--all"},
       "out.csv",
       "EFOpenError",
       "Cannot create file \"$/out.csv\". The name of a workbook ends in \".xlsx\""},
      {"zero rate", {"--all"}, "old.xlsx", "EZeroDivide", "Floating point division by zero"},
      {"bad range",
       {"from", "31022010", "to", "01012011"},
       "old.xlsx",
       "EConvertError",
       "Invalid argument to date encode"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool unprivileged = c.name == "read-only folder";
    if (unprivileged && !CanRunUnprivileged()) continue;
    TempDir dir;
    WriteFile(dir / "report.zip", MakeZip({Stored("fulfillmentreport.xml", kReport)}));
    WriteFile(dir / "old.xlsx", "an older workbook");
    WriteFile(dir / "prices.csv", "X1;EUR;100\r\n");
    // A zero rate fails the first converted total, after the intake.
    WriteFile(dir / "currency.txt",
              "EUR 1.00 = EUR " + std::string(c.kind == "EZeroDivide" ? "0" : "1") + "\r\n");
    fs::create_directories(dir / "dir.xlsx");
    fs::create_directories(dir / "locked");
    if (unprivileged) {
      GiveToUnprivileged(dir.path());
      fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    }
    auto before = Snapshot(dir.path());
    std::vector<std::string> args = c.args;
    args.push_back("--workbook=" + c.workbook);
    auto result = RunBinary({args, dir.path(), unprivileged});

    // A path that cannot be written stops the run before the intake renames the archive.
    auto expected =
        c.kind == "EFOpenError" ? before : Renamed(before, "report.zip", "report_(1).zip");
    if (c.kind.empty()) {
      EXPECT_EQ(result.status, 0) << result.err;
      expected["old.xlsx"] = ReadFile(dir / "old.xlsx");
      EXPECT_EQ(expected["old.xlsx"].substr(0, 2), "PK");
    } else {
      EXPECT_EQ(result.status, 1);
      std::string message = c.message;
      if (size_t at = message.find('$'); at != std::string::npos)
        message.replace(at, 1, fs::canonical(dir.path()).string());
      EXPECT_EQ(NormalizedReport(result.err), ExpectedReport(c.kind, message + "."));
    }
    // Nothing else changed, and no temporary file is left.
    EXPECT_EQ(TreeDiff(expected, Snapshot(dir.path())), "");
  }
}

}  // namespace
}  // namespace tollwick::testing
