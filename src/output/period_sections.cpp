#include "output/period_sections.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>

#include "base/day_number.h"
#include "base/errors.h"
#include "output/format.h"
#include "output/period_tally.h"

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
void WriteHeaderColumns(const PeriodSectionInputs& in, const std::vector<TallyLine>& lines,
                        OutputSink& sink) {
  const ReportOptions& options = in.options;
  for (const TallyLine& line : lines) {
    if (options.ShowMarkets) {
      line.WriteName(sink);
      sink.Append(';');
      if (line.IsTotal) sink.Append(';');
    } else if (line.IsTotal) {
      line.WriteName(sink, /*title_only=*/true);  // the title without the "TOTAL " in front
      sink.Append(';');
    }
  }
  std::string& out = sink.buffer();
  if (!options.ShowMarkets) out += ';';
  if (options.ShowCurrencies) {
    for (const CurrencyRecord& currency : in.currencies) {
      AppendTextField(out, currency.Code);
      out += ';';
    }
    out += ';';
  }
  AppendTextField(out, "TOTAL " + options.TotalCurrency);
  out += ";;";
  AppendTextField(out, "SHARE " + options.TotalCurrency);
  out += ';';
}

// The values after the label of a row, from the line counts and currency sums of the tally's
// window, with their sum converted into the total currency and its share; gives that sum back.
// A failed conversion leaves what is written so far.
int64_t WriteRowValues(const PeriodSectionInputs& in, const PeriodTally& tally, std::string& out) {
  const ReportOptions& options = in.options;
  const std::vector<TallyLine>& lines = tally.lines();
  // The counts cannot fail: they are written by pointer into a scratch text first, which costs
  // a fraction of appending them one by one.
  const auto scratch =
      std::make_unique_for_overwrite<char[]>(lines.size() * (kMaxIntegerText + 2) + 1);
  char* at = scratch.get();
  for (const TallyLine& line : lines) {
    if (options.ShowMarkets) {
      at = PutInteger(at, line.Count);
      *at++ = ';';
      if (line.IsTotal) *at++ = ';';
    } else if (line.IsTotal) {
      at = PutInteger(at, line.Count);
      *at++ = ';';
    }
  }
  if (!options.ShowMarkets) *at++ = ';';
  out.append(scratch.get(), at);
  int64_t row_total = 0;
  for (size_t c = 0; c < in.currencies.size(); ++c) {
    const int64_t sum = tally.currency_sums()[c];
    if (options.ShowCurrencies) {
      AppendCents(out, sum);
      out += ';';
    }
    int64_t converted = in.rates.ConvertToTotal(in.currencies[c].Code, sum);
    if (__builtin_add_overflow(row_total, converted, &row_total))
      Raise(ErrorKind::EInvalidOp, std::string(kInvalidOpMessage));
  }
  if (options.ShowCurrencies) out += ';';
  AppendCents(out, row_total);
  out += ";;";
  AppendCents(out, ShareOfTotal(row_total));
  out += ';';
  return row_total;
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

// Hands the row just written to `rows`.
void PassRow(SectionKind kind, const CivilDate& date, int64_t row_total, const PeriodTally& tally,
             const PeriodSectionInputs& in, SectionRows& rows) {
  rows.Row(kind, PeriodRow{date, tally.lines(), in.currencies, tally.currency_sums(), row_total,
                           ShareOfTotal(row_total)});
}

}  // namespace

void WritePeriodSection(SectionKind kind, PeriodTally& tally, const PeriodSectionInputs& in,
                        OutputSink& out, SectionRows* rows) {
  const ReportOptions& options = in.options;
  const double range_start = in.range_start, range_end = in.range_end;

  if (kind == SectionKind::Total) {
    tally.TallyPeriod(range_start, range_end);
    if (rows != nullptr) rows->BeginSection(kind, tally.lines(), in.currencies);
    if (options.ShowHeaders) {
      out.Append("TOTAL;");
      WriteHeaderColumns(in, tally.lines(), out);
      out.EndLine();
    }
    out.Append(';');  // the row's label is empty
    int64_t row_total = WriteRowValues(in, tally, out.buffer());
    out.EndLine();
    if (rows != nullptr) PassRow(kind, CivilDate{}, row_total, tally, in, *rows);
    out.EndLine();
    return;
  }

  if (rows != nullptr) rows->BeginSection(kind, tally.lines(), in.currencies);
  if (options.ShowHeaders) {
    // The line names are the same for every window, whether or not one was counted yet.
    out.Append(kind == SectionKind::Year    ? "YEAR;"
               : kind == SectionKind::Month ? "MONTH;"
                                            : "DATE;");
    WriteHeaderColumns(in, tally.lines(), out);
    out.EndLine();
  }

  // Every day from the start up to the day before the end. A YEAR or MONTH row stands for
  // all the days of its window, which follow each other, so the walk jumps past them.
  for (double day = range_start; day <= range_end - 1;) {
    CivilDate date = DecodeDate(day);
    Window window = kind == SectionKind::Year    ? YearWindow(date)
                    : kind == SectionKind::Month ? MonthWindow(date)
                                                 : Window{day, day + 1};
    tally.TallyPeriod(window.start, window.end);
    std::string& buf = out.buffer();
    AppendPadded(buf, date.year, 4);
    if (kind != SectionKind::Year) AppendPadded(buf, date.month, 2);
    if (kind == SectionKind::Date) AppendPadded(buf, date.day, 2);
    buf += ';';
    int64_t row_total = WriteRowValues(in, tally, buf);
    out.EndLine();
    if (rows != nullptr) PassRow(kind, date, row_total, tally, in, *rows);
    day += std::max(1.0, std::ceil(window.end - day));
  }
  out.EndLine();
}

}  // namespace tollwick
