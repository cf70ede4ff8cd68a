// The seam between cutting reports and filling the tables: the intake hands every usable row
// to a RowSink, in document order, all product rows of a report before its purchase rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tollwick {

inline constexpr size_t kSkuValues = 6;
inline constexpr size_t kSaleValues = 7;

// What a purchase row gives without a look at the tables, worked out ahead of time (by
// RowSink::PrepareSale, on a reading thread): the hash of its purchase id for the sale table's
// index, and the day of its date text when that reads as one without fault.
struct PreparedSale {
  uint32_t purchase_hash = 0;
  bool has_day = false;  // false: the date text is read again when the row is applied
  double day = 0;
};

// The views are valid only during the call, unless the sink keeps them: they point into the
// document, or, when the purchase worksheet straddles the place where the product worksheet
// was cut out, into a copy of it, which the sink may keep (KeepJoined).
class RowSink {
 public:
  virtual ~RowSink() = default;
  // A text that outlives the cutting, for that copy; null: a local one will do.
  virtual std::string* KeepJoined() { return nullptr; }
  // The first six values of a "SKU detail" row: id, title, version, detail, edition, market.
  virtual void SkuRow(std::span<const std::string_view, kSkuValues> values) = 0;
  // The first seven values of a "Purchase History" row: SKU id, purchase id, three more
  // values, the purchase date and time, one more value.
  virtual void SaleRow(std::span<const std::string_view, kSaleValues> values) = 0;
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
