#include "output/period_sections.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "output/format.h"
#include "output/period_tally.h"
#include "tables/day_number.h"
#include "tables/errors.h"

namespace tollwick {

int64_t ShareOfTotal(int64_t total) {
  // 7 * total / 10 without overflow: with total = 10a + b, it is 7a + 7b / 10, and 7a fits
  // because |a| <= 2^63 / 10. The remainder decides the rounding, a half going to even.
  int64_t a = total / 10, b = total % 10;
  int64_t quotient = 7 * a + 7 * b / 10;
  int64_t remainder = 7 * b % 10;  // same sign as total
  if (remainder > 5 || (remainder == 5 && quotient % 2 != 0)) ++quotient;
  if (remainder < -5 || (remainder == -5 && quotient % 2 != 0)) --quotient;
  return quotient;
}

namespace {

// The column titles after the label of a header line.
void WriteHeaderColumns(RunState& state, const std::vector<RAPPS>& lines) {
  const ReportOptions& options = state.Options;
  std::string& out = state.Output.buffer();
  for (const RAPPS& line : lines) {
    if (options.ShowMarkets) {
      out += line.Name;
      out += ';';
      if (line.IsTotal) out += ';';
    } else if (line.IsTotal) {
      // The title without the "TOTAL " in front.
      out += std::string_view(line.Name).substr(std::min<size_t>(6, line.Name.size()));
      out += ';';
    }
  }
  if (!options.ShowMarkets) out += ';';
  if (options.ShowCurrencies) {
    for (const RCUR& currency : state.Currencies.records()) {
      out += currency.Code;
      out += ';';
    }
    out += ';';
  }
  out += "TOTAL ";
  out += options.TotalCurrency;
  out += ";;SHARE ";
  out += options.TotalCurrency;
  out += ';';
}

// The values after the label of a row, from the counts of `lines` and the currency totals;
// adds the converted totals to RowTotal. A failed conversion leaves what is written so far.
void WriteRowValues(RunState& state, const std::vector<RAPPS>& lines) {
  const ReportOptions& options = state.Options;
  std::string& out = state.Output.buffer();
  for (const RAPPS& line : lines) {
    if (options.ShowMarkets) {
      AppendInteger(out, line.Count);
      out += ';';
      if (line.IsTotal) out += ';';
    } else if (line.IsTotal) {
      AppendInteger(out, line.Count);
      out += ';';
    }
  }
  if (!options.ShowMarkets) out += ';';
  for (const RCUR& currency : state.Currencies.records()) {
    if (options.ShowCurrencies) {
      AppendCents(out, currency.Total);
      out += ';';
    }
    int64_t converted = state.Rates.ConvertToTotal(currency.Code, currency.Total);
    if (__builtin_add_overflow(state.RowTotal, converted, &state.RowTotal))
      Raise(ErrorKind::EInvalidOp, std::string(kInvalidOpMessage));
  }
  if (options.ShowCurrencies) out += ';';
  AppendCents(out, state.RowTotal);
  out += ";;";
  AppendCents(out, ShareOfTotal(state.RowTotal));
  out += ';';
}

// The first day of each window, and the first day of the next one.
struct Window {
  double start;
  double end;
};

Window YearWindow(const CivilDate& date) {
  double start = EncodeDate(date.year, 1, 1);
  return {start, start + (IsLeapYear(date.year) ? 366 : 365)};
}

Window MonthWindow(const CivilDate& date) {
  double start = EncodeDate(date.year, date.month, 1);
  return {start, start + DaysInMonth(date.year, date.month)};
}

}  // namespace

void WritePeriodSection(RunState& state, SectionKind kind) {
  const ReportOptions& options = state.Options;
  OutputSink& out = state.Output;
  PeriodTally tally(state);
  const double range_start = state.RangeStart, range_end = state.RangeEnd;

  if (kind == SectionKind::Total) {
    tally.Count(state.Currencies, range_start, range_end);
    if (options.ShowHeaders) {
      out.Append("TOTAL;");
      WriteHeaderColumns(state, tally.lines());
      out.EndLine();
    }
    state.RowTotal = 0;
    out.Append(';');  // the row's label is empty
    WriteRowValues(state, tally.lines());
    out.EndLine();
    out.EndLine();
    tally.CopyTo(state.Tally);
    return;
  }

  if (options.ShowHeaders) {
    // The column titles are the same for every window. When no tally has been made in this
    // run yet, one is made here for the header.
    if (state.Tally.empty()) {
      tally.Count(state.Currencies, range_start, range_end);
      tally.CopyTo(state.Tally);
    }
    out.Append(kind == SectionKind::Year    ? "YEAR;"
               : kind == SectionKind::Month ? "MONTH;"
                                            : "DATE;");
    WriteHeaderColumns(state, tally.lines());
    out.EndLine();
  }

  bool counted = false;
  // Every day from the start up to the day before the end. A YEAR or MONTH row stands for
  // all the days of its window, which follow each other, so the walk jumps past them.
  for (double day = range_start; day <= range_end - 1;) {
    CivilDate date = DecodeDate(day);
    Window window = kind == SectionKind::Year    ? YearWindow(date)
                    : kind == SectionKind::Month ? MonthWindow(date)
                                                 : Window{day, day + 1};
    tally.Count(state.Currencies, window.start, window.end);
    counted = true;
    state.RowTotal = 0;
    std::string& buf = out.buffer();
    AppendPadded(buf, date.year, 4);
    if (kind != SectionKind::Year) AppendPadded(buf, date.month, 2);
    if (kind == SectionKind::Date) AppendPadded(buf, date.day, 2);
    buf += ';';
    WriteRowValues(state, tally.lines());
    out.EndLine();
    day += std::max(1.0, std::ceil(window.end - day));
  }
  out.EndLine();
  if (counted) tally.CopyTo(state.Tally);
}

}  // namespace tollwick
