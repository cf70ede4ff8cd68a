// Errors in the data end the run with the exact error report and exit status 1, and what was
// done before the error stays done: the archive read first keeps its new name.
#include <gtest/gtest.h>
#include <sched.h>

#include <filesystem>

#include "support/test_support.h"

namespace tollwick::testing {
namespace {

namespace fs = std::filesystem;

const std::string kReport = MakeReport({{"X1", "Alpha", "1.0", "Full", "Professional", "Store"}},
                                       {{"X1", "P1", "Ann", "DE", "", "1/15/2010 10:00:00", ""}});

std::string SaleOn(const std::string& date) {
  return MakeReport({{"X2", "Beta", "2.0", "Lite", "Standard", "Store"}},
                    {{"X2", "P2", "Bob", "US", "CA", date, "Charged"}});
}

const std::vector<std::string> kProductsOnly = {"--all", "--date-total=0", "--date-year=0",
                                                "--date-month=0", "--date-day=0"};

TEST(FaultErrors, ExactReportAndRenamesStayDone) {
  // The top directory's archive is read (and renamed) before the subdirectory "z" is walked,
  // and the price and rate lists are read after the whole walk.
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> args;
    std::string kind, message;
    bool products_written;  // the product section precedes the failing TOTAL row
  } cases[] = {
      // clang-format off
      {"invalid sale date", {{"z/bad.xml", SaleOn("2/30/2010 10:00:00")}},
       {"--all"}, "EConvertError", "Invalid argument to date encode.", false},
      {"sale date piece that is no integer", {{"z/bad.xml", SaleOn("2010-1O-01T00:00:00")}},
       {"--all"}, "EConvertError", "'1O' is not a valid integer value.", false},
      {"a NUL byte in a date piece stays in the message",
       {{"z/bad.zip", MakeZip({Stored("fulfillmentreport.xml",
                                      SaleOn(std::string("2026-11-0\0" "2T10:00:00Z", 20)))})}},
       {"--all"}, "EConvertError", std::string("'0") + '\0' + "2' is not a valid integer value.",
       false},
      {"invalid range date", {{"prices.csv", "X1;EUR;100\r\n"}},
       {"--start", "31022009", "--end", "01012010"},
       "EConvertError", "Invalid argument to date encode.", false},
      {"bad amount on a priced SKU", {{"prices.csv", "Y9;EUR;not a number\r\nX1;EUR;12.50\r\n"}},
       {"--all"}, "EConvertError", "'12.50' is not a valid integer value.", false},
      {"zero rate", {{"prices.csv", "X1;USD;500\r\n"}, {"currency.txt", "EUR 1.00 = USD 0\r\n"}},
       {"--all"}, "EZeroDivide", "Floating point division by zero.", true},
      {"rate that does not read",
       {{"prices.csv", "X1;USD;500\r\n"}, {"currency.txt", "EUR 1.00 = USD 1.3 dollars\r\n"}},
       {"--all"}, "EZeroDivide", "Floating point division by zero.", true},
      {"price in a currency without a rate", {{"prices.csv", "X1;USD;500\r\n"}},
       {"--all"}, "EConvertError", "No exchange rate for currency \"USD\".", true},
      {"zero rate and zero amount",
       {{"prices.csv", "X1;USD;0\r\n"}, {"currency.txt", "EUR 1.00 = USD 0.0\r\n"}},
       {"--all"}, "EInvalidOp", "Invalid floating point operation.", true},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "report.zip", MakeZip({Stored("fulfillmentreport.xml", kReport)}));
    for (const auto& [path, bytes] : c.files) WriteFile(dir / path, bytes);
    auto before = Snapshot(dir.path());

    auto result = RunBinary({c.args, dir.path()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(NormalizedReport(result.err), ExpectedReport(c.kind, c.message));
    auto after = Snapshot(dir.path());
    EXPECT_EQ(TreeDiff(Renamed(before, "report.zip", "report_(1).zip"), after), "");
    if (c.products_written) {
      // The lines written before the error reach standard output.
      auto products = RunBinary({kProductsOnly, dir.path()});
      ASSERT_EQ(products.status, 0);
      EXPECT_EQ(result.out.substr(0, products.out.size()), products.out);
      EXPECT_EQ(result.out.compare(products.out.size(), 6, "TOTAL;"), 0) << result.out;
    } else {
      EXPECT_EQ(result.out, "");
    }
  }
}

// Reports are read ahead on other threads when there are CPUs for them; a file that fails in
// the middle of the tree must leave the output, the error report and the tree exactly as
// reading on one thread does: every earlier file applied and renamed, no later archive renamed.
TEST(FaultErrors, ReadingAheadChangesNothing) {
  cpu_set_t cpus;
  if (::sched_getaffinity(0, sizeof cpus, &cpus) != 0 || CPU_COUNT(&cpus) < 2)
    GTEST_SKIP() << "one CPU: there is no reading thread to compare with";
  auto zipped = [](const std::string& report) {
    return MakeZip({Stored("fulfillmentreport.xml", report)});
  };
  const struct {
    const char* what;
    std::string failing_path, failing_bytes;
    bool locked;  // nobody may read the failing file
  } cases[] = {
      {"bad date in a loose file", "m/3.xml", SaleOn("2010-02-30T10:00:00Z"), false},
      {"bad date in an archive", "m/report 3.zip", zipped(SaleOn("2010-1O-01T00:00:00")), false},
      {"unreadable loose file", "m/3.xml", SaleOn("3/1/2010 10:00:00"), true},
      {"unreadable archive", "m/report 3.zip", zipped(SaleOn("3/1/2010 10:00:00")), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.locked && !CanRunUnprivileged()) continue;
    RunResult results[2];
    Tree trees[2];
    for (int one_cpu = 0; one_cpu < 2; ++one_cpu) {
      TempDir dir;
      for (int i = 0; i < 6; ++i) {
        std::string n = std::to_string(i), day = "2010-01-0" + std::to_string(i + 1) + "T01:00:00Z";
        WriteFile(dir / (n + ".xml"), SaleOn(day));
        WriteFile(dir / ("report " + n + ".zip"), zipped(SaleOn(day)));
        WriteFile(dir / ("m/" + n + "a.xml"), SaleOn("2/" + std::to_string(i + 1) + "/2010 1:00"));
        WriteFile(dir / ("m/report " + n + "a.zip"), zipped(SaleOn(day)));
        WriteFile(dir / ("z/report " + n + ".zip"), zipped(SaleOn(day)));
      }
      WriteFile(dir / c.failing_path, c.failing_bytes);
      if (c.locked) {
        GiveToUnprivileged(dir.path());
        fs::permissions(dir / c.failing_path, fs::perms::none);
      }
      BinaryRun run{{"--all"}, dir.path(), c.locked};
      run.one_cpu = one_cpu == 1;
      results[one_cpu] = RunBinary(run);
      trees[one_cpu] = Snapshot(dir.path());
      std::string& err = results[one_cpu].err;  // without the temporary directory's name
      const std::string top = fs::canonical(dir.path()).string();
      if (size_t at = err.find(top); at != std::string::npos) err.replace(at, top.size(), "DIR");
    }
    EXPECT_EQ(results[0].status, 1);
    EXPECT_EQ(results[0].out, results[1].out);
    EXPECT_EQ(NormalizedReport(results[0].err), NormalizedReport(results[1].err));
    EXPECT_EQ(TreeDiff(trees[0], trees[1]), "");
    EXPECT_EQ(trees[0].count("z/report 0.zip"), 1u);  // nothing after the failure renamed
  }
}

}  // namespace
}  // namespace tollwick::testing
