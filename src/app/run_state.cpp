#include "app/run_state.h"

namespace tollwick {

void ClearAllTables(RunState& state) {
  state.Options.TotalCurrency.clear();
  state.Rates.Clear();
  state.Currencies.Clear();
  state.Sales.Clear();
  state.Skus.Clear();
}

}  // namespace tollwick
