#include "app/reporting_range.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "base/day_number.h"
#include "base/text.h"

namespace tollwick {

namespace {

// The day, month and year pieces of a DDMMYYYY text.
std::array<std::string_view, 3> RangeDatePieces(std::string_view text) {
  auto piece = [text](size_t from, size_t len) {
    return from < text.size() ? text.substr(from, len) : std::string_view();
  };
  return {piece(0, 2), piece(2, 2), piece(4, 4)};
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

void CheckRangeDates(const RangeWords& words, WarningList& warnings) {
  if (words.AllDates()) return;
  for (const std::string* date : {&words.Start, &words.End}) {
    const auto [day, month, year] = RangeDatePieces(*date);
    int32_t d = 0, m = 0, y = 0;
    if (TryStrToInt(day, d) && TryStrToInt(month, m) && TryStrToInt(year, y) &&
        IsValidDate(y, m, d))
      continue;
    warnings.Add("the first argument " + Quoted(words.First) +
                 " is not --all, so the 2nd and 4th arguments must be the dates of the range, "
                 "as DDMMYYYY");
    ReadRangeDate(*date);  // raises the date's error
  }
}

ReportingRange ResolveReportingRange(const RangeWords& words, const SaleTable& sales,
                                     WarningList& warnings) {
  ReportingRange range;
  if (words.AllDates()) {
    range.Start = EncodeDate(2100, 1, 1);
    range.End = EncodeDate(1998, 1, 1);
    for (const RSALE& sale : sales) {
      if (sale.SaleDate < range.Start) range.Start = sale.SaleDate;
      if (sale.SaleDate >= range.End) range.End = sale.SaleDate + 1;
    }
    return range;
  }
  range.Start = ReadRangeDate(words.Start);
  range.End = ReadRangeDate(words.End);
  const std::string dates = "the range " + Quoted(words.Start) + " to " + Quoted(words.End);
  if (!(range.Start < range.End)) {
    warnings.Add(dates + " holds no day (the end date is the first day not reported)");
    return range;
  }
  if (sales.empty()) return range;
  double first = (*sales.begin()).SaleDate, last = first;
  for (const RSALE& sale : sales) {
    if (sale.SaleDate >= range.Start && sale.SaleDate < range.End) return range;
    first = std::min(first, sale.SaleDate);
    last = std::max(last, sale.SaleDate);
  }
  warnings.Add(dates + " holds no purchase; the purchases read run from " + DayText(first) +
               " to " + DayText(last));
  return range;
}

}  // namespace tollwick
