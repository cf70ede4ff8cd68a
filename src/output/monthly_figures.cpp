#include "output/monthly_figures.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace tollwick {

namespace {

// A sum of prices in one currency, which remembers leaving 64 bits instead of wrapping.
struct CurrencySum {
  int64_t value = 0;
  bool overflow = false;
  void Add(int64_t amount) { overflow = overflow || __builtin_add_overflow(value, amount, &value); }
};

Figure Converted(const RateTable& rates, std::string_view code, const CurrencySum& sum) {
  return sum.overflow ? std::nullopt : rates.TryConvertToTotal(code, sum.value);
}

// Adds `part` to `into`; either being unknown, or the sum leaving 64 bits, leaves it unknown.
void Accumulate(Figure& into, const Figure& part) {
  if (into && (!part || __builtin_add_overflow(*into, *part, &*into))) into.reset();
}

// Numbers the distinct texts of `count` items in the order they first occur, appending each to
// `order`, and gives every item's number.
template <typename TextOf>
std::vector<uint32_t> Number(size_t count, TextOf text_of, std::vector<std::string_view>& order) {
  std::unordered_map<std::string_view, uint32_t> number;
  std::vector<uint32_t> of(count);
  for (size_t i = 0; i < count; ++i) {
    auto [it, added] = number.try_emplace(text_of(i), static_cast<uint32_t>(order.size()));
    if (added) order.push_back(it->first);
    of[i] = it->second;
  }
  return of;
}

// The titles with the largest positive `amounts`, at most kChartTitles, largest first, ties
// in title order.
template <typename T>
std::vector<size_t> Leaders(const std::vector<T>& amounts) {
  std::vector<size_t> order(amounts.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&amounts](size_t a, size_t b) { return amounts[a] > amounts[b]; });
  size_t shown = 0;
  while (shown < order.size() && shown < kChartTitles && amounts[order[shown]] > 0) ++shown;
  order.resize(shown);
  return order;
}

}  // namespace

