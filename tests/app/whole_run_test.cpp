// Whole runs of the built program over report trees: every section, byte for byte.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace tollwick {
namespace {

using testing::MakeReport;
using testing::MakeZip;
using testing::RunBinary;
using testing::TempDir;
using testing::WriteFile;

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

// One SKU, one sale on 15 March 2009, a price of 2.99 USD at 1.495 USD per euro.
void WriteOneSaleTree(const TempDir& dir) {
  WriteFile(dir / "2009/03/day15.xml",
            MakeReport({{"A-100", "Alpha", "1.0", "Full", "Professional", "US"}},
                       {{"A-100", "P-1", "Buyer", "US", "CA", "2009-03-15T10:20:30Z", "Done"}}));
  WriteFile(dir / "prices.csv", "A-100;USD;299\r\n");
  WriteFile(dir / "currency.txt", "EUR 1.00 = USD 1.495\r\n");
}

TEST(WholeRun, OneSaleUnderTheSwitchesAndRanges) {
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::string err = "";
    bool empty_tree = false;
  } cases[] = {
      {{"--all"},
       Lines({"SKUID;Title;Market;Version;OS Type;Currency;Amount;",
              "A-100;Alpha;US;1.0;PPC;USD;2.99;", "",
              "TOTAL;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
              ";1;1;;2.99;;2.00;;1.40;", "",
              "YEAR;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
              "2009;1;1;;2.99;;2.00;;1.40;", "",
              "MONTH;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
              "200903;1;1;;2.99;;2.00;;1.40;", "",
              "DATE;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
              "20090315;1;1;;2.99;;2.00;;1.40;", ""})},
      // No report at all: the two lines of an empty SKU table, and "--all" gives no day.
      {{"--all"},
       Lines({"SKUID;Title;Market;Version;OS Type;Currency;Amount;", "",
              "TOTAL;;TOTAL ;;;TOTAL EUR;;SHARE EUR;", ";0;0;;;0.00;;0.00;", "",
              "YEAR;;TOTAL ;;;TOTAL EUR;;SHARE EUR;", "", "MONTH;;TOTAL ;;;TOTAL EUR;;SHARE EUR;",
              "", "DATE;;TOTAL ;;;TOTAL EUR;;SHARE EUR;", ""}),
       "tollwick: warning: no purchase found under \"@\"\n",
       true},
      // Minimal example of the usage text, in USD.
      {{"--all", "--headers=0", "--prices=0", "--date-total=1", "--date-year=0", "--date-month=0",
        "--date-day=0", "--markets=0", "--currencies=0", "--currency-total=usd"},
       Lines({";1;;2.99;;2.09;", ""})},
      // A range without the sale, TOTAL only; YEAR header made without a TOTAL tally.
      {{"--start", "16032009", "--end", "18032009", "--prices=0", "--date-month=0",
        "--date-year=0"},
       Lines({"TOTAL;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
              ";0;0;;0.00;;0.00;;0.00;", "",
              "DATE;US PPC Alpha;TOTAL Alpha;;USD;;TOTAL EUR;;SHARE EUR;",
              "20090316;0;0;;0.00;;0.00;;0.00;", "20090317;0;0;;0.00;;0.00;;0.00;", ""}),
       "tollwick: warning: the range \"16032009\" to \"18032009\" holds no purchase; the "
       "purchases read run from 15032009 to 15032009\n"},
      // The YEAR row counts the whole year even where the range starts inside it.
      {{"x", "01122009", "y", "01012010", "--prices=0", "--date-total=0", "--date-month=0",
        "--date-day=0", "--markets=0"},
       Lines({"YEAR;Alpha;;USD;;TOTAL EUR;;SHARE EUR;", "2009;1;;2.99;;2.00;;1.40;", ""}),
       "tollwick: warning: the range \"01122009\" to \"01012010\" holds no purchase; the "
       "purchases read run from 15032009 to 15032009\n"},
      // Start after end: headers and empty lines only, a TOTAL row of zeros.
      {{"--start", "01012010", "--end", "01012009", "--prices=0", "--currencies=0"},
       Lines({"TOTAL;US PPC Alpha;TOTAL Alpha;;TOTAL EUR;;SHARE EUR;", ";0;0;;0.00;;0.00;", "",
              "YEAR;US PPC Alpha;TOTAL Alpha;;TOTAL EUR;;SHARE EUR;", "",
              "MONTH;US PPC Alpha;TOTAL Alpha;;TOTAL EUR;;SHARE EUR;", "",
              "DATE;US PPC Alpha;TOTAL Alpha;;TOTAL EUR;;SHARE EUR;", ""}),
       "tollwick: warning: the range \"01012010\" to \"01012009\" holds no day (the end date "
       "is the first day not reported)\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    if (!c.empty_tree) WriteOneSaleTree(dir);
    auto result = RunBinary({c.args, dir.path()});
    EXPECT_EQ(result.status, 0) << c.args[0];
    EXPECT_EQ(result.err, testing::ReplaceAll(c.err, "@", dir.path()));
    EXPECT_EQ(result.out, c.out) << c.args[0];
  }
}

// Five SKUs over two titles, loose and archived reports, repeated rows, two currencies; an
// empty SKU id and an empty purchase id count like any other.
TEST(WholeRun, MergedReportsInTwoCurrencies) {
  TempDir dir;
  const std::vector<std::vector<std::string>> skus = {
      {"S1", "Alpha", "1", "", "Professional", "DE"},
      {"S2", "Alpha", "1", "", "Standard", "DE"},
      {"S3", "Alpha", "1", "", "Professional", "US"},
      {"S4", "Beta", "2", "", "Professional", "US"},
      {"", "Beta", "2", "", "Standard", "US"}};
  WriteFile(dir / "a.xml", MakeReport(skus, {{"S1", "P1", "", "", "", "2010-03-05T01:00:00", ""},
                                             {"S1", "P2", "", "", "", "2010-03-05T02:00:00", ""},
                                             {"S4", "P3", "", "", "", "3/6/2010 1:00:00 AM", ""},
                                             {"", "", "", "", "", "2010-03-05T03:00:00", ""}}));
  std::string archived =
      MakeReport(skus, {{"S3", "P4", "", "", "", "2010-03-06T01:00:00", ""},
                        {"S4", "P5", "", "", "", "2010-03-06T01:00:00", ""},
                        {"S4", "P3", "", "", "", "3/6/2010 1:00:00 AM", ""},  // seen before
                        {"S4", "P6", "", "", "", "2010-03-06T01:00:00", ""},
                        {"XX", "P7", "", "", "", "2010-03-06T01:00:00", ""},  // unknown SKU
                        {"S1", "", "", "", "", "2010-03-06T01:00:00", ""},    // seen before
                        {"", "P8", "", "", "", "2010-03-06T01:00:00", ""}});
  WriteFile(dir / "sub/downloads.zip",
            MakeZip({testing::Stored("fulfillmentreport.xml", archived)}));
  WriteFile(dir / "prices.csv", "S1;EUR;249\nS2;EUR;249\nS3;USD;299\n;EUR;100\n");
  WriteFile(dir / "currency.txt", "EUR 1.00 = USD 1.3000<br>EUR 1.00 = GBP 0.8500<br>");
  auto result = RunBinary({{"--all", "--prices=0", "--date-year=0", "--date-month=0"}, dir.path()});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err,
            "tollwick: warning: purchases naming a product that no report describes, not counted: "
            "1 (first: \"XX\")\ntollwick: warning: products sold without a price in prices.csv, "
            "their money not counted: 1 (first: \"S4\")\n");
  const char* header =
      "DE PPC Alpha;DE SP Alpha;US PPC Alpha;TOTAL Alpha;;US PPC Beta;US SP Beta;TOTAL Beta;;EUR;"
      "USD;;"
      "TOTAL EUR;;SHARE EUR;";
  EXPECT_EQ(result.out, Lines({(std::string("TOTAL;") + header).c_str(),
                               ";3;0;1;4;;3;1;4;;8.47;2.99;;10.77;;7.54;", "",
                               (std::string("DATE;") + header).c_str(),
                               "20100305;2;0;0;2;;0;0;0;;4.98;0.00;;4.98;;3.49;",
                               "20100306;1;0;1;2;;3;1;4;;3.49;2.99;;5.79;;4.05;", ""}));
  EXPECT_EQ(testing::ListTree(dir.path()),
            (std::vector<std::string>{"a.xml", "currency.txt", "prices.csv", "sub/",
                                      "sub/downloads.zip"}));
}

}  // namespace
}  // namespace tollwick
