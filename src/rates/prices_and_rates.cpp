#include "rates/prices_and_rates.h"

#include "base/errors.h"
#include "base/text.h"
#include "base/text_file.h"
#include "rates/decimal_separator.h"
#include "rates/price_list.h"
#include "rates/rate_list.h"

namespace tollwick {

bool LoadPricesAndRates(FileSystem& files, const std::string& price_file,
                        const std::string& rate_file, SkuTable& skus, CurrencyTable& currencies,
                        RateTable& rates, WarningList& warnings) {
  if (skus.empty()) return true;
  skus.ClearPrices();
  std::string text;
  const std::string price_path = files.WorkingDirectory() + "/" + price_file;
  if (ReadTextFile(files, price_file, text)) {
    ApplyPriceList(text, price_path, skus, currencies, warnings);
  } else {
    warnings.Add("no price list: " + Quoted(price_path) + " not found, so no product has a price");
  }
  // The file states every rate per 1.00 EUR, so the euro's own rate is known without it.
  rates.Clear();
  rates.Append("EUR", 1.0L);
  if (!ReadTextFile(files, rate_file, text)) return false;
  ReadRateList(text, DecimalSeparatorFromEnvironment(), rates);
  return true;
}

std::string MissingRateListWarning(const std::string& path) {
  return "no list of exchange rates: " + Quoted(path) + " not found";
}

void RebaseRates(std::string& total_currency, RateTable& rates, bool have_skus) {
  total_currency = UpperAscii(total_currency);
  if (total_currency == "EUR") return;
  long double factor = 0;
  for (const ExchangeRate& entry : rates)
    if (entry.Code == total_currency) factor = entry.Rate;
  if (factor == 0) {
    // Without prices nothing is converted, so a missing rate does no harm.
    if (!have_skus) return;
    Raise(ErrorKind::EConvertError, std::string(kNoRateMessage) + "\"" + total_currency + "\"");
  }
  for (size_t i = 0; i < rates.size(); ++i) rates.SetRate(i, rates[i].Rate / factor);
}

}  // namespace tollwick
