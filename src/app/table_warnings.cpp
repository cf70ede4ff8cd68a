#include "app/table_warnings.h"

#include <vector>

namespace tollwick {

void NoteTableWarnings(const SkuTable& skus, const SaleTable& sales, const std::string& directory,
                       WarningList& warnings) {
  if (sales.empty()) {
    warnings.Add("no purchase found under " + Quoted(directory));
    return;
  }
  // Each distinct SKU id of the sales is looked up once.
  std::vector<size_t> sku_of_number(sales.SkuIdCount());
  for (size_t n = 0; n < sku_of_number.size(); ++n) sku_of_number[n] = skus.Find(sales.SkuIdAt(n));
  std::vector<bool> sold(skus.size(), false);
  size_t unknown = 0, first_unknown = 0;
  for (size_t s = 0; s < sales.size(); ++s) {
    const size_t sku = sku_of_number[sales.SkuNumber(s)];
    if (sku != SkuTable::npos) {
      sold[sku] = true;
    } else if (unknown++ == 0) {
      first_unknown = s;
    }
  }
  if (unknown > 0)
    warnings.Add("purchases naming a product that no report describes, not counted: " +
                 std::to_string(unknown) + " (first: " + Quoted(sales[first_unknown].SkuId) + ")");
  size_t unpriced = 0, first_unpriced = 0;
  for (size_t i = 0; i < skus.size(); ++i)
    if (sold[i] && skus[i].Currency.empty() && unpriced++ == 0) first_unpriced = i;
  if (unpriced > 0)
    warnings.Add("products sold without a price in prices.csv, their money not counted: " +
                 std::to_string(unpriced) + " (first: " + Quoted(skus[first_unpriced].SkuId) + ")");
}

}  // namespace tollwick
