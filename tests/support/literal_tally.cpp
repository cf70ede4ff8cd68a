#include "support/literal_tally.h"

namespace tollwick::literal {

std::vector<TallyLine> TallyPeriod(const SkuTable& skus, const SaleTable& sales,
                                   const CurrencyTable& currencies, std::vector<int64_t>& sums,
                                   double start, double end) {
  std::vector<TallyLine> tally;
  sums.assign(currencies.size(), 0);
  std::string current_key, current_title;
  int64_t line_count = 0, title_count = 0;
  for (size_t i = 0; i < skus.size(); ++i) {
    const RSKU& sku = skus[i];
    std::string key = sku.Market + " " + sku.OsType + " " + sku.Title;
    if (key != current_key) {
      if (i != 0) tally.push_back({current_key, line_count, false});
      line_count = 0;
      current_key = key;
      if (sku.Title != current_title) {
        if (i != 0) tally.push_back({"TOTAL " + current_title, title_count, true});
        title_count = 0;
        current_title = sku.Title;
      }
    }
    for (const RSALE& sale : sales) {
      if (!(start <= sale.SaleDate && sale.SaleDate < end && sale.SkuId == sku.SkuId)) continue;
      if (size_t c = currencies.Find(sku.Currency); c != CurrencyTable::npos) sums[c] += sku.Amount;
      ++line_count;
      ++title_count;
    }
  }
  tally.push_back({current_key, line_count, false});
  tally.push_back({"TOTAL " + current_title, title_count, true});
  return tally;
}

}  // namespace tollwick::literal
