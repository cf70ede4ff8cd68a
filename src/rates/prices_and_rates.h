// Pricing the SKUs from "prices.csv" and filling the rate table from "currency.txt", both
// looked for in the current directory, then re-expressing the rates per 1.00 of the total
// currency.
#pragma once

#include <string>

#include "base/file_system.h"
#include "base/warnings.h"
#include "tables/currency_table.h"
#include "tables/rate_table.h"
#include "tables/sku_table.h"

namespace tollwick {

// With an empty SKU table nothing happens. Otherwise every SKU loses its price and is priced
// again from the price file, whose currencies are registered in the currency table; the rate
// table is emptied and filled with EUR at rate 1 followed by the entries of the rate file
// (a later EUR entry of the file decides). A missing file, or a directory of that name, is
// skipped: a missing price file with a warning, since no SKU gets a price then. Raises
// EFOpenError for a file that cannot be opened and EConvertError, after a warning that names
// the price, the SKU and the file, for a price that is not an integer. Gives false when the
// rate file was looked for and is missing, so that an error for a missing rate can say why.
bool LoadPricesAndRates(FileSystem& files, const std::string& price_file,
                        const std::string& rate_file, SkuTable& skus, CurrencyTable& currencies,
                        RateTable& rates, WarningList& warnings);

// The warning that explains an error for a missing rate when the rate file `path` is missing.
std::string MissingRateListWarning(const std::string& path);

// Turns `total_currency` into capitals, then, unless it is "EUR", divides every rate by the
// rate of the last entry of that currency. Raises EConvertError "No exchange rate for currency
// "<code>"" when there is no such entry, or it has rate 0, and there are SKUs to price.
void RebaseRates(std::string& total_currency, RateTable& rates, bool have_skus);

}  // namespace tollwick
