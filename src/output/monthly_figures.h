// What the chart sheet of the workbook plots, per calendar month that the reporting range
// touches (each month counted whole, as in the MONTH section): the total converted into the
// total currency, and the sales of the ten titles that sold most in the range, the sales of
// every other title summed as "Other".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/day_number.h"
#include "output/period_tally.h"
#include "tables/currency_table.h"
#include "tables/rate_table.h"

namespace tollwick {

struct MonthlyChart {
  std::vector<CivilDate> Months;  // first day of each month, in order
  std::vector<int64_t> Totals;    // per month, hundredths of the total currency
  // The titles, most sales in the range first (ties in table order), then "Other" when the
  // titles left out sold anything in these months. Titles of equal name count as one.
  std::vector<std::string> Series;
  std::vector<std::vector<int64_t>> Counts;  // Counts[month][series]
};

inline constexpr size_t kChartTitles = 10;

// Counts with `tally`, leaving the currency totals of the last month in `currencies`.
// Conversion errors are those of the MONTH section.
MonthlyChart CollectMonthlyChart(PeriodTally& tally, CurrencyTable& currencies,
                                 const RateTable& rates, double range_start, double range_end);

}  // namespace tollwick
