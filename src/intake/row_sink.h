// The seam between cutting reports and filling the tables: the intake hands every usable row
// to a RowSink, in document order, all product rows of a report before its purchase rows.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace tollwick {

inline constexpr size_t kSkuValues = 6;
inline constexpr size_t kSaleValues = 7;

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
};

}  // namespace tollwick
