#include "tables/sale_table.h"

namespace tollwick {

void SaleTable::AddSale(std::string_view sku_id, std::string_view purchase_id, double sale_date) {
  size_t at =
      index_.FindOrInsert(purchase_id, records_.size(),
                          [this](size_t i) -> std::string_view { return records_[i].PurchaseId; });
  if (at == RecordIndex::npos) {
    at = records_.size();
    records_.emplace_back().PurchaseId = purchase_id;
  }
  RSALE& sale = records_[at];
  sale.SkuId = sku_id;
  sale.SaleDate = sale_date;
}

void SaleTable::Clear() {
  records_.clear();
  index_.Clear();
}

}  // namespace tollwick
