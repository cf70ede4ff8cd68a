// Any bytes as prices.csv, then after "\n#\n" currency.txt: read, rebased onto "usd", and
// every SKU's price converted.
#include "base/errors.h"
#include "base/file_system.h"
#include "fuzz_support.h"
#include "rates/prices_and_rates.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tollwick;
  std::string_view input = fuzz::AsText(data, size);
  static const std::string prices = fuzz::ScratchDir() + "/prices.csv";
  static const std::string rates = fuzz::ScratchDir() + "/currency.txt";
  size_t split = input.find("\n#\n");
  fuzz::WriteBytes(prices, input.substr(0, split));
  if (split == std::string_view::npos)
    ::unlink(rates.c_str());
  else
    fuzz::WriteBytes(rates, input.substr(split + 3));

  SkuTable skus;
  CurrencyTable currencies;
  RateTable rate_table;
  for (const char* id : {"X1001", "X1002", "A", ""}) skus.AddSku(id, "Title", "1.0", "PPC", "M");
  try {
    WarningList warnings;
    LoadPricesAndRates(SystemFileSystem(), prices, rates, skus, currencies, rate_table, warnings);
    std::string total = "usd";
    RebaseRates(total, rate_table, !skus.empty());
  } catch (const TollwickError&) {
    return 0;
  }
  // Each price on its own, so that one currency without a rate does not hide the others.
  for (const RSKU& sku : skus) {
    try {
      rate_table.ConvertToTotal(sku.Currency, sku.Amount);
    } catch (const TollwickError&) {
    }
  }
  return 0;
}
