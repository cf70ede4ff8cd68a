#include "page/page_data.h"

#include <algorithm>
#include <unordered_map>

#include "output/period_sections.h"

namespace tollwick {

namespace {

// Sums of counts and cents per line, handed out as cells of the lines that sold, by line.
class CellSums {
 public:
  explicit CellSums(size_t lines) : count_(lines, 0), cents_(lines, 0) {}
  void Add(uint32_t line, int64_t count, int64_t cents) {
    if (count_[line] == 0) touched_.push_back(line);
    count_[line] += count;
    cents_[line] += cents;
  }
  std::vector<PageCell> Take() {
    std::sort(touched_.begin(), touched_.end());
    std::vector<PageCell> cells;
    cells.reserve(touched_.size());
    for (uint32_t line : touched_) {
      cells.push_back({line, count_[line], cents_[line]});
      count_[line] = cents_[line] = 0;
    }
    touched_.clear();
    return cells;
  }

 private:
  std::vector<int64_t> count_, cents_;
  std::vector<uint32_t> touched_;
};

}  // namespace

Figure ConvertCells(const PageData& data, const RateTable& rates,
                    const std::vector<PageCell>& cells) {
  std::vector<int64_t> sums(data.Currencies.size(), 0);
  for (const PageCell& cell : cells) {
    const uint32_t currency = data.Lines[cell.Line].Currency;
    if (currency != kPageNoCurrency &&
        __builtin_add_overflow(sums[currency], cell.Cents, &sums[currency]))
      return std::nullopt;
  }
  Figure total = 0;
  for (size_t c = 0; c < sums.size() && total; ++c) {
    const Figure part = rates.TryConvertToTotal(data.Currencies[c], sums[c]);
    if (!part || __builtin_add_overflow(*total, *part, &*total)) total.reset();
  }
  return total;
}

PageData BuildPageData(const MonthlyFigures& figures, const SkuTable& skus, const SaleTable& sales,
                       const CurrencyTable& currencies, const RateTable& rates,
                       std::string_view total_currency, double range_start, double range_end) {
  PageData data;
  data.TotalCurrency = total_currency;
  data.FirstDay = DecodeDate(range_start);
  data.LastDay = DecodeDate(range_end - 1);
  data.RangeDays = range_end > range_start ? static_cast<int64_t>(range_end - range_start) : 0;
  data.Titles = figures.Titles();
  data.Markets = figures.Markets();
  for (const CurrencyRecord& currency : currencies) {
    data.Currencies.push_back(currency.Code);
    data.Rates.emplace_back();
  }
  for (const ExchangeRate& rate : rates) {
    const size_t c = currencies.Find(rate.Code);
    if (c == CurrencyTable::npos) continue;
    // A zero rate anywhere among a code's entries fails every conversion of a non-zero amount.
    const bool failed = (data.Rates[c] && *data.Rates[c] == 0) || rate.Rate == 0;
    data.Rates[c] = failed ? 0 : rate.Rate;
  }
  for (auto& rate : data.Rates)
    if (rate && *rate == 0) rate.reset();

  // One line per title, market and price currency, numbered in SKU table order.
  std::vector<uint32_t> line_of_sku(skus.size());
  std::unordered_map<uint64_t, uint32_t> line_number;
  for (size_t i = 0; i < skus.size(); ++i) {
    size_t currency = currencies.Find(skus[i].Currency);
    const PageLine line{
        figures.TitleOf(i), figures.MarketOf(i),
        currency == CurrencyTable::npos ? kPageNoCurrency : static_cast<uint32_t>(currency)};
    // Titles and markets number below 2^32 each, currencies below 2^16 in any real table.
    const uint64_t key = (uint64_t{line.Title} << 32) ^ (uint64_t{line.Market} << 16) ^
                         (line.Currency == kPageNoCurrency ? 0xFFFF : line.Currency);
    auto [it, added] = line_number.try_emplace(key, static_cast<uint32_t>(data.Lines.size()));
    if (added) data.Lines.push_back(line);
    line_of_sku[i] = it->second;
  }
  auto cents = [&skus, &data, &line_of_sku](size_t sku, int64_t count) -> int64_t {
    // Below 2^32 sales of prices below 2^31 in size: the product fits.
    return data.Lines[line_of_sku[sku]].Currency == kPageNoCurrency ? 0 : count * skus[sku].Amount;
  };
  CellSums sums(data.Lines.size());

  // Months, from the figures the workbook draws.
  CivilDate month = DecodeDate(range_start);
  for (size_t m = 0; m < figures.size(); ++m) {
    data.Months.push_back({month.year, month.month, 1});
    month =
        DecodeDate(EncodeDate(month.year, month.month, 1) + DaysInMonth(month.year, month.month));
    for (const MonthlyFigures::SkuSales& sold : figures.SoldIn(m))
      sums.Add(line_of_sku[sold.sku], sold.count, cents(sold.sku, sold.count));
    data.MonthCells.push_back(sums.Take());
  }

  // The range, the period before it, and the last days, in one pass over the sales.
  const double previous_start = range_start - static_cast<double>(data.RangeDays);
  const double first_listed = std::max(range_start, range_end - kPageDays);
  data.FirstListedDay = DecodeDate(first_listed);
  const size_t listed_days =
      range_end > first_listed ? static_cast<size_t>(range_end - first_listed) : 0;
  std::vector<uint32_t> sku_of_number(sales.SkuIdCount());
  for (size_t n = 0; n < sku_of_number.size(); ++n) {
    const size_t i = skus.Find(sales.SkuIdAt(n));
    sku_of_number[n] = i == SkuTable::npos ? UINT32_MAX : static_cast<uint32_t>(i);
  }
  CellSums previous(data.Lines.size());
  std::vector<uint64_t> listed;  // day offset << 32 | line, for the sales of the last days
  for (size_t s = 0; s < sales.size(); ++s) {
    const uint32_t sku = sku_of_number[sales.SkuNumber(s)];
    const double day = sales.SaleDate(s);
    if (sku == UINT32_MAX || !(day >= previous_start && day < range_end)) continue;
    if (day < range_start) {
      previous.Add(line_of_sku[sku], 1, cents(sku, 1));
      continue;
    }
    sums.Add(line_of_sku[sku], 1, cents(sku, 1));
    ++data.Sales;
    if (day >= first_listed)
      listed.push_back(static_cast<uint64_t>(day - first_listed) << 32 | line_of_sku[sku]);
  }
  data.RangeCells = sums.Take();
  data.PreviousCells = previous.Take();
  std::sort(listed.begin(), listed.end());
  data.DayCells.resize(listed_days);
  for (size_t k = 0; k < listed.size(); ++k) {
    auto& cells = data.DayCells[listed[k] >> 32];
    const auto line = static_cast<uint32_t>(listed[k]);
    if (cells.empty() || cells.back().Line != line) cells.push_back({line, 0, 0});
    ++cells.back().Count;
  }

  data.Total = ConvertCells(data, rates, data.RangeCells);
  if (data.Total) data.Share = ShareOfTotal(*data.Total);
  data.PreviousTotal = ConvertCells(data, rates, data.PreviousCells);
  return data;
}

}  // namespace tollwick
