// Reading the command line once: switches, files, range words; then the range they give.
#include "app/options.h"

#include <gtest/gtest.h>

#include "app/reporting_range.h"
#include "base/day_number.h"
#include "support/checks.h"

namespace tollwick {
namespace {

using testing::ErrorOf;

TEST(CommandLine, SwitchesFilesRangeWordsAndWarnings) {
  using Texts = std::vector<std::string>;
  const std::tuple<Texts, bool, const char*, Texts> cases[] = {
      // clang-format off
      {{"--all"}, true, "EUR", {}},
      {{" --HEADERS = 0 "}, false, "EUR", {}},
      {{"--headers=0", "--headers=1"}, true, "EUR", {}},
      {{"--headers=yes", "--ALL"}, false, "EUR",
       {"option \"--headers=yes\" is neither 0 nor 1, so it is off"}},
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
    WarningList warnings;
    const CommandLine line = ReadCommandLine(args, warnings);
    EXPECT_EQ(line.Options.ShowHeaders, headers) << args[0];
    EXPECT_EQ(line.Options.TotalCurrency, currency) << args[0];
    EXPECT_EQ(warnings.texts(), texts) << args[0];
  }
  // A file option without its file stops at its place, after the notes before it.
  WarningList warnings;
  const std::pair<Texts, std::string> without_file[] = {
      {{"--all", "x", "--Workbook ", "y"},
       "--workbook\" needs its file in the form --workbook=FILE.xlsx"},
      {{"--all", "--HTML"}, "--html\" needs its file in the form --html=FILE.html"}};
  for (const auto& [args, error] : without_file)
    EXPECT_EQ(ErrorOf([&, &args = args] { ReadCommandLine(args, warnings); }),
              "EConvertError: The option \"" + error);
  EXPECT_EQ(warnings.texts(), Texts{"argument \"x\" ignored"});
  // Files keep their letter case and the last one counts; the range words are positions 1, 2
  // and 4, empty beyond the last argument.
  const CommandLine line =
      ReadCommandLine({"From", "01012009", "--html=a.html", "--prices=0", "--date-total=0",
                       "--date-year=0", "--date-month=0", "--date-day=0", "--markets=0",
                       "--currencies=0", " --Html = Sales.HTM ", "--workbook= Out.XLSX "},
                      warnings);
  EXPECT_EQ(line.PagePath, "Sales.HTM");
  EXPECT_EQ(line.WorkbookPath, "Out.XLSX");
  EXPECT_EQ(line.Range.First + "|" + line.Range.Start + "|" + line.Range.End,
            "From|01012009|--prices=0");
  const ReportOptions& o = line.Options;
  EXPECT_FALSE(o.ShowPrices || o.ShowDateTotal || o.ShowDateYear || o.ShowDateMonth ||
               o.ShowDateDay || o.ShowMarkets || o.ShowCurrencies || !o.ShowHeaders);
  EXPECT_EQ(ReadCommandLine({"--ALL"}, warnings).Range.Start, "");
  EXPECT_FALSE(ReadCommandLine({}, warnings).WorkbookPath || line.Range.AllDates());
  EXPECT_TRUE(ReadCommandLine({"--aLL"}, warnings).Range.AllDates());
}

TEST(ReportingRange, DatesAndAll) {
  const std::pair<const char*, std::string> cases[] = {
      {"0503201099", ""},
      {" 5 32010", ""},
      {"x5$3x7DA", ""},  // every piece may be hexadecimal
      {"--all", "EConvertError: '--' is not a valid integer value"},
      {"0503", "EConvertError: '' is not a valid integer value"},
      {"31022009", "EConvertError: Invalid argument to date encode"},
  };
  for (const auto& [text, error] : cases) {
    double day = 0;
    EXPECT_EQ(ErrorOf([&, &text = text] { day = ReadRangeDate(text); }), error) << text;
    EXPECT_EQ(day, error.empty() ? 40242 : 0) << text;
  }
  SaleTable sales;
  WarningList warnings;
  ReportingRange range = ResolveReportingRange({"from", "01012009", "01012010"}, sales, warnings);
  EXPECT_EQ(range.End - range.Start, 365);
  ResolveReportingRange({"from", "01012009", "01012009"}, sales, warnings);
  EXPECT_EQ(warnings.Lines(),
            "tollwick: warning: the range \"01012009\" to \"01012009\" holds "
            "no day (the end date is the first day not reported)\n");
  // "--all" without sales runs from 2100 back to 1998; with sales, from the first sale's day
  // to the day after the last one, but never ending before 1998.
  range = ResolveReportingRange({"--ALL", "", ""}, sales, warnings);
  EXPECT_EQ(range.Start - range.End, EncodeDate(2100, 1, 1) - EncodeDate(1998, 1, 1));
  for (const CivilDate& d : {CivilDate{2009, 3, 15}, {1990, 3, 10}, {2009, 3, 12}})
    sales.AddSale("A", std::to_string(d.day), EncodeDate(d.year, d.month, d.day));
  range = ResolveReportingRange({"--All", "x", ""}, sales, warnings);
  EXPECT_EQ(range.Start, EncodeDate(1990, 3, 10));
  EXPECT_EQ(range.End, EncodeDate(2009, 3, 16));
  sales.Clear();
  sales.AddSale("A", "1", EncodeDate(1990, 3, 15));
  EXPECT_EQ(ResolveReportingRange({"--all", "", ""}, sales, warnings).End, EncodeDate(1998, 1, 1));
  EXPECT_EQ(warnings.texts().size(), 1u);  // "--all" never warns of its range
}

}  // namespace
}  // namespace tollwick
