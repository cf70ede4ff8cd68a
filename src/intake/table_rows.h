// Turns report rows into table records.
//
// A product row gives AddSku its id, title, version and market, and the OS type "PPC" when its
// fifth value is exactly "Professional" (same case, no blanks), "SP" for anything else. The
// fourth value (a description) is not kept.
//
// A purchase row gives AddSale its SKU id (value 1), its purchase id (value 2) and the day of
// its date text (value 6), read by ParseSaleDate:
//   - with a "/" anywhere: "month/day/year time"; the text before the first blank is cut at
//     its first two "/" (the whole rest after the second is the year);
//   - otherwise: "year-month-dayTtime"; the text before the first "T" is cut at its first two
//     "-" (the whole rest after the second is the day).
// A piece before a missing separator is empty. The day piece is read first, then the month,
// then the year, each by StrToInt; a piece that is no integer raises EConvertError
// "'<piece>' is not a valid integer value", a date outside the calendar (years 1 to 9999)
// "Invalid argument to date encode". The other values of the row are not kept.
#pragma once

#include <span>
#include <string_view>

#include "intake/table_sink.h"
#include "tables/sale_table.h"
#include "tables/sku_table.h"

namespace tollwick {

// Day number of a purchase's date text, by the rule above.
double ParseSaleDate(std::string_view date_text);

class TableRows : public TableSink {
 public:
  TableRows(SkuTable& skus, SaleTable& sales) : skus_(skus), sales_(sales) {}
  void SkuRow(std::span<const std::string_view, kSkuValues> values) override;
  void SaleRow(std::span<const std::string_view, kSaleValues> values) override;
  // Fetches the places of the purchase ids in the sale table's index a few rows ahead of
  // adding them; what `prepared` holds is not worked out again.
  void SaleRows(const std::string_view* values, const PreparedSale* prepared,
                size_t count) override;
  // The purchase id's hash, and the day of its date text unless reading that fails (the row
  // then raises its error when it is applied).
  bool PrepareSale(std::span<const std::string_view, kSaleValues> values,
                   PreparedSale& prepared) const override;

 private:
  SkuTable& skus_;
  SaleTable& sales_;
};

}  // namespace tollwick
