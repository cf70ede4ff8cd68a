#include "tables/sale_table.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tollwick {

namespace {

// Mixes the first and the last eight bytes of a SKU id and its length.
size_t CheapHash(std::string_view id, int bits) {
  uint64_t first = 0, last = 0;
  if (!id.empty()) {
    const size_t n = std::min<size_t>(id.size(), 8);
    std::memcpy(&first, id.data(), n);
    std::memcpy(&last, id.data() + id.size() - n, n);
  }
  constexpr uint64_t kOdd = 0x9E3779B97F4A7C15u;
  return static_cast<size_t>(((first ^ (last * kOdd) ^ id.size()) * kOdd) >> (64 - bits));
}

}  // namespace

uint32_t SaleTable::SkuNumberOf(std::string_view sku_id) {
  if (sku_memo_.empty()) sku_memo_.assign(size_t{1} << kSkuMemoBits, UINT32_MAX);
  uint32_t& memo = sku_memo_[CheapHash(sku_id, kSkuMemoBits)];
  if (memo != UINT32_MAX && sku_ids_[memo] == sku_id) return memo;
  size_t at =
      sku_index_.FindOrInsert(sku_id, sku_ids_.size(), [this](size_t i) { return sku_ids_[i]; });
  if (at == RecordIndex::npos) {
    at = sku_ids_.size();
    sku_ids_.push_back(sku_id_bytes_.Add(sku_id));
  }
  memo = static_cast<uint32_t>(at);
  return memo;
}

void SaleTable::AddSale(std::string_view sku_id, std::string_view purchase_id, double sale_date) {
  AddSale(sku_id, purchase_id, PurchaseHash(purchase_id), sale_date);
}

void SaleTable::AddSale(std::string_view sku_id, std::string_view purchase_id,
                        uint32_t purchase_hash, double sale_date) {
  if (purchase_id.size() > UINT32_MAX) throw std::bad_alloc();
  const uint32_t sku = SkuNumberOf(sku_id);
  size_t at = index_.FindOrInsert(purchase_id, purchase_hash, records_.size(), [this](size_t i) {
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
  days_.first = std::min(days_.first, sale_date);
  days_.last = std::max(days_.last, sale_date);
  // A whole number of days, tested without a call to floor().
  days_.whole = days_.whole && sale_date > -1e15 && sale_date < 1e15 &&
                static_cast<double>(static_cast<int64_t>(sale_date)) == sale_date;
}

void SaleTable::Clear() {
  records_.clear();
  index_.Clear();
  ids_.Clear();
  days_ = DaySpan();
  sku_id_bytes_.Clear();
  sku_ids_.clear();
  sku_ids_.shrink_to_fit();
  sku_index_.Clear();
  sku_memo_.clear();
  sku_memo_.shrink_to_fit();
}

}  // namespace tollwick
