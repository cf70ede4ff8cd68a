// The sale table: one RSALE per purchase id, in the order the ids were first seen.
//
// AddSale is find-or-append: a purchase id seen again overwrites its record in place (the
// last row read wins, the record keeps its first position). A sale keeps only what later steps
// read: the SKU sold and the day.
//
// A table of a million purchases is kept small: a record is 24 bytes (the purchase id's place
// and length, the number of its SKU id, the day), each purchase id is copied once into a
// shared text store, and each distinct SKU id is kept once and numbered in the order first
// seen. With the index (11 to 22 bytes a record) this makes 35 to 46 bytes plus the purchase
// id's bytes per purchase.
// Records are kept in blocks, so a growing table never moves or copies them.
#pragma once

#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "tables/block_array.h"
#include "tables/record_index.h"
#include "tables/text_store.h"

namespace tollwick {

// A purchase as the table hands it out; the texts are views into the table, valid until it is
// cleared.
struct RSALE {
  std::string_view SkuId;
  std::string_view PurchaseId;
  double SaleDate = 0;  // day number
};

class SaleTable {
 public:
  // Finds the sale by purchase id or appends it, and assigns the SKU id and the day.
  void AddSale(std::string_view sku_id, std::string_view purchase_id, double sale_date);
  // The same, with PurchaseHash(purchase_id) worked out beforehand.
  void AddSale(std::string_view sku_id, std::string_view purchase_id, uint32_t purchase_hash,
               double sale_date);
  // The hash of `purchase_id` that AddSale needs. It depends on nothing that AddSale or Clear
  // change, so it may be worked out on another thread meanwhile.
  uint32_t PurchaseHash(std::string_view purchase_id) const { return index_.Hash(purchase_id); }
  // Starts fetching the index slot that AddSale of a purchase id with this hash looks at
  // first: a caller adding many sales does this a few sales ahead.
  void Prefetch(uint32_t purchase_hash) const { index_.Prefetch(purchase_hash); }
  void Clear();

  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  RSALE operator[](size_t i) const {
    const Record& r = records_[i];
    return {sku_ids_[r.sku], {r.purchase_id, r.purchase_id_size}, r.sale_date};
  }

  // The distinct SKU ids of the sales, numbered from 0 in the order first seen, and the number
  // of the one sale `i` carries: a reader can look each SKU id up once instead of per sale.
  size_t SkuIdCount() const { return sku_ids_.size(); }
  std::string_view SkuIdAt(size_t number) const { return sku_ids_[number]; }
  uint32_t SkuNumber(size_t i) const { return records_[i].sku; }
  double SaleDate(size_t i) const { return records_[i].sale_date; }

  // Bounds of every day the table was given (overwritten ones too), and whether all were whole
  // numbers: a reader can size a table by day without a pass over the sales.
  struct DaySpan {
    double first = std::numeric_limits<double>::infinity();
    double last = -std::numeric_limits<double>::infinity();
    bool whole = true;
  };
  const DaySpan& Days() const { return days_; }

  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = RSALE;
    using difference_type = std::ptrdiff_t;
    const_iterator() = default;
    const_iterator(const SaleTable* table, size_t i) : table_(table), i_(i) {}
    RSALE operator*() const { return (*table_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++i_;
      return before;
    }
    bool operator==(const const_iterator& other) const { return i_ == other.i_; }

   private:
    const SaleTable* table_ = nullptr;
    size_t i_ = 0;
  };
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

 private:
  struct Record {
    const char* purchase_id;  // in ids_
    uint32_t purchase_id_size;
    uint32_t sku;  // number of the SKU id
    double sale_date;
  };
  uint32_t SkuNumberOf(std::string_view sku_id);

  DaySpan days_;

  BlockArray<Record> records_;
  RecordIndex index_;                      // purchase id -> record
  TextStore ids_;                          // the bytes of the purchase ids
  TextStore sku_id_bytes_;                 // the bytes of the SKU ids, few and kept together
  std::vector<std::string_view> sku_ids_;  // in sku_id_bytes_
  RecordIndex sku_index_;                  // SKU id -> its number
  // SKU numbers found lately, by a cheap hash of the id, tried before the index (UINT32_MAX:
  // none). A wrong guess costs one comparison, so ids made to collide here merely take the
  // index's way.
  static constexpr int kSkuMemoBits = 14;
  std::vector<uint32_t> sku_memo_;
};

}  // namespace tollwick
