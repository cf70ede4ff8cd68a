// The period tally in its plainest form, for checking the fast one: every SKU is compared with
// every sale. Quadratic; only for small test tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/period_tally.h"

namespace tollwick::literal {

// Sets `sums` to zero per currency, then walks the SKUs in table order, closing a market line
// whenever the key Market + " " + OsType + " " + Title changes and a title line when the title
// has changed with it, and counts the sales start <= d < end of each SKU. Returns the lines.
struct TallyLine {
  std::string Name;
  int64_t Count = 0;
  bool IsTotal = false;
};
std::vector<TallyLine> TallyPeriod(const SkuTable& skus, const SaleTable& sales,
                                   const CurrencyTable& currencies, std::vector<int64_t>& sums,
                                   double start, double end);

}  // namespace tollwick::literal
