#include "output/monthly_chart.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

#include "base/errors.h"

namespace tollwick {

MonthlyChart CollectMonthlyChart(PeriodTally& tally, CurrencyTable& currencies,
                                 const RateTable& rates, double range_start, double range_end) {
  MonthlyChart chart;
  // Every title line maps onto its title; titles whose SKUs are not adjacent have several.
  tally.TallyPeriod(currencies, range_start, range_end);
  const auto& lines = tally.lines();
  std::vector<std::string> titles;
  std::vector<int64_t> sold;
  std::unordered_map<std::string_view, size_t> title_of_name;
  std::vector<size_t> line_title(lines.size(), SIZE_MAX);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].IsTotal) continue;
    std::string_view title = lines[i].Title();
    auto [it, added] = title_of_name.try_emplace(title, titles.size());
    if (added) {
      titles.emplace_back(title);
      sold.push_back(0);
    }
    line_title[i] = it->second;
    sold[it->second] += lines[i].Count;
  }

  std::vector<size_t> order(titles.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&sold](size_t a, size_t b) { return sold[a] > sold[b]; });
  size_t shown = 0;
  while (shown < order.size() && shown < kChartTitles && sold[order[shown]] > 0) ++shown;
  const size_t other = shown;  // the series of every title not shown
  std::vector<size_t> series_of_title(titles.size(), other);
  for (size_t s = 0; s < shown; ++s) {
    series_of_title[order[s]] = s;
    chart.Series.push_back(titles[order[s]]);
  }

  // Every month from the one of the first day up to the one of the last day of the range.
  bool other_sold = false;
  for (double day = range_start; day <= range_end - 1;) {
    CivilDate date = DecodeDate(day);
    double start = EncodeDate(date.year, date.month, 1);
    double end = start + DaysInMonth(date.year, date.month);
    tally.TallyPeriod(currencies, start, end);
    int64_t total = 0;
    for (const CurrencyTotal& currency : currencies) {
      if (__builtin_add_overflow(total, rates.ConvertToTotal(currency.Code, currency.Total),
                                 &total))
        Raise(ErrorKind::EInvalidOp, std::string(kInvalidOpMessage));
    }
    std::vector<int64_t> counts(shown + 1);
    for (size_t i = 0; i < lines.size(); ++i)
      if (line_title[i] != SIZE_MAX) counts[series_of_title[line_title[i]]] += lines[i].Count;
    other_sold = other_sold || counts[other] > 0;
    chart.Months.push_back({date.year, date.month, 1});
    chart.Totals.push_back(total);
    chart.Counts.push_back(std::move(counts));
    day = end;
  }
  if (other_sold) {
    chart.Series.push_back("Other");
  } else {
    for (auto& counts : chart.Counts) counts.pop_back();
  }
  return chart;
}

}  // namespace tollwick
