// What the filled and sorted tables tell of totals that miss something: no purchase at all,
// purchases naming a product that no report describes (counted nowhere), and products sold
// without a price (their money counted nowhere).
#pragma once

#include <string>

#include "base/warnings.h"
#include "tables/sale_table.h"
#include "tables/sku_table.h"

namespace tollwick {

// Notes, in this order: "no purchase found under "<directory>"" when the sale table is empty;
// otherwise the number of purchases whose SKU id is in no SKU (and the first one's, in the sale
// table's order), then the number of SKUs without a currency that have a purchase (and the
// first one's id, in the SKU table's order).
void NoteTableWarnings(const SkuTable& skus, const SaleTable& sales, const std::string& directory,
                       WarningList& warnings);

}  // namespace tollwick
