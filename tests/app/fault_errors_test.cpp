// Errors in the data end the run with the exact error report and exit status 1, and what was
// done before the error stays done: the archive read first keeps its new name.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace tollwick::testing {
namespace {

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
    bool products_written;     // the product section precedes the failing TOTAL row
    std::string warning = "";  // before the report, "<DIR>" standing for the tree
  } cases[] = {
      // clang-format off
      {"invalid sale date", {{"z/bad.xml", SaleOn("2/30/2010 10:00:00")}},
       {"--all"}, "EConvertError", "Invalid argument to date encode.", false},
      {"sale date piece that is no integer", {{"z/bad.xml", SaleOn("2010-1O-01T00:00:00")}},
       {"--all"}, "EConvertError", "'1O' is not a valid integer value.", false},
      {"a NUL byte in a date piece shows escaped in the message",
       {{"z/bad.zip", MakeZip({Stored("fulfillmentreport.xml",
                                      SaleOn(std::string("2026-11-0\0" "2T10:00:00Z", 20)))})}},
       {"--all"}, "EConvertError", "'0\\x002' is not a valid integer value.", false},
      {"bad amount on a priced SKU", {{"prices.csv", "Y9;EUR;not a number\r\nX1;EUR;12.50\r\n"}},
       {"--all"}, "EConvertError", "'12.50' is not a valid integer value.", false,
       "the price \"12.50\" of \"X1\" in \"<DIR>/prices.csv\" cannot be read as a whole number "
       "of cents"},
      {"zero rate", {{"prices.csv", "X1;USD;500\r\n"}, {"currency.txt", "EUR 1.00 = USD 0\r\n"}},
       {"--all"}, "EZeroDivide", "Floating point division by zero.", true},
      {"rate that does not read",
       {{"prices.csv", "X1;USD;500\r\n"}, {"currency.txt", "EUR 1.00 = USD 1.3 dollars\r\n"}},
       {"--all"}, "EZeroDivide", "Floating point division by zero.", true},
      {"price in a currency without a rate", {{"prices.csv", "X1;USD;500\r\n"}},
       {"--all"}, "EConvertError", "No exchange rate for currency \"USD\".", true,
       "no list of exchange rates: \"<DIR>/currency.txt\" not found"},
      {"a rate list without the rate", {{"prices.csv", "X1;USD;500\r\n"}, {"currency.txt", ""}},
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
    std::string warning = c.warning;
    if (size_t at = warning.find("<DIR>"); at != std::string::npos)
      warning.replace(at, 5, dir.path());
    EXPECT_EQ(NormalizedReport(result.err),
              (warning.empty() ? "" : "tollwick: warning: " + warning + "\n") +
                  ExpectedReport(c.kind, c.message));
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

}  // namespace
}  // namespace tollwick::testing
