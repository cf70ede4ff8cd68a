// The sale table: one RSALE per purchase id, in the order the ids were first seen.
//
// AddSale is find-or-append: a purchase id seen again overwrites its record in place (the
// last row read wins, the record keeps its first position). A sale keeps only what later steps
// read: the SKU sold and the day. Records are kept in blocks, so a growing table of a million
// purchases never moves or copies them.
#pragma once

#include <string>
#include <string_view>

#include "tables/block_array.h"
#include "tables/record_index.h"

namespace tollwick {

struct RSALE {
  std::string SkuId;
  std::string PurchaseId;
  double SaleDate = 0;  // day number
};

class SaleTable {
 public:
  // Finds the sale by purchase id or appends it, and assigns the SKU id and the day.
  void AddSale(std::string_view sku_id, std::string_view purchase_id, double sale_date);
  void Clear();

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  const RSALE& operator[](size_t i) const { return records_[i]; }
  BlockArray<RSALE>::const_iterator begin() const { return records_.begin(); }
  BlockArray<RSALE>::const_iterator end() const { return records_.end(); }

 private:
  BlockArray<RSALE> records_;
  RecordIndex index_;
};

}  // namespace tollwick
