// The figures the sales page embeds, from which its script draws every chart and table and
// recomputes them for a title, a market and a span of months.
//
// Sales are grouped into lines of one title, one market and one price currency; the page holds
// per line the number of sales and their money in hundredths of the price currency (integers,
// unconverted): per calendar month the range touches, counted whole as the workbook's Revenue
// and Markets sheets count them (from the same MonthlyFigures); for the range itself; for the
// period of the same length just before it; and per day for the last 90 days of the range. The
// script converts sums of a currency with its rate as the TOTAL column converts them.
//
// The header's figures for the whole range are computed here as the TOTAL row computes them,
// so they equal it to the cent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/day_number.h"
#include "output/monthly_figures.h"
#include "tables/currency_table.h"
#include "tables/rate_table.h"
#include "tables/sale_table.h"
#include "tables/sku_table.h"

namespace tollwick {

inline constexpr uint32_t kPageNoCurrency = UINT32_MAX;
inline constexpr int kPageDays = 90;

struct PageLine {
  uint32_t Title;     // in PageData::Titles
  uint32_t Market;    // in PageData::Markets
  uint32_t Currency;  // in PageData::Currencies, or kPageNoCurrency for unpriced SKUs
};

// The sales of one line in some period. Cents is in the line's price currency.
struct PageCell {
  uint32_t Line;
  int64_t Count;
  int64_t Cents;
  bool operator==(const PageCell&) const = default;
};

struct PageData {
  std::string TotalCurrency;
  CivilDate FirstDay{}, LastDay{};  // of the range; LastDay before FirstDay for an empty range
  int64_t RangeDays = 0;
  std::vector<std::string_view> Titles, Markets;  // as MonthlyFigures numbers them
  std::vector<std::string_view> Currencies;       // the currency table's codes, in its order
  // Per currency, the rate ConvertToTotal divides by; none where it raises for every amount
  // but 0 (no rate, or a zero rate).
  std::vector<std::optional<long double>> Rates;
  std::vector<PageLine> Lines;
  std::vector<CivilDate> Months;                  // first days
  std::vector<std::vector<PageCell>> MonthCells;  // per month, lines that sold, by line
  std::vector<PageCell> RangeCells;               // lines that sold in the range
  std::vector<PageCell> PreviousCells;            // in the period before, as long as the range
  CivilDate FirstListedDay{};                     // the first of the days of DayCells
  std::vector<std::vector<PageCell>> DayCells;    // last days of the range; Cents left 0

  // The header: the range's money in the total currency (none where a conversion fails),
  // its number of sales and the 70 % share, as the TOTAL row gives them; and the money of the
  // period before.
  Figure Total;
  int64_t Sales = 0;
  Figure Share;
  Figure PreviousTotal;
};

// The money of `cells` in the total currency: each currency's sum converted as the TOTAL
// column converts it; none where a conversion fails or a sum leaves 64 bits.
Figure ConvertCells(const PageData& data, const RateTable& rates,
                    const std::vector<PageCell>& cells);

PageData BuildPageData(const MonthlyFigures& figures, const SkuTable& skus, const SaleTable& sales,
                       const CurrencyTable& currencies, const RateTable& rates,
                       std::string_view total_currency, double range_start, double range_end);

}  // namespace tollwick
