// Pricing the SKUs from "prices.csv" and filling the rate table from "currency.txt", both
// looked for in the current directory, then re-expressing the rates per 1.00 of the total
// currency.
#pragma once

#include <string>

#include "base/file_system.h"
#include "tables/currency_table.h"
#include "tables/rate_table.h"
#include "tables/sku_table.h"

namespace tollwick {

// With an empty SKU table nothing happens. Otherwise every SKU loses its price and is priced
// again from the price file, whose currencies are registered in the currency table; the rate
// table is emptied and filled with EUR at rate 1 followed by the entries of the rate file
// (a later EUR entry of the file decides). A missing file, or a directory of that name, is
// skipped. Raises EFOpenError for a file that cannot be opened and EConvertError for a price
// that is not an integer.
void LoadPricesAndRates(FileSystem& files, const std::string& price_file,
                        const std::string& rate_file, SkuTable& skus, CurrencyTable& currencies,
                        RateTable& rates);

// Turns `total_currency` into capitals, then, unless it is "EUR", divides every rate by the
// rate of the last entry of that currency. Raises EConvertError "No exchange rate for currency
// "<code>"" when there is no such entry, or it has rate 0, and there are SKUs to price.
void RebaseRates(std::string& total_currency, RateTable& rates, bool have_skus);

}  // namespace tollwick
