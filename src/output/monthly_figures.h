// What the workbook shows per calendar month of the reporting range besides the sections: the
// money each title and each market brought, beside the month's total, and the sales of each
// title; and from these the tables its charts draw. Every month that the range touches has
// its figures, counted whole as in the MONTH section, whichever sections are shown.
//
// Which sales count is the period tally's rule: a sale counts for the SKU whose id it carries
// (nowhere for an unknown id) and adds that SKU's price to its price currency when that
// currency is registered. A title's or market's money is the sum, over its price currencies,
// of its sales' prices in that currency converted into the total currency as the TOTAL column
// converts a currency's sum, so that the parts add up to the total within the rounding of each
// conversion. The total is the MONTH row's TOTAL. Where the TOTAL column would raise an error
// (a currency without a rate, a zero rate, a sum beyond 64 bits) the figure is left unknown
// instead: the workbook never stops a run that standard output lets complete.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/day_number.h"
#include "tables/currency_table.h"
#include "tables/rate_table.h"
#include "tables/sale_table.h"
#include "tables/sku_table.h"

namespace tollwick {

// Hundredths of the total currency, or nothing where a conversion failed.
using Figure = std::optional<int64_t>;

// The figures of one month; the vectors follow MonthlyFigures::Titles() and Markets().
struct MonthFigures {
  CivilDate Month{};  // its first day
  Figure Total;
  std::vector<Figure> TitleMoney;
  std::vector<Figure> MarketMoney;
  std::vector<int64_t> TitleSales;
};

class MonthlyFigures {
 public:
  // The tables are read, not copied: they must stay as they are while this object is used.
  MonthlyFigures(const SkuTable& skus, const SaleTable& sales, const CurrencyTable& currencies,
                 const RateTable& rates, double range_start, double range_end);

  // The distinct titles in SKU table order, and the distinct markets in byte order.
  const std::vector<std::string_view>& Titles() const { return titles_; }
  const std::vector<std::string_view>& Markets() const { return markets_; }
  // The sales of each title from the first to the last day of the range itself.
  const std::vector<int64_t>& RangeSales() const { return range_sales_; }

  size_t size() const { return month_starts_.empty() ? 0 : month_starts_.size() - 1; }
  // The figures of month `m` (0 <= m < size()), into `out`, whose vectors are reused.
  void Compute(size_t m, MonthFigures& out) const;

  // The SKUs (positions in the SKU table) that sold in month `m`, each once, with their sales.
  struct SkuSales {
    uint32_t sku;
    uint32_t count;
  };
  std::span<const SkuSales> SoldIn(size_t m) const {
    return {sold_.data() + month_first_[m], sold_.data() + month_first_[m + 1]};
  }
  // The title (in Titles()) and market (in Markets()) of the SKU at position `sku`.
  uint32_t TitleOf(size_t sku) const { return sku_title_[sku]; }
  uint32_t MarketOf(size_t sku) const { return sku_market_[sku]; }

 private:
  // An SKU's share of a title's or market's money in one currency.
  struct Part {
    uint32_t owner;  // title or market
    uint32_t currency;
  };
  static constexpr uint32_t kNoCurrency = UINT32_MAX;

  const SkuTable& skus_;
  const CurrencyTable& currencies_;
  const RateTable& rates_;
  std::vector<std::string_view> titles_, markets_;
  std::vector<int64_t> range_sales_;
  std::vector<double> month_starts_;  // the first day of every month, and the day after the last
  std::vector<uint32_t> sku_title_, sku_market_, sku_currency_;
  std::vector<uint32_t> sku_title_part_, sku_market_part_;  // for SKUs with a currency
  std::vector<Part> title_parts_, market_parts_;
  std::vector<SkuSales> sold_;       // per month, the SKUs that sold in it
  std::vector<size_t> month_first_;  // where each month's SKUs begin in sold_, and the end
};

// The table the chart sheet draws: per month its total, the sales of the ten titles that sold
// most in the range and the money of the ten titles that brought most in these months, each
// followed by "Other" for all other titles when they count anything.
struct MonthlyChart {
  std::vector<CivilDate> Months;
  std::vector<Figure> Totals;
  std::vector<std::string> SalesSeries;      // most sales first (ties in title order)
  std::vector<std::vector<int64_t>> Sales;   // [month][series]
  std::vector<std::string> MoneySeries;      // most money first (ties in title order)
  std::vector<std::vector<Figure>> MoneyOf;  // [month][series]
};

inline constexpr size_t kChartTitles = 10;

MonthlyChart CollectMonthlyChart(const MonthlyFigures& figures);

}  // namespace tollwick
