#include "app/options.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>
#include <utility>

#include "base/day_number.h"
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

void ReadOptions(const std::vector<std::string>& args, ReportOptions& options,
                 WarningList& warnings) {
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
  // The words without "=" that the run reads: the mode word, or the four of the dated form.
  const size_t words = !args.empty() && LowerAscii(args[0]) == "--all" ? 1 : 4;
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
    bool known = key == "--currency-total" || key == "--workbook" || key == "--html";
    for (const auto& [name, field] : switches) {
      if (key != name) continue;
      known = true;
      options.*field = value == "1";
      if (value != "1" && value != "0")
        warnings.Add("option " + Quoted(arg) + " is neither 0 nor 1, so it is off");
    }
    if (key == "--currency-total") options.TotalCurrency = value;
    if (!known) warnings.Add("unknown option " + Quoted(arg) + " ignored");
  }
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

std::optional<std::string> OptionPath(const std::vector<std::string>& args,
                                      std::string_view option) {
  std::optional<std::string> path;
  for (const std::string& arg : args) {
    std::string key, value;
    if (SplitOption(arg, key, value) && key == option)
      path = std::string(TrimControl(std::string_view(arg).substr(arg.find('=') + 1)));
  }
  return path;
}

std::optional<std::string> WorkbookPath(const std::vector<std::string>& args) {
  return OptionPath(args, "--workbook");
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

namespace {

// The day, month and year pieces of a DDMMYYYY text.
std::array<std::string_view, 3> RangeDatePieces(std::string_view text) {
  auto piece = [text](size_t from, size_t len) {
    return from < text.size() ? text.substr(from, len) : std::string_view();
  };
  return {piece(0, 2), piece(2, 2), piece(4, 4)};
}

// The argument at `position`, counted from 1; empty beyond the last.
std::string_view Argument(const std::vector<std::string>& args, size_t position) {
  return position <= args.size() ? std::string_view(args[position - 1]) : std::string_view();
}

// DDMMYYYY of a day number.
std::string DayText(double day) {
  const CivilDate date = DecodeDate(day);
  char text[16];
  std::snprintf(text, sizeof text, "%02d%02d%04d", date.day, date.month, date.year);
  return text;
}

}  // namespace

double ReadRangeDate(std::string_view text) {
  const auto [day, month, year] = RangeDatePieces(text);
  const int32_t d = StrToInt(day);
  const int32_t m = StrToInt(month);
  const int32_t y = StrToInt(year);
  return EncodeDate(y, m, d);
}

void CheckRangeDates(const std::vector<std::string>& args, WarningList& warnings) {
  if (LowerAscii(Argument(args, 1)) == "--all") return;
  for (const size_t position : {size_t{2}, size_t{4}}) {
    const auto [day, month, year] = RangeDatePieces(Argument(args, position));
    int32_t d = 0, m = 0, y = 0;
    if (TryStrToInt(day, d) && TryStrToInt(month, m) && TryStrToInt(year, y) &&
        IsValidDate(y, m, d))
      continue;
    warnings.Add("the first argument " + Quoted(Argument(args, 1)) +
                 " is not --all, so the 2nd and 4th arguments must be the dates of the range, "
                 "as DDMMYYYY");
    ReadRangeDate(Argument(args, position));  // raises the date's error
  }
}

void SetReportingRange(const std::vector<std::string>& args, RunState& state,
                       WarningList& warnings) {
  auto arg = [&args](size_t position) { return Argument(args, position); };
  if (LowerAscii(arg(1)) == "--all") {
    state.RangeStart = EncodeDate(2100, 1, 1);
    state.RangeEnd = EncodeDate(1998, 1, 1);
    for (const RSALE& sale : state.Sales) {
      if (sale.SaleDate < state.RangeStart) state.RangeStart = sale.SaleDate;
      if (sale.SaleDate >= state.RangeEnd) state.RangeEnd = sale.SaleDate + 1;
    }
  } else {
    state.RangeStart = ReadRangeDate(arg(2));
    state.RangeEnd = ReadRangeDate(arg(4));
    if (!(state.RangeStart < state.RangeEnd)) {
      warnings.Add("the range " + Quoted(arg(2)) + " to " + Quoted(arg(4)) +
                   " holds no day (the end date is the first day not reported)");
      return;
    }
    if (state.Sales.empty()) return;
    double first = (*state.Sales.begin()).SaleDate, last = first;
    for (const RSALE& sale : state.Sales) {
      if (sale.SaleDate >= state.RangeStart && sale.SaleDate < state.RangeEnd) return;
      first = std::min(first, sale.SaleDate);
      last = std::max(last, sale.SaleDate);
    }
    warnings.Add("the range " + Quoted(arg(2)) + " to " + Quoted(arg(4)) +
                 " holds no purchase; the purchases read run from " + DayText(first) + " to " +
                 DayText(last));
  }
}

}  // namespace tollwick
