// The price list "prices.csv": one price per line, no header line.
//
//   <SKU id>;<currency code>;<amount in hundredths>[;anything else]
//
// Fields are what remains of a line cut at every ";", except that a ";" at the very end of
// the line opens no further field: "P;Q;" has two fields, "P;Q;;" three (the last one empty),
// ";" one empty field and the empty line none. Fields are taken as written: no trimming, no
// change of case. Lines with fewer than three fields are ignored. The currency of every other
// line is registered, whether or not its SKU id is known; the amount is read (integer syntax of
// StrToInt) only for a known SKU id, and a later line for the same SKU overwrites the price.
#pragma once

#include <string_view>
#include <vector>

#include "base/warnings.h"
#include "tables/currency_table.h"
#include "tables/sku_table.h"

namespace tollwick {

std::vector<std::string_view> SplitPriceFields(std::string_view line);

// Prices the SKUs from the text of the price list at `path` and registers its currencies.
// Raises EConvertError for an amount that is not an integer on a line of a known SKU, after a
// warning that names the amount as written, the SKU id and `path`.
void ApplyPriceList(std::string_view text, std::string_view path, SkuTable& skus,
                    CurrencyTable& currencies, WarningList& warnings);

}  // namespace tollwick
