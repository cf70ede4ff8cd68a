#include "tables/sale_table.h"

#include <new>

namespace tollwick {

uint32_t SaleTable::SkuNumberOf(std::string_view sku_id) {
  // Purchases of one SKU often follow each other.
  if (last_sku_ != UINT32_MAX && sku_ids_[last_sku_] == sku_id) return last_sku_;
  size_t at =
      sku_index_.FindOrInsert(sku_id, sku_ids_.size(), [this](size_t i) { return sku_ids_[i]; });
  if (at == RecordIndex::npos) {
    at = sku_ids_.size();
    sku_ids_.push_back(ids_.Add(sku_id));
  }
  last_sku_ = static_cast<uint32_t>(at);
  return last_sku_;
}

void SaleTable::AddSale(std::string_view sku_id, std::string_view purchase_id, double sale_date) {
  if (purchase_id.size() > UINT32_MAX) throw std::bad_alloc();
  const uint32_t sku = SkuNumberOf(sku_id);
  size_t at = index_.FindOrInsert(purchase_id, records_.size(), [this](size_t i) {
    return std::string_view(records_[i].purchase_id, records_[i].purchase_id_size);
  });
  if (at == RecordIndex::npos) {
    at = records_.size();
    std::string_view stored = ids_.Add(purchase_id);
    records_.emplace_back() = {stored.data(), static_cast<uint32_t>(stored.size()), sku, 0};
  }
  Record& sale = records_[at];
  sale.sku = sku;
  sale.sale_date = sale_date;
}

void SaleTable::Clear() {
  records_.clear();
  index_.Clear();
  ids_.Clear();
  sku_ids_.clear();
  sku_ids_.shrink_to_fit();
  sku_index_.Clear();
  last_sku_ = UINT32_MAX;
}

}  // namespace tollwick
