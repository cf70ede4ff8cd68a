#include "app/options.h"

#include <gtest/gtest.h>

#include "tables/day_number.h"
#include "tables/errors.h"

namespace tollwick {
namespace {

TEST(SplitOption, CutsTrimsAndFoldsCase) {
  const struct {
    const char* arg;
    bool found;
    const char* key;
    const char* value;
  } cases[] = {
      {"--headers=0", true, "--headers", "0"},
      {" --HEADERS = 1 ", true, "--headers", "1"},
      {"--currency-total=usd", true, "--currency-total", "USD"},
      {"--currency-total=", true, "--currency-total", ""},
      {"a=b=c", true, "a", "B=C"},
      {"=x", true, "", "X"},
      {"--Ab\xC4=\xE4z", true, "--ab\xC4", "\xE4Z"},
      {"--headers", false, "old", "old"},
      {"01012009", false, "old", "old"},
  };
  for (const auto& c : cases) {
    std::string key = "old", value = "old";
    EXPECT_EQ(SplitOption(c.arg, key, value), c.found) << c.arg;
    EXPECT_EQ(key, c.key) << c.arg;
    EXPECT_EQ(value, c.value) << c.arg;
  }
}

TEST(ReadOptions, SwitchesAndTotalCurrency) {
  const struct {
    std::vector<std::string> args;
    bool headers;
    const char* currency;
  } cases[] = {
      {{"--all"}, true, "EUR"},
      {{"--headers=0"}, false, "EUR"},
      {{"--headers= 1"}, true, "EUR"},
      {{"--headers=0", "--HEADERS=1"}, true, "EUR"},
      {{"--headers=yes"}, false, "EUR"},
      {{"--headers=01"}, false, "EUR"},
      {{"--headers="}, false, "EUR"},
      {{"--headers"}, true, "EUR"},
      {{"--headers", "0"}, true, "EUR"},
      {{"--currency-total=usd"}, true, "USD"},
      {{"--currency-total=usd", "--currency-total="}, true, ""},
      {{"--unknown=0", "-headers=0"}, true, "EUR"},
  };
  for (const auto& c : cases) {
    ReportOptions options;
    ReadOptions(c.args, options);
    EXPECT_EQ(options.ShowHeaders, c.headers) << c.args[0];
    EXPECT_EQ(options.TotalCurrency, c.currency) << c.args[0];
  }
}

TEST(ReadOptions, EverySwitchHasItsKey) {
  ReportOptions options;
  ReadOptions({"--prices=0", "--date-total=0", "--date-year=0", "--date-month=0", "--date-day=0",
               "--markets=0", "--currencies=0"},
              options);
  EXPECT_TRUE(options.ShowHeaders);
  EXPECT_FALSE(options.ShowPrices || options.ShowDateTotal || options.ShowDateYear ||
               options.ShowDateMonth || options.ShowDateDay || options.ShowMarkets ||
               options.ShowCurrencies);
}

TEST(UsageText, TwentyNineLinesWithAlignedDescriptions) {
  std::string text = UsageText();
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(lines.size(), 29u);
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
  EXPECT_EQ(lines[0], "Tollwick v1.0");
  EXPECT_EQ(lines[12], "    --start 01012009 --end 01012010");
  for (int i = 15; i <= 23; ++i) {
    EXPECT_EQ(lines[i].substr(0, 4), "  --") << i;
    EXPECT_EQ(lines[i][22], ' ') << i;
    EXPECT_NE(lines[i][23], ' ') << i;
  }
  EXPECT_EQ(lines[23], "  --currency-total=XXX Selects the currency for totals, default EUR");
  EXPECT_EQ(lines[27],
            "Tollwick --all --headers=0 --prices=0 --date-total=1 --date-year=0 --date-month=0 "
            "--date-day=0 --markets=0 --currencies=0 --currency-total=USD > out.csv");
  EXPECT_EQ(lines[28], "");
}

TEST(ReadRangeDate, Pieces) {
  EXPECT_EQ(ReadRangeDate("05032010"), 40242);
  EXPECT_EQ(ReadRangeDate("0503201099"), 40242);
  EXPECT_EQ(ReadRangeDate(" 5 32010"), 40242);
  EXPECT_EQ(ReadRangeDate("05032"), EncodeDate(2, 3, 5));
  EXPECT_EQ(ReadRangeDate("x5$3x7DA"), 40242);  // every piece may be hexadecimal
  const struct {
    const char* text;
    const char* message;
  } failures[] = {
      {"", "'' is not a valid integer value"},
      {"--all", "'--' is not a valid integer value"},
      {"0503", "'' is not a valid integer value"},
      {"q5032010", "'q5' is not a valid integer value"},
      {"31022009", "Invalid argument to date encode"},
      {"00012009", "Invalid argument to date encode"},
      {"01132009", "Invalid argument to date encode"},
      {"01010000", "Invalid argument to date encode"},
  };
  for (const auto& f : failures) {
    try {
      ReadRangeDate(f.text);
      ADD_FAILURE() << f.text;
    } catch (const TollwickError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::EConvertError);
      EXPECT_STREQ(e.what(), f.message) << f.text;
    }
  }
}

TEST(SetReportingRange, AllTakesTheSalesRange) {
  RunState state;
  SetReportingRange({"--ALL"}, state);
  EXPECT_EQ(state.RangeStart, EncodeDate(2100, 1, 1));
  EXPECT_EQ(state.RangeEnd, EncodeDate(1998, 1, 1));

  state.Sales.AddSale("A", "1", "", "", "", "2009-03-15T10:00:00", "");
  state.Sales.AddSale("A", "2", "", "", "", "2009-03-10T10:00:00", "");
  state.Sales.AddSale("A", "3", "", "", "", "2009-03-12T10:00:00", "");
  SetReportingRange({"--All", "x"}, state);
  EXPECT_EQ(state.RangeStart, EncodeDate(2009, 3, 10));
  EXPECT_EQ(state.RangeEnd, EncodeDate(2009, 3, 16));

  RunState old_sales;
  old_sales.Sales.AddSale("A", "1", "", "", "", "1990-03-15T10:00:00", "");
  SetReportingRange({"--all"}, old_sales);
  EXPECT_EQ(old_sales.RangeStart, EncodeDate(1990, 3, 15));
  EXPECT_EQ(old_sales.RangeEnd, EncodeDate(1998, 1, 1));  // never before 1998
}

TEST(SetReportingRange, DatedFormReadsPositionsTwoAndFour) {
  RunState state;
  SetReportingRange({"from", "01012009", "to", "01012010", "--prices=0"}, state);
  EXPECT_EQ(state.RangeStart, EncodeDate(2009, 1, 1));
  EXPECT_EQ(state.RangeEnd, EncodeDate(2010, 1, 1));
  EXPECT_THROW(SetReportingRange({"--headers=0", "--all"}, state), TollwickError);
  EXPECT_THROW(SetReportingRange({"--start", "01012009"}, state), TollwickError);
}

}  // namespace
}  // namespace tollwick
