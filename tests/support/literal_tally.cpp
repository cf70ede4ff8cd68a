#include "support/literal_tally.h"

#include <cstdint>
#include <string>

namespace tollwick::literal {

void TallyPeriod(RunState& state, double start, double end) {
  state.Tally.ClearTally();
  state.Currencies.ResetCurrencyTotals();
  std::string current_key, current_title;
  int64_t line_count = 0, title_count = 0;
  for (size_t i = 0; i < state.Skus.size(); ++i) {
    const RSKU& sku = state.Skus[i];
    std::string key = sku.Market + " " + sku.OsType + " " + sku.Title;
    if (key != current_key) {
      if (i != 0) state.Tally.AddTallyLine(current_key, line_count, false);
      line_count = 0;
      current_key = key;
      if (sku.Title != current_title) {
        if (i != 0) state.Tally.AddTallyLine("TOTAL " + current_title, title_count, true);
        title_count = 0;
        current_title = sku.Title;
      }
    }
    for (const RSALE& sale : state.Sales) {
      if (start <= sale.SaleDate && sale.SaleDate < end && sale.SkuId == sku.SkuId) {
        state.Currencies.AddToCurrency(sku.Currency, sku.Amount);
        ++line_count;
        ++title_count;
      }
    }
  }
  state.Tally.AddTallyLine(current_key, line_count, false);
  state.Tally.AddTallyLine("TOTAL " + current_title, title_count, true);
}

}  // namespace tollwick::literal
