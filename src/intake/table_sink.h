// Where the reading path hands rows once a report is read and cut: a RowSink that may also take
// purchase rows in runs, and have each purchase row prepared on a reading thread as it is cut,
// ahead of its turn. Both are only ways to go faster; the rows and their order are the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "intake/row_sink.h"

namespace tollwick {

// What a purchase row gives without a look at the tables, worked out ahead of time (by
// TableSink::PrepareSale, on a reading thread): the hash of its purchase id for the sale table's
// index, and the day of its date text when that reads as one without fault.
struct PreparedSale {
  uint32_t purchase_hash = 0;
  bool has_day = false;  // false: the date text is read again when the row is applied
  double day = 0;
};

class TableSink : public RowSink {
 public:
  // `count` purchase rows one after the other, kSaleValues values each, with what PrepareSale
  // gave for each (when `prepared` is not null): the same as SaleRow for each in turn, which a
  // sink may do faster knowing the rows ahead.
  virtual void SaleRows(const std::string_view* values, const PreparedSale* /*prepared*/,
                        size_t count) {
    for (size_t i = 0; i < count; ++i)
      SaleRow(
          std::span<const std::string_view, kSaleValues>(values + i * kSaleValues, kSaleValues));
  }
  // Fills `prepared` for a purchase row and returns true, for a sink that uses it. It is
  // called on reading threads while other calls are under way, so it reads nothing that
  // changes.
  virtual bool PrepareSale(std::span<const std::string_view, kSaleValues> /*values*/,
                           PreparedSale& /*prepared*/) const {
    return false;
  }
};

}  // namespace tollwick
