// Reading the switches, the range dates and the "--all" range.
#include "app/options.h"

#include <gtest/gtest.h>

#include "base/day_number.h"
#include "support/checks.h"

namespace tollwick {
namespace {

TEST(Options, SwitchesTotalCurrencyAndWarnings) {
  using Texts = std::vector<std::string>;
  const std::tuple<Texts, bool, const char*, Texts> cases[] = {
      // clang-format off
      {{"--all"}, true, "EUR", {}},
      {{" --HEADERS = 0 "}, false, "EUR", {}},
      {{"--headers=0", "--headers=1"}, true, "EUR", {}},
      {{"--headers=yes", "--ALL"}, false, "EUR",
       {"option \"--headers=yes\" is neither 0 nor 1, so it is off"}},
      {{"--all", "--headers=01", "--headers= "}, false, "EUR",
       {"option \"--headers=01\" is neither 0 nor 1, so it is off",
        "option \"--headers= \" is neither 0 nor 1, so it is off"}},
      {{"--all", "--headers", "0"}, true, "EUR",
       {"argument \"--headers\" ignored", "argument \"0\" ignored"}},
      {{"a", "b", "c", "d", "e", "--workbook=x.xlsx", "--HTML=p.html"}, true, "EUR",
       {"argument \"e\" ignored"}},
      {{"--currency-total=usd", "-headers=0", "--Currency-Total=Usd"}, true, "USD",
       {"unknown option \"-headers=0\" ignored"}},
      {{"--currency-total=usd", "--currency-total="}, true, "", {}},
      // clang-format on
  };
  for (const auto& [args, headers, currency, texts] : cases) {
    ReportOptions options;
    WarningList warnings;
    ReadOptions(args, options, warnings);
    EXPECT_EQ(options.ShowHeaders, headers) << args[0];
    EXPECT_EQ(options.TotalCurrency, currency) << args[0];
    EXPECT_EQ(warnings.texts(), texts) << args[0];
  }
  ReportOptions o;
  WarningList warnings;
  EXPECT_EQ(testing::ErrorOf([&] {
              ReadOptions({"--all", "--Workbook "}, o, warnings);
            }),
            "EConvertError: The option \"--workbook\" needs its file in the form "
            "--workbook=FILE.xlsx");
  EXPECT_EQ(testing::ErrorOf([&] {
              ReadOptions({"--all", "--HTML"}, o, warnings);
            }),
            "EConvertError: The option \"--html\" needs its file in the form --html=FILE.html");
  EXPECT_EQ(OptionPath({"--html=a.html", " --Html = Sales.HTM "}, "--html"), "Sales.HTM");
  ReadOptions({"--prices=0", "--date-total=0", "--date-year=0", "--date-month=0", "--date-day=0",
               "--markets=0", "--currencies=0"},
              o, warnings);
  EXPECT_FALSE(o.ShowPrices || o.ShowDateTotal || o.ShowDateYear || o.ShowDateMonth ||
               o.ShowDateDay || o.ShowMarkets || o.ShowCurrencies || !o.ShowHeaders);
}

TEST(Options, RangeDates) {
  const std::pair<const char*, std::string> cases[] = {
      {"0503201099", ""},
      {" 5 32010", ""},
      {"x5$3x7DA", ""},  // every piece may be hexadecimal
      {"--all", "EConvertError: '--' is not a valid integer value"},
      {"0503", "EConvertError: '' is not a valid integer value"},
      {"q5032010", "EConvertError: 'q5' is not a valid integer value"},
      {"31022009", "EConvertError: Invalid argument to date encode"},
      {"01010000", "EConvertError: Invalid argument to date encode"},
  };
  for (const auto& [text, error] : cases) {
    double day = 0;
    EXPECT_EQ(testing::ErrorOf([&, &text = text] { day = ReadRangeDate(text); }), error) << text;
    EXPECT_EQ(day, error.empty() ? 40242 : 0) << text;
  }
  RunState state;
  WarningList& warnings = state.Warnings;
  SetReportingRange({"from", "01012009", "to", "01012010", "--prices=0"}, state, warnings);
  EXPECT_EQ(state.RangeEnd - state.RangeStart, 365);
  SetReportingRange({"from", "01012009", "to", "01012009"}, state, warnings);
  EXPECT_EQ(warnings.Lines(),
            "tollwick: warning: the range \"01012009\" to \"01012009\" holds "
            "no day (the end date is the first day not reported)\n");
  // "--all" without sales runs from 2100 back to 1998; with sales, from the first sale's day
  // to the day after the last one, but never ending before 1998.
  SetReportingRange({"--ALL"}, state, warnings);
  EXPECT_EQ(state.RangeStart - state.RangeEnd, EncodeDate(2100, 1, 1) - EncodeDate(1998, 1, 1));
  for (const CivilDate& d : {CivilDate{2009, 3, 15}, {1990, 3, 10}, {2009, 3, 12}})
    state.Sales.AddSale("A", std::to_string(d.day), EncodeDate(d.year, d.month, d.day));
  SetReportingRange({"--All", "x"}, state, warnings);
  EXPECT_EQ(state.RangeStart, EncodeDate(1990, 3, 10));
  EXPECT_EQ(state.RangeEnd, EncodeDate(2009, 3, 16));
  state.Sales.Clear();
  state.Sales.AddSale("A", "1", EncodeDate(1990, 3, 15));
  SetReportingRange({"--all"}, state, warnings);
  EXPECT_EQ(state.RangeEnd, EncodeDate(1998, 1, 1));
  EXPECT_EQ(warnings.texts().size(), 1u);  // "--all" never warns of its range
}

}  // namespace
}  // namespace tollwick