MonthlyFigures::MonthlyFigures(const SkuTable& skus, const SaleTable& sales,
                               const CurrencyTable& currencies, const RateTable& rates,
                               double range_start, double range_end)
    : skus_(skus), currencies_(currencies), rates_(rates) {
  const size_t sku_count = skus.size();
  sku_title_ = Number(
      sku_count, [&skus](size_t i) -> std::string_view { return skus[i].Title; }, titles_);
  std::vector<std::string_view> markets;
  std::vector<uint32_t> market_number = Number(
      sku_count, [&skus](size_t i) -> std::string_view { return skus[i].Market; }, markets);
  // Markets in byte order.
  std::vector<uint32_t> market_rank(markets.size());
  std::iota(market_rank.begin(), market_rank.end(), 0);
  std::sort(market_rank.begin(), market_rank.end(),
            [&markets](uint32_t a, uint32_t b) { return markets[a] < markets[b]; });
  std::vector<uint32_t> market_position(markets.size());
  for (uint32_t r = 0; r < market_rank.size(); ++r) {
    markets_.push_back(markets[market_rank[r]]);
    market_position[market_rank[r]] = r;
  }

  // Each SKU with a registered price currency adds to one part of its title and of its market.
  std::unordered_map<uint64_t, uint32_t> title_part, market_part;
  auto part = [](std::unordered_map<uint64_t, uint32_t>& numbers, std::vector<Part>& parts,
                 uint32_t owner, uint32_t currency) {
    auto [it, added] =
        numbers.try_emplace(uint64_t{owner} << 32 | currency, static_cast<uint32_t>(parts.size()));
    if (added) parts.push_back({owner, currency});
    return it->second;
  };
  sku_market_.resize(sku_count);
  sku_currency_.resize(sku_count, kNoCurrency);
  sku_title_part_.resize(sku_count);
  sku_market_part_.resize(sku_count);
  for (size_t i = 0; i < sku_count; ++i) {
    sku_market_[i] = market_position[market_number[i]];
    size_t currency = currencies.Find(skus[i].Currency);
    if (currency == CurrencyTable::npos) continue;
    sku_currency_[i] = static_cast<uint32_t>(currency);
    sku_title_part_[i] = part(title_part, title_parts_, sku_title_[i], sku_currency_[i]);
    sku_market_part_[i] = part(market_part, market_parts_, sku_market_[i], sku_currency_[i]);
  }

  // Every month from the one of the first day up to the one of the last day of the range.
  for (double day = range_start; day <= range_end - 1;) {
    CivilDate date = DecodeDate(day);
    month_starts_.push_back(EncodeDate(date.year, date.month, 1));
    day = month_starts_.back() + DaysInMonth(date.year, date.month);
  }
  if (!month_starts_.empty()) {
    CivilDate last = DecodeDate(month_starts_.back());
    month_starts_.push_back(month_starts_.back() + DaysInMonth(last.year, last.month));
  }

  // The sales of known SKUs, by month: counted per month, placed, then counted per SKU.
  range_sales_.assign(titles_.size(), 0);
  std::vector<uint32_t> sku_of_number(sales.SkuIdCount());
  for (size_t n = 0; n < sku_of_number.size(); ++n) {
    size_t i = skus.Find(sales.SkuIdAt(n));
    sku_of_number[n] = i == SkuTable::npos ? UINT32_MAX : static_cast<uint32_t>(i);
  }
  const size_t months = size();
  // The month of a day, or `months` for a day outside them.
  auto month_of = [this, months](double day) -> size_t {
    if (months == 0 || !(day >= month_starts_.front() && day < month_starts_.back())) return months;
    return static_cast<size_t>(std::upper_bound(month_starts_.begin(), month_starts_.end(), day) -
                               month_starts_.begin() - 1);
  };
  std::vector<size_t> month_end(months + 1, 0);
  for (size_t s = 0; s < sales.size(); ++s) {
    uint32_t sku = sku_of_number[sales.SkuNumber(s)];
    if (sku == UINT32_MAX) continue;
    double day = sales.SaleDate(s);
    if (day >= range_start && day < range_end) ++range_sales_[sku_title_[sku]];
    if (size_t m = month_of(day); m < months) ++month_end[m + 1];
  }
  std::partial_sum(month_end.begin(), month_end.end(), month_end.begin());
  std::vector<uint32_t> by_month(month_end.back());
  std::vector<size_t> next(month_end.begin(), month_end.end() - 1);
  for (size_t s = 0; s < sales.size(); ++s) {
    uint32_t sku = sku_of_number[sales.SkuNumber(s)];
    if (sku == UINT32_MAX) continue;
    if (size_t m = month_of(sales.SaleDate(s)); m < months) by_month[next[m]++] = sku;
  }
  std::vector<uint32_t> count(sku_count, 0);
  std::vector<uint32_t> sold_skus;
  month_first_.assign(1, 0);
  for (size_t m = 0; m < months; ++m) {
    for (size_t k = month_end[m]; k < month_end[m + 1]; ++k)
      if (count[by_month[k]]++ == 0) sold_skus.push_back(by_month[k]);
    for (uint32_t sku : sold_skus) {
      sold_.push_back({sku, count[sku]});
      count[sku] = 0;
    }
    sold_skus.clear();
    month_first_.push_back(sold_.size());
  }
}

