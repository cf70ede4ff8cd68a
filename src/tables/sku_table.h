// The product table: one RSKU per SKU id, in the order the ids were first seen until SortSkus.
//
// AddSku is find-or-append: an id seen again overwrites the record's texts in place, so the
// record keeps the position where its id was first seen and the last row read wins; the price
// stays. A hash index makes each add O(1) expected. The table stores what it is given: turning
// report cells into these texts is the intake's work.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tables/record_index.h"

namespace tollwick {

struct RSKU {
  std::string SkuId;
  std::string Title;
  std::string Version;
  std::string OsType;  // "PPC" or "SP"
  std::string Market;
  std::string Currency;  // set from the price list; empty until then
  int32_t Amount = 0;    // price in hundredths of Currency
};

class SkuTable {
 public:
  // Finds the SKU by id or appends it, and assigns the texts; Currency and Amount stay.
  void AddSku(std::string_view sku_id, std::string_view title, std::string_view version,
              std::string_view os_type, std::string_view market);
  // Sets the price of the SKU at position `i`.
  void SetPrice(size_t i, std::string_view currency, int32_t amount);
  // Every SKU loses its price (empty Currency, Amount 0).
  void ClearPrices();
  // Stable ascending order of Title + Market + Version + OsType, joined without separator,
  // bytes compared as unsigned values.
  void SortSkus();
  void Clear();

  // Position of the SKU with this id, or npos.
  static constexpr size_t npos = RecordIndex::npos;
  size_t Find(std::string_view sku_id) const;

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const RSKU& operator[](size_t i) const { return records_[i]; }
  std::vector<RSKU>::const_iterator begin() const { return records_.begin(); }
  std::vector<RSKU>::const_iterator end() const { return records_.end(); }

 private:
  std::vector<RSKU> records_;
  RecordIndex index_;
};

}  // namespace tollwick
