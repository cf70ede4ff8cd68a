#include "rates/prices_and_rates.h"

#include "tables/text.h"

namespace tollwick {

void LoadPricesAndRates(RunState& /*state*/, const std::string& /*price_file*/,
                        const std::string& /*rate_file*/) {}

void RebaseRates(RunState& state) {
  state.Options.TotalCurrency = UpperAscii(state.Options.TotalCurrency);
}

}  // namespace tollwick
