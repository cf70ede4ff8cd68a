// The tally of one date window: sales counted per market line and per title line, and the
// price of every counted sale summed per currency of the currency table.
//
// Lines come from the SKU table in its sorted order. Consecutive SKUs with the same key
// (Market + " " + OsType + " " + Title) share a market line named by that key; when the key
// changes, the old line is closed, and when the title changes too, the title line
// "TOTAL " + title of the old title follows it. So names repeat for keys or titles whose SKUs
// are not adjacent, and an empty SKU table gives the two lines "" and "TOTAL ". The lines are
// the same for every window; only their counts change.
//
// A sale counts on the lines of the SKU with its SkuId (none for an unknown SkuId) when
// start <= SaleDate < end, and adds that SKU's Amount to the total of its Currency (nothing
// when the currency is not registered).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/large_memory.h"
#include "base/output_sink.h"
#include "tables/currency_table.h"
#include "tables/sale_table.h"
#include "tables/sku_table.h"

namespace tollwick {

// One line of a tally: a market line, or the total line of a title. Its name is made of the
// texts of the SKU that opened it, which are not copied: "<Market> <OsType> <Title>" for a
// market line, "TOTAL <Title>" for a title line, and "" and "TOTAL " without an SKU.
struct TallyLine {
  const RSKU* Sku = nullptr;
  int64_t Count = 0;
  bool IsTotal = false;  // a title's total line

  std::string Name() const;
  std::string_view Title() const { return Sku != nullptr ? Sku->Title : std::string_view(); }
  // Writes the name, or with `title_only` the title alone, as one field of a line (quoted
  // when it holds the separator, a quotation mark or a line break).
  void WriteName(OutputSink& out, bool title_only = false) const;
};

// The lines and the sales, prepared once so that each window costs one pass over its own
// sales: each sale is kept as the position of its SKU (4 bytes), ordered by day. Built from the
// SKU, sale and currency tables after they are sorted; it must be rebuilt when any of them
// changes.
class PeriodTally {
 public:
  PeriodTally(const SkuTable& skus, const SaleTable& sales, const CurrencyTable& currencies);

  // Sets the line counts and the currency sums for the window start <= d < end. A sum that
  // would leave 64 bits raises EInvalidOp.
  void TallyPeriod(double start, double end);

  // The lines with the counts of the last TallyPeriod (0 before the first).
  const std::vector<TallyLine>& lines() const { return lines_; }
  // The sums of the last TallyPeriod in hundredths, one per currency in the order of the
  // currency table.
  const std::vector<int64_t>& currency_sums() const { return currency_sums_; }

 private:
  // What a sale of one SKU adds to.
  struct SkuRef {
    uint32_t line;        // market line
    uint32_t title_line;  // title line
    uint32_t currency;    // index in the currency table, or kNoCurrency
    int32_t amount;
  };
  static constexpr uint32_t kNoCurrency = UINT32_MAX;

  std::vector<TallyLine> lines_;
  std::vector<int64_t> currency_sums_;
  std::vector<SkuRef> skus_;  // by position in the SKU table
  // The sales of known SKUs, ordered by day, as SKU positions. When the days are whole
  // numbers close together, the sales of day first_day_ + k begin at day_begin_[k]; else
  // sale_days_ holds the day of each.
  std::vector<uint32_t, LargeAllocator<uint32_t>> sale_skus_;
  double first_day_ = 0;
  std::vector<size_t> day_begin_;
  std::vector<double, LargeAllocator<double>> sale_days_;
};

}  // namespace tollwick
