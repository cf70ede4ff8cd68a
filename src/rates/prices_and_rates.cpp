#include "rates/prices_and_rates.h"

#include "rates/decimal_separator.h"
#include "rates/price_list.h"
#include "rates/rate_list.h"
#include "rates/text_file.h"
#include "tables/errors.h"
#include "tables/text.h"

namespace tollwick {

void LoadPricesAndRates(RunState& state, const std::string& price_file,
                        const std::string& rate_file) {
  if (state.Skus.empty()) return;
  for (RSKU& sku : state.Skus) {
    sku.Currency.clear();
    sku.Amount = 0;
  }
  std::string text;
  if (ReadTextFile(price_file, text)) ApplyPriceList(text, state.Skus, state.Currencies);
  // The file states every rate per 1.00 EUR, so the euro's own rate is known without it.
  state.Rates.Clear();
  state.Rates.Append("EUR", 1.0L);
  if (ReadTextFile(rate_file, text))
    ReadRateList(text, DecimalSeparatorFromEnvironment(), state.Rates);
}

void RebaseRates(RunState& state) {
  std::string& total = state.Options.TotalCurrency;
  total = UpperAscii(total);
  if (total == "EUR") return;
  long double factor = 0;
  for (const RCONVERT& entry : state.Rates.records())
    if (entry.Code == total) factor = entry.Rate;
  if (factor == 0) {
    // Without prices nothing is converted, so a missing rate does no harm.
    if (state.Skus.empty()) return;
    Raise(ErrorKind::EConvertError, "No exchange rate for currency \"" + total + "\"");
  }
  for (size_t i = 0; i < state.Rates.size(); ++i)
    state.Rates.SetRate(i, state.Rates[i].Rate / factor);
}

}  // namespace tollwick
