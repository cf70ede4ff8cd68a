#include "tables/sku_table.h"

#include "base/text.h"

#include <algorithm>
#include <numeric>

namespace tollwick {

void SkuTable::AddSku(std::string_view sku_id, std::string_view title, std::string_view version,
                      std::string_view os_type, std::string_view market) {
  size_t at = index_.FindOrInsert(
      sku_id, records_.size(), [this](size_t i) -> std::string_view { return records_[i].SkuId; });
  if (at == RecordIndex::npos) {
    at = records_.size();
    records_.emplace_back().SkuId = sku_id;
  }
  RSKU& sku = records_[at];
  sku.Title = title;
  sku.Version = version;
  sku.OsType = os_type;
  sku.Market = market;
}

void SkuTable::SetPrice(size_t i, std::string_view currency, int32_t amount) {
  records_[i].Currency = currency;
  records_[i].Amount = amount;
}

void SkuTable::ClearPrices() {
  for (RSKU& sku : records_) {
    sku.Currency.clear();
    sku.Amount = 0;
  }
}

void SkuTable::SortSkus() {
  // Stable: SKUs with equal keys keep the order in which their ids were first seen. The keys
  // are compared as joined texts without being joined, so no text is copied.
  std::vector<size_t> order(records_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) {
    const RSKU &x = records_[a], &y = records_[b];
    const std::string_view kx[] = {x.Title, x.Market, x.Version, x.OsType};
    const std::string_view ky[] = {y.Title, y.Market, y.Version, y.OsType};
    return CompareJoined(kx, ky) < 0;
  });
  std::vector<RSKU> sorted;
  sorted.reserve(records_.size());
  for (size_t i : order) sorted.push_back(std::move(records_[i]));
  records_ = std::move(sorted);
  index_.Clear();
  for (size_t i = 0; i < records_.size(); ++i) index_.Insert(records_[i].SkuId, i);
}

void SkuTable::Clear() {
  records_.clear();
  index_.Clear();
}

size_t SkuTable::Find(std::string_view sku_id) const {
  return index_.Find(sku_id, [this](size_t i) -> std::string_view { return records_[i].SkuId; });
}

}  // namespace tollwick
