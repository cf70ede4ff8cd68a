// The price list "prices.csv" and the exchange-rate list "currency.txt".
#pragma once

#include <string>

#include "tables/run_state.h"

namespace tollwick {

// Prices the SKUs, registers the price currencies and fills the rate table.
void LoadPricesAndRates(RunState& state, const std::string& price_file,
                        const std::string& rate_file);
// Re-expresses the rates per 1.00 of the total currency.
void RebaseRates(RunState& state);

}  // namespace tollwick