void MonthlyFigures::Compute(size_t m, MonthFigures& out) const {
  out.Month = DecodeDate(month_starts_[m]);
  out.TitleSales.assign(titles_.size(), 0);
  std::vector<CurrencySum> currency_sums(currencies_.size()), title_sums(title_parts_.size()),
      market_sums(market_parts_.size());
  for (size_t k = month_first_[m]; k < month_first_[m + 1]; ++k) {
    const SkuSales& sold = sold_[k];
    out.TitleSales[sku_title_[sold.sku]] += sold.count;
    if (sku_currency_[sold.sku] == kNoCurrency) continue;
    // Below 2^32 sales of prices below 2^31 in size: the product fits.
    int64_t amount = int64_t{sold.count} * skus_[sold.sku].Amount;
    currency_sums[sku_currency_[sold.sku]].Add(amount);
    title_sums[sku_title_part_[sold.sku]].Add(amount);
    market_sums[sku_market_part_[sold.sku]].Add(amount);
  }
  // The total converts every currency, as the TOTAL column does; a part converts only what
  // it holds.
  out.Total = 0;
  for (size_t c = 0; c < currencies_.size(); ++c)
    Accumulate(out.Total, Converted(rates_, currencies_[c].Code, currency_sums[c]));
  auto parts = [this](const std::vector<Part>& kinds, const std::vector<CurrencySum>& sums,
                      size_t owners, std::vector<Figure>& money) {
    money.assign(owners, Figure(0));
    for (size_t p = 0; p < kinds.size(); ++p)
      if (sums[p].value != 0 || sums[p].overflow)
        Accumulate(money[kinds[p].owner],
                   Converted(rates_, currencies_[kinds[p].currency].Code, sums[p]));
  };
  parts(title_parts_, title_sums, titles_.size(), out.TitleMoney);
  parts(market_parts_, market_sums, markets_.size(), out.MarketMoney);
}

MonthlyChart CollectMonthlyChart(const MonthlyFigures& figures) {
  MonthlyChart chart;
  const size_t titles = figures.Titles().size();
  const std::vector<size_t> best_sellers = Leaders(figures.RangeSales());
  // The series of each title: its place among the leaders, or "Other" after them.
  auto series_of = [titles](const std::vector<size_t>& leaders) {
    std::vector<size_t> series(titles, leaders.size());
    for (size_t s = 0; s < leaders.size(); ++s) series[leaders[s]] = s;
    return series;
  };
  const std::vector<size_t> sales_series = series_of(best_sellers);

  // First pass: totals, sales, and the money of each title over all months (exact in a long
  // double up to 2^64, and only ranked).
  MonthFigures month;
  std::vector<long double> brought(titles, 0);
  bool other_sold = false;
  for (size_t m = 0; m < figures.size(); ++m) {
    figures.Compute(m, month);
    chart.Months.push_back(month.Month);
    chart.Totals.push_back(month.Total);
    std::vector<int64_t>& sales = chart.Sales.emplace_back(best_sellers.size() + 1, 0);
    for (size_t t = 0; t < titles; ++t) {
      sales[sales_series[t]] += month.TitleSales[t];
      brought[t] += static_cast<long double>(month.TitleMoney[t].value_or(0));
    }
    other_sold = other_sold || sales.back() != 0;
  }
  for (size_t t : best_sellers) chart.SalesSeries.emplace_back(figures.Titles()[t]);
  if (other_sold) {
    chart.SalesSeries.emplace_back("Other");
  } else {
    for (auto& sales : chart.Sales) sales.pop_back();
  }

  // Second pass: the money of the leading titles and of the others.
  const std::vector<size_t> best_earners = Leaders(brought);
  const std::vector<size_t> money_series = series_of(best_earners);
  bool other_brought = false;
  for (size_t m = 0; m < figures.size(); ++m) {
    figures.Compute(m, month);
    std::vector<Figure>& money = chart.MoneyOf.emplace_back(best_earners.size() + 1, Figure(0));
    for (size_t t = 0; t < titles; ++t) Accumulate(money[money_series[t]], month.TitleMoney[t]);
    other_brought = other_brought || money.back() != Figure(0);
  }
  for (size_t t : best_earners) chart.MoneySeries.emplace_back(figures.Titles()[t]);
  if (other_brought) {
    chart.MoneySeries.emplace_back("Other");
  } else {
    for (auto& money : chart.MoneyOf) money.pop_back();
  }
  return chart;
}

}  // namespace tollwick
