#include "app/options.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "base/errors.h"
#include "base/text.h"

namespace tollwick {

bool SplitOption(std::string_view argument, std::string& key, std::string& value) {
  size_t eq = argument.find('=');
  if (eq == std::string_view::npos) return false;
  key = LowerAscii(TrimControl(argument.substr(0, eq)));
  value = UpperAscii(TrimControl(argument.substr(eq + 1)));
  return true;
}

bool RangeWords::AllDates() const {
  return LowerAscii(First) == "--all";
}

CommandLine ReadCommandLine(const std::vector<std::string>& args, WarningList& warnings) {
  const std::array<std::pair<std::string_view, bool ReportOptions::*>, 8> switches = {{
      {"--headers", &ReportOptions::ShowHeaders},
      {"--prices", &ReportOptions::ShowPrices},
      {"--date-total", &ReportOptions::ShowDateTotal},
      {"--date-year", &ReportOptions::ShowDateYear},
      {"--date-month", &ReportOptions::ShowDateMonth},
      {"--date-day", &ReportOptions::ShowDateDay},
      {"--markets", &ReportOptions::ShowMarkets},
      {"--currencies", &ReportOptions::ShowCurrencies},
  }};
  CommandLine line;
  // Positions counted from 1; a position beyond the last reads as empty text.
  auto word = [&args](size_t position) {
    return position <= args.size() ? args[position - 1] : std::string();
  };
  line.Range = RangeWords{word(1), word(2), word(4)};
  // The words without "=" that the run reads: the mode word, or the four of the dated form.
  const size_t words = line.Range.AllDates() ? 1 : 4;
  for (size_t position = 0; position < args.size(); ++position) {
    const std::string& arg = args[position];
    std::string key, value;
    if (!SplitOption(arg, key, value)) {
      if (LowerAscii(TrimControl(arg)) == "--workbook")
        Raise(ErrorKind::EConvertError,
              "The option \"--workbook\" needs its file in the form --workbook=FILE.xlsx");
      if (LowerAscii(TrimControl(arg)) == "--html")
        Raise(ErrorKind::EConvertError,
              "The option \"--html\" needs its file in the form --html=FILE.html");
      if (position >= words) warnings.Add("argument " + Quoted(arg) + " ignored");
      continue;
    }
    // A file's name keeps its letter case: the value trimmed, not upper-cased.
    const auto path = [&arg] {
      return std::string(TrimControl(std::string_view(arg).substr(arg.find('=') + 1)));
    };
    bool known = true;
    if (key == "--currency-total") {
      line.Options.TotalCurrency = value;
    } else if (key == "--workbook") {
      line.WorkbookPath = path();
    } else if (key == "--html") {
      line.PagePath = path();
    } else {
      known = false;
    }
    for (const auto& [name, field] : switches) {
      if (key != name) continue;
      known = true;
      line.Options.*field = value == "1";
      if (value != "1" && value != "0")
        warnings.Add("option " + Quoted(arg) + " is neither 0 nor 1, so it is off");
    }
    if (!known) warnings.Add("unknown option " + Quoted(arg) + " ignored");
  }
  return line;
}

namespace {

// The lines, each ended by CR LF.
std::string JoinLines(std::span<const std::string_view> lines) {
  std::string text;
  for (std::string_view line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace

std::string UsageText() {
  static constexpr std::string_view kLines[] = {
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
      // One line, split for width.  NOLINTNEXTLINE(bugprone-suspicious-missing-comma)
      "Tollwick --all --headers=0 --prices=0 --date-total=1 --date-year=0 --date-month=0 "
      "--date-day=0 --markets=0 --currencies=0 --currency-total=USD > out.csv",
      "",
  };
  return JoinLines(kLines);
}

std::string AddedOptionsText() {
  static constexpr std::string_view kLines[] = {
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
  return JoinLines(kLines);
}

}  // namespace tollwick
