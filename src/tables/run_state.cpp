#include "tables/run_state.h"

namespace tollwick {

void ClearAllTables(RunState& state) {
  state.Options.TotalCurrency.clear();
  state.Rates.Clear();
  state.Currencies.Clear();
  state.Tally.ClearTally();
  state.Sales.Clear();
  state.Skus.Clear();
}

}  // namespace tollwick
